// The daemon's own start-up, run as a separate process inside the sandbox.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

#include "tests/unit/sandbox_world.h"

namespace {

TEST(Startup, MissingInterruptDeviceEndsWithStatus255AndTouchesNothing)
{
    ASSERT_FALSE(world::exists("/dev/cpldirq"));
    system("rm -rf /tmp/events");
    FILE *daemon_output = popen(LINEWATCH_BINARY, "r");
    ASSERT_NE(daemon_output, nullptr);
    char output[256] = {};
    const size_t got = fread(output, 1, sizeof output - 1, daemon_output);
    const int status = pclose(daemon_output);
    EXPECT_EQ(std::string(output, got), "open device:/dev/cpldirq failed No such file or directory\n");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_FALSE(world::exists("/tmp/events"));
}

} // namespace
