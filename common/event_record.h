// The record of one watched input, plain data; the nine live in watcher/ and
// the other folders work on them in place.
#pragma once

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
};

constexpr size_t source_count = 9;

inline const char *pick_message(const event_source &source)
{
    return source.state == 1 ? source.on_message : source.off_message;
}
