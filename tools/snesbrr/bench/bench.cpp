// Quality and speed of the encoder against the common per-block search.
// Usage: snesbrr_bench [--beam N] [--trellis N] [--refined N]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "brr.h"
#include "corpus.h"
#include "encoder.h"
#include "loops.h"

using namespace snesbrr;

namespace {

// SNR in dB of the raw hardware decode against the input, sample for sample.
double snr_db(const std::vector<std::int16_t> &input, const EncodedSample &e)
{
    std::vector<std::int16_t> decoded;
    decode_all(e.brr.data(), e.brr.size(), decoded);
    const std::size_t offset = static_cast<std::size_t>(e.lead_in_blocks) * kBlockSamples;
    double signal = 0, error = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const double d = input[i] - static_cast<double>(decoded[offset + i]);
        signal += static_cast<double>(input[i]) * input[i];
        error += d * d;
    }
    return error == 0 ? 999 : 10 * std::log10(signal / error);
}

} // namespace

int main(int argc, char *argv[])
{
    EncoderSettings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--beam"))
            settings.beam = value;
        else if (!std::strcmp(argv[i], "--trellis"))
            settings.trellis = value;
        else if (!std::strcmp(argv[i], "--refined"))
            settings.refined = value;
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    std::string note;
    const auto corpus = bench::make_corpus(note);
    std::printf("beam %d, trellis %d, refined %d\n", settings.beam, settings.trellis,
                settings.refined);
    std::printf("%-36s %8s %9s %9s %7s %7s %7s %5s %8s\n", "sound", "samples", "base dB", "ours dB",
                "gain", "base B", "ours B", "lead", "x RT");
    double gain_sum = 0, worst_gain = 1e9, seconds = 0;
    std::size_t samples = 0, worst_extra = 0;
    for (const auto &sound : corpus) {
        const auto &pcm = sound.samples;
        const EncodedSample base = encode_baseline(pcm.data(), pcm.size());
        // The fastest of three runs: the machine is shared.
        EncodedSample ours;
        double took = 1e9;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            ours = encode(pcm.data(), pcm.size(), settings);
            took = std::min(
                took,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        const double base_db = snr_db(pcm, base), ours_db = snr_db(pcm, ours);
        const std::size_t whole = (pcm.size() + kBlockSamples - 1) / kBlockSamples * kBlockBytes;
        worst_extra = std::max(worst_extra, ours.brr.size() - whole);
        gain_sum += ours_db - base_db;
        worst_gain = std::min(worst_gain, ours_db - base_db);
        seconds += took;
        samples += pcm.size();
        std::printf("%-36s %8zu %9.2f %9.2f %+7.2f %7zu %7zu %5d %8.1f\n", sound.name.c_str(),
                    pcm.size(), base_db, ours_db, ours_db - base_db, base.brr.size(),
                    ours.brr.size(), ours.lead_in_blocks, pcm.size() / 32000.0 / took);
    }
    const double mean_gain = gain_sum / corpus.size();
    const double speed = samples / 32000.0 / seconds;
    std::printf("mean gain %+.2f dB, worst %+.2f dB, most bytes past whole blocks %zu, speed %.1fx "
                "real time\n",
                mean_gain, worst_gain, worst_extra, speed);
    std::printf("targets: never worse %s, mean gain >= 0.5 dB %s, extra <= 27 bytes %s, >= 50x "
                "real time %s\n",
                worst_gain >= 0 ? "met" : "MISSED", mean_gain >= 0.5 ? "met" : "MISSED",
                worst_extra <= 27 ? "met" : "MISSED", speed >= 50 ? "met" : "MISSED");
    if (!note.empty())
        std::printf("note: %s\n", note.c_str());
    bench::print_loop_figures(settings);
    return 0;
}
