// Opens a file only when it is the caller's own (see own_regular_file), never
// through a link, never waiting on a FIFO: else -1, errno ELOOP for a link,
// EPERM for the rest. O_TRUNC applies once the file is known to be ours.
#pragma once

#include <cstdio>
#include <sys/stat.h>

// A regular file of the effective user with no second name.
bool own_regular_file(const struct stat &file);

int open_own_file(const char *path, int flags);
// The open flags of fopen's modes "r", "w", "a", "w+" and "a+".
int fopen_flags(const char *mode);
FILE *open_own_stream(const char *path, const char *mode);
