// libFuzzer entry: arbitrary bytes as a WAV file, then a short encode of
// whatever it held.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "brr.h"
#include "encoder.h"
#include "wav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    snesbrr::MonoPcm pcm;
    if (snesbrr::read_wav(data, size, pcm) != snesbrr::Status::Ok)
        return 0;
    // A few blocks are enough to drive the encoder with hostile samples.
    const std::size_t count = std::min<std::size_t>(pcm.samples.size(), 96);
    const snesbrr::EncodedSample e = snesbrr::encode(pcm.samples.data(), count);
    if (e.brr.size() % snesbrr::kBlockBytes != 0)
        __builtin_trap();
    return 0;
}
