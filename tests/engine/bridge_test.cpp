// The encoder bridge with a stand-in snesbrr.exe in a program folder of its own: the
// parameter texts, where the scratch files go, and every way an encode run can fail.
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
        files::Write(path, std::vector<uint8_t>(bytes, fill));
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
    EXPECT_EQ(SPCMGetSPCPtr()[0xF01C - 0x8000], 0x11);

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
    const int result = ui::WithAnswers([this] { return SPCMInsertSample(0x21, owner); },
                                       [&](DWORD tid) {
                                           shown = ui::OpenDialogName(tid);
                                           ui::AnswerOpenDialog(tid, nullptr);
                                       });
    EXPECT_EQ(result, 1) << "cancelled";
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

    seen = Insert(0x14, Wav("fits.wav", 0x0FC6));
    EXPECT_EQ(seen.result, 0);
    EXPECT_EQ(SPCMGetFree(), 0);
    seen = Insert(0x15, Wav("one.wav", 1), 1);
    EXPECT_EQ(seen.result, 1);
    EXPECT_EQ(seen.boxes[0].text, "Input sample too large.\nSize: 1 bytes\nFree: 0 bytes");
}

TEST_F(Bridge, ARunThatWritesNothingIsReportedNotTakenFromAnEarlierFile)
{
    ASSERT_EQ(Insert(0x14, Wav("earlier.wav", 90)).result, 0);
    ASSERT_TRUE(files::Exists(appdir + "\\temp.brr"));
    const std::string wav = wavDir + "\\broken.wav";
    files::Write(wav, {'N', 'O', 'O', 'U', 'T', 'P', 'U', 'T'});
    const Seen seen = Insert(0x15, wav, 3);
    EXPECT_EQ(seen.result, 1);
    ExpectBox(seen.boxes[0], "Size check failed. Couldn't access target file", "Error",
              ui::Icon::Error, owner);
    ExpectBox(seen.boxes[1], "Size check failed. Couldn't access target file", "Error",
              ui::Icon::Error, owner);
    ExpectBox(seen.boxes[2], "Sample read failed.  Couldn't access target sample.", "Error",
              ui::Icon::Error, owner);
    EXPECT_EQ(SPCMFetchStart(0x15), 0);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6 - 90);
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

TEST_F(Bridge, PlayWritesTheSampleAndDecodesAtThePitchInTheProgramFolder)
{
    const int size = SPCMGetSampleSize(3);
    const uint8_t *sample = SPCMGetSPCPtr() + SPCMFetchStart(3) - 0x8000;
    for (uint16_t pitch : {0x1000, 0x3FFF, 0}) {
        SetCurrentDirectoryA(dir.c_str()); // as a chooser would leave it
        BRRPlay(3, pitch);
    }
    EXPECT_EQ(files::Read(appdir + "\\temp.brr"), std::vector<uint8_t>(sample, sample + size));
    EXPECT_TRUE(files::Exists(appdir + "\\temp.wav"));
    const std::vector<std::string> runs = Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_NE(runs[0].find("temp.brr -d -p 1000 temp.wav"), std::string::npos) << runs[0];
    EXPECT_NE(runs[1].find("temp.brr -d -p 3fff temp.wav"), std::string::npos) << runs[1];
    EXPECT_NE(runs[2].find("temp.brr -d -p 0 temp.wav"), std::string::npos) << runs[2];
    for (const std::string &run : runs)
        EXPECT_EQ(run.substr(0, run.find('|')), appdir);
}

} // namespace
