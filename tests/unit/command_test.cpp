// Commands run through the shell, each within its time limit.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <utility>

#include "common/command.h"

// A signal may cut a blocking wait short: the next one is, once asked to be.
bool interrupt_next_wait = false;
extern "C" pid_t waitpid(pid_t pid, int *status, int options)
{
    const bool interrupted = options == 0 && std::exchange(interrupt_next_wait, false);
    return interrupted ? (errno = EINTR, -1) : wait4(pid, status, options, nullptr);
}

TEST(Command, EachGetsItsOwnSigpipeAndIsKilledWithItsChildrenAndNamedAtTheBuildsLimitButNotWaitedFor)
{
    EXPECT_EQ(run_command("exit 3"), 3 << 8);
    // The limit the library was built with: a test build's, or the minute.
    const auto started = std::chrono::steady_clock::now();
    // Killed, it is still waited for when a signal cuts that wait short.
    interrupt_next_wait = true;
    const int hung = run_command("exec sleep 600");
    const auto took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(WIFSIGNALED(hung) && WTERMSIG(hung) == SIGKILL) << hung;
    EXPECT_FALSE(interrupt_next_wait);
    EXPECT_GE(took, command_time_limit_ms);
    EXPECT_LT(took, 2LL * command_time_limit_ms) << "killed long after the limit";
    // The daemon ignores SIGPIPE (13, bit 0x1000 of SigIgn); its commands must not.
    signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(run_command("test $(( 0x$(sed -n 's/^SigIgn:\\s*//p' /proc/$$/status) & 0x1000 )) -eq 0"), 0);
    // Orphans become this process's children, so that their end can be awaited.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    testing::internal::CaptureStdout();
    const int status = run_command_within("sleep 60 & sleep 60", 200);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "command sleep 60 & sleep 60 killed after 200 ms\n");
    for (int orphan; waitpid(-1, &orphan, 0) > 0;)
        EXPECT_TRUE(WIFSIGNALED(orphan)) << "a child of the command outlived it";
    // Waited out, this limit would be 49 days: the test's own time limit fails it.
    EXPECT_EQ(run_command_within("true", UINT_MAX), 0);
}
