// Runs a shell command line as system() does: its wait status, or -1 when it
// could not start. One still running after the time limit is killed with its
// process group, after a line: a hung command must not stop the daemon.
#pragma once

// Written by the build: the device's minute, or a test build's shorter one.
#include "command_time_limit.h"
constexpr unsigned command_time_limit_ms = LINEWATCH_COMMAND_TIME_LIMIT_MS;

int run_command(const char *command_line);
int run_command_within(const char *command_line, unsigned time_limit_ms);
