// The nine watched inputs: their records, and their readers and action hooks,
// tables of functions indexed by the record's id.
#pragma once

#include <array>

#include "common/event_record.h"

enum source_id : uint8_t {
    source_di,
    source_pwr1,
    source_pwr2,
    source_dcd1,
    source_dcd2,
    source_dsr1,
    source_dsr2,
    source_lan1,
    source_lan2,
};

using source_table = std::array<event_source, source_count>;

// The records as the daemon starts with them: state 0, no relay, modes 0.
extern const source_table initial_sources;

// The records the daemon polls, in id order.
extern source_table event_table;

// Per-kind readers take port 1 or 2 and return -1 for any other port.
int read_power(int port);
int read_lan_link(int port);
int read_dcd(int port);
int read_dsr(int port);

using source_reader = int (*)();
using action_hook = void (*)(int state);
extern const source_reader source_readers[source_count];
extern const action_hook action_hooks[source_count];
