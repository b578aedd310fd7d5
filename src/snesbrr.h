// Encoder runs: the utility's side of the exchange with the companion program
// snesbrr.exe, which stands in the program directory and reads and writes the scratch
// files "temp.brr" (one sample: raw BRR blocks, or blocks behind a 2-byte loop offset)
// and "temp.wav" there.
//
// Every run is checked before its output is used: it must end with exit code 0 and
// write its file. A failed run is reported in one box owned by owner that quotes the
// encoder's message. A run still going after 30 seconds makes a box owned by owner ask
// whether to stop it, and again every 30 seconds; a stopped run gives nothing and says
// nothing more.
#pragma once
#include <cstdint>
#include "FileIO.h"

// Encodes the WAV file at path into "temp.brr" and returns its bytes, read once, in a
// new buffer that the caller releases with free(), *length bytes long when length is
// given. Null with *length = -1 after a reported failure or a stopped run; null with
// *length the file's size when it is larger than kSPCMMaxFile (not read, not reported).
// rate (1000-32000 Hz) resamples the sound to it; 0 leaves the encoder's choice: the
// file's own rate, at most 32000 Hz.
unsigned char *BRREncode(const char *path, HWND owner, int *length = nullptr, int rate = 0);

// Reads the WAV file at path with the codec's reader: *frames receives its length in
// sample frames, *loopStart and *loopEnd its first "smpl" loop (frames, end exclusive)
// when that lies within them, else *loopStart = -1; *rate, when given, its sample rate
// in Hz. False after a reported failure (box owned by owner).
bool BRRWavLoop(const char *path, HWND owner, int *frames, int *loopStart, int *loopEnd,
                int *rate = nullptr);

// Reads the WAV file at path with the codec's reader: *frames its length in sample
// frames, *rate its sample rate in Hz. False, without a message, when the codec cannot
// read it.
bool BRRWavShape(const char *path, int *frames, int *rate);

// Encodes the WAV file at path with the loop [loopStart, loopEnd) (frames) into
// "temp.brr", the headered form, and returns it as BRREncode does. The size is not
// checked against the free space.
unsigned char *BRREncodeLooped(const char *path, int loopStart, int loopEnd, HWND owner,
                               int *length, int rate = 0);

// Writes the .brr file image (size bytes, raw or headered) to "temp.brr" and decodes it
// block by block into "temp.wav": 16-bit mono at 32000 Hz, before interpolation, with a
// "smpl" loop when the image loops. Returns that WAV file's bytes in a new buffer that
// the caller releases with free(), *length bytes long; null after a reported failure or
// a stopped run.
unsigned char *BRRDecodeBlocks(const unsigned char *file, int size, HWND owner, int *length);

// Decodes the sample of a used slot (0-63) at pitch (0-0x3FFF, 0x1000 = as recorded) and
// plays it, looping as the game plays it when SPCMLoopOffset finds a loop. Returns once
// the sound has started: it plays from memory until it ends, the next BRRPlay, which
// restarts it, or BRRStop. A failed decode is reported and plays nothing.
void BRRPlay(int slot, uint16_t pitch);

// Stops the sound that BRRPlay started, if any.
void BRRStop();

// True from a BRRPlay that rendered a sound until BRRStop: the sound may still be
// playing, and nothing has stopped it.
bool BRRSounding();
