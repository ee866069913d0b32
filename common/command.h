// Runs one shell command line to completion, as system() does; returns its
// result, 0 meaning the command ran and exited with status 0.
#pragma once

int run_command(const char *command_line);
