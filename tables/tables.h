// Line-oriented upkeep of the tables other programs read under /tmp/events:
// the relay table (line id + 1 per source) and the trap and e-mail tables
// (latest 30 records). 0 or -1 unless stated; failures are reported on
// standard output. Files are opened on the terms of event_directory.h: a
// table with a second name starts anew with the line or record given.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tables {
constexpr const char *relay_table = "/tmp/events/relaytable";
constexpr const char *trap_table = "/tmp/events/traptable";
constexpr const char *email_table = "/tmp/events/emailtable";
constexpr int record_cap = 30;
} // namespace tables

// A directory taken, start-up's first included: the relay table written
// whole from the lines the sources hold (blank at start); the trap and e-mail
// tables kept.
void prepare_tables();

int create_blank_lines(const char *path, int count);
int touch_file(const char *path);
int truncate_file(const char *path);
// Number of newline characters, or -1.
int count_lines(const char *path);
// The result of the final rename; the table is left as it was on a failure.
int drop_first_line(const char *path);
int append_line(FILE *stream, const char *text);
// A table at the cap (an unfinished last line counted) loses as many first
// lines as keep it at 30 with the new one; if it cannot, the record is lost.
// A longer table keeps growing.
int append_capped(const char *path, const char *text);
// Line `line` (from 1) becomes `text`, every other byte kept: what
// sed -i 'LINEs/.*/TEXT/' makes of it in the C locale, written whole through
// a scratch file that keeps the table's mode and group. -1 for a line the
// file does not have.
int replace_line(const char *path, int line, const char *text);

// Line id + 1 of the relay table becomes `text` ("" empties it; it must live
// as long as the process). The texts are held in the daemon's state: a table
// found missing, short of the line or not the daemon's own file, and that of
// a directory taken anew, are written whole from what the sources set. The
// text is held even when the edit fails.
int set_relay_line(uint8_t id, const char *text);
int rebuild_relay_table();
