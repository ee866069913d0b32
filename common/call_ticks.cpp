#include "common/call_ticks.h"

#include <csignal>
#include <unistd.h>

namespace {

void on_tick(int) {}

} // namespace

void start_call_ticks(unsigned period_ms)
{
    struct sigaction action;
    action.sa_handler = on_tick;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGALRM, &action, nullptr);
    // Periodic, not one-shot: a call that gives up its first try on EINTR
    // may try once more, and that try must end too.
    const auto period_us = static_cast<useconds_t>(period_ms * 1000);
    ualarm(period_us, period_us);
}

void stop_call_ticks()
{
    // The handler stays: a tick already under way finds it, not the default
    // action, which would end the daemon.
    ualarm(0, 0);
}
