// Shared steps of the layer tests: a headless display with layers on and the layer system
// installed, layers made from solid bitmaps, a display hook that logs what is presented, and
// readers of the window's pixels.
#pragma once

#include <string>
#include <vector>

#include "display/display_pixels.h"
#include "display/display_present.h"
#include "display/display_test_util.h"
#include "display/draw_tags.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "gfx/bitmap.h"
#include "gfx/channel_ops.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layers_lib.h"

class LayerTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary};
        presented.clear();
    }

    // Opens display 1 (width x height, layers on) filled with the colour and makes it current.
    void OpenLayered(int32_t width = 64, int32_t height = 48, uint32_t colour = 0x000000) {
        OpenCurrent(
            1, qztest::Arg::Table(
                   {{"width", width}, {"height", height}, {"layers", true}, {"color", static_cast<double>(colour)}}));
    }
    // Logs every presented rectangle of display 1 as "x,y WxH" into `presented`.
    void LogPresents() {
        ASSERT_NE(AddDisplayHook(*vm, {1, nullptr}, LogPresent, this, nullptr, 0), nullptr);
        presented.clear();
    }
    static void LogPresent(qzDisplayHook*, int32_t code, const intptr_t* m, void* self) {
        if (code != QZ_HOOKMSG_PRESENT) return;
        static_cast<LayerTest*>(self)->presented.push_back(std::to_string(m[10]) + "," + std::to_string(m[11]) + " " +
                                                           std::to_string(m[12]) + "x" + std::to_string(m[13]));
    }

public:
    static qzBitMap* Solid(int32_t width, int32_t height, uint32_t colour) {
        qzBitMap* bitmap = CreateBitMap(width, height, 0, nullptr);
        if (bitmap) FillBitmapColor(bitmap, 0, 0, width, height, colour);
        return bitmap;
    }
    // An alpha channel of the size filled with the value.
    static qzBitMap* Alpha(int32_t width, int32_t height, int value) {
        qzBitMap* alpha = CreateAlphaBitMap(width, height, 1, nullptr, 0);
        if (alpha) FillAlphaRect(alpha, 0, 0, width, height, value);
        return alpha;
    }

protected:
    // A brush-type layer of a solid colour (object number id) added to the current picture.
    qzLayer* Add(int32_t id, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour,
                 const qzLayerTags* tags = nullptr, int32_t insertPos = -1, uint32_t flags = 0,
                 qzBitMap* alpha = nullptr) {
        qzLayer* layer = nullptr;
        EXPECT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {id, nullptr}, x, y, width, height, nullptr, tags,
                                    Solid(width, height, colour), nullptr, alpha, nullptr, insertPos, flags, &layer),
                  0);
        return layer;
    }
    // The object numbers of the current picture's layers, bottom first.
    static std::vector<int32_t> Ids() {
        std::vector<int32_t> ids;
        for (qzLayer* l = FirstLayer(CurrentBGPic()); l; l = NextLayer(l)) ids.push_back(l->id.number);
        return ids;
    }

    std::vector<std::string> presented;
};
