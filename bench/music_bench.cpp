// Music and samples mixed in real time on the headless device, beside libswresample doing the same
// resampling, in one run. Eight channels play at once: two WAVE music streams (16-bit stereo at
// 44100 Hz and 16-bit mono at 22050 Hz), each decoded by its refill thread, a four-voice module
// rendered in the output callback, and five looping samples (16-bit mono at 48000 Hz, unsigned
// 8-bit mono at 22050 Hz, signed 8-bit stereo at 32000 Hz, signed 8-bit mono at 11025 Hz, 16-bit
// stereo at 44100 Hz), while the device pulls 48000 frames a second as a sound card would.
// - ours: the process's CPU time (every thread: the device's, the refill threads') over the real
//   time it played, and, with the device stepped by hand, the CPU time of rendering one second at
//   once (the mixing alone, without the device thread's wake-ups);
// - libswresample: its CPU time converting one second of the same eight inputs to 48000 Hz float
//   stereo and summing them.
// A table gives the ratio (lower is better) and the share of one core.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "media/sound/audio_channels.h"
#include "media/sound/module_replayer.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "media/sound/stream_channel.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "platform/os_alloc.h"

namespace {

constexpr int32_t kOutRate = 48000;
constexpr int kMusicSeconds = 10;

struct Input {
    uint32_t rate;
    int32_t format;  // engine code: 0 unsigned 8-bit mono, 2/3 signed 8-bit mono/stereo, 4/5 16-bit
};
const Input kMusics[2] = {{44100, 5}, {22050, 4}};
const Input kSamples[5] = {{48000, 4}, {22050, 0}, {32000, 3}, {11025, 2}, {44100, 5}};

// Noise bytes.
std::vector<unsigned char> Noise(size_t bytes, uint32_t seed) {
    std::vector<unsigned char> out(bytes);
    for (unsigned char& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    return out;
}

void PutLE(std::string* s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) s->push_back(static_cast<char>(v >> (8 * i)));
}

// A 16-bit WAVE file of kMusicSeconds seconds of noise in /tmp: its name.
std::string MusicFile(const Input& in, int index) {
    const uint32_t channels = in.format == 5 ? 2 : 1;
    const uint32_t bpf = 2 * channels;
    std::vector<unsigned char> data = Noise(static_cast<size_t>(in.rate) * kMusicSeconds * bpf, 7 + index);
    std::string file = "RIFF";
    PutLE(&file, static_cast<uint32_t>(36 + data.size()), 4);
    file += "WAVEfmt ";
    PutLE(&file, 16, 4);
    PutLE(&file, 1, 2);
    PutLE(&file, channels, 2);
    PutLE(&file, in.rate, 4);
    PutLE(&file, in.rate * bpf, 4);
    PutLE(&file, bpf, 2);
    PutLE(&file, 16, 2);
    file += "data";
    PutLE(&file, static_cast<uint32_t>(data.size()), 4);
    file.append(reinterpret_cast<const char*>(data.data()), data.size());
    std::string path = "/tmp/qzmusicbench" + std::to_string(index) + ".wav";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
    return path;
}

// A module of one pattern: every row starts a note on each of the four voices, with a looping
// square-wave sample, so that all four voices mix all the time. In memory from OsAlloc, as the
// replayer takes it over.
qzModule* MakeModule() {
    std::vector<unsigned char> f(1084, 0);
    std::memcpy(f.data(), "bench", 5);
    unsigned char* h = f.data() + 20;
    const int words = 32;  // 64 bytes: two square cycles
    h[22] = 0;
    h[23] = words;
    h[25] = 48;     // volume
    h[29] = words;  // loop over the whole sample
    f[950] = 1;
    f[951] = 127;
    std::memcpy(f.data() + 1080, "M.K.", 4);
    const int periods[4] = {428, 381, 339, 285};
    for (int row = 0; row < 64; row++) {
        for (int voice = 0; voice < 4; voice++) {
            int period = periods[(row + voice) % 4];
            f.push_back(static_cast<unsigned char>((period >> 8) & 0x0F));
            f.push_back(static_cast<unsigned char>(period));
            f.push_back(0x10);  // sample 1, no effect
            f.push_back(0);
        }
    }
    for (int i = 0; i < 2 * words; i++) f.push_back(static_cast<unsigned char>(i % 32 < 16 ? 60 : 196));
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(f.size(), 0));
    std::memcpy(data, f.data(), f.size());
    qzModule* module = OpenModule(data, f.size(), kOutRate);
    if (!module) OsFree(data);
    return module;
}

// Two seconds of noise in the input's format, as a sample.
qzSound* MakeSound(const Input& in, uint32_t seed) {
    uint32_t frames = in.rate * 2;
    uint32_t bpf = GetFrameBytesForFormat(in.format);
    std::vector<unsigned char> noise = Noise(static_cast<size_t>(frames) * bpf, seed);
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(noise.size(), 0));
    std::memcpy(data, noise.data(), noise.size());
    qzSound* sound = nullptr;
    if (in.format < 2) {
        // Unsigned 8-bit: the record as a WAVE file would give it.
        NewSoundRecord(data, frames, in.rate, in.format + 2, &sound, nullptr);
        sound->flags = 0;
        sound->format = in.format;
    } else {
        NewSoundRecord(data, frames, in.rate, in.format, &sound, nullptr);
    }
    return sound;
}

// Waits until every stream's refill thread has filled what it may.
void WaitStreamsFilled() {
    for (int32_t i = 0; i < GetSoundChannelCount(); i++) {
        const qzAudioChannel* c = &GetSoundChannels()[i];
        for (int wait = 0; wait < 2000 && c->state.load() == QZ_CHANNEL_STREAM && !IsStreamChannelFilled(c); wait++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Argument 0: the device's own thread pulls in real time, and each iteration waits a second;
// 1: the device is stepped by hand, and each iteration renders a second at once (the mixing
// alone, without the device's wake-ups).
void BM_MusicMix_Ours(benchmark::State& state) {
    const bool stepped = state.range(0) == 1;
    setenv("QUARNELIX_DRIVER", "headless", 1);
    unsetenv("QUARNELIX_AUDIO_CAPTURE");
    unsetenv("QUARNELIX_INPUT");
    std::string message;
    if (HostStartDriver(&message) != 0) {
        state.SkipWithError(message.c_str());
        return;
    }
    HeadlessSetManualAudio(stepped ? 1 : 0);
    InitSoundEventMutex();
    if (InitSoundChannels(8, 30) != 0) {
        state.SkipWithError("no sound output");
        HostStopDriver();
        return;
    }
    std::vector<qzSoundSource*> sources;
    int32_t id = 1;
    for (int i = 0; i < 2; i++) {
        qzSoundSource* source = nullptr;
        if (OpenSoundSource(MusicFile(kMusics[i], i).c_str(), "inbuilt", nullptr, 0, 1, &source, nullptr) == 0) {
            sources.push_back(source);
            PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, qzObjectId{id++, nullptr}, 0, 1, 48, nullptr);
        }
    }
    qzModule* module = MakeModule();
    if (module) PlayMusicOnChannel(QZ_MUSIC_MODULE, module, qzObjectId{id++, nullptr}, 0, 1, 48, nullptr);
    std::vector<qzSound*> sounds;
    for (int i = 0; i < 5; i++) {
        qzSound* s = MakeSound(kSamples[i], 11 + i);
        sounds.push_back(s);
        PlaySoundOnChannel(s, qzObjectId{id++, nullptr}, s->format, 0, static_cast<int32_t>(s->rate), 48,
                           (i * 51) % 256, -1, 1000000, nullptr);
    }
    StartPendingSamples();
    int playing = 0;
    for (int i = 0; i < GetSoundChannelCount(); i++) playing += GetSoundChannels()[i].state.load() != 0;
    state.counters["channels"] = playing;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the streams' first refills
    std::vector<float> out(2 * kOutRate);
    for (auto _ : state) {
        if (!stepped) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            continue;
        }
        state.PauseTiming();
        WaitStreamsFilled();
        state.ResumeTiming();
        HeadlessRenderAudio(out.data(), kOutRate);
        benchmark::DoNotOptimize(out.data());
    }
    HeadlessSetManualAudio(0);
    for (qzSoundSource* source : sources) StopMusicOnChannel(QZ_MUSIC_SOURCE, source, 0, nullptr, nullptr);
    if (module) StopMusicOnChannel(QZ_MUSIC_MODULE, module, 0, nullptr, nullptr);
    StopSoundChannels(nullptr);
    FreeSoundEventsAtExit();
    for (qzSoundSource* source : sources) CloseSoundSource(source);
    if (module) FreeModule(module);
    for (qzSound* s : sounds) FreeSoundRecord(s);
    HostStopDriver();
}

// libswresample: one second of each of the eight inputs converted to 48000 Hz float stereo, then
// summed and clipped.
void BM_MusicMix_Swr(benchmark::State& state) {
    struct Conv {
        SwrContext* swr;
        std::vector<unsigned char> data;  // two seconds
        uint32_t rate;
        uint32_t bpf;
        size_t at;
    };
    std::vector<Input> inputs(kMusics, kMusics + 2);
    inputs.push_back({kOutRate, 5});  // the module's rendered 16-bit stereo
    inputs.insert(inputs.end(), kSamples, kSamples + 5);
    std::vector<Conv> convs;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    uint32_t seed = 3;
    for (const Input& in : inputs) {
        const int channels = in.format == 3 || in.format == 5 ? 2 : 1;
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels);
        // libswresample has no signed 8-bit format: unsigned 8-bit costs the same.
        AVSampleFormat fmt = in.format <= 3 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
        SwrContext* swr = nullptr;
        swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kOutRate, &layout, fmt, static_cast<int>(in.rate), 0,
                            nullptr);
        swr_init(swr);
        uint32_t bpf = GetFrameBytesForFormat(in.format);
        convs.push_back({swr, Noise(static_cast<size_t>(in.rate) * 2 * bpf, seed++), in.rate, bpf, 0});
    }
    std::vector<float> out(2 * kOutRate + 1024), sum(2 * kOutRate);
    for (auto _ : state) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (Conv& c : convs) {
            const int frames = static_cast<int>(c.rate);  // one second of input
            const uint8_t* in[1] = {c.data.data() + c.at * c.bpf};
            uint8_t* o[1] = {reinterpret_cast<uint8_t*>(out.data())};
            int got = swr_convert(c.swr, o, kOutRate + 512, in, frames);
            c.at = (c.at + static_cast<size_t>(frames)) % c.rate;
            for (int k = 0; k < 2 * got && k < 2 * kOutRate; k++)
                sum[static_cast<size_t>(k)] += out[static_cast<size_t>(k)] * 0.75f;
        }
        for (float& v : sum) v = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v;
        benchmark::DoNotOptimize(sum.data());
    }
    for (Conv& c : convs) swr_free(&c.swr);
}

// Keeps every run's CPU and real time for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::pair<double, double>> ms;  // CPU, real
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration)
                ms[r.benchmark_name()] = {r.GetAdjustedCPUTime(), r.GetAdjustedRealTime()};
    }
};

}  // namespace

BENCHMARK(BM_MusicMix_Ours)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_MusicMix_Swr)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto other = reporter.ms.find("BM_MusicMix_Swr");
    if (other == reporter.ms.end() || other->second.first <= 0) {
        benchmark::Shutdown();
        return 0;
    }
    const double otherPerSecond = other->second.first;  // CPU ms per second of sound
    std::printf("\n%-44s %10s %10s %9s\n", "mix 8 channels of music and samples", "ours ms/s", "swr ms/s", "ours/swr");
    const char* rows[][2] = {
        {"in real time on the headless device", "BM_MusicMix_Ours/0/iterations:5/process_time/real_time"},
        {"stepped by hand (the mixing alone)", "BM_MusicMix_Ours/1/iterations:5/process_time/real_time"},
    };
    for (const auto& row : rows) {
        auto ours = reporter.ms.find(row[1]);
        if (ours == reporter.ms.end() || ours->second.second <= 0) continue;
        // In real time: CPU ms per second played; stepped: CPU ms per iteration, a second of sound.
        const bool realTime = std::strstr(row[1], "/0/") != nullptr;
        const double perSecond = realTime ? ours->second.first / ours->second.second * 1000.0 : ours->second.first;
        std::printf("%-44s %10.3f %10.3f %9.2f   %.3f%% of one core\n", row[0], perSecond, otherPerSecond,
                    perSecond / otherPerSecond, perSecond / 10.0);
    }
    benchmark::Shutdown();
    return 0;
}
