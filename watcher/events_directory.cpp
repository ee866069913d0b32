#include "watcher/events_directory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "watcher/event_source.h"

namespace {

// Whatever the umask, nobody else may add files to it.
constexpr mode_t directory_mode = 0777 & ~(S_IWGRP | S_IWOTH);
// Someone who keeps putting things back can only make the daemon give up,
// not loop.
constexpr int attempts = 3;

bool is_own_directory(const struct stat &st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The unique name is made first, of the same kind (rename replaces an empty
// directory by a directory and a file by anything else), so the rename takes
// a name nobody else holds.
bool move_aside(const struct stat &st, char *aside)
{
    if (S_ISDIR(st.st_mode)) {
        if (mkdtemp(aside) == nullptr)
            return false;
    } else {
        const int fd = mkostemp(aside, O_CLOEXEC);
        if (fd < 0)
            return false;
        close(fd);
    }
    if (rename(events_directory, aside) == 0)
        return true;
    const int saved = errno;
    if (S_ISDIR(st.st_mode))
        rmdir(aside);
    else
        unlink(aside);
    errno = saved;
    return false;
}

} // namespace

void make_events_directory(bool at_start)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (mkdir(events_directory, directory_mode) == 0)
            return;
        const int error = errno;
        if (at_start && attempt == 0)
            printf("mkdir %s failed %s\n", events_directory, strerror(error));
        struct stat st;
        if (error != EEXIST || lstat(events_directory, &st) != 0 || is_own_directory(st))
            return;
        char aside[PATH_MAX];
        const int length = snprintf(aside, sizeof aside, "%s.XXXXXX", events_directory);
        if (length < 0 || static_cast<size_t>(length) >= sizeof aside)
            return;
        if (!move_aside(st, aside)) {
            printf("move %s aside failed %s\n", events_directory, strerror(errno));
            return;
        }
        printf("moved %s aside to %s: not the daemon's own directory\n", events_directory, aside);
    }
}
