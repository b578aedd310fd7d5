#include "test_util.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "brr.h"
#include "cli.h"

namespace snesbrr::test {

std::vector<std::int16_t> sine(double hz, double amplitude, std::size_t count, double phase)
{
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::int16_t>(std::lround(
            amplitude * std::sin(phase + 2 * 3.14159265358979323846 * hz * i / 32000.0)));
    return out;
}

std::vector<std::int16_t> noise(double amplitude, std::size_t count, std::uint32_t seed)
{
    std::vector<std::int16_t> out(count);
    for (auto &v : out) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::int16_t>(std::lround(amplitude * ((seed >> 8) / 8388608.0 - 1.0)));
    }
    return out;
}

std::vector<std::int16_t> square(std::size_t half_period, std::size_t count)
{
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = (i / half_period) % 2 ? 32767 : -32768;
    return out;
}

double snr_db(const std::vector<std::int16_t> &original, const std::vector<std::int16_t> &decoded,
              std::size_t offset)
{
    double signal = 0, error = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const double d = i + offset < decoded.size() ? decoded[i + offset] : 0.0;
        signal += double(original[i]) * original[i];
        error += (original[i] - d) * (original[i] - d);
    }
    return error == 0 ? 200.0 : 10 * std::log10(signal / error);
}

void put16(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put_id(std::vector<std::uint8_t> &out, const char *id)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<std::uint8_t>(id[k]));
}

void put_chunk(std::vector<std::uint8_t> &out, const char *id,
               const std::vector<std::uint8_t> &body)
{
    put_id(out, id);
    put32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2)
        out.push_back(0);
}

std::vector<std::uint8_t> fmt_body(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                                   std::uint16_t bits, std::uint16_t block_align)
{
    if (block_align == 0)
        block_align = static_cast<std::uint16_t>(channels * bits / 8);
    std::vector<std::uint8_t> b;
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * block_align);
    put16(b, block_align);
    put16(b, bits);
    return b;
}

std::vector<std::uint8_t> extensible_body(std::uint16_t sub_tag, std::uint16_t channels,
                                          std::uint32_t rate, std::uint16_t bits)
{
    std::vector<std::uint8_t> b = fmt_body(0xFFFE, channels, rate, bits);
    put16(b, 22);
    put16(b, bits);
    put32(b, channels == 1 ? 4 : 3);
    put16(b, sub_tag);
    const std::uint8_t suffix[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                     0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), suffix, suffix + 14);
    return b;
}

std::vector<std::uint8_t> riff(const std::vector<std::uint8_t> &chunks)
{
    std::vector<std::uint8_t> out;
    put_id(out, "RIFF");
    put32(out, static_cast<std::uint32_t>(chunks.size() + 4));
    put_id(out, "WAVE");
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

std::vector<std::uint8_t> wav16(const std::vector<std::int16_t> &samples, std::uint32_t rate)
{
    std::vector<std::uint8_t> chunks, data;
    put_chunk(chunks, "fmt ", fmt_body(1, 1, rate, 16));
    for (const std::int16_t s : samples)
        put16(data, static_cast<std::uint16_t>(s));
    put_chunk(chunks, "data", data);
    return riff(chunks);
}

CliResult run_cli(std::vector<std::string> args)
{
    args.insert(args.begin(), "snesbrr");
    std::vector<const char *> argv;
    for (const auto &a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int code = run(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

std::vector<std::vector<std::int16_t>> decode_passes(const std::vector<std::uint8_t> &blocks,
                                                     std::size_t loop_block, std::size_t count)
{
    const std::size_t total = blocks.size() / kBlockBytes;
    History history;
    std::vector<std::vector<std::int16_t>> passes;
    for (std::size_t b = 0; passes.size() < count || b != loop_block;) {
        if (b == loop_block)
            passes.emplace_back();
        std::int16_t decoded[kBlockSamples];
        decode_block(&blocks[b * kBlockBytes], history, decoded);
        if (b >= loop_block)
            passes.back().insert(passes.back().end(), decoded, decoded + kBlockSamples);
        b = b + 1 == total ? loop_block : b + 1;
    }
    return passes;
}

std::string scratch_dir(const std::string &name)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("snesbrr-test-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

bool file_exists(const std::string &path)
{
    return std::filesystem::exists(path);
}

std::vector<std::uint8_t> load(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void save(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace snesbrr::test
