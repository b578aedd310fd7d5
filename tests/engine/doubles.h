// In-memory stand-ins for the file and encoder layers, so that the bank logic runs
// natively under the sanitizers: the ROM image is a plain buffer, Save records the
// image, refusals are collected as texts, and the "encoder" hands out prepared bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace doubles {

extern std::vector<std::string> errors; // texts of the refusals, in order
extern std::vector<uint8_t> saved;      // the image of the last FileOut
extern int saves;                       // FileOut calls
extern bool wavChosen;                  // false: the WAV chooser is cancelled
extern bool encodeFails;                // BRREncode reports a failure
extern bool sizeFails;                  // measuring temp.brr fails after the encode
extern bool changedAfterRead;           // temp.brr grows after the encoder's read
extern std::vector<uint8_t> encoded;    // what the encoder writes to temp.brr

// Replaces the ROM image with a copy of rom and forgets earlier calls.
void Load(const std::vector<uint8_t> &rom);

} // namespace doubles
