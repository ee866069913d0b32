// What the daemon keeps from one pass to the next, besides the event source
// table, in one place: a test starts each case from a daemon just started.
#pragma once

#include <sys/types.h>

#include "common/event_record.h"

// The state a status file holds, or should hold while `pending`.
struct kept_state {
    uint8_t state;
    bool known;
    bool pending;
};

// Causes said: a slot per status file (its source's id), then the directory's.
constexpr int directory_slot = source_count;

struct daemon_state {
    // The event directory in use, -1 while none is.
    int directory_fd;
    dev_t directory_device;
    ino_t directory_inode;
    uint8_t said_causes[directory_slot + 1];
    kept_state states[source_count];
    // Each source's relay line as last set; nullptr reads as empty.
    const char *relay_texts[source_count];
    // The syslog receiver let the last line wait out its bound.
    bool syslog_stalled;
};

extern daemon_state daemon_memory;

// As at start: the directory's descriptor closed, nothing known or said.
void reset_daemon_state();
