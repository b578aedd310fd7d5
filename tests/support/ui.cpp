#include "ui.h"

#include <chrono>

namespace ui {
namespace {

struct Search {
    const char *caption;
    HWND except;
    HWND found;
};

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK Visit(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<Search *>(param);
    if (window == search->except || !IsWindowVisible(window) || ClassOf(window) != "#32770")
        return TRUE;
    if (search->caption && Text(window) != search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

struct IconSearch {
    HWND found;
};

BOOL CALLBACK VisitIcon(HWND child, LPARAM param)
{
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && ClassOf(child) == "Static") {
        reinterpret_cast<IconSearch *>(param)->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND NameField(HWND chooser)
{
    HWND combo = GetDlgItem(chooser, 0x47C); // the name field: a combo box around an edit
    if (combo) {
        HWND inner = FindWindowExA(combo, nullptr, "ComboBox", nullptr);
        HWND edit = FindWindowExA(inner ? inner : combo, nullptr, "Edit", nullptr);
        if (edit)
            return edit;
    }
    return GetDlgItem(chooser, 0x480);
}

} // namespace

std::string Text(HWND window)
{
    char text[1024] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 300, &length))
        return "";
    return std::string(text, length);
}

HWND WaitDialog(DWORD tid, const char *caption, int timeoutMs, HWND except)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Search search{caption, except, nullptr};
        EnumThreadWindows(tid, Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (std::chrono::steady_clock::now() >= end)
            return nullptr;
        Sleep(10);
    }
}

MessageBoxInfo ReadMessageBox(HWND box)
{
    MessageBoxInfo info;
    if (!box)
        return info;
    info.found = true;
    info.caption = Text(box);
    info.text = Text(GetDlgItem(box, 0xFFFF));
    info.owner = GetWindow(box, GW_OWNER);
    IconSearch search{nullptr};
    EnumChildWindows(box, VisitIcon, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
        const HICON icon = reinterpret_cast<HICON>(SendMessageA(search.found, STM_GETICON, 0, 0));
        if (icon == LoadIcon(nullptr, IDI_ERROR))
            info.icon = Icon::Error;
        else if (icon == LoadIcon(nullptr, IDI_WARNING))
            info.icon = Icon::Warning;
        else if (icon == LoadIcon(nullptr, IDI_INFORMATION))
            info.icon = Icon::Information;
        else if (icon == LoadIcon(nullptr, IDI_QUESTION))
            info.icon = Icon::Question;
    }
    return info;
}

MessageBoxInfo AnswerMessageBox(DWORD tid, int timeoutMs, HWND except)
{
    HWND box = WaitDialog(tid, nullptr, timeoutMs, except);
    MessageBoxInfo info = ReadMessageBox(box);
    if (box)
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    // Let the box go before the next one is looked for.
    for (int i = 0; i < 200 && box && IsWindow(box); ++i)
        Sleep(5);
    return info;
}

bool AnswerOpenDialog(DWORD tid, const char *path, int timeoutMs)
{
    HWND chooser = WaitDialog(tid, "Open", timeoutMs);
    if (!chooser)
        return false;
    if (path) {
        HWND field = NameField(chooser);
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    }
    PostMessageA(chooser, WM_COMMAND, path ? IDOK : IDCANCEL, 0);
    for (int i = 0; i < 400 && IsWindow(chooser); ++i)
        Sleep(5);
    return true;
}

bool AnswerSaveDialog(DWORD tid, const char *path, int filter, int timeoutMs)
{
    HWND chooser = WaitDialog(tid, "Save As", timeoutMs);
    if (!chooser)
        return false;
    if (filter >= 0) {
        HWND types = GetDlgItem(chooser, 0x470); // the file type list
        SendMessageA(types, CB_SETCURSEL, WPARAM(filter), 0);
        // As a click does: the selection changes, then is confirmed.
        for (WORD code : {CBN_SELCHANGE, CBN_SELENDOK})
            SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(0x470, code), LPARAM(types));
    }
    if (path)
        SendMessageA(NameField(chooser), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    PostMessageA(chooser, WM_COMMAND, path ? IDOK : IDCANCEL, 0);
    for (int i = 0; i < 400 && IsWindow(chooser); ++i)
        Sleep(5);
    return true;
}

std::vector<std::string> ComboEntries(HWND combo)
{
    std::vector<std::string> entries;
    const int count = int(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[128] = "";
        SendMessageA(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
        entries.push_back(text);
    }
    return entries;
}

std::vector<std::string> ChooserFilters(DWORD tid, const char *caption, int timeoutMs)
{
    HWND chooser = WaitDialog(tid, caption, timeoutMs);
    return chooser ? ComboEntries(GetDlgItem(chooser, 0x470)) : std::vector<std::string>{};
}

std::string ChooserName(DWORD tid, const char *caption, int timeoutMs)
{
    HWND chooser = WaitDialog(tid, caption, timeoutMs);
    return chooser ? Text(NameField(chooser)) : "";
}

std::string OpenDialogName(DWORD tid, int timeoutMs)
{
    HWND chooser = WaitDialog(tid, "Open", timeoutMs);
    return chooser ? Text(NameField(chooser)) : "";
}

} // namespace ui
