// How long opening a ROM takes in the engine, against the plain memory work of the same
// size: the marker search beside memchr over the image, and open-to-listed (marker
// search, read-in, all 64 sizes) beside a memcpy of the image. Figures are bytes of ROM
// image per second; the targets are open-to-listed within 2 times a memcpy and the marker
// search within a small factor of memchr.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "SPCM.h"
#include "doubles.h"
#include "stockrom.h"

namespace {

// A stock ROM of the given size; prepared puts a bank in its last 32 KiB, so that the
// marker search runs over the whole image before it finds the marker.
void LoadRom(size_t romBytes, bool prepared)
{
    doubles::Load(stockrom::Make(romBytes));
    if (prepared) {
        const int bank = int(0x200 + romBytes - 0x8000);
        if (SPCMSetupROM(bank) != 1 || SPCMReadIn() != 1)
            std::abort();
    }
}

void SetBytes(benchmark::State &state, size_t romBytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(romBytes + 0x200));
}

void BM_MarkerSearch(benchmark::State &state)
{
    const size_t rom = size_t(state.range(0)) << 20;
    LoadRom(rom, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(SPCMCheckPresence());
    SetBytes(state, rom);
}

void BM_Memchr(benchmark::State &state)
{
    const size_t rom = size_t(state.range(0)) << 20;
    // A byte that the buffer never holds: one pass over all of it.
    std::vector<unsigned char> image(rom + 0x200, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(memchr(image.data(), 1, image.size()));
    SetBytes(state, rom);
}

void BM_OpenToListed(benchmark::State &state)
{
    const size_t rom = size_t(state.range(0)) << 20;
    LoadRom(rom, true);
    for (auto _ : state) {
        int sizes = 0;
        if (SPCMCheckPresence() && SPCMReadIn())
            for (int slot = 0; slot < 64; ++slot)
                sizes += SPCMFetchStart(slot) ? SPCMGetSampleSize(slot) : 0;
        benchmark::DoNotOptimize(sizes);
    }
    SetBytes(state, rom);
}

void BM_Memcpy(benchmark::State &state)
{
    const size_t rom = size_t(state.range(0)) << 20;
    LoadRom(rom, false);
    std::vector<unsigned char> copy(static_cast<size_t>(ROMSize));
    for (auto _ : state) {
        memcpy(copy.data(), ROMMem, copy.size());
        benchmark::ClobberMemory();
    }
    SetBytes(state, rom);
}

BENCHMARK(BM_MarkerSearch)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memchr)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenToListed)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
