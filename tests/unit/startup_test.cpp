// The daemon's start-up, in-process and as its own process: outside the twin
// the detached daemon waits for register 16 for ever, with the device open.
#include <csignal>
#include <fcntl.h>
#include <sys/time.h>

#include "tests/unit/world.h"
#include "watcher/main_loop.h"
#include "watcher/startup.h"

// The fork refused, or another refusal if told to leave its directory or output; the binary has libc's.
extern "C" int daemon(int nochdir, int noclose) { errno = nochdir && noclose ? EAGAIN : EINVAL; return -1; }

TEST(Startup, EndsWith255WithoutTheInterruptDeviceElseHoldsItSynchronousAndApartFromCommandsAnd1IfNotDetached)
{
    EXPECT_EQ(world::run(LINEWATCH_BINARY " >/tmp/daemon.out"), 255);
    EXPECT_EQ(world::read("/tmp/daemon.out"), "open device:/dev/cpldirq failed No such file or directory\n");
    EXPECT_TRUE(access("/tmp/events", F_OK) != 0 && access("/run/linewatch.lock", F_OK) != 0) << "made, no device";

    world::write("/dev/cpldirq", "");
    mkdir("/tmp/events", 0755);
    world::write("/tmp/events/relaytable.new-Ab3dE9", "half a record");
    world::write("/tmp/events/distatus.backup", "");
    umask(027);
    ASSERT_EQ(world::run(LINEWATCH_BINARY " >/tmp/daemon.out <&- 2>&-"), 0);
    struct stat status;
    EXPECT_TRUE(stat("/tmp/events/distatus", &status) == 0 && (status.st_mode & 07777) == 0640) << "as fopen makes it";
    EXPECT_EQ(world::read("/tmp/daemon.out"), "mkdir /tmp/events failed File exists\n");
    EXPECT_NE(access("/tmp/events/relaytable.new-Ab3dE9", F_OK), 0) << "a killed daemon's scratch file stays";
    EXPECT_EQ(access("/tmp/events/distatus.backup", F_OK), 0) << "a file not the daemon's is gone";
    ASSERT_EQ(system("for fd in /proc/[0-9]*/fd/[3-9]; do if [ \"$(readlink $fd)\" = /dev/cpldirq ]; then "
                     "p=${fd%/fd/*}; sed -n 's/^flags:\\t*//p' $p/fdinfo/${fd##*/} >/tmp/flags; kill -9 ${p#/proc/}; "
                     "fi; done; flock /run/linewatch.lock true"), 0);
    // Octal: O_CLOEXEC 02000000, O_DSYNC 010000, O_RDWR 2.
    EXPECT_EQ(std::stoul("0" + world::read("/tmp/flags"), nullptr, 8) & 02010003, 02010002u);
    // Staying in the foreground, it would be the process its starter waits for.
    EXPECT_EXIT(exit(freopen("/dev/null", "w", stdout) ? run_daemon(false) : 2), testing::ExitedWithCode(1), "");
}

TEST(Startup, ShedsWhatTheStarterLeftAndEndsWhenDetachingFailsElseNamesItsProcess)
{
    const int signals[] = {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGALRM, SIGVTALRM, SIGPROF};
    for (const int number : signals)
        signal(number, SIG_IGN);
    itimerval timer = {{1, 0}, {1, 0}};
    for (const int which : {ITIMER_REAL, ITIMER_VIRTUAL, ITIMER_PROF})
        setitimer(which, &timer, nullptr);
    const int inherited = dup(1);
    shed_inherited_state();
    for (const int which : {ITIMER_REAL, ITIMER_VIRTUAL, ITIMER_PROF})
        EXPECT_TRUE(getitimer(which, &timer) == 0 && timer.it_value.tv_sec + timer.it_value.tv_usec == 0) << which;
    for (const int number : signals)
        EXPECT_EQ(signal(number, SIG_DFL), SIG_DFL) << number;
    EXPECT_EQ(fcntl(inherited, F_GETFD), FD_CLOEXEC);

    testing::internal::CaptureStdout();
    EXPECT_EQ(detach(false), -1);
    world::write("/run/linewatch.pid.new-Ab3dE9", "1\n");
    EXPECT_EQ(detach(true), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "daemon failed Resource temporarily unavailable\n");
    EXPECT_EQ(world::read("/run/linewatch.pid"), std::to_string(getpid()) + "\n");
    EXPECT_NE(access("/run/linewatch.pid.new-Ab3dE9", F_OK), 0) << "a killed start's scratch file stays";
}
