#pragma once
// What the encoder minimises, in 16-bit units squared. Two objectives give the
// block search a view of one block with the same small interface:
//   candidates(j, filter, shift, old, older, wanted, out)
//       nibbles for sample j (0..15 within the block) after the history (old,
//       older), nearest the objective's target first; the first `wanted` (1 or
//       2) carry their error. Returns how many, 1 or 2.
//   sample_error(j, older, old, value)  the error that `value` at sample j adds
//   allowed(older, old, value)          false where the click guard forbids it
//   start_error(start)                  what a path entering the block adds
//   end_error(end, filter, shift)       what a path leaving it adds
//   targets()                           the values (16-bit) the samples aim at,
//                                       for a first guess of the shift
//   input()                             the block's 16 input samples (16-bit)
// Flat: each decoded value, doubled, against the input.
// Played: what one voice plays at pitch 0x1000 against the input (see encoder.h).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "brr.h"
#include "candidates.h"
#include "encoder.h"

namespace snesbrr {
namespace {

constexpr std::size_t kNoLoop = SIZE_MAX;

// Which blocks of a layout (16-bit samples in whole blocks, without the end
// block of a sample that does not loop) the encoder decides.
struct Layout {
    std::size_t blocks;     // all blocks of the layout
    std::size_t first;      // blocks before it are a silent lead-in, not encoded
    std::size_t loop_block; // where the last block jumps back to, or kNoLoop
    std::size_t input_end;  // samples before it are input; padding and silence follow
    // True if block `b` holds input only, no padding: a block the encoder
    // reproduces exactly where the decoder can.
    bool all_input(std::size_t b) const { return (b + 1) * kBlockSamples <= input_end; }
};

// The loop block as one path through the beam encoded it: its first two values
// (15-bit), the same on every pass of a seamless loop, and the decoder's
// history as the first pass entered it.
struct LoopEntry {
    int head[2] = {0, 0};
    History history;
};

// The first two values of a loop block with these nibbles (packed as a Path's)
// at `filter` and `shift`, entered with the history `entry`: on every pass,
// since a seamless loop enters alike (filter 0 ignores the history).
void loop_heads(std::uint64_t nibbles, int filter, int shift, History entry, int head[2]);

class FlatBlock {
  public:
    FlatBlock(const int *target, bool guard) : target_(target), guard_(guard) {}
    inline int candidates(int j, int filter, int shift, int old, int older, int wanted,
                          Candidate out[2]) const;
    std::int64_t sample_error(int j, int older, int old, int value) const;
    bool allowed(int older, int old, int value) const;
    std::int64_t start_error(const Path &) const { return 0; }
    std::int64_t end_error(const Path &, int, int) const { return 0; }
    const int *targets() const { return target_; }
    const int *input() const { return target_; }

  private:
    const int *target_; // the block's 16 input samples
    bool guard_;        // keep clear of values that click
};

class FlatObjective {
  public:
    using Block = FlatBlock;
    // `target`: the layout's samples, 16-bit, whole blocks, of which the first
    // `input_end` are input.
    FlatObjective(std::vector<int> target, std::size_t input_end, std::size_t first,
                  std::size_t loop_block, bool guard);
    static const SearchWidths &widths(const EncoderSettings &settings)
    {
        return settings.flat_widths;
    }
    // Block `b` of the layout; the flat objective does not hear the loop.
    FlatBlock block(std::size_t b, const LoopEntry &) const;

    const Layout layout;

  private:
    std::vector<int> target_;
    bool guard_;
};

// A loop's seam: after the end block playback continues with the loop block,
// whose first two values are `loop.head`. The end block's last sample is then
// heard beside head[0], and head[0] beside the end block's last sample.
struct Seam {
    bool active = false; // this is the end block of a loop
    bool own = false;    // the loop block is this block: the heads are the path's own
    LoopEntry loop;
    int last_input = 0; // input at the end block's last sample, 16-bit
    int head_input = 0; // input at the loop block's first sample, 16-bit
};

// The played objective's view of one block. Indices are within the block; the
// input has one sample before it and the aim two (from the previous block, or
// silence before the first).
class PlayedBlock {
  public:
    inline int candidates(int j, int filter, int shift, int old, int older, int wanted,
                          Candidate out[2]) const;
    inline std::int64_t sample_error(int j, int older, int old, int value) const;
    bool allowed(int older, int old, int value) const;
    std::int64_t start_error(const Path &start) const;
    std::int64_t end_error(const Path &end, int filter, int shift) const;
    const int *targets() const { return aim_; }
    const int *input() const { return input_; }

  private:
    friend class PlayedObjective;
    PlayedBlock() = default;
    std::int64_t pending_error(int j, int older, int old) const;

    const int *input_ = nullptr; // what should be heard, 16-bit
    const int *aim_ = nullptr;   // values whose playback would be the input: a target, not a score
    int counted_from_ = 0;       // samples before it complete no output that is heard
    Seam seam_;
    // The output centred on a block's last sample completes in the next block.
    // Until then a path carries an estimate of its error, as if the next value
    // met its aim, so that a block is not chosen for a last value that only the
    // next one pays for; the next block replaces the estimate by the exact error.
    bool estimates_end_ = false;
    bool settles_start_ = false;
    bool guard_ = true;
};

// What the played objective measures for a whole layout, with two samples of
// silence in front so that every block sees its predecessors.
class PlayedObjective {
  public:
    using Block = PlayedBlock;
    // `input`: the layout's samples (16-bit), of which the first `input_end` are
    // input and the rest padding. The aim solves, for the whole
    // layout with silence around it, "the output centred on each sample equals
    // the input" (the gaussian's three taps, a tridiagonal system; its inverse
    // is stable both ways). A loop's beginning follows its end instead of silence.
    PlayedObjective(const std::vector<int> &input, std::size_t input_end, std::size_t first,
                    std::size_t loop_block, bool guard);
    static const SearchWidths &widths(const EncoderSettings &settings)
    {
        return settings.played_widths;
    }
    // Block `b` of the layout, entered by a path that encoded the loop block as
    // `loop` (heard at the seam).
    PlayedBlock block(std::size_t b, const LoopEntry &loop) const;

    const Layout layout;

  private:
    static constexpr std::size_t kFront = 2;
    static constexpr std::size_t kLoopContext = 32; // the inverse's memory, in samples
    std::vector<int> input_;
    std::vector<int> aim_;
    bool guard_;
};

} // namespace
} // namespace snesbrr
