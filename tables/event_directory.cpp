#include "tables/event_directory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "common/daemon_state.h"
#include "common/format.h"
#include "common/own_file.h"

namespace {

constexpr char directory_prefix[] = "/tmp/events/";

// Someone who keeps putting one back keeps the daemon out for that pass. The
// entry goes into a directory made for it, a name nobody else holds.
constexpr int take_attempts = 3;
constexpr char aside_template[] = "/tmp/events.XXXXXX/events";
constexpr size_t aside_directory_length = sizeof "/tmp/events.XXXXXX" - 1;
// As many as the kernel follows on one path.
constexpr int link_limit = 40;

// The name of an event file in the directory held; nullptr, errno EACCES,
// while none is held or for a path elsewhere.
const char *name_in_directory(const char *path)
{
    const size_t length = sizeof directory_prefix - 1;
    if (daemon_memory.directory_fd >= 0 && strncmp(path, directory_prefix, length) == 0 && strchr(path + length, '/') == nullptr)
        return path + length;
    errno = EACCES;
    return nullptr;
}

// "ACTION /tmp/events[ASIDE] failed CAUSE", once per cause.
void say_once(const char *action, int cause, const char *aside = "")
{
    if (first_report(directory_slot, cause))
        printf("%s %s%s failed %s\n", action, tables::events_directory, aside, strerror(cause));
}

bool move_aside()
{
    char aside[sizeof aside_template];
    memcpy(aside, aside_template, sizeof aside);
    aside[aside_directory_length] = '\0';
    if (mkdtemp(aside) != nullptr) {
        aside[aside_directory_length] = '/';
        if (renameat(AT_FDCWD, tables::events_directory, AT_FDCWD, aside) == 0) {
            printf("moved %s aside to %s\n", tables::events_directory, aside);
            return true;
        }
        const int saved = errno;
        aside[aside_directory_length] = '\0';
        unlinkat(AT_FDCWD, aside, AT_REMOVEDIR);
        errno = saved;
    }
    say_once("move", errno, " aside");
    return false;
}

bool trusted_owner(const struct stat &entry)
{
    return entry.st_uid == 0 || entry.st_uid == geteuid();
}

// The root directory, reached from /tmp where it can be: an emulator's prefix
// (qemu -L) stands in for "/" itself, but not for /tmp.
int open_root()
{
    const int tmp = openat(AT_FDCWD, "/tmp", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int root = tmp < 0 ? openat(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC) : openat(tmp, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (tmp >= 0)
        close(tmp);
    return root;
}

// The directory at `path`, links followed only along a way no other user can
// change: each directory passed is root's or the daemon user's, and where
// others may write it is sticky and the entry passed is too. -1 with errno
// set, EPERM for a way someone else could change.
int open_trusted_directory(const char *path)
{
    char way[PATH_MAX];
    char target[PATH_MAX];
    int directory = format_whole(way, sizeof way, "%s", path) ? open_root() : -1;
    char *rest = way;
    for (int links = 0; directory >= 0;) {
        while (*rest == '/')
            ++rest;
        if (*rest == '\0') {
            const int fd = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(directory);
            return fd;
        }
        char *name = rest;
        while (*rest != '\0' && *rest != '/')
            ++rest;
        if (*rest != '\0')
            *rest++ = '\0';
        struct stat here, entry;
        if (fstat(directory, &here) != 0 || fstatat(directory, name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
            break;
        const bool others_write = (here.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (!trusted_owner(here) || (others_write && ((here.st_mode & S_ISVTX) == 0 || !trusted_owner(entry)))) {
            errno = EPERM;
            break;
        }
        if (!S_ISLNK(entry.st_mode)) {
            const int next = openat(directory, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            close(directory);
            directory = next;
            continue;
        }
        const ssize_t length = readlinkat(directory, name, target, sizeof target - 1);
        if (length <= 0 || ++links > link_limit) {
            errno = length < 0 ? errno : ELOOP;
            break;
        }
        // The rest of the way goes on from where the link leads.
        if (!format_whole(target + length, sizeof target - static_cast<size_t>(length), "/%s", rest)) {
            errno = ENAMETOOLONG;
            break;
        }
        memcpy(way, target, sizeof way);
        rest = way;
        if (target[0] == '/') {
            close(directory);
            directory = open_root();
        }
    }
    const int saved = errno;
    if (directory >= 0)
        close(directory);
    errno = saved;
    return -1;
}

// The daemon's own entry is never moved aside: while it cannot be opened (a
// link to storage not mounted yet) it is tried again at the next pass.
bool hold_own(int fd)
{
    struct stat target;
    if (fd >= 0 && (fstat(fd, &target) != 0 || target.st_uid != geteuid())) {
        close(fd);
        fd = -1;
        errno = EPERM;
    }
    if (fd < 0) {
        say_once("open", errno);
        return false;
    }
    daemon_memory.directory_fd = fd;
    daemon_memory.directory_device = target.st_dev;
    daemon_memory.directory_inode = target.st_ino;
    return true;
}

bool take_directory()
{
    for (int attempt = 0; attempt < take_attempts; ++attempt) {
        if (mkdir(tables::events_directory, 0777) != 0 && errno != EEXIST) {
            say_once("mkdir", errno);
            return false;
        }
        // In the sticky /tmp nobody else can replace an entry of the daemon's
        // user between this look and the open.
        struct stat entry;
        if (fstatat(AT_FDCWD, tables::events_directory, &entry, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (entry.st_uid == geteuid() && (S_ISDIR(entry.st_mode) || S_ISLNK(entry.st_mode)))
            return hold_own(open_trusted_directory(tables::events_directory));
        if (!move_aside())
            return false;
    }
    say_once("mkdir", EEXIST);
    return false;
}

} // namespace

void make_events_directory()
{
    // Said once: the check that follows does not say it again.
    if (mkdir(tables::events_directory, 0777) != 0)
        say_once("mkdir", errno);
}

directory_check check_events_directory()
{
    daemon_state &memory = daemon_memory;
    struct stat now;
    if (memory.directory_fd >= 0 && fstatat(AT_FDCWD, tables::events_directory, &now, 0) == 0
        && now.st_dev == memory.directory_device && now.st_ino == memory.directory_inode)
        return directory_kept;
    if (memory.directory_fd >= 0) {
        close(memory.directory_fd);
        memory.directory_fd = -1;
    }
    if (!take_directory())
        return directory_none;
    first_report(directory_slot, 0);
    // Left by a daemon killed while it replaced a file.
    remove_stale_scratch_at(memory.directory_fd, nullptr);
    return directory_taken;
}

bool events_directory_in_use()
{
    return daemon_memory.directory_fd >= 0;
}

bool first_report(int slot, int cause)
{
    uint8_t &said = daemon_memory.said_causes[slot];
    if (said == cause)
        return false;
    // Linux's errno values all fit a byte.
    said = static_cast<uint8_t>(cause);
    return cause != 0;
}

event_file open_event_file(const char *path, int flags)
{
    event_file file = {-1, entry_unopenable, EACCES, {}};
    const int directory = daemon_memory.directory_fd;
    const char *name = name_in_directory(path);
    if (name == nullptr)
        return file;
    const int fd = openat(directory, name, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    file.error = errno;
    // Judged by what stands there, not by open's error: a link, a socket or
    // a FIFO nobody reads holds nothing of the daemon's either.
    const bool looked = fd >= 0 ? fstat(fd, &file.status) == 0 : fstatat(directory, name, &file.status, AT_SYMLINK_NOFOLLOW) == 0;
    file.found = !looked ? (errno == ENOENT ? entry_missing : entry_unopenable)
                 : !own_regular_file(file.status) ? entry_foreign
                 : fd >= 0 && ((flags & O_TRUNC) == 0 || ftruncate(fd, 0) == 0) ? entry_own
                                                                                : entry_unopenable;
    if (file.found == entry_own) {
        file.fd = fd;
        return file;
    }
    if (fd >= 0) {
        file.error = file.found == entry_foreign ? EPERM : errno;
        close(fd);
    }
    // The daemon's file under a second name: the other name keeps it, this
    // one starts anew (a copy could hand the daemon someone else's file).
    if (file.found == entry_foreign && S_ISREG(file.status.st_mode) && file.status.st_uid == geteuid()
        && (flags & (O_CREAT | O_EXCL)) == O_CREAT && unlinkat(directory, name, 0) == 0)
        return open_event_file(path, flags | O_EXCL);
    errno = file.error;
    return file;
}

FILE *open_event_stream(const char *path, const char *mode)
{
    const event_file file = open_event_file(path, fopen_flags(mode));
    FILE *stream = file.fd < 0 ? nullptr : fdopen(file.fd, mode);
    if (file.fd >= 0 && stream == nullptr)
        close(file.fd);
    return stream;
}

bool begin_event_replacement(file_replacement &replacement, const char *path, bool over_anything)
{
    const int directory = daemon_memory.directory_fd;
    const char *name = name_in_directory(path);
    struct stat old;
    if (name == nullptr)
        return false;
    const bool found = fstatat(directory, name, &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (found && !over_anything && !(S_ISREG(old.st_mode) && old.st_uid == geteuid())) {
        errno = EPERM;
        return false;
    }
    const bool kept = found && own_regular_file(old);
    return kept ? begin_replacement_at(replacement, directory, name, old.st_mode & 0777, old.st_gid)
                : begin_replacement_at(replacement, directory, name, new_file_mode());
}
