// Opens a file for writing as fopen would ("w", "w+", "a", "a+"), but never
// through a symbolic link in the last path component and never inherited by
// the commands the daemon runs. On failure returns nullptr with errno set, so
// callers print their usual message.
#pragma once

#include <cstdio>

FILE *open_write_stream(const char *path, const char *mode);
