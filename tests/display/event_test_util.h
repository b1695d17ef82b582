// Shared steps of the event tests: the event library open on a VM, the event queue and the timer
// list ready, a hand-driven clock, and handlers that record the tables they receive.
//
// Waits run through a stand-in display adapter whose WaitEvents advances the clock by a step,
// lets the timers fire and counts: after too many waits with nothing dispatched it fails the test
// and asks to quit, so a wait that can never end stops instead of hanging.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/event_dispatch.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "libs/event/event_lib.h"
#include "platform/display_adapter.h"
#include "platform/os_timer.h"
#include "runtime/event_queue.h"
#include "runtime/runtime.h"
#include "support/commands.h"
#include "support/manual_clock.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace eventtest {

// One call of a recording handler: the fields of the table it received (numbers and strings
// rendered, handles as "handle"), and the callback depth it ran at.
struct Call {
    std::map<std::string, std::string> fields;
    int depth = 0;
    std::string operator[](const std::string& key) const {
        auto it = fields.find(key);
        return it == fields.end() ? "" : it->second;
    }
};

inline std::vector<Call>& Calls() {
    static std::vector<Call> calls;
    return calls;
}

// Test code run inside a recording handler, after the call is recorded (may be empty).
inline std::function<int(VmState*)>& HandlerBody() {
    static std::function<int(VmState*)> body;
    return body;
}

inline std::string RenderField(VmState* state, int index) {
    switch (VmType(state, index)) {
    case VM_TLIGHTUSERDATA: return "handle";
    case VM_TTABLE: return "table";
    default: return qztest::Render(state, index);
    }
}

// A handler: records its table's fields, then runs HandlerBody; returns what the body returns
// (results it pushed) or 0.
inline int RecordingHandler(VmState* state) {
    Call call;
    call.depth = GetCallbackDepth();
    if (VmType(state, 1) == VM_TTABLE) {
        VmPushNil(state);
        while (VmNext(state, 1)) {
            if (VmType(state, -2) == VM_TSTRING) call.fields[VmToString(state, -2)] = RenderField(state, -1);
            VmPop(state, 1);
        }
    }
    Calls().push_back(call);
    if (HandlerBody()) return HandlerBody()(state);
    return 0;
}

// The stand-in display adapter of the waits.
struct WaitAdapter {
    ManualClock* clock = nullptr;
    uint64_t stepMs = 10;
    int waits = 0;
    int limit = 1000;
};
inline WaitAdapter& Waiter() {
    static WaitAdapter adapter;
    return adapter;
}

inline int AdapterHandleEvents(VmState*, uint32_t) { return 0; }

inline int AdapterWaitEvents(VmState*, const qzTagItem*) {
    WaitAdapter& w = Waiter();
    if (++w.waits > w.limit) {
        ADD_FAILURE() << "a wait found nothing after " << w.limit << " steps";
        SetQuitFlag(1);
        return 0;
    }
    if (w.clock) w.clock->AdvanceMs(w.stepMs);
    OsTimerLoopRunDue();
    return 0;
}

class EventTest : public ::testing::Test {
protected:
    ManualClock clock;
    qztest::Commands vm{&qzEventLibrary};
    qzPluginInfo plugin = {};
    qzDisplayAdapter adapter = {};

    void SetUp() override {
        Calls().clear();
        HandlerBody() = nullptr;
        ASSERT_EQ(InitEventQueue(), 0);
        ASSERT_EQ(OsInitTimerLock(), 0);
        SetQuitFlag(0);
        Waiter() = WaitAdapter{};
        Waiter().clock = &clock;
    }
    void TearDown() override {
        SetDisplayAdapter(nullptr);
        vm.CloseLibraries();
        OsFreeAllTimers();
        FreeEventQueue(vm);
        SetEventLifetime(60000);
        SetQuitFlag(0);
        HandlerBody() = nullptr;
    }

    // Waits go through the stand-in adapter (WaitEvent and the event library's waits).
    void UseWaitAdapter() {
        plugin.HandleEvents = AdapterHandleEvents;
        plugin.WaitEvents = AdapterWaitEvents;
        adapter.plugin = &plugin;
        SetDisplayAdapter(&adapter);
    }

    // Lets time pass and the timers fire.
    void Advance(uint64_t ms) {
        clock.AdvanceMs(ms);
        OsTimerLoopRunDue();
    }

    // CheckEvent's table, rendered as "action id triggered nresults" (empty action as "-").
    std::string Check(const char* command = "CheckEvent") {
        EXPECT_EQ(vm.CallFresh(command), 0);
        if (VmType(vm, 1) != VM_TTABLE) return "no table";
        auto field = [&](const char* key) {
            VmPushString(vm, key);
            VmGetTable(vm, 1);
            std::string s = RenderField(vm, -1);
            VmPop(vm, 1);
            return s;
        };
        std::string action = field("action");
        if (action == "\"\"") action = "-";
        return action + " " + field("id") + " " + field("triggered") + " " + field("nresults");
    }

    // A field of the table CheckEvent left at stack index 1.
    std::string ResultField(const char* key) {
        VmPushString(vm, key);
        VmGetTable(vm, 1);
        std::string s = RenderField(vm, -1);
        VmPop(vm, 1);
        return s;
    }
};

}  // namespace eventtest
