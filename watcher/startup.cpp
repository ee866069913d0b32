#include "watcher/startup.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "common/replace_file.h"

namespace {

constexpr int defaulted_signals[] = {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGALRM, SIGVTALRM, SIGPROF};
// Timers survive exec: their signals would end the daemon some day.
struct inherited_timer {
    int which;
    int signal_number;
};
constexpr inherited_timer inherited_timers[] = {
    {ITIMER_REAL, SIGALRM}, {ITIMER_VIRTUAL, SIGVTALRM}, {ITIMER_PROF, SIGPROF}};
// Never through a link, never waiting on a FIFO.
constexpr int lock_open_flags = O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Whoever can open the lock file can hold it and keep every start out: one
// others can open is made afresh (only root writes in /run).
int open_lock_file()
{
    int fd = openat(AT_FDCWD, lock_file_path, lock_open_flags, 0600);
    struct stat status;
    if (fd < 0 || (fstat(fd, &status) == 0 && status.st_uid == geteuid() && (status.st_mode & 077) == 0))
        return fd;
    close(fd);
    unlinkat(AT_FDCWD, lock_file_path, 0);
    fd = openat(AT_FDCWD, lock_file_path, lock_open_flags | O_EXCL, 0600);
    // A daemon started at the same moment made it first: the lock decides.
    return fd < 0 && errno == EEXIST ? openat(AT_FDCWD, lock_file_path, lock_open_flags, 0600) : fd;
}

} // namespace

void shed_inherited_state()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int null_fd = openat(AT_FDCWD, "/dev/null", O_RDWR);
            if (null_fd >= 0 && null_fd != fd)
                close(null_fd);
        }
    // Ignoring the signal drops a tick pending while blocked.
    const itimerval disarmed = {};
    for (const inherited_timer &timer : inherited_timers) {
        setitimer(timer.which, &disarmed, nullptr);
        signal(timer.signal_number, SIG_IGN);
    }
    for (const int number : defaulted_signals)
        signal(number, SIG_DFL);
    // The commands' wait and the syslog bound need SIGCHLD and SIGALRM.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Marked, not closed: one may be a device library's, opened before main.
    const long limit = sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0)
            fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

int lock_single_instance()
{
    const int fd = open_lock_file();
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    if (fd >= 0 && errno == EWOULDBLOCK) {
        printf("another linewatch holds %s\n", lock_file_path);
        return 1;
    }
    printf("lock %s failed %s\n", lock_file_path, strerror(errno));
    if (fd >= 0)
        close(fd);
    return -1;
}

int detach(bool foreground)
{
    fflush(stdout);
    if (!foreground && daemon(1, 1) != 0) {
        printf("daemon failed %s\n", strerror(errno));
        return -1;
    }
    write_pid_file();
    return 0;
}

int write_pid_file()
{
    // Left by a daemon killed while it wrote the file.
    remove_stale_scratch(pid_file_path);
    file_replacement replacement;
    if (begin_replacement(replacement, pid_file_path, 0644)
        && finish_replacement(replacement, fprintf(replacement.stream, "%d\n", static_cast<int>(getpid())) > 0) == 0)
        return 0;
    printf("create file %s failed %s\n", pid_file_path, strerror(errno));
    fflush(stdout);
    return -1;
}
