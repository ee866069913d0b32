// /tmp/events, held open: the descriptor its check takes is the only way in.
// Every event file is opened, made, renamed and swept relative to it, so no
// name is looked up from /tmp between the check and the use.
//
// The daemon's own entry (a directory of its user, or that user's link to
// one along a way no other user can change) is used as found, whatever its
// mode; a missing one is made 0777 under the umask. Another user's entry, or
// what is no directory or link, is moved aside untouched. What cannot be
// moved, and the daemon's own entry while it cannot be opened, is not used:
// one line per cause, the states kept in memory, tried again each pass.
#pragma once

#include <sys/stat.h>

#include "common/replace_file.h"

namespace tables {
constexpr const char *events_directory = "/tmp/events";
} // namespace tables

// Start-up's mkdir, mode 0777, its line on any failure.
void make_events_directory();

// Before every pass: the directory held is still the one at the path (one
// system call), another was taken (its tables then to be prepared), or none
// is in use.
enum directory_check { directory_none, directory_kept, directory_taken };
directory_check check_events_directory();
bool events_directory_in_use();

// The one opener of "/tmp/events/NAME", with open's flags (O_TRUNC once the
// file is known to be the daemon's). Only the daemon's own file (see
// own_regular_file) is opened. For O_CREAT, one with a second name is first
// replaced by a new empty file, the other name keeping the old one. Not
// opened, errno holds the cause too.
enum entry_found { entry_own, entry_missing, entry_foreign, entry_unopenable };
struct event_file {
    int fd;
    entry_found found;
    // The cause, for the diagnostics.
    int error;
    struct stat status;
};
event_file open_event_file(const char *path, int flags);
// fopen's modes; nullptr with errno set.
FILE *open_event_stream(const char *path, const char *mode);

// The scratch file for a whole new `path`, with the old file's mode and group
// when it is the daemon's own, else as fopen would make it. An old one that
// is no regular file of the daemon's user is refused (EPERM) unless
// `over_anything`.
bool begin_event_replacement(file_replacement &replacement, const char *path, bool over_anything);

// True the first time `cause` (an errno) is met in `slot` (a status file's
// source id, or directory_slot) since it last went (cause 0).
bool first_report(int slot, int cause);
