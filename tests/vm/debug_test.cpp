#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm_script_util.h"
#include "vm_test_util.h"

namespace debug_test {

TEST(Debug, ChunkIds) {
    std::string longFile = "@" + std::string(70, 'd') + "/file.qzs";
    std::string longLine(80, 'x');
    struct Case {
        std::string source;
        std::string expected;
    } cases[] = {
        {"=stdin", "stdin"},
        {"=" + std::string(80, 'a'), std::string(59, 'a')},
        {"@file.qzs", "file.qzs"},
        {longFile, "..." + longFile.substr(longFile.size() - 56)},
        {"x = 1", "[string \"x = 1\"]"},
        {"line1\nline2", "[string \"line1...\"]"},
        {longLine, "[string \"" + std::string(45, 'x') + "...\"]"},
        {std::string(45, 'y'), "[string \"" + std::string(45, 'y') + "\"]"},
    };
    for (const Case& c : cases) {
        char out[VM_IDSIZE];
        VmChunkId(out, c.source.c_str(), sizeof(out));
        EXPECT_EQ(std::string(out), c.expected) << c.source;
        EXPECT_LT(strlen(out), (size_t)VM_IDSIZE);
    }
}

static std::vector<int> lines;
static int counts = 0;
static void LineHook(VmState*, VmDebug* ar) {
    if (ar->event == VM_HOOKLINE)
        lines.push_back(ar->currentline);
    else if (ar->event == VM_HOOKCOUNT)
        counts++;
}

TEST(Debug, LineAndCountHooks) {
    VmHolder L;
    // Line 1 once, then lines 2-3 three times through a backward jump.
    const std::string text = R"(
.function main
  .line 1
    LOADK r0 0
    LOADK r1 3
  .line 2
loop:
    ADD r0 r0 1
  .line 3
    LT 1 r0 r1
    JMP loop
  .line 4
    RETURN r0 2
.end
)";
    lines.clear();
    counts = 0;
    VmSetHook(L, LineHook, VM_MASKLINE | VM_MASKCOUNT, 4);
    std::string out;
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "3");
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 2, 3, 2, 3, 4}));
    EXPECT_EQ(counts, 11 / 4);  // 11 instructions run
    EXPECT_EQ(VmGetHookMask(L), VM_MASKLINE | VM_MASKCOUNT);
    EXPECT_EQ(VmGetHookCount(L), 4);
    VmSetHook(L, nullptr, VM_MASKLINE, 0);
    EXPECT_EQ(VmGetHookMask(L), 0);
    EXPECT_EQ(VmGetHook(L), nullptr);
}

// "where" describes its own frame and its caller's; "peek" reads and changes the caller's
// local 1.
static std::string described;
static int Where(VmState* L) {
    VmDebug ar;
    described.clear();
    for (int level = 0; VmGetStack(L, level, &ar); level++) {
        VmGetInfo(L, "Snlu", &ar);
        described += std::string(ar.what) + ":" + (ar.name ? ar.name : "-") + ":" + ar.namewhat + ":" +
                     std::to_string(ar.currentline) + ":" + ar.short_src + ";";
    }
    return 0;
}

static int Peek(VmState* L) {
    VmDebug ar;
    if (!VmGetStack(L, 1, &ar)) return ERR_STACK;
    const char* name = VmGetLocal(L, &ar, 1);
    VmPushNumber(L, VmToNumber(L, -1) * 10);
    VmSetLocal(L, &ar, 1);
    VmPushString(L, name ? name : "(none)");
    return 2;
}

TEST(Debug, FramesNamesAndLocals) {
    VmHolder L;
    VmPushString(L, "where");
    VmPushCFunction(L, Where);
    VmSetTable(L, VM_GLOBALSINDEX);
    VmPushString(L, "peek");
    VmPushCFunction(L, Peek);
    VmSetTable(L, VM_GLOBALSINDEX);
    const std::string text = R"(
.function main
  .source "@demo.qzs"
  .line 5
    CLOSURE r0 f
    SETGLOBAL r0 "f"
    GETGLOBAL r0 "f"
  .line 6
    CALL r0 1 0
    RETURN r0 0
  .function f
    .linedefined 9
    .local "x" 0 6
    .line 10
      LOADK r0 4
      GETGLOBAL r1 "where"
    .line 11
      CALL r1 1 1
      GETGLOBAL r1 "peek"
      CALL r1 1 3
      MOVE r3 r0
      RETURN r1 4
  .end
.end
)";
    ASSERT_EQ(LoadAsm(L, text), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, VM_MULTRET, 0), 0);
    EXPECT_EQ(described, "C:where:global:-1:[C];Quarnelix:f:global:11:demo.qzs;main:-::6:demo.qzs;");
    ASSERT_EQ(VmGetTop(L), 3);
    EXPECT_EQ(VmToNumber(L, 1), 4);
    EXPECT_STREQ(VmToString(L, 2), "x");
    EXPECT_EQ(VmToNumber(L, 3), 40);  // set through VmSetLocal
}

TEST(Debug, InfoOfAFunctionValue) {
    VmHolder L;
    ASSERT_EQ(LoadAsm(L, ".function main\n.source \"=chunk\"\nRETURN r0 1\n.end\n"), 0);
    VmDebug ar;
    ASSERT_EQ(VmGetInfo(L, ">Su", &ar), 1);
    EXPECT_STREQ(ar.what, "main");
    EXPECT_STREQ(ar.short_src, "chunk");
    EXPECT_EQ(VmGetTop(L), 0);
    VmPushNumber(L, 1);
    EXPECT_EQ(RunGuarded(L, [&] { VmGetInfo(L, ">S", &ar); }), ERR_FUNCEXPECTED);
}

// Local records of a loaded chunk are not trusted to fit the frame: a local number beyond the
// function's registers names nothing and is neither read nor written.
static const char* localNames[3];
static int PeekFar(VmState* L) {
    VmDebug ar;
    if (!VmGetStack(L, 1, &ar)) return ERR_STACK;
    localNames[0] = VmGetLocal(L, &ar, 2);
    localNames[1] = VmGetLocal(L, &ar, 40);
    VmPushNumber(L, 5);
    localNames[2] = VmSetLocal(L, &ar, 40);
    return 0;
}

TEST(Debug, LocalsBeyondTheFrameNameNothing) {
    VmHolder L;
    VmPushString(L, "peekfar");
    VmPushCFunction(L, PeekFar);
    VmSetTable(L, VM_GLOBALSINDEX);
    std::string text = ".function main\n.maxstack 2\n";
    for (int i = 0; i < 40; i++) text += ".local \"v" + std::to_string(i) + "\" 0 3\n";
    text += "GETGLOBAL r0 \"peekfar\"\nCALL r0 1 1\nRETURN r0 1\n.end\n";
    ASSERT_EQ(LoadAsm(L, text), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, 0, 0), 0);
    EXPECT_STREQ(localNames[0], "v1");
    EXPECT_EQ(localNames[1], nullptr);
    EXPECT_EQ(localNames[2], nullptr);
    EXPECT_EQ(VmGetTop(L), 0);
}

// A frame that a tail call replaced shows up as one "tail" level between the callee and the
// caller; the tail-called function has no name.
TEST(Debug, TailCalledFramesInTheStack) {
    VmHolder L;
    VmPushString(L, "where");
    VmPushCFunction(L, Where);
    VmSetTable(L, VM_GLOBALSINDEX);
    const std::string text = R"(
.function main
  .line 1
    CLOSURE r0 f
    CALL r0 1 1
    RETURN r0 1
  .function f
    .linedefined 3
    .line 4
      CLOSURE r0 g
      TAILCALL r0 1 0
      RETURN r0 0
    .function g
      .linedefined 6
      .line 7
        GETGLOBAL r0 "where"
        CALL r0 1 1
        RETURN r0 1
    .end
  .end
.end
)";
    ASSERT_EQ(LoadAsm(L, text), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, 0, 0), 0);
    EXPECT_EQ(described, "C:where:global:-1:[C];Quarnelix:-::7:?;tail:-::-1:?;main:-::1:?;");
}

// An error names the line of the instruction that raised it, also when the instructions before
// it on other lines (moves, loads, fast table reads and sums) ran without a call.
TEST(Debug, ErrorLineIsTheRaisingInstruction) {
    struct Case {
        const char* name;
        const char* raising;
    } cases[] = {
        {"add", "ADD r3 r1 1"},
        {"sub", "SUB r3 1 r1"},
        {"unm", "UNM r3 r1"},
        {"concat", "CONCAT r3 r1 r2"},
        {"less", "LT 1 r0 r2\n    JMP done"},
        {"less or equal", "LE 1 r2 r0\n    JMP done"},
        {"index nil", "GETTABLE r3 r1 \"n\""},
        {"store into nil", "SETTABLE r1 \"n\" 1"},
        {"method of nil", "SELF r3 r1 \"n\""},
        {"call nil", "CALL r1 1 1"},
        {"loop over nil", "FORLOOP r1 top"},
    };
    for (const Case& c : cases) {
        VmHolder L;
        const std::string text = std::string(R"(
.function main
  .line 1
    LOADNIL r1 1
    LOADK r2 4
top:
    NEWTABLE r0 0 1
    SETTABLE r0 "n" 1
  .line 2
    GETTABLE r4 r0 "n"
    ADD r4 r4 1
    SELF r5 r0 "n"
    LOADK r6 1
    LOADK r7 0
    LOADK r8 1
    FORLOOP r6 done
done:
    MOVE r3 r2
    LOADK r3 1
  .line 3
    )") + c.raising + R"(
    RETURN r0 1
.end
)";
        vmRuntime.errorLine = -1;
        EXPECT_NE(RunAsm(L, text, nullptr), 0) << c.name;
        EXPECT_EQ(vmRuntime.errorLine, 3) << c.name;
    }
}

}  // namespace debug_test
