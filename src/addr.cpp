#include "addr.h"

uint32_t AddrLOROMPC(uint32_t address)
{
    // An odd bank maps to the upper 32 KiB of the even bank's 64 KiB window.
    const uint32_t value = (address & 0x10000) ? address - 0x10000 : address - 0x8000;
    return (value >> 16) * 0x8000 + (value & 0xFFFF) + 0x200;
}

uint32_t AddrPCLOROM(uint32_t offset)
{
    const uint32_t rom = offset - 0x200;
    return ((rom / 0x8000) << 16) + 0x8000 + rom % 0x8000;
}
