#include "doubles.h"

#include <cstdlib>
#include <cstring>

#include "FileIO.h"
#include "SPCM.h"
#include "snesbrr.h"

unsigned char *ROMMem = nullptr;
int ROMSize = 0;
char out[256];

namespace doubles {

std::vector<std::string> errors;
std::vector<uint8_t> saved;
int saves = 0;
bool wavChosen = true;
bool encodeFails = false;
bool sizeFails = false;
bool changedAfterRead = false;
std::vector<uint8_t> encoded;

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
    encodeFails = sizeFails = changedAfterRead = false;
    encoded.clear();
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

void FIOError(const char *text)
{
    doubles::errors.push_back(text);
}

const char *FIOWavIn(HWND)
{
    return doubles::wavChosen ? "C:\\sounds\\new sample.wav" : nullptr;
}

int FIOGetSize(const char *, bool *measured)
{
    if (measured)
        *measured = !doubles::sizeFails;
    if (doubles::sizeFails)
        return 0;
    return int(doubles::encoded.size()) + (doubles::changedAfterRead ? 1 : 0);
}

unsigned char *BRREncode(const char *, HWND, int *length)
{
    if (doubles::encodeFails || int(doubles::encoded.size()) > SPCMGetFree())
        return nullptr;
    auto *buffer = static_cast<unsigned char *>(malloc(doubles::encoded.size() + 1));
    memcpy(buffer, doubles::encoded.data(), doubles::encoded.size());
    if (length)
        *length = int(doubles::encoded.size());
    return buffer;
}
