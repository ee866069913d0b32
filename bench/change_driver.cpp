// change-driver COUNT: inside the sandbox, makes COUNT changes of the digital
// input on the twin and prints the latency of each, from the interrupt to
// inotify's word that /tmp/events/diwarn was written, in microseconds. The
// next change waits until the twin sees the daemon settled: back in its
// interrupt wait, or through a whole pass while it holds a relay.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "sim/twin_control.h"

namespace {

alignas(inotify_event) char events[4096];

long long now_us()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Until the warn file is written; false when nothing is written for 10 s.
bool warn_written(int watch_fd)
{
    pollfd ready = {watch_fd, POLLIN, 0};
    while (poll(&ready, 1, 10000) == 1) {
        const ssize_t got = read(watch_fd, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events + at);
            if (event->len > 0 && strcmp(event->name, "diwarn") == 0)
                return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const long count = argc == 2 ? strtol(argv[1], nullptr, 10) : 0;
    const int watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    char reply[64];
    if (count <= 0 || watch_fd < 0 || inotify_add_watch(watch_fd, "/tmp/events", IN_MODIFY) < 0 ||
        !twin::control("reg 9", reply)) {
        fprintf(stderr, "usage: change-driver COUNT, inside the sandbox with the twin and /tmp/events\n");
        return 2;
    }
    long lines = strtol(reply, nullptr, 0);
    char line[64];
    for (long i = 0; i < count; ++i) {
        lines ^= 0x10;
        snprintf(line, sizeof line, "reg 9 %ld", lines);
        const bool set = twin::control_ok(line);
        // What the last change wrote after its warn line may still be queued.
        while (read(watch_fd, events, sizeof events) > 0) {
        }
        const long long raised = now_us();
        if (!set || !twin::control_ok("irq") || !warn_written(watch_fd)) {
            fprintf(stderr, "change-driver: change %ld made no warn line\n", i + 1);
            return 1;
        }
        printf("%lld\n", now_us() - raised);
        if (!twin::control_ok("wait-settled 10000")) {
            fprintf(stderr, "change-driver: the daemon did not settle after change %ld\n", i + 1);
            return 1;
        }
    }
    return 0;
}
