// LoROM addressing: conversion between SNES LoROM addresses and offsets into a ROM
// file, with or without a 512-byte copier header in front of the ROM data.
//
// A LoROM address holds the bank in bits 16-23 and the address within the bank in
// bits 0-15; ROM occupies 0x8000-0xFFFF of each bank, 32 KiB per bank. ROM byte 0 lies at
// file offset header (0x200 or 0). Banks are not folded: 0x80-0xFF give offsets 4 MiB
// above 0x00-0x7F.
#pragma once
#include <cstdint>

// Bytes of copier header in front of the ROM data of a file of size bytes: 0 when the
// size is a whole number of 32 KiB banks (a headerless file), else 0x200, the header that
// a size of 0x200 over a whole number of banks shows; a file of any other size is
// damaged or padded and is treated as headered.
uint32_t AddrHeaderSize(int64_t size);

// File offset of a LoROM address. Addresses below 0x8000 within a bank have no offset.
uint32_t AddrLOROMPC(uint32_t address, uint32_t header = 0x200);

// LoROM address of a file offset >= header (offsets inside the copier header have none).
uint32_t AddrPCLOROM(uint32_t offset, uint32_t header = 0x200);
