// Layer styles: tags read before anything changes (a failing tag leaves the layer as it was),
// the single-purpose style commands, GetLayerStyle, refreshes only where the look changed, and
// move lists carried out with one merged refresh.
#include <gtest/gtest.h>

#include <cstring>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "vm/vm.h"

namespace layers_style_test {

namespace {

class LayerStyles : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary};
        OpenLayered(64, 48, 0x000000);
    }
    static qzLayer* At(int32_t position) { return GetLayerByPosition(CurrentBGPic(), position); }
    using Table = std::vector<std::pair<qztest::Arg, qztest::Arg>>;
    std::string Field(int table, const std::string& key) {
        VmPushString(*vm, key.c_str());
        VmGetTable(*vm, table);
        std::string value = qztest::Render(*vm, -1);
        VmPop(*vm, 1);
        return value;
    }
    std::string Style(qztest::Arg layer, Table tags) {
        return vm->Run("SetLayerStyle", {layer, qztest::Arg::Table(tags)});
    }
};

}  // namespace

TEST_F(LayerStyles, FailingTagsChangeNothing) {
    Add(1, 10, 10, 10, 10, 0xFF0000);
    LogPresents();
    const struct {
        Table tags;
        std::string result;
    } rows[] = {
        {{{"transparency", 100}, {"anchorx", 1.5}}, "ERR 1055"},
        {{{"x", 30}, {"scalex", 0}}, "ERR 1218"},
        {{{"hidden", 1}, {"width", -4}}, "ERR 1218"},
        {{{"rotate", 90}, {"transform", qztest::Arg::List({0, 1, 1, 1}, 0)}}, "ERR 1055"},
        {{{"tint", 50}, {"shadow", 1}, {"shadowradius", 0}}, "ERR 1055"},
        {{{"x", 5}, {"border", 1}, {"bordersize", 0}}, "ERR 1055"},
        {{{"type", 50}}, "ERR 1055"},  // never a video
        {{{"type", 12}}, "ERR 1014"},  // a new type needs its content
        {{{"frame", 1}, {"y", 1}, {"filters", qztest::Arg::List({qztest::Arg::Table({{"name", "nosuch"}})}, 0)}},
         "ERR 1444"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Style(1, r.tags), r.result);
        const qzLayer* layer = At(1);
        EXPECT_EQ(layer->base->x, 10);
        EXPECT_EQ(layer->base->y, 10);
        EXPECT_EQ(layer->transparency, 0);
        EXPECT_EQ(layer->hidden, 0);
        EXPECT_EQ(layer->transformed, layer->base);
        EXPECT_FALSE(HasEnabledFilter(layer->filters));
        EXPECT_EQ(layer->shadow.shadow, 0);
    }
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(Style("nosuch", {{"x", 1}}), "ERR 1369");
    EXPECT_EQ(Style(2, {{"x", 1}}), "ERR 1081");
}

TEST_F(LayerStyles, TagsAndCommands) {
    Add(1, 10, 10, 10, 10, 0xFF0000);
    // Rotation modulo 360; a whole turn leaves no transformed state.
    vm->Ok("RotateLayer", {1, 450});
    EXPECT_EQ(At(1)->transform.rotate, 90);
    EXPECT_NE(At(1)->transformed, At(1)->base);
    vm->Ok("RotateLayer", {1, 360});
    EXPECT_EQ(At(1)->transformed, At(1)->base);
    // A matrix and the same scale give the same box.
    vm->Ok("TransformLayer", {1, 0.5, 0, 0, 0.5});
    EXPECT_EQ(At(1)->transformed->width, 5);
    vm->Ok("ScaleLayer", {1, "200%", "300%"});
    EXPECT_EQ(At(1)->transformed->width, 20);
    EXPECT_EQ(At(1)->transformed->height, 30);
    vm->Ok("ScaleLayer", {1, 40, 20});
    EXPECT_EQ(At(1)->transformed->width, 40);
    EXPECT_EQ(At(1)->transformed->height, 20);
    EXPECT_EQ(At(1)->transform.hasusermatrix, 0);
    // Anchor: the layer stays where it is; its point moves to the new anchor.
    vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"scalex", 1}, {"scaley", 1}, {"width", 0}, {"height", 0}})});
    vm->Ok("SetLayerAnchor", {1, 0.5, 0.5});
    EXPECT_EQ(At(1)->base->left, 10);
    EXPECT_EQ(At(1)->base->x, 15);
    vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"translatex", 5}, {"y", 20}})});
    EXPECT_EQ(At(1)->base->left, 15);
    EXPECT_EQ(At(1)->base->top, 15);
    vm->Ok("SetLayerAnchor", {1, 0, 0});
    // Transparency, tint, filters.
    vm->Ok("SetLayerTransparency", {1, "50%"});
    EXPECT_EQ(At(1)->transparency, 127);
    vm->Ok("SetLayerTint", {1, 0x00FF00, 64});
    EXPECT_TRUE(At(1)->filters[FILTER_TINT].enabled);
    EXPECT_EQ(At(1)->filters[FILTER_TINT].ints[1], 64);
    vm->Ok("SetLayerFilter", {1, 0});
    EXPECT_FALSE(HasEnabledFilter(At(1)->filters));
    EXPECT_EQ(vm->Run("SetLayerFilter", {1, 3}), "ERR 1055");
    EXPECT_EQ(vm->Run("NextFrame", {1}), "ERR 1155");

    // GetLayerStyle gives the tags back.
    vm->Ok("SetLayerName", {1, "red"});
    vm->Ok("SetLayerStyle",
           {"red", qztest::Arg::Table(
                       {{"shadow", 1}, {"shadowsize", 3}, {"border", 1}, {"bordercolor", 0xFFFFFF}, {"rotate", -90}})});
    ASSERT_EQ(vm->Call("GetLayerStyle", {"red"}), 0);
    const int table = vm->Base() + 1;
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"type", "3"},   {"x", "15"},         {"y", "15"},          {"rotate", "270"}, {"transparency", "127"},
        {"shadow", "1"}, {"shadowsize", "3"}, {"border", "1"},      {"edgesize", "2"}, {"name", "\"red\""},
        {"z", "1"},      {"partwidth", "10"}, {"clipregion", "-1"}, {"id", "1"},
    };
    for (const auto& f : fields) EXPECT_EQ(Field(table, f.first), f.second) << f.first;
}

TEST_F(LayerStyles, LevelsReadAsWhenLayersAreMade) {
    // "transparency" and "tint" read the same when a layer is made and when it is restyled: a
    // number clamped to 0..255 (a negative one is 0), "N%" N per cent of 255.
    vm->Ok("CreateBrush", {1, 4, 4, 0xFF0000});
    const struct {
        qztest::Arg level;
        std::string result;  // "" or the error
        int32_t expected;
    } rows[] = {
        {100, "", 100},
        {-10, "", 0},
        {"10%", "", 25},
        {"50%", "", 127},
        {"100%", "", 255},
        {300, "", 255},
        {0, "", 0},
        {"-10%", "ERR 1184", 0},
        {"101%", "ERR 1184", 0},
        {"abc", "ERR 1184", 0},
        {qztest::Arg::Table({}), "ERR 1183", 0},
    };
    for (const auto& r : rows) {
        for (const char* key : {"transparency", "tint"}) {
            const std::string what = std::string(key) + " " + r.level.Describe();
            vm->Ok("FreeLayers");
            vm->Ok("DisplayBrush", {1, 20, 0});
            EXPECT_EQ(vm->Run("DisplayBrush", {1, 0, 0, qztest::Arg::Table({{key, r.level}})}), r.result) << what;
            EXPECT_EQ(Style(1, {{key, r.level}}), r.result) << what;
            for (const qzLayer* layer = FirstLayer(CurrentBGPic()); layer; layer = NextLayer(layer)) {
                const qzFilterEntry& tint = layer->filters[FILTER_TINT];
                if (key[1] == 'r') {
                    EXPECT_EQ(layer->transparency, r.expected) << what;
                }
                if (key[1] == 'i') {
                    EXPECT_EQ(tint.enabled ? tint.ints[1] : 0, r.expected) << what;
                }
            }
        }
    }
}

TEST_F(LayerStyles, ChangesBeforeARaisedErrorAreShown) {
    // A later pair whose layer or table is refused, or one of whose tags has the wrong type,
    // raises its error; the layer changed before it is drawn where it now is, and the brush that
    // it no longer shows (freed by the script meanwhile) goes.
    using qztest::Arg;
    const struct {
        std::vector<Arg> second;
        std::string result;
    } rows[] = {
        {{"nosuch", Arg::Table({})}, "ERR 1369"},
        {{9, Arg::Table({})}, "ERR 1081"},
        {{2, 5}, "ERR 1140"},
        {{2, Arg::Table({{"x", "abc"}})}, "ERR 1189"},
        {{2, Arg::Table({{"z", "nosuch"}})}, "ERR 1369"},
    };
    vm->Ok("CreateBrush", {2, 10, 10, 0x00FF00});
    vm->Ok("CreateBrush", {3, 10, 10, 0x0000FF});
    const auto brushes = [] {
        int n = 0;
        for (const qzBrush* b = FirstBrush(); b; b = NextBrush(b)) n++;
        return n;
    };
    for (const auto& r : rows) {
        const std::string what = r.second[0].Describe() + " " + r.second[1].Describe();
        vm->Ok("FreeLayers");
        vm->Ok("CreateBrush", {1, 10, 10, 0xFF0000});
        vm->Ok("DisplayBrush", {1, 0, 0});
        vm->Ok("DisplayBrush", {2, 40, 30});
        vm->Ok("FreeBrush", {1});  // kept while the layer shows it
        const int kept = brushes();
        CurrentBGPic()->layersChanged = 0;
        std::vector<Arg> args = {1, Arg::Table({{"id", 3}, {"x", 20}})};
        args.insert(args.end(), r.second.begin(), r.second.end());
        EXPECT_EQ(vm->Run("SetLayerStyle", args), r.result) << what;
        EXPECT_EQ(Pixel(1, 25, 5), 0x0000FFu) << what;
        EXPECT_EQ(Pixel(1, 5, 5), 0x000000u) << what;
        EXPECT_EQ(brushes(), kept - 1) << what;
        EXPECT_EQ(CurrentBGPic()->layersChanged, 1) << what;
        EXPECT_EQ(At(2)->base->x, 40) << what;
    }
}

TEST_F(LayerStyles, RefreshOnlyWhatChanged) {
    Add(1, 0, 0, 10, 10, 0xFF0000);
    Add(2, 30, 30, 10, 10, 0x0000FF);
    vm->Ok("SetLayerTransparency", {1, 100});
    LogPresents();
    vm->Ok("SetLayerTransparency", {1, 100});  // the same again
    vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"x", 0}})});
    EXPECT_TRUE(presented.empty());
    // A group changes in one call, with one merged refresh.
    std::strcpy(At(1)->group, "g");
    std::strcpy(At(2)->group, "g");
    vm->Ok("SetLayerStyle", {"g", qztest::Arg::Table({{"hidden", 1}})});
    EXPECT_EQ(presented, (std::vector<std::string>{"0,0 10x10", "30,30 10x10"}));
    EXPECT_EQ(Pixel(1, 35, 35), 0x000000u);
    presented.clear();
    vm->Ok("SetLayerStyle", {2, qztest::Arg::Table({{"hidden", 0}, {"x", 32}})});
    EXPECT_EQ(presented, std::vector<std::string>{"30,30 12x10"});
    EXPECT_EQ(Pixel(1, 41, 35), 0x0000FFu);
    // "z" moves the layer in the list at once.
    vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"z", 2}})});
    EXPECT_EQ(Ids(), (std::vector<int32_t>{2, 1}));
}

TEST_F(LayerStyles, BrushLayerShowsAnotherPart) {
    vm->Ok("CreateBrush", {1, 8, 8, 0xFF0000});
    vm->Ok("CreateBrush", {2, 8, 8, 0x00FF00});
    vm->Ok("DisplayBrush", {1, 10, 10});
    vm->Ok("SetLayerName", {1, "b"});
    vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"id", 2}, {"transparency", 0}})});
    EXPECT_EQ(Pixel(1, 12, 12), 0x00FF00u);
    EXPECT_STREQ(At(1)->name, "b");  // the name stays with the place
    vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"partwidth", 4}})});
    EXPECT_EQ(At(1)->type, QZ_LAYER_BRUSHPART);
    EXPECT_EQ(Pixel(1, 13, 12), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 15, 12), 0x000000u);
    EXPECT_EQ(CountLayers(CurrentBGPic()), 1);
}

TEST_F(LayerStyles, MoveLists) {
    Add(1, 0, 0, 10, 10, 0xFF0000);
    Add(2, 5, 5, 10, 10, 0x00FF00);
    Add(3, 50, 30, 10, 10, 0x0000FF);
    vm->Ok("CreateBrush", {7, 4, 4, 0xFFFFFF});
    LogPresents();
    ASSERT_EQ(vm->Call("AddMove", {qztest::Nil{}, 22, 1, 20, 0}), 0);
    const qztest::Arg handle = qztest::Arg::Stack(vm->Base() + 1);
    vm->Ok("AddMove", {handle, 22, 2, 25, 5});
    vm->Ok("AddMove", {handle, 25, 3});
    vm->Ok("AddMove", {handle, 3, 7, 60, 0});  // partly outside: cut to the picture
    vm->Ok("DoMove", {handle});
    // The two overlapping moves give one rectangle; the hidden layer and the new brush their own.
    EXPECT_EQ(presented, (std::vector<std::string>{"0,0 35x15", "50,30 10x10", "60,0 4x4"}));
    EXPECT_EQ(Pixel(1, 22, 2), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 2, 2), 0x000000u);
    EXPECT_EQ(Pixel(1, 55, 35), 0x000000u);
    EXPECT_EQ(Pixel(1, 61, 1), 0xFFFFFFu);
    EXPECT_EQ(CountLayers(CurrentBGPic()), 4);

    // Numbered lists are made on first use; the 513th entry is refused.
    for (int i = 0; i < 512; i++) vm->Ok("AddMove", {5, 25, 1});
    EXPECT_EQ(vm->Run("AddMove", {5, 25, 1}), "ERR 1066");
    vm->Ok("ClearMove", {5});
    EXPECT_EQ(vm->Run("ClearMove", {5}), "ERR 1182");
    EXPECT_EQ(vm->Run("DoMove", {6}), "ERR 1182");
    EXPECT_EQ(vm->Run("AddMove", {6, 99, 1}), "ERR 1055");
    // An error stops the list; what ran stays.
    vm->Ok("AddMove", {6, 26, 4});
    vm->Ok("AddMove", {6, 26, 9});
    EXPECT_EQ(vm->Run("DoMove", {6}), "ERR 1081");
    EXPECT_EQ(CountLayers(CurrentBGPic()), 3);
    vm->Ok("DisableLayers");
    EXPECT_EQ(vm->Run("DoMove", {handle}), "ERR 1078");
}

TEST_F(LayerStyles, GetLayerStyleGivesTheLook) {
    // A brush part, tinted, transparent, shadowed, given a matrix and a filter: each field as set;
    // without a matrix "transform" is the identity.
    using qztest::Arg;
    vm->Ok("CreateBrush", {1, 8, 8, 0xFF0000});
    vm->Ok("DisplayBrush", {1, 10, 10});
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"partx", 2},
                                            {"party", 1},
                                            {"partwidth", 4},
                                            {"partheight", 5},
                                            {"tint", 64},
                                            {"tintcolor", 0x00FF00},
                                            {"transparency", 30},
                                            {"shadow", 1},
                                            {"shadowsize", 3},
                                            {"shadowcolor", 0x40000000u},
                                            {"transform", Arg::List({1, 0.5, 0, 2}, 0)},
                                            {"hidden", 1}})});
    const struct {
        const char* key;
        std::string value;
    } fields[] = {
        {"type", "12"},         {"id", "1"},         {"partx", "2"},      {"party", "1"},
        {"partwidth", "4"},     {"partheight", "5"}, {"tint", "64"},      {"tintcolor", "65280"},
        {"transparency", "30"}, {"shadow", "1"},     {"shadowsize", "3"}, {"shadowcolor", "1073741824"},
        {"hidden", "1"},        {"x", "10"},         {"y", "10"},         {"border", "0"},
        {"name", "\"\""},       {"group", "\"\""},   {"z", "1"},          {"clipregion", "-1"},
    };
    const auto check = [&](const std::vector<std::string>& matrix) {
        ASSERT_EQ(vm->Call("GetLayerStyle", {1}), 0);
        const int table = vm->Base() + 1;
        VmPushString(*vm, "transform");
        VmGetTable(*vm, table);
        const int transform = VmGetTop(*vm);
        for (int i = 0; i < 4; i++) {
            VmPushNumber(*vm, i);
            VmGetTable(*vm, transform);
            EXPECT_EQ(qztest::Render(*vm, -1), matrix[i]) << "transform " << i;
            VmPop(*vm, 1);
        }
        VmSetTop(*vm, table);
        for (const auto& f : fields) EXPECT_EQ(Field(table, f.key), f.value) << f.key;
        VmSetTop(*vm, vm->Base());
    };
    check({"1", "0.5", "0", "2"});
    vm->Ok("RotateLayer", {1, 0});  // a rotation drops the matrix
    check({"1", "0", "0", "1"});
}

TEST_F(LayerStyles, MoveListsOfEveryLayerOperation) {
    // Removing by object, inserting a brush below and removing by position in one list: the
    // overlapping areas are refreshed as one rectangle, an Undo without a layer adds none.
    using qztest::Arg;
    Add(1, 0, 0, 10, 10, 0xFF0000);
    Add(2, 30, 0, 10, 10, 0x00FF00);
    Add(3, 50, 30, 10, 10, 0x0000FF);
    vm->Ok("CreateBrush", {7, 4, 4, 0xFFFFFF});
    ASSERT_EQ(vm->Call("AddMove", {qztest::Nil{}, 10, 3, 1}), 0);  // Undo of brush 1's layer
    const Arg handle = Arg::Stack(vm->Base() + 1);
    vm->Ok("AddMove", {handle, 24, 7, 5, 5, 1});  // brush 7 inserted at the bottom
    vm->Ok("AddMove", {handle, 26, 3});           // the layer then at position 3: blue
    vm->Ok("AddMove", {handle, 10, 3, 99});       // no such layer
    LogPresents();
    vm->Ok("DoMove", {handle});
    EXPECT_EQ(presented, (std::vector<std::string>{"0,0 10x10", "50,30 10x10"}));
    EXPECT_EQ(Ids(), (std::vector<int32_t>{7, 2}));
    EXPECT_EQ(Pixel(1, 6, 6), 0xFFFFFFu);
    EXPECT_EQ(Pixel(1, 1, 1), 0x000000u);
    EXPECT_EQ(Pixel(1, 55, 35), 0x000000u);
    // A list runs again from the start; a frame for a layer that is no anim is refused.
    presented.clear();
    vm->Ok("AddMove", {8, 22, 2, 32, 0});
    vm->Ok("DoMove", {8});
    vm->Ok("SetLayerStyle", {2, Arg::Table({{"x", 30}})});
    presented.clear();
    vm->Ok("DoMove", {8});
    EXPECT_EQ(presented, std::vector<std::string>{"30,0 12x10"});
    vm->Ok("AddMove", {9, 34, 1, 0, 0, 0});
    EXPECT_EQ(vm->Run("DoMove", {9}), "ERR 1055");
}

}  // namespace layers_style_test
