// The layer bookkeeping of pictures: layers that show an object get their own copy before it
// changes, and image layers keep the part they show.
#include <gtest/gtest.h>

#include "display/layer_test_util.h"
#include "display/picture_layers.h"
#include "libs/bgpic/bgpic_lib.h"

namespace picture_layers_test {

namespace {

class PictureLayers : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBGPicLibrary};
        OpenLayered(32, 24, 0x000000);
    }
    static int copies;
    static int CountingCopy(VmState*, void* object, const qzObjectId& newId, void** out) {
        EXPECT_TRUE(IsAutoObjectId(newId));
        copies++;
        *out = static_cast<char*>(object) + 1;
        return 0;
    }
};
int PictureLayers::copies = 0;

}  // namespace

TEST_F(PictureLayers, DetachGivesLayersACopy) {
    static char object[2];
    void* copy = nullptr;
    copies = 0;
    ASSERT_EQ(DetachObjectFromLayers(*vm, QZ_LAYER_BRUSH, {5, nullptr}, CountingCopy, object, &copy), 0);
    EXPECT_EQ(copies, 0);  // no layer shows it: no copy
    EXPECT_EQ(copy, nullptr);
    Add(5, 0, 0, 4, 4, 0xFF0000);
    Add(6, 4, 0, 4, 4, 0x00FF00);
    ASSERT_EQ(DetachObjectFromLayers(*vm, QZ_LAYER_BRUSH, {5, nullptr}, CountingCopy, object, &copy), 0);
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(copy, object + 1);
    qzLayer* first = FirstLayer(CurrentBGPic());
    EXPECT_EQ(first->id.number, 0);
    EXPECT_EQ(first->id.pointer, object + 1);
    EXPECT_EQ(NextLayer(first)->id.number, 6);

    // A picture that layers show keeps their look when it is scaled: they show a private copy.
    ASSERT_EQ(vm->Run("CreateBGPic", {2, 8, 8, 0x0000FF}), "");
    qzBGPic* pic = nullptr;
    ASSERT_EQ(FindBGPic(*vm, {2, nullptr}, &pic, 0), 0);
    ASSERT_EQ(InsertImageLayer(*vm, QZ_LAYER_BGPICPART, {2, nullptr}, 2, 3, 10, 10, 4, 4, nullptr, nullptr, nullptr,
                               nullptr, nullptr, -1, 0, nullptr),
              0);
    qzLayer* part = LastLayer(CurrentBGPic());
    EXPECT_EQ(part->base->partX, 2);
    EXPECT_EQ(part->base->partY, 3);
    ASSERT_EQ(vm->Run("ScaleBGPic", {2, 16, 16}), "");
    EXPECT_EQ(part->id.number, 0);
    const qzBGPic* shown = static_cast<const qzBGPic*>(part->id.pointer);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->layerOnly, 1);
    EXPECT_EQ(shown->scaledWidth, 8);
    EXPECT_EQ(pic->scaledWidth, 16);
}

}  // namespace picture_layers_test
