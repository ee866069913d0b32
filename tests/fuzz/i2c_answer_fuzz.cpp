// The I2C tool's answer, as i2c_read takes it from the result file.
#include <cstdlib>

#include "device/i2c.h"
#include "tests/fuzz/fuzz.h"

// Spaces, an optional sign and 0x, hexadecimal digits, spaces: a number as
// the tool could have printed it.
static bool reads_as_hex_number(const std::string &text)
{
    char *end;
    strtoul(text.c_str(), &end, 16);
    const size_t digits_end = size_t(end - text.c_str());
    return digits_end > 0 && text.find_first_not_of(" \t\n\v\f\r", digits_end) == std::string::npos;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    const int value = i2c_parse_result(text, size);
    FUZZ_CHECK(value >= -1 && value <= 0xFF);
    FUZZ_CHECK(value == -1 || (size <= 8 && reads_as_hex_number(std::string(text, size))));
    // Every byte, as the tool prints it, reads back as itself.
    char answer[8];
    const int length = snprintf(answer, sizeof answer, "0x%02x\n", size > 0 ? data[0] : 0);
    FUZZ_CHECK(i2c_parse_result(answer, size_t(length)) == (size > 0 ? data[0] : 0));
    return 0;
}
