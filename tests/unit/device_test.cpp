// Register bit helpers over the CPLD library.
#include <gtest/gtest.h>

#include "device/bits.h"
#include "tests/unit/fake_device.h"

namespace {

class BitHelpers : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(BitHelpers, IndexAboveSevenPrintsRangeMessageAndLeavesRegisterAlone)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(readbit(9, 8), -1);
    EXPECT_EQ(writebit(9, 8, 1), -1);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "readbit index should in the range <0-7>\n"
              "readbit index should in the range <0-7>\n");
    EXPECT_EQ(fake::device().reads, 0);
    EXPECT_TRUE(fake::device().writes.empty());
}

TEST_F(BitHelpers, ReadbitTakesOneBitOfTheLowByte)
{
    fake::device().registers[7] = 0xFF;
    for (uint8_t index = 0; index < 8; ++index)
        EXPECT_EQ(readbit(7, index), 1) << "index " << int(index);
    fake::device().registers[9] = 0x10;
    EXPECT_EQ(readbit(9, 4), 1);
    EXPECT_EQ(readbit(9, 3), 0);
    fake::device().read_fails[9] = true;
    EXPECT_EQ(readbit(9, 4), -1);
}

TEST_F(BitHelpers, SetClearBitWorksOnEightBits)
{
    EXPECT_EQ(set_clear_bit(0xFF, 3, 0), 0xF7);
    EXPECT_EQ(set_clear_bit(0x00, 7, 1), 0x80);
    EXPECT_EQ(set_clear_bit(0x5A, 2, 2), 0x5A);
}

TEST_F(BitHelpers, WritebitReadsModifiesAndWritesBack)
{
    auto &dev = fake::device();
    dev.registers[6] = 0x0F;
    EXPECT_EQ(writebit(6, 7, 1), 0);
    EXPECT_EQ(dev.registers[6], 0x8F);
    EXPECT_EQ(writebit(6, 0, 0), 0);
    EXPECT_EQ(dev.registers[6], 0x8E);
    // Any other operation writes the same value back.
    EXPECT_EQ(writebit(6, 1, 5), 0);
    ASSERT_EQ(dev.writes.size(), 3u);
    EXPECT_EQ(dev.writes.back(), std::make_pair(6, uint8_t{0x8E}));
}

TEST_F(BitHelpers, WritebitFailures)
{
    auto &dev = fake::device();
    dev.read_fails[6] = true;
    EXPECT_EQ(writebit(6, 1, 1), -1);
    EXPECT_TRUE(dev.writes.empty()) << "no write after a failed read";
    dev.read_fails[6] = false;
    dev.write_fails[6] = true;
    EXPECT_EQ(writebit(6, 1, 1), -1);
}

TEST_F(BitHelpers, LowestSetBit)
{
    EXPECT_EQ(lowest_set_bit(0x30), 4);
    EXPECT_EQ(lowest_set_bit(0x07), 0);
    EXPECT_EQ(lowest_set_bit(0xC0), 6);
    EXPECT_EQ(lowest_set_bit(0x80), 7);
    EXPECT_EQ(lowest_set_bit(0x00), 8) << "a zero mask must still return";
}

} // namespace
