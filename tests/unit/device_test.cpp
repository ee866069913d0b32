// Single bits of CPLD registers.
#include "device/bits.h"
#include "tests/unit/world.h"

TEST(Bits, OneBitIsReadOrChangedAndTheRegisterWrittenBack)
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
    // An index above 7 leaves the register alone, with the reader's message.
    testing::internal::CaptureStdout();
    EXPECT_EQ(readbit(7, 8) + writebit(7, 8, 1), -2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "readbit index should in the range <0-7>\n"
                                                      "readbit index should in the range <0-7>\n");
    EXPECT_EQ(set_clear_bit(0x5A, 32, 1), 0x5A);
    world::registers[7] = -1;
    EXPECT_EQ(readbit(7, 0) + writebit(7, 1, 1) + writebit(0xF0, 1, 1), -3);
    EXPECT_EQ(world::registers[7], -1) << "written after a failed read";
}
