#include "common/format.h"

#include <cstdarg>
#include <cstdio>

bool format_whole(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(buffer, size, format, args);
    va_end(args);
    return length >= 0 && static_cast<size_t>(length) < size;
}
