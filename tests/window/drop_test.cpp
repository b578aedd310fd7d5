// Files dropped on the main window as a file manager drops them: WM_DROPFILES with an
// HDROP, a DROPFILES block of wide paths in movable global memory that this process owns
// and that the window releases.
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver.h"
#include "files.h"
#include "resource.h"

namespace {

const char kRefusal[] = "Tarvo Samples takes one file at a time: a ROM file (.smc, .sfc, .fig or "
                        ".bin) to open, or a .wav or .brr sample to insert into the selected "
                        "empty slot.";

class Drop : public MainWindow {
  protected:
    void DropFiles(const std::vector<std::string> &paths)
    {
        std::wstring list;
        for (const std::string &path : paths)
            list += std::wstring(path.begin(), path.end()) + L'\0';
        list += L'\0';
        const size_t bytes = list.size() * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
        auto *files = static_cast<DROPFILES *>(GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        std::memcpy(reinterpret_cast<char *>(files) + sizeof(DROPFILES), list.data(), bytes);
        GlobalUnlock(memory);
        PostMessageA(main, WM_DROPFILES, WPARAM(memory), 0);
    }

    // Drops and expects the refusal; nothing in the window changes.
    void ExpectRefused(const std::vector<std::string> &paths)
    {
        const std::vector<std::string> entries = Entries();
        const std::string title = Title();
        DropFiles(paths);
        const ui::MessageBoxInfo box = Answer("Error");
        EXPECT_EQ(box.text, kRefusal) << paths.front();
        EXPECT_EQ(box.owner, main);
        Settle();
        EXPECT_EQ(Entries(), entries);
        EXPECT_EQ(Title(), title);
    }

    // Drops a ROM that needs a bank and takes the proposed one.
    void DropRomAndPlace(const std::string &path)
    {
        DropFiles({path});
        HWND placement = WaitPlacement();
        ASSERT_NE(placement, nullptr) << "the drop did not open " << path;
        PostMessageA(placement, WM_COMMAND, MAKEWPARAM(IDC_NEWROM_OK, BN_CLICKED), 0);
        WaitGone(placement);
        Settle();
    }
};

TEST_F(Drop, RomFilesOpenAsOpenDoesAndSamplesGoIntoTheSelectedEmptySlot)
{
    // With no ROM, only a ROM file is taken.
    files::Write(Path("notes.txt"), {1, 2, 3});
    const std::string wav = Wav("tone.wav");
    ExpectRefused({Path("notes.txt")});
    ExpectRefused({wav});
    EXPECT_TRUE(NoRomState());

    // Any case of the extension; the new bank is an unsaved change as after Open.
    const std::string rom = StockRom("STOCK.SFC");
    DropRomAndPlace(rom);
    ASSERT_EQ(Entries().size(), 64u);
    EXPECT_EQ(Title(), "*STOCK.SFC - Tarvo Samples");

    // A WAV file into the selected empty slot, encoded as Insert encodes it.
    Select(0x14);
    DropFiles({wav});
    ASSERT_TRUE(WaitFor([&] { return Entries()[0x14] == "14: Used"; }, 10000));
    Settle();
    EXPECT_EQ(Text(IDC_START), "F01C");
    EXPECT_TRUE(FocusOn(IDC_SLOTS)) << GetDlgCtrlID(Focus());
    const std::vector<uint8_t> brr = files::Read(Path("temp.brr"));
    ASSERT_FALSE(brr.empty());

    // A .BRR file goes in as it is, above the first.
    files::Write(Path("copy.BRR"), brr);
    Select(0x15);
    DropFiles({Path("copy.BRR")});
    ASSERT_TRUE(WaitFor([&] { return Entries()[0x15] == "15: Used"; }));
    Settle();
    char start[8];
    std::snprintf(start, sizeof start, "%X", unsigned(0xF01C + brr.size()));
    EXPECT_EQ(Text(IDC_START), start);

    // A sample on a used slot, two files at once, or another kind: refused.
    ExpectRefused({wav});
    ExpectRefused({Path("copy.BRR"), wav});
    ExpectRefused({rom, rom});
    ExpectRefused({Path("notes.txt")});

    // A second ROM asks about the unsaved changes first: Cancel keeps them, No opens it.
    const std::string other = StockRom("other.smc");
    DropFiles({other});
    EXPECT_EQ(Answer("Tarvo Samples", 5000, IDCANCEL).text, "Save changes to STOCK.SFC?");
    Settle();
    EXPECT_EQ(Entries()[0x15], "15: Used");
    DropFiles({other});
    Answer("Tarvo Samples", 5000, IDNO);
    HWND placement = WaitPlacement();
    ASSERT_NE(placement, nullptr);
    PostMessageA(placement, WM_COMMAND, MAKEWPARAM(IDC_NEWROM_OK, BN_CLICKED), 0);
    WaitGone(placement);
    Settle();
    EXPECT_EQ(Title(), "*other.smc - Tarvo Samples");
    EXPECT_EQ(Entries()[0x14], "14: Unused");
}

} // namespace
