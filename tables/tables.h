// Line-oriented upkeep of the files other programs read under /tmp/events:
// the relay table (line id + 1 per source, rewritten in place) and the trap
// and e-mail tables (latest 30 records). All return 0 or -1 unless stated;
// failures are reported on standard output.
#pragma once

#include <cstdio>

namespace tables {
constexpr const char *relay_table = "/tmp/events/relaytable";
constexpr const char *trap_table = "/tmp/events/traptable";
constexpr const char *email_table = "/tmp/events/emailtable";
constexpr int record_cap = 30;
} // namespace tables

// Start-up: one blank relay line per source; trap and e-mail tables kept.
void prepare_tables(int relay_lines);

int create_blank_lines(const char *path, int count);
int touch_file(const char *path);
int truncate_file(const char *path);
// Number of newline characters, or -1.
int count_lines(const char *path);
// Returns the result of the final rename; the table is left as it was on any
// failure.
int drop_first_line(const char *path);
int append_line(FILE *stream, const char *text);
// A table at the cap whose first line cannot be dropped gets no record.
int append_capped(const char *path, const char *text);
// -1 for a line the file does not have.
int replace_line(const char *path, int line, const char *text);
