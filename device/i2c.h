// A byte register of the I2C device at address 9 on bus 0, through the
// standard I2C tools. -1 on failure; each read has its own result file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace i2c {
constexpr const char *get_command = "/usr/sbin/i2cget";
constexpr const char *set_command = "/usr/sbin/i2cset";
constexpr int bus = 0;
constexpr int chip = 9;
} // namespace i2c

int i2c_read(uint8_t reg);
int i2c_write(uint8_t reg, uint8_t value);

// The tool's answer "0x%02x\n" (at most 8 bytes) as a value, else -1.
int i2c_parse_result(const char *text, size_t length);
