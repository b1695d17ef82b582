// Presentation and scaling: letterboxing, the shared scaled buffer, display hooks, and how little
// an attribute change presents.
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/display_present.h"
#include "display/display_scale.h"
#include "display/display_test_util.h"

namespace display_present_test {

using qztest::Arg;

namespace {

// What a hook heard: one line per message.
std::vector<std::string> heard;

void LogHook(qzDisplayHook*, int32_t code, const intptr_t* m, void*) {
    if (code == QZ_HOOKMSG_PRESENT)
        heard.push_back("present " + std::to_string(m[8]) + "," + std::to_string(m[9]) + " " + std::to_string(m[12]) +
                        "x" + std::to_string(m[13]));
    else if (code == QZ_HOOKMSG_RESIZE)
        heard.push_back("resize " + std::to_string(m[0]) + "x" + std::to_string(m[1]));
    else
        heard.push_back("message " + std::to_string(code));
}

// Removes itself when it hears its first message.
void SelfRemovingHook(qzDisplayHook* hook, int32_t, const intptr_t*, void*) {
    heard.push_back("self");
    RemoveDisplayHook(hook);
}

}  // namespace

TEST(Letterbox, KeepsTheProportions) {
    const struct {
        int32_t availableWidth, availableHeight, scaledWidth, scaledHeight, left, top, right, bottom;
    } rows[] = {
        {1920, 1200, 1600, 1200, 160, 0, 160, 0},
        {1000, 1000, 1000, 750, 0, 125, 0, 125},
        {640, 480, 640, 480, 0, 0, 0, 0},
        {641, 481, 641, 480, 0, 0, 0, 1},
    };
    qzBGPic pic;
    pic.scaledWidth = 640;
    pic.scaledHeight = 480;
    for (const auto& r : rows) {
        qzDisplay d;
        d.flags = QZ_DISPF_KEEPPROPORTIONS;
        ComputeLetterbox(&d, &pic, r.availableWidth, r.availableHeight);
        EXPECT_EQ(d.scaledWidth, r.scaledWidth) << r.availableWidth;
        EXPECT_EQ(d.scaledHeight, r.scaledHeight) << r.availableWidth;
        EXPECT_EQ(d.letterboxLeft, r.left) << r.availableWidth;
        EXPECT_EQ(d.letterboxTop, r.top) << r.availableWidth;
        EXPECT_EQ(d.letterboxRight, r.right) << r.availableWidth;
        EXPECT_EQ(d.letterboxBottom, r.bottom) << r.availableWidth;
        // Without "keepproportions" the picture fills what is there.
        d.flags = 0;
        ComputeLetterbox(&d, &pic, r.availableWidth, r.availableHeight);
        EXPECT_EQ(d.scaledWidth, r.availableWidth);
        EXPECT_EQ(d.letterboxLeft + d.letterboxTop + d.letterboxRight + d.letterboxBottom, 0);
    }
}

TEST_F(DisplayTest, LetterboxedDisplayShowsBlackStrips) {
    OpenCurrent(1, Arg::Table({{"width", 40},
                               {"height", 30},
                               {"color", 0xFF0000},
                               {"scalemode", 1},
                               {"scalewidth", 100},
                               {"scaleheight", 50},
                               {"keepproportions", 1}}));
    qzDisplay* d = Display(1);
    EXPECT_EQ(d->width, 100);
    EXPECT_EQ(d->height, 50);
    EXPECT_EQ(d->scaledWidth, 66);
    EXPECT_EQ(d->scaledHeight, 50);
    EXPECT_EQ(d->letterboxLeft, 17);
    EXPECT_EQ(d->letterboxRight, 17);
    EXPECT_EQ(Pixel(1, 0, 0), 0u);
    EXPECT_EQ(Pixel(1, 16, 25), 0u);
    EXPECT_EQ(Pixel(1, 17, 25), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 82, 49), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 83, 0), 0u);
}

TEST_F(DisplayTest, ScaledBufferFollowsTheLastSize) {
    OpenCurrent(1, Arg::Table({{"width", 20}, {"height", 10}, {"smoothscale", 1}}));
    qzDisplay* d = Display(1);
    const qzBitMap* source = d->displayBuffer;
    // A scaled size of 0 x 480 is no scaling: nothing goes through the buffer.
    PresentDisplayRect(source, 0, 0, d, 0, 0, 20, 10, 0, 480, 0, nullptr, nullptr);
    int32_t w = 0, h = 0;
    GetScaledPresentationBufferSize(&w, &h);
    EXPECT_EQ(w * h, 0);
    PresentDisplayRect(source, 0, 0, d, 0, 0, 20, 10, 40, 20, 0, nullptr, nullptr);
    GetScaledPresentationBufferSize(&w, &h);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 20);
    PresentDisplayRect(source, 0, 0, d, 0, 0, 20, 10, 30, 15, 0, nullptr, nullptr);
    GetScaledPresentationBufferSize(&w, &h);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 15);
}

TEST_F(DisplayTest, HooksHearPresentationsAndMayRemoveThemselves) {
    OpenCurrent(1, Arg::Table({{"width", 32}, {"height", 16}}));
    heard.clear();
    int32_t width = 0, height = 0;
    qzHookTag tags[] = {{1, reinterpret_cast<intptr_t>(&width)}, {2, reinterpret_cast<intptr_t>(&height)}, {0, 0}};
    qzDisplayHook* self = AddDisplayHook(*vm, {1, nullptr}, SelfRemovingHook, nullptr, nullptr, 0);
    qzDisplayHook* log = AddDisplayHook(*vm, {1, nullptr}, LogHook, nullptr, tags, 0);
    ASSERT_NE(self, nullptr);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 16);
    qzDisplay* d = Display(1);
    PresentDisplayRect(d->displayBuffer, 2, 3, d, 2, 3, 4, 5, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(heard, (std::vector<std::string>{"self", "present 2,3 4x5"}));
    // A display with hooks cannot be freed; an unknown display gets no hook.
    vm->Ok("CreateDisplay", {2});
    vm->Ok("SelectDisplay", {2});
    EXPECT_EQ(vm->CallErr("FreeDisplay", {1}), ERR_SATFREEDISP);
    EXPECT_EQ(AddDisplayHook(*vm, {7, nullptr}, LogHook, nullptr, nullptr, 0), nullptr);
    RemoveDisplayHook(log);
    EXPECT_EQ(vm->CallErr("FreeDisplay", {1}), 0);
}

// Attribute changes present only what changed: a new title presents nothing, a new colour the
// whole picture once, a new size announces itself to the hooks.
TEST_F(DisplayTest, AttributeChangesPresentTheLeast) {
    OpenCurrent(1, Arg::Table({{"width", 32}, {"height", 16}}));
    qzHostWindow* window = Window(1);
    heard.clear();
    ASSERT_NE(AddDisplayHook(*vm, {1, nullptr}, LogHook, nullptr, nullptr, 0), nullptr);
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"title", "Renamed"}})});
    EXPECT_EQ(heard, std::vector<std::string>{});
    EXPECT_EQ(Window(1), window);
    EXPECT_EQ(window->title, "Renamed");
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"color", 0x00FF00}})});
    EXPECT_EQ(heard, (std::vector<std::string>{"present 0,0 32x16"}));
    EXPECT_EQ(Pixel(1, 31, 15), 0x00FF00u);
    heard.clear();
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"width", 48}})});
    EXPECT_EQ(heard, (std::vector<std::string>{"resize 48x16"}));
    EXPECT_EQ(window->frame.width, 48);
    EXPECT_EQ(Pixel(1, 47, 15), 0x00FF00u);
}

TEST_F(DisplayTest, BorderlessReopensWithTheContentInPlace) {
    OpenCurrent(1, Arg::Table({{"width", 32}, {"height", 16}, {"x", 100}, {"y", 100}}));
    qzHostWindow* before = Window(1);
    ASSERT_NE(before, nullptr);
    const int32_t contentX = before->x, contentY = before->y;
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"borderless", true}})});
    qzHostWindow* after = Window(1);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->x, contentX);
    EXPECT_EQ(after->y, contentY);
    EXPECT_EQ(Display(1)->flags & QZ_DISPF_BORDERLESS, uint32_t(QZ_DISPF_BORDERLESS));
    EXPECT_EQ(CountWindows(), 1);
}

// Regions follow the scale factors corner-exact (ties to even) and are cut to the display.
TEST(Regions, ScaleAndClip) {
    qzDisplay d;
    d.scaleX = 2.0;
    d.scaleY = 1.5;
    d.dragRegionsGiven = 1;
    d.dragRegionCount = 1;
    d.dragRegionsScript[0] = {14, 1, 1, 3, 3};
    ScaleDisplayRegions(&d);
    EXPECT_EQ(d.dragRegions[0].x, 2);
    EXPECT_EQ(d.dragRegions[0].y, 2);
    EXPECT_EQ(d.dragRegions[0].width, 5);
    EXPECT_EQ(d.dragRegions[0].height, 3);

    d.width = d.height = 5;
    qzRegion regions[] = {{14, 4, 4, 10, 10}, {14, 7, 0, 3, 3}};
    ClipDisplayRegions(&d, regions, 2);
    EXPECT_EQ(regions[0].width, 1);
    EXPECT_EQ(regions[0].height, 1);
    EXPECT_EQ(regions[1].x, 4);
    EXPECT_EQ(regions[1].width, 1);
    EXPECT_EQ(regions[1].height, 3);
}

// Scaling switched on and off again through the attributes: the window follows, the picture keeps
// the script's size.
TEST_F(DisplayTest, ScalingOnAndOffThroughAttributes) {
    OpenCurrent(1, Arg::Table({{"width", 40}, {"height", 30}, {"color", 0xFF0000}}));
    qzDisplay* d = Display(1);
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"scalemode", 1}, {"scalewidth", 80}, {"scaleheight", 60}})});
    EXPECT_EQ(d->width, 80);
    EXPECT_EQ(d->scaledWidth, 80);
    EXPECT_EQ(d->bgpic->scaledWidth, 40);
    EXPECT_DOUBLE_EQ(d->scaleX, 2.0);
    EXPECT_EQ(Window(1)->frame.width, 80);
    EXPECT_EQ(Pixel(1, 79, 59), 0xFF0000u);
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"scalemode", 0}})});
    EXPECT_EQ(d->width, 40);
    EXPECT_EQ(d->scaledWidth, 0);
    EXPECT_EQ(d->autoScale, 0);
    EXPECT_DOUBLE_EQ(d->scaleX, 1.0);
    EXPECT_EQ(Window(1)->frame.width, 40);
    EXPECT_EQ(Pixel(1, 39, 29), 0xFF0000u);
}

}  // namespace display_present_test
