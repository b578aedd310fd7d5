// LoROM addresses and file offsets of headered and headerless ROMs.
#include <gtest/gtest.h>

#include "addr.h"

namespace {

TEST(Addr, ConvertsTheKnownBanksBothWays)
{
    EXPECT_EQ(AddrLOROMPC(0x108000), 0x80200u);
    EXPECT_EQ(AddrLOROMPC(0x118000), 0x88200u);
    EXPECT_EQ(AddrLOROMPC(0x108008), 0x80208u);
    EXPECT_EQ(AddrLOROMPC(0x128000), 0x90200u);
    EXPECT_EQ(AddrPCLOROM(0x80208), 0x108008u);
    EXPECT_EQ(AddrPCLOROM(0x88208), 0x118008u);
    EXPECT_EQ(AddrPCLOROM(0x90200), 0x128000u);
    EXPECT_EQ(AddrPCLOROM(0x200), 0x008000u);
    EXPECT_EQ(AddrLOROMPC(0x008000), 0x200u);
    EXPECT_EQ(AddrPCLOROM(0x881FF), 0x10FFFFu) << "last byte of a bank";
    EXPECT_EQ(AddrPCLOROM(0x88200), 0x118000u) << "first byte of the next";
}

TEST(Addr, DoesNotFoldTheUpperMirrorBanks)
{
    EXPECT_EQ(AddrLOROMPC(0x908000), 0x480200u);
    EXPECT_EQ(AddrLOROMPC(0x90ABCD), 0x480200u + 0xABCD - 0x8000);
}

TEST(Addr, RoundTripsEveryBankStartAndEnd)
{
    for (uint32_t bank = 0; bank < 0x80; ++bank) {
        for (uint32_t low : {0x8000u, 0x8001u, 0xC000u, 0xFFFFu}) {
            const uint32_t address = bank << 16 | low;
            ASSERT_EQ(AddrPCLOROM(AddrLOROMPC(address)), address) << std::hex << address;
        }
    }
    for (uint32_t offset = 0x200; offset < 0x400200; offset += 0x3FFF)
        ASSERT_EQ(AddrLOROMPC(AddrPCLOROM(offset)), offset) << std::hex << offset;
}

TEST(Addr, TheSizeTellsAHeaderlessFileAndItsOffsets)
{
    EXPECT_EQ(AddrHeaderSize(0x200000), 0u);
    EXPECT_EQ(AddrHeaderSize(0x108000), 0u);
    // A header, and every size that is neither kind, keep the headered offsets.
    for (int64_t size : {0x200200, 0x200201, 0x2001FF, 0x208000 - 1, 0x100001})
        EXPECT_EQ(AddrHeaderSize(size), 0x200u) << std::hex << size;
    EXPECT_EQ(AddrLOROMPC(0x108008, 0), 0x80008u);
    EXPECT_EQ(AddrLOROMPC(0x008000, 0), 0u);
    EXPECT_EQ(AddrPCLOROM(0x88008, 0), 0x118008u);
    for (uint32_t offset = 0; offset < 0x400000; offset += 0x3FFF)
        ASSERT_EQ(AddrLOROMPC(AddrPCLOROM(offset, 0), 0), offset) << std::hex << offset;
}

} // namespace
