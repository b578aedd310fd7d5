#include "voice.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>

#include "brr.h"
#include "gauss_table.h"

namespace snesbrr {

int pitch_for_rate(int rate)
{
    // The pitch steps the position by pitch / 0x1000 source samples per output sample.
    return static_cast<int>(std::lround(static_cast<double>(kUnityPitch) * rate / kOutputRate));
}

double rate_cents(int rate)
{
    return 1200 * std::log2(static_cast<double>(rate) / kOutputRate);
}

namespace {

constexpr int kRingSize = 12;

int wrap16(int value)
{
    return ((value + 32768) & 0xFFFF) - 32768;
}

// The header ends the note: end flag without loop flag.
bool silences(std::uint8_t header)
{
    return (header & 3) == 1;
}

// Sum of the first three weighted taps before the DSP's 16-bit wrap.
int first_three(int a, int b, int c, int offset)
{
    const std::int16_t *g = kGaussTable;
    return ((g[255 - offset] * a) >> 11) + ((g[511 - offset] * b) >> 11) +
           ((g[256 + offset] * c) >> 11);
}

} // namespace

int interpolate(const std::int16_t taps[4], int offset)
{
    assert(offset >= 0 && offset <= 255);
    const int wrapped = wrap16(first_three(taps[0], taps[1], taps[2], offset));
    const int summed = wrapped + ((kGaussTable[offset] * taps[3]) >> 11);
    const int clamped = std::clamp(summed, -32768, 32767);
    return clamped - (clamped & 1);
}

namespace {

// The offsets (1/256 of a sample) whose first three weights add up to more
// than 2048: only there can their wrapped sum overflow.
struct OverflowOffsets {
    int count = 0;
    int offset[256];
    OverflowOffsets()
    {
        for (int o = 0; o < 256; ++o)
            if (kGaussTable[255 - o] + kGaussTable[511 - o] + kGaussTable[256 + o] > 2048)
                offset[count++] = o;
    }
};

} // namespace

bool overflows_near_full(int a, int b, int c)
{
    static const OverflowOffsets offsets;
    for (int k = 0; k < offsets.count; ++k) {
        const int sum = first_three(a, b, c, offsets.offset[k]);
        if (sum < -32768 || sum > 32767)
            return true;
    }
    return false;
}

namespace {

// The voice's timeline from key-on. With `loop_block` below the block count the end
// block jumps there and the render runs as render_looped_voice says; otherwise as
// render_voice says.
Status play(const std::uint8_t *brr, std::size_t size, int pitch, std::size_t loop_block,
            std::vector<std::int16_t> &out)
{
    assert(pitch >= 0 && pitch <= kMaxPitch);
    out.clear();
    std::size_t blocks = 0;
    const Status status = count_blocks(brr, size, blocks);
    if (status != Status::Ok)
        return status;
    // The set-up samples already check block 0's header: such a note is never heard.
    if (blocks == 0 || silences(brr[0]))
        return Status::Ok;
    const bool looping = loop_block < blocks;

    std::int16_t ring[kRingSize] = {};
    int write = 0;           // where the next group goes; also the oldest sample
    std::size_t block = 0;   // block the decoder is in; == blocks once it ran off the end
    int group = 0;           // next group of 4 samples in that block
    History history;         // carried over the jump to the loop block, as on the DSP
    std::size_t decoded = 0; // samples pushed into the ring so far, every pass counted

    // Past the last block (a loop whose target is unknown, or no end flag)
    // the ring is fed silence so the last block can be heard to its end.
    auto decode_next_group = [&] {
        if (block < blocks) {
            decode_group(brr + block * kBlockBytes, group, history, ring + write);
        } else {
            std::fill(ring + write, ring + write + 4, std::int16_t{0});
        }
        write = (write + 4) % kRingSize;
        decoded += 4;
        if (group == 3) {
            block = looping && block + 1 == blocks ? loop_block : block + 1;
            group = 0;
        } else {
            ++group;
        }
    };

    // Key-on: three of the five silent set-up samples fill the ring with samples 0-11.
    for (int k = 0; k < 3; ++k)
        decode_next_group();

    // Unlooped, the last sample heard; looped, the last of the first pass.
    const std::size_t last_sample = blocks * kBlockSamples - 1;
    std::size_t limit = looping ? kLoopRenderSamples : kMaxRenderSamples;
    // A loop's first pass is heard whole even past the usual length, if it ever ends.
    bool passed = !looping || pitch == 0;
    int position = 0; // 4.12 fixed point within the ring, plus 4 dropped bits
    while (out.size() < (passed ? limit : kMaxRenderSamples)) {
        const std::uint8_t header = block < blocks ? brr[block * kBlockBytes] : 0;
        const int whole = position >> 12;
        const int offset = (position >> 4) & 0xFF;
        // The source sample this output is centred on (taps[1]), counted over all passes.
        const std::size_t centre = decoded - kRingSize + static_cast<std::size_t>(whole) + 1;
        if (!looping && centre > last_sample)
            break;
        std::int16_t taps[4];
        for (int j = 0; j < 4; ++j)
            taps[j] = ring[(write + whole + j) % kRingSize];
        out.push_back(static_cast<std::int16_t>(interpolate(taps, offset)));
        if (!passed && centre >= last_sample) {
            // A whole pass has been heard: the jump and the fade follow, past the
            // usual length if the pass needed it.
            passed = true;
            limit = std::clamp(out.size() + kLoopFadeSamples, limit, kMaxRenderSamples);
        }
        if (silences(header))
            break;
        if (position >= 0x4000)
            decode_next_group();
        position = std::min((position & 0x3FFF) + pitch, 0x7FFF);
    }
    if (looping) {
        // A linear fade to silence, so the cut-off loop ends without a click.
        const std::size_t fade = std::min(kLoopFadeSamples, out.size());
        std::int16_t *tail = out.data() + out.size() - fade;
        for (std::size_t i = 0; i < fade; ++i)
            tail[i] = static_cast<std::int16_t>(tail[i] * static_cast<std::int64_t>(fade - 1 - i) /
                                                static_cast<std::int64_t>(fade));
    }
    return Status::Ok;
}

} // namespace

Status render_voice(const std::uint8_t *brr, std::size_t size, int pitch,
                    std::vector<std::int16_t> &out)
{
    return play(brr, size, pitch, SIZE_MAX, out);
}

Status render_looped_voice(const std::uint8_t *brr, std::size_t size, int pitch,
                           std::size_t loop_block, std::vector<std::int16_t> &out)
{
    return play(brr, size, pitch, loop_block, out);
}

} // namespace snesbrr
