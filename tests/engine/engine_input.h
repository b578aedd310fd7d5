// One run of the sample bank engine driven by arbitrary bytes, over the native test
// doubles: shared by the engine's fuzz target and the replay of its regression inputs.
//
// The input, read front to back (missing bytes read as 0):
//   shape    bits 0-1: 0 or 1 copier header, 2 headerless, 3 neither kind of size (the
//            header plus 1-256 bytes); bits 3-5: 16 + n banks of 32 KiB
//   seed     which pseudo-random bytes fill the ROM image, which then gets the stock
//            directory where the game keeps it
//   setup    bit 0: place a bank with SPCMSetupROM, at bank start header + k * 0x8000
//            (k: next byte) when bit 1 is clear, else at any 32-bit offset (next 4
//            bytes); bit 2: patch the hooks (next 3 bytes); bit 3: patch the counter
//            (next 2 bytes); bit 4: no marker at the target bank's end; bits 5-7: that
//            many directory entries patched (slot, start selector and start, loop)
//   target   without a placement, the bank k (this byte) that the hooks lead to, made an
//            empty bank (no samples, all free) with the marker; the patches go to the
//            placed or the target bank
//   then     operations until the input ends (at most 64): op byte % 8 < 4 inserts into
//            slot (next byte) with the encoder's result (next byte, and 2 bytes of
//            length); < 6 deletes a slot (next byte); else saves.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Runs the input; returns an empty text when every check held, else what broke.
std::string RunEngineInput(const uint8_t *data, size_t size);
