// Looped samples through the command line: block alignment, tuning, seamless passes,
// the headered form, the --blocks export and every refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numeric>

#include "brr.h"
#include "brrfile.h"
#include "cli.h"
#include "encoder.h"
#include "loop.h"
#include "test_util.h"
#include "voice.h"
#include "wav.h"

namespace snesbrr {
namespace {

using namespace test;
using Samples = std::vector<std::int16_t>;

constexpr double kTwoPi = 2 * 3.14159265358979323846;

// A headered .brr file as the encoder writes it: its loop block and whole blocks.
struct Headered {
    std::size_t loop_block = 0;
    std::vector<std::uint8_t> blocks;
    std::size_t loop_samples() const { return blocks.size() / kBlockBytes * 16 - loop_block * 16; }
};

Headered split(const std::vector<std::uint8_t> &file)
{
    BrrFile parsed;
    Headered h;
    EXPECT_EQ(parse_brr_file(file.data(), file.size(), parsed), Status::Ok);
    EXPECT_TRUE(parsed.headered);
    h.loop_block = parsed.loop_offset / kBlockBytes;
    h.blocks.assign(parsed.blocks, parsed.blocks + parsed.size);
    return h;
}

// Normalised correlation: 1 for the same waveform at any gain.
double correlation(const Samples &a, const Samples &b)
{
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return ab / std::sqrt(aa * bb);
}

Samples read_samples(const std::string &path, MonoPcm *pcm_out = nullptr)
{
    const auto bytes = load(path);
    MonoPcm pcm;
    EXPECT_EQ(read_wav(bytes.data(), bytes.size(), pcm), Status::Ok) << path;
    if (pcm_out)
        *pcm_out = pcm;
    return pcm.samples;
}

// `periods` whole sine periods in every `length` frames, loud where they wrap; noise
// after `end`, which must never be encoded.
Samples periodic_input(std::size_t end, std::size_t length, int periods)
{
    Samples input(end + 300);
    for (std::size_t i = 0; i < end; ++i)
        input[i] = static_cast<std::int16_t>(
            std::lround(12000 * std::sin(kTwoPi * periods * double(i) / double(length) + 1)));
    const Samples tail = noise(20000, 300, 7);
    std::copy(tail.begin(), tail.end(), input.begin() + static_cast<long>(end));
    return input;
}

TEST(LoopedEncode, EveryLengthLoopsSeamlesslyAndInTune)
{
    const std::string dir = scratch_dir("loop-lengths");
    struct Case {
        std::size_t start, length;
        int periods;
        std::uint32_t file_rate = 32000;
        const char *rate = nullptr; // --rate
    };
    // At 32 kHz: repeated, whole blocks, resampled. At another rate the loop spans
    // length * rate / file_rate samples there: whole (50, 200) or not (72.56, 2903.17).
    for (const Case c :
         {Case{512, 16, 1}, Case{1000, 100, 3}, Case{1000, 257, 5}, Case{512, 4000, 40},
          Case{1003, 4001, 40}, Case{1003, 4001, 40, 44100}, Case{1000, 100, 3, 22050, "11025"},
          Case{700, 300, 3, 48000}, Case{1000, 100, 3, 44100, "32000"}}) {
        SCOPED_TRACE("loop " + std::to_string(c.start) + " + " + std::to_string(c.length) +
                     " at " + std::to_string(c.file_rate) + " Hz");
        const std::size_t end = c.start + c.length;
        save(dir + "/in.wav", wav16(periodic_input(end, c.length, c.periods), c.file_rate));
        std::vector<std::string> args{dir + "/in.wav",      "-e", dir + "/out.brr", "--loop-start",
                                      std::to_string(c.start), "--loop-end", std::to_string(end)};
        if (c.rate)
            args.insert(args.end(), {"--rate", c.rate});
        const CliResult r = run_cli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const Headered h = split(load(dir + "/out.brr"));
        const std::size_t m = h.loop_samples();
        const double rate = c.rate ? std::stod(c.rate) : std::min(32000.0, double(c.file_rate));
        const double length = double(c.length), at_rate = length * rate / c.file_rate;
        const long lines = rate != 32000 ? 1 : 0; // the rate's line

        // Tuning: the pitch kept by repetition, or whole blocks and the cents reported.
        const bool whole = at_rate == std::floor(at_rate);
        const bool exact = whole && (at_rate < 256 || std::fmod(at_rate, 16) == 0);
        EXPECT_EQ(m % 16, 0u);
        const double repeats = std::max(1.0, std::round(double(m) / at_rate));
        const double step = repeats * length / double(m); // input frames per output sample
        if (exact) {
            const auto l = static_cast<std::size_t>(at_rate);
            EXPECT_EQ(m, l * (16 / std::gcd(l, std::size_t{16})));
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), lines) << r.err;
            EXPECT_EQ(r.err.find("loop of"), std::string::npos) << r.err;
        } else {
            EXPECT_LE(std::abs(double(m) - repeats * at_rate), 8.0);
            const double cents = 1200 * std::log2(double(m) / (repeats * at_rate));
            char text[80];
            std::snprintf(text, sizeof text, "it plays %.2f cents %s, so tune the instrument",
                          std::abs(cents), cents > 0 ? "flat" : "sharp");
            EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), lines + 1);
        }
        // The figure a holder of the output derives, and the utility's older way
        // for input at its own rate (a layout of L and M alone).
        const double stated = loop_cents_flat(c.length, c.file_rate, std::uint32_t(rate), m);
        EXPECT_NEAR(stated, exact ? 0.0 : 1200 * std::log2(double(m) / (repeats * at_rate)), 1e-9);
        if (rate == c.file_rate) {
            LoopLayout alone;
            alone.input_length = c.length;
            alone.output_length = m;
            alone.resampled = m % c.length != 0;
            EXPECT_NEAR(alone.cents_flat(), stated, 1e-9);
        }
        // The loop block is the input's loop start, after fewer than 16 samples of padding.
        const double pad = double(h.loop_block * 16) - double(c.start) / step;
        EXPECT_GE(pad, -0.5);
        EXPECT_LT(pad, 16.0);

        // Ten passes decode alike, and hold the input's loop at the stated pitch.
        const auto passes = decode_passes(h.blocks, h.loop_block, 10);
        for (const auto &pass : passes)
            EXPECT_EQ(pass, passes.front());
        Samples expected(m);
        for (std::size_t j = 0; j < m; ++j)
            expected[j] = static_cast<std::int16_t>(std::lround(
                12000 *
                std::sin(kTwoPi * c.periods * (double(c.start) + double(j) * step) / length + 1)));
        EXPECT_GT(correlation(expected, passes.front()), 0.995);
        // No jump where the loop wraps, nor anywhere else (whatever gain the encoder's
        // objective gives a tone).
        double xy = 0, xx = 0, worst = 0;
        for (std::size_t j = 0; j < m; ++j) {
            xy += double(expected[j]) * passes.front()[j];
            xx += double(expected[j]) * expected[j];
        }
        for (std::size_t j = 0; j < m; ++j)
            worst = std::max(worst, std::abs(passes.front()[j] - xy / xx * expected[j]));
        EXPECT_LT(worst, 1500);

        // The voice itself plays the same loop over and over once the first pass is
        // through: two seconds, periodic in the loop length, faded to silence.
        if (c.file_rate == 32000 && (c.length == 100 || c.length == 4001)) {
            ASSERT_EQ(run_cli({dir + "/out.brr", "-d", dir + "/out.wav"}).code, 0);
            const Samples played = read_samples(dir + "/out.wav");
            ASSERT_EQ(played.size(), kLoopRenderSamples);
            const std::size_t from = h.blocks.size() / kBlockBytes * 16;
            std::size_t mismatches = 0;
            for (std::size_t i = from; i + m < played.size() - kLoopFadeSamples; ++i)
                mismatches += played[i] != played[i + m];
            EXPECT_EQ(mismatches, 0u);
            EXPECT_EQ(played.back(), 0);
            EXPECT_LT(std::abs(played[played.size() - 2]), 100);
        }
    }
}

TEST(LoopedEncode, LoopFromTheFileOptionsAnywhereAndFlat)
{
    const std::string dir = scratch_dir("loop-options");
    const Samples input = sine(440, 10000, 3000);
    save(dir + "/plain.wav", wav16(input));
    save(dir + "/looped.wav", write_wav_looped(input.data(), input.size(), 32000, 1000, 1100));
    // One past the last frame, as a few writers store it: the end of the sound.
    auto one_past = write_wav_looped(input.data(), input.size(), 32000, 1000, 3000);
    one_past[one_past.size() - 24 + 12] = 3000 & 0xFF;
    one_past[one_past.size() - 24 + 13] = 3000 >> 8;
    save(dir + "/one-past.wav", one_past);

    ASSERT_EQ(run_cli({dir + "/looped.wav", "-e", dir + "/a.brr", "--loop"}).code, 0);
    ASSERT_EQ(run_cli({"--loop-start", "1000", dir + "/plain.wav", "-e", dir + "/b.brr",
                       "--loop-end", "1100"})
                  .code,
              0);
    EXPECT_EQ(load(dir + "/a.brr"), load(dir + "/b.brr"));
    ASSERT_EQ(run_cli({dir + "/one-past.wav", "--loop", "-e", dir + "/c.brr"}).code, 0);
    ASSERT_EQ(run_cli({dir + "/plain.wav", "-e", dir + "/d.brr", "--loop-start", "1000"}).code, 0);
    EXPECT_EQ(load(dir + "/c.brr"), load(dir + "/d.brr"));

    ASSERT_EQ(run_cli({dir + "/plain.wav", "--flat", "-e", dir + "/flat.brr"}).code, 0);
    EncoderSettings flat;
    flat.flat = true;
    EXPECT_EQ(load(dir + "/flat.brr"), encode(input.data(), input.size(), flat).brr);
}

TEST(LoopedEncode, RefusalsLeaveTheOutputAlone)
{
    const std::string dir = scratch_dir("loop-refusals");
    const Samples input = sine(440, 10000, 3000);
    save(dir + "/plain.wav", wav16(input));
    save(dir + "/reversed.wav", write_wav_looped(input.data(), input.size(), 32000, 0, 1000));
    auto reversed = load(dir + "/reversed.wav");
    reversed[reversed.size() - 24 + 8] = 0xD0; // start 2000, past the end 999
    reversed[reversed.size() - 24 + 9] = 0x07;
    save(dir + "/reversed.wav", reversed);
    save(dir + "/long.wav", wav16(Samples(117000, 0)));
    const std::string out = dir + "/out.brr";
    const auto in = [&](const char *name) { return dir + "/" + name; };

    struct Refusal {
        std::vector<std::string> args;
        int code;
        std::string message; // after "snesbrr: "; empty for usage errors
    };
    const std::vector<Refusal> refusals = {
        {{in("plain.wav"), "--loop"},
         1,
         in("plain.wav") + ": has no loop (no 'smpl' chunk with a loop)"},
        {{in("plain.wav"), "--loop-start", "500", "--loop-end", "500"},
         1,
         in("plain.wav") + ": loop start 500 is not before loop end 500"},
        {{in("plain.wav"), "--loop-start", "3000"},
         1,
         in("plain.wav") + ": loop start 3000 is not before loop end 3000"},
        {{in("plain.wav"), "--loop-start", "10", "--loop-end", "99999999999999999999999"},
         1,
         in("plain.wav") + ": loop end 18446744073709551615 is past the sound's 3000 frames"},
        {{in("reversed.wav"), "--loop"},
         1,
         in("reversed.wav") + ": loop start 2000 is not before loop end 1000"},
        {{in("long.wav"), "--loop-start", "116600"},
         1,
         in("long.wav") +
             ": has its loop too far in for the 2-byte loop offset (more than 65535 bytes)"},
        {{in("plain.wav"), "--loop-start", "12x"}, 2, ""},
        {{in("plain.wav"), "--loop-start", "-1"}, 2, ""},
        {{in("plain.wav"), "--loop-start", ""}, 2, ""},
        {{in("plain.wav"), "--loop-start", "0x10"}, 2, ""},
        {{in("plain.wav"), "--loop-start"}, 2, ""},
        {{in("plain.wav"), "--loop-end", "5"}, 2, ""},
        {{in("plain.wav"), "--loop", "--loop-start", "0"}, 2, ""},
        {{in("plain.wav"), "--loop-start", "0", "--loop-start", "1"}, 2, ""},
        {{in("plain.wav"), "--blocks"}, 2, ""},
    };
    for (const Refusal &refusal : refusals) {
        std::vector<std::string> args = refusal.args;
        args.insert(args.begin() + 1, {"-e", out});
        save(out, {1, 2, 3});
        const CliResult r = run_cli(args);
        SCOPED_TRACE(args[3] + (args.size() > 4 ? " " + args[4] : ""));
        EXPECT_EQ(r.code, refusal.code);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        if (!refusal.message.empty()) {
            EXPECT_EQ(r.err, "snesbrr: " + refusal.message + "\n");
        }
        EXPECT_EQ(load(out), (std::vector<std::uint8_t>{1, 2, 3}));
    }
}

TEST(BrrDecode, RawAndHeaderedFormsAndTheirRefusals)
{
    const std::string dir = scratch_dir("loop-decode");
    const Samples input = sine(523.25, 20000, 4096);
    const EncodedSample e = encode_looped(input.data(), input.size(), 1024);
    const std::size_t blocks = e.brr.size() / kBlockBytes;
    auto unlooped = e.brr;
    unlooped[unlooped.size() - kBlockBytes] &= 0xFD; // end flag only
    const auto headered = make_headered(e.brr, 1024 / 16 * 9);
    save(dir + "/raw.brr", e.brr);
    save(dir + "/headered.brr", headered);
    save(dir + "/unlooped.brr", make_headered(unlooped, 1024 / 16 * 9));

    const auto play = [&](const char *name, std::vector<std::string> options = {}) {
        std::vector<std::string> args{dir + "/" + name, "-d", dir + "/out.wav"};
        args.insert(args.begin() + 2, options.begin(), options.end());
        const CliResult r = run_cli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        MonoPcm pcm;
        read_samples(dir + "/out.wav", &pcm);
        return pcm;
    };
    // A raw file names no loop: it plays through its last block once, as before.
    Samples once;
    ASSERT_EQ(render_voice(e.brr.data(), e.brr.size(), kUnityPitch, once), Status::Ok);
    EXPECT_EQ(play("raw.brr").samples, once);
    Samples silenced;
    ASSERT_EQ(render_voice(unlooped.data(), unlooped.size(), kUnityPitch, silenced), Status::Ok);
    EXPECT_EQ(play("unlooped.brr").samples, silenced);
    Samples looped;
    ASSERT_EQ(render_looped_voice(e.brr.data(), e.brr.size(), 0x0800, 1024 / 16, looped),
              Status::Ok);
    EXPECT_EQ(play("headered.brr", {"-p", "800"}).samples, looped);

    // --blocks: every decoded sample, and the loop only where the voice would take it.
    Samples decoded;
    ASSERT_EQ(decode_all(e.brr.data(), e.brr.size(), decoded), Status::Ok);
    for (const char *name : {"raw.brr", "headered.brr", "unlooped.brr"}) {
        const MonoPcm pcm = play(name, {"--blocks"});
        EXPECT_EQ(pcm.samples.size(), blocks * 16) << name;
        EXPECT_EQ(pcm.sample_rate, 32000u);
        EXPECT_EQ(pcm.has_loop, std::string(name) == "headered.brr") << name;
    }
    EXPECT_EQ(play("headered.brr", {"--blocks"}).samples, decoded);
    EXPECT_EQ(play("headered.brr", {"--blocks"}).loop_start, 1024u);
    EXPECT_EQ(play("headered.brr", {"--blocks"}).loop_end, blocks * 16);

    const std::string not_brr =
        "is not a BRR file (its size is neither a multiple of 9 nor 2 more)";
    const std::string outside = "has a loop offset outside its blocks";
    auto uneven = headered, past = headered;
    uneven[0] = 10;
    uneven[1] = 0;
    past[0] = static_cast<std::uint8_t>(e.brr.size());
    past[1] = static_cast<std::uint8_t>(e.brr.size() >> 8);
    const std::vector<std::pair<std::vector<std::uint8_t>, std::string>> refused = {
        {std::vector<std::uint8_t>(headered.begin(), headered.end() - 1), not_brr},
        {std::vector<std::uint8_t>(10, 0), not_brr},
        {{0, 0}, "holds no BRR block"},
        {past, outside},
        {uneven, "has a loop offset that is not a multiple of 9"},
    };
    for (const auto &[file, message] : refused) {
        save(dir + "/bad.brr", file);
        for (const auto &mode : std::vector<std::vector<std::string>>{{}, {"--blocks"}}) {
            std::vector<std::string> args{dir + "/bad.brr", "-d", dir + "/bad.wav"};
            args.insert(args.begin() + 2, mode.begin(), mode.end());
            const CliResult r = run_cli(args);
            EXPECT_EQ(r.code, 1);
            EXPECT_EQ(r.err, "snesbrr: " + dir + "/bad.brr: " + message + "\n");
            EXPECT_FALSE(file_exists(dir + "/bad.wav"));
        }
    }
    for (const auto &args : std::vector<std::vector<std::string>>{
             {dir + "/headered.brr", "-d", "--blocks", "-p", "1000", dir + "/bad.wav"},
             {dir + "/headered.brr", "-d", "--flat", dir + "/bad.wav"},
             {dir + "/headered.brr", "-d", "--loop", dir + "/bad.wav"}}) {
        EXPECT_EQ(run_cli(args).code, kExitUsage);
        EXPECT_FALSE(file_exists(dir + "/bad.wav"));
    }
}

TEST(BrrBlocksExport, ReencodingTheExportDecodesToTheSameSamples)
{
    // The export holds what the DSP decodes. Re-encoded, by either objective,
    // with its loop or without, every block decodes exactly as before: a loop
    // of whole blocks, a loop resampled to whole blocks, a loop block with a
    // filter other than 0 (its end block lands on the loop's entry history),
    // and a sound without a loop.
    const std::string dir = scratch_dir("loop-export");
    struct Case {
        const char *name;
        Samples input;
        std::size_t start, end; // the loop; end 0 for none
    };
    const Case cases[] = {
        {"loop of 100", periodic_input(1100, 100, 1), 1000, 1100},
        {"loop of 4001", periodic_input(5004, 4001, 40), 1003, 5004},
        // Bright and loud: the played objective alone would rather not be exact.
        {"loop block with a filter", sine(2000, 30000, 4096, 1.0), 1024, 4096},
        {"no loop", noise(12000, 3000, 5), 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const bool looped = c.end != 0;
        save(dir + "/in.wav", wav16(c.input));
        std::vector<std::string> args{dir + "/in.wav", "-e", dir + "/a.brr"};
        if (looped)
            args.insert(args.end(), {"--loop-start", std::to_string(c.start), "--loop-end",
                                     std::to_string(c.end)});
        ASSERT_EQ(run_cli(args).code, 0);
        ASSERT_EQ(run_cli({dir + "/a.brr", "-d", "--blocks", dir + "/a.wav"}).code, 0);
        const auto a_file = load(dir + "/a.brr");
        const Headered a = looped ? split(a_file) : Headered{0, a_file};
        if (c.start == 1024) {
            ASSERT_NE(parse_header(a.blocks[a.loop_block * kBlockBytes]).filter, 0);
        }
        Samples first;
        ASSERT_EQ(decode_all(a.blocks.data(), a.blocks.size(), first), Status::Ok);
        for (const bool flat : {false, true}) {
            for (const bool keep_loop : {looped, false}) {
                SCOPED_TRACE(std::string(flat ? "flat" : "played") +
                             (keep_loop ? ", looped" : ", unlooped"));
                std::vector<std::string> again{dir + "/a.wav", "-e", dir + "/b.brr"};
                if (flat)
                    again.push_back("--flat");
                if (keep_loop)
                    again.push_back("--loop");
                const CliResult r = run_cli(again);
                ASSERT_EQ(r.code, 0);
                EXPECT_EQ(r.err, ""); // whole blocks: neither padded nor resampled
                const auto b_file = load(dir + "/b.brr");
                const Headered b = keep_loop ? split(b_file) : Headered{0, b_file};
                Samples second;
                ASSERT_EQ(decode_all(b.blocks.data(), b.blocks.size(), second), Status::Ok);
                if (keep_loop) {
                    EXPECT_EQ(b.loop_block, a.loop_block);
                    EXPECT_EQ(second, first);
                    const auto passes = decode_passes(b.blocks, b.loop_block, 3);
                    EXPECT_EQ(passes[2], passes[0]);
                } else {
                    // Silence follows; the samples before it are the export's.
                    ASSERT_GE(second.size(), first.size());
                    EXPECT_EQ(Samples(second.begin(), second.begin() + long(first.size())), first);
                }
            }
        }
    }
}

} // namespace
} // namespace snesbrr
