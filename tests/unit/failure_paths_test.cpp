// Failures once taken for success: lines never written, a write error said at every pass.
#include "tables/tables.h"
#include "tests/unit/world.h"
#include "watcher/change.h"

TEST(FailurePaths, TablesClaimNoLineOrRecordTheyCouldNotWrite)
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

TEST(FailurePaths, AStatusFileThatCannotBeWrittenIsSaidOncePerCause)
{
    world::fresh();
    event_source di = initial_sources[source_di];
    ASSERT_EQ(system("mount -o bind,ro /tmp/events /tmp/events"), 0);
    testing::internal::CaptureStdout();
    detect_change(di);
    detect_change(di);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open file /tmp/events/distatus failed:Read-only file system\n");
    ASSERT_EQ(system("umount /tmp/events"), 0);
}
