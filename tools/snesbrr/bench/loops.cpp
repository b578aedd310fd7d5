#include "loops.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "brr.h"
#include "loop.h"

namespace snesbrr::bench {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct LoopSound {
    std::string name;
    std::vector<std::int16_t> samples;
    std::size_t start, end;
    int periods; // fundamental periods in the loop; 0 for a sound without pitch
};

// A tone of `periods` whole periods in every `length` frames, made of `harmonics`
// partials falling as 1/n: it swells in over `start` frames, holds through the loop,
// and a release follows that the looped sample drops.
LoopSound tone(const char *name, std::size_t start, std::size_t length, int periods, int harmonics)
{
    LoopSound s{name, std::vector<std::int16_t>(start + length + 2000), start, start + length,
                periods};
    for (std::size_t i = 0; i < s.samples.size(); ++i) {
        double v = 0;
        for (int n = 1; n <= harmonics; ++n)
            v += std::sin(2 * kPi * n * periods * double(i) / double(length) + n) / n;
        const double swell = start == 0 ? 1.0 : std::min(1.0, double(i) / double(start));
        const double release =
            i < s.end ? 1.0 : std::exp(-double(i - s.end) / 400.0); // dropped by the loop
        s.samples[i] = static_cast<std::int16_t>(std::lround(14000 * v * swell * release / 1.6));
    }
    return s;
}

LoopSound noise_loop(const char *name, std::size_t start, std::size_t length)
{
    LoopSound s{name, std::vector<std::int16_t>(start + length), start, start + length, 0};
    std::uint32_t seed = 12345;
    for (auto &v : s.samples) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::int16_t>((static_cast<int>(seed >> 16) - 32768) / 3);
    }
    return s;
}

double snr_db(const std::int16_t *reference, const std::int16_t *decoded, std::size_t count)
{
    double signal = 0, error = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double d = double(reference[i]) - decoded[i];
        signal += double(reference[i]) * reference[i];
        error += d * d;
    }
    return error == 0 ? 999 : 10 * std::log10(signal / error);
}

// Frequency (cycles per sample) of the strongest line within 5% of `guess` in
// `x`: a fine scan of the DFT magnitude, then golden-section refinement.
double strongest_line(const std::vector<double> &x, double guess)
{
    const auto power = [&](double f) {
        double re = 0, im = 0;
        for (std::size_t n = 0; n < x.size(); ++n) {
            re += x[n] * std::cos(2 * kPi * f * double(n));
            im -= x[n] * std::sin(2 * kPi * f * double(n));
        }
        return re * re + im * im;
    };
    const double lobe = 1.0 / double(x.size());
    double best = guess, best_power = -1;
    for (double f = guess * 0.95; f <= guess * 1.05; f += lobe / 4) {
        const double p = power(f);
        if (p > best_power) {
            best_power = p;
            best = f;
        }
    }
    double low = best - lobe / 4, high = best + lobe / 4;
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    for (int k = 0; k < 60; ++k) {
        const double a = high - ratio * (high - low), b = low + ratio * (high - low);
        if (power(a) > power(b))
            high = b;
        else
            low = a;
    }
    return (low + high) / 2;
}

} // namespace

void print_loop_figures(const EncoderSettings &settings)
{
    const std::vector<LoopSound> sounds = {
        tone("square-ish, loop 16 at 512", 512, 16, 1, 3),
        tone("square-ish, loop 100 at 1000", 1000, 100, 1, 9),
        tone("saw, loop 257 at 1000", 1000, 257, 2, 12),
        tone("organ C4, loop 1223 at 1503", 1503, 1223, 10, 6),
        tone("string, loop 4000 at 2048", 2048, 4000, 33, 20),
        tone("string, loop 4001 at 2051", 2051, 4001, 33, 20),
        noise_loop("noise, loop 4000 at 517", 517, 4000),
    };
    std::printf("\nlooped material (SNR inside the loop, raw decode against the laid-out input)\n");
    std::printf("%-30s %6s %6s %-9s %8s %8s %8s %9s %9s\n", "sound", "L", "M", "layout", "loop dB",
                "plain dB", "stated", "measured", "error");
    double worst_error = 0, gain_sum = 0;
    for (const LoopSound &s : sounds) {
        const LoopLayout layout = plan_loop(s.start, s.end);
        const std::vector<std::int16_t> laid =
            lay_out_loop(s.samples.data(), s.start, s.end, layout);
        const EncodedSample looped =
            encode_looped(laid.data(), laid.size(), layout.loop_start(), settings);
        const EncodedSample plain = encode(laid.data(), laid.size(), settings);
        std::vector<std::int16_t> looped_out, plain_out;
        decode_all(looped.brr.data(), looped.brr.size(), looped_out);
        decode_all(plain.brr.data(), plain.brr.size(), plain_out);
        const std::size_t at = layout.loop_start(), m = layout.output_length;
        const std::size_t plain_at = at + std::size_t(plain.lead_in_blocks) * kBlockSamples;
        const double loop_db = snr_db(laid.data() + at, looped_out.data() + at, m);
        const double plain_db = snr_db(laid.data() + at, plain_out.data() + plain_at, m);
        gain_sum += loop_db - plain_db;

        char how[32];
        if (layout.resampled)
            std::snprintf(how, sizeof how, "resample");
        else
            std::snprintf(how, sizeof how, "x%zu", m / layout.input_length);
        const double stated = layout.cents_flat();
        if (s.periods == 0) {
            std::printf("%-30s %6zu %6zu %-9s %8.2f %8.2f %8.2f %9s %9s\n", s.name.c_str(),
                        layout.input_length, m, how, loop_db, plain_db, stated, "-", "-");
            continue;
        }
        // A second of passes of the decoded loop, as the voice plays them.
        std::vector<double> passes;
        while (passes.size() < 32000)
            passes.insert(passes.end(), looped_out.begin() + long(at), looped_out.end());
        const double input_f = double(s.periods) / double(layout.input_length);
        const double played_f = strongest_line(passes, input_f * std::exp2(-stated / 1200));
        const double measured = 1200 * std::log2(input_f / played_f);
        worst_error = std::max(worst_error, std::abs(measured - stated));
        std::printf("%-30s %6zu %6zu %-9s %8.2f %8.2f %8.2f %9.3f %9.3f\n", s.name.c_str(),
                    layout.input_length, m, how, loop_db, plain_db, stated, measured,
                    measured - stated);
    }
    std::printf("loop against plain encode: mean %+.2f dB; worst tuning error once tuned as "
                "stated %.3f cents (target: within 1 cent)\n",
                gain_sum / double(sounds.size()), worst_error);
}

} // namespace snesbrr::bench
