// File helpers for the tests: fresh folders, whole-file reads and writes, and WAV files
// made from samples.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace files {

// A new, empty folder under the system's temporary folder; tag names it for a reader.
std::string TempDir(const char *tag);

// The folder that holds the running test program.
std::string ProgramDir();

std::vector<uint8_t> Read(const std::string &path); // empty when the file is missing
void Write(const std::string &path, const std::vector<uint8_t> &bytes);
bool Exists(const std::string &path);
// The names in a folder, sorted: what a failed write must not add to.
std::vector<std::string> List(const std::string &folder);
void Remove(const std::string &path);

// A 16-bit mono PCM WAV file holding the samples.
std::vector<uint8_t> MakeWav(const std::vector<int16_t> &mono, int rate = 32000);

// The WAV file with a "smpl" chunk added whose one loop runs from frame start to frame
// last (inclusive, as the chunk stores it).
std::vector<uint8_t> WithLoop(std::vector<uint8_t> wav, uint32_t start, uint32_t last);

// A .brr file image of blocks 9-byte blocks, the last with the flags lastFlags (bit 0
// end, bit 1 loop), behind the 2-byte loop offset when offset >= 0.
std::vector<uint8_t> BrrImage(int blocks, int lastFlags, int offset = -1);

// bytes bytes of raw BRR that play once: every byte fill, but each block's header without
// the loop and end flags, save the end flag on the last whole block. Bytes beyond whole
// blocks stay fill, which no decoder accepts.
std::vector<uint8_t> Sample(size_t bytes, uint8_t fill);

// A sine tone: frames samples of amplitude amp (16-bit units), freq in Hz at 32 kHz.
std::vector<int16_t> Tone(int frames, double freq, int amp = 12000);

} // namespace files
