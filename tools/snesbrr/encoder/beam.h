#pragma once
// The search across blocks: after each block the `width` cheapest decoder
// histories are kept (with how they were reached), and each is extended
// through the next block by the block search.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder.h"
#include "objective.h"
#include "trellis.h"

namespace snesbrr {
namespace {

// Block choice for one history in the beam.
struct Step {
    std::uint64_t nibbles = 0;
    std::uint8_t header = 0;
    std::uint8_t parent = 0; // index in the previous block's beam
};

struct Node {
    int old = 0;
    int older = 0;
    std::int64_t cost = 0;
    Step step;
    LoopEntry loop;      // once the loop block is encoded
    int loop_filter = 0; // the loop block's filter, once it is encoded
};

// The `capacity` cheapest nodes with distinct decoder states, cheapest first.
class Pool {
  public:
    explicit Pool(int capacity) : capacity_(capacity) {}
    void clear() { size_ = 0; }
    int size() const { return size_; }
    const Node &operator[](int k) const { return nodes_[k]; }
    // Cost a new node must stay below to be kept.
    std::int64_t bound() const;
    void offer(const Node &node);

  private:
    int capacity_;
    int size_ = 0;
    std::array<Node, kMaxWidth> nodes_;
};

constexpr int kMaxRanked = 8; // (filter, shift) pairs a history ranks

// A (filter, shift) pair and its greedy path through the block.
struct Pair {
    std::int64_t error;
    int filter;
    int shift;
    Path path;
};

// The pairs the cheapest history of the beam ranked best, tried by the others.
struct Ranking {
    bool done = false;
    int count = 0;
    Pair pairs[kMaxRanked];
};

// Beam search over the blocks of `Objective`'s layout (FlatObjective or
// PlayedObjective, owned by the caller and kept while the beam is used).
template <class Objective> class Beam {
  public:
    using Block = typename Objective::Block;

    // Block 0 uses filter 0 only (a note starts with an unknown history), and so
    // does the loop block, where a loop jumps in with a history of its own,
    // unless free_loop_block allows more.
    Beam(const Objective &objective, const EncoderSettings &settings);

    // Lets the loop block, not yet encoded, use filters 0..filters-1 (2 or 4).
    // The end block then keeps every pass alike (SeamlessEndBlock) where the
    // loop block's filter is not 0; the search fails if it cannot.
    void free_loop_block(int filters);

    bool done() const { return next_block_ >= objective_.layout.blocks; }
    // True once no path met the end block's constraint: nothing to finish.
    bool failed() const { return failed_; }
    std::size_t next_block() const { return next_block_; }
    // Squared error of the best encoding of the blocks so far.
    std::int64_t best_cost() const { return beam_[0].cost; }
    // Blocks so far that decode exactly to the input, in every path kept.
    std::size_t exact_blocks() const { return exact_blocks_; }

    // True if `other`, given the same blocks from here on, would choose exactly
    // as this one does: the same decoder states in the same order, every cost
    // off by the same `offset` (other's minus this one's). Every choice compares
    // costs with one another, so it stays so, and other's best cost is this
    // one's plus the offset.
    bool same_future(const Beam &other, std::int64_t &offset) const;

    // Encodes the next block. Where some kept history lets the decoder reproduce
    // a block of input exactly, the block is encoded so from those histories
    // alone, whatever the objective: decoded samples re-encode without loss.
    void advance();

    // The blocks of the best encoding, without an end block of its own; blocks
    // before the layout's first stay silent.
    std::vector<std::uint8_t> finish() const;

  private:
    int allowed_filters(std::size_t b) const;
    bool offer_exact(std::size_t b, bool loop_here, bool seamless_end, int filters);
    std::int64_t room(const Node &node) const;
    int rank_pairs(const Block &block, const Node &node, int filters, Ranking &cheapest,
                   Pair best[kMaxRanked]) const;
    void refine(const Block &block, const Node &node, int k, const Pair &pair, bool loop_here);
    void offer(const Node &node, int k, int filter, int shift, const Path &path, bool loop_here);
    // Out of line: the plain encode's hot loop is in advance().
    [[gnu::noinline]] void offer_seamless(const Block &block, const Node &node, int k, bool own);
    void commit(std::size_t b);

    const Objective &objective_;
    std::size_t next_block_;
    int width_;
    int trellis_;
    int refined_;
    int loop_filters_ = 1;
    bool failed_ = false;
    std::size_t exact_blocks_ = 0;
    std::vector<Step> steps_;
    Pool beam_;
    Pool next_;
};

} // namespace
} // namespace snesbrr
