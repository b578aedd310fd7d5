// The sample bank: one 32 KiB LoROM bank of the ROM that holds the sound program's
// sample directory and sample data as upload blocks, and its editable copy in memory,
// the sample memory image.
//
// Bank layout (offsets from the bank's first byte, little-endian):
//   0x0000  "STAR", 0x7FF8, 0x8007       reservation tag, its length and complement
//   0x0008  0x0100, 0x8000                upload block 1: length, audio address
//   0x000C  256 bytes                     sample directory, 64 entries of 4 bytes
//   0x010C  0x7EE2, 0x8100                upload block 2: length, audio address
//   0x0110  0x7EE2 bytes                  sample data, audio 0x8100-0xFFE1
//   0x7FF2  0x0000, 0x0000                empty block that ends the upload chain
//   0x7FF6  free-space counter            free bytes at the top of the sample data
//   0x7FF8  "qelvarin"                    bank marker
// The pointer hooks at ROM offsets 0xFE, 0x103 and 0x108 (file offsets 0x2FE, 0x303 and
// 0x308 behind a copier header) hold the low, middle and bank byte of the LoROM address
// of bank offset 0x0008, where the game's upload starts.
//
// File offsets below are offsets into the file as it is: a file whose size is a whole
// number of 32 KiB banks has no copier header, and its banks start at multiples of
// 0x8000 instead of 0x200 plus those (see AddrHeaderSize).
//
// Directory entry i (image offset 4i): start address, loop address (16 bits each);
// start 0 marks an empty slot. Samples are packed from 0x8100 upward without stored
// sizes: a sample runs from its start to the next higher start of any slot, or to the
// free-area start 0xFFE2 - freespace.
#pragma once
#include "FileIO.h"

// Place of the ROM image pointer, for FileIn to replace the image.
unsigned char **SPCMGetPPtr();

// The sample memory image: 0x8000 bytes, byte i mirrors audio address 0x8000 + i.
unsigned char *SPCMGetSPCPtr();

// 1 when the bank marker occurs anywhere in the ROM image behind the copier header, else 0.
int SPCMCheckPresence();

// Builds a new bank at file offset (header + k * 0x8000, 1 <= k < 0x100) from the stock
// directory and sample data and points the hooks at it. Returns 1 when built; 0 when
// the offset was refused (reported): not a bank start, the first bank (it holds the
// hooks), out of the pointer's reach or past the end of the ROM. Nothing is changed then.
int SPCMSetupROM(int offset);

// The New ROM dialog's refusal of offset when it is not a bank start of a ROM with a
// copier header of header bytes (0x200, or 0 headerless); null for a bank start.
const char *SPCMBoundaryRefusal(long offset, int header);

// Why SPCMSetupROM would refuse offset: the text of its refusal, valid until the next
// call; null when it would build the bank there. Nothing is reported here.
const char *SPCMPlacementRefusal(int offset);

// Bytes of the 32 KiB bank at file offset offset that hold data: those that differ from
// the bank's most common value, 00 or FF winning a tie. 0 means the bank is free, one
// value throughout as the padding of an expanded ROM is; a bank whose most common value
// is neither 00 nor FF is no padding, and all 0x8000 of its bytes count as data. -1 when
// SPCMSetupROM would refuse the offset (nothing is reported here).
int SPCMBankData(int offset);

// File offset of the first free bank (SPCMBankData 0) at or above the 1 MiB point of
// the ROM (file offset header + 0x100000), or -1 when none there is free.
int SPCMFirstFreeBank();

// Reads the bank that the hooks point at into a new sample memory image. Returns 1 when
// read; 0 when the bank lies outside the ROM, covers the hooks, lacks the marker at its
// end or breaks its own bounds (reported), and then no bank is loaded: the previous one
// belonged to the replaced ROM image.
int SPCMReadIn();

// Writes the image back into the bank and the ROM image to the file. Returns FileOut's
// result: 0 written, 1 failed.
int SPCMSave();

// File offset of the loaded bank's first byte; -1 when no bank is loaded.
int SPCMBankOffset();

int SPCMGetFree();               // free-space counter, bytes (0-0x7EE2)
int SPCMFetchStart(int slot);    // start audio address of slot 0-63; 0 = empty
int SPCMFetchLoop(int slot);     // loop audio address of slot 0-63
int SPCMGetSampleSize(int slot); // bytes from a used slot's start to its next start

constexpr int kSPCMSlots = 64;         // the directory's entries
constexpr int kSPCMDataStart = 0x8100; // the sample data area, audio addresses
constexpr int kSPCMDataEnd = 0xFFE2;   // one past its last byte

// The largest .brr file image of a slot: the 2-byte loop header and the whole data area.
constexpr int kSPCMMaxFile = 2 + kSPCMDataEnd - kSPCMDataStart;

// Loop offset of a used slot in bytes: loop - start when the slot's end block has the
// loop flag and the loop address is the start of one of its played blocks; -1 when the
// slot plays once (or is empty).
int SPCMLoopOffset(int slot);

// Writes a used slot's sample as a .brr file image into file (kSPCMMaxFile bytes): its
// played blocks (up to and including the first block with the end flag, else every whole
// block), behind the 2-byte little-endian loop offset when SPCMLoopOffset is not -1.
// Returns the image's length in bytes; 0 for an empty slot.
int SPCMSampleFile(int slot, unsigned char *file);

// The loop that Insert Looped asks the user for, with the engine's proposal.
struct SPCMLoop {
    int frames;     // the sound's length: frames of a WAV file, samples of a .brr file
    int start, end; // the loop, frames, end exclusive: 0 <= start < end <= frames
    int fileRate;   // the WAV file's sample rate, Hz; 0 for a .brr file
    int rate;       // Hz, 1000-32000: the rate to encode at; 0 for a .brr file
    bool brr;       // a raw .brr file whose end block loops: only start is asked, a
                    // multiple of 16 samples; end is the sound's end
};

// Why the Loop box refuses the loop [start, end) in samples for loop: one text, valid
// until the next call; null when it takes it. A negative start or end was not typed as
// a whole number. A raw .brr file's loop starts at a block and ends at the sound's end.
const char *SPCMLoopRefusal(const SPCMLoop *loop, long long start, long long end);

// Asks the user for the loop, loop holding the proposal; on 1 it holds the choice. 0
// when the user cancelled.
typedef int (*SPCMLoopAsk)(HWND owner, SPCMLoop *loop);

// Insert: puts a sample file the user chooses into the empty slot, at the bottom of the
// free area. A WAV file is encoded (loop address = start); a .brr file goes in as it is,
// raw (loop = start) or headered (loop = start + its loop offset). Returns 0 when
// inserted; 1 when cancelled or refused (reported, boxes owned by owner), with nothing
// changed.
int SPCMInsertSample(int slot, HWND owner);

// Insert of the sample file at path (a WAV file, or a .brr file by its extension), as
// Insert does with a chosen file. Returns as SPCMInsertSample.
int SPCMInsertSampleFile(int slot, const char *path, HWND owner);

// Insert Looped: as Insert, but a WAV file is encoded with the loop and at the rate that
// ask returns, and a .brr file must loop: a headered one by its header, a raw one whose
// end block has the loop flag from the loop block that ask returns (proposed from a
// "Loop=N" in its name, N bytes as the header counts them). *cents receives how far the
// encoder moved the pitch to fit the loop to whole blocks (positive: the sample now
// plays flat by that much), 0 when the pitch is exact. Returns as SPCMInsertSample.
int SPCMInsertLooped(int slot, HWND owner, SPCMLoopAsk ask, double *cents);

// Rate in Hz (1000-32000) at which the following Inserts and Insert Looped encode a WAV
// file, instead of the file's own; 0 (the start) restores the file's own rate.
void SPCMSetInsertRate(int rate);

// Rate in Hz at which the WAV file of the last successful Insert or Insert Looped was
// encoded: the file's own, at most 32000, or the lower rate the user took when the
// sample did not fit the free space (they are asked first). 0 after a .brr file.
int SPCMInsertedRate();

// Pitch register value (0x1000 = 32000 Hz) at which a sample encoded at rate Hz plays
// at its recorded pitch.
int SPCMPitchFor(int rate);

// The Tuning texts after an insert, which the window shows in a box and the command line
// writes: a rate other than 32000 Hz (rate, pitch, cents), and a loop fitted to whole
// blocks (cents, "flat" or "sharp", cents, "up" or "down").
#define SPCM_TEXT_TUNED_RATE                                                                       \
    "This sample was encoded at %d Hz: it plays at its recorded pitch at pitch %X, %.1f cents "    \
    "against a 32 kHz sample."
#define SPCM_TEXT_TUNED_LOOP                                                                       \
    "The encoder fitted the loop to whole blocks of 16 samples, so this sample plays %.1f cents "  \
    "%s.\nTune the instrument %.1f cents %s to play it at its pitch."

// Export: writes a used slot's sample to a .brr or .wav file the user chooses (see
// SPCMSampleFile and BRRDecodeBlocks). Changes neither the bank nor the ROM image.
// Returns 0 when written; 1 when cancelled or failed (reported, nothing written).
int SPCMExportSample(int slot, HWND owner);

// Deletes the sample of a used slot and moves the data above it down, re-pointing every
// higher start and loop address.
void SPCMDeleteSample(int slot);
