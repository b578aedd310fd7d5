#pragma once
// Fitting a sound into a number of bytes: what its encoding takes at a sample rate, and
// the highest rate at which it fits. Sizes follow from the block layout alone, so no
// encoding is needed to find the rate.
#include <cstddef>
#include <cstdint>

namespace snesbrr {

constexpr std::uint32_t kMinRate = 1000; // Hz: the lowest rate worth encoding at

// The sound an encoding is planned for.
struct SoundShape {
    std::size_t frames = 0;    // input frames, > 0
    std::uint32_t rate = 0;    // input frames per second, > 0
    bool loops = false;        // with the loop [loop_start, loop_end), input frames
    std::uint64_t loop_start = 0, loop_end = 0;
};

// Bytes of the encoding of `sound` at `rate` Hz: exactly, headered, for a loop; for a
// sound that plays once, without the lead-in block the encoder may add (9 bytes).
std::size_t least_bytes(const SoundShape &sound, std::uint32_t rate);

// The highest rate from `highest` down to `lowest` (Hz) whose least_bytes() is at most
// `limit`; 0 when none is. Sizes grow with the rate nearly monotonically, so every rate
// is tried, from the top.
std::uint32_t highest_fitting_rate(const SoundShape &sound, std::uint64_t limit,
                                   std::uint32_t highest, std::uint32_t lowest);

} // namespace snesbrr
