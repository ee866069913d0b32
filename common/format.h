// snprintf for commands, records and names that must be whole: false when
// the text does not fit `size` bytes, so that nothing cut short is ever run,
// written or opened.
#pragma once

#include <cstddef>

bool format_whole(char *buffer, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
