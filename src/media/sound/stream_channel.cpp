#include "media/sound/stream_channel.h"

#include <atomic>
#include <cstring>
#include <new>

#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "platform/audio_converter.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_thread.h"
#include "platform/os_time.h"
#include "platform/plugin_api.h"

namespace {

constexpr uint32_t kSilenceFrames = 1024;
constexpr uint64_t kFinishGraceMicros = 1000000;
constexpr int kRefillPriority = 100;
constexpr uint32_t kRefillStack = 100000;
// A half holds one second of the source's frames: a rate above any real one (a header that lies)
// would make the buffers as large as it claims, so such a stream is refused like a format the
// converter does not take.
constexpr uint32_t kMaxStreamRate = 768000;

// One stream channel's double buffer and refill thread.
struct StreamState {
    qzAudioChannel* channel;
    qzSoundSource* source;
    uint32_t bytesPerFrame;
    uint32_t framesPerHalf;
    unsigned char* halves;   // two halves of framesPerHalf frames
    unsigned char* silence;  // kSilenceFrames frames of the format's silence
    unsigned char silenceByte;

    // A half is written by the refill thread while its ready flag is clear, and read by the
    // render side while it is set.
    std::atomic<int32_t> ready[2];
    uint32_t frames[2];  // the frames a ready half holds
    int32_t last[2];     // the half is the stream's last one

    // Render side.
    int32_t playHalf;
    uint32_t playOffset;
    std::atomic<int32_t> releaseHalf;  // a half handed out whole, given back at the next hand-out
    std::atomic<int32_t> done;         // the last half has been handed out
    std::atomic<int32_t> wakePending;  // a wake-up found the refill mutex busy
    std::atomic<uint64_t> handed;      // frames of data handed out since the start

    // Refill side.
    int32_t fillHalf;
    std::atomic<int32_t> ended;  // no more data: the last half has been filled
    int32_t pass;                // the pass being decoded
    uint64_t sinceLoop;          // frames decoded since the start or the last loop
    int32_t passes;
    int32_t startPass;
    qzMutex* mutex;
    qzOsEvent* event;
    qzWorkerThread* worker;
};

StreamState* StateOf(const qzAudioChannel* channel) { return static_cast<StreamState*>(channel->stream); }

// Whether the refill side plays another pass after `pass`: passes 0 plays forever.
bool PassDue(const StreamState* s) { return s->passes == 0 || s->pass < s->passes; }

// Decodes one half: the source's next frames, looping back to frame 0 while passes are due. A
// half that the data does not fill becomes the last one (it may hold no frame at all).
void FillHalf(StreamState* s, int32_t half) {
    const uint32_t bpf = s->bytesPerFrame;
    unsigned char* out = s->halves + static_cast<size_t>(half) * s->framesPerHalf * bpf;
    uint32_t got = 0;
    bool last = false;
    while (got < s->framesPerHalf) {
        int end = 0;
        uint32_t n = DecodeSoundSource(s->source, out + static_cast<size_t>(got) * bpf, s->framesPerHalf - got, &end);
        if (n > s->framesPerHalf - got) n = s->framesPerHalf - got;
        got += n;
        s->sinceLoop += n;
        if (got >= s->framesPerHalf) break;
        if (!end && n > 0) continue;
        // The source has ended.
        // A pass that gave no frame at all means an empty source: it ends instead of looping.
        if (!PassDue(s) || s->sinceLoop == 0) {
            last = true;
            break;
        }
        // The time fields stay: the main thread reads them for the position meanwhile.
        SeekSoundSourceData(s->source, 0);
        s->pass++;
        s->channel->pass.store(s->pass);
        s->sinceLoop = 0;
    }
    s->frames[half] = got;
    s->last[half] = last ? 1 : 0;
    if (last) s->ended.store(1);
    s->ready[half].store(1, std::memory_order_release);
}

// Fills every half that has been given back, in play order, until the data ends.
void RefillDue(StreamState* s) {
    while (!s->ended.load() && !s->ready[s->fillHalf].load(std::memory_order_acquire)) {
        FillHalf(s, s->fillHalf);
        s->fillHalf ^= 1;
    }
}

void* RefillThread(void* arg) {
    qzWorkerThread* worker = OsGetWorkerThread(arg);
    OsEnterWorkerThread();
    StreamState* s = static_cast<StreamState*>(OsGetWorkerThreadData(worker));
    OsWorkerThreadStarted(worker);
    for (;;) {
        OsLockMutex(s->mutex);
        if (!OsWorkerThreadStopRequested(worker)) OsWaitEvent(s->event, s->mutex);
        OsUnlockMutex(s->mutex);
        if (OsWorkerThreadStopRequested(worker)) break;
        RefillDue(s);
    }
    OsWorkerThreadWaitQuit(worker);
    OsWorkerThreadDone(worker, 0);
    return nullptr;
}

// Wakes the refill thread without blocking: a busy mutex leaves the wake-up pending.
void WakeRefillThread(StreamState* s) {
    if (!s->worker) return;
    if (OsTryLockMutex(s->mutex)) {
        OsSignalEvent(s->event);
        OsUnlockMutex(s->mutex);
        s->wakePending.store(0);
    } else {
        s->wakePending.store(1);
    }
}

void GiveBack(StreamState* s, int32_t half) {
    s->ready[half].store(0, std::memory_order_release);
    WakeRefillThread(s);
}

void StopRefillThread(StreamState* s) {
    if (!s->worker) return;
    OsLockMutex(s->mutex);
    OsRequestWorkerThreadStop(s->worker);
    OsSignalEvent(s->event);
    OsUnlockMutex(s->mutex);
    OsFreeWorkerThread(s->worker);
    s->worker = nullptr;
}

void FreeState(StreamState* s) {
    if (!s) return;
    StopRefillThread(s);
    OsFreeEvent(s->event);
    OsFreeMutex(s->mutex);
    OsFree(s->halves);
    OsFree(s->silence);
    s->~StreamState();
    OsFree(s);
}

// The buffers, the first half and the refill thread of a stream: 0, ERR_MEM or ERR_THREAD.
int MakeState(qzAudioChannel* c, StreamState** out) {
    qzSoundSource* source = c->source;
    void* block = OsAlloc(sizeof(StreamState), 1);
    if (!block) return ERR_MEM;
    StreamState* s = new (block) StreamState();
    *out = s;
    s->channel = c;
    s->source = source;
    s->bytesPerFrame = source->bytesPerFrame;
    s->framesPerHalf = source->rate;
    s->pass = s->startPass = c->pass.load();
    s->passes = c->passes;
    s->releaseHalf.store(-1);
    s->fillHalf = 0;
    uint64_t halfBytes = static_cast<uint64_t>(s->framesPerHalf) * s->bytesPerFrame;
    s->halves = halfBytes <= UINT32_MAX / 2 ? static_cast<unsigned char*>(OsAlloc(halfBytes * 2, 0)) : nullptr;
    s->silence = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(kSilenceFrames) * s->bytesPerFrame, 0));
    if (!s->halves || !s->silence) return ERR_MEM;
    s->silenceByte = source->bits == 8 && !(source->flags & QZ_SOUNDF_SIGNED) ? 128 : 0;
    std::memset(s->silence, s->silenceByte, static_cast<size_t>(kSilenceFrames) * s->bytesPerFrame);

    // The source goes to its own position; its time fields stay as the last seek left them.
    SeekSoundSourceData(source, source->position);
    RefillDue(s);
    if (s->ended.load()) return 0;  // the whole stream fits into the first half

    s->mutex = OsAllocMutex();
    s->event = OsAllocEvent();
    if (!s->mutex || !s->event) return ERR_SEMAPHORE;
    s->worker = OsCreateWorkerThread("Stream refill", RefillThread, s, 0, kRefillStack, kRefillPriority);
    if (!s->worker) return ERR_THREAD;
    WakeRefillThread(s);
    return 0;
}

}  // namespace

int StartStreamChannel(int32_t n, qzAudioChannel* c) {
    qzSoundSource* source = c->source;
    if (!source || !source->rate || source->rate > kMaxStreamRate || !source->bytesPerFrame ||
        (source->bits != 8 && source->bits != 16))
        return ERR_AUDIOCONVERTER;
    StreamState* s = nullptr;
    int error = MakeState(c, &s);
    if (error) {
        FreeState(s);
        return error;
    }
    c->stream = s;
    source->playOffset = static_cast<uint32_t>(static_cast<uint64_t>(source->position) * 1000 / source->rate);
    OsGetMonotonicTime(&source->playStart);
    if (qzAudioAdapter* adapter = GetAudioAdapter()) {
        const qzPluginInfo* plugin = adapter->plugin;
        c->adapterChannel =
            plugin->AllocAudioChannel
                ? plugin->AllocAudioChannel(adapter->output, static_cast<int32_t>(source->rate),
                                            reinterpret_cast<void*>(&MixerFeed), 0, c, 0, c->volume, source->format)
                : nullptr;
        if (!c->adapterChannel) error = ERR_ALLOCCHANNEL;
    } else {
        qzAudioFormat format = {source->bits, source->bytesPerFrame, source->channels, source->flags};
        error = AttachBus(c, n, &format, static_cast<int32_t>(source->rate), c->volume, -1);
    }
    if (error) {
        c->stream = nullptr;
        FreeState(s);
        source->playStart = qzTimeVal{0, 0};
    }
    return error;
}

void StopStreamChannel(int32_t n, qzAudioChannel* c, int keepPosition, int32_t* passOut, uint32_t* positionOut) {
    if (qzAudioAdapter* adapter = GetAudioAdapter()) {
        if (c->adapterChannel && adapter->plugin->FreeAudioChannel)
            adapter->plugin->FreeAudioChannel(adapter->output, c->adapterChannel);
        c->adapterChannel = nullptr;
    } else {
        MacDetachChannelBus(c, n);
    }
    StreamState* s = StateOf(c);
    qzSoundSource* source = c->source;
    // Where the stream stands: the frames handed out since the start, counted from the start
    // frame and pass.
    int32_t pass = c->pass.load();
    uint32_t frame = 0;
    if (s && source && source->frames) {
        uint64_t total = static_cast<uint64_t>(c->startFrame) + s->handed.load();
        uint64_t passes = total / source->frames;
        pass = static_cast<int32_t>(s->startPass + (passes > INT32_MAX ? INT32_MAX : passes));
        frame = static_cast<uint32_t>(total % source->frames);
        if (s->passes > 0 && pass > s->passes) {
            pass = s->passes;
            frame = 0;
        }
    }
    FreeState(s);
    c->stream = nullptr;
    if (passOut) *passOut = pass;
    if (source) {
        SeekSoundSource(source, keepPosition ? frame : 0);
        if (keepPosition && positionOut) *positionOut = source->position;
        if (!keepPosition && source->kind == QZ_SOURCE_CUSTOM) {
            source->custom.fillPosition = 0;
            source->custom.needsPrefill = 1;
        }
    }
    OsFree(c->buffer);
    ClearChannelRecord(c);
}

void StreamNativeInput(qzAudioChannel* c, uint32_t* packets, const void** data) {
    StreamState* s = StateOf(c);
    if (!s || c->finished.load(std::memory_order_relaxed) || s->done.load(std::memory_order_relaxed)) {
        c->finished.store(1, std::memory_order_relaxed);
        *packets = 0;
        *data = nullptr;
        return;
    }
    // The half handed out last time is the converter's no longer.
    int32_t release = s->releaseHalf.exchange(-1);
    if (release >= 0) GiveBack(s, release);
    int32_t half = s->playHalf;
    if (!s->ready[half].load(std::memory_order_acquire)) {
        *packets = *packets < kSilenceFrames ? *packets : kSilenceFrames;
        *data = s->silence;
        return;
    }
    uint32_t available = s->frames[half] - s->playOffset;
    uint32_t n = *packets < available ? *packets : available;
    *data = s->halves + (static_cast<size_t>(half) * s->framesPerHalf + s->playOffset) * s->bytesPerFrame;
    *packets = n;
    s->playOffset += n;
    s->handed.fetch_add(n, std::memory_order_relaxed);
    if (s->playOffset < s->frames[half]) return;
    if (s->last[half]) {
        s->done.store(1, std::memory_order_relaxed);
        if (n == 0) {
            c->finished.store(1, std::memory_order_relaxed);
            *data = nullptr;
        }
        return;
    }
    s->playHalf = half ^ 1;
    s->playOffset = 0;
    s->releaseHalf.store(half);
}

void StreamNativeNotify(int32_t, qzAudioChannel* c, int) {
    StreamState* s = StateOf(c);
    if (s && s->wakePending.load(std::memory_order_relaxed)) WakeRefillThread(s);
}

int StreamAdapterFeed(qzAudioChannel* c, void* buffer, int frames) {
    StreamState* s = StateOf(c);
    if (!s || frames <= 0 || c->finished.load()) return 0;
    const uint32_t bpf = s->bytesPerFrame;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    uint32_t wanted = static_cast<uint32_t>(frames);
    uint32_t delivered = 0;
    while (delivered < wanted) {
        int32_t half = s->playHalf;
        if (!s->ready[half].load(std::memory_order_acquire)) {
            // Not decoded yet: silence for the rest of this pull.
            std::memset(out + static_cast<size_t>(delivered) * bpf, s->silenceByte,
                        static_cast<size_t>(wanted - delivered) * bpf);
            return frames;
        }
        uint32_t available = s->frames[half] - s->playOffset;
        uint32_t n = wanted - delivered < available ? wanted - delivered : available;
        std::memcpy(out + static_cast<size_t>(delivered) * bpf,
                    s->halves + (static_cast<size_t>(half) * s->framesPerHalf + s->playOffset) * bpf,
                    static_cast<size_t>(n) * bpf);
        delivered += n;
        s->playOffset += n;
        s->handed.fetch_add(n);
        if (s->playOffset < s->frames[half]) continue;
        if (s->last[half]) {
            s->done.store(1);
            if (IsSoundEventHooked(QZ_SOUNDEVENT_MUSICEND))
                PushSoundEvent(QZ_SOUNDEVENT_MUSICEND, c->owner, 0, 0, 0, 1);
            c->endMicros = OsMonotonicMicros() + kFinishGraceMicros;
            c->finished.store(1);
            break;
        }
        s->playHalf = half ^ 1;
        s->playOffset = 0;
        GiveBack(s, half);
    }
    return static_cast<int>(delivered);
}

int IsStreamChannelFilled(const qzAudioChannel* c) {
    const StreamState* s = StateOf(c);
    if (!s) return 1;
    if (s->ended.load()) return 1;
    return s->ready[0].load() && s->ready[1].load() ? 1 : 0;
}
