// Intervals and timeouts: firing through CheckEvent and WaitEvent on a hand-driven clock,
// replacing, clearing and re-arming them from their own handlers, and their errors.
#include "display/event_test_util.h"
#include "display/event_timers.h"

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

}  // namespace
