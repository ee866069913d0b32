#include "common/call_ticks.h"

#include <csignal>
#include <sys/time.h>

namespace {

// Written only by the handler while the ticks run.
volatile sig_atomic_t ticks;

void on_tick(int)
{
    ticks = ticks + 1;
}

void set_timer(const timeval &period)
{
    const itimerval timer = {period, period};
    setitimer(ITIMER_REAL, &timer, nullptr);
}

} // namespace

void start_call_ticks(unsigned period_ms)
{
    ticks = 0;
    struct sigaction action;
    action.sa_handler = on_tick;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGALRM, &action, nullptr);
    // Periodic: a call that retries once on EINTR must end too.
    set_timer({static_cast<time_t>(period_ms / 1000), static_cast<suseconds_t>(period_ms % 1000 * 1000)});
}

unsigned stop_call_ticks()
{
    // The handler stays: a tick under way would find the default, fatal.
    set_timer({});
    return static_cast<unsigned>(ticks);
}
