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

const std::string table = tables::trap_table;

std::string records(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "record " + std::to_string(i) + "\n";
    return text;
}

bool taken() { return check_events_directory() != directory_none; }

// What `stat -c FORMAT` says of `path`.
std::string stat_of(const std::string &format, const std::string &path)
{
    world::run("stat -c '" + format + "' " + path + " >/tmp/stat.out 2>&1");
    return world::read("/tmp/stat.out");
}

} // namespace

TEST(Tables, ATableOfThirtyLinesAnUnfinishedOneCountedLosesItsFirstToReplacementWholeOrNotAtAll)
{
    world::fresh();
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
        EXPECT_EQ(append_capped(table.c_str(), "new"), 0);
        EXPECT_EQ(world::read(table), after);
    }
    EXPECT_EQ(world::open_files(), files_before) << "a table left open";
    dup2(stdin_copy, 0);
    close(stdin_copy);
    testing::internal::CaptureStdout();
    EXPECT_EQ(count_lines("/tmp/events/missing"), -1);
    EXPECT_EQ(drop_first_line("/tmp/events/missing"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open No such file or directory error\n");
}

TEST(Tables, ARelayLineIsEditedInProcessByteForByteAsSedEditsIt)
{
    const struct { const char *name; std::string before; int line; const char *text; } cases[] = {
        {"blank table", std::string(9, '\n'), 3, "Power2 On"},
        {"emptied", "a\nDI On\nc\n", 2, ""},
        {"no final newline", "a\nb\nlast", 3, "Dsr1 Off"},
        {"NUL bytes", std::string("a\0b\nc\0\n", 7), 1, "DI On"},
        {"more than nine lines", records(1, 12), 10, "Port_2 Link_up"},
        {"text sed would misread", "a\nb\n", 1, "x/;e touch /tmp/pwned;s/'\\&"},
    };
    for (const auto &c : cases) {
        world::fresh();
        world::write(tables::relay_table, c.before);
        world::write("/tmp/sed.copy", c.before);
        ASSERT_EQ(world::run("chmod 640 /tmp/events/relaytable && chgrp 5 /tmp/events/relaytable"), 0);
        EXPECT_EQ(replace_line(tables::relay_table, c.line, c.text), 0) << c.name;
        // sed's own text is escaped here; the table's edit takes it as it is.
        std::string escaped;
        for (const char *t = c.text; *t != '\0'; ++t)
            escaped += std::string(strchr("/\\&", *t) != nullptr ? "\\" : "") + (*t == '\'' ? "'\\''" : std::string(1, *t));
        ASSERT_EQ(world::run("LC_ALL=C sed -i '" + std::to_string(c.line) + "s/.*/" + escaped + "/' /tmp/sed.copy"), 0);
        EXPECT_EQ(world::read(tables::relay_table), world::read("/tmp/sed.copy")) << c.name;
        EXPECT_EQ(stat_of("%a %g %h", tables::relay_table), "640 5 1\n") << c.name;
    }
    EXPECT_NE(access("/tmp/pwned", F_OK), 0);
    // A line the table does not have is no edit.
    const struct { std::string before; int line; } short_tables[] = {{"", 1}, {"a\n", 2}, {"a\nb", 3}, {"a\n", 0}};
    for (const auto &[before, line] : short_tables) {
        world::write(tables::relay_table, before);
        EXPECT_EQ(replace_line(tables::relay_table, line, "x"), -1) << line;
        EXPECT_EQ(world::read(tables::relay_table), before);
    }
}

TEST(Tables, ARelayTableShortOfTheLineOrNotTheDaemonsOwnFileIsWrittenWholeFromTheHeldLines)
{
    const struct { const char *setup; int result; const char *relay, *victim; } cases[] = {
        {": >$R", 0, "DI On\n\nPower1 On\n\n\n\n\n\n\n", "keep\n"},
        {"rm $R", 0, "DI On\n\nPower1 On\n\n\n\n\n\n\n", "keep\n"},
        // The other name keeps its file.
        {"ln -f /tmp/victim $R", 0, "DI On\n\nPower1 On\n\n\n\n\n\n\n", "keep\n"},
        // Never waited on, never written through.
        {"rm $R && mkfifo $R", -1, "", "keep\n"},
        {"ln -sf /tmp/victim $R", -1, "keep\n", "keep\n"},
    };
    for (const auto &c : cases) {
        world::fresh();
        world::write("/tmp/victim", "keep\n");
        set_relay_line(source_pwr2, "Power1 On");
        ASSERT_EQ(world::run(std::string("R=/tmp/events/relaytable; ") + c.setup), 0);
        EXPECT_EQ(set_relay_line(source_di, "DI On"), c.result) << c.setup;
        if (*c.relay != '\0')
            EXPECT_EQ(world::read(tables::relay_table), c.relay) << c.setup;
        EXPECT_EQ(world::read("/tmp/victim"), c.victim) << c.setup;
    }
}

// Someone who renames a link onto a file of the daemon's between the read
// that checks it and the write that replaces it: at the next fclose.
const char *swap_in;
extern "C" int fclose(FILE *stream)
{
    static const auto real = reinterpret_cast<int (*)(FILE *)>(dlsym(RTLD_NEXT, "fclose"));
    if (swap_in != nullptr) {
        const std::string command = std::string("ln -s /tmp/victim /tmp/events/swap && mv /tmp/events/swap ") + swap_in;
        swap_in = nullptr;
        if (system(command.c_str()) != 0)
            abort();
    }
    return real(stream);
}

TEST(Tables, ALinkSwappedInAfterTheCheckIsReplacedNeverFollowed)
{
    world::fresh();
    world::write("/tmp/victim", "root:x:0:0\nkeep\n");
    swap_in = tables::relay_table;
    EXPECT_EQ(set_relay_line(source_dcd1, "Dcd1 On"), 0);
    swap_in = nullptr;
    EXPECT_EQ(world::read("/tmp/victim"), "root:x:0:0\nkeep\n");
    EXPECT_EQ(stat_of("%F", tables::relay_table), "regular file\n");
    EXPECT_EQ(world::read(tables::relay_table), "\n\n\nDcd1 On\n\n\n\n\n\n");
}

TEST(Tables, AWarnFileOrTableWithASecondNameStartsAnewTheOtherNameKeepingItsFile)
{
    world::fresh();
    world::write("/tmp/victim", "keep\n");
    for (const char *name : {"diwarn", "traptable"})
        ASSERT_EQ(world::run(std::string("ln -f /tmp/victim /tmp/events/") + name), 0);
    event_source di = initial_sources[source_di];
    di.state = 1;
    EXPECT_EQ(append_warn(di), 0);
    EXPECT_EQ(append_capped(tables::trap_table, "DI On##Success"), 0);
    EXPECT_EQ(world::read("/tmp/victim"), "keep\n");
    EXPECT_EQ(world::read("/tmp/events/diwarn"), "DI On\n");
    EXPECT_EQ(world::read(tables::trap_table), "DI On##Success\n");
    EXPECT_EQ(stat_of("%h", "/tmp/events/diwarn /tmp/events/traptable"), "1\n1\n");
}

void bind_socket(const char *path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);
}

TEST(StatusFiles, ARecordLostAfterTheDaemonRecordedOneIsJudgedAgainstMemoryAndTheFileReplaced)
{
    // The setup runs after the daemon recorded 0; the input then reads 1.
    const struct { const char *setup; bool socket; } cases[] = {
        {"rm $S", false},           {"ln $S /tmp/other", false}, {"ln -sf /tmp/victim $S", false},
        {"rm $S && mkfifo $S", false}, {"echo x >$S", false},   {"echo 0 >$S && chown 65534 $S", false},
        {"rm $S", true},
    };
    for (const auto &c : cases) {
        world::fresh();
        world::write("/tmp/victim", "keep\n");
        event_source di = initial_sources[source_di];
        detect_change(di);
        ASSERT_EQ(world::run(std::string("S=/tmp/events/distatus; rm -f /tmp/other; ") + c.setup), 0);
        if (c.socket)
            bind_socket("/tmp/events/distatus");
        di.state = 1;
        for (int pass = 0; pass < 2; ++pass) {
            save_pending_states(&di, 1);
            detect_change(di);
        }
        EXPECT_EQ(world::commands(), "ledcontrol\tdi\ton\n") << c.setup << c.socket;
        EXPECT_EQ(world::read("/tmp/events/diwarn"), "DI On\n") << c.setup << c.socket;
        EXPECT_EQ(stat_of("%F %h %s", "/tmp/events/distatus"), "regular file 1 2\n") << c.setup << c.socket;
        EXPECT_EQ(world::read("/tmp/events/distatus"), "1\n") << c.setup << c.socket;
        EXPECT_EQ(world::read("/tmp/victim"), "keep\n");
    }
    // At first sight, a socket holds no record either: replaced, unreported.
    world::fresh();
    bind_socket("/tmp/events/distatus");
    event_source di = initial_sources[source_di];
    di.state = 1;
    detect_change(di);
    EXPECT_EQ(world::commands(), "");
    EXPECT_EQ(world::read("/tmp/events/distatus"), "1\n");
}

TEST(StatusFiles, OnAFullFileSystemTheStatusFileTakesItsTwoBytesInPlace)
{
    world::fresh();
    // Room for the directory, the status file and one more: then none.
    ASSERT_EQ(world::run("mount -t tmpfs -o nr_inodes=3 none /tmp/events && printf '0\\nrest' >/tmp/events/distatus"
                         " && : >/tmp/events/fill"), 0);
    ASSERT_TRUE(taken());
    event_source di = initial_sources[source_di];
    di.state = 1;
    const long files_before = world::open_files();
    testing::internal::CaptureStdout();
    EXPECT_EQ(write_status(di), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(world::open_files(), files_before) << "the status file left open";
    EXPECT_EQ(world::read("/tmp/events/distatus"), "1\nrest");
    // Nothing pending: the state is not written again.
    ASSERT_EQ(world::run("echo 0 >/tmp/events/distatus"), 0);
    save_pending_states(&di, 1);
    EXPECT_EQ(world::read("/tmp/events/distatus"), "0\n");
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
        // The daemon's own, not usable now: left where it is, with one line.
        {"ln -s /run/unmounted/ev $E", false, false, "open /tmp/events failed No such file or directory\n", ""},
        // A link along a way another user could change leads nowhere the daemon goes.
        {"mkdir -p /run/u/ev && chown 65534 /run/u && ln -s /run/u/ev $E", false, false,
         "open /tmp/events failed Operation not permitted\n", "0\n"},
        {"mkdir -p /run/w/ev && chmod 777 /run/w && ln -s /run/w/ev $E", false, false,
         "open /tmp/events failed Operation not permitted\n", "0\n"},
        {"mkdir -p /run/ev && chown 65534 /run/ev && ln -s /run/ev $E", false, false,
         "open /tmp/events failed Operation not permitted\n", "0\n"},
    };
    for (const auto &c : cases) {
        world::fresh();
        testing::internal::CaptureStdout();
        ASSERT_EQ(world::run(std::string("E=/tmp/events; rm -rf /run/ev /run/u /run/w; mv $E /tmp/old; ") + c.setup
                             + "; [ -d $E ] && echo 0 >$E/distatus; true"), 0);
        put_back = c.put_back;
        const bool first = taken();
        const bool used = first & taken();
        put_back = false;
        prepare_tables();
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

TEST(EventDirectory, TheDaemonsOwnThatCannotBeOpenedNowIsTakenAtTheNextPassWithItsHistory)
{
    world::fresh();
    world::write("/tmp/events/diwarn", "DI On\n");
    ASSERT_EQ(world::run("mv /tmp/events /tmp/events.real"), 0);
    // The storage not mounted yet, then no descriptor left.
    ASSERT_EQ(symlink("/tmp/events.real", "/tmp/events"), 0);
    ASSERT_EQ(rename("/tmp/events.real", "/tmp/storage"), 0);
    EXPECT_FALSE(taken());
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
