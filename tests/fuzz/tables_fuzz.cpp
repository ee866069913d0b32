// Table contents, as other programs, a full /tmp or a killed daemon may have
// left them, through the line count, the first-line drop and the capped
// append.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <sys/stat.h>

#include "tables/tables.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr const char *events = "/tmp/events";
const char *const table = tables::trap_table;

std::string table_content()
{
    std::string content;
    FUZZ_CHECK(fuzz::read_file(table, content));
    return content;
}

// Nothing but the table itself: no scratch file is left behind.
void check_only_the_table()
{
    FUZZ_CHECK(fuzz::entries(events) == std::vector<std::string>{"traptable"});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::require_sandbox();
    mkdir(events, 0777);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool missing = input.ConsumeProbability<float>() < 0.05f;
    const std::string record = input.ConsumeRandomLengthString(40).c_str();
    const std::string content = input.ConsumeRemainingBytesAsString();
    fuzz::empty_directory(events);

    if (missing) {
        FUZZ_CHECK(count_lines(table) == -1 && drop_first_line(table) == -1);
        FUZZ_CHECK(fuzz::entries(events).empty());
        FUZZ_CHECK(append_capped(table, record.c_str()) == 0);
        FUZZ_CHECK(table_content() == record + "\n");
        return 0;
    }

    const auto newlines = std::count(content.begin(), content.end(), '\n');
    const size_t first_end = content.find('\n');
    const std::string rest = first_end == std::string::npos ? "" : content.substr(first_end + 1);

    fuzz::write_file(table, content);
    FUZZ_CHECK(count_lines(table) == newlines);
    FUZZ_CHECK(drop_first_line(table) == 0);
    FUZZ_CHECK(table_content() == rest);
    check_only_the_table();

    // The record goes at the end on a line of its own, after the first line
    // is dropped from a table that holds exactly the cap, an unfinished last
    // line counted.
    fuzz::write_file(table, content);
    FUZZ_CHECK(append_capped(table, record.c_str()) == 0);
    const bool unfinished = !content.empty() && content.back() != '\n';
    const std::string kept = newlines + unfinished == tables::record_cap ? rest : content;
    const std::string line_end = kept.empty() || kept.back() == '\n' ? "" : "\n";
    FUZZ_CHECK(table_content() == kept + line_end + record + "\n");
    check_only_the_table();
    return 0;
}
