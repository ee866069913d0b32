// Replaces a file's whole content: the new content goes to a scratch file
// created exclusively beside it, which is then renamed over the file. Other
// programs, and the daemon after being killed, find the old content or the
// new, never a part; a symbolic link in the file's place is replaced, never
// followed.
#pragma once

#include <climits>
#include <cstdio>
#include <sys/types.h>

struct file_replacement {
    const char *path;
    FILE *stream;
    char scratch[PATH_MAX];
};

// Opens the scratch file for writing with permissions `mode`; false with
// errno set when it cannot be made.
bool begin_replacement(file_replacement &replacement, const char *path, mode_t mode);

// Renames the scratch file over the file when `content_ok` and the close
// succeed; otherwise, or when the rename fails, removes it. 0 or -1, errno
// set on failure.
int finish_replacement(file_replacement &replacement, bool content_ok);

// What a plain fopen would create a file with: 0666 less the umask.
mode_t new_file_mode();

// Removes the scratch files a killed process left beside `path` (a glob
// pattern: "DIR/*" for every file of DIR), and nothing else.
void remove_stale_scratch(const char *path);
