#include "fit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "brr.h"
#include "cli.h"
#include "encoder.h"
#include "diskio.h"
#include "resample.h"
#include "wav.h"

namespace snesbrr::bench {

namespace {

constexpr std::uint32_t kFullRate = 32000;

// What the voice plays from `brr` at pitch 0x1000 were the DSP to run at the
// encoded rate: each decoded sample through the gaussian's three taps, the
// response the encoder's default objective aims for. 16-bit units.
std::vector<double> heard(const std::vector<std::uint8_t> &brr)
{
    std::vector<std::int16_t> d;
    decode_all(brr.data(), brr.size(), d);
    std::vector<double> out(d.size(), 0.0);
    for (std::size_t i = 1; i + 1 < d.size(); ++i)
        out[i] = (370.0 * d[i - 1] + 1305.0 * d[i] + 374.0 * d[i + 1]) / 2048;
    return out;
}

// SNR in dB against `sound` (32 kHz) of `played` (at `rate`) brought to 32 kHz
// by the library's resampler, at the best alignment: within a sample either way
// of the start, or of the start of a lead-in block's end (the raw form does not
// say which), in eighths of a sample, as resamplers place their samples
// differently.
double heard_snr(const std::vector<std::int16_t> &sound, const std::vector<double> &played,
                 std::uint32_t rate)
{
    const SincKernel kernel(static_cast<double>(rate) / kFullRate);
    const long count = static_cast<long>(played.size());
    const auto source = [&](long i) { return i < 0 || i >= count ? 0.0 : played[i]; };
    double signal = 0;
    for (const std::int16_t v : sound)
        signal += double(v) * v;
    double best = -999;
    for (const double lead : {0.0, double(kBlockSamples)})
        for (int eighths = -8; eighths <= 8; ++eighths) {
            double error = 0;
            for (std::size_t j = 0; j < sound.size(); ++j) {
                const double t = double(j) * rate / kFullRate + lead + eighths / 8.0;
                const double d = sound[j] - kernel.at(t, source);
                error += d * d;
            }
            best = std::max(best, error == 0 ? 999 : 10 * std::log10(signal / error));
        }
    return best;
}

// snesbrr's command line in-process; the encoded rate its line states, 32000
// where it states none, 0 on failure.
std::uint32_t run_encoder(std::vector<std::string> args, std::vector<std::uint8_t> &brr)
{
    args.insert(args.begin(), "snesbrr");
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    if (run(static_cast<int>(argv.size()), argv.data(), out, err) != kExitOk)
        return 0;
    if (read_file(args[3], brr) != Status::Ok)
        return 0;
    const std::string said = err.str();
    const std::size_t at = said.find("encoded at ");
    return at == std::string::npos ? kFullRate
                                   : static_cast<std::uint32_t>(std::stoul(said.substr(at + 11)));
}

bool save(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    return write_file_replacing(path, bytes) == Status::Ok;
}

} // namespace

void print_fit_figures(const std::vector<Sound> &corpus)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "snesbrr-bench-fit";
    std::filesystem::create_directories(dir);
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.brr").string();
    const std::string low = (dir / "sox.wav").string();
    const std::string quiet = " -V1 -D "; // neither warnings nor dither
    const bool sox = std::system("command -v sox >/dev/null 2>&1") == 0;
    std::printf("\n--max-bytes: SNR (dB) against the sound of what plays (the gaussian at pitch "
                "1000 at the encoded rate),\nback at 32 kHz: at full size, at a half and a "
                "quarter (resampled: the rate change alone, no BRR;\nsox: sox rate -v to the same "
                "rate, then this encoder%s)\n",
                sox ? "" : "; sox is not installed");
    std::printf("%-36s %7s %6s %5s %7s %6s %9s %7s %7s\n", "sound", "bytes", "full", "share",
                "fits", "Hz", "resampled", "ours", "sox");
    double sums[2][3] = {}, full_sum = 0;
    int sox_counted[2] = {};
    int counted = 0;
    for (const Sound &sound : corpus) {
        const auto &pcm = sound.samples;
        if (!save(in, write_wav(pcm.data(), pcm.size(), kFullRate)))
            return;
        const std::vector<std::uint8_t> whole = encode(pcm.data(), pcm.size()).brr;
        const std::size_t full = whole.size();
        const double full_db = heard_snr(pcm, heard(whole), kFullRate);
        full_sum += full_db;
        ++counted;
        for (int f = 0; f < 2; ++f) {
            const std::size_t share = std::size_t{2} << f;
            const std::size_t limit = full / share;
            std::vector<std::uint8_t> brr;
            const std::uint32_t rate =
                run_encoder({in, "-e", out, "--max-bytes", std::to_string(limit)}, brr);
            if (rate == 0) {
                std::printf("%-36s %7zu %6.2f  1/%zu %7zu  refused\n", sound.name.c_str(), full,
                            full_db, share, limit);
                continue;
            }
            const std::vector<std::int16_t> down = resample(pcm.data(), pcm.size(), kFullRate, rate);
            const double plain_db =
                heard_snr(pcm, std::vector<double>(down.begin(), down.end()), rate);
            const double ours_db = heard_snr(pcm, heard(brr), rate);
            double sox_db = NAN;
            if (sox) {
                const std::string command = "sox" + quiet + "'" + in + "' '" + low +
                                            "' rate -v " + std::to_string(rate);
                std::vector<std::uint8_t> sox_brr;
                if (std::system(command.c_str()) == 0 &&
                    run_encoder({low, "-e", out, "--max-bytes", std::to_string(limit)}, sox_brr) ==
                        rate)
                    sox_db = heard_snr(pcm, heard(sox_brr), rate);
            }
            sums[f][0] += plain_db;
            sums[f][1] += ours_db;
            sums[f][2] += std::isnan(sox_db) ? 0.0 : sox_db;
            sox_counted[f] += std::isnan(sox_db) ? 0 : 1;
            char sox_text[16] = "-";
            if (!std::isnan(sox_db))
                std::snprintf(sox_text, sizeof sox_text, "%.2f", sox_db);
            std::printf("%-36s %7zu %6.2f  1/%zu %7zu %6u %9.2f %7.2f %7s\n", sound.name.c_str(),
                        full, full_db, share, brr.size(), rate, plain_db, ours_db, sox_text);
        }
    }
    std::printf("mean at full size %.2f dB\n", full_sum / counted);
    for (int f = 0; f < 2; ++f)
        std::printf("mean at 1/%d of the size: resampled %.2f dB, ours %.2f dB, sox %.2f dB (%d "
                    "sounds)\n",
                    2 << f, sums[f][0] / counted, sums[f][1] / counted,
                    sox_counted[f] ? sums[f][2] / sox_counted[f] : NAN, sox_counted[f]);
    std::filesystem::remove_all(dir);
}

} // namespace snesbrr::bench
