// Tables as other programs, a full /tmp or a killed daemon leave them, through
// the line count, the first-line drop and the capped append.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
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

    // Line by line: an unfinished last line is ended, and is one of the
    // table's lines; a table at the cap, by its newlines or by its lines,
    // keeps its latest 29 above the record.
    write(table, content);
    FUZZ_CHECK(append_capped(table, record.c_str()) == 0);
    std::vector<std::string> lines;
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const long cap = tables::record_cap, count = long(lines.size());
    std::string kept;
    for (long line = newlines == cap || count == cap ? count - (cap - 1) : 0; line < count; ++line)
        kept += lines[size_t(line)] + "\n";
    FUZZ_CHECK(read(table) == kept + record + "\n" && event_files() == only_the_table);
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
