// Where the host twin keeps what the device would: the register file and the
// settings, under one directory named by LINEWATCH_TWIN_DIR.
#pragma once

#include <cstdlib>

namespace twin {

constexpr const char *default_dir = "/run/linewatch-twin";

inline const char *dir()
{
    const char *named = getenv("LINEWATCH_TWIN_DIR");
    return named != nullptr && named[0] != '\0' ? named : default_dir;
}

} // namespace twin
