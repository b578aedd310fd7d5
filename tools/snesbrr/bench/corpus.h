#pragma once
// The benchmark's sounds, generated the same way on every run.
#include <cstdint>
#include <string>
#include <vector>

namespace snesbrr::bench {

struct Sound {
    std::string name;
    std::vector<std::int16_t> samples; // 16-bit mono
};

// Tones, a sweep, white and pink noise, a plucked string, chords, drums,
// square and saw waves, quiet and loud (clipped) material, at 32 kHz; speech
// too when espeak-ng is installed (`note` says if it was skipped).
std::vector<Sound> make_corpus(std::string &note);

} // namespace snesbrr::bench
