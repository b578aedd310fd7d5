#include "inprocess_codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "FileIO.h"
#include "SPCM.h"
#include "brr.h"
#include "brrfile.h"
#include "cli.h"
#include "encoder.h"
#include "loop.h"
#include "resample.h"
#include "snesbrr.h"
#include "voice.h"
#include "wav.h"
#include "wavread.h"

namespace {

// The bytes in a new buffer that the caller releases with free(), *length long; a
// result larger than limit is not handed over: null, its size in *length.
unsigned char *HandOver(const std::vector<std::uint8_t> &bytes, int limit, int *length)
{
    *length = static_cast<int>(bytes.size());
    if (*length > limit)
        return nullptr;
    auto *buffer = static_cast<unsigned char *>(malloc(bytes.size() + 1));
    if (!buffer) {
        FIOError("There is not enough memory for the encoder's output.");
        *length = -1;
        return nullptr;
    }
    std::copy(bytes.begin(), bytes.end(), buffer);
    return buffer;
}

// The encoding that the encoder program makes of the WAV file at path, at rate Hz (0:
// the file's own, at most 32000), with the loop [loopStart, loopEnd) in frames when
// loops, the headered form then. Ok, or the reason it cannot be made.
snesbrr::Status EncodeWav(const char *path, bool loops, std::size_t loopStart,
                          std::size_t loopEnd, int rate, std::vector<std::uint8_t> &out)
{
    snesbrr::MonoPcm pcm;
    snesbrr::Status status = BRRReadWav(path, pcm);
    if (status != snesbrr::Status::Ok)
        return status;
    const std::size_t frames = pcm.samples.size();
    if (frames == 0)
        return snesbrr::Status::NoSamples;
    if (frames > snesbrr::kMaxEncodeSamples)
        return snesbrr::Status::TooLong;
    const std::uint32_t at = rate ? static_cast<std::uint32_t>(rate)
                                  : std::min<std::uint32_t>(pcm.sample_rate, snesbrr::kOutputRate);
    if (!loops) {
        if (snesbrr::resampled_length(frames, pcm.sample_rate, at) > snesbrr::kMaxEncodeSamples)
            return snesbrr::Status::TooLong;
        const std::vector<std::int16_t> samples =
            snesbrr::resample(pcm.samples.data(), frames, pcm.sample_rate, at);
        out = snesbrr::encode(samples.data(), samples.size()).brr;
        return snesbrr::Status::Ok;
    }
    if (loopStart >= loopEnd || loopEnd > frames)
        return snesbrr::Status::NoLoop;
    const snesbrr::LoopLayout layout = snesbrr::plan_loop(loopStart, loopEnd, pcm.sample_rate, at);
    if (layout.total() > snesbrr::kMaxEncodeSamples)
        return snesbrr::Status::TooLong;
    const std::size_t offset = layout.loop_start() / snesbrr::kBlockSamples * snesbrr::kBlockBytes;
    if (offset > snesbrr::kMaxLoopOffset)
        return snesbrr::Status::LoopTooFar;
    const std::vector<std::int16_t> laid =
        snesbrr::lay_out_loop(pcm.samples.data(), loopStart, loopEnd, layout);
    out = snesbrr::make_headered(
        snesbrr::encode_looped(laid.data(), laid.size(), layout.loop_start()).brr, offset);
    return snesbrr::Status::Ok;
}

// EncodeWav as the bridge hands it over (see BRREncode); failure heads the refusal.
unsigned char *Encoded(const char *path, bool loops, int loopStart, int loopEnd, int rate,
                       int *length, const char *failure)
{
    *length = -1;
    std::vector<std::uint8_t> bytes;
    snesbrr::Status status = snesbrr::Status::Ok;
    try {
        status = EncodeWav(path, loops, static_cast<std::size_t>(loopStart),
                           static_cast<std::size_t>(loopEnd), rate, bytes);
    } catch (const std::bad_alloc &) {
        FIOError("%s\nThe encoder ran out of memory.", failure);
        return nullptr;
    }
    if (status != snesbrr::Status::Ok) {
        FIOError("%s\nThe encoder said: %s.", failure, snesbrr::describe(status));
        return nullptr;
    }
    return HandOver(bytes, kSPCMMaxFile, length);
}

} // namespace

unsigned char *BRREncode(const char *path, HWND, int *length, int rate)
{
    int size = -1;
    unsigned char *data = Encoded(path, false, 0, 0, rate, &size,
                                  "The encoder could not encode this WAV file.\nNothing was inserted.");
    if (length)
        *length = size;
    return data;
}

unsigned char *BRREncodeLooped(const char *path, int loopStart, int loopEnd, HWND, int *length,
                               int rate)
{
    char failure[200];
    snprintf(failure, sizeof failure,
             "The encoder could not make a loop from sample %d to sample %d of this WAV "
             "file.\nChoose another loop; nothing was inserted.",
             loopStart, loopEnd);
    return Encoded(path, true, loopStart, loopEnd, rate, length, failure);
}

unsigned char *BRRDecodeBlocks(const unsigned char *file, int size, HWND, int *length)
{
    *length = -1;
    snesbrr::BrrFile brr;
    std::vector<std::int16_t> samples;
    std::vector<std::uint8_t> wav;
    try {
        snesbrr::Status status = snesbrr::parse_brr_file(file, static_cast<std::size_t>(size), brr);
        if (status == snesbrr::Status::Ok)
            status = snesbrr::decode_all(brr.blocks, brr.size, samples);
        if (status != snesbrr::Status::Ok) {
            FIOError("The encoder could not decode this sample to a WAV file.\nNothing was "
                     "exported.\nThe encoder said: %s.",
                     snesbrr::describe(status));
            return nullptr;
        }
        std::size_t loopBlock = 0;
        const auto rate = static_cast<std::uint32_t>(snesbrr::kOutputRate);
        wav = snesbrr::plays_loop(brr, loopBlock)
                  ? snesbrr::write_wav_looped(
                        samples.data(), samples.size(), rate,
                        static_cast<std::uint32_t>(loopBlock * snesbrr::kBlockSamples),
                        static_cast<std::uint32_t>(samples.size()))
                  : snesbrr::write_wav(samples.data(), samples.size(), rate);
    } catch (const std::bad_alloc &) {
        FIOError("There is not enough memory to decode this sample.");
        return nullptr;
    }
    return HandOver(wav, 0x7FFFFFFF, length);
}

bool BRRRender(const unsigned char *file, int size, int pitch, std::vector<uint8_t> &wav)
{
    snesbrr::BrrFile brr;
    std::vector<std::int16_t> samples;
    try {
        snesbrr::Status status = snesbrr::parse_brr_file(file, static_cast<std::size_t>(size), brr);
        std::size_t loopBlock = 0;
        if (status == snesbrr::Status::Ok)
            status = snesbrr::plays_loop(brr, loopBlock)
                         ? snesbrr::render_looped_voice(brr.blocks, brr.size, pitch, loopBlock,
                                                        samples)
                         : snesbrr::render_voice(brr.blocks, brr.size, pitch, samples);
        if (status != snesbrr::Status::Ok) {
            FIOError("The encoder could not decode this sample.\nThe encoder said: %s.",
                     snesbrr::describe(status));
            return false;
        }
        wav = snesbrr::write_wav(samples.data(), samples.size(), snesbrr::kOutputRate);
    } catch (const std::bad_alloc &) {
        FIOError("There is not enough memory to decode this sample.");
        return false;
    }
    return true;
}
