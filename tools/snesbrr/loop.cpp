#include "loop.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "brr.h"
#include "resample.h"

namespace snesbrr {

namespace {

// The multiple of 16 nearest to numerator / denominator, the larger on a tie
// (a tie at 16n + 8 keeps every sample).
std::uint64_t nearest_blocks(std::uint64_t numerator, std::uint64_t denominator)
{
    const std::uint64_t block = kBlockSamples;
    return (numerator + block / 2 * denominator) / (block * denominator) * block;
}

// True when m output samples hold k passes of a loop of length input samples exactly,
// so that the loop keeps its pitch: m / rate = k * length / input_rate.
bool keeps_pitch(std::uint64_t m, std::uint64_t k, std::uint64_t length, std::uint32_t input_rate,
                 std::uint32_t rate)
{
    return m * input_rate == k * length * rate;
}

} // namespace

double LoopLayout::cents_flat() const
{
    if (!resampled)
        return 0;
    const double span = length_at_rate > 0 ? length_at_rate : static_cast<double>(input_length);
    return 1200 * std::log2(static_cast<double>(output_length) /
                            (static_cast<double>(repeats) * span));
}

double loop_cents_flat(std::size_t input_length, std::uint32_t input_rate, std::uint32_t rate,
                       std::size_t output_length)
{
    LoopLayout layout;
    layout.input_length = input_length;
    layout.length_at_rate = static_cast<double>(input_length) * rate / input_rate;
    layout.output_length = output_length;
    layout.repeats = static_cast<std::size_t>(
        std::max(1.0, std::round(static_cast<double>(output_length) / layout.length_at_rate)));
    layout.resampled = !keeps_pitch(output_length, layout.repeats, input_length, input_rate, rate);
    return layout.cents_flat();
}

LoopLayout plan_loop(std::size_t start, std::size_t end, std::uint32_t input_rate,
                     std::uint32_t rate)
{
    assert(start < end && input_rate > 0 && rate > 0);
    LoopLayout layout;
    const std::uint64_t length = end - start;
    layout.input_length = length;
    layout.length_at_rate = static_cast<double>(length * rate) / input_rate;
    // k passes span k * length * rate / input_rate samples at the rate.
    const auto output_for = [&](std::uint64_t k) {
        return nearest_blocks(k * length * rate, input_rate);
    };
    const auto cents_off = [&](std::uint64_t k, std::uint64_t m) {
        return std::abs(std::log2(static_cast<double>(m) / (k * layout.length_at_rate)));
    };
    std::uint64_t best_k = 1, best_m = output_for(1);
    if (layout.length_at_rate < kMinResampledLoop) {
        double best_off = HUGE_VAL;
        for (std::uint64_t k = 1; k <= kMaxLoopRepeats; ++k) {
            const std::uint64_t m = output_for(k);
            const double off = keeps_pitch(m, k, length, input_rate, rate) ? 0.0 : cents_off(k, m);
            if (m > 0 && off < best_off) {
                best_off = off;
                best_k = k;
                best_m = m;
            }
        }
    }
    layout.repeats = best_k;
    layout.output_length = best_m;
    layout.resampled = !keeps_pitch(best_m, best_k, length, input_rate, rate);
    layout.copied = best_m == best_k * length;
    // The loop start lands on the output sample nearest its resampled time.
    layout.intro = layout.copied ? start
                                 : static_cast<std::size_t>(std::llround(
                                       static_cast<double>(start) / layout.step()));
    layout.pad = (kBlockSamples - layout.intro % kBlockSamples) % kBlockSamples;
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
    if (layout.copied) {
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
    const double step = layout.step();
    const SincKernel kernel(step);
    for (std::size_t j = 0; j < layout.intro; ++j) {
        const double t = static_cast<double>(start) - static_cast<double>(layout.intro - j) * step;
        intro[j] = to_pcm(kernel.at(t, plain));
    }
    for (std::size_t j = 0; j < layout.output_length; ++j) {
        const double t = static_cast<double>(start) + static_cast<double>(j) * step;
        loop[j] = to_pcm(kernel.at(t, periodic));
    }
    return out;
}

} // namespace snesbrr
