// Samples in and out of the bank over the in-memory file layer: .brr files raw and
// headered, Insert Looped with the loop the user chooses, the bytes that Play and Export
// hand on, and the refusals that leave the bank as it was.
#include <cmath>
#include <string>

#include "bank_fixture.h"
#include "files.h"

namespace {

std::vector<uint8_t> SampleFile(int slot)
{
    std::vector<uint8_t> file(kSPCMMaxFile);
    file.resize(size_t(SPCMSampleFile(slot, file.data())));
    return file;
}

// The Loop dialog as the tests answer it: records the proposal, answers with the loop
// in reply, or cancels when reply.start is negative.
struct LoopAnswer {
    int frames = -1, start = -1, end = -1;
};
LoopAnswer proposal, reply;

int AnswerLoop(HWND, SPCMLoop *loop)
{
    proposal = {loop->frames, loop->start, loop->end};
    if (reply.start < 0)
        return 0;
    loop->start = reply.start;
    loop->end = reply.end;
    return 1;
}

class Interchange : public Bank {
  protected:
    void SetUp() override
    {
        Bank::SetUp();
        Prepare();
        proposal = reply = {};
    }

    int InsertBrr(int slot, const std::vector<uint8_t> &file, bool looped = false)
    {
        doubles::sampleName = "C:\\pack\\Strings (LOOP=18,AD=$AF).BRR";
        doubles::brrFile = file;
        double cents = -1;
        return looped ? SPCMInsertLooped(slot, nullptr, AnswerLoop, &cents)
                      : SPCMInsertSample(slot, nullptr);
    }

    std::vector<uint8_t> Memory() const
    {
        return std::vector<uint8_t>(SPCMGetSPCPtr(), SPCMGetSPCPtr() + 0x8000);
    }
};

TEST_F(Interchange, AnEmptyEncodingIsRefusedSoTheNextSampleKeepsItsData)
{
    const std::vector<uint8_t> before = Memory();
    EXPECT_EQ(Insert(0x14, 0), 1);
    ASSERT_EQ(doubles::errors.size(), 1u);
    EXPECT_NE(doubles::errors[0].find("no sample data"), std::string::npos);
    EXPECT_EQ(Memory(), before);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6);

    // The sample inserted next has its start to itself: deleting in the slot that was
    // refused moves nothing.
    ASSERT_EQ(Insert(0x15, 18, 0x77), 0);
    SPCMDeleteSample(0x14);
    EXPECT_EQ(SPCMFetchStart(0x15), 0xF01C);
    EXPECT_EQ(SPCMGetSampleSize(0x15), 18);
    EXPECT_EQ(SPCMGetSPCPtr()[0xF01C - 0x8000 + 1], 0x77);
}

TEST_F(Interchange, BrrFilesGoInWithTheirLoopAndComeOutUnchanged)
{
    const std::vector<uint8_t> raw = files::BrrImage(3, 0x01);
    ASSERT_EQ(InsertBrr(0x14, raw), 0);
    EXPECT_EQ(SPCMFetchStart(0x14), 0xF01C);
    EXPECT_EQ(SPCMFetchLoop(0x14), 0xF01C);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6 - 27);
    EXPECT_EQ(SPCMLoopOffset(0x14), -1);
    EXPECT_EQ(SampleFile(0x14), raw);

    const std::vector<uint8_t> looped = files::BrrImage(4, 0x03, 18);
    ASSERT_EQ(InsertBrr(0x15, looped, true), 0) << "Insert Looped takes the file's loop";
    EXPECT_EQ(SPCMFetchStart(0x15), 0xF01C + 27);
    EXPECT_EQ(SPCMFetchLoop(0x15), 0xF01C + 27 + 18);
    EXPECT_EQ(proposal.frames, -1) << "a .brr file shows no Loop dialog";
    doubles::exportName = "C:\\out\\x.brr";
    ASSERT_EQ(SPCMExportSample(0x15, nullptr), 0);
    EXPECT_EQ(doubles::proposedName, "sample-15");
    EXPECT_EQ(doubles::exported, looped);

    // Exported and inserted again: the same bytes and the same loop offset.
    SPCMDeleteSample(0x15);
    ASSERT_EQ(InsertBrr(0x16, doubles::exported), 0);
    EXPECT_EQ(SPCMFetchLoop(0x16) - SPCMFetchStart(0x16), 18);
    EXPECT_EQ(SampleFile(0x16), looped);

    // A header without the loop flag still sets the loop address; the sample plays once.
    ASSERT_EQ(InsertBrr(0x17, files::BrrImage(2, 0x01, 9)), 0);
    EXPECT_EQ(SPCMFetchLoop(0x17), SPCMFetchStart(0x17) + 9);
    EXPECT_EQ(SampleFile(0x17), files::BrrImage(2, 0x01));

    // Insert Looped refuses a file that does not loop, raw or without the loop flag.
    const std::vector<uint8_t> before = Memory();
    doubles::errors.clear();
    EXPECT_EQ(InsertBrr(0x18, files::BrrImage(2, 0x01), true), 1);
    EXPECT_EQ(InsertBrr(0x18, files::BrrImage(2, 0x01, 0), true), 1);
    ASSERT_EQ(doubles::errors.size(), 2u);
    for (const std::string &text : doubles::errors)
        EXPECT_EQ(text.rfind("This .brr file does not loop", 0), 0u) << text;
    EXPECT_EQ(Memory(), before);

    // A raw file whose end block loops names its loop only in its name, as packs do: the
    // user is asked, with that loop proposed, and the sample keeps the loop given.
    doubles::errors.clear();
    EXPECT_EQ(InsertBrr(0x18, files::BrrImage(4, 0x03), true), 1) << "cancelled";
    EXPECT_EQ(proposal.frames, 64);
    EXPECT_EQ(proposal.start, 32) << "Loop=18 in the name: 18 bytes, two blocks in";
    EXPECT_TRUE(doubles::errors.empty());
    EXPECT_EQ(Memory(), before);
    reply = {64, 48, 64};
    ASSERT_EQ(InsertBrr(0x18, files::BrrImage(4, 0x03), true), 0);
    EXPECT_EQ(SPCMFetchLoop(0x18) - SPCMFetchStart(0x18), 27);
    EXPECT_EQ(SampleFile(0x18), files::BrrImage(4, 0x03, 27));
}

TEST_F(Interchange, EachBadBrrFileIsRefusedWithItsReasonAndChangesNothing)
{
    std::vector<uint8_t> earlyEnd = files::BrrImage(3, 0x01);
    earlyEnd[9] |= 0x01;
    const int tooLarge = (0x0FC6 / 9 + 1) * 9;
    struct Bad {
        std::vector<uint8_t> file;
        std::string reason;
    };
    const Bad bad[] = {
        {std::vector<uint8_t>(10, 0x01), "is 10 bytes long, which fits neither form"},
        {{}, "holds no BRR block"},
        {{9, 0}, "holds no BRR block"},
        {files::BrrImage(3, 0x03, 4), "(4 bytes) is not a multiple of 9"},
        {files::BrrImage(3, 0x03, 27), "(27 bytes) lies outside its 27 bytes"},
        {files::BrrImage(3, 0x00), "The last block of this .brr file lacks the end flag"},
        {earlyEnd, "Block 1 of this .brr file has the end flag, but the last block is 2"},
        {files::BrrImage(tooLarge / 9, 0x01),
         "Input sample too large.\nSize: FC9 bytes\nFree: FC6 bytes"},
        {std::vector<uint8_t>(9 * 4000, 0x01), "Size: 8CA0 bytes"}, // beyond any bank
    };
    const std::vector<uint8_t> before = Memory();
    for (const Bad &b : bad) {
        doubles::errors.clear();
        EXPECT_EQ(InsertBrr(0x14, b.file), 1) << b.reason;
        ASSERT_EQ(doubles::errors.size(), 1u) << b.reason;
        EXPECT_NE(doubles::errors[0].find(b.reason), std::string::npos) << doubles::errors[0];
        EXPECT_EQ(Memory(), before) << b.reason;
        EXPECT_EQ(SPCMGetFree(), 0x0FC6);
    }
}

TEST_F(Interchange, InsertLoopedEncodesTheChosenLoopAndTellsTheTuning)
{
    // A smpl loop proposes itself; the encoder fitted the 400 samples to 26 blocks.
    doubles::wavFrames = 1000;
    doubles::wavLoopStart = 100;
    doubles::wavLoopEnd = 500;
    reply = {0, 100, 500};
    doubles::encoded = files::BrrImage(33, 0x03, 63);
    double cents = 0;
    ASSERT_EQ(SPCMInsertLooped(0x14, nullptr, AnswerLoop, &cents), 0);
    EXPECT_EQ(proposal.frames, 1000);
    EXPECT_EQ(proposal.start, 100);
    EXPECT_EQ(proposal.end, 500);
    EXPECT_EQ(doubles::askedStart, 100);
    EXPECT_EQ(doubles::askedEnd, 500);
    EXPECT_EQ(SPCMFetchLoop(0x14), 0xF01C + 63);
    EXPECT_EQ(SPCMGetFree(), 0x0FC6 - 33 * 9);
    EXPECT_NEAR(cents, 1200 * std::log2(416.0 / 400), 1e-9) << "416 samples play 400";

    // Without a smpl loop the whole sound is proposed; a loop repeated to fill whole
    // blocks keeps the pitch.
    doubles::wavLoopStart = -1;
    reply = {0, 10, 22};
    doubles::encoded = files::BrrImage(4, 0x03, 9); // 3 blocks: 48 samples, 4 passes of 12
    ASSERT_EQ(SPCMInsertLooped(0x15, nullptr, AnswerLoop, &cents), 0);
    EXPECT_EQ(proposal.start, 0);
    EXPECT_EQ(proposal.end, 1000);
    EXPECT_EQ(cents, 0.0);

    // Cancel, an empty WAV file and output that does not loop insert nothing.
    const std::vector<uint8_t> before = Memory();
    doubles::askedStart = -1;
    reply.start = -1;
    EXPECT_EQ(SPCMInsertLooped(0x16, nullptr, AnswerLoop, &cents), 1);
    EXPECT_EQ(doubles::askedStart, -1) << "a cancelled dialog runs no encoder";
    doubles::wavFrames = 0;
    doubles::errors.clear();
    proposal = {};
    EXPECT_EQ(SPCMInsertLooped(0x16, nullptr, AnswerLoop, &cents), 1);
    EXPECT_EQ(proposal.frames, -1) << "nothing to loop: no dialog";
    doubles::wavFrames = 1000;
    reply = {0, 0, 1000};
    doubles::encoded = files::BrrImage(4, 0x01);
    EXPECT_EQ(SPCMInsertLooped(0x16, nullptr, AnswerLoop, &cents), 1);
    ASSERT_EQ(doubles::errors.size(), 2u);
    EXPECT_NE(doubles::errors[0].find("holds no sound"), std::string::npos);
    EXPECT_EQ(doubles::errors[1].rfind("The encoder's output does not loop", 0), 0u);
    EXPECT_EQ(Memory(), before);
}

TEST_F(Interchange, PlayAndExportHandOnThePlayedBlocksWithAHeaderOnlyForALoop)
{
    const auto dir = stockrom::Directory();
    // Even stock samples loop over their second half; odd ones play once.
    const std::vector<uint8_t> memory = Memory();
    const int size0 = dir[1].start - dir[0].start;
    std::vector<uint8_t> looped = {uint8_t(size0 / 18 * 9), uint8_t((size0 / 18 * 9) >> 8)};
    looped.insert(looped.end(), memory.begin() + (dir[0].start - 0x8000),
                  memory.begin() + (dir[1].start - 0x8000));
    EXPECT_EQ(SampleFile(0), looped);
    EXPECT_EQ(SampleFile(1).size(), size_t(dir[2].start - dir[1].start)) << "no header";
    // The last stock sample has 4 bytes after its end block: they are never played.
    EXPECT_EQ(SPCMGetSampleSize(0x13), 160 * 9 + 4);
    EXPECT_EQ(SampleFile(0x13).size(), 160u * 9);

    // A loop address outside the sample, or between blocks, makes no header.
    unsigned char *entry = SPCMGetSPCPtr() + 2;
    for (int loop : {int(dir[1].start), dir[0].start + 4, dir[0].start - 9}) {
        entry[0] = uint8_t(loop);
        entry[1] = uint8_t(loop >> 8);
        EXPECT_EQ(SPCMLoopOffset(0), -1) << std::hex << loop;
        EXPECT_EQ(SampleFile(0).size(), size_t(size0)) << std::hex << loop;
    }
    entry[0] = uint8_t(dir[0].loop);
    entry[1] = uint8_t(dir[0].loop >> 8);

    // Export to .wav decodes the same image; a cancelled chooser writes nothing.
    doubles::exportWav = true;
    doubles::exportName = "C:\\out\\sample-00.wav";
    ASSERT_EQ(SPCMExportSample(0, nullptr), 0);
    EXPECT_EQ(doubles::decodeInput, looped);
    EXPECT_EQ(doubles::exported, std::vector<uint8_t>({'R', 'I', 'F', 'F'}));
    doubles::exported.clear();
    doubles::exportName.clear();
    EXPECT_EQ(SPCMExportSample(0, nullptr), 1);
    EXPECT_TRUE(doubles::exported.empty());
    EXPECT_EQ(Memory(), memory) << "export changes nothing in the bank";
}

} // namespace

namespace {

// One second of a 44.1 kHz recording takes about 18000 bytes at 32 kHz, four times a fresh
// bank's free space: the user is offered the highest rate that fits before the refusal.
TEST_F(Interchange, ASampleTooLargeForTheBankIsOfferedTheHighestRateThatFits)
{
    doubles::wavFrames = 44100;
    doubles::wavRate = 44100;
    doubles::encoded = files::Sample(2001 * 9, 0x40);

    EXPECT_EQ(SPCMInsertSample(0x14, nullptr), 1) << "No";
    ASSERT_EQ(doubles::questions.size(), 1u);
    ASSERT_EQ(doubles::errors.size(), 1u);
    EXPECT_EQ(doubles::errors[0], "Input sample too large.\nSize: 4659 bytes\nFree: FC6 bytes");
    unsigned rate = 0, pitch = 0;
    ASSERT_EQ(std::sscanf(doubles::questions[0].c_str(),
                          "This sample needs 4659 bytes at 32000 Hz, and FC6 bytes are free.\n"
                          "Encode it at %u Hz so that it fits? It then plays at its recorded "
                          "pitch at pitch %X.",
                          &rate, &pitch),
              2)
        << doubles::questions[0];
    // 447 blocks of 16 samples, less the end block's unheard ones: about 7100 Hz.
    EXPECT_GT(rate, 6900u);
    EXPECT_LT(rate, 7200u);
    EXPECT_EQ(pitch, unsigned(std::lround(4096.0 * rate / 32000)));
    EXPECT_EQ(SPCMFetchStart(0x14), 0);

    doubles::answerYes = true;
    doubles::fitted = files::Sample(447 * 9, 0x44);
    ASSERT_EQ(SPCMInsertSample(0x14, nullptr), 0);
    EXPECT_EQ(doubles::encodedAt, int(rate)) << "encoded at the rate the question named";
    EXPECT_EQ(SPCMInsertedRate(), int(rate));
    EXPECT_EQ(SPCMGetSampleSize(0x14), 447 * 9);

    // Twenty seconds do not fit even at 1000 Hz: only the refusal.
    doubles::questions.clear();
    doubles::wavFrames = 20 * 44100;
    EXPECT_EQ(SPCMInsertSample(0x15, nullptr), 1);
    EXPECT_TRUE(doubles::questions.empty());
}

} // namespace
