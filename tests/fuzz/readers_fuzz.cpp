// Register values, as the CPLD library returns them (any int, negative for a
// failed read), through the readers of the nine inputs.
#include <fuzzer/FuzzedDataProvider.h>

#include "device/bits.h"
#include "device/cpld.h"
#include "tests/fuzz/fuzz_support.h"
#include "watcher/event_source.h"

namespace {

bool on_serial_register(size_t id)
{
    return id >= source_dcd1 && id <= source_dsr2;
}

int low_byte_or_failure(int value)
{
    return value < 0 ? value : value & 0xFF;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int lines = input.ConsumeIntegral<int>();
    const int serial = input.ConsumeIntegral<int>();
    const int port = input.ConsumeIntegral<int>();
    const auto reg = input.ConsumeIntegral<uint8_t>();
    const auto index = input.ConsumeIntegral<uint8_t>();
    fuzz::registers[reg] = input.ConsumeIntegral<int>();
    fuzz::registers[cpld::reg_lines] = lines;
    fuzz::registers[cpld::reg_serial] = serial;

    // A state is 0 or 1; a failed read stays a failure, never a state.
    int states[source_count];
    for (size_t id = 0; id < source_count; ++id) {
        states[id] = source_readers[id]();
        const int value = on_serial_register(id) ? serial : lines;
        if (value < 0)
            FUZZ_CHECK(states[id] < 0);
        else
            FUZZ_CHECK(states[id] == 0 || states[id] == 1);
    }
    // Bits above the register's eight are no input's.
    fuzz::registers[cpld::reg_lines] = low_byte_or_failure(lines);
    fuzz::registers[cpld::reg_serial] = low_byte_or_failure(serial);
    for (size_t id = 0; id < source_count; ++id)
        FUZZ_CHECK(source_readers[id]() == states[id]);

    for (auto reader : {read_power, read_lan_link, read_dcd, read_dsr}) {
        const int state = reader(port);
        FUZZ_CHECK(port == 1 || port == 2 ? state <= 1 : state == -1);
    }
    const int bit = readbit(reg, index);
    FUZZ_CHECK(index > 7 || fuzz::registers[reg] < 0 ? bit == -1 : bit == (fuzz::registers[reg] >> index & 1));
    return 0;
}
