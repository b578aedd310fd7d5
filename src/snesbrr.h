// Encoder runs: the utility's side of the exchange with the companion program
// snesbrr.exe, which stands in the program directory and reads and writes the scratch
// files "temp.brr" (one sample: raw BRR blocks, or blocks behind a 2-byte loop offset)
// and "temp.wav" there.
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

// Reads the WAV file at path with the codec's reader: *frames receives its length in
// sample frames, *loopStart and *loopEnd its first "smpl" loop (frames, end exclusive)
// when that lies within them, else *loopStart = -1. False after a reported failure (box
// owned by owner).
bool BRRWavLoop(const char *path, HWND owner, int *frames, int *loopStart, int *loopEnd);

// Encodes the WAV file at path with the loop [loopStart, loopEnd) (frames) into
// "temp.brr", the headered form, and returns all of its bytes in a new buffer that the
// caller releases with free(), *length bytes long. Null after a reported failure,
// a refused loop included (box owned by owner). The size is not checked against the
// free space.
unsigned char *BRREncodeLooped(const char *path, int loopStart, int loopEnd, HWND owner,
                               int *length);

// Writes the .brr file image (size bytes, raw or headered) to "temp.brr" and decodes it
// block by block into "temp.wav": 16-bit mono at 32000 Hz, before interpolation, with a
// "smpl" loop when the image loops. Returns that WAV file's bytes in a new buffer that
// the caller releases with free(), *length bytes long; null after a reported failure.
unsigned char *BRRDecodeBlocks(const unsigned char *file, int size, HWND owner, int *length);

// Decodes the sample of a used slot (0-63) at pitch (0-0x3FFF, 0x1000 = as recorded) and
// plays it, looping as the game plays it when SPCMLoopOffset finds a loop; returns when
// the sound has finished.
void BRRPlay(int slot, uint16_t pitch);
