#pragma once
// The command line of snesbrr, as a function so tests can call it in-process.
//   snesbrr IN.wav -e OUT.brr [--loop | --loop-start S [--loop-end E]] [--flat]
//                             [--rate HZ] [--max-bytes N]
//       encode, at HZ (1000-32000; by default the file's rate, at most 32000) or
//       the highest rate whose output fits in N bytes; with a loop, into the
//       headered form (see brrfile.h and loop.h)
//   snesbrr IN.brr -d [-p PITCH] OUT.wav   play at PITCH (hex, 0-3fff; default 1000)
//   snesbrr IN.brr -d --blocks OUT.wav     the decoded blocks, with the loop in "smpl"
//   snesbrr -h | --help                    usage
// The --options may stand anywhere; -p follows -d.
#include <ostream>

namespace snesbrr {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // an input or output file was at fault
constexpr int kExitUsage = 2;   // the arguments were wrong

// argv[0] is the program name. Usage goes to `out`; an error is one line on `err`.
// On failure no output file is created and an existing one is left as it was.
int run(int argc, const char *const argv[], std::ostream &out, std::ostream &err);

} // namespace snesbrr
