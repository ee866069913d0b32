// Commands run through the shell, each within its time limit.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/wait.h>

#include "common/command.h"
#include "tests/unit/sandbox_world.h"

namespace {

// Whether a process is gone or only waits to be reaped.
bool ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    for (int i = 0; i < 3 && stat >> field; ++i) {
    }
    return !stat || field == "Z";
}

TEST(Command, ReturnsTheShellsWaitStatus)
{
    EXPECT_EQ(run_command("true"), 0);
    const int status = run_command("exit 3");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(WEXITSTATUS(run_command("/usr/sbin/no-such-command 2>/dev/null")), 127);
    EXPECT_EQ(run_command("test \"$0 $1\" = 'sh '"), 0) << "runs as sh -c, like system()";
}

TEST(Command, CommandsGetTheDefaultSigpipeTheDaemonIgnores)
{
    const auto previous = signal(SIGPIPE, SIG_IGN);
    // SIGPIPE is signal 13: bit 0x1000 of the shell's ignored set.
    EXPECT_EQ(run_command("test $(( 0x$(sed -n 's/^SigIgn:\\s*//p' /proc/$$/status) & 0x1000 )) -eq 0"), 0);
    signal(SIGPIPE, previous);
}

TEST(Command, KillsACommandAndItsChildrenAtTheTimeLimit)
{
    world::write_file("/tmp/background", "");
    const auto start = std::chrono::steady_clock::now();
    const int status = run_command_within("sleep 60 & echo $! >/tmp/background; sleep 60", 300);
    const auto took = std::chrono::steady_clock::now() - start;

    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::seconds(10));
    const pid_t background = std::stoi(world::read_file("/tmp/background"));
    // The group got SIGKILL at once; give the kernel a moment to tear it down.
    for (int i = 0; i < 100 && !ended(background); ++i)
        usleep(10000);
    EXPECT_TRUE(ended(background)) << "the command's own child outlived it";
}

TEST(Command, ReturnsAsSoonAsTheCommandEnds)
{
    // Woken by the child's exit, not by the time limit.
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(run_command_within("sleep 0.1", 20000), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

} // namespace
