// Each input's last state, in memory and in its status file ("0\n" or "1\n",
// the first byte read back). A read only reads. 0 or -1; one line per cause.
#pragma once

#include <cstddef>

#include "common/event_record.h"
#include "tables/event_directory.h"

// The state to judge a change against: the status file's, or while it holds
// no record of the daemon's, the one recorded in this run (the file then to be
// written anew); state_unrecorded before any, state_unreadable this pass.
constexpr int state_unrecorded = -1;
constexpr int state_unreadable = -2;
int recorded_state(const event_source &source);

// Replaces the status file (on a full file system, its two bytes in place);
// kept in memory, saved again while the file cannot take it.
int write_status(const event_source &source);

// Writes what memory holds and the files do not.
void save_pending_states(const event_source *sources, size_t count);
// Every state recorded is to be saved again: a directory taken anew.
void mark_states_unsaved();

// What is at `path` and, for the daemon's own file, its first byte (EOF:
// empty; read_failed, errno set).
constexpr int read_failed = -2;
entry_found read_first_byte(const char *path, int &byte);
