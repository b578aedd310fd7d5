// The built program as a user runs it: TarvoSamples.exe copied into a folder of its own
// (with or without snesbrr.exe beside it), started from another folder, and driven
// from this process through its windows.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files.h"
#include "resource.h"
#include "stockrom.h"
#include "ui.h"

namespace {

// Bank layout offsets, from the bank's first byte.
constexpr size_t kDirectory = 0x000C, kData = 0x0110, kCounter = 0x7FF6, kBankSize = 0x8000;
constexpr size_t kBank = 0x100200; // where the test places the bank: ROM bank 0x20
constexpr int kSlot = 0x14;

struct Windows {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<Windows *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (pid == search->pid && IsWindowVisible(window) && std::string(name) == "#32770")
        search->found.push_back(window);
    return TRUE;
}

class Program : public ::testing::Test {
  protected:
    void SetUp() override
    {
        programDir = files::TempDir("program");
        workDir = files::TempDir("work dir");
        ASSERT_TRUE(Copy("TarvoSamples.exe"));
    }

    void TearDown() override
    {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 99);
                WaitForSingleObject(process.hProcess, 5000);
            }
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        files::Remove(programDir);
        files::Remove(workDir);
    }

    bool Copy(const char *name)
    {
        const std::string from = files::ProgramDir() + "\\" + name, to = programDir + "\\" + name;
        return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
    }

    // Starts the copy with the work folder as its current directory.
    void Start()
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string exe = programDir + "\\TarvoSamples.exe";
        std::string line = "\"" + exe + "\"";
        ASSERT_TRUE(CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   workDir.c_str(), &startup, &process));
    }

    // Visible dialog-class windows of the process: the main window and its boxes.
    std::vector<HWND> Dialogs() const
    {
        Windows search{process.dwProcessId, {}};
        EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // Exit code once the process has ended, or -1 when it is still running.
    long ExitCode(int timeoutMs = 10000)
    {
        if (WaitForSingleObject(process.hProcess, DWORD(timeoutMs)) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return long(code);
    }

    HWND MainWindow() { return ui::WaitDialog(process.dwThreadId, "Tarvo Samples", 15000); }

    std::string programDir, workDir;
    PROCESS_INFORMATION process{};
};

TEST_F(Program, WithTheEncoderBesideItShowsTheMainWindowAndEndsWithZero)
{
    ASSERT_TRUE(Copy("snesbrr.exe"));
    for (UINT message : {WM_SYSCOMMAND, WM_COMMAND}) {
        Start();
        HWND main = MainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(GetWindow(main, GW_OWNER), nullptr);
        EXPECT_EQ(Dialogs().size(), 1u);
        // The close box, then the menu's Exit.
        PostMessageA(main, message, message == WM_SYSCOMMAND ? SC_CLOSE : IDM_EXIT, 0);
        EXPECT_EQ(ExitCode(), 0);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        process = {};
    }
}

TEST_F(Program, WithoutTheEncoderShowsOneBoxAndNoWindow)
{
    // An encoder in the current directory does not count: only the program's own does.
    files::Write(workDir + "\\snesbrr.exe", {0x4D, 0x5A});
    Start();
    HWND box = ui::WaitDialog(process.dwThreadId, nullptr, 15000);
    ASSERT_NE(box, nullptr);
    Sleep(300);
    EXPECT_EQ(Dialogs().size(), 1u) << "exactly one window: the box";
    const ui::MessageBoxInfo info = ui::ReadMessageBox(box);
    EXPECT_EQ(info.caption, "Error");
    EXPECT_EQ(info.text, "snesbrr.exe is inaccessable");
    EXPECT_EQ(info.owner, nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(ExitCode(), 0);
}

TEST_F(Program, AFolderNamedLikeTheEncoderPasses)
{
    ASSERT_TRUE(CreateDirectoryA((programDir + "\\snesbrr.exe").c_str(), nullptr));
    Start();
    HWND main = MainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(ExitCode(), 0);
}

// Reads a slot list entry from another process: ANSI list texts come back as UTF-16
// there, so the wide call is used.
std::string Entry(HWND list, int index)
{
    wchar_t text[64] = L"";
    SendMessageW(list, CB_GETLBTEXT, WPARAM(index), LPARAM(text));
    std::string narrow;
    for (const wchar_t *c = text; *c; ++c)
        narrow += char(*c);
    return narrow;
}

std::vector<std::string> Entries(HWND list)
{
    std::vector<std::string> entries;
    const int count = int(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        entries.push_back(Entry(list, i));
    return entries;
}

using ui::WaitFor;

void Put16(std::vector<uint8_t> &file, size_t at, unsigned value)
{
    file[at] = uint8_t(value);
    file[at + 1] = uint8_t(value >> 8);
}

// The stock ROM as it must be on disk after the bank was placed at kBank and the
// encoded sample was inserted into the empty slot kSlot.
std::vector<uint8_t> ExpectedRom(const std::vector<uint8_t> &brr)
{
    std::vector<uint8_t> file = stockrom::Make();
    const std::vector<uint8_t> stock = file;
    uint8_t *bank = &file[kBank];
    std::memset(bank, 0, kBankSize);
    std::memcpy(bank, "STAR", 4);
    Put16(file, kBank + 4, 0x7FF8);
    Put16(file, kBank + 6, 0x8007);
    Put16(file, kBank + 8, 0x0100);
    Put16(file, kBank + 10, 0x8000);
    std::memcpy(bank + kDirectory, &stock[stockrom::kDirOffset], stockrom::kDirSize);
    Put16(file, kBank + kDirectory + 4 * kSlot, 0xF01C);
    Put16(file, kBank + kDirectory + 4 * kSlot + 2, 0xF01C);
    Put16(file, kBank + 0x10C, 0x7EE2);
    Put16(file, kBank + 0x10E, 0x8100);
    std::memcpy(bank + kData, &stock[stockrom::kDataOffset], stockrom::kDataSize);
    std::memcpy(bank + kData + (0xF01C - 0x8100), brr.data(), brr.size());
    Put16(file, kBank + kCounter, unsigned(0xFC6 - brr.size()));
    std::memcpy(bank + 0x7FF8, "qelvarin", 8);
    // The hooks hold the LoROM address of bank offset 8: bank 0x20, address 0x8008.
    file[0x2FE] = 0x08;
    file[0x303] = 0x80;
    file[0x308] = 0x20;
    return file;
}

// Opens path from the menu; when placement is given, types it into the bank placement
// dialog, which must appear, and returns its text. Returns when the slot list is full.
std::string OpenRom(HWND main, DWORD tid, const std::string &path, const char *placement)
{
    HWND list = GetDlgItem(main, IDC_SLOTS);
    SendMessageW(list, CB_RESETCONTENT, 0, 0); // so that the full list shows the new ROM
    PostMessageA(main, WM_COMMAND, IDM_OPEN, 0);
    EXPECT_TRUE(ui::AnswerOpenDialog(tid, path.c_str(), 10000));
    std::string text;
    if (placement) {
        HWND dialog = ui::WaitDialog(tid, "New ROM", 10000, main);
        EXPECT_NE(dialog, nullptr) << path;
        text = ui::Text(GetDlgItem(dialog, IDC_NEWROM_TEXT));
        SendMessageA(GetDlgItem(dialog, IDC_NEWROM_OFFSET), WM_SETTEXT, 0, LPARAM(placement));
        PostMessageA(dialog, WM_COMMAND, IDC_NEWROM_OK, 0);
    }
    EXPECT_TRUE(WaitFor([&] { return SendMessageW(list, CB_GETCOUNT, 0, 0) == 64; }, 10000))
        << path;
    return text;
}

// Selects a slot as a click does and runs a button's command on it.
void OnSlot(HWND main, int slot, int command)
{
    HWND list = GetDlgItem(main, IDC_SLOTS);
    SendMessageW(list, CB_SETCURSEL, WPARAM(slot), 0);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_SLOTS, CBN_SELCHANGE), LPARAM(list));
    PostMessageA(main, WM_COMMAND, command, 0);
}

TEST_F(Program, PlacesABankInsertsSavesAndReopens)
{
    ASSERT_TRUE(Copy("snesbrr.exe"));
    const std::string data = files::TempDir("my roms");
    const std::string rom = data + "\\stock rom.smc", wav = data + "\\tone one.wav";
    files::Write(rom, stockrom::Make());
    files::Write(wav, files::MakeWav(files::Tone(3000, 330.0)));
    Start();
    const DWORD tid = process.dwThreadId;
    HWND main = MainWindow();
    ASSERT_NE(main, nullptr);
    HWND list = GetDlgItem(main, IDC_SLOTS);

    OpenRom(main, tid, rom, "100200");
    OnSlot(main, kSlot, IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str(), 10000));
    ASSERT_TRUE(WaitFor([&] { return Entry(list, kSlot) == "14: Used"; }, 30000))
        << "the insertion did not finish";
    const std::vector<uint8_t> brr = files::Read(programDir + "\\temp.brr");
    ASSERT_FALSE(brr.empty()) << "the encoder left no temp.brr in the program folder";
    ASSERT_LE(brr.size(), 0xFC6u);
    const std::vector<std::string> entries = Entries(list);
    const std::string free = ui::Text(GetDlgItem(main, IDC_FREE));

    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    const ui::MessageBoxInfo saved = ui::AnswerMessageBox(tid, 10000, main);
    EXPECT_EQ(saved.text, "Save successful");

    const std::vector<uint8_t> file = files::Read(rom);
    const std::vector<uint8_t> expected = ExpectedRom(brr);
    ASSERT_EQ(file.size(), expected.size());
    size_t firstDifference = 0;
    while (firstDifference < file.size() && file[firstDifference] == expected[firstDifference])
        ++firstDifference;
    EXPECT_EQ(firstDifference, file.size())
        << "first wrong byte at file offset " << std::hex << firstDifference;

    // Opened again, the saved ROM needs no placement and shows the same slots.
    PostMessageA(main, WM_COMMAND, IDM_OPEN, 0);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, rom.c_str(), 10000));
    ASSERT_TRUE(WaitFor(
        [&] {
            return Entry(list, kSlot) == "14: Used" && SendMessageW(list, CB_GETCURSEL, 0, 0) == 0;
        },
        10000));
    EXPECT_EQ(ui::WaitDialog(tid, "New ROM", 300, main), nullptr);
    EXPECT_EQ(Entries(list), entries);
    EXPECT_EQ(ui::Text(GetDlgItem(main, IDC_FREE)), free);

    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0);
    files::Remove(data);
}

// The program started with its encoder beside it, its main window shown.
class Running : public Program {
  protected:
    void SetUp() override
    {
        Program::SetUp();
        ASSERT_TRUE(PlaceEncoder());
        Start();
        tid = process.dwThreadId;
        main = MainWindow();
        ASSERT_NE(main, nullptr);
        list = GetDlgItem(main, IDC_SLOTS);
    }

    // Puts the encoder beside the program's copy.
    virtual bool PlaceEncoder() { return Copy("snesbrr.exe"); }

    DWORD tid = 0;
    HWND main = nullptr, list = nullptr;
};

// A headerless file is its headered copy without the first 0x200 bytes. Prepared at the
// same bank (100000 is 100200 without the header), given the same sample, with the same
// sample deleted, saved and reopened, the two files must still differ only by the header.
TEST_F(Running, AHeaderlessRomGoesThroughTheSameStepsAsItsHeaderedCopy)
{
    const std::string data = files::TempDir("headerless");
    const std::string headered = data + "\\game.smc", headerless = data + "\\game.sfc";
    const std::string wav = data + "\\tone.wav";
    const std::vector<uint8_t> stock = stockrom::Make();
    files::Write(headered, stock);
    files::Write(headerless, std::vector<uint8_t>(stock.begin() + 0x200, stock.end()));
    files::Write(wav, files::MakeWav(files::Tone(2000, 330.0)));

    std::vector<std::string> shown[2];
    for (int headerlessRun = 0; headerlessRun < 2; ++headerlessRun) {
        const std::string &rom = headerlessRun ? headerless : headered;
        const std::string text = OpenRom(main, tid, rom, headerlessRun ? "100000" : "100200");
        EXPECT_EQ(text.find("no copier header") != std::string::npos, headerlessRun == 1) << text;
        OnSlot(main, kSlot, IDC_INSERT);
        ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str(), 10000));
        ASSERT_TRUE(WaitFor([&] { return Entry(list, kSlot) == "14: Used"; }, 30000)) << rom;
        OnSlot(main, 5, IDC_DELETE);
        ASSERT_TRUE(WaitFor([&] { return Entry(list, 5) == "05: Unused"; }, 10000)) << rom;
        PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
        EXPECT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");

        OpenRom(main, tid, rom, nullptr);
        EXPECT_EQ(ui::WaitDialog(tid, "New ROM", 300, main), nullptr) << "the bank was saved";
        shown[headerlessRun] = Entries(list);
        shown[headerlessRun].push_back(ui::Text(GetDlgItem(main, IDC_FREE)));
    }
    EXPECT_EQ(shown[1], shown[0]);
    EXPECT_EQ(shown[0][kSlot], "14: Used");
    const std::vector<uint8_t> withHeader = files::Read(headered),
                               without = files::Read(headerless);
    ASSERT_EQ(without.size(), stock.size() - 0x200) << "saved at its own size, without a header";
    ASSERT_EQ(withHeader.size(), stock.size());
    EXPECT_TRUE(std::equal(stock.begin(), stock.begin() + 0x200, withHeader.begin()));
    EXPECT_TRUE(std::equal(without.begin(), without.end(), withHeader.begin() + 0x200));
    EXPECT_NE(withHeader, stock) << "the steps changed nothing";

    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0);
    files::Remove(data);
}

// Answers every message box of the program until none comes for a while; each must be
// owned by the main window, which must take no input while it is shown. During the
// first, during(box) runs the commands a user might try.
std::vector<std::string> AnswerBoxes(HWND main, DWORD tid, const std::function<void()> &during)
{
    std::vector<std::string> texts;
    while (HWND box = ui::WaitDialog(tid, nullptr, texts.empty() ? 30000 : 2000, main)) {
        const ui::MessageBoxInfo info = ui::ReadMessageBox(box);
        EXPECT_EQ(info.owner, main) << info.text;
        EXPECT_FALSE(IsWindowEnabled(main)) << info.text;
        if (texts.empty())
            during();
        // A window that the commands opened is not a box: cancel it and say so.
        if (HWND other = ui::WaitDialog(tid, "Open", 500, main)) {
            ADD_FAILURE() << "a command ran in the middle of: " << info.text;
            PostMessageA(other, WM_COMMAND, IDCANCEL, 0);
            Sleep(300);
        }
        texts.push_back(info.caption + ": " + info.text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !IsWindow(box); }, 5000);
    }
    return texts;
}

// The box of a failed Open: File > Open and Cancel in the middle of it left the window
// showing the old ROM's slots with no ROM behind them. The loaded ROM stays usable.
TEST_F(Running, NoCommandRunsDuringTheBoxOfAFailedOpen)
{
    const std::string rom = workDir + "\\stock.smc", locked = workDir + "\\locked.smc";
    files::Write(rom, stockrom::Make());
    files::Write(locked, stockrom::Make());
    OpenRom(main, tid, rom, "100200");
    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    ASSERT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");

    // Another program keeps the file from being written: the open fails.
    HANDLE other = CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    PostMessageA(main, WM_COMMAND, IDM_OPEN, 0);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, locked.c_str(), 10000));
    const std::vector<std::string> boxes = AnswerBoxes(main, tid, [&] {
        PostMessageA(main, WM_COMMAND, IDM_OPEN, 0);
        ui::AnswerOpenDialog(tid, nullptr, 1000);
    });
    CloseHandle(other);
    EXPECT_EQ(boxes, std::vector<std::string>{"FileOpen: Invalid source path"});
    Sleep(300);
    EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 64);
    EXPECT_TRUE(IsWindowEnabled(list));
    EXPECT_EQ(ui::Text(main), "stock.smc - Tarvo Samples");
}

// The boxes of an encoder run that wrote nothing: Play on a used slot in the middle of
// the first rewrote temp.brr, and the played sample was inserted into the empty slot.
TEST_F(Running, NoCommandRunsDuringTheBoxesOfAnEncodeThatWroteNothing)
{
    const std::string rom = workDir + "\\stock.smc", wav = workDir + "\\broken.wav";
    files::Write(rom, stockrom::Make());
    files::Write(wav, {'N', 'O', 'T', ' ', 'A', ' ', 'W', 'A', 'V'});
    OpenRom(main, tid, rom, "100200");
    const std::string free = ui::Text(GetDlgItem(main, IDC_FREE));

    OnSlot(main, kSlot, IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str(), 10000));
    const std::vector<std::string> boxes =
        AnswerBoxes(main, tid, [&] { OnSlot(main, 0, IDC_PLAY); });
    ASSERT_EQ(boxes.size(), 1u) << "one failure, one box";
    EXPECT_EQ(boxes[0].rfind("Error: The encoder could not encode this WAV file.\nNothing was "
                             "inserted.\nsnesbrr.exe said: snesbrr: ",
                             0),
              0u)
        << boxes[0];
    Sleep(300);
    EXPECT_EQ(Entry(list, kSlot), "14: Unused");
    EXPECT_EQ(ui::Text(GetDlgItem(main, IDC_FREE)), free);
    EXPECT_FALSE(files::Exists(programDir + "\\temp.wav")) << "Play ran";
}

} // namespace

namespace {

// Export and Insert through the running program: a looping stock sample leaves as a
// headered .brr file and goes back in, into another slot, with the same bytes and loop.
TEST_F(Running, ExportsASampleAndInsertsItAgainWithItsLoop)
{
    const std::string data = files::TempDir("my samples");
    const std::string rom = data + "\\stock.smc", brr = data + "\\slot zero.brr";
    files::Write(rom, stockrom::Make());
    OpenRom(main, tid, rom, "100200");

    // Slot 0 is selected after the open: a stock sample that loops over its second half.
    PostMessageA(main, WM_COMMAND, IDM_EXPORT, 0);
    ASSERT_TRUE(ui::AnswerSaveDialog(tid, brr.c_str(), -1, 10000));
    ASSERT_TRUE(WaitFor([&] { return files::Exists(brr); }, 10000)) << "nothing exported";
    const stockrom::Entry first = stockrom::Directory()[0], second = stockrom::Directory()[1];
    const std::vector<uint8_t> stock = stockrom::Make();
    std::vector<uint8_t> expected = {uint8_t(first.loop - first.start),
                                     uint8_t((first.loop - first.start) >> 8)};
    const size_t from = stockrom::kDataOffset + (first.start - 0x8100);
    expected.insert(expected.end(), stock.begin() + long(from),
                    stock.begin() + long(from + (second.start - first.start)));
    EXPECT_EQ(files::Read(brr), expected);

    OnSlot(main, kSlot, IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, brr.c_str(), 10000));
    ASSERT_TRUE(WaitFor([&] { return Entry(list, kSlot) == "14: Used"; }, 10000));
    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    EXPECT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");

    const std::vector<uint8_t> file = files::Read(rom);
    const size_t entry = kBank + kDirectory + 4 * kSlot, at = kBank + kData + (0xF01C - 0x8100);
    ASSERT_GT(file.size(), at + expected.size());
    EXPECT_EQ(file[entry] | file[entry + 1] << 8, 0xF01C);
    EXPECT_EQ(file[entry + 2] | file[entry + 3] << 8, 0xF01C + (first.loop - first.start));
    EXPECT_TRUE(std::equal(expected.begin() + 2, expected.end(), file.begin() + long(at)));
    EXPECT_EQ(file[kBank + kCounter] | file[kBank + kCounter + 1] << 8,
              int(0xFC6 - (expected.size() - 2)));

    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0);
    files::Remove(data);
}

} // namespace

namespace {

// A bank that holds data is built over only when the user says so: No leaves the file
// as it was and the dialog open, and the free bank that the field proposes then takes
// the sample bank, with every other byte kept through the save.
TEST_F(Running, AsksBeforeOverwritingDataAndBuildsInTheFreeBank)
{
    const std::string rom = workDir + "\\stock.smc";
    std::vector<uint8_t> stock = stockrom::Make();
    for (size_t i = 0; i < 100; ++i)
        stock[0x108200 + 0x100 * i] = 0x77; // the padding's second bank holds data
    files::Write(rom, stock);
    PostMessageA(main, WM_COMMAND, IDM_OPEN, 0);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, rom.c_str(), 10000));
    HWND dialog = ui::WaitDialog(tid, "New ROM", 10000, main);
    ASSERT_NE(dialog, nullptr);
    HWND field = GetDlgItem(dialog, IDC_NEWROM_OFFSET);
    EXPECT_EQ(ui::Text(field), "100200");

    SendMessageA(field, WM_SETTEXT, 0, LPARAM("108200"));
    PostMessageA(dialog, WM_COMMAND, IDC_NEWROM_OK, 0);
    HWND box = ui::WaitDialog(tid, "New ROM", 10000, dialog);
    ASSERT_NE(box, nullptr) << "no question";
    const ui::MessageBoxInfo question = ui::ReadMessageBox(box);
    EXPECT_EQ(question.text, "The bank at 108200 is not empty: 100 of its 32768 bytes hold "
                             "data.\nBuild the sample bank there anyway? That data will be "
                             "overwritten.");
    EXPECT_EQ(question.owner, dialog);
    PostMessageA(box, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(ui::Text(field), "108200");
    EXPECT_EQ(files::Read(rom), stock);

    SendMessageA(field, WM_SETTEXT, 0, LPARAM("100200"));
    PostMessageA(dialog, WM_COMMAND, IDC_NEWROM_OK, 0);
    ASSERT_TRUE(WaitFor([&] { return SendMessageW(list, CB_GETCOUNT, 0, 0) == 64; }, 10000))
        << "no bank was built in the free bank";
    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    EXPECT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");
    const std::vector<uint8_t> file = files::Read(rom);
    ASSERT_EQ(file.size(), stock.size());
    EXPECT_EQ(std::memcmp(&file[kBank + 0x7FF8], "qelvarin", 8), 0);
    EXPECT_EQ(file[0x308], 0x20) << "the hooks lead to bank 0x20, at file offset 100200";
    // Only the new bank and the three hook bytes may differ.
    size_t stray = 0;
    while (stray < file.size() &&
           (file[stray] == stock[stray] || (stray >= kBank && stray < kBank + kBankSize) ||
            stray == 0x2FE || stray == 0x303 || stray == 0x308))
        ++stray;
    EXPECT_EQ(stray, file.size()) << "a byte outside the new bank changed at " << std::hex
                                  << stray;

    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0);
}

// A 44.1 kHz recording four times too large for the free space goes in at the rate the
// program offers, and the ROM holds exactly the encoder's output at that rate.
TEST_F(Running, ASampleTooLargeGoesInAtTheOfferedRate)
{
    const std::string rom = workDir + "\\stock.smc", wav = workDir + "\\long.wav";
    files::Write(rom, stockrom::Make());
    files::Write(wav, files::MakeWav(files::Tone(44100, 330.0), 44100));
    OpenRom(main, tid, rom, "100200");
    OnSlot(main, kSlot, IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str(), 10000));
    HWND question = ui::WaitDialog(tid, "Insert", 30000, main);
    ASSERT_NE(question, nullptr);
    unsigned rate = 0;
    EXPECT_EQ(std::sscanf(ui::ReadMessageBox(question).text.c_str(),
                          "This sample needs %*X bytes at 32000 Hz, and FC6 bytes are free.\n"
                          "Encode it at %u Hz",
                          &rate),
              1);
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    EXPECT_EQ(ui::WaitDialog(tid, "Tuning", 30000, main) != nullptr, true);
    EXPECT_EQ(ui::AnswerMessageBox(tid, 5000, main).text.rfind(
                  "This sample was encoded at " + std::to_string(rate) + " Hz", 0),
              0u);
    ASSERT_TRUE(WaitFor([&] { return Entry(list, kSlot) == "14: Used"; }, 10000));
    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    EXPECT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");

    const std::vector<uint8_t> brr = files::Read(programDir + "\\temp.brr");
    ASSERT_FALSE(brr.empty());
    ASSERT_LE(brr.size(), 0xFC6u);
    const std::vector<uint8_t> file = files::Read(rom);
    EXPECT_EQ(file[kBank + kDirectory + 4 * kSlot] | file[kBank + kDirectory + 4 * kSlot + 1] << 8,
              0xF01C);
    EXPECT_TRUE(std::equal(brr.begin(), brr.end(), file.begin() + kBank + kData + (0xF01C - 0x8100)));
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0);
}

} // namespace

namespace {

// A folder that script/test mounted for a fault, as Wine names it; empty when the
// variable is not set (the mounts need root), and the test is then skipped.
std::string FaultDir(const char *variable)
{
    const char *dir = std::getenv(variable);
    if (!dir || !*dir)
        return "";
    std::string path = std::string("Z:") + dir;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// A full disk: Save fails at the backup or the new image, the ROM file keeps every byte,
// nothing is left beside it, and the window keeps the changes until there is room.
TEST_F(Running, ASaveOnAFullDiskLosesNothingAndSucceedsOnceThereIsRoom)
{
    const std::string disk = FaultDir("TARVO_FULL_DISK");
    if (disk.empty())
        GTEST_SKIP() << "TARVO_FULL_DISK names no small disk (script/test mounts one as root)";
    const std::string rom = disk + "\\game.smc", filler = disk + "\\filler.bin";
    const std::vector<uint8_t> stock = stockrom::Make();
    files::Write(rom, stock);
    ULARGE_INTEGER room{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(disk.c_str(), &room, nullptr, nullptr));
    // Leave room for less than one more copy of the ROM.
    files::Write(filler, std::vector<uint8_t>(size_t(room.QuadPart) - stock.size() / 2, 0xEE));
    const std::vector<std::string> before = files::List(disk);

    OpenRom(main, tid, rom, "100200");
    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    const ui::MessageBoxInfo failed = ui::AnswerMessageBox(tid, 10000, main);
    EXPECT_EQ(failed.caption, "Save Error");
    EXPECT_EQ(failed.text.rfind("Save failed\n", 0), 0u) << failed.text;
    EXPECT_GT(failed.text.size(), 13u) << "a second line names the reason";
    EXPECT_EQ(files::Read(rom), stock);
    EXPECT_EQ(files::List(disk), before) << "no partial file is left";
    EXPECT_EQ(ui::Text(main), "*game.smc - Tarvo Samples");

    files::Remove(filler);
    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    EXPECT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");
    EXPECT_EQ(files::Read(rom + ".bak"), stock);
    const std::vector<uint8_t> saved = files::Read(rom);
    ASSERT_EQ(saved.size(), stock.size());
    EXPECT_EQ(std::memcmp(&saved[kBank + 0x7FF8], "qelvarin", 8), 0);
    EXPECT_EQ(ui::Text(main), "game.smc - Tarvo Samples");
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0);
    files::Remove(rom);
    files::Remove(rom + ".bak");
}

// Files the program may not write: a ROM on a read-only disk does not open (the loaded
// one stays), and an export into a read-only folder or over a file that another program
// holds writes nothing and keeps the old file whole.
TEST_F(Running, ReadOnlyAndHeldFilesAreNeverHalfWritten)
{
    const std::string rom = workDir + "\\stock.smc";
    files::Write(rom, stockrom::Make());
    OpenRom(main, tid, rom, "100200");
    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    ASSERT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");
    const std::vector<uint8_t> saved = files::Read(rom);

    const std::string held = workDir + "\\held.brr";
    files::Write(held, {1, 2, 3});
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    OnSlot(main, 0, IDM_EXPORT);
    ASSERT_TRUE(ui::AnswerSaveDialog(tid, held.c_str(), -1, 10000));
    HWND question = ui::WaitDialog(tid, "Export Sample", 10000, main);
    ASSERT_NE(question, nullptr);
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    WaitFor([&] { return !IsWindow(question); }, 5000);
    const ui::MessageBoxInfo failed = ui::AnswerMessageBox(tid, 10000, main);
    CloseHandle(holder);
    EXPECT_EQ(failed.text.rfind(held + " could not be written.\n", 0), 0u) << failed.text;
    EXPECT_EQ(files::Read(held), std::vector<uint8_t>({1, 2, 3}));

    const std::string readOnly = FaultDir("TARVO_READONLY_DIR");
    if (!readOnly.empty()) {
        const std::vector<std::string> before = files::List(readOnly);
        OnSlot(main, 0, IDM_EXPORT);
        ASSERT_TRUE(ui::AnswerSaveDialog(tid, (readOnly + "\\slot.brr").c_str(), -1, 10000));
        const ui::MessageBoxInfo refused = ui::AnswerMessageBox(tid, 10000, main);
        EXPECT_NE(refused.text.find("could not be written.\n"), std::string::npos) << refused.text;
        EXPECT_EQ(files::List(readOnly), before);

        PostMessageA(main, WM_COMMAND, IDM_OPEN, 0);
        ASSERT_TRUE(ui::AnswerOpenDialog(tid, (readOnly + "\\readonly.smc").c_str(), 10000));
        EXPECT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Invalid source path");
    }
    Sleep(300);
    EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 64) << "the loaded ROM stays";
    EXPECT_EQ(files::Read(rom), saved);
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0) << "nothing unsaved, nothing asked";
    if (readOnly.empty())
        GTEST_SKIP() << "TARVO_READONLY_DIR names no read-only disk; the held file was tested";
}

// The program with a broken encoder beside it: one that crashes, writes garbage, says
// why it fails, or hangs. Nothing is inserted, the window's changes survive, and a hung
// run can be stopped.
class BrokenEncoder : public Running {
  protected:
    bool PlaceEncoder() override
    {
        return CopyFileA(FAKE_SNESBRR_PATH, (programDir + "\\snesbrr.exe").c_str(), FALSE) != FALSE;
    }
};

TEST_F(BrokenEncoder, InsertsNothingAndAHungRunCanBeStopped)
{
    const std::string rom = workDir + "\\stock.smc";
    files::Write(rom, stockrom::Make());
    OpenRom(main, tid, rom, "100200");
    OnSlot(main, 3, IDC_DELETE); // a change that must survive
    ASSERT_TRUE(WaitFor([&] { return Entry(list, 3) == "03: Unused"; }, 10000));
    const std::string free = ui::Text(GetDlgItem(main, IDC_FREE));

    const std::string crashes = "CRASH", garbage(18, '\x42'), says = "SAYbad input";
    for (const std::string &input : {crashes, garbage, says}) {
        const std::string wav = workDir + "\\broken.wav";
        files::Write(wav, std::vector<uint8_t>(input.begin(), input.end()));
        OnSlot(main, kSlot, IDC_INSERT);
        ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str(), 10000));
        const std::vector<std::string> boxes = AnswerBoxes(main, tid, [] {});
        EXPECT_EQ(boxes.size(), 1u) << input;
        EXPECT_EQ(Entry(list, kSlot), "14: Unused") << input;
        EXPECT_EQ(ui::Text(GetDlgItem(main, IDC_FREE)), free) << input;
    }

    // A run that never ends: after 30 seconds the window asks, and Yes stops it.
    files::Write(workDir + "\\hangs.wav", {'H', 'A', 'N', 'G'});
    OnSlot(main, kSlot, IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, (workDir + "\\hangs.wav").c_str(), 10000));
    HWND question = ui::WaitDialog(tid, "Tarvo Samples", 45000, main);
    ASSERT_NE(question, nullptr);
    const ui::MessageBoxInfo asked = ui::ReadMessageBox(question);
    EXPECT_EQ(asked.text, "snesbrr.exe has been running for 30 seconds.\nStop it?");
    EXPECT_EQ(asked.owner, main);
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    WaitFor([&] { return !IsWindow(question); }, 5000);
    EXPECT_EQ(ui::WaitDialog(tid, nullptr, 1500, main), nullptr) << "nothing more is said";
    EXPECT_EQ(Entry(list, kSlot), "14: Unused");
    EXPECT_EQ(Entry(list, 3), "03: Unused") << "the window's changes survive";
    EXPECT_TRUE(IsWindowEnabled(main));

    PostMessageA(main, WM_COMMAND, IDM_SAVE, 0);
    EXPECT_EQ(ui::AnswerMessageBox(tid, 10000, main).text, "Save successful");
    const std::vector<uint8_t> saved = files::Read(rom);
    EXPECT_EQ(saved[kBank + kDirectory + 4 * kSlot], 0) << "no sample was saved in the slot";
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(ExitCode(), 0);
}

} // namespace
