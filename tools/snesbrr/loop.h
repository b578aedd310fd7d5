#pragma once
// How a loop of the input becomes whole BRR blocks.
//
// The DSP loops whole 16-sample blocks, from the loop block through the end block.
// An input loop of L frames [start, end), encoded at `rate` Hz from input at
// `input_rate` Hz, spans L' = L * rate / input_rate samples at that rate, not
// always a whole number. It becomes M output samples, M a multiple of 16:
//   repeated:  the loop k times in a row, k = 1..16, M the multiple of 16
//              nearest k * L'. Every loop with L' below kMinResampledLoop is
//              repeated, k chosen for the least pitch error (the smallest on a
//              tie), and so is every whole L' that is already whole blocks (k = 1).
//              For a whole L', k = 16 / gcd(L', 16) and the pitch stays exact.
//   resampled: any longer loop: M the multiple of 16 nearest to L' (the larger on
//              a tie). It costs no memory where repeating would cost up to 15 L'
//              samples, but the sample then plays 1200 * log2(M / L') cents flat
//              (sharp if negative) against the rate.
// The whole sound is resampled by M / (k * L) output samples per input frame, so
// only whole-block loops at the input's own rate are copied as they are.
// The output is: fewer than 16 samples of silence so that the loop starts on a block
// boundary, the sound before the loop, then the loop. Sound after it is dropped.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace snesbrr {

constexpr std::size_t kMinResampledLoop = 256; // samples at the rate
constexpr std::size_t kMaxLoopRepeats = 16;

struct LoopLayout {
    std::size_t input_length = 0;  // L, input frames
    double length_at_rate = 0;     // L', samples at the rate; 0 stands for L (the input's rate)
    std::size_t output_length = 0; // M, output samples, a multiple of 16
    std::size_t repeats = 1;       // k, passes of the input loop in M
    bool resampled = false;        // the pitch is not kept: M differs from k * L'
    bool copied = false;           // M = k * L: the input's frames as they are
    std::size_t pad = 0;           // silent samples in front, 0..15
    std::size_t intro = 0;         // output samples of sound before the loop

    // Input frames per output sample.
    double step() const
    {
        return static_cast<double>(repeats * input_length) / static_cast<double>(output_length);
    }

    // First sample of the loop block, a multiple of 16.
    std::size_t loop_start() const { return pad + intro; }
    // All output samples, a multiple of 16.
    std::size_t total() const { return pad + intro + output_length; }
    // 1200 * log2(M / (k * L')): cents the sample plays flat (sharp if negative)
    // against the rate; 0 where the pitch is kept.
    double cents_flat() const;
};

// What cents_flat() states for a looped encoding, from what its input and output
// show: a loop of `input_length` frames at `input_rate` Hz that became
// `output_length` samples (a multiple of 16) at `rate` Hz, as the k passes
// nearest output_length / L' (pitch kept where that is exact). The figure a
// caller that holds the output derives by the encoder's own rule.
double loop_cents_flat(std::size_t input_length, std::uint32_t input_rate, std::uint32_t rate,
                       std::size_t output_length);

// The layout for the input loop [start, end) in frames, start < end, of input at
// `input_rate` Hz encoded at `rate` Hz (by default the input's own).
LoopLayout plan_loop(std::size_t start, std::size_t end, std::uint32_t input_rate = 1,
                     std::uint32_t rate = 1);

// The output samples `layout` (from plan_loop(start, end)) describes, made from
// `pcm` (at least `end` frames, owned by the caller). Resampling treats the loop as
// periodic, its last frame followed by its first as the hardware plays it, so the
// resampled loop wraps without a jump.
std::vector<std::int16_t> lay_out_loop(const std::int16_t *pcm, std::size_t start, std::size_t end,
                                       const LoopLayout &layout);

} // namespace snesbrr
