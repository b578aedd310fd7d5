// The encoder's output format, its quality against the plain per-block
// search, and that what it writes plays every input sample.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "brr.h"
#include "encoder.h"
#include "test_util.h"
#include "voice.h"

namespace snesbrr {
namespace {

using namespace test;

std::vector<std::int16_t> raw_decode(const EncodedSample &e)
{
    std::vector<std::int16_t> out;
    EXPECT_EQ(decode_all(e.brr.data(), e.brr.size(), out), Status::Ok);
    return out;
}

double snr(const std::vector<std::int16_t> &input, const EncodedSample &e)
{
    return snr_db(input, raw_decode(e), e.lead_in_blocks * kBlockSamples);
}

// What the DSP plays at pitch 0x1000, centred on each of `decoded` (doubled
// values): the gaussian's taps at offset 0, as the voice computes them.
std::vector<int> played_at_unity(const std::vector<std::int16_t> &decoded)
{
    std::vector<int> out(decoded.size(), 0);
    for (std::size_t i = 1; i + 2 < decoded.size(); ++i)
        out[i] = interpolate(&decoded[i - 1], 0);
    return out;
}

// The decoded passes of a looped encoding (doubled values), from the first
// entry into the loop block on.
std::vector<std::vector<std::int16_t>> loop_passes(const EncodedSample &e, std::size_t loop_start,
                                                   std::size_t count)
{
    return decode_passes(e.brr, loop_start / kBlockSamples, count);
}

// The error the encoder tallies for `e`, recomputed from its decode: the
// decoded values (flat) or what the voice plays at pitch 0x1000 (played) against
// the input as laid out. Unlooped (`loop_start` SIZE_MAX), every block but the
// end block counts, and played, the outputs centred on every sample but the
// first and the last. Looped, the loop is played once more after the end: played,
// the outputs centred on the last sample and on the loop's start after the jump
// count too.
std::int64_t real_error(const std::vector<std::int16_t> &input, const EncodedSample &e, bool flat,
                        std::size_t loop_start = SIZE_MAX)
{
    std::vector<std::int16_t> decoded = raw_decode(e);
    std::vector<int> wanted(e.lead_in_blocks * kBlockSamples, 0);
    wanted.insert(wanted.end(), input.begin(), input.end());
    const bool looped = loop_start != SIZE_MAX;
    const std::size_t encoded = looped ? input.size() : decoded.size() - kBlockSamples;
    if (looped) {
        const auto again = loop_passes(e, loop_start, 2)[1];
        decoded.insert(decoded.end(), again.begin(), again.begin() + 3);
        wanted.push_back(input[loop_start]);
    }
    wanted.resize(decoded.size(), 0);
    const std::vector<int> heard =
        flat ? std::vector<int>(decoded.begin(), decoded.end()) : played_at_unity(decoded);
    const std::size_t end = flat ? encoded : looped ? encoded + 1 : encoded - 1;
    std::int64_t error = 0;
    for (std::size_t i = flat ? 0 : 1; i < end; ++i)
        error += std::int64_t(wanted[i] - heard[i]) * (wanted[i] - heard[i]);
    return error;
}

void expect_well_formed(const EncodedSample &e, std::size_t count)
{
    ASSERT_EQ(e.brr.size(), kBlockBytes * encoded_block_count(count, e.lead_in_blocks == 1));
    const std::size_t blocks = e.brr.size() / kBlockBytes;
    for (std::size_t b = 0; b < blocks; ++b) {
        const BlockHeader h = parse_header(e.brr[b * kBlockBytes]);
        EXPECT_FALSE(h.loop);
        EXPECT_EQ(h.end, b + 1 == blocks) << "block " << b;
        EXPECT_LE(h.shift, kMaxShift);
    }
    // The first block must not depend on the history a note starts with.
    EXPECT_EQ(parse_header(e.brr[0]).filter, 0);
    if (e.lead_in_blocks == 1) {
        for (std::size_t k = 0; k < kBlockBytes; ++k)
            EXPECT_EQ(e.brr[k], 0);
    }
}

// FNV-1a over the bytes, to pin an output without storing it.
std::uint64_t fingerprint(const std::vector<std::uint8_t> &bytes)
{
    std::uint64_t h = 0xcbf29ce484222325u;
    for (const std::uint8_t b : bytes)
        h = (h ^ b) * 0x100000001b3u;
    return h;
}

// The fingerprints kept in tests/fingerprints/NAME.txt: one hexadecimal number a
// line, # starting a comment line.
std::vector<std::uint64_t> pinned(const char *name)
{
    std::ifstream file(std::string(SNESBRR_FINGERPRINT_DIR) + "/" + name + ".txt");
    std::vector<std::uint64_t> values;
    std::string line;
    while (std::getline(file, line))
        if (!line.empty() && line[0] != '#')
            values.push_back(std::stoull(line, nullptr, 16));
    return values;
}

// Quiet, loud, clipping, bright and short inputs, and sounds that start loud
// (the lead-in race).
std::vector<std::vector<std::int16_t>> pinned_inputs()
{
    return {
        sine(440, 16000, 4000),     sine(440, 32000, 3000, 1.5707963),
        sine(3000, 300, 2000, 0.3), noise(12000, 4000, 5),
        noise(32767, 2000, 9),      square(37, 3000),
        sine(1000, 20000, 23, 1.0),
    };
}

// Fingerprints under each of `settings` of every pinned input's encode and of
// its whole blocks looped from the middle.
std::vector<std::uint64_t> pinned_fingerprints(std::initializer_list<EncoderSettings> settings)
{
    std::vector<std::uint64_t> got;
    for (const EncoderSettings &s : settings)
        for (const auto &input : pinned_inputs()) {
            got.push_back(fingerprint(encode(input.data(), input.size(), s).brr));
            const std::size_t whole = input.size() / kBlockSamples * kBlockSamples;
            got.push_back(fingerprint(
                encode_looped(input.data(), whole, whole / 2 / kBlockSamples * kBlockSamples, s)
                    .brr));
        }
    return got;
}

// Appends the fingerprints of every pinned input longer than a block looped over
// its last whole block, where the end block is the loop block.
void append_one_block_loops(const EncoderSettings &settings, std::vector<std::uint64_t> &got)
{
    for (const auto &input : pinned_inputs()) {
        const std::size_t whole = input.size() / kBlockSamples * kBlockSamples;
        if (whole > kBlockSamples)
            got.push_back(fingerprint(
                encode_looped(input.data(), whole, whole - kBlockSamples, settings).brr));
    }
}

TEST(EncoderOutput, StaysByteForByteAsBefore)
{
    // Flat: its fixed widths, then one history and the greedy block search
    // alone. Played, under the widths that were its defaults until they widened:
    // those widths, a wider beam with more pairs refined, the greedy block search
    // alone, then loops of one block, where the end block is the loop block and
    // decodes its own seam. The first 14 are those of the encoder before it
    // learnt the played objective, but for the looped noise and square, whose
    // loop blocks have since taken a filter other than 0 where it stays seamless.
    EncoderSettings flat;
    flat.flat = true;
    flat.flat_widths = {3, 3, 1};
    EncoderSettings narrow = flat;
    narrow.flat_widths = {1, 1, 1};
    EncoderSettings former;
    former.played_widths = {1, 3, 1};
    EncoderSettings wider;
    wider.played_widths = {3, 3, 2};
    EncoderSettings greedy;
    greedy.played_widths = {1, 1, 1};
    std::vector<std::uint64_t> got = pinned_fingerprints({flat, narrow, former, wider, greedy});
    append_one_block_loops(former, got);
    const std::vector<std::uint64_t> before = pinned("before");
    ASSERT_EQ(before.size(), got.size()) << "the pinned fingerprints are missing";
    EXPECT_EQ(got, before);

    // What ships: --flat under the default settings is the flat encoder above,
    // and the played objective's default widths, their loops of one block too.
    EncoderSettings flat_default;
    flat_default.flat = true;
    EXPECT_EQ(pinned_fingerprints({flat_default}),
              std::vector<std::uint64_t>(before.begin(), before.begin() + 14));
    std::vector<std::uint64_t> now = pinned_fingerprints({EncoderSettings{}});
    append_one_block_loops(EncoderSettings{}, now);
    const std::vector<std::uint64_t> widened = pinned("default");
    EXPECT_EQ(now, widened);
}

TEST(NearestNibble, ShortcutAgreesWithTryingAllSixteen)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> prediction(-40000, 40000), target(-32768, 32767),
        shift(0, kMaxShift);
    for (int k = 0; k < 200000; ++k) {
        const int p = prediction(rng), t = target(rng), s = shift(rng);
        // Equal error; a clamped run may reach the same value from several nibbles.
        const auto error = [&](int nibble) {
            return std::abs(t - 2 * clamp_and_wrap(p + scale_nibble(nibble, s)));
        };
        ASSERT_EQ(error(nearest_nibble(p, t, s)), error(nearest_nibble_exhaustive(p, t, s)))
            << p << " " << t << " " << s;
    }
    // From a prediction of 16000 one step up wraps to -14720, nearer to a
    // target of -32000 (16-bit) than the linear guess, nibble -8 (-384).
    EXPECT_EQ(nearest_nibble_exhaustive(16000, -32000, 12), 1);
    EXPECT_EQ(nearest_nibble(16000, -32000, 12), 1);
}

TEST(EncoderLayout, SizesFollowTheSilencingRule)
{
    EXPECT_EQ(encoded_block_count(0, false), 0u);
    EXPECT_EQ(encoded_block_count(1, false), 2u);
    EXPECT_EQ(encoded_block_count(7, false), 2u);
    EXPECT_EQ(encoded_block_count(8, false), 3u);
    EXPECT_EQ(encoded_block_count(16, false), 3u);
    EXPECT_EQ(encoded_block_count(16, true), 4u);
    for (std::size_t n = 1; n < 200; ++n) {
        const std::size_t whole = (n + 15) / 16;
        EXPECT_LE(encoded_block_count(n, false), whole + 2);
        EXPECT_EQ(encoded_block_count(n, true), encoded_block_count(n, false) + 1);
    }
    EXPECT_TRUE(encode(nullptr, 0).brr.empty());
    EXPECT_TRUE(encode_baseline(nullptr, 0).brr.empty());
}

TEST(EncoderLayout, EveryInputSampleIsHeardAndNoBlockIsSpare)
{
    for (const std::size_t n : {1u, 5u, 6u, 7u, 8u, 16u, 23u, 24u, 40u}) {
        const auto input = sine(1000, 12000, n, 0.5);
        const EncodedSample e = encode(input.data(), n);
        expect_well_formed(e, n);
        // Output k is centred on source sample k + 1.
        const std::size_t needed = e.lead_in_blocks * kBlockSamples + n - 1;
        std::vector<std::int16_t> played;
        ASSERT_EQ(render_voice(e.brr.data(), e.brr.size(), kUnityPitch, played), Status::Ok);
        EXPECT_GE(played.size(), needed) << n << " samples";
        // One block less before the end block and the last sample is lost.
        if (needed == 0)
            continue;
        std::vector<std::uint8_t> shorter(e.brr.begin(), e.brr.end() - 2 * kBlockBytes);
        shorter.push_back(0x01);
        shorter.insert(shorter.end(), kBlockBytes - 1, 0);
        ASSERT_EQ(render_voice(shorter.data(), shorter.size(), kUnityPitch, played), Status::Ok);
        EXPECT_LT(played.size(), needed) << n << " samples";
    }
}

// The flat objective: the decoded values against the input.
TEST(EncoderQuality, TonesAndNoiseWithinStatedSnr)
{
    EncoderSettings flat;
    flat.flat = true;
    struct Case {
        const char *name;
        std::vector<std::int16_t> input;
        double min_snr;
    } cases[] = {
        {"440 Hz half scale", sine(440, 16000, 8000), 50},
        {"3 kHz quiet", sine(3000, 1000, 8000), 30},
        {"110 Hz full scale", sine(110, 32767, 8000), 55},
        {"white noise", noise(12000, 8000, 1), 18},
    };
    for (const Case &c : cases) {
        const EncodedSample ours = encode(c.input.data(), c.input.size(), flat);
        const EncodedSample base = encode_baseline(c.input.data(), c.input.size());
        expect_well_formed(ours, c.input.size());
        expect_well_formed(base, c.input.size());
        const double ours_db = snr(c.input, ours), base_db = snr(c.input, base);
        EXPECT_GE(ours_db, c.min_snr) << c.name;
        EXPECT_GE(ours_db, base_db) << c.name;
        EXPECT_EQ(real_error(c.input, base, true), base.squared_error) << c.name;
    }
}

TEST(EncoderQuality, LeadInBlockOnlyWhereTheStartIsLoud)
{
    const auto loud = sine(440, 32000, 1600, 3.14159265 / 2); // starts at its peak
    const EncodedSample led = encode(loud.data(), loud.size());
    EncoderSettings no_lead;
    no_lead.allow_lead_in = false;
    const EncodedSample plain = encode(loud.data(), loud.size(), no_lead);
    EXPECT_EQ(led.lead_in_blocks, 1);
    EXPECT_EQ(plain.lead_in_blocks, 0);
    expect_well_formed(led, loud.size());
    EXPECT_GT(snr(loud, led), snr(loud, plain) + 1.0);

    std::vector<std::int16_t> soft(64, 0); // silence, then the same tone
    soft.insert(soft.end(), loud.begin(), loud.end());
    EXPECT_EQ(encode(soft.data(), soft.size()).lead_in_blocks, 0);
}

// True if three decoded samples in a row would make the interpolation click.
bool has_click_run(const std::vector<std::int16_t> &decoded)
{
    for (std::size_t i = 2; i < decoded.size(); ++i)
        if (interpolation_overflows(decoded[i - 2], decoded[i - 1], decoded[i]))
            return true;
    return false;
}

TEST(EncoderQuality, NeverDecodesRunsThatClick)
{
    // Full-scale square waves and clipped noise drive the decoder to its rails.
    std::vector<std::int16_t> full_square = square(40, 2000);
    std::vector<std::int16_t> clipped = noise(32767, 2000, 3);
    for (auto &v : clipped)
        v = v > 8000 ? 32767 : v < -8000 ? -32768 : v;
    EncoderSettings flat;
    flat.flat = true;
    for (const auto *input : {&full_square, &clipped}) {
        EXPECT_TRUE(has_click_run(raw_decode(encode_baseline(input->data(), input->size()))));
        const EncodedSample e = encode(input->data(), input->size(), flat);
        EXPECT_FALSE(has_click_run(raw_decode(e)));
        EXPECT_GT(snr(*input, e), 20.0);
        EXPECT_FALSE(has_click_run(raw_decode(encode(input->data(), input->size()))));
    }
}

// SNR in dB of the voice's render at pitch 0x1000 against the input.
double played_snr(const std::vector<std::int16_t> &input, const EncodedSample &e)
{
    std::vector<std::int16_t> out;
    EXPECT_EQ(render_voice(e.brr.data(), e.brr.size(), kUnityPitch, out), Status::Ok);
    // Output k is centred on source sample k + 1.
    out.insert(out.begin(), std::int16_t{0});
    return snr_db(input, out, e.lead_in_blocks * kBlockSamples);
}

TEST(EncoderPlayed, ScoresWhatTheVoicePlaysAndBeatsTheFlatObjective)
{
    struct Case {
        const char *name;
        std::vector<std::int16_t> input;
        double min_gain; // dB over the flat objective, at pitch 0x1000
    } cases[] = {
        {"white noise", noise(12000, 6000, 1), 8},
        {"5 kHz", sine(5000, 10000, 6000), 8},
        {"440 Hz starting at its peak", sine(440, 30000, 6000, 1.5707963), 0},
        {"full-scale square, wraps and clamps", square(37, 4000), -0.01},
        {"quiet 3 kHz", sine(3000, 300, 6000, 0.5), 3},
    };
    EncoderSettings flat;
    flat.flat = true;
    for (const Case &c : cases) {
        const EncodedSample ours = encode(c.input.data(), c.input.size());
        const EncodedSample before = encode(c.input.data(), c.input.size(), flat);
        expect_well_formed(ours, c.input.size());
        // The same lead-in decision, so the same size.
        EXPECT_EQ(ours.brr.size(), before.brr.size()) << c.name;
        EXPECT_GE(played_snr(c.input, ours), played_snr(c.input, before) + c.min_gain) << c.name;
        EXPECT_EQ(real_error(c.input, ours, false), ours.squared_error) << c.name;
    }
}

TEST(EncoderLoop, EveryPassDecodesLikeTheFirstWhateverTheLoopBlocksFilter)
{
    // Loud, bright loops whose blocks would otherwise choose filters 2 and 3. The
    // loop block may take a filter other than 0 where the end block leaves the
    // history the first pass brings; a loop at block 0 may not (a note starts with
    // an unknown history). Both objectives, one-block to long loops.
    struct Case {
        const char *name;
        std::vector<std::int16_t> input;
        std::size_t loop_start;
        bool flat;
        bool careful; // a filter other than 0 must pay at the loop block
    };
    // 500 Hz: 64 samples a period, so the loop's end leads into its start.
    const auto tone = sine(500, 30000, 4096, 1.0);
    // 80 Hz, exactly 400 samples a period: a short loop of the kind that lost
    // most to a filter-0 loop block.
    const auto short_tone = sine(80.0, 20000, 1200, 0.3);
    const Case cases[] = {
        {"500 Hz, flat", tone, 1024, true, true},
        {"500 Hz, played", tone, 1024, false, true},
        {"400-sample loop, flat", short_tone, 800, true, true},
        {"400-sample loop, played", short_tone, 800, false, true},
        {"one-block loop", std::vector<std::int16_t>(tone.begin(), tone.begin() + 256), 240, true,
         false},
        {"loop at block 0", tone, 0, false, false},
        {"noise", noise(12000, 1024, 3), 512, true, false},
    };
    EncoderSettings flat;
    flat.flat = true;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const EncodedSample e = encode_looped(c.input.data(), c.input.size(), c.loop_start,
                                              c.flat ? flat : EncoderSettings{});
        const std::size_t blocks = c.input.size() / kBlockSamples;
        ASSERT_EQ(e.brr.size(), blocks * kBlockBytes);
        for (std::size_t b = 0; b < blocks; ++b) {
            const BlockHeader h = parse_header(e.brr[b * kBlockBytes]);
            EXPECT_EQ(h.end, b + 1 == blocks);
            EXPECT_EQ(h.loop, b + 1 == blocks);
        }
        EXPECT_EQ(parse_header(e.brr[0]).filter, 0);
        const int loop_filter =
            parse_header(e.brr[c.loop_start / kBlockSamples * kBlockBytes]).filter;
        if (c.careful) {
            EXPECT_NE(loop_filter, 0);
        }
        // The first pass enters the loop with the history of the blocks before
        // it, every later one with the end block's: ten passes must agree.
        const auto passes = loop_passes(e, c.loop_start, 10);
        for (const auto &pass : passes)
            EXPECT_EQ(pass, passes.front());
        EXPECT_EQ(real_error(c.input, e, c.flat, c.loop_start), e.squared_error);
        // The loop sounds as good as the plain encode of the same samples.
        if (c.careful && c.flat) {
            const EncodedSample plain = encode(c.input.data(), c.input.size(), flat);
            const std::vector<std::int16_t> looped(c.input.begin() + long(c.loop_start),
                                                   c.input.end());
            const std::size_t at = c.loop_start + plain.lead_in_blocks * kBlockSamples;
            EXPECT_GT(snr_db(looped, passes.front()), snr_db(looped, raw_decode(plain), at) - 1.0);
        }
    }
}

TEST(EncoderLoop, PlayedObjectiveHoldsAcrossTheSeam)
{
    // Bright noise looped: what plays around the jump (the end block's last
    // sample beside the loop block's first) must gain like the rest.
    const auto input = noise(12000, 2048, 11);
    const std::size_t loop_start = 512;
    EncoderSettings flat;
    flat.flat = true;
    double snr[2];
    for (const bool played : {false, true}) {
        const EncodedSample e = encode_looped(input.data(), input.size(), loop_start,
                                              played ? EncoderSettings{} : flat);
        // Three passes played in a row; the middle one has a seam at each end.
        std::vector<std::int16_t> decoded, wanted;
        for (const auto &pass : loop_passes(e, loop_start, 3)) {
            decoded.insert(decoded.end(), pass.begin(), pass.end());
            wanted.insert(wanted.end(), input.begin() + loop_start, input.end());
        }
        const std::vector<int> heard = played_at_unity(decoded);
        const std::size_t length = input.size() - loop_start;
        const std::vector<std::int16_t> middle(wanted.begin() + length - 1,
                                               wanted.begin() + 2 * length + 1);
        std::vector<std::int16_t> got(heard.begin() + length - 1, heard.begin() + 2 * length + 1);
        snr[played] = snr_db(middle, got);
    }
    EXPECT_GT(snr[1], snr[0] + 8.0);
}

} // namespace
} // namespace snesbrr
