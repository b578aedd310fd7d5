#pragma once
// A loop whose every pass decodes alike: the end block that leaves the decoder
// as the first pass entered the loop block, and the check on the decoded passes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "brr.h"
#include "candidates.h"

namespace snesbrr {
namespace {

// The end block of a loop whose loop block has a filter other than 0. Every
// pass decodes alike only if the end block leaves the decoder as the first pass
// entered the loop block, `entry`: both values (`whole`), or only `old` when the
// loop block's filter is 1 (its prediction ignores older). The trellis of
// kMaxWidth paths runs through the block's first samples, then every nibble is
// tried for the last kTail of them, keeping what lands exactly on `entry`.
template <class Block> class SeamlessEndBlock {
  public:
    static constexpr int kTail = 3; // samples tried over all 16 nibbles

    // `block`: the objective's view of the end block, which scores the seam.
    SeamlessEndBlock(const Block &block, History entry, bool whole)
        : block_(block), entry_(entry), whole_(whole)
    {
    }

    // The best path with `filter` and `shift` from `start` below `bound` into
    // `best`; false if none lands.
    bool search(int filter, int shift, const Path &start, std::int64_t bound, Path &best);

  private:
    void tail(int j, const Path &p);

    const Block &block_;
    History entry_;
    bool whole_;
    int filter_ = 0;
    int shift_ = 0;
    Path *best_ = nullptr;
    std::int64_t bound_ = 0;
    bool found_ = false;
};

// True if a second pass through the loop, from `loop_block` to the end of `brr`
// (whole blocks), decodes exactly like the first; every later pass then does
// too, as it enters with the same history. The first block must use filter 0.
bool passes_alike(const std::vector<std::uint8_t> &brr, std::size_t loop_block);

} // namespace
} // namespace snesbrr
