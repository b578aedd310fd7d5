#pragma once
// One DSP voice playing a BRR sample at a pitch, at full volume and without
// envelope, the way the hardware's timeline runs it.
//
// The voice keeps a ring of the last 12 decoded samples. Its 15-bit position
// counter has 12 integer bits (source samples) and a fraction whose top 8 bits
// pick the interpolation weights. The 14-bit pitch is added once per output
// sample: 0x1000 steps one source sample per output sample of 1/32000 s.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "status.h"

namespace snesbrr {

constexpr int kOutputRate = 32000;                          // output samples per second
constexpr int kUnityPitch = 0x1000;                         // plays a sample at 32000 Hz
constexpr int kMaxPitch = 0x3FFF;                           // the pitch register has 14 bits
constexpr std::size_t kMaxRenderSamples = 10 * kOutputRate; // 10 s
constexpr std::size_t kLoopRenderSamples = 2 * kOutputRate; // 2 s of a looping sample
constexpr std::size_t kLoopFadeSamples = kOutputRate / 20;  // 50 ms fade that ends it

// The pitch register value that plays a sample recorded at rate Hz (1..32000) at its
// recorded pitch, rounded: kUnityPitch at kOutputRate.
int pitch_for_rate(int rate);

// A sample recorded at rate Hz (> 0) against one of kOutputRate, in cents: how far its
// pitch stands from the note a 32 kHz sample of the same instrument is tuned to.
double rate_cents(int rate);

// One output sample from four doubled samples, oldest first, at fraction
// `offset` 0..255 (1/256 of a source sample past taps[1]). Keeps the DSP's
// 16-bit wrap of the first three products, so extreme runs click as they do
// on the hardware. Result: 16-bit with bit 0 clear.
int interpolate(const std::int16_t taps[4], int offset);

// interpolation_overflows for three samples that all lie near full scale.
bool overflows_near_full(int a, int b, int c);

// True if three consecutive doubled samples a, b, c would overflow the
// interpolation's 16-bit wrap at some offset and so produce a loud click.
// Inline: the encoder asks it of every value it weighs.
inline bool interpolation_overflows(int a, int b, int c)
{
    // Only when all three samples lie near full scale (within 16 * 2048 / 336
    // of it) can the sum leave the 16-bit range.
    constexpr int kNearFull = 32768 - 128;
    if (std::abs(a) < kNearFull || std::abs(b) < kNearFull || std::abs(c) < kNearFull)
        return false;
    return overflows_near_full(a, b, c);
}

// Renders a BRR sample (bytes owned by the caller) at `pitch` 0..0x3FFF on a
// fresh voice into `out` (32 kHz, 16-bit): from the first audible sample to
// the one at which the voice is silenced by the end block. A sample that ends
// with a loop flag, or without an end flag, plays through its last block once.
// Never more than kMaxRenderSamples. PartialBlock if the data is cut in a block.
Status render_voice(const std::uint8_t *brr, std::size_t size, int pitch,
                    std::vector<std::int16_t> &out);

// As render_voice, for a sample whose end block has the loop flag: the decoder
// goes on at block `loop_block` (at or before the end block, else no jump is made),
// its history carried over. Renders kLoopRenderSamples, or more when the first pass
// through the end block ends later (then that pass and kLoopFadeSamples, at most
// kMaxRenderSamples in all), and fades the last kLoopFadeSamples linearly to silence.
Status render_looped_voice(const std::uint8_t *brr, std::size_t size, int pitch,
                           std::size_t loop_block, std::vector<std::int16_t> &out);

} // namespace snesbrr
