// /tmp/events, held open: every event file is reached relative to the
// descriptor the check took, so no name is looked up again from /tmp.
// The daemon's own entry (its directory, or its link to one along a way no
// other user can change) is used as found; a missing one is made 0777 under
// the umask; anything else is moved aside untouched. What cannot be used is
// tried again each pass, one line per cause.
#pragma once

#include <sys/stat.h>

#include "common/replace_file.h"

namespace tables {
constexpr const char *events_directory = "/tmp/events";
} // namespace tables

// Start-up's mkdir, mode 0777, its line on any failure.
void make_events_directory();

// Before every pass: the one held is still at the path, another was taken
// (its tables to be prepared), or none is in use.
enum directory_check { directory_none, directory_kept, directory_taken };
directory_check check_events_directory();
bool events_directory_in_use();

// The one opener of "/tmp/events/NAME": only the daemon's own file (see
// own_regular_file), O_TRUNC once known to be so. For O_CREAT, one with a
// second name is first replaced by a new empty file. errno as `error`.
enum entry_found { entry_own, entry_missing, entry_foreign, entry_unopenable };
struct event_file {
    int fd;
    entry_found found;
    int error;
    struct stat status;
};
event_file open_event_file(const char *path, int flags);
// fopen's modes; nullptr with errno set.
FILE *open_event_stream(const char *path, const char *mode);

// The scratch file for a whole new `path`, with the old file's mode and group
// when it is the daemon's own. Over what is no regular file of the daemon's
// user only when `over_anything`, else EPERM.
bool begin_event_replacement(file_replacement &replacement, const char *path, bool over_anything);

// True the first time `cause` (an errno) is met in `slot` (a status file's
// source id, or directory_slot) since it last went (cause 0).
bool first_report(int slot, int cause);
