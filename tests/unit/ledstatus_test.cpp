// The LED and DI status dump over the fake CPLD, and lampscan as its own process.
#include <array>
#include <tuple>
#include <vector>

#include "ledstatus/ledstatus.h"
#include "tests/unit/world.h"

const std::string leds = ledstatus::led_status_path, di = ledstatus::di_status_path;
const std::string zero_registers = "wifistrn:off#di:on#status:on#uart1tx:on#uart1rx:on#uart2tx:on#uart2rx:on#"
                                   "wifimode:off#alarm:on#power1:off#power2:off#";

// Sets registers 6 to 9 and scans, expecting `result`; what the scan printed.
std::string scan(const std::array<int, 4> &values, int result)
{
    std::copy(values.begin(), values.end(), world::registers + 6);
    testing::internal::CaptureStdout();
    EXPECT_EQ(scan_leds(), result);
    return testing::internal::GetCapturedStdout();
}

TEST(LedStatus, EveryFieldBecomesItsWordInTableOrderAndEachScanReplacesTheLast)
{
    world::fresh();
    // Started with standard input closed, a scan's file may be descriptor 0.
    close(0);
    const struct { std::array<int, 4> registers; const char *leds, *di; } scans[] = {
        {{0x20, 0x00, 0x0A, 0x44}, "wifistrn:half#di:blink#status:on#uart1tx:on#uart1rx:on#uart2tx:on#uart2rx:on#"
                                   "wifimode:ap#alarm:on#power1:on#power2:off#", "1"},
        {{0xC0, 0x7B, 0x1B, 0x00}, "wifistrn:strong#di:on#status:blink#uart1tx:off#uart1rx:blink#uart2tx:off#"
                                   "uart2rx:off#wifimode:off#alarm:on#power1:off#power2:off#", "0"},
        // A signal strength without a word is an error, silently.
        {{0x1C, 0x86, 0x14, 0x48}, "wifistrn:error#di:blink#status:blink#uart1tx:on#uart1rx:blink#uart2tx:blink#"
                                   "uart2rx:on#wifimode:client#alarm:off#power1:off#power2:on#", "1"},
        {{0, 0, 0, 0}, zero_registers.c_str(), "0"},
    };
    const auto files_before = world::open_files();
    for (const auto &s : scans) {
        EXPECT_EQ(scan(s.registers, 0), "");
        EXPECT_EQ(world::read(leds), s.leds);
        EXPECT_EQ(world::read(di), s.di);
    }
    EXPECT_EQ(world::open_files(), files_before) << "a scan keeps a file open";
    // The first value past each kind of field's words.
    testing::internal::CaptureStdout();
    for (const auto &[name, value] : {std::pair{"wifimode", 4}, {"power2", 2}, {"alarm", 4}, {"distatus", 2}})
        EXPECT_EQ(map_led_value(name, uint8_t(value)), 0) << name;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "The wifimode register value is invalid!\nThe power2 register value is invalid!\n"
              "The alarm register value is invalid!\nThe distatus register value is invalid!\n");
    EXPECT_EQ(world::read(leds), zero_registers + "wifimode:error#power2:error#alarm:error#");
    EXPECT_EQ(world::read(di), "error");
}

TEST(LedStatus, AFieldNotReadOrNotWrittenFailsTheScan)
{
    const struct { const char *setup; std::array<int, 4> registers; const char *printed, *leds, *di; } cases[] = {
        {"", {0x20, -1, 0x0A, 0x44}, "Read register value from 0x7 failed!\n", "wifistrn:half#di:blink#", "0"},
        // A full disk: the word is lost when the file is closed.
        {"mkdir -p /run/full && mount -t tmpfs -o size=4k full /run/full && touch /run/full/di && "
         "{ cat /dev/zero >/run/full/fill 2>/dev/null; mount --bind /run/full/di /tmp/di_status; }",
         {0, 0, 0, 0x40}, "", zero_registers.c_str(), "0"},
        // Nothing planted is written into (the opener the event files share
        // refuses the rest), nor a register read before a scan can start afresh.
        {"ln -s /tmp/victim /tmp/led_status", {-1, -1, -1, -1}, "Open /tmp/led_status failed!\n", "keep", "0"},
        {"ln -sf /tmp/victim /tmp/di_status", {0, 0, 0, 0x40}, "Open /tmp/di_status failed!\n",
         zero_registers.c_str(), "keep"},
    };
    for (const auto &c : cases) {
        const std::string setup = "rm -f /tmp/led_status /tmp/di_status; "
                                  "printf 0 >/tmp/di_status; printf keep >/tmp/victim; ";
        ASSERT_EQ(system((setup + c.setup).c_str()), 0);
        EXPECT_EQ(scan(c.registers, -1), c.printed);
        system("umount /tmp/di_status /run/full 2>/dev/null");
        EXPECT_EQ(world::read(leds), c.leds) << c.setup;
        EXPECT_EQ(world::read(di), c.di) << c.setup;
        EXPECT_EQ(world::read("/tmp/victim"), "keep");
    }
}

TEST(Lampscan, HelpVersionAScanOrOneEveryIntervalAndNothingElse)
{
    const std::string usage = "Detect LED status and dump to /tmp/led_status,\n"
                              "Also, dump DI status to /tmp/di_status:\nlampscan -t interval\n";
    // Outside the twin a scan ends at its first row; output kept from a gone reader hangs.
    const std::string failed = "Read register value from 0x8 failed!\n";
    std::vector<std::tuple<std::string, int, std::string>> runs = {
        {"-h", 0, usage}, {"-V", 0, "lampscan " LINEWATCH_VERSION "\n"}, {"", 1, failed},
        {"-t 1 | head -n 2", 0, failed + failed}};
    for (const char *args : {"-x", "-t", "-t 0", "-t -1", "-t ' 5'", "-t 1x", "-t 99999999999", "-t 5 more", "5"})
        runs.emplace_back(args, 2, usage);
    for (const auto &[args, status, output] : runs) {
        EXPECT_EQ(world::run(LAMPSCAN_BINARY " " + args + " >/tmp/lampscan.out"), status) << args;
        EXPECT_EQ(world::read("/tmp/lampscan.out"), output) << args;
    }
    EXPECT_NE(system(LAMPSCAN_BINARY " -V >/dev/full"), 0) << "a version that was never written";
}
