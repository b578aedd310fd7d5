#pragma once
// Whole conversions, in memory: a WAV file's sound to BRR at a rate, with or without
// a loop, and a .brr file back to a WAV file. The encoder program writes exactly
// these; the utility's command line makes them without it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "brrfile.h"
#include "encoder.h"
#include "loop.h"
#include "status.h"
#include "wav.h"

namespace snesbrr {

// The SNES has 64 KiB of sound memory, about 116,000 samples of BRR; 2^24
// samples (over 8 minutes at 32 kHz) bounds the encoder's memory use.
constexpr std::size_t kMaxEncodeSamples = std::size_t{1} << 24;

// What an encoding at one rate costs and makes: the loop layout, where there is a loop.
struct EncodePlan {
    std::uint32_t rate = 0;           // Hz
    bool loops = false;
    std::uint64_t start = 0, end = 0; // the loop, input frames, end exclusive
    LoopLayout layout;                // plan_loop(start, end, input rate, rate) when loops
};

// NoSamples or TooLong for a sound the encoder cannot take; Ok otherwise.
Status check_encodable(const MonoPcm &pcm);

// The encoding of `pcm` that `plan` describes: raw blocks, or with a loop the headered
// form. TooLong for a sound too long at that rate, LoopTooFar for a loop too far in.
Status encode_at(const MonoPcm &pcm, const EncodePlan &plan, const EncoderSettings &settings,
                 std::vector<std::uint8_t> &out);

// A 32 kHz WAV file of `file`'s blocks: with blocks_only what they decode to, with a
// looping sample's loop in a "smpl" chunk; else what one voice plays at `pitch`
// (0-0x3fff), a loop played for a while and faded.
Status decode_to_wav(const BrrFile &file, bool blocks_only, int pitch,
                     std::vector<std::uint8_t> &wav);

} // namespace snesbrr
