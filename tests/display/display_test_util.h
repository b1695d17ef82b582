// Shared steps of the display tests: the platform started with the headless driver, the display
// library open through its descriptor, and readers of what the windows show.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "display/display.h"
#include "display/picture.h"
#include "libs/display/display_lib.h"
#include "libs/system/system.h"
#include "platform/host/backend_window.h"
#include "platform/host/event_loop.h"
#include "platform/host/host.h"
#include "support/commands.h"

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUARNELIX_DRIVER", "headless", 1);
        unsetenv("QUARNELIX_INPUT");
        unsetenv("QUARNELIX_SNAPSHOT_DIR");
        std::string message;
        ASSERT_EQ(MacInitPlatform(&message), 0) << message;
        vm = new qztest::Commands{&qzSystemLibrary, &qzDisplayLibrary};
    }
    void TearDown() override {
        delete vm;
        MacShutdownPlatform();
    }

    qzDisplay* Display(int32_t number) {
        qzDisplay* d = nullptr;
        FindDisplayById({number, nullptr}, &d);
        return d;
    }
    qzHostWindow* Window(int32_t number) {
        qzDisplay* d = Display(number);
        return d ? HostWindow(d->window) : nullptr;
    }
    // The window's pixel as 0xRRGGBB, or 0xFFFFFFFF outside it.
    uint32_t Pixel(int32_t number, int32_t x, int32_t y) {
        qzHostWindow* w = Window(number);
        if (!w || x < 0 || y < 0 || x >= w->frame.width || y >= w->frame.height) return 0xFFFFFFFFu;
        return w->frame.pixels[size_t(y) * w->frame.width + x] & 0xFFFFFF;
    }
    static int CountDisplays() {
        int n = 0;
        for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) n++;
        return n;
    }
    static int CountPictures() {
        int n = 0;
        for (qzBGPic* p = FirstBGPic(); p; p = reinterpret_cast<qzBGPic*>(p->header.next)) n++;
        return n;
    }
    static int CountWindows() {
        int n = 0;
        for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) n++;
        return n;
    }
    // Event passes until the window system has nothing queued.
    void Pass() {
        for (int guard = 0; guard < 100 && HostDriver()->pendingEvents() > 0; guard++) {
            int error = 0;
            MacHandleEvents(*vm, &error);
        }
    }
    // Opens display `number` and makes it current.
    void OpenCurrent(int32_t number, qztest::Arg options = qztest::Arg::Table({})) {
        vm->Ok("CreateDisplay", {number, options});
        vm->Ok("OpenDisplay", {number});
    }

    qztest::Commands* vm = nullptr;
};
