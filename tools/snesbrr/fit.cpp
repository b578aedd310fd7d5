#include "fit.h"

#include "brr.h"
#include "brrfile.h"
#include "encoder.h"
#include "loop.h"
#include "resample.h"

namespace snesbrr {

std::size_t least_bytes(const SoundShape &sound, std::uint32_t rate)
{
    if (sound.loops) {
        const LoopLayout layout = plan_loop(sound.loop_start, sound.loop_end, sound.rate, rate);
        return kBrrHeaderBytes + layout.total() / kBlockSamples * kBlockBytes;
    }
    return kBlockBytes * encoded_block_count(resampled_length(sound.frames, sound.rate, rate), false);
}

std::uint32_t highest_fitting_rate(const SoundShape &sound, std::uint64_t limit,
                                   std::uint32_t highest, std::uint32_t lowest)
{
    for (std::uint32_t rate = highest; rate >= lowest && rate > 0; --rate)
        if (least_bytes(sound, rate) <= limit)
            return rate;
    return 0;
}

} // namespace snesbrr
