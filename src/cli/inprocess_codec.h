// The encoder bridge (snesbrr.h) done in-process with the codec library: the same
// encodings and decodings as the window's encoder runs, in memory, with no scratch files.
#pragma once
#include <cstdint>
#include <vector>

// What Play plays: the .brr file image (size bytes, raw or headered, as SPCMSampleFile
// writes it) on one voice at pitch (0-0x3FFF), as a 16-bit mono 32000 Hz WAV file in
// wav. False after a reported failure.
bool BRRRender(const unsigned char *file, int size, int pitch, std::vector<uint8_t> &wav);
