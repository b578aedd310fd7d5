#pragma once
// RIFF/WAVE in memory. The reader takes PCM (8-bit unsigned, 16/24/32-bit
// signed), IEEE float (32/64-bit) and WAVE_FORMAT_EXTENSIBLE carrying either,
// any number of channels (mixed to mono) and any sample rate, and the first loop
// of a "smpl" chunk before or after the data; it skips chunks it does not know.
// The writer makes the plain 44-byte 16-bit mono header, and a "smpl" chunk after
// the data when the sound loops.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "status.h"

namespace snesbrr {

constexpr int kMaxChannels = 64;

struct MonoPcm {
    std::uint32_t sample_rate = 0;     // frames per second, as stored in the file
    std::vector<std::int16_t> samples; // one per frame, channels averaged
    // The first loop of a "smpl" chunk, in frames as stored (not checked against the
    // samples), with the end made exclusive: the chunk itself names the last frame played.
    bool has_loop = false;
    std::uint32_t loop_start = 0;
    std::uint64_t loop_end = 0;
};

// Parses `size` bytes at `data` (owned by the caller). Never reads outside
// them; allocates at most one sample per whole frame present in the data.
// A data chunk that claims more than the file holds is read to its end.
Status read_wav(const std::uint8_t *data, std::size_t size, MonoPcm &out);

// A complete 16-bit mono PCM WAV file of `count` samples at `sample_rate` Hz.
std::vector<std::uint8_t> write_wav(const std::int16_t *samples, std::size_t count,
                                    std::uint32_t sample_rate);

// As write_wav, followed by a "smpl" chunk with one endless forward loop over frames
// [loop_start, loop_end), 0 <= loop_start < loop_end <= count; the chunk stores the
// end as the last frame played, loop_end - 1.
std::vector<std::uint8_t> write_wav_looped(const std::int16_t *samples, std::size_t count,
                                           std::uint32_t sample_rate, std::uint32_t loop_start,
                                           std::uint32_t loop_end);

} // namespace snesbrr
