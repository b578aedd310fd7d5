#include "wavread.h"

#include <cstdint>
#include <new>
#include <vector>

#include "diskio.h" // the codec's whole-file read
#include "snesbrr.h"

snesbrr::Status BRRReadWav(const char *path, snesbrr::MonoPcm &pcm)
{
    std::vector<std::uint8_t> bytes;
    const snesbrr::Status status = snesbrr::read_file(path, bytes);
    return status == snesbrr::Status::Ok ? snesbrr::read_wav(bytes.data(), bytes.size(), pcm)
                                         : status;
}

bool BRRWavShape(const char *path, int *frames, int *rate)
{
    snesbrr::MonoPcm pcm;
    try {
        if (BRRReadWav(path, pcm) != snesbrr::Status::Ok)
            return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
    *frames = static_cast<int>(pcm.samples.size());
    *rate = static_cast<int>(pcm.sample_rate);
    return true;
}

bool BRRWavLoop(const char *path, HWND owner, int *frames, int *loopStart, int *loopEnd, int *rate)
{
    snesbrr::Status status = snesbrr::Status::ReadFailed;
    snesbrr::MonoPcm pcm;
    try {
        status = BRRReadWav(path, pcm);
    } catch (const std::bad_alloc &) {
        FIOErrorFor(owner, "There is not enough memory to read this WAV file.");
        return false;
    }
    if (status != snesbrr::Status::Ok) {
        FIOErrorFor(owner, "This WAV file cannot be used: %s.\nNothing was inserted.",
                    snesbrr::describe(status));
        return false;
    }
    // The reader keeps at most one sample per byte of a file of at most 1 GiB.
    const std::size_t count = pcm.samples.size();
    *frames = static_cast<int>(count);
    const bool inside = pcm.has_loop && pcm.loop_start < pcm.loop_end && pcm.loop_end <= count;
    *loopStart = inside ? static_cast<int>(pcm.loop_start) : -1;
    *loopEnd = inside ? static_cast<int>(pcm.loop_end) : 0;
    if (rate)
        *rate = static_cast<int>(pcm.sample_rate);
    return true;
}
