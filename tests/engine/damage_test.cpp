// Damaged and foreign banks under the sanitizers: whatever the hooks, the directory and
// the counter hold, reading, sizing, inserting, deleting and saving must stay inside the
// ROM image and the sample memory image, and an accepted bank must keep its bounds.
#include <random>

#include "bank_fixture.h"

namespace {

class RandomBanks : public Bank {
  protected:
    std::mt19937 rng{20261207};

    int Random(int below) { return int(rng() % unsigned(below)); }

    void Put16(unsigned char *p, int value)
    {
        p[0] = uint8_t(value);
        p[1] = uint8_t(value >> 8);
    }

    // A start near the interesting bounds most of the time, anything otherwise.
    int RandomStart()
    {
        switch (Random(4)) {
        case 0: return 0;
        case 1: return 0x8100 + Random(0x7EE3);
        case 2: return 0x80F0 + Random(0x20);
        default: return Random(0x10000);
        }
    }

    void ExpectBounds()
    {
        const int freeStart = 0xFFE2 - SPCMGetFree();
        ASSERT_LE(SPCMGetFree(), 0x7EE2);
        for (int i = 0; i < 64; ++i) {
            const int start = SPCMFetchStart(i);
            if (start == 0)
                continue;
            ASSERT_GE(start, 0x8100) << i;
            ASSERT_LE(start, freeStart) << i;
            ASSERT_LE(start + SPCMGetSampleSize(i), freeStart) << i;
        }
    }
};

TEST_F(RandomBanks, NothingReachesOutsideTheImagesWhateverTheBankHolds)
{
    Prepare();
    const std::vector<uint8_t> prepared = Image();
    int accepted = 0;
    for (int round = 0; round < 400; ++round) {
        doubles::Load(prepared);
        unsigned char *bank = ROMMem + kBank;
        // Half the time the counter stays, else any value in or beyond its range.
        if (Random(2))
            Put16(bank + 0x7FF6, Random(2) ? Random(0x7EE3) : Random(0x10000));
        for (int damaged = Random(5); damaged > 0; --damaged) {
            const int i = Random(64);
            Put16(bank + 0x0C + 4 * i, RandomStart());
            Put16(bank + 0x0C + 4 * i + 2, Random(0x10000));
        }
        if (Random(8) == 0) { // hooks anywhere, including past the end of the ROM
            ROMMem[0x2FE] = uint8_t(Random(256));
            ROMMem[0x303] = uint8_t(Random(256));
            ROMMem[0x308] = uint8_t(Random(256));
        }
        if (!SPCMReadIn()) {
            ASSERT_EQ(doubles::errors.size(), 1u);
            continue;
        }
        ++accepted;
        ASSERT_NO_FATAL_FAILURE(ExpectBounds());
        for (int step = 0; step < 12; ++step) {
            const int slot = Random(64);
            if (SPCMFetchStart(slot) != 0) {
                SPCMDeleteSample(slot);
            } else {
                doubles::encoded = files::Sample(size_t(Random(SPCMGetFree() + 2)), uint8_t(step));
                SPCMInsertSample(slot, nullptr);
            }
            ASSERT_NO_FATAL_FAILURE(ExpectBounds()) << "round " << round << " step " << step;
        }
        ASSERT_EQ(SPCMSave(), 0);
    }
    EXPECT_GT(accepted, 50) << "the rounds should exercise accepted banks too";
}

} // namespace
