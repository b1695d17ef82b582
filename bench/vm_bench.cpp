// VM benchmarks: table access, string interning, a full collection of a million live objects,
// and script programs that bench/vm_compare.py runs against python3 doing the same work (and
// against the C++ of bench/vm_reference_bench.cpp).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_script.h"
#include "libs/math/math_lib.h"
#include "libs/system/system.h"
#include "runtime/library.h"
#include "vm/vm.h"
#include "vm/vm_gc.h"
#include "vm/vm_object.h"
#include "vm/vm_table.h"

namespace {

int Command(VmState* L) { return 1; }

// Runs the program once per iteration.
void RunScript(benchmark::State& state, const std::string& text) {
    VmState* L = VmOpen();
    VmPushString(L, "cmd");
    VmPushCFunction(L, Command);
    VmSetTable(L, VM_GLOBALSINDEX);
    VmPushString(L, "Concat");
    VmPushCFunction(L, SysConcat);
    VmSetTable(L, VM_GLOBALSINDEX);
    OpenLibrary(L, &qzMathLibrary);
    VmSetTop(L, 0);
    if (!bench::LoadProgram(L, text)) {
        state.SkipWithError("program does not load");
        VmClose(L);
        return;
    }
    for (auto _ : state) {
        VmPushValue(L, 1);
        if (VmProtectedCall(L, 0, 1, 0) != 0) {
            state.SkipWithError("program failed");
            break;
        }
        VmSetTop(L, 1);
    }
    VmClose(L);
}

// A counted loop around body: r1 counts from 1 to n; the body may use r4 and up.
std::string Loop(const std::string& n, const std::string& body) {
    return "  LOADK r1 1\n  LOADK r2 " + n + "\n  LOADK r3 1\n  SUB r1 r1 r3\n  JMP test\nbody:\n" + body +
           "\ntest:\n  FORLOOP r1 body\n";
}

// A counted loop whose counter is register r (r+1 and r+2 hold the limit and the step); name
// makes its jump labels unique.
std::string LoopAt(int r, const std::string& name, const std::string& n, const std::string& body) {
    std::string c = std::to_string(r), l = std::to_string(r + 1), st = std::to_string(r + 2);
    std::string text;
    for (const std::string& piece : {std::string("  LOADK r"),
                                     c,
                                     std::string(" 1\n  LOADK r"),
                                     l,
                                     std::string(" "),
                                     n,
                                     std::string("\n  LOADK r"),
                                     st,
                                     std::string(" 1\n  SUB r"),
                                     c,
                                     std::string(" r"),
                                     c,
                                     std::string(" r"),
                                     st,
                                     std::string("\n  JMP "),
                                     name,
                                     std::string("_test\n"),
                                     name,
                                     std::string("_body:\n"),
                                     body,
                                     std::string("\n"),
                                     name,
                                     std::string("_test:\n  FORLOOP r"),
                                     c,
                                     std::string(" "),
                                     name,
                                     std::string("_body\n")})
        text.append(piece);
    return text;
}

}  // namespace

static void Script_Fib30(benchmark::State& state) {
    RunScript(state, R"(
.function main
  CLOSURE r0 fib
  SETGLOBAL r0 "fib"
  GETGLOBAL r0 "fib"
  LOADK r1 30
  CALL r0 2 2
  RETURN r0 2
  .function fib
    .params 1
    LT 1 r0 2
    JMP small
    GETGLOBAL r1 "fib"
    SUB r2 r0 1
    CALL r1 2 2
    GETGLOBAL r2 "fib"
    SUB r3 r0 2
    CALL r2 2 2
    ADD r1 r1 r2
    RETURN r1 2
  small:
    RETURN r0 2
  .end
.end
)");
}
BENCHMARK(Script_Fib30)->Unit(benchmark::kMillisecond);

static void Script_AddLoop1e8(benchmark::State& state) {
    RunScript(state, ".function main\n  LOADK r0 0\n" + Loop("100000000", "  ADD r0 r0 1") + "  RETURN r0 2\n.end\n");
}
BENCHMARK(Script_AddLoop1e8)->Unit(benchmark::kMillisecond);

static void Script_TableFillSum1e6(benchmark::State& state) {
    RunScript(state, ".function main\n  NEWTABLE r0 0 0\n" + Loop("1000000", "  SETTABLE r0 r1 r1") + "  LOADK r4 0\n" +
                         "  LOADK r1 1\n  LOADK r2 1000000\n  LOADK r3 1\n  SUB r1 r1 r3\n  JMP test2\nbody2:\n"
                         "  GETTABLE r5 r0 r1\n  ADD r4 r4 r5\ntest2:\n  FORLOOP r1 body2\n  RETURN r4 2\n.end\n");
}
BENCHMARK(Script_TableFillSum1e6)->Unit(benchmark::kMillisecond);

static void Script_Concat2e4(benchmark::State& state) {
    RunScript(state, ".function main\n  LOADK r0 \"\"\n" +
                         Loop("20000", "  MOVE r4 r0\n  LOADK r5 \"x\"\n  CONCAT r0 r4 r5") + "  RETURN r0 2\n.end\n");
}
BENCHMARK(Script_Concat2e4)->Unit(benchmark::kMillisecond);

// The same string built by storing the pieces in a table and joining them once with Concat.
static void Script_TableJoin2e4(benchmark::State& state) {
    RunScript(state, ".function main\n  NEWTABLE r0 0 0\n" + Loop("20000", "  SETTABLE r0 r1 \"x\"") +
                         "  GETGLOBAL r4 \"Concat\"\n  MOVE r5 r0\n  LOADK r6 \"\"\n  LOADK r7 1\n"
                         "  LOADK r8 20000\n  CALL r4 5 2\n  RETURN r4 2\n.end\n");
}
BENCHMARK(Script_TableJoin2e4)->Unit(benchmark::kMillisecond);

static void Script_MethodCalls1e6(benchmark::State& state) {
    RunScript(state,
              ".function main\n  NEWTABLE r0 0 1\n  SETTABLE r0 \"v\" 1\n  CLOSURE r4 get\n"
              "  SETTABLE r0 \"get\" r4\n  LOADK r6 0\n" +
                  Loop("1000000", "  SELF r4 r0 \"get\"\n  CALL r4 2 2\n  ADD r6 r6 r4") +
                  "  RETURN r6 2\n"
                  "  .function get\n    .params 1\n    GETTABLE r1 r0 \"v\"\n    RETURN r1 2\n  .end\n.end\n");
}
BENCHMARK(Script_MethodCalls1e6)->Unit(benchmark::kMillisecond);

static void Script_CCalls1e6(benchmark::State& state) {
    RunScript(state, ".function main\n  LOADK r6 0\n" +
                         Loop("1000000", "  GETGLOBAL r4 \"cmd\"\n  MOVE r5 r1\n  CALL r4 2 2\n  ADD r6 r6 r4") +
                         "  RETURN r6 2\n.end\n");
}
BENCHMARK(Script_CCalls1e6)->Unit(benchmark::kMillisecond);

// Strings made from numbers as table keys: t["k" .. i] = i for a million keys, then the sum of
// t["k" .. i]; two rounds, each with a new table.
static void Script_StringKeys1e6(benchmark::State& state) {
    RunScript(state, ".function main\n  LOADK r6 0\n" +
                         LoopAt(7, "round", "2",
                                "  NEWTABLE r0 0 0\n" +
                                    LoopAt(1, "fill", "1000000",
                                           "  LOADK r4 \"k\"\n  MOVE r5 r1\n  CONCAT r4 r4 r5\n"
                                           "  SETTABLE r0 r4 r1") +
                                    LoopAt(1, "read", "1000000",
                                           "  LOADK r4 \"k\"\n  MOVE r5 r1\n  CONCAT r4 r4 r5\n"
                                           "  GETTABLE r4 r0 r4\n  ADD r6 r6 r4")) +
                         "  RETURN r6 2\n.end\n");
}
BENCHMARK(Script_StringKeys1e6)->Unit(benchmark::kMillisecond);

// One five-value concatenation with two numbers: s = "<" .. i .. "|" .. i / 4 .. ">".
static void Script_Concat5x1e6(benchmark::State& state) {
    RunScript(state, ".function main\n" +
                         Loop("1000000",
                              "  LOADK r4 \"<\"\n  MOVE r5 r1\n  LOADK r6 \"|\"\n  DIV r7 r1 4\n"
                              "  LOADK r8 \">\"\n  CONCAT r0 r4 r8") +
                         "  RETURN r0 2\n.end\n");
}
BENCHMARK(Script_Concat5x1e6)->Unit(benchmark::kMillisecond);

// A number made a string without a formatting command: s = i .. "" and s = i * 0.1 .. "" (the
// second mostly needs all fourteen digits).
static void Script_NumberToString1e6(benchmark::State& state) {
    RunScript(state, ".function main\n" +
                         Loop("1000000",
                              "  MOVE r4 r1\n  LOADK r5 \"\"\n  CONCAT r0 r4 r5\n"
                              "  MUL r4 r1 0.1\n  LOADK r5 \"\"\n  CONCAT r0 r4 r5") +
                         "  RETURN r0 2\n.end\n");
}
BENCHMARK(Script_NumberToString1e6)->Unit(benchmark::kMillisecond);

// A closure that returns its upvalue, called a million times.
static void Script_ClosureCalls1e6(benchmark::State& state) {
    RunScript(state, ".function main\n  LOADK r0 1\n  CLOSURE r10 get\n  MOVE r0 r0\n  LOADK r6 0\n" +
                         Loop("1000000", "  MOVE r4 r10\n  CALL r4 1 2\n  ADD r6 r6 r4") +
                         "  RETURN r6 2\n"
                         "  .function get\n    .upvalues 1\n    GETUPVAL r0 u0\n    RETURN r0 2\n  .end\n.end\n");
}
BENCHMARK(Script_ClosureCalls1e6)->Unit(benchmark::kMillisecond);

// The math library's Abs, a registered command, called a million times.
static void Script_AbsCalls1e6(benchmark::State& state) {
    RunScript(state, ".function main\n  LOADK r6 0\n" +
                         Loop("1000000", "  GETGLOBAL r4 \"abs\"\n  UNM r5 r1\n  CALL r4 2 2\n  ADD r6 r6 r4") +
                         "  RETURN r6 2\n.end\n");
}
BENCHMARK(Script_AbsCalls1e6)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Runtime primitives

static void Table_StringKeys(benchmark::State& state) {
    VmState* L = VmOpen();
    VmNewTable(L);
    VmTable* t = VmTableValue(L->top - 1);
    std::vector<VmString*> keys;
    for (int i = 0; i < 1000; i++) keys.push_back(VmInternCString(L, ("key" + std::to_string(i)).c_str()));
    for (VmString* k : keys) VmSetValueNumber(VmTableSetString(L, t, k), 1);
    double sum = 0;
    for (auto _ : state) {
        for (VmString* k : keys) {
            VmValue* v = VmTableSetString(L, t, k);
            v->value.n += 1;
            sum += VmTableGetString(t, k)->value.n;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * 1000);
    VmClose(L);
}
BENCHMARK(Table_StringKeys);

static void Table_IntegerKeys(benchmark::State& state) {
    VmState* L = VmOpen();
    VmNewTable(L);
    VmTable* t = VmTableValue(L->top - 1);
    for (int i = 1; i <= 1000; i++) VmSetValueNumber(VmTableSetInt(L, t, i), i);
    double sum = 0;
    for (auto _ : state) {
        for (int i = 1; i <= 1000; i++) {
            VmTableSetInt(L, t, i)->value.n += 1;
            sum += VmTableGetInt(t, i)->value.n;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * 1000);
    VmClose(L);
}
BENCHMARK(Table_IntegerKeys);

static void String_Intern(benchmark::State& state) {
    VmState* L = VmOpen();
    std::vector<std::string> texts;
    for (int i = 0; i < 1000; i++) texts.push_back("some text " + std::to_string(i));
    for (const std::string& s : texts) VmPushString(L, s.c_str()), VmPop(L, 1);
    VmSetGcThreshold(L, 0x400000);
    for (auto _ : state)
        for (const std::string& s : texts) benchmark::DoNotOptimize(VmInternString(L, s.data(), s.size()));
    state.SetItemsProcessed(state.iterations() * 1000);
    VmClose(L);
}
BENCHMARK(String_Intern);

static void Gc_FullCollectionMillionObjects(benchmark::State& state) {
    VmState* L = VmOpen();
    VmSetGcThreshold(L, 0x400000);
    VmCreateTable(L, 1000000, 0);
    VmTable* list = VmTableValue(L->top - 1);
    for (int i = 1; i <= 1000000; i++) {
        VmTable* t = VmNewTableObject(L, 0, 0);
        VmSetValueTable(VmTableSetInt(L, list, i), t);
    }
    for (auto _ : state) VmCollectGarbage(L);
    VmSetGcThreshold(L, 0x400000);
    VmClose(L);
}
BENCHMARK(Gc_FullCollectionMillionObjects)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
