#pragma once
// BRR, the SNES sound DSP's sample format.
//
// A sample is a run of 9-byte blocks. Byte 0 of a block is its header:
//   bits 4-7  shift: a nibble n decodes to (n << shift) >> 1; shifts 13-15 are
//             out of range and give -2048 for a negative nibble, 0 otherwise
//   bits 2-3  filter 0-3: how much of the two previous samples is added
//   bit 1     loop flag: after an end block, continue at the loop address
//   bit 0     end flag: the sample's last block
// Bytes 1-8 hold 16 signed 4-bit samples (-8..7), high nibble first.
//
// The decoder works on 15-bit values (-16384..16383) and keeps the last two as
// its history. A listener hears each value doubled: 16-bit PCM with bit 0 clear.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "status.h"

namespace snesbrr {

constexpr std::size_t kBlockBytes = 9;
constexpr int kBlockSamples = 16;
constexpr int kMaxShift = 12; // the largest shift that scales a nibble

struct BlockHeader {
    int shift = 0;  // 0..15
    int filter = 0; // 0..3
    bool loop = false;
    bool end = false;
};

BlockHeader parse_header(std::uint8_t byte);
std::uint8_t make_header(int shift, int filter, bool loop, bool end);

// The two previous decoded 15-bit values. A fresh voice holds zeros; the DSP
// does not clear them when a note starts.
struct History {
    int old = 0;
    int older = 0;
};

// Signed nibble -8..7 at position 0..15 of the block starting at `block`.
int block_nibble(const std::uint8_t *block, int index);

// The three stages of decoding one sample, inline for the encoder's inner loops.
//   scale_nibble: nibble -8..7 and shift 0..15 to the 15-bit step
//   predict: the filter's contribution (15-bit units) from the history, filter 0..3
//   clamp_and_wrap: their sum clamped to 16 bits, then wrapped to 15 bits as stored
inline int scale_nibble(int nibble, int shift)
{
    assert(nibble >= -8 && nibble <= 7 && shift >= 0 && shift <= 15);
    if (shift > kMaxShift)
        return nibble < 0 ? -2048 : 0;
    // Multiplying instead of shifting left keeps negative nibbles well defined.
    return (nibble * (1 << shift)) >> 1;
}

inline int predict(int filter, int old, int older)
{
    switch (filter) {
    case 0:
        // prediction = 0
        return 0;
    case 1:
        // prediction = old * 15/16
        return old + ((-old) >> 4);
    case 2:
        // prediction = old * 61/32 - older * 15/16
        return 2 * old + ((-3 * old) >> 5) - older + (older >> 4);
    case 3:
        // prediction = old * 115/64 - older * 13/16
        return 2 * old + ((-13 * old) >> 6) - older + ((3 * older) >> 4);
    default: assert(false && "filter is two bits"); return 0;
    }
}

inline int clamp_and_wrap(int sum)
{
    const int clamped = std::clamp(sum, -32768, 32767);
    // Keep the low 15 bits and sign-extend from bit 14: 0x4000..0x7FFF turn
    // negative and -0x8000 becomes 0.
    const int low = clamped & 0x7FFF;
    return low >= 0x4000 ? low - 0x8000 : low;
}

// Decodes one nibble, advances `history`, returns the new 15-bit value.
int decode_nibble(int nibble, int shift, int filter, History &history);

// Decodes samples [4*group, 4*group + 4) of a block (group 0..3) into `out`
// as doubled 16-bit values, advancing `history`.
void decode_group(const std::uint8_t *block, int group, History &history, std::int16_t out[4]);

// Decodes all 16 samples of a block, doubled, advancing `history`.
void decode_block(const std::uint8_t *block, History &history, std::int16_t out[16]);

// Number of blocks a decoder plays from `data`: up to and including the first
// block with the end flag, else every whole block. PartialBlock if the bytes
// end inside a block that no end flag precedes.
Status count_blocks(const std::uint8_t *data, std::size_t size, std::size_t &blocks);

// Decodes every played block (see count_blocks) from a zero history into
// `out`, doubled, 16 values per block.
Status decode_all(const std::uint8_t *data, std::size_t size, std::vector<std::int16_t> &out);

} // namespace snesbrr
