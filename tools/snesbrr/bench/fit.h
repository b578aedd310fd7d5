#pragma once
// The benchmark's figures for --max-bytes: quality at a half and a quarter of
// the full-rate size.
#include <vector>

#include "corpus.h"

namespace snesbrr::bench {

// For every sound of `corpus` (32 kHz): the size of its encoding at 32 kHz and the
// SNR of what it plays, then for a half and a quarter of that size the rate
// --max-bytes finds and the SNR of what plays at that rate, brought back to 32 kHz
// by the library's resampler. Beside it: the rate change alone (no BRR), and,
// where sox is installed, sox's `rate -v` to the same rate followed by this encoder.
void print_fit_figures(const std::vector<Sound> &corpus);

} // namespace snesbrr::bench
