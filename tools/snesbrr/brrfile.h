#pragma once
// .brr files as sample packs trade them.
//   raw:       whole 9-byte blocks, size a multiple of 9; the file names no loop
//   headered:  a 2-byte little-endian loop offset, then whole blocks (size 2 more
//              than a multiple of 9); the offset is the byte distance from the first
//              block to the loop block, a multiple of 9 inside the blocks
// The loop is played only when the end block (the first with the end flag) carries
// the loop flag: the decoder then goes on at the loop block, keeping its history.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "status.h"

namespace snesbrr {

constexpr std::size_t kBrrHeaderBytes = 2;
constexpr std::size_t kMaxLoopOffset = 0xFFFF; // bytes: what the header can hold

struct BrrFile {
    const std::uint8_t *blocks = nullptr; // points into the caller's buffer
    std::size_t size = 0;                 // bytes of whole blocks after any header
    bool headered = false;
    std::size_t loop_offset = 0; // bytes from the first block to the loop block; 0 if raw
};

// Splits `size` bytes at `data` (owned by the caller, kept while `out` is used)
// into header and blocks: NotBrrSize, LoopOffsetUneven or LoopOffsetOutside if
// they fit neither form, NoBlocks if they hold no block (the utility refuses
// such a file too).
Status parse_brr_file(const std::uint8_t *data, std::size_t size, BrrFile &out);

// True when the file is headered and its end block has the loop flag, with the loop
// block at or before the end block; `loop_block` is then its index (0-based).
bool plays_loop(const BrrFile &file, std::size_t &loop_block);

// The headered form of `blocks` (whole blocks) with the loop at byte `loop_offset`,
// a multiple of 9 below blocks.size() and at most kMaxLoopOffset.
std::vector<std::uint8_t> make_headered(const std::vector<std::uint8_t> &blocks,
                                        std::size_t loop_offset);

} // namespace snesbrr
