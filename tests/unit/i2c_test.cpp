// I2C registers through the i2cget and i2cset stubs: a device at address 9 on bus 0.
#include "device/i2c.h"
#include "tests/unit/world.h"

TEST(I2c, OnlyOneHexByteInAtMostEightIsAValueAndReadAndWriteLeaveNoFileBehind)
{
    const std::pair<std::string, int> answers[] = {
        {"0xff\n", 255}, {"0x0000ff", 255}, {" 0x7\t\n", 7}, {"", -1}, {"Error: Read failed\n", -1},
        {"0x1ff\n", -1}, {"0x", -1}, {"0x00000ff", -1}, {std::string("0x12\0", 5), -1}, {"0x12 x", -1}};
    for (const auto &[answer, value] : answers)
        EXPECT_EQ(i2c_parse_result(answer.data(), answer.size()), value) << answer;
    world::fresh();
    // A caller with standard input closed: the result file may be descriptor 0.
    close(0);
    // A link planted where a fixed result file name would be.
    world::write("/tmp/victim", "keep");
    ASSERT_EQ(symlink("/tmp/victim", "/tmp/result"), 0);
    EXPECT_EQ(i2c_read(0x20), 0) << "a register never written";
    EXPECT_EQ(i2c_write(0x20, 0x5a), 0);
    EXPECT_EQ(i2c_read(0x20), 0x5a);
    EXPECT_EQ(world::commands(),
              "i2cget\t-f\t-y\t0\t9\t32\tb\ni2cset\t-f\t-y\t0\t9\t32\t90\tb\ni2cget\t-f\t-y\t0\t9\t32\tb\n");
    // A failed tool's answer is no value, nor is one cut to a byte's length.
    world::stub("i2cget", 1, "printf '0x12\\n'");
    EXPECT_EQ(i2c_read(3), -1);
    world::stub("i2cget", 0, "printf '0x0000ff00'; exit 0");
    EXPECT_EQ(i2c_read(3), -1);
    world::stub("i2cset", 1);
    EXPECT_EQ(i2c_write(3, 1), -1);
    EXPECT_EQ(world::read("/tmp/victim"), "keep");
    unlink("/tmp/result");
    EXPECT_NE(system("ls /tmp | grep -q result"), 0);
}
