// Bounds calls with no time limit of their own, such as glibc's syslog: while
// the ticks run, SIGALRM comes every period to a handler without SA_RESTART,
// so a blocking system call fails with EINTR at the next tick. Nothing else
// uses SIGALRM or the real-time interval timer.
#pragma once

void start_call_ticks(unsigned period_ms);
// The ticks that came since the start.
unsigned stop_call_ticks();
