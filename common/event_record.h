// The record of one watched input, plain data: its state, event files, four
// configuration keys with their last values, messages and trap numbers. The
// nine records live in watcher/; the other folders work on them in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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
};

constexpr size_t source_count = 9;

// Appends the message of the current state to `buffer`, which must have room.
inline void pick_message(const event_source &source, char *buffer)
{
    strcat(buffer, source.state == 1 ? source.on_message : source.off_message);
}
