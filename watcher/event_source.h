// The nine watched inputs. Each record carries the input's state, its event
// files under /tmp/events, its four configuration keys with their last
// values, its messages and trap numbers. Readers and action hooks are tables
// of functions indexed by the record's id.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct event_source {
    uint8_t id;
    uint8_t state;
    const char *status_path;
    uint8_t relay_active;
    const char *warn_path;
    const char *syslog_key;
    uint8_t syslog_mode;
    const char *email_key;
    uint8_t email_mode;
    const char *trap_key;
    uint8_t trap_mode;
    const char *relay_key;
    uint8_t relay_mode;
    const char *on_message;
    const char *off_message;
    int32_t on_trap;
    int32_t off_trap;
    // While the status file cannot be written (status_error is the errno of
    // the last try, 0 once written), the state it should hold is kept here:
    // the change already reported is neither reported again nor forgotten.
    uint8_t kept_state;
    uint8_t status_error;
};

constexpr size_t source_count = 9;

// Where every event file lives: made at start-up, and again by the poll that
// finds it gone.
constexpr const char *events_directory = "/tmp/events";

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

// The daemon's only mutable global: the records it polls, in id order.
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

// Appends the message of the current state to `buffer`, which must have room.
void pick_message(const event_source &source, char *buffer);
