// The layers library's list commands on a headless display: z-order, groups, visibility,
// removal (by position and group, and Undo by object), shadows and borders, queries and dumps,
// CreateLayer and FreeLayers, each with the rectangles it presents, and the refusals of switching
// layers on and off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "anim/anim.h"
#include "base/error_codes.h"
#include "display/display_links.h"
#include "display/layer_test_util.h"
#include "gfx/position.h"
#include "image/brush.h"
#include "image/output_select.h"
#include "libs/anim/anim_lib.h"
#include "libs/brush/brush_lib.h"

namespace layers_lib_test {

namespace {

class LayersLib : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzAnimLibrary};
        OpenLayered(64, 48, 0x000000);
    }
    // Three 10 x 10 layers: 1 red at 0,0; 2 green at 5,5; 3 blue at 40,30.
    void AddThree() {
        Add(1, 0, 0, 10, 10, 0xFF0000);
        Add(2, 5, 5, 10, 10, 0x00FF00);
        Add(3, 40, 30, 10, 10, 0x0000FF);
    }
    static void SetGroup(int32_t position, const char* group) {
        qzLayer* layer = GetLayerByPosition(CurrentBGPic(), position);
        std::strncpy(layer->group, group, sizeof(layer->group) - 1);
    }
    static int CountBrushes() {
        int n = 0;
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b)) n++;
        return n;
    }
};

}  // namespace

TEST_F(LayersLib, ZOrder) {
    using Ids3 = std::vector<int32_t>;
    const struct {
        const char* command;
        std::vector<qztest::Arg> args;
        std::string result;
        Ids3 order;
    } rows[] = {
        {"SwapLayers", {1, 3}, "", {3, 2, 1}},
        {"SwapLayers", {1, 2}, "", {2, 1, 3}},
        {"LayerToFront", {1}, "", {3, 2, 1}},  // a swap with the top: 2 stays
        {"LayerToBack", {3}, "", {3, 2, 1}},
        {"LayerToFront", {3}, "", {1, 2, 3}},  // already on top
        {"SetLayerZPos", {1, 0}, "", {2, 3, 1}},
        {"SetLayerZPos", {3, 1}, "", {3, 1, 2}},
        {"SetLayerZPos", {1, 2}, "", {2, 1, 3}},
        {"SetLayerZPos", {2, 2}, "ERR 1055", {1, 2, 3}},  // where it is already
        {"SetLayerZPos", {2, -1}, "ERR 1055", {1, 2, 3}},
        {"SwapLayers", {2, 2}, "ERR 1055", {1, 2, 3}},
        {"SwapLayers", {1, 4}, "ERR 1081", {1, 2, 3}},
        {"SwapLayers", {1, "nosuch"}, "ERR 1369", {1, 2, 3}},
    };
    for (const auto& r : rows) {
        FreeBGPicLayers(*vm, CurrentBGPic(), 0, 1);
        AddThree();
        EXPECT_EQ(vm->Run(r.command, r.args), r.result) << r.command;
        EXPECT_EQ(Ids(), r.order) << r.command;
    }
    // A swap refreshes the union of both layers once and shows the new order.
    FreeBGPicLayers(*vm, CurrentBGPic(), 0, 1);
    AddThree();
    LogPresents();
    vm->Ok("SwapLayers", {1, 2});
    EXPECT_EQ(presented, std::vector<std::string>{"0,0 15x15"});
    EXPECT_EQ(Pixel(1, 7, 7), 0xFF0000u);
}

TEST_F(LayersLib, GroupsAndVisibility) {
    AddThree();
    SetGroup(1, "pair");
    SetGroup(2, "Pair");
    LogPresents();
    // A group name addresses every member, with one refresh.
    vm->Ok("HideLayer", {"PAIR"});
    EXPECT_TRUE(GetLayerByPosition(CurrentBGPic(), 1)->hidden && GetLayerByPosition(CurrentBGPic(), 2)->hidden);
    EXPECT_EQ(presented, std::vector<std::string>{"0,0 15x15"});
    EXPECT_EQ(Pixel(1, 7, 7), 0x000000u);
    // Showing it at a point moves the group's box there; the members keep their offsets.
    presented.clear();
    vm->Ok("ShowLayer", {"pair", 20, 10});
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 1)->display->left, 20);
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 2)->display->left, 25);
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 2)->display->top, 15);
    EXPECT_EQ(presented, std::vector<std::string>{"0,0 35x25"});
    EXPECT_EQ(Pixel(1, 22, 12), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 2, 2), 0x000000u);
    // A single layer is placed by a position constant against its size.
    vm->Ok("ShowLayer", {3, QZ_POSITION_RIGHT, 0});
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 3)->display->left, 54);
    // Removing the group: both go, one refresh; layer 3 remains, now position 1.
    presented.clear();
    vm->Ok("RemoveLayer", {"pair"});
    EXPECT_EQ(Ids(), std::vector<int32_t>{3});
    EXPECT_EQ(presented, std::vector<std::string>{"20,10 15x15"});
    EXPECT_EQ(vm->Run("HideLayer", {"nosuch"}), "ERR 1369");
    EXPECT_EQ(vm->Run("RemoveLayer", {2}), "ERR 1081");
}

TEST_F(LayersLib, ShadowsAndBorders) {
    AddThree();
    const struct {
        const char* command;
        std::vector<qztest::Arg> args;
        std::string result;
    } errors[] = {
        {"SetLayerShadow", {1, 1, 0, 5, -1}, "ERR 1055"},       // negative size
        {"SetLayerShadow", {1, 1, 0, 0.5}, "ERR 1055"},         // radius below 1
        {"SetLayerShadow", {1, 1, 0, 5, 4, 3, 0}, "ERR 1055"},  // sigma 0
        {"SetLayerBorder", {1, 1, 0, 0}, "ERR 1055"},          {"SetLayerBorder", {9, 1}, "ERR 1081"},
    };
    for (const auto& e : errors) EXPECT_EQ(vm->Run(e.command, e.args), e.result) << e.command;
    LogPresents();
    // Switching off what is off refreshes nothing.
    vm->Ok("SetLayerShadow", {3, 0});
    vm->Ok("SetLayerBorder", {3, 0});
    EXPECT_TRUE(presented.empty());
    // A border of 2 in white around layer 3, then off again: the area it covered is refreshed.
    vm->Ok("SetLayerBorder", {3, 1, 0xFFFFFF, 2});
    EXPECT_EQ(Pixel(1, 39, 29), 0xFFFFFFu);
    EXPECT_EQ(presented, std::vector<std::string>{"38,28 14x14"});
    vm->Ok("SetLayerBorder", {3, 0});
    EXPECT_EQ(Pixel(1, 39, 29), 0x000000u);
    vm->Ok("SetLayerShadow", {3, 1, 0xFF000000, 1, 4, QZ_SHDWSOUTHEAST});
    const qzLayer* layer = GetLayerByPosition(CurrentBGPic(), 3);
    EXPECT_EQ(layer->shadow.shadowsize, 4);
    EXPECT_DOUBLE_EQ(layer->shadow.shadowsigma, 1.0 / 3);
}

TEST_F(LayersLib, QueriesAndDump) {
    EXPECT_EQ(vm->Run("GetLayerAtPos", {5, 5}), "0, \"\"");
    AddThree();
    vm->Ok("SetLayerName", {2, "green"});
    vm->Ok("SetLayerName", {0, "top"});  // 0: the top layer
    vm->Ok("HideLayer", {2});
    const struct {
        std::vector<qztest::Arg> args;
        std::string expected;
    } rows[] = {
        {{7, 7}, "2, \"green\""},  // hidden layers are found too
        {{2, 2}, "1, \"\""},
        {{45, 35}, "3, \"top\""},
        {{30, 5}, "0, \"\""},
    };
    for (const auto& r : rows) EXPECT_EQ(vm->Run("GetLayerAtPos", r.args), r.expected);
    EXPECT_EQ(vm->Run("LayerExists", {"GREEN"}), "1");
    EXPECT_EQ(vm->Run("LayerExists", {"red"}), "0");
    EXPECT_EQ(vm->Run("SetLayerName", {1, "top"}), "ERR 1161");

    testing::internal::CaptureStdout();
    vm->Ok("DumpLayers");
    const std::string dump = testing::internal::GetCapturedStdout();
    EXPECT_NE(dump.find("Layers: 3\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(2) BRUSH #2 ((nil) / \"green\") - X: 5 (5) - Y: 5 (5) - Width: 10 (10) - Height: 10 (10) - "
                        "Visible: 0\n"),
              std::string::npos)
        << dump;
    FreeBGPicLayers(*vm, CurrentBGPic(), 0, 1);
    testing::internal::CaptureStdout();
    vm->Ok("DumpLayers");
    const std::string empty = testing::internal::GetCapturedStdout();
    EXPECT_NE(empty.find("sizeof(qzLayer): "), std::string::npos);
    EXPECT_EQ(empty.substr(empty.size() - 10), "Layers: 0\n");
}

TEST_F(LayersLib, CreateLayerAndFreeLayers) {
    vm->Ok("CreateLayer", {10, 10, 8, 6, qztest::Arg::Table({{"color", 0x3366FF}})});
    ASSERT_EQ(CountLayers(CurrentBGPic()), 1);
    EXPECT_EQ(Pixel(1, 10, 10), 0x3366FFu);
    EXPECT_EQ(Pixel(1, 17, 15), 0x3366FFu);
    EXPECT_EQ(Pixel(1, 18, 15), 0x000000u);
    EXPECT_EQ(CountBrushes(), 1);  // shown by the layer only
    const struct {
        std::vector<qztest::Arg> args;
        std::string result;
    } errors[] = {
        {{0, 0, 4, 4, qztest::Arg::Table({{"frames", -1}})}, "ERR 1055"},
        {{0, 0, 0, 4}, "ERR 1218"},
    };
    for (const auto& e : errors) EXPECT_EQ(vm->Run("CreateLayer", e.args), e.result);
    // With frames: an anim layer of blank frames, whose anim lives as long as the layer.
    vm->Ok("CreateLayer", {30, 0, 4, 4, qztest::Arg::Table({{"frames", 2}, {"color", 0xFF0000}})});
    ASSERT_EQ(CountLayers(CurrentBGPic()), 2);
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 2)->type, QZ_LAYER_ANIM);
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 2)->base->partY, 2);
    EXPECT_EQ(Pixel(1, 31, 1), 0xFF0000u);
    vm->Ok("RemoveLayer", {2});
    EXPECT_EQ(FirstAnim(), nullptr);

    // keep = 1: the pixels stay as background; the layer and its brush go.
    vm->Ok("FreeLayers", {1});
    EXPECT_EQ(CountLayers(CurrentBGPic()), 0);
    EXPECT_EQ(CountBrushes(), 0);
    EXPECT_EQ(Pixel(1, 12, 12), 0x3366FFu);
    Add(4, 0, 0, 4, 4, 0xFFFFFF);
    vm->Ok("RemoveLayer", {1});
    EXPECT_EQ(Pixel(1, 12, 12), 0x3366FFu);
    // Without keep the picture shows its own pixels again.
    Add(4, 0, 0, 4, 4, 0xFFFFFF);
    vm->Ok("FreeLayers");
    EXPECT_EQ(Pixel(1, 1, 1), 0x000000u);
}

TEST_F(LayersLib, SwitchingAndOutputChecks) {
    AddThree();
    vm->Ok("EnableLayers");  // already on
    vm->Ok("DisableLayers");
    EXPECT_EQ(vm->Run("SwapLayers", {1, 2}), "ERR 1078");  // layers off
    EXPECT_EQ(vm->Run("PlayLayer", {1}), "ERR 1078");
    vm->Ok("EnableLayers");
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3}));  // the list stayed with the picture
    EXPECT_EQ(vm->Run("PlayLayer", {1}), "ERR 1515");   // not a video layer
    EXPECT_EQ(vm->Run("ModifyLayerFrames", {1, 2}), "ERR 1155");
    EXPECT_EQ(vm->Run("Undo", {3, 2}), "");
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(vm->Run("InsertLayer", {1, 3, 99, 0, 0}), "ERR 1174");
}

TEST_F(LayersLib, SwitchingRefusals) {
    // EnableLayers and DisableLayers refuse while the display cannot switch; the switch stays.
    using qztest::Arg;
    AddThree();
    vm->Ok("CreateBrush", {7, 4, 4, 0xFFFFFF});
    static int asyncDraw = 0, sprites = 0;
    const qzDisplayLinks saved = DisplayLinks();
    qzDisplayLinks links = saved;
    links.asyncDrawOnDisplay = [](const qzDisplay*) { return asyncDraw; };
    links.pictureHasOnScreenSprites = [](const qzBGPic*) { return sprites; };
    SetDisplayLinks(&links);
    const Arg scaled = Arg::Table({{"scalemode", 2}, {"scalewidth", 128}, {"scaleheight", 96}});
    const struct {
        const char* command;
        int async, sprites;
        const char* before;  // a command that puts the display in the state, and its arguments
        std::vector<Arg> beforeArgs;
        std::string result;
    } rows[] = {
        {"EnableLayers", 1, 0, nullptr, {}, "ERR 1329"},
        {"EnableLayers", 0, 0, "SelectBrush", {7}, "ERR 1163"},
        {"EnableLayers", 0, 1, nullptr, {}, "ERR 1224"},
        {"DisableLayers", 1, 0, nullptr, {}, "ERR 1329"},
        {"DisableLayers", 0, 0, "SelectBrush", {7}, "ERR 1163"},
        {"DisableLayers", 0, 1, nullptr, {}, ""},  // sprites do not keep layers on
        {"DisableLayers", 0, 0, "SetDisplayAttributes", {scaled}, "ERR 1313"},
    };
    qzDisplay* display = CurrentDisplay();
    for (const auto& r : rows) {
        const bool enabling = r.command[0] == 'E';
        if (enabling) vm->Ok("DisableLayers");
        if (r.before) vm->Ok(r.before, r.beforeArgs);
        asyncDraw = r.async;
        sprites = r.sprites;
        EXPECT_EQ(vm->Run(r.command, {}), r.result) << r.command << " " << (r.before ? r.before : "");
        asyncDraw = sprites = 0;
        if (r.before && std::string(r.before) == "SelectBrush") {
            ASSERT_EQ(EndSelectOutput(*vm, display, 0), 0);
        }
        const bool refused = !r.result.empty();
        EXPECT_EQ(display->layersEnabled != 0, refused ? !enabling : enabling)
            << r.command << " " << (r.before ? r.before : "");
        vm->Ok("EnableLayers");
        EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3}));
    }
    SetDisplayLinks(&saved);
}

TEST_F(LayersLib, RemovingManyLayers) {
    // One RemoveLayer takes at most 256 layers: a group of 257 is refused whole.
    for (int32_t size : {256, 257}) {
        FreeBGPicLayers(*vm, CurrentBGPic(), 0, 1);
        for (int32_t i = 0; i < size; i++) std::strcpy(Add(i + 1, i % 60, 0, 4, 4, 0xFF0000)->group, "many");
        Add(999, 40, 30, 4, 4, 0x0000FF);
        RefreshDisplayRect(*vm, 0, 0, 64, 48);
        EXPECT_EQ(vm->Run("RemoveLayer", {"many"}), size > 256 ? "ERR 1066" : "") << size;
        EXPECT_EQ(CountLayers(CurrentBGPic()), size > 256 ? size + 1 : 1) << size;
        EXPECT_EQ(Pixel(1, 1, 1), size > 256 ? 0xFF0000u : 0x000000u) << size;
    }
    // Positions beyond 256 are addressed like any other.
    vm->Ok("RemoveLayer", {258});
    EXPECT_EQ(CountLayers(CurrentBGPic()), 257);
    EXPECT_EQ(Ids().back(), 257);
    EXPECT_EQ(Pixel(1, 41, 31), 0x000000u);
    EXPECT_EQ(vm->Run("RemoveLayer", {258}), "ERR 1081");
}

TEST_F(LayersLib, UndoLevels) {
    // Undo removes the level-th layer (from the bottom) of one object; quiet leaves the display
    // alone until the area is refreshed; a level without a layer removes nothing.
    const struct {
        std::vector<qztest::Arg> args;
        std::vector<int32_t> left;  // the x positions of brush 5's layers left, bottom first
        bool greenLeft;
        bool refreshed;
    } rows[] = {
        {{3, 5}, {20, 40}, true, true},        {{3, 5, 2}, {0, 40}, true, true},
        {{3, 5, 3}, {0, 20}, true, true},      {{3, 5, 4}, {0, 20, 40}, true, false},
        {{3, 5, 0}, {0, 20, 40}, true, false}, {{3, 6, 1}, {0, 20, 40}, false, true},
        {{3, 5, 2, 1}, {0, 40}, true, false},  {{8, 5}, {0, 20, 40}, true, false},  // another type
    };
    LogPresents();
    for (const auto& r : rows) {
        std::string what;
        for (const auto& a : r.args) what += a.Describe() + " ";
        FreeBGPicLayers(*vm, CurrentBGPic(), 0, 1);
        RefreshDisplayRect(*vm, 0, 0, 64, 48);
        Add(5, 0, 0, 10, 10, 0xFF0000);
        Add(5, 20, 0, 10, 10, 0xFF0000);
        Add(5, 40, 0, 10, 10, 0xFF0000);
        Add(6, 0, 30, 10, 10, 0x00FF00);
        presented.clear();
        EXPECT_EQ(vm->Run("Undo", r.args), "") << what;
        std::vector<int32_t> left;
        bool greenLeft = false;
        for (qzLayer* l = FirstLayer(CurrentBGPic()); l; l = NextLayer(l)) {
            if (l->id.number == 5) left.push_back(l->base->x);
            if (l->id.number == 6) greenLeft = true;
        }
        EXPECT_EQ(left, r.left) << what;
        EXPECT_EQ(greenLeft, r.greenLeft) << what;
        EXPECT_EQ(!presented.empty(), r.refreshed) << what;
        RefreshDisplayRect(*vm, 0, 0, 64, 48);
        EXPECT_EQ(Pixel(1, 1, 31), r.greenLeft ? 0x00FF00u : 0x000000u) << what;
        for (int32_t x : {0, 20, 40}) {
            const bool shown = std::find(r.left.begin(), r.left.end(), x) != r.left.end();
            EXPECT_EQ(Pixel(1, x + 1, 1), shown ? 0xFF0000u : 0x000000u) << what << "x " << x;
        }
    }
}

TEST_F(LayersLib, DumpLayersOfEachState) {
    // 0 prints the base state, 1 the transformed one, 2 the one the display shows (here scaled
    // twice by the display): position (top-left), source size (drawn size).
    Add(1, 10, 10, 10, 10, 0xFF0000);
    vm->Ok("ScaleLayer", {1, 20, 30});
    vm->Ok("SetDisplayAttributes", {qztest::Arg::Table({{"scalemode", 2}, {"scalewidth", 128}, {"scaleheight", 96}})});
    const struct {
        int which;
        std::string line;
    } rows[] = {
        {0, "X: 10 (10) - Y: 10 (10) - Width: 10 (10) - Height: 10 (10) - Visible: 1\n"},
        {1, "X: 10 (10) - Y: 10 (10) - Width: 10 (20) - Height: 10 (30) - Visible: 1\n"},
        {2, "X: 20 (20) - Y: 20 (20) - Width: 10 (40) - Height: 10 (60) - Visible: 1\n"},
    };
    for (const auto& r : rows) {
        testing::internal::CaptureStdout();
        vm->Ok("DumpLayers", {r.which});
        const std::string dump = testing::internal::GetCapturedStdout();
        EXPECT_NE(dump.find("(1) BRUSH #1 ((nil) / \"\") - " + r.line), std::string::npos) << r.which << "\n" << dump;
    }
}

}  // namespace layers_lib_test
