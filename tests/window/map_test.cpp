// The bank map: its layout of boxes over the sample data area, alone and over the banks
// that the window's commands leave, and a click in it as the mouse sends one.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "SPCM.h"
#include "dialog.h"
#include "driver.h"
#include "files.h"
#include "resource.h"

// Found by argument lookup, so beside MapBox in the global namespace.
bool operator==(const MapBox &a, const MapBox &b)
{
    return a.slot == b.slot && a.left == b.left && a.right == b.right && a.loop == b.loop;
}

std::ostream &operator<<(std::ostream &stream, const MapBox &box)
{
    return stream << "{slot " << box.slot << ": " << box.left << "-" << box.right << ", loop "
               << box.loop << "}";
}

namespace {

constexpr int kArea = 0xFFE2 - 0x8100; // bytes of the sample data area
constexpr int kFreshFree = 0xFC6;       // free bytes of a freshly built stock bank

std::vector<MapBox> Layout(const std::vector<MapSample> &samples, int freeBytes, int width,
                           int *freeLeft)
{
    std::vector<MapBox> boxes(64);
    boxes.resize(size_t(MapLayout(samples.data(), freeBytes, width, boxes.data(), freeLeft)));
    return boxes;
}

std::string Hex(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", unsigned(value));
    return text;
}

// Audio addresses at one pixel a byte: a box runs from its start to its next start, a
// shared start gives two equal boxes, a loop is a tick inside its box, and the free area
// begins where the highest sample ends; narrower strips scale without overflow.
TEST(MapLayout, BoxesRunFromStartToNextStartWithLoopTicksAndTheFreeArea)
{
    std::vector<MapSample> samples(64, MapSample{0, 0, -1});
    samples[3] = {0x8100, 0x90, -1};
    samples[7] = {0x8190, 0x120, 0x48};
    samples[9] = {0x8190, 0x120, -1};
    const int free = kArea - 0x1B0;
    int freeLeft = -1;
    EXPECT_EQ(Layout(samples, free, kArea, &freeLeft),
              (std::vector<MapBox>{{3, 0, 0x90, -1}, {7, 0x90, 0x1B0, 0xD8}, {9, 0x90, 0x1B0, -1}}));
    EXPECT_EQ(freeLeft, 0x1B0);

    // A full bank reaches the strip's right edge at any width.
    samples[9] = {0x82B0, kArea - 0x1B0, -1};
    for (int width : {1, 340, 100000}) {
        const std::vector<MapBox> boxes = Layout(samples, 0, width, &freeLeft);
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[2].right, width);
        EXPECT_EQ(freeLeft, width);
        EXPECT_LE(boxes[1].left, boxes[1].loop);
        EXPECT_LE(boxes[1].loop, boxes[1].right);
    }
    EXPECT_TRUE(Layout(std::vector<MapSample>(64, MapSample{0, 0, -1}), kArea, 340, &freeLeft)
                    .empty());
    EXPECT_EQ(freeLeft, 0);
}

class Map : public MainWindow {
  protected:
    // The map of the engine's bank at one pixel a byte.
    std::vector<MapBox> EngineMap(int *freeLeft, int width = kArea)
    {
        std::vector<MapSample> samples;
        for (int slot = 0; slot < 64; ++slot)
            samples.push_back({SPCMFetchStart(slot), SPCMGetSampleSize(slot), SPCMLoopOffset(slot)});
        return Layout(samples, SPCMGetFree(), width, freeLeft);
    }

    // The boxes of distinct starts tile the area from the first sample up to the free area:
    // no gap, no overlap.
    static void ExpectTiled(std::vector<MapBox> boxes, int freeLeft)
    {
        std::sort(boxes.begin(), boxes.end(),
                  [](const MapBox &a, const MapBox &b) { return a.left < b.left; });
        boxes.erase(std::unique(boxes.begin(), boxes.end(),
                                [](const MapBox &a, const MapBox &b) { return a.left == b.left; }),
                    boxes.end());
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.front().left, 0);
        for (size_t i = 1; i < boxes.size(); ++i)
            EXPECT_EQ(boxes[i].left, boxes[i - 1].right) << boxes[i - 1] << " " << boxes[i];
        EXPECT_EQ(boxes.back().right, freeLeft);
    }

    static const MapBox *Find(const std::vector<MapBox> &boxes, int slot)
    {
        for (const MapBox &box : boxes)
            if (box.slot == slot)
                return &box;
        return nullptr;
    }
};

TEST_F(Map, FollowsInsertAndDeleteAndAClickSelectsTheSampleUnderIt)
{
    Open(StockRom("stock.smc"), "100200");
    ASSERT_EQ(Entries().size(), 64u);
    int freeLeft = 0;
    std::vector<MapBox> boxes = EngineMap(&freeLeft);
    EXPECT_EQ(boxes.size(), 20u);
    EXPECT_EQ(freeLeft, kArea - kFreshFree);
    ExpectTiled(boxes, freeLeft);

    // Insert: a box at the bottom of the free space, which shrinks by its size.
    Select(0x14);
    const std::string wav = Wav("tone.wav");
    Post(IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, wav.c_str()));
    Settle();
    const int size = int(files::Read(Path("temp.brr")).size());
    ASSERT_GT(size, 0);
    boxes = EngineMap(&freeLeft);
    const MapBox *inserted = Find(boxes, 0x14);
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(*inserted, (MapBox{0x14, kArea - kFreshFree, kArea - kFreshFree + size, -1}));
    ExpectTiled(boxes, freeLeft);

    // Delete slot 5: its box goes, and the rest close up by its size.
    ASSERT_NE(Find(boxes, 5), nullptr);
    const MapBox fifth = *Find(boxes, 5);
    Select(5);
    Send(IDC_DELETE);
    boxes = EngineMap(&freeLeft);
    EXPECT_EQ(Find(boxes, 5), nullptr);
    EXPECT_EQ(freeLeft, kArea - kFreshFree + size - (fifth.right - fifth.left));
    ExpectTiled(boxes, freeLeft);

    // A click in the middle of the inserted sample's box selects slot 14.
    HWND map = Item(IDC_MAP);
    RECT client;
    GetClientRect(map, &client);
    boxes = EngineMap(&freeLeft, client.right);
    const MapBox *target = Find(boxes, 0x14);
    ASSERT_NE(target, nullptr);
    ASSERT_GT(target->right, target->left) << "the test's sample is too small to click";
    Select(0);
    Click(map, (target->left + target->right) / 2, client.bottom / 2);
    EXPECT_TRUE(WaitFor([&] { return Selection() == 0x14; })) << Selection();
    char named[64];
    std::snprintf(named, sizeof named, "Slot 14: start %X, %X bytes",
                  unsigned(0xF01C - (fifth.right - fifth.left)), unsigned(size));
    EXPECT_EQ(Text(IDC_MAP_TEXT), named);
    EXPECT_EQ(Text(IDC_SLOT_SIZE), Hex(size) + " bytes") << "the click changes the selection";

    // A sample narrower than a pixel shows as one, and that pixel takes its clicks.
    Select(0x15);
    const std::string tiny = Path("tiny.brr");
    files::Write(tiny, files::BrrImage(1, 1));
    Post(IDC_INSERT);
    ASSERT_TRUE(ui::AnswerOpenDialog(tid, tiny.c_str()));
    Settle();
    boxes = EngineMap(&freeLeft, client.right);
    target = Find(boxes, 0x15);
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(target->right, target->left) << "the test's sample is wider than a pixel";
    Select(0);
    Click(map, target->left, client.bottom / 2);
    EXPECT_TRUE(WaitFor([&] { return Selection() == 0x15; })) << Selection();
}

} // namespace
