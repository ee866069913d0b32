// /tmp/events under one owner: only this folder's code checks the directory,
// opens, replaces or appends to a file in it, and remembers which failure it
// already reported.
//
// The directory is used as found when it is the daemon's own (a directory of
// the daemon's user, or that user's link to one), whatever its mode, and made
// with mode 0777 under the umask when missing. Anything else is moved aside
// untouched; what cannot be moved is not used: writes are refused in silence
// after one line per cause, and the states kept in memory until a directory
// of the daemon's own is back. A file in it is used only on the terms of
// common/own_file.h; anything else is replaced whole or refused.
#pragma once

#include <cstdio>

#include "common/event_record.h"
#include "common/replace_file.h"

namespace tables {
constexpr const char *events_directory = "/tmp/events";
} // namespace tables

// At start-up (`at_start`: the mkdir line, whatever follows) and before every
// pass: keeps the directory in use while it is still the one taken (one
// system call), else takes one. True when one is in use.
bool check_events_directory(bool at_start);

// open_own_file and open_own_stream, refused while no directory is in use.
int open_event_file(const char *path, int flags);
FILE *open_event_stream(const char *path, const char *mode);

// printf for a failure of an event file, silent while no directory is in use.
void event_file_failed(const char *format, ...) __attribute__((format(printf, 1, 2)));

// begin_replacement for an event file: the new file keeps the old one's mode
// and group when the old passed the opener's test, else it is made as fopen
// makes one. An old file that is not a regular file of the daemon's user is
// refused (EPERM) unless `over_anything`.
bool begin_event_replacement(file_replacement &replacement, const char *path, bool over_anything);

// The state recorded for the source: 0 or 1 (the one kept in memory while
// its status file cannot take it, tried again first); state_unrecorded when
// nothing of the daemon's holds one; state_unreadable when the file cannot be
// read this pass, after one line per cause.
constexpr int state_unrecorded = -1;
constexpr int state_unreadable = -2;
int recorded_state(const event_source &source);

// Replaces the status file with the source's state, or overwrites its first
// two bytes in place on a full file system. 0, or -1 with the state kept in
// memory and one line per cause.
int record_state(const event_source &source);

// The first byte of a file (EOF when empty), on the opener's terms.
int read_first_byte(const char *path, int &byte);

// Within this folder. The one memory of failures reported: a cause (errno)
// per slot, 0 once gone; true when `cause` is new. A status file's slot is
// its source's id.
constexpr int directory_slot = source_count;
bool first_report(int slot, int cause);
// The states last known are kept in memory until written again.
void keep_states_in_memory();
