// /tmp/events under one owner: only this folder checks the directory, opens,
// replaces or appends to a file in it, and remembers the failures it said.
//
// The daemon's own directory (one of its user, or that user's link to one)
// is used as found, whatever its mode; a missing one is made with mode 0777
// under the umask. Anything else is moved aside untouched; what cannot be
// moved is not used: writes are refused in silence after one line per cause,
// and the states kept in memory until a directory of the daemon's is back.
// Files in it are used on the terms of common/own_file.h, or replaced whole.
#pragma once

#include <cstdio>

#include "common/event_record.h"
#include "common/replace_file.h"

namespace tables {
constexpr const char *events_directory = "/tmp/events";
} // namespace tables

// At start-up (`at_start`: the mkdir line, whatever follows) and before every
// pass: true while the directory taken is still there (one system call), or
// once another is taken.
bool check_events_directory(bool at_start);

// open_own_file and open_own_stream, refused while no directory is in use.
int open_event_file(const char *path, int flags);
FILE *open_event_stream(const char *path, const char *mode);
// Whether a directory is in use: while none is, the failures of its files
// are not said, the directory's own line having said why.
bool events_directory_in_use();

// begin_replacement for an event file: the old file's mode and group are kept
// when it passed the opener's test, else it is made as fopen would. An old
// one that is no regular file of the daemon's user is refused (EPERM) unless
// `over_anything`.
bool begin_event_replacement(file_replacement &replacement, const char *path, bool over_anything);

// The state recorded for the source: 0 or 1, the one in memory while its
// status file cannot take it (tried again first); state_unrecorded when
// nothing of the daemon's holds one; state_unreadable, after one line per
// cause, when the file cannot be read this pass.
constexpr int state_unrecorded = -1;
constexpr int state_unreadable = -2;
int recorded_state(const event_source &source);
// Replaces the status file (on a full file system, its two bytes in place).
// 0, or -1 with the state kept in memory and one line per cause.
int record_state(const event_source &source);
// The first byte of a file (EOF when empty), on the opener's terms.
int read_first_byte(const char *path, int &byte);

// Within this folder: the one memory of failures said, a cause (errno) per
// slot, 0 once gone; true when `cause` is new. A status file's slot is its
// source's id. And the states last known, kept until written again.
constexpr int directory_slot = source_count;
bool first_report(int slot, int cause);
void keep_states_in_memory();
