// Stands in for snesbrr.exe where a test needs output of an exact size: "encoding"
// copies the input file's bytes to the output unchanged, so the test decides the size,
// and an input that starts with NOOUTPUT makes a run that writes nothing. Broken
// encoders on demand: an input that starts with CRASH dies of an access violation after
// writing half of its output, HANG never ends, and SAY prints the rest of its first
// line on stderr and fails. A looped
// encode (--loop-start S --loop-end E) writes the bytes of the file IN.out, or nothing
// and exits with 1 when there is none, as for a refused loop. Decoding writes a short
// silent WAV, block by block (--blocks) one whose data holds the input's bytes (and a
// zero byte when their count is odd); with a file named GARBAGE in its current
// directory it writes "RIFFWAVE" and the input instead, which no WAV reader takes.
// Every run appends its current directory and command line to runs.log in its current
// directory.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static std::vector<char> ReadAll(const char *path)
{
    std::vector<char> bytes;
    if (std::FILE *f = std::fopen(path, "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

static void WriteAll(const char *path, const void *data, size_t size)
{
    if (std::FILE *f = std::fopen(path, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

// The 44 bytes in front of bytes bytes of 16-bit mono PCM at 32000 Hz.
static std::vector<char> WavHeader(unsigned bytes)
{
    std::vector<char> header;
    auto put = [&](const char *text) { header.insert(header.end(), text, text + 4); };
    auto number = [&](unsigned value, int size) {
        for (int i = 0; i < size; ++i)
            header.push_back(static_cast<char>(value >> 8 * i));
    };
    put("RIFF");
    number(36 + bytes, 4);
    put("WAVE");
    put("fmt ");
    number(16, 4);
    number(1, 2);     // PCM
    number(1, 2);     // mono
    number(32000, 4); // samples a second
    number(64000, 4); // bytes a second
    number(2, 2);     // bytes a frame
    number(16, 2);    // bits a sample
    put("data");
    number(bytes, 4);
    return header;
}

int main(int argc, char **argv)
{
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, cwd);
    if (std::FILE *log = std::fopen("runs.log", "ab")) {
        std::fprintf(log, "%s|%s\n", cwd, GetCommandLineA());
        std::fclose(log);
    }
    if (argc == 4 && std::strcmp(argv[2], "-e") == 0) {
        const std::vector<char> input = ReadAll(argv[1]);
        if (input.size() >= 8 && std::memcmp(input.data(), "NOOUTPUT", 8) == 0)
            return 1;
        if (input.size() >= 5 && std::memcmp(input.data(), "CRASH", 5) == 0) {
            WriteAll(argv[3], input.data(), input.size() / 2);
            *static_cast<volatile int *>(nullptr) = 1;
        }
        if (input.size() >= 4 && std::memcmp(input.data(), "HANG", 4) == 0)
            Sleep(INFINITE);
        if (input.size() >= 3 && std::memcmp(input.data(), "SAY", 3) == 0) {
            const std::string said(input.begin() + 3, input.end());
            std::fprintf(stderr, "%s\n", said.substr(0, said.find('\n')).c_str());
            return 1;
        }
        WriteAll(argv[3], input.data(), input.size());
        return 0;
    }
    if (argc == 8 && std::strcmp(argv[2], "-e") == 0 && std::strcmp(argv[4], "--loop-start") == 0) {
        const std::vector<char> output = ReadAll((std::string(argv[1]) + ".out").c_str());
        if (output.empty())
            return 1;
        WriteAll(argv[3], output.data(), output.size());
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[2], "-d") == 0 && std::strcmp(argv[3], "--blocks") == 0) {
        std::vector<char> data = ReadAll(argv[1]);
        std::vector<char> wav = {'R', 'I', 'F', 'F', 'W', 'A', 'V', 'E'};
        if (GetFileAttributesA("GARBAGE") == INVALID_FILE_ATTRIBUTES) {
            data.resize(data.size() + data.size() % 2);
            wav = WavHeader(static_cast<unsigned>(data.size()));
        }
        wav.insert(wav.end(), data.begin(), data.end());
        WriteAll(argv[4], wav.data(), wav.size());
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[2], "-d") == 0) {
        std::vector<char> silence = WavHeader(4);
        silence.resize(silence.size() + 4);
        WriteAll(argv[5], silence.data(), silence.size());
        return 0;
    }
    return 2;
}
