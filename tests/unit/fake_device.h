// In-process stand-ins for libcpld.so and libconfig.so, so unit tests set
// registers, failures and settings directly and see every access.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fake {

struct device_state {
    uint8_t registers[256] = {};
    bool read_fails[256] = {};
    bool write_fails[256] = {};
    int reads = 0;
    std::vector<std::pair<int, uint8_t>> writes;
    std::map<std::string, std::string> settings;
    bool settings_return_null = false;
};

// Cleared by reset(); tests set what they need.
device_state &device();
void reset();

} // namespace fake
