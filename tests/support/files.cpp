#include "files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace files {

std::string TempDir(const char *tag)
{
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path dir =
        fs::temp_directory_path() / ("tarvo-" + std::string(tag) + "-" + std::to_string(stamp) +
                                     "-" + std::to_string(counter++));
    fs::create_directories(dir);
    return dir.string();
}

std::string ProgramDir()
{
#ifdef _WIN32
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return fs::path(std::string(path, n)).parent_path().string();
#else
    return fs::canonical("/proc/self/exe").parent_path().string();
#endif
}

std::vector<uint8_t> Read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
    outFile.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

bool Exists(const std::string &path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

std::vector<std::string> List(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void Remove(const std::string &path)
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

static void Put(std::vector<uint8_t> &v, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        v.push_back(uint8_t(value >> (8 * i)));
}

std::vector<uint8_t> MakeWav(const std::vector<int16_t> &mono, int rate)
{
    std::vector<uint8_t> v;
    const uint32_t data = uint32_t(mono.size() * 2);
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    Put(v, 36 + data, 4);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(v, 16, 4);
    Put(v, 1, 2); // PCM
    Put(v, 1, 2); // mono
    Put(v, uint32_t(rate), 4);
    Put(v, uint32_t(rate * 2), 4);
    Put(v, 2, 2);
    Put(v, 16, 2);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    Put(v, data, 4);
    for (int16_t s : mono)
        Put(v, uint16_t(s), 2);
    return v;
}

std::vector<uint8_t> WithLoop(std::vector<uint8_t> wav, uint32_t start, uint32_t last)
{
    wav.insert(wav.end(), {'s', 'm', 'p', 'l'});
    Put(wav, 36 + 24, 4);
    for (uint32_t field : {0u, 0u, 31250u, 60u, 0u, 0u, 0u, 1u, 0u}) // period in ns, 1 loop
        Put(wav, field, 4);
    for (uint32_t field : {0u, 0u, start, last, 0u, 0u}) // id, forward, start, end, infinite
        Put(wav, field, 4);
    const uint32_t riff = uint32_t(wav.size() - 8);
    for (int i = 0; i < 4; ++i)
        wav[size_t(4 + i)] = uint8_t(riff >> (8 * i));
    return wav;
}

std::vector<uint8_t> BrrImage(int blocks, int lastFlags, int offset)
{
    std::vector<uint8_t> file;
    if (offset >= 0)
        file = {uint8_t(offset), uint8_t(offset >> 8)};
    for (int b = 0; b < blocks; ++b) {
        file.push_back(uint8_t(0xB0 | (b + 1 == blocks ? lastFlags : 0)));
        for (int i = 1; i < 9; ++i)
            file.push_back(uint8_t(b * 16 + i));
    }
    return file;
}

std::vector<uint8_t> Sample(size_t bytes, uint8_t fill)
{
    std::vector<uint8_t> sample(bytes, fill);
    for (size_t at = 0; at + 9 <= bytes; at += 9)
        sample[at] = uint8_t((fill & ~3) | (at + 18 > bytes ? 1 : 0));
    return sample;
}

std::vector<int16_t> Tone(int frames, double freq, int amp)
{
    std::vector<int16_t> v(size_t(frames > 0 ? frames : 0));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = int16_t(
            std::lround(amp * std::sin(2 * 3.14159265358979323846 * freq * double(i) / 32000)));
    return v;
}

} // namespace files
