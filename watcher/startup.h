// The process around the daemon: what start-up sheds, locks and writes
// before and after it detaches.
#pragma once

constexpr const char *lock_file_path = "/run/linewatch.lock";
constexpr const char *pid_file_path = "/run/linewatch.pid";

// First thing: closed standard descriptors get /dev/null, inherited signal
// dispositions, interval timers and mask are reset, open descriptors are kept
// from the commands. A starter's settings would otherwise last for life.
void shed_inherited_state();

// One daemon at a time: an exclusive flock on the lock file (mode 0600, made
// anew when others could open it), held for life. 0: held; 1: another daemon
// holds it; -1: none to be had, the daemon runs without. One line unless 0.
int lock_single_instance();

// Standard output flushed (else both processes would write it), daemon(1, 1)
// unless `foreground`, then the pid file. -1 after one line when daemon()
// fails.
int detach(bool foreground);

// The process id, replacing the pid file whole. -1 after a line, flushed at
// once for the init script that gives up waiting.
int write_pid_file();
