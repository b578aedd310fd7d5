// Nibble candidates: the nearest values the decoder can reach from its
// history, by a shortcut that agrees with trying all 16 nibbles.
#include "candidates.h"

#include <algorithm>

#include "voice.h"

namespace snesbrr {
namespace {

std::int64_t squared(int d)
{
    return static_cast<std::int64_t>(d) * d;
}

std::uint64_t append(std::uint64_t nibbles, int nibble)
{
    return nibbles << 4 | static_cast<std::uint64_t>(nibble & 0xF);
}

void store_nibbles(std::uint64_t nibbles, std::uint8_t *block)
{
    for (int k = 0; k < 8; ++k)
        block[1 + k] = static_cast<std::uint8_t>(nibbles >> (56 - 8 * k));
}

inline bool clicks(int older, int old, int value)
{
    return interpolation_overflows(2 * older, 2 * old, 2 * value);
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

int two_nearest_exhaustive(int prediction, int target, int shift, Candidate out[2])
{
    int count = 0;
    for (int nibble = kNibbleMin; nibble <= kNibbleMax; ++nibble) {
        const int value = clamp_and_wrap(prediction + scale_nibble(nibble, shift));
        rank_candidate(Candidate{nibble, value, squared(target - 2 * value)}, out, count);
    }
    return count;
}

// The sum of prediction and step rises with the nibble; the 15-bit wrap cuts
// that line into up to three runs (wrapped up, unchanged, wrapped down), and
// clamping only flattens a run's end. In each run the decoded value never falls
// as the nibble rises, so the nearest value of the run brackets the target.
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

} // namespace
} // namespace snesbrr
