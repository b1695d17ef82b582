// Intervals and timeouts: firing through CheckEvent and WaitEvent on a hand-driven clock,
// replacing, clearing and re-arming them from their own handlers, and their errors.
#include "display/event_timers.h"
#include "display/event_test_util.h"
#include "platform/plugin_api.h"
#include "runtime/applet_version.h"
#include "runtime/plugin_manager.h"

namespace event_timers_test {

using eventtest::Calls;
using eventtest::EventTest;
using eventtest::HandlerBody;
using eventtest::RecordingHandler;
using qztest::Arg;
using qztest::Nil;

namespace {

using EventTimers = EventTest;

TEST_F(EventTimers, IntervalFiresOncePerCollectionWithItsIdAndUserData) {
    vm.Ok("SetInterval", {1, Arg::Function(RecordingHandler), 100, "data"});
    EXPECT_EQ(Check(), "- 0 0 0");
    Advance(100);
    EXPECT_EQ(Check(), "\"Interval\" 1 1 0");
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0]["action"], "\"Interval\"");
    EXPECT_EQ(Calls()[0]["id"], "1");
    EXPECT_EQ(Calls()[0]["userdata"], "\"data\"");
    EXPECT_EQ(Calls()[0].depth, 1);
    EXPECT_EQ(Check(), "- 0 0 0");

    // A jump of 350 ms over a 100 ms interval dispatches it once.
    Advance(350);
    EXPECT_EQ(Check(), "\"Interval\" 1 1 0");
    EXPECT_EQ(Check(), "- 0 0 0");
    EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(EventTimers, SettingAnIdAgainReplacesTheTimer) {
    vm.Ok("SetInterval", {1, Arg::Function(RecordingHandler), 100});
    vm.Ok("SetInterval", {1, Arg::Function(RecordingHandler), 300});
    Advance(100);
    EXPECT_EQ(Check(), "- 0 0 0");
    Advance(200);
    EXPECT_EQ(Check(), "\"Interval\" 1 1 0");
    EXPECT_EQ(Check(), "- 0 0 0");
    int count = 0;
    for (qzObjectHeader* h = *IntervalListHead(); h; h = h->next) count++;
    EXPECT_EQ(count, 1);
}

TEST_F(EventTimers, HandlersClearAndReArmTheirOwnTimers) {
    // Two intervals firing in the same collection: the first clears itself and re-arms the
    // second, whose cursor position the machine holds.
    vm.Ok("SetInterval", {1, Arg::Function(RecordingHandler), 100});
    vm.Ok("SetInterval", {2, Arg::Function(RecordingHandler), 100});
    vm.Ok("SetInterval", {3, Arg::Function(RecordingHandler), 100});
    HandlerBody() = [](VmState* state) {
        if (Calls().back()["id"] == "1") {
            EXPECT_EQ(ClearIntervalById(state, {1, nullptr}), 0);
            EXPECT_EQ(ClearIntervalById(state, {2, nullptr}), 0);
        }
        return 0;
    };
    Advance(100);
    EXPECT_EQ(Check(), "\"Interval\" 1 1 0");
    EXPECT_EQ(Check(), "\"Interval\" 3 1 0");
    EXPECT_EQ(Check(), "- 0 0 0");
    HandlerBody() = nullptr;

    // Re-armed from its own handler with the same id: the new interval runs on its own period.
    HandlerBody() = [](VmState* state) {
        VmPushString(state, "setinterval");
        VmGetTable(state, VM_GLOBALSINDEX);
        VmPushNumber(state, 3);
        VmPushCFunction(state, RecordingHandler);
        VmPushNumber(state, 250);
        EXPECT_EQ(VmProtectedCall(state, 3, 0, 0), 0);
        return 0;
    };
    Advance(100);
    EXPECT_EQ(Check(), "\"Interval\" 3 1 0");
    HandlerBody() = nullptr;
    Advance(100);
    EXPECT_EQ(Check(), "- 0 0 0");
    Advance(150);
    EXPECT_EQ(Check(), "\"Interval\" 3 1 0");
}

TEST_F(EventTimers, TimeoutIsGoneBeforeItsFunctionRuns) {
    ASSERT_EQ(vm.Call("SetTimeout", {Nil{}, Arg::Function(RecordingHandler), 50, 7}), 0);
    ASSERT_EQ(VmType(vm, -1), VM_TLIGHTUSERDATA);
    void* handle = VmToUserdata(vm, -1);
    HandlerBody() = [handle](VmState* state) {
        qzIntervalTimer* record;
        EXPECT_EQ(FindTimeoutById({0, handle}, &record), ERR_FINDARRAY);
        return 0;
    };
    Advance(49);
    EXPECT_EQ(Check(), "- 0 0 0");
    Advance(1);
    EXPECT_EQ(Check(), "\"Timeout\" handle 1 0");
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0]["userdata"], "7");
    Advance(100);
    EXPECT_EQ(Check(), "- 0 0 0");
    EXPECT_EQ(vm.CallErr("ClearTimeout", {Arg::Pointer(handle)}), ERR_FINDARRAY);

    // The function of a numeric timeout may set the same id again.
    HandlerBody() = [](VmState* state) {
        if (Calls().size() > 2) return 0;
        VmPushString(state, "settimeout");
        VmGetTable(state, VM_GLOBALSINDEX);
        VmPushNumber(state, 4);
        VmPushCFunction(state, RecordingHandler);
        VmPushNumber(state, 20);
        EXPECT_EQ(VmProtectedCall(state, 3, 0, 0), 0);
        return 0;
    };
    vm.Ok("SetTimeout", {4, Arg::Function(RecordingHandler), 10});
    Advance(10);
    EXPECT_EQ(Check(), "\"Timeout\" 4 1 0");
    Advance(20);
    // The cycle that fired the first one ends first; timers are looked at again in the next.
    EXPECT_EQ(Check(), "- 0 0 0");
    EXPECT_EQ(Check(), "\"Timeout\" 4 1 0");
    EXPECT_EQ(vm.CallErr("ClearTimeout", {4}), ERR_FINDTIMEOUT);
}

TEST_F(EventTimers, Errors) {
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } rows[] = {
        {"SetInterval", {1, Arg::Function(RecordingHandler), 0}, ERR_WRONGUSAGE},
        {"SetTimeout", {1, Arg::Function(RecordingHandler), -5}, ERR_WRONGUSAGE},
        {"SetInterval", {1, "not a function", 10}, ERR_FUNCEXPECTED},
        {"SetInterval", {1, Arg::Function(RecordingHandler)}, ERR_MISSINGPARAMTR},
        {"ClearInterval", {9}, ERR_FINDINTERVAL},
        {"ClearTimeout", {9}, ERR_FINDTIMEOUT},
        {"ChangeInterval", {9, 10}, ERR_FINDINTERVAL},
        {"ClearInterval", {Arg::Pointer(this)}, ERR_FINDARRAY},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.CallErr(r.command, r.args), r.error) << r.command;
    EXPECT_EQ(*IntervalListHead(), nullptr);
    EXPECT_EQ(*TimeoutListHead(), nullptr);
}

TEST_F(EventTimers, ChangeIntervalKeepsTheRecordAndTakesTheNewPeriod) {
    vm.Ok("SetInterval", {1, Arg::Function(RecordingHandler), 100});
    vm.Ok("ChangeInterval", {1, 40});
    Advance(40);
    EXPECT_EQ(Check(), "\"Interval\" 1 1 0");
    qzIntervalTimer* record;
    ASSERT_EQ(FindIntervalById({1, nullptr}, &record), 0);
    EXPECT_EQ(record->milliseconds, 100);
}

TEST_F(EventTimers, WaitEventWaitsForTheNextTimer) {
    UseWaitAdapter();
    vm.Ok("SetTimeout", {1, Arg::Function(RecordingHandler), 250});
    EXPECT_EQ(Check("WaitEvent"), "\"Timeout\" 1 1 0");
    EXPECT_EQ(clock.NowUs() - 1000000000ull, 250000u);
}

// A timer plugin standing in for the platform timers: handles are counted up from 1, a period of
// 13 ms is refused.
std::vector<std::string>& TimerLog() {
    static std::vector<std::string> log;
    return log;
}
uintptr_t gNextHandle = 0;
void* RegisterTimerEntry(VmState*, int32_t ms, int kind) {
    if (ms == 13) return nullptr;
    TimerLog().push_back("register " + std::to_string(ms) + (kind ? " once" : " repeat"));
    return reinterpret_cast<void*>(++gNextHandle);
}
void FreeTimerEntry(void* handle) {
    TimerLog().push_back("free " + std::to_string(reinterpret_cast<uintptr_t>(handle)));
}
void* Handle(uintptr_t n) { return reinterpret_cast<void*>(n); }

TEST_F(EventTimers, TimerAdapterRegistersAndFiresTheTimers) {
    qzPluginInfo timers = {};
    timers.RegisterTimer = RegisterTimerEntry;
    timers.FreeTimer = FreeTimerEntry;
    TimerLog().clear();
    gNextHandle = 0;
    SetPluginStartupPhase(1);
    SetAppletVersion(5, 9);
    EXPECT_EQ(SetTimerAdapter(&timers, 1), ERR_OLDAPPLET);
    SetAppletVersion(6, 0);
    EXPECT_EQ(SetTimerAdapter(&timers, 1), ERR_WRONGUSAGE);  // not a timer adapter
    timers.capabilities = QZ_PLUGINCAPS_TIMERADAPTER;
    EXPECT_EQ(SetTimerAdapter(&timers, 1), 0);
    EXPECT_EQ(SetTimerAdapter(&timers, 0), ERR_SETADAPTER);  // the first one asked to stay
    SetPluginStartupPhase(0);
    ResetAppletVersion();

    vm.Ok("SetInterval", {1, Arg::Function(RecordingHandler), 100});
    ASSERT_EQ(vm.Call("SetTimeout", {Nil{}, Arg::Function(RecordingHandler), 50}), 0);
    EXPECT_EQ(vm.CallErr("SetTimeout", {2, Arg::Function(RecordingHandler), 13}), ERR_TIMER);
    ASSERT_NE(*TimeoutListHead(), nullptr);
    EXPECT_EQ((*TimeoutListHead())->next, nullptr);  // the refused one is gone

    // The plugin fires them by handle, at once, with the results dropped.
    const int top = VmGetTop(vm);
    EXPECT_EQ(FireTimerById(vm, Handle(1)), 0);
    EXPECT_EQ(FireTimerById(vm, Handle(2)), 0);
    EXPECT_EQ(FireTimerById(vm, Handle(2)), 0);  // the timeout is gone
    EXPECT_EQ(FireTimerById(vm, Handle(9)), 0);
    EXPECT_EQ(VmGetTop(vm), top);
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[0]["action"], "\"Interval\"");
    EXPECT_EQ(Calls()[1]["action"], "\"Timeout\"");
    EXPECT_EQ(*TimeoutListHead(), nullptr);

    // A new period is a new plugin timer; clearing frees it.
    vm.Ok("ChangeInterval", {1, 40});
    vm.Ok("ClearInterval", {1});
    const std::vector<std::string> expected = {"register 100 repeat", "register 50 once", "free 2",
                                               "register 40 repeat",  "free 1",           "free 3"};
    EXPECT_EQ(TimerLog(), expected);
    // Nothing reached the platform timers.
    Advance(1000);
    EXPECT_EQ(Check(), "- 0 0 0");
}

}  // namespace

}  // namespace event_timers_test
