// Shared steps of the host-layer tests: starting the platform with a chosen driver, recording
// what the event loop posts and asks of the display code, opening windows and running input
// scripts through the headless driver.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "platform/host/event_loop.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "platform/host/input_script.h"
#include "platform/os_alloc.h"

struct PostedEvent {
    qzDisplay* display;
    int32_t type;
    int32_t p1;
    int32_t p2;
    int32_t p3;
    std::string data;  // the drop list, bytes as posted

    bool operator==(const PostedEvent& o) const {
        return display == o.display && type == o.type && p1 == o.p1 && p2 == o.p2 && p3 == o.p3 && data == o.data;
    }
};

inline std::ostream& operator<<(std::ostream& os, const PostedEvent& e) {
    return os << "{type " << e.type << ": " << e.p1 << ", " << e.p2 << ", " << e.p3 << "}";
}

// What the event loop did through its hooks.
struct HookRecord {
    std::vector<PostedEvent> posted;
    int quit = 0;
    int reopens = 0;
    int32_t reopenMode = 0;
    int reopenError = 0;
    int resizes = 0;
    int32_t resizeWidth = 0;
    int32_t resizeHeight = 0;
    int refreshes = 0;
    int audioPasses = 0;
    std::vector<std::string> menus;
};

inline HookRecord& Hooks() {
    static HookRecord record;
    return record;
}

inline int CapturePost(qzDisplay* display, int32_t type, int32_t p1, int32_t p2, int32_t p3, void* data) {
    PostedEvent e{display, type, p1, p2, p3, {}};
    if (data) {
        // A drop list: paths ended by zero bytes, and one more after the last.
        const char* p = static_cast<const char*>(data);
        size_t n = 0;
        while (p[n] || p[n + 1]) n++;
        e.data.assign(p, n + 2);
        OsFree(data);
    }
    Hooks().posted.push_back(e);
    return 1;
}

inline void InstallCaptureHooks() {
    Hooks() = HookRecord();
    qzHostHooks hooks = {};
    hooks.postEvent = CapturePost;
    hooks.setQuitFlag = [](int quit) { Hooks().quit = quit; };
    hooks.quitFlag = []() { return Hooks().quit; };
    hooks.reopenDisplay = [](VmState*, qzDisplay*, int32_t mode, int32_t, int32_t) {
        Hooks().reopens++;
        Hooks().reopenMode = mode;
        return Hooks().reopenError;
    };
    hooks.resizeDisplay = [](VmState*, qzDisplay*, int32_t w, int32_t h) {
        Hooks().resizes++;
        Hooks().resizeWidth = w;
        Hooks().resizeHeight = h;
        return 0;
    };
    hooks.refreshDisplay = [](VmState*, qzDisplay*) { Hooks().refreshes++; };
    hooks.postAudioEvents = []() { Hooks().audioPasses++; };
    hooks.menuSelected = [](qzDisplay*, const std::string& id, int32_t selected) {
        Hooks().menus.push_back(id + (selected ? " on" : ""));
    };
    SetHostHooks(&hooks);
}

// A made-up display pointer for window `id`: the events of its window carry it.
inline qzDisplay* FakeDisplay(int32_t id) { return reinterpret_cast<qzDisplay*>(uintptr_t(0x1000) * uintptr_t(id)); }

// Starts the platform with the driver named (QUARNELIX_DRIVER) and records the hooks; stops it
// at the end of the test.
class HostTest : public ::testing::Test {
protected:
    void StartPlatform(const char* driver) {
        setenv("QUARNELIX_DRIVER", driver, 1);
        unsetenv("QUARNELIX_INPUT");
        std::string message;
        ASSERT_EQ(MacInitPlatform(&message), 0) << message;
        started = true;
        InstallCaptureHooks();
    }
    void TearDown() override {
        if (started) MacShutdownPlatform();
        SetHostHooks(nullptr);
    }

    // Opens a window for a made-up display and lets its opening events pass.
    qzHostWindow* Open(int32_t scriptId, uint32_t flags = 0, int32_t width = 320, int32_t height = 200) {
        qzHostWindowSpec spec;
        spec.display = FakeDisplay(scriptId);
        spec.scriptId = scriptId;
        spec.title = "test";
        spec.width = width;
        spec.height = height;
        spec.settings.flags = flags;
        qzHostWindow* window = nullptr;
        EXPECT_EQ(HostOpenWindow(&spec, &window), 0);
        Drain();
        Hooks().posted.clear();
        return window;
    }

    // Runs event passes until the driver has nothing queued.
    int Drain() {
        int result = 0;
        for (int guard = 0; guard < 10000 && HostDriver()->pendingEvents() > 0; guard++) {
            int error = 0;
            result = MacHandleEvents(nullptr, &error);
            lastError = error;
        }
        return result;
    }

    // Delivers the events of an input script (times ignored: all due now) and drains them.
    int Script(const std::string& text) {
        std::vector<qzScriptedEvent> events;
        std::string message;
        EXPECT_TRUE(ParseInputScript(text, "test", &events, &message)) << message;
        for (qzScriptedEvent& e : events) e.atMicros = 0;
        HeadlessSetInputScript(events);
        return Drain();
    }

    bool started = false;
    int lastError = 0;
};
