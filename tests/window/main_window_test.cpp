// The main window driven as a person would, on real files: the No ROM and ROM loaded
// states, Open with the bank placement dialog, the slot rules (Export Sample included),
// Insert, Play, Delete, Save, the choosers' Cancel, About and the ways out.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "FileIO.h"
#include "driver.h"
#include "files.h"
#include "resource.h"
#include "snesbrr.h"
#include "stockrom.h"
#include "version.h"

namespace {

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// The 64 labels of a freshly prepared stock ROM.
std::vector<std::string> StockLabels()
{
    std::vector<std::string> labels;
    const std::vector<stockrom::Entry> dir = stockrom::Directory();
    for (int i = 0; i < 64; ++i) {
        char text[16];
        const bool used = i < int(dir.size()) && dir[size_t(i)].start != 0;
        std::snprintf(text, sizeof text, used ? "%.2X: Used" : "%.2X: Unused", unsigned(i));
        labels.push_back(text);
    }
    return labels;
}

// "N bytes" of a stock sample: from its start to the next start, or to the end of the
// stock data (the free area's start in a fresh bank).
std::string StockSize(const stockrom::Entry &sample)
{
    unsigned next = stockrom::kDataEnd;
    for (const stockrom::Entry &other : stockrom::Directory())
        if (other.start > sample.start && other.start < next)
            next = other.start;
    return Hex(next - sample.start) + " bytes";
}

// Width in pixels of text drawn in the control's font.
int TextWidth(HWND control, const std::string &text)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

BOOL CALLBACK AddStatic(HWND control, LPARAM list)
{
    char kind[16] = "";
    GetClassNameA(control, kind, sizeof kind);
    if (lstrcmpiA(kind, "Static") == 0)
        reinterpret_cast<std::vector<HWND> *>(list)->push_back(control);
    return TRUE;
}

// "id: text" of each static text of the window that is wider than its control or that
// the window's client area (below the menu) does not hold whole.
std::vector<std::string> CutOff(HWND window)
{
    std::vector<HWND> statics;
    EnumChildWindows(window, AddStatic, LPARAM(&statics));
    RECT area;
    GetClientRect(window, &area);
    std::vector<std::string> cut;
    for (HWND control : statics) {
        RECT client, inWindow;
        GetClientRect(control, &client);
        GetWindowRect(control, &inWindow);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&inWindow), 2);
        const std::string text = ui::Text(control);
        if (TextWidth(control, text) > client.right || inWindow.left < 0 || inWindow.top < 0 ||
            inWindow.right > area.right || inWindow.bottom > area.bottom)
            cut.push_back(std::to_string(GetDlgCtrlID(control)) + ": " + text);
    }
    return cut;
}

const char kPlacement[] = "100200"; // a free bank of the 2 MiB stock ROM
constexpr int kSlot = 0x14;         // the first empty slot of a prepared stock ROM

class Window : public MainWindow {
  protected:
    // A stock ROM opened and given its bank; the window then shows the ROM loaded state.
    void OpenStock(const char *name = "stock.smc")
    {
        rom = StockRom(name);
        Open(rom, kPlacement);
        ASSERT_EQ(Entries().size(), 64u) << "the stock ROM did not load";
    }

    // Inserts the test's WAV file into the selected slot; returns the encoded bytes.
    std::vector<uint8_t> InsertWav()
    {
        const std::string wav = Wav("tone.wav");
        Post(IDC_INSERT);
        EXPECT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str())) << "no WAV chooser";
        Settle();
        return files::Read(Path("temp.brr"));
    }

    // Slot rules as the buttons and the pitch field show them.
    void ExpectSlotRules(bool used)
    {
        EXPECT_EQ(Enabled(IDC_PLAY), used);
        EXPECT_EQ(Enabled(IDC_DELETE), used);
        EXPECT_EQ(Enabled(IDC_PITCH), used);
        EXPECT_EQ(Enabled(IDC_INSERT), !used);
        EXPECT_EQ(Enabled(IDC_INSERT_LOOPED), !used);
        EXPECT_EQ(MenuEnabled(IDM_EXPORT), used);
    }

    struct Screen {
        std::vector<std::string> entries;
        int selection;
        std::string start, loop, size, free, pitch;
        bool list, play, del, insert, looped, pitchField, save;
        bool operator==(const Screen &o) const
        {
            return entries == o.entries && selection == o.selection && start == o.start &&
                   loop == o.loop && size == o.size && free == o.free && pitch == o.pitch && list == o.list &&
                   play == o.play && del == o.del && insert == o.insert && looped == o.looped &&
                   pitchField == o.pitchField && save == o.save;
        }
    };

    Screen Capture() const
    {
        return {Entries(),
                Selection(),
                Text(IDC_START),
                Text(IDC_LOOP),
                Text(IDC_SLOT_SIZE),
                Text(IDC_FREE),
                Text(IDC_PITCH),
                Enabled(IDC_SLOTS),
                Enabled(IDC_PLAY),
                Enabled(IDC_DELETE),
                Enabled(IDC_INSERT),
                Enabled(IDC_INSERT_LOOPED),
                Enabled(IDC_PITCH),
                SaveEnabled()};
    }

    std::string rom;
};

TEST_F(Window, StartsWithOnlyOpenExitAndAboutUsable)
{
    EXPECT_TRUE(NoRomState());
    EXPECT_EQ(Text(IDC_START), "0");
    EXPECT_EQ(Text(IDC_LOOP), "0");
    EXPECT_EQ(Text(IDC_SLOT_SIZE), "0 bytes");
    EXPECT_EQ(Text(IDC_FREE), "0 bytes");
    EXPECT_EQ(Text(IDC_PITCH), "");
    HMENU menu = GetMenu(main);
    for (UINT id : {IDM_OPEN, IDM_EXIT, IDM_ABOUT})
        EXPECT_EQ(GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED), 0u) << id;

    // Commands of a loaded ROM that arrive anyway (another program may post them) find
    // nothing to work on and must neither crash nor show anything.
    for (int id : {IDM_SAVE, IDM_EXPORT, IDC_PLAY, IDC_DELETE, IDC_INSERT, IDC_INSERT_LOOPED})
        Post(id);
    EXPECT_EQ(OtherDialog(300), nullptr);

    // Cancelling the ROM chooser with nothing loaded keeps the No ROM state.
    Post(IDM_OPEN);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, nullptr));
    Settle();
    EXPECT_TRUE(NoRomState());
    EXPECT_EQ(OtherDialog(200), nullptr);
}

TEST_F(Window, OpenOfAStockRomShowsTheNewBank)
{
    rom = StockRom("stock.smc");
    Post(IDM_OPEN);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, rom.c_str()));
    HWND placement = WaitPlacement();
    ASSERT_NE(placement, nullptr);
    EXPECT_EQ(GetWindow(placement, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main)) << "the main window takes no input meanwhile";
    // The field proposes the first free bank past the game's 1 MiB, and OK takes it.
    EXPECT_EQ(ui::Text(GetDlgItem(placement, IDC_NEWROM_OFFSET)), kPlacement);
    PostMessageA(placement, WM_COMMAND, MAKEWPARAM(IDC_NEWROM_OK, BN_CLICKED), 0);
    WaitGone(placement);
    Settle();

    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_EQ(Entries(), StockLabels());
    EXPECT_EQ(Selection(), 0);
    EXPECT_EQ(Text(IDC_PITCH), "1000");
    const stockrom::Entry first = stockrom::Directory()[0];
    EXPECT_EQ(Text(IDC_START), Hex(first.start));
    EXPECT_EQ(Text(IDC_LOOP), Hex(first.loop));
    EXPECT_EQ(Text(IDC_SLOT_SIZE), StockSize(first));
    EXPECT_EQ(Text(IDC_FREE), "FC6 bytes");
    EXPECT_TRUE(Enabled(IDC_SLOTS));
    EXPECT_TRUE(SaveEnabled());
    ExpectSlotRules(true);
    // The bank exists in the ROM image only; the file is untouched until Save.
    EXPECT_EQ(std::memcmp(ROMMem + 0x100200, "STAR", 4), 0);
    EXPECT_EQ(files::Read(rom), stockrom::Make());
}

TEST_F(Window, ClosedOrRefusedPlacementLeavesNoRom)
{
    rom = StockRom("stock.smc");
    const std::vector<uint8_t> stock = stockrom::Make();
    struct Way {
        const char *name;
        UINT message;
        WPARAM wParam;
        bool toField;
    };
    for (const Way &way : {Way{"close box", WM_SYSCOMMAND, SC_CLOSE, false},
                           Way{"Escape", WM_KEYDOWN, VK_ESCAPE, true}}) {
        Post(IDM_OPEN);
        ASSERT_TRUE(ui::AnswerOpenDialog(tid, rom.c_str()));
        HWND placement = WaitPlacement();
        ASSERT_NE(placement, nullptr) << way.name;
        HWND field = GetDlgItem(placement, IDC_NEWROM_OFFSET);
        Type(field, "80200");
        PostMessageA(way.toField ? field : placement, way.message, way.wParam, 1);
        WaitGone(placement);
        Settle();
        EXPECT_EQ(OtherDialog(200), nullptr) << way.name;
        EXPECT_TRUE(NoRomState()) << way.name;
        ASSERT_EQ(ROMSize, int(stock.size()));
        EXPECT_EQ(std::memcmp(ROMMem, stock.data(), stock.size()), 0)
            << "the ROM image changed: " << way.name;
    }

    // Refusals, the dialog's own and the engine's (a bank past the end of this ROM),
    // come from the dialog and leave it open; Cancel then leaves no ROM.
    Post(IDM_OPEN);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, rom.c_str()));
    HWND placement = WaitPlacement();
    ASSERT_NE(placement, nullptr);
    for (const char *refused : {"80201", "200200"}) {
        Type(GetDlgItem(placement, IDC_NEWROM_OFFSET), refused);
        PostMessageA(placement, WM_COMMAND, MAKEWPARAM(IDC_NEWROM_OK, BN_CLICKED), 0);
        HWND box = OtherDialog(3000, placement);
        EXPECT_EQ(ui::ReadMessageBox(box).owner, placement) << refused;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitGone(box);
        ASSERT_TRUE(IsWindow(placement)) << refused;
    }
    PostMessageA(GetDlgItem(placement, IDCANCEL), BM_CLICK, 0, 0);
    WaitGone(placement);
    Settle();
    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_TRUE(NoRomState());
    EXPECT_EQ(std::memcmp(ROMMem, stock.data(), stock.size()), 0);
}

TEST_F(Window, SlotRulesFollowTheSelection)
{
    OpenStock();
    const stockrom::Entry fifth = stockrom::Directory()[5];

    Select(0x20);
    EXPECT_EQ(Text(IDC_START), "0");
    EXPECT_EQ(Text(IDC_LOOP), "0");
    EXPECT_EQ(Text(IDC_SLOT_SIZE), "0 bytes");
    ExpectSlotRules(false);
    // Export of an empty slot, posted anyway, opens nothing.
    Post(IDM_EXPORT);
    EXPECT_EQ(OtherDialog(300), nullptr);

    Select(5);
    EXPECT_EQ(Text(IDC_START), Hex(fifth.start));
    EXPECT_EQ(Text(IDC_LOOP), Hex(fifth.loop));
    EXPECT_EQ(Text(IDC_SLOT_SIZE), StockSize(fifth));
    ExpectSlotRules(true);
    EXPECT_EQ(Entries(), StockLabels()) << "a selection change relabels nothing";
}

TEST_F(Window, InsertPlayAndDeleteInAFreshBank)
{
    OpenStock();
    Select(kSlot);
    const std::vector<uint8_t> brr = InsertWav();
    ASSERT_FALSE(brr.empty()) << "the encoder wrote nothing";
    ASSERT_EQ(brr.size() % 9, 0u) << "BRR data comes in blocks of 9 bytes";
    EXPECT_EQ(OtherDialog(200), nullptr);
    std::vector<std::string> labels = StockLabels();
    labels[kSlot] = "14: Used";
    EXPECT_EQ(Entries(), labels);
    EXPECT_EQ(Selection(), kSlot);
    EXPECT_EQ(Text(IDC_START), "F01C");
    EXPECT_EQ(Text(IDC_LOOP), "F01C");
    EXPECT_EQ(Text(IDC_SLOT_SIZE), Hex(unsigned(brr.size())) + " bytes");
    EXPECT_EQ(Text(IDC_FREE), Hex(unsigned(0xFC6 - brr.size())) + " bytes");
    ExpectSlotRules(true);

    HWND pitch = Item(IDC_PITCH);
    // Pitches the sound processor takes, in either case, play the selected sample.
    for (const char *text : {"1000", "3FFF", "3fff", "0"}) {
        files::Remove(Path("temp.wav"));
        files::Remove(Path("temp.brr"));
        Type(pitch, text);
        Send(IDC_PLAY);
        EXPECT_EQ(OtherDialog(100), nullptr) << text;
        EXPECT_EQ(files::Read(Path("temp.brr")), brr)
            << "Play must hand over the selected sample: " << text;
        EXPECT_TRUE(files::Exists(Path("temp.wav"))) << "nothing was decoded for " << text;
        EXPECT_TRUE(BRRSounding()) << "Play restarts the sound: " << text;
    }
    struct Bad {
        const char *text, *message;
    };
    for (const Bad &bad :
         {Bad{"", "No input"}, Bad{"4000", "Pitch too high.  Input a value 0 - 0x3FFF."},
          Bad{"0x10", "Invalid pitch input"}, Bad{"-1", "Invalid pitch input"},
          Bad{" 10", "Invalid pitch input"}}) {
        files::Remove(Path("temp.wav"));
        Type(pitch, bad.text);
        ASSERT_EQ(Text(IDC_PITCH), bad.text) << "the field did not take the text";
        Post(IDC_PLAY);
        ui::MessageBoxInfo box = Answer("Error");
        ASSERT_TRUE(box.found) << '"' << bad.text << '"';
        EXPECT_EQ(box.text, bad.message);
        EXPECT_EQ(box.owner, main);
        EXPECT_EQ(box.icon, ui::Icon::Error);
        Settle();
        EXPECT_FALSE(files::Exists(Path("temp.wav"))) << "played after a refused pitch";
    }

    EXPECT_TRUE(BRRSounding()) << "a refused pitch leaves the sound alone";
    Send(IDC_DELETE);
    EXPECT_FALSE(BRRSounding()) << "Delete stops the sound first";
    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_EQ(Entries(), StockLabels());
    EXPECT_EQ(Selection(), kSlot);
    EXPECT_EQ(Text(IDC_START), "0");
    EXPECT_EQ(Text(IDC_LOOP), "0");
    EXPECT_EQ(Text(IDC_SLOT_SIZE), "0 bytes");
    EXPECT_EQ(Text(IDC_FREE), "FC6 bytes");
    ExpectSlotRules(false);
}

TEST_F(Window, CancellingAChooserKeepsTheLoadedRom)
{
    OpenStock();
    Select(kSlot);
    const std::vector<uint8_t> brr = InsertWav();
    ASSERT_FALSE(brr.empty());
    Select(kSlot + 1);

    // The WAV chooser of Insert.
    Screen before = Capture();
    Post(IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, nullptr));
    Settle();
    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_TRUE(Capture() == before);

    // The ROM chooser: the ROM stays loaded with its unsaved insertion, and Save works.
    Post(IDM_OPEN);
    ASSERT_TRUE(Answer("Tarvo Samples", 5000, IDNO).found);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, nullptr));
    Settle();
    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_TRUE(Capture() == before);
    Post(IDM_SAVE);
    EXPECT_EQ(Answer("Save").text, "Save successful");
    const std::vector<uint8_t> saved = files::Read(rom);
    const size_t entry = 0x100200 + 0x0C + 4 * kSlot;
    ASSERT_GT(saved.size(), entry + 4);
    EXPECT_EQ(saved[entry], 0x1C);
    EXPECT_EQ(saved[entry + 1], 0xF0);
}

TEST_F(Window, RefusedRomFilesKeepTheLoadedRomAndDamagedBanksLeaveNoRom)
{
    OpenStock();
    Select(3);
    const Screen before = Capture();
    const std::string title = Title();

    // Refused files, also one held by another program: the loaded ROM stays usable with
    // its changes, and the file it came from stays held.
    const std::string small = Path("small.smc"), held = StockRom("held.smc");
    files::Write(small, std::vector<uint8_t>(0x100000, 0xFF));
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const struct {
        std::string path, caption, text;
    } refusals[] = {
        {small, "Error", "An unexpanded ROM does not have any vacant banks.\nExpand it and try again."},
        {held, "FileOpen", "Invalid source path"},
    };
    for (const auto &refusal : refusals) {
        Post(IDM_OPEN);
        ASSERT_TRUE(Answer("Tarvo Samples", 5000, IDNO).found);
        ASSERT_TRUE(ui::AnswerOpenDialog(tid, refusal.path.c_str()));
        ui::MessageBoxInfo box = Answer(refusal.caption.c_str());
        EXPECT_EQ(box.text, refusal.text);
        EXPECT_EQ(box.owner, main);
        Settle();
        EXPECT_TRUE(Capture() == before) << refusal.path;
        EXPECT_EQ(Title(), title);
    }
    CloseHandle(holder);
    EXPECT_EQ(CreateFileA(rom.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << "the loaded ROM file must stay held";
    Post(IDM_SAVE);
    EXPECT_EQ(Answer("Save").text, "Save successful");

    // A bank marker whose pointer hooks lead outside the ROM: a damaged bank.
    std::vector<uint8_t> damaged = stockrom::Make();
    std::memcpy(&damaged[0x1001F8], "qelvarin", 8);
    damaged[0x2FE] = 0x08;
    damaged[0x303] = 0x80;
    damaged[0x308] = 0x7F;
    files::Write(Path("damaged.smc"), damaged);
    Post(IDM_OPEN);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, Path("damaged.smc").c_str()));
    ui::MessageBoxInfo box = Answer("Error");
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.owner, main);
    Settle();
    EXPECT_EQ(WaitPlacement(100), nullptr) << "a ROM with a bank marker needs no placement";
    EXPECT_TRUE(NoRomState());
    EXPECT_EQ(Title(), "Tarvo Samples");
}

TEST_F(Window, OpeningASecondRomShowsOnlyItsSlots)
{
    OpenStock("first.smc");
    Select(kSlot);
    ASSERT_FALSE(InsertWav().empty());
    ASSERT_EQ(Entries()[kSlot], "14: Used");

    Open(StockRom("second.smc"), "108200");
    EXPECT_EQ(Entries(), StockLabels());
    EXPECT_EQ(Selection(), 0);
    EXPECT_EQ(Text(IDC_FREE), "FC6 bytes");
    EXPECT_EQ(Text(IDC_PITCH), "1000");
}

TEST_F(Window, SaveWritesTheFileAndReopensWithoutPlacement)
{
    OpenStock();
    Select(kSlot);
    ASSERT_FALSE(InsertWav().empty());
    Select(3);
    Type(Item(IDC_PITCH), "800");
    const Screen before = Capture();

    EXPECT_EQ(Title(), "*stock.smc - Tarvo Samples");
    Post(IDM_SAVE);
    ui::MessageBoxInfo box = Answer("Save");
    EXPECT_EQ(box.text, "Save successful");
    EXPECT_EQ(box.owner, main);
    EXPECT_EQ(box.icon, ui::Icon::Information);
    EXPECT_EQ(OtherDialog(200), nullptr);
    EXPECT_TRUE(Capture() == before) << "Save refreshes no display";
    EXPECT_EQ(Title(), "stock.smc - Tarvo Samples");
    // The first save keeps the file as opened; a later one keeps that backup.
    EXPECT_EQ(files::Read(rom + ".bak"), stockrom::Make());
    const std::vector<std::string> folder = files::List(dir);
    Post(IDM_SAVE);
    EXPECT_EQ(Answer("Save").text, "Save successful");
    EXPECT_EQ(files::Read(rom + ".bak"), stockrom::Make());
    EXPECT_EQ(files::List(dir), folder) << "no file is left beside the ROM";

    // A saved ROM has its bank: opening it again asks for no placement.
    Open(rom);
    Settle();
    EXPECT_EQ(WaitPlacement(200), nullptr);
    EXPECT_EQ(Entries(), before.entries);
    EXPECT_EQ(Text(IDC_FREE), before.free);
    EXPECT_EQ(Selection(), 0);
}

// Under the platform's fonts (Wine's stand-in for MS Sans Serif here), every label and
// value shows whole: in each state the window passes through, and for the widest
// number that each value can hold.
TEST_F(Window, EveryStaticTextFitsItsControlInEveryState)
{
    EXPECT_EQ(CutOff(main), std::vector<std::string>{}) << "with no ROM";
    OpenStock();
    for (int slot = 0; slot < 64; ++slot) {
        Select(slot);
        EXPECT_EQ(CutOff(main), std::vector<std::string>{}) << "slot " << slot;
    }
    Select(kSlot);
    ASSERT_FALSE(InsertWav().empty());
    EXPECT_EQ(CutOff(main), std::vector<std::string>{}) << "after Insert";

    // The widest hex digit four times: addresses up to FFFF, counts up to 7EE2 bytes.
    HWND start = Item(IDC_START);
    char widest = '0';
    for (char digit : std::string("0123456789ABCDEF"))
        if (TextWidth(start, std::string(1, digit)) > TextWidth(start, std::string(1, widest)))
            widest = digit;
    const std::string address(4, widest), bytes = address + " bytes";
    for (int id : {IDC_START, IDC_LOOP, IDC_SLOT_SIZE, IDC_FREE}) {
        RECT client;
        GetClientRect(Item(id), &client);
        EXPECT_LE(TextWidth(Item(id), id == IDC_SLOT_SIZE || id == IDC_FREE ? bytes : address),
                  client.right)
            << id;
    }
}

TEST_F(Window, AboutNamesVersionAuthorsAndEncoder)
{
    Post(IDM_ABOUT);
    ui::MessageBoxInfo box = Answer("About");
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.owner, main);
    EXPECT_EQ(box.icon, ui::Icon::Question);
    // Four lines: name with version, release date, and the two credit lines.
    EXPECT_EQ(box.text.rfind("Tarvo sample utility v" TARVO_VERSION_TEXT "\n", 0), 0u) << box.text;
    EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\n'), 3) << box.text;
}

TEST_F(Window, UnsavedChangesAreAskedForBeforeAnythingLetsThemGo)
{
    EXPECT_EQ(Title(), "Tarvo Samples");
    OpenStock(); // the new bank is a change of its own
    const std::vector<uint8_t> stock = stockrom::Make();
    Select(kSlot);
    ASSERT_FALSE(InsertWav().empty());
    const Screen before = Capture();
    ASSERT_EQ(Title(), "*stock.smc - Tarvo Samples");

    // Cancel keeps everything, whichever command asked.
    const struct {
        UINT message;
        WPARAM wParam;
    } commands[] = {{WM_COMMAND, IDM_EXIT},
                    {WM_SYSCOMMAND, SC_CLOSE},
                    {WM_KEYDOWN, VK_ESCAPE},
                    {WM_COMMAND, IDM_OPEN}};
    for (const auto &command : commands) {
        PostMessageA(main, command.message, command.wParam, 1);
        const ui::MessageBoxInfo box = Answer("Tarvo Samples", 5000, IDCANCEL);
        EXPECT_EQ(box.text, "Save changes to stock.smc?") << command.wParam;
        EXPECT_EQ(box.owner, main);
        EXPECT_EQ(box.icon, ui::Icon::Warning);
        Settle();
        EXPECT_EQ(OtherDialog(200), nullptr) << "no chooser after Cancel";
        EXPECT_TRUE(Capture() == before);
    }

    // Yes with a save that fails (a folder stands where the backup goes): the window
    // stays as it was, changes included, and the file is untouched.
    ASSERT_TRUE(CreateDirectoryA((rom + ".bak").c_str(), nullptr));
    Post(IDM_EXIT);
    Answer("Tarvo Samples", 5000, IDYES);
    const ui::MessageBoxInfo failed = Answer("Save Error");
    EXPECT_EQ(failed.text.rfind("Save failed\n", 0), 0u) << failed.text;
    EXPECT_GT(failed.text.size(), 13u) << "the second line names the reason";
    Settle();
    EXPECT_EQ(Title(), "*stock.smc - Tarvo Samples");
    EXPECT_EQ(files::Read(rom), stock);
    RemoveDirectoryA((rom + ".bak").c_str());

    // No goes on: Open shows its chooser, and a cancelled one still keeps the ROM.
    Post(IDM_OPEN);
    Answer("Tarvo Samples", 5000, IDNO);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, nullptr));
    Settle();
    EXPECT_TRUE(Capture() == before);

    // Yes saves, and then the window goes.
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    Answer("Tarvo Samples", 5000, IDYES);
    EXPECT_EQ(Answer("Save").text, "Save successful");
    EXPECT_EQ(Ended(), 2);
    EXPECT_NE(files::Read(rom), stock);
    EXPECT_EQ(files::Read(rom + ".bak"), stock);
}

TEST_F(Window, ASampleTooLargeForTheBankGoesInAtTheRateTheUserTakes)
{
    OpenStock();
    Select(kSlot);
    // One second at 44.1 kHz: about four times the free space at 32 kHz.
    const std::string wav = Path("long.wav");
    files::Write(wav, files::MakeWav(files::Tone(44100, 440.0), 44100));

    Post(IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str()));
    ui::MessageBoxInfo question = Answer("Insert", 20000, IDNO);
    EXPECT_EQ(question.owner, main);
    EXPECT_EQ(question.icon, ui::Icon::Question);
    EXPECT_EQ(question.text.rfind("This sample needs ", 0), 0u) << question.text;
    EXPECT_EQ(Answer("Error").text.rfind("Input sample too large.\n", 0), 0u);
    Settle();
    EXPECT_EQ(Entries()[kSlot], "14: Unused");

    Post(IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str()));
    question = Answer("Insert", 20000, IDYES);
    unsigned rate = 0, pitch = 0;
    ASSERT_EQ(std::sscanf(question.text.c_str(),
                          "This sample needs %*X bytes at 32000 Hz, and FC6 bytes are free.\n"
                          "Encode it at %u Hz so that it fits? It then plays at its recorded "
                          "pitch at pitch %X.",
                          &rate, &pitch),
              2)
        << question.text;
    const ui::MessageBoxInfo tuning = Answer("Tuning", 20000);
    EXPECT_EQ(tuning.owner, main);
    EXPECT_EQ(tuning.icon, ui::Icon::Information);
    EXPECT_EQ(tuning.text.rfind("This sample was encoded at " + std::to_string(rate) +
                                    " Hz: it plays at its recorded pitch at pitch " + Hex(pitch) +
                                    ", -",
                                0),
              0u)
        << tuning.text;
    Settle();
    EXPECT_EQ(Entries()[kSlot], "14: Used");
    EXPECT_EQ(Text(IDC_PITCH), Hex(pitch)) << "Play sounds as recorded";

    // The bank holds the encoding at that rate, and nothing else changed.
    const std::vector<uint8_t> brr = files::Read(Path("temp.brr"));
    ASSERT_FALSE(brr.empty());
    ASSERT_LE(brr.size(), 0xFC6u);
    Post(IDM_SAVE);
    Answer("Save");
    const std::vector<uint8_t> saved = files::Read(rom);
    const size_t bank = 0x100200;
    EXPECT_EQ(saved[bank + 0x0C + 4 * kSlot] | saved[bank + 0x0D + 4 * kSlot] << 8, 0xF01C);
    EXPECT_TRUE(std::equal(brr.begin(), brr.end(), saved.begin() + bank + 0x110 + (0xF01C - 0x8100)));
    EXPECT_EQ(saved[bank + 0x7FF6] | saved[bank + 0x7FF7] << 8, int(0xFC6 - brr.size()));
}

TEST_F(Window, WithoutChangesExitAndEscapeAskNothing)
{
    OpenStock();
    Post(IDM_SAVE);
    Answer("Save");
    EXPECT_EQ(EndWith(WM_COMMAND, IDM_EXIT, 0), 1);
}

TEST_F(Window, EscapeEndsWithTwo)
{
    EXPECT_EQ(EndWith(WM_KEYDOWN, VK_ESCAPE, 1), 2);
}

} // namespace
