// Events: the cost of the line hook (script programs with line information, run without the hook
// and with the player's line hook installed, in one run), and the dispatch of 10^5 queued key
// events to a display's key handler by CheckEvent beside 10^5 plain calls of the same script
// function with a table. The ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "base/event_types.h"
#include "bench_display.h"
#include "bench_script.h"
#include "display/display.h"
#include "libs/display/display_lib.h"
#include "libs/event/event_lib.h"
#include "libs/math/math_lib.h"
#include "platform/host/event_loop.h"
#include "player/event_loop_link.h"
#include "runtime/event_queue.h"
#include "runtime/library.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// A counted loop as compiled code has it: the loop instruction on one line and the body on the
// next, so that every iteration starts two lines (one of them by a backward jump).
std::string LineLoop(const std::string& n, const std::string& body) {
    return "  .line 1\n  LOADK r1 1\n  LOADK r2 " + n +
           "\n  LOADK r3 1\n  SUB r1 r1 r3\n  JMP test\nbody:\n  .line 2\n" + body +
           "\n  .line 1\ntest:\n  FORLOOP r1 body\n";
}

const std::string kAddLoop = ".function main\n  .source \"@b.qzs\"\n  LOADK r0 0\n" +
                             LineLoop("20000000", "  ADD r0 r0 r1") + "  RETURN r0 2\n.end\n";

const std::string kFib = R"(
.function main
  .source "@b.qzs"
  .line 1
  CLOSURE r0 fib
  SETGLOBAL r0 "fib"
  GETGLOBAL r0 "fib"
  LOADK r1 27
  CALL r0 2 2
  RETURN r0 2
  .function fib
    .params 1
    .line 10
    LT 0 r0 2
    JMP recurse
    .line 11
    RETURN r0 2
recurse:
    .line 12
    GETGLOBAL r1 "fib"
    SUB r2 r0 1
    CALL r1 2 2
    GETGLOBAL r2 "fib"
    SUB r3 r0 2
    CALL r2 2 2
    ADD r1 r1 r2
    .line 13
    RETURN r1 2
  .end
.end
)";

const std::string kTableFill = ".function main\n  .source \"@b.qzs\"\n  NEWTABLE r0 0 0\n" +
                               LineLoop("2000000", "  SETTABLE r0 r1 r1\n  GETTABLE r4 r0 r1") +
                               "  RETURN r0 2\n.end\n";

const std::string kCalls = ".function main\n  .source \"@b.qzs\"\n  LOADK r6 0\n  CLOSURE r7 f\n" +
                           LineLoop("2000000", "  MOVE r4 r7\n  MOVE r5 r1\n  CALL r4 2 2\n  ADD r6 r6 r4") +
                           "  RETURN r6 2\n  .function f\n    .params 1\n    .line 20\n    RETURN r0 2\n  .end\n.end\n";

const std::map<std::string, const std::string*> kPrograms = {
    {"AddLoop2e7", &kAddLoop},
    {"Fib27", &kFib},
    {"TableFill2e6", &kTableFill},
    {"Calls2e6", &kCalls},
};

void LineHook(benchmark::State& state, const std::string& name, bool hook) {
    bench::StartHeadless();
    VmState* L = VmOpen();
    OpenLibrary(L, &qzMathLibrary);
    VmSetTop(L, 0);
    if (!bench::LoadProgram(L, *kPrograms.at(name))) {
        state.SkipWithError("program does not load");
        VmClose(L);
        return;
    }
    if (hook) InstallLineHook(L);
    for (auto _ : state) {
        VmPushValue(L, 1);
        if (VmProtectedCall(L, 0, 1, 0) != 0) {
            state.SkipWithError("program failed");
            break;
        }
        VmSetTop(L, 1);
    }
    if (hook) RemoveLineHook(L);
    VmClose(L);
}

// The handler: takes the table and returns nothing.
const char* kHandler = R"(
.function main
  CLOSURE r0 handler
  RETURN r0 2
  .function handler
    .params 1
    RETURN r0 1
  .end
.end
)";

constexpr int kEvents = 100000;

// 10^5 key events queued for a display, each dispatched to its "onkeydown" handler by one
// CheckEvent called from a script loop.
void BM_DispatchQueuedKeys(benchmark::State& state) {
    bench::StartHeadless();
    VmState* L = VmOpen();
    const qzLibraryDescriptor* const libraries[] = {&qzDisplayLibrary, &qzEventLibrary, nullptr};
    OpenLibraries(L, libraries);
    bool ready = bench::OpenDisplay(L);  // of the default size
    // The handler, installed as "onkeydown".
    ready = ready && bench::LoadProgram(L, kHandler) && VmProtectedCall(L, 0, 1, 0) == 0;
    if (ready) {
        VmNewTable(L);
        VmPushString(L, "onkeydown");
        VmPushValue(L, -3);
        VmSetTable(L, -3);
        VmRemove(L, -2);
        ready = bench::Command(L, "installeventhandler", 1);
    }
    const std::string loop = ".function main\n" +
                             LineLoop(std::to_string(kEvents), "  GETGLOBAL r4 \"checkevent\"\n  CALL r4 1 1") +
                             "  RETURN r0 1\n.end\n";
    VmSetTop(L, 0);
    ready = ready && bench::LoadProgram(L, loop) && FirstDisplay();
    if (!ready) state.SkipWithError("no display with a key handler");
    for (auto _ : state) {
        if (!ready) break;
        state.PauseTiming();
        for (int i = 0; i < kEvents; i++) PushEventToQueue(FirstDisplay(), QZ_EVENT_KEY, 1, 0, 'a', nullptr);
        state.ResumeTiming();
        VmPushValue(L, 1);
        if (VmProtectedCall(L, 0, 0, 0) != 0) {
            state.SkipWithError("dispatch failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    CloseLibraries(L, libraries);
    VmClose(L);
}

// The same handler called 10^5 times from a script loop, with a new table each time.
void BM_PlainScriptCalls(benchmark::State& state) {
    VmState* L = VmOpen();
    bench::LoadProgram(L, kHandler);
    VmProtectedCall(L, 0, 1, 0);
    VmPushString(L, "handler");
    VmPushValue(L, -2);
    VmSetTable(L, VM_GLOBALSINDEX);
    VmSetTop(L, 0);
    const std::string loop =
        ".function main\n" +
        LineLoop(std::to_string(kEvents), "  GETGLOBAL r4 \"handler\"\n  NEWTABLE r5 0 0\n  CALL r4 2 1") +
        "  RETURN r0 1\n.end\n";
    bench::LoadProgram(L, loop);
    for (auto _ : state) {
        VmPushValue(L, 1);
        VmProtectedCall(L, 0, 0, 0);
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    VmClose(L);
}

// Keeps the time per iteration of each run for the ratios.
class Recorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) nanos[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanos;
};

}  // namespace

int main(int argc, char** argv) {
    for (const auto& [name, text] : kPrograms) {
        (void)text;
        benchmark::RegisterBenchmark(("LineHook_" + name + "/off").c_str(), [name = name](benchmark::State& s) {
            LineHook(s, name, false);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LineHook_" + name + "/on").c_str(), [name = name](benchmark::State& s) {
            LineHook(s, name, true);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_DispatchQueuedKeys", BM_DispatchQueuedKeys)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PlainScriptCalls", BM_PlainScriptCalls)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    for (const auto& [name, text] : kPrograms) {
        (void)text;
        double off = recorder.nanos["LineHook_" + name + "/off"];
        double on = recorder.nanos["LineHook_" + name + "/on"];
        if (off > 0 && on > 0)
            std::printf("line hook, %s: with / without %.3fx (%.1f / %.1f ms)\n", name.c_str(), on / off, on, off);
    }
    double dispatch = recorder.nanos["BM_DispatchQueuedKeys"];
    double plain = recorder.nanos["BM_PlainScriptCalls"];
    if (dispatch > 0 && plain > 0)
        std::printf("per event: CheckEvent dispatch / plain script call %.2fx (%.0f / %.0f ns)\n", dispatch / plain,
                    dispatch * 1e6 / kEvents, plain * 1e6 / kEvents);
    if (bench::HeadlessStarted()) MacShutdownPlatform();
    return 0;
}
