// Encoding at another rate: the resampler, --rate and what it states, and
// --max-bytes.
#include <gtest/gtest.h>

#include <cmath>

#include "brr.h"
#include "cli.h"
#include "encoder.h"
#include "resample.h"
#include "test_util.h"

namespace snesbrr {
namespace {

using namespace test;
using Samples = std::vector<std::int16_t>;

constexpr double kTwoPi = 2 * 3.14159265358979323846;

// `count` samples of a sine of `hz` at `rate` Hz.
Samples tone(double hz, double amplitude, std::size_t count, double rate)
{
    Samples out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(kTwoPi * hz * double(i) / rate + 0.3)));
    return out;
}

// RMS of `s` over [from, to).
double rms(const Samples &s, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

TEST(EncoderResample, KeepsTonesAtTheirPitchAndRemovesWhatTheLowerRateCannotHold)
{
    struct Case {
        std::uint32_t from, to;
        double hz;
        bool kept; // below both Nyquist frequencies, else above the lower one
    };
    for (const Case c : {Case{48000, 32000, 1000, true}, Case{44100, 32000, 14000, true},
                         Case{22050, 32000, 5000, true}, Case{32000, 11025, 4000, true},
                         Case{48000, 32000, 20000, false}, Case{44100, 8000, 5000, false}}) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + " Hz, tone " +
                     std::to_string(int(c.hz)));
        const Samples input = tone(c.hz, 20000, c.from / 4, c.from);
        const Samples out = resample(input.data(), input.size(), c.from, c.to);
        ASSERT_EQ(out.size(), resampled_length(input.size(), c.from, c.to));
        ASSERT_EQ(out.size(), (c.to + 3) / 4); // the span, rounded up
        // The ends meet the silence around the sound; the middle is judged.
        const std::size_t from = out.size() / 4, to = out.size() * 3 / 4;
        if (c.kept) {
            const Samples expected = tone(c.hz, 20000, out.size(), c.to);
            const Samples middle(expected.begin() + long(from), expected.begin() + long(to));
            EXPECT_GT(snr_db(middle, out, from), 70.0);
        } else {
            EXPECT_LT(rms(out, from, to), 20000 / std::sqrt(2.0) * 1e-4); // -80 dB
        }
    }
    const Samples same = noise(10000, 100, 4);
    EXPECT_EQ(resample(same.data(), same.size(), 22050, 22050), same);
    EXPECT_EQ(resampled_length(1, 48000, 1000), 1u);
    EXPECT_EQ(resampled_length(44101, 44100, 32000), 32001u);
}

// The rate a run's line states, 32000 where it states none.
unsigned stated_rate(const std::string &err)
{
    const std::size_t at = err.find("encoded at ");
    return at == std::string::npos ? 32000u : unsigned(std::stoul(err.substr(at + 11)));
}

TEST(CliRate, EncodesAtTheRateAskedOrAtMost32000AndStatesIt)
{
    const std::string dir = scratch_dir("rate");
    struct Case {
        std::uint32_t file_rate;
        const char *option; // --rate, or nullptr
        std::uint32_t rate; // encoded at
    };
    for (const Case c : {Case{44100, nullptr, 32000}, Case{48000, nullptr, 32000},
                         Case{22050, nullptr, 22050}, Case{22050, "22050", 22050},
                         Case{22050, "11025", 11025}, Case{22050, "32000", 32000},
                         Case{48000, "1000", 1000}}) {
        SCOPED_TRACE(std::to_string(c.file_rate) + " Hz, --rate " + (c.option ? c.option : "-"));
        const Samples input = tone(110, 12000, c.file_rate / 2, c.file_rate);
        save(dir + "/in.wav", wav16(input, c.file_rate));
        std::vector<std::string> args{dir + "/in.wav", "-e", dir + "/out.brr"};
        if (c.option)
            args.insert(args.end(), {"--rate", c.option});
        const CliResult r = run_cli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const Samples at_rate = resample(input.data(), input.size(), c.file_rate, c.rate);
        const EncodedSample e = encode(at_rate.data(), at_rate.size());
        EXPECT_EQ(load(dir + "/out.brr"), e.brr);
        if (c.rate == 32000) {
            EXPECT_EQ(r.err, "");
            continue;
        }
        // One line: the rate, the pitch that plays it in tune, the cents from 32 kHz.
        char text[160];
        std::snprintf(text, sizeof text,
                      ": encoded at %u Hz: pitch 0x%04lx plays it at its recorded pitch, tuned "
                      "%+.2f cents against a 32 kHz sample\n",
                      c.rate, std::lround(4096.0 * c.rate / 32000),
                      1200 * std::log2(c.rate / 32000.0));
        EXPECT_EQ(r.err, "snesbrr: " + dir + "/in.wav" + text);
        // The tone keeps its pitch: 110 Hz at the rate stated.
        Samples decoded;
        ASSERT_EQ(decode_all(e.brr.data(), e.brr.size(), decoded), Status::Ok);
        const Samples expected = tone(110, 12000, at_rate.size(), c.rate);
        // Normalised correlation: the played objective lifts the treble a little.
        double xy = 0, xx = 0, yy = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const double y = decoded[i + e.lead_in_blocks * kBlockSamples];
            xy += expected[i] * y;
            xx += double(expected[i]) * expected[i];
            yy += y * y;
        }
        EXPECT_GT(xy / std::sqrt(xx * yy), 0.999);
    }
    for (const char *bad : {"999", "32001", "44100", "0", "8k", "", "-1000"}) {
        const CliResult r = run_cli({dir + "/in.wav", "-e", dir + "/bad.brr", "--rate", bad});
        EXPECT_EQ(r.code, kExitUsage) << bad;
        EXPECT_FALSE(file_exists(dir + "/bad.brr"));
    }
    EXPECT_EQ(run_cli({dir + "/out.brr", "-d", dir + "/bad.wav", "--rate", "16000"}).code,
              kExitUsage);
}

TEST(CliMaxBytes, HighestRateThatFitsAndRefusalBelow1000Hz)
{
    const std::string dir = scratch_dir("max-bytes");
    // Rich enough that the encoder's choices are not all alike; 48 kHz, so the
    // search starts from 32000.
    Samples input = tone(300, 9000, 9600, 48000);
    const Samples hiss = noise(3000, input.size(), 2);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<std::int16_t>(input[i] + hiss[i]);
    save(dir + "/in.wav", wav16(input, 48000));
    const auto run = [&](std::vector<std::string> options) {
        std::vector<std::string> args{dir + "/in.wav", "-e", dir + "/out.brr"};
        args.insert(args.end(), options.begin(), options.end());
        return run_cli(args);
    };
    for (const std::vector<std::string> &loop :
         {std::vector<std::string>{}, std::vector<std::string>{"--loop-start", "2000"}}) {
        SCOPED_TRACE(loop.empty() ? "unlooped" : "looped, with its 2-byte header");
        ASSERT_EQ(run(loop).code, 0);
        const std::size_t full = load(dir + "/out.brr").size();
        const auto with = [&](std::vector<std::string> options) {
            options.insert(options.end(), loop.begin(), loop.end());
            return run(options);
        };
        // At the edge the full rate fits; one byte less needs a lower rate. Half and a
        // quarter of the size take the highest rate that fits: 1% more would not.
        for (const std::size_t limit : {full, full - 1, full / 2, full / 4}) {
            SCOPED_TRACE(limit);
            const CliResult r = with({"--max-bytes", std::to_string(limit)});
            ASSERT_EQ(r.code, 0) << r.err;
            const auto fitted = load(dir + "/out.brr");
            EXPECT_LE(fitted.size(), limit);
            const unsigned rate = stated_rate(r.err);
            EXPECT_EQ(rate == 32000, limit == full) << r.err;
            if (rate == 32000)
                continue;
            // The encoding at that rate as it is, lead-in block and all.
            EXPECT_EQ(with({"--rate", std::to_string(rate)}).code, 0);
            EXPECT_EQ(load(dir + "/out.brr"), fitted);
            const unsigned higher = std::min(32000u, (rate * 101 + 99) / 100);
            EXPECT_EQ(with({"--rate", std::to_string(higher)}).code, 0);
            EXPECT_GT(load(dir + "/out.brr").size(), limit) << higher << " Hz";
        }
        // A bound under --rate holds the search there.
        const CliResult capped = with({"--rate", "16000", "--max-bytes", std::to_string(full)});
        EXPECT_EQ(stated_rate(capped.err), 16000u);
    }
    // Not even 1000 Hz fits: refused, nothing written.
    save(dir + "/out.brr", {1, 2, 3});
    const CliResult r = run({"--max-bytes", "50"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "snesbrr: " + dir +
                         "/in.wav: does not fit in 50 bytes even at 1000 Hz, where it takes 135\n");
    EXPECT_EQ(load(dir + "/out.brr"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(run({"--max-bytes", "12x"}).code, kExitUsage);
}

} // namespace
} // namespace snesbrr
