#include <gtest/gtest.h>

#include <new>
#include <string>

#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm_test_util.h"

namespace api_test {

TEST(Api, SetTopAndStackLimits) {
    VmHolder L;
    VmPushNumber(L, 1);
    VmPushNumber(L, 2);
    VmSetTop(L, -1);
    EXPECT_EQ(VmGetTop(L), 2);
    VmSetTop(L, 5);
    EXPECT_EQ(VmGetTop(L), 5);
    EXPECT_EQ(VmType(L, 5), VM_TNIL);
    EXPECT_EQ(VmType(L, 6), VM_TNONE);
    VmSetTop(L, 0);
    EXPECT_EQ(VmGetTop(L), 0);
    EXPECT_EQ(VmCheckStack(L, 2049), 0);
    EXPECT_EQ(VmCheckStack(L, 2048), 1);
    VmSetTop(L, 0);
    // Only 20 slots without VmCheckStack: the 21st push beyond the frame raises.
    VmHolder M;
    EXPECT_EQ(RunGuarded(M,
                         [&] {
                             for (int i = 0; i < 21; i++) VmPushNumber(M, i);
                         }),
              ERR_STACK);
    struct Case {
        const char* what;
        std::function<void(VmState*)> fn;
    } cases[] = {
        {"remove", [](VmState* s) { VmRemove(s, 3); }},
        {"insert", [](VmState* s) { VmInsert(s, -3); }},
        {"replace", [](VmState* s) { VmReplace(s, 5); }},
        {"rawget on non-table", [](VmState* s) { VmRawGetI(s, 1, 1); }},
        {"settop below base", [](VmState* s) { VmSetTop(s, -4); }},
    };
    for (auto& c : cases) {
        VmHolder N;
        VmPushNumber(N, 1);
        VmPushNumber(N, 2);
        EXPECT_EQ(RunGuarded(N, [&] { c.fn(N); }), ERR_STACK) << c.what;
    }
}

TEST(Api, ReadingValues) {
    VmHolder L;
    VmPushNumber(L, 0);
    VmPushString(L, "0x10");
    VmPushBoolean(L, 0);
    VmPushNil(L);
    VmPushNumber(L, 2.5);
    EXPECT_EQ(VmToBoolean(L, 1), 1);  // the number 0 is true here
    EXPECT_EQ(VmToBoolean(L, 3), 0);
    EXPECT_EQ(VmToBoolean(L, 4), 0);
    EXPECT_EQ(VmToBoolean(L, 9), 0);
    EXPECT_TRUE(VmIsNumber(L, 2));
    EXPECT_EQ(VmToNumber(L, 2), 16);
    EXPECT_TRUE(VmIsString(L, 5));
    EXPECT_STREQ(VmToString(L, 5), "2.5");
    EXPECT_EQ(VmType(L, 5), VM_TSTRING);  // converted in place
    EXPECT_EQ(VmStrLen(L, 5), 3u);
    EXPECT_STREQ(VmTypeName(L, VmType(L, 3)), "boolean");
    EXPECT_STREQ(VmTypeName(L, VM_TNONE), "no value");
    EXPECT_STREQ(VmTypeName(L, VM_TLIGHTUSERDATA), "userdata");
}

TEST(Api, FormatterAndConcat) {
    VmHolder L;
    EXPECT_STREQ(VmPushFString(L, "%s=%d (%f) %c%% %x!", "a", 42, 0.5, 'z'), "a=42 (0.5) z% !");
    VmPushString(L, "n");
    VmPushNumber(L, 3);
    VmPushString(L, "");
    VmConcat(L, 3);
    EXPECT_STREQ(VmToString(L, -1), "n3");
    VmConcat(L, 0);
    EXPECT_STREQ(VmToString(L, -1), "");
    VmNewTable(L);
    VmPushString(L, "x");
    EXPECT_EQ(RunGuarded(L, [&] { VmConcat(L, 2); }), ERR_CONCAT);
}

TEST(Api, MetatablesAndEquality) {
    VmHolder L;
    VmNewTable(L);
    EXPECT_EQ(VmGetMetatable(L, 1), 0);  // only the default metatable
    VmNewTable(L);
    EXPECT_EQ(VmSetMetatable(L, 1), 1);
    EXPECT_EQ(VmGetMetatable(L, 1), 1);
    VmPop(L, 1);
    VmPushNil(L);
    VmSetMetatable(L, 1);
    EXPECT_EQ(VmGetMetatable(L, 1), 0);
    VmPushNumber(L, 1);
    VmNewTable(L);
    EXPECT_EQ(VmSetMetatable(L, 2), 0);
    VmPushNumber(L, 1);
    EXPECT_EQ(VmEqual(L, 2, 3), 1);
    EXPECT_EQ(VmEqual(L, 1, 2), 0);  // different tags
    VmPushString(L, "a");
    VmPushString(L, "B");
    EXPECT_EQ(VmLessThan(L, 5, 4, 0), 0);
    EXPECT_EQ(VmLessThan(L, 5, 4, 1), 1);
    VmPushString(L, "\xC9t\xE9");  // Latin-1 letters fold too
    VmPushString(L, "\xE9T\xC9");
    EXPECT_EQ(VmLessThan(L, 6, 7, 0) + VmLessThan(L, 7, 6, 0), 0);
    EXPECT_EQ(VmLessThan(L, 6, 7, 1), 1);
}

static int RaiseDivZero(VmState*) { return ERR_ZERODIVISION; }

static int Recurse(VmState* L) {
    VmPushCFunction(L, Recurse);
    VmCall(L, 0, 0);
    return 0;
}

static int depthAtError = 0;
static int RecordDepth(VmState* L) {
    depthAtError = L->nCcalls;
    VmPushCFunction(L, RecordDepth);
    VmCall(L, 0, 0);
    return 0;
}

TEST(Api, ProtectedCallsReturnCodes) {
    VmHolder L;
    VmPushNumber(L, 7);
    VmPushCFunction(L, RaiseDivZero);
    EXPECT_EQ(VmProtectedCall(L, 0, 0, 0), ERR_ZERODIVISION);
    EXPECT_EQ(VmGetTop(L), 1);  // the function is gone, nothing was pushed
    EXPECT_EQ(VmCProtectedCall(L, RaiseDivZero, nullptr), ERR_ZERODIVISION);
    // C calling C through VmCall: the 200th nesting raises a stack overflow.
    VmPushCFunction(L, RecordDepth);
    EXPECT_EQ(VmProtectedCall(L, 0, 0, 0), ERR_STACK);
    EXPECT_EQ(depthAtError, 199);
    EXPECT_EQ(L.state->nCcalls, 0);
    EXPECT_EQ(L.state->ci, L.state->baseCi);
    VmPushCFunction(L, Recurse);
    EXPECT_EQ(VmProtectedCall(L, 0, 0, 0), ERR_STACK);
}

static int closeRuns = 0;
static int FailingFinaliser(VmState*) {
    closeRuns++;
    return ERR_WRONGOP;
}

TEST(Api, CloseRunsEveryFailingFinaliserOnce) {
    VmState* L = VmOpen();
    closeRuns = 0;
    for (int i = 0; i < 3; i++) {
        VmNewUserdata(L, 8);
        VmNewTable(L);
        VmPushString(L, "__gc");
        VmPushCFunction(L, FailingFinaliser);
        VmSetTable(L, -3);
        VmSetMetatable(L, -2);
    }
    VmClose(L);
    EXPECT_EQ(closeRuns, 3);
}

TEST(Api, UpvaluesOfCClosures) {
    VmHolder L;
    VmPushNumber(L, 1);
    VmPushString(L, "two");
    VmPushCClosure(L, RaiseDivZero, 2);
    EXPECT_EQ(VmGetTop(L), 1);
    EXPECT_STREQ(VmGetUpvalue(L, 1, 2), "");
    EXPECT_STREQ(VmToString(L, -1), "two");
    VmPushNumber(L, 5);
    EXPECT_STREQ(VmSetUpvalue(L, 1, 1), "");
    EXPECT_EQ(VmGetUpvalue(L, 1, 3), nullptr);
    VmGetUpvalue(L, 1, 1);
    EXPECT_EQ(VmToNumber(L, -1), 5);
}

static int PushOneClaimFive(VmState* L) {
    VmPushNumber(L, 9);
    return 5;
}

static int Boom(VmState*) { return ERR_WRONGOP; }

TEST(Api, ThreadsAndMovingValues) {
    VmHolder L;
    VmState* th = VmNewThread(L);
    VmPushNumber(L, 1);
    VmPushString(L, "two");
    VmMoveValues(L, th, 2);
    EXPECT_EQ(VmGetTop(L), 1);  // the thread itself
    EXPECT_EQ(VmGetTop(th), 2);
    EXPECT_STREQ(VmToString(th, 2), "two");
    // A handler that claims more results than it pushed gives only what it pushed.
    VmPushCFunction(th, PushOneClaimFive);
    VmCall(th, 0, VM_MULTRET);
    EXPECT_EQ(VmGetTop(th), 3);
    EXPECT_EQ(VmToNumber(th, 3), 9);
    // An error in a thread without a protected call of its own unwinds to the main thread's.
    EXPECT_EQ(RunGuarded(L,
                         [&] {
                             VmPushCFunction(th, Boom);
                             VmCall(th, 0, 0);
                         }),
              ERR_WRONGOP);
    EXPECT_EQ(th->ci, th->baseCi);
    EXPECT_EQ(VmGetTop(th), 0);
}

TEST(Api, ErrorWithoutProtectedCallEndsTheProcess) {
    EXPECT_EXIT(
        {
            VmState* L = VmOpen();
            VmAtPanic(L, [](VmState*) { fputs("panic", stderr); });
            VmPushCFunction(L, Boom);
            VmCall(L, 0, 0);
        },
        ::testing::ExitedWithCode(1), "panic");
}

// A metatable remembers that it has no "__index"; storing one must make it visible at once.
TEST(Api, AbsentEventCacheIsClearedByStores) {
    VmHolder L;
    VmNewTable(L);  // 1: t
    VmNewTable(L);  // 2: its metatable
    VmPushValue(L, 2);
    VmSetMetatable(L, 1);
    VmPushString(L, "x");
    VmGetTable(L, 1);
    EXPECT_EQ(VmType(L, -1), VM_TNIL);
    VmPop(L, 1);
    EXPECT_TRUE(VmTableValue(L.state->base + 1)->flags & (1u << VM_EV_INDEX));
    VmNewTable(L);  // 3: the __index table
    VmPushString(L, "x");
    VmPushNumber(L, 5);
    VmRawSet(L, 3);
    VmPushString(L, "__index");
    VmPushValue(L, 3);
    VmRawSet(L, 2);
    VmPushString(L, "x");
    VmGetTable(L, 1);
    EXPECT_EQ(VmToNumber(L, -1), 5);
}

static int SumUpvalues(VmState* L) {
    int n = VmPushUpvalues(L);
    double sum = 0;
    for (int i = 1; i <= n; i++) sum += VmToNumber(L, -i);
    VmPushNumber(L, sum);
    return 1;
}

static int StoreThroughUserdata(VmState* L) {
    *static_cast<int*>(VmToUserdata(L, 1)) = 42;
    return 0;
}

TEST(Api, RunningCClosuresAndProtectedCFunctions) {
    VmHolder L;
    VmPushNumber(L, 2);
    VmPushNumber(L, 3);
    VmPushCClosure(L, SumUpvalues, 2);
    VmCall(L, 0, 1);
    EXPECT_EQ(VmToNumber(L, -1), 5);
    // Outside a C closure there are no upvalues to push.
    EXPECT_EQ(RunGuarded(L, [&] { VmPushUpvalues(L); }), ERR_STACK);
    int value = 0;
    EXPECT_EQ(VmCProtectedCall(L, StoreThroughUserdata, &value), 0);
    EXPECT_EQ(value, 42);
    // Raw access ignores events.
    VmNewTable(L);
    VmPushString(L, "k");
    VmPushNumber(L, 7);
    VmRawSet(L, -3);
    VmPushString(L, "k");
    VmRawGet(L, -2);
    EXPECT_EQ(VmToNumber(L, -1), 7);
}

namespace {

int seenByErrorHandler = 0;
int signalled = 0;

// Trapping off: the code is only recorded and the call yields nothing.
int RecordOnly(VmState*, int code) {
    signalled = code;
    return 0;
}

int FailAfterPush(VmState* L) {
    VmPushNumber(L, 1);
    VmFailCommand(L, ERR_FINDFILE);
}
int ThrowBadAlloc(VmState* L) {
    VmPushNumber(L, 1);
    throw std::bad_alloc();
}
int ReturnCode(VmState* L) {
    VmPushNumber(L, 1);
    return ERR_FINDFILE;
}

}  // namespace

// A handler that fails through VmFailCommand, or whose allocation fails, ends exactly like one that
// returns the code: no results, and the code goes through the error protocol.
TEST(Api, FailedCommandsAndAllocationFailuresFollowTheReturnedCodeProtocol) {
    struct Case {
        VmCFunction handler;
        int code;
    };
    const Case cases[] = {{ReturnCode, ERR_FINDFILE}, {FailAfterPush, ERR_FINDFILE}, {ThrowBadAlloc, ERR_MEM}};
    for (const Case& c : cases) {
        VmHolder L;
        // Raised by default.
        VmPushCFunction(L, c.handler);
        EXPECT_EQ(VmProtectedCall(L, 0, 1, 0), c.code);
        EXPECT_EQ(VmGetTop(L), 0);
        // Only recorded while trapping is off: the call returns normally with no results.
        vmRuntime.signalError = RecordOnly;
        signalled = 0;
        VmPushCFunction(L, c.handler);
        EXPECT_EQ(VmProtectedCall(L, 0, VM_MULTRET, 0), 0);
        EXPECT_EQ(VmGetTop(L), 0);
        EXPECT_EQ(signalled, c.code);
        // The script's error handler sees the code and its result replaces it.
        vmRuntime.userErrorHandlerInstalled = [](VmState*) { return true; };
        vmRuntime.callUserErrorHandler = [](VmState*, int code) {
            seenByErrorHandler = code;
            return 0;
        };
        seenByErrorHandler = 0;
        VmPushCFunction(L, c.handler);
        EXPECT_EQ(VmProtectedCall(L, 0, VM_MULTRET, 0), 0);
        EXPECT_EQ(seenByErrorHandler, c.code);
        VmResetRuntimeLink();
    }
}

// Outside a handler, a failed command is an ordinary raised error; an allocation failure in code
// run protected ends that protected call with ERR_MEM.
TEST(Api, FailureOutsideAHandlerRaises) {
    VmHolder L;
    EXPECT_EQ(RunGuarded(L, [&] { VmFailCommand(L, ERR_FINDFILE); }), ERR_FINDFILE);
    EXPECT_EQ(RunGuarded(L, [&] { throw std::bad_alloc(); }), ERR_MEM);
}

}  // namespace api_test
