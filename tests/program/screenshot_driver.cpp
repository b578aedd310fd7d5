// Steps the real program through the states that script/screenshots pictures: the main
// window without a ROM, the bank placement dialog with an offset typed in, and the main
// window with the demo ROM loaded and a freshly inserted sample selected.
//
// usage: screenshot_driver PROGRAM.exe ROM WAV   (Windows paths)
// It writes the demo ROM (the generated stock ROM) to ROM and a short tone that fits
// the free space of a new bank (4000 frames, 2250 bytes of BRR) to WAV first.
// At each state it prints "shot NAME WINDOW-TITLE" and waits for a line on its input,
// which the script sends once the picture is taken; "done" ends the run.
#include <windows.h>

#include <cstdio>
#include <string>

#include "files.h"
#include "resource.h"
#include "stockrom.h"
#include "ui.h"

namespace {

bool Shot(const char *name, const char *title)
{
    std::printf("shot %s %s\n", name, title);
    std::fflush(stdout);
    char line[64];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

int Fail(const char *what)
{
    std::printf("fail %s\n", what);
    std::fflush(stdout);
    return 1;
}

// Posts command to the main window, answers its file chooser with path, and pictures
// the window captioned caption that follows as name. That window, or null once the
// failure is printed.
HWND Picture(DWORD tid, HWND main, int command, const std::string &path, const char *caption,
             const char *name)
{
    PostMessageA(main, WM_COMMAND, command, 0);
    if (!ui::AnswerOpenDialog(tid, path.c_str(), 10000)) {
        Fail("chooser");
        return nullptr;
    }
    HWND window = ui::WaitDialog(tid, caption, 30000, main);
    if (!window) {
        Fail(caption);
        return nullptr;
    }
    Sleep(300);
    return Shot(name, caption) ? window : nullptr;
}

bool WaitEntry(HWND list, int index, const wchar_t *text)
{
    for (int i = 0; i < 1500; ++i) {
        wchar_t entry[64] = L"";
        if (SendMessageW(list, CB_GETCOUNT, 0, 0) > index) {
            SendMessageW(list, CB_GETLBTEXT, WPARAM(index), LPARAM(entry));
            if (std::wstring(entry) == text)
                return true;
        }
        Sleep(20);
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: screenshot_driver PROGRAM.exe ROM WAV\n");
        return 2;
    }
    files::Write(argv[2], stockrom::Make());
    files::Write(argv[3], files::MakeWav(files::Tone(4000, 440.0)));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string line = std::string("\"") + argv[1] + "\"";
    if (!CreateProcessA(argv[1], &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return Fail("start");
    const DWORD tid = process.dwThreadId;
    HWND main = ui::WaitDialog(tid, "Tarvo Samples", 15000);
    if (!main)
        return Fail("main window");
    HWND list = GetDlgItem(main, IDC_SLOTS);
    Sleep(300);
    if (!Shot("main-no-rom", "Tarvo Samples"))
        return 1;

    // The field proposes the demo ROM's first free bank, 100200.
    HWND placement = Picture(tid, main, IDM_OPEN, argv[2], "New ROM", "bank-placement");
    if (!placement)
        return 1;
    PostMessageA(placement, WM_COMMAND, IDC_NEWROM_OK, 0);
    if (!WaitEntry(list, 63, L"3F: Unused"))
        return Fail("slot list");

    SendMessageW(list, CB_SETCURSEL, 0x14, 0);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_SLOTS, CBN_SELCHANGE), LPARAM(list));
    PostMessageA(main, WM_COMMAND, IDC_INSERT, 0);
    if (!ui::AnswerOpenDialog(tid, argv[3], 10000))
        return Fail("WAV chooser");
    if (!WaitEntry(list, 0x14, L"14: Used"))
        return Fail("insertion");
    Sleep(300);
    if (!Shot("main-loaded", "Tarvo Samples"))
        return 1;

    // A second at 48 kHz with its loop: the Loop box, then the question a sample too large
    // for the free space gets.
    const std::string big = std::string(argv[3]) + ".long.wav";
    files::Write(big, files::WithLoop(files::MakeWav(files::Tone(48000, 440.0), 48000), 0, 47999));
    SendMessageW(list, CB_SETCURSEL, 0x15, 0);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_SLOTS, CBN_SELCHANGE), LPARAM(list));
    HWND loop = Picture(tid, main, IDC_INSERT_LOOPED, big, "Loop", "loop-dialog");
    if (!loop)
        return 1;
    PostMessageA(loop, WM_COMMAND, IDCANCEL, 0);
    Sleep(500);
    HWND question = Picture(tid, main, IDC_INSERT, big, "Insert", "fit-question");
    if (!question)
        return 1;
    PostMessageA(question, WM_COMMAND, IDNO, 0);
    if (HWND refusal = ui::WaitDialog(tid, "Error", 10000, main))
        PostMessageA(refusal, WM_COMMAND, IDOK, 0);
    Sleep(500);

    // The bank is not saved: Exit asks, and the pictures' changes are let go.
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    if (HWND unsaved = ui::WaitDialog(tid, "Tarvo Samples", 10000, main))
        PostMessageA(unsaved, WM_COMMAND, IDNO, 0);
    WaitForSingleObject(process.hProcess, 10000);
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}
