// Tables as other programs, a full /tmp or a killed daemon leave them, through
// the line count, the first-line drop and the capped append.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tables/event_directory.h"
#include "tables/tables.h"
#include "tests/fuzz/fuzz.h"

namespace {

namespace fs = std::filesystem;
std::vector<fs::path> event_files() { return {fs::directory_iterator("/tmp/events"), {}}; }
void remove_event_files()
{
    for (const auto &path : event_files())
        fs::remove_all(path);
}

// The whole file, "(none)" when it cannot be opened.
std::string read(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(none)";
}

void write(const char *path, const std::string &text) { FUZZ_CHECK(std::ofstream(path, std::ios::binary) << text); }

void check_table(FuzzedDataProvider &&input)
{
    const char *const table = tables::trap_table;
    const std::vector<fs::path> only_the_table = {table};
    const std::string record = input.ConsumeRandomLengthString(40).c_str();
    const std::string content = input.ConsumeRemainingBytesAsString();
    remove_event_files();
    const auto newlines = std::count(content.begin(), content.end(), '\n');
    const size_t first_end = content.find('\n');
    const std::string rest = first_end == std::string::npos ? "" : content.substr(first_end + 1);
    write(table, content);
    FUZZ_CHECK(count_lines(table) == newlines && drop_first_line(table) == 0);
    FUZZ_CHECK(read(table) == rest && event_files() == only_the_table);

    // The record ends the table on its own line; a table at the cap, an
    // unfinished last line counted, drops as many first lines as keep it there.
    write(table, content);
    FUZZ_CHECK(append_capped(table, record.c_str()) == 0);
    const bool unfinished = !content.empty() && content.back() != '\n';
    std::string kept = content;
    if (newlines == tables::record_cap || newlines + unfinished == tables::record_cap)
        for (auto beyond = newlines + unfinished + 1 - tables::record_cap; beyond-- > 0;)
            kept = kept.find('\n') == std::string::npos ? "" : kept.substr(kept.find('\n') + 1);
    const std::string line_end = kept.empty() || kept.back() == '\n' ? "" : "\n";
    FUZZ_CHECK(read(table) == kept + line_end + record + "\n" && event_files() == only_the_table);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The daemon's fixed paths are only worked on where /tmp and /dev are the sandbox's own.
    if (getenv("LINEWATCH_SIM_DIR") == nullptr) {
        fprintf(stderr, "run inside the sandbox: sim/sandbox --build BUILD -- TARGET ...\n");
        exit(2);
    }
    // Every event is logged: with nobody to receive it, a long run fills no file.
    unlink("/dev/log");
    mkdir("/tmp/events", 0755);
    return check_events_directory() != directory_none ? 0 : 2;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    check_table(FuzzedDataProvider(data, size));
    return 0;
}
