#include "watcher/events_directory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "watcher/event_source.h"

namespace {

// Whatever the umask, nobody else may add files to it.
constexpr mode_t directory_mode = 0777 & ~(S_IWGRP | S_IWOTH);
// Someone who keeps putting things back can only make the daemon give up,
// not loop.
constexpr int attempts = 3;
// The entry goes into a directory made for it under a unique name: whatever
// kind of entry it is, the rename then takes a name nobody else holds.
constexpr char aside_path[] = "/tmp/events.XXXXXX/events";
constexpr size_t aside_directory_length = sizeof "/tmp/events.XXXXXX" - 1;

bool is_own_directory(const struct stat &st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool move_aside(char (&aside)[sizeof aside_path])
{
    aside[aside_directory_length] = '\0';
    if (mkdtemp(aside) == nullptr)
        return false;
    aside[aside_directory_length] = '/';
    if (rename(events_directory, aside) == 0)
        return true;
    const int saved = errno;
    aside[aside_directory_length] = '\0';
    rmdir(aside);
    errno = saved;
    return false;
}

} // namespace

void make_events_directory(bool at_start)
{
    // Start-up's line is for its first mkdir only.
    for (int attempt = 0; attempt < attempts; ++attempt, at_start = false) {
        if (mkdir(events_directory, directory_mode) == 0)
            return;
        const int error = errno;
        if (at_start)
            printf("mkdir %s failed %s\n", events_directory, strerror(error));
        struct stat st;
        if (error != EEXIST || lstat(events_directory, &st) != 0 || is_own_directory(st))
            return;
        char aside[sizeof aside_path];
        memcpy(aside, aside_path, sizeof aside_path);
        if (!move_aside(aside)) {
            printf("move %s aside failed %s\n", events_directory, strerror(errno));
            return;
        }
        printf("moved %s aside to %s\n", events_directory, aside);
    }
}
