// libFuzzer entry: arbitrary bytes as a ROM image, a bank placement, damaged hooks,
// directory and counter, and a sequence of inserts, deletes and saves (see
// engine_input.h). A broken check stops the run with the input kept.
#include <cstdio>
#include <cstdlib>

#include "engine_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string broken = RunEngineInput(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "engine check failed: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
