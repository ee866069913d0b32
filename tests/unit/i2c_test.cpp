// I2C register access through the i2cget and i2cset stubs, which serve a
// simulated device at address 9 on bus 0.
#include <gtest/gtest.h>

#include <glob.h>
#include <unistd.h>

#include "device/i2c.h"
#include "tests/unit/sandbox_world.h"

namespace {

size_t files_named_result()
{
    glob_t found{};
    glob("/tmp/result*", 0, nullptr, &found);
    const size_t count = found.gl_pathc;
    globfree(&found);
    return count;
}

class I2c : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(system("cd \"$LINEWATCH_SIM_DIR\" && rm -rf i2c exit/i2c* run/i2c*"), 0);
        world::take_commands();
    }
    // The stub prints `text` in place of the register and exits 0.
    static void tool_prints(const std::string &text) { world::set_action("i2cget", "printf '" + text + "'; exit 0"); }
};

TEST_F(I2c, ReadParsesTheToolsByteAndLeavesNoFileBehind)
{
    world::write_file("/tmp/victim", "keep");
    ASSERT_EQ(symlink("/tmp/victim", "/tmp/result"), 0);
    tool_prints("0xff\\n");
    EXPECT_EQ(i2c_read(3), 255);
    tool_prints("0x0000ff");
    EXPECT_EQ(i2c_read(3), 255) << "all eight bytes used";
    EXPECT_EQ(world::read_file("/tmp/victim"), "keep");
    unlink("/tmp/result");
    EXPECT_EQ(files_named_result(), 0u);
}

TEST_F(I2c, FailedToolOrAnswerWithoutAByteIsMinusOne)
{
    world::set_action("i2cget", "printf '0x12\\n'");
    world::set_exit("i2cget", 1);
    EXPECT_EQ(i2c_read(3), -1);
    world::set_exit("i2cset", 1);
    EXPECT_EQ(i2c_write(3, 1), -1);
    world::set_exit("i2cget", 0);
    // A longer answer, or one with a NUL in it, is no byte even where its
    // first eight bytes would read as one.
    for (const char *answer : {"", "Error: Read failed\\n", "0x1ff\\n", "0x", "0x000000ff\\n", "0x12\\000"}) {
        tool_prints(answer);
        EXPECT_EQ(i2c_read(3), -1) << answer;
    }
    EXPECT_EQ(files_named_result(), 0u);
}

TEST_F(I2c, WriteThenReadRoundTrip)
{
    EXPECT_EQ(i2c_read(0x20), 0) << "a register never written";
    EXPECT_EQ(i2c_write(0x20, 0x5a), 0);
    EXPECT_EQ(i2c_read(0x20), 0x5a);
    EXPECT_EQ(world::take_commands(),
              (std::vector<std::string>{"i2cget\t-f\t-y\t0\t9\t32\tb", "i2cset\t-f\t-y\t0\t9\t32\t90\tb",
                                        "i2cget\t-f\t-y\t0\t9\t32\tb"}));
}

} // namespace
