// The encoder's layout, the lead-in block's race and the public API. Its stages
// are included below, in the order they build on one another, into this one
// translation unit: the inner loops inline across them.
//   candidates  what one sample may decode to
//   objective   what is minimised: the decoded values (flat) or what plays (played)
//   trellis     the search within one block, over either objective
//   loop_seam   the end block that keeps a loop's passes alike
//   beam        the search across blocks
#include "encoder.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>

#include "brr.h"
#include "encoder/candidates.cpp"
#include "encoder/objective.cpp"
#include "encoder/trellis.cpp"
#include "encoder/loop_seam.cpp"
#include "encoder/beam.cpp"

namespace snesbrr {

namespace {

// The voice is silenced while playback (at pitch 0x1000) is still this many
// samples before its end block, so they are never heard.
constexpr std::size_t kUnheardBeforeEnd = 9;

// A lead-in block must cut the squared error to this fraction (0.25 dB).
constexpr double kLeadInErrorRatio = 0.944;
// How often (in blocks) the gain of a lead-in block is looked at.
constexpr std::size_t kLeadInCheckBlocks = 16;

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

// The best encoding a finished beam found, closed by a silent end block.
template <class Objective> EncodedSample unlooped(const Beam<Objective> &beam, bool lead_in)
{
    EncodedSample e;
    e.brr = beam.finish();
    e.squared_error = beam.best_cost();
    e.lead_in_blocks = lead_in ? 1 : 0;
    append_end_block(e.brr);
    return e;
}

// Least greedy error over shifts for the first block of `target` from a zero
// history, with `filters` filters (1: filter 0 only).
std::int64_t first_block_error(const int *target, int filters)
{
    std::int64_t best = INT64_MAX;
    for (int filter = 0; filter < filters; ++filter)
        for (int shift = 0; shift <= kMaxShift; ++shift) {
            Path path;
            if (search_block(FlatBlock(target, true), filter, shift, Path{0, 0, 0, 0}, 1, best,
                             &path) != 0)
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
    std::vector<int> plain = layout_targets(pcm, count, false);
    const bool try_lead_in = settings.allow_lead_in && first_block_error(plain.data(), 1) >
                                                           first_block_error(plain.data(), 4);
    if (!try_lead_in && flat_out == nullptr)
        return false;
    const FlatObjective plain_objective(std::move(plain), count, 0, kNoLoop, settings.click_guard);
    const FlatObjective led_objective(try_lead_in ? layout_targets(pcm, count, true)
                                                  : std::vector<int>{},
                                      kBlockSamples + count, 1, kNoLoop, settings.click_guard);
    Beam<FlatObjective> without(plain_objective, settings);
    Beam<FlatObjective> with(led_objective, settings);
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
    if (flat_out != nullptr)
        *flat_out = unlooped(lead_in ? with : without, lead_in);
    return lead_in;
}

// encode_looped over the layout of `objective`.
template <class Objective>
EncodedSample loop_encode(const Objective &objective, const EncoderSettings &settings)
{
    const std::size_t loop_block = objective.layout.loop_block;
    Beam<Objective> plain(objective, settings);
    while (plain.next_block() < loop_block)
        plain.advance();
    // Beside filter 0, the loop block may try filter 1 (the end block then has
    // only `old` to meet, which it seldom fails to), or any filter (2 and 3
    // predict better but ask for both values). The blocks before the loop encode
    // alike in every try. A note starts with an unknown history, so a loop at
    // block 0 keeps filter 0.
    std::vector<Beam<Objective>> careful;
    if (loop_block > 0)
        for (const int filters : {2, 4}) {
            careful.push_back(plain);
            careful.back().free_loop_block(filters);
        }
    const auto finish = [](Beam<Objective> &beam) {
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
    std::size_t exact = plain.exact_blocks();
    for (Beam<Objective> &beam : careful) {
        EncodedSample e = finish(beam);
        // Blocks decoded exactly outweigh any error; the search means every pass to
        // decode alike, and the decoder has the last word.
        const bool better = beam.exact_blocks() != exact ? beam.exact_blocks() > exact
                                                         : e.squared_error < result.squared_error;
        if (!e.brr.empty() && better && passes_alike(e.brr, loop_block)) {
            result = std::move(e);
            exact = beam.exact_blocks();
        }
    }
    return result;
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
    if (count == 0)
        return {};
    EncodedSample result;
    if (settings.flat) {
        race_lead_in(pcm, count, settings, &result);
        return result;
    }
    // The lead-in block is decided as the flat encoder decides it, so that both
    // spend the same number of blocks on an input.
    const bool lead_in = race_lead_in(pcm, count, settings, nullptr);
    const PlayedObjective played(layout_targets(pcm, count, lead_in),
                                 (lead_in ? kBlockSamples : 0) + count, lead_in ? 1 : 0, kNoLoop,
                                 settings.click_guard);
    Beam<PlayedObjective> beam(played, settings);
    while (!beam.done())
        beam.advance();
    return unlooped(beam, lead_in);
}

EncodedSample encode_looped(const std::int16_t *pcm, std::size_t count, std::size_t loop_start,
                            const EncoderSettings &settings)
{
    assert(count % kBlockSamples == 0 && loop_start % kBlockSamples == 0 && loop_start < count);
    const std::vector<int> target(pcm, pcm + count);
    const std::size_t loop_block = loop_start / kBlockSamples;
    if (settings.flat)
        return loop_encode(FlatObjective(target, count, 0, loop_block, settings.click_guard),
                           settings);
    return loop_encode(PlayedObjective(target, count, 0, loop_block, settings.click_guard),
                       settings);
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
