// Clipboard text: 1 MB of engine text (ISO 8859-1 with accented letters and CR LF line ends)
// converted to the clipboard's UTF-8 and back, beside glibc's iconv doing the same character
// conversion (iconv leaves line ends alone; the player also turns a lone CR into LF on the way
// back).
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <cstdio>
#include <string>

#include "bench_times.h"
#include "platform/host/backend_clipboard.h"

namespace {

const std::string& EngineText() {
    static const std::string text = [] {
        std::string t;
        const char* words[] = {"caf\xE9",
                               "na\xEFve",
                               "stra\xDF"
                               "e",
                               "Quarnelix",
                               "player",
                               "\xC5ngstr\xF6m"};
        for (size_t i = 0; t.size() < (1u << 20); i++) {
            t += words[i % 6];
            t += (i % 12 == 11) ? "\r\n" : " ";
        }
        return t;
    }();
    return text;
}

const std::string& ClipboardText() {
    static const std::string text = ClipboardTextFromEngine(EngineText());
    return text;
}

std::string Iconv(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    std::string out(in.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

void BM_ToClipboard_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ClipboardTextFromEngine(EngineText()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(EngineText().size()));
}

void BM_ToClipboard_Iconv(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Iconv("UTF-8", "ISO-8859-1", EngineText()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(EngineText().size()));
}

void BM_FromClipboard_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ClipboardTextToEngine(ClipboardText()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ClipboardText().size()));
}

void BM_FromClipboard_Iconv(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Iconv("ISO-8859-1//TRANSLIT", "UTF-8", ClipboardText()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ClipboardText().size()));
}

}  // namespace

BENCHMARK(BM_ToClipboard_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToClipboard_Iconv)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FromClipboard_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FromClipboard_Iconv)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    auto ratio = [&](const char* what, const char* a, const char* b) {
        double x = recorder.times[a], y = recorder.times[b];
        if (x > 0 && y > 0) std::printf("%s: %.2fx (%.1f / %.1f us)\n", what, x / y, x, y);
    };
    ratio("1 MB engine text to clipboard UTF-8, ours / iconv", "BM_ToClipboard_Ours", "BM_ToClipboard_Iconv");
    ratio("1 MB clipboard UTF-8 to engine text, ours / iconv", "BM_FromClipboard_Ours", "BM_FromClipboard_Iconv");
    return 0;
}
