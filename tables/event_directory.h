// /tmp/events, held open: the descriptor its check takes is the only way
// into it. Every event file is opened, made, renamed and swept relative to
// that descriptor, so no name is looked up from /tmp between the check and
// the use.
//
// The daemon's own directory (one of its user, or that user's link to one
// along a way no other user can change) is used as found, whatever its mode;
// a missing one is made with mode 0777 under the umask. Another user's entry,
// or anything that is no directory or link, is moved aside untouched; what
// cannot be moved, and the daemon's own entry while it cannot be opened, is
// not used: writes are refused in silence after one line per cause, the
// states kept in memory, and each pass tries again.
#pragma once

#include <cstdio>
#include <sys/stat.h>

#include "common/replace_file.h"

namespace tables {
constexpr const char *events_directory = "/tmp/events";
} // namespace tables

// Start-up's attempt: mkdir with mode 0777, its line on any failure.
void make_events_directory();

// Before every pass: the directory held is still the one at the path (one
// system call), another was taken (its tables are then to be prepared), or
// none is in use.
enum directory_check { directory_none, directory_kept, directory_taken };
directory_check check_events_directory();
bool events_directory_in_use();

// What the opener found at an event file's name. Only an own file is opened;
// one with a second name is, for writing (O_CREAT), replaced first by a new
// empty file, the other name keeping the old one untouched.
enum entry_found { entry_own, entry_missing, entry_foreign, entry_unopenable };
struct event_file {
    int fd;
    entry_found found;
    // The cause, for the diagnostics.
    int error;
    struct stat status;
};
// `path` is "/tmp/events/NAME"; open's flags, O_TRUNC applied once the file
// is known to be the daemon's.
event_file open_event_file(const char *path, int flags);
// fopen's modes "r", "w", "a", "w+" and "a+"; nullptr with errno set.
FILE *open_event_stream(const char *path, const char *mode);

// The scratch file for a whole new `path`: the old file's mode and group kept
// when it is the daemon's own, else made as fopen would. An old one that is
// not the daemon's regular file is refused (EPERM) unless `over_anything`.
bool begin_event_replacement(file_replacement &replacement, const char *path, bool over_anything);

// True the first time `cause` (an errno) is met in `slot` since it last
// went (cause 0); a status file's slot is its source's id.
bool first_report(int slot, int cause);
