#include "convert.h"

#include "brr.h"
#include "resample.h"
#include "voice.h"

namespace snesbrr {

Status check_encodable(const MonoPcm &pcm)
{
    // An empty encoding would be a sample without even an end block.
    if (pcm.samples.empty())
        return Status::NoSamples;
    return pcm.samples.size() > kMaxEncodeSamples ? Status::TooLong : Status::Ok;
}

Status encode_at(const MonoPcm &pcm, const EncodePlan &plan, const EncoderSettings &settings,
                 std::vector<std::uint8_t> &out)
{
    if (!plan.loops) {
        if (resampled_length(pcm.samples.size(), pcm.sample_rate, plan.rate) > kMaxEncodeSamples)
            return Status::TooLong;
        const std::vector<std::int16_t> samples =
            resample(pcm.samples.data(), pcm.samples.size(), pcm.sample_rate, plan.rate);
        out = encode(samples.data(), samples.size(), settings).brr;
        return Status::Ok;
    }
    const LoopLayout &layout = plan.layout;
    if (layout.total() > kMaxEncodeSamples)
        return Status::TooLong;
    const std::size_t offset = layout.loop_start() / kBlockSamples * kBlockBytes;
    if (offset > kMaxLoopOffset)
        return Status::LoopTooFar;
    const std::vector<std::int16_t> laid =
        lay_out_loop(pcm.samples.data(), plan.start, plan.end, layout);
    out = make_headered(encode_looped(laid.data(), laid.size(), layout.loop_start(), settings).brr,
                        offset);
    return Status::Ok;
}

Status decode_to_wav(const BrrFile &file, bool blocks_only, int pitch,
                     std::vector<std::uint8_t> &wav)
{
    std::size_t loop_block = 0;
    const bool loops = plays_loop(file, loop_block);
    std::vector<std::int16_t> samples;
    Status status;
    if (blocks_only) {
        status = decode_all(file.blocks, file.size, samples);
        if (status == Status::Ok)
            wav = loops ? write_wav_looped(samples.data(), samples.size(), kOutputRate,
                                           static_cast<std::uint32_t>(loop_block * kBlockSamples),
                                           static_cast<std::uint32_t>(samples.size()))
                        : write_wav(samples.data(), samples.size(), kOutputRate);
    } else {
        status = loops ? render_looped_voice(file.blocks, file.size, pitch, loop_block, samples)
                       : render_voice(file.blocks, file.size, pitch, samples);
        if (status == Status::Ok)
            wav = write_wav(samples.data(), samples.size(), kOutputRate);
    }
    return status;
}

} // namespace snesbrr
