// The sample bank in memory: building a bank in a stock ROM, reading it, saving it,
// inserting and deleting samples, and refusing banks and placements that do not fit.
#include <algorithm>

#include "bank_fixture.h"

namespace {

TEST_F(Bank, BuildsEveryFieldOfANewBankAndPointsTheHooksAtIt)
{
    ASSERT_EQ(SPCMSetupROM(kBank), 1);
    const unsigned char *bank = ROMMem + kBank;
    EXPECT_EQ(0, memcmp(bank, "STAR", 4));
    EXPECT_EQ(Le16(bank + 4), 0x7FF8);
    EXPECT_EQ(Le16(bank + 6), 0x8007);
    EXPECT_EQ(Le16(bank + 8), 0x0100);
    EXPECT_EQ(Le16(bank + 10), 0x8000);
    EXPECT_EQ(0, memcmp(bank + 0x0C, &stock[stockrom::kDirOffset], stockrom::kDirSize));
    for (int i = 0x0C + stockrom::kDirSize; i < 0x10C; ++i)
        ASSERT_EQ(bank[i], 0) << "directory byte " << i;
    EXPECT_EQ(Le16(bank + 0x10C), 0x7EE2);
    EXPECT_EQ(Le16(bank + 0x10E), 0x8100);
    EXPECT_EQ(0, memcmp(bank + 0x110, &stock[stockrom::kDataOffset], stockrom::kDataSize));
    for (int i = 0x110 + stockrom::kDataSize; i < 0x7FF2; ++i)
        ASSERT_EQ(bank[i], 0) << "data byte " << i;
    EXPECT_EQ(Le16(bank + 0x7FF2), 0);
    EXPECT_EQ(Le16(bank + 0x7FF4), 0);
    EXPECT_EQ(Le16(bank + 0x7FF6), 0x0FC6);
    EXPECT_EQ(0, memcmp(bank + 0x7FF8, "qelvarin", 8));
    EXPECT_EQ(ROMMem[0x2FE], 0x08);
    EXPECT_EQ(ROMMem[0x303], 0x80);
    EXPECT_EQ(ROMMem[0x308], 0x10);

    // Nothing outside the bank and the three hook bytes changed.
    for (int i = 0; i < ROMSize; ++i) {
        if ((i >= kBank && i < kBank + 0x8000) || i == 0x2FE || i == 0x303 || i == 0x308)
            continue;
        ASSERT_EQ(ROMMem[i], stock[i]) << "byte " << std::hex << i;
    }
    EXPECT_EQ(SPCMCheckPresence(), 1);
}

TEST_F(Bank, ABankOverTheStockMaterialStillCopiesIt)
{
    ASSERT_EQ(SPCMSetupROM(0x78200), 1);
    EXPECT_EQ(0, memcmp(ROMMem + 0x78200 + 0x0C, &stock[stockrom::kDirOffset], stockrom::kDirSize));
    EXPECT_EQ(0,
              memcmp(ROMMem + 0x78200 + 0x110, &stock[stockrom::kDataOffset], stockrom::kDataSize));
    ASSERT_EQ(SPCMReadIn(), 1);
    EXPECT_EQ(SPCMFetchStart(0), 0x8100);
}

TEST_F(Bank, RefusesPlacementsThatCannotHoldABankAndChangesNothing)
{
    const int ends = 0x200 + 0x200000; // the stock ROM is 2 MiB behind its header
    // Offsets that are not bank starts would build a bank over the header and the hooks
    // (2F0) or across two LoROM banks (80201); each refusal is reported.
    for (int offset :
         {0, 0x200, 0x2F0, 0x80000, 0x80201, -0x7E00, ends, ends + 0x8000, 0x800200, 0x7FFF8200}) {
        doubles::errors.clear();
        EXPECT_EQ(SPCMSetupROM(offset), 0) << std::hex << offset;
        EXPECT_EQ(Image(), stock) << std::hex << offset;
        EXPECT_EQ(doubles::errors.size(), 1u) << std::hex << offset;
    }
    EXPECT_EQ(SPCMSetupROM(ends - 0x8000), 1) << "the last bank of the ROM fits";
}

// What the user is told before a bank is overwritten: the bytes that differ from the
// bank's padding. Offsets that SPCMSetupROM refuses have no count.
TEST_F(Bank, CountsTheBytesOfABankThatHoldData)
{
    const int bank = 0x100200; // the stock ROM's padding starts here
    EXPECT_EQ(SPCMBankData(bank), 0);
    ROMMem[bank + 0x7FFF] = 0xFF; // its last byte
    ROMMem[bank + 0x8000] = 0x01; // the next bank's first
    EXPECT_EQ(SPCMBankData(bank), 1);
    memset(ROMMem + bank, 0xFF, 0x8000);
    EXPECT_EQ(SPCMBankData(bank), 0);
    ROMMem[bank] = 0x00;
    ROMMem[bank + 0x4000] = 0x12;
    EXPECT_EQ(SPCMBankData(bank), 2);
    // One value throughout that is no padding, and the game's own bytes, are all data.
    memset(ROMMem + bank, 0x5A, 0x8000);
    ROMMem[bank + 1] = ROMMem[bank + 2] = 0x00;
    EXPECT_EQ(SPCMBankData(bank), 0x8000);
    EXPECT_GT(SPCMBankData(0x80200), 0x7F00);

    // In a ROM larger than the pointer reaches (9 MiB), bank by bank around each limit.
    const std::vector<uint8_t> large = stockrom::Make(0x900000);
    const int ends = 0x200 + 0x900000;
    for (int offset : {-0x7E00, 0, 0x200, 0x2F0, 0x8200, 0x80000, 0x80201, 0x7F8200, 0x800200,
                       ends - 0x8000, ends, 0x7FFF8200}) {
        doubles::Load(large);
        const bool accepted = SPCMSetupROM(offset) == 1;
        doubles::Load(large);
        EXPECT_EQ(SPCMBankData(offset) >= 0, accepted) << std::hex << offset;
        EXPECT_TRUE(doubles::errors.empty()) << std::hex << offset;
    }
}

// The bank that the placement dialog proposes: the first free one from the ROM's 1 MiB
// point on, whatever the padding and the header.
TEST_F(Bank, FindsTheFirstFreeBankFromOneMiBOn)
{
    for (int header : {0x200, 0}) {
        for (uint8_t padding : {0x00, 0xFF}) {
            SCOPED_TRACE(testing::Message() << "header " << header << ", padding " << +padding);
            std::vector<uint8_t> rom(stock.begin() + (0x200 - header), stock.end());
            // The last bank below 1 MiB is padding as well, but belongs to the game.
            std::fill(rom.begin() + header + 0xF8000, rom.end(), padding);
            doubles::Load(rom);
            const int first = header + 0x100000, last = ROMSize - 0x8000;
            EXPECT_EQ(SPCMFirstFreeBank(), first);
            ROMMem[first + 0x7FFF] ^= 1;
            EXPECT_EQ(SPCMFirstFreeBank(), first + 0x8000);
            for (int bank = first; bank <= last; bank += 0x8000)
                ROMMem[bank + 0x100] ^= 0x80;
            EXPECT_EQ(SPCMFirstFreeBank(), -1);
            ROMMem[last + 0x100] ^= 0x80;
            EXPECT_EQ(SPCMFirstFreeBank(), last);
        }
    }

    // Free banks beyond the pointer's reach are no proposal.
    doubles::Load(stockrom::Make(0x900000));
    for (int bank = 0x100200; bank < 0x800200; bank += 0x8000)
        ROMMem[bank] = 0x01;
    EXPECT_EQ(SPCMBankData(0x800200 - 0x8000), 1);
    EXPECT_EQ(SPCMFirstFreeBank(), -1);
}

// A headerless file is the headered one without its first 0x200 bytes: every step must
// give the same bytes, 0x200 lower, and the file keeps its own size.
TEST_F(Bank, AHeaderlessRomIsWorkedOnExactlyAsIfItHadAHeader)
{
    const std::vector<uint8_t> headerless(stock.begin() + 0x200, stock.end());
    std::vector<uint8_t> results[2];
    for (int header : {0x200, 0}) {
        doubles::Load(header ? stock : headerless);
        ASSERT_EQ(SPCMCheckPresence(), 0);
        // Each kind refuses the other's bank starts and names its own in the messages.
        EXPECT_EQ(SPCMSetupROM(header ? 0x80000 : 0x80200), 0);
        EXPECT_EQ(SPCMSetupROM(header), 0);
        ASSERT_EQ(doubles::errors.size(), 2u);
        const char *example = header ? "80200." : "80000.";
        for (const std::string &error : doubles::errors)
            EXPECT_NE(error.find(example), std::string::npos) << error;
        ASSERT_EQ(SPCMSetupROM(0x80000 + header), 1);
        ASSERT_EQ(SPCMCheckPresence(), 1);
        ASSERT_EQ(SPCMReadIn(), 1);
        ASSERT_EQ(Insert(0x14, 900, 0x11), 0);
        SPCMDeleteSample(5);
        ASSERT_EQ(SPCMSave(), 0);
        ASSERT_EQ(SPCMReadIn(), 1) << "the saved bank reads back";
        const auto dir = stockrom::Directory();
        EXPECT_EQ(SPCMFetchStart(0x14), 0xF01C - (dir[6].start - dir[5].start));
        results[header ? 0 : 1] = doubles::saved;
    }
    ASSERT_EQ(results[1].size(), stock.size() - 0x200);
    EXPECT_TRUE(std::equal(results[1].begin(), results[1].end(), results[0].begin() + 0x200));
    EXPECT_TRUE(std::equal(stock.begin(), stock.begin() + 0x200, results[0].begin()))
        << "the copier header of the headered file is untouched";
}

TEST_F(Bank, FindsTheMarkerAnywhereUpToTheLastByteButNeverBeyond)
{
    EXPECT_EQ(SPCMCheckPresence(), 0);
    memcpy(ROMMem + ROMSize - 7, "qelvari", 7); // cut off by the end of the file
    EXPECT_EQ(SPCMCheckPresence(), 0);
    memcpy(ROMMem + ROMSize - 8, "qelvarin", 8);
    EXPECT_EQ(SPCMCheckPresence(), 1);
    doubles::Load(stock);
    // Every place within and across the search's steps, near the start and the end.
    for (int64_t base : {int64_t(0x200), int64_t(ROMSize) - 0x300}) {
        for (int64_t p = base; p < base + 0x300 && p + 8 <= ROMSize; ++p) {
            unsigned char saved[8];
            memcpy(saved, ROMMem + p, 8);
            memcpy(ROMMem + p, "qelvarin", 8);
            ASSERT_EQ(SPCMCheckPresence(), 1) << std::hex << p;
            memcpy(ROMMem + p, saved, 8);
        }
    }
    ASSERT_EQ(SPCMCheckPresence(), 0);
    doubles::Load(stock);
    memcpy(ROMMem + 0x100, "qelvarin", 8); // inside the copier header
    EXPECT_EQ(SPCMCheckPresence(), 0);
}

TEST_F(Bank, ReadsTheStockDirectoryAndFreeSpaceOfANewBank)
{
    Prepare();
    const auto dir = stockrom::Directory();
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(SPCMFetchStart(i), i < 20 ? dir[i].start : 0) << i;
        EXPECT_EQ(SPCMFetchLoop(i), i < 20 ? dir[i].loop : 0) << i;
    }
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);
    // Sizes run to the next start; the highest stock sample runs to the free area at F01C.
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ(SPCMGetSampleSize(i), dir[i + 1].start - dir[i].start) << i;
    EXPECT_EQ(SPCMGetSampleSize(19), 0xF01C - dir[19].start);
}

TEST_F(Bank, SavingAfterReadingWritesBackExactlyWhatWasRead)
{
    Prepare();
    const std::vector<uint8_t> prepared = Image();
    // The image's last 30 bytes have no place in the bank and must never reach it.
    memset(SPCMGetSPCPtr() + 0x7FE2, 0xEE, 30);
    ASSERT_EQ(SPCMSave(), 0);
    EXPECT_EQ(doubles::saved, prepared);
    ASSERT_EQ(SPCMSave(), 0);
    EXPECT_EQ(doubles::saved, prepared);
}

TEST_F(Bank, InsertPutsTheSampleAtTheBottomOfTheFreeArea)
{
    Prepare();
    ASSERT_EQ(Insert(0x14, 900, 0x11), 0);
    EXPECT_EQ(SPCMFetchStart(0x14), 0xF01C);
    EXPECT_EQ(SPCMFetchLoop(0x14), 0xF01C);
    EXPECT_EQ(SPCMGetFree(), 0x0C42);
    EXPECT_EQ(SPCMGetSampleSize(0x14), 900);
    EXPECT_EQ(SPCMGetSPCPtr()[0xF01C - 0x8000 + 1], 0x11);
    EXPECT_EQ(SPCMGetSPCPtr()[0xF01C - 0x8000 + 899], 0x11);

    // The next one lands above it, whatever slot it takes.
    ASSERT_EQ(Insert(0x3F, 18, 0x22), 0);
    EXPECT_EQ(SPCMFetchStart(0x3F), 0xF01C + 900);
    EXPECT_EQ(SPCMGetSampleSize(0x14), 900);
    EXPECT_EQ(SPCMGetSampleSize(0x3F), 18);

    ASSERT_EQ(SPCMSave(), 0);
    EXPECT_EQ(Le16(&doubles::saved[kBank + 0x0C + 4 * 0x14]), 0xF01C);
    EXPECT_EQ(Le16(&doubles::saved[kBank + 0x7FF6]), 0x0C42 - 18);
    EXPECT_EQ(doubles::saved[kBank + 0x110 + (0xF01C - 0x8100) + 1], 0x11);
}

TEST_F(Bank, InsertThatIsCancelledOrFailsChangesNothing)
{
    Prepare();
    const std::vector<uint8_t> image(SPCMGetSPCPtr(), SPCMGetSPCPtr() + 0x8000);
    doubles::wavChosen = false;
    EXPECT_EQ(Insert(0x14, 9), 1);
    doubles::wavChosen = true;
    doubles::encodeFails = true;
    EXPECT_EQ(Insert(0x14, 9), 1);
    doubles::encodeFails = false;
    // Output that is not a sample that plays once: cut off, without its end flag, or
    // stopping early. Each gets one refusal.
    EXPECT_EQ(Insert(0x14, 10), 1);
    doubles::encoded = files::BrrImage(2, 0);
    EXPECT_EQ(SPCMInsertSample(0x14, nullptr), 1);
    doubles::encoded = files::BrrImage(2, 1, 0);
    EXPECT_EQ(SPCMInsertSample(0x14, nullptr), 1) << "a loop header Insert did not ask for";
    doubles::encoded = files::BrrImage(1, 1);
    doubles::encoded.resize(18, 0xB1);
    EXPECT_EQ(SPCMInsertSample(0x14, nullptr), 1);
    EXPECT_EQ(doubles::errors.size(), 4u);
    EXPECT_EQ(Insert(0x14, 0x0FC6 / 9 * 9 + 9), 1) << "a block more than the free space";
    EXPECT_EQ(Insert(0x00, 9), 1) << "a used slot takes no second sample";
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);
    EXPECT_EQ(std::vector<uint8_t>(SPCMGetSPCPtr(), SPCMGetSPCPtr() + 0x8000), image);
}

TEST_F(Bank, InsertCanFillTheFreeSpaceExactly)
{
    Prepare();
    // A fresh bank's 0xFC6 bytes hold 448 blocks and 6 bytes.
    ASSERT_EQ(Insert(0x20, 0x0FC6 / 9 * 9), 0);
    EXPECT_EQ(SPCMGetFree(), 6);
    EXPECT_EQ(SPCMGetSampleSize(0x20), 0x0FC6 / 9 * 9);
    EXPECT_EQ(Insert(0x21, 9), 1);
    EXPECT_EQ(SPCMGetSampleSize(0x20), 0x0FC6 / 9 * 9);
}

TEST_F(Bank, DeletingTheHighestSampleGivesItsBytesBack)
{
    Prepare();
    ASSERT_EQ(Insert(0x14, 900), 0);
    const std::vector<uint8_t> before(SPCMGetSPCPtr(), SPCMGetSPCPtr() + 0xF01C - 0x8000);
    SPCMDeleteSample(0x14);
    EXPECT_EQ(SPCMFetchStart(0x14), 0);
    EXPECT_EQ(SPCMFetchLoop(0x14), 0);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);
    EXPECT_EQ(std::vector<uint8_t>(SPCMGetSPCPtr() + 0x100, SPCMGetSPCPtr() + 0xF01C - 0x8000),
              std::vector<uint8_t>(before.begin() + 0x100, before.end()));
}

TEST_F(Bank, DeletingInTheMiddleMovesEveryHigherSampleDown)
{
    Prepare();
    const auto dir = stockrom::Directory();
    const int size5 = SPCMGetSampleSize(5);
    std::vector<uint8_t> sample6(SPCMGetSPCPtr() + dir[6].start - 0x8000,
                                 SPCMGetSPCPtr() + dir[7].start - 0x8000);
    SPCMDeleteSample(5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(SPCMFetchStart(i), dir[i].start);
        EXPECT_EQ(SPCMFetchLoop(i), dir[i].loop);
    }
    EXPECT_EQ(SPCMFetchStart(5), 0);
    for (int i = 6; i < 20; ++i) {
        EXPECT_EQ(SPCMFetchStart(i), dir[i].start - size5) << i;
        EXPECT_EQ(SPCMFetchLoop(i), dir[i].loop - size5) << i;
    }
    EXPECT_EQ(SPCMGetFree(), 0x0FC6 + size5);
    EXPECT_EQ(std::vector<uint8_t>(SPCMGetSPCPtr() + dir[5].start - 0x8000,
                                   SPCMGetSPCPtr() + dir[5].start - 0x8000 + sample6.size()),
              sample6);
}

TEST_F(Bank, DeleteKeepsSharedBytesAndLeavesLowerLoopsAlone)
{
    Prepare();
    const auto dir = stockrom::Directory();
    unsigned char *image = SPCMGetSPCPtr();
    // Slot 30 shares slot 5's sample; slot 2 loops into slot 8's data.
    image[4 * 30] = uint8_t(dir[5].start);
    image[4 * 30 + 1] = uint8_t(dir[5].start >> 8);
    image[4 * 30 + 2] = uint8_t(dir[5].loop);
    image[4 * 30 + 3] = uint8_t(dir[5].loop >> 8);
    image[4 * 2 + 2] = uint8_t(dir[8].start);
    image[4 * 2 + 3] = uint8_t(dir[8].start >> 8);
    const std::vector<uint8_t> before(image, image + 0x8000);
    // While slot 30 still uses the bytes, deleting slot 5 only clears its entry.
    SPCMDeleteSample(5);
    EXPECT_EQ(SPCMFetchStart(5), 0);
    EXPECT_EQ(std::vector<uint8_t>(image + 0x100, image + 0x8000),
              std::vector<uint8_t>(before.begin() + 0x100, before.end()));
    EXPECT_EQ(SPCMFetchStart(30), dir[5].start);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);
    // The last user of the bytes gives them back; a lower loop is not re-pointed.
    const int size5 = SPCMGetSampleSize(30);
    SPCMDeleteSample(30);
    EXPECT_EQ(SPCMFetchStart(6), dir[6].start - size5);
    EXPECT_EQ(SPCMFetchLoop(2), dir[8].start);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6 + size5);
}

// A prepared ROM whose bank fields a test then damages.
class DamagedBank : public Bank {
  protected:
    void SetUp() override
    {
        Bank::SetUp();
        Prepare();
        doubles::errors.clear();
    }

    void ExpectRefused(const std::string &mention)
    {
        EXPECT_EQ(SPCMReadIn(), 0);
        ASSERT_EQ(doubles::errors.size(), 1u);
        EXPECT_NE(doubles::errors[0].find(mention), std::string::npos) << doubles::errors[0];
        // The bank of the replaced image is gone: nothing can read or save it any more.
        EXPECT_EQ(SPCMGetSPCPtr(), nullptr);
        EXPECT_EQ(SPCMFetchStart(0), 0);
        EXPECT_EQ(SPCMSave(), 1);
        doubles::errors.clear();
    }

    void Hooks(uint32_t pointer)
    {
        ROMMem[0x2FE] = uint8_t(pointer);
        ROMMem[0x303] = uint8_t(pointer >> 8);
        ROMMem[0x308] = uint8_t(pointer >> 16);
    }
};

TEST_F(DamagedBank, RefusesHooksThatLeadOutsideTheRom)
{
    Hooks(0x107FF0);
    ExpectRefused("107FF0");
    Hooks(0x7F8008); // 4 MiB into a 2 MiB ROM
    ExpectRefused("7F8008");
    Hooks(0x3F8009); // the ROM's last bank, one byte too high: it would end past the file
    ExpectRefused("3F8009");
    memcpy(ROMMem + ROMSize - 0x8000, ROMMem + kBank, 0x8000);
    Hooks(0x3F8008); // the same bank moved to the ROM's last 32 KiB: fits
    EXPECT_EQ(SPCMReadIn(), 1);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);
}

TEST_F(DamagedBank, RefusesCountersAndStartsOutsideTheSampleArea)
{
    unsigned char *bank = ROMMem + kBank;
    bank[0x7FF6] = 0xE3;
    bank[0x7FF7] = 0x7E;
    ExpectRefused("7EE3");
    bank[0x7FF6] = 0xC6;
    bank[0x7FF7] = 0x0F;

    bank[0x0C + 4 * 40] = 0xFF; // slot 28 (hex) starting at 80FF
    bank[0x0C + 4 * 40 + 1] = 0x80;
    ExpectRefused("Slot 28");
    bank[0x0C + 4 * 40] = 0x1D; // one past the free-area start F01C
    bank[0x0C + 4 * 40 + 1] = 0xF0;
    ExpectRefused("F01D");
    bank[0x0C + 4 * 40] = 0x1C; // at the free-area start: an empty sample, allowed
    EXPECT_EQ(SPCMReadIn(), 1);
    EXPECT_EQ(SPCMGetSampleSize(40), 0);
}

TEST_F(DamagedBank, RefusesABankOverTheHooksOrWithoutItsMarker)
{
    // A bank in the first 32 KiB of the ROM covers the hooks: Save would write its
    // directory over them. With the marker at its end it looks like a sample bank.
    for (uint32_t pointer : {0x008008u, 0x0080F8u}) {
        const int bank = 0x200 + int(pointer & 0x7FFF) - 8;
        memcpy(ROMMem + bank, ROMMem + kBank, 0x8000);
        Hooks(pointer);
        ExpectRefused("covers the pointer");
    }
    doubles::Load(stock);
    Prepare();
    doubles::errors.clear();
    Hooks(0x118008); // the bank above the sample bank: in the ROM, but no sample bank
    ExpectRefused("marker");
    Hooks(0x108008);
    ROMMem[kBank + 0x7FFF] ^= 1; // the last byte of the marker
    ExpectRefused("marker");
}

TEST_F(Bank, SaveNeverWritesTheBankIntoAnotherRom)
{
    Prepare();
    // Another ROM replaced the image, and no bank was read from it (placement closed).
    doubles::Load(stock);
    EXPECT_EQ(SPCMSave(), 1);
    EXPECT_EQ(Image(), stock);
}

TEST_F(DamagedBank, SaveAfterARefusedReadWritesNoBankIntoAnotherRom)
{
    // A smaller ROM replaces the image; the old bank's offset lies beyond its end.
    std::vector<uint8_t> small(0x200 + 0x100000 + 0x8000, 0x33);
    doubles::Load(small);
    EXPECT_EQ(SPCMReadIn(), 0);
    EXPECT_EQ(SPCMSave(), 1);
    EXPECT_EQ(Image(), small);
}

} // namespace
