#pragma once
// The search within one block: paths of nibbles for a (filter, shift) pair,
// scored by either objective.
#include <cstdint>

#include "candidates.h"

namespace snesbrr {
namespace {

constexpr int kMaxWidth = 16; // the most paths kept, in a block or across blocks

// Runs the first `samples` samples (16: the whole block) of the block viewed
// by `block` (FlatBlock or PlayedBlock) with `filter` 0..3 and `shift` 0..12,
// from `start`, keeping `width` (1..kMaxWidth) paths whose error stays below
// `bound`. Fills `out` best first and returns how many; 0 if none stayed below.
// Width 1 is the greedy search: each sample takes the nearest candidate.
template <class Block>
int search_block(const Block &block, int filter, int shift, const Path &start, int width,
                 std::int64_t bound, Path out[], int samples = kBlockSamples);

} // namespace
} // namespace snesbrr
