// The detached daemon's process id, as the init script finds it: one line in
// /run/linewatch.pid, mode 0644, made whole under a scratch name and renamed
// into place, so that a reader never sees a part and a link standing at the
// name is replaced, never followed. 0, or -1 after a diagnostic.
#pragma once

constexpr const char *pid_file_path = "/run/linewatch.pid";

int write_pid_file();
