// One byte register of the I2C device at address 9 on bus 0, reached by
// running the standard I2C tools through the shell. i2c_read returns the
// register value, or -1 when the tool fails or its answer cannot be read as
// one byte; i2c_write returns 0, or -1 when the tool fails. Each read has a
// result file of its own under /tmp, removed before it returns, so callers
// never share one.
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

// The register value in the first `length` bytes of the tool's answer: one
// hexadecimal byte, as "0x%02x\n" prints it, in at most 8 bytes; -1 for
// anything else.
int i2c_parse_result(const char *text, size_t length);
