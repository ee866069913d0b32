// Runs one shell command line to completion, as system() does, and returns
// its wait status (0: the command ran and exited with 0), or -1 when it could
// not be started. A command still running after the time limit is killed
// with its whole process group and reported as killed: one command that never
// ends must not stop the daemon watching its inputs.
#pragma once

constexpr unsigned shipped_command_time_limit_ms = 60000;
// Test builds may give less, so that a hung command's case need not wait a
// whole minute; what ships has the minute.
#ifdef LINEWATCH_COMMAND_TIME_LIMIT_MS
constexpr unsigned command_time_limit_ms = LINEWATCH_COMMAND_TIME_LIMIT_MS;
#else
constexpr unsigned command_time_limit_ms = shipped_command_time_limit_ms;
#endif

int run_command(const char *command_line);
int run_command_within(const char *command_line, unsigned time_limit_ms);
