// The tables other programs read: the relay table (line id + 1 per source),
// the trap and e-mail tables (latest 30 records). 0 or -1 unless stated,
// failures reported on standard output, files opened as event_directory.h says.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tables {
constexpr const char *relay_table = "/tmp/events/relaytable";
constexpr const char *trap_table = "/tmp/events/traptable";
constexpr const char *email_table = "/tmp/events/emailtable";
constexpr int record_cap = 30;
} // namespace tables

// A directory taken: the relay table written whole from memory, the others
// kept.
void prepare_tables();

int create_blank_lines(const char *path, int count);
int touch_file(const char *path);
int truncate_file(const char *path);
// Number of newline characters, or -1.
int count_lines(const char *path);
// The result of the final rename; the table is left as it was on a failure.
int drop_first_line(const char *path);
int append_line(FILE *stream, const char *text);
// A table at the cap (an unfinished last line counted) loses first lines to
// stay at 30; if it cannot, the record is lost. A longer one keeps growing.
int append_capped(const char *path, const char *text);
// Line `line` (from 1) becomes `text`, every other byte kept, the table
// replaced whole. -1 for a line the file does not have.
int replace_line(const char *path, int line, const char *text);

// Line id + 1 of the relay table becomes `text` (it must live as long as the
// process), held in memory even when the edit fails: a table missing, short
// of the line or not the daemon's own is written whole from memory.
int set_relay_line(uint8_t id, const char *text);
int rebuild_relay_table();
