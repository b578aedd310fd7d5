// The WAV reader over every accepted variant and over broken files.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "test_util.h"
#include "wav.h"

namespace snesbrr {
namespace {

using namespace test;
using Samples = std::vector<std::int16_t>;

std::vector<std::uint8_t> with_data(const std::vector<std::uint8_t> &fmt,
                                    const std::vector<std::uint8_t> &data)
{
    std::vector<std::uint8_t> chunks;
    put_chunk(chunks, "fmt ", fmt);
    put_chunk(chunks, "data", data);
    return riff(chunks);
}

Status read(const std::vector<std::uint8_t> &file, MonoPcm &pcm)
{
    return read_wav(file.data(), file.size(), pcm);
}

Samples read_ok(const std::vector<std::uint8_t> &file)
{
    MonoPcm pcm;
    EXPECT_EQ(read(file, pcm), Status::Ok);
    return pcm.samples;
}

Status read_status(const std::vector<std::uint8_t> &file)
{
    MonoPcm pcm;
    return read(file, pcm);
}

template <typename T> std::vector<std::uint8_t> bytes_of(std::initializer_list<T> values)
{
    std::vector<std::uint8_t> out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.begin(), out.size()); // little-endian hosts only
    return out;
}

TEST(WavRead, EverySampleEncodingScalesTo16Bits)
{
    EXPECT_EQ(read_ok(with_data(fmt_body(1, 1, 8000, 8), {0x80, 0xFF, 0x00})),
              (Samples{0, 32512, -32768}));
    EXPECT_EQ(read_ok(wav16({1, -2, 32767, -32768})), (Samples{1, -2, 32767, -32768}));
    // 24 and 32 bits round to the nearest 16-bit value and clamp at full scale.
    EXPECT_EQ(read_ok(with_data(fmt_body(1, 1, 8000, 24),
                                {0x56, 0x34, 0x12, 0x81, 0x34, 0x12, 0xFF, 0xFF, 0x7F})),
              (Samples{0x1234, 0x1235, 32767}));
    EXPECT_EQ(read_ok(with_data(fmt_body(1, 1, 8000, 32),
                                bytes_of<std::int32_t>({0x1234C000, INT32_MIN}))),
              (Samples{0x1235, -32768}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(read_ok(with_data(fmt_body(3, 1, 8000, 32),
                                bytes_of<float>({0.5f, 1.0f, -1.0f, 2.0f, nan}))),
              (Samples{16384, 32767, -32768, 32767, 0}));
    EXPECT_EQ(read_ok(with_data(fmt_body(3, 1, 8000, 64), bytes_of<double>({-0.25}))),
              (Samples{-8192}));
    EXPECT_EQ(read_ok(with_data(extensible_body(1, 1, 8000, 16), {0xD2, 0x04})), (Samples{1234}));
    EXPECT_EQ(read_ok(with_data(extensible_body(3, 1, 8000, 32), bytes_of<float>({-0.5f}))),
              (Samples{-16384}));
}

TEST(WavRead, SampleRateKeptAndChannelsAveraged)
{
    MonoPcm pcm;
    ASSERT_EQ(read(with_data(fmt_body(1, 2, 11025, 16),
                             bytes_of<std::int16_t>({1000, 3000, -1, 0, 32767, 32767})),
                   pcm),
              Status::Ok);
    EXPECT_EQ(pcm.sample_rate, 11025u);
    EXPECT_EQ(pcm.samples, (Samples{2000, 0, 32767}));
    // Three channels in frames padded to 8 bytes by the block alignment.
    EXPECT_EQ(read_ok(with_data(fmt_body(1, 3, 8000, 16, 8),
                                bytes_of<std::int16_t>({300, 600, 900, 0x7777}))),
              (Samples{600}));
}

TEST(WavRead, ChunkWalkSkipsPadsAndReadsShortDataToTheEnd)
{
    std::vector<std::uint8_t> chunks;
    put_chunk(chunks, "LIST", {1, 2, 3}); // odd size: one pad byte follows
    put_chunk(chunks, "data", bytes_of<std::int16_t>({7, 8}));
    put_chunk(chunks, "smpl", std::vector<std::uint8_t>(37, 9));
    put_chunk(chunks, "fmt ", fmt_body(1, 1, 8000, 16));
    put_chunk(chunks, "cue ", {});
    EXPECT_EQ(read_ok(riff(chunks)), (Samples{7, 8}));

    // A data chunk claiming 2 GiB is read to the end; a half frame is dropped.
    auto file = wav16({5, 6, 7});
    const std::size_t size_at = file.size() - 6 - 4;
    file.insert(file.end(), {0, 0, 0, 0, 0x44});
    file[size_at + 3] = 0x7F;
    EXPECT_EQ(read_ok(file), (Samples{5, 6, 7, 0, 0}));
    EXPECT_TRUE(read_ok(wav16({})).empty());
}

// A "smpl" body: the fixed fields, `declared` loops, then `loops` (start, end) pairs.
std::vector<std::uint8_t> smpl_body(std::uint32_t declared,
                                    std::vector<std::pair<std::uint32_t, std::uint32_t>> loops)
{
    std::vector<std::uint8_t> b;
    for (int k = 0; k < 7; ++k)
        put32(b, 0);
    put32(b, declared);
    put32(b, 0);
    for (const auto &[start, end] : loops) {
        for (const std::uint32_t v : {0u, 0u, start, end, 0u, 0u})
            put32(b, v);
    }
    return b;
}

MonoPcm read_loop(const std::vector<std::uint8_t> &smpl, bool before_data)
{
    std::vector<std::uint8_t> chunks;
    put_chunk(chunks, "fmt ", fmt_body(1, 1, 8000, 16));
    if (before_data)
        put_chunk(chunks, "smpl", smpl);
    put_chunk(chunks, "data", bytes_of<std::int16_t>({1, 2, 3}));
    if (!before_data)
        put_chunk(chunks, "smpl", smpl);
    MonoPcm pcm;
    EXPECT_EQ(read(riff(chunks), pcm), Status::Ok);
    EXPECT_EQ(pcm.samples, (Samples{1, 2, 3}));
    return pcm;
}

TEST(WavRead, FirstSmplLoopBeforeOrAfterTheDataEndMadeExclusive)
{
    for (const bool before : {true, false}) {
        MonoPcm pcm = read_loop(smpl_body(2, {{5, 9}, {1, 2}}), before);
        EXPECT_TRUE(pcm.has_loop);
        EXPECT_EQ(pcm.loop_start, 5u);
        EXPECT_EQ(pcm.loop_end, 10u);
        EXPECT_FALSE(read_loop(smpl_body(0, {}), before).has_loop);
        // Damaged: two loops declared, one whole; then the first loop cut short.
        pcm = read_loop(smpl_body(2, {{7, 8}}), before);
        EXPECT_TRUE(pcm.has_loop);
        EXPECT_EQ(pcm.loop_end, 9u);
        auto cut = smpl_body(1, {{7, 8}});
        cut.resize(cut.size() - 4);
        EXPECT_FALSE(read_loop(cut, before).has_loop);
    }
    // The largest end the format can hold stays exclusive without wrapping.
    EXPECT_EQ(read_loop(smpl_body(1, {{0, 0xFFFFFFFFu}}), false).loop_end, 0x100000000u);
    // A chunk cut by the end of the file still gives a loop that is whole.
    auto file = wav16({4, 5});
    std::vector<std::uint8_t> smpl;
    put_chunk(smpl, "smpl", smpl_body(1, {{0, 1}}));
    smpl[4] = 200; // claims more than the file holds
    file.insert(file.end(), smpl.begin(), smpl.end());
    MonoPcm pcm;
    ASSERT_EQ(read(file, pcm), Status::Ok);
    EXPECT_TRUE(pcm.has_loop);
    EXPECT_EQ(pcm.loop_end, 2u);
}

TEST(WavRead, RefusesBrokenFiles)
{
    const std::vector<std::uint8_t> good = wav16({1, 2, 3, 4});
    const std::vector<std::uint8_t> d16 = {1, 0};
    for (std::size_t n = 0; n < 44; ++n) // every cut into the headers
        EXPECT_NE(read_status(std::vector<std::uint8_t>(good.begin(), good.begin() + n)),
                  Status::Ok)
            << n;
    auto avi = good;
    std::memcpy(avi.data() + 8, "AVI ", 4);
    EXPECT_EQ(read_status(avi), Status::NotRiffWave);

    std::vector<std::uint8_t> only_data, only_fmt, liar;
    put_chunk(only_data, "data", d16);
    EXPECT_EQ(read_status(riff(only_data)), Status::MissingFmt);
    put_chunk(only_fmt, "fmt ", fmt_body(1, 1, 8000, 16));
    EXPECT_EQ(read_status(riff(only_fmt)), Status::MissingData);
    // An unknown chunk claiming 4 GiB hides everything after it.
    put_id(liar, "JUNK");
    put32(liar, 0xFFFFFFFFu);
    liar.insert(liar.end(), good.begin() + 12, good.end());
    EXPECT_EQ(read_status(riff(liar)), Status::MissingFmt);

    auto short_fmt = fmt_body(1, 1, 8000, 16);
    short_fmt.resize(14);
    EXPECT_EQ(read_status(with_data(short_fmt, d16)), Status::TruncatedFmt);
    auto short_ext = extensible_body(1, 1, 8000, 16);
    short_ext.resize(30);
    EXPECT_EQ(read_status(with_data(short_ext, d16)), Status::TruncatedFmt);
    auto odd_guid = extensible_body(1, 1, 8000, 16);
    odd_guid[30] ^= 1;
    EXPECT_EQ(read_status(with_data(odd_guid, d16)), Status::UnsupportedFormat);
    EXPECT_EQ(read_status(with_data(extensible_body(2, 1, 8000, 16), d16)),
              Status::UnsupportedFormat);
    EXPECT_EQ(read_status(with_data(fmt_body(2, 1, 8000, 4), d16)),
              Status::UnsupportedFormat); // ADPCM
    EXPECT_EQ(read_status(with_data(fmt_body(1, 1, 8000, 12), d16)), Status::UnsupportedBits);
    EXPECT_EQ(read_status(with_data(fmt_body(3, 1, 8000, 16), d16)), Status::UnsupportedBits);
    EXPECT_EQ(read_status(with_data(fmt_body(1, 0, 8000, 16, 2), d16)), Status::BadChannels);
    EXPECT_EQ(read_status(with_data(fmt_body(1, 65, 8000, 16), d16)), Status::BadChannels);
    EXPECT_EQ(read_status(with_data(fmt_body(1, 1, 0, 16), d16)), Status::BadSampleRate);
    EXPECT_EQ(read_status(with_data(fmt_body(1, 2, 8000, 16, 2), d16)), Status::BadBlockAlign);
}

TEST(WavWrite, PlainHeaderThatReadsBack)
{
    const std::int16_t samples[] = {-2, 300};
    const auto file = write_wav(samples, 2, 32000);
    std::vector<std::uint8_t> expected;
    put_id(expected, "RIFF");
    put32(expected, 40);
    put_id(expected, "WAVE");
    put_chunk(expected, "fmt ", fmt_body(1, 1, 32000, 16));
    put_chunk(expected, "data", bytes_of<std::int16_t>({-2, 300}));
    EXPECT_EQ(file, expected);

    // The loop follows the data in a "smpl" chunk, its end stored as the last frame.
    const std::int16_t four[] = {1, 2, 3, 4};
    const auto looped = write_wav_looped(four, 4, 32000, 1, 4);
    EXPECT_EQ(looped.size(), 44 + 8 + 8 + 36 + 24);
    EXPECT_EQ(looped[4] | looped[5] << 8, static_cast<int>(looped.size() - 8));
    EXPECT_EQ(looped[looped.size() - 12], 3);
    MonoPcm pcm;
    ASSERT_EQ(read(looped, pcm), Status::Ok);
    EXPECT_EQ(pcm.samples, (Samples{1, 2, 3, 4}));
    EXPECT_TRUE(pcm.has_loop);
    EXPECT_EQ(pcm.loop_start, 1u);
    EXPECT_EQ(pcm.loop_end, 4u);
}

} // namespace
} // namespace snesbrr
