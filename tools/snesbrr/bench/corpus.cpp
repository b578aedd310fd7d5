#include "corpus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "diskio.h"
#include "wav.h"

namespace snesbrr::bench {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 32000;
constexpr std::size_t kLength = 16000; // half a second each

std::int16_t to16(double v)
{
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

Sound tone(const std::string &name, double hz, double level, double phase)
{
    Sound s{name, std::vector<std::int16_t>(kLength)};
    for (std::size_t i = 0; i < kLength; ++i)
        s.samples[i] = to16(level * 32767 * std::sin(phase + 2 * kPi * hz * i / kRate));
    return s;
}

Sound sweep()
{
    // Exponential 100 Hz -> 12 kHz; the phase is the integral of the frequency.
    Sound s{"sweep 100 Hz-12 kHz", std::vector<std::int16_t>(kLength)};
    const double ratio = std::log(12000.0 / 100.0), duration = kLength / kRate;
    for (std::size_t i = 0; i < kLength; ++i) {
        const double t = i / kRate;
        const double phase =
            2 * kPi * 100 * duration / ratio * (std::exp(ratio * t / duration) - 1);
        s.samples[i] = to16(0.5 * 32767 * std::sin(phase));
    }
    return s;
}

Sound noise()
{
    Sound s{"white noise", std::vector<std::int16_t>(kLength)};
    std::uint32_t state = 12345;
    for (auto &v : s.samples) {
        state = state * 1664525u + 1013904223u;
        v = to16(0.5 * 32767 * ((state >> 8) / 8388608.0 - 1.0));
    }
    return s;
}

Sound pluck()
{
    // Karplus-Strong: a noise burst circulating in a damped delay line.
    Sound s{"plucked string 196 Hz", std::vector<std::int16_t>(kLength)};
    const std::size_t period = static_cast<std::size_t>(kRate / 196);
    std::vector<double> line(period);
    std::uint32_t state = 99;
    for (auto &v : line) {
        state = state * 1664525u + 1013904223u;
        v = 0.8 * ((state >> 8) / 8388608.0 - 1.0);
    }
    for (std::size_t i = 0; i < kLength; ++i) {
        const std::size_t k = i % period;
        const double out = line[k];
        line[k] = 0.996 * 0.5 * (line[k] + line[(k + 1) % period]);
        s.samples[i] = to16(out * 32767);
    }
    return s;
}

Sound chord()
{
    // A minor triad with a few harmonics and a struck decay.
    Sound s{"decaying chord", std::vector<std::int16_t>(kLength)};
    const double roots[] = {220.0, 261.63, 329.63};
    for (std::size_t i = 0; i < kLength; ++i) {
        const double t = i / kRate;
        double v = 0;
        for (const double f : roots)
            for (int h = 1; h <= 4; ++h)
                v += std::sin(2 * kPi * f * h * t) / (h * h);
        s.samples[i] = to16(0.3 * 32767 * std::exp(-3 * t) * v);
    }
    return s;
}

// A uniform random value in -1..1 from a linear congruential state.
double uniform(std::uint32_t &state)
{
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / 8388608.0 - 1.0;
}

Sound pink_noise()
{
    // White noise through a 1/f filter (sum of first-order sections).
    Sound s{"pink noise", std::vector<std::int16_t>(kLength)};
    std::uint32_t state = 777;
    double b[7] = {};
    for (auto &v : s.samples) {
        const double w = uniform(state);
        b[0] = 0.99886 * b[0] + w * 0.0555179;
        b[1] = 0.99332 * b[1] + w * 0.0750759;
        b[2] = 0.96900 * b[2] + w * 0.1538520;
        b[3] = 0.86650 * b[3] + w * 0.3104856;
        b[4] = 0.55000 * b[4] + w * 0.5329522;
        b[5] = -0.7616 * b[5] - w * 0.0168980;
        const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
        b[6] = w * 0.115926;
        v = to16(0.12 * 32767 * pink);
    }
    return s;
}

Sound drums()
{
    // A kick (a falling sine) and, a quarter second later, a snare (noise and
    // a tone), each with a fast decay: loud transients from the first sample.
    Sound s{"drums: kick and snare", std::vector<std::int16_t>(kLength)};
    std::uint32_t state = 4242;
    double phase = 0;
    for (std::size_t i = 0; i < kLength; ++i) {
        const double t = i / kRate;
        phase += 2 * kPi * (50 + 120 * std::exp(-t * 30)) / kRate;
        double v = 0.9 * std::exp(-t * 12) * std::sin(phase);
        if (t >= 0.25) {
            const double u = t - 0.25;
            v += std::exp(-u * 25) * (0.5 * uniform(state) + 0.3 * std::sin(2 * kPi * 190 * u));
        }
        s.samples[i] = to16(v * 32767);
    }
    return s;
}

// Naive (not band-limited) waves, as sound chips and trackers make them.
Sound square(const std::string &name, double hz, double level)
{
    Sound s{name, std::vector<std::int16_t>(kLength)};
    for (std::size_t i = 0; i < kLength; ++i)
        s.samples[i] = to16(level * 32767 * (std::fmod(hz * i / kRate, 1.0) < 0.5 ? 1 : -1));
    return s;
}

Sound saw(const std::string &name, double hz, double level)
{
    Sound s{name, std::vector<std::int16_t>(kLength)};
    for (std::size_t i = 0; i < kLength; ++i)
        s.samples[i] = to16(level * 32767 * (2 * std::fmod(hz * i / kRate, 1.0) - 1));
    return s;
}

Sound scaled(Sound s, const std::string &name, double gain)
{
    s.name = name;
    for (auto &v : s.samples)
        v = to16(v * gain);
    return s;
}

bool speech(Sound &out)
{
    const std::string path = "snesbrr-bench-speech.wav";
    const std::string command = "espeak-ng -w " + path +
                                " \"The quick brown fox jumps over the lazy dog.\" >/dev/null 2>&1";
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0 ||
        std::system(command.c_str()) != 0)
        return false;
    std::vector<std::uint8_t> bytes;
    MonoPcm pcm;
    const bool ok = read_file(path, bytes) == Status::Ok &&
                    read_wav(bytes.data(), bytes.size(), pcm) == Status::Ok;
    std::remove(path.c_str());
    if (!ok)
        return false;
    out = Sound{"speech (espeak-ng, " + std::to_string(pcm.sample_rate) + " Hz)", pcm.samples};
    return true;
}

} // namespace

std::vector<Sound> make_corpus(std::string &note)
{
    std::vector<Sound> corpus = {
        tone("sine 440 Hz -6 dB", 440, 0.5, 0),
        tone("sine 440 Hz full, starts at peak", 440, 1.0, kPi / 2),
        tone("sine 55 Hz -1 dB", 55, 0.9, 0),
        tone("sine 5 kHz -10 dB", 5000, 0.316, 0),
        sweep(),
        noise(),
        pink_noise(),
        pluck(),
        chord(),
        drums(),
        square("square 220 Hz -6 dB", 220, 0.5),
        square("square 110 Hz full scale", 110, 1.0),
        saw("saw 330 Hz -6 dB", 330, 0.5),
        saw("saw 82 Hz full scale", 82.41, 1.0),
        scaled(chord(), "decaying chord -40 dB", 0.01),
        scaled(noise(), "white noise full scale, clipped", 4.0),
    };
    Sound spoken;
    if (speech(spoken))
        corpus.push_back(spoken);
    else
        note = "espeak-ng not installed: no speech in the corpus";
    return corpus;
}

} // namespace snesbrr::bench
