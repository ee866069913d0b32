#include "watcher/startup_guard.h"

#include <csignal>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr int defaulted_signals[] = {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGALRM};

// Marked, not closed: a descriptor above 2 may as well have been opened by
// a device library's constructor before main, and nothing tells the two
// apart; closing that one would break the library for good. Up to the
// process's limit: one call per number, once, costs less than reading
// /proc/self/fd would in code.
void keep_descriptors_from_commands()
{
    const long limit = sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0)
            fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

} // namespace

void shed_inherited_state()
{
    // A tick of the starter's timer that came while blocked is dropped with
    // the timer (ignoring a signal discards it), not delivered once the mask
    // is cleared below.
    const itimerval disarmed = {};
    setitimer(ITIMER_REAL, &disarmed, nullptr);
    signal(SIGALRM, SIG_IGN);
    for (const int number : defaulted_signals)
        signal(number, SIG_DFL);
    // The commands' wait and the bound on a syslog line rely on SIGCHLD and
    // SIGALRM arriving.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    keep_descriptors_from_commands();
}
