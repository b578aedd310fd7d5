// Quality and speed of the encoder. Two reports on one corpus:
//  - the decoded values against the input, the flat encoder against the common
//    per-block search (the objective the flat encoder minimises);
//  - what the DSP plays, at pitch 0x1000 and 0x0800, the default encoder
//    against the flat one (today's encoder), with speed and block counts;
//  - what plays at pitch 0x1000 under the played objective's widths against
//    its former, narrower ones, with the speed of each;
// then the looped material (loops.cpp) and the fit to a size (fit.cpp).
// Usage: snesbrr_bench [--beam N] [--trellis N] [--refined N]
//                      [--flat-beam N] [--flat-trellis N] [--flat-refined N]
// The first three set the played objective's widths, the others the flat one's.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "brr.h"
#include "corpus.h"
#include "encoder.h"
#include "fit.h"
#include "loops.h"
#include "voice.h"

using namespace snesbrr;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The played objective's default widths until the search widened.
constexpr SearchWidths kFormerPlayedWidths{1, 3, 1};

double snr_from(double signal, double error)
{
    return error == 0 ? 999 : 10 * std::log10(signal / error);
}

// SNR in dB of the raw hardware decode against the input, sample for sample.
double decoded_snr(const std::vector<std::int16_t> &input, const EncodedSample &e)
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
    return snr_from(signal, error);
}

// SNR in dB of `played` against `reference`, reference sample m heard at
// played[m + nominal + s], at the best s within a few samples of the nominal
// alignment. Reference samples the voice never reaches count as lost, and
// what it plays after the reference's end should be silence.
double aligned_snr(const std::vector<double> &reference, const std::vector<std::int16_t> &played,
                   long nominal)
{
    double signal = 0;
    for (const double v : reference)
        signal += v * v;
    double best = -999;
    for (long s = -4; s <= 4; ++s) {
        double error = 0;
        const long span = std::max(static_cast<long>(reference.size()),
                                   static_cast<long>(played.size()) - nominal - s);
        for (long m = 0; m < span; ++m) {
            const long at = m + nominal + s;
            const double heard =
                at >= 0 && at < static_cast<long>(played.size()) ? played[at] : 0.0;
            const double wanted = m < static_cast<long>(reference.size()) ? reference[m] : 0.0;
            error += (wanted - heard) * (wanted - heard);
        }
        best = std::max(best, snr_from(signal, error));
    }
    return best;
}

// The input at twice its rate: its own samples, and between them a windowed
// sinc (64 taps, Blackman window) halfway.
std::vector<double> doubled_rate(const std::vector<std::int16_t> &input)
{
    constexpr int kHalfTaps = 32;
    double taps[2 * kHalfTaps];
    for (int k = 0; k < 2 * kHalfTaps; ++k) {
        const double t = k - kHalfTaps + 0.5; // distance from the midpoint, in samples
        const double w =
            0.42 + 0.5 * std::cos(kPi * t / kHalfTaps) + 0.08 * std::cos(2 * kPi * t / kHalfTaps);
        taps[k] = std::sin(kPi * t) / (kPi * t) * w;
    }
    const long n = static_cast<long>(input.size());
    std::vector<double> out(2 * input.size());
    for (long i = 0; i < n; ++i) {
        out[2 * i] = input[i];
        double sum = 0;
        for (int k = 0; k < 2 * kHalfTaps; ++k) {
            const long at = i + 1 + k - kHalfTaps; // taps straddle i + 0.5
            if (at >= 0 && at < n)
                sum += taps[k] * input[at];
        }
        out[2 * i + 1] = sum;
    }
    return out;
}

struct Played {
    double unity_db; // at pitch 0x1000 against the input
    double half_db;  // at pitch 0x0800 against the input at twice its rate
};

Played played_snr(const std::vector<std::int16_t> &input, const std::vector<double> &doubled,
                  const EncodedSample &e)
{
    // Output k is centred on source sample 1 + k * pitch / 0x1000.
    const long first = e.lead_in_blocks * kBlockSamples;
    std::vector<std::int16_t> out;
    render_voice(e.brr.data(), e.brr.size(), kUnityPitch, out);
    Played p{};
    p.unity_db = aligned_snr(std::vector<double>(input.begin(), input.end()), out, first - 1);
    render_voice(e.brr.data(), e.brr.size(), kUnityPitch / 2, out);
    p.half_db = aligned_snr(doubled, out, 2 * (first - 1));
    return p;
}

// The fastest of three encodings, in seconds of processor time: the machine is
// shared, and the encoder runs on one core.
template <class Encode> double fastest(Encode encode)
{
    double took = 1e9;
    for (int run = 0; run < 3; ++run) {
        const std::clock_t start = std::clock();
        encode();
        took = std::min(took, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return took;
}

// The flat encoder against the common per-block search, on decoded values.
void report_decoded(const std::vector<bench::Sound> &corpus, EncoderSettings settings)
{
    settings.flat = true;
    std::printf("\ndecoded values against the input: flat encoder against the per-block search\n");
    std::printf("%-36s %8s %9s %9s %7s %7s %7s %5s %8s\n", "sound", "samples", "base dB", "flat dB",
                "gain", "base B", "flat B", "lead", "x RT");
    double gain_sum = 0, worst_gain = 1e9, seconds = 0;
    std::size_t samples = 0, worst_extra = 0;
    for (const auto &sound : corpus) {
        const auto &pcm = sound.samples;
        const EncodedSample base = encode_baseline(pcm.data(), pcm.size());
        EncodedSample ours;
        const double took = fastest([&] { ours = encode(pcm.data(), pcm.size(), settings); });
        const double base_db = decoded_snr(pcm, base), ours_db = decoded_snr(pcm, ours);
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
}

// The default encoder against the flat one, on what the DSP plays.
void report_played(const std::vector<bench::Sound> &corpus, const EncoderSettings &settings)
{
    EncoderSettings flat = settings;
    flat.flat = true;
    std::printf("\nplayed at pitch 1000 against the input, and at 0800 against the input at "
                "twice its rate:\nthe default encoder against the flat one (dB)\n");
    std::printf("%-36s %8s %8s %7s %8s %8s %7s %7s %8s\n", "sound", "flat1000", "ours1000", "gain",
                "flat0800", "ours0800", "gain", "blocks", "x RT");
    double unity_sum = 0, half_sum = 0, worst = 1e9, seconds = 0;
    std::size_t samples = 0;
    bool blocks_equal = true;
    for (const auto &sound : corpus) {
        const auto &pcm = sound.samples;
        const std::vector<double> doubled = doubled_rate(pcm);
        const EncodedSample before = encode(pcm.data(), pcm.size(), flat);
        EncodedSample ours;
        const double took = fastest([&] { ours = encode(pcm.data(), pcm.size(), settings); });
        const Played a = played_snr(pcm, doubled, before), b = played_snr(pcm, doubled, ours);
        const bool equal = before.brr.size() == ours.brr.size();
        blocks_equal = blocks_equal && equal;
        unity_sum += b.unity_db - a.unity_db;
        half_sum += b.half_db - a.half_db;
        worst = std::min({worst, b.unity_db - a.unity_db, b.half_db - a.half_db});
        seconds += took;
        samples += pcm.size();
        std::printf("%-36s %8.2f %8.2f %+7.2f %8.2f %8.2f %+7.2f %7s %8.1f\n", sound.name.c_str(),
                    a.unity_db, b.unity_db, b.unity_db - a.unity_db, a.half_db, b.half_db,
                    b.half_db - a.half_db, equal ? "equal" : "DIFFER", pcm.size() / 32000.0 / took);
    }
    const double unity_gain = unity_sum / corpus.size(), half_gain = half_sum / corpus.size();
    const double speed = samples / 32000.0 / seconds;
    std::printf("mean gain %+.2f dB at 1000, %+.2f dB at 0800; worst difference %+.2f dB; "
                "block counts %s; speed %.1fx real time\n",
                unity_gain, half_gain, worst, blocks_equal ? "all equal" : "DIFFER", speed);
    std::printf("targets: never worse %s, mean gain >= 6 dB at 1000 %s, >= 5 dB at 0800 %s, "
                "same blocks %s, >= 15x real time %s\n",
                worst >= 0 ? "met" : "MISSED", unity_gain >= 6 ? "met" : "MISSED",
                half_gain >= 5 ? "met" : "MISSED", blocks_equal ? "met" : "MISSED",
                speed >= 15 ? "met" : "MISSED");
}

void print_widths(const char *name, const SearchWidths &w)
{
    std::printf("%s beam %d, trellis %d, refined %d", name, w.beam, w.trellis, w.refined);
}

// The played objective's widths against its former ones, at pitch 0x1000.
void report_widths(const std::vector<bench::Sound> &corpus, const EncoderSettings &settings)
{
    EncoderSettings former = settings;
    former.played_widths = kFormerPlayedWidths;
    std::printf("\nplayed at pitch 1000 against the input: ");
    print_widths("widths", settings.played_widths);
    print_widths(" against the former", former.played_widths);
    std::printf(" (dB)\n%-36s %8s %8s %7s %8s %8s\n", "sound", "former", "now", "change",
                "former x", "now x");
    double change_sum = 0, worst = 1e9, former_seconds = 0, seconds = 0;
    std::size_t samples = 0;
    for (const auto &sound : corpus) {
        const auto &pcm = sound.samples;
        EncodedSample before, ours;
        const double former_took =
            fastest([&] { before = encode(pcm.data(), pcm.size(), former); });
        const double took = fastest([&] { ours = encode(pcm.data(), pcm.size(), settings); });
        const std::vector<double> doubled = doubled_rate(pcm);
        const double a = played_snr(pcm, doubled, before).unity_db;
        const double b = played_snr(pcm, doubled, ours).unity_db;
        change_sum += b - a;
        worst = std::min(worst, b - a);
        former_seconds += former_took;
        seconds += took;
        samples += pcm.size();
        const double length = pcm.size() / 32000.0;
        std::printf("%-36s %8.2f %8.2f %+7.2f %8.1f %8.1f\n", sound.name.c_str(), a, b, b - a,
                    length / former_took, length / took);
    }
    const double mean = change_sum / corpus.size();
    const double speed = samples / 32000.0 / seconds;
    std::printf("mean gain %+.2f dB, worst sound %+.2f dB, speed %.1fx real time (former %.1fx)\n",
                mean, worst, speed, samples / 32000.0 / former_seconds);
    std::printf("targets: mean gain >= 0.4 dB %s, no sound down more than 0.1 dB %s, >= 15x real "
                "time %s\n",
                mean >= 0.4 ? "met" : "MISSED", worst >= -0.1 ? "met" : "MISSED",
                speed >= 15 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char *argv[])
{
    EncoderSettings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::atoi(argv[i + 1]);
        const bool flat = !std::strncmp(argv[i], "--flat-", 7);
        SearchWidths &widths = flat ? settings.flat_widths : settings.played_widths;
        const char *name = argv[i] + (flat ? 7 : 2);
        if (std::strncmp(argv[i], "--", 2) != 0)
            name = "";
        if (!std::strcmp(name, "beam"))
            widths.beam = value;
        else if (!std::strcmp(name, "trellis"))
            widths.trellis = value;
        else if (!std::strcmp(name, "refined"))
            widths.refined = value;
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    std::string note;
    const auto corpus = bench::make_corpus(note);
    print_widths("played", settings.played_widths);
    print_widths("; flat", settings.flat_widths);
    std::printf("\n");
    report_decoded(corpus, settings);
    report_played(corpus, settings);
    report_widths(corpus, settings);
    if (!note.empty())
        std::printf("note: %s\n", note.c_str());
    bench::print_loop_figures(settings);
    bench::print_fit_figures(corpus);
    return 0;
}
