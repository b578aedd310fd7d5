// One voice's timeline: interpolation points, first audible sample, silencing.
#include <gtest/gtest.h>

#include <fstream>

#include "brr.h"
#include "gauss_table.h"
#include "test_util.h"
#include "voice.h"

namespace snesbrr {
namespace {

// `blocks` silent blocks with filter 0 shift 12; `end_header` on the last.
std::vector<std::uint8_t> silent_sample(int blocks, std::uint8_t end_header = 0x01)
{
    std::vector<std::uint8_t> data(9 * blocks, 0);
    for (int b = 0; b < blocks; ++b)
        data[9 * b] = 0xC0;
    data[9 * (blocks - 1)] = static_cast<std::uint8_t>(0xC0 | end_header);
    return data;
}

// Sets sample `index` (of block 0..) to nibble `nibble` at shift 12 (x 4096).
void set_nibble(std::vector<std::uint8_t> &data, int index, int nibble)
{
    std::uint8_t &byte = data[9 * (index / 16) + 1 + (index % 16) / 2];
    const int bits = (nibble & 0xF) << (index % 2 ? 0 : 4);
    byte = static_cast<std::uint8_t>((byte & (index % 2 ? 0xF0 : 0x0F)) | bits);
}

std::vector<std::int16_t> render(const std::vector<std::uint8_t> &data, int pitch)
{
    std::vector<std::int16_t> out;
    EXPECT_EQ(render_voice(data.data(), data.size(), pitch, out), Status::Ok);
    return out;
}

TEST(GaussTable, MatchesTheHardwareTableFile)
{
    std::ifstream file(SNESBRR_GAUSS_FILE);
    if (!file)
        GTEST_SKIP() << "hardware table file not found at " << SNESBRR_GAUSS_FILE;
    int value = 0, index = 0;
    while (file >> value) {
        ASSERT_LT(index, 512);
        EXPECT_EQ(kGaussTable[index], value) << "index " << index;
        ++index;
    }
    EXPECT_EQ(index, 512);
}

TEST(Interpolate, WeightsAndTheSixteenBitWrap)
{
    const std::int16_t flat[4] = {4096, 4096, 4096, 4096};
    // Offset 0 weighs 370, 1305, 374, 0: a sum of 2049/2048.
    EXPECT_EQ(interpolate(flat, 0), 740 + 2610 + 748);
    const std::int16_t low[4] = {-32768, -32768, -32768, 0};
    // -16 * 2049 = -32784 wraps to +32752: the hardware's click.
    EXPECT_EQ(interpolate(low, 0), 32752);
    EXPECT_TRUE(interpolation_overflows(-32768, -32768, -32768));
    EXPECT_TRUE(interpolation_overflows(32766, 32766, 32766));
    EXPECT_FALSE(interpolation_overflows(-32768, -32768, -30000));
    // The last tap is added after the wrap and clamped, then bit 0 cleared.
    // At offset 16 the weights are 311, 1298, 439, 1: 32764 + 15 clamps.
    const std::int16_t high[4] = {32766, 32766, 32766, 32766};
    EXPECT_EQ(interpolate(high, 16), 32766);
    const std::int16_t odd[4] = {0, 3, 0, 0};
    EXPECT_EQ(interpolate(odd, 0), 0); // (1305 * 3) >> 11 = 1, cleared to 0
}

TEST(Voice, FirstAudibleSampleIsCentredOnSampleOne)
{
    auto data = silent_sample(3);
    set_nibble(data, 1, 1); // an impulse of 4096 at source sample 1
    const auto out = render(data, kUnityPitch);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], 2610); // 1305 * 4096 >> 11: no silent lead
    EXPECT_EQ(out[1], 740);  // the impulse is now the oldest tap
    EXPECT_EQ(out[2], 0);
}

TEST(Voice, InterpolatesBetweenSamplesAtOtherPitches)
{
    auto data = silent_sample(3);
    set_nibble(data, 1, 1);
    // Half speed: every other output sits half-way (offset 128).
    const auto half = render(data, 0x0800);
    ASSERT_GE(half.size(), 5u);
    EXPECT_EQ(half[0], 2610);
    EXPECT_EQ(half[1], 1930); // 965 * 4096 >> 11
    EXPECT_EQ(half[2], 740);
    EXPECT_EQ(half[3], 112); // 56 * 4096 >> 11
    EXPECT_EQ(half[4], 0);
    // Double speed skips every other source sample: impulse at 3 is heard
    // centred at output 1 (source 1 + 2).
    auto fast_data = silent_sample(3);
    set_nibble(fast_data, 3, -1);
    const auto fast = render(fast_data, 0x2000);
    ASSERT_GE(fast.size(), 3u);
    EXPECT_EQ(fast[0], 0);
    EXPECT_EQ(fast[1], -2610); // -1305 * 4096 / 2048
}

TEST(Voice, SilencedWhenTheDecoderReachesTheEndBlock)
{
    // The end block itself is never heard: with the end at block E the last
    // output is centred on source sample 16E - 10 at pitch 0x1000.
    EXPECT_TRUE(render(silent_sample(1), kUnityPitch).empty());
    EXPECT_EQ(render(silent_sample(2), kUnityPitch).size(), 6u);
    EXPECT_EQ(render(silent_sample(3), kUnityPitch).size(), 22u);
    EXPECT_EQ(render(silent_sample(3), kMaxPitch).size(), 8u);
    // Blocks after the end block are not part of the sample.
    auto longer = silent_sample(3);
    longer.insert(longer.end(), 9 * 4, 0);
    EXPECT_EQ(render(longer, kUnityPitch).size(), 22u);
}

TEST(Voice, LoopedOrUnterminatedSamplePlaysThroughItsLastBlock)
{
    // Centred on source samples 1..47 of three blocks.
    EXPECT_EQ(render(silent_sample(3, 0x03), kUnityPitch).size(), 47u);
    EXPECT_EQ(render(silent_sample(3, 0x00), kUnityPitch).size(), 47u);
    auto data = silent_sample(3, 0x03);
    set_nibble(data, 47, 1); // the very last sample is heard
    const auto out = render(data, kUnityPitch);
    EXPECT_EQ(out.back(), 2610);
}

TEST(Voice, LoopJumpsWithItsHistoryForTwoSecondsThenFades)
{
    // Block 1, the loop block, predicts from the history (filter 1), which the
    // jump from the end block carries over.
    auto data = silent_sample(3, 0x03);
    data[9] = 0xC4;
    for (int i = 0; i < 48; ++i)
        set_nibble(data, i, (i * 5) % 7 - 3);
    std::vector<std::int16_t> out;
    ASSERT_EQ(render_looped_voice(data.data(), data.size(), kUnityPitch, 1, out), Status::Ok);
    ASSERT_EQ(out.size(), kLoopRenderSamples);
    // At pitch 0x1000 output k interpolates source samples k..k+3 at offset 0.
    std::vector<std::int16_t> source;
    for (const auto &pass : test::decode_passes(data, 1, out.size() / 32 + 2))
        source.insert(source.end(), pass.begin(), pass.end());
    source.insert(source.begin(), 16, 0);
    History block0;
    decode_block(data.data(), block0, source.data());
    for (std::size_t k = 0; k + kLoopFadeSamples < out.size(); ++k)
        ASSERT_EQ(out[k], interpolate(&source[k], 0)) << k;
    EXPECT_EQ(out.back(), 0);

    // A first pass longer than two seconds is heard whole before the fade.
    auto long_data = silent_sample(4100, 0x03);
    set_nibble(long_data, 4100 * 16 - 2, 3);
    ASSERT_EQ(render_looped_voice(long_data.data(), long_data.size(), kUnityPitch, 4099, out),
              Status::Ok);
    EXPECT_EQ(out.size(), 4100 * 16 - 1 + kLoopFadeSamples);
    EXPECT_EQ(out[4100 * 16 - 3], 3 * 4096 * 1305 / 2048 / 2 * 2);
    // Pitch 0 never completes a pass: two seconds of the first samples.
    ASSERT_EQ(render_looped_voice(data.data(), data.size(), 0, 1, out), Status::Ok);
    EXPECT_EQ(out.size(), kLoopRenderSamples);
}

TEST(Voice, OutputIsCappedAtTenSeconds)
{
    auto data = silent_sample(2);
    set_nibble(data, 1, 2);
    const auto out = render(data, 0); // pitch 0 never moves
    ASSERT_EQ(out.size(), kMaxRenderSamples);
    EXPECT_EQ(out.front(), 5220);
    EXPECT_EQ(out.back(), 5220);
}

TEST(Voice, RefusesCutBlocksAndPlaysNothingForEmptyData)
{
    std::vector<std::uint8_t> data(13, 0);
    std::vector<std::int16_t> out;
    EXPECT_EQ(render_voice(data.data(), data.size(), kUnityPitch, out), Status::PartialBlock);
    EXPECT_EQ(render_voice(data.data(), 0, kUnityPitch, out), Status::Ok);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace snesbrr
