// Hardware double buffering and hardware bitmaps behind a display-adapter plugin: the adapter's
// begin, flip, end and clear entries receive the display's handle, the flip block and the colour,
// and drawing into a hardware brush's mask needs the adapter's capability for it.
#include <gtest/gtest.h>

#include "display/display.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/display/display_lib.h"
#include "libs/draw/draw.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "platform/display_adapter.h"
#include "platform/host/event_loop.h"
#include "plugin_fixture.h"

namespace plugin_double_buffer_test {

namespace {

struct DoubleBufferLog {
    int begins, ends, flips;
    int32_t block[3];
    void* display;
    int clears;
    uint32_t clearColour;
};

struct HardwareDoubleBuffer : ::testing::Test {
    plugintest::RuntimeStart runtime;
    filetest::TempDir dir;
    qztest::Commands* vm = nullptr;
    DoubleBufferLog* log = nullptr;

    void SetUp() override {
        setenv("QUARNELIX_DRIVER", "headless", 1);
        std::string message;
        ASSERT_EQ(MacInitPlatform(&message), 0) << message;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzDisplayLibrary,
                                  &qzBrushLibrary,    &qzBGPicLibrary, &qzDrawLibrary};
        SetRuntimeAttrs(*vm, {{QZ_RTA_QUIET, 1}});
        InstallHostApi();
        const std::string copy = dir / "dbadapter.qzp";
        filetest::WriteFile(copy, filetest::ReadFile(plugintest::Built("dbadapter")));
        qzPluginRecord* record = nullptr;
        SetPluginStartupPhase(1);
        ASSERT_EQ(LoadPluginFile(copy.c_str(), 0, &record), 0);
        EXPECT_EQ(qztest::RunAsCommand(*vm, {}, [&](VmState* s) { return InitPluginFeatures(s, record); }), 0);
        SetPluginStartupPhase(0);
        ASSERT_NE(GetDisplayAdapter(), nullptr);
        log = reinterpret_cast<DoubleBufferLog*>(record->handle->info->userData);
    }
    void TearDown() override {
        vm->CloseLibraries();
        FreeRuntime(*vm);
        delete vm;
        FreeAllPlugins();
        RemoveHostApi();
        MacShutdownPlatform();
    }
};

}  // namespace

TEST_F(HardwareDoubleBuffer, AdapterFlipsItsOwnBuffers) {
    vm->Ok("CreateDisplay", {1, qztest::Arg::Table({{"width", 32}, {"height", 24}})});
    vm->Ok("OpenDisplay", {1});
    // Without a window the adapter cannot flip.
    vm->Ok("CloseDisplay", {1});
    EXPECT_EQ(vm->Run("BeginDoubleBuffer", {true}), "ERR 1347");
    vm->Ok("OpenDisplay", {1});
    qzDisplay* d = CurrentDisplay();
    ASSERT_NE(d->nativeHandle, nullptr);
    ASSERT_EQ(vm->Run("BeginDoubleBuffer", {true}), "");
    EXPECT_EQ(d->doubleBufferHardware, 1);
    EXPECT_EQ(d->doubleBufferHardwareAsked, 1);
    EXPECT_EQ(log->begins, 1);
    EXPECT_EQ(log->display, d->nativeHandle);
    ASSERT_EQ(vm->Run("Flip", {}), "");
    ASSERT_EQ(vm->Run("Flip", {false}), "");
    EXPECT_EQ(log->flips, 2);
    EXPECT_EQ(log->block[0], 1);
    EXPECT_EQ(log->block[1], 0);
    ASSERT_EQ(vm->Run("EndDoubleBuffer", {}), "");
    EXPECT_EQ(log->ends, 1);
    EXPECT_EQ(d->doubleBufferHardware, 0);
    // Asked for the software form, the adapter is not involved.
    ASSERT_EQ(vm->Run("BeginDoubleBuffer", {}), "");
    ASSERT_EQ(vm->Run("Flip", {false}), "");
    ASSERT_EQ(vm->Run("EndDoubleBuffer", {}), "");
    EXPECT_EQ(log->begins, 1);
    EXPECT_EQ(log->flips, 2);
}

TEST_F(HardwareDoubleBuffer, HardwareBrushSelection) {
    vm->Ok("CreateDisplay", {1, qztest::Arg::Table({{"width", 32}, {"height", 24}})});
    vm->Ok("OpenDisplay", {1});
    vm->Ok("CreateBrush", {1, 8, 8, 0xFF0000, qztest::Arg::Table({{"hardware", true}})});
    // The adapter draws into hardware bitmaps but not into their masks and alpha channels.
    EXPECT_EQ(vm->Run("SelectMask", {1}), "ERR 1497");
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    EXPECT_EQ(CurrentDisplay()->outputHardware, 1);
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
}

TEST_F(HardwareDoubleBuffer, ClsOfAHardwareDoubleBufferedDisplayGoesToTheAdapter) {
    vm->Ok("CreateDisplay", {1, qztest::Arg::Table({{"width", 32}, {"height", 24}})});
    vm->Ok("OpenDisplay", {1});
    qzDisplay* d = CurrentDisplay();
    ASSERT_EQ(vm->Run("BeginDoubleBuffer", {true}), "");
    ASSERT_EQ(vm->Run("Cls", {0x123456}), "");
    EXPECT_EQ(log->clears, 1);
    EXPECT_EQ(log->clearColour, 0x123456u);
    EXPECT_EQ(log->display, d->nativeHandle);
    ASSERT_EQ(vm->Run("EndDoubleBuffer", {}), "");
    // Drawn by the player again, the display is cleared without the adapter.
    ASSERT_EQ(vm->Run("Cls", {0x654321}), "");
    EXPECT_EQ(log->clears, 1);
}

}  // namespace plugin_double_buffer_test
