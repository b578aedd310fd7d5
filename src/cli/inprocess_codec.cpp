#include "inprocess_codec.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "FileIO.h"
#include "SPCM.h"
#include "brrfile.h"
#include "convert.h"
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
    if (status == snesbrr::Status::Ok)
        status = snesbrr::check_encodable(pcm);
    if (status != snesbrr::Status::Ok)
        return status;
    snesbrr::EncodePlan plan;
    plan.rate = rate ? static_cast<std::uint32_t>(rate)
                     : std::min<std::uint32_t>(pcm.sample_rate, snesbrr::kOutputRate);
    if (loops) {
        if (loopStart >= loopEnd || loopEnd > pcm.samples.size())
            return snesbrr::Status::NoLoop;
        plan.loops = true;
        plan.start = loopStart;
        plan.end = loopEnd;
        plan.layout = snesbrr::plan_loop(loopStart, loopEnd, pcm.sample_rate, plan.rate);
    }
    return snesbrr::encode_at(pcm, plan, {}, out);
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

// decode_to_wav of the .brr file image, in wav; false after a reported failure, whose
// message failure heads.
static bool DecodeToWav(const unsigned char *file, int size, bool blocksOnly, int pitch,
                        std::vector<std::uint8_t> &wav, const char *failure)
{
    try {
        snesbrr::BrrFile brr;
        snesbrr::Status status = snesbrr::parse_brr_file(file, static_cast<std::size_t>(size), brr);
        if (status == snesbrr::Status::Ok)
            status = snesbrr::decode_to_wav(brr, blocksOnly, pitch, wav);
        if (status == snesbrr::Status::Ok)
            return true;
        FIOError("%s\nThe encoder said: %s.", failure, snesbrr::describe(status));
    } catch (const std::bad_alloc &) {
        FIOError("There is not enough memory to decode this sample.");
    }
    return false;
}

unsigned char *BRRDecodeBlocks(const unsigned char *file, int size, HWND, int *length)
{
    *length = -1;
    std::vector<std::uint8_t> wav;
    if (!DecodeToWav(file, size, true, snesbrr::kUnityPitch, wav,
                     "The encoder could not decode this sample to a WAV file.\nNothing was "
                     "exported."))
        return nullptr;
    return HandOver(wav, 0x7FFFFFFF, length);
}

bool BRRRender(const unsigned char *file, int size, int pitch, std::vector<uint8_t> &wav)
{
    return DecodeToWav(file, size, false, pitch, wav, "The encoder could not decode this sample.");
}
