#include "platform/audio_graph.h"

#include <semaphore.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "platform/audio_converter.h"
#include "platform/host/event_loop.h"
#include "platform/host/host.h"

namespace {

struct Bus {
    std::atomic<qzBusRenderProc> proc{nullptr};
    std::atomic<void*> refCon{nullptr};
    std::atomic<uint32_t> channels{2};
    std::atomic<float> gain{1.0f};
    std::atomic<float> pan{0.5f};
};

struct Graph {
    bool built = false;
    bool deviceOpen = false;
    int32_t rate = 0;
    int32_t busCount = 0;
    Bus* buses = nullptr;
    std::atomic<qzRenderNotifyProc> notify{nullptr};
    std::atomic<void*> notifyRefCon{nullptr};
    // Scratch of the device's thread, allocated with the graph.
    std::vector<float> busBuffer;
    std::vector<float> sum;
    // The wake-up helper: the device's thread posts the semaphore, the helper wakes the main
    // thread.
    sem_t wakeSemaphore;
    std::thread waker;
    std::atomic<bool> wakerQuit{false};
    bool wakerRunning = false;
};
Graph gGraph;

void WakerThread() {
    for (;;) {
        while (sem_wait(&gGraph.wakeSemaphore) != 0) {
        }
        if (gGraph.wakerQuit.load()) break;
        MacForceEventLoopIteration();
    }
}

// 0, or ERR_OPENAUDIO with the reason when the system refuses the thread (std::bad_alloc when
// memory runs out making it).
int StartWaker(std::string* message) {
    if (gGraph.wakerRunning || sem_init(&gGraph.wakeSemaphore, 0, 0) != 0) return 0;
    gGraph.wakerQuit.store(false);
    try {
        gGraph.waker = std::thread(WakerThread);
    } catch (const std::system_error& e) {
        sem_destroy(&gGraph.wakeSemaphore);
        *message = std::string("cannot start the sound's wake-up thread: ") + e.what();
        return ERR_OPENAUDIO;
    } catch (const std::bad_alloc&) {
        sem_destroy(&gGraph.wakeSemaphore);
        throw;
    }
    gGraph.wakerRunning = true;
    return 0;
}

void StopWaker() {
    if (!gGraph.wakerRunning) return;
    gGraph.wakerQuit.store(true);
    sem_post(&gGraph.wakeSemaphore);
    gGraph.waker.join();
    sem_destroy(&gGraph.wakeSemaphore);
    gGraph.wakerRunning = false;
}

void DeviceFill(void*, float* out, int32_t frames) { AudioGraphRender(out, frames); }

Bus* BusAt(int32_t bus) {
    if (!gGraph.buses || bus < 0 || bus >= gGraph.busCount) return nullptr;
    return &gGraph.buses[bus];
}

void RenderStep(float* out, int32_t frames) {
    qzRenderNotifyProc notify = gGraph.notify.load(std::memory_order_acquire);
    void* notifyRefCon = gGraph.notifyRefCon.load(std::memory_order_acquire);
    if (notify) notify(notifyRefCon, 0);
    float* sum = gGraph.sum.data();
    float* buffer = gGraph.busBuffer.data();
    const size_t samples = 2 * static_cast<size_t>(frames);
    std::memset(sum, 0, samples * sizeof(float));
    for (int32_t i = 0; i < gGraph.busCount; i++) {
        Bus& bus = gGraph.buses[i];
        qzBusRenderProc proc = bus.proc.load(std::memory_order_acquire);
        if (!proc) continue;
        uint32_t channels = bus.channels.load(std::memory_order_relaxed);
        std::memset(buffer, 0, samples * sizeof(float));
        proc(bus.refCon.load(std::memory_order_relaxed), buffer, frames);
        float gain = bus.gain.load(std::memory_order_relaxed);
        float left, right;
        AudioPanFactors(bus.pan.load(std::memory_order_relaxed), &left, &right);
        left *= gain;
        right *= gain;
        if (channels == 1) {
            for (int32_t f = 0; f < frames; f++) {
                sum[2 * f] += buffer[f] * left;
                sum[2 * f + 1] += buffer[f] * right;
            }
        } else {
            for (int32_t f = 0; f < frames; f++) {
                sum[2 * f] += buffer[2 * f] * left;
                sum[2 * f + 1] += buffer[2 * f + 1] * right;
            }
        }
    }
    if (notify) notify(notifyRefCon, 1);
    for (size_t s = 0; s < samples; s++) {
        float v = sum[s];
        out[s] = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v;
    }
}

}  // namespace

void AudioPanFactors(float pan, float* left, float* right) {
    if (!(pan >= 0.0f)) pan = 0.0f;
    if (pan > 1.0f) pan = 1.0f;
    *left = pan <= 0.5f ? 1.0f : 2.0f * (1.0f - pan);
    *right = pan >= 0.5f ? 1.0f : 2.0f * pan;
}

int AudioGraphOpen(int32_t busCount, std::string* message) {
    message->clear();
    if (gGraph.built) return 0;
    if (busCount < 0) return ERR_OPENAUDIO;
    // Everything that can run out of memory comes before the device opens: the scratch of the
    // device's thread, the buses (owned here until the device runs) and the wake-up helper.
    gGraph.busBuffer.assign(2 * static_cast<size_t>(QZ_CONVERTER_MAX_FRAMES), 0.0f);
    gGraph.sum.assign(2 * static_cast<size_t>(QZ_CONVERTER_MAX_FRAMES), 0.0f);
    std::unique_ptr<Bus[]> buses(new (std::nothrow) Bus[busCount > 0 ? busCount : 1]);
    if (!buses) return ERR_MEM;
    if (int error = StartWaker(message)) return error;
    gGraph.buses = buses.get();
    gGraph.busCount = busCount;
    int32_t rate = 0;
    int error = CatchOutOfMemory([&] { return HostOpenAudio(DeviceFill, nullptr, &rate, message); });
    if (error) {
        gGraph.buses = nullptr;
        gGraph.busCount = 0;
        StopWaker();
        return error == ERR_MEM ? ERR_MEM : ERR_OPENAUDIO;
    }
    buses.release();
    gGraph.rate = rate;
    gGraph.deviceOpen = true;
    gGraph.built = true;
    return 0;
}

void AudioGraphStop() {
    gGraph.notify.store(nullptr);
    gGraph.notifyRefCon.store(nullptr);
    if (gGraph.deviceOpen) {
        HostCloseAudio();
        gGraph.deviceOpen = false;
    }
    StopWaker();
}

void AudioGraphClose() {
    AudioGraphStop();
    delete[] gGraph.buses;
    gGraph.buses = nullptr;
    gGraph.busCount = 0;
    gGraph.rate = 0;
    gGraph.built = false;
    gGraph.busBuffer.clear();
    gGraph.busBuffer.shrink_to_fit();
    gGraph.sum.clear();
    gGraph.sum.shrink_to_fit();
}

bool AudioGraphIsOpen() { return gGraph.built; }

int32_t AudioGraphRate() { return gGraph.rate; }

void AudioGraphSetRenderNotify(qzRenderNotifyProc proc, void* refCon) {
    gGraph.notify.store(nullptr, std::memory_order_release);
    gGraph.notifyRefCon.store(refCon, std::memory_order_release);
    gGraph.notify.store(proc, std::memory_order_release);
}

int AudioGraphSetBusCallback(int32_t bus, qzBusRenderProc proc, void* refCon, uint32_t channels) {
    Bus* b = BusAt(bus);
    if (!b || !proc || (channels != 1 && channels != 2)) return ERR_RENDERCALLBACK;
    b->proc.store(nullptr, std::memory_order_release);
    b->refCon.store(refCon, std::memory_order_relaxed);
    b->channels.store(channels, std::memory_order_relaxed);
    b->proc.store(proc, std::memory_order_release);
    return 0;
}

void AudioGraphClearBusCallback(int32_t bus) {
    if (Bus* b = BusAt(bus)) b->proc.store(nullptr, std::memory_order_release);
}

bool AudioGraphBusHasCallback(int32_t bus) {
    Bus* b = BusAt(bus);
    return b && b->proc.load() != nullptr;
}

void AudioGraphSetBusGain(int32_t bus, float gain) {
    if (Bus* b = BusAt(bus)) b->gain.store(gain);
}

void AudioGraphSetBusPan(int32_t bus, float pan) {
    if (Bus* b = BusAt(bus)) b->pan.store(pan);
}

float AudioGraphBusGain(int32_t bus) {
    Bus* b = BusAt(bus);
    return b ? b->gain.load() : 0.0f;
}

float AudioGraphBusPan(int32_t bus) {
    Bus* b = BusAt(bus);
    return b ? b->pan.load() : 0.0f;
}

void AudioGraphWakeMainThread() {
    if (gGraph.wakerRunning) {
        int value = 0;
        // One pending post is enough: the main thread runs every pending event in one pass.
        if (sem_getvalue(&gGraph.wakeSemaphore, &value) != 0 || value == 0) sem_post(&gGraph.wakeSemaphore);
    }
}

void AudioGraphRender(float* out, int32_t frames) {
    if (!gGraph.buses) {
        std::memset(out, 0, 2 * static_cast<size_t>(frames > 0 ? frames : 0) * sizeof(float));
        return;
    }
    int32_t done = 0;
    while (done < frames) {
        int32_t n = frames - done;
        if (n > QZ_CONVERTER_MAX_FRAMES) n = QZ_CONVERTER_MAX_FRAMES;
        RenderStep(out + 2 * static_cast<size_t>(done), n);
        done += n;
    }
}
