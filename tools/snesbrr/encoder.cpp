#include "encoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "brr.h"
#include "gauss_table.h"
#include "voice.h"

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

constexpr int kMaxWidth = 16;
constexpr int kNibbleMin = -8;
constexpr int kNibbleMax = 7;
constexpr int kValueMin = -16384; // 15-bit range of a decoded sample
constexpr int kValueMax = 16383;

// The voice is silenced while playback (at pitch 0x1000) is still this many
// samples before its end block, so they are never heard.
constexpr std::size_t kUnheardBeforeEnd = 9;

// A lead-in block must cut the squared error to this fraction (0.25 dB).
constexpr double kLeadInErrorRatio = 0.944;
// How often (in blocks) the gain of a lead-in block is looked at.
constexpr std::size_t kLeadInCheckBlocks = 16;

std::int64_t squared(int d)
{
    return static_cast<std::int64_t>(d) * d;
}

struct Candidate {
    int nibble;
    int value; // decoded 15-bit value
    std::int64_t error;
};

// The interpolation offsets (1/256 of a sample) whose first three weights add
// up to more than 2048: only there can their wrapped sum overflow.
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

// Runs of three doubled values this close to full scale may overflow the
// interpolation; only then is the exact check worth its cost. Agrees with
// interpolation_overflows, trying only the offsets where it can happen.
inline bool clicks(int older, int old, int value)
{
    constexpr int kNearFull = 16384 - 64;
    if (std::abs(value) < kNearFull || std::abs(old) < kNearFull || std::abs(older) < kNearFull)
        return false;
    static const OverflowOffsets offsets;
    for (int k = 0; k < offsets.count; ++k) {
        const int o = offsets.offset[k];
        const int sum = ((kGaussTable[255 - o] * 2 * older) >> 11) +
                        ((kGaussTable[511 - o] * 2 * old) >> 11) +
                        ((kGaussTable[256 + o] * 2 * value) >> 11);
        if (sum < -32768 || sum > 32767)
            return true;
    }
    return false;
}

// Keeps `c` among the best two candidates with distinct values in `out`.
void rank_candidate(const Candidate &c, Candidate out[2], int &count)
{
    if (count > 0 && c.value == out[0].value) {
        if (c.nibble < out[0].nibble)
            out[0].nibble = c.nibble;
        return;
    }
    if (count > 1 && c.value == out[1].value) {
        if (c.nibble < out[1].nibble)
            out[1].nibble = c.nibble;
        return;
    }
    if (count == 0 || c.error < out[0].error ||
        (c.error == out[0].error && c.nibble < out[0].nibble)) {
        out[1] = out[0];
        out[0] = c;
        count = std::min(count + 1, 2);
    } else if (count == 1 || c.error < out[1].error ||
               (c.error == out[1].error && c.nibble < out[1].nibble)) {
        out[1] = c;
        count = 2;
    }
}

// Up to two nibbles with distinct decoded values, nearest first (lowest
// nibble on ties), found over all 16 nibbles.
int two_nearest_exhaustive(int prediction, int target, int shift, Candidate out[2])
{
    int count = 0;
    for (int nibble = kNibbleMin; nibble <= kNibbleMax; ++nibble) {
        const int value = clamp_and_wrap(prediction + scale_nibble(nibble, shift));
        rank_candidate(Candidate{nibble, value, squared(target - 2 * value)}, out, count);
    }
    return count;
}

// As two_nearest_exhaustive, from at most six trials. The sum of prediction
// and step rises with the nibble; the 15-bit wrap cuts that line into up to
// three runs (wrapped up, unchanged, wrapped down), and clamping only flattens
// a run's end. In each run the decoded value never falls as the nibble rises,
// so the nearest value of the run brackets the target.
[[gnu::always_inline]] inline int two_nearest(int prediction, int target, int shift,
                                              Candidate out[2])
{
    // Shift 0 has eight levels one unit apart (nibbles 2m and 2m+1 both give m).
    const int level_min = shift == 0 ? -4 : kNibbleMin;
    const int level_max = shift == 0 ? 3 : kNibbleMax;
    const int nibble_per_level = shift == 0 ? 2 : 1;
    const int step_bits = std::max(shift - 1, 0); // log2 of a level in 15-bit units
    const int unit_bits = std::max(shift, 1);     // log2 of a level in 16-bit units
    // Levels whose sum stays inside the 15-bit range: [middle_low, middle_high].
    const int middle_low = std::max(level_min, -((prediction - kValueMin) >> step_bits));
    const int middle_high = std::min(level_max, (kValueMax - prediction) >> step_bits);
    if (middle_low == level_min && middle_high == level_max) {
        // Neither wrap nor clamp: the two levels around the target.
        const int below =
            std::clamp((target - 2 * prediction) >> unit_bits, level_min, level_max - 1);
        const int low_value = prediction + below * (1 << step_bits);
        const int high_value = low_value + (1 << step_bits);
        const Candidate low{below * nibble_per_level, low_value, squared(target - 2 * low_value)};
        const Candidate high{(below + 1) * nibble_per_level, high_value,
                             squared(target - 2 * high_value)};
        const bool high_first = high.error < low.error;
        out[0] = high_first ? high : low;
        out[1] = high_first ? low : high;
        return 2;
    }
    struct Run {
        int low, high, offset; // levels, and what the wrap adds to the sum
    } runs[3] = {
        {level_min, std::min(level_max, middle_low - 1), 32768},
        {middle_low, middle_high, 0},
        {std::max(level_min, middle_high + 1), level_max, -32768},
    };
    int count = 0;
    for (const Run &run : runs) {
        if (run.low > run.high)
            continue;
        const int below = (target - 2 * (prediction + run.offset)) >> unit_bits;
        for (int level = below; level <= below + 1; ++level) {
            const int clamped = std::clamp(level, run.low, run.high);
            const int value = clamp_and_wrap(prediction + clamped * (1 << step_bits));
            rank_candidate(
                Candidate{clamped * nibble_per_level, value, squared(target - 2 * value)}, out,
                count);
        }
    }
    return count;
}

// Nearest candidates that keep the interpolation from overflowing, given the
// two previous values. If every nibble would click, the nearest one is kept.
// Inlined: it runs for every sample of every path tried.
[[gnu::always_inline]] inline int allowed_candidates(int prediction, int target, int shift, int old,
                                                     int older, bool guard, Candidate out[2])
{
    const int count = two_nearest(prediction, target, shift, out);
    if (!guard ||
        (!clicks(older, old, out[0].value) && (count < 2 || !clicks(older, old, out[1].value))))
        return count;
    int kept = 0;
    for (int k = 0; k < count; ++k)
        if (!clicks(older, old, out[k].value))
            out[kept++] = out[k];
    if (kept > 0)
        return kept;
    const Candidate nearest = out[0];
    bool found = false;
    for (int nibble = kNibbleMin; nibble <= kNibbleMax; ++nibble) {
        const int value = clamp_and_wrap(prediction + scale_nibble(nibble, shift));
        const Candidate c{nibble, value, squared(target - 2 * value)};
        if (!clicks(older, old, value) && (!found || c.error < out[0].error)) {
            out[0] = c;
            found = true;
        }
    }
    if (!found)
        out[0] = nearest;
    return 1;
}

// A block's 16 nibbles packed first-in-top, and the decoder state after them.
// Left uninitialised by default: the trellis keeps arrays of them.
struct Path {
    int old;
    int older;
    std::int64_t error;
    std::uint64_t nibbles;
};

std::uint64_t append(std::uint64_t nibbles, int nibble)
{
    return nibbles << 4 | static_cast<std::uint64_t>(nibble & 0xF);
}

// Each nibble nearest in turn. Gives up (returns false) once the error
// reaches `bound`.
bool greedy_block(const int *target, int filter, int shift, Path &path, std::int64_t bound,
                  bool guard)
{
    for (int j = 0; j < kBlockSamples; ++j) {
        Candidate c[2]{};
        allowed_candidates(predict(filter, path.old, path.older), target[j], shift, path.old,
                           path.older, guard, c);
        path.error += c[0].error;
        if (path.error >= bound)
            return false;
        path.older = path.old;
        path.old = c[0].value;
        path.nibbles = append(path.nibbles, c[0].nibble);
    }
    return true;
}

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

// Keeps `width` paths through the block, each extended by its two nearest
// nibbles per sample; paths that meet in the same decoder state merge. Fills
// `out` best first and returns how many survived below `bound`.
int trellis_block(const int *target, int filter, int shift, const Path &start, int width,
                  std::int64_t bound, bool guard, Path out[kMaxWidth])
{
    Path paths[kMaxWidth];
    Path children[2 * kMaxWidth];
    int count = 1;
    paths[0] = start;
    for (int j = 0; j < kBlockSamples; ++j) {
        int born = 0;
        for (int k = 0; k < count; ++k) {
            const Path &p = paths[k];
            Candidate c[2]{};
            const int n = allowed_candidates(predict(filter, p.old, p.older), target[j], shift,
                                             p.old, p.older, guard, c);
            for (int m = 0; m < n; ++m) {
                const std::int64_t error = p.error + c[m].error;
                if (error >= bound)
                    continue;
                children[born++] = Path{c[m].value, p.old, error, append(p.nibbles, c[m].nibble)};
            }
        }
        count = keep_distinct(children, born, width, paths);
        if (count == 0)
            return 0;
    }
    std::copy(paths, paths + count, out);
    return count;
}

// The played objective. At pitch 0x1000 every output sample sits on a source
// sample and weighs it and its two neighbours by the gaussian's weights at
// offset 0 (the fourth weighs nothing). The sample centred on source i - 1 is
// therefore complete once sample i is decoded, and a decoder state (old, older)
// is enough to score it.
constexpr int kWeightBefore = 370;  // /2048, the gaussian table's entry 255
constexpr int kWeightCentre = 1305; // entry 511
constexpr int kWeightAfter = 374;   // entry 256

// What the DSP plays centred on `old`, from three consecutive 15-bit values:
// each product floored, the sum wrapped to 16 bits as the hardware does (three
// values at the negative rail overflow), bit 0 cleared. 16-bit units.
inline int played_at_unity(int older, int old, int next)
{
    const int sum = ((kWeightBefore * 2 * older) >> 11) + ((kWeightCentre * 2 * old) >> 11) +
                    ((kWeightAfter * 2 * next) >> 11);
    const int wrapped = ((sum + 32768) & 0xFFFF) - 32768;
    return wrapped & ~1;
}

// A loop's seam: after the end block playback continues with the loop block,
// whose first two values (15-bit) are `head`. The end block's last sample is
// then heard beside head[0], and head[0] beside the end block's last sample.
struct Seam {
    bool active = false;
    bool own = false; // the loop block is this block: the heads are the path's own
    int head[2] = {0, 0};
    int last_input = 0; // input at the end block's last sample, 16-bit
    int head_input = 0; // input at the loop block's first sample, 16-bit
};

// The played objective's view of one block. Indices are within the block; the
// input has one sample before it and the aim two (from the previous block, or
// silence before the first).
struct PlayedBlock {
    const int *input; // what should be heard, 16-bit
    const int *aim;   // values whose playback would be the input: a target, not a score
    int counted_from; // samples before it complete no output that is heard
    Seam seam;
    // The output centred on a block's last sample completes in the next block.
    // Until then a path carries an estimate of its error, as if the next value
    // met its aim, so that a block is not chosen for a last value that only the
    // next one pays for; the next block replaces the estimate by the exact error.
    bool estimates_end;
    bool settles_start;
};

// The estimate of the output centred on sample j - 1 (0 or 16) of the block,
// from the two values before j and the aim at j.
std::int64_t pending_error(const PlayedBlock &pb, int j, int older, int old)
{
    return squared(pb.input[j - 1] - played_at_unity(older, old, pb.aim[j] >> 1));
}

// Error feedback onto the aim. With the two previous values off their aims by
// q1 (old) and q2 (older), 16-bit units, the value that least disturbs the
// three outputs it enters (later values on their aims) lies off its own aim by
// -(1305 * 744 * q1 + 374 * 370 * q2) / (370^2 + 1305^2 + 374^2). In 1/65536:
constexpr std::int64_t kFeedbackOld = 32140;
constexpr std::int64_t kFeedbackOlder = 4581;

// Nearest candidates to the aim corrected by feedback, the first `scored` of
// them scored by the played error of the output they complete.
[[gnu::always_inline]] inline int played_candidates(const PlayedBlock &pb, int j, int filter,
                                                    int shift, int old, int older, bool guard,
                                                    int scored, Candidate out[2])
{
    const std::int64_t q1 = 2 * old - pb.aim[j - 1], q2 = 2 * older - pb.aim[j - 2];
    const int aim = pb.aim[j] - static_cast<int>((kFeedbackOld * q1 + kFeedbackOlder * q2) >> 16);
    const int n =
        allowed_candidates(predict(filter, old, older), aim, shift, old, older, guard, out);
    for (int m = 0; m < std::min(n, scored); ++m)
        out[m].error = j < pb.counted_from
                           ? 0
                           : squared(pb.input[j - 1] - played_at_unity(older, old, out[m].value));
    return n;
}

// The first two values of a loop block with these nibbles (packed as a
// Path's) at `filter` and `shift`, entered with the history `entry`: on every
// pass, since a seamless loop enters alike (filter 0 ignores the history).
void loop_heads(std::uint64_t nibbles, int filter, int shift, History entry, int head[2])
{
    for (int k = 0; k < 2; ++k) {
        const int nibble = static_cast<int>((nibbles >> (60 - 4 * k)) & 0xF);
        head[k] = decode_nibble(nibble >= 8 ? nibble - 16 : nibble, shift, filter, entry);
    }
}

// The seam's two outputs once the end block leaves the decoder at (old,
// older) and the loop block begins with `head`.
std::int64_t seam_outputs(const PlayedBlock &pb, int older, int old, const int head[2])
{
    return squared(pb.seam.last_input - played_at_unity(older, old, head[0])) +
           squared(pb.seam.head_input - played_at_unity(old, head[0], head[1]));
}

// The seam's two outputs once a path has decoded the end block to `path`.
std::int64_t seam_error(const PlayedBlock &pb, const Path &path, int shift)
{
    int head[2] = {pb.seam.head[0], pb.seam.head[1]};
    if (pb.seam.own)
        loop_heads(path.nibbles, 0, shift, History{}, head);
    return seam_outputs(pb, path.older, path.old, head);
}

// What a path through the block adds beyond its samples' own outputs: the
// exact error in place of the estimate it came in with, and the estimate (or
// the seam) it leaves with. Call with the path before and then after the block.
std::int64_t block_start_error(const PlayedBlock &pb, const Path &start)
{
    return pb.settles_start ? -pending_error(pb, 0, start.older, start.old) : 0;
}

std::int64_t block_end_error(const PlayedBlock &pb, const Path &end, int shift)
{
    if (pb.seam.active)
        return seam_error(pb, end, shift);
    return pb.estimates_end ? pending_error(pb, kBlockSamples, end.older, end.old) : 0;
}

// greedy_block under the played objective.
bool played_greedy_block(const PlayedBlock &pb, int filter, int shift, Path &path,
                         std::int64_t bound, bool guard)
{
    path.error += block_start_error(pb, path);
    for (int j = 0; j < kBlockSamples; ++j) {
        Candidate c[2]{};
        played_candidates(pb, j, filter, shift, path.old, path.older, guard, 1, c);
        path.error += c[0].error;
        if (path.error >= bound)
            return false;
        path.older = path.old;
        path.old = c[0].value;
        path.nibbles = append(path.nibbles, c[0].nibble);
    }
    path.error += block_end_error(pb, path, shift);
    return path.error < bound;
}

// trellis_block under the played objective.
int played_trellis_block(const PlayedBlock &pb, int filter, int shift, const Path &start, int width,
                         std::int64_t bound, bool guard, Path out[kMaxWidth])
{
    Path paths[kMaxWidth];
    Path children[2 * kMaxWidth];
    int count = 1;
    paths[0] = start;
    paths[0].error += block_start_error(pb, start);
    for (int j = 0; j < kBlockSamples; ++j) {
        int born = 0;
        for (int k = 0; k < count; ++k) {
            const Path &p = paths[k];
            Candidate c[2]{};
            const int n = played_candidates(pb, j, filter, shift, p.old, p.older, guard, 2, c);
            for (int m = 0; m < n; ++m) {
                Path child{c[m].value, p.old, p.error + c[m].error, append(p.nibbles, c[m].nibble)};
                if (j + 1 == kBlockSamples)
                    child.error += block_end_error(pb, child, shift);
                if (child.error < bound)
                    children[born++] = child;
            }
        }
        count = keep_distinct(children, born, width, paths);
        if (count == 0)
            return 0;
    }
    std::copy(paths, paths + count, out);
    return count;
}

// The end block of a loop whose loop block has a filter other than 0. Every
// pass decodes alike only if the end block leaves the decoder as the first
// pass entered the loop block, `entry`: both values, or only `old` when the
// loop block's filter is 1 (its prediction ignores older). A trellis of
// kMaxWidth paths runs through the block's first samples, then every nibble is
// tried for the last kTail of them, keeping what lands exactly on `entry`.
class SeamlessEndBlock {
  public:
    static constexpr int kTail = 3; // samples tried over all 16 nibbles

    // `pb` null under the flat objective (then `x` is the block's target).
    // `own`: the block is the loop block itself, whose heads it decodes.
    SeamlessEndBlock(const PlayedBlock *pb, const int *x, History entry, bool whole, bool own,
                     bool guard)
        : pb_(pb), x_(x), entry_(entry), whole_(whole), own_(own), guard_(guard)
    {
    }

    // The best path with `filter` and `shift` from `start` below `bound` into
    // `best`; false if none lands.
    bool search(int filter, int shift, const Path &start, std::int64_t bound, Path &best)
    {
        filter_ = filter;
        shift_ = shift;
        best_ = &best;
        bound_ = bound;
        found_ = false;
        Path paths[kMaxWidth];
        Path children[2 * kMaxWidth];
        int count = 1;
        paths[0] = start;
        if (pb_ != nullptr)
            paths[0].error += block_start_error(*pb_, start);
        for (int j = 0; j < kBlockSamples - kTail; ++j) {
            int born = 0;
            for (int k = 0; k < count; ++k) {
                const Path &p = paths[k];
                Candidate c[2]{};
                const int n =
                    pb_ != nullptr
                        ? played_candidates(*pb_, j, filter, shift, p.old, p.older, guard_, 2, c)
                        : allowed_candidates(predict(filter, p.old, p.older), x_[j], shift, p.old,
                                             p.older, guard_, c);
                for (int m = 0; m < n; ++m)
                    if (p.error + c[m].error < bound_)
                        children[born++] = Path{c[m].value, p.old, p.error + c[m].error,
                                                append(p.nibbles, c[m].nibble)};
            }
            count = keep_distinct(children, born, kMaxWidth, paths);
        }
        for (int k = 0; k < count; ++k)
            tail(kBlockSamples - kTail, paths[k]);
        return found_;
    }

  private:
    std::int64_t sample_error(int j, int older, int old, int value) const
    {
        if (pb_ == nullptr)
            return squared(x_[j] - 2 * value);
        return j < pb_->counted_from
                   ? 0
                   : squared(pb_->input[j - 1] - played_at_unity(older, old, value));
    }

    void tail(int j, const Path &p)
    {
        const int prediction = predict(filter_, p.old, p.older);
        for (int nibble = kNibbleMin; nibble <= kNibbleMax; ++nibble) {
            const int value = clamp_and_wrap(prediction + scale_nibble(nibble, shift_));
            if ((j == kBlockSamples - 1 && value != entry_.old) ||
                (j == kBlockSamples - 2 && whole_ && value != entry_.older) ||
                (guard_ && clicks(p.older, p.old, value)))
                continue;
            Path child{value, p.old, p.error + sample_error(j, p.older, p.old, value),
                       append(p.nibbles, nibble)};
            if (child.error >= bound_)
                continue;
            if (j + 1 < kBlockSamples) {
                tail(j + 1, child);
                continue;
            }
            if (pb_ != nullptr) {
                int head[2] = {pb_->seam.head[0], pb_->seam.head[1]};
                if (own_)
                    loop_heads(child.nibbles, filter_, shift_, entry_, head);
                child.error += seam_outputs(*pb_, child.older, child.old, head);
            }
            if (child.error < bound_) {
                *best_ = child;
                bound_ = child.error;
                found_ = true;
            }
        }
    }

    const PlayedBlock *pb_;
    const int *x_;
    History entry_;
    bool whole_;
    bool own_;
    bool guard_;
    int filter_ = 0;
    int shift_ = 0;
    Path *best_ = nullptr;
    std::int64_t bound_ = 0;
    bool found_ = false;
};

void store_nibbles(std::uint64_t nibbles, std::uint8_t *block)
{
    for (int k = 0; k < 8; ++k)
        block[1 + k] = static_cast<std::uint8_t>(nibbles >> (56 - 8 * k));
}

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
    int head[2] = {0, 0}; // the loop block's first two values, once it is encoded
    History entry;        // the decoder as the first pass enters the loop block
    int loop_filter = 0;  // the loop block's filter, once it is encoded
};

// The `capacity` cheapest nodes with distinct decoder states, cheapest first.
class Pool {
  public:
    explicit Pool(int capacity) : capacity_(capacity) {}
    void clear() { size_ = 0; }
    int size() const { return size_; }
    const Node &operator[](int k) const { return nodes_[k]; }
    // Cost a new node must stay below to be kept.
    std::int64_t bound() const
    {
        return size_ == 0 || size_ < capacity_ ? INT64_MAX : nodes_[size_ - 1].cost;
    }
    void offer(const Node &node)
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
        size_ = insert_ranked(nodes_.data(), size_, capacity_, node,
                              [](const Node &n) { return n.cost; });
    }

  private:
    int capacity_;
    int size_ = 0;
    std::array<Node, kMaxWidth> nodes_;
};

struct Pair {
    std::int64_t error;
    int filter;
    int shift;
    Path path;
};

// The shift whose nibble range just covers the largest residual of the block
// when the filter predicts from the target itself: a good first guess.
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

// Loud, bright input asks for values beyond what the decoder holds. Where the
// aim `u` leaves that range, nearby values are refitted by coordinate descent
// on the squared played error against `x`, each value kept in range; elsewhere
// the exact solution stands.
void fit_to_range(const std::vector<double> &x, std::vector<double> &u)
{
    constexpr double kLow = -32768, kHigh = 32766; // doubled 15-bit values
    constexpr long kReach = 12;                    // samples refitted around an excess
    constexpr int kSweeps = 12;
    const long n = static_cast<long>(u.size());
    std::vector<long> refit;
    long covered = -1; // refit holds every index up to this one that needs it
    for (long i = 0; i < n; ++i) {
        if (u[i] >= kLow && u[i] <= kHigh)
            continue;
        for (long k = std::max(covered + 1, i - kReach); k <= std::min(n - 1, i + kReach); ++k)
            refit.push_back(k);
        covered = std::min(n - 1, i + kReach);
    }
    if (refit.empty())
        return;
    for (const long i : refit)
        u[i] = std::clamp(u[i], kLow, kHigh);
    // Residuals of the outputs, with one of silence at each end.
    std::vector<double> r(n + 2, 0.0);
    for (long i = 0; i < n; ++i)
        r[i + 1] = (kWeightBefore * (i > 0 ? u[i - 1] : 0.0) + kWeightCentre * u[i] +
                    kWeightAfter * (i + 1 < n ? u[i + 1] : 0.0)) /
                       2048.0 -
                   x[i];
    constexpr double kCurvature = (kWeightBefore * kWeightBefore + kWeightCentre * kWeightCentre +
                                   kWeightAfter * kWeightAfter) /
                                  2048.0;
    for (int sweep = 0; sweep < kSweeps; ++sweep)
        for (const long i : refit) {
            // Value i enters the outputs centred on i + 1, i and i - 1 (r[i + 2],
            // r[i + 1], r[i]); the ends stay silent.
            double *around = &r[i];
            const double gradient =
                kWeightBefore * around[2] + kWeightCentre * around[1] + kWeightAfter * around[0];
            const double value = std::clamp(u[i] - gradient / kCurvature, kLow, kHigh);
            const double delta = (value - u[i]) / 2048.0;
            u[i] = value;
            around[0] += kWeightAfter * delta;
            around[1] += kWeightCentre * delta;
            around[2] += kWeightBefore * delta;
        }
}

// What the played objective measures for a whole layout, with two samples of
// silence in front so that every block sees its predecessors.
class PlayedTargets {
  public:
    // `input`: the layout's samples (16-bit). The aim solves, for the whole
    // layout with silence around it, "the output centred on each sample equals
    // the input" (the gaussian's three taps, a tridiagonal system; its inverse
    // is stable both ways). With `loop_start` the loop's beginning follows the
    // end instead of silence.
    PlayedTargets(const std::vector<int> &input, std::size_t loop_start = SIZE_MAX)
        : input_(kFront, 0), aim_(kFront, 0)
    {
        input_.insert(input_.end(), input.begin(), input.end());
        std::vector<double> x(input.begin(), input.end());
        if (loop_start != SIZE_MAX)
            for (std::size_t k = 0; k < kLoopContext; ++k)
                x.push_back(input[loop_start + k % (input.size() - loop_start)]);
        // Thomas algorithm: forward elimination, then back substitution.
        const std::size_t n = x.size();
        std::vector<double> upper(n), u(n);
        double previous_upper = 0, previous = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double pivot = kWeightCentre - kWeightBefore * previous_upper;
            upper[i] = kWeightAfter / pivot;
            u[i] = (2048.0 * x[i] - kWeightBefore * previous) / pivot;
            previous_upper = upper[i];
            previous = u[i];
        }
        for (std::size_t i = n - 1; i-- > 0;)
            u[i] -= upper[i] * u[i + 1];
        fit_to_range(x, u);
        for (std::size_t i = 0; i < input.size(); ++i)
            aim_.push_back(static_cast<int>(std::lround(u[i]))); // within range by now
    }

    // Block `b`: samples before the layout's second complete no heard output
    // (output 0 of a note is centred on its sample 1).
    PlayedBlock block(std::size_t b) const
    {
        const std::size_t at = kFront + b * kBlockSamples;
        return PlayedBlock{
            input_.data() + at, aim_.data() + at, b == 0 ? 2 : 0, Seam{}, false, false};
    }

  private:
    static constexpr std::size_t kFront = 2;
    static constexpr std::size_t kLoopContext = 32; // the inverse's memory, in samples
    std::vector<int> input_;
    std::vector<int> aim_;
};

// Beam search over blocks: after each block it keeps the `beam` cheapest
// decoder histories (with how they were reached) and extends each of them
// through the next block.
class BeamEncoder {
  public:
    // Encodes blocks `first`.. of `target` (16-bit units, whole blocks, owned
    // by the caller); block `first` uses filter 0 only unless `free_start`, and
    // so does `loop_block`, where a loop jumps in with a history of its own,
    // unless free_loop_block allows more.
    // With `played` (owned by the caller, laid out like target) the error is
    // that of the output at pitch 0x1000; otherwise that of the decoded values.
    BeamEncoder(const std::vector<int> &target, std::size_t first, bool free_start,
                const EncoderSettings &settings, std::size_t loop_block = SIZE_MAX,
                const PlayedTargets *played = nullptr)
        : target_(target), played_(played), first_(first), free_start_(free_start),
          loop_block_(loop_block), blocks_(target.size() / kBlockSamples), next_block_(first),
          width_(
              std::clamp(played != nullptr ? settings.played_beam : settings.beam, 1, kMaxWidth)),
          trellis_(std::clamp(settings.trellis, 1, kMaxWidth)),
          refined_(std::clamp(settings.refined, 1, 6)), guard_(settings.click_guard),
          steps_(blocks_ * static_cast<std::size_t>(width_)), beam_(width_), next_(width_)
    {
        beam_.offer(Node{});
    }

    // Lets the loop block, not yet encoded, use filters 0..filters-1 (2 or 4).
    // The end block then keeps every pass alike (SeamlessEndBlock) where the
    // loop block's filter is not 0; the search fails if it cannot.
    void free_loop_block(int filters)
    {
        assert(next_block_ <= loop_block_ && loop_block_ > first_ && filters <= 4);
        loop_filters_ = filters;
    }

    bool done() const { return next_block_ >= blocks_; }
    // True once no path met the end block's constraint: nothing to finish.
    bool failed() const { return failed_; }
    std::size_t next_block() const { return next_block_; }
    // Squared error of the best encoding of the blocks so far.
    std::int64_t best_cost() const { return beam_[0].cost; }

    // True if `other`, given the same blocks from here on, would choose exactly
    // as this one does: the same decoder states in the same order, every cost
    // off by the same `offset` (other's minus this one's). Every choice compares
    // costs with one another, so it stays so, and other's best cost is this
    // one's plus the offset.
    bool same_future(const BeamEncoder &other, std::int64_t &offset) const
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

    void advance()
    {
        assert(!done());
        const std::size_t b = next_block_++;
        Pool &next = next_;
        const int *x = target_.data() + b * kBlockSamples;
        const bool end_block = b + 1 == blocks_, loop_here = b == loop_block_;
        int filters = loop_here ? (end_block ? 1 : loop_filters_) : 4;
        if (b == first_ && !free_start_)
            filters = 1;
        PlayedBlock pb{};
        if (played_ != nullptr) {
            pb = played_->block(b);
            pb.seam.active = loop_block_ != SIZE_MAX && b + 1 == blocks_;
            pb.estimates_end = b + 1 < blocks_;
            pb.settles_start = b > first_;
            pb.seam.own = b == loop_block_;
            pb.seam.last_input = pb.input[kBlockSamples - 1];
            if (loop_block_ != SIZE_MAX)
                pb.seam.head_input = played_->block(loop_block_).input[0];
        }
        const int *shift_target = played_ != nullptr ? pb.aim : x;
        next.clear();
        Pair shared[8];
        int shared_count = 0;
        bool ranked_all = false;
        for (int k = 0; k < beam_.size(); ++k) {
            const Node &node = beam_[k];
            const Path start{node.old, node.older, 0, 0};
            pb.seam.head[0] = node.head[0];
            pb.seam.head[1] = node.head[1];
            if (end_block && loop_filters_ > 1 && (loop_here || node.loop_filter != 0)) {
                offer_seamless(node, k, loop_here, pb, x);
                if (!loop_here)
                    continue;
            }
            // Rank (filter, shift) pairs by their greedy error. The cheapest
            // history tries them all, likely best first so the bounds cut the
            // rest short; the others, whose histories differ little, only try
            // the pairs that ranked best for it (with a beam of one there are
            // no others, and a shorter list bounds the search sooner).
            const int capacity = !ranked_all && width_ > 1 ? std::min(refined_ + 2, 8) : refined_;
            Pair best[8];
            int ranked = 0;
            const auto consider = [&](int filter, int shift) {
                std::int64_t bound =
                    next.bound() == INT64_MAX ? INT64_MAX : next.bound() - node.cost;
                if (ranked == capacity)
                    bound = std::min(bound, best[ranked - 1].error);
                Path path = start;
                if (played_ != nullptr
                        ? !played_greedy_block(pb, filter, shift, path, bound, guard_)
                        : !greedy_block(x, filter, shift, path, bound, guard_))
                    return;
                ranked =
                    insert_ranked(best, ranked, capacity, Pair{path.error, filter, shift, path},
                                  [](const Pair &p) { return p.error; });
            };
            if (!ranked_all) {
                ranked_all = true;
                // Each filter's guess first, then its neighbours outward. The
                // best shift is hardly ever far from the guess: a larger one
                // only coarsens the steps, a much smaller one clips.
                int guess[4];
                for (int filter = 0; filter < filters; ++filter)
                    guess[filter] = estimated_shift(shift_target, filter, node.old, node.older);
                for (const int delta : {0, -1, 1, -2, 2, -3, -4}) {
                    for (int filter = 0; filter < filters; ++filter) {
                        const int shift = guess[filter] + delta;
                        if (shift >= 0 && shift <= kMaxShift)
                            consider(filter, shift);
                    }
                }
                shared_count = ranked;
                for (int r = 0; r < ranked; ++r)
                    shared[r] = best[r];
            } else {
                for (int r = 0; r < shared_count; ++r)
                    consider(shared[r].filter, shared[r].shift);
            }
            ranked = std::min(ranked, refined_);
            for (int r = 0; r < ranked; ++r) {
                const Pair &pair = best[r];
                const std::uint8_t header = make_header(pair.shift, pair.filter, false, false);
                const auto offer = [&](const Path &p) {
                    Node child{p.old,
                               p.older,
                               node.cost + p.error,
                               Step{p.nibbles, header, static_cast<std::uint8_t>(k)},
                               {node.head[0], node.head[1]},
                               node.entry,
                               node.loop_filter};
                    if (loop_here) {
                        child.entry = History{node.old, node.older};
                        child.loop_filter = pair.filter;
                        loop_heads(p.nibbles, pair.filter, pair.shift, child.entry, child.head);
                    }
                    next.offer(child);
                };
                offer(pair.path);
                if (trellis_ > 1) {
                    Path survivors[kMaxWidth];
                    const std::int64_t bound =
                        next.bound() == INT64_MAX ? INT64_MAX : next.bound() - node.cost;
                    const int n = played_ != nullptr
                                      ? played_trellis_block(pb, pair.filter, pair.shift, start,
                                                             trellis_, bound, guard_, survivors)
                                      : trellis_block(x, pair.filter, pair.shift, start, trellis_,
                                                      bound, guard_, survivors);
                    for (int m = 0; m < n; ++m)
                        offer(survivors[m]);
                }
            }
        }
        if (next.size() == 0) {
            assert(loop_filters_ > 1 && end_block);
            failed_ = true;
            return;
        }
        for (int k = 0; k < next.size(); ++k)
            steps_[b * width_ + k] = next[k].step;
        std::swap(beam_, next_);
    }

    // The blocks of the best encoding; blocks before `first` stay silent.
    std::vector<std::uint8_t> finish() const
    {
        assert(done() && !failed_);
        std::vector<std::uint8_t> out(blocks_ * kBlockBytes, 0);
        int index = 0;
        for (std::size_t b = blocks_; b-- > first_;) {
            const Step &s = steps_[b * width_ + index];
            out[b * kBlockBytes] = s.header;
            store_nibbles(s.nibbles, &out[b * kBlockBytes]);
            index = s.parent;
        }
        return out;
    }

  private:
    // The seamless end block (see free_loop_block) for `node`, the k-th of the
    // beam: its best (filter, shift) pair and path, offered to the next beam.
    // `own`: the end block is the loop block.
    // Kept out of line: the plain encode's hot loop is in advance().
    [[gnu::noinline]] void offer_seamless(const Node &node, int k, bool own, const PlayedBlock &pb,
                                          const int *x)
    {
        const History entry = own ? History{node.old, node.older} : node.entry;
        const Path start{node.old, node.older, 0, 0};
        std::int64_t bound = next_.bound() == INT64_MAX ? INT64_MAX : next_.bound() - node.cost;
        Path best{};
        int best_filter = -1, best_shift = 0;
        for (int filter = own ? 1 : 0; filter < (own ? loop_filters_ : 4); ++filter) {
            const int loop_filter = own ? filter : node.loop_filter;
            SeamlessEndBlock search(played_ != nullptr ? &pb : nullptr, x, entry, loop_filter >= 2,
                                    own, guard_);
            for (int shift = 0; shift <= kMaxShift; ++shift) {
                if (search.search(filter, shift, start, bound, best)) {
                    bound = best.error;
                    best_filter = filter;
                    best_shift = shift;
                }
            }
        }
        if (best_filter < 0)
            return;
        Node child{best.old,
                   best.older,
                   node.cost + best.error,
                   Step{best.nibbles, make_header(best_shift, best_filter, false, false),
                        static_cast<std::uint8_t>(k)},
                   {node.head[0], node.head[1]},
                   entry,
                   own ? best_filter : node.loop_filter};
        if (own)
            loop_heads(best.nibbles, best_filter, best_shift, entry, child.head);
        next_.offer(child);
    }

    const std::vector<int> &target_;
    const PlayedTargets *played_;
    std::size_t first_;
    bool free_start_;
    std::size_t loop_block_;
    std::size_t blocks_;
    std::size_t next_block_;
    int width_;
    int trellis_;
    int refined_;
    bool guard_;
    int loop_filters_ = 1;
    bool failed_ = false;
    std::vector<Step> steps_;
    Pool beam_;
    Pool next_;
};

// Targets for `count` input samples laid out as encoded_block_count says,
// without the end block: lead-in and padding silent.
std::vector<int> layout_targets(const std::int16_t *pcm, std::size_t count, bool lead_in)
{
    const std::size_t blocks = encoded_block_count(count, lead_in) - 1;
    std::vector<int> target(blocks * kBlockSamples, 0);
    const std::size_t offset = lead_in ? kBlockSamples : 0;
    for (std::size_t i = 0; i < count; ++i)
        target[offset + i] = pcm[i];
    return target;
}

void append_end_block(std::vector<std::uint8_t> &brr)
{
    brr.push_back(make_header(0, 0, false, true));
    brr.insert(brr.end(), kBlockBytes - 1, 0);
}

// Least greedy error over shifts for the first block of `target` from a zero
// history, with `filters` filters (1: filter 0 only).
std::int64_t first_block_error(const int *target, int filters)
{
    std::int64_t best = INT64_MAX;
    for (int filter = 0; filter < filters; ++filter)
        for (int shift = 0; shift <= kMaxShift; ++shift) {
            Path path{0, 0, 0, 0};
            if (greedy_block(target, filter, shift, path, best, true))
                best = path.error;
        }
    return best;
}

// The flat encoder's decision on the lead-in block; with `flat_out`, also its
// whole flat encoding. A silent block in front frees the first input block
// from filter 0. It can only pay if filter 0 costs the first block something;
// then both ways are encoded side by side. The lead-in is dropped as soon as
// its gain has settled (the two stopped drifting apart) below the threshold of
// the error so far, which can only grow; otherwise the totals decide.
bool race_lead_in(const std::int16_t *pcm, std::size_t count, const EncoderSettings &settings,
                  EncodedSample *flat_out)
{
    const std::vector<int> plain = layout_targets(pcm, count, false);
    const bool try_lead_in = settings.allow_lead_in && first_block_error(plain.data(), 1) >
                                                           first_block_error(plain.data(), 4);
    if (!try_lead_in && flat_out == nullptr)
        return false;
    BeamEncoder without(plain, 0, false, settings);
    const std::vector<int> led =
        try_lead_in ? layout_targets(pcm, count, true) : std::vector<int>{};
    BeamEncoder with(led, 1, true, settings);
    // When only the decision is wanted, the lead-in's encoding stops once the
    // two choose alike (see same_future): its cost follows from the other's.
    bool alike = false;
    std::int64_t with_offset = 0;
    const auto with_cost = [&] {
        return alike ? without.best_cost() + with_offset : with.best_cost();
    };
    bool racing = try_lead_in;
    double settled_gain = 0;
    while (!without.done()) {
        if (!racing && flat_out == nullptr)
            return false;
        without.advance();
        if (!racing)
            continue;
        if (!alike) {
            with.advance();
            alike = flat_out == nullptr && without.same_future(with, with_offset);
        }
        if (without.next_block() % kLeadInCheckBlocks != 0)
            continue;
        const double gain = static_cast<double>(without.best_cost() - with_cost());
        const bool settled = std::abs(gain - settled_gain) <= 0.01 * gain;
        if (gain <= 0 || (settled && gain < (1.0 - kLeadInErrorRatio) *
                                                static_cast<double>(without.best_cost())))
            racing = false;
        settled_gain = gain;
    }
    const bool lead_in = racing && static_cast<double>(with_cost()) <=
                                       kLeadInErrorRatio * static_cast<double>(without.best_cost());
    if (flat_out != nullptr) {
        const BeamEncoder &winner = lead_in ? with : without;
        flat_out->brr = winner.finish();
        flat_out->squared_error = winner.best_cost();
        flat_out->lead_in_blocks = lead_in ? 1 : 0;
        append_end_block(flat_out->brr);
    }
    return lead_in;
}

// True if a second pass through the loop, from `loop_block` to the end of
// `brr`, decodes exactly like the first; every later pass then does too, as it
// enters with the same history. The first block must use filter 0.
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

std::size_t encoded_block_count(std::size_t count, bool lead_in)
{
    if (count == 0)
        return 0;
    // The last input sample must lie before the unheard samples of the block
    // in front of the end block.
    const std::size_t last = (lead_in ? kBlockSamples : 0) + count - 1;
    const std::size_t end_block = (last + kUnheardBeforeEnd + kBlockSamples) / kBlockSamples;
    return end_block + 1;
}

int nearest_nibble_exhaustive(int prediction, int target, int shift)
{
    Candidate c[2]{};
    two_nearest_exhaustive(prediction, target, shift, c);
    return c[0].nibble;
}

int nearest_nibble(int prediction, int target, int shift)
{
    Candidate c[2]{};
    two_nearest(prediction, target, shift, c);
    return c[0].nibble;
}

EncodedSample encode(const std::int16_t *pcm, std::size_t count, const EncoderSettings &settings)
{
    EncodedSample result;
    if (count == 0)
        return result;
    if (settings.flat) {
        race_lead_in(pcm, count, settings, &result);
        return result;
    }
    // The lead-in block is decided as the flat encoder decides it, so that both
    // spend the same number of blocks on an input.
    const bool lead_in = race_lead_in(pcm, count, settings, nullptr);
    const std::vector<int> target = layout_targets(pcm, count, lead_in);
    const PlayedTargets played(target);
    BeamEncoder beam(target, lead_in ? 1 : 0, lead_in, settings, SIZE_MAX, &played);
    while (!beam.done())
        beam.advance();
    result.brr = beam.finish();
    result.squared_error = beam.best_cost();
    result.lead_in_blocks = lead_in ? 1 : 0;
    append_end_block(result.brr);
    return result;
}

EncodedSample encode_looped(const std::int16_t *pcm, std::size_t count, std::size_t loop_start,
                            const EncoderSettings &settings)
{
    assert(count % kBlockSamples == 0 && loop_start % kBlockSamples == 0 && loop_start < count);
    const std::vector<int> target(pcm, pcm + count);
    std::optional<PlayedTargets> played;
    if (!settings.flat)
        played.emplace(target, loop_start);
    const std::size_t loop_block = loop_start / kBlockSamples;
    BeamEncoder plain(target, 0, false, settings, loop_block, played ? &*played : nullptr);
    while (plain.next_block() < loop_block)
        plain.advance();
    // Beside filter 0, the loop block may try filter 1 (the end block then has
    // only `old` to meet, which it seldom fails to), or any filter (2 and 3
    // predict better but ask for both values). The blocks before the loop encode
    // alike in every try. A note starts with an unknown history, so a loop at
    // block 0 keeps filter 0.
    std::vector<BeamEncoder> careful;
    if (loop_block > 0)
        for (const int filters : {2, 4}) {
            careful.push_back(plain);
            careful.back().free_loop_block(filters);
        }
    const auto finish = [](BeamEncoder &beam) {
        while (!beam.done())
            beam.advance();
        EncodedSample e;
        if (beam.failed())
            return e;
        e.brr = beam.finish();
        e.squared_error = beam.best_cost();
        e.brr[e.brr.size() - kBlockBytes] |= make_header(0, 0, true, true);
        return e;
    };
    EncodedSample result = finish(plain);
    for (BeamEncoder &beam : careful) {
        EncodedSample e = finish(beam);
        // The search means every pass to decode alike; the decoder has the last word.
        if (!e.brr.empty() && e.squared_error < result.squared_error &&
            passes_alike(e.brr, loop_block))
            result = std::move(e);
    }
    return result;
}

EncodedSample encode_baseline(const std::int16_t *pcm, std::size_t count)
{
    EncodedSample result;
    if (count == 0)
        return result;
    const std::vector<int> target = layout_targets(pcm, count, false);
    const std::size_t blocks = target.size() / kBlockSamples;
    result.brr.assign(blocks * kBlockBytes, 0);
    History history;
    for (std::size_t b = 0; b < blocks; ++b) {
        const int *x = target.data() + b * kBlockSamples;
        std::int64_t best_error = INT64_MAX;
        Path best{};
        int best_filter = 0, best_shift = 0;
        for (int filter = 0; filter < (b == 0 ? 1 : 4); ++filter) {
            for (int shift = 0; shift <= kMaxShift; ++shift) {
                Path path{history.old, history.older, 0, 0};
                for (int j = 0; j < kBlockSamples; ++j) {
                    Candidate c[2]{};
                    two_nearest_exhaustive(predict(filter, path.old, path.older), x[j], shift, c);
                    path.error += c[0].error;
                    path.older = path.old;
                    path.old = c[0].value;
                    path.nibbles = append(path.nibbles, c[0].nibble);
                }
                if (path.error < best_error) {
                    best_error = path.error;
                    best = path;
                    best_filter = filter;
                    best_shift = shift;
                }
            }
        }
        result.brr[b * kBlockBytes] = make_header(best_shift, best_filter, false, false);
        store_nibbles(best.nibbles, &result.brr[b * kBlockBytes]);
        result.squared_error += best_error;
        history = History{best.old, best.older};
    }
    append_end_block(result.brr);
    return result;
}

} // namespace snesbrr
