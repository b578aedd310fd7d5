// LoROM addressing: conversion between SNES LoROM addresses and offsets into a ROM
// file that carries a 512-byte copier header.
//
// A LoROM address holds the bank in bits 16-23 and the address within the bank in
// bits 0-15; ROM occupies 0x8000-0xFFFF of each bank, 32 KiB per bank. File offset 0x200
// is ROM byte 0. Banks are not folded: 0x80-0xFF give offsets 4 MiB above 0x00-0x7F.
#pragma once
#include <cstdint>

// File offset of a LoROM address. Addresses below 0x8000 within a bank have no offset.
uint32_t AddrLOROMPC(uint32_t address);

// LoROM address of a file offset >= 0x200 (offsets inside the copier header have none).
uint32_t AddrPCLOROM(uint32_t offset);
