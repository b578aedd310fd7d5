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
extern std::vector<uint8_t> encoded;    // what the encoder writes to temp.brr
extern std::vector<uint8_t> fitted;     // what it writes at a rate the user took
extern int encodedAt;                   // the rate the last encode run was given; 0: none
extern int wavRate;                     // the WAV file's sample rate, Hz
extern std::vector<std::string> questions; // texts of the questions, in order
extern bool answerYes;                  // the answer to every question

// Sample interchange: the chosen sample file, the WAV reader, the looped encoder run,
// the export chooser, the export writing and the block decoder.
extern std::string sampleName;                  // FIOWavIn's choice; empty: a WAV file
extern std::vector<uint8_t> brrFile;            // what FIOReadFile reads
extern int wavFrames, wavLoopStart, wavLoopEnd; // BRRWavLoop's findings
extern int askedStart, askedEnd;                // the loop the last encode run was given
extern std::string exportName;                  // FIOExportOut's choice; empty: cancelled
extern bool exportWav;                          // FIOExportOut's type
extern std::string proposedName;                // the name FIOExportOut proposed
extern std::vector<uint8_t> exported;           // the bytes of the last FIOWriteFile
extern std::vector<uint8_t> decodeInput;        // what BRRDecodeBlocks was given

// Replaces the ROM image with a copy of rom and forgets earlier calls.
void Load(const std::vector<uint8_t> &rom);

} // namespace doubles
