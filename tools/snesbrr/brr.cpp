#include "brr.h"

#include <algorithm>
#include <cassert>

namespace snesbrr {

BlockHeader parse_header(std::uint8_t byte)
{
    BlockHeader h;
    h.shift = byte >> 4;
    h.filter = (byte >> 2) & 3;
    h.loop = (byte & 2) != 0;
    h.end = (byte & 1) != 0;
    return h;
}

std::uint8_t make_header(int shift, int filter, bool loop, bool end)
{
    assert(shift >= 0 && shift <= 15 && filter >= 0 && filter <= 3);
    return static_cast<std::uint8_t>(shift << 4 | filter << 2 | (loop ? 2 : 0) | (end ? 1 : 0));
}

int block_nibble(const std::uint8_t *block, int index)
{
    assert(index >= 0 && index < kBlockSamples);
    const std::uint8_t byte = block[1 + index / 2];
    const int nibble = (index % 2 == 0) ? byte >> 4 : byte & 0xF;
    return nibble >= 8 ? nibble - 16 : nibble;
}

int decode_nibble(int nibble, int shift, int filter, History &history)
{
    const int shifted = scale_nibble(nibble, shift);
    const int filtered = shifted + predict(filter, history.old, history.older);
    const int wrapped = clamp_and_wrap(filtered);
    history.older = history.old;
    history.old = wrapped;
    return wrapped;
}

void decode_group(const std::uint8_t *block, int group, History &history, std::int16_t out[4])
{
    assert(group >= 0 && group < 4);
    const BlockHeader h = parse_header(block[0]);
    for (int k = 0; k < 4; ++k) {
        const int value =
            decode_nibble(block_nibble(block, group * 4 + k), h.shift, h.filter, history);
        out[k] = static_cast<std::int16_t>(value * 2);
    }
}

void decode_block(const std::uint8_t *block, History &history, std::int16_t out[16])
{
    for (int group = 0; group < 4; ++group)
        decode_group(block, group, history, out + 4 * group);
}

Status count_blocks(const std::uint8_t *data, std::size_t size, std::size_t &blocks)
{
    blocks = 0;
    for (std::size_t offset = 0; offset + kBlockBytes <= size; offset += kBlockBytes) {
        ++blocks;
        if (parse_header(data[offset]).end)
            return Status::Ok;
    }
    return size % kBlockBytes == 0 ? Status::Ok : Status::PartialBlock;
}

Status decode_all(const std::uint8_t *data, std::size_t size, std::vector<std::int16_t> &out)
{
    out.clear();
    std::size_t blocks = 0;
    const Status status = count_blocks(data, size, blocks);
    if (status != Status::Ok)
        return status;
    out.resize(blocks * kBlockSamples);
    History history;
    for (std::size_t b = 0; b < blocks; ++b)
        decode_block(data + b * kBlockBytes, history, out.data() + b * kBlockSamples);
    return Status::Ok;
}

} // namespace snesbrr
