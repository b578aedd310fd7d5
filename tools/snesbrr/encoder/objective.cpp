// The two objectives: the decoded values (flat), or what one voice plays at
// pitch 0x1000 (played), with the aim the played objective draws candidates
// near and the errors of a loop's seam.
#include "objective.h"

#include <algorithm>
#include <cmath>

namespace snesbrr {
namespace {

// At pitch 0x1000 every output sample sits on a source sample and weighs it and
// its two neighbours by the gaussian's weights at offset 0 (the fourth weighs
// nothing). The sample centred on source i - 1 is therefore complete once
// sample i is decoded, and a decoder state (old, older) is enough to score it.
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

// Error feedback onto the aim. With the two previous values off their aims by
// q1 (old) and q2 (older), 16-bit units, the value that least disturbs the
// three outputs it enters (later values on their aims) lies off its own aim by
// -(1305 * 744 * q1 + 374 * 370 * q2) / (370^2 + 1305^2 + 374^2). In 1/65536:
constexpr std::int64_t kFeedbackOld = 32140;
constexpr std::int64_t kFeedbackOlder = 4581;

void loop_heads(std::uint64_t nibbles, int filter, int shift, History entry, int head[2])
{
    for (int k = 0; k < 2; ++k) {
        const int nibble = static_cast<int>((nibbles >> (60 - 4 * k)) & 0xF);
        head[k] = decode_nibble(nibble >= 8 ? nibble - 16 : nibble, shift, filter, entry);
    }
}

// The flat objective.

[[gnu::always_inline]] inline int FlatBlock::candidates(int j, int filter, int shift, int old,
                                                        int older, int, Candidate out[2]) const
{
    return allowed_candidates(predict(filter, old, older), target_[j], shift, old, older, guard_,
                              out);
}

std::int64_t FlatBlock::sample_error(int j, int, int, int value) const
{
    return squared(target_[j] - 2 * value);
}

bool FlatBlock::allowed(int older, int old, int value) const
{
    return !guard_ || !clicks(older, old, value);
}

FlatObjective::FlatObjective(std::vector<int> target, std::size_t input_end, std::size_t first,
                             std::size_t loop_block, bool guard)
    : layout{target.size() / kBlockSamples, first, loop_block, input_end},
      target_(std::move(target)),
      guard_(guard)
{
}

FlatBlock FlatObjective::block(std::size_t b, const LoopEntry &) const
{
    return FlatBlock(target_.data() + b * kBlockSamples, guard_);
}

// The played objective.

// Candidates near the aim corrected by feedback; the score is always the exact
// played error.
[[gnu::always_inline]] inline int PlayedBlock::candidates(int j, int filter, int shift, int old,
                                                          int older, int wanted,
                                                          Candidate out[2]) const
{
    const std::int64_t q1 = 2 * old - aim_[j - 1], q2 = 2 * older - aim_[j - 2];
    const int aim = aim_[j] - static_cast<int>((kFeedbackOld * q1 + kFeedbackOlder * q2) >> 16);
    const int n =
        allowed_candidates(predict(filter, old, older), aim, shift, old, older, guard_, out);
    for (int m = 0; m < std::min(n, wanted); ++m)
        out[m].error = sample_error(j, older, old, out[m].value);
    return n;
}

// The output centred on sample j - 1, complete once `value` is decoded at j.
inline std::int64_t PlayedBlock::sample_error(int j, int older, int old, int value) const
{
    return j < counted_from_ ? 0 : squared(input_[j - 1] - played_at_unity(older, old, value));
}

bool PlayedBlock::allowed(int older, int old, int value) const
{
    return !guard_ || !clicks(older, old, value);
}

// The estimate of the output centred on sample j - 1 (0 or 16) of the block,
// from the two values before j and the aim at j.
std::int64_t PlayedBlock::pending_error(int j, int older, int old) const
{
    return squared(input_[j - 1] - played_at_unity(older, old, aim_[j] >> 1));
}

// A path entering the block settles the estimate it came in with: the exact
// error of that output is its first sample's.
std::int64_t PlayedBlock::start_error(const Path &start) const
{
    return settles_start_ ? -pending_error(0, start.older, start.old) : 0;
}

// A path leaving the block adds the estimate for its last sample, or at a loop's
// end the seam's two outputs.
std::int64_t PlayedBlock::end_error(const Path &end, int filter, int shift) const
{
    if (seam_.active) {
        int head[2] = {seam_.loop.head[0], seam_.loop.head[1]};
        if (seam_.own)
            loop_heads(end.nibbles, filter, shift, seam_.loop.history, head);
        return squared(seam_.last_input - played_at_unity(end.older, end.old, head[0])) +
               squared(seam_.head_input - played_at_unity(end.old, head[0], head[1]));
    }
    return estimates_end_ ? pending_error(kBlockSamples, end.older, end.old) : 0;
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

PlayedObjective::PlayedObjective(const std::vector<int> &input, std::size_t input_end,
                                 std::size_t first, std::size_t loop_block, bool guard)
    : layout{input.size() / kBlockSamples, first, loop_block, input_end}, input_(kFront, 0),
      aim_(kFront, 0),
      guard_(guard)
{
    input_.insert(input_.end(), input.begin(), input.end());
    std::vector<double> x(input.begin(), input.end());
    if (loop_block != kNoLoop) {
        const std::size_t loop_start = loop_block * kBlockSamples;
        for (std::size_t k = 0; k < kLoopContext; ++k)
            x.push_back(input[loop_start + k % (input.size() - loop_start)]);
    }
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

PlayedBlock PlayedObjective::block(std::size_t b, const LoopEntry &loop) const
{
    const std::size_t at = kFront + b * kBlockSamples;
    PlayedBlock pb;
    pb.input_ = input_.data() + at;
    pb.aim_ = aim_.data() + at;
    // Sample j completes the output centred on j - 1, and a note's first output
    // is centred on its sample 1: samples 0 and 1 complete none that is heard.
    pb.counted_from_ = b == 0 ? 2 : 0;
    pb.estimates_end_ = b + 1 < layout.blocks;
    pb.settles_start_ = b > layout.first;
    pb.guard_ = guard_;
    if (layout.loop_block != kNoLoop) {
        pb.seam_.active = b + 1 == layout.blocks;
        pb.seam_.own = b == layout.loop_block;
        pb.seam_.loop = loop;
        pb.seam_.last_input = pb.input_[kBlockSamples - 1];
        pb.seam_.head_input = input_[kFront + layout.loop_block * kBlockSamples];
    }
    return pb;
}

} // namespace
} // namespace snesbrr
