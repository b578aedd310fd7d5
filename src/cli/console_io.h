// The console form of the file layer (FileIO.h): what the window asks the user for, a
// command gives on its command line, and every box becomes one line on the error
// stream. A command line never asks: FIOAsk answers with the answer set beforehand,
// No unless the command says otherwise, so an offer the window would make is refused.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace console {

// Starts a command: messages go to err, the answer is No, no ROM is loaded, the save
// writes the ROM file in place.
void Begin(std::ostream &err);

// The file that the following messages name in front of their text.
void SetSubject(const std::string &subject);

// Writes "tarvo: SUBJECT: text" with every line break of text as "; ".
void Say(const std::string &text);

// Lines written since Begin.
int Said();

// Reads the ROM file at path whole, refusing it (reported) as the window's open does.
bool LoadRom(const std::string &path);

// The ROM file as it was read.
const std::vector<uint8_t> &Original();

// Where FileOut writes: out (the ROM file when empty). With dryRun neither FileOut nor
// FIOWriteFile writes anything.
void SetSaveTarget(const std::string &out, bool dryRun);

// What FIOWavIn and FIOExportOut hand the engine, and FIOAsk's answer.
void SetSample(const std::string &path);
void SetExport(const std::string &path, bool wav);
void SetAnswer(bool yes);

} // namespace console
