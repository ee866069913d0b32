// Single bits of CPLD registers, and I2C registers through the i2cget and i2cset
// stubs: a device at address 9 on bus 0.
#include "device/bits.h"
#include "device/i2c.h"
#include "tests/unit/world.h"

TEST(Bits, OneBitIsReadOrChangedAndTheRegisterWrittenBackOrFound)
{
    world::registers[7] = 0xA5;
    for (uint8_t index = 0; index < 8; ++index)
        EXPECT_EQ(readbit(7, index), 0xA5 >> index & 1) << int(index);
    // Operation 1 sets, 0 clears, any other leaves the bit.
    const int writes[][3] = {{7, 1, 0x8F}, {0, 0, 0x8E}, {3, 1, 0x8E}, {1, 5, 0x8E}};
    world::registers[6] = 0x0F;
    for (const auto &[index, operation, after] : writes) {
        EXPECT_EQ(writebit(6, uint8_t(index), uint8_t(operation)), 0);
        EXPECT_EQ(world::registers[6], after) << index << " " << operation;
    }
    // An index above 7 leaves the register alone, with the reader's message,
    // and a value as it is, without.
    testing::internal::CaptureStdout();
    EXPECT_EQ(readbit(7, 8), -1);
    EXPECT_EQ(writebit(7, 8, 1), -1);
    EXPECT_EQ(set_clear_bit(0x5A, 32, 1), 0x5A);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "readbit index should in the range <0-7>\n"
                                                      "readbit index should in the range <0-7>\n");
    EXPECT_EQ(world::registers[7], 0xA5);
    world::registers[7] = -1;
    EXPECT_EQ(readbit(7, 0), -1);
    EXPECT_EQ(writebit(7, 1, 1), -1);
    EXPECT_EQ(world::registers[7], -1) << "written after a failed read";
    EXPECT_EQ(writebit(0xF0, 1, 1), -1) << "a failed write";
    // A mask's lowest set bit; a mask of none, the index past the byte.
    for (const auto &[mask, index] : {std::pair{0x30, 4}, {0x07, 0}, {0xC0, 6}, {0x80, 7}, {0x00, 8}})
        EXPECT_EQ(lowest_set_bit(uint8_t(mask)), index) << mask;
}

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
