#include "watcher/change.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/replace_file.h"
#include "common/write_stream.h"
#include "notify/notify.h"
#include "tables/tables.h"
#include "watcher/config_store.h"
#include "watcher/events_directory.h"

namespace {

constexpr size_t message_size = 256;

void load_mode(const char *key, uint8_t &mode)
{
    if (key == nullptr)
        return;
    const char *value = config_get(key);
    mode = static_cast<uint8_t>(value == nullptr ? 0 : atoi(value));
}

// The first byte of a file, EOF for an empty one. Every poll reads all nine
// status files, so this is a bare open, read and close, on the terms of
// open_read_stream. False with errno set when the file cannot be opened or
// read.
bool read_first_byte(const char *path, int &first)
{
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned char byte;
    const ssize_t got = read(fd, &byte, 1);
    const int saved = errno;
    close(fd);
    errno = saved;
    first = got == 1 ? byte : EOF;
    return got >= 0;
}

// A full file system has no room for a scratch file, yet a status file
// that is there keeps room for its two bytes. One write of them at its start
// never leaves it empty or without its new first byte, the only byte read
// back; a longer foreign file keeps its tail, which nothing reads. pwrite
// fails on anything but a file (a FIFO, which the open does not wait for).
bool overwrite_in_place(const char *path, const char *line, size_t length)
{
    const int fd = open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = pwrite(fd, line, length, 0) == static_cast<ssize_t>(length);
    close(fd);
    return written;
}

// 0, or the errno of the failure.
int store_status(const event_source &source)
{
    // A state is 0 or 1: one digit.
    const char line[] = {static_cast<char>('0' + source.state), '\n'};
    file_replacement status;
    if (begin_replacement(status, source.status_path, new_file_mode()) &&
        finish_replacement(status, fwrite(line, 1, sizeof line, status.stream) == sizeof line) == 0)
        return 0;
    // Whatever kept the scratch file from replacing it (no room, mostly), a
    // status file that can be written where it stands takes the state there.
    const int error = errno;
    return overwrite_in_place(source.status_path, line, sizeof line) ? 0 : error;
}

// Tried at every pass until it succeeds; its failure is printed once for
// each new cause, so a fault that lasts does not fill the daemon's log ten
// lines a second in a relay hold.
void record_state(event_source &source)
{
    const int error = store_status(source);
    if (error != 0 && error != source.status_error)
        printf("open file %s failed:%s\n", source.status_path, strerror(error));
    // Linux's errno values all fit a byte.
    source.status_error = static_cast<uint8_t>(error);
    source.kept_state = source.state;
}

} // namespace

void poll_source(event_source &source)
{
    const int reading = source_readers[source.id]();
    if (reading >= 0)
        source.state = static_cast<uint8_t>(reading & 0xFF);
    load_settings(source);
    detect_change(source);
}

void load_settings(event_source &source)
{
    load_mode(source.syslog_key, source.syslog_mode);
    load_mode(source.email_key, source.email_mode);
    load_mode(source.trap_key, source.trap_mode);
    load_mode(source.relay_key, source.relay_mode);
}

void detect_change(event_source &source)
{
    const int current = source.state;
    int first;
    int recorded = -1;
    if (read_first_byte(source.status_path, first))
        recorded = first - '0';
    else if (errno == ENOENT || errno == ELOOP)
        // First sight of a source records its state; it is not an event. A
        // link in its place holds no record of the daemon's and is replaced;
        // the directory, removed while the daemon runs, is made again.
        make_events_directory(false);
    else
        // Any other failure (a directory in its place) skips it this time.
        return;
    // Until the file takes the state last reported, it holds the one before.
    if (source.status_error != 0)
        recorded = source.kept_state;

    // The state is recorded before anything is reported, so each change is
    // reported at most once. Killed half-way, the daemon has lost what
    // remained of that change's notifications, but the commands it had
    // started run to their end; recording the state last instead would
    // report every change under way again after a restart, which measured
    // far more often. A torn or foreign status file is taken as unrecorded:
    // it would otherwise silence the input for good.
    const bool changed = (recorded == 1 && current == 0) || (recorded == 0 && current == 1);
    if (changed)
        action_hooks[source.id](source.state);
    if (changed || (recorded != 0 && recorded != 1) || source.status_error != 0)
        record_state(source);
    if (changed) {
        append_warn(source);
        notify_event(source);
    }
}

int write_status(const event_source &source)
{
    const int error = store_status(source);
    if (error != 0) {
        printf("open file %s failed:%s\n", source.status_path, strerror(error));
        return -1;
    }
    return 0;
}

int append_warn(const event_source &source)
{
    char message[message_size] = {};
    FILE *warn = open_write_stream(source.warn_path, "a+");
    if (warn == nullptr) {
        printf("open file %s failed:%s\n", source.warn_path, strerror(errno));
        return -1;
    }
    pick_message(source, message);
    const int appended = append_line(warn, message);
    return fclose(warn) == 0 ? appended : -1;
}

int read_status(const event_source &source)
{
    int first;
    if (!read_first_byte(source.status_path, first)) {
        printf("open file %s failed:%s\n", source.status_path, strerror(errno));
        return -1;
    }
    return first - '0';
}

void format_timestamp(char *buffer)
{
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr || strftime(buffer, timestamp_size, "%Y-%m-%d %k:%M:%S  ", &local) == 0)
        buffer[0] = '\0';
}
