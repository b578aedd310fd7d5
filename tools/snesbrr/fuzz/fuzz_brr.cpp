// libFuzzer entry: the first two bytes pick a pitch, the rest is BRR data
// decoded raw and played on a voice, once as it ends and once looping.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "brr.h"
#include "voice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    // Slow pitches only make long silent renders: keep the fuzzer moving.
    const int pitch = 0x100 + ((data[0] << 8 | data[1]) % (snesbrr::kMaxPitch - 0xFF));
    std::vector<std::int16_t> out;
    snesbrr::decode_all(data + 2, size - 2, out);
    snesbrr::render_voice(data + 2, size - 2, pitch, out);
    if (out.size() > snesbrr::kMaxRenderSamples)
        __builtin_trap();
    // The same data looping back to a block the first byte picks (any, even one past
    // the end block, which the voice must ignore).
    const std::size_t loop_block = data[0] % 16;
    snesbrr::render_looped_voice(data + 2, size - 2, pitch, loop_block, out);
    if (out.size() > snesbrr::kMaxRenderSamples)
        __builtin_trap();
    return 0;
}
