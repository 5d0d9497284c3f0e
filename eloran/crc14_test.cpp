#include "eloran/crc14.h"

#include <gtest/gtest.h>

namespace corvane::eloran {
namespace {

// Bits 0..55 of W = sum d_i 2^(7i) for the first 8 data words d0..d7.
std::uint64_t messagebits(std::initializer_list<int> d) {
    std::uint64_t w = 0;
    int shift = 0;
    for (int v : d) {
        if (shift < 56) w |= static_cast<std::uint64_t>(v) << shift;
        shift += 7;
    }
    return w;
}

TEST(Crc14, PublishedVectors) {
    // UTC subtype 2 message with CRC 0x3c88 (d8 = 0x08, d9 = 0x79).
    EXPECT_EQ(crc14(messagebits({0x26, 0x44, 0x2f, 0x73, 0x1c, 0x00, 0x58, 0x01})), 0x3c88);
    // W = 0x3bc132ff8878b33d16: CRC in bits 56..69 = 0x3bc1.
    EXPECT_EQ(crc14(0x32ff8878b33d16ull), 0x3bc1);
    // d8 + 128 d9 of three received messages.
    EXPECT_EQ(crc14(messagebits({0x16, 0x27, 0x75, 0x23, 0x14, 0x05, 0x29, 0x19})), 0x7b + 128 * 0x5d);
    EXPECT_EQ(crc14(messagebits({0x54, 0x44, 0x0e, 0x45, 0x09, 0x4b, 0x02, 0x7f})), 0x47 + 128 * 0x2a);
    EXPECT_EQ(crc14(messagebits({0x54, 0x44, 0x0e, 0x0b, 0x6f, 0x59, 0x2e, 0x10})), 0x01 + 128 * 0x2a);
}

TEST(Crc14, LinearOverBitsAndBlindAboveBit55) {
    // x^14 * x^0 mod G: the generator without its x^14 term.
    EXPECT_EQ(crc14(1), 0x20b1);
    EXPECT_EQ(crc14(0), 0);
    EXPECT_EQ(crc14(0xff00000000000000ull), 0);
    // Any single flipped bit changes the CRC.
    const std::uint64_t base = 0x32ff8878b33d16ull;
    for (int j = 0; j < 56; ++j) EXPECT_NE(crc14(base ^ (1ull << j)), 0x3bc1) << j;
}

}  // namespace
}  // namespace corvane::eloran
