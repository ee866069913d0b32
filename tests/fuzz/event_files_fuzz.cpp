// Event files as other programs, a full /tmp or a killed daemon leave them:
// a status file's stand-in through one change check; a table through the line
// count, the first-line drop and the capped append.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tables/event_files.h"
#include "tables/tables.h"
#include "tests/fuzz/fuzz.h"
#include "watcher/change.h"

namespace {

constexpr const char *elsewhere = "/tmp/elsewhere";

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

enum class standing { missing, file, directory, link, dangling_link, fifo, kMaxValue = fifo };

void check_status_file(FuzzedDataProvider &&input)
{
    event_source source = initial_sources[input.ConsumeIntegralInRange<size_t>(0, source_count - 1)];
    source.state = input.ConsumeBool() ? 1 : 0;
    const auto kind = input.ConsumeEnum<standing>();
    const std::string content = input.ConsumeRemainingBytesAsString();
    remove_event_files();
    unlink(elsewhere);
    if (kind == standing::file || kind == standing::link)
        write(kind == standing::file ? source.status_path : elsewhere, content);
    if (kind == standing::link || kind == standing::dangling_link)
        symlink(elsewhere, source.status_path);
    if (kind == standing::directory)
        mkdir(source.status_path, 0755);
    if (kind == standing::fifo)
        mkfifo(source.status_path, 0644);

    detect_change(source);

    // A regular file's first byte is the state recorded; a missing, empty or
    // foreign one, or anything but a file, records the state; a directory
    // cannot take it, and the state is kept in memory.
    const int recorded = kind == standing::file && !content.empty() ? content[0] - '0' : -1;
    const bool event = (recorded == 0 || recorded == 1) && recorded != source.state;
    const std::string message = source.state == 1 ? source.on_message : source.off_message;
    FUZZ_CHECK(read(source.warn_path) == (event ? message + "\n" : "(none)"));
    if (kind != standing::directory)
        FUZZ_CHECK(read(source.status_path) ==
                   (recorded == source.state ? content : source.state == 1 ? "1\n" : "0\n"));
    struct stat st;
    FUZZ_CHECK(kind != standing::directory || (lstat(source.status_path, &st) == 0 && S_ISDIR(st.st_mode)));
    // Nothing is written through a link, and no scratch file is left.
    FUZZ_CHECK(read(elsewhere) == (kind == standing::link ? content : "(none)"));
    for (const auto &path : event_files())
        FUZZ_CHECK(path == source.status_path || path == source.warn_path);
    // Once the directory is gone the state kept in memory is recorded, and
    // that is no event.
    if (kind == standing::directory) {
        rmdir(source.status_path);
        detect_change(source);
        FUZZ_CHECK(read(source.warn_path) == "(none)");
    }
}

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
    return check_events_directory(false) ? 0 : 2;
}

// Each check reads the input its own way, so a seed of either kind serves.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    check_status_file(FuzzedDataProvider(data, size));
    check_table(FuzzedDataProvider(data, size));
    return 0;
}
