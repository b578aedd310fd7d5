// The main window, the bank placement dialog and the Loop dialog. See dialog.h.
#include "dialog.h"

#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "FileIO.h"
#include "SPCM.h"
#include "addr.h"
#include "brr.h"
#include "brrfile.h"
#include "fit.h"
#include "resource.h"
#include "snesbrr.h"
#include "version.h"
#include "voice.h"

char out[256];

namespace {

// The placement dialog's result when it was closed without an offset; DialogBoxParam
// gives the same when the dialog cannot be created.
constexpr INT_PTR kNoPlacement = -1;
// Both input fields are read into 32 characters, so at most 31 are looked at.
constexpr int kInputChars = 32;

// The window's caption with no ROM loaded, and the caption of its questions.
const char kTitle[] = "Tarvo Samples";

// Whether the loaded ROM has changes that were not saved: an Insert, Insert Looped or
// Delete that changed the bank, or a bank built in the ROM; a successful Save clears it.
bool unsaved = false;
// Whether a ROM and its bank are loaded and shown.
bool loaded = false;

const char kAboutText[] = "Tarvo sample utility v" TARVO_VERSION_TEXT "\n" TARVO_RELEASE_TEXT
                          "\nWritten by the Tarvo Samples developers"
                          "\nThanks to the authors of the snesbrr.exe encoder";

HWND Item(HWND window, int id)
{
    return GetDlgItem(window, id);
}

int SelectedSlot(HWND window)
{
    return (int)SendMessageA(Item(window, IDC_SLOTS), CB_GETCURSEL, 0, 0);
}

// Label of a slot list entry; text holds at least 16 characters.
void ComposeLabel(char *text, int slot)
{
    std::sprintf(text, SPCMFetchStart(slot) ? "%.2X: Used" : "%.2X: Unused", (unsigned)slot);
}

// A count of bytes of the bank (0-0x7EE2), shown in hexadecimal.
void ShowBytes(HWND window, int id, int bytes)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X bytes", (unsigned)(bytes & 0xFFFF));
    SetWindowTextA(Item(window, id), text);
}

void SetEnabled(HWND window, int id, bool enabled)
{
    EnableWindow(Item(window, id), enabled ? TRUE : FALSE);
}

// A disabled button or a grayed menu item cannot send its command, but another program
// can post it; commands that need a ROM or a slot only run when the control is usable.
bool ButtonUsable(HWND window, int id)
{
    return IsWindowEnabled(Item(window, id)) && SelectedSlot(window) != CB_ERR;
}

bool MenuUsable(HWND window, int id)
{
    UINT state = GetMenuState(GetMenu(window), (UINT)id, MF_BYCOMMAND);
    return state != (UINT)-1 && !(state & (MF_GRAYED | MF_DISABLED));
}

// The menu's shortcuts. The window runs in DialogBoxParam's own message loop, which
// translates no accelerators, and a key goes to the focused control, never to the dialog
// procedure. That loop hands every message to the thread's WH_MSGFILTER hooks (code
// MSGF_DIALOGBOX, from IsDialogMessage) before the dialog manager sees it, on Windows and
// under Wine alike; so a hook of the window's thread translates the keys meant for the
// window. Boxes and choosers that the window owns are no children of it and keep
// their keys; the commands then arrive as from the menu, with its "usable" rules.
HWND keyWindow = nullptr;
HACCEL keyTable = nullptr;
HHOOK keyHook = nullptr;

LRESULT CALLBACK KeyFilter(int code, WPARAM wParam, LPARAM lParam)
{
    MSG *message = reinterpret_cast<MSG *>(lParam);
    if (code == MSGF_DIALOGBOX && keyWindow && message->hwnd &&
        (message->hwnd == keyWindow || IsChild(keyWindow, message->hwnd)) &&
        TranslateAcceleratorA(keyWindow, keyTable, message))
        return 1;
    return CallNextHookEx(keyHook, code, wParam, lParam);
}

void StartKeys(HWND window)
{
    keyWindow = window;
    keyTable = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCEL));
    keyHook = SetWindowsHookExA(WH_MSGFILTER, KeyFilter, nullptr, GetCurrentThreadId());
}

void StopKeys()
{
    if (keyHook)
        UnhookWindowsHookEx(keyHook);
    keyHook = nullptr;
    keyWindow = nullptr;
}

// After a command of the slot, the keys work on the slot list again: the button that
// was pressed may have become unusable, and the arrow keys move through the slots.
void FocusSlots(HWND window)
{
    SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(window, IDC_SLOTS)), TRUE);
}

void InitMain(HWND window)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    SetMenu(window, LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MENU)));
    StartKeys(window);
    DragAcceptFiles(window, TRUE);
    HANDLE small =
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 16, 16, LR_DEFAULTSIZE);
    SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)small);
    HANDLE big =
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 32, 32, LR_DEFAULTSIZE);
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)big);
    ResetControls(window);
}

// The file offset chosen in the bank placement dialog, or kNoPlacement.
INT_PTR AskBankOffset(HWND window)
{
    BankPlacement placement = {(int)AddrHeaderSize(ROMSize), SPCMFirstFreeBank()};
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_NEWROM), window,
                           dlgProcp, (LPARAM)&placement);
}

// A new bank for a ROM without one; false when none was placed (closed or refused).
bool PlaceBank(HWND window)
{
    const INT_PTR offset = AskBankOffset(window);
    return offset != kNoPlacement && SPCMSetupROM((int)offset);
}

// "NAME - Tarvo Samples", with a "*" in front while there are unsaved changes, or
// "Tarvo Samples" with no ROM loaded.
void UpdateTitle(HWND window)
{
    if (!loaded) {
        SetWindowTextA(window, kTitle);
        return;
    }
    std::snprintf(out, sizeof out, "%s%s - %s", unsaved ? "*" : "", FIOFileName(), kTitle);
    SetWindowTextA(window, out);
}

void MarkUnsaved(HWND window)
{
    unsaved = true;
    UpdateTitle(window);
}

// True when the bank and the ROM were written to the file (reported either way).
bool Save(HWND window)
{
    if (SPCMSave() != 0)
        return false;
    unsaved = false;
    UpdateTitle(window);
    return true;
}

// Asked before a command that lets the loaded ROM go (Open, Exit, the close box): while
// it has unsaved changes, the user chooses to save them, to let them go, or to stay.
// True when the command may go on.
bool MayLetGo(HWND window)
{
    if (!loaded || !unsaved)
        return true;
    switch (FIOBox(window, MB_YESNOCANCEL | MB_ICONWARNING, kTitle, "Save changes to %s?",
                   FIOFileName())) {
    case IDYES: return Save(window);
    case IDNO: return true;
    default: return false;
    }
}

// Open of the ROM file at path, or of the one the user chooses when path is null.
void OnOpen(HWND window, const char *path = nullptr)
{
    // Every command that changes or lets go of the samples silences them first.
    BRRStop();
    // A cancelled chooser or a refused file changes nothing: the loaded ROM, if any,
    // stays loaded with its unsaved changes.
    if (!(path ? FileInPath(SPCMGetPPtr(), window, path) : FileIn(SPCMGetPPtr(), window)))
        return;
    unsaved = false;
    if (!SPCMCheckPresence()) {
        if (!PlaceBank(window)) {
            ResetControls(window);
            return;
        }
        unsaved = true; // the new bank is only in memory
    }
    if (!SPCMReadIn()) {
        ResetControls(window);
        return;
    }
    SetupControls(window);
    UpdateFreeSpace(window);
    FocusSlots(window);
}

void OnPlay(HWND window)
{
    GetDlgItemTextA(window, IDC_PITCH, out, kInputChars);
    if (!out[0]) {
        FIOErrorFor(window, "No input");
        return;
    }
    if (CheckHexValid(out)) {
        FIOErrorFor(window, "Invalid pitch input");
        return;
    }
    long pitch = std::strtol(out, nullptr, 16); // saturates at the largest long
    if (pitch > snesbrr::kMaxPitch) {
        FIOErrorFor(window, "Pitch too high.  Input a value 0 - 0x3FFF.");
        return;
    }
    BRRPlay(SelectedSlot(window), (uint16_t)pitch);
}

// After Insert or Delete changed the selected slot.
void RefreshSlot(HWND window)
{
    MarkUnsaved(window);
    UpdateFreeSpace(window);
    UpdateBtnEdt(window);
    UpdateComboTxt(window);
    ComboChange(window);
}

// After an insert: one box tells how to tune a sample that went in at a rate other than
// 32000 Hz or whose loop the encoder resampled (cents, as SPCMInsertLooped gives them),
// and the pitch field then holds the pitch that plays it as recorded.
void TellTuning(HWND window, double cents)
{
    const int rate = SPCMInsertedRate();
    const bool moved = rate != 0 && rate != 32000;
    if (!moved && cents == 0)
        return;
    char line[160] = "";
    if (moved) {
        const int pitch = SPCMPitchFor(rate);
        std::snprintf(line, sizeof line, SPCM_TEXT_TUNED_RATE "%s", rate, (unsigned)pitch,
                      snesbrr::rate_cents(rate), cents ? "\n" : "");
        std::snprintf(out, sizeof out, "%X", (unsigned)pitch);
        SetWindowTextA(Item(window, IDC_PITCH), out);
    }
    if (cents == 0) {
        FIOBox(window, MB_ICONINFORMATION, "Tuning", "%s", line);
        return;
    }
    // Positive cents: the fitted loop is longer than the chosen one and sounds lower.
    const bool flat = cents > 0;
    FIOBox(window, MB_ICONINFORMATION, "Tuning", "%s" SPCM_TEXT_TUNED_LOOP, line, std::fabs(cents),
           flat ? "flat" : "sharp", std::fabs(cents), flat ? "up" : "down");
}

// Insert of the sample file at path, or of the one the user chooses when path is null.
void OnInsert(HWND window, const char *path = nullptr)
{
    BRRStop();
    const int slot = SelectedSlot(window);
    if ((path ? SPCMInsertSampleFile(slot, path, window) : SPCMInsertSample(slot, window)) != 0)
        return;
    // The refresh shows the slot that was filled, wherever the selection is now.
    SendMessageA(Item(window, IDC_SLOTS), CB_SETCURSEL, static_cast<WPARAM>(slot), 0);
    RefreshSlot(window);
    TellTuning(window, 0);
}

int AskLoop(HWND owner, SPCMLoop *loop)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LOOP), owner,
                           dlgProcLoop, (LPARAM)loop) == 1;
}

void OnInsertLooped(HWND window)
{
    BRRStop();
    const int slot = SelectedSlot(window);
    double cents = 0;
    if (SPCMInsertLooped(slot, window, AskLoop, &cents) != 0)
        return;
    SendMessageA(Item(window, IDC_SLOTS), CB_SETCURSEL, static_cast<WPARAM>(slot), 0);
    RefreshSlot(window);
    TellTuning(window, cents);
}

void OnExport(HWND window)
{
    BRRStop();
    SPCMExportSample(SelectedSlot(window), window);
}

void OnDelete(HWND window)
{
    BRRStop();
    SPCMDeleteSample(SelectedSlot(window));
    RefreshSlot(window);
}

// The map's colours: areas that no slot's sample covers, the free area, the samples
// (two shades in turn, so that neighbours stand apart), the selected one, loop ticks.
const COLORREF kMapUnused = RGB(160, 160, 160);
const COLORREF kMapFree = RGB(200, 235, 200);
const COLORREF kMapSample[2] = {RGB(95, 135, 200), RGB(145, 180, 230)};
const COLORREF kMapSelected = RGB(235, 160, 40);
const COLORREF kMapLoop = RGB(150, 0, 0);

// The map's boxes for a strip width pixels wide, from the engine's getters; no boxes
// and no free area while no ROM is loaded.
int CurrentMap(int width, MapBox *boxes, int *freeLeft)
{
    if (!loaded) {
        *freeLeft = width;
        return 0;
    }
    MapSample samples[kSPCMSlots];
    for (int slot = 0; slot < kSPCMSlots; ++slot)
        samples[slot] = {SPCMFetchStart(slot), SPCMGetSampleSize(slot), SPCMLoopOffset(slot)};
    return MapLayout(samples, SPCMGetFree(), width, boxes, freeLeft);
}

void FillArea(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    const RECT area = {left, top, right, bottom};
    SetBkColor(dc, colour);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

// The right edge of a sample's box as drawn: a sample narrower than a pixel still shows,
// and takes clicks, as one.
int DrawnRight(const MapBox &box)
{
    return box.right > box.left ? box.right : box.left + 1;
}

void DrawMap(HWND window, const DRAWITEMSTRUCT *item)
{
    const RECT &r = item->rcItem;
    HDC dc = item->hDC;
    MapBox boxes[kSPCMSlots];
    int freeLeft = 0;
    const int count = CurrentMap(r.right - r.left, boxes, &freeLeft);
    FillArea(dc, r.left, r.top, r.right, r.bottom, kMapUnused);
    if (loaded)
        FillArea(dc, r.left + freeLeft, r.top, r.right, r.bottom, kMapFree);
    const int selected = SelectedSlot(window);
    for (int i = 0; i < count; ++i) {
        const MapBox &box = boxes[i];
        FillArea(dc, r.left + box.left, r.top, r.left + DrawnRight(box), r.bottom,
                 box.slot == selected ? kMapSelected : kMapSample[i % 2]);
        if (box.loop >= 0)
            FillArea(dc, r.left + box.loop, r.top, r.left + box.loop + 1, r.bottom, kMapLoop);
    }
    FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
}

// The slot whose sample lies under the last click in the map, or -1.
int MapSlotAtClick(HWND window)
{
    HWND map = Item(window, IDC_MAP);
    const DWORD at = GetMessagePos();
    POINT point = {(short)LOWORD(at), (short)HIWORD(at)};
    ScreenToClient(map, &point);
    RECT client;
    GetClientRect(map, &client);
    MapBox boxes[kSPCMSlots];
    int freeLeft = 0;
    const int count = CurrentMap(client.right, boxes, &freeLeft);
    // Last to first: where boxes share a pixel, the one drawn last shows there.
    for (int i = count - 1; i >= 0; --i)
        if (point.x >= boxes[i].left && point.x < DrawnRight(boxes[i]))
            return boxes[i].slot;
    return -1;
}

void OnMapClick(HWND window)
{
    const int slot = MapSlotAtClick(window);
    if (slot < 0)
        return;
    SendMessageA(Item(window, IDC_SLOTS), CB_SETCURSEL, static_cast<WPARAM>(slot), 0);
    ComboChange(window);
}

// What the window does with a dropped file, by its extension in any case.
enum class Dropped { Rom, Sample, Other };

Dropped KindOf(const char *path)
{
    const char *name = FIONamePart(path);
    const char *dot = std::strrchr(name, '.');
    if (!dot)
        return Dropped::Other;
    for (const char *rom : {".smc", ".sfc", ".fig", ".bin"})
        if (lstrcmpiA(dot, rom) == 0)
            return Dropped::Rom;
    if (lstrcmpiA(dot, ".wav") == 0 || lstrcmpiA(dot, ".brr") == 0)
        return Dropped::Sample;
    return Dropped::Other;
}

// Files dropped from a file manager: one ROM file opens as File > Open does with it; one
// sample file goes into the selected empty slot as Insert does; anything else is refused.
void OnDrop(HWND window, HDROP drop)
{
    char path[MAX_PATH] = "";
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    const bool one = count == 1 && DragQueryFileA(drop, 0, path, sizeof path) != 0;
    DragFinish(drop);
    // While a box or dialog of the window is up, a drop is ignored as a click is.
    if (!IsWindowEnabled(window))
        return;
    const Dropped kind = one ? KindOf(path) : Dropped::Other;
    if (kind == Dropped::Rom) {
        if (MayLetGo(window))
            OnOpen(window, path);
        return;
    }
    if (kind == Dropped::Sample && ButtonUsable(window, IDC_INSERT)) {
        OnInsert(window, path);
        FocusSlots(window);
        return;
    }
    FIOErrorFor(window,
                "Tarvo Samples takes one file at a time: a ROM file (.smc, .sfc, .fig or .bin) to "
                "open, or a .wav or .brr sample to insert into the selected empty slot.");
}

// Exit (result 1) and the cancel command (result 2): the window ends once the user has
// saved or let go of the unsaved changes, and the sound stops with it.
void OnEnd(HWND window, INT_PTR result)
{
    if (!MayLetGo(window))
        return;
    BRRStop();
    EndDialog(window, result);
}

// A button's command, run only while the button is usable; the keyboard is then back
// on the slot list, whose arrow keys move through the slots.
void OnButton(HWND window, int id, void (*command)(HWND))
{
    if (!ButtonUsable(window, id))
        return;
    command(window);
    FocusSlots(window);
}

void OnMainCommand(HWND window, int id, int code)
{
    // The window is disabled while a box or dialog that it owns is shown; a command that
    // arrives then (posted by another program) would run in the middle of the one that
    // showed it, so it is dropped, as a click on the disabled window is.
    if (!IsWindowEnabled(window))
        return;
    // Accelerators send code 1 as well, so the list's notification is told by its id.
    if (id == IDC_SLOTS && code == CBN_SELCHANGE)
        ComboChange(window);
    switch (id) {
    case IDOK:
        // Enter, with no default button: in the pitch field it plays.
        if (GetFocus() == Item(window, IDC_PITCH) && ButtonUsable(window, IDC_PLAY))
            OnPlay(window);
        break;
    case IDCANCEL: OnEnd(window, 2); break;
    case IDC_PLAY: OnButton(window, id, OnPlay); break;
    case IDC_INSERT: OnButton(window, id, [](HWND w) { OnInsert(w); }); break;
    case IDC_INSERT_LOOPED: OnButton(window, id, OnInsertLooped); break;
    case IDC_DELETE: OnButton(window, id, OnDelete); break;
    case IDM_EXPORT:
        if (MenuUsable(window, IDM_EXPORT) && SelectedSlot(window) != CB_ERR) {
            OnExport(window);
            FocusSlots(window);
        }
        break;
    case IDM_OPEN:
        if (MayLetGo(window))
            OnOpen(window);
        break;
    case IDM_SAVE:
        if (MenuUsable(window, IDM_SAVE))
            Save(window);
        break;
    case IDM_EXIT: OnEnd(window, 1); break;
    case IDM_ABOUT: FIOBox(window, MB_ICONQUESTION, "About", "%s", kAboutText); break;
    case IDC_MAP:
        if (code == STN_CLICKED && loaded)
            OnMapClick(window);
        break;
    default: break;
    }
}

// The dialog keeps the ROM's copier header size; a headerless ROM gets the texts for
// its own offsets, a headered one keeps the template's.
void OnPlacementInit(HWND dialog, const BankPlacement *placement)
{
    SetWindowLongPtrA(dialog, DWLP_USER, placement->header);
    if (placement->header == 0)
        SetDlgItemTextA(dialog, IDC_NEWROM_TEXT,
                        "This ROM has no copier header.  Point to 32,768 bytes of free space "
                        "at a multiple of 8000, e.g. 80000.  The RATS tag will be created.");
    if (placement->proposal >= 0) {
        char text[kInputChars];
        std::snprintf(text, sizeof text, "%X", (unsigned)placement->proposal);
        SetDlgItemTextA(dialog, IDC_NEWROM_OFFSET, text);
    }
}

// Asks before a new bank goes over the data bytes of the bank at offset; true when the
// user chose to build it there anyway.
bool ConfirmOverwrite(HWND dialog, unsigned long offset, int data)
{
    return FIOBox(dialog, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, "New ROM",
                  "The bank at %lX is not empty: %u of its 32768 bytes hold data.\nBuild the "
                  "sample bank there anyway? That data will be overwritten.",
                  offset, (unsigned)data) == IDYES;
}

void OnPlacementOk(HWND dialog)
{
    char text[kInputChars];
    GetDlgItemTextA(dialog, IDC_NEWROM_OFFSET, text, kInputChars);
    if (!text[0])
        return;
    if (CheckHexValid(text)) {
        FIOErrorFor(dialog, "Invalid pointer input");
        return;
    }
    long offset = std::strtol(text, nullptr, 16); // saturates at the largest long
    const int header = (int)GetWindowLongPtrA(dialog, DWLP_USER);
    if (const char *refusal = SPCMBoundaryRefusal(offset, header)) {
        FIOErrorFor(dialog, "%s", refusal);
        return;
    }
    // The engine's refusal (past the end, out of the pointer's reach, the first bank)
    // comes while the text can still be corrected.
    if (const char *refusal = SPCMPlacementRefusal((int)offset)) {
        FIOErrorFor(dialog, "%s", refusal);
        return;
    }
    const int data = SPCMBankData((int)offset);
    if (data > 0 && !ConfirmOverwrite(dialog, (unsigned long)offset, data))
        return;
    EndDialog(dialog, (INT_PTR)offset);
}

// The field's number (decimal), or -1 when it holds anything but 1 to 10 decimal digits
// or a number above the largest int.
long long LoopField(HWND dialog, int id)
{
    char text[kInputChars];
    GetDlgItemTextA(dialog, id, text, kInputChars);
    size_t digits = 0;
    for (; text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    }
    if (digits == 0 || digits > 10 || text[digits])
        return -1;
    const long long value = std::strtoll(text, nullptr, 10);
    return value > 0x7FFFFFFF ? -1 : value;
}

SPCMLoop *LoopOf(HWND dialog)
{
    return (SPCMLoop *)GetWindowLongPtrA(dialog, DWLP_USER);
}

// The sound of the Loop dialog's WAV file with the loop its fields hold, for sizing;
// false while the fields hold no loop inside the sound.
bool LoopShape(HWND dialog, snesbrr::SoundShape *shape)
{
    const SPCMLoop *loop = LoopOf(dialog);
    const long long start = LoopField(dialog, IDC_LOOPDLG_START);
    const long long end = LoopField(dialog, IDC_LOOPDLG_END);
    if (start < 0 || end <= start || end > loop->frames)
        return false;
    shape->frames = (size_t)loop->frames;
    shape->rate = (uint32_t)loop->fileRate;
    shape->loops = true;
    shape->loop_start = (uint64_t)start;
    shape->loop_end = (uint64_t)end;
    return true;
}

// "Size: %X bytes, %X free": the bank bytes that the loop takes as the fields stand, from
// the block layout alone (the encoder may add no more than a block).
void UpdateLoopSize(HWND dialog)
{
    const SPCMLoop *loop = LoopOf(dialog);
    const unsigned room = (unsigned)(SPCMGetFree() & 0xFFFF);
    snesbrr::SoundShape shape;
    const long long rate = LoopField(dialog, IDC_LOOPDLG_RATE);
    char text[64];
    if (loop->brr)
        std::snprintf(text, sizeof text, "Size: %X bytes, %X free",
                      (unsigned)(loop->frames / snesbrr::kBlockSamples * snesbrr::kBlockBytes),
                      room);
    else if (rate >= 1000 && rate <= 32000 && LoopShape(dialog, &shape))
        std::snprintf(
            text, sizeof text, "Size: %X bytes, %X free",
            (unsigned)(snesbrr::least_bytes(shape, (uint32_t)rate) - snesbrr::kBrrHeaderBytes),
            room);
    else
        std::snprintf(text, sizeof text, "Size: ? bytes, %X free", room);
    SetDlgItemTextA(dialog, IDC_LOOPDLG_SIZE, text);
}

void OnLoopInit(HWND dialog, SPCMLoop *loop)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)loop);
    char text[48];
    std::snprintf(text, sizeof text, "Length: %d samples", loop->frames);
    SetDlgItemTextA(dialog, IDC_LOOPDLG_LENGTH, text);
    SetDlgItemInt(dialog, IDC_LOOPDLG_START, (UINT)loop->start, FALSE);
    SetDlgItemInt(dialog, IDC_LOOPDLG_END, (UINT)loop->end, FALSE);
    // A .brr file is inserted as it is: its loop ends with it, and no rate applies.
    if (loop->brr) {
        SetEnabled(dialog, IDC_LOOPDLG_END, false);
        SetEnabled(dialog, IDC_LOOPDLG_RATE, false);
        SetEnabled(dialog, IDC_LOOPDLG_FIT, false);
    } else {
        SetDlgItemInt(dialog, IDC_LOOPDLG_RATE, (UINT)loop->rate, FALSE);
    }
    UpdateLoopSize(dialog);
}

void OnLoopFit(HWND dialog)
{
    const SPCMLoop *loop = LoopOf(dialog);
    snesbrr::SoundShape shape;
    if (!LoopShape(dialog, &shape)) {
        FIOErrorFor(dialog, "Type the loop start and end as whole numbers of samples, 0 to %d.",
                    loop->frames);
        return;
    }
    // The loop header takes no room in the bank.
    const uint32_t highest = loop->fileRate < 32000 ? (uint32_t)loop->fileRate : 32000;
    const uint32_t rate = snesbrr::highest_fitting_rate(shape, (uint64_t)SPCMGetFree() + 2, highest,
                                                        snesbrr::kMinRate);
    if (rate == 0) {
        FIOErrorFor(dialog,
                    "This loop does not fit the free space even at 1000 Hz.\nDelete a sample or "
                    "choose a shorter sound.");
        return;
    }
    SetDlgItemInt(dialog, IDC_LOOPDLG_RATE, rate, FALSE);
}

void OnLoopOk(HWND dialog)
{
    SPCMLoop *loop = LoopOf(dialog);
    const long long start = LoopField(dialog, IDC_LOOPDLG_START);
    const long long end = loop->brr ? loop->frames : LoopField(dialog, IDC_LOOPDLG_END);
    const long long rate = loop->brr ? 0 : LoopField(dialog, IDC_LOOPDLG_RATE);
    const char *refusal = SPCMLoopRefusal(loop, start, end);
    if (!refusal && !loop->brr && (rate < 1000 || rate > 32000))
        refusal = "Type the rate in Hz as a whole number, 1000 to 32000.";
    if (refusal) {
        FIOErrorFor(dialog, "%s", refusal);
        return;
    }
    loop->start = (int)start;
    loop->end = (int)end;
    loop->rate = (int)rate;
    EndDialog(dialog, 1);
}

} // namespace

int MapLayout(const MapSample *samples, int freeBytes, int width, MapBox *boxes, int *freeLeft)
{
    // Pixels of an audio address; 64-bit, so that any width scales without overflow.
    auto x = [width](int address) {
        return (int)((long long)(address - kSPCMDataStart) * width /
                     (kSPCMDataEnd - kSPCMDataStart));
    };
    int count = 0;
    for (int slot = 0; slot < kSPCMSlots; ++slot) {
        const MapSample &sample = samples[slot];
        if (sample.start == 0)
            continue;
        const int loop = sample.loopOffset >= 0 ? x(sample.start + sample.loopOffset) : -1;
        boxes[count++] = {slot, x(sample.start), x(sample.start + sample.size), loop};
    }
    *freeLeft = x(kSPCMDataEnd - freeBytes);
    return count;
}

int CheckHexValid(const char *text)
{
    for (; *text; ++text) {
        char c = *text;
        bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!hex)
            return 1;
    }
    return 0;
}

void ResetControls(HWND window)
{
    HWND slots = Item(window, IDC_SLOTS);
    EnableWindow(slots, FALSE);
    SendMessageA(slots, CB_RESETCONTENT, 0, 0);
    SetEnabled(window, IDC_PLAY, false);
    SetEnabled(window, IDC_DELETE, false);
    SetEnabled(window, IDC_INSERT, false);
    SetEnabled(window, IDC_INSERT_LOOPED, false);
    SetEnabled(window, IDC_PITCH, false);
    EnableMenuItem(GetMenu(window), IDM_SAVE, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(GetMenu(window), IDM_EXPORT, MF_BYCOMMAND | MF_GRAYED);
    // Nothing is left of the ROM that was shown.
    SetWindowTextA(Item(window, IDC_START), "0");
    SetWindowTextA(Item(window, IDC_LOOP), "0");
    ShowBytes(window, IDC_FREE, 0);
    ShowBytes(window, IDC_SLOT_SIZE, 0);
    SetWindowTextA(Item(window, IDC_MAP_TEXT), "");
    loaded = unsaved = false;
    InvalidateRect(Item(window, IDC_MAP), nullptr, FALSE);
    UpdateTitle(window);
}

void SetupControls(HWND window)
{
    HWND slots = Item(window, IDC_SLOTS);
    EnableWindow(slots, TRUE);
    SetEnabled(window, IDC_PLAY, true);
    SetEnabled(window, IDC_DELETE, true);
    SetEnabled(window, IDC_INSERT, true);
    SetEnabled(window, IDC_PITCH, true);
    EnableMenuItem(GetMenu(window), IDM_SAVE, MF_BYCOMMAND | MF_ENABLED);
    SendMessageA(slots, CB_RESETCONTENT, 0, 0);
    UpdateUsed(window);
    SendMessageA(slots, CB_SETCURSEL, 0, 0);
    ComboChange(window);
    SetWindowTextA(Item(window, IDC_PITCH), "1000");
    loaded = true;
    UpdateTitle(window);
}

void UpdateUsed(HWND window)
{
    HWND slots = Item(window, IDC_SLOTS);
    char label[16];
    for (int slot = 0; slot < 64; ++slot) {
        ComposeLabel(label, slot);
        SendMessageA(slots, CB_INSERTSTRING, (WPARAM)slot, (LPARAM)label);
    }
}

void ComboChange(HWND window)
{
    int slot = SelectedSlot(window);
    if (slot == CB_ERR)
        return;
    char text[8];
    std::sprintf(text, "%X", (unsigned)SPCMFetchStart(slot));
    SetWindowTextA(Item(window, IDC_START), text);
    std::sprintf(text, "%X", (unsigned)SPCMFetchLoop(slot));
    SetWindowTextA(Item(window, IDC_LOOP), text);
    ShowBytes(window, IDC_SLOT_SIZE, SPCMGetSampleSize(slot));
    if (SPCMFetchStart(slot))
        std::snprintf(out, sizeof out, "Slot %.2X: start %X, %X bytes", (unsigned)slot,
                      (unsigned)SPCMFetchStart(slot), (unsigned)SPCMGetSampleSize(slot));
    else
        std::snprintf(out, sizeof out, "Slot %.2X: empty", (unsigned)slot);
    SetWindowTextA(Item(window, IDC_MAP_TEXT), out);
    // Every command that changes the bank or the selection ends here.
    InvalidateRect(Item(window, IDC_MAP), nullptr, FALSE);
    UpdateBtnEdt(window);
}

void UpdateFreeSpace(HWND window)
{
    ShowBytes(window, IDC_FREE, SPCMGetFree());
}

void UpdateBtnEdt(HWND window)
{
    int slot = SelectedSlot(window);
    if (slot == CB_ERR)
        return;
    bool used = SPCMFetchStart(slot) != 0;
    SetEnabled(window, IDC_PLAY, used);
    SetEnabled(window, IDC_DELETE, used);
    SetEnabled(window, IDC_INSERT, !used);
    SetEnabled(window, IDC_INSERT_LOOPED, !used);
    SetEnabled(window, IDC_PITCH, used);
    EnableMenuItem(GetMenu(window), IDM_EXPORT, MF_BYCOMMAND | (used ? MF_ENABLED : MF_GRAYED));
}

void UpdateComboTxt(HWND window)
{
    int slot = SelectedSlot(window);
    if (slot == CB_ERR)
        return;
    HWND slots = Item(window, IDC_SLOTS);
    SendMessageA(slots, CB_DELETESTRING, (WPARAM)slot, 0);
    ComposeLabel(out, slot);
    SendMessageA(slots, CB_INSERTSTRING, (WPARAM)slot, (LPARAM)out);
    SendMessageA(slots, CB_SETCURSEL, (WPARAM)slot, 0);
}

INT_PTR CALLBACK dlgProc(HWND window, UINT message, WPARAM command, LPARAM extra)
{
    switch (message) {
    case WM_INITDIALOG: InitMain(window); return 1; // the platform gives the default focus
    case WM_COMMAND: OnMainCommand(window, LOWORD(command), HIWORD(command)); return 0;
    case WM_DRAWITEM:
        if (command != IDC_MAP)
            return 0;
        DrawMap(window, (const DRAWITEMSTRUCT *)extra);
        return 1;
    case WM_DROPFILES: OnDrop(window, (HDROP)command); return 0;
    case WM_DESTROY: StopKeys(); return 0;
    default: return 0;
    }
}

INT_PTR CALLBACK dlgProcLoop(HWND dialog, UINT message, WPARAM command, LPARAM extra)
{
    switch (message) {
    case WM_INITDIALOG: OnLoopInit(dialog, (SPCMLoop *)extra); return 1;
    case WM_COMMAND:
        switch (LOWORD(command)) {
        case IDOK: OnLoopOk(dialog); break;
        case IDC_LOOPDLG_FIT: OnLoopFit(dialog); break;
        case IDC_LOOPDLG_START:
        case IDC_LOOPDLG_END:
        case IDC_LOOPDLG_RATE:
            if (HIWORD(command) == EN_CHANGE)
                UpdateLoopSize(dialog);
            break;
        case IDCANCEL: EndDialog(dialog, 0); break;
        default: break;
        }
        return 0;
    default: return 0;
    }
}

INT_PTR CALLBACK dlgProcp(HWND dialog, UINT message, WPARAM command, LPARAM extra)
{
    // WM_INITDIALOG returns 0: the field starts without the focus. Enter presses OK, the
    // default button; the field's notifications fall through.
    switch (message) {
    case WM_INITDIALOG: OnPlacementInit(dialog, (const BankPlacement *)extra); break;
    case WM_COMMAND:
        switch (LOWORD(command)) {
        case IDCANCEL: EndDialog(dialog, kNoPlacement); break;
        case IDC_NEWROM_OK: OnPlacementOk(dialog); break;
        default: break;
        }
        break;
    default: break;
    }
    return 0;
}
