// The relay, trap and e-mail table files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "common/replace_file.h"
#include "tables/tables.h"
#include "tests/unit/sandbox_world.h"

namespace {

const std::string table = "/tmp/events/traptable";

std::string numbered_lines(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "record " + std::to_string(i) + "\n";
    return text;
}

std::string captured_stdout()
{
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

class Tables : public ::testing::Test {
protected:
    void SetUp() override { world::fresh_events(); }
};

TEST_F(Tables, CappedTableGrowsToThirtyThenKeepsTheLatestThirty)
{
    world::write_file(table, numbered_lines(1, 29));
    ASSERT_EQ(append_capped(table.c_str(), "record 30"), 0);
    EXPECT_EQ(world::read_file(table), numbered_lines(1, 30));
    ASSERT_EQ(append_capped(table.c_str(), "record 31"), 0);
    EXPECT_EQ(world::read_file(table), numbered_lines(2, 31));
    EXPECT_EQ(count_lines(table.c_str()), 30);
}

TEST_F(Tables, AnUnfinishedLastLineCountsTowardTheCap)
{
    // A record torn by a write cut short keeps a line of its own, and the
    // table stays at thirty.
    world::write_file(table, numbered_lines(1, 29) + "torn");
    ASSERT_EQ(append_capped(table.c_str(), "record 31"), 0);
    EXPECT_EQ(world::read_file(table), numbered_lines(2, 29) + "torn\nrecord 31\n");
    ASSERT_EQ(append_capped(table.c_str(), "record 32"), 0);
    EXPECT_EQ(count_lines(table.c_str()), 30);
}

TEST_F(Tables, TableAboveTheCapKeepsGrowing)
{
    world::write_file(table, numbered_lines(1, 31));
    ASSERT_EQ(append_capped(table.c_str(), "record 32"), 0);
    EXPECT_EQ(world::read_file(table), numbered_lines(1, 32));
}

TEST_F(Tables, MissingTableIsReportedByCountThenCreated)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(count_lines(table.c_str()), -1);
    EXPECT_EQ(append_capped(table.c_str(), "DI On##Success"), 0);
    EXPECT_EQ(captured_stdout(), "open No such file or directory error\n"
                                 "open No such file or directory error\n");
    EXPECT_EQ(world::read_file(table), "DI On##Success\n");
}

TEST_F(Tables, DropFirstLine)
{
    world::write_file(table, "one\ntwo\nthree");
    EXPECT_EQ(drop_first_line(table.c_str()), 0);
    EXPECT_EQ(world::read_file(table), "two\nthree");
    world::write_file(table, "no newline at all");
    EXPECT_EQ(drop_first_line(table.c_str()), 0);
    EXPECT_EQ(world::read_file(table), "");
}

TEST_F(Tables, DropFirstLineKeepsTheTableReadableAndLeavesNoScratch)
{
    world::write_file(table, numbered_lines(1, 3));
    ASSERT_EQ(chmod(table.c_str(), 0644), 0);
    ASSERT_EQ(drop_first_line(table.c_str()), 0);
    struct stat st;
    ASSERT_EQ(stat(table.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(system("test $(ls -A /tmp/events | wc -l) -eq 1"), 0) << "scratch file left behind";
    EXPECT_FALSE(world::exists("/tmp/t.tmp"));
}

TEST_F(Tables, DropFirstLineFailureLeavesTheTableAsItWas)
{
    EXPECT_EQ(drop_first_line("/tmp/events/missing"), -1);
    // No room for a scratch file beside the table: a read-only directory.
    ASSERT_EQ(system("mkdir /tmp/events/ro && printf 'a\\nb\\n' >/tmp/events/ro/t && "
                     "mount -o bind,ro /tmp/events/ro /tmp/events/ro"), 0);
    EXPECT_EQ(drop_first_line("/tmp/events/ro/t"), -1);
    EXPECT_EQ(world::read_file("/tmp/events/ro/t"), "a\nb\n");
    EXPECT_EQ(system("umount /tmp/events/ro"), 0);
    EXPECT_EQ(system("test $(ls -A /tmp/events/ro | wc -l) -eq 1"), 0);
}

TEST_F(Tables, StaleScratchFilesOfAKilledDaemonAreRemoved)
{
    world::write_file(table, "kept\n");
    world::write_file(table + ".Ab3dE9", "half a tab");
    world::write_file(table + ".old", "someone else's\n");
    remove_stale_scratch(table.c_str());
    EXPECT_FALSE(world::exists(table + ".Ab3dE9"));
    EXPECT_EQ(world::read_file(table + ".old"), "someone else's\n");
    EXPECT_EQ(world::read_file(table), "kept\n");
}

TEST_F(Tables, AppendCappedRefusesASymbolicLink)
{
    // Thirty lines: read through the link, they would be trimmed into the
    // table.
    world::write_file("/tmp/victim", numbered_lines(1, 30));
    ASSERT_EQ(symlink("/tmp/victim", table.c_str()), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(append_capped(table.c_str(), "DI On##Fail"), -1);
    EXPECT_EQ(captured_stdout(), "open Too many levels of symbolic links error\n"
                                 "open file /tmp/events/traptable failed Too many levels of symbolic links\n");
    EXPECT_EQ(world::read_file("/tmp/victim"), numbered_lines(1, 30));
    struct stat st;
    ASSERT_EQ(lstat(table.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(Tables, AnUnfinishedLastLineIsEndedBeforeTheNextRecord)
{
    world::write_file(table, "DI On##Succ");
    EXPECT_EQ(append_capped(table.c_str(), "DI Off##Fail"), 0);
    EXPECT_EQ(world::read_file(table), "DI On##Succ\nDI Off##Fail\n");
}

TEST_F(Tables, ReplaceLineRewritesOneLineInPlace)
{
    const char *relay = tables::relay_table;
    ASSERT_EQ(create_blank_lines(relay, 9), 0);
    ASSERT_EQ(replace_line(relay, 3, "Power2 On"), 0);
    ASSERT_EQ(replace_line(relay, 9, "Port_2 Link_down"), 0);
    EXPECT_EQ(world::read_file(relay), "\n\nPower2 On\n\n\n\n\n\nPort_2 Link_down\n");
    ASSERT_EQ(replace_line(relay, 3, ""), 0);
    EXPECT_EQ(world::read_file(relay), std::string(8, '\n') + "Port_2 Link_down\n");
}

TEST_F(Tables, ReplaceLineOfLineOneWithEmptyTextKeepsTheOthers)
{
    world::write_file(tables::relay_table, "DI On\nPower1 On\n\n\n\n\n\n\nPort_2 Link_up\n");
    ASSERT_EQ(replace_line(tables::relay_table, 1, ""), 0);
    EXPECT_EQ(world::read_file(tables::relay_table), "\nPower1 On\n\n\n\n\n\n\nPort_2 Link_up\n");
}

TEST_F(Tables, ReplaceLineRefusesTextThatWouldEscapeTheExpression)
{
    world::write_file(tables::relay_table, std::string(9, '\n'));
    EXPECT_EQ(replace_line(tables::relay_table, 1, "x/;e touch /tmp/pwned;s/"), -1);
    EXPECT_EQ(replace_line(tables::relay_table, 1, "it's"), -1);
    EXPECT_FALSE(world::exists("/tmp/pwned"));
    EXPECT_EQ(replace_line("/tmp/events/missing", 1, "x"), -1) << "sed failing is a failure";
}

TEST_F(Tables, StartupPreparation)
{
    world::write_file(tables::relay_table, "DI On\nleft over\n");
    world::write_file(tables::email_table, "DI On##Success\n");
    prepare_tables(9);
    EXPECT_EQ(world::read_file(tables::relay_table), std::string(9, '\n'));
    EXPECT_EQ(world::read_file(tables::email_table), "DI On##Success\n");
    EXPECT_EQ(world::read_file(tables::trap_table), "");
    EXPECT_EQ(truncate_file(tables::email_table), 0);
    EXPECT_EQ(world::read_file(tables::email_table), "");
}

TEST_F(Tables, CreateFailuresAreReported)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(create_blank_lines("/tmp/nowhere/relaytable", 9), -1);
    EXPECT_EQ(touch_file("/tmp/nowhere/traptable"), -1);
    EXPECT_EQ(captured_stdout(),
              "create file /tmp/nowhere/relaytable failed No such file or directory\n"
              "create file /tmp/nowhere/traptable failed No such file or directory\n");
}

} // namespace
