// The event source table, its readers, and the settings refresh and change
// check over the status and warn files.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

#include "tables/tables.h"
#include "tests/unit/fake_device.h"
#include "tests/unit/sandbox_world.h"
#include "watcher/change.h"
#include "watcher/event_source.h"

namespace {

std::vector<int> read_all_states()
{
    std::vector<int> states;
    for (auto reader : source_readers)
        states.push_back(reader());
    return states;
}

class Readers : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(Readers, Register9AllOnesSetsDiPowerAndLan)
{
    fake::device().registers[9] = 0x1F;
    fake::device().registers[10] = 0x0F;
    EXPECT_EQ(read_all_states(), (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 1, 1}));
}

TEST_F(Readers, SerialLinesAreActiveLow)
{
    fake::device().registers[10] = 0x00;
    EXPECT_EQ(read_all_states(), (std::vector<int>{0, 0, 0, 1, 1, 1, 1, 0, 0}));
    // One line at a time: bit 1 DCD1, bit 3 DCD2, bit 0 DSR1, bit 2 DSR2.
    const uint8_t only_on[] = {0x0D, 0x07, 0x0E, 0x0B};
    const source_id sources[] = {source_dcd1, source_dcd2, source_dsr1, source_dsr2};
    for (int i = 0; i < 4; ++i) {
        fake::device().registers[10] = only_on[i];
        auto states = read_all_states();
        for (source_id id : sources)
            EXPECT_EQ(states[id], id == sources[i] ? 1 : 0) << "register 10 = " << int(only_on[i]);
    }
}

TEST_F(Readers, EachRegister9BitBelongsToOneInput)
{
    const std::pair<uint8_t, source_id> bits[] = {
        {0x10, source_di}, {0x01, source_pwr1}, {0x02, source_pwr2},
        {0x04, source_lan1}, {0x08, source_lan2}};
    for (auto [value, id] : bits) {
        fake::device().registers[9] = value;
        auto states = read_all_states();
        for (size_t i = 0; i < source_count; ++i)
            if (i < source_dcd1 || i > source_dsr2)
                EXPECT_EQ(states[i], i == id ? 1 : 0) << "register 9 = " << int(value);
    }
}

TEST_F(Readers, PortsOtherThanOneAndTwoAndFailedReadsAreFailures)
{
    for (auto reader : {read_power, read_lan_link, read_dcd, read_dsr}) {
        EXPECT_EQ(reader(0), -1);
        EXPECT_EQ(reader(3), -1);
    }
    fake::device().read_fails[10] = true;
    EXPECT_LT(read_dcd(1), 0) << "an inverted failure must stay a failure";
    EXPECT_LT(read_dsr(2), 0);
}

TEST(SourceTable, RecordsMatchTheirInputs)
{
    const auto &dsr1 = initial_sources[source_dsr1];
    EXPECT_STREQ(dsr1.warn_path, "/tmp/events/dsr1warn") << "DSR 1 keeps its own warn file";
    EXPECT_STREQ(initial_sources[source_dsr2].warn_path, "/tmp/events/dsr2warn");
    const auto &lan2 = initial_sources[source_lan2];
    EXPECT_STREQ(lan2.status_path, "/tmp/events/lan1status");
    EXPECT_STREQ(lan2.relay_key, "relay_lan2");
    EXPECT_STREQ(initial_sources[source_di].trap_key, "snmp_trap_di");
    EXPECT_STREQ(initial_sources[source_di].syslog_key, "syslog_di1");
    for (const auto &source : initial_sources) {
        EXPECT_EQ(source.state, 0);
        EXPECT_EQ(source.relay_active, 0);
        EXPECT_GT(source.on_trap, 0);
        EXPECT_GT(source.off_trap, 0);
        // Every warn and status file is distinct.
        for (const auto &other : initial_sources)
            if (&other != &source) {
                EXPECT_STRNE(source.status_path, other.status_path);
                EXPECT_STRNE(source.warn_path, other.warn_path);
            }
    }
}

TEST(SourceTable, PickMessageAppendsTheMessageOfTheState)
{
    event_source lan1 = initial_sources[source_lan1];
    char buffer[64] = "> ";
    pick_message(lan1, buffer);
    EXPECT_STREQ(buffer, "> Port_1 Link_down");
    lan1.state = 1;
    buffer[0] = '\0';
    pick_message(lan1, buffer);
    EXPECT_STREQ(buffer, "Port_1 Link_up");
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
    event_source di = initial_sources[source_di];
};

TEST_F(Settings, ModesAreTheLowByteOfTheNumber)
{
    auto &settings = fake::device().settings;
    settings["syslog_di1"] = "2";
    settings["email_di1"] = "258";
    settings["snmp_trap_di"] = "abc";
    // relay_di is missing: the store gives "".
    di.relay_mode = 7;
    load_settings(di);
    EXPECT_EQ(di.syslog_mode, 2);
    EXPECT_EQ(di.email_mode, 2);
    EXPECT_EQ(di.trap_mode, 0);
    EXPECT_EQ(di.relay_mode, 0);
}

TEST_F(Settings, NullFromTheStoreReadsAsZeroAndUnsetKeysAreSkipped)
{
    di.email_mode = 2;
    di.trap_key = nullptr;
    di.trap_mode = 1;
    fake::device().settings_return_null = true;
    load_settings(di);
    EXPECT_EQ(di.email_mode, 0);
    EXPECT_EQ(di.trap_mode, 1);
}

class ChangeCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::reset();
        world::fresh_events();
        prepare_tables(source_count);
        di.email_mode = 2;
    }
    std::vector<std::string> syslog_lines() { return syslog.take(); }

    event_source di = initial_sources[source_di];
    world::syslog_capture syslog;
};

TEST_F(ChangeCheck, FirstSightRecordsStateWithoutAnEvent)
{
    di.state = 1;
    detect_change(di);
    EXPECT_EQ(world::read_file("/tmp/events/distatus"), "1\n");
    EXPECT_FALSE(world::exists("/tmp/events/diwarn"));
    EXPECT_TRUE(world::take_commands().empty());
    EXPECT_TRUE(syslog_lines().empty());
}

TEST_F(ChangeCheck, ZeroToOneRunsHookThenStatusThenWarnThenDispatch)
{
    world::write_file("/tmp/events/distatus", "0\n");
    const std::string seen = world::sim_dir() + "/seen";
    const std::string look = "{ cat /tmp/events/distatus; cat /tmp/events/diwarn 2>/dev/null || echo no-warn; } >>" + seen;
    world::set_action("ledcontrol", look);
    world::set_action("sendemail", look);
    di.state = 1;
    detect_change(di);

    EXPECT_EQ(world::take_commands(),
              (std::vector<std::string>{"ledcontrol\tdi\ton", "sendemail\tDI On"}));
    EXPECT_EQ(world::read_file(seen), "0\nno-warn\n1\nDI On\n")
        << "the hook runs before the status and warn files change, the dispatch after";
    EXPECT_EQ(world::read_file("/tmp/events/distatus"), "1\n");
    EXPECT_EQ(world::read_file("/tmp/events/diwarn"), "DI On\n");
    EXPECT_EQ(syslog_lines().size(), 2u);
}

TEST_F(ChangeCheck, OneToZeroAppendsToTheWarnFile)
{
    world::write_file("/tmp/events/distatus", "1\n");
    world::write_file("/tmp/events/diwarn", "DI On\n");
    di.state = 0;
    detect_change(di);
    EXPECT_EQ(world::take_commands(), (std::vector<std::string>{"ledcontrol\tdi\toff"}));
    EXPECT_EQ(world::read_file("/tmp/events/distatus"), "0\n");
    EXPECT_EQ(world::read_file("/tmp/events/diwarn"), "DI On\nDI Off\n");
}

TEST_F(ChangeCheck, SameStateWritesNothing)
{
    world::write_file("/tmp/events/distatus", "1\n");
    struct stat before;
    ASSERT_EQ(stat("/tmp/events/distatus", &before), 0);
    di.state = 1;
    detect_change(di);
    struct stat after;
    ASSERT_EQ(stat("/tmp/events/distatus", &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_FALSE(world::exists("/tmp/events/diwarn"));
    EXPECT_TRUE(world::take_commands().empty());
}

TEST_F(ChangeCheck, GarbledStatusFileIsRecordedAfreshWithoutAnEvent)
{
    for (const char *garbled : {"", "x\n", "7\n"}) {
        world::write_file("/tmp/events/distatus", garbled);
        di.state = 1;
        detect_change(di);
        EXPECT_EQ(world::read_file("/tmp/events/distatus"), "1\n") << "was '" << garbled << "'";
        EXPECT_FALSE(world::exists("/tmp/events/diwarn"));
        EXPECT_TRUE(world::take_commands().empty());
        // The input is heard again from then on.
        di.state = 0;
        detect_change(di);
        EXPECT_EQ(world::read_file("/tmp/events/diwarn"), "DI Off\n");
        world::fresh_events();
    }
}

TEST_F(ChangeCheck, UnreadableStatusPathSkipsTheSourceQuietly)
{
    ASSERT_EQ(mkdir("/tmp/events/distatus", 0755), 0);
    di.state = 1;
    testing::internal::CaptureStdout();
    detect_change(di);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(world::take_commands().empty());
}

TEST_F(ChangeCheck, UnwritableFilesAreReportedAndTheChangePathGoesOn)
{
    world::write_file("/tmp/events/distatus", "0\n");
    ASSERT_EQ(mkdir("/tmp/events/diwarn", 0755), 0);
    di.state = 1;
    testing::internal::CaptureStdout();
    detect_change(di);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "open file /tmp/events/diwarn failed:Is a directory\n");
    EXPECT_EQ(world::read_file("/tmp/events/distatus"), "1\n");
    EXPECT_EQ(world::take_commands().size(), 2u) << "hook and e-mail still run";
}

TEST_F(ChangeCheck, SymbolicLinksAreNotFollowed)
{
    ASSERT_EQ(symlink("/tmp/victim", "/tmp/events/distatus"), 0);
    ASSERT_EQ(symlink("/tmp/victim", "/tmp/events/diwarn"), 0);
    world::write_file("/tmp/victim", "0\n");
    di.state = 1;
    testing::internal::CaptureStdout();
    detect_change(di);
    // The status link is no record of the daemon's, whatever its target
    // says: it is replaced by a file of the daemon's own, without an event.
    struct stat st;
    ASSERT_EQ(lstat("/tmp/events/distatus", &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(world::read_file("/tmp/events/distatus"), "1\n");
    EXPECT_TRUE(world::take_commands().empty());
    di.state = 0;
    detect_change(di);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "open file /tmp/events/diwarn failed:Too many levels of symbolic links\n");
    EXPECT_EQ(world::read_file("/tmp/victim"), "0\n");
    EXPECT_EQ(world::read_file("/tmp/events/distatus"), "0\n");
}

TEST_F(ChangeCheck, StatusFilesAreReplacedWholeWithTheUsualPermissions)
{
    const mode_t old_mask = umask(022);
    di.state = 1;
    detect_change(di);
    struct stat st;
    ASSERT_EQ(stat("/tmp/events/distatus", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    // A status path that cannot be replaced: reported, nothing left behind.
    event_source dcd1 = initial_sources[source_dcd1];
    ASSERT_EQ(mkdir("/tmp/events/dcd1status", 0755), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(write_status(dcd1), -1);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open file /tmp/events/dcd1status failed:Is a directory\n");
    EXPECT_EQ(system("test $(ls -A /tmp/events | grep -c XXX\\|status.) -eq 0"), 0)
        << "scratch file left behind";
    umask(old_mask);
}

TEST_F(ChangeCheck, PollSourceKeepsTheOldStateWhenTheReadFails)
{
    fake::device().read_fails[10] = true;
    event_source dcd1 = initial_sources[source_dcd1];
    poll_source(dcd1);
    EXPECT_EQ(dcd1.state, 0);
    EXPECT_EQ(world::read_file("/tmp/events/dcd1status"), "0\n");
    // A later good read of 1 is then a change from 0.
    fake::device().read_fails[10] = false;
    fake::device().registers[10] = 0x0D;
    poll_source(dcd1);
    EXPECT_EQ(dcd1.state, 1);
    EXPECT_EQ(world::read_file("/tmp/events/dcd1warn"), "Dcd1 On\n");
    // And a failing read after that leaves state 1 in place.
    fake::device().read_fails[10] = true;
    poll_source(dcd1);
    EXPECT_EQ(dcd1.state, 1);
    EXPECT_EQ(world::lines_of("/tmp/events/dcd1warn").size(), 1u);
}

TEST_F(ChangeCheck, SettingsChangedBetweenPollsApplyBeforeTheChangeCheck)
{
    world::write_file("/tmp/events/distatus", "0\n");
    fake::device().registers[9] = 0x10;
    fake::device().settings["snmp_trap_di"] = "2";
    event_source source = initial_sources[source_di];
    poll_source(source);
    EXPECT_EQ(source.trap_mode, 2);
    EXPECT_EQ(world::take_commands(),
              (std::vector<std::string>{"ledcontrol\tdi\ton", "sendtrap\t12"}));
}

TEST_F(ChangeCheck, ReadStatusAndTimestamp)
{
    world::write_file("/tmp/events/distatus", "1\n");
    EXPECT_EQ(read_status(di), 1);
    unlink("/tmp/events/distatus");
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_status(di), -1);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "open file /tmp/events/distatus failed:No such file or directory\n");

    char stamp[timestamp_size];
    memset(stamp, 'x', sizeof stamp);
    format_timestamp(stamp);
    // "YYYY-MM-DD hh:MM:SS  ", the hour padded with a space.
    ASSERT_EQ(strlen(stamp), 21u);
    EXPECT_EQ(stamp[4], '-');
    EXPECT_EQ(stamp[10], ' ');
    EXPECT_EQ(stamp[13], ':');
    EXPECT_STREQ(stamp + 19, "  ");
}

} // namespace
