#include "device/bits.h"

#include <cstdio>

#include "device/cpld.h"

namespace {

bool index_in_range(uint8_t index)
{
    if (index <= 7)
        return true;
    // writebit shares the reader's message: callers grep for this one line.
    puts("readbit index should in the range <0-7>");
    return false;
}

} // namespace

int readbit(uint8_t reg, uint8_t index)
{
    if (!index_in_range(index))
        return -1;
    const int value = zrbcpld_read(reg);
    if (value < 0)
        return -1;
    return (value & 0xFF) >> index & 1;
}

uint8_t set_clear_bit(uint8_t value, uint8_t index, uint8_t operation)
{
    // Silent, as the 8-bit arithmetic would be; a shift by 32 or more is
    // undefined, and no bit of a byte lies there.
    if (index > 7)
        return value;
    const auto bit = static_cast<uint8_t>(1u << index);
    if (operation == 1)
        return static_cast<uint8_t>(value | bit);
    if (operation == 0)
        return static_cast<uint8_t>(value & ~bit);
    return value;
}

int writebit(uint8_t reg, uint8_t index, uint8_t operation)
{
    if (!index_in_range(index))
        return -1;
    const int value = zrbcpld_read(reg);
    if (value < 0)
        return -1;
    const uint8_t updated = set_clear_bit(static_cast<uint8_t>(value & 0xFF), index, operation);
    return zrbcpld_write(reg, updated) < 0 ? -1 : 0;
}

uint8_t lowest_set_bit(uint8_t mask)
{
    uint8_t shifts = 0;
    while (shifts < 8 && (mask & 1) == 0) {
        mask = static_cast<uint8_t>(mask >> 1);
        ++shifts;
    }
    return shifts;
}
