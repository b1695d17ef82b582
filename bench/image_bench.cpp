// Image loading beside the tools a user would otherwise run: a 12-megapixel JPEG against djpeg and
// a 4K PNG against pngtopam (each tool started for every run and writing its pixels to
// /dev/null, as our loader hands them to memory), and the information mode on a folder of 1000
// pictures of every inbuilt format, in microseconds per file. A table of ratios follows the runs.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "image/image_load.h"

namespace {

struct BenchFiles {
    std::string dir;
    std::string jpeg;
    std::string png;
    std::vector<std::string> many;

    BenchFiles() {
        char tmpl[] = "/tmp/qzimagebench.XXXXXX";
        const char* made = mkdtemp(tmpl);
        dir = made ? made : "/tmp";
        jpeg = dir + "/photo.jpg";
        png = dir + "/photo.png";
        // Test-card pictures with grain, so that the codecs have real entropy to work through.
        Run("ffmpeg -v error -f lavfi -i 'testsrc2=size=4000x3000,noise=alls=12:allf=u' -frames:v 1 -f image2pipe "
            "-vcodec ppm - | cjpeg -quality 90 > '" +
            jpeg + "'");
        Run("ffmpeg -v error -f lavfi -i 'testsrc2=size=3840x2160,noise=alls=6:allf=u' -frames:v 1 -f image2pipe "
            "-vcodec ppm - | pnmtopng > '" +
            png + "'");
        // 1000 small pictures, 200 of each inbuilt format (GIF headers included).
        Run("cd '" + dir +
            "' && ffmpeg -v error -f lavfi -i testsrc2=size=320x240 -frames:v 1 s.ppm && "
            "pnmquant 16 s.ppm > q.ppm 2>/dev/null && cjpeg s.ppm > s.jpg && pnmtopng s.ppm > s.png && "
            "ppmtobmp s.ppm > s.bmp 2>/dev/null && ppmtoilbm q.ppm > s.iff 2>/dev/null && pamtogif q.ppm > s.gif "
            "2>/dev/null "
            "&& mkdir many");
        const char* kinds[] = {"jpg", "png", "bmp", "iff", "gif"};
        for (int i = 0; i < 1000; ++i) {
            std::string name = dir + "/many/p" + std::to_string(i) + "." + kinds[i % 5];
            many.push_back(name);
        }
        std::string copies = "cd '" + dir +
                             "' && for i in $(seq 0 999); do case $((i % 5)) in 0) e=jpg;; 1) e=png;; "
                             "2) e=bmp;; 3) e=iff;; 4) e=gif;; esac; cp s.$e many/p$i.$e; done";
        Run(copies);
    }
    ~BenchFiles() {
        if (dir != "/tmp") Run("rm -rf '" + dir + "'");
    }
    static void Run(const std::string& command) {
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

void LoadWhole(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        qzImageHandle* handle = nullptr;
        int width = 0, height = 0;
        int rc = LoadImageInbuilt(path.c_str(), "inbuilt", nullptr, nullptr, -1, 0, &handle, nullptr, nullptr, &width,
                                  &height, nullptr, nullptr);
        if (rc != 0) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(GetImagePixels(handle));
        FreeImageHandle(handle);
    }
}

void RunTool(benchmark::State& state, const std::string& command) {
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tool failed");
            break;
        }
    }
}

void BM_Jpeg12MP_Ours(benchmark::State& state) { LoadWhole(state, Files().jpeg); }
void BM_Jpeg12MP_Djpeg(benchmark::State& state) { RunTool(state, "djpeg -outfile /dev/null '" + Files().jpeg + "'"); }
void BM_Png4K_Ours(benchmark::State& state) { LoadWhole(state, Files().png); }
void BM_Png4K_Pngtopam(benchmark::State& state) { RunTool(state, "pngtopam '" + Files().png + "' > /dev/null"); }

void BM_InfoMode1000Files(benchmark::State& state) {
    const std::vector<std::string>& many = Files().many;
    for (auto _ : state) {
        for (const std::string& name : many) {
            int width = 0, height = 0, alpha = 0;
            if (LoadImageInbuilt(name.c_str(), nullptr, nullptr, nullptr, -1, 0, nullptr, nullptr, nullptr, &width,
                                 &height, &alpha, nullptr) != 0 ||
                width != 320) {
                state.SkipWithError("information mode failed");
                return;
            }
        }
    }
}

BENCHMARK(BM_Jpeg12MP_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Jpeg12MP_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Png4K_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Png4K_Pngtopam)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_InfoMode1000Files)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the runs' times and prints the ratios after them.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-22s %10s %10s %8s\n", "decode", "ours ms", "tool ms", "ratio");
        Row("12 MP JPEG / djpeg", "BM_Jpeg12MP_Ours", "BM_Jpeg12MP_Djpeg");
        Row("4K PNG / pngtopam", "BM_Png4K_Ours", "BM_Png4K_Pngtopam");
        auto info = times.find("BM_InfoMode1000Files");
        // Milliseconds per 1000 files are microseconds per file.
        if (info != times.end()) std::printf("information mode: %.1f us per file\n", info->second);
    }

private:
    void Row(const char* label, const char* ours, const char* tool) {
        auto a = times.find(ours), b = times.find(tool);
        if (a == times.end() || b == times.end() || b->second <= 0) return;
        std::printf("%-22s %10.1f %10.1f %8.2f\n", label, a->second, b->second, a->second / b->second);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Files();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
