// The end of start-up: standard output flushed once, so that what start-up
// printed is neither written by both processes nor held back from the log,
// then daemon(1, 1), after which the starting process has ended with status
// 0 (none when `foreground`: a supervisor watches the process it started),
// then the pid file. 0, or -1 after one line when daemon() fails: carrying on
// in the foreground, the daemon would be the process its starter waits for.
#pragma once

int detach(bool foreground);
