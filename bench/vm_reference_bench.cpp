// The script benchmarks of vm_bench written directly in C++ (this file is compiled with -O2):
// the same algorithms on native types, as the lower bound bench/vm_compare.py reports beside the
// VM and python3. Calls that the VM makes through values go through pointers here too.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

double Fib(double n) { return n < 2 ? n : Fib(n - 1) + Fib(n - 2); }

struct Obj {
    double v = 1;
    virtual double Get() const { return v; }
    virtual ~Obj() = default;
};

__attribute__((noinline)) double Command(double x) { return x; }

// Appends a number in its shortest form.
void AppendNumber(std::string& s, double x) {
    char buf[32];
    char* end = std::to_chars(buf, buf + sizeof buf, x).ptr;
    s.append(buf, end);
}

// "k" and the number.
std::string Key(int i) {
    std::string s = "k";
    AppendNumber(s, i);
    return s;
}

}  // namespace

static void Ref_Fib30(benchmark::State& state) {
    volatile double n = 30;
    for (auto _ : state) benchmark::DoNotOptimize(Fib(n));
}
BENCHMARK(Ref_Fib30)->Unit(benchmark::kMillisecond);

static void Ref_AddLoop1e8(benchmark::State& state) {
    volatile int n = 100000000;
    for (auto _ : state) {
        double s = 0;
        for (int i = 1; i <= n; i++) s = s + 1;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(Ref_AddLoop1e8)->Unit(benchmark::kMillisecond);

static void Ref_TableFillSum1e6(benchmark::State& state) {
    volatile int n = 1000000;
    for (auto _ : state) {
        std::vector<double> t;
        for (int i = 1; i <= n; i++) t.push_back(i);
        double s = 0;
        for (int i = 1; i <= n; i++) s = s + t[i - 1];
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(Ref_TableFillSum1e6)->Unit(benchmark::kMillisecond);

// Every step makes a new string from the old one and the piece, as an immutable string must.
static void Ref_Concat2e4(benchmark::State& state) {
    volatile int n = 20000;
    for (auto _ : state) {
        std::string s;
        for (int i = 1; i <= n; i++) s = s + "x";
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(Ref_Concat2e4)->Unit(benchmark::kMillisecond);

static void Ref_TableJoin2e4(benchmark::State& state) {
    volatile int n = 20000;
    for (auto _ : state) {
        std::vector<std::string> t;
        for (int i = 1; i <= n; i++) t.push_back("x");
        size_t total = 0;
        for (const std::string& piece : t) total += piece.size();
        std::string s;
        s.reserve(total);
        for (const std::string& piece : t) s += piece;
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(Ref_TableJoin2e4)->Unit(benchmark::kMillisecond);

static void Ref_MethodCalls1e6(benchmark::State& state) {
    volatile int n = 1000000;
    Obj object;
    Obj* volatile o = &object;
    for (auto _ : state) {
        double s = 0;
        for (int i = 1; i <= n; i++) s = s + o->Get();
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(Ref_MethodCalls1e6)->Unit(benchmark::kMillisecond);

static void Ref_CCalls1e6(benchmark::State& state) {
    volatile int n = 1000000;
    double (*volatile cmd)(double) = Command;
    for (auto _ : state) {
        double s = 0;
        for (int i = 1; i <= n; i++) s = s + cmd(i);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(Ref_CCalls1e6)->Unit(benchmark::kMillisecond);

static void Ref_StringKeys1e6(benchmark::State& state) {
    volatile int n = 1000000;
    for (auto _ : state) {
        double s = 0;
        for (int round = 1; round <= 2; round++) {
            std::unordered_map<std::string, double> t;
            for (int i = 1; i <= n; i++) t[Key(i)] = i;
            for (int i = 1; i <= n; i++) s = s + t[Key(i)];
        }
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(Ref_StringKeys1e6)->Unit(benchmark::kMillisecond);

static void Ref_Concat5x1e6(benchmark::State& state) {
    volatile int n = 1000000;
    for (auto _ : state) {
        std::string s;
        for (int i = 1; i <= n; i++) {
            s = "<";
            AppendNumber(s, i);
            s += "|";
            AppendNumber(s, i / 4.0);
            s += ">";
            benchmark::DoNotOptimize(s.data());
        }
    }
}
BENCHMARK(Ref_Concat5x1e6)->Unit(benchmark::kMillisecond);

static void Ref_NumberToString1e6(benchmark::State& state) {
    volatile int n = 1000000;
    for (auto _ : state) {
        for (int i = 1; i <= n; i++) {
            std::string s;
            AppendNumber(s, i);
            benchmark::DoNotOptimize(s.data());
            std::string t;
            AppendNumber(t, i * 0.1);
            benchmark::DoNotOptimize(t.data());
        }
    }
}
BENCHMARK(Ref_NumberToString1e6)->Unit(benchmark::kMillisecond);

static void Ref_ClosureCalls1e6(benchmark::State& state) {
    volatile int n = 1000000;
    double x = 1;
    std::function<double()> get = [x] { return x; };
    for (auto _ : state) {
        double s = 0;
        for (int i = 1; i <= n; i++) s = s + get();
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(Ref_ClosureCalls1e6)->Unit(benchmark::kMillisecond);

static void Ref_AbsCalls1e6(benchmark::State& state) {
    volatile int n = 1000000;
    double (*volatile abs)(double) = std::fabs;
    for (auto _ : state) {
        double s = 0;
        for (int i = 1; i <= n; i++) s = s + abs(-i);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(Ref_AbsCalls1e6)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
