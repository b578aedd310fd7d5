// The command line as the utility calls it, its errors, and the files that
// once crashed the readers.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "brr.h"
#include "cli.h"
#include "encoder.h"
#include "diskio.h"
#include "test_util.h"
#include "voice.h"
#include "wav.h"

namespace snesbrr {
namespace {

using namespace test;

// `dir` holds exactly the entries named: no temporary file is left.
void expect_only(const std::string &dir, std::set<std::string> names)
{
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(names.erase(entry.path().filename().string()), 1u) << entry.path();
    EXPECT_TRUE(names.empty()) << *names.begin() << " is missing";
}

TEST(Cli, EncodesAndPlaysWithTheUtilitysExactArguments)
{
    const std::string dir = scratch_dir("cli-exact");
    std::filesystem::create_directories(dir + "/some path");
    const std::string wav = dir + "/some path/x.wav";
    const auto tone = sine(660, 9000, 3000);
    save(wav, wav16(tone, 22050));
    const std::string brr = dir + "/temp.brr", out = dir + "/temp.wav";

    CliResult r = run_cli({wav, "-e", brr});
    ASSERT_EQ(r.code, 0) << r.err;
    // Kept at its own rate, which the one line states.
    EXPECT_EQ(r.err, "snesbrr: " + wav +
                         ": encoded at 22050 Hz: pitch 0x0b06 plays it at its recorded pitch, "
                         "tuned -644.75 cents against a 32 kHz sample\n");
    const auto encoded = load(brr);
    EXPECT_EQ(encoded, encode(tone.data(), tone.size()).brr);

    r = run_cli({brr, "-d", "-p", "1000", out});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::int16_t> expected;
    ASSERT_EQ(render_voice(encoded.data(), encoded.size(), 0x1000, expected), Status::Ok);
    EXPECT_EQ(load(out), write_wav(expected.data(), expected.size(), 32000));
    MonoPcm played;
    const auto played_file = load(out);
    ASSERT_EQ(read_wav(played_file.data(), played_file.size(), played), Status::Ok);
    EXPECT_EQ(played.sample_rate, 32000u);
    EXPECT_GE(played.samples.size(), tone.size() - 1);
    expect_only(dir, {"some path", "temp.brr", "temp.wav"});
}

TEST(Cli, PitchIsHexWithoutPrefixAndDefaultsTo1000)
{
    const std::string dir = scratch_dir("cli-pitch");
    const std::string brr = dir + "/in.brr";
    const auto tone = sine(440, 8000, 2000);
    save(brr, encode(tone.data(), tone.size()).brr);
    ASSERT_EQ(run_cli({brr, "-d", dir + "/default.wav"}).code, 0);
    ASSERT_EQ(run_cli({brr, "-d", "-p", "1000", dir + "/unity.wav"}).code, 0);
    EXPECT_EQ(load(dir + "/default.wav"), load(dir + "/unity.wav"));
    ASSERT_EQ(run_cli({brr, "-d", "-p", "3fff", dir + "/fast.wav"}).code, 0);
    ASSERT_EQ(run_cli({brr, "-d", "-p", "3FFF", dir + "/FAST.wav"}).code, 0);
    EXPECT_EQ(load(dir + "/fast.wav"), load(dir + "/FAST.wav"));
    EXPECT_LT(load(dir + "/fast.wav").size(), load(dir + "/unity.wav").size() / 3);
    ASSERT_EQ(run_cli({brr, "-d", "-p", "0", dir + "/still.wav"}).code, 0);
    EXPECT_EQ(load(dir + "/still.wav").size(), 44 + 2 * kMaxRenderSamples);
    for (const char *bad : {"4000", "0x1000", "", "12345", "g", "-1"}) {
        const CliResult r = run_cli({brr, "-d", "-p", bad, dir + "/bad.wav"});
        EXPECT_EQ(r.code, kExitUsage) << bad;
        EXPECT_FALSE(file_exists(dir + "/bad.wav")) << bad;
    }
}

TEST(Cli, HelpAndUsageErrors)
{
    for (const char *help : {"-h", "--help"}) {
        const CliResult r = run_cli({help});
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.out.find("usage"), std::string::npos);
    }
    for (const auto &args :
         std::vector<std::vector<std::string>>{{},
                                               {"a.wav"},
                                               {"a.wav", "-e"},
                                               {"a.wav", "-x", "b"},
                                               {"a.wav", "-e", "b", "c"},
                                               {"a.brr", "-d", "-p", "1000"},
                                               {"a.brr", "-p", "1000", "-d", "b.wav"}}) {
        const CliResult r = run_cli(args);
        EXPECT_EQ(r.code, kExitUsage);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(Cli, BadInputsAreRefusedWithoutTouchingTheOutput)
{
    const std::string dir = scratch_dir("cli-bad");
    const std::string out = dir + "/out.brr";
    save(out, {1, 2, 3}); // an earlier result must survive a failed run
    std::vector<std::uint8_t> compressed;
    put_chunk(compressed, "fmt ", fmt_body(2, 1, 32000, 4));
    put_chunk(compressed, "data", {0, 0});
    std::vector<std::uint8_t> no_channels;
    put_chunk(no_channels, "fmt ", fmt_body(1, 0, 32000, 16, 2));
    put_chunk(no_channels, "data", {0, 0});
    const auto good = wav16({1, 2, 3});
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
        {"text.wav", {'h', 'e', 'l', 'l', 'o'}},
        {"cut.wav", std::vector<std::uint8_t>(good.begin(), good.begin() + 30)},
        {"adpcm.wav", riff(compressed)},
        {"mute.wav", riff(no_channels)},
    };
    for (const auto &[name, bytes] : files) {
        save(dir + "/" + name, bytes);
        const CliResult r = run_cli({dir + "/" + name, "-e", out});
        EXPECT_EQ(r.code, kExitFailure) << name;
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(load(out), (std::vector<std::uint8_t>{1, 2, 3})) << name;
    }
    CliResult r = run_cli({dir + "/missing.wav", "-e", out});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos);

    save(dir + "/cut.brr", std::vector<std::uint8_t>(13, 0));
    r = run_cli({dir + "/cut.brr", "-d", dir + "/cut-played.wav"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_FALSE(file_exists(dir + "/cut-played.wav"));

    save(dir + "/good.wav", good);
    r = run_cli({dir + "/good.wav", "-e", dir + "/no such folder/out.brr"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("no such folder"), std::string::npos);
    std::set<std::string> names = {"out.brr", "cut.brr", "good.wav"};
    for (const auto &file : files)
        names.insert(file.first);
    expect_only(dir, names);
}

TEST(Cli, EmptyWavAndEmptyBrrAreRefused)
{
    // An empty encoding would hold not even an end block: the utility would insert a
    // sample of size 0 and a later insert would land on top of it. A .brr file
    // without a block is refused as the utility's import refuses it.
    const std::string dir = scratch_dir("cli-empty");
    save(dir + "/empty.wav", wav16({}));
    for (const auto &loop : std::vector<std::vector<std::string>>{{}, {"--loop-start", "0"}}) {
        std::vector<std::string> args{dir + "/empty.wav", "-e", dir + "/empty.brr"};
        args.insert(args.end(), loop.begin(), loop.end());
        const CliResult r = run_cli(args);
        EXPECT_EQ(r.code, kExitFailure);
        EXPECT_EQ(r.err, "snesbrr: " + dir + "/empty.wav: holds no samples\n");
        EXPECT_FALSE(file_exists(dir + "/empty.brr"));
    }
    save(dir + "/empty.brr", {});
    const CliResult r = run_cli({dir + "/empty.brr", "-d", dir + "/back.wav"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "snesbrr: " + dir + "/empty.brr: holds no BRR block\n");
    EXPECT_FALSE(file_exists(dir + "/back.wav"));
}

TEST(Cli, FailedWritesAreReportedAndLeaveNothingBehind)
{
    const std::string dir = scratch_dir("cli-write");
    save(dir + "/in.wav", wav16(sine(440, 8000, 500)));
#ifndef _WIN32
    // A disk that fills up partway: a file-size limit stops the write after 4 KiB, with
    // the system's EFBIG rather than a signal. The old output stays whole.
    save(dir + "/old.wav", {1, 2, 3});
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{}, kept{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kept), 0);
    limit = kept;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    int system_error = 0;
    const Status status =
        write_file_replacing(dir + "/old.wav", std::vector<std::uint8_t>(8192, 1), &system_error);
    setrlimit(RLIMIT_FSIZE, &kept);
    EXPECT_EQ(status, Status::WriteIncomplete);
    EXPECT_EQ(describe_write(status, system_error),
              describe(Status::WriteIncomplete) + std::string(" (File too large)"));
    EXPECT_EQ(load(dir + "/old.wav"), (std::vector<std::uint8_t>{1, 2, 3}));
    // Through a symbolic link the linked file gets the bytes, and the link stays.
    std::filesystem::create_symlink("old.wav", dir + "/link.wav");
    EXPECT_EQ(write_file_replacing(dir + "/link.wav", std::vector<std::uint8_t>{4, 5}), Status::Ok);
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.wav"));
    EXPECT_EQ(load(dir + "/old.wav"), (std::vector<std::uint8_t>{4, 5}));
    std::filesystem::remove(dir + "/link.wav");
    std::filesystem::remove(dir + "/old.wav");
#endif
    // A finished output that cannot take the place of what stands at its name (a
    // folder): that stays as it was, and the reason is the system's.
    std::filesystem::create_directories(dir + "/out.brr");
    save(dir + "/out.brr/kept", {1, 2, 3});
    const CliResult r = run_cli({dir + "/in.wav", "-e", dir + "/out.brr"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(
        r.err.rfind("snesbrr: " + dir + "/out.brr: " + describe(Status::ReplaceFailed) + " (", 0),
        0u)
        << r.err;
    EXPECT_EQ(load(dir + "/out.brr/kept"), (std::vector<std::uint8_t>{1, 2, 3}));
    expect_only(dir, {"in.wav", "out.brr"});
}

#ifdef SNESBRR_EXE
// The built program, run by the shell the way the utility quotes its paths.
TEST(Cli, ProgramRunsFromTheShell)
{
    const std::string dir = scratch_dir("cli-shell");
    std::filesystem::create_directories(dir + "/some path");
    save(dir + "/some path/x.wav", wav16(sine(440, 8000, 500)));
    const std::string exe = SNESBRR_EXE;
    const std::string cd = "cd '" + dir + "' && '" + exe + "' ";
    ASSERT_EQ(std::system((cd + "\"" + dir + "/some path/x.wav\" -e temp.brr").c_str()), 0);
    ASSERT_EQ(std::system((cd + "temp.brr -d -p 1000 temp.wav").c_str()), 0);
    EXPECT_GT(load(dir + "/temp.wav").size(), 44u + 2 * 490);
    EXPECT_NE(std::system((cd + "nothing.brr -d -p 1000 temp2.wav 2>/dev/null").c_str()), 0);
    EXPECT_FALSE(file_exists(dir + "/temp2.wav"));
}
#endif

// Inputs that once made a reader fault; each must now be handled cleanly.
TEST(Regressions, FoundInputsAreHandled)
{
    const std::filesystem::path dir = SNESBRR_REGRESS_DIR;
    if (!std::filesystem::exists(dir))
        GTEST_SKIP() << "no regression folder";
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.')
            continue;
        const auto bytes = load(entry.path().string());
        ++files;
        MonoPcm pcm;
        if (read_wav(bytes.data(), bytes.size(), pcm) == Status::Ok) {
            const EncodedSample e =
                encode(pcm.samples.data(), std::min<std::size_t>(pcm.samples.size(), 4096));
            EXPECT_EQ(e.brr.size() % kBlockBytes, 0u);
        }
        std::vector<std::int16_t> played;
        for (const int pitch : {0x1000, 0x3FFF, 0x0001}) {
            const Status s = render_voice(bytes.data(), bytes.size(), pitch, played);
            EXPECT_TRUE(s == Status::Ok || s == Status::PartialBlock);
            EXPECT_LE(played.size(), kMaxRenderSamples);
        }
    }
    std::cout << files << " regression inputs\n";
}

} // namespace
} // namespace snesbrr
