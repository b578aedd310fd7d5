// WAV files as the codec reads them, for the bridge's BRRWavShape and BRRWavLoop
// (snesbrr.h), which are the same whether the encoder runs as a program or in-process.
#pragma once
#include "status.h"
#include "wav.h"

// Reads the whole WAV file at path into pcm; may throw std::bad_alloc.
snesbrr::Status BRRReadWav(const char *path, snesbrr::MonoPcm &pcm);
