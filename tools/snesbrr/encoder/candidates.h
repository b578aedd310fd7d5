#pragma once
// What one sample of a block may decode to: the nibbles whose values lie nearest
// a target (16-bit units), kept clear of runs that click, and the path of
// nibbles they make through a block.
//
// The encoder's stages are internal to encoder.cpp, which includes each stage's
// .cpp into one translation unit so that the inner loops inline across stages.
#include <cstdint>

#include "brr.h"

namespace snesbrr {
namespace {

constexpr int kNibbleMin = -8;
constexpr int kNibbleMax = 7;
constexpr int kValueMin = -16384; // 15-bit range of a decoded sample
constexpr int kValueMax = 16383;

std::int64_t squared(int d);

struct Candidate {
    int nibble;
    int value; // decoded 15-bit value
    std::int64_t error;
};

// A block's nibbles so far, packed first-in-top, and the decoder state after
// them. Left uninitialised by default: the searches keep arrays of them.
struct Path {
    int old;
    int older;
    std::int64_t error;
    std::uint64_t nibbles;
};

// `nibbles` with `nibble` (-8..7) appended.
std::uint64_t append(std::uint64_t nibbles, int nibble);

// Writes a whole path's 16 packed nibbles into bytes 1..8 of `block`.
void store_nibbles(std::uint64_t nibbles, std::uint8_t *block);

// True if `value` after `older` and `old` (15-bit values) would make the
// interpolation overflow: the voice's test on the doubled values.
inline bool clicks(int older, int old, int value);

// Up to two nibbles with distinct decoded values, nearest to `target` after
// `prediction` (15-bit) at `shift` 0..12 first (lowest nibble on ties), found
// over all 16 nibbles. Returns how many.
int two_nearest_exhaustive(int prediction, int target, int shift, Candidate out[2]);

// The same two, from at most six trials: the encoder's inner step.
inline int two_nearest(int prediction, int target, int shift, Candidate out[2]);

// As two_nearest, keeping only values that do not click after `old` and
// `older` when `guard` is set; if every nibble would click, the nearest one.
inline int allowed_candidates(int prediction, int target, int shift, int old, int older, bool guard,
                              Candidate out[2]);

} // namespace
} // namespace snesbrr
