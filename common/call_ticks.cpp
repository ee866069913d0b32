#include "common/call_ticks.h"

#include <csignal>
#include <sys/time.h>

namespace {

void on_tick(int) {}

} // namespace

void start_call_ticks(unsigned period_ms)
{
    struct sigaction action = {};
    action.sa_handler = on_tick;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    // Periodic, not one-shot: a call that gives up its first try on EINTR
    // may try once more, and that try must end too.
    const timeval period = {static_cast<time_t>(period_ms / 1000), static_cast<suseconds_t>(period_ms % 1000 * 1000)};
    const itimerval ticks = {period, period};
    setitimer(ITIMER_REAL, &ticks, nullptr);
}

void stop_call_ticks()
{
    // The handler stays: a tick already under way finds it, not the default
    // action, which would end the daemon.
    const itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
}
