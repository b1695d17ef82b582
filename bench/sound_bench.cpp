// The sound output and the system audio-file decoder, each beside the tool a user would otherwise
// pick, in one run:
// - mixing 8 and 32 playing channels (16-bit stereo at 44100 Hz, 16-bit mono at 48000 Hz,
//   unsigned 8-bit mono at 22050 Hz and signed 8-bit stereo at 32000 Hz in turn) into one second
//   of 48000 Hz output through the native output and the headless device, beside libswresample
//   converting the same inputs to 48000 Hz float stereo and summing them;
// - decoding a 60-second MP3 through the system decoder, beside `ffmpeg -f null` on the same
//   file (its own CPU time, as -benchmark reports it).
// A table of ratios (ours / theirs, lower is better) and the share of a core per second of audio
// follows the benchmarks.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "media/sound/audio_channels.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "platform/os_alloc.h"

namespace {

constexpr int32_t kOutRate = 48000;

struct Input {
    uint32_t rate;
    int32_t format;  // engine code
};
const Input kInputs[4] = {{44100, 5}, {48000, 4}, {22050, 0}, {32000, 3}};

// Two seconds of noise in the input's format.
qzSound* MakeSound(const Input& in) {
    uint32_t frames = in.rate * 2;
    uint32_t bpf = GetFrameBytesForFormat(in.format);
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(frames) * bpf, 0));
    uint32_t seed = 1;
    for (size_t i = 0; i < static_cast<size_t>(frames) * bpf; i++) {
        seed = seed * 1664525u + 1013904223u;
        data[i] = static_cast<unsigned char>(seed >> 24);
    }
    qzSound* sound = nullptr;
    int32_t code = in.format;
    if (code < 2) {
        // Unsigned 8-bit: the record as a WAVE file would give it.
        NewSoundRecord(data, frames, in.rate, code + 2, &sound, nullptr);
        sound->flags = 0;
        sound->format = code;
    } else {
        NewSoundRecord(data, frames, in.rate, code, &sound, nullptr);
    }
    return sound;
}

struct Sounds {
    std::vector<qzSound*> sounds;
    Sounds() {
        for (const Input& in : kInputs) sounds.push_back(MakeSound(in));
    }
};
Sounds& AllSounds() {
    static Sounds s;
    return s;
}

void BM_Mixer_Ours(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    setenv("QUARNELIX_DRIVER", "headless", 1);
    unsetenv("QUARNELIX_AUDIO_CAPTURE");
    std::string message;
    HostStartDriver(&message);
    HeadlessSetManualAudio(1);
    InitSoundEventMutex();
    if (InitSoundChannels(channels, 30) != 0) {
        state.SkipWithError("no sound output");
        return;
    }
    for (int i = 0; i < channels; i++) {
        qzSound* s = AllSounds().sounds[static_cast<size_t>(i) % 4];
        PlaySoundOnChannel(s, qzObjectId{i + 1, nullptr}, s->format, 0, static_cast<int32_t>(s->rate), 48,
                           (i * 37) % 256, -1, 1000000, nullptr);
    }
    StartPendingSamples();
    std::vector<float> out(2 * kOutRate);
    for (auto _ : state) {
        HeadlessRenderAudio(out.data(), kOutRate);
        benchmark::DoNotOptimize(out.data());
    }
    FreeSoundEventsAtExit();
    HeadlessSetManualAudio(0);
    HostStopDriver();
}

// libswresample: every input converted to 48000 Hz float stereo, then summed.
void BM_Mixer_Swr(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    struct Conv {
        SwrContext* swr;
        const qzSound* sound;
        size_t at;
    };
    std::vector<Conv> convs;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    for (int i = 0; i < channels; i++) {
        const qzSound* s = AllSounds().sounds[static_cast<size_t>(i) % 4];
        AVChannelLayout in;
        av_channel_layout_default(&in, static_cast<int>(s->channels));
        // libswresample has no signed 8-bit format: unsigned 8-bit costs the same.
        AVSampleFormat fmt = s->bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
        SwrContext* swr = nullptr;
        swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kOutRate, &in, fmt, static_cast<int>(s->rate), 0,
                            nullptr);
        swr_init(swr);
        convs.push_back({swr, s, 0});
    }
    std::vector<float> out(2 * kOutRate), sum(2 * kOutRate);
    for (auto _ : state) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (Conv& c : convs) {
            int needIn = static_cast<int>(c.sound->rate);  // one second of input
            const uint8_t* in[1] = {c.sound->data + c.at * c.sound->bytesPerFrame};
            uint8_t* o[1] = {reinterpret_cast<uint8_t*>(out.data())};
            int got = swr_convert(c.swr, o, kOutRate, in, needIn);
            c.at = (c.at + static_cast<size_t>(needIn)) % c.sound->rate;
            for (int k = 0; k < 2 * got; k++) sum[static_cast<size_t>(k)] += out[static_cast<size_t>(k)] * 0.9f;
        }
        for (float& v : sum) v = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v;
        benchmark::DoNotOptimize(sum.data());
    }
    for (Conv& c : convs) swr_free(&c.swr);
}

std::string& Mp3File() {
    static std::string path = [] {
        std::string p = "/tmp/qzsoundbench.mp3";
        std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i 'anoisesrc=d=60:r=44100:a=0.3' -b:a 192k '" + p +
                              "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) p.clear();
        return p;
    }();
    return path;
}

void BM_Mp3Decode_Ours(benchmark::State& state) {
    if (Mp3File().empty()) {
        state.SkipWithError("ffmpeg made no MP3");
        return;
    }
    for (auto _ : state) {
        qzSoundSource* source = nullptr;
        OpenSoundSource(Mp3File().c_str(), "native", nullptr, 0, 1, &source, nullptr);
        std::vector<int16_t> block(8192 * 2);
        int end = 0;
        uint64_t frames = 0;
        while (uint32_t got = DecodeSoundSource(source, block.data(), 8192, &end)) frames += got;
        benchmark::DoNotOptimize(frames);
        CloseSoundSource(source);
    }
}

void BM_Mp3Decode_Ffmpeg(benchmark::State& state) {
    if (Mp3File().empty()) {
        state.SkipWithError("ffmpeg made no MP3");
        return;
    }
    for (auto _ : state) {
        std::string command = "ffmpeg -nostdin -benchmark -i '" + Mp3File() + "' -f null - 2>&1";
        double utime = 0, stime = 0;
        if (FILE* p = popen(command.c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, p)) {
                double u, s, r;
                if (std::sscanf(line, "bench: utime=%lfs stime=%lfs rtime=%lfs", &u, &s, &r) == 3) {
                    utime = u;
                    stime = s;
                }
            }
            pclose(p);
        }
        state.SetIterationTime(utime + stime);
    }
}

// Keeps every run's time for the ratio table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            // The other tool's own CPU time comes as manual time.
            if (r.run_type == Run::RT_Iteration) {
                std::string name = r.benchmark_name();
                bool manual = name.find("manual_time") != std::string::npos;
                ms[name] = manual ? r.GetAdjustedRealTime() : r.GetAdjustedCPUTime();
            }
        }
    }
};

}  // namespace

BENCHMARK(BM_Mixer_Ours)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mixer_Swr)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3Decode_Ours)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Mp3Decode_Ffmpeg)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-28s %10s %10s %10s\n", "operation", "ours ms", "other ms", "ours/other");
    const char* rows[][3] = {
        {"mix 8 channels, 1 s", "BM_Mixer_Ours/8", "BM_Mixer_Swr/8"},
        {"mix 32 channels, 1 s", "BM_Mixer_Ours/32", "BM_Mixer_Swr/32"},
        {"decode 60 s of MP3", "BM_Mp3Decode_Ours/iterations:5", "BM_Mp3Decode_Ffmpeg/iterations:5/manual_time"},
    };
    for (const auto& row : rows) {
        auto ours = reporter.ms.find(row[1]);
        auto other = reporter.ms.find(row[2]);
        if (ours == reporter.ms.end() || other == reporter.ms.end() || other->second <= 0) continue;
        std::printf("%-28s %10.3f %10.3f %10.2f\n", row[0], ours->second, other->second, ours->second / other->second);
    }
    for (const char* name : {"BM_Mixer_Ours/8", "BM_Mixer_Ours/32"}) {
        auto it = reporter.ms.find(name);
        if (it != reporter.ms.end())
            std::printf("%-28s %9.3f%% of a core per second of audio\n", name + 3, it->second / 10.0);
    }
    benchmark::Shutdown();
    return 0;
}
