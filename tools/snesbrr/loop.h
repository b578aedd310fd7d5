#pragma once
// How a loop of the input becomes whole BRR blocks.
//
// The DSP loops whole 16-sample blocks, from the loop block through the end block.
// An input loop of L frames [start, end) becomes M output samples, M a multiple of 16:
//   repeated:  M = k * L with k = 16 / gcd(L, 16): the loop k times in a row. The
//              pitch stays exact. Every loop shorter than kMinResampledLoop frames
//              is repeated, and so is every L that is already whole blocks (k = 1).
//   resampled: any longer loop: the whole sound is resampled by M / L, M the multiple
//              of 16 nearest to L (the larger on a tie). It costs no memory where
//              repeating would cost (k - 1) * L samples, but the sample then plays
//              1200 * log2(M / L) cents flat (sharp if negative).
// The output is: fewer than 16 samples of silence so that the loop starts on a block
// boundary, the sound before the loop, then the loop. Sound after it is dropped.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace snesbrr {

constexpr std::size_t kMinResampledLoop = 256; // frames

struct LoopLayout {
    std::size_t input_length = 0;  // L, input frames
    std::size_t output_length = 0; // M, output samples, a multiple of 16
    bool resampled = false;        // else M = k * L
    std::size_t pad = 0;           // silent samples in front, 0..15
    std::size_t intro = 0;         // output samples of sound before the loop

    // First sample of the loop block, a multiple of 16.
    std::size_t loop_start() const { return pad + intro; }
    // All output samples, a multiple of 16.
    std::size_t total() const { return pad + intro + output_length; }
    // 1200 * log2(M / L): cents the sample plays flat (sharp if negative); 0 if repeated.
    double cents_flat() const;
};

// The layout for the input loop [start, end) in frames, start < end.
LoopLayout plan_loop(std::size_t start, std::size_t end);

// The output samples `layout` (from plan_loop(start, end)) describes, made from
// `pcm` (at least `end` frames, owned by the caller). Resampling treats the loop as
// periodic, its last frame followed by its first as the hardware plays it, so the
// resampled loop wraps without a jump.
std::vector<std::int16_t> lay_out_loop(const std::int16_t *pcm, std::size_t start, std::size_t end,
                                       const LoopLayout &layout);

} // namespace snesbrr
