// Dispatch of one change: syslog lines, e-mail and trap commands with their
// table records, and relay-table lines.
#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "notify/notify.h"
#include "tables/tables.h"
#include "tests/unit/sandbox_world.h"

namespace {

using lines = std::vector<std::string>;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        world::fresh_events();
        prepare_tables(9);
    }

    void expect_syslog(const std::string &message)
    {
        const auto datagrams = syslog.take();
        ASSERT_EQ(datagrams.size(), 2u);
        const std::string head = R"(^<(\d+)>\w{3} [ \d]\d \d\d:\d\d:\d\d linewatch\[)" +
                                 std::to_string(getpid()) + R"(\]: )";
        const std::regex plain(head + std::regex_replace(message, std::regex(R"([\[\]])"), R"(\$&)") + "\n$");
        const std::regex bracketed(head + R"(\[)" + message + R"(\]\n$)");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(datagrams[0], match, plain)) << datagrams[0];
        EXPECT_EQ(match[1], "14");
        ASSERT_TRUE(std::regex_match(datagrams[1], match, bracketed)) << datagrams[1];
        EXPECT_EQ(match[1], "6");
    }

    static lines relay_lines() { return world::lines_of(tables::relay_table); }

    world::syslog_capture syslog;
    event_source di = initial_sources[source_di];
};

TEST_F(Dispatch, DigitalInputRoundTripWithEmail2Trap1Relay2)
{
    di.email_mode = 2;
    di.trap_mode = 1;
    di.relay_mode = 2;

    di.state = 1;
    notify_event(di);
    expect_syslog("DI On");
    EXPECT_EQ(world::take_commands(), lines{"sendemail\tDI On"});
    EXPECT_EQ(world::read_file(tables::email_table), "DI On##Success\n");
    EXPECT_EQ(world::read_file(tables::trap_table), "");
    EXPECT_EQ(relay_lines(), (lines{"DI On", "", "", "", "", "", "", "", ""}));
    EXPECT_EQ(di.relay_active, 1);

    world::set_exit("sendtrap", 1);
    di.state = 0;
    notify_event(di);
    expect_syslog("DI Off");
    EXPECT_EQ(world::take_commands(), lines{"sendtrap\t11"});
    EXPECT_EQ(world::read_file(tables::email_table), "DI On##Success\n");
    EXPECT_EQ(world::read_file(tables::trap_table), "DI Off##Fail\n");
    EXPECT_EQ(relay_lines(), lines(9, ""));
    EXPECT_EQ(di.relay_active, 0);
}

TEST_F(Dispatch, Relay1HoldsOnZeroAndReleasesOnOne)
{
    event_source lan2 = initial_sources[source_lan2];
    lan2.relay_mode = 1;
    lan2.trap_mode = 1;
    notify_event(lan2);
    EXPECT_EQ(relay_lines()[8], "Port_2 Link_down");
    EXPECT_EQ(lan2.relay_active, 1);
    EXPECT_EQ(world::take_commands(), lines{"sendtrap\t4"});
    EXPECT_EQ(world::read_file(tables::trap_table), "Port_2 Link_down##Success\n");
    syslog.take();

    lan2.state = 1;
    notify_event(lan2);
    EXPECT_EQ(relay_lines(), lines(9, ""));
    EXPECT_EQ(lan2.relay_active, 0);
    EXPECT_TRUE(world::take_commands().empty());
}

TEST_F(Dispatch, ModesZeroAndThreeOnlyLog)
{
    for (uint8_t mode : {0, 3}) {
        di.email_mode = di.trap_mode = di.relay_mode = mode;
        for (uint8_t state : {1, 0}) {
            di.state = state;
            notify_event(di);
            expect_syslog(state ? "DI On" : "DI Off");
        }
    }
    EXPECT_TRUE(world::take_commands().empty());
    EXPECT_EQ(world::read_file(tables::email_table), "");
    EXPECT_EQ(world::read_file(tables::trap_table), "");
    EXPECT_EQ(relay_lines(), lines(9, ""));
}

TEST_F(Dispatch, HeldRelaySurvivesAModeChangeUntilTheReleasingChange)
{
    di.relay_mode = 2;
    di.state = 1;
    notify_event(di);
    di.relay_mode = 0;
    di.state = 0;
    notify_event(di);
    EXPECT_EQ(di.relay_active, 1);
    EXPECT_EQ(relay_lines()[0], "DI On");
}

TEST_F(Dispatch, RelayTableFoundMissingIsRebuiltWithTheHeldLinesAndALinkIsRefused)
{
    // The rebuild reads what the daemon's own records hold.
    event_source &pwr1 = event_table[source_pwr1];
    event_source &held_di = event_table[source_di];
    pwr1.relay_mode = held_di.relay_mode = 2;
    pwr1.state = held_di.state = 1;
    notify_event(pwr1);
    notify_event(held_di);
    ASSERT_EQ(unlink(tables::relay_table), 0);
    held_di.state = 0;
    notify_event(held_di);
    EXPECT_EQ(relay_lines(), (lines{"", "Power1 On", "", "", "", "", "", "", ""}));

    ASSERT_EQ(unlink(tables::relay_table), 0);
    world::write_file("/tmp/victim", "keep\n");
    ASSERT_EQ(symlink("/tmp/victim", tables::relay_table), 0);
    pwr1.state = 0;
    notify_event(pwr1);
    EXPECT_EQ(pwr1.relay_active, 0);
    EXPECT_EQ(world::read_file("/tmp/victim"), "keep\n");
    struct stat st;
    ASSERT_EQ(lstat(tables::relay_table, &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "sed replaced the link with a copy of its target";
    event_table = initial_sources;
}

TEST_F(Dispatch, FailingOrMissingCommandsAreRecordedAsFail)
{
    di.email_mode = 2;
    di.trap_mode = 2;
    world::set_exit("sendemail", 127);
    world::set_exit("sendtrap", 3);
    di.state = 1;
    notify_event(di);
    EXPECT_EQ(world::read_file(tables::email_table), "DI On##Fail\n");
    EXPECT_EQ(world::read_file(tables::trap_table), "DI On##Fail\n");
    EXPECT_EQ(world::take_commands(), (lines{"sendemail\tDI On", "sendtrap\t12"}));
}

TEST_F(Dispatch, EveryMessageFitsItsRecordAndCommand)
{
    for (auto source : initial_sources) {
        source.email_mode = 1;
        source.trap_mode = 1;
        notify_event(source);
        syslog.take();
    }
    const auto emails = world::lines_of(tables::email_table);
    const auto traps = world::lines_of(tables::trap_table);
    ASSERT_EQ(emails.size(), source_count);
    EXPECT_EQ(emails[8], "Port_2 Link_down##Success");
    EXPECT_EQ(traps, emails);
    EXPECT_EQ(world::take_commands().size(), 2 * source_count);
}

} // namespace
