// Hooks around calls and returns, and the C interface's debug and upvalue queries on script
// functions.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm_script_util.h"
#include "vm_test_util.h"

namespace hooks_calls_test {

namespace {

std::vector<std::string> events;

void RecordHook(VmState*, VmDebug* ar) {
    switch (ar->event) {
    case VM_HOOKLINE: events.push_back("line " + std::to_string(ar->currentline)); break;
    case VM_HOOKCALL: events.push_back("call"); break;
    case VM_HOOKRET: events.push_back("return"); break;
    default: events.push_back("count"); break;
    }
}

}  // namespace

// The line hook fires when a new line starts or a jump goes back; coming back from a called
// script function to the line of the call is neither.
TEST(HooksAndCalls, LineHookAfterReturnFromACall) {
    VmHolder L;
    const std::string text = R"(
.function main
  .line 1
    CLOSURE r0 f
    CALL r0 1 1
    LOADK r1 2
  .line 2
    RETURN r1 2
  .function f
    .linedefined 5
    .line 7
      RETURN r0 1
  .end
.end
)";
    events.clear();
    VmSetHook(L, RecordHook, VM_MASKLINE, 0);
    std::string out;
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "2");
    EXPECT_EQ(events, (std::vector<std::string>{"line 1", "line 7", "line 2"}));

    // With call and return events: every script call is framed by them.
    events.clear();
    VmSetHook(L, RecordHook, VM_MASKLINE | VM_MASKCALL | VM_MASKRET, 0);
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"call", "line 1", "call", "line 7", "return", "line 2", "return"}));
    VmSetHook(L, nullptr, 0, 0);
}

// Upvalue names and values of a script closure through the C interface; out of range gives null.
TEST(HooksAndCalls, UpvaluesOfScriptClosures) {
    VmHolder L;
    const std::string text = R"(
.function main
  LOADK r0 7
  CLOSURE r1 g
  MOVE r0 r0
  RETURN r1 2
  .function g
    .upvalues 1
    .upvalname "count"
    GETUPVAL r0 u0
    RETURN r0 2
  .end
.end
)";
    ASSERT_EQ(LoadAsm(L, text), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    EXPECT_STREQ(VmGetUpvalue(L, 1, 1), "count");
    EXPECT_EQ(VmToNumber(L, -1), 7);
    VmPop(L, 1);
    EXPECT_EQ(VmGetUpvalue(L, 1, 2), nullptr);
    EXPECT_EQ(VmGetUpvalue(L, 1, 0), nullptr);
    VmPushNumber(L, 9);
    EXPECT_STREQ(VmSetUpvalue(L, 1, 1), "count");
    EXPECT_EQ(VmGetTop(L), 1);
    VmPushValue(L, 1);
    ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    EXPECT_EQ(VmToNumber(L, -1), 9);
}

// A generic for with many loop variables: the iterator's results land above the frame's
// registers before they are moved down, and must stay inside the stack.
static int TwoResults(VmState* L) {
    // Counts up from the control value to 3; the loop wants 240 results, the rest are nil.
    double n = VmToNumber(L, 2) + 1;
    if (n > 3) return 0;
    VmPushNumber(L, n);
    VmPushNumber(L, n * 10);
    return 2;
}

TEST(HooksAndCalls, GenericForWithManyVariablesStaysInTheStack) {
    VmHolder L;
    VmPushString(L, "many");
    VmPushCFunction(L, TwoResults);
    VmSetTable(L, VM_GLOBALSINDEX);
    // 240 loop variables R(2) .. R(241); the call copies R(0) .. R(2) to R(242) .. R(244) and
    // its 240 results land at R(242) .. R(481), far above the frame's 246 registers.
    const std::string text = R"(
.function main
  .maxstack 246
    GETGLOBAL r0 "many"
    LOADNIL r1 r1
    LOADK r2 0
    LOADK r245 0
    SETGLOBAL r245 "sum"
    JMP test
loop:
    GETGLOBAL r245 "sum"
    ADD r245 r245 r3
    SETGLOBAL r245 "sum"
    EQ 1 r241 r1
    JMP +1
    RETURN r0 2
test:
    TFORLOOP r0 0 239
    JMP loop
    GETGLOBAL r245 "sum"
    RETURN r245 2
.end
)";
    std::string out;
    int status = RunAsm(L, text, &out);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(out, "60");
}

// A C caller may want more results than its frame has free slots: they are padded with nil
// inside the stack and stay readable.
TEST(HooksAndCalls, CCallerWantingManyResults) {
    VmHolder L;
    VmPushCFunction(L, TwoResults);
    VmPushNil(L);
    VmPushNumber(L, 0);
    ASSERT_EQ(RunGuarded(L, [&] { VmCall(L, 2, 300); }), 0);
    ASSERT_EQ(VmGetTop(L), 300);
    EXPECT_EQ(VmToNumber(L, 1), 1);
    EXPECT_EQ(VmToNumber(L, 2), 10);
    EXPECT_EQ(VmType(L, 300), VM_TNIL);
    VmSetTop(L, 0);
    EXPECT_EQ(RunGuarded(L, [&] { VmPushNumber(L, 1); }), 0);
}

// CLOSE detaches the cells of a register: a closure made before it keeps the value of that
// time, one made after it gets a fresh cell.
TEST(HooksAndCalls, CloseDetachesCapturedRegisters) {
    VmHolder L;
    const std::string text = R"(
.function main
    LOADK r1 1
    CLOSURE r2 get
    MOVE r1 r1
    CLOSE r1
    LOADK r1 2
    CLOSURE r3 get
    MOVE r1 r1
    MOVE r4 r2
    CALL r4 1 2
    MOVE r5 r3
    CALL r5 1 2
    RETURN r4 3
  .function get
    .upvalues 1
    GETUPVAL r0 u0
    RETURN r0 2
  .end
.end
)";
    std::string out;
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "1,2");
    EXPECT_EQ(L.state->openUpval, nullptr);
}

// The call trace of nameless calls from C, and of long string arguments, which are printed whole.
static std::string traced;
static int Nothing(VmState*) { return 0; }

TEST(HooksAndCalls, CallTraceOfNamelessCallsAndLongStrings) {
    VmResetRuntimeLink();
    VmHolder L;
    vmRuntime.consolePrint = [](const char* text) { traced += text; };
    vmRuntime.callTrace = true;
    const std::string longText(3000, 'q');
    struct Case {
        std::function<void()> push;
        std::string expected;
    } cases[] = {
        {[&] {
             VmPushBoolean(L, 1);
             VmPushString(L, "__index");
         },
         "Now trying to find metamethod __index() with arguments #1=(INTERNAL)1 #2=(STRING)\"__index\" \n"},
        {[&] { VmPushString(L, longText.c_str()); },
         "Now calling <unknown>() with arguments #1=(STRING)\"" + longText + "\" \n"},
        {[&] {
             VmPushNumber(L, std::nan(""));
             VmPushNumber(L, -std::nan(""));
             VmPushNil(L);
         },
         "Now calling <unknown>() with arguments #1=(NUMBER)nan #2=(NUMBER)nan #3=(NIL) \n"},
    };
    for (const Case& c : cases) {
        traced.clear();
        ASSERT_EQ(RunGuarded(L,
                             [&] {
                                 int top = VmGetTop(L);
                                 VmPushCFunction(L, Nothing);
                                 c.push();
                                 VmCall(L, VmGetTop(L) - top - 1, 0);
                             }),
                  0);
        EXPECT_EQ(traced, c.expected);
    }
    VmResetRuntimeLink();
}

// A hook or the quit flag set while a frame runs (by a command, or by a handler the interpreter
// calls for an event) takes effect from the very next instruction of that frame.
TEST(HooksAndCalls, HooksAndQuitSetInsideAFrameTakeEffectAtOnce) {
    VmHolder L;
    auto setGlobal = [&](const char* name, VmCFunction f) {
        VmPushString(L, name);
        VmPushCFunction(L, f);
        VmSetTable(L, VM_GLOBALSINDEX);
    };
    setGlobal("hookon", [](VmState* s) {
        VmSetHook(s, RecordHook, VM_MASKLINE, 0);
        return 0;
    });
    setGlobal("hookoff", [](VmState* s) {
        VmSetHook(s, nullptr, 0, 0);
        return 0;
    });
    setGlobal("quit", [](VmState*) {
        vmRuntime.quitFlag.store(1);
        return 0;
    });
    events.clear();
    std::string out;
    ASSERT_EQ(RunAsm(L, R"(
.function main
  .line 1
    GETGLOBAL r0 "hookon"
    CALL r0 1 1
  .line 2
    LOADK r1 1
  .line 3
    GETGLOBAL r0 "hookoff"
    CALL r0 1 1
  .line 4
    LOADK r1 2
    RETURN r1 2
.end
)",
                     &out),
              0);
    EXPECT_EQ(out, "2");
    EXPECT_EQ(events, (std::vector<std::string>{"line 2", "line 3"}));

    // The quit flag set by an "__index" handler: the instruction after the lookup never runs.
    setGlobal("setmeta", [](VmState* s) {
        VmSetMetatable(s, 1);
        return 0;
    });
    setGlobal("seen", [](VmState*) {
        ADD_FAILURE() << "ran after the quit flag was set";
        return 0;
    });
    ASSERT_EQ(RunAsm(L, R"(
.function main
  NEWTABLE r0 0 0
  NEWTABLE r1 0 1
  GETGLOBAL r2 "quit"
  SETTABLE r1 "__index" r2
  GETGLOBAL r2 "setmeta"
  MOVE r3 r0
  MOVE r4 r1
  CALL r2 3 1
  SELF r2 r0 "missing"
  GETGLOBAL r2 "seen"
  CALL r2 1 1
  RETURN r0 1
.end
)",
                     &out),
              0);
    vmRuntime.quitFlag.store(0);
}

}  // namespace hooks_calls_test
