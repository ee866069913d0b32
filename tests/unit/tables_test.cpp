// The event directory, the status files and the relay, trap and e-mail tables.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>

#include "tables/event_directory.h"
#include "tables/status_files.h"
#include "tables/tables.h"
#include "watcher/change.h"
#include "watcher/event_source.h"
#include "tests/unit/world.h"

namespace {

std::string records(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "record " + std::to_string(i) + "\n";
    return text;
}

bool taken() { return check_events_directory() != directory_none; }

} // namespace

TEST(Tables, ATableOfThirtyLinesAnUnfinishedOneCountedLosesItsFirstToReplacementWholeOrNotAtAll)
{
    world::fresh();
    const char *table = tables::trap_table;
    // Files opened the way fopen would: descriptor 0 is as good as any.
    const int stdin_copy = dup(0);
    close(0);
    const long files_before = world::open_files();
    // An unfinished last line becomes one of the thirty.
    for (const auto &[before, after] : {std::pair{records(1, 30), records(2, 30) + "new\n"},
                                        {records(1, 29) + "torn", records(2, 29) + "torn\nnew\n"},
                                        {records(1, 30) + "torn", records(3, 30) + "torn\nnew\n"},
                                        {records(1, 31), records(1, 31) + "new\n"}}) {
        world::write(table, before);
        EXPECT_EQ(append_capped(table, "new"), 0);
        EXPECT_EQ(world::read(table), after);
    }
    EXPECT_EQ(world::open_files(), files_before) << "a table left open";
    dup2(stdin_copy, 0);
    close(stdin_copy);
    // A mount point cannot be renamed over: the first line cannot be dropped, the record is lost.
    world::write(table, records(1, 30));
    ASSERT_EQ(world::run("mount --bind /tmp/events/traptable /tmp/events/traptable"), 0);
    EXPECT_EQ(append_capped(table, "DI On##Success"), -1);
    ASSERT_EQ(world::run("umount /tmp/events/traptable"), 0);
    EXPECT_EQ(world::read(table), records(1, 30));
    testing::internal::CaptureStdout();
    EXPECT_EQ(count_lines("/tmp/events/missing"), -1);
    EXPECT_EQ(drop_first_line("/tmp/events/missing"), -1);
    EXPECT_EQ(create_blank_lines(table, 9), 0);
    EXPECT_EQ(world::read(table), std::string(9, '\n'));
    EXPECT_EQ(truncate_file(table), 0);
    EXPECT_EQ(world::read(table), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open No such file or directory error\n");
    // Nothing is made outside the directory.
    EXPECT_EQ(touch_file("/tmp/nowhere/traptable"), -1);
}

TEST(Tables, ARelayLineIsEditedInProcessByteForByteAsSedEditsIt)
{
    const struct { const char *name; std::string before; int line; const char *text; int result; } cases[] = {
        {"blank table", std::string(9, '\n'), 3, "Power2 On", 0},
        {"emptied", "a\nDI On\nc\n", 2, "", 0},
        {"no final newline", "a\nb\nlast", 3, "Dsr1 Off", 0},
        {"NUL bytes", std::string("a\0b\nc\0\n", 7), 1, "DI On", 0},
        {"more than nine lines", records(1, 12), 10, "Port_2 Link_up", 0},
        {"text sed takes as it is", "a\nb\n", 1, "it's (DI) On", 0},
        // A line the table does not have is no edit.
        {"empty", "", 1, "x", -1},
        {"short", "a\n", 2, "x", -1},
        {"short, no final newline", "a\nb", 3, "x", -1},
    };
    for (const auto &c : cases) {
        world::fresh();
        world::write(tables::relay_table, c.before);
        world::write("/tmp/sed.copy", c.before);
        EXPECT_EQ(replace_line(tables::relay_table, c.line, c.text), c.result) << c.name;
        ASSERT_EQ(world::run("LC_ALL=C sed -i \"" + std::to_string(c.line) + "s/.*/" + c.text + "/\" /tmp/sed.copy"), 0);
        EXPECT_EQ(world::read(tables::relay_table), world::read("/tmp/sed.copy")) << c.name;
    }
    EXPECT_EQ(replace_line(tables::relay_table, 0, "x"), -1);
}

// Someone who renames a link onto a file of the daemon's between the read
// that checks it and the write that replaces it: at the next fclose.
const char *swap_in;
extern "C" int fclose(FILE *stream)
{
    static const auto real = reinterpret_cast<int (*)(FILE *)>(dlsym(RTLD_NEXT, "fclose"));
    if (swap_in != nullptr && system(("ln -s /tmp/victim /tmp/swap && mv /tmp/swap " + std::string(swap_in)).c_str()) != 0)
        abort();
    swap_in = nullptr;
    return real(stream);
}

TEST(Tables, ALinkSwappedInAfterTheCheckIsReplacedNeverFollowed)
{
    world::fresh();
    world::write("/tmp/victim", "root:x:0:0\nkeep\n");
    swap_in = tables::relay_table;
    EXPECT_EQ(set_relay_line(source_dcd1, "Dcd1 On"), 0);
    EXPECT_EQ(world::read("/tmp/victim"), "root:x:0:0\nkeep\n");
    EXPECT_EQ(world::read(tables::relay_table), "\n\n\nDcd1 On\n\n\n\n\n\n");
}

TEST(Tables, AWarnFileOrTableWithASecondNameStartsAnewTheOtherNameKeepingItsFile)
{
    world::fresh();
    world::write("/tmp/victim", "keep\n");
    ASSERT_EQ(world::run("for f in diwarn traptable relaytable; do ln -f /tmp/victim /tmp/events/$f; done; "
                         "ln -sf /tmp/victim /tmp/events/emailtable"), 0);
    EXPECT_EQ(append_capped(tables::email_table, "DI On##Success"), -1) << "written through a link";
    event_source di = initial_sources[source_di];
    di.state = 1;
    EXPECT_EQ(append_warn(di), 0);
    EXPECT_EQ(append_capped(tables::trap_table, "DI On##Success"), 0);
    // The relay table, whose lines the daemon holds, is written whole.
    EXPECT_EQ(set_relay_line(source_pwr1, "Power1 On"), 0);
    EXPECT_EQ(world::read("/tmp/victim"), "keep\n");
    EXPECT_EQ(world::read("/tmp/events/diwarn") + world::read(tables::trap_table) + world::read(tables::relay_table),
              "DI On\nDI On##Success\n\nPower1 On\n" + std::string(7, '\n'));
    // Removed, the relay table is made again from the lines held.
    ASSERT_EQ(unlink(tables::relay_table), 0);
    EXPECT_EQ(set_relay_line(source_di, "DI On"), 0);
    EXPECT_EQ(world::read(tables::relay_table), "DI On\nPower1 On\n" + std::string(7, '\n'));
}

TEST(StatusFiles, ARecordLostAfterTheDaemonRecordedOneIsJudgedAgainstMemoryAndTheFileReplaced)
{
    // After the daemon recorded 0 (or, at first sight, before), the input reads 1.
    umask(022);
    const struct { const char *setup; bool socket, first_sight; const char *commands; } cases[] = {
        {"rm $S", false, false, "ledcontrol\tdi\ton\n"},
        {"ln $S /tmp/other", false, false, "ledcontrol\tdi\ton\n"},
        {"rm $S", true, false, "ledcontrol\tdi\ton\n"},
        {"rm $S", true, true, ""},
    };
    for (const auto &c : cases) {
        world::fresh();
        event_source di = initial_sources[source_di];
        if (!c.first_sight)
            detect_change(di);
        ASSERT_EQ(world::run(std::string("S=/tmp/events/distatus; rm -f /tmp/other; touch $S; ") + c.setup), 0);
        const sockaddr_un socket_path = {AF_UNIX, "/tmp/events/distatus"};
        const int listener = c.socket ? socket(AF_UNIX, SOCK_STREAM, 0) : -1;
        if (c.socket)
            ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr *>(&socket_path), sizeof socket_path), 0);
        close(listener);
        di.state = 1;
        for (int pass = 0; pass < 2; ++pass) {
            save_pending_states(&di, 1);
            detect_change(di);
        }
        EXPECT_EQ(world::commands(), c.commands) << c.setup << c.socket << c.first_sight;
        // Made as fopen would make it.
        world::run("stat -c '%F %h %a' /tmp/events/distatus >/tmp/stat.out");
        EXPECT_EQ(world::read("/tmp/stat.out") + world::read("/tmp/events/distatus"), "regular file 1 644\n1\n")
            << c.setup << c.socket << c.first_sight;
    }
}

TEST(StatusFiles, OnAFullFileSystemTheStatusFileTakesItsTwoBytesInPlace)
{
    world::fresh();
    // Inodes for the directory, the status file and the warn file, and one page, the status file's: then none.
    ASSERT_EQ(world::run("mount -t tmpfs -o nr_inodes=3,size=4k none /tmp/events && printf '0\\nrest' >/tmp/events/distatus"
                         " && : >/tmp/events/diwarn"), 0);
    ASSERT_TRUE(taken());
    event_source di = initial_sources[source_di];
    di.state = 1;
    // Descriptor 0 is as good as any for the status file.
    const int stdin_copy = dup(0);
    close(0);
    const long files_before = world::open_files();
    EXPECT_EQ(recorded_state(di), 0);
    EXPECT_EQ(write_status(di), 0);
    EXPECT_EQ(world::open_files(), files_before) << "the status file left open";
    dup2(stdin_copy, 0);
    close(stdin_copy);
    EXPECT_EQ(world::read("/tmp/events/distatus"), "1\nrest");
    testing::internal::CaptureStdout();
    EXPECT_EQ(append_warn(di), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "write error No space left on device\n");
    // The directory held is the mount's.
    reset_daemon_state();
    EXPECT_EQ(world::run("umount /tmp/events"), 0);
}

// Someone who puts a directory of theirs back whenever the daemon makes its own.
bool put_back;
extern "C" int mkdir(const char *path, mode_t mode)
{
    if (put_back && strcmp(path, "/tmp/events") == 0)
        system("mkdir /tmp/theirs && chown 65534 /tmp/theirs && mv -T /tmp/theirs /tmp/events");
    return static_cast<int>(syscall(SYS_mkdirat, AT_FDCWD, path, mode));
}

TEST(EventDirectory, TheDaemonsOwnIsUsedAsFoundNeverMovedAsideAnythingElseMovedAsideUntouchedOrElseNotUsed)
{
    const char *moved = "moved /tmp/events aside to /tmp/events.", *refused = "open /tmp/events failed Operation not permitted\n";
    const struct { const char *setup; bool put_back, used; const char *printed, *found; } cases[] = {
        {"mkdir -m 777 $E", false, true, "", "0\n"},
        {"mkdir -p /run/ev && ln -s /run/ev $E", false, true, "", "0\n"},
        {"mkdir $E && chown 65534 $E", false, true, moved, ""},
        {"ln -s /run/ev $E && chown -h 65534 $E", false, true, moved, ""},
        {"echo 0 >$E", false, true, moved, ""},
        // Not used when it cannot be moved: a mount point, no inode in /tmp, one put back at every try.
        {"mkdir $E && echo 0 >$E/distatus && mount -t tmpfs -o uid=65534 none $E", false, false,
         "move /tmp/events aside failed Device or resource busy\n", "0\n"},
        {"mkdir $E && echo 0 >$E/distatus && chown -R 65534 $E && mount -o remount,nr_inodes=$(($(df --output=iused "
         "/tmp | tail -n1) + 1)) /tmp && : >/tmp/fill", false, false, "move /tmp/events aside failed No space left on "
         "device\n", "0\n"},
        {":", true, false, "mkdir /tmp/events failed File exists\n", ""},
        // The daemon's own, not usable now, stays where it is.
        {"ln -s /run/unmounted/ev $E", false, false, "open /tmp/events failed No such file or directory\n", ""},
        // A link along a way another user could change is not followed.
        {"mkdir -p /run/u/ev && chown 65534 /run/u && ln -s /run/u/ev $E", false, false, refused, "0\n"},
        {"mkdir -p /run/w/ev && chmod 777 /run/w && ln -s /run/w/ev $E", false, false, refused, "0\n"},
        {"mkdir -p /run/ev && chown 65534 /run/ev && ln -s /run/ev $E", false, false, refused, "0\n"},
    };
    for (const auto &c : cases) {
        world::fresh();
        testing::internal::CaptureStdout();
        ASSERT_EQ(world::run(std::string("E=/tmp/events; rm -rf /run/ev /run/u /run/w; mv $E /tmp/old; ") + c.setup
                             + "; [ -d $E ] && echo 0 >$E/distatus; true"), 0);
        put_back = c.put_back;
        const bool first = taken();
        const directory_check again = check_events_directory();
        const bool used = first && again == directory_kept;
        put_back = false;
        prepare_tables();
        const std::string printed = testing::internal::GetCapturedStdout();
        const size_t at = printed.find(c.printed);
        EXPECT_EQ(used, c.used) << c.setup;
        EXPECT_TRUE(*c.printed ? at != std::string::npos && printed.find(c.printed, at + 1) == std::string::npos
                               : printed.empty()) << printed;
        EXPECT_EQ(printed.find("create file"), std::string::npos) << printed;
        EXPECT_EQ(world::run("ls -d /tmp/events.?????? >/dev/null 2>&1") == 0, printed.find("moved") != std::string::npos);
        EXPECT_EQ(world::read("/tmp/events/distatus"), c.found) << c.setup;
        EXPECT_EQ(world::read(tables::relay_table), c.used ? std::string(9, '\n') : "") << c.setup;
        system("umount /tmp/events; mount -o remount,nr_inodes=1m /tmp; rm -rf /tmp/fill /tmp/old /tmp/events*");
    }
}

TEST(EventDirectory, TheDaemonsOwnThatCannotBeOpenedNowIsTakenAtTheNextPassWithItsHistory)
{
    world::fresh();
    // Start-up says why it made none, as it always has.
    testing::internal::CaptureStdout();
    make_events_directory();
    ASSERT_EQ(world::run("rm -r /tmp/events"), 0);
    make_events_directory();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "mkdir /tmp/events failed File exists\n");
    world::write("/tmp/events/diwarn", "DI On\n");
    // Root's link to storage not mounted yet, then no descriptor left.
    ASSERT_EQ(world::run("mv /tmp/events /tmp/storage && ln -s /tmp/events.real /tmp/events"), 0);
    EXPECT_FALSE(taken());
    const long files_before = world::open_files();
    EXPECT_FALSE(taken());
    EXPECT_EQ(world::open_files(), files_before) << "a directory on the way left open";
    ASSERT_EQ(rename("/tmp/storage", "/tmp/events.real"), 0);
    rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit none = {0, limit.rlim_max};
    setrlimit(RLIMIT_NOFILE, &none);
    const bool without_descriptors = taken();
    setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_FALSE(without_descriptors);
    EXPECT_TRUE(taken());
    EXPECT_EQ(world::read("/tmp/events/diwarn"), "DI On\n");
    EXPECT_EQ(world::run("ls -d /tmp/events.?????? 2>/dev/null"), 2) << "moved aside";
    system("rm -rf /tmp/events /tmp/events.real");
}
