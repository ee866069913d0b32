// Single bits of CPLD registers. Readers return 0 or 1, or -1 on failure;
// writers return 0 or -1. An index above 7 prints the range message and
// leaves the register alone.
#pragma once

#include <cstdint>

int readbit(uint8_t reg, uint8_t index);
int writebit(uint8_t reg, uint8_t index, uint8_t operation);

// operation 1 sets, 0 clears, anything else leaves the value as it is; so
// does an index above 7, without a message.
uint8_t set_clear_bit(uint8_t value, uint8_t index, uint8_t operation);

// Index of the lowest 1-bit; a zero mask yields 8.
uint8_t lowest_set_bit(uint8_t mask);
