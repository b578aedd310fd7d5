#include "brrfile.h"

#include <cassert>

#include "brr.h"

namespace snesbrr {

Status parse_brr_file(const std::uint8_t *data, std::size_t size, BrrFile &out)
{
    out = BrrFile{};
    if (size == 0 || size == kBrrHeaderBytes)
        return Status::NoBlocks;
    if (size % kBlockBytes == 0) {
        out.blocks = data;
        out.size = size;
        return Status::Ok;
    }
    if (size % kBlockBytes != kBrrHeaderBytes)
        return Status::NotBrrSize;
    const std::size_t offset = static_cast<std::size_t>(data[0] | data[1] << 8);
    if (offset % kBlockBytes != 0)
        return Status::LoopOffsetUneven;
    if (offset >= size - kBrrHeaderBytes)
        return Status::LoopOffsetOutside;
    out.blocks = data + kBrrHeaderBytes;
    out.size = size - kBrrHeaderBytes;
    out.headered = true;
    out.loop_offset = offset;
    return Status::Ok;
}

bool plays_loop(const BrrFile &file, std::size_t &loop_block)
{
    std::size_t blocks = 0;
    if (!file.headered || count_blocks(file.blocks, file.size, blocks) != Status::Ok || blocks == 0)
        return false;
    const BlockHeader end = parse_header(file.blocks[(blocks - 1) * kBlockBytes]);
    loop_block = file.loop_offset / kBlockBytes;
    return end.end && end.loop && loop_block < blocks;
}

std::vector<std::uint8_t> make_headered(const std::vector<std::uint8_t> &blocks,
                                        std::size_t loop_offset)
{
    assert(loop_offset % kBlockBytes == 0 && loop_offset < blocks.size() &&
           loop_offset <= kMaxLoopOffset);
    std::vector<std::uint8_t> out;
    out.reserve(kBrrHeaderBytes + blocks.size());
    out.push_back(static_cast<std::uint8_t>(loop_offset));
    out.push_back(static_cast<std::uint8_t>(loop_offset >> 8));
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

} // namespace snesbrr
