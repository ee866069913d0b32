// The relay, trap and e-mail table files.
#include <fcntl.h>
#include <sys/syscall.h>

#include "tables/event_files.h"
#include "tables/tables.h"
#include "watcher/change.h"
#include "watcher/event_source.h"
#include "tests/unit/world.h"

const std::string table = tables::trap_table;

std::string records(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "record " + std::to_string(i) + "\n";
    return text;
}

TEST(Tables, ATableOfThirtyLinesAnUnfinishedOneCountedLosesItsFirstToReplacementWholeOrNotAtAll)
{
    world::fresh();
    // Files opened the way fopen would: descriptor 0 is as good as any.
    close(0);
    const long files_before = world::open_files();
    // An unfinished last line becomes one of the thirty.
    for (const auto &[before, after] : {std::pair{records(1, 30), records(2, 30) + "new\n"},
                                        {records(1, 29) + "torn", records(2, 29) + "torn\nnew\n"},
                                        {records(1, 30) + "torn", records(3, 30) + "torn\nnew\n"},
                                        {records(1, 31), records(1, 31) + "new\n"}}) {
        world::write(table, before);
        EXPECT_EQ(append_capped(table.c_str(), "new"), 0);
        EXPECT_EQ(world::read(table), after);
    }
    EXPECT_EQ(world::open_files(), files_before) << "a table left open";
    testing::internal::CaptureStdout();
    EXPECT_EQ(count_lines("/tmp/events/missing") + drop_first_line("/tmp/events/missing"), -2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open No such file or directory error\n");
}

TEST(Tables, ARelayLineIsEditedInPlaceOnlyByTextSedCannotMisread)
{
    world::fresh();
    const char *relay = tables::relay_table;
    ASSERT_EQ(create_blank_lines(relay, 9), 0);
    // The longest text the command has room for.
    const std::string longest(87, 'x');
    EXPECT_EQ(replace_line(relay, 9, "Port_2 Link_down"), 0);
    EXPECT_EQ(replace_line(relay, 3, longest.c_str()), 0);
    const std::string edited = "\n\n" + longest + "\n\n\n\n\n\nPort_2 Link_down\n";
    EXPECT_EQ(world::read(relay), edited);
    // A command cut short would edit this file instead.
    world::write("/tmp/events/relaytabl", "\n");
    for (const std::string &text : {longest + "x", std::string("x/;e touch /tmp/pwned;s/"), std::string("it's"),
                                    std::string("a\\b"), std::string("a&b"), std::string("a\nb")})
        EXPECT_EQ(replace_line(relay, 1, text.c_str()), -1) << text;
    EXPECT_EQ(replace_line("/tmp/events/missing", 1, "x"), -1) << "sed failing is a failure";
    EXPECT_EQ(world::read(relay), edited);
    EXPECT_EQ(world::read("/tmp/events/relaytabl"), "\n");
    EXPECT_NE(access("/tmp/pwned", F_OK), 0);

    EXPECT_EQ(truncate_file(relay), 0);
    EXPECT_EQ(world::read(relay), "");
    // A FIFO is no table, and never waited on.
    ASSERT_EQ(unlink(tables::email_table) + mkfifo(tables::email_table, 0644), 0);
    EXPECT_EQ(touch_file("/tmp/nowhere/traptable") + append_capped(tables::email_table, "x"), -2);
}

TEST(Tables, TablesClaimNoLineOrRecordTheyCouldNotWrite)
{
    world::fresh();
    const std::string thirty(tables::record_cap, '\n');
    world::write(tables::trap_table, thirty);
    // A mount point cannot be renamed over: the first line cannot be dropped.
    ASSERT_EQ(system("mount --bind /tmp/events/traptable /tmp/events/traptable"), 0);
    EXPECT_EQ(append_capped(tables::trap_table, "DI On##Success"), -1);
    ASSERT_EQ(system("umount /tmp/events/traptable"), 0);
    EXPECT_EQ(world::read(tables::trap_table), thirty);
    EXPECT_EQ(replace_line(tables::trap_table, tables::record_cap + 1, ""), -1);
}

// Someone who puts a directory of theirs back whenever the daemon makes its own.
bool put_back;
extern "C" int mkdir(const char *path, mode_t mode)
{
    if (put_back && strcmp(path, "/tmp/events") == 0)
        system("mkdir /tmp/theirs && chown 65534 /tmp/theirs && mv -T /tmp/theirs /tmp/events");
    return static_cast<int>(syscall(SYS_mkdirat, AT_FDCWD, path, mode));
}

TEST(EventDirectory, TheDaemonsOwnIsUsedAsFoundAnythingElseMovedAsideUntouchedOrElseNotUsed)
{
    const struct { const char *setup; bool put_back, used; const char *printed, *found; } cases[] = {
        {"mkdir -m 777 $E", false, true, "", "0\n"},
        {"mkdir -p /run/ev && ln -s /run/ev $E", false, true, "", "0\n"},
        {"mkdir $E && chown 65534 $E", false, true, "moved /tmp/events aside to /tmp/events.", ""},
        {"ln -s /run/ev $E && chown -h 65534 $E", false, true, "moved /tmp/events aside to /tmp/events.", ""},
        {"echo 0 >$E", false, true, "moved /tmp/events aside to /tmp/events.", ""},
        // Not used when it cannot be moved: a mount point, no inode in /tmp, one put back at every try.
        {"mkdir $E && echo 0 >$E/distatus && mount -t tmpfs -o uid=65534 none $E", false, false,
         "move /tmp/events aside failed Device or resource busy\n", "0\n"},
        {"mkdir $E && echo 0 >$E/distatus && chown -R 65534 $E && mount -o remount,nr_inodes=$(($(df --output=iused "
         "/tmp | tail -n1) + 1)) /tmp && : >/tmp/fill", false, false, "move /tmp/events aside failed No space left on "
         "device\n", "0\n"},
        {":", true, false, "mkdir /tmp/events failed File exists\n", ""},
    };
    for (const auto &c : cases) {
        world::fresh();
        testing::internal::CaptureStdout();
        ASSERT_EQ(world::run(std::string("E=/tmp/events; rm -rf /run/ev; mv $E /tmp/old; ") + c.setup
                             + "; [ -d $E ] && echo 0 >$E/distatus; true"), 0);
        put_back = c.put_back;
        const bool used = check_events_directory(false) & check_events_directory(false);
        put_back = false;
        const std::string printed = testing::internal::GetCapturedStdout();
        const size_t at = printed.find(c.printed);
        EXPECT_EQ(used, c.used) << c.setup;
        EXPECT_TRUE(*c.printed ? at != std::string::npos && printed.find(c.printed, at + 1) == std::string::npos
                               : printed.empty()) << printed;
        EXPECT_EQ(world::read("/tmp/events/distatus"), c.found) << c.setup;
        EXPECT_EQ(world::read(tables::relay_table), c.used ? std::string(9, '\n') : "") << c.setup;
        EXPECT_EQ(create_blank_lines(tables::relay_table, 9), c.used ? 0 : -1) << c.setup;
        system("umount /tmp/events; mount -o remount,nr_inodes=1m /tmp; rm -rf /tmp/fill /tmp/old /tmp/events*");
    }
}

TEST(EventDirectory, NoFileWithASecondNameIsWrittenThrough)
{
    world::fresh();
    world::write("/tmp/victim", "keep\n");
    for (const char *name : {"relaytable", "diwarn", "traptable"})
        ASSERT_EQ(world::run(std::string("ln -f /tmp/victim /tmp/events/") + name), 0);
    const event_source &di = initial_sources[source_di];
    prepare_tables(9);
    // Refused, or for the relay table, whose lines the daemon holds, written anew.
    EXPECT_EQ(append_warn(di) + append_capped(tables::trap_table, "x") + set_relay_line(0, "DI On"), -2);
    EXPECT_EQ(world::read("/tmp/victim"), "keep\n");
    EXPECT_EQ(world::read(tables::relay_table), "DI On\n" + std::string(8, '\n'));
}
