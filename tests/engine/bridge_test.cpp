// The encoder bridge with a stand-in snesbrr.exe in a program folder of its own: the
// parameter texts, where the scratch files go, and every way an encode run can fail.
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "snesbrr.h"
#include "win_fixture.h"

namespace {

class Bridge : public WinEngine {
  protected:
    void SetUp() override
    {
        WinEngine::SetUp();
        appdir = Path("program");
        CreateDirectoryA(appdir.c_str(), nullptr);
        const std::string fake = files::ProgramDir() + "\\" FAKE_SNESBRR;
        ASSERT_TRUE(CopyFileA(fake.c_str(), (appdir + "\\snesbrr.exe").c_str(), FALSE));
        FIOCfgCurDir(appdir.c_str());
        FIOSetCurDir();

        // A freshly prepared bank, straight into the ROM image.
        const std::vector<uint8_t> stock = stockrom::Make();
        free(ROMMem);
        ROMMem = static_cast<unsigned char *>(malloc(stock.size()));
        memcpy(ROMMem, stock.data(), stock.size());
        ROMSize = int(stock.size());
        ASSERT_EQ(SPCMSetupROM(0x80200), 1);
        ASSERT_EQ(SPCMReadIn(), 1);
        wavDir = Path("my sounds"); // a blank in the path
        CreateDirectoryA(wavDir.c_str(), nullptr);
    }

    // A "WAV" file whose bytes the stand-in encoder passes through unchanged.
    std::string Wav(const std::string &name, size_t bytes, uint8_t fill = 0x42)
    {
        const std::string path = wavDir + "\\" + name;
        files::Write(path, files::Sample(bytes, fill));
        return path;
    }

    Seen Insert(int slot, const std::string &path, int boxes = 0)
    {
        return Run([this, slot] { return SPCMInsertSample(slot, owner); }, true, path.c_str(),
                   boxes);
    }

    std::vector<std::string> Runs() const
    {
        std::ifstream log(appdir + "\\runs.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);)
            lines.push_back(line);
        return lines;
    }

    std::string appdir, wavDir;
};

TEST_F(Bridge, InsertEncodesInTheProgramFolderWhateverTheChooserLeftCurrent)
{
    const std::string wav = Wav("tone one.wav", 900, 0x11);
    const Seen seen = Insert(0x14, wav);
    ASSERT_EQ(seen.result, 0);
    EXPECT_EQ(seen.stray, 0);
    EXPECT_EQ(SPCMFetchStart(0x14), 0xF01C);
    EXPECT_EQ(SPCMFetchLoop(0x14), 0xF01C);
    EXPECT_EQ(SPCMGetFree(), 0x0C42);
    EXPECT_EQ(SPCMGetSPCPtr()[0xF01C - 0x8000 + 1], 0x11);

    const std::vector<std::string> runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].substr(0, runs[0].find('|')), appdir) << "runs in the program folder";
    EXPECT_NE(runs[0].find("\"" + wav + "\" -e temp.brr"), std::string::npos) << runs[0];
    EXPECT_EQ(files::Read(appdir + "\\temp.brr").size(), 900u);
}

TEST_F(Bridge, TheWavChooserStartsFromTheLastChoice)
{
    const std::string wav = Wav("first.wav", 9);
    ASSERT_EQ(Insert(0x20, wav).result, 0);
    std::string shown;
    std::vector<std::string> filters;
    const int result = ui::WithAnswers([this] { return SPCMInsertSample(0x21, owner); },
                                       [&](DWORD tid) {
                                           shown = ui::OpenDialogName(tid);
                                           filters = ui::ChooserFilters(tid, "Open");
                                           ui::AnswerOpenDialog(tid, nullptr);
                                       });
    EXPECT_EQ(result, 1) << "cancelled";
    EXPECT_EQ(filters, std::vector<std::string>({"Samples (*.wav;*.brr)", "WAV files (*.wav)",
                                                 "BRR samples (*.brr)", "All Files (*.*)"}));
    // The chooser opens in the last folder with the last file's name (or its whole path).
    ASSERT_GE(shown.size(), 9u);
    EXPECT_EQ(shown.substr(shown.size() - 9), "first.wav");
    EXPECT_EQ(SPCMFetchStart(0x21), 0);
    EXPECT_EQ(Runs().size(), 1u) << "a cancelled choice runs no encoder";
}

TEST_F(Bridge, DataLargerThanTheFreeSpaceIsRefusedAndEqualDataFits)
{
    Seen seen = Insert(0x14, Wav("big.wav", 0x0FC7), 1);
    EXPECT_EQ(seen.result, 1);
    ExpectBox(seen.boxes[0], "Input sample too large.\nSize: FC7 bytes\nFree: FC6 bytes", "Error",
              ui::Icon::Error, owner);
    EXPECT_EQ(SPCMFetchStart(0x14), 0);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);

    seen = Insert(0x14, Wav("fits.wav", 0x0FC6 / 9 * 9));
    EXPECT_EQ(seen.result, 0);
    EXPECT_EQ(SPCMGetFree(), 6);
    seen = Insert(0x15, Wav("one.wav", 9), 1);
    EXPECT_EQ(seen.result, 1);
    EXPECT_EQ(seen.boxes[0].text, "Input sample too large.\nSize: 9 bytes\nFree: 6 bytes");
}

TEST_F(Bridge, EveryBrokenRunInsertsNothingAndSaysWhyInOneBox)
{
    ASSERT_EQ(Insert(0x14, Wav("earlier.wav", 90)).result, 0);
    ASSERT_TRUE(files::Exists(appdir + "\\temp.brr"));
    const std::string head = "The encoder could not encode this WAV file.\nNothing was inserted.\n";
    // What the stand-in encoder is given, and the one box each run must end in. A run
    // that writes nothing must not pass off the earlier temp.brr as its result.
    const struct {
        std::string input, text;
    } runs[] = {
        {"NOOUTPUT", head + "snesbrr.exe failed with exit code 1."},
        {"SAYsnesbrr: broken.wav: not a RIFF/WAVE file\nmore", head +
             "snesbrr.exe said: snesbrr: broken.wav: not a RIFF/WAVE file"},
        {"CRASH and half an output", head + "snesbrr.exe failed with exit code C0000005."},
        {std::string(18, '\x42'), "The last block of the encoder's output lacks the end flag: "
                                  "the sample would play on into whatever follows it.\n"
                                  "Nothing was inserted."},
    };
    for (const auto &run : runs) {
        const std::string wav = wavDir + "\\broken.wav";
        files::Write(wav, std::vector<uint8_t>(run.input.begin(), run.input.end()));
        const Seen seen = Insert(0x15, wav, 1);
        EXPECT_EQ(seen.result, 1) << run.input;
        ExpectBox(seen.boxes[0], run.text, "Error", ui::Icon::Error, owner);
        EXPECT_EQ(SPCMFetchStart(0x15), 0);
        EXPECT_EQ(SPCMGetFree(), 0x0FC6 - 90);
    }
}

TEST_F(Bridge, APathTooLongForTheParameterTextIsRefusedBeforeAnyRun)
{
    const std::string path = "C:\\" + std::string(235, 'a') + "\\x.wav"; // 244 characters
    ASSERT_GT(path.size(), 241u);
    const Seen seen =
        Run([&] { return BRREncode(path.c_str(), owner) != nullptr; }, false, nullptr, 1);
    EXPECT_EQ(seen.result, 0);
    EXPECT_NE(seen.boxes[0].text.find("too long (244 characters)"), std::string::npos)
        << seen.boxes[0].text;
    EXPECT_EQ(seen.boxes[0].owner, owner);
    EXPECT_TRUE(Runs().empty());

    // 241 characters still fit.
    const std::string fits = wavDir + "\\" + std::string(241 - wavDir.size() - 5, 'b') + ".wav";
    files::Write(fits, std::vector<uint8_t>(9, 0));
    const Seen fit = Run(
        [&] {
            unsigned char *data = BRREncode(fits.c_str(), owner);
            free(data);
            return data != nullptr;
        },
        false, nullptr, 0);
    EXPECT_EQ(fit.result, 1);
    EXPECT_EQ(fit.stray, 0);
}

// The Loop dialog's answer, without the dialog: samples 100 to 500.
int LoopFrom100To500(HWND, SPCMLoop *loop)
{
    loop->start = 100;
    loop->end = 500;
    return loop->frames == 1000;
}

TEST_F(Bridge, InsertLoopedEncodesWithTheLoopAndBrrFilesGoInWithoutARun)
{
    const std::string wav = wavDir + "\\loop me.wav";
    files::Write(wav, files::MakeWav(files::Tone(1000, 440.0)));
    const std::vector<uint8_t> headered = files::BrrImage(4, 0x03, 18);
    files::Write(wav + ".out", headered);
    double cents = 0;
    auto looped = [&](int slot) { return SPCMInsertLooped(slot, owner, LoopFrom100To500, &cents); };
    Seen seen = Run([&] { return looped(0x14); }, true, wav.c_str(), 0);
    ASSERT_EQ(seen.result, 0);
    EXPECT_EQ(seen.stray, 0);
    EXPECT_EQ(SPCMFetchLoop(0x14), 0xF01C + 18);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6 - 36);
    EXPECT_EQ(std::vector<uint8_t>(SPCMGetSPCPtr() + 0x701C, SPCMGetSPCPtr() + 0x701C + 36),
              std::vector<uint8_t>(headered.begin() + 2, headered.end()));
    EXPECT_NEAR(cents, 1200 * std::log2(32.0 / 400), 1e-9);
    std::vector<std::string> runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].find("\"" + wav + "\" -e temp.brr --loop-start 100 --loop-end 500"),
              std::string::npos)
        << runs[0];

    // Output larger than any bank: the usual message, for its blocks alone.
    files::Write(wav + ".out", files::BrrImage(0x7EE2 / 9 + 1, 0x03, 0));
    seen = Run([&] { return looped(0x15); }, true, wav.c_str(), 1);
    EXPECT_EQ(seen.result, 1);
    ExpectBox(seen.boxes[0], "Input sample too large.\nSize: 7EEA bytes\nFree: FA2 bytes", "Error",
              ui::Icon::Error, owner);

    // A loop that the encoder refuses: one box, nothing inserted.
    files::Remove(wav + ".out");
    seen = Run([&] { return looped(0x15); }, true, wav.c_str(), 1);
    EXPECT_EQ(seen.result, 1);
    ExpectBox(seen.boxes[0],
              "The encoder could not make a loop from sample 100 to sample 500 of this WAV "
              "file.\nChoose another loop; nothing was inserted.\nsnesbrr.exe failed with exit "
              "code 1.",
              "Error", ui::Icon::Error, owner);
    EXPECT_EQ(SPCMFetchStart(0x15), 0);

    // A .brr file, whatever the case of its name, needs no encoder.
    const std::string brr = wavDir + "\\pad.BRR";
    files::Write(brr, files::BrrImage(2, 0x01));
    ASSERT_EQ(Insert(0x15, brr).result, 0);
    EXPECT_EQ(SPCMFetchStart(0x15), 0xF01C + 36);
    EXPECT_EQ(SPCMFetchLoop(0x15), 0xF01C + 36);
    EXPECT_EQ(Runs().size(), 3u) << "the .brr file ran no encoder";
}

TEST_F(Bridge, ExportWritesTheChosenFileWholeOrNotAtAll)
{
    std::vector<uint8_t> image(kSPCMMaxFile);
    image.resize(size_t(SPCMSampleFile(0, image.data()))); // stock slot 0 loops
    ASSERT_EQ(image.size() % 9, 2u);
    // Answers the Save As chooser with name and filter, then each box with a button.
    auto exportAs = [&](const std::string &name, int filter, std::vector<int> buttons) {
        Seen seen;
        seen.result = ui::WithAnswers(
            [&] { return SPCMExportSample(0, owner); },
            [&](DWORD tid) {
                std::vector<std::string> types = ui::ChooserFilters(tid, "Save As");
                EXPECT_EQ(types,
                          std::vector<std::string>({"BRR sample (*.brr)", "WAV file (*.wav)"}));
                EXPECT_EQ(ui::ChooserName(tid, "Save As"), "sample-00");
                seen.chooserShown = ui::AnswerSaveDialog(tid, name.c_str(), filter);
                for (int button : buttons) {
                    HWND box = ui::WaitDialog(tid, nullptr);
                    seen.boxes.push_back(ui::ReadMessageBox(box));
                    PostMessageA(box, WM_COMMAND, WPARAM(button), 0);
                    for (int i = 0; i < 200 && IsWindow(box); ++i)
                        Sleep(5);
                }
            },
            &seen.stray);
        return seen;
    };
    const std::string base = wavDir + "\\slot zero";
    Seen seen = exportAs(base, 0, {});
    ASSERT_EQ(seen.result, 0);
    EXPECT_EQ(files::Read(base + ".brr"), image) << "the filter's extension is added";
    EXPECT_TRUE(Runs().empty()) << "a .brr file needs no encoder";

    seen = exportAs(base, 1, {});
    ASSERT_EQ(seen.result, 0);
    std::vector<int16_t> decoded((image.size() + 1) / 2); // the stand-in's "decode"
    memcpy(decoded.data(), image.data(), image.size());
    const std::vector<uint8_t> wav = files::MakeWav(decoded);
    EXPECT_EQ(files::Read(base + ".wav"), wav);
    EXPECT_EQ(files::Read(appdir + "\\temp.brr"), image);
    ASSERT_EQ(Runs().size(), 1u);
    EXPECT_NE(Runs()[0].find("temp.brr -d --blocks temp.wav"), std::string::npos);

    // A decoder that writes something other than a WAV file replaces nothing.
    files::Write(appdir + "\\GARBAGE", {});
    seen = exportAs(base + ".wav", -1, {IDYES, IDOK});
    files::Remove(appdir + "\\GARBAGE");
    EXPECT_EQ(seen.result, 1);
    ASSERT_EQ(seen.boxes.size(), 2u);
    ExpectBox(seen.boxes[1],
              "The encoder could not decode this sample to a WAV file.\nNothing was exported.\n"
              "snesbrr.exe wrote a temp.wav that is not a RIFF/WAVE file.",
              "Error", ui::Icon::Error, owner);
    EXPECT_EQ(files::Read(base + ".wav"), wav);

    // An existing file is replaced only after a yes.
    files::Write(base + ".brr", {1, 2, 3});
    seen = exportAs(base + ".brr", -1, {IDNO});
    EXPECT_EQ(seen.result, 1);
    ASSERT_EQ(seen.boxes.size(), 1u);
    ExpectBox(seen.boxes[0], base + ".brr already exists.\nDo you want to replace it?",
              "Export Sample", ui::Icon::Warning, owner);
    EXPECT_EQ(files::Read(base + ".brr"), std::vector<uint8_t>({1, 2, 3}));
    seen = exportAs(base + ".BRR", 1, {IDYES});
    EXPECT_EQ(seen.result, 0);
    EXPECT_EQ(files::Read(base + ".brr"), image) << "the name's extension beats the filter";

    // A file that another program holds cannot be replaced: it stays whole, the failure
    // names the reason, and nothing is left beside it.
    const std::string blocked = wavDir + "\\blocked.brr";
    files::Write(blocked, {9, 9, 9});
    HANDLE held = CreateFileA(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const size_t before = files::List(wavDir).size();
    seen = exportAs(blocked, -1, {IDYES, IDOK});
    CloseHandle(held);
    EXPECT_EQ(seen.result, 1);
    ASSERT_EQ(seen.boxes.size(), 2u);
    EXPECT_EQ(seen.boxes[1].text.rfind(blocked + " could not be written.\n", 0), 0u);
    EXPECT_GT(seen.boxes[1].text.size(), blocked.size() + 80) << "a line with the reason";
    EXPECT_EQ(seen.boxes[1].owner, owner);
    EXPECT_EQ(files::Read(blocked), std::vector<uint8_t>({9, 9, 9}));
    EXPECT_EQ(files::List(wavDir).size(), before);
    EXPECT_EQ(seen.stray, 0);
}

TEST_F(Bridge, PlayWritesTheSampleAndDecodesAtThePitchInTheProgramFolder)
{
    const int size = SPCMGetSampleSize(3);
    const uint8_t *sample = SPCMGetSPCPtr() + SPCMFetchStart(3) - 0x8000;
    for (uint16_t pitch : {0x1000, 0x3FFF, 0}) {
        SetCurrentDirectoryA(dir.c_str()); // as a chooser would leave it
        BRRPlay(3, pitch);
    }
    EXPECT_EQ(files::Read(appdir + "\\temp.brr"), std::vector<uint8_t>(sample, sample + size));
    // The sound plays from memory: temp.wav is free for the next run at once.
    EXPECT_TRUE(DeleteFileA((appdir + "\\temp.wav").c_str()));
    BRRStop();
    const std::vector<std::string> runs = Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_NE(runs[0].find("temp.brr -d -p 1000 temp.wav"), std::string::npos) << runs[0];
    EXPECT_NE(runs[1].find("temp.brr -d -p 3fff temp.wav"), std::string::npos) << runs[1];
    EXPECT_NE(runs[2].find("temp.brr -d -p 0 temp.wav"), std::string::npos) << runs[2];
    for (const std::string &run : runs)
        EXPECT_EQ(run.substr(0, run.find('|')), appdir);

    // A looping sample goes to the decoder with its loop offset in front.
    BRRPlay(4, 0x1000);
    const std::vector<uint8_t> looped = files::Read(appdir + "\\temp.brr");
    const int start = SPCMFetchStart(4), offset = SPCMFetchLoop(4) - start;
    ASSERT_EQ(looped.size(), size_t(SPCMGetSampleSize(4) + 2));
    EXPECT_EQ(looped[0] | looped[1] << 8, offset);
    EXPECT_EQ(looped[2], SPCMGetSPCPtr()[start - 0x8000]);
}

} // namespace
