// Effect commands at each failing allocation: the effect runs to its end or fails, frees what it
// held on the way out (LeakSanitizer checks), and leaves its objects fit for the same command to
// succeed afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <vector>

#include "display/layer_test_util.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/transitionfx/transitionfx_lib.h"
#include "oom/alloc_faults.h"

namespace failing_effect_command_test {

using qztest::Arg;

namespace {

constexpr int32_t kScrollLeft = 47, kScrollNorthEast = 51;

class FailingEffectCommand : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,      &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBGPicLibrary, &qzTransitionFXLibrary};
    }
};

}  // namespace

TEST_F(FailingEffectCommand, ScrollsFreeWhatTheyHeldOnEveryWayOut) {
    OpenLayered(64, 48);
    vm->Ok("CreateBGPic", {2, 64, 48, 0xFF0000});
    qzLayer* layer = Add(5, 10, 10, 16, 8, 0x00FF00, nullptr, -1, QZ_ADDLAYER_HIDDEN);
    ASSERT_NE(layer, nullptr);
    const auto hideAgain = [&] {
        layer->hidden = 1;
        RefreshArea(*vm, 0, 0, 64, 48);
    };
    const auto nothing = [] {};
    // Number arguments only: the harness pushes strings and tables outside the protected call.
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::function<void()> undo;  // after a success
    } rows[] = {
        {"ShowLayerFX", {1, kScrollLeft, 32}, hideAgain},
        {"DisplayTransitionFX", {2, kScrollNorthEast, 48}, nothing},
        {"ClearScreen", {kScrollLeft, 0x0000FF, 48}, nothing},
    };
    for (const auto& r : rows) {
        int result = 0, succeeded = 0;
        const uint64_t count = ForEachFailingAllocation(
            [&] {
                try {
                    result = vm->CallErr(r.command, r.args);
                } catch (const std::bad_alloc&) {
                    result = -1;  // in the harness, before or after the command
                }
            },
            [&](uint64_t) {
                if (result != 0) return;
                succeeded++;
                r.undo();
            });
        EXPECT_GT(count, 0u) << r.command;
        EXPECT_GT(succeeded, 0) << r.command;
        vm->Ok(r.command, r.args);
        r.undo();
    }
}

}  // namespace failing_effect_command_test
