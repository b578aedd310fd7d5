// Writes the generated stock ROM to a file: the demo ROM of script/run.
#include <cstdio>
#include <cstdlib>

#include "stockrom.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_stock_rom OUT.smc\n");
        return 2;
    }
    const std::vector<uint8_t> rom = stockrom::Make();
    std::FILE *f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(rom.data(), 1, rom.size(), f) != rom.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_stock_rom: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
