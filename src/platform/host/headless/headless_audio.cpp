// The headless driver's audio device: a null device that pulls the mixed sound in real time at
// 48000 frames per second, or that tests step by hand, and the WAV capture of everything it
// pulled (QUARNELIX_AUDIO_CAPTURE).
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "platform/host/headless/headless.h"
#include "platform/os_time.h"
#include "platform/os_wait.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kBlockFrames = 512;
// A stall longer than this (the process was stopped) is not caught up: the clock starts over.
constexpr uint64_t kMaxCatchUpMicros = 1000000;
// The capture's header is brought up to date after this many frames, so that a player that is
// killed leaves a readable file.
constexpr uint64_t kHeaderEveryFrames = kRate;

// The header of a 32-bit float stereo WAVE file: "RIFF", an 18-byte "fmt " chunk, a "fact" chunk
// with the frame count and the "data" chunk's head.
constexpr long kRiffSizeAt = 4;
constexpr long kFactFramesAt = 46;
constexpr long kDataSizeAt = 54;
constexpr uint32_t kHeaderBytes = 58;

struct Capture {
    FILE* file = nullptr;
    uint64_t frames = 0;
    uint64_t framesAtHeader = 0;
};

struct Device {
    std::mutex mutex;  // open, quit and the thread; the fill runs outside it
    std::condition_variable cond;
    bool open = false;
    bool quit = false;
    bool manual = false;
    qzHostAudioFill fill = nullptr;
    void* user = nullptr;
    std::thread thread;
    std::vector<float> block;  // the thread's block, made before the thread
    std::mutex captureMutex;   // the capture file, written by whoever renders
    Capture capture;
};
Device gDevice;

void PutLE32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

void PutLE16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// Sizes beyond 4 GB saturate; readers then take the data up to the end of the file.
uint32_t Saturate32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

void WriteHeader(Capture* c) {
    unsigned char h[kHeaderBytes];
    uint64_t dataBytes = c->frames * 8;
    std::memcpy(h, "RIFF", 4);
    PutLE32(h + kRiffSizeAt, Saturate32(dataBytes + kHeaderBytes - 8));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLE32(h + 16, 18);
    PutLE16(h + 20, 3);  // IEEE float
    PutLE16(h + 22, 2);
    PutLE32(h + 24, kRate);
    PutLE32(h + 28, kRate * 8);
    PutLE16(h + 32, 8);
    PutLE16(h + 34, 32);
    PutLE16(h + 36, 0);  // no extension
    std::memcpy(h + 38, "fact", 4);
    PutLE32(h + 42, 4);
    PutLE32(h + kFactFramesAt, Saturate32(c->frames));
    std::memcpy(h + 50, "data", 4);
    PutLE32(h + kDataSizeAt, Saturate32(dataBytes));
    long at = std::ftell(c->file);
    std::fseek(c->file, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, c->file);
    if (at > 0) std::fseek(c->file, at, SEEK_SET);
    std::fflush(c->file);
    c->framesAtHeader = c->frames;
}

void CaptureFrames(const float* samples, int32_t frames) {
    std::lock_guard<std::mutex> lock(gDevice.captureMutex);
    Capture* c = &gDevice.capture;
    if (!c->file) return;
    std::fwrite(samples, sizeof(float) * 2, static_cast<size_t>(frames), c->file);
    c->frames += static_cast<uint64_t>(frames);
    if (c->frames - c->framesAtHeader >= kHeaderEveryFrames) WriteHeader(c);
}

// Renders one block and captures it.
void RenderBlock(float* block, int32_t frames) {
    std::memset(block, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
    gDevice.fill(gDevice.user, block, frames);
    CaptureFrames(block, frames);
}

// The real-time null device: one block whenever the clock says it has been played, catching up
// after short delays so that the sound keeps pace with the clock.
void DeviceThread() {
    float* block = gDevice.block.data();
    uint64_t start = OsMonotonicMicros();
    uint64_t played = 0;
    std::unique_lock<std::mutex> lock(gDevice.mutex);
    while (!gDevice.quit) {
        uint64_t due = start + played * 1000000 / kRate;
        uint64_t now = OsMonotonicMicros();
        if (now < due) {
            OsWaitUntil(gDevice.cond, lock, due);
            continue;
        }
        if (now - due > kMaxCatchUpMicros) {
            start = now;
            played = 0;
        }
        lock.unlock();
        RenderBlock(block, kBlockFrames);
        lock.lock();
        played += kBlockFrames;
    }
}

int OpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message) {
    std::lock_guard<std::mutex> lock(gDevice.mutex);
    if (gDevice.open) {
        *message = "the audio device is open already";
        return ERR_OPENAUDIO;
    }
    gDevice.fill = fill;
    gDevice.user = user;
    gDevice.quit = false;
    // The device counts as open only once its thread runs: memory running out while making the
    // thread or its block leaves it closed. The thread waits for the lock held here.
    if (!gDevice.manual) {
        gDevice.block.assign(kBlockFrames * 2, 0.0f);
        try {
            gDevice.thread = std::thread(DeviceThread);
        } catch (const std::system_error& e) {
            *message = std::string("cannot start the audio device's thread: ") + e.what();
            return ERR_OPENAUDIO;
        }
    }
    gDevice.open = true;
    *rate = kRate;
    return 0;
}

void CloseAudio() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(gDevice.mutex);
        if (!gDevice.open) return;
        gDevice.quit = true;
        gDevice.cond.notify_all();
        thread = std::move(gDevice.thread);
    }
    if (thread.joinable()) thread.join();
    std::lock_guard<std::mutex> lock(gDevice.mutex);
    gDevice.open = false;
    gDevice.fill = nullptr;
    gDevice.user = nullptr;
    std::lock_guard<std::mutex> captureLock(gDevice.captureMutex);
    if (gDevice.capture.file) WriteHeader(&gDevice.capture);
}

}  // namespace

int HeadlessAudioInit(std::string* message) {
    const char* path = std::getenv("QUARNELIX_AUDIO_CAPTURE");
    if (!path || !*path) return 0;
    std::lock_guard<std::mutex> lock(gDevice.captureMutex);
    Capture* c = &gDevice.capture;
    c->file = std::fopen(path, "wb");
    if (!c->file) {
        *message = std::string("QUARNELIX_AUDIO_CAPTURE: cannot create \"") + path + "\"";
        return ERR_WRITEFILE;
    }
    c->frames = 0;
    WriteHeader(c);
    std::fseek(c->file, kHeaderBytes, SEEK_SET);
    return 0;
}

void HeadlessAudioShutdown() {
    CloseAudio();
    std::lock_guard<std::mutex> lock(gDevice.captureMutex);
    Capture* c = &gDevice.capture;
    if (c->file) {
        WriteHeader(c);
        std::fclose(c->file);
    }
    *c = Capture();
}

int HeadlessOpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message) {
    return OpenAudio(fill, user, rate, message);
}

void HeadlessCloseAudio() { CloseAudio(); }

void HeadlessSetManualAudio(int manual) {
    std::lock_guard<std::mutex> lock(gDevice.mutex);
    gDevice.manual = manual != 0;
}

int32_t HeadlessRenderAudio(float* out, int32_t frames) {
    {
        std::lock_guard<std::mutex> lock(gDevice.mutex);
        if (!gDevice.open || !gDevice.manual) return 0;
    }
    int32_t done = 0;
    while (done < frames) {
        int32_t n = frames - done < kBlockFrames ? frames - done : kBlockFrames;
        RenderBlock(out + 2 * static_cast<size_t>(done), n);
        done += n;
    }
    return done;
}
