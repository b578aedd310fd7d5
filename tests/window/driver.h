// Runs the real main window (template 1000, dlgProc) on a thread of the test process and
// drives it from the test thread as a person would: menu commands, buttons, the slot
// list, typing into fields, and answering the choosers, the bank placement dialog and
// the message boxes that the window opens.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ui.h"

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Program directory of this test: a copy of snesbrr.exe and the scratch files.
    std::string dir;
    // A file in a folder of this test.
    std::string Path(const char *name) const { return dir + "\\" + name; }
    // Writes a fresh stock ROM (2 MiB + header) and returns its path.
    std::string StockRom(const char *name);
    // Writes a WAV file of a short tone and returns its path.
    std::string Wav(const char *name, int frames = 1600);

    // Starts a command whose handler may open a modal window; returns at once.
    void Post(int id);
    // Runs a command that opens no window; returns when it has been handled.
    void Send(int id);
    // Waits until a window of the UI thread has gone (a dialog that was answered).
    static void WaitGone(HWND window);
    // Selects a slot list entry as a click does, with the selection-change notification.
    void Select(int slot);
    // Replaces a field's text by typing text into it character by character.
    void Type(HWND field, const std::string &text);
    // Presses key, with modifier (VK_CONTROL, VK_MENU) held when given, through the
    // system's input queue as the keyboard does, into the window made foreground.
    void Press(WORD key, WORD modifier = 0);
    // Clicks the left mouse button at pixel (x, y) of control's client area, through the
    // system's input queue as the mouse does.
    void Click(HWND control, int x, int y);
    // The control of the window's thread that has the keyboard focus.
    HWND Focus() const;
    // Whether the control with that id has the focus, or gets it within the time.
    bool FocusOn(int id, int timeoutMs = 3000) const
    {
        return WaitFor([&] { return GetDlgCtrlID(Focus()) == id; }, timeoutMs);
    }
    template <class Done> static bool WaitFor(Done done, int timeoutMs = 3000)
    {
        return ui::WaitFor(done, timeoutMs);
    }
    // Waits until the window handles messages again. Sent messages overtake posted
    // ones, so this only waits for work already under way: after a modal window that a
    // posted command opened has gone, not right after Post.
    void Settle();

    // Open from the menu: lets unsaved changes go when asked, answers the ROM chooser;
    // when the ROM needs a bank and placement is given, types it into the bank placement
    // dialog and presses OK.
    void Open(const std::string &path, const char *placement = nullptr);
    // The bank placement dialog, once shown; null when it does not appear.
    HWND WaitPlacement(int timeoutMs = 5000);
    // Waits for a message box with that caption (any when null), reads it and presses
    // button.
    ui::MessageBoxInfo Answer(const char *caption = nullptr, int timeoutMs = 5000,
                              int button = IDOK);
    // The window's title.
    std::string Title() const { return ui::Text(main); }
    // A dialog of the window's thread other than the main window and except, if any
    // shows within the time.
    HWND OtherDialog(int timeoutMs, HWND except = nullptr);

    HWND Item(int id) const { return GetDlgItem(main, id); }
    std::string Text(int id) const { return ui::Text(Item(id)); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    bool SaveEnabled() const;
    bool MenuEnabled(int id) const;
    std::vector<std::string> Entries() const;
    int Selection() const;
    // Whether the window shows the No ROM state (list, buttons, field, Save, Export).
    bool NoRomState() const;

    // Ends the window as a person would (Exit, close box or Escape) and returns the
    // result of the dialog call.
    INT_PTR EndWith(UINT message, WPARAM wParam, LPARAM lParam);
    // Waits until the window has ended and returns the result of the dialog call.
    INT_PTR Ended();

    HWND main = nullptr;
    std::atomic<DWORD> tid{0};

  private:
    std::thread thread_;
    std::atomic<bool> ended_{false};
    std::atomic<INT_PTR> result_{0};
};
