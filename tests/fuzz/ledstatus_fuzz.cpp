// LED fields, as the CPLD library returns registers 6 to 9 (any int, negative
// for a failed read), through the status dump that lampscan runs, and single
// fields of any register and mask.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "device/cpld.h"
#include "ledstatus/ledstatus.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The LED items in the order the dump writes them; "distatus" goes to a
// file of its own.
constexpr const char *names[] = {"wifistrn", "di",       "status", "uart1tx", "uart1rx", "uart2tx",
                                 "uart2rx",  "wifimode", "alarm",  "power1",  "power2"};
constexpr size_t item_count = sizeof names / sizeof names[0];
constexpr int led_registers[] = {cpld::reg_led_a, cpld::reg_led_b, cpld::reg_led_c, cpld::reg_lines};

// Checks that the dump holds whole "name:word#" items, names in order and
// each word a plain lower-case one; returns how many.
size_t checked_items(const std::string &dump)
{
    size_t count = 0;
    for (size_t at = 0; at < dump.size(); ++count) {
        FUZZ_CHECK(count < item_count);
        const std::string prefix = std::string(names[count]) + ":";
        FUZZ_CHECK(dump.compare(at, prefix.size(), prefix) == 0);
        const size_t word = at + prefix.size();
        const size_t end = dump.find_first_not_of("abcdefghijklmnopqrstuvwxyz", word);
        FUZZ_CHECK(end != std::string::npos && end > word && dump[end] == '#');
        at = end + 1;
    }
    return count;
}

std::string file(const char *path)
{
    std::string content;
    FUZZ_CHECK(fuzz::read_file(path, content));
    return content;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::require_sandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    bool any_failed = false;
    for (int reg : led_registers) {
        fuzz::registers[reg] = input.ConsumeIntegral<int>();
        any_failed = any_failed || fuzz::registers[reg] < 0;
    }

    // A scan that reads every register writes every item and the DI's
    // word; one that cannot stops at the row and leaves the DI's file alone.
    fuzz::write_file(ledstatus::di_status_path, "earlier");
    const int result = scan_leds();
    const std::string dump = file(ledstatus::led_status_path);
    const size_t written = checked_items(dump);
    const std::string di = file(ledstatus::di_status_path);
    if (any_failed) {
        FUZZ_CHECK(result == -1 && written < item_count && di == "earlier");
    } else {
        FUZZ_CHECK(result == 0 && written == item_count);
        FUZZ_CHECK(di == ((fuzz::registers[cpld::reg_lines] & 0x40) != 0 ? "1" : "0"));
        // Bits above a register's eight belong to no field.
        for (int reg : led_registers)
            fuzz::registers[reg] &= 0xFF;
        FUZZ_CHECK(scan_leds() == 0 && file(ledstatus::led_status_path) == dump && file(ledstatus::di_status_path) == di);
    }

    // One field of any register under any mask: the field's own bits only.
    const auto reg = input.ConsumeIntegral<uint32_t>();
    const auto mask = input.ConsumeIntegral<uint8_t>();
    const int field = read_field(reg, mask);
    if (zrbcpld_read(static_cast<int>(reg)) < 0)
        FUZZ_CHECK(field == -1);
    else
        FUZZ_CHECK(field >= 0 && (mask == 0 ? field == 0 : field <= mask / (mask & -mask)));
    return 0;
}
