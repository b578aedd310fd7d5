// Decoding of single blocks, computed by hand from the DSP's integer rules.
#include <gtest/gtest.h>

#include "brr.h"

namespace snesbrr {
namespace {

// The first four samples of a block (header, nibbles a-d) from `h`, doubled.
std::vector<int> first_four(std::uint8_t header, int a, int b, int c, int d, History h = {})
{
    const std::uint8_t block[9] = {header, static_cast<std::uint8_t>((a & 15) << 4 | (b & 15)),
                                   static_cast<std::uint8_t>((c & 15) << 4 | (d & 15))};
    std::int16_t out[16];
    decode_block(block, h, out);
    return {out[0], out[1], out[2], out[3]};
}

TEST(BrrDecode, HeaderFields)
{
    const BlockHeader h = parse_header(0xC7);
    EXPECT_EQ(h.shift, 12);
    EXPECT_EQ(h.filter, 1);
    EXPECT_TRUE(h.loop && h.end);
    EXPECT_EQ(make_header(3, 2, false, true), 0x39);
}

TEST(BrrDecode, SignedNibblesAtShifts0And12And13To15)
{
    // (n << 0) >> 1 rounds down: 7 -> 3, -1 -> -1, -8 -> -4, 1 -> 0.
    EXPECT_EQ(first_four(0x00, 7, -1, -8, 1), (std::vector<int>{6, -2, -8, 0}));
    EXPECT_EQ(first_four(0xC0, 7, -8, 1, 0), (std::vector<int>{28672, -32768, 4096, 0}));
    // Out-of-range shifts: -2048 for a negative nibble, else 0.
    EXPECT_EQ(first_four(0xD0, 5, -1, -8, 7), (std::vector<int>{0, -4096, -4096, 0}));
    EXPECT_EQ(first_four(0xF0, 5, -1, -8, 7), (std::vector<int>{0, -4096, -4096, 0}));
}

TEST(BrrDecode, FiltersInIntegerArithmetic)
{
    const History h{1000, 500};
    EXPECT_EQ(first_four(0x00, 0, 0, 0, 0, h)[0], 0);
    EXPECT_EQ(first_four(0x04, 0, 0, 0, 0, h)[0], 2 * 937); // 1000 + floor(-1000 / 16)
    EXPECT_EQ(first_four(0x08, 0, 0, 0, 0, h)[0],
              2 * 1437); // 2000 + floor(-3000 / 32) - 500 + floor(500 / 16)
    EXPECT_EQ(first_four(0x0C, 0, 0, 0, 0, h)[0],
              2 * 1389); // 2000 + floor(-13000 / 64) - 500 + floor(1500 / 16)
    // Filter 1 from -1000 rounds toward minus infinity too; history moves on.
    History negative{-1000, 0};
    EXPECT_EQ(decode_nibble(0, 0, 1, negative), -938);
    EXPECT_EQ(negative.older, -1000);
    // Filter 2 feeds the block's own samples back: 4, then 8 - 1 = 7,
    // 14 - 1 - 4 = 9, 18 - 1 - 7 = 10 (15-bit), from one step of 4.
    EXPECT_EQ(first_four(0x28, 2, 0, 0, 0), (std::vector<int>{8, 14, 18, 20}));
}

TEST(BrrDecode, ClampsToSixteenBitsThenWrapsToFifteen)
{
    // 15000 + 14336 = 29336 fits 16 bits but not 15: wraps to -3432.
    History h{16000, 0};
    EXPECT_EQ(decode_nibble(7, 12, 1, h), 29336 - 32768);
    // 45500 + 14336 clamps to 32767, whose low 15 bits read as -1.
    h = History{16000, -16000};
    EXPECT_EQ(decode_nibble(7, 12, 2, h), -1);
    // -46592 - 16384 clamps to -32768, which wraps to 0.
    h = History{-16384, 16383};
    EXPECT_EQ(decode_nibble(-8, 12, 2, h), 0);
}

TEST(BrrDecode, StopsAfterEndFlagAndRefusesCutBlocks)
{
    std::vector<std::uint8_t> data(9 * 3 + 4, 0);
    data[9] = 0x01; // block 1 ends the sample; the cut block after it is never read
    std::size_t blocks = 0;
    EXPECT_EQ(count_blocks(data.data(), data.size(), blocks), Status::Ok);
    EXPECT_EQ(blocks, 2u);
    data[9] = 0;
    EXPECT_EQ(count_blocks(data.data(), data.size(), blocks), Status::PartialBlock);
    std::vector<std::int16_t> out;
    EXPECT_EQ(decode_all(data.data(), 27, out), Status::Ok);
    EXPECT_EQ(out.size(), 48u);
}

} // namespace
} // namespace snesbrr
