// The display options table: tags, ranges, region tables, and the errors that change nothing.
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/display_test_util.h"

namespace display_tags_test {

using qztest::Arg;

namespace {

Arg Region(int x, int y, int w, int h) { return Arg::Table({{"x", x}, {"y", y}, {"width", w}, {"height", h}}); }

}  // namespace

TEST_F(DisplayTest, CreateDisplayTagErrors) {
    std::vector<Arg> many;
    for (int i = 0; i < 65; i++) many.push_back(Region(0, 0, 10, 10));
    const struct {
        const char* what;
        Arg options;
        int error;
    } rows[] = {
        {"scalemode 3", Arg::Table({{"scalemode", 3}}), ERR_WRONGUSAGE},
        {"scalewidth 0", Arg::Table({{"scalemode", 1}, {"scalewidth", 0}}), ERR_WRONGUSAGE},
        {"title of 256", Arg::Table({{"title", std::string(256, 't')}}), ERR_WRONGUSAGE},
        {"monitor 0", Arg::Table({{"monitor", 0}}), ERR_MONITORRANGE},
        {"monitor 3 of 2", Arg::Table({{"monitor", 3}}), ERR_MONITORRANGE},
        {"fillstyle 4", Arg::Table({{"fillstyle", 4}}), ERR_WRONGUSAGE},
        {"one colour stop", Arg::Table({{"fillstyle", 2}, {"gradientcolors", Arg::List({0xFF0000, 0})}}),
         ERR_WRONGUSAGE},
        {"menu 5", Arg::Table({{"menu", 5}}), ERR_FINDMENU},
        {"region type 3",
         Arg::Table(
             {{"dragregion", Arg::List({Arg::Table({{"type", 3}, {"x", 0}, {"y", 0}, {"width", 5}, {"height", 5}})})}}),
         ERR_WRONGUSAGE},
        {"region width 0", Arg::Table({{"dragregion", Arg::List({Region(0, 0, 0, 10)})}}), ERR_WRONGUSAGE},
        {"region without height",
         Arg::Table({{"sizeregion", Arg::List({Arg::Table({{"x", 0}, {"y", 0}, {"width", 5}})})}}), ERR_MISSINGPARAMTR},
        {"65 regions", Arg::Table({{"dragregion", Arg::List(many)}}), ERR_WRONGUSAGE},
        {"backfill type", Arg::Table({{"backfill", Arg::Table({{"type", "plaid"}})}}), ERR_WRONGUSAGE},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm->CallErr("CreateDisplay", {2, r.options}), r.error) << r.what;
        EXPECT_EQ(CountDisplays(), 0) << r.what;
        EXPECT_EQ(CountPictures(), 0) << r.what;
    }
}

TEST_F(DisplayTest, CreateDisplayReadsTags) {
    std::vector<Arg> regions;
    for (int i = 0; i < 64; i++) regions.push_back(Region(i, 0, 4, 4));
    vm->Ok("CreateDisplay", {2, Arg::Table({{"width", 320},
                                            {"height", 200},
                                            {"x", 10},
                                            {"y", -70000},
                                            {"title", std::string(255, 'a')},
                                            {"borderless", true},
                                            {"sizeable", 1},
                                            {"noclose", 1},
                                            {"scalemode", 1},
                                            {"scalewidth", "50%"},
                                            {"scaleheight", 400},
                                            {"monitor", 2},
                                            {"layers", 1},
                                            {"hidden", 1},
                                            {"dragregion", Arg::List(regions)},
                                            {"mode", "FakeFullScreen"},
                                            {"scrwidth", 800}})});
    qzDisplay* d = Display(2);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->flags & (QZ_DISPF_BORDERLESS | QZ_DISPF_SIZEABLE | QZ_DISPF_NOCLOSE | QZ_DISPF_AUTOSCALE |
                          QZ_DISPF_LAYERS | QZ_DISPF_HIDDEN),
              uint32_t(QZ_DISPF_BORDERLESS | QZ_DISPF_SIZEABLE | QZ_DISPF_NOCLOSE | QZ_DISPF_AUTOSCALE |
                       QZ_DISPF_LAYERS | QZ_DISPF_HIDDEN));
    EXPECT_EQ(d->x, 10);
    EXPECT_EQ(d->y, -70000);
    EXPECT_EQ(std::string(d->title), std::string(255, 'a'));
    EXPECT_EQ(d->autoScale, 1);
    EXPECT_EQ(d->scaledWidth, 160);  // 50% of 320
    EXPECT_EQ(d->scaledHeight, 400);
    EXPECT_EQ(d->width, 160);  // a scaled display is as large as its scaled size
    EXPECT_EQ(d->height, 400);
    EXPECT_EQ(d->bgpic->scaledWidth, 320);
    EXPECT_EQ(d->bgpic->scaledHeight, 200);
    EXPECT_EQ(d->monitor, 1);
    EXPECT_EQ(d->layersEnabled, 1);
    EXPECT_EQ(d->dragRegionCount, 64);
    EXPECT_EQ(d->dragRegionsGiven, 1);
    EXPECT_EQ(d->modeOptions.displayMode, QZ_DISPMODE_FAKEFULLSCREEN);
    EXPECT_EQ(d->modeOptions.screenWidth, 800);
}

// A failing SetDisplayAttributes leaves the display as it was; {menu = -1} detaches a menu.
TEST_F(DisplayTest, SetDisplayAttributesErrorsChangeNothing) {
    OpenCurrent(1, Arg::Table({{"width", 100}, {"height", 80}}));
    qzDisplay* d = Display(1);
    qzHostWindow* window = Window(1);
    const struct {
        const char* what;
        Arg options;
        int error;
    } rows[] = {
        {"scalemode 3", Arg::Table({{"width", 50}, {"scalemode", 3}}), ERR_WRONGUSAGE},
        {"title 256", Arg::Table({{"borderless", 1}, {"title", std::string(256, 'x')}}), ERR_WRONGUSAGE},
        {"monitor 0", Arg::Table({{"x", 5}, {"monitor", 0}}), ERR_MONITORRANGE},
        {"height 0", Arg::Table({{"height", 0}}), ERR_WRONGUSAGE},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm->CallErr("SetDisplayAttributes", {r.options}), r.error) << r.what;
        EXPECT_EQ(d->width, 100) << r.what;
        EXPECT_EQ(d->flags & QZ_DISPF_BORDERLESS, 0u) << r.what;
        EXPECT_EQ(d->autoScale, 0) << r.what;
        EXPECT_STREQ(d->title, "Quarnelix") << r.what;
        EXPECT_EQ(Window(1), window) << r.what;
    }
    d->menu = reinterpret_cast<void*>(0x10);
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"menu", -1}})});
    EXPECT_EQ(d->menu, nullptr);
}

}  // namespace display_tags_test
