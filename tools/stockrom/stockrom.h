// A stand-in for the game's ROM, made from nothing but a seed: a headered, expanded
// LoROM file whose stock sample directory and sample data look like the real game's
// (valid BRR samples laid end to end from audio address 0x8100, some looped), whose
// every other byte of the game's first 1 MiB comes from a fixed pseudo-random sequence,
// so that a stray write shows up when two files are compared, and whose expansion past
// that is 00 padding, free for a sample bank. No byte of any real game is used.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace stockrom {

constexpr uint32_t kHeaderSize = 0x200;
constexpr uint32_t kGameSize = 0x100000; // ROM bytes of the game; the padding follows
constexpr uint32_t kDirOffset = 0x78204;  // file offset of the stock directory
constexpr uint32_t kDirSize = 0x50;       // 20 entries of 4 bytes
constexpr uint32_t kDataOffset = 0x78258; // file offset of the stock sample data
constexpr uint32_t kDataSize = 0x6F20;    // audio 0x8100-0xF01F
constexpr int kEntries = 20;
constexpr uint16_t kDataEnd = 0xF01C; // the stock samples end at or below this

struct Entry {
    uint16_t start, loop;
};

// The whole file: 0x200 header bytes plus romBytes (a multiple of 0x8000, over 1 MiB).
std::vector<uint8_t> Make(size_t romBytes = 2 * 1024 * 1024);

// The stock directory as Make writes it.
std::vector<Entry> Directory();

} // namespace stockrom
