#include "loop.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numeric>

#include "brr.h"

namespace snesbrr {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The resampling kernel: a windowed sinc reaching this many input frames each way.
constexpr int kKernelHalfWidth = 16;
// Kaiser window shape: side lobes near -90 dB.
constexpr double kKaiserBeta = 9.0;

// The modified Bessel function I0, by its power series, to double precision.
double bessel_i0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; term > 1e-17 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

// Value at input time `t` (frames) of the sound `source(i)` gives frame by frame,
// low-passed at `cutoff` (a fraction of the input's Nyquist frequency, 0..1).
template <class Source> double sample_at(double t, double cutoff, Source source)
{
    const long base = static_cast<long>(std::floor(t));
    const double window_norm = bessel_i0(kKaiserBeta);
    double sum = 0, weights = 0;
    for (long i = base - kKernelHalfWidth + 1; i <= base + kKernelHalfWidth; ++i) {
        const double d = t - static_cast<double>(i);
        const double r = d / kKernelHalfWidth;
        if (r <= -1 || r >= 1)
            continue;
        const double x = kPi * cutoff * d;
        const double sinc = x == 0 ? 1.0 : std::sin(x) / x;
        const double w = sinc * bessel_i0(kKaiserBeta * std::sqrt(1 - r * r)) / window_norm;
        sum += w * source(i);
        weights += w;
    }
    // Normalised so that a constant stays exactly constant at every fraction.
    return sum / weights;
}

std::int16_t to_pcm(double v)
{
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

} // namespace

double LoopLayout::cents_flat() const
{
    if (!resampled)
        return 0;
    return 1200 * std::log2(static_cast<double>(output_length) / static_cast<double>(input_length));
}

LoopLayout plan_loop(std::size_t start, std::size_t end)
{
    assert(start < end);
    const std::size_t block = kBlockSamples;
    LoopLayout layout;
    const std::size_t length = end - start;
    layout.input_length = length;
    if (length < kMinResampledLoop || length % block == 0) {
        layout.output_length = length * (block / std::gcd(length, block));
        layout.intro = start;
    } else {
        // Nearest whole blocks; a tie (16n + 8 frames) goes up, which keeps every frame.
        layout.output_length = (length + block / 2) / block * block;
        layout.resampled = true;
        // The loop start lands on the output sample nearest its resampled time.
        layout.intro = static_cast<std::size_t>(
            std::llround(static_cast<double>(start) * static_cast<double>(layout.output_length) /
                         static_cast<double>(length)));
    }
    layout.pad = (block - layout.intro % block) % block;
    return layout;
}

std::vector<std::int16_t> lay_out_loop(const std::int16_t *pcm, std::size_t start, std::size_t end,
                                       const LoopLayout &layout)
{
    const std::size_t length = end - start;
    assert(length == layout.input_length);
    std::vector<std::int16_t> out(layout.total(), 0);
    std::int16_t *intro = out.data() + layout.pad;
    std::int16_t *loop = intro + layout.intro;
    if (!layout.resampled) {
        std::copy(pcm, pcm + start, intro);
        for (std::size_t j = 0; j < layout.output_length; ++j)
            loop[j] = pcm[start + j % length];
        return out;
    }
    const long first = static_cast<long>(start);
    const long period = static_cast<long>(length);
    // The loop repeats forever on both sides; the intro has silence before it and
    // the loop after it.
    const auto periodic = [&](long i) -> double {
        return pcm[first + ((i - first) % period + period) % period];
    };
    const auto plain = [&](long i) -> double {
        return i < 0 ? 0.0 : i < first ? pcm[i] : periodic(i);
    };
    const double step = static_cast<double>(length) / static_cast<double>(layout.output_length);
    const double cutoff = std::min(1.0, 1.0 / step);
    for (std::size_t j = 0; j < layout.intro; ++j) {
        const double t = static_cast<double>(start) - static_cast<double>(layout.intro - j) * step;
        intro[j] = to_pcm(sample_at(t, cutoff, plain));
    }
    for (std::size_t j = 0; j < layout.output_length; ++j) {
        const double t = static_cast<double>(start) + static_cast<double>(j) * step;
        loop[j] = to_pcm(sample_at(t, cutoff, periodic));
    }
    return out;
}

} // namespace snesbrr
