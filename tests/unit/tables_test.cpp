// The relay, trap and e-mail table files.
#include "tables/tables.h"
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
    for (const auto &[before, after] : {std::pair{records(1, 30), records(2, 30) + "new\n"},
                                        {records(1, 29) + "torn", records(2, 29) + "torn\nnew\n"}}) {
        world::write(table, before);
        chmod(table.c_str(), 0604);
        EXPECT_EQ(append_capped(table.c_str(), "new"), 0);
        EXPECT_EQ(world::read(table), after);
    }
    struct stat st;
    EXPECT_TRUE(stat(table.c_str(), &st) == 0 && (st.st_mode & 07777) == 0604) << "readable as before";
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
    // A FIFO has no end to append at.
    ASSERT_EQ(mkfifo(tables::email_table, 0644), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(touch_file("/tmp/nowhere/traptable") + append_capped(tables::email_table, "x"), -2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "create file /tmp/nowhere/traptable failed No such file or "
                                                      "directory\ngo to end of file failed:Illegal seek\n");
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
    testing::internal::CaptureStdout();
    EXPECT_EQ(create_blank_lines("/dev/full", 9), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "create file /dev/full failed No space left on device\n");
}
