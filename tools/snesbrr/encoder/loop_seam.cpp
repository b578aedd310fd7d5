// The seamless end block of a loop, searched under either objective, and the
// decoder's word on whether the passes agree.
#include "loop_seam.h"

#include "trellis.h"

namespace snesbrr {
namespace {

template <class Block>
bool SeamlessEndBlock<Block>::search(int filter, int shift, const Path &start, std::int64_t bound,
                                     Path &best)
{
    filter_ = filter;
    shift_ = shift;
    best_ = &best;
    bound_ = bound;
    found_ = false;
    Path paths[kMaxWidth];
    const int count =
        search_block(block_, filter, shift, start, kMaxWidth, bound, paths, kBlockSamples - kTail);
    for (int k = 0; k < count; ++k)
        tail(kBlockSamples - kTail, paths[k]);
    return found_;
}

// Every nibble for sample j and, recursively, the samples after it.
template <class Block> void SeamlessEndBlock<Block>::tail(int j, const Path &p)
{
    const int prediction = predict(filter_, p.old, p.older);
    for (int nibble = kNibbleMin; nibble <= kNibbleMax; ++nibble) {
        const int value = clamp_and_wrap(prediction + scale_nibble(nibble, shift_));
        // The last value must be the entry's old, the one before its older if
        // the loop block's filter reads it.
        if ((j == kBlockSamples - 1 && value != entry_.old) ||
            (j == kBlockSamples - 2 && whole_ && value != entry_.older) ||
            !block_.allowed(p.older, p.old, value))
            continue;
        Path child{value, p.old, p.error + block_.sample_error(j, p.older, p.old, value),
                   append(p.nibbles, nibble)};
        if (child.error >= bound_)
            continue;
        if (j + 1 < kBlockSamples) {
            tail(j + 1, child);
            continue;
        }
        child.error += block_.end_error(child, filter_, shift_);
        if (child.error < bound_) {
            *best_ = child;
            bound_ = child.error;
            found_ = true;
        }
    }
}

bool passes_alike(const std::vector<std::uint8_t> &brr, std::size_t loop_block)
{
    const std::size_t blocks = brr.size() / kBlockBytes;
    std::vector<std::int16_t> first((blocks - loop_block) * kBlockSamples), again(first.size());
    History history;
    std::int16_t out[kBlockSamples];
    for (std::size_t b = 0; b < loop_block; ++b)
        decode_block(&brr[b * kBlockBytes], history, out);
    for (std::vector<std::int16_t> *pass : {&first, &again})
        for (std::size_t b = loop_block; b < blocks; ++b)
            decode_block(&brr[b * kBlockBytes], history,
                         &(*pass)[(b - loop_block) * kBlockSamples]);
    return first == again;
}

} // namespace
} // namespace snesbrr
