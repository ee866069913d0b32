// Bounds calls that have no time limit of their own, such as glibc's syslog,
// which waits in send for as long as the receiver does not read. While the
// ticks run, SIGALRM arrives every period with a handler installed without
// SA_RESTART, so each blocking system call under way fails with EINTR at
// the next tick. Nothing else in the daemon uses SIGALRM or the real-time
// interval timer.
#pragma once

void start_call_ticks(unsigned period_ms);
// The ticks that came since the start.
unsigned stop_call_ticks();
