// Platform libraries that cost next to nothing: the registers live in this
// process and the settings are fixed. Over them a benchmark times the
// daemon's own code and its own system calls, and nothing of the twin's
// stand-ins.
#include <cstring>

#include "device/cpld.h"
#include "watcher/config_store.h"

namespace {

unsigned char registers[256];

// Every command a change of the digital input can run: the LED hook, e-mail
// on 1, trap on 0, and the relay held while it is 1.
char settings[][2][16] = {{"email_di1", "2"}, {"snmp_trap_di", "1"}, {"relay_di", "2"}};
char unset[1];

} // namespace

extern "C" int zrbcpld_read(int reg)
{
    return reg >= 0 && reg < 256 ? registers[reg] : -1;
}

extern "C" int zrbcpld_write(int reg, unsigned char value)
{
    if (reg < 0 || reg >= 256)
        return -1;
    registers[reg] = value;
    return 0;
}

extern "C" char *config_get(const char *key)
{
    for (auto &setting : settings)
        if (strcmp(setting[0], key) == 0)
            return setting[1];
    return unset;
}
