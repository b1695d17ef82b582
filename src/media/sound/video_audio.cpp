#include "media/sound/video_audio.h"

#include <cstring>

#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "media/sound/sound_record.h"
#include "platform/audio_converter.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_thread.h"
#include "platform/os_time.h"
#include "platform/plugin_api.h"

namespace {

// The native device pulls blocks of about a thousand frames; the FIFO holds two blocks of twice
// that, so that a top-up at half full always comes before the FIFO runs dry.
constexpr uint32_t kNativeBlockFrames = 2048;

struct AudioLock {
    AudioLock() {
        if (AudioMutex()) OsLockMutex(AudioMutex());
    }
    ~AudioLock() {
        if (AudioMutex()) OsUnlockMutex(AudioMutex());
    }
};

uint32_t BytesPerFrame(const qzVideoAudio* v) { return v->channels == 2 ? 4 : 2; }

qzAudioFormat FormatOf(const qzVideoAudio* v) {
    return {16, BytesPerFrame(v), static_cast<uint32_t>(v->channels == 2 ? 2 : 1),
            QZ_SOUNDF_HOSTORDER | QZ_SOUNDF_SIGNED};
}

// Copies up to `frames` frames out of the FIFO into out and moves the rest to the front; the
// frames copied.
uint32_t TakeFromFifo(qzVideoAudioFifo* f, unsigned char* out, uint32_t frames) {
    const uint32_t bpf = BytesPerFrame(f->video);
    qzMutexLock lock(f->mutex);
    uint32_t n = f->fill / bpf < frames ? f->fill / bpf : frames;
    uint32_t bytes = n * bpf;
    std::memcpy(out, f->data, bytes);
    f->fill -= bytes;
    std::memmove(f->data, f->data + bytes, f->fill);
    f->video->fifoBytes.store(f->fill);
    return n;
}

// Decodes `bytes` bytes from the video and appends them: 0 or -1 (stop).
int TopUp(qzWorkerThread* thread, qzVideoAudioFifo* f, uint32_t bytes) {
    if (bytes == 0) return 0;
    qzVideoAudio* v = f->video;
    if (v->fill(v->video, f->staging, bytes, thread) < 0) return -1;
    qzMutexLock lock(f->mutex);
    uint32_t room = QZ_VIDEO_FIFO_BYTES - f->fill;
    uint32_t n = bytes < room ? bytes : room;
    std::memcpy(f->data + f->fill, f->staging, n);
    f->fill += n;
    v->fifoBytes.store(f->fill);
    return 0;
}

uint32_t FifoFill(qzVideoAudioFifo* f) {
    qzMutexLock lock(f->mutex);
    return f->fill;
}

}  // namespace

int OpenVideoAudioChannel(qzVideoAudio* v) {
    SoundHousekeeping();
    qzAudioChannel* channels = GetSoundChannels();
    if (!channels) return ERR_NOCHANNEL;
    int32_t n = -1;
    {
        AudioLock lock;
        for (int32_t i = 0; i < GetSoundChannelCount() && n < 0; i++) {
            if (channels[i].state.load() == QZ_CHANNEL_FREE) n = i;
        }
        if (n < 0) return ERR_NOCHANNEL;
        qzAudioChannel* c = &channels[n];
        ClearChannelRecord(c);
        c->video = v;
        c->volume = v->volume.load();
        c->pan = 128;
        // Taken: no other search finds it, and the render side, seeing no converter, stays silent.
        c->state.store(QZ_CHANNEL_VIDEO);
    }
    qzAudioChannel* c = &channels[n];
    v->channel = c;
    v->channelIndex = n;
    if (GetAudioAdapter()) return 0;
    c->bufferSize = kNativeBlockFrames * 4;
    c->buffer = static_cast<unsigned char*>(OsAlloc(c->bufferSize, 0));
    qzAudioFormat format = FormatOf(v);
    qzAudioConverter* converter = nullptr;
    int error = c->buffer ? AudioConverterNew(&format, v->rate, OutputRate(), &converter) : ERR_MEM;
    if (error) {
        CloseVideoAudioChannel(v);
        return error == ERR_MEM ? ERR_MEM : ERR_AUDIOCONVERTER;
    }
    AudioLock lock;
    c->converter = converter;
    return 0;
}

qzVideoAudioFifo* AllocVideoAudioFifo(qzVideoAudio* v) {
    auto* f = static_cast<qzVideoAudioFifo*>(OsAlloc(sizeof(qzVideoAudioFifo), 0));
    if (!f) return nullptr;
    std::memset(static_cast<void*>(f), 0, sizeof(qzVideoAudioFifo));
    f->mutex = OsAllocMutex();
    if (!f->mutex) {
        OsFree(f);
        return nullptr;
    }
    uint32_t block = v->blockFrames > 0 ? static_cast<uint32_t>(v->blockFrames) : 1024;
    if (!GetAudioAdapter() && block < kNativeBlockFrames) block = kNativeBlockFrames;
    uint64_t capacity = static_cast<uint64_t>(block) * BytesPerFrame(v) * 2;
    f->capacity = capacity < QZ_VIDEO_FIFO_BYTES ? static_cast<uint32_t>(capacity) : QZ_VIDEO_FIFO_BYTES;
    f->firstFill = 1;
    f->video = v;
    f->channel = v->channel;
    v->fifo.store(f);
    return f;
}

void StopVideoAudioChannel(qzVideoAudio* v) {
    qzVideoAudioFifo* f = v->fifo.load();
    qzAudioChannel* c = v->channel;
    if (c) {
        AudioLock lock;
        if (qzAudioAdapter* adapter = GetAudioAdapter()) {
            if (c->adapterChannel && adapter->plugin->FreeAudioChannel)
                adapter->plugin->FreeAudioChannel(adapter->output, c->adapterChannel);
            c->adapterChannel = nullptr;
        } else {
            MacDetachChannelBus(c, v->channelIndex);
        }
    }
    if (f) f->stopped.store(1);
}

void CloseVideoAudioChannel(qzVideoAudio* v) {
    qzAudioChannel* c = v->channel;
    if (!c) return;
    StopVideoAudioChannel(v);
    {
        AudioLock lock;
        OsFree(c->buffer);
        ClearChannelRecord(c);
    }
    v->channel = nullptr;
    v->channelIndex = -1;
}

void FreeVideoAudioFifo(qzVideoAudioFifo* f) {
    if (!f) return;
    qzVideoAudio* v = f->video;
    if (!f->stopped.load()) StopVideoAudioChannel(v);
    CloseVideoAudioChannel(v);
    v->fifo.store(nullptr);
    v->fifoBytes.store(0);
    OsFreeMutex(f->mutex);
    OsFree(f);
}

void SetVideoAudioVolume(qzVideoAudio* v, int32_t volume) {
    v->volume.store(volume);
    qzAudioChannel* c = v->channel;
    if (!c) return;
    c->volume = volume;
    if (GetAudioAdapter())
        SetSoundChannelAttributes(v->channelIndex, -1, volume, -1);
    else
        MacSetBusVolume(v->channelIndex, volume);
}

int FeedVideoAudioNative(qzWorkerThread* thread, qzVideoAudioFifo* f) {
    qzVideoAudio* v = f->video;
    if (f->firstFill) {
        if (TopUp(thread, f, f->capacity) < 0) return -1;
        qzAudioChannel* c = v->channel;
        if (!c) return ERR_NOCHANNEL;
        qzAudioFormat format = FormatOf(v);
        int error = MacStartVideoBus(c, v->channelIndex, format.channels, v->volume.load());
        if (error) return error;
        f->firstFill = 0;
        return 0;
    }
    uint32_t fill = FifoFill(f);
    if (fill <= f->capacity / 2) return TopUp(thread, f, f->capacity - fill);
    OsDelay(1);
    return 0;
}

int FeedVideoAudio(qzWorkerThread* thread, qzVideoAudioFifo* f) {
    if (thread && OsWorkerThreadStopRequested(thread)) return -1;
    qzAudioAdapter* adapter = GetAudioAdapter();
    if (!adapter) return FeedVideoAudioNative(thread, f);
    qzVideoAudio* v = f->video;
    if (f->firstFill) {
        if (TopUp(thread, f, f->capacity) < 0) return -1;
        qzAudioChannel* c = v->channel;
        if (!c || !adapter->plugin->AllocAudioChannel) return ERR_ALLOCCHANNEL;
        int32_t format = v->channels == 2 ? QZ_SOUNDFMT_S16_STEREO : QZ_SOUNDFMT_S16_MONO;
        void* handle = adapter->plugin->AllocAudioChannel(adapter->output, v->rate, reinterpret_cast<void*>(&MixerFeed),
                                                          0, c, 0, v->volume.load(), format);
        if (!handle) return ERR_ALLOCCHANNEL;
        {
            AudioLock lock;
            c->adapterChannel = handle;
        }
        f->firstFill = 0;
        return 0;
    }
    uint32_t fill = FifoFill(f);
    if (fill < f->capacity) return TopUp(thread, f, f->capacity - fill);
    OsDelay(1);
    return 0;
}

void VideoAudioNativeInput(qzAudioChannel* c, uint32_t* packets, const void** data) {
    auto* v = static_cast<qzVideoAudio*>(c->video);
    qzVideoAudioFifo* f = v ? v->fifo.load() : nullptr;
    uint32_t frames = *packets < kNativeBlockFrames ? *packets : kNativeBlockFrames;
    if (!v || !c->buffer || frames == 0) {
        *packets = 0;
        *data = nullptr;
        return;
    }
    const uint32_t bpf = BytesPerFrame(v);
    uint32_t n = f && !f->stopped.load() ? TakeFromFifo(f, c->buffer, frames) : 0;
    std::memset(c->buffer + n * bpf, 0, (frames - n) * bpf);
    *packets = frames;
    *data = c->buffer;
}

int VideoAudioAdapterFeed(qzAudioChannel* c, void* buffer, int frames) {
    auto* v = static_cast<qzVideoAudio*>(c->video);
    if (!v || frames <= 0) return 0;
    qzVideoAudioFifo* f = v->fifo.load();
    const uint32_t bpf = BytesPerFrame(v);
    auto* out = static_cast<unsigned char*>(buffer);
    uint32_t n = f && !f->stopped.load() ? TakeFromFifo(f, out, static_cast<uint32_t>(frames)) : 0;
    std::memset(out + n * bpf, 0, (static_cast<uint32_t>(frames) - n) * bpf);
    return frames;
}
