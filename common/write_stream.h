// Opens a file for writing as fopen would ("w", "w+", "a", "a+"), but never
// through a symbolic link in the last path component and never inherited by
// the commands the daemon runs. On failure returns nullptr with errno set, so
// callers print their usual message.
#pragma once

#include <cstdio>

FILE *open_write_stream(const char *path, const char *mode);

// Opens a file for reading as fopen(path, "r") would, on the same terms, and
// without waiting for a writer when a FIFO stands there: the daemon runs as
// root and reads files in a directory others may write, and what it opens (a
// link's target that acts on being opened, a FIFO nobody writes) is not
// theirs to choose.
FILE *open_read_stream(const char *path);

// Opens a file for writing ("w" or "a") only when it is the caller's own: a
// regular file of the effective user with no second name. Anything else at
// the path (a FIFO, a device, another user's file, a hard link to a file
// elsewhere) is left untouched, and never waited on. For tools that write
// fixed names in /tmp, where anyone may have planted something first.
FILE *open_own_stream(const char *path, const char *mode);
