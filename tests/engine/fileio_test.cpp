// The ROM file through the real open-file chooser and message boxes: which files are
// accepted, what a refusal leaves, and that Save writes exactly the image in place.
#include "win_fixture.h"

namespace {

class RomFile : public WinEngine {};

TEST_F(RomFile, AcceptsOnlyFilesLargerThanOneMebibyte)
{
    const std::string exact = Path("exact.smc"), larger = Path("larger.smc");
    files::Write(exact, std::vector<uint8_t>(0x100000, 0xAB));
    std::vector<uint8_t> content(0x100001);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = uint8_t(i * 7);
    files::Write(larger, content);

    Seen seen = Open(exact, 1);
    EXPECT_EQ(seen.result, 0);
    ExpectBox(seen.boxes[0],
              "An unexpanded ROM does not have any vacant banks.\nExpand it and try again.",
              "Error", ui::Icon::Error, owner);
    EXPECT_EQ(ROMMem, nullptr) << "a refused file leaves no image to read";
    EXPECT_EQ(FIOLastOpenCancelled(), 0);

    seen = Open(larger);
    EXPECT_EQ(seen.result, 1);
    EXPECT_EQ(seen.stray, 0);
    ASSERT_EQ(ROMSize, 0x100001);
    EXPECT_EQ(std::vector<uint8_t>(ROMMem, ROMMem + ROMSize), content);
}

TEST_F(RomFile, CancelChangesNothingAndSaysSo)
{
    const std::string rom = Path("rom.smc");
    files::Write(rom, stockrom::Make());
    ASSERT_EQ(Open(rom).result, 1);
    const unsigned char *image = ROMMem;

    const Seen seen = Run([this] { return FileIn(SPCMGetPPtr(), owner); }, true, nullptr, 0);
    EXPECT_TRUE(seen.chooserShown);
    EXPECT_EQ(seen.result, 0);
    EXPECT_EQ(seen.stray, 0);
    EXPECT_EQ(FIOLastOpenCancelled(), 1);
    EXPECT_EQ(ROMMem, image);
}

TEST_F(RomFile, TheChooserAlsoListsSfcFiles)
{
    std::string types;
    ui::WithAnswers([this] { return FileIn(SPCMGetPPtr(), owner); },
                    [&](DWORD tid) {
                        HWND chooser = ui::WaitDialog(tid, "Open", ui::kLoadWaitMs);
                        char text[128] = "";
                        // cmb1, the file types: the first is the one shown at first.
                        SendMessageA(GetDlgItem(chooser, 0x470), CB_GETLBTEXT, 0, LPARAM(text));
                        types = text;
                        ui::AnswerOpenDialog(tid, nullptr);
                    });
    EXPECT_EQ(types, "SNES ROMs (*.smc *.sfc *.fig *.bin)");
}

// (A read-only file cannot be tested here: Wine run as root writes to it all the same.)
TEST_F(RomFile, RefusesAFileThatAnotherProgramKeepsFromWriting)
{
    const std::string locked = Path("locked.smc");
    files::Write(locked, stockrom::Make());
    HANDLE other = CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr); // denies write sharing
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const Seen seen = Open(locked, 1);
    EXPECT_EQ(seen.result, 0);
    ExpectBox(seen.boxes[0], "Invalid source path", "FileOpen", ui::Icon::Warning, owner);
    CloseHandle(other);
}

TEST_F(RomFile, SaveWritesTheImageInPlaceAndCanRepeat)
{
    const std::string rom = Path("rom.smc");
    const std::vector<uint8_t> stock = stockrom::Make();
    files::Write(rom, stock);
    ASSERT_EQ(Open(rom).result, 1);
    ASSERT_EQ(Open(rom).result, 1) << "the open file itself can be opened again";

    ROMMem[0x1000] ^= 0xFF;
    ROMMem[ROMSize - 1] ^= 0xFF;
    std::vector<uint8_t> expected(ROMMem, ROMMem + ROMSize);
    for (int round = 0; round < 2; ++round) {
        const Seen seen = Run([] { return FileOut(ROMMem); }, false, nullptr, 1);
        EXPECT_EQ(seen.result, 0);
        ExpectBox(seen.boxes[0], "Save successful", "Save", ui::Icon::Information, owner);
        EXPECT_EQ(files::Read(rom), expected) << "round " << round;
    }
}

TEST_F(RomFile, SaveWithoutAnImageFailsAndWritesNothing)
{
    const std::string small = Path("small.smc");
    const std::vector<uint8_t> content(0x8000, 0x11);
    files::Write(small, content);
    Open(small, 1); // refused: the refused file stays open, without an image
    const Seen seen = Run([] { return SPCMSave(); }, false, nullptr, 1);
    EXPECT_EQ(seen.result, 1);
    ExpectBox(seen.boxes[0], "Save failed", "Save Error", ui::Icon::Error, owner);
    EXPECT_EQ(files::Read(small), content);
}

// The bank on disk: built, saved, reopened and read back.
class BankFile : public WinEngine {};

TEST_F(BankFile, PreparedBankReachesTheFileAndNothingElseChanges)
{
    const std::string rom = Path("stock.smc");
    const std::vector<uint8_t> stock = stockrom::Make();
    files::Write(rom, stock);
    ASSERT_EQ(Open(rom).result, 1);
    ASSERT_EQ(SPCMCheckPresence(), 0);
    ASSERT_EQ(SPCMSetupROM(0x80200), 1);
    ASSERT_EQ(SPCMReadIn(), 1);
    const std::vector<uint8_t> prepared(ROMMem, ROMMem + ROMSize);
    ASSERT_EQ(Run([] { return SPCMSave(); }, false, nullptr, 1).result, 0);

    const std::vector<uint8_t> disk = files::Read(rom);
    ASSERT_EQ(disk, prepared);
    for (size_t i = 0; i < disk.size(); ++i) {
        if ((i >= 0x80200 && i < 0x88200) || i == 0x2FE || i == 0x303 || i == 0x308)
            continue;
        ASSERT_EQ(disk[i], stock[i]) << "byte " << std::hex << i;
    }
    EXPECT_EQ(0, memcmp(&disk[0x80200], "STAR", 4));
    EXPECT_EQ(0, memcmp(&disk[0x881F8], "qelvarin", 8));

    // Reopened, the bank is found and saving at once changes no byte.
    ASSERT_EQ(Open(rom).result, 1);
    ASSERT_EQ(SPCMCheckPresence(), 1);
    ASSERT_EQ(SPCMReadIn(), 1);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);
    ASSERT_EQ(Run([] { return SPCMSave(); }, false, nullptr, 1).result, 0);
    EXPECT_EQ(files::Read(rom), prepared);
}

TEST_F(BankFile, DamagedBankIsRefusedInABoxOwnedByTheWindow)
{
    const std::string rom = Path("damaged.smc");
    std::vector<uint8_t> image = stockrom::Make();
    memcpy(&image[image.size() - 8], "qelvarin", 8); // looks prepared, hooks are noise
    image[0x2FE] = 0x08;                             // bank 0x70: far past the end of a 2 MiB ROM
    image[0x303] = 0x80;
    image[0x308] = 0x70;
    files::Write(rom, image);
    ASSERT_EQ(Open(rom).result, 1);
    ASSERT_EQ(SPCMCheckPresence(), 1);
    const Seen seen = Run([] { return SPCMReadIn(); }, false, nullptr, 1);
    EXPECT_EQ(seen.result, 0);
    ASSERT_EQ(seen.boxes.size(), 1u);
    EXPECT_NE(seen.boxes[0].text.find("708008"), std::string::npos) << seen.boxes[0].text;
    EXPECT_EQ(seen.boxes[0].caption, "Error");
    EXPECT_EQ(seen.boxes[0].icon, ui::Icon::Error);
    EXPECT_EQ(seen.boxes[0].owner, owner);
    EXPECT_EQ(files::Read(rom), image);
}

} // namespace
