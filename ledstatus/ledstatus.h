// lampscan's dump: each LED field of CPLD registers 6 to 9 as "name:word#"
// in /tmp/led_status, the digital input's word alone in /tmp/di_status. Only
// lampscan's own regular files are written (/tmp is anyone's). Writers return
// 0 or -1; read_field the field or -1.
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

// Truncates /tmp/led_status, then the rows in order; a failed register read
// ends the scan there. A failed truncation reads nothing: two scans would
// mix in one line.
int scan_leds();

// The field shifted down to bit 0.
int read_field(uint32_t reg, uint8_t mask);
// Writes the row's word for `value`, "error" when the value has none.
int map_led_value(const char *name, uint8_t value);
int append_led_status(const char *name, const char *word);
int write_di_status(const char *word);
void print_usage();
