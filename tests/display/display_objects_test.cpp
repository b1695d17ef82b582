// Display objects: defaults, identifiers, the life of a display in every order, and errors that
// leave the display list as it was.
#include <vector>

#include "base/error_codes.h"
#include "display/display_test_util.h"
#include "platform/os_time.h"

namespace display_objects_test {

using qztest::Arg;
using qztest::Nil;

TEST_F(DisplayTest, NewDisplayDefaultsAndIdentifiers) {
    vm->Ok("CreateDisplay", {1});
    qzDisplay* d = Display(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->width, 640);
    EXPECT_EQ(d->height, 480);
    EXPECT_EQ(d->x, QZ_POS_CENTER);
    EXPECT_EQ(d->y, QZ_POS_CENTER);
    EXPECT_STREQ(d->title, "Quarnelix");
    EXPECT_EQ(d->state, QZ_DISPSTATE_CLOSED);
    EXPECT_EQ(d->layersEnabled, 0);
    EXPECT_EQ(CountWindows(), 0);

    // Nil asks for a handle; the handle frees it; unknown handles and numbers have their errors.
    ASSERT_EQ(vm->CallFresh("CreateDisplay", {Nil{}}), 0);
    ASSERT_EQ(vm->Results(), 1);
    EXPECT_EQ(vm->Run("FreeDisplay", {qztest::V(1)}), "");
    EXPECT_EQ(vm->Run("FreeDisplay", {qztest::V(1)}), "ERR 1041");
    EXPECT_EQ(vm->Run("FreeDisplay", {99}), "ERR 1344");
}

// Every order of opening, closing, hiding, selecting and freeing ends with no window, display or
// picture left behind.
TEST_F(DisplayTest, EveryOrderLeavesNothingBehind) {
    struct Step {
        const char* command;
        std::vector<Arg> args;
    };
    const std::vector<std::vector<Step>> sequences = {
        {{"CreateDisplay", {2}}, {"FreeDisplay", {2}}},
        {{"CreateDisplay", {2}}, {"OpenDisplay", {2, true}}, {"FreeDisplay", {2}}},
        {{"CreateDisplay", {2}}, {"OpenDisplay", {2, true}}, {"CloseDisplay", {2}}, {"FreeDisplay", {2}}},
        {{"CreateDisplay", {2}},
         {"OpenDisplay", {2, true}},
         {"CloseDisplay", {2}},
         {"OpenDisplay", {2, true}},
         {"CloseDisplay", {2}},
         {"OpenDisplay", {2, true}},
         {"FreeDisplay", {2}}},
        {{"CreateDisplay", {2}},
         {"CreateDisplay", {2}},
         {"OpenDisplay", {2, true}},
         {"CreateDisplay", {2}},
         {"FreeDisplay", {2}}},
        {{"CreateDisplay", {2}},
         {"OpenDisplay", {2}},
         {"HideDisplay", {}},
         {"SelectDisplay", {1}},
         {"FreeDisplay", {2}}},
        {{"CreateDisplay", {2, Arg::Table({{"mode", "fakefullscreen"}})}},
         {"OpenDisplay", {2, true}},
         {"FreeDisplay", {2}}},
        {{"CreateDisplay", {2, Arg::Table({{"mode", "fullscreen"}})}},
         {"OpenDisplay", {2, true}},
         {"CloseDisplay", {2}},
         {"OpenDisplay", {2, true}},
         {"FreeDisplay", {2}}},
    };
    OpenCurrent(1);
    const int pictures = CountPictures();
    for (size_t i = 0; i < sequences.size(); i++) {
        for (const Step& step : sequences[i]) EXPECT_EQ(vm->Run(step.command, step.args), "") << i << step.command;
        EXPECT_EQ(CountDisplays(), 1) << i;
        EXPECT_EQ(CountWindows(), 1) << i;
        EXPECT_EQ(CountPictures(), pictures) << i;
        vm->Ok("SelectDisplay", {1});
    }
    vm->CloseLibraries();
    EXPECT_EQ(CountDisplays(), 0);
    EXPECT_EQ(CountWindows(), 0);
    EXPECT_EQ(CountPictures(), 0);
}

TEST_F(DisplayTest, ErrorsLeaveTheListUnchanged) {
    OpenCurrent(1);
    vm->Ok("CreateDisplay", {2});
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } rows[] = {
        {"CloseDisplay", {2}, ERR_WRONGUSAGE},     // closed
        {"OpenDisplay", {1}, ERR_WRONGUSAGE},      // already open
        {"FreeDisplay", {1}, ERR_FREEADISPLAY},    // the current display
        {"CreateDisplay", {1}, ERR_FREEADISPLAY},  // replacing the current display
        {"CreateDisplay", {3, Arg::Table({{"scalemode", 3}})}, ERR_WRONGUSAGE},
        {"CreateDisplay", {3, Arg::Table({{"width", 0}})}, ERR_WRONGUSAGE},
        {"CreateDisplay", {3, Arg::Table({{"mode", "sideways"}})}, ERR_WRONGUSAGE},
        {"CreateDisplay", {3, Arg::Table({{"bgpic", 77}})}, ERR_FINDBGPIC},
        {"ActivateDisplay", {2}, ERR_CLOSEDDISPLAY},
        {"OpenDisplay", {9}, ERR_FINDDISPLAY},
    };
    const int pictures = CountPictures();
    qzDisplay* one = Display(1);
    for (const auto& r : rows) {
        EXPECT_EQ(vm->CallErr(r.command, r.args), r.error) << r.command;
        EXPECT_EQ(CountDisplays(), 2) << r.command;
        EXPECT_EQ(CountPictures(), pictures) << r.command;
    }
    EXPECT_EQ(Display(1), one);
    EXPECT_EQ(CurrentDisplay(), one);
    // A closed display that is current cannot be freed either.
    vm->Ok("SelectDisplay", {2});
    EXPECT_EQ(vm->CallErr("FreeDisplay", {2}), ERR_FREEADISPLAY);
}

// CloseDisplay asks the closed display's own double-buffer word, not the current display's.
TEST_F(DisplayTest, CloseDisplayTestsItsOwnDoubleBufferWord) {
    OpenCurrent(1);
    vm->Ok("CreateDisplay", {2});
    vm->Ok("OpenDisplay", {2, true});
    Display(1)->doubleBufferSaved = 1;
    EXPECT_EQ(vm->CallErr("CloseDisplay", {2}), 0);
    vm->Ok("OpenDisplay", {2, true});
    Display(2)->doubleBufferSaved = 1;
    EXPECT_EQ(vm->CallErr("CloseDisplay", {2}), ERR_HWDBFREEDISP);
    Display(2)->doubleBufferSaved = 0;
    Display(1)->doubleBufferSaved = 0;
}

TEST_F(DisplayTest, OpenShowsTheFillAndSnapshotsFollowTheWindow) {
    OpenCurrent(1, Arg::Table({{"width", 64}, {"height", 48}, {"color", 0x336699}}));
    qzHostWindow* w = Window(1);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->frame.width, 64);
    EXPECT_EQ(w->frame.height, 48);
    EXPECT_EQ(Pixel(1, 0, 0), 0x336699u);
    EXPECT_EQ(Pixel(1, 63, 47), 0x336699u);
    EXPECT_EQ(w->title, "Quarnelix");
    // The frame time is on the monotonic clock, as every elapsed time.
    qzTimeVal now;
    OsGetMonotonicTime(&now);
    EXPECT_LE(now.seconds - Display(1)->frameTime.seconds, 1u);
}

// A picture the script freed stays while any display shows it, also one that is not current; a
// display's own picture goes when the display takes another one.
TEST_F(DisplayTest, PicturesLiveWhileADisplayShowsThem) {
    OpenCurrent(1, Arg::Table({{"width", 20}, {"height", 10}}));
    qzBGPic* five = nullptr;
    ASSERT_EQ(CreateBlankBGPic({5, nullptr}, 30, 20, 0x00FF00, &five), 0);
    vm->Ok("CreateDisplay", {2, Arg::Table({{"bgpic", 5}})});
    EXPECT_EQ(Display(2)->bgpic, five);
    EXPECT_EQ(Display(2)->width, 30);
    EXPECT_EQ(vm->CallErr("CreateDisplay", {3, Arg::Table({{"bgpic", 5}})}), ERR_MULTIBGPIC);
    const int pictures = CountPictures();  // display 1's own and picture 5
    ASSERT_EQ(DeleteBGPic(*vm, {5, nullptr}, 1), 0);
    EXPECT_EQ(five->layerOnly, 1);
    // Display 1 switches pictures while display 2, not current, still shows the freed picture.
    qzBGPic* six = nullptr;
    ASSERT_EQ(CreateBlankBGPic({6, nullptr}, 20, 10, 0x0000FF, &six), 0);
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"bgpic", 6}})});
    EXPECT_EQ(Display(1)->bgpic, six);
    EXPECT_EQ(Pixel(1, 19, 9), 0x0000FFu);
    EXPECT_EQ(Display(2)->bgpic, five);
    EXPECT_EQ(five->scaledWidth, 30);
    // Display 1's own picture went; picture 6 came.
    EXPECT_EQ(CountPictures(), pictures);
    vm->Ok("FreeDisplay", {2});
    EXPECT_EQ(CountPictures(), pictures - 1);
}

}  // namespace display_objects_test
