#include "tests/unit/fake_device.h"

#include "device/cpld.h"
#include "watcher/config_store.h"

namespace fake {

device_state &device()
{
    static device_state state;
    return state;
}

void reset()
{
    device() = device_state{};
}

} // namespace fake

extern "C" int zrbcpld_read(int reg)
{
    auto &dev = fake::device();
    ++dev.reads;
    if (reg < 0 || reg > 255 || dev.read_fails[reg])
        return -5;
    return dev.registers[reg];
}

extern "C" int zrbcpld_write(int reg, unsigned char value)
{
    auto &dev = fake::device();
    if (reg < 0 || reg > 255 || dev.write_fails[reg])
        return -5;
    dev.registers[reg] = value;
    dev.writes.emplace_back(reg, value);
    return 0;
}

extern "C" char *config_get(const char *key)
{
    auto &dev = fake::device();
    if (dev.settings_return_null)
        return nullptr;
    static std::string empty;
    auto found = dev.settings.find(key);
    return found == dev.settings.end() ? &empty[0] : &found->second[0];
}
