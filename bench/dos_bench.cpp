// dos commands on large data beside the usual tools: ReadLine over a text file against python's
// "for line in f", CopyFile against cp, and WriteTable/ReadTable against python's marshal;
// bench/dos_compare.py prints the ratios. Sizes: QZ_DOS_BENCH_TEXT_MB (text file, default 100),
// QZ_DOS_BENCH_COPY_MB (copied file, default 1024), QZ_DOS_BENCH_ENTRIES (table entries, default
// 100000; 1000000 for a longer run).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_script.h"
#include "libs/dos/dos.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

size_t EnvSize(const char* name, size_t def) {
    const char* env = std::getenv(name);
    size_t v = env ? std::strtoul(env, nullptr, 10) : 0;
    return v ? v : def;
}

// The benchmark's files live in one temporary directory, removed at exit.
struct BenchDir {
    std::string path;
    BenchDir() {
        char tmpl[] = "/tmp/qzdosbench.XXXXXX";
        const char* p = mkdtemp(tmpl);
        path = p ? p : "/tmp";
    }
    ~BenchDir() {
        std::string cmd = "rm -rf '" + path + "'";
        if (path != "/tmp" && std::system(cmd.c_str()) != 0) {
        }
    }
};

std::string TempDir() {
    static BenchDir dir;
    return dir.path;
}

void MakeFile(const std::string& path, size_t bytes, bool text) {
    if (access(path.c_str(), F_OK) == 0) return;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::vector<char> block(1 << 20);
    uint32_t seed = 7;
    for (size_t done = 0; done < bytes; done += block.size()) {
        for (size_t i = 0; i < block.size(); i++) {
            seed = seed * 1664525u + 1013904223u;
            block[i] = text ? ((seed >> 24) % 40 == 0 ? '\n' : static_cast<char>('a' + (seed >> 24) % 26))
                            : static_cast<char>(seed >> 24);
        }
        std::fwrite(block.data(), 1, block.size(), f);
    }
    std::fclose(f);
}

struct Vm {
    VmState* state = VmOpen();
    Vm() {
        SetRuntimeAttrs(state, {{QZ_RTA_QUIET, 1}});
        OpenLibrary(state, &qzDosLibrary);
    }
    ~Vm() {
        FreeDosLibrary(state);
        VmClose(state);
    }
    // Calls a command with the values on the stack above `from` as arguments; results stay.
    int Call(const char* name, int nargs) {
        VmPushString(state, name);
        VmGetTable(state, VM_GLOBALSINDEX);
        VmInsert(state, -(nargs + 1));
        return VmProtectedCall(state, nargs, VM_MULTRET, 0);
    }
};

int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }

// Outside the timed part: removes the previous copy and writes all dirty data back, so that each
// copy makes a new file and pays neither for freeing the old one's blocks nor for the writeback
// of what was written before it.
void Settle(benchmark::State& state, const std::string& previousCopy) {
    state.PauseTiming();
    unlink(previousCopy.c_str());
    sync();
    state.ResumeTiming();
}

// A script reads the file line by line, as an applet would: While Not Eof(1) ... ReadLine(1).
void BM_ReadLine(benchmark::State& state) {
    std::string path = TempDir() + "/text.txt";
    size_t bytes = EnvSize("QZ_DOS_BENCH_TEXT_MB", 100) << 20;
    MakeFile(path, bytes, true);
    Vm vm;
    const std::string program = R"(
.function main
  LOADK r0 0
  GETGLOBAL r1 "openfile"
  LOADK r2 1
  LOADK r3 ")" + path + R"("
  CALL r1 3 1
next:
  GETGLOBAL r1 "eof"
  LOADK r2 1
  CALL r1 2 2
  TEST r1 r1 1
  JMP done
  GETGLOBAL r1 "readline"
  LOADK r2 1
  CALL r1 2 2
  ADD r0 r0 1
  JMP next
done:
  GETGLOBAL r1 "closefile"
  LOADK r2 1
  CALL r1 2 1
  RETURN r0 2
.end
)";
    if (!bench::LoadProgram(vm.state, program)) {
        state.SkipWithError("program does not load");
        return;
    }
    for (auto _ : state) {
        VmPushValue(vm.state, 1);
        if (int code = VmProtectedCall(vm.state, 0, 1, 0)) {
            state.SkipWithError(("program failed with error " + std::to_string(code)).c_str());
            break;
        }
        benchmark::DoNotOptimize(VmToNumber(vm.state, -1));
        VmSetTop(vm.state, 1);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_PythonForLine(benchmark::State& state) {
    std::string path = TempDir() + "/text.txt";
    size_t bytes = EnvSize("QZ_DOS_BENCH_TEXT_MB", 100) << 20;
    MakeFile(path, bytes, true);
    std::string cmd = "/usr/bin/python3 -c \"import sys\nn=0\nfor line in open(sys.argv[1], 'rb'): n+=1\" " + path;
    for (auto _ : state)
        if (Shell(cmd) != 0) state.SkipWithError("python3 failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_CopyFile(benchmark::State& state) {
    std::string path = TempDir() + "/big.bin";
    size_t bytes = EnvSize("QZ_DOS_BENCH_COPY_MB", 1024) << 20;
    MakeFile(path, bytes, false);
    std::string target = TempDir() + "/copy";
    Vm vm;
    for (auto _ : state) {
        Settle(state, target + "/big.bin");
        VmPushString(vm.state, path.c_str());
        VmPushString(vm.state, target.c_str());
        if (vm.Call("copyfile", 2) != 0) state.SkipWithError("CopyFile failed");
        VmSetTop(vm.state, 0);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_Cp(benchmark::State& state) {
    std::string path = TempDir() + "/big.bin";
    size_t bytes = EnvSize("QZ_DOS_BENCH_COPY_MB", 1024) << 20;
    MakeFile(path, bytes, false);
    std::string copy = TempDir() + "/cp.bin";
    std::string cmd = "cp -p '" + path + "' '" + copy + "'";
    for (auto _ : state) {
        Settle(state, copy);
        if (Shell(cmd) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_WriteReadTable(benchmark::State& state) {
    size_t entries = EnvSize("QZ_DOS_BENCH_ENTRIES", 100000);
    std::string path = TempDir() + "/table.qzt";
    Vm vm;
    VmNewTable(vm.state);
    for (size_t i = 0; i < entries; i++) {
        VmPushNumber(vm.state, static_cast<double>(i));
        if (i % 2)
            VmPushNumber(vm.state, i * 0.25);
        else
            VmPushString(vm.state, "value text");
        VmRawSet(vm.state, 1);
    }
    for (auto _ : state) {
        VmPushNumber(vm.state, 1);
        VmPushString(vm.state, path.c_str());
        VmPushNumber(vm.state, QZ_MODE_WRITE);
        vm.Call("openfile", 3);
        VmPushNumber(vm.state, 1);
        VmPushValue(vm.state, 1);
        if (vm.Call("writetable", 2) != 0) state.SkipWithError("WriteTable failed");
        VmPushNumber(vm.state, 1);
        vm.Call("closefile", 1);
        VmPushNumber(vm.state, 1);
        VmPushString(vm.state, path.c_str());
        vm.Call("openfile", 2);
        VmPushNumber(vm.state, 1);
        if (vm.Call("readtable", 1) != 0) state.SkipWithError("ReadTable failed");
        VmPushNumber(vm.state, 1);
        vm.Call("closefile", 1);
        VmSetTop(vm.state, 1);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(entries));
}

void BM_PythonMarshal(benchmark::State& state) {
    size_t entries = EnvSize("QZ_DOS_BENCH_ENTRIES", 100000);
    std::string path = TempDir() + "/table.marshal";
    // Building the dictionary is outside the timed part of the script's own clock: the time is
    // measured around dump and load and printed, and used as the manual time.
    std::string cmd =
        "/usr/bin/python3 -c \"import marshal,sys,time\n"
        "d={float(i):(i*0.25 if i%2 else 'value text') for i in range(" +
        std::to_string(entries) +
        ")}\n"
        "t=time.perf_counter()\nf=open(sys.argv[1],'wb'); marshal.dump(d,f); f.close()\n"
        "e=marshal.load(open(sys.argv[1],'rb'))\nprint(time.perf_counter()-t)\" " +
        path;
    for (auto _ : state) {
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[64];
            size_t n = std::fread(buf, 1, sizeof(buf) - 1, p);
            buf[n] = '\0';
            out = buf;
            pclose(p);
        }
        state.SetIterationTime(std::strtod(out.c_str(), nullptr));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(entries));
}

}  // namespace

BENCHMARK(BM_ReadLine)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PythonForLine)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Cp)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WriteReadTable)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PythonMarshal)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

BENCHMARK_MAIN();
