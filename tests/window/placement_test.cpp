// The bank placement dialog on its own (template 1001 with dlgProcp) over a stock ROM in
// the engine, for headered and headerless ROMs: its proposal, its question before a bank
// with data, the engine's refusals shown while the dialog stays open, its buttons and
// keys, and the hex check that it shares with the pitch field.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FileIO.h"
#include "dialog.h"
#include "resource.h"
#include "stockrom.h"
#include "ui.h"

namespace {

TEST(CheckHexValid, AcceptsOnlyHexDigitsOfEitherCase)
{
    EXPECT_EQ(CheckHexValid(""), 0);
    EXPECT_EQ(CheckHexValid("0123456789"), 0);
    EXPECT_EQ(CheckHexValid("abcdefABCDEF"), 0);
    for (const char *bad :
         {" 1", "1 ", "-1", "+1", "0x10", "10h", "g", "G", "@", "`", "/", ":", "\xB1"})
        EXPECT_EQ(CheckHexValid(bad), 1) << '"' << bad << '"';
}

class Placement : public ::testing::Test {
  protected:
    void SetUp() override
    {
        // The engine holds the test's ROM image, or none, whatever earlier tests loaded.
        loaded_ = ROMMem;
        loadedSize_ = ROMSize;
        ROMMem = rom.empty() ? nullptr : rom.data();
        ROMSize = int(rom.size());
        thread_ = std::thread([this] {
            tid_ = GetCurrentThreadId();
            result_ = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_NEWROM),
                                      nullptr, dlgProcp, LPARAM(&placement));
            ended_ = true;
        });
        while (!tid_)
            Sleep(1);
        dialog = ui::WaitDialog(tid_, "New ROM", ui::kLoadWaitMs);
        ASSERT_NE(dialog, nullptr);
        field = GetDlgItem(dialog, IDC_NEWROM_OFFSET);
    }

    void TearDown() override
    {
        for (int i = 0; i < 20 && !ended_; ++i) {
            if (HWND box = ui::WaitDialog(tid_, nullptr, 50, dialog))
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            else
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            Sleep(50);
        }
        if (thread_.joinable())
            thread_.join();
        ROMMem = loaded_;
        ROMSize = loadedSize_;
    }

    void Type(const char *text)
    {
        SendMessageA(field, WM_SETTEXT, 0, LPARAM(""));
        for (const char *c = text; *c; ++c)
            SendMessageA(field, WM_CHAR, WPARAM(static_cast<unsigned char>(*c)), 1);
    }

    void PressOk() { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_NEWROM_OK, BN_CLICKED), 0); }

    // The dialog's result once it has ended, or -2 when it is still open after the wait.
    INT_PTR Result(int timeoutMs = 3000)
    {
        for (int waited = 0; !ended_ && waited < timeoutMs; waited += 10)
            Sleep(10);
        if (!ended_)
            return -2;
        thread_.join();
        return result_;
    }

    // The message box of the dialog, answered; found is false when none came.
    ui::MessageBoxInfo Box(int timeoutMs = 3000)
    {
        return ui::AnswerMessageBox(tid_, timeoutMs, dialog);
    }

    // The dialog's question box, read and answered with button; *defaultButton receives
    // the id of the button that Enter presses: the one drawn as the default.
    ui::MessageBoxInfo Answer(int button, int *defaultButton)
    {
        HWND box = ui::WaitDialog(tid_, nullptr, 3000, dialog);
        const ui::MessageBoxInfo info = ui::ReadMessageBox(box);
        if (box) {
            for (int id : {IDYES, IDNO}) {
                const LONG style = GetWindowLongA(GetDlgItem(box, id), GWL_STYLE);
                if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                    *defaultButton = id;
            }
            PostMessageA(box, WM_COMMAND, WPARAM(button), 0);
        }
        return info;
    }

    HWND dialog = nullptr, field = nullptr;
    BankPlacement placement{0x200, -1}; // the dialog's parameter: a headered ROM, no proposal
    // The engine's ROM image while the dialog runs: data below 1 MiB, padding above.
    std::vector<uint8_t> rom = stockrom::Make();

  private:
    unsigned char *loaded_ = nullptr;
    int loadedSize_ = 0;
    std::thread thread_;
    std::atomic<DWORD> tid_{0};
    std::atomic<bool> ended_{false};
    std::atomic<INT_PTR> result_{-3};
};

// Without a proposal (no bank above 1 MiB is free) the field starts empty.
TEST_F(Placement, StartsEmptyWithTheTextsOfTheTemplate)
{
    EXPECT_EQ(ui::Text(field), "");
    EXPECT_EQ(ui::Text(GetDlgItem(dialog, IDC_NEWROM_LABEL)), "PC Address:");
    EXPECT_EQ(ui::Text(GetDlgItem(dialog, IDC_NEWROM_OK)), "OK");
}

TEST_F(Placement, FieldTakesOnlyWhatFitsItsWidth)
{
    // Without horizontal auto-scroll, typing stops at the field's right edge.
    Type("8888888888888888888888888888888");
    const std::string kept = ui::Text(field);
    EXPECT_GE(kept.size(), 8u);
    EXPECT_LT(kept.size(), 31u);
}

class PlacementAccepts : public Placement,
                         public ::testing::WithParamInterface<std::pair<const char *, int>> {};

TEST_P(PlacementAccepts, EndsWithTheOffset)
{
    Type(GetParam().first);
    PressOk();
    EXPECT_EQ(Result(), GetParam().second);
}

// Free banks of the 2 MiB stock ROM, up to its last.
INSTANTIATE_TEST_SUITE_P(FreeBankStarts, PlacementAccepts,
                         ::testing::Values(std::make_pair("100200", 0x100200),
                                           std::make_pair("1a8200", 0x1A8200),
                                           std::make_pair("1F8200", 0x1F8200)));

TEST_F(Placement, RefusesTextsThatAreNotBankStartsAndStaysOpen)
{
    struct Case {
        const char *text, *message;
    };
    const char *boundary = "Pointer is not on 32kb boundary\ni.e. 80200, 88200, 90200...";
    const char *invalid = "Invalid pointer input";
    // FFFFFFFF lies beyond the signed 32-bit range and counts as 7FFFFFFF.
    for (const Case &c :
         {Case{"80000", boundary}, Case{"80201", boundary}, Case{"0", boundary},
          Case{"1FF", boundary}, Case{"FFFFFFFF", boundary}, Case{"0x80200", invalid},
          Case{" 80200", invalid}, Case{"80200h", invalid}, Case{"-8200", invalid}}) {
        Type(c.text);
        PressOk();
        ui::MessageBoxInfo box = Box();
        ASSERT_TRUE(box.found) << c.text;
        EXPECT_EQ(box.text, c.message) << c.text;
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, ui::Icon::Error);
        EXPECT_EQ(box.owner, dialog);
        EXPECT_EQ(ui::Text(field), c.text) << "the field keeps the refused text";
    }
    EXPECT_EQ(Result(100), -2) << "a refusal must leave the dialog open";
}

TEST_F(Placement, OkWithAnEmptyFieldDoesNothing)
{
    PressOk();
    EXPECT_FALSE(Box(400).found);
    EXPECT_EQ(Result(100), -2);
}

// Offsets on a bank boundary that SPCMSetupROM would refuse: the engine's reason comes
// from the dialog, which keeps the text for correcting; OK then takes a good offset.
TEST_F(Placement, RefusesWhatTheEngineWouldAndStaysOpen)
{
    struct Case {
        const char *text, *reason;
    };
    for (const Case &c : {Case{"200", "The first bank of the ROM holds the game's sample pointer"},
                          Case{"200200", "A sample bank at 200200 does not fit in this ROM"},
                          Case{"800200", "A sample bank at 800200 cannot be reached"}}) {
        Type(c.text);
        PressOk();
        const ui::MessageBoxInfo box = Box();
        ASSERT_TRUE(box.found) << c.text;
        EXPECT_EQ(box.text.rfind(c.reason, 0), 0u) << box.text;
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, ui::Icon::Error);
        EXPECT_EQ(box.owner, dialog);
        EXPECT_EQ(ui::Text(field), c.text);
        EXPECT_EQ(Result(100), -2) << c.text;
    }
    Type("100200");
    PressOk();
    EXPECT_EQ(Result(), 0x100200);
}

TEST_F(Placement, EnterInTheFieldPressesOk)
{
    EXPECT_EQ(LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0)), IDC_NEWROM_OK);
    Type("100200");
    PostMessageA(field, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(Result(), 0x100200);
}

// Cancel ends the dialog as the close box and Escape do.
TEST_F(Placement, CancelEndsWithMinusOne)
{
    Type("100200");
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(Result(), -1);
}

// -1 is no file offset of any ROM, so that 0 remains the first bank of a headerless one.
TEST_F(Placement, EscapeEndsWithMinusOne)
{
    Type("80200");
    PostMessageA(field, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(Result(), -1);
}

TEST_F(Placement, CloseBoxEndsWithMinusOne)
{
    Type("80200");
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(Result(), -1);
}

class ProposedPlacement : public Placement {
  protected:
    ProposedPlacement() { placement.proposal = 0x1A8200; }
};

TEST_F(ProposedPlacement, StartsWithTheProposalThatOkTakes)
{
    EXPECT_EQ(ui::Text(field), "1A8200");
    PressOk();
    EXPECT_EQ(Result(), 0x1A8200);
}

// The dialog over a stock ROM in the engine whose bank at A0200 is 00 padding but for
// 0x123 bytes of data; the padding past 1 MiB starts at 100200.
class PlacementInARom : public Placement {
  protected:
    PlacementInARom()
    {
        rom = stockrom::Make();
        std::fill(rom.begin() + 0xA0200, rom.begin() + 0xA8200, uint8_t(0));
        for (int i = 0; i < 0x123; ++i)
            rom[size_t(0xA0200 + 0x40 * i)] = uint8_t(1 + i % 0xFE);
    }
};

TEST_F(PlacementInARom, AsksBeforeABankWithDataIsOverwritten)
{
    Type("a0200");
    for (int button : {IDNO, IDYES}) {
        PressOk();
        int defaultButton = 0;
        const ui::MessageBoxInfo box = Answer(button, &defaultButton);
        ASSERT_TRUE(box.found) << button;
        EXPECT_EQ(box.text, "The bank at A0200 is not empty: 291 of its 32768 bytes hold data.\n"
                            "Build the sample bank there anyway? That data will be overwritten.");
        EXPECT_EQ(box.caption, "New ROM");
        EXPECT_EQ(box.icon, ui::Icon::Warning);
        EXPECT_EQ(box.owner, dialog);
        EXPECT_EQ(defaultButton, IDNO) << "Enter must not overwrite data";
        if (button == IDNO) {
            EXPECT_EQ(Result(300), -2) << "No returns to the dialog";
            EXPECT_EQ(ui::Text(field), "a0200");
        }
    }
    EXPECT_EQ(Result(), 0xA0200);
}

TEST_F(PlacementInARom, AFreeBankNeedsNoQuestion)
{
    Type("108200");
    PressOk();
    EXPECT_EQ(Result(), 0x108200);
    EXPECT_FALSE(Box(100).found);
}

class HeaderlessPlacement : public Placement {
  protected:
    HeaderlessPlacement()
    {
        placement.header = 0;
        rom.erase(rom.begin(), rom.begin() + stockrom::kHeaderSize);
    }
};

TEST_F(HeaderlessPlacement, TakesTheFilesOwnBankStartsAndSaysSo)
{
    const std::string text = ui::Text(GetDlgItem(dialog, IDC_NEWROM_TEXT));
    EXPECT_NE(text.find("no copier header"), std::string::npos) << text;
    EXPECT_NE(text.find("multiple of 8000, e.g. 80000"), std::string::npos) << text;
    for (const char *refused : {"80200", "200", "8000 0", "7FFF"}) {
        Type(refused);
        PressOk();
        const ui::MessageBoxInfo box = Box();
        EXPECT_EQ(box.text, CheckHexValid(refused)
                                ? "Invalid pointer input"
                                : "Pointer is not on 32kb boundary\ni.e. 80000, 88000, 90000...")
            << refused;
        EXPECT_EQ(box.owner, dialog);
    }
    // Its first bank, at 0, is refused as the engine refuses it.
    Type("0");
    PressOk();
    EXPECT_EQ(Box().text.rfind("The first bank of the ROM holds", 0), 0u);
    Type("100000");
    PressOk();
    EXPECT_EQ(Result(), 0x100000);
}

} // namespace
