// The process around the daemon: what start-up sheds, locks and writes
// before and after it detaches.
#pragma once

constexpr const char *lock_file_path = "/run/linewatch.lock";
constexpr const char *pid_file_path = "/run/linewatch.pid";

// First thing: takes back what a starter hands down and the daemon would keep
// for life. Closed standard descriptors (their numbers would go to the
// interrupt device or an event file) get /dev/null. SIGCHLD ignored (the
// kernel would reap every command before the daemon waits for it), SIGTERM,
// SIGINT or SIGHUP ignored (stop would have to kill it), armed interval
// timers, real or profiling (their signals would end it), and a blocked mask
// are reset; open descriptors are kept from the commands.
void shed_inherited_state();

// One daemon at a time: a second would report every change twice and race
// the first on every file. An exclusive flock on the lock file (mode 0600,
// replaced when others could open it and so hold it), taken before anything
// is written and held for life: it belongs to the open file description,
// which the process daemon() leaves keeps. 0: held. 1: another daemon holds
// it, after one line. -1: no lock could be had (no /run, no room), after one
// line; the daemon runs without one.
int lock_single_instance();

// The end of start-up: standard output flushed once, so that what start-up
// printed is neither written by both processes nor held back from the log;
// daemon(1, 1), after which the starter has ended with status 0 (not when
// `foreground`: a supervisor watches the process it started); the pid file.
// 0, or -1 after one line when daemon() fails: carrying on, the daemon would
// be the process its starter waits for.
int detach(bool foreground);

// One line, the process id, in the pid file, made whole under a scratch name
// and renamed into place: a reader never sees a part, and a link at the name
// is replaced, never followed. 0, or -1 after a line, flushed at once for the
// init script that gives up waiting and points to the log.
int write_pid_file();
