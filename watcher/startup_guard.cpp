#include "watcher/startup_guard.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>

namespace {

constexpr const char *open_descriptors = "/proc/self/fd";

// Marked, not closed: a descriptor above 2 may as well have been opened by
// a device library's constructor before main, and nothing tells the two
// apart; closing that one would break the library for good.
void keep_descriptors_from_commands()
{
    DIR *listing = opendir(open_descriptors);
    if (listing == nullptr) {
        printf("opendir %s failed %s\n", open_descriptors, strerror(errno));
        return;
    }
    const int own = dirfd(listing);
    for (const dirent *entry; (entry = readdir(listing)) != nullptr;) {
        const int fd = atoi(entry->d_name);
        const int flags = fd > 2 && fd != own ? fcntl(fd, F_GETFD) : -1;
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0)
            fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
    closedir(listing);
}

} // namespace

void shed_inherited_state()
{
    signal(SIGCHLD, SIG_DFL);
    // The commands' wait and the bound on a syslog line rely on SIGCHLD and
    // SIGALRM arriving.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    keep_descriptors_from_commands();
}
