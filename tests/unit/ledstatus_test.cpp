// The LED and DI status dump over the fake CPLD, and the lampscan tool run
// as a separate process.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "ledstatus/ledstatus.h"
#include "tests/unit/fake_device.h"
#include "tests/unit/sandbox_world.h"

namespace {

// The items after "wifistrn" when registers 6 to 9 read 0.
const std::string zero_items = "di:on#status:on#uart1tx:on#uart1rx:on#uart2tx:on#uart2rx:on#wifimode:off#alarm:on#"
                               "power1:off#power2:off#";

class LedStatus : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::reset();
        unlink(ledstatus::led_status_path);
        unlink(ledstatus::di_status_path);
    }
    // Sets registers 6 to 9, scans expecting `result`, and returns what the scan printed.
    static std::string scan(uint8_t r6, uint8_t r7, uint8_t r8, uint8_t r9, int result)
    {
        auto &regs = fake::device().registers;
        regs[6] = r6, regs[7] = r7, regs[8] = r8, regs[9] = r9;
        testing::internal::CaptureStdout();
        EXPECT_EQ(scan_leds(), result);
        return testing::internal::GetCapturedStdout();
    }
    static std::string led_status() { return world::read_file(ledstatus::led_status_path); }
    static std::string di_status() { return world::read_file(ledstatus::di_status_path); }
};

TEST_F(LedStatus, ScanWritesEveryFieldInTableOrder)
{
    EXPECT_EQ(scan(0x20, 0x00, 0x0A, 0x44, 0), "");
    EXPECT_EQ(led_status(), "wifistrn:half#di:blink#status:on#uart1tx:on#uart1rx:on#uart2tx:on#uart2rx:on#"
                            "wifimode:ap#alarm:on#power1:on#power2:off#");
    EXPECT_EQ(di_status(), "1");
    EXPECT_EQ(scan(0xC0, 0x7B, 0x1B, 0x00, 0), "");
    EXPECT_EQ(led_status(), "wifistrn:strong#di:on#status:blink#uart1tx:off#uart1rx:blink#uart2tx:off#"
                            "uart2rx:off#wifimode:off#alarm:on#power1:off#power2:off#")
        << "the second scan replaces the first";
    EXPECT_EQ(di_status(), "0");
}

TEST_F(LedStatus, ValueWithoutAWordWritesError)
{
    EXPECT_EQ(scan(0x00, 0x00, 0x05, 0x00, 0), "") << "strength 5 is an error without a message";
    EXPECT_EQ(led_status(), "wifistrn:error#" + zero_items);
    unlink(ledstatus::led_status_path);
    testing::internal::CaptureStdout();
    for (const char *name : {"wifimode", "power2", "alarm", "distatus"})
        EXPECT_EQ(map_led_value(name, 4), 0) << name;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "The wifimode register value is invalid!\nThe power2 register value is invalid!\n"
              "The alarm register value is invalid!\nThe distatus register value is invalid!\n");
    EXPECT_EQ(led_status(), "wifimode:error#power2:error#alarm:error#");
    EXPECT_EQ(di_status(), "error");
}

TEST_F(LedStatus, UnreadableRegisterEndsTheScanAtItsRow)
{
    world::write_file(ledstatus::di_status_path, "0");
    fake::device().read_fails[7] = true;
    EXPECT_EQ(scan(0x20, 0x00, 0x0A, 0x44, -1), "Read register value from 0x7 failed!\n");
    EXPECT_EQ(led_status(), "wifistrn:half#di:blink#");
    EXPECT_EQ(di_status(), "0") << "an earlier scan's word stays";
}

TEST_F(LedStatus, PlantedLinksAreNotFollowed)
{
    world::write_file("/tmp/victim", "keep");
    ASSERT_EQ(symlink("/tmp/victim", ledstatus::led_status_path), 0);
    EXPECT_EQ(scan(0x00, 0x00, 0x00, 0x40, -1), "Open /tmp/led_status failed!\n");
    EXPECT_EQ(fake::device().reads, 0) << "a scan that cannot start afresh reads nothing";
    EXPECT_FALSE(world::exists(ledstatus::di_status_path));
    unlink(ledstatus::led_status_path);
    ASSERT_EQ(symlink("/tmp/victim", ledstatus::di_status_path), 0);
    EXPECT_EQ(scan(0x00, 0x00, 0x00, 0x40, -1), "Open /tmp/di_status failed!\n");
    EXPECT_EQ(led_status(), "wifistrn:off#" + zero_items) << "every other row is written";
    EXPECT_EQ(world::read_file("/tmp/victim"), "keep");
}

// Runs lampscan for at most `seconds`, its output into /tmp/lampscan.out;
// returns its exit status, 124 when it was still running.
int lampscan(const std::string &args, const std::string &seconds = "5")
{
    const int status = system(("timeout " + seconds + " " LAMPSCAN_BINARY " " + args + " >/tmp/lampscan.out").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Lampscan, HelpAndVersionExitZeroAnythingButAPositiveIntervalExitsTwo)
{
    const std::string usage = "Detect LED status and dump to /tmp/led_status,\n"
                              "Also, dump DI status to /tmp/di_status:\n"
                              "lampscan -t interval\n";
    EXPECT_EQ(lampscan("-h"), 0);
    EXPECT_EQ(world::read_file("/tmp/lampscan.out"), usage);
    EXPECT_EQ(lampscan("-V"), 0);
    EXPECT_EQ(world::read_file("/tmp/lampscan.out"), "lampscan " LINEWATCH_VERSION "\n");
    EXPECT_NE(system(LAMPSCAN_BINARY " -V >/dev/full"), 0) << "a version that was never written";
    for (const char *args : {"-x", "-t", "-t 0", "-t -1", "-t ' 5'", "-t 1x", "-t 99999999999", "-t 5 more", "5"}) {
        EXPECT_EQ(lampscan(args), 2) << args;
        EXPECT_EQ(world::read_file("/tmp/lampscan.out"), usage) << args;
    }
}

// Outside the twin no register can be read: every scan ends at its first row.
TEST(Lampscan, ScansOnceOrEveryIntervalUntilStopped)
{
    const std::string failed = "Read register value from 0x8 failed!\n";
    EXPECT_EQ(lampscan(""), 1);
    EXPECT_EQ(world::read_file("/tmp/lampscan.out"), failed);
    EXPECT_EQ(lampscan("-t 1", "2"), 124) << "still scanning when stopped";
    EXPECT_EQ(world::read_file("/tmp/lampscan.out").substr(0, 2 * failed.size()), failed + failed);
}

} // namespace
