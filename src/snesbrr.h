// Encoder runs: the utility's side of the exchange with the companion program
// snesbrr.exe, which stands in the program directory and reads and writes the scratch
// files "temp.brr" (raw BRR, one sample) and "temp.wav" there.
#pragma once
#include <cstdint>
#include "FileIO.h"

// Shared text buffer of the window, start-up and the encoder runs. Each use writes its
// text afresh; every text must fit 255 characters and the terminating zero.
extern char out[256];

// Encodes the WAV file at path into "temp.brr" and returns all of its bytes in a new
// buffer that the caller releases with free(); the length is FIOGetSize("temp.brr"),
// also stored in *length when given, and never exceeds the free space. Null after a
// reported failure or when the data does not fit (the message box is owned by owner).
unsigned char *BRREncode(const char *path, HWND owner, int *length = nullptr);

// Decodes the sample of a used slot (0-63) at pitch (0-0x3FFF, 0x1000 = as recorded) and
// plays it; returns when the sound has finished.
void BRRPlay(int slot, uint16_t pitch);
