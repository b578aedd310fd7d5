#pragma once
// The benchmark's looped material: quality inside the loop, and tuning.
#include "encoder.h"

namespace snesbrr::bench {

// Encodes generated sounds with sustain loops (lengths that repeat, resample and
// are already whole blocks; starts on and off block boundaries) with `settings`
// and prints, per sound: the SNR of the decoded loop against the laid-out input,
// beside the plain encode's SNR over the same samples; the pitch change the layout
// states (cents flat); the change measured in the decoded loop; and their difference,
// the tuning error left once the instrument is tuned as stated.
void print_loop_figures(const EncoderSettings &settings);

} // namespace snesbrr::bench
