// The main window and the New ROM dialog driven from the keyboard alone, the keys going
// through the system's input queue as a person's do: the menu's shortcuts, the buttons'
// mnemonics, Enter, Tab and the arrow keys, each only where its command is usable.
#include <string>
#include <vector>

#include "driver.h"
#include "files.h"
#include "resource.h"

namespace {

class Keyboard : public MainWindow {
  protected:
    bool NoBox(int timeoutMs = 300) { return OtherDialog(timeoutMs) == nullptr; }

    // The focused control after each press of Tab, as many presses as ids are expected.
    std::vector<int> TabWalk(size_t presses)
    {
        std::vector<int> ids;
        for (size_t i = 0; i < presses; ++i) {
            const HWND before = Focus();
            Press(VK_TAB);
            WaitFor([&] { return Focus() != before; }, 1000);
            ids.push_back(GetDlgCtrlID(Focus()));
        }
        return ids;
    }
};

TEST_F(Keyboard, ShortcutsMnemonicsAndFocusFollowTheRulesOfTheMenuAndButtons)
{
    // With no ROM, Save and Export are grayed: their shortcuts do nothing.
    Press('S', VK_CONTROL);
    Press('E', VK_CONTROL);
    EXPECT_TRUE(NoBox());

    // Ctrl+O opens as File > Open does; Enter in the New ROM field presses OK.
    const std::string rom = StockRom("stock.smc");
    Press('O', VK_CONTROL);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, rom.c_str())) << "Ctrl+O opened no chooser";
    HWND placement = WaitPlacement();
    ASSERT_NE(placement, nullptr);
    PostMessageA(GetDlgItem(placement, IDC_NEWROM_OFFSET), WM_KEYDOWN, VK_RETURN, 1);
    WaitGone(placement);
    Settle();
    ASSERT_EQ(Entries().size(), 64u) << "Enter did not take the proposed bank";
    EXPECT_TRUE(FocusOn(IDC_SLOTS)) << "after Open the keys work on the slot list";

    // Slot 0 is used: Insert's mnemonics do nothing; the arrow keys move the selection.
    Press('I', VK_MENU);
    Press('L', VK_MENU);
    EXPECT_TRUE(NoBox());
    Press(VK_DOWN);
    EXPECT_TRUE(WaitFor([&] { return Selection() == 1; })) << Selection();
    Press(VK_END);
    ASSERT_TRUE(WaitFor([&] { return Selection() == 63; })) << Selection();
    Settle();
    EXPECT_EQ(Text(IDC_START), "0") << "the selection change did not reach the window";

    // An empty slot: Tab reaches the usable controls top to bottom and comes back round.
    EXPECT_EQ(TabWalk(3), (std::vector<int>{IDC_INSERT, IDC_INSERT_LOOPED, IDC_SLOTS}));
    Press('P', VK_MENU);
    Press('D', VK_MENU);
    Press('E', VK_CONTROL);
    EXPECT_TRUE(NoBox()) << "Play, Delete and Export are not usable on an empty slot";

    // Alt+I inserts; the focus comes back to the list, whose arrows keep working.
    const std::string wav = Wav("tone.wav");
    Press('I', VK_MENU);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str())) << "Alt+I opened no chooser";
    ASSERT_TRUE(WaitFor([&] { return Entries()[63] == "3F: Used"; }));
    Settle();
    EXPECT_TRUE(FocusOn(IDC_SLOTS)) << GetDlgCtrlID(Focus());
    EXPECT_EQ(TabWalk(4), (std::vector<int>{IDC_DELETE, IDC_PITCH, IDC_PLAY, IDC_SLOTS}));

    // Enter in the pitch field plays; Alt+P plays and gives the list the focus.
    TabWalk(2);
    ASSERT_TRUE(FocusOn(IDC_PITCH)) << GetDlgCtrlID(Focus());
    Press(VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return files::Exists(Path("temp.wav")); })) << "Enter did not play";
    // Gone only once the decoder has let go of it, so that the next play must write it.
    ASSERT_TRUE(WaitFor([&] {
        DeleteFileA(Path("temp.wav").c_str());
        return !files::Exists(Path("temp.wav"));
    }));
    Type(Item(IDC_PITCH), "4000");
    Press(VK_RETURN);
    EXPECT_EQ(Answer("Error").text, "Pitch too high.  Input a value 0 - 0x3FFF.")
        << "Enter plays by Play's rules";
    Type(Item(IDC_PITCH), "1000");
    Press('P', VK_MENU);
    EXPECT_TRUE(WaitFor([&] { return files::Exists(Path("temp.wav")); })) << "Alt+P did not play";
    Settle();
    EXPECT_TRUE(FocusOn(IDC_SLOTS)) << GetDlgCtrlID(Focus());

    // Ctrl+E exports (the chooser cancelled), Ctrl+S saves, Alt+D deletes; the focus
    // stays with the list.
    Press('E', VK_CONTROL);
    EXPECT_TRUE(ui::AnswerSaveDialog(tid, nullptr)) << "Ctrl+E opened no chooser";
    Settle();
    EXPECT_TRUE(FocusOn(IDC_SLOTS)) << GetDlgCtrlID(Focus());
    Press('S', VK_CONTROL);
    EXPECT_EQ(Answer("Save").text, "Save successful");
    Press('D', VK_MENU);
    EXPECT_TRUE(WaitFor([&] { return Entries()[63] == "3F: Unused"; })) << "Alt+D deleted nothing";
    EXPECT_TRUE(FocusOn(IDC_SLOTS)) << GetDlgCtrlID(Focus());
    Press(VK_UP);
    EXPECT_TRUE(WaitFor([&] { return Selection() == 62; })) << Selection();

    // The menus' own mnemonics: Alt+F opens File, where S saves; Alt+A is About.
    Press('F', VK_MENU);
    Press('S');
    EXPECT_EQ(Answer("Save").text, "Save successful") << "Alt+F, S did not save";
    Press('A', VK_MENU);
    EXPECT_NE(Answer("About").text.find("Tarvo sample utility"), std::string::npos) << "Alt+A";
}

} // namespace
