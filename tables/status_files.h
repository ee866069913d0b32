// Each input's last state, in the daemon's memory and in its status file
// ("0\n" or "1\n"; only the first byte is read back). A read only reads; what
// memory holds and the file does not is saved by a call of its own at the
// start of a pass. 0 or -1 unless stated; one line per cause.
#pragma once

#include <cstddef>

#include "common/event_record.h"
#include "tables/event_directory.h"

// The state to judge a change against: the one the status file records, or,
// while it holds no record of the daemon's (missing, a link, socket, FIFO or
// device, a second name, another user's, garbled) or cannot take one, the
// state recorded in this run, the file then to be written anew. Nothing
// recorded yet in this run is state_unrecorded: a first sight. A file that
// cannot be read this pass is state_unreadable.
constexpr int state_unrecorded = -1;
constexpr int state_unreadable = -2;
int recorded_state(const event_source &source);

// Replaces the status file with `state` (on a full file system, its two bytes
// in place); the state is kept in memory, and saved again while the file
// cannot take it.
int write_status(const event_source &source);

// Writes what memory holds and the files do not.
void save_pending_states(const event_source *sources, size_t count);
// Every state recorded is to be saved again: a directory taken anew.
void mark_states_unsaved();

// What the opener found at `path` and, for the daemon's own file, its first
// byte: EOF when empty, read_failed with errno set.
constexpr int read_failed = -2;
entry_found read_first_byte(const char *path, int &byte);
