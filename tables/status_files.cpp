#include "tables/status_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "common/daemon_state.h"

namespace {

void say_once(const event_source &source, int cause)
{
    if (first_report(source.id, cause) && events_directory_in_use())
        printf("open file %s failed:%s\n", source.status_path, strerror(cause));
}

} // namespace

entry_found read_first_byte(const char *path, int &byte)
{
    const event_file file = open_event_file(path, O_RDONLY);
    unsigned char first;
    const ssize_t got = file.fd < 0 ? -1 : read(file.fd, &first, 1);
    const int cause = errno;
    if (file.fd >= 0)
        close(file.fd);
    errno = cause;
    byte = got == 1 ? first : got == 0 ? EOF : read_failed;
    return file.found;
}

int recorded_state(const event_source &source)
{
    kept_state &kept = daemon_memory.states[source.id];
    if (kept.pending)
        return kept.state;
    int first;
    const entry_found found = read_first_byte(source.status_path, first);
    if ((found == entry_own && first == read_failed) || (found == entry_unopenable && events_directory_in_use())) {
        say_once(source, errno);
        return state_unreadable;
    }
    first_report(source.id, 0);
    if (found == entry_own && (first == '0' || first == '1')) {
        kept = {static_cast<uint8_t>(first - '0'), true, false};
        return kept.state;
    }
    // No record of the daemon's: the state it knows outranks a lost one.
    if (!kept.known)
        return state_unrecorded;
    kept.pending = true;
    return kept.state;
}

int write_status(const event_source &source)
{
    kept_state &kept = daemon_memory.states[source.id];
    kept = {source.state, true, true};
    const char line[2] = {static_cast<char>('0' + source.state), '\n'};
    file_replacement status;
    if (!begin_event_replacement(status, source.status_path, true)
        || finish_replacement(status, fprintf(status.stream, "%c\n", line[0]) == 2) != 0) {
        // A full file system has no room for a scratch file, yet a status
        // file that is there keeps room for its two bytes: one write of them
        // at its start never leaves it empty or without its new first byte,
        // the only byte read back.
        const int cause = errno;
        const event_file file = open_event_file(source.status_path, O_WRONLY);
        const bool written = file.fd >= 0 && pwrite(file.fd, line, sizeof line, 0) == static_cast<ssize_t>(sizeof line);
        if (file.fd >= 0)
            close(file.fd);
        if (!written) {
            say_once(source, cause);
            return -1;
        }
    }
    kept.pending = false;
    first_report(source.id, 0);
    return 0;
}

void save_pending_states(const event_source *sources, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const kept_state &kept = daemon_memory.states[sources[i].id];
        if (!kept.pending)
            continue;
        event_source saved = sources[i];
        saved.state = kept.state;
        write_status(saved);
    }
}

void mark_states_unsaved()
{
    for (kept_state &kept : daemon_memory.states)
        kept.pending = kept.known;
}
