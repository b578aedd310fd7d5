// Driving real dialogs from a second thread of a test: the code under test runs on one
// thread and blocks in a file chooser or message box, while the other thread finds that
// window, reads it and answers it as a person would.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ui {

enum class Icon { None, Error, Warning, Information, Question };

struct MessageBoxInfo {
    bool found = false;
    std::string caption, text;
    HWND owner = nullptr;
    Icon icon = Icon::None;
};

// How long a window that loads code may take to appear, ms: under Wine the first window of
// a process and its first file chooser load the user and shell libraries, and have been
// seen to take more than 5 s on a busy machine. Passing tests never wait this long.
constexpr int kLoadWaitMs = 20000;

// A visible dialog-class window of thread tid other than except, with that caption (any
// when null); null when none appeared within the time.
HWND WaitDialog(DWORD tid, const char *caption, int timeoutMs = 10000, HWND except = nullptr);

// Polls until done() holds or the time is up; the result of the last poll.
template <class Done> bool WaitFor(Done done, int timeoutMs = 3000)
{
    for (int waited = 0; !done() && waited < timeoutMs; waited += 10)
        Sleep(10);
    return done();
}

// Caption, text, owner and icon of a message box.
MessageBoxInfo ReadMessageBox(HWND box);

// Waits for a message box of thread tid, reads it and presses OK.
MessageBoxInfo AnswerMessageBox(DWORD tid, int timeoutMs = 10000, HWND except = nullptr);

// Waits for the "Open" file chooser of thread tid, types path into its name field and
// presses Open; a null path presses Cancel. False when no chooser appeared.
bool AnswerOpenDialog(DWORD tid, const char *path, int timeoutMs = kLoadWaitMs);

// The text of the name field of the "Open" chooser now shown by thread tid.
std::string OpenDialogName(DWORD tid, int timeoutMs = kLoadWaitMs);

// Waits for the "Save As" chooser of thread tid, chooses the filter at index (0 for
// the first; -1 keeps it), types path into its name field and presses Save; a null path
// presses Cancel. False when no chooser appeared.
bool AnswerSaveDialog(DWORD tid, const char *path, int filter = -1, int timeoutMs = kLoadWaitMs);

// The text of the name field of the chooser with that caption now shown by thread tid.
std::string ChooserName(DWORD tid, const char *caption, int timeoutMs = kLoadWaitMs);

// Every entry of a combo box (this process's), top to bottom.
std::vector<std::string> ComboEntries(HWND combo);

// The file type entries of the chooser with that caption now shown by thread tid.
std::vector<std::string> ChooserFilters(DWORD tid, const char *caption,
                                        int timeoutMs = kLoadWaitMs);

// Text of a window, read without waiting on a busy owner thread.
std::string Text(HWND window);

// Runs call on this thread while answer(tid of this thread) runs on a helper thread.
// Dialogs left open after answer has returned are cancelled (and counted in *stray), so a
// test that expected fewer windows than appeared fails instead of hanging.
template <class Call>
auto WithAnswers(Call call, std::function<void(DWORD)> answer, int *stray = nullptr)
{
    const DWORD tid = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::thread helper([&] {
        answer(tid);
        int closed = 0;
        while (!done) {
            if (HWND left = WaitDialog(tid, nullptr, 50)) {
                PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
                ++closed;
                Sleep(50);
            }
        }
        if (stray)
            *stray = closed;
    });
    struct Join {
        std::atomic<bool> &done;
        std::thread &helper;
        ~Join()
        {
            done = true;
            helper.join();
        }
    } join{done, helper};
    return call();
}

} // namespace ui
