// Shared fixture of the Windows engine tests: an owner window standing in for the main
// window, a fresh folder, and a way to run an engine call while a helper thread answers
// the file chooser and the message boxes it shows.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "FileIO.h"
#include "SPCM.h"
#include "files.h"
#include "stockrom.h"
#include "ui.h"

struct Seen {
    int result = -1;
    std::vector<ui::MessageBoxInfo> boxes;
    bool chooserShown = false;
    int stray = 0; // windows that nobody expected, cancelled
};

class WinEngine : public ::testing::Test {
  protected:
    void SetUp() override
    {
        owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        FIOSetOwner(owner); // as the main window is, by its first Open
        dir = files::TempDir("engine");
    }

    void TearDown() override
    {
        DestroyWindow(owner);
        files::Remove(dir);
    }

    // Runs call; a helper answers the chooser with path (none when chooser is false, Cancel
    // when path is null) and then OK on each of boxes message boxes, which it records.
    template <class Call> Seen Run(Call call, bool chooser, const char *path, int boxes)
    {
        Seen seen;
        seen.result = ui::WithAnswers([&] { return int(call()); },
                                      [&](DWORD tid) {
                                          if (chooser)
                                              seen.chooserShown = ui::AnswerOpenDialog(tid, path);
                                          for (int i = 0; i < boxes; ++i)
                                              seen.boxes.push_back(ui::AnswerMessageBox(tid));
                                      },
                                      &seen.stray);
        return seen;
    }

    // Opens the ROM file at path through the chooser, expecting boxes message boxes.
    Seen Open(const std::string &path, int boxes = 0)
    {
        return Run([this] { return FileIn(SPCMGetPPtr(), owner); }, true, path.c_str(), boxes);
    }

    std::string Path(const std::string &name) const { return dir + "\\" + name; }

    HWND owner = nullptr;
    std::string dir;
};

inline void ExpectBox(const ui::MessageBoxInfo &box, const std::string &text,
                      const std::string &caption, ui::Icon icon, HWND owner)
{
    EXPECT_TRUE(box.found) << "no box for: " << text;
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.icon, icon) << box.text;
    EXPECT_EQ(box.owner, owner) << box.text;
}
