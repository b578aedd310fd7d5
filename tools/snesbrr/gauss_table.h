#pragma once
#include <cstdint>

namespace snesbrr {

// Interpolation weights of the DSP, in units of 1/2048. For a fractional
// position o (0..255, in 1/256 of a source sample) the four taps, oldest first,
// take weights [255 - o], [511 - o], [256 + o] and [o]; their sum is 2047..2049.
extern const std::int16_t kGaussTable[512];

} // namespace snesbrr
