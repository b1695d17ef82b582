// Graphics and layer commands at each failing allocation: the command succeeds or fails, frees
// what it held on the way out also when running out of memory unwinds through it (LeakSanitizer
// checks), and leaves its objects fit for the same command to succeed afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "base/event_types.h"
#include "display/layer_test_util.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/layers/layer_render.h"
#include "libs/text/text_lib.h"
#include "oom/alloc_faults.h"
#include "platform/host/engine_keys.h"
#include "platform/os_lock.h"
#include "runtime/event_queue.h"

namespace failing_graphics_command_test {

using qztest::Arg;

namespace {

constexpr int kTypeBrush = 3;

class FailingGraphicsCommand : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzDrawLibrary,   &qzTextLibrary};
        ASSERT_EQ(InitEventQueue(), 0);
    }
    void TearDown() override {
        FreeEventQueue(*vm);
        LayerTest::TearDown();
    }
};

// Whether another thread could take the mutex now (the mutex is recursive: this thread always can).
bool FreeForOtherThreads(qzMutex* mutex) {
    bool taken = false;
    std::thread([&] {
        taken = OsTryLockMutex(mutex) != 0;
        if (taken) OsUnlockMutex(mutex);
    }).join();
    return taken;
}

}  // namespace

TEST_F(FailingGraphicsCommand, FreesWhatItHeldOnEveryWayOut) {
    OpenLayered(64, 48);
    vm->Ok("CreateBrush", {1, 8, 4, 0xFF0000});
    vm->Ok("SetFillStyle", {1});
    vm->Ok("Box", {10, 10, 20, 6, 0xFF0000});  // layer 1: a shape its owner draws again when turned
    const auto freePointer = [&] { vm->Ok("FreePointer", {5}); };
    const auto unturnLayer = [&] { vm->Ok("RotateLayer", {1, 0}); };
    // Number arguments only: the harness pushes strings and tables outside the protected call.
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::function<void()> undo;  // after a success
    } rows[] = {
        // The brush's pixels are read into a block that the new pointer is made from.
        {"CreatePointer", {5, kTypeBrush, 1}, freePointer},
        // The turned state is a new record that the shape is drawn into.
        {"RotateLayer", {1, 30}, unturnLayer},
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

// Line input takes the keys under the event queue's lock and echoes them as layers that go when
// it returns: on every way out, also when running out of memory unwinds through it, the lock is
// free for other threads again, no echo is left and layers and text cursor are as before.
TEST_F(FailingGraphicsCommand, LineInputLetsGoOfTheQueueAndItsEchoes) {
    OpenCurrent(1, Arg::Table({{"width", 64}, {"height", 48}}));
    qzDisplay* display = Display(1);
    ASSERT_EQ(display->layersEnabled, 0);
    const int32_t cursorX = display->textCursorX, cursorY = display->textCursorY;
    const auto typeLine = [&] {
        DropQueuedEvents(*vm, -1, 1);
        for (int32_t key : {int32_t('a'), int32_t('b'), int32_t(QZ_KEY_RETURN)}) {
            ASSERT_EQ(PushEventToQueue(display, QZ_EVENT_KEY, 1, 0, key, nullptr), 1);
            ASSERT_EQ(PushEventToQueue(display, QZ_EVENT_KEY, 0, 0, key, nullptr), 1);
        }
    };
    typeLine();
    int result = 0, succeeded = 0;
    const uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = vm->CallErr("InKeyStr", {0});
            } catch (const std::bad_alloc&) {
                result = -1;  // in the harness, before or after the command
            }
        },
        [&](uint64_t n) {
            succeeded += result == 0;
            EXPECT_TRUE(FreeForOtherThreads(GetEventQueueMutex())) << n;
            EXPECT_EQ(FirstLayer(CurrentBGPic()), nullptr) << n;
            EXPECT_EQ(display->layersEnabled, 0) << n;
            if (result != 0) {
                EXPECT_EQ(display->textCursorX, cursorX) << n;
                EXPECT_EQ(display->textCursorY, cursorY) << n;
            }
            display->textCursorX = cursorX;
            display->textCursorY = cursorY;
            typeLine();
        });
    EXPECT_GT(count, 0u);
    EXPECT_GT(succeeded, 0);
}

// The layers of a picture are rendered anew for the display that shows it with that display and
// picture current meanwhile: also when running out of memory unwinds through that, the current
// display and picture are the ones before.
TEST_F(FailingGraphicsCommand, RescaledLayersLeaveTheCurrentDisplayAlone) {
    OpenLayered(64, 48);
    vm->Ok("SetFillStyle", {1});
    vm->Ok("Box", {10, 10, 20, 6, 0xFF0000});
    vm->Ok("RotateLayer", {1, 30});  // the owner draws the shape again for a display state
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"scalemode", 2}, {"scalewidth", 128}, {"scaleheight", 96}})});
    qzBGPic* shown = Display(1)->bgpic;
    OpenCurrent(2, Arg::Table({{"width", 32}, {"height", 32}}));
    qzDisplay* current = CurrentDisplay();
    qzBGPic* currentPic = CurrentBGPic();
    ASSERT_NE(current, Display(1));
    int result = 0, failed = 0;
    const uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = RescaleAllLayersOfPicture(*vm, shown);
            } catch (const std::bad_alloc&) {
                result = ERR_MEM;
            }
        },
        [&](uint64_t n) {
            failed += result != 0;
            EXPECT_EQ(CurrentDisplay(), current) << n;
            EXPECT_EQ(CurrentBGPic(), currentPic) << n;
        });
    EXPECT_GT(count, 0u);
    EXPECT_GT(failed, 0);
}

}  // namespace failing_graphics_command_test
