// Transition effects at each failing allocation: a synchronous and an asynchronous effect that
// draws into its layer, a layer hidden straight on the display and a brush shown as a new layer
// either end on the picture or fail with the layer as it was (LeakSanitizer checks at exit that
// nothing the effect made is left behind).
#include <gtest/gtest.h>

#include <new>

#include "base/error_codes.h"
#include "display/layer_list.h"
#include "fx/fx_fixture.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/transitionfx/effect_driver.h"
#include "oom/alloc_faults.h"

namespace failing_effect_test {

class FailingEffect : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary};
        OverrideEffectRoutines(0, WipeStep, nullptr);
    }
    void TearDown() override {
        OverrideEffectRoutines(0, nullptr, nullptr);
        FxTest::TearDown();
    }
};

TEST_F(FailingEffect, LayerAsItWasOrThePicture) {
    OpenScreen(64, 48, true);
    vm->Ok("CreateBrush", {3, 12, 10, 0xFF0000});
    qzLayer* layer = nullptr;
    ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 10, 6, 30, 20, nullptr, nullptr, Pattern(30, 20),
                                nullptr, nullptr, nullptr, -1, QZ_ADDLAYER_HIDDEN, &layer),
              0);
    qzBitMap* own = layer->display->own.bitmap;
    const struct {
        const char* name;
        int32_t mode;
        int async;
        int forceLayer;
    } kRows[] = {
        {"show through the layer", QZ_EFFECT_SHOWLAYER, 0, 1},
        {"show asynchronously", QZ_EFFECT_SHOWLAYER, 1, 0},
        {"hide on the display", QZ_EFFECT_HIDELAYER, 0, 0},
        {"brush as a new layer", QZ_EFFECT_BRUSH, 0, 0},
    };
    for (const auto& row : kRows) {
        int result = -1;
        void* handle = nullptr;
        const bool hide = row.mode == QZ_EFFECT_HIDELAYER;
        auto reset = [&] {
            // One layer, hidden when an effect shows it and shown when one hides it.
            while (CountLayers(CurrentBGPic()) > 1)
                DeleteLayerRecord(*vm, CurrentBGPic(), LastLayer(CurrentBGPic()), 0, nullptr, nullptr, 0);
            layer->hidden = hide ? 0 : 1;
            RefreshArea(*vm, 0, 0, 64, 48);
        };
        reset();
        const uint64_t count = ForEachFailingAllocation(
            [&] {
                qzEffectContext t = {};
                t.vm = *vm;
                t.mode = row.mode;
                t.type = 0;
                t.object = {row.mode == QZ_EFFECT_BRUSH ? 3 : 1, nullptr};
                t.speed = 9;
                t.parameter = -1;
                t.hide = hide;
                t.async = row.async;
                t.forceRealtimeLayers = row.forceLayer;
                try {
                    result = RunEffect(&t);
                } catch (const std::bad_alloc&) {
                    // A handler's protection turns this into "Out of memory!".
                    result = ERR_MEM;
                }
                if (result == 1) {
                    // The object is stepped until it ends or a frame fails (the harness's own
                    // allocations may fail too); what is left of it is cancelled afterwards.
                    handle = VmToUserdata(*vm, -1);
                    VmSetTop(*vm, 0);
                    try {
                        for (int i = 0; i < 10; i++) {
                            const int error = vm->Call("AsyncDrawFrame", {qztest::Arg::Pointer(handle)});
                            if (error || vm->Num() == 1) break;
                        }
                    } catch (const std::bad_alloc&) {
                    }
                }
            },
            [&](uint64_t n) {
                qzAsyncDraw* object = nullptr;
                if (handle && FindAsyncDraw({0, handle}, &object) == 0)
                    vm->Ok("CancelAsyncDraw", {qztest::Arg::Pointer(handle)});
                handle = nullptr;
                if (n == 0) {
                    EXPECT_TRUE(result == 0 || result == 1) << row.name;
                }
                if (result != 0 && result != 1) {
                    // Out of memory as the effect or the event pump and frame wait report it.
                    EXPECT_GE(result, 1000) << row.name << ", allocation " << n;
                    EXPECT_EQ(CountLayers(CurrentBGPic()), 1) << row.name << ", allocation " << n;
                    EXPECT_EQ(layer->hidden, hide ? 0 : 1) << row.name << ", allocation " << n;
                }
                EXPECT_EQ(layer->display->own.bitmap, own) << row.name << ", allocation " << n;
                EXPECT_EQ(layer->display->own.mask, nullptr) << row.name << ", allocation " << n;
                reset();
            });
        EXPECT_GT(count, 0u) << row.name;
    }
}

}  // namespace failing_effect_test
