#include "media/sound/native_output.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/module_replayer.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_record.h"
#include "media/sound/stream_channel.h"
#include "media/sound/video_audio.h"
#include "platform/audio_converter.h"
#include "platform/audio_graph.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_time.h"

namespace {

constexpr int32_t kModuleRate = 48000;
constexpr uint32_t kModuleBufferBytes = 192000;

qzMutex* gAudioMutex = nullptr;
bool gNotifyInstalled = false;

// Events the render thread noted, in order, for the main thread: a ring with one producer (the
// render thread) and one consumer (the main thread).
struct PendingEvent {
    int32_t code;
    qzObjectId owner;
    int32_t passMs;
    int32_t pass;
    int32_t lastPassMs;
};
constexpr size_t kRingSize = 4096;
PendingEvent gRing[kRingSize];
std::atomic<size_t> gRingHead{0};  // next to read (main thread)
std::atomic<size_t> gRingTail{0};  // next to write (render thread)
std::atomic<uint64_t> gDropped{0};
std::atomic<bool> gWakeWanted{false};

void NoteEvent(int32_t code, const qzAudioChannel* channel, int32_t pass) {
    if (!IsSoundEventHooked(code)) return;
    size_t tail = gRingTail.load(std::memory_order_relaxed);
    size_t head = gRingHead.load(std::memory_order_acquire);
    if (tail - head >= kRingSize) {
        gDropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    gRing[tail % kRingSize] = {code, channel->owner, channel->passMs, pass, channel->lastPassMs};
    gRingTail.store(tail + 1, std::memory_order_release);
    gWakeWanted.store(true, std::memory_order_relaxed);
}

// The converter's input of a sample channel: the sound's frames from the channel's position,
// pass after pass; the last pass ends at its last frame. Render thread, audio mutex held.
void SampleInput(qzAudioChannel* c, uint32_t* packets, const void** data) {
    const qzSound* sound = c->sound;
    if (c->finished.load(std::memory_order_relaxed) || !sound || sound->frames == 0) {
        c->finished.store(1, std::memory_order_relaxed);
        *packets = 0;
        *data = nullptr;
        return;
    }
    if (c->needsStartStamp.load(std::memory_order_relaxed)) {
        c->needsStartStamp.store(0, std::memory_order_relaxed);
        c->startMicros.store(OsMonotonicMicros(), std::memory_order_relaxed);
        NoteEvent(QZ_SOUNDEVENT_SAMPLELOOP, c, 1);
    }
    int32_t pass = c->pass.load(std::memory_order_relaxed);
    bool last = pass >= c->passes;
    uint32_t position = c->position.load(std::memory_order_relaxed);
    uint32_t end = last ? (c->lastPassFrames < sound->frames ? c->lastPassFrames : sound->frames) : sound->frames;
    uint32_t rest = end > position ? end - position : 0;
    uint32_t n = *packets < rest ? *packets : rest;
    if (n == 0) {
        c->finished.store(1, std::memory_order_relaxed);
        *packets = 0;
        *data = nullptr;
        return;
    }
    *data = sound->data + static_cast<size_t>(position) * sound->bytesPerFrame;
    *packets = n;
    position += n;
    if (position >= end) {
        if (!last) {
            position = 0;
            c->pass.store(pass + 1, std::memory_order_relaxed);
            NoteEvent(QZ_SOUNDEVENT_SAMPLELOOP, c, pass + 1);
        } else {
            c->finished.store(1, std::memory_order_relaxed);
        }
    }
    c->position.store(position, std::memory_order_relaxed);
}

void ModuleInput(qzAudioChannel* c, uint32_t* packets, const void** data) {
    uint32_t n = *packets;
    if (n > c->bufferSize / 4) n = c->bufferSize / 4;
    if (!c->module || !c->buffer || n == 0) {
        // Silence keeps the bus running.
        if (c->buffer && n) {
            std::memset(c->buffer, 0, static_cast<size_t>(n) * 4);
            *data = c->buffer;
            *packets = n;
        } else {
            *packets = 0;
            *data = nullptr;
        }
        return;
    }
    RenderModuleToBuffer(c->module, reinterpret_cast<int16_t*>(c->buffer), n);
    *data = c->buffer;
    *packets = n;
}

void ConverterInput(void* user, uint32_t* packets, const void** data) {
    qzAudioChannel* c = static_cast<qzAudioChannel*>(user);
    switch (c->state.load(std::memory_order_relaxed)) {
    case QZ_CHANNEL_SAMPLE: SampleInput(c, packets, data); return;
    case QZ_CHANNEL_MODULE: ModuleInput(c, packets, data); return;
    case QZ_CHANNEL_STREAM: StreamNativeInput(c, packets, data); return;
    case QZ_CHANNEL_VIDEO: VideoAudioNativeInput(c, packets, data); return;
    default: break;
    }
    *packets = 0;
    *data = nullptr;
}

// The bus render callback: the channel's next frames through its converter. A busy audio mutex
// gives silence for this block and changes nothing.
void BusRender(void* refCon, float* out, int32_t frames) {
    qzAudioChannel* c = static_cast<qzAudioChannel*>(refCon);
    int32_t state = c->state.load(std::memory_order_acquire);
    if (state < QZ_CHANNEL_SAMPLE || state > QZ_CHANNEL_VIDEO) return;
    if (!OsTryLockMutex(gAudioMutex)) return;
    if (c->converter) AudioConverterFill(c->converter, ConverterInput, c, out, frames);
    OsUnlockMutex(gAudioMutex);
}

// Before and after every block: finished channels get their end noted and their bus silenced.
// Skipped while the audio mutex is busy; what it would have done then happens a block later.
void RenderNotify(void*, int after) {
    qzAudioChannel* channels = GetSoundChannels();
    int32_t count = GetSoundChannelCount();
    if (!channels || !OsTryLockMutex(gAudioMutex)) return;
    for (int32_t i = 0; i < count; i++) {
        qzAudioChannel* c = &channels[i];
        if (c->busFinished.load(std::memory_order_relaxed)) continue;
        int32_t state = c->state.load(std::memory_order_relaxed);
        if (state == QZ_CHANNEL_STREAM) {
            StreamNativeNotify(i, c, after);
            if (after && c->finished.load(std::memory_order_relaxed)) {
                NoteEvent(QZ_SOUNDEVENT_MUSICEND, c, 0);
                AudioGraphClearBusCallback(i);
            }
        } else if (state == QZ_CHANNEL_SAMPLE && after && c->finished.load(std::memory_order_relaxed)) {
            NoteEvent(QZ_SOUNDEVENT_SAMPLEEND, c, c->pass.load(std::memory_order_relaxed));
            AudioGraphClearBusCallback(i);
        }
        if (after && c->finished.load(std::memory_order_relaxed)) c->busFinished.store(1, std::memory_order_release);
    }
    OsUnlockMutex(gAudioMutex);
    if (gWakeWanted.exchange(false)) AudioGraphWakeMainThread();
}

bool AnyPendingEvent() {
    return gRingHead.load(std::memory_order_relaxed) != gRingTail.load(std::memory_order_acquire);
}

}  // namespace

float MacVolumeToGain(int32_t volume) { return static_cast<float>(std::cbrt(volume * 0.015625)); }

float PanToValue(int32_t pan) {
    if (pan == 128) return 0.5f;
    return static_cast<float>(pan / 255.0);
}

int MacCreateAudioMutex() {
    if (gAudioMutex) return 0;
    gAudioMutex = OsAllocMutex();
    return gAudioMutex ? 0 : ERR_SEMAPHORE;
}

void MacFreeAudioMutex() {
    OsFreeMutex(gAudioMutex);
    gAudioMutex = nullptr;
}

qzMutex* AudioMutex() { return gAudioMutex; }

int MacOpenAudio(int32_t, int32_t busCount) {
    if (AudioGraphIsOpen()) return 0;
    std::string why;
    if (AudioGraphOpen(busCount, &why) != 0) return ERR_OPENAUDIO;
    gRingHead.store(0);
    gRingTail.store(0);
    gDropped.store(0);
    AudioGraphSetRenderNotify(RenderNotify, nullptr);
    gNotifyInstalled = true;
    return 0;
}

void MacStopAudio() {
    if (gNotifyInstalled) AudioGraphSetRenderNotify(nullptr, nullptr);
    gNotifyInstalled = false;
    AudioGraphStop();
}

void MacCloseAudio() {
    MacStopAudio();
    AudioGraphClose();
}

int32_t OutputRate() { return AudioGraphRate(); }

int AttachBus(qzAudioChannel* channel, int32_t n, const qzAudioFormat* format, int32_t rate, int32_t volume,
              int32_t pan) {
    qzAudioConverter* converter = nullptr;
    int error = AudioConverterNew(format, rate, AudioGraphRate(), &converter);
    if (error) return error == ERR_MEM ? ERR_MEM : ERR_AUDIOCONVERTER;
    channel->converter = converter;
    MacSetBusVolume(n, volume);
    if (pan >= 0) MacSetBusPan(n, pan);
    if (AudioGraphSetBusCallback(n, BusRender, channel, format->channels) != 0) {
        AudioConverterDispose(converter);
        channel->converter = nullptr;
        return ERR_RENDERCALLBACK;
    }
    return 0;
}

int MacStartVideoBus(qzAudioChannel* channel, int32_t n, uint32_t channels, int32_t volume) {
    MacSetBusVolume(n, volume);
    return AudioGraphSetBusCallback(n, BusRender, channel, channels) != 0 ? ERR_RENDERCALLBACK : 0;
}

int MacOpenSampleBus(qzAudioChannel* channel, int32_t n, int32_t pitch, int32_t volume, int32_t pan) {
    const qzSound* sound = channel->sound;
    qzAudioFormat format = {sound->bits, sound->bytesPerFrame, sound->channels, sound->flags};
    return AttachBus(channel, n, &format, pitch, volume, pan);
}

int MacOpenStreamBus(qzAudioChannel* channel, int32_t n) {
    channel->bufferSize = kModuleBufferBytes;
    channel->buffer = static_cast<unsigned char*>(OsAlloc(kModuleBufferBytes, 0));
    if (!channel->buffer) {
        channel->bufferSize = 0;
        return ERR_MEM;
    }
    qzAudioFormat format = {16, 4, 2, QZ_SOUNDF_HOSTORDER | QZ_SOUNDF_SIGNED};
    int error = AttachBus(channel, n, &format, kModuleRate, channel->volume, -1);
    if (error) {
        OsFree(channel->buffer);
        channel->buffer = nullptr;
        channel->bufferSize = 0;
    }
    return error;
}

void MacDetachChannelBus(qzAudioChannel* channel, int32_t n) {
    AudioGraphClearBusCallback(n);
    AudioConverterDispose(channel->converter);
    channel->converter = nullptr;
}

void MacDetachChannelBusByIndex(int32_t n) {
    if (qzAudioChannel* channels = GetSoundChannels()) MacDetachChannelBus(&channels[n], n);
}

void MacFreeChannelBus(int32_t n) {
    qzAudioChannel* channels = GetSoundChannels();
    if (!channels) return;
    MacDetachChannelBus(&channels[n], n);
    OsFree(channels[n].buffer);
    ClearChannelRecord(&channels[n]);
}

void MacSetBusVolume(int32_t n, int32_t volume) { AudioGraphSetBusGain(n, MacVolumeToGain(volume)); }

void MacSetBusPan(int32_t n, int32_t pan) { AudioGraphSetBusPan(n, PanToValue(pan)); }

void MacSetChannelVolume(int32_t n, int32_t volume) { MacSetBusVolume(n, volume); }

int MacSetChannelAttributes(int32_t n, int32_t rate, int32_t volume, int32_t pan) {
    qzAudioChannel* channels = GetSoundChannels();
    if (!channels) return 0;
    qzAudioChannel* c = &channels[n];
    if (volume != -1) {
        c->volume = volume;
        MacSetBusVolume(n, volume);
    }
    if (pan != -1) {
        c->pan = pan;
        MacSetBusPan(n, pan);
    }
    if (rate == -1 || rate == c->pitch || !c->sound || !c->converter) return 0;
    // A new converter for the new rate, made here and swapped in under the mutex; the position
    // in the sound goes on.
    const qzSound* sound = c->sound;
    qzAudioFormat format = {sound->bits, sound->bytesPerFrame, sound->channels, sound->flags};
    qzAudioConverter* converter = nullptr;
    if (AudioConverterNew(&format, rate, AudioGraphRate(), &converter) != 0) return ERR_AUDIOCONVERTER;
    OsLockMutex(gAudioMutex);
    qzAudioConverter* old = c->converter;
    c->converter = converter;
    c->pitch = rate;
    OsUnlockMutex(gAudioMutex);
    AudioConverterDispose(old);
    return 0;
}

void MacPostPendingAudioEvents() {
    if (GetAudioAdapter() || !GetSoundChannels() || GetSoundChannelCount() < 1) return;
    while (AnyPendingEvent()) {
        size_t head = gRingHead.load(std::memory_order_relaxed);
        PendingEvent e = gRing[head % kRingSize];
        gRingHead.store(head + 1, std::memory_order_release);
        PushSoundEvent(e.code, e.owner, e.passMs, e.pass, e.lastPassMs, 0);
    }
}

void MacFreeFinishedChannels() {
    MacPostPendingAudioEvents();
    qzAudioChannel* channels = GetSoundChannels();
    int32_t count = GetSoundChannelCount();
    if (!channels) return;
    bool any = false;
    for (int32_t i = 0; i < count && !any; i++) any = channels[i].busFinished.load(std::memory_order_acquire) != 0;
    if (!any) return;
    OsLockMutex(gAudioMutex);
    for (int32_t i = 0; i < count; i++) {
        qzAudioChannel* c = &channels[i];
        if (!c->busFinished.load(std::memory_order_acquire)) continue;
        int32_t state = c->state.load(std::memory_order_relaxed);
        if (state == QZ_CHANNEL_STREAM) {
            StopStreamChannel(i, c, 0, nullptr, nullptr);
        } else {
            MacDetachChannelBus(c, i);
            OsFree(c->buffer);
            ClearChannelRecord(c);
        }
    }
    OsUnlockMutex(gAudioMutex);
}

uint64_t DroppedAudioEvents() { return gDropped.load(); }
