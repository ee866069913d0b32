// Status file contents, and what else may stand in a status file's place,
// through the change check of one source.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/fuzz/fuzz_support.h"
#include "watcher/change.h"

namespace {

constexpr const char *events = "/tmp/events";
// Where a symbolic link in a status file's place points.
constexpr const char *elsewhere = "/tmp/elsewhere";

enum class standing { missing, file, directory, link, dangling_link, fifo, kMaxValue = fifo };

int syslog_fd = -1;
std::string commands_path;

// The syslog datagrams sent since the last call.
int take_syslog()
{
    char datagram[512];
    int count = 0;
    while (recv(syslog_fd, datagram, sizeof datagram, 0) >= 0)
        ++count;
    return count;
}

std::string take_commands()
{
    std::string commands;
    fuzz::read_file(commands_path.c_str(), commands);
    FUZZ_CHECK(truncate(commands_path.c_str(), 0) == 0);
    return commands;
}

std::string content_of(const char *path)
{
    std::string content;
    return fuzz::read_file(path, content) ? content : "(none)";
}

bool is_directory(const char *path)
{
    struct stat st;
    return lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::require_sandbox();
    commands_path = std::string(getenv("LINEWATCH_SIM_DIR")) + "/commands";
    mkdir(events, 0777);
    // Every event is logged: the target takes /dev/log from the sandbox's
    // receiver, to count the lines, and so that a long run fills no file.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "/dev/log");
    syslog_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    unlink(address.sun_path);
    FUZZ_CHECK(syslog_fd >= 0 && bind(syslog_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    event_source source = initial_sources[input.ConsumeIntegralInRange<size_t>(0, source_count - 1)];
    source.state = input.ConsumeBool() ? 1 : 0;
    const auto kind = input.ConsumeEnum<standing>();
    const std::string content = input.ConsumeRemainingBytesAsString();

    fuzz::empty_directory(events);
    unlink(elsewhere);
    take_syslog();
    take_commands();
    switch (kind) {
    case standing::file:
        fuzz::write_file(source.status_path, content);
        break;
    case standing::directory:
        mkdir(source.status_path, 0755);
        break;
    case standing::link:
        fuzz::write_file(elsewhere, content);
        symlink(elsewhere, source.status_path);
        break;
    case standing::dangling_link:
        symlink(elsewhere, source.status_path);
        break;
    case standing::fifo:
        mkfifo(source.status_path, 0644);
        break;
    case standing::missing:
        break;
    }

    detect_change(source);

    // A regular file's first byte is the state recorded; a missing file or
    // an empty or foreign one records the state. What else stands there may
    // be replaced or skipped, but is never taken for a record.
    const bool file_or_none = kind == standing::file || kind == standing::missing;
    const int recorded = kind == standing::file && !content.empty() ? content[0] - '0' : -1;
    const bool event = (recorded == 0 || recorded == 1) && recorded != source.state;
    const std::string state_line = source.state == 1 ? "1\n" : "0\n";
    const char *message = source.state == 1 ? source.on_message : source.off_message;

    FUZZ_CHECK(content_of(source.warn_path) == (event ? std::string(message) + "\n" : "(none)"));
    FUZZ_CHECK(take_syslog() == (event ? 2 : 0));
    const std::string hook = source.id == source_di && event
                                 ? std::string("ledcontrol\tdi\t") + (source.state == 1 ? "on\n" : "off\n")
                                 : "";
    FUZZ_CHECK(take_commands() == hook);
    if (file_or_none)
        FUZZ_CHECK(content_of(source.status_path) == (recorded == source.state ? content : state_line));
    else if (kind == standing::directory)
        FUZZ_CHECK(is_directory(source.status_path));
    // Nothing is written through a link.
    FUZZ_CHECK(content_of(elsewhere) == (kind == standing::link ? content : "(none)"));
    // No scratch file is left beside the event files.
    const std::string status_name = strrchr(source.status_path, '/') + 1;
    const std::string warn_name = strrchr(source.warn_path, '/') + 1;
    for (const std::string &name : fuzz::entries(events))
        FUZZ_CHECK(name == status_name || name == warn_name);
    return 0;
}
