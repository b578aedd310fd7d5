// Beam search across blocks: each kept history ranks (filter, shift) pairs by
// their greedy path, the best pairs are refined by the trellis, and the
// cheapest distinct histories go on to the next block.
#include "beam.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "loop_seam.h"

namespace snesbrr {
namespace {

// Inserts item among the first count entries of items, which stay in ascending cost,
// keeping at most capacity of them; returns the new count. When the list is full the
// last entry gives way, so callers offer only items that beat it.
template <class T, class Cost>
int insert_ranked(T *items, int count, int capacity, const T &item, Cost cost)
{
    int at = std::min(count, capacity - 1);
    for (; at > 0 && cost(items[at - 1]) > cost(item); --at)
        items[at] = items[at - 1];
    items[at] = item;
    return std::min(count + 1, capacity);
}

std::int64_t Pool::bound() const
{
    return size_ == 0 || size_ < capacity_ ? INT64_MAX : nodes_[size_ - 1].cost;
}

void Pool::offer(const Node &node)
{
    for (int k = 0; k < size_; ++k) {
        if (nodes_[k].old == node.old && nodes_[k].older == node.older) {
            if (node.cost >= nodes_[k].cost)
                return;
            std::copy(nodes_.begin() + k + 1, nodes_.begin() + size_, nodes_.begin() + k);
            --size_;
            break;
        }
    }
    if (node.cost >= bound())
        return;
    size_ =
        insert_ranked(nodes_.data(), size_, capacity_, node, [](const Node &n) { return n.cost; });
}

// The shift whose nibble range just covers the largest residual of the block
// when the filter predicts from the target (16-bit) itself: a good first guess.
int estimated_shift(const int *target, int filter, int old, int older)
{
    int largest = 0;
    for (int j = 0; j < kBlockSamples; ++j) {
        const int prediction = predict(filter, old, older);
        largest = std::max(largest, std::abs(target[j] - 2 * prediction));
        older = old;
        old = std::clamp(target[j] >> 1, kValueMin, kValueMax);
    }
    int shift = 0;
    while (shift < kMaxShift && (8 << shift) < largest)
        ++shift;
    return shift;
}

template <class Objective>
Beam<Objective>::Beam(const Objective &objective, const EncoderSettings &settings)
    : objective_(objective), next_block_(objective.layout.first),
      width_(std::clamp(Objective::widths(settings).beam, 1, kMaxWidth)),
      trellis_(std::clamp(Objective::widths(settings).trellis, 1, kMaxWidth)),
      refined_(std::clamp(Objective::widths(settings).refined, 1, kMaxRanked - 2)),
      steps_(objective.layout.blocks * static_cast<std::size_t>(width_)), beam_(width_),
      next_(width_)
{
    beam_.offer(Node{});
}

template <class Objective> void Beam<Objective>::free_loop_block(int filters)
{
    [[maybe_unused]] const Layout &layout = objective_.layout;
    assert(next_block_ <= layout.loop_block && layout.loop_block > layout.first && filters <= 4);
    loop_filters_ = filters;
}

template <class Objective>
bool Beam<Objective>::same_future(const Beam &other, std::int64_t &offset) const
{
    if (beam_.size() != other.beam_.size() || beam_.size() == 0)
        return false;
    offset = other.beam_[0].cost - beam_[0].cost;
    for (int k = 0; k < beam_.size(); ++k) {
        const Node &a = beam_[k], &b = other.beam_[k];
        if (a.old != b.old || a.older != b.older || b.cost - a.cost != offset)
            return false;
    }
    return true;
}

template <class Objective> void Beam<Objective>::advance()
{
    assert(!done());
    const std::size_t b = next_block_++;
    const Layout &layout = objective_.layout;
    const bool loop_here = b == layout.loop_block;
    const bool seamless_end = b + 1 == layout.blocks && loop_filters_ > 1;
    const int filters = allowed_filters(b);
    next_.clear();
    if (layout.all_input(b) && offer_exact(b, loop_here, seamless_end, filters)) {
        ++exact_blocks_;
        commit(b);
        return;
    }
    Ranking cheapest;
    for (int k = 0; k < beam_.size(); ++k) {
        const Node &node = beam_[k];
        const LoopEntry loop =
            loop_here ? LoopEntry{{0, 0}, History{node.old, node.older}} : node.loop;
        const Block block = objective_.block(b, loop);
        // Where the loop block has a filter other than 0 the end block must land
        // on the history the first pass brought.
        if (seamless_end && (loop_here || node.loop_filter != 0)) {
            offer_seamless(block, node, k, loop_here);
            if (!loop_here)
                continue;
        }
        Pair best[kMaxRanked];
        const int ranked = rank_pairs(block, node, filters, cheapest, best);
        for (int r = 0; r < ranked; ++r)
            refine(block, node, k, best[r], loop_here);
    }
    commit(b);
}

// The path through the block `block` views that decodes its input exactly with
// `filter` and `shift` from the history in `path`, which it extends and scores
// as the block search would; false if none does. A run that would click is not
// reproduced: the click guard outranks exactness (three samples at the negative
// rail are exactly decodable and overflow the interpolation).
template <class Block> bool exact_path(const Block &block, int filter, int shift, Path &path)
{
    const int *input = block.input();
    path.error += block.start_error(path);
    for (int j = 0; j < kBlockSamples; ++j) {
        const int value = input[j] / 2;
        const int prediction = predict(filter, path.old, path.older);
        int nibble = kNibbleMin;
        while (nibble <= kNibbleMax &&
               clamp_and_wrap(prediction + scale_nibble(nibble, shift)) != value)
            ++nibble;
        if (nibble > kNibbleMax || !block.allowed(path.older, path.old, value))
            return false;
        path.error += block.sample_error(j, path.older, path.old, value);
        path.older = path.old;
        path.old = value;
        path.nibbles = append(path.nibbles, nibble);
    }
    path.error += block.end_error(path, filter, shift);
    return true;
}

// Offers the next beam, from every kept history that allows it, a path that
// decodes block `b` exactly (and where the end block of a loop must land on the
// loop's entry, one that does); false if there is none.
template <class Objective>
bool Beam<Objective>::offer_exact(std::size_t b, bool loop_here, bool seamless_end, int filters)
{
    // The decoder's samples are even: an odd one rules the block out at once.
    const int *input = objective_.block(b, LoopEntry{}).input();
    for (int j = 0; j < kBlockSamples; ++j)
        if (input[j] % 2 != 0)
            return false;
    // A loop block that is its own end block may take the filters its seam allows.
    if (loop_here && seamless_end)
        filters = loop_filters_;
    for (int k = 0; k < beam_.size(); ++k) {
        const Node &node = beam_[k];
        const LoopEntry loop =
            loop_here ? LoopEntry{{0, 0}, History{node.old, node.older}} : node.loop;
        const Block block = objective_.block(b, loop);
        const bool seam = seamless_end && (loop_here || node.loop_filter != 0);
        bool found = false;
        for (int filter = 0; filter < filters && !found; ++filter) {
            for (int shift = 0; shift <= kMaxShift && !found; ++shift) {
                Path path{node.old, node.older, 0, 0};
                if (!exact_path(block, filter, shift, path))
                    continue;
                // Every pass alike: the end block leaves the history the loop block reads.
                const int loop_filter = loop_here ? filter : node.loop_filter;
                const History &entry = loop.history;
                if (seam && loop_filter != 0 &&
                    (path.old != entry.old || (loop_filter >= 2 && path.older != entry.older)))
                    continue;
                offer(node, k, filter, shift, path, loop_here);
                found = true;
            }
        }
    }
    return next_.size() > 0;
}

// Filters block `b` may use: 0..n-1.
template <class Objective> int Beam<Objective>::allowed_filters(std::size_t b) const
{
    // A note starts with an unknown history.
    if (b == 0)
        return 1;
    // A loop jumps in with the end block's history; a loop block that is its
    // own end block tries its other filters as a seamless end block.
    const Layout &layout = objective_.layout;
    if (b == layout.loop_block)
        return b + 1 == layout.blocks ? 1 : loop_filters_;
    return 4;
}

// The error a path through the block from `node` must stay below to enter the
// next beam.
template <class Objective> std::int64_t Beam<Objective>::room(const Node &node) const
{
    return next_.bound() == INT64_MAX ? INT64_MAX : next_.bound() - node.cost;
}

// Ranks (filter, shift) pairs by their greedy error into `best`, cheapest
// first; returns how many of them the trellis refines. The cheapest history
// tries them all, likely best first so the bounds cut the rest short; the
// others, whose histories differ little, only try the pairs that ranked best
// for it (with a beam of one there are no others, and a shorter list bounds
// the search sooner).
template <class Objective>
int Beam<Objective>::rank_pairs(const Block &block, const Node &node, int filters,
                                Ranking &cheapest, Pair best[kMaxRanked]) const
{
    const int capacity =
        !cheapest.done && width_ > 1 ? std::min(refined_ + 2, kMaxRanked) : refined_;
    const Path start{node.old, node.older, 0, 0};
    int ranked = 0;
    const auto consider = [&](int filter, int shift) {
        std::int64_t bound = room(node);
        // A full list takes only a pair that beats its last.
        if (ranked == capacity)
            bound = std::min(bound, best[ranked - 1].error);
        Path path;
        if (search_block(block, filter, shift, start, 1, bound, &path) == 0)
            return;
        ranked = insert_ranked(best, ranked, capacity, Pair{path.error, filter, shift, path},
                               [](const Pair &p) { return p.error; });
    };
    if (cheapest.done) {
        for (int r = 0; r < cheapest.count; ++r)
            consider(cheapest.pairs[r].filter, cheapest.pairs[r].shift);
        return std::min(ranked, refined_);
    }
    // Each filter's guess first, then its neighbours outward. The best shift is
    // hardly ever far from the guess: a larger one only coarsens the steps, a
    // much smaller one clips.
    int guess[4];
    for (int filter = 0; filter < filters; ++filter)
        guess[filter] = estimated_shift(block.targets(), filter, node.old, node.older);
    for (const int delta : {0, -1, 1, -2, 2, -3, -4}) {
        for (int filter = 0; filter < filters; ++filter) {
            const int shift = guess[filter] + delta;
            if (shift >= 0 && shift <= kMaxShift)
                consider(filter, shift);
        }
    }
    cheapest.done = true;
    cheapest.count = ranked;
    std::copy(best, best + ranked, cheapest.pairs);
    return std::min(ranked, refined_);
}

// Offers the next beam the pair's greedy path and, with a trellis wider than
// one path, the trellis's paths.
template <class Objective>
void Beam<Objective>::refine(const Block &block, const Node &node, int k, const Pair &pair,
                             bool loop_here)
{
    offer(node, k, pair.filter, pair.shift, pair.path, loop_here);
    if (trellis_ == 1)
        return;
    Path survivors[kMaxWidth];
    const int n = search_block(block, pair.filter, pair.shift, Path{node.old, node.older, 0, 0},
                               trellis_, room(node), survivors);
    for (int m = 0; m < n; ++m)
        offer(node, k, pair.filter, pair.shift, survivors[m], loop_here);
}

// Offers the next beam `node`, the k-th of the beam, extended by `path` through
// the block with `filter` and `shift`. At the loop block the child keeps how
// its path entered the block and began it.
template <class Objective>
void Beam<Objective>::offer(const Node &node, int k, int filter, int shift, const Path &path,
                            bool loop_here)
{
    Node child{
        path.old,
        path.older,
        node.cost + path.error,
        Step{path.nibbles, make_header(shift, filter, false, false), static_cast<std::uint8_t>(k)},
        node.loop,
        node.loop_filter};
    if (loop_here) {
        child.loop.history = History{node.old, node.older};
        child.loop_filter = filter;
        loop_heads(path.nibbles, filter, shift, child.loop.history, child.loop.head);
    }
    next_.offer(child);
}

// The seamless end block for `node`, the k-th of the beam: its best (filter,
// shift) pair and path, offered to the next beam. `own`: the end block is the
// loop block.
template <class Objective>
void Beam<Objective>::offer_seamless(const Block &block, const Node &node, int k, bool own)
{
    const History entry = own ? History{node.old, node.older} : node.loop.history;
    const Path start{node.old, node.older, 0, 0};
    std::int64_t bound = room(node);
    Path best{};
    int best_filter = -1, best_shift = 0;
    for (int filter = own ? 1 : 0; filter < (own ? loop_filters_ : 4); ++filter) {
        // Filters 2 and 3 of the loop block read both values of its history.
        const int loop_filter = own ? filter : node.loop_filter;
        SeamlessEndBlock<Block> search(block, entry, loop_filter >= 2);
        for (int shift = 0; shift <= kMaxShift; ++shift) {
            if (search.search(filter, shift, start, bound, best)) {
                bound = best.error;
                best_filter = filter;
                best_shift = shift;
            }
        }
    }
    if (best_filter >= 0)
        offer(node, k, best_filter, best_shift, best, own);
}

// Makes the next beam current and keeps each of its nodes' steps for finish().
template <class Objective> void Beam<Objective>::commit(std::size_t b)
{
    if (next_.size() == 0) {
        assert(loop_filters_ > 1 && b + 1 == objective_.layout.blocks);
        failed_ = true;
        return;
    }
    for (int k = 0; k < next_.size(); ++k)
        steps_[b * width_ + k] = next_[k].step;
    std::swap(beam_, next_);
}

template <class Objective> std::vector<std::uint8_t> Beam<Objective>::finish() const
{
    assert(done() && !failed_);
    const Layout &layout = objective_.layout;
    std::vector<std::uint8_t> out(layout.blocks * kBlockBytes, 0);
    int index = 0;
    for (std::size_t b = layout.blocks; b-- > layout.first;) {
        const Step &s = steps_[b * width_ + index];
        out[b * kBlockBytes] = s.header;
        store_nibbles(s.nibbles, &out[b * kBlockBytes]);
        index = s.parent;
    }
    return out;
}

} // namespace
} // namespace snesbrr
