// The relay table as the sources hold it: line id + 1 carries the text its
// source set, or nothing once released. Each text is kept here as it was
// set, so that a table found missing or short of the line is rebuilt from
// what was set, not from what the inputs read now. A link or anything
// but a file in the table's place is refused, never followed.
#pragma once

#include <cstdint>

// `id` is a source's; `text` lives as long as the process (a message of the
// source table, or "").
// 0, or -1 when the table could not be edited; the text is held either way.
int set_relay_line(uint8_t id, const char *text);
