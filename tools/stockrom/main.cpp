// Writes the demo material of script/run: the generated stock ROM, and with a folder two
// demo sounds to insert into it, made here from formulas: a short drum hit, and a looped
// tone whose "smpl" chunk carries its loop.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "stockrom.h"
#include "wav.h"

namespace {

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0)
        return false;
    if (!ok)
        std::fprintf(stderr, "make_stock_rom: cannot write %s\n", path.c_str());
    return ok;
}

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kRate = 32000; // Hz: the sound chip's own rate

// 0.12 s of a drum: a pitch that falls from 180 to 50 Hz under a fast decay, and a click
// of noise at its start. It fits a fresh bank beside the tone.
std::vector<int16_t> Drum()
{
    std::vector<int16_t> pcm(kRate * 12 / 100);
    double phase = 0;
    uint32_t noise = 12345;
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double t = double(i) / kRate;
        phase += 2 * kPi * (50 + 130 * std::exp(-t * 30)) / kRate;
        noise = noise * 1103515245u + 12345u;
        const double click = t < 0.01 ? (double(noise >> 16 & 0x7FFF) / 16384 - 1) * (1 - t / 0.01) : 0;
        pcm[i] = int16_t(std::lround(26000 * (std::sin(phase) * std::exp(-t * 18) + 0.3 * click)));
    }
    return pcm;
}

// A soft organ tone at 440 Hz: an attack of 1600 frames, then a loop of 800 frames (11
// whole periods of 440 Hz at 32 kHz are 800 frames), so that it sustains seamlessly.
std::vector<int16_t> Tone()
{
    std::vector<int16_t> pcm(2400);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double t = double(i) / kRate, attack = std::min(1.0, double(i) / 1600);
        const double wave = std::sin(2 * kPi * 440 * t) + 0.3 * std::sin(2 * kPi * 880 * t);
        pcm[i] = int16_t(std::lround(14000 * attack * wave));
    }
    return pcm;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_stock_rom OUT.smc [SOUNDS_FOLDER]\n");
        return 2;
    }
    if (!WriteFile(argv[1], stockrom::Make()))
        return 1;
    if (argc == 2)
        return 0;
    const std::string folder = argv[2];
    const std::vector<int16_t> drum = Drum(), tone = Tone();
    const bool written =
        WriteFile(folder + "/drum.wav", snesbrr::write_wav(drum.data(), drum.size(), kRate)) &&
        WriteFile(folder + "/organ-looped.wav",
                  snesbrr::write_wav_looped(tone.data(), tone.size(), kRate, 1600, 2400));
    return written ? 0 : 1;
}
