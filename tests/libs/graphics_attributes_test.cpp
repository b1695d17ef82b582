// GetAttribute of what the other libraries make: the layers of the drawing target (by position
// and name, with the refusals of attributes their type lacks; anim and video layers through the
// code of their media), text objects, where drawing goes
// (ATTROUTPUTDEVICE while brushes, masks, alpha channels, pictures and layers are selected), and
// the loader that decoded a brush's or a picture's image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/graphics/attributes.h"
#include "libs/text/text_lib.h"
#include "platform/file_test_util.h"
#include "player/image_link.h"
#include "text/text_object.h"

namespace graphics_attributes_test {

using qztest::Arg;
using qztest::NilArg;

namespace {

constexpr int kTypeBGPic = 1, kTypeBrush = 3, kTypeTextObject = 8, kTypeDisplay = 21, kTypeLayer = 22;

std::string Err(int code) { return "ERR " + std::to_string(code); }

class ObjectAttributes : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary,
                                  &qzBGPicLibrary,    &qzDrawLibrary,    &qzTextLibrary};
        InstallImageLoaders();
    }
    void TearDown() override {
        RemoveImageLoaders();
        LayerTest::TearDown();
    }
    void OpenPlain() { OpenCurrent(1, Arg::Table({{"width", 64}, {"height", 48}, {"color", 0}})); }
    std::string Attr(int type, Arg id, int attribute) { return vm->Run("GetAttribute", {type, id, attribute}); }
    std::string Output() { return Attr(kTypeDisplay, 0, ATTROUTPUTDEVICE); }
};

const int kFontAttributes[] = {ATTRFONTASCENDER, ATTRFONTDESCENDER, ATTRFONTNAME,
                               ATTRFONTSIZE,     ATTRFONTSCALABLE,  ATTRFONTAA};

}  // namespace

TEST_F(ObjectAttributes, LayersOfTheDrawingTarget) {
    OpenPlain();
    vm->Ok("CreateBrush", {1, 20, 10, 0xFF0000});
    vm->Ok("DisplayBrush", {1, 5, 6});
    EXPECT_EQ(Attr(kTypeLayer, 1, ATTRWIDTH), Err(ERR_NOLAYERS));  // layers off

    vm->Ok("EnableLayers");
    vm->Ok("DisplayBrush", {1, 5, 6});
    vm->Ok("SetLayerName", {1, "red"});
    vm->Ok("TextOut", {30, 20, "AB"});
    vm->Ok("CreateTextObject", {2, "Hi"});
    vm->Ok("DisplayTextObject", {2, 0, 30});
    vm->Ok("HideLayer", {3});
    vm->Ok("DisplayBrush", {1, 40, 2});
    vm->Ok("ScaleLayer", {4, 40, 30});
    const struct {
        Arg id;
        int attribute;
        std::string expected;
    } rows[] = {
        {1, ATTRWIDTH, "20"},
        {"red", ATTRHEIGHT, "10"},
        {"RED", ATTRXPOS, "5"},  // names in any case
        {1, ATTRYPOS, "6"},
        {1, ATTRRAWXPOS, "5"},
        {1, ATTRRAWWIDTH, "20"},
        {4, ATTRWIDTH, "40"},  // scaled: the box it covers now, and the box it had
        {4, ATTRHEIGHT, "30"},
        {4, ATTRRAWWIDTH, "20"},
        {4, ATTRRAWHEIGHT, "10"},
        {4, ATTRXPOS, "40"},
        {1, ATTRTYPE, "3"},
        {2, ATTRTYPE, "9"},
        {3, ATTRTYPE, "8"},
        {1, ATTRVISIBLE, "1"},
        {3, ATTRVISIBLE, "0"},
        {"red", ATTRLAYERID, "1"},
        {3, ATTRZPOS, "3"},
        {1, ATTRID, "1"},
        {3, ATTRID, "2"},
        {1, ATTRGROUP, "\"\""},
        {1, ATTRLAYERS, "4"},
        {2, ATTRTEXT, "\"AB\""},
        {3, ATTRTEXT, "\"Hi\""},
        // Attributes of other layer types.
        {1, ATTRNUMFRAMES, Err(ERR_NOANMLAYER)},
        {2, ATTRCURFRAME, Err(ERR_NOANMLAYER)},
        {1, ATTRFRAMEDELAY, Err(ERR_NOANMLAYER)},
        {1, ATTRDURATION, Err(ERR_BADLAYERTYPE)},
        {3, ATTRPLAYING, Err(ERR_BADLAYERTYPE)},
        {1, ATTRFONTNAME, Err(ERR_NOTXTLAYER)},
        {4, ATTRTEXT, Err(ERR_NOTXTLAYER)},
        // No such layer.
        {5, ATTRWIDTH, Err(ERR_LAYERRANGE)},
        {0, ATTRWIDTH, Err(ERR_LAYERRANGE)},
        {-1, ATTRWIDTH, Err(ERR_LAYERRANGE)},
        {"blue", ATTRWIDTH, Err(ERR_FINDLAYER)},
        {1, ATTRTITLE, Err(ERR_UNKNOWNATTR)},
        {1, ATTRCOUNT, Err(ERR_UNKNOWNATTR)},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Attr(kTypeLayer, r.id, r.attribute), r.expected) << r.id.Describe() << " " << r.attribute;
    // Text layers answer with the font they were drawn in, here the display's.
    for (int attribute : kFontAttributes) {
        const std::string font = Attr(kTypeDisplay, 0, attribute);
        EXPECT_EQ(Attr(kTypeLayer, 2, attribute), font) << attribute;
        EXPECT_EQ(Attr(kTypeLayer, 3, attribute), font) << attribute;
    }

    // While a brush is drawn into, its list is read, which holds no layers.
    vm->Ok("SelectBrush", {1});
    EXPECT_EQ(Attr(kTypeLayer, 1, ATTRWIDTH), Err(ERR_NOLAYERS));
    vm->Ok("EndSelect");
    EXPECT_EQ(Attr(kTypeLayer, 1, ATTRWIDTH), "20");
}

TEST_F(ObjectAttributes, AnimAndVideoLayerAttributes) {
    OpenPlain();
    vm->Ok("EnableLayers");
    // An anim layer showing frame 2 of 5, and a video layer, both hidden (nothing draws them).
    for (int32_t type : {QZ_LAYER_ANIM, QZ_LAYER_VIDEO}) {
        qzLayerState* st = NewLayerState();
        ASSERT_NE(st, nullptr);
        st->partX = 1;
        st->partY = 5;
        ASSERT_EQ(AddLayerForObject(*vm, type, {7, nullptr}, 0, 0, 4, 4, nullptr, nullptr, Solid(4, 4, 0xFF), nullptr,
                                    nullptr, st, -1, QZ_ADDLAYER_HIDDEN, nullptr),
                  0);
    }
    const struct {
        int layer, attribute;
        std::string expected;
    } rows[] = {
        {1, ATTRNUMFRAMES, "5"},
        {1, ATTRCURFRAME, "2"},
        {1, ATTRFRAMEDELAY, Err(ERR_FINDANIM)},  // the layer names no anim that exists
        {1, ATTRDURATION, Err(ERR_BADLAYERTYPE)},
        {1, ATTRFONTSIZE, Err(ERR_NOTXTLAYER)},
        {2, ATTRPLAYING, Err(ERR_FINDVIDEO)},
        {2, ATTRNUMFRAMES, Err(ERR_NOANMLAYER)},
        {2, ATTRTYPE, "50"},
    };
    for (const auto& r : rows) EXPECT_EQ(Attr(kTypeLayer, r.layer, r.attribute), r.expected) << r.attribute;
    for (int attribute : {ATTRDURATION, ATTRPOSITION, ATTRFORMAT, ATTRCANSEEK, ATTRPAUSED})
        EXPECT_EQ(Attr(kTypeLayer, 2, attribute), Err(ERR_FINDVIDEO)) << attribute;
}

TEST_F(ObjectAttributes, TextObjects) {
    OpenPlain();
    EXPECT_EQ(Attr(kTypeTextObject, 1, ATTRWIDTH), Err(ERR_FINDTEXTOBJECT));
    vm->Ok("CreateTextObject", {1, "AB"});
    vm->Ok("CreateTextObject", {2, "ABCD"});
    qzTextObject* object = nullptr;
    ASSERT_EQ(FindTextObject(*vm, {1, nullptr}, &object, 0), 0);
    ASSERT_GT(object->width, 0);
    const struct {
        int id, attribute;
        std::string expected;
    } rows[] = {
        {1, ATTRWIDTH, std::to_string(object->width)},
        {1, ATTRHEIGHT, std::to_string(object->height)},
        {2, ATTRWIDTH, std::to_string(2 * object->width)},
        {1, ATTRTEXT, "\"AB\""},
        {0, ATTRCOUNT, "2"},
        {3, ATTRTEXT, Err(ERR_FINDTEXTOBJECT)},
        {1, ATTRXPOS, Err(ERR_UNKNOWNATTR)},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Attr(kTypeTextObject, r.id, r.attribute), r.expected) << r.id << " " << r.attribute;
    for (int attribute : kFontAttributes)
        EXPECT_EQ(Attr(kTypeTextObject, 1, attribute), Attr(kTypeDisplay, 0, attribute)) << attribute;
}

TEST_F(ObjectAttributes, OutputDeviceNamesTheSelectedObject) {
    OpenPlain();
    vm->Ok("CreateBrush", {1, 8, 8, 0xFF0000});
    vm->Ok("CreateBGPic", {2, 16, 16, 0x00FF00});
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"EndSelect", {}, "21, 1, 0"},           {"SelectBrush", {1}, "3, 1, 3"},    {"SelectMask", {1}, "3, 1, 28"},
        {"SelectAlphaChannel", {1}, "3, 1, 30"}, {"SelectBGPic", {2, 0}, "1, 2, 3"}, {"EndSelect", {}, "21, 1, 0"},
    };
    for (const auto& r : rows) {
        vm->Run(r.command, r.args);
        EXPECT_EQ(Output(), r.expected) << r.command;
    }

    // Double buffering answers as such; a selection made meanwhile names its object.
    vm->Ok("BeginDoubleBuffer");
    EXPECT_EQ(Output(), "38, 0, 0");
    vm->Ok("SelectBrush", {1});
    EXPECT_EQ(Output(), "3, 1, 3");
    vm->Ok("EndSelect");
    EXPECT_EQ(Output(), "38, 0, 0");
    vm->Ok("EndDoubleBuffer");

    // A layer drawn into: its type and position.
    vm->Ok("EnableLayers");
    vm->Ok("DisplayBrush", {1, 0, 0});
    vm->Ok("DisplayBrush", {1, 10, 0});
    vm->Ok("SelectMask", {2, kTypeLayer});
    EXPECT_EQ(Output(), "22, 2, 28");
    vm->Ok("EndSelect");
    vm->Ok("SelectLayer", {1});
    EXPECT_EQ(Output(), "22, 1, 3");
    vm->Ok("EndSelect");
    EXPECT_EQ(Output(), "21, 1, 0");
}

TEST_F(ObjectAttributes, LoaderThatDecodedTheImage) {
    OpenPlain();
    filetest::TempDir dir;
    const std::string file = dir / "pic.png";
    vm->Ok("CreateBrush", {1, 6, 4, 0x123456});
    vm->Ok("SaveBrush", {1, file, 0, 1});
    const struct {
        const char* loaders;  // null: the default list
        std::string expected;
    } rows[] = {
        {nullptr, "\"inbuilt\""},
        {"inbuilt", "\"inbuilt\""},
        {"native", "\"native\""},
    };
    for (const auto& r : rows) {
        const Arg options = r.loaders ? Arg::Table({{"loader", r.loaders}}) : Arg::Table({});
        vm->Ok("LoadBrush", {2, file, options});
        vm->Ok("LoadBGPic", {3, file, options});
        vm->Ok("CopyBrush", {2, 4});
        EXPECT_EQ(Attr(kTypeBrush, 2, ATTRLOADER), r.expected) << (r.loaders ? r.loaders : "default");
        EXPECT_EQ(Attr(kTypeBGPic, 3, ATTRLOADER), r.expected) << (r.loaders ? r.loaders : "default");
        EXPECT_EQ(Attr(kTypeBrush, 4, ATTRLOADER), r.expected) << "copy";
        EXPECT_EQ(Attr(kTypeBGPic, 3, ATTRWIDTH), "6");
    }
    EXPECT_EQ(Attr(kTypeBrush, 1, ATTRLOADER), "\"inbuilt\"");  // made, not loaded
}

}  // namespace graphics_attributes_test
