#include "driver.h"

#include <chrono>

#include "FileIO.h"
#include "dialog.h"
#include "files.h"
#include "resource.h"
#include "stockrom.h"

namespace {

struct Others {
    HWND main, except, found;
};

BOOL CALLBACK FindOther(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<Others *>(param);
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (window == search->main || window == search->except || !IsWindowVisible(window) ||
        std::string(name) != "#32770")
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

void MainWindow::SetUp()
{
    // Each test gets its own program directory, so that tests running side by side
    // never share scratch files.
    dir = files::TempDir("window");
    const std::string encoder = files::ProgramDir() + "\\snesbrr.exe";
    ASSERT_TRUE(CopyFileA(encoder.c_str(), Path("snesbrr.exe").c_str(), FALSE)) << encoder;
    FIOCfgCurDir(dir.c_str());
    FIOSetCurDir();

    thread_ = std::thread([this] {
        tid = GetCurrentThreadId();
        result_ = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                  dlgProc, 0);
        ended_ = true;
    });
    while (!tid)
        Sleep(1);
    main = ui::WaitDialog(tid, "Tarvo Samples", ui::kLoadWaitMs);
    ASSERT_NE(main, nullptr) << "the main window did not appear";
}

void MainWindow::TearDown()
{
    if (!ended_) {
        // A failed test may leave a box or chooser open; close those first, since the
        // window cannot end while one of its modal loops runs.
        for (int i = 0; i < 20; ++i) {
            HWND left = OtherDialog(50);
            if (!left)
                break;
            PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
            Sleep(50);
        }
        PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
        // A test's unsaved changes make Exit ask first; they are let go.
        for (int i = 0; i < 100 && !ended_; ++i)
            if (HWND question = OtherDialog(50))
                PostMessageA(question, WM_COMMAND, IDNO, 0);
    }
    if (thread_.joinable())
        thread_.join();
    files::Remove(dir);
}

std::string MainWindow::StockRom(const char *name)
{
    files::Write(Path(name), stockrom::Make());
    return Path(name);
}

std::string MainWindow::Wav(const char *name, int frames)
{
    files::Write(Path(name), files::MakeWav(files::Tone(frames, 440.0)));
    return Path(name);
}

void MainWindow::Post(int id)
{
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void MainWindow::Send(int id)
{
    DWORD_PTR ignored;
    SendMessageTimeoutA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL, 60000,
                        &ignored);
}

void MainWindow::WaitGone(HWND window)
{
    for (int i = 0; i < 1000 && IsWindow(window); ++i)
        Sleep(5);
}

void MainWindow::Select(int slot)
{
    HWND list = Item(IDC_SLOTS);
    SendMessageA(list, CB_SETCURSEL, WPARAM(slot), 0);
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_SLOTS, CBN_SELCHANGE), LPARAM(list));
}

void MainWindow::Type(HWND field, const std::string &text)
{
    SendMessageA(field, WM_SETTEXT, 0, LPARAM(""));
    for (char c : text)
        SendMessageA(field, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
}

void MainWindow::Press(WORD key, WORD modifier)
{
    SetForegroundWindow(main);
    std::vector<INPUT> inputs;
    auto add = [&inputs](WORD vk, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = WORD(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (modifier)
        add(modifier, false);
    add(key, false);
    add(key, true);
    if (modifier)
        add(modifier, true);
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
    // The keys are handled in turn with the window's other input; a sent message comes
    // first, so the wait is for the queue to be taken.
    Sleep(50);
    Settle();
}

void MainWindow::Click(HWND control, int x, int y)
{
    SetForegroundWindow(main);
    POINT at = {x, y};
    ClientToScreen(control, &at);
    SetCursorPos(at.x, at.y);
    // Each event carries the position, in 65536ths of the screen, as a mouse's does;
    // the cursor may have moved on before the events are taken.
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[3] = {};
    const DWORD flags[3] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dx = LONG((at.x * 65536LL + width / 2) / width);
        inputs[i].mi.dy = LONG((at.y * 65536LL + height / 2) / height);
        inputs[i].mi.dwFlags = flags[i] | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    SendInput(3, inputs, sizeof(INPUT));
    Sleep(50);
    Settle();
}

HWND MainWindow::Focus() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(tid, &info) ? info.hwndFocus : nullptr;
}

void MainWindow::Settle()
{
    DWORD_PTR ignored;
    SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
}

void MainWindow::Open(const std::string &path, const char *placement)
{
    const bool unsaved = Title().rfind('*', 0) == 0;
    Post(IDM_OPEN);
    if (unsaved) {
        ASSERT_TRUE(Answer("Tarvo Samples", 5000, IDNO).found) << "no question";
    }
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, path.c_str())) << "no ROM chooser";
    if (!placement)
        return;
    HWND dialog = WaitPlacement();
    ASSERT_NE(dialog, nullptr) << "no bank placement dialog";
    Type(GetDlgItem(dialog, IDC_NEWROM_OFFSET), placement);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_NEWROM_OK, BN_CLICKED), 0);
    WaitGone(dialog);
    Settle();
}

HWND MainWindow::WaitPlacement(int timeoutMs)
{
    return ui::WaitDialog(tid, "New ROM", timeoutMs, main);
}

ui::MessageBoxInfo MainWindow::Answer(const char *caption, int timeoutMs, int button)
{
    HWND box = caption ? ui::WaitDialog(tid, caption, timeoutMs, main) : OtherDialog(timeoutMs);
    ui::MessageBoxInfo info = ui::ReadMessageBox(box);
    if (box) {
        PostMessageA(box, WM_COMMAND, WPARAM(button), 0);
        WaitGone(box);
    }
    return info;
}

HWND MainWindow::OtherDialog(int timeoutMs, HWND except)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Others search{main, except, nullptr};
        EnumThreadWindows(tid, FindOther, reinterpret_cast<LPARAM>(&search));
        if (search.found || std::chrono::steady_clock::now() >= end)
            return search.found;
        Sleep(10);
    }
}

bool MainWindow::SaveEnabled() const
{
    return MenuEnabled(IDM_SAVE);
}

bool MainWindow::MenuEnabled(int id) const
{
    const UINT state = GetMenuState(GetMenu(main), UINT(id), MF_BYCOMMAND);
    return state != UINT(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

std::vector<std::string> MainWindow::Entries() const
{
    return ui::ComboEntries(Item(IDC_SLOTS));
}

int MainWindow::Selection() const
{
    return int(SendMessageA(Item(IDC_SLOTS), CB_GETCURSEL, 0, 0));
}

bool MainWindow::NoRomState() const
{
    return !Enabled(IDC_SLOTS) && Entries().empty() && !Enabled(IDC_PLAY) && !Enabled(IDC_DELETE) &&
           !Enabled(IDC_INSERT) && !Enabled(IDC_INSERT_LOOPED) && !Enabled(IDC_PITCH) &&
           !SaveEnabled() && !MenuEnabled(IDM_EXPORT);
}

INT_PTR MainWindow::EndWith(UINT message, WPARAM wParam, LPARAM lParam)
{
    PostMessageA(main, message, wParam, lParam);
    return Ended();
}

INT_PTR MainWindow::Ended()
{
    thread_.join();
    return result_;
}
