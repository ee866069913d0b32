// Drives changes of the digital input on the twin and times each from the
// interrupt to the daemon's warn line.
//
//   change-driver COUNT idle|settled [PID]
//
// For each change: flip the input's register bit, raise an interrupt, wait
// (inotify) until /tmp/events/diwarn is written, then wait until the twin
// reports the daemon idle (`idle`) or a whole pass done since the interrupt
// (`settled`, for a daemon that holds a relay). Prints one line per change:
// the latency in microseconds. Given the daemon's PID (with `idle`), each
// change is preceded by an interrupt without a change, and the line goes on
// with the daemon's CPU time in nanoseconds over the change's pass and over
// that bare pass: their difference is what the change itself cost it.
// Runs inside the sandbox with the twin.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "sim/twin_control.h"

namespace {

constexpr const char *events_directory = "/tmp/events";
constexpr const char *warn_name = "diwarn";
constexpr int di_bit = 0x10;
constexpr int limit_ms = 10000;

long long now_us()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool control_ok(const char *line)
{
    char reply[64];
    if (twin::control(line, reply) && strcmp(reply, "ok") == 0)
        return true;
    fprintf(stderr, "change-driver: the twin answered '%s' to '%s'\n", reply, line);
    return false;
}

// The process's CPU time so far: the scheduler's account, or user and
// system time in clock ticks where the kernel keeps no such account.
long long cpu_ns(long pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/schedstat", pid);
    long long ns = -1;
    if (FILE *file = fopen(path, "re")) {
        if (fscanf(file, "%lld", &ns) != 1)
            ns = -1;
        fclose(file);
        return ns;
    }
    snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    char stat[1024] = {};
    if (FILE *file = fopen(path, "re")) {
        if (fgets(stat, sizeof stat, file) == nullptr)
            stat[0] = '\0';
        fclose(file);
    }
    // The fields after the command name, which may hold blanks: state, then
    // ten numbers up to utime and stime.
    const char *after_name = strrchr(stat, ')');
    unsigned long user = 0;
    unsigned long system = 0;
    if (after_name == nullptr ||
        sscanf(after_name + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
        return -1;
    return static_cast<long long>(user + system) * 1000000000LL / sysconf(_SC_CLK_TCK);
}

// Throws away events already queued, from writes before this change.
void drain(int watch_fd)
{
    alignas(inotify_event) char buffer[4096];
    while (read(watch_fd, buffer, sizeof buffer) > 0) {
    }
}

// Until the warn file is written; false after the time limit.
bool wait_for_warn_line(int watch_fd)
{
    const long long deadline = now_us() + limit_ms * 1000LL;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const long long left_ms = (deadline - now_us()) / 1000;
        if (left_ms <= 0)
            return false;
        pollfd ready = {watch_fd, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left_ms)) <= 0)
            continue;
        const ssize_t got = read(watch_fd, buffer, sizeof buffer);
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->len > 0 && strcmp(event->name, warn_name) == 0)
                return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    const long count = argc >= 3 ? strtol(argv[1], nullptr, 10) : 0;
    const bool settled = argc >= 3 && strcmp(argv[2], "settled") == 0;
    const long pid = argc == 4 ? strtol(argv[3], nullptr, 10) : 0;
    if (count <= 0 || argc > 4 || (!settled && strcmp(argv[2], "idle") != 0) || (argc == 4 && (pid <= 0 || settled))) {
        fprintf(stderr, "usage: change-driver COUNT idle|settled [PID]\n");
        return 2;
    }
    if (pid > 0 && cpu_ns(pid) < 0) {
        fprintf(stderr, "change-driver: cannot read the CPU time of process %ld\n", pid);
        return 1;
    }
    const int watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_fd < 0 || inotify_add_watch(watch_fd, events_directory, IN_MODIFY) < 0) {
        fprintf(stderr, "change-driver: cannot watch %s: %s\n", events_directory, strerror(errno));
        return 1;
    }
    char reply[64];
    if (!twin::control("reg 9", reply)) {
        fprintf(stderr, "change-driver: no twin\n");
        return 1;
    }
    long lines = strtol(reply, nullptr, 0);
    char line[64];
    char wait_line[64];
    snprintf(wait_line, sizeof wait_line, "%s %d", settled ? "wait-settled" : "wait-idle", limit_ms);
    for (long i = 0; i < count; ++i) {
        long long bare_ns = 0;
        if (pid > 0) {
            const long long before = cpu_ns(pid);
            if (!control_ok("irq") || !control_ok(wait_line))
                return 1;
            bare_ns = cpu_ns(pid) - before;
        }
        lines ^= di_bit;
        snprintf(line, sizeof line, "reg 9 %ld", lines);
        if (!control_ok(line))
            return 1;
        drain(watch_fd);
        const long long before = pid > 0 ? cpu_ns(pid) : 0;
        const long long raised = now_us();
        if (!control_ok("irq"))
            return 1;
        if (!wait_for_warn_line(watch_fd)) {
            fprintf(stderr, "change-driver: no warn line within %d ms of interrupt %ld\n", limit_ms, i + 1);
            return 1;
        }
        const long long latency = now_us() - raised;
        if (!control_ok(wait_line))
            return 1;
        if (pid > 0)
            printf("%lld %lld %lld\n", latency, cpu_ns(pid) - before, bare_ns);
        else
            printf("%lld\n", latency);
    }
    return 0;
}
