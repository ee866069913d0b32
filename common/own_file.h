// Opens a file only when it is the caller's own: a regular file of the
// effective user with no second name, reached without following a link,
// never waited on (a FIFO), never inherited by the commands run. Anything
// else is left untouched: -1, errno ELOOP for a link and EPERM for the rest.
// O_TRUNC applies once the file is known to be ours. For fixed names where
// anyone may have planted something first.
#pragma once

#include <cstdio>
#include <sys/stat.h>

// The one test of what is the caller's own: a regular file of the effective
// user with no second name.
bool own_regular_file(const struct stat &file);

int open_own_file(const char *path, int flags);
// The open flags of fopen's modes "r", "w", "a", "w+" and "a+".
int fopen_flags(const char *mode);
FILE *open_own_stream(const char *path, const char *mode);
