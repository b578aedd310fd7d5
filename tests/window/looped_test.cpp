// Insert Looped and the sample interchange in the main window, on real files and with the
// real encoder: the Loop dialog's proposals and refusals, the loop saved into the ROM,
// and samples exported to .brr and .wav that go back in with the same bytes and loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SPCM.h"
#include "driver.h"
#include "files.h"
#include "resource.h"

namespace {

constexpr size_t kBank = 0x100200; // the bank's file offset for placement 100200

class Looped : public MainWindow {
  protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        rom = StockRom("stock.smc");
        Open(rom, "100200");
        ASSERT_EQ(Entries().size(), 64u) << "the stock ROM did not load";
    }

    // Selects slot and starts Insert Looped with file; returns the Loop dialog, if shown.
    HWND StartLooped(int slot, const std::string &file)
    {
        Select(slot);
        Post(IDC_INSERT_LOOPED);
        EXPECT_TRUE(ui::AnswerOpenDialog(tid, file.c_str())) << "no sample chooser";
        return ui::WaitDialog(tid, "Loop", 5000, main);
    }

    std::string Field(HWND dialog, int id) const { return ui::Text(GetDlgItem(dialog, id)); }

    // Presses OK in the Loop dialog for an entry it must refuse; returns the refusal's box,
    // which it closes.
    ui::MessageBoxInfo Refusal(HWND dialog)
    {
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        HWND box = OtherDialog(3000, dialog);
        const ui::MessageBoxInfo info = ui::ReadMessageBox(box);
        if (box) {
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            WaitGone(box);
        }
        return info;
    }

    // After the encoder's run: answers the tuning box, which must show exactly when the
    // output's loop of loopBlocks blocks does not hold a whole number of loops of length.
    void ExpectTuning(int loopBlocks, int length)
    {
        Settle();
        const bool moved = loopBlocks * 16 % length != 0;
        HWND box = OtherDialog(moved ? 5000 : 300);
        ASSERT_EQ(box != nullptr, moved)
            << loopBlocks << " blocks for " << length << ": " << ui::ReadMessageBox(box).text;
        if (!box)
            return;
        const ui::MessageBoxInfo info = ui::ReadMessageBox(box);
        EXPECT_EQ(info.caption, "Tuning");
        EXPECT_EQ(info.owner, main);
        EXPECT_NE(info.text.find(" cents "), std::string::npos) << info.text;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitGone(box);
        Settle();
    }

    void Export(const std::string &path)
    {
        Post(IDM_EXPORT);
        ASSERT_TRUE(ui::AnswerSaveDialog(tid, path.c_str())) << "no Save As chooser";
        Settle();
        EXPECT_EQ(OtherDialog(200), nullptr);
    }

    static std::vector<uint8_t> SampleFile(int slot)
    {
        std::vector<uint8_t> file(kSPCMMaxFile);
        file.resize(size_t(SPCMSampleFile(slot, file.data())));
        return file;
    }

    std::string rom;
};

TEST_F(Looped, TheLoopDialogProposesTheWavsLoopAndRefusesBadLoopsStayingOpen)
{
    const std::string wav = Path("looped.wav");
    files::Write(wav, files::WithLoop(files::MakeWav(files::Tone(1600, 440.0)), 200, 999));
    HWND dialog = StartLooped(0x14, wav);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main)) << "the main window takes no input meanwhile";
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_LENGTH), "Length: 1600 samples");
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_START), "200");
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_END), "1000") << "the smpl chunk's end, made exclusive";

    const char *const notNumbers =
        "Type the loop start and end as whole numbers of samples, 0 to 1600.";
    struct Bad {
        const char *start, *end, *text;
    };
    for (const Bad &bad :
         {Bad{"", "1000", notNumbers}, Bad{"-1", "1000", notNumbers}, Bad{"20", "1e3", notNumbers},
          Bad{"0", "99999999999", notNumbers},
          Bad{"1600", "1600", "The loop start must lie within the sound: 0 to 1599."},
          Bad{"0", "1601", "The loop end can be at most the sound's length, 1600 samples."},
          Bad{"500", "500", "The loop end must come after the loop start."}}) {
        Type(GetDlgItem(dialog, IDC_LOOPDLG_START), bad.start);
        Type(GetDlgItem(dialog, IDC_LOOPDLG_END), bad.end);
        const ui::MessageBoxInfo info = Refusal(dialog);
        EXPECT_EQ(info.text, bad.text) << bad.start << ".." << bad.end;
        EXPECT_EQ(info.owner, dialog);
        ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";
    }
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    WaitGone(dialog);
    Settle();
    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_EQ(Entries()[0x14], "14: Unused");
    EXPECT_EQ(Text(IDC_FREE), "FC6 bytes");
    EXPECT_FALSE(files::Exists(Path("temp.brr"))) << "Cancel runs no encoder";

    // Without a smpl loop the whole sound is proposed.
    dialog = StartLooped(0x14, Wav("plain.wav", 1234));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_START), "0");
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_END), "1234");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    WaitGone(dialog);
}

TEST_F(Looped, TheRateFieldSizesTheLoopAndFitTakesTheHighestRateThatFits)
{
    // A second at 48 kHz, looped whole: about four times the free space at 32 kHz.
    const std::string wav = Path("strings.wav");
    files::Write(wav, files::WithLoop(files::MakeWav(files::Tone(48000, 440.0), 48000), 0, 47999));
    HWND dialog = StartLooped(0x14, wav);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_RATE), "32000") << "a faster file is brought down";
    unsigned bytes = 0, room = 0;
    ASSERT_EQ(std::sscanf(Field(dialog, IDC_LOOPDLG_SIZE).c_str(), "Size: %X bytes, %X free", &bytes,
                          &room),
              2);
    EXPECT_EQ(room, 0xFC6u);
    EXPECT_GT(bytes, 4 * 0xFC6u);

    for (const char *rate : {"999", "32001", "fast"}) {
        Type(GetDlgItem(dialog, IDC_LOOPDLG_RATE), rate);
        const ui::MessageBoxInfo info = Refusal(dialog);
        EXPECT_EQ(info.text, "Type the rate in Hz as a whole number, 1000 to 32000.") << rate;
        EXPECT_EQ(info.owner, dialog);
        ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";
    }

    PostMessageA(dialog, WM_COMMAND, IDC_LOOPDLG_FIT, 0);
    Sleep(300);
    const int rate = std::atoi(Field(dialog, IDC_LOOPDLG_RATE).c_str());
    EXPECT_GT(rate, 6000);
    EXPECT_LT(rate, 8000);
    ASSERT_EQ(std::sscanf(Field(dialog, IDC_LOOPDLG_SIZE).c_str(), "Size: %X bytes", &bytes), 1);
    EXPECT_LE(bytes, 0xFC6u);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    WaitGone(dialog);
    const ui::MessageBoxInfo tuning = Answer("Tuning", 20000);
    EXPECT_EQ(tuning.text.rfind("This sample was encoded at " + std::to_string(rate) + " Hz", 0),
              0u)
        << tuning.text;
    Settle();
    EXPECT_EQ(Entries()[0x14], "14: Used");
    EXPECT_EQ(unsigned(SPCMGetSampleSize(0x14)), bytes) << "a loop's size is known exactly";
    EXPECT_EQ(SPCMLoopOffset(0x14), 0);
}

TEST_F(Looped, ALoopGoesIntoTheRomAndSamplesGoOutAndBackInUnchanged)
{
    // Loop 360..1960: 1600 samples that start inside a block. Three copies fit the bank.
    const std::string wav = Path("strings.wav");
    files::Write(wav, files::WithLoop(files::MakeWav(files::Tone(2000, 440.0)), 360, 1959));
    HWND dialog = StartLooped(0x14, wav);
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    WaitGone(dialog);
    Settle();
    const std::vector<uint8_t> brr = files::Read(Path("temp.brr"));
    ASSERT_GE(brr.size(), 11u);
    ASSERT_EQ(brr.size() % 9, 2u) << "the looped encoder writes the headered form";
    const int offset = brr[0] | brr[1] << 8;
    const int blocks = int(brr.size() - 2) / 9;
    ExpectTuning(blocks - offset / 9, 1600);
    EXPECT_EQ(Entries()[0x14], "14: Used");
    char loop[8];
    std::snprintf(loop, sizeof loop, "%X", 0xF01C + offset);
    EXPECT_EQ(Text(IDC_START), "F01C");
    EXPECT_EQ(Text(IDC_LOOP), loop);

    // Saved: the directory entry and the data in the ROM file.
    Post(IDM_SAVE);
    EXPECT_EQ(Answer("Save").text, "Save successful");
    const std::vector<uint8_t> file = files::Read(rom);
    const size_t entry = kBank + 0x0C + 4 * 0x14, data = kBank + 0x110 + (0xF01C - 0x8100);
    ASSERT_GT(file.size(), data + brr.size());
    EXPECT_EQ(file[entry] | file[entry + 1] << 8, 0xF01C);
    EXPECT_EQ(file[entry + 2] | file[entry + 3] << 8, 0xF01C + offset);
    EXPECT_TRUE(std::equal(brr.begin() + 2, brr.end(), file.begin() + long(data)));

    // Play hands the decoder the loop; Export writes the same image.
    Send(IDC_PLAY);
    EXPECT_EQ(files::Read(Path("temp.brr")), brr);
    Export(Path("out.brr"));
    EXPECT_EQ(files::Read(Path("out.brr")), brr);
    Export(Path("out.wav"));
    ASSERT_TRUE(files::Exists(Path("out.wav")));

    // The .brr file goes back in with the same bytes and loop offset.
    Select(0x15);
    Post(IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, Path("out.brr").c_str()));
    Settle();
    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_EQ(SampleFile(0x15), brr);

    // The .wav file proposes its loop; encoded again it has the same loop offset.
    dialog = StartLooped(0x16, Path("out.wav"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_LENGTH),
              "Length: " + std::to_string(blocks * 16) + " samples");
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_START), std::to_string(offset / 9 * 16));
    EXPECT_EQ(Field(dialog, IDC_LOOPDLG_END), std::to_string(blocks * 16));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    WaitGone(dialog);
    ExpectTuning(blocks - offset / 9, (blocks - offset / 9) * 16);
    EXPECT_EQ(SPCMLoopOffset(0x16), offset);
}

} // namespace
