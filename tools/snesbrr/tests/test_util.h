#pragma once
// Helpers shared by the codec's tests: signal makers, WAV builders, SNR.
#include <cstdint>
#include <string>
#include <vector>

namespace snesbrr::test {

std::vector<std::int16_t> sine(double hz, double amplitude, std::size_t count, double phase = 0.0);
std::vector<std::int16_t> noise(double amplitude, std::size_t count, std::uint32_t seed);
// A full-scale square wave: `half_period` samples at the top, as many at the bottom.
std::vector<std::int16_t> square(std::size_t half_period, std::size_t count);

// SNR in dB of `decoded` against `original` over original's length, the
// decoded values taken from `offset` on.
double snr_db(const std::vector<std::int16_t> &original, const std::vector<std::int16_t> &decoded,
              std::size_t offset = 0);

void put16(std::vector<std::uint8_t> &out, std::uint32_t v);
void put32(std::vector<std::uint8_t> &out, std::uint32_t v);
void put_id(std::vector<std::uint8_t> &out, const char *id);
void put_chunk(std::vector<std::uint8_t> &out, const char *id,
               const std::vector<std::uint8_t> &body);

// The body of a plain 16-byte "fmt " chunk.
std::vector<std::uint8_t> fmt_body(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                                   std::uint16_t bits, std::uint16_t block_align = 0);
// The 40-byte WAVE_FORMAT_EXTENSIBLE body carrying `sub_tag` (1 PCM, 3 float).
std::vector<std::uint8_t> extensible_body(std::uint16_t sub_tag, std::uint16_t channels,
                                          std::uint32_t rate, std::uint16_t bits);
// "RIFF" size "WAVE" followed by `chunks` (already framed).
std::vector<std::uint8_t> riff(const std::vector<std::uint8_t> &chunks);
std::vector<std::uint8_t> wav16(const std::vector<std::int16_t> &samples,
                                std::uint32_t rate = 32000);

// snesbrr's command line run in-process; argv[0] is supplied.
struct CliResult {
    int code;
    std::string out;
    std::string err;
};
CliResult run_cli(std::vector<std::string> args);

// `count` passes of the loop of whole BRR blocks `blocks` (end block last), decoded as
// the DSP plays them: the first from a zero history through the blocks before
// `loop_block`, each later one with the history the jump from the end block brings.
std::vector<std::vector<std::int16_t>> decode_passes(const std::vector<std::uint8_t> &blocks,
                                                     std::size_t loop_block, std::size_t count);

// A fresh empty folder for one test's files.
std::string scratch_dir(const std::string &name);
bool file_exists(const std::string &path);
std::vector<std::uint8_t> load(const std::string &path);
void save(const std::string &path, const std::vector<std::uint8_t> &bytes);

} // namespace snesbrr::test
