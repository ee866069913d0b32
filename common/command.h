// Runs one shell command line to completion, as system() does, and returns
// its wait status (0: the command ran and exited with 0), or -1 when it could
// not be started. A command still running after the time limit is killed
// with its whole process group, named with the limit on standard output, and
// reported as killed: one command that never ends must not stop the daemon
// watching its inputs.
#pragma once

// The build writes the limit where its tests read it too: the device's
// minute, or a test build's shorter limit, so that its tests need not wait a
// hung command out.
#include "command_time_limit.h"
constexpr unsigned command_time_limit_ms = LINEWATCH_COMMAND_TIME_LIMIT_MS;

int run_command(const char *command_line);
int run_command_within(const char *command_line, unsigned time_limit_ms);
