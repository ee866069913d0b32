// One daemon at a time: a second would report every change twice and race
// the first on every file. An exclusive flock on /run/linewatch.lock, taken
// before the daemon writes anything and held for its life: the lock belongs
// to the open file description, which the process daemon() leaves keeps.
// 0: held. 1: another daemon holds it, after one line. -1: no lock could be
// had (no /run, no room), after one line; the daemon runs without one.
#pragma once

constexpr const char *lock_file_path = "/run/linewatch.lock";

int lock_single_instance();
