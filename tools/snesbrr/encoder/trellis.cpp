// A trellis through one block: every kept path is extended by its nearest
// candidates at each sample, and paths that meet in the same decoder state
// merge.
#include "trellis.h"

#include <algorithm>
#include <utility>

namespace snesbrr {
namespace {

// Sorts the `born` children by error and keeps the best `width` with distinct
// decoder states in `paths`; returns how many.
int keep_distinct(Path *children, int born, int width, Path *paths)
{
    for (int k = 1; k < born; ++k) // a few elements: insertion sort
        for (int m = k; m > 0 && children[m].error < children[m - 1].error; --m)
            std::swap(children[m], children[m - 1]);
    int count = 0;
    for (int k = 0; k < born && count < width; ++k) {
        bool merged = false;
        for (int m = 0; m < count && !merged; ++m)
            merged = paths[m].old == children[k].old && paths[m].older == children[k].older;
        if (!merged)
            paths[count++] = children[k];
    }
    return count;
}

template <class Block>
[[gnu::always_inline]] inline int search_block(const Block &block, int filter, int shift,
                                               const Path &start, int width, std::int64_t bound,
                                               Path out[], int samples)
{
    // The greedy search extends its one path by the nearest candidate alone; a
    // wider one tries the nearest two, each scored.
    const int branches = width == 1 ? 1 : 2;
    Path paths[kMaxWidth];
    Path children[2 * kMaxWidth];
    int count = 1;
    paths[0] = start;
    paths[0].error += block.start_error(start);
    for (int j = 0; j < samples; ++j) {
        int born = 0;
        for (int k = 0; k < count; ++k) {
            const Path &p = paths[k];
            Candidate c[2]{};
            const int n = block.candidates(j, filter, shift, p.old, p.older, branches, c);
            for (int m = 0; m < std::min(n, branches); ++m) {
                Path child{c[m].value, p.old, p.error + c[m].error, append(p.nibbles, c[m].nibble)};
                if (j + 1 == kBlockSamples)
                    child.error += block.end_error(child, filter, shift);
                // Errors only grow within the block: a path at the bound is lost.
                if (child.error < bound)
                    children[born++] = child;
            }
        }
        if (born == 0)
            return 0;
        // The greedy search's one child goes on as it is (and count stays 1,
        // which lets the compiler keep that path in registers).
        if (width == 1)
            paths[0] = children[0];
        else
            count = keep_distinct(children, born, width, paths);
    }
    std::copy(paths, paths + count, out);
    return count;
}

} // namespace
} // namespace snesbrr
