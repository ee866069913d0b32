// The nine inputs: their records and readers, their status files and timestamps.
#include <regex>
#include <sys/resource.h>
#include <syslog.h>

#include "tables/status_files.h"
#include "tests/unit/world.h"
#include "watcher/change.h"
#include "watcher/event_source.h"
#include "watcher/main_loop.h"

TEST(Sources, EachInputSendsItsOwnTrapNumbers)
{
    // Other programs on the device read traps by these numbers. Every input's
    // files, keys and messages are held by the soak's model; its traps only here.
    const std::pair<int32_t, int32_t> traps[source_count] = {{12, 11}, {8, 7},   {10, 9}, {18, 17}, {20, 19},
                                                             {22, 21}, {24, 23}, {3, 2},  {5, 4}};
    for (size_t id = 0; id < source_count; ++id)
        EXPECT_EQ(std::pair(initial_sources[id].on_trap, initial_sources[id].off_trap), traps[id]) << id;
}

TEST(Sources, EachReaderReadsItsOwnBitAndAFailedReadOrAPortNot1Or2StaysAFailure)
{
    // Registers 9 and 10 with only this input on; DCD and DSR are active low.
    const std::pair<int, int> alone_on[source_count] = {{0x10, 0x0F}, {0x01, 0x0F}, {0x02, 0x0F}, {0x00, 0x0D},
                                                        {0x00, 0x07}, {0x00, 0x0E}, {0x00, 0x0B}, {0x04, 0x0F},
                                                        {0x08, 0x0F}};
    for (size_t id = 0; id < source_count; ++id) {
        world::registers[9] = alone_on[id].first;
        world::registers[10] = alone_on[id].second;
        for (size_t reader = 0; reader < source_count; ++reader)
            EXPECT_EQ(source_readers[reader](), int(reader == id)) << "input " << reader << " with " << id << " on";
    }
    world::registers[9] = world::registers[10] = -1;
    for (const auto reader : source_readers)
        EXPECT_LT(reader(), 0);
    world::registers[9] = world::registers[10] = 0;
    for (const auto reader : {read_power, read_lan_link, read_dcd, read_dsr})
        for (const int port : {0, 3})
            EXPECT_EQ(reader(port), -1) << "port " << port;
}

TEST(Sources, ARelayCountsAmongTheRecordsAskedAboutAndOnlyThere)
{
    source_table held = initial_sources;
    held[0].relay_active = held[2].relay_active = 1;
    EXPECT_EQ(relay_active_count(held.data(), 2), 1);
}

TEST(StatusFile, ReadBackAsItsFirstByteOrMinus1AndTheTimeStampedLocally)
{
    world::fresh();
    const event_source &di = initial_sources[source_di];
    world::write("/tmp/events/distatus", "1\n");
    EXPECT_EQ(read_status(di), 1);
    unlink("/tmp/events/distatus");
    EXPECT_EQ(read_status(di), -1);
    char stamp[timestamp_size];
    format_timestamp(stamp);
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\d [ \d]\d:\d\d:\d\d  )"))) << stamp;
}

// The texts of the syslog lines received since the last look. A line of the
// test's own marks the point: the receiver has written all sent before it.
std::string syslog_texts()
{
    syslog(LOG_INFO, "quiet point");
    std::string lines;
    for (int waited_ms = 0; waited_ms < 10000 && lines.find("quiet point") == std::string::npos; waited_ms += 5)
        usleep(5000), lines = world::read(world::sim("syslog"));
    world::write(world::sim("syslog"), "");
    return std::regex_replace(lines.substr(0, lines.rfind('<')), std::regex(R"(<\d+>.*?\]: )"), "");
}

TEST(Poll, EachModeIsReadFromTheStoreAtEveryPollBeforeItsChangeCheckAndSyslogWhateverTheModes)
{
    // All four keys of the DI at one value for its change to 1, another for the
    // change back. Mode 1 acts on a change to 0, 2 on one to 1; a held relay line goes at the other.
    const struct { const char *on, *off, *on_commands, *off_commands, *relay_lines; int held; } cases[] = {
        {"2", "2x", "sendemail\tDI On\nsendtrap\t12\n", "", "DI On||", 0},
        {"258", "1", "sendemail\tDI On\nsendtrap\t12\n", "sendemail\tDI Off\nsendtrap\t11\n", "DI On|DI Off|", 1},
        {"1", "1", "", "sendemail\tDI Off\nsendtrap\t11\n", "|DI Off|", 1},
        {"2", "-1", "sendemail\tDI On\nsendtrap\t12\n", "", "DI On|DI On|", 1},
        {nullptr, "x2", "", "", "||", 0},
    };
    syslog_texts();
    for (const auto &c : cases) {
        world::fresh();
        world::write("/tmp/events/distatus", "0\n");
        event_source di = initial_sources[source_di];
        std::string relay_lines;
        for (const auto &[value, register9] : {std::pair{c.on, 0x10}, {c.off, 0x00}}) {
            for (const char *key : {di.syslog_key, di.email_key, di.trap_key, di.relay_key})
                value ? void(world::settings[key] = value) : void(world::settings.erase(key));
            world::registers[9] = register9, poll_source(di);
            const std::string relay_table = world::read(tables::relay_table);
            relay_lines += relay_table.substr(0, relay_table.find('\n')) + "|";
        }
        const std::string mode = std::string(c.on ? c.on : "(none)") + " then " + c.off;
        EXPECT_EQ(world::commands(),
                  "ledcontrol\tdi\ton\n" + (c.on_commands + ("ledcontrol\tdi\toff\n" + std::string(c.off_commands))))
            << mode;
        EXPECT_EQ(relay_lines, c.relay_lines) << mode;
        EXPECT_EQ(di.relay_active, c.held) << mode;
        EXPECT_EQ(di.syslog_mode, di.relay_mode) << mode;
        EXPECT_EQ(world::read(tables::email_table), world::read(tables::trap_table)) << "records, " << mode;
        EXPECT_EQ(syslog_texts(), "DI On\\n\n[DI On]\\n\nDI Off\\n\n[DI Off]\\n\n") << mode;
    }
}

TEST(Poll, AFirstReadThatFailsRecordsTheInitial0SoALaterReadOf1IsAChange)
{
    world::fresh();
    event_source di = initial_sources[source_di];
    for (const int register9 : {-1, 0x10})
        world::registers[9] = register9, poll_source(di);
    EXPECT_EQ(world::read("/tmp/events/distatus") + world::read("/tmp/events/diwarn"), "1\nDI On\n");
    EXPECT_EQ(world::commands(), "ledcontrol\tdi\ton\n");
}

// DI with an e-mail on a change to 1 and a trap on a change to 0, seen with
// `state` after its status file was set up by `setup` (S is its path).
std::string see_di(const std::string &setup, int state)
{
    world::fresh();
    world::write("/tmp/victim", "0\n");
    EXPECT_EQ(world::run("S=/tmp/events/distatus; " + setup), 0) << setup;
    event_source di = initial_sources[source_di];
    di.state = uint8_t(state);
    di.email_mode = 2;
    di.trap_mode = 1;
    detect_change(di);
    return world::commands();
}

TEST(Change, OnlyARecorded0Or1OfTheDaemonsOwnIsAChangeAndAnythingElseIsReplacedUnreported)
{
    const struct { const char *setup; int state; const char *commands, *status, *warn; } cases[] = {
        {"", 1, "", "1\n", ""},
        {"echo 0 >$S", 1, "ledcontrol\tdi\ton\nsendemail\tDI On\n", "1\n", "DI On\n"},
        {"echo 1 >$S", 0, "ledcontrol\tdi\toff\nsendtrap\t11\n", "0\n", "DI Off\n"},
        {"printf 1x >$S", 1, "", "1x", ""},
        {": >$S", 0, "", "0\n", ""},
        {"echo 2 >$S", 1, "", "1\n", ""},
        // Nothing that is not the daemon's own file holds its record.
        {"ln -s /tmp/victim $S", 1, "", "1\n", ""},
        {"ln /tmp/victim $S", 1, "", "1\n", ""},
        {"echo 0 >$S && chown 65534 $S", 1, "", "1\n", ""},
        {"mkfifo $S", 1, "", "1\n", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(see_di(c.setup, c.state), c.commands) << c.setup;
        EXPECT_EQ(world::read("/tmp/events/distatus"), c.status) << c.setup;
        EXPECT_EQ(world::read("/tmp/events/diwarn"), c.warn) << c.setup;
        EXPECT_EQ(world::read("/tmp/victim"), "0\n") << c.setup;
        EXPECT_EQ(world::run("test \"$(stat -c %F%h%u /tmp/events/distatus)\" = 'regular file10'"), 0) << c.setup;
    }
    // Rewritten, the file keeps its mode and group.
    see_di("echo 0 >$S && chmod 640 $S && chgrp 5 $S", 1);
    EXPECT_EQ(world::run("test \"$(stat -c %a%g /tmp/events/distatus)\" = 6405"), 0);
}

TEST(Change, AStateNoFileCanTakeIsKeptInMemoryReportedOnceAndRecordedLaterEachFailureSaidOnce)
{
    testing::internal::CaptureStdout();
    // A directory in the status file's place, then the event directory read-only: a mount the daemon holds.
    world::fresh();
    ASSERT_EQ(world::run("mount --bind /tmp/events /tmp/events && mkdir /tmp/events/distatus"), 0);
    reset_daemon_state();
    ASSERT_EQ(check_events_directory(), directory_taken);
    const char *read_only = "rmdir $S && mount -o remount,bind,ro /tmp/events";
    const std::pair<const char *, int> steps[] = {
        {"", 0}, {"", 1}, {"", 1}, {read_only, 1}, {"", 0}, {"mount -o remount,bind,rw /tmp/events", 0}};
    event_source di = initial_sources[source_di];
    di.email_mode = 2;
    for (const auto &[setup, state] : steps) {
        ASSERT_EQ(world::run(std::string("S=/tmp/events/distatus; ") + setup), 0);
        di.state = uint8_t(state);
        save_pending_states(&di, 1);
        detect_change(di);
    }
    EXPECT_EQ(world::commands(), "ledcontrol\tdi\ton\nsendemail\tDI On\nledcontrol\tdi\toff\n");
    EXPECT_EQ(world::read("/tmp/events/distatus") + world::read("/tmp/events/diwarn"), "0\nDI On\n");
    // A status file that cannot be opened for want of a descriptor.
    rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    for (const rlimit &files : {rlimit{0, limit.rlim_max}, rlimit{0, limit.rlim_max}, limit})
        setrlimit(RLIMIT_NOFILE, &files), detect_change(di);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open file /tmp/events/distatus failed:Is a directory\n"
                                                      "open file /tmp/events/distatus failed:Read-only file system\n"
                                                      "open file /tmp/events/diwarn failed:Read-only file system\n"
                                                      "open file /tmp/events/distatus failed:Too many open files\n");
    reset_daemon_state();
    EXPECT_EQ(world::run("umount /tmp/events"), 0);
}
