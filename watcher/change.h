// The poll of one source: its input and modes read, and on a change the
// hook, the status, the warn line and the notifications.
#pragma once

#include "watcher/event_source.h"

// A failed read keeps the last state, so a flaky register is no change.
void poll_source(event_source &source);
void load_settings(event_source &source);
void detect_change(event_source &source);

// 0, or -1 when the file cannot be opened; write_status is the status
// files' (tables/status_files.h).
int append_warn(const event_source &source);

// The status file's first byte minus '0', or -1; and the local time as
// "YYYY-MM-DD hh:MM:SS  " (hour space-padded).
int read_status(const event_source &source);
constexpr size_t timestamp_size = 25;
void format_timestamp(char *buffer);
