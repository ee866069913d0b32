#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "tables/event_files.h"

namespace {

// The state each status file holds, or should while `pending`: a change
// reported is neither reported again nor forgotten.
struct kept_state {
    uint8_t state;
    bool known;
    bool pending;
};
kept_state kept_states[source_count];

// Tried at every pass until the file holds it. A full file system has no
// room for a scratch file, yet a status file that is there keeps room for its
// two bytes: one write of them at its start never leaves it empty or without
// its new first byte, the only byte read back.
int write_state(const event_source &source, uint8_t state)
{
    kept_states[source.id] = {state, true, true};
    const char line[2] = {static_cast<char>('0' + state), '\n'};
    file_replacement status;
    if (!begin_event_replacement(status, source.status_path, true)
        || finish_replacement(status, fwrite(line, 1, sizeof line, status.stream) == sizeof line) != 0) {
        const int error = errno;
        const int fd = open_event_file(source.status_path, O_WRONLY);
        const bool written = fd >= 0 && pwrite(fd, line, sizeof line, 0) == static_cast<ssize_t>(sizeof line);
        if (fd >= 0)
            close(fd);
        if (!written) {
            if (first_report(source.id, error) && events_directory_in_use())
                printf("open file %s failed:%s\n", source.status_path, strerror(error));
            return -1;
        }
    }
    kept_states[source.id].pending = false;
    first_report(source.id, 0);
    return 0;
}

} // namespace

int read_first_byte(const char *path, int &byte)
{
    const int fd = open_event_file(path, O_RDONLY);
    if (fd < 0)
        return -1;
    unsigned char first;
    const ssize_t got = read(fd, &first, 1);
    const int saved = errno;
    close(fd);
    errno = saved;
    byte = got == 1 ? first : EOF;
    return got < 0 ? -1 : 0;
}

int recorded_state(const event_source &source)
{
    kept_state &kept = kept_states[source.id];
    if (kept.pending) {
        write_state(source, kept.state);
        return kept.state;
    }
    int byte;
    if (read_first_byte(source.status_path, byte) != 0) {
        // Nothing, or nothing the daemon can trust.
        if (errno == ENOENT || errno == ELOOP || errno == EPERM || errno == EACCES)
            return state_unrecorded;
        if (first_report(source.id, errno))
            printf("open file %s failed:%s\n", source.status_path, strerror(errno));
        return state_unreadable;
    }
    first_report(source.id, 0);
    if (byte != '0' && byte != '1')
        return state_unrecorded;
    kept = {static_cast<uint8_t>(byte - '0'), true, false};
    return kept.state;
}

int record_state(const event_source &source)
{
    return write_state(source, source.state);
}

void keep_states_in_memory()
{
    for (kept_state &kept : kept_states)
        kept.pending = kept.known;
}
