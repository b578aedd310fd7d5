// The command line of tarvo, as a function so that tests run commands in-process.
#pragma once
#include <ostream>

constexpr int kTarvoOk = 0;
constexpr int kTarvoRefused = 1; // the ROM or an input was refused; nothing was written
constexpr int kTarvoUsage = 2;   // the arguments were wrong

// argv[0] is the program name. Listings and help go to out; refusals, tuning lines and
// usage errors to err, one line each.
int TarvoRun(int argc, const char *const argv[], std::ostream &out, std::ostream &err);
