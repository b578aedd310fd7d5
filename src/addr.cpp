#include "addr.h"

uint32_t AddrHeaderSize(int64_t size)
{
    return size % 0x8000 == 0 ? 0 : 0x200;
}

uint32_t AddrLOROMPC(uint32_t address, uint32_t header)
{
    // An odd bank maps to the upper 32 KiB of the even bank's 64 KiB window.
    const uint32_t value = (address & 0x10000) ? address - 0x10000 : address - 0x8000;
    return (value >> 16) * 0x8000 + (value & 0xFFFF) + header;
}

uint32_t AddrPCLOROM(uint32_t offset, uint32_t header)
{
    const uint32_t rom = offset - header;
    return ((rom / 0x8000) << 16) + 0x8000 + rom % 0x8000;
}
