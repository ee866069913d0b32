// A file replaced whole: written to an exclusive scratch file beside it
// ("NAME.new-XXXXXX"), then renamed over it, so readers never see a part and
// a link in its place is replaced, never followed.
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

// The scratch file beside `name` in `directory` (or AT_FDCWD), open for
// writing with `mode` and, where the user may give it, `group`; false with
// errno set.
bool begin_replacement_at(file_replacement &replacement, int directory, const char *name, mode_t mode,
                          gid_t group = static_cast<gid_t>(-1));
bool begin_replacement(file_replacement &replacement, const char *path, mode_t mode);
// Renamed over the file when `content_ok` and the close succeed, else
// removed (-1, errno set).
int finish_replacement(file_replacement &replacement, bool content_ok);

// What fopen would create a file with: 0666 less the umask.
mode_t new_file_mode();

// Removes the scratch files a killed process left beside `name` (nullptr:
// any) in `directory`.
void remove_stale_scratch_at(int directory, const char *name);
void remove_stale_scratch(const char *path);
