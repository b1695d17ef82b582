// String library benchmarks on large subjects: ReplaceStr, SplitStr and PatternReplaceStr from 1 MB
// to 16 MB (their time must grow linearly), and the 16 MB cases that bench/string_compare.py runs
// against python3's str.replace, str.split and re.sub.
#include <benchmark/benchmark.h>

#include <string>

#include "libs/string/string_lib.h"
#include "vm/vm.h"

namespace {

// The subject: this text repeated up to the given size.
constexpr const char* PIECE = "lorem ipsum 12345, dolor sit amet 678, consectetur adipiscing 9, elit; ";

std::string Subject(size_t size) {
    std::string s;
    s.reserve(size + 80);
    while (s.size() < size) s += PIECE;
    s.resize(size);
    return s;
}

// Calls a global command with string arguments once per iteration.
void RunCommand(benchmark::State& state, const char* command, std::initializer_list<std::string> extra, size_t size) {
    VmState* L = VmOpen();
    OpenLibrary(L, &qzStringLibrary);
    std::string subject = Subject(size);
    VmPushLString(L, subject.data(), subject.size());  // index 1: interned once
    for (auto _ : state) {
        VmSetTop(L, 1);
        VmPushString(L, command);
        VmGetTable(L, VM_GLOBALSINDEX);
        VmPushValue(L, 1);
        for (const std::string& a : extra) VmPushLString(L, a.data(), a.size());
        if (VmProtectedCall(L, static_cast<int>(extra.size()) + 1, 1, 0) != 0) {
            state.SkipWithError("command failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
    state.SetComplexityN(static_cast<int64_t>(size));
    VmClose(L);
}

void Replace(benchmark::State& state) {
    RunCommand(state, "replacestr", {"ipsum", "IPSUM!"}, static_cast<size_t>(state.range(0)));
}
void ReplaceNoCase(benchmark::State& state) {
    RunCommand(state, "replacestr", {"IPSUM", "x", "0"}, static_cast<size_t>(state.range(0)));
}
void Split(benchmark::State& state) { RunCommand(state, "splitstr", {","}, static_cast<size_t>(state.range(0))); }
void PatternReplace(benchmark::State& state) {
    RunCommand(state, "patternreplacestr", {"%d+", "#"}, static_cast<size_t>(state.range(0)));
}

BENCHMARK(Replace)
    ->RangeMultiplier(4)
    ->Range(1 << 20, 1 << 24)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceNoCase)
    ->RangeMultiplier(4)
    ->Range(1 << 20, 1 << 24)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Split)->RangeMultiplier(4)->Range(1 << 20, 1 << 24)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(PatternReplace)
    ->RangeMultiplier(4)
    ->Range(1 << 20, 1 << 24)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
