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

#include "files.h"

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
        const std::vector<char> input = ReadAll(argv[1]);
        std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 'W', 'A', 'V', 'E'};
        if (GetFileAttributesA("GARBAGE") == INVALID_FILE_ATTRIBUTES) {
            std::vector<int16_t> samples((input.size() + 1) / 2);
            std::memcpy(samples.data(), input.data(), input.size());
            wav = files::MakeWav(samples);
        } else {
            wav.insert(wav.end(), input.begin(), input.end());
        }
        WriteAll(argv[4], wav.data(), wav.size());
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[2], "-d") == 0) {
        const std::vector<uint8_t> silence = files::MakeWav(std::vector<int16_t>(2));
        WriteAll(argv[5], silence.data(), silence.size());
        return 0;
    }
    return 2;
}
