#include "tables/event_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/own_file.h"
#include "common/replace_file.h"
#include "tables/tables.h"

namespace {

// The directory in use, held open so that its inode cannot go to another
// while the daemon compares against it; -1 when none is.
int held_fd = -1;
dev_t held_device;
ino_t held_inode;

uint8_t reported_causes[directory_slot + 1];

// Someone who keeps putting one back keeps the daemon from using any, for
// that pass. The entry goes into a directory made for it: whatever its kind,
// the rename takes a name nobody else holds.
constexpr int take_attempts = 3;
constexpr char aside_template[] = "/tmp/events.XXXXXX/events";
constexpr size_t aside_directory_length = sizeof "/tmp/events.XXXXXX" - 1;

bool move_aside()
{
    char aside[sizeof aside_template];
    memcpy(aside, aside_template, sizeof aside);
    aside[aside_directory_length] = '\0';
    if (mkdtemp(aside) != nullptr) {
        aside[aside_directory_length] = '/';
        if (rename(tables::events_directory, aside) == 0) {
            printf("moved %s aside to %s\n", tables::events_directory, aside);
            return true;
        }
        const int saved = errno;
        aside[aside_directory_length] = '\0';
        rmdir(aside);
        errno = saved;
    }
    if (first_report(directory_slot, errno))
        printf("move %s aside failed %s\n", tables::events_directory, strerror(errno));
    return false;
}

// Holds the directory when it is the daemon's own. In the sticky /tmp nobody
// else can replace an entry of its user between the look and the open.
bool hold_if_own()
{
    struct stat entry;
    if (lstat(tables::events_directory, &entry) != 0 || entry.st_uid != geteuid()
        || !(S_ISDIR(entry.st_mode) || S_ISLNK(entry.st_mode)))
        return false;
    const int fd = open(tables::events_directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat target;
    if (fd >= 0 && fstat(fd, &target) == 0 && target.st_uid == geteuid()) {
        held_fd = fd;
        held_device = target.st_dev;
        held_inode = target.st_ino;
        return true;
    }
    if (fd >= 0)
        close(fd);
    return false;
}

bool take_directory(bool at_start)
{
    for (int attempt = 0; attempt < take_attempts; ++attempt) {
        if (mkdir(tables::events_directory, 0777) != 0) {
            const int error = errno;
            // Start-up says why, as it always has; a pass only what is new.
            const bool new_cause = error != EEXIST && first_report(directory_slot, error);
            if (new_cause || (at_start && attempt == 0))
                printf("mkdir %s failed %s\n", tables::events_directory, strerror(error));
            if (error != EEXIST)
                return false;
        }
        if (hold_if_own())
            return true;
        if (!move_aside())
            return false;
    }
    if (first_report(directory_slot, EEXIST))
        printf("mkdir %s failed %s\n", tables::events_directory, strerror(EEXIST));
    return false;
}

// True, errno EACCES, while no directory is in use.
bool no_directory()
{
    if (held_fd >= 0)
        return false;
    errno = EACCES;
    return true;
}

} // namespace

bool check_events_directory(bool at_start)
{
    struct stat now;
    if (held_fd >= 0 && stat(tables::events_directory, &now) == 0 && now.st_dev == held_device
        && now.st_ino == held_inode)
        return true;
    // What the lost directory recorded is kept until a new one takes it.
    if (held_fd >= 0) {
        close(held_fd);
        held_fd = -1;
        keep_states_in_memory();
    }
    if (!take_directory(at_start))
        return false;
    first_report(directory_slot, 0);
    // Left by a daemon killed while it replaced a file.
    remove_stale_scratch("/tmp/events/*");
    // Start-up prepares the tables itself.
    if (!at_start) {
        rebuild_relay_table();
        touch_file(tables::trap_table);
        touch_file(tables::email_table);
    }
    return true;
}

bool first_report(int slot, int cause)
{
    if (reported_causes[slot] == cause)
        return false;
    // Linux's errno values all fit a byte.
    reported_causes[slot] = static_cast<uint8_t>(cause);
    return cause != 0;
}

int open_event_file(const char *path, int flags)
{
    return no_directory() ? -1 : open_own_file(path, flags);
}

FILE *open_event_stream(const char *path, const char *mode)
{
    return no_directory() ? nullptr : open_own_stream(path, mode);
}

bool events_directory_in_use()
{
    return held_fd >= 0;
}

bool begin_event_replacement(file_replacement &replacement, const char *path, bool over_anything)
{
    struct stat old;
    const bool found = lstat(path, &old) == 0;
    const bool own = found && S_ISREG(old.st_mode) && old.st_uid == geteuid();
    if (no_directory())
        return false;
    if (found && !own && !over_anything) {
        errno = EPERM;
        return false;
    }
    const bool kept = own && old.st_nlink == 1;
    if (!begin_replacement(replacement, path, kept ? old.st_mode & 0777 : new_file_mode()))
        return false;
    // The group as it was, where the daemon's user may give it: if not, its own.
    if (kept && fchown(fileno(replacement.stream), static_cast<uid_t>(-1), old.st_gid) != 0) {
    }
    return true;
}
