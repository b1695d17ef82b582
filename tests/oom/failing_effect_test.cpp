// Transition effects at each failing allocation: a synchronous and an asynchronous effect that
// draws into its layer, a layer hidden straight on the display and a brush shown as a new layer
// either end on the picture or fail with the layer as it was (LeakSanitizer checks at exit that
// nothing the effect made is left behind).
#include <gtest/gtest.h>

#include <functional>
#include <new>

#include "base/error_codes.h"
#include "display/layer_list.h"
#include "fx/fx_fixture.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/transitionfx/effect_driver.h"
#include "oom/alloc_faults.h"

namespace failing_effect_test {

// Runs body as a command runs: in a protected call, so that a failing allocation anywhere in it
// ends the call with its error.
// The body is called through its address: nothing is allocated before the call is protected.
template <typename Body>
int Protected(VmState* state, Body& body) {
    return VmCProtectedCall(
        state, [](VmState* s) { return (*static_cast<Body*>(VmToUserdata(s, 1)))(s); }, &body);
}

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

TEST_F(FailingEffect, NewPictureShownOrNot) {
    // Whatever fails, the window shows the picture the display has: the old one, or the new one.
    OpenScreen(64, 48, false);
    qzBGPic *pic = nullptr, *first = nullptr;
    ASSERT_EQ(CreateBlankBGPic({7, nullptr}, 64, 48, 0x00FF00, &pic), 0);
    ASSERT_EQ(CreateBlankBGPic({8, nullptr}, 64, 48, 0x0000FF, &first), 0);
    vm->Ok("SetDisplayAttributes", {qztest::Arg::Table({{"bgpic", 8}})});
    ASSERT_EQ(CurrentDisplay()->bgpic, first);
    int result = -1;
    const uint64_t count = ForEachFailingAllocation(
        [&] {
            qzEffectContext t = {};
            t.vm = *vm;
            t.mode = QZ_EFFECT_BGPIC;
            t.type = 0;
            t.object = {7, nullptr};
            t.speed = 9;
            t.parameter = -1;
            t.bgpicX = t.bgpicY = 99999;
            result = -1;
            auto body = [&](VmState* state) {
                t.vm = state;
                result = RunEffect(&t);
                return result;
            };
            const int status = Protected(*vm, body);
            if (result < 0 || status) result = status;
        },
        [&](uint64_t n) {
            const uint32_t expected = CurrentDisplay()->bgpic == pic ? 0x00FF00u : 0x0000FFu;
            for (int32_t y = 0; y < 48; y += 7)
                for (int32_t x = 0; x < 64; x += 7)
                    ASSERT_EQ(Pixel(screen, x, y), expected) << "allocation " << n << " at " << x << "," << y;
            EXPECT_EQ(pic->locked, 0) << "allocation " << n;
            if (n == 0) {
                EXPECT_EQ(result, 0);
            }
            // Back to the first picture for the next run.
            if (CurrentDisplay()->bgpic != first) {
                vm->Ok("SetDisplayAttributes", {qztest::Arg::Table({{"bgpic", 8}})});
            }
        });
    EXPECT_GT(count, 0u);
}

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
                // As a command runs it: what runs out of memory or raises a script error
                // unwinds to the protected call, which reports it.
                result = -1;
                auto body = [&](VmState* state) {
                    t.vm = state;
                    result = RunEffect(&t);
                    if (result == 1) handle = VmToUserdata(state, -1);
                    return result == 1 ? 0 : result;
                };
                const int status = Protected(*vm, body);
                if (result < 0 || status) result = status;
                if (result == 1) {
                    // The object is stepped until it ends or a frame fails (the harness's own
                    // allocations may fail too); what is left of it is cancelled afterwards.
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

// A water effect (its work bitmap, ripple tables and layer alpha) at each failing allocation:
// through the layer, asynchronously and straight onto the display, it either ends on the picture
// or fails with the layer as it was; a frame whose kernel cannot get its memory draws nothing.
TEST_F(FailingEffect, WaterEndsOrLeavesTheLayerAsItWas) {
    OpenScreen(64, 48, true);
    qzLayer* layer = nullptr;
    ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 10, 6, 30, 20, nullptr, nullptr, Pattern(30, 20),
                                nullptr, nullptr, nullptr, -1, QZ_ADDLAYER_HIDDEN, &layer),
              0);
    qzBitMap* own = layer->display->own.bitmap;
    const struct {
        const char* name;
        int32_t mode;
        int forceLayer;
    } kRows[] = {
        {"show through the layer", QZ_EFFECT_SHOWLAYER, 1},
        {"hide on the display", QZ_EFFECT_HIDELAYER, 0},
    };
    for (const auto& row : kRows) {
        int result = -1;
        const bool hide = row.mode == QZ_EFFECT_HIDELAYER;
        auto reset = [&] {
            layer->hidden = hide ? 0 : 1;
            RefreshArea(*vm, 0, 0, 64, 48);
        };
        reset();
        const uint64_t count = ForEachFailingAllocation(
            [&] {
                qzEffectContext t = {};
                t.vm = *vm;
                t.mode = row.mode;
                t.type = 134;
                t.object = {1, nullptr};
                t.speed = 5;
                t.parameter = -1;
                t.hide = hide;
                t.forceRealtimeLayers = row.forceLayer;
                result = -1;
                auto body = [&](VmState* state) {
                    t.vm = state;
                    result = RunEffect(&t);
                    return result;
                };
                const int status = Protected(*vm, body);
                if (result < 0 || status) result = status;
            },
            [&](uint64_t n) {
                if (n == 0) {
                    EXPECT_EQ(result, 0) << row.name;
                }
                if (result != 0) {
                    EXPECT_GE(result, 1000) << row.name << ", allocation " << n;
                    EXPECT_EQ(layer->hidden, hide ? 0 : 1) << row.name << ", allocation " << n;
                }
                EXPECT_EQ(layer->display->own.bitmap, own) << row.name << ", allocation " << n;
                EXPECT_EQ(CountLayers(CurrentBGPic()), 1) << row.name << ", allocation " << n;
                reset();
            });
        EXPECT_GT(count, 0u) << row.name;
    }
}

}  // namespace failing_effect_test
