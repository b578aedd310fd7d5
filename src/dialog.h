// The main window (dialog template 1000), the bank placement dialog (template 1001) and
// the loop dialog of Insert Looped (template 1002).
//
// The main window lists the 64 slots of the sample directory, shows the selected
// slot's start and loop audio addresses and size and the bank's free space, and runs every
// command of the program: Open, Save, Export Sample, Exit, About, Insert, Insert Looped,
// Delete and Play. It keeps no sample data of its own; every display is composed from
// the engine's sample memory image after the command that changed it.
#pragma once
#include <windows.h>

// Shared text buffer of the windows and the start-up. Each use writes its text afresh;
// every text must fit 255 characters and the terminating zero.
extern char out[256];

// 0 when every character of text is 0-9, A-F or a-f (the empty text included), else 1.
// Numbers the user types (pitch, file offsets) are hexadecimal without prefix.
int CheckHexValid(const char *text);

// Main window procedure: 1 for WM_INITDIALOG and the map's WM_DRAWITEM, 0 for every
// other message. Ends the window with 1 by Exit and with 2 by the cancel command (close
// box, Escape). Exit, the cancel command and Open first ask to save unsaved changes,
// owned by the window, and go on only when they were saved or let go. The title names the loaded ROM file and
// marks unsaved changes with a "*". Ctrl+O, Ctrl+S and Ctrl+E run Open, Save and Export
// Sample where the menu would; Enter in the pitch field plays. After Open and the slot
// commands the slot list has the focus. A click on a sample in the bank map selects its
// slot. A ROM file dropped on the window opens as by Open, a .wav or .brr file dropped
// while an empty slot is selected goes into it as by Insert; other drops are refused.
INT_PTR CALLBACK dlgProc(HWND window, UINT message, WPARAM command, LPARAM extra);

// The bank map: the sample data area, audio 0x8100 to 0xFFE1, drawn to scale across a
// strip. What the engine's getters tell of one slot: its start (0: empty), its size in
// bytes to the next start, and its loop offset in bytes (-1: it plays once).
struct MapSample {
    int start, size, loopOffset;
};

// One used slot's box in a strip: pixels from the strip's left edge, right exclusive.
struct MapBox {
    int slot;        // 0-63
    int left, right; // the sample from its start to its next start
    int loop;        // the loop point's pixel, -1 for a sample that plays once
};

// Lays out the map of the 64 slots in samples (the free area freeBytes at the top) over
// a strip width pixels wide: fills boxes with one box per used slot, in slot order, and
// returns their count; *freeLeft receives the pixel where the free area begins.
int MapLayout(const MapSample *samples, int freeBytes, int width, MapBox *boxes, int *freeLeft);

// What the bank placement dialog is created with.
struct BankPlacement {
    int header;   // the ROM's copier header size (AddrHeaderSize: 0x200, or 0 headerless)
    int proposal; // file offset that the field starts with (SPCMFirstFreeBank); -1: empty
};

// Bank placement dialog procedure: returns 0 for every message. Its creation parameter
// points at a BankPlacement; the dialog takes file offsets of that file and ends with an
// accepted one (header + k * 0x8000) or with -1 when it was closed. Before it ends with
// a bank that holds data (SPCMBankData above 0), a box asks whether to overwrite it;
// No keeps the dialog open with the text.
INT_PTR CALLBACK dlgProcp(HWND dialog, UINT message, WPARAM command, LPARAM extra);

// Loop dialog procedure: returns 0 for every message but WM_INITDIALOG, whose extra
// points at the caller's SPCMLoop (read, and written on OK): the loop start and end, and
// the rate to encode at with the size that takes against the free space and a Fit button;
// for a raw .brr file only the start. The dialog ends with 1 by an accepted OK, 0 by
// Cancel.
INT_PTR CALLBACK dlgProcLoop(HWND dialog, UINT message, WPARAM command, LPARAM extra);

// Control states of the main window.
void ResetControls(HWND window);   // No ROM: every ROM command unusable, list empty
void SetupControls(HWND window);   // ROM loaded: 64 entries, entry 0 selected, pitch 1000
void UpdateUsed(HWND window);      // inserts the 64 slot labels
void ComboChange(HWND window);     // addresses and size of the selected slot, then UpdateBtnEdt
void UpdateFreeSpace(HWND window); // "%X bytes" of the free-space counter
void UpdateBtnEdt(HWND window); // slot rules: Play/Delete/pitch/Export for used, Inserts for empty
void UpdateComboTxt(HWND window); // relabels the selected entry after its slot changed
