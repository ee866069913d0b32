// Line-oriented upkeep of the files other programs read under /tmp/events:
// the relay table (line id + 1 per source, rewritten in place) and the trap
// and e-mail tables (latest 30 records). All return 0 or -1 unless stated;
// failures are reported on standard output. Files are opened only by the
// terms of event_files.h.
#pragma once

#include <cstdint>
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
// A table at the cap loses its oldest lines, so that it holds 30 with the
// new one, a last line left unfinished among them; one whose first lines
// cannot be dropped gets no record. A table longer than that keeps growing.
int append_capped(const char *path, const char *text);
// -1 for a line the file does not have.
int replace_line(const char *path, int line, const char *text);

// Sets line id + 1 of the relay table to `text` ("" empties it), which must
// live as long as the process. The text is held here, so that a table found
// missing or short of the line is written whole from what the sources set,
// not from what the inputs read now; so is the table of a directory taken
// anew. 0, or -1 when the table could not be edited; the text is held either
// way.
int set_relay_line(uint8_t id, const char *text);
int rebuild_relay_table();
