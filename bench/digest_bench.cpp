// MD5 and CRC-32 of a large file: our file digests beside md5sum and zlib's crc32 over the same
// file. The file is 64 MB; QZ_DIGEST_BENCH_MB sets another size (e.g. 256).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "base/crc32.h"
#include "base/md5.h"
#include "libs/dos/dos.h"

namespace {

struct BenchFile {
    std::string path;
    size_t size = 0;
    BenchFile() {
        size_t mb = 64;
        if (const char* env = std::getenv("QZ_DIGEST_BENCH_MB")) mb = std::strtoul(env, nullptr, 10);
        if (mb == 0) mb = 64;
        size = mb << 20;
        char tmpl[] = "/tmp/qzdigestbench.XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd < 0) return;
        path = tmpl;
        std::vector<unsigned char> block(1 << 20);
        uint32_t seed = 1;
        for (size_t done = 0; done < size; done += block.size()) {
            for (unsigned char& c : block) c = (unsigned char)((seed = seed * 1664525u + 1013904223u) >> 24);
            if (write(fd, block.data(), block.size()) != (ssize_t)block.size()) break;
        }
        close(fd);
    }
    ~BenchFile() {
        if (!path.empty()) unlink(path.c_str());
    }
};

BenchFile& File() {
    static BenchFile file;
    return file;
}

void BM_Md5File(benchmark::State& state) {
    std::string hex;
    for (auto _ : state) {
        if (Md5File(File().path.c_str(), &hex) != 0) state.SkipWithError("Md5File failed");
        benchmark::DoNotOptimize(hex);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)File().size);
}

void BM_Md5sum(benchmark::State& state) {
    std::string cmd = "md5sum " + File().path, ours;
    Md5File(File().path.c_str(), &ours);
    for (auto _ : state) {
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[128];
            if (fgets(buf, sizeof buf, p)) out = buf;
            pclose(p);
        }
        if (out.compare(0, 32, ours) != 0) state.SkipWithError("md5sum disagrees");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)File().size);
}

void BM_Crc32File(benchmark::State& state) {
    uint32_t crc = 0;
    for (auto _ : state) {
        if (Crc32File(File().path.c_str(), &crc) != 0) state.SkipWithError("Crc32File failed");
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)File().size);
}

void BM_ZlibCrc32File(benchmark::State& state) {
    uint32_t ours = 0;
    Crc32File(File().path.c_str(), &ours);
    std::vector<unsigned char> block(65536);
    for (auto _ : state) {
        uLong crc = crc32(0, nullptr, 0);
        if (FILE* f = std::fopen(File().path.c_str(), "rb")) {
            size_t got;
            while ((got = std::fread(block.data(), 1, block.size(), f)) > 0) crc = crc32(crc, block.data(), (uInt)got);
            std::fclose(f);
        }
        if (crc != ours) state.SkipWithError("zlib disagrees");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)File().size);
}

}  // namespace

BENCHMARK(BM_Md5File)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Md5sum)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Crc32File)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibCrc32File)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
