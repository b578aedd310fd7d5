#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>
#ifdef TARVO_EXE
#include <sys/wait.h>
#endif

#include <nlohmann/json.hpp>

#include "FileIO.h"
#include "SPCM.h"
#include "cli.h"
#include "console_io.h"
#include "files.h"
#include "inprocess_codec.h"
#include "snesbrr.h"
#include "stockrom.h"
#include "tarvo.h"

namespace {

constexpr int kBank = 0x100200; // the first free bank of the stand-in ROM

struct Result {
    int code;
    std::string out, err;
};

Result Tarvo(const std::vector<std::string> &args)
{
    std::vector<const char *> argv = {"tarvo"};
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int code = TarvoRun(int(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

class Commands : public ::testing::Test {
  protected:
    void SetUp() override
    {
        dir = files::TempDir("cli");
        rom = dir + "/game.smc";
        stock = stockrom::Make();
        files::Write(rom, stock);
    }

    // The window's steps over the engine: open, build the bank at kBank when there is
    // none, edit, save. The ROM image that the save writes.
    std::vector<uint8_t> ByWindow(const std::function<void()> &edit)
    {
        std::ostringstream err;
        console::Begin(err);
        EXPECT_TRUE(console::LoadRom(rom));
        if (!SPCMCheckPresence()) {
            EXPECT_EQ(SPCMSetupROM(kBank), 1);
        }
        EXPECT_EQ(SPCMReadIn(), 1);
        edit();
        console::SetSaveTarget("", true);
        EXPECT_EQ(SPCMSave(), 0) << err.str();
        return std::vector<uint8_t>(ROMMem, ROMMem + ROMSize);
    }

    std::string Wav(const char *name, int frames, int rate, int loopStart = -1)
    {
        std::vector<uint8_t> wav = files::MakeWav(files::Tone(frames, 440), rate);
        if (loopStart >= 0)
            wav = files::WithLoop(wav, uint32_t(loopStart), uint32_t(frames - 1));
        const std::string path = dir + "/" + name;
        files::Write(path, wav);
        return path;
    }

    void SetUpBank() { ASSERT_EQ(Tarvo({"setup", rom, "100200"}).code, 0); }

    std::string dir, rom;
    std::vector<uint8_t> stock;
};

// The ROM that a command saved equals the window's, and the first save kept the ROM as
// read as NAME.bak.
TEST_F(Commands, EditsGiveTheWindowsBytesAndKeepABackup)
{
    const Result setup = Tarvo({"setup", rom, "100200"});
    ASSERT_EQ(setup.code, 0) << setup.err;
    EXPECT_EQ(files::Read(rom + ".bak"), stock);
    const std::vector<uint8_t> built = ByWindow([] {});
    EXPECT_EQ(files::Read(rom), built);

    const std::string strings = Wav("strings.wav", 3000, 44100, 1000);
    const std::string kick = Wav("kick.wav", 1500, 22050);
    Result r = Tarvo({"insert", rom, "14", strings, "--loop"});
    ASSERT_EQ(r.code, 0) << r.err;
    // 44100 Hz comes down to 32000: no tuning line; the resampled loop tells its cents.
    EXPECT_NE(r.err.find("cents"), std::string::npos) << r.err;
    r = Tarvo({"insert", rom, "15", kick, "--rate", "16000"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("encoded at 16000 Hz: it plays at its recorded pitch at pitch 800"),
              std::string::npos)
        << r.err;
    r = Tarvo({"insert", rom, "16", kick, "--loop-start", "100", "--loop-end", "1400"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string raw = dir + "/raw.brr"; // raw blocks whose end block loops
    files::Write(raw, files::BrrImage(4, 3));
    r = Tarvo({"insert", rom, "17", raw, "--loop-start", "32"});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(Tarvo({"delete", rom, "03"}).code, 0);
    const std::vector<uint8_t> edited = files::Read(rom);

    files::Write(rom, built);
    const std::vector<uint8_t> window = ByWindow([&] {
        auto loop = [](HWND, SPCMLoop *) { return 1; };
        double cents = 0;
        console::SetSample(strings);
        ASSERT_EQ(SPCMInsertLooped(0x14, nullptr, loop, &cents), 0);
        console::SetSample(kick);
        SPCMSetInsertRate(16000);
        ASSERT_EQ(SPCMInsertSample(0x15, nullptr), 0);
        SPCMSetInsertRate(0);
        auto range = [](HWND, SPCMLoop *chosen) {
            chosen->start = 100;
            chosen->end = 1400;
            return 1;
        };
        ASSERT_EQ(SPCMInsertLooped(0x16, nullptr, range, &cents), 0);
        console::SetSample(raw);
        auto block2 = [](HWND, SPCMLoop *chosen) {
            chosen->start = 32;
            return int(chosen->brr);
        };
        ASSERT_EQ(SPCMInsertLooped(0x17, nullptr, block2, &cents), 0);
        SPCMDeleteSample(3);
    });
    EXPECT_EQ(edited, window);
    files::Write(rom, edited);
    const Result listed = Tarvo({"list", rom, "--json"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    const nlohmann::json list = nlohmann::json::parse(listed.out);
    ASSERT_EQ(list["slots"].size(), 64u);
    EXPECT_EQ(list["bank"], kBank);
    EXPECT_EQ(list["slots"][3]["start"], 0);
    EXPECT_EQ(list["slots"][3]["size"], 0);
    EXPECT_EQ(list["slots"][0x14]["looped"], true);
    EXPECT_EQ(list["slots"][0x15]["looped"], false);
    EXPECT_EQ(list["slots"][0x16]["looped"], true);
    EXPECT_EQ(list["slots"][0x17]["loop"].get<int>() - list["slots"][0x17]["start"].get<int>(), 18);
    int used = 0;
    for (const auto &slot : list["slots"])
        used += slot["size"].get<int>();
    EXPECT_EQ(list["free"].get<int>() + used, 0x7EE2);
}

// Export and render hand on what the encoder program makes of the slot's blocks.
TEST_F(Commands, ExportAndRenderMatchTheEncoderProgram)
{
    SetUpBank();
    const std::string brr = dir + "/s.brr", wav = dir + "/s.wav", played = dir + "/p.wav";
    ASSERT_EQ(Tarvo({"export", rom, "00", brr}).code, 0);
    ASSERT_EQ(Tarvo({"export", rom, "00", wav}).code, 0);
    ASSERT_EQ(Tarvo({"render", rom, "00", played, "--pitch", "0c00"}).code, 0);
    std::vector<uint8_t> blocks(kSPCMMaxFile);
    blocks.resize(size_t(SPCMSampleFile(0, blocks.data())));
    ASSERT_EQ(SPCMLoopOffset(0) >= 0, true); // slot 00 of the stand-in ROM loops
    EXPECT_EQ(files::Read(brr), blocks);
    const std::string decoded = dir + "/d.wav", rendered = dir + "/r.wav";
    std::ostringstream out, err;
    const char *decode[] = {"snesbrr", brr.c_str(), "-d", "--blocks", decoded.c_str()};
    ASSERT_EQ(snesbrr::run(5, decode, out, err), 0) << err.str();
    const char *render[] = {"snesbrr", brr.c_str(), "-d", "-p", "c00", rendered.c_str()};
    ASSERT_EQ(snesbrr::run(6, render, out, err), 0) << err.str();
    EXPECT_EQ(files::Read(wav), files::Read(decoded));
    EXPECT_EQ(files::Read(played), files::Read(rendered));
}

// The in-process encodings are the encoder program's, byte for byte: plain, resampled,
// looped, and fitted to the free space when the command says --fit.
TEST_F(Commands, EncodingsMatchTheEncoderProgram)
{
    const std::string wav = Wav("tone.wav", 5000, 44100, 1234);
    auto program = [&](std::vector<const char *> args) {
        const std::string out = dir + "/out.brr";
        args.insert(args.begin(), {"snesbrr", wav.c_str(), "-e", out.c_str()});
        std::ostringstream o, e;
        EXPECT_EQ(snesbrr::run(int(args.size()), args.data(), o, e), 0) << e.str();
        return files::Read(out);
    };
    int length = 0;
    // The buffer that the bridge handed over, read once length holds its size.
    auto bytes = [&](unsigned char *data) {
        std::vector<uint8_t> v(data, data + (data ? length : 0));
        free(data);
        return v;
    };
    std::ostringstream err;
    console::Begin(err);
    EXPECT_EQ(bytes(BRREncode(wav.c_str(), nullptr, &length)), program({}));
    EXPECT_EQ(bytes(BRREncode(wav.c_str(), nullptr, &length, 11025)),
              program({"--rate", "11025"}));
    EXPECT_EQ(bytes(BRREncodeLooped(wav.c_str(), 1234, 4000, nullptr, &length, 0)),
              program({"--loop-start", "1234", "--loop-end", "4000"}));
    EXPECT_EQ(err.str(), "");

    // Too large for the bank: refused unless --fit, which takes the window's offer.
    SetUpBank();
    const std::string big = Wav("big.wav", 20000, 32000);
    const Result refused = Tarvo({"insert", rom, "20", big});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("Input sample too large.; Size:"), std::string::npos) << refused.err;
    const Result fitted = Tarvo({"insert", rom, "20", big, "--fit"});
    ASSERT_EQ(fitted.code, 0) << fitted.err;
    EXPECT_NE(fitted.err.find("This sample was encoded at "), std::string::npos);
}

// Every refusal exits with its status, says one line and leaves the ROM as it was.
TEST_F(Commands, RefusalsExitWithTheirStatusAndWriteNothing)
{
    const std::string small = dir + "/small.smc";
    files::Write(small, std::vector<uint8_t>(0x80200));
    const std::string wav = Wav("a.wav", 1000, 32000);
    const std::string brr = dir + "/a.brr", loops = dir + "/loops.brr", headered = dir + "/h.brr";
    files::Write(brr, files::BrrImage(4, 1));
    files::Write(loops, files::BrrImage(4, 3));
    files::Write(headered, files::BrrImage(4, 3, 18));
    struct Case {
        std::vector<std::string> args;
        int code;
        const char *said;
    };
    const Case before[] = {
        {{"list", rom}, 1, "has no sample bank"},
        {{"insert", rom, "14", wav}, 1, "has no sample bank"},
        {{"info", small}, 1, "An unexpanded ROM does not have any vacant banks."},
        {{"info", dir + "/missing.smc"}, 1, "missing.smc: Invalid source path"},
        {{"setup", rom, "100000"}, 1, "Pointer is not on 32kb boundary; i.e. 80200, 88200"},
        {{"setup", rom, "80200"}, 1, "is not empty"}, // the stand-in's game data
        {{"setup", rom, "10020G"}, 2, "not hexadecimal"},
        {{"frobnicate", rom}, 2, "usage: tarvo COMMAND"},
        {{"info"}, 2, "usage: tarvo info ROM"},
    };
    const Case after[] = {
        {{"setup", rom, "108200"}, 1, "already has a sample bank"},
        {{"insert", rom, "00", wav}, 1, "Slot 00 already holds a sample"},
        {{"insert", rom, "40", wav}, 2, "00 to 3F"},
        {{"insert", rom, "20", wav, "--loop"}, 1, "no loop of its own"},
        {{"insert", rom, "20", wav, "--loop", "--loop-start", "3"}, 2, "excludes"},
        {{"insert", rom, "20", wav, "--loop-end", "3"}, 2, "requires --loop-start"},
        {{"insert", rom, "20", wav, "--loop-start", "900", "--loop-end", "1001"},
         1,
         "The loop end can be at most the sound's length, 1000 samples."},
        {{"insert", rom, "20", wav, "--rate", "500"}, 2, "usage: tarvo insert"},
        {{"insert", rom, "20", wav, "--rate", "8000", "--fit"}, 2, "excludes"},
        {{"insert", rom, "20", brr, "--rate", "8000"}, 2, "a .brr file"},
        {{"insert", rom, "20", brr, "--loop-start", "16", "--loop-end", "32"}, 2, "a .brr file"},
        {{"insert", rom, "20", loops, "--loop-start", "8"},
         1,
         "A .brr file loops from the start of a block: type a multiple of 16, 0 to 48."},
        {{"insert", rom, "20", headered, "--loop-start", "16"}, 1, "header names its loop"},
        {{"export", rom, "00", dir + "/out.brr", "--dry-run"}, 0, ""},
        {{"render", rom, "00", dir + "/out.wav", "--dry-run"}, 0, ""},
        {{"insert", rom, "20", dir + "/missing.wav"}, 1, "missing.wav"},
        {{"delete", rom, "30"}, 1, "Slot 30 is empty"},
        {{"delete", rom, "01", "-o", dir + "/none/out.smc"}, 1, "Save failed"},
        {{"export", rom, "00", dir + "/out.txt"}, 2, "must end in .brr or .wav"},
        {{"render", rom, "00", dir + "/out.wav", "--pitch", "4000"}, 2, "Pitch too high."},
        {{"render", rom, "30", dir + "/out.wav"}, 1, "Slot 30 is empty"},
    };
    auto check = [&](const auto &cases) {
        const std::vector<uint8_t> rom0 = files::Read(rom);
        const std::vector<std::string> listing = files::List(dir);
        for (const Case &c : cases) {
            const Result r = Tarvo(c.args);
            EXPECT_EQ(r.code, c.code) << c.args[0] << " " << c.args.back() << ": " << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
            if (c.code == 1) {
                EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err; // one line
            }
        }
        EXPECT_EQ(files::Read(rom), rom0);
        EXPECT_EQ(files::List(dir), listing);
    };
    check(before);
    SetUpBank();
    check(after);
}

TEST_F(Commands, OutputGoesToOutOrNowhere)
{
    const std::string out = dir + "/built.smc";
    const Result dry = Tarvo({"setup", rom, "100200", "--dry-run"});
    ASSERT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(files::List(dir), std::vector<std::string>{"game.smc"});
    ASSERT_EQ(Tarvo({"setup", rom, "100200", "-o", out}).code, 0);
    EXPECT_EQ(files::Read(rom), stock);
    EXPECT_FALSE(files::Exists(rom + ".bak"));
    EXPECT_EQ(files::Read(out), ByWindow([] {}));
    const Result info = Tarvo({"info", out});
    EXPECT_EQ(info.out, "file: " + out +
                            "\nheader: headered (512-byte copier header)\nsize: 2097664 bytes\n"
                            "bank: 100200\nfree: 4038 bytes\n");
}

class Apply : public Commands {
  protected:
    Result Manifest(const std::string &text)
    {
        files::Write(dir + "/m.toml", std::vector<uint8_t>(text.begin(), text.end()));
        return Tarvo({"apply", rom, dir + "/m.toml"});
    }
};

TEST_F(Apply, RunsTheBankTheDeletesAndTheInsertsInOrder)
{
    Wav("strings.wav", 6000, 44100, 2000);
    files::Write(dir + "/kick.brr", files::BrrImage(8, 3, 18));
    const Result r = Manifest("bank = \"100200\"\n"
                           "delete = [0x05, 0x06]\n"
                           "[[insert]]\n"
                           "slot = 0x05\n"
                           "file = \"strings.wav\"\n"
                           "loop = true\n"
                           "rate = 22050\n"
                           "[[insert]]\n"
                           "slot = 0x06\n"
                           "file = \"kick.brr\"\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<uint8_t> applied = files::Read(rom);

    // The same steps, one command each, from the clean copy.
    files::Write(rom, stock);
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"setup", rom, "100200"},
             {"delete", rom, "05"},
             {"delete", rom, "06"},
             {"insert", rom, "05", dir + "/strings.wav", "--loop", "--rate", "22050"},
             {"insert", rom, "06", dir + "/kick.brr"}}) {
        const Result step = Tarvo(args);
        ASSERT_EQ(step.code, 0) << step.err;
    }
    EXPECT_EQ(files::Read(rom), applied);
}

TEST_F(Apply, AFailingStepOrATypoLeavesTheRomUnchanged)
{
    SetUpBank();
    const std::vector<uint8_t> before = files::Read(rom);
    Wav("a.wav", 1000, 32000);
    Result r = Manifest("delete = [0x01]\n"
                     "[[insert]]\nslot = 0x01\nfile = \"a.wav\"\n"
                     "[[insert]]\nslot = 0x02\nfile = \"missing.wav\"\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.find(dir + "/m.toml:5: slot 02: "), 7u) << r.err;
    EXPECT_EQ(files::Read(rom), before);

    r = Manifest("delete = [0x01]\n[[insert]]\nslot = 0x01\nfiel = \"a.wav\"\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "tarvo: " + dir + "/m.toml:4: unknown key \"fiel\"\n");
    r = Manifest("[[insert]]\nslot = 0x01\nfile = \"a.wav\"\nloop = [10, -3]\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("m.toml:4: loop must be"), std::string::npos) << r.err;
    r = Manifest("bank = 0x100200\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("m.toml:1: bank must be"), std::string::npos) << r.err;
    EXPECT_EQ(files::Read(rom), before);
}

#ifdef TARVO_EXE
// The program itself: its exit status and its streams, as a shell sees them.
TEST(Program, HelpAndVersionGoToStandardOutput)
{
    const std::string exe = TARVO_EXE;
    EXPECT_EQ(std::system((exe + " --version | grep -q '^tarvo 1\\.0\\.0$'").c_str()), 0);
    EXPECT_EQ(std::system((exe + " insert --help | grep -q -- --loop-start").c_str()), 0);
    EXPECT_EQ(WEXITSTATUS(std::system((exe + " list 2>/dev/null").c_str())), 2);
}
#endif

} // namespace
