#include "doubles.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FileIO.h"
#include "SPCM.h"
#include "snesbrr.h"

unsigned char *ROMMem = nullptr;
int ROMSize = 0;

namespace doubles {

std::vector<std::string> errors;
std::vector<uint8_t> saved;
int saves = 0;
bool wavChosen = true;
bool encodeFails = false;
std::vector<uint8_t> encoded;
std::vector<uint8_t> fitted;
int encodedAt = 0;
int wavRate = 32000;
std::vector<std::string> questions;
bool answerYes = false;
std::string sampleName;
std::vector<uint8_t> brrFile;
int wavFrames = 0, wavLoopStart = -1, wavLoopEnd = 0;
int askedStart = -1, askedEnd = -1;
std::string exportName;
bool exportWav = false;
std::string proposedName;
std::vector<uint8_t> exported;
std::vector<uint8_t> decodeInput;

void Load(const std::vector<uint8_t> &rom)
{
    free(ROMMem);
    // Exactly as large as the file, so that the sanitizer sees any byte beyond it.
    ROMMem = static_cast<unsigned char *>(malloc(rom.size()));
    memcpy(ROMMem, rom.data(), rom.size());
    ROMSize = int(rom.size());
    errors.clear();
    saved.clear();
    saves = 0;
    wavChosen = true;
    encodeFails = false;
    encoded.clear();
    fitted.clear();
    encodedAt = 0;
    wavRate = 32000;
    questions.clear();
    answerYes = false;
    sampleName.clear();
    brrFile.clear();
    wavFrames = 0;
    wavLoopStart = -1;
    askedStart = askedEnd = -1;
    exportName.clear();
    exportWav = false;
    exported.clear();
    decodeInput.clear();
}

} // namespace doubles

int FileOut(const unsigned char *image)
{
    ++doubles::saves;
    if (!image)
        return 1;
    doubles::saved.assign(image, image + ROMSize);
    return 0;
}

// Records the text of a box in texts, as the real box would compose it.
static void Record(std::vector<std::string> &texts, const char *format, va_list args)
{
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    texts.push_back(text);
}

void FIOError(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Record(doubles::errors, format, args);
    va_end(args);
}

const char *FIOWavIn(HWND)
{
    if (!doubles::wavChosen)
        return nullptr;
    return doubles::sampleName.empty() ? "C:\\sounds\\new sample.wav" : doubles::sampleName.c_str();
}

static unsigned char *Copy(const std::vector<uint8_t> &bytes, int *length)
{
    auto *buffer = static_cast<unsigned char *>(malloc(bytes.size() + 1));
    std::copy(bytes.begin(), bytes.end(), buffer); // an empty vector may hold no buffer
    *length = int(bytes.size());
    return buffer;
}

bool FIOAsk(const char *, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Record(doubles::questions, format, args);
    va_end(args);
    return doubles::answerYes;
}

unsigned char *BRREncode(const char *, HWND, int *length, int rate)
{
    doubles::encodedAt = rate;
    const std::vector<uint8_t> &output = rate ? doubles::fitted : doubles::encoded;
    int size = -1;
    unsigned char *buffer = nullptr;
    if (int(output.size()) > kSPCMMaxFile)
        size = int(output.size());
    else if (!doubles::encodeFails)
        buffer = Copy(output, &size);
    if (length)
        *length = size;
    return buffer;
}

unsigned char *FIOReadFile(const char *, int limit, int *length, HWND)
{
    if (int(doubles::brrFile.size()) > limit) {
        *length = int(doubles::brrFile.size());
        return nullptr;
    }
    return Copy(doubles::brrFile, length);
}

bool BRRWavShape(const char *, int *frames, int *rate)
{
    *frames = doubles::wavFrames;
    *rate = doubles::wavRate;
    return doubles::wavFrames > 0;
}

bool BRRWavLoop(const char *, HWND, int *frames, int *loopStart, int *loopEnd, int *rate)
{
    if (rate)
        *rate = doubles::wavRate;
    *frames = doubles::wavFrames;
    *loopStart = doubles::wavLoopStart;
    *loopEnd = doubles::wavLoopEnd;
    return true;
}

unsigned char *BRREncodeLooped(const char *, int loopStart, int loopEnd, HWND, int *length,
                               int rate)
{
    doubles::askedStart = loopStart;
    doubles::askedEnd = loopEnd;
    doubles::encodedAt = rate;
    *length = -1;
    return doubles::encodeFails ? nullptr : Copy(rate ? doubles::fitted : doubles::encoded, length);
}

const char *FIOExportOut(HWND, const char *name, int *wav)
{
    doubles::proposedName = name;
    *wav = doubles::exportWav;
    return doubles::exportName.empty() ? nullptr : doubles::exportName.c_str();
}

int FIOWriteFile(const char *, const unsigned char *data, int size, HWND)
{
    doubles::exported.assign(data, data + size);
    return 0;
}

unsigned char *BRRDecodeBlocks(const unsigned char *file, int size, HWND, int *length)
{
    doubles::decodeInput.assign(file, file + size);
    return Copy({'R', 'I', 'F', 'F'}, length);
}
