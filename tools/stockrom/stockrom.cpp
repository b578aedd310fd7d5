#include "stockrom.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace stockrom {
namespace {

constexpr uint16_t kAudioBase = 0x8100; // where the stock data lands in audio RAM
constexpr int kBlock = 9;               // bytes per BRR block
constexpr double kPi = 3.14159265358979323846;

uint32_t Next(uint32_t &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Block counts of the 20 stock samples: 3160 blocks, 28440 bytes, ending at 0xF018.
constexpr int kBlocks[kEntries] = {212, 96,  180, 140, 260, 64,  128, 200, 150, 176,
                                   120, 232, 88,  160, 144, 192, 108, 220, 130, 160};

// One sample of a plucked, decaying tone; amplitude in 15-bit units.
double Voice(int sample, int index)
{
    const double t = sample / 32000.0;
    const double freq = 110.0 * (1 + index % 7) * (index % 2 ? 1.5 : 1.0);
    const double decay = std::exp(-t * (2.0 + index % 5));
    return 12000.0 * decay * (std::sin(2 * kPi * freq * t) + 0.3 * std::sin(6 * kPi * freq * t));
}

// Encodes one block with filter 0: each nibble is the sample in steps of 2^(shift-1).
void EncodeBlock(uint8_t *block, const double *pcm, uint8_t flags)
{
    double peak = 0;
    for (int i = 0; i < 16; ++i)
        peak = std::fmax(peak, std::fabs(pcm[i]));
    int shift = 1;
    while (shift < 12 && peak > 7.0 * (1 << (shift - 1)))
        ++shift;
    block[0] = uint8_t(shift << 4 | flags);
    const double step = 1 << (shift - 1);
    for (int i = 0; i < 16; ++i) {
        const long nibble = std::lround(std::fmin(7, std::fmax(-8, pcm[i] / step)));
        const uint8_t bits = uint8_t(nibble & 0xF);
        uint8_t &byte = block[1 + i / 2];
        byte = (i % 2) ? uint8_t(byte | bits) : uint8_t(bits << 4);
    }
}

} // namespace

std::vector<Entry> Directory()
{
    std::vector<Entry> dir;
    uint16_t start = kAudioBase;
    for (int i = 0; i < kEntries; ++i) {
        // Even samples loop over their second half; odd ones name their start as loop.
        const uint16_t loop = (i % 2) ? start : uint16_t(start + kBlock * (kBlocks[i] / 2));
        dir.push_back({start, loop});
        start = uint16_t(start + kBlock * kBlocks[i]);
    }
    assert(start <= kDataEnd);
    return dir;
}

std::vector<uint8_t> Make(size_t romBytes)
{
    assert(romBytes % 0x8000 == 0 && romBytes > 0x100000);
    std::vector<uint8_t> file(kHeaderSize + romBytes);
    uint32_t state = 0x7A3C0001;
    for (auto &byte : file)
        byte = uint8_t(Next(state) >> 24);
    // An expanded ROM is padded past the game's 1 MiB with one value.
    std::fill(file.begin() + kHeaderSize + kGameSize, file.end(), uint8_t(0));

    const std::vector<Entry> dir = Directory();
    for (int i = 0; i < kEntries; ++i) {
        uint8_t *entry = &file[kDirOffset + 4 * i];
        entry[0] = uint8_t(dir[i].start);
        entry[1] = uint8_t(dir[i].start >> 8);
        entry[2] = uint8_t(dir[i].loop);
        entry[3] = uint8_t(dir[i].loop >> 8);
    }

    uint8_t *data = &file[kDataOffset];
    std::fill(data, data + kDataSize, 0);
    for (int i = 0; i < kEntries; ++i) {
        uint8_t *block = data + (dir[i].start - kAudioBase);
        for (int b = 0; b < kBlocks[i]; ++b, block += kBlock) {
            double pcm[16];
            for (int s = 0; s < 16; ++s)
                pcm[s] = (b == kBlocks[i] - 1) ? 0 : Voice(b * 16 + s, i);
            const bool last = b == kBlocks[i] - 1;
            EncodeBlock(block, pcm, last ? uint8_t((i % 2) ? 0x01 : 0x03) : 0);
        }
    }
    return file;
}

} // namespace stockrom
