// A file's whole content replaced: written to a scratch file made exclusively
// beside it under an unguessable name ("NAME.new-XXXXXX"), then renamed over
// it. Readers, and a restarted daemon, find the old content or the new, never
// a part; a link in the file's place is replaced, never followed.
#pragma once

#include <climits>
#include <cstdio>
#include <sys/types.h>

struct file_replacement {
    int directory;
    const char *name;
    FILE *stream;
    char scratch[PATH_MAX];
};

// The scratch file beside `name` of the directory `directory` (AT_FDCWD:
// `name` is a path), open for writing with permissions `mode`; false, errno
// set, when it cannot be made.
bool begin_replacement_at(file_replacement &replacement, int directory, const char *name, mode_t mode);
bool begin_replacement(file_replacement &replacement, const char *path, mode_t mode);
// Renamed over the file when `content_ok` and the close succeed, else
// removed. 0, or -1 with errno set.
int finish_replacement(file_replacement &replacement, bool content_ok);

// What fopen would create a file with: 0666 less the umask.
mode_t new_file_mode();

// Removes the scratch files a killed process left in `directory` beside
// `name` (nullptr: beside every file), and nothing else.
void remove_stale_scratch_at(int directory, const char *name);
void remove_stale_scratch(const char *path);
