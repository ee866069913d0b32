// The LED and DI status dump that lampscan runs: every LED field of CPLD
// registers 6 to 9 becomes a word, written as "name:word#" items in table
// order to /tmp/led_status, and the digital input's word ("0", "1" or
// "error") goes alone to /tmp/di_status. Both names are in /tmp, where anyone
// may plant something first: only a regular file of lampscan's own user is
// written, anything else is refused with the open message and left as it
// is. Writers return 0 or -1; read_field the field or -1.
#pragma once

#include <cstdint>

namespace ledstatus {
constexpr const char *led_status_path = "/tmp/led_status";
constexpr const char *di_status_path = "/tmp/di_status";
} // namespace ledstatus

// One row of the LED table: the field `mask` of CPLD register `reg`. The
// table ends with a row whose name is null.
struct led_entry {
    const char *name;
    uint32_t reg;
    uint8_t mask;
};

// Truncates /tmp/led_status, then reads and writes the rows in order.
// Returns 0 when every row was read and written, else -1. A register that
// cannot be read ends the scan at its row, leaving the rows before it and
// /tmp/di_status as they were. When the truncation fails the scan prints the
// open message and reads nothing: appending to the old line would mix two
// scans in one.
int scan_leds();

// The field shifted down to bit 0.
int read_field(uint32_t reg, uint8_t mask);
// Writes the row's word for `value`, "error" when the value has none.
int map_led_value(const char *name, uint8_t value);
int append_led_status(const char *name, const char *word);
int write_di_status(const char *word);
void print_usage();
