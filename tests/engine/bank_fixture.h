// Shared fixture of the native bank tests: a generated stock ROM in the in-memory file
// layer, with helpers to read the little-endian fields of the image.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "FileIO.h"
#include "SPCM.h"
#include "doubles.h"
#include "files.h"
#include "stockrom.h"

inline int Le16(const unsigned char *p)
{
    return p[0] | p[1] << 8;
}

class Bank : public ::testing::Test {
  protected:
    static constexpr int kBank = 0x80200;

    void SetUp() override
    {
        stock = stockrom::Make();
        doubles::Load(stock);
    }

    // Builds the bank at kBank and reads it in.
    void Prepare()
    {
        ASSERT_EQ(SPCMCheckPresence(), 0);
        ASSERT_EQ(SPCMSetupROM(kBank), 1);
        ASSERT_EQ(SPCMReadIn(), 1);
    }

    std::vector<uint8_t> Image() const { return std::vector<uint8_t>(ROMMem, ROMMem + ROMSize); }

    int Insert(int slot, size_t bytes, uint8_t fill = 0x5A)
    {
        doubles::encoded = files::Sample(bytes, fill);
        return SPCMInsertSample(slot, nullptr);
    }

    std::vector<uint8_t> stock;
};
