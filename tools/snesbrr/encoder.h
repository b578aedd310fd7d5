#pragma once
// BRR encoder. It simulates the DSP's decoder for every choice it weighs.
//
// Objective. By default it minimises the error of what one voice plays at
// pitch 0x1000 against the input: every output there is the gaussian's three
// taps (370, 1305, 374 / 2048) around one decoded sample, with each product
// floored, the sum wrapped to 16 bits and bit 0 cleared, all modelled exactly.
// So the encoder gives back the treble the filter takes, and loud material,
// which a fixed boost would clip or wrap, loses nothing. Candidate values are
// drawn near an aim (the input through the filter's inverse, kept within the
// decoder's range, with error feedback); the score is always the exact played
// error. With `flat` it minimises the error of the decoded values themselves,
// as before (for input that is already pre-emphasised); its output is fixed.
//
// Exact blocks. Where a block of input (padding aside) decodes exactly from
// the history a kept path leaves, as the DSP's doubled samples do, it is encoded
// so under either objective, unless that would click: decoded samples, such as
// an exported sample's, re-encode to blocks that decode to the same samples.
// A recording's blocks practically never are, but for digital silence, which
// is then encoded as silence.
//
// Layout of an encoded sample of N input samples (16-bit, mono):
//   [optional silent lead-in block] input blocks, padded with silence
//   [silent blocks] silent end block
// The voice is silenced 9 samples before its end block is reached, so the
// input is followed by at least that much silence (rounded up to blocks) and
// every input sample is heard when the sample plays unlooped at pitch 0x1000.
// The first block uses filter 0 unless the lead-in block is present: the
// decoder's history is unknown when a note starts.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace snesbrr {

// How widely the encoder searches under one objective.
struct SearchWidths {
    int beam;    // decoder histories kept from block to block, 1..16
    int trellis; // nibble paths kept within a block, 1..16
    int refined; // best (filter, shift) pairs per history given to the trellis, 1..6
};

struct EncoderSettings {
    // The flat objective's widths; its output is fixed, so they are too.
    SearchWidths flat_widths{3, 3, 1};
    // The played objective's. On the benchmark's corpus they gain 0.46 dB at
    // pitch 0x1000 over beam 1, trellis 3, refined 1 (no sound loses more than
    // 0.09 dB) for 3.5 times the time: about 25 times real time (32 kHz) on one
    // core. Most of the gain is the pairs refined; a wider beam adds little.
    SearchWidths played_widths{4, 6, 6};
    bool allow_lead_in = true; // may spend 9 bytes on a silent block in front
    bool click_guard = true;   // never decode runs that overflow the interpolation
    // Minimise the error of the decoded samples themselves instead of what the DSP
    // plays through its gaussian filter: for input that is already pre-emphasised.
    bool flat = false;
};

struct EncodedSample {
    std::vector<std::uint8_t> brr; // whole 9-byte blocks, the last with the end flag
    int lead_in_blocks = 0;        // 0 or 1: silent blocks before the first input sample
    // 16-bit units squared. Flat: the decoded values' error over all encoded
    // samples. Played: the error of the outputs at pitch 0x1000 centred on every
    // encoded sample but the first and the last (counting from a lead-in).
    std::int64_t squared_error = 0;
};

// Blocks in the output for `count` input samples, with or without a lead-in
// block, including the end block; 0 for an empty input.
std::size_t encoded_block_count(std::size_t count, bool lead_in);

// The best encoding this program knows: trellis within blocks, beam across
// blocks, lead-in block where it pays under the flat objective (both objectives
// decide it alike, so they give the same size). `pcm` (count samples) owned by
// the caller.
EncodedSample encode(const std::int16_t *pcm, std::size_t count,
                     const EncoderSettings &settings = {});

// A looped sample: `pcm` holds count samples, a whole number of blocks, and the
// loop runs from sample loop_start (a multiple of 16, below count) to the end.
// Every block is encoded, none added: the last carries the end and loop flags.
// Every pass decodes exactly like the first: the loop block uses filter 0, or
// another filter where the end block leaves the decoder's history as the first
// pass enters the loop block (`old` for filter 1, both values for 2 and 3) and
// that costs less error; the decoded passes are compared before it is returned.
// A loop at block 0 keeps filter 0. No lead-in block, so the loop offset in bytes
// is loop_start / 16 * 9. The played objective hears the loop's start after its
// end, at the seam as in the aim.
EncodedSample encode_looped(const std::int16_t *pcm, std::size_t count, std::size_t loop_start,
                            const EncoderSettings &settings = {});

// The common public method, for comparison: each block on its own, every
// filter with shifts 0..12, each nibble the best of all 16 given the decoder
// state, least squared error. No lead-in, no click guard.
EncodedSample encode_baseline(const std::int16_t *pcm, std::size_t count);

// Nibble whose decoded value is nearest to `target` (16-bit units) after the
// prediction `prediction` (15-bit) at `shift` 0..12, tried over all 16 values
// with clamping and wrap. Returns the nibble -8..7; the lowest on ties.
int nearest_nibble_exhaustive(int prediction, int target, int shift);

// A nibble that decodes as near as nearest_nibble_exhaustive's, found from a
// handful of trials: the encoder's inner step.
int nearest_nibble(int prediction, int target, int shift);

} // namespace snesbrr
