// The compiled resources as the program finds them: both dialog templates read back
// from the executable (frame, font, and every control's id, kind, text, rectangle and
// style in template order), the menu and the icon group.
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resource.h"

namespace {

struct Control {
    DWORD id;
    std::string kind; // BUTTON, EDIT, STATIC, COMBOBOX
    std::string text;
    short x, y, cx, cy;
    DWORD style, exStyle;
};

struct Template {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    bool namesMenu = false;
    std::string caption, font;
    WORD points = 0;
    std::vector<Control> controls;
};

class Reader {
  public:
    explicit Reader(const BYTE *p) : p_(p), start_(p) {}
    WORD Word()
    {
        WORD v;
        std::memcpy(&v, p_, 2);
        p_ += 2;
        return v;
    }
    DWORD Dword()
    {
        DWORD v;
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return v;
    }
    short Short() { return short(Word()); }
    void Byte() { ++p_; }
    void Align()
    {
        while ((p_ - start_) % 4)
            ++p_;
    }
    // A zero-ended UTF-16 string of ASCII text, or 0xFFFF and an ordinal (as "#n").
    std::string SzOrOrd()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; c; c = Word())
            text += char(c);
        return text;
    }

  private:
    const BYTE *p_, *start_;
};

// Class names are compared without case; the predefined classes may also be stored as
// ordinals.
std::string ClassName(const std::string &stored)
{
    if (stored == "#128")
        return "BUTTON";
    if (stored == "#129")
        return "EDIT";
    if (stored == "#130")
        return "STATIC";
    if (stored == "#133")
        return "COMBOBOX";
    std::string upper = stored;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

Template Load(int id)
{
    Template t;
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    if (!info)
        return t;
    Reader r(static_cast<const BYTE *>(LockResource(LoadResource(nullptr, info))));
    EXPECT_EQ(r.Word(), 1); // DLGTEMPLATEEX
    EXPECT_EQ(r.Word(), 0xFFFF);
    r.Dword(); // help id
    t.exStyle = r.Dword();
    t.style = r.Dword();
    const WORD count = r.Word();
    t.x = r.Short();
    t.y = r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    t.namesMenu = r.SzOrOrd() != "";
    r.SzOrOrd(); // class
    t.caption = r.SzOrOrd();
    if (t.style & DS_SETFONT) {
        t.points = r.Word();
        r.Word(); // weight
        r.Byte(); // italic
        r.Byte(); // charset
        t.font = r.SzOrOrd();
    }
    for (WORD i = 0; i < count; ++i) {
        r.Align();
        Control c;
        r.Dword(); // help id
        c.exStyle = r.Dword();
        c.style = r.Dword();
        c.x = r.Short();
        c.y = r.Short();
        c.cx = r.Short();
        c.cy = r.Short();
        c.id = r.Dword();
        c.kind = ClassName(r.SzOrOrd());
        c.text = r.SzOrOrd();
        const WORD extra = r.Word();
        for (WORD b = 0; b < extra; ++b)
            r.Byte();
        t.controls.push_back(c);
    }
    return t;
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

// What a control is, in template order (the tab order); where it lies is left to the
// layout, which the window tests check by what fits and what follows what.
struct Expected {
    DWORD id;
    std::string kind, text;
    DWORD style, exStyle;
};

void ExpectControls(const Template &t, const std::vector<Expected> &expected)
{
    ASSERT_EQ(t.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control &a = t.controls[i];
        const Expected &e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(e.id) + ")");
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(a.kind, e.kind);
        EXPECT_EQ(a.text, e.text);
        EXPECT_EQ(a.style, e.style);
        EXPECT_EQ(a.exStyle, e.exStyle);
    }
}

TEST(Resources, MainWindowTemplate)
{
    const Template t = Load(IDD_MAIN);
    EXPECT_EQ(t.style, DWORD(DS_SETFONT | DS_CENTER | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                             WS_VISIBLE));
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_FALSE(t.namesMenu) << "the menu is attached at initialisation";
    EXPECT_EQ(t.caption, "Tarvo Samples");
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.points, 8);

    const DWORD group = kChild | BS_GROUPBOX, label = kChild | SS_LEFT;
    const DWORD button = kChild | BS_PUSHBUTTON | WS_TABSTOP;
    ExpectControls(t, {
                          {IDC_SAMPLE_GROUP, "BUTTON", "Sample", group, 0},
                          {IDC_SLOTS_LABEL, "STATIC", "Sample No.", label, 0},
                          {IDC_SLOTS, "COMBOBOX", "",
                           kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
                          {IDC_START_LABEL, "STATIC", "Start:", label, 0},
                          {IDC_START, "STATIC", "0", label, 0},
                          {IDC_LOOP_LABEL, "STATIC", "Loop:", label, 0},
                          {IDC_LOOP, "STATIC", "0", label, 0},
                          {IDC_FREE_LABEL, "STATIC", "Free space:", label, 0},
                          {IDC_FREE, "STATIC", "0 bytes", label, 0},
                          {IDC_SLOT_SIZE_LABEL, "STATIC", "Size:", label, 0},
                          {IDC_SLOT_SIZE, "STATIC", "0 bytes", label, 0},
                          {IDC_OPERATE_GROUP, "BUTTON", "Operate", group, 0},
                          {IDC_INSERT, "BUTTON", "&Insert", button, 0},
                          {IDC_INSERT_LOOPED, "BUTTON", "Insert &Looped", button, 0},
                          {IDC_DELETE, "BUTTON", "&Delete", button, 0},
                          {IDC_PLAYBACK_GROUP, "BUTTON", "Playback", group, 0},
                          {IDC_PITCH_LABEL, "STATIC", "Pitch:", label, 0},
                          {IDC_PITCH, "EDIT", "", kChild | ES_LEFT | WS_TABSTOP, WS_EX_CLIENTEDGE},
                          {IDC_PLAY, "BUTTON", "&Play", button, 0},
                          {IDC_MAP, "STATIC", "", kChild | SS_OWNERDRAW | SS_NOTIFY, 0},
                          {IDC_MAP_TEXT, "STATIC", "", label, 0},
                      });
}

TEST(Resources, BankPlacementTemplate)
{
    const Template t = Load(IDD_NEWROM);
    EXPECT_EQ(t.style, DWORD(DS_SETFONT | DS_CENTER | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                             WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VISIBLE));
    EXPECT_EQ(t.exStyle, DWORD(WS_EX_TOOLWINDOW));
    EXPECT_EQ(t.caption, "New ROM");
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.points, 8);
    ExpectControls(
        t,
        {
            {IDC_NEWROM_TEXT, "STATIC",
             "Point to 32,768 bytes of free space in the ROM.  The RATS tag will be automatically "
             "created.  It must be "
             "on a bank boundary.",
             kChild | SS_LEFT, 0},
            {IDC_NEWROM_OFFSET, "EDIT", "", kChild | ES_LEFT | WS_TABSTOP, WS_EX_CLIENTEDGE},
            {IDC_NEWROM_LABEL, "STATIC", "PC Address:", kChild | SS_LEFT, 0},
            {IDC_NEWROM_OK, "BUTTON", "OK", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
            {IDCANCEL, "BUTTON", "Cancel", kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
        });
}

std::string ItemText(HMENU menu, UINT position)
{
    char text[64] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST(Resources, MenuHasFileAndAboutWithMnemonicsAndShortcuts)
{
    HMENU bar = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MENU));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    EXPECT_EQ(ItemText(bar, 0), "&File");
    HMENU file = GetSubMenu(bar, 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ItemText(bar, 1), "&About");
    EXPECT_EQ(GetMenuItemID(bar, 1), UINT(IDM_ABOUT));
    EXPECT_EQ(GetSubMenu(bar, 1), nullptr) << "About is a command on the bar";

    ASSERT_EQ(GetMenuItemCount(file), 5);
    EXPECT_EQ(ItemText(file, 0), "&Open...\tCtrl+O");
    EXPECT_EQ(GetMenuItemID(file, 0), UINT(IDM_OPEN));
    EXPECT_EQ(ItemText(file, 1), "&Save\tCtrl+S");
    EXPECT_EQ(GetMenuItemID(file, 1), UINT(IDM_SAVE));
    EXPECT_EQ(ItemText(file, 2), "&Export Sample...\tCtrl+E");
    EXPECT_EQ(GetMenuItemID(file, 2), UINT(IDM_EXPORT));
    EXPECT_TRUE(GetMenuState(file, 3, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(ItemText(file, 4), "E&xit");
    EXPECT_EQ(GetMenuItemID(file, 4), UINT(IDM_EXIT));
    DestroyMenu(bar);
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, IconGroupHoldsThreeSmallImages)
{
    HRSRC info =
        FindResourceA(nullptr, MAKEINTRESOURCEA(IDI_APP), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    ASSERT_NE(info, nullptr);
    const BYTE *group = static_cast<const BYTE *>(LockResource(LoadResource(nullptr, info)));
    WORD count;
    std::memcpy(&count, group + 4, 2);
    ASSERT_EQ(count, 3);
    std::vector<int> depths;
    for (WORD i = 0; i < count; ++i) {
        GroupEntry e;
        std::memcpy(&e, group + 6 + i * sizeof e, sizeof e);
        EXPECT_EQ(e.width, 16);
        EXPECT_EQ(e.height, 16);
        depths.push_back(e.bitCount);
        HRSRC image =
            FindResourceA(nullptr, MAKEINTRESOURCEA(e.id), MAKEINTRESOURCEA(3) /* RT_ICON */);
        ASSERT_NE(image, nullptr);
        HICON icon = CreateIconFromResourceEx(
            static_cast<BYTE *>(LockResource(LoadResource(nullptr, image))),
            SizeofResource(nullptr, image), TRUE, 0x30000, 16, 16, 0);
        EXPECT_NE(icon, nullptr) << "image " << i << " does not load";
        DestroyIcon(icon);
    }
    EXPECT_EQ(depths, (std::vector<int>{8, 24, 32}));
}

} // namespace
