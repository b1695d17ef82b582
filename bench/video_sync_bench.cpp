// Picture and sound of a long video played for real: a CDXL file written here (25 frames per
// second, 32 x 16 pixels, 16000 Hz mono sound; each frame's number in its palette, a 10 ms tone
// burst at the start of every second of its sound) plays through the video engine on the
// headless driver's sound output. This program pulls the mixed sound itself at the device's pace
// (48000 frames per second in blocks of 512), so it knows when each burst is heard; the engine's
// output tells it when each picture is handed to the display. For every second of the file the
// offset is the time the picture of that second was shown minus the time its burst was heard
// (positive: the picture is late); a picture dropped is placed from the nearest one shown.
//
// Two machines: one fast enough, and one that takes 60 ms (one and a half frames) to draw each
// picture, which must drop frames rather than drift. Reported per run: pictures shown and dropped,
// the offsets (median and largest size, mean over the first and the last minute, their difference
// as the drift), and the share of seconds within one frame (40 ms).
//
// The file lasts QZ_VIDEO_SYNC_SECONDS seconds (default 600): each run takes that long.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/byte_order.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_events.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "video/video_engine.h"

namespace {

constexpr int kFps = 25;
constexpr int kChunk = 6144;  // 153600 / 6144 = 25 frames per second
constexpr int kWidth = 32, kHeight = 16;
constexpr int kAudioBytes = 640;  // 16000 Hz
constexpr int kBurstSamples = 160;
constexpr int32_t kDeviceRate = 48000;
constexpr int32_t kBlock = 512;
constexpr double kFrame = 1.0 / kFps;

int Seconds() {
    const char* s = std::getenv("QZ_VIDEO_SYNC_SECONDS");
    int n = s ? std::atoi(s) : 600;
    return n > 2 ? n : 600;
}

// Frame f: the left half of colour 1, the right half of colour 2, whose palette words hold the
// high and the low 12 bits of f.
std::string WriteCdxl(int frames) {
    std::string path = "/tmp/qzvideosync-" + std::to_string(getpid()) + ".cdxl";
    std::string out;
    out.reserve(static_cast<size_t>(frames) * kChunk);
    const int rowBytes = (kWidth + 15) / 16 * 2;
    for (int f = 0; f < frames; ++f) {
        size_t start = out.size();
        out += '\1';
        out += '\0';
        AppendBE32(out, kChunk);
        AppendBE32(out, f == 0 ? 0 : kChunk);
        AppendBE32(out, static_cast<uint32_t>(f));
        AppendBE16(out, kWidth);
        AppendBE16(out, kHeight);
        out += '\0';
        out += '\2';
        AppendBE16(out, 8);
        AppendBE16(out, kAudioBytes);
        out.append(8, '\0');
        AppendBE16(out, 0);
        AppendBE16(out, static_cast<uint32_t>(f >> 12) & 0xFFF);
        AppendBE16(out, static_cast<uint32_t>(f) & 0xFFF);
        AppendBE16(out, 0);
        for (int y = 0; y < kHeight; ++y) {
            for (int plane = 0; plane < 2; ++plane)
                for (int b = 0; b < rowBytes; ++b) out += (b < rowBytes / 2) == (plane == 0) ? '\xff' : '\0';
        }
        for (int i = 0; i < kAudioBytes; ++i) {
            bool burst = f % kFps == 0 && i < kBurstSamples;
            out += static_cast<char>(burst ? ((i / 8) % 2 ? 100 : -100) : 0);
        }
        out.resize(start + kChunk, '\0');
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return "";
    bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    ok = std::fclose(file) == 0 && ok;
    return ok ? path : "";
}

struct Run {
    std::mutex mutex;
    std::vector<double> shownAt;  // per frame: wall time, -1 when not shown
    int drawDelayMs = 0;
};

uint32_t Nibbles(uint32_t argb) {
    return ((argb >> 16) & 255) / 17 << 8 | ((argb >> 8) & 255) / 17 << 4 | (argb & 255) / 17;
}

void Draw(void* user, qzVideoEngine*, const uint32_t* pixels, int32_t width, int32_t, int32_t) {
    auto* run = static_cast<Run*>(user);
    double now = VideoWallTime();
    uint32_t frame = Nibbles(pixels[0]) << 12 | Nibbles(pixels[width - 1]);
    {
        std::lock_guard<std::mutex> lock(run->mutex);
        if (frame < run->shownAt.size() && run->shownAt[frame] < 0) run->shownAt[frame] = now;
    }
    if (run->drawDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(run->drawDelayMs));
}

void Ended(void*, qzVideoEngine*) {}

// Pulls the mixed sound block by block at the device's pace until stop; the wall time at which
// each burst starts is heard.
void PullSound(std::atomic<bool>* stop, std::vector<double>* bursts) {
    std::vector<float> block(kBlock * 2);
    const double start = VideoWallTime();
    int64_t pulled = 0;
    int64_t quiet = kDeviceRate;  // samples since the last loud one
    while (!stop->load()) {
        double due = start + static_cast<double>(pulled) / kDeviceRate;
        double wait = due - VideoWallTime();
        if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        int32_t got = HeadlessRenderAudio(block.data(), kBlock);
        if (got <= 0) {
            std::fill(block.begin(), block.end(), 0.0f);
            got = kBlock;
        }
        for (int32_t i = 0; i < got; i++) {
            if (std::fabs(block[static_cast<size_t>(i) * 2]) > 0.05f) {
                if (quiet > kDeviceRate / 2) bursts->push_back(start + static_cast<double>(pulled + i) / kDeviceRate);
                quiet = 0;
            } else {
                quiet++;
            }
        }
        pulled += got;
    }
}

struct Result {
    int shown = 0, dropped = 0, seconds = 0, bursts = 0;
    double median = 0, largest = 0, firstMinute = 0, lastMinute = 0, withinFrame = 0;
};

Result Measure(const std::vector<double>& shownAt, const std::vector<double>& bursts, int seconds) {
    Result r;
    r.seconds = seconds;
    r.bursts = static_cast<int>(bursts.size());
    for (double t : shownAt) (t >= 0 ? r.shown : r.dropped)++;
    std::vector<double> offsets;
    for (int k = 0; k < seconds && k < static_cast<int>(bursts.size()); k++) {
        int frame = k * kFps;
        // The picture of second k, or the nearest one shown, placed by the frame time between them.
        for (int d = 0; d <= kFps / 2; d++) {
            int j = -1;
            if (frame + d < static_cast<int>(shownAt.size()) && shownAt[frame + d] >= 0)
                j = frame + d;
            else if (frame - d >= 0 && shownAt[frame - d] >= 0)
                j = frame - d;
            if (j < 0) continue;
            offsets.push_back(shownAt[j] - (j - frame) * kFrame - bursts[k]);
            break;
        }
    }
    if (offsets.empty()) return r;
    int minute = std::min<int>(60, static_cast<int>(offsets.size()) / 2);
    for (int i = 0; i < minute; i++) {
        r.firstMinute += offsets[i] / minute;
        r.lastMinute += offsets[offsets.size() - 1 - i] / minute;
    }
    std::vector<double> sizes;
    for (double o : offsets) sizes.push_back(std::fabs(o));
    std::sort(sizes.begin(), sizes.end());
    r.median = sizes[sizes.size() / 2];
    r.largest = sizes.back();
    r.withinFrame =
        static_cast<double>(std::count_if(sizes.begin(), sizes.end(), [](double s) { return s <= kFrame; })) /
        static_cast<double>(sizes.size());
    return r;
}

void BM_VideoSync(benchmark::State& state) {
    const int seconds = Seconds();
    const int frames = seconds * kFps;
    static std::string file;
    if (file.empty()) file = WriteCdxl(frames);
    if (file.empty()) {
        state.SkipWithError("the CDXL file could not be written");
        return;
    }
    setenv("QUARNELIX_DRIVER", "headless", 1);
    unsetenv("QUARNELIX_AUDIO_CAPTURE");
    std::string message;
    if (HostStartDriver(&message) != 0) {
        state.SkipWithError(message.c_str());
        return;
    }
    HeadlessSetManualAudio(1);
    InitSoundEventMutex();
    InitSoundChannels(8, 30);
    for (auto _ : state) {
        Run run;
        run.drawDelayMs = static_cast<int>(state.range(0));
        run.shownAt.assign(static_cast<size_t>(frames), -1.0);
        qzVideoPlayer* player = nullptr;
        int32_t width = 0, height = 0, canSeek = 0;
        uint32_t duration = 0;
        if (OpenVideoPlayer(file.c_str(), "inbuilt", nullptr, &player, &width, &height, &duration, &canSeek) != 0) {
            state.SkipWithError("the engine did not open the CDXL file");
            break;
        }
        qzVideoOutput output = {Draw, Ended, &run};
        SetVideoPlayerOutput(player, &output);
        std::atomic<bool> stop{false};
        std::vector<double> bursts;
        std::thread puller(PullSound, &stop, &bursts);
        double began = VideoWallTime();
        if (StartVideoPlayer(player, qzObjectId{}, nullptr, 0, 0, width, height, 64, 0, nullptr) != 0) {
            stop = true;
            puller.join();
            CloseVideoPlayer(player);
            state.SkipWithError("the video did not start");
            break;
        }
        while (!player->engine->ended.load() && VideoWallTime() - began < seconds + 30)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
        puller.join();
        state.SetIterationTime(VideoWallTime() - began);
        CloseVideoPlayer(player);
        Result r;
        {
            std::lock_guard<std::mutex> lock(run.mutex);
            r = Measure(run.shownAt, bursts, seconds);
        }
        state.counters["shown"] = r.shown;
        state.counters["dropped"] = r.dropped;
        state.counters["bursts"] = r.bursts;
        state.counters["median_ms"] = r.median * 1000.0;
        state.counters["largest_ms"] = r.largest * 1000.0;
        state.counters["first_min_ms"] = r.firstMinute * 1000.0;
        state.counters["last_min_ms"] = r.lastMinute * 1000.0;
        state.counters["drift_ms"] = (r.lastMinute - r.firstMinute) * 1000.0;
        state.counters["within_frame"] = r.withinFrame;
        std::printf(
            "%d s at %d fps, draw %d ms: %d shown, %d dropped, %d of %d bursts heard; offset median %.1f ms, "
            "largest %.1f ms, first minute %+.1f ms, last minute %+.1f ms, drift %+.1f ms, "
            "%.1f%% of seconds within one frame\n",
            seconds, kFps, run.drawDelayMs, r.shown, r.dropped, r.bursts, seconds, r.median * 1000.0,
            r.largest * 1000.0, r.firstMinute * 1000.0, r.lastMinute * 1000.0, (r.lastMinute - r.firstMinute) * 1000.0,
            r.withinFrame * 100.0);
    }
    FreeSoundEventsAtExit();
    HostStopDriver();
    std::remove(file.c_str());
    file.clear();
}

}  // namespace

BENCHMARK(BM_VideoSync)->Arg(0)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
