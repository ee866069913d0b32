// Platform libraries that cost next to nothing: the registers and the
// settings live in this process. Over them a benchmark times the daemon's
// own code and its own system calls, and nothing of the twin's stand-ins.
#include <cstdio>
#include <cstring>

#include "bench/bench_platform.h"
#include "device/cpld.h"
#include "watcher/config_store.h"

namespace {

unsigned char registers[256];

// The daemon reads 36 keys; a fixed table keeps the look-up itself cheap.
struct setting {
    char key[32];
    char value[16];
};
setting settings[64];
char empty_value[1];

bool valid_register(int reg)
{
    return reg >= 0 && reg <= 255;
}

} // namespace

const char *const bench_platform::name = "in-process";

bool bench_platform::reset()
{
    memset(registers, 0, sizeof registers);
    memset(settings, 0, sizeof settings);
    return true;
}

bool bench_platform::configure(const char *key, const char *value)
{
    for (setting &slot : settings)
        if (slot.key[0] == '\0' || strcmp(slot.key, key) == 0) {
            const int key_length = snprintf(slot.key, sizeof slot.key, "%s", key);
            const int value_length = snprintf(slot.value, sizeof slot.value, "%s", value);
            return key_length > 0 && static_cast<size_t>(key_length) < sizeof slot.key && value_length >= 0 &&
                   static_cast<size_t>(value_length) < sizeof slot.value;
        }
    return false;
}

extern "C" int zrbcpld_read(int reg)
{
    return valid_register(reg) ? registers[reg] : -1;
}

extern "C" int zrbcpld_write(int reg, unsigned char value)
{
    if (!valid_register(reg))
        return -1;
    registers[reg] = value;
    return 0;
}

extern "C" char *config_get(const char *key)
{
    for (setting &slot : settings) {
        if (slot.key[0] == '\0')
            break;
        if (strcmp(slot.key, key) == 0)
            return slot.value;
    }
    return empty_value;
}
