#include "media/sound/audio_channels.h"

#include <cstring>
#include <new>

#include "base/error_codes.h"
#include "media/sound/module_replayer.h"
#include "media/sound/native_output.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "media/sound/stream_channel.h"
#include "media/sound/video_audio.h"
#include "platform/audio_converter.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_time.h"
#include "platform/plugin_api.h"
#include "runtime/applet_version.h"
#include "runtime/plugin_manager.h"

namespace {

constexpr int32_t kDefaultChannels = 8;
constexpr int32_t kModuleRate = 48000;
constexpr int32_t kDefaultAdapterBuffer = 2048;
constexpr uint64_t kFinishGraceMicros = 1000000;

qzAudioChannel* gChannels = nullptr;
int32_t gChannelCount = 0;
bool gOpened = false;
qzAudioAdapter gAdapterRecord = {};
qzAudioAdapter* gAdapter = nullptr;

qzMutex* Mutex() { return AudioMutex(); }

struct AudioLock {
    AudioLock() {
        if (Mutex()) OsLockMutex(Mutex());
    }
    ~AudioLock() {
        if (Mutex()) OsUnlockMutex(Mutex());
    }
};

int32_t FirstFreeChannel() {
    for (int32_t i = 0; i < gChannelCount; i++) {
        if (gChannels[i].state.load() == QZ_CHANNEL_FREE) return i;
    }
    return -1;
}

void PostPendingNative() {
    if (!gAdapter) MacPostPendingAudioEvents();
}

// Releases channel n with the audio mutex held.
void ReleaseLocked(int32_t n) {
    qzAudioChannel* c = &gChannels[n];
    if (gAdapter) {
        if (c->adapterChannel && gAdapter->plugin->FreeAudioChannel)
            gAdapter->plugin->FreeAudioChannel(gAdapter->output, c->adapterChannel);
    } else {
        MacDetachChannelBus(c, n);
    }
    OsFree(c->buffer);
    ClearChannelRecord(c);
}

// The frame count and milliseconds of a played sample: the pass length, and with a time limit
// the number of passes and what the last one plays.
void SetPasses(qzAudioChannel* c, uint32_t frames, int32_t pitch, int32_t timeMs, int32_t passes) {
    c->passMs = static_cast<int32_t>(static_cast<double>(frames) * 1000.0 / pitch);
    if (timeMs < 0) {
        c->passes = passes;
        c->lastPassFrames = frames;
        c->lastPassMs = c->passMs;
        return;
    }
    if (c->passMs > 0) {
        int64_t count = timeMs / c->passMs + 1;
        c->passes = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
        c->lastPassMs = timeMs % c->passMs;
        c->lastPassFrames = static_cast<uint32_t>(static_cast<int64_t>(pitch) * c->lastPassMs / 1000);
        return;
    }
    // A sound shorter than a millisecond: the passes come from the frames the time asks for.
    uint64_t total = static_cast<uint64_t>(timeMs) * static_cast<uint64_t>(pitch) / 1000;
    uint64_t count = frames ? total / frames + 1 : 1;
    c->passes = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
    c->lastPassFrames = frames ? static_cast<uint32_t>(total % frames) : 0;
    c->lastPassMs = 0;
}

void* AllocAdapterChannel(qzAudioChannel* c, int32_t rate, int32_t volume, int32_t format) {
    const qzPluginInfo* plugin = gAdapter->plugin;
    if (!plugin->AllocAudioChannel) return nullptr;
    return plugin->AllocAudioChannel(gAdapter->output, rate, reinterpret_cast<void*>(&MixerFeed), 0, c, 0, volume,
                                     format);
}

// Copies frames of a sample into an adapter's buffer, pass after pass.
int FeedSample(qzAudioChannel* c, unsigned char* out, int frames) {
    const qzSound* sound = c->sound;
    if (c->finished.load() || !sound || sound->frames == 0) return 0;
    if (c->needsStartStamp.exchange(0)) {
        c->startMicros.store(OsMonotonicMicros());
        if (IsSoundEventHooked(QZ_SOUNDEVENT_SAMPLELOOP))
            PushSoundEvent(QZ_SOUNDEVENT_SAMPLELOOP, c->owner, c->passMs, 1, c->lastPassMs, 1);
    }
    const uint32_t bpf = sound->bytesPerFrame;
    int delivered = 0;
    while (delivered < frames) {
        int32_t pass = c->pass.load();
        bool last = pass >= c->passes;
        uint32_t end = last ? (c->lastPassFrames < sound->frames ? c->lastPassFrames : sound->frames) : sound->frames;
        uint32_t position = c->position.load();
        uint32_t rest = end > position ? end - position : 0;
        uint32_t n =
            static_cast<uint32_t>(frames - delivered) < rest ? static_cast<uint32_t>(frames - delivered) : rest;
        std::memcpy(out + static_cast<size_t>(delivered) * bpf, sound->data + static_cast<size_t>(position) * bpf,
                    static_cast<size_t>(n) * bpf);
        delivered += static_cast<int>(n);
        position += n;
        c->position.store(position);
        if (position < end) continue;
        if (last) {
            if (IsSoundEventHooked(QZ_SOUNDEVENT_SAMPLEEND))
                PushSoundEvent(QZ_SOUNDEVENT_SAMPLEEND, c->owner, c->passMs, pass, c->lastPassMs, 1);
            c->endMicros = OsMonotonicMicros() + kFinishGraceMicros;
            c->finished.store(1);
            break;
        }
        c->position.store(0);
        c->pass.store(pass + 1);
        if (IsSoundEventHooked(QZ_SOUNDEVENT_SAMPLELOOP))
            PushSoundEvent(QZ_SOUNDEVENT_SAMPLELOOP, c->owner, c->passMs, pass + 1, c->lastPassMs, 1);
    }
    return delivered;
}

int32_t FindChannelOf(const qzSound* sound) {
    for (int32_t i = 0; i < gChannelCount; i++) {
        if (gChannels[i].state.load() != QZ_CHANNEL_FREE && gChannels[i].sound == sound) return i;
    }
    return -1;
}

int32_t FindMusicChannel(int32_t kind, const void* object) {
    for (int32_t i = 0; i < gChannelCount; i++) {
        const qzAudioChannel& c = gChannels[i];
        if (c.state.load() == QZ_CHANNEL_FREE) continue;
        if ((kind == QZ_MUSIC_SOURCE && c.source == object) || (kind == QZ_MUSIC_MODULE && c.module == object))
            return i;
    }
    return -1;
}

}  // namespace

qzAudioChannel* GetSoundChannels() { return gChannels; }

int32_t GetSoundChannelCount() { return gChannelCount; }

qzAudioAdapter* GetAudioAdapter() { return gAdapter; }

bool AreSoundChannelsOpen() { return gOpened; }

int32_t ClampVolume(int32_t volume) { return volume < 0 ? 0 : volume > 64 ? 64 : volume; }

void ClearChannelRecord(qzAudioChannel* c) {
    c->sound = nullptr;
    c->source = nullptr;
    c->module = nullptr;
    c->state.store(QZ_CHANNEL_FREE);
    c->owner = qzObjectId{0, nullptr};
    c->passes = 0;
    c->pass.store(0);
    c->lastPassFrames = 0;
    c->lastPassMs = 0;
    c->passMs = 0;
    c->startFrame = 0;
    c->volume = 0;
    c->pitch = 0;
    c->pan = 0;
    c->needsStartStamp.store(0);
    c->startMicros.store(0);
    c->finished.store(0);
    c->position.store(0);
    c->adapterChannel = nullptr;
    c->endMicros = 0;
    c->music = nullptr;
    c->stream = nullptr;
    c->video = nullptr;
    c->converter = nullptr;
    c->busFinished.store(0);
    c->buffer = nullptr;
    c->bufferSize = 0;
}

int InitSoundChannels(int32_t channelSetting, int32_t deviceSetting) {
    if (gOpened) return 0;
    // Channels left by a start whose opening of the output ran out of memory and unwound through
    // here go before new ones are made.
    FreeSoundChannels();
    int32_t count = gAdapter ? gAdapter->channelCount : channelSetting > 0 ? channelSetting : kDefaultChannels;
    if (count < 0) return ERR_OPENAUDIO;
    qzAudioChannel* channels = new (std::nothrow) qzAudioChannel[count > 0 ? count : 1];
    if (!channels) return ERR_MEM;
    for (int32_t i = 0; i < count; i++) ClearChannelRecord(&channels[i]);
    gChannels = channels;
    gChannelCount = count;
    int error = 0;
    if (gAdapter) {
        gAdapter->output = gAdapter->plugin->OpenAudio ? gAdapter->plugin->OpenAudio(0, nullptr) : nullptr;
        if (!gAdapter->output) error = ERR_OPENAUDIO;
    } else {
        error = MacOpenAudio(deviceSetting, count);
    }
    if (error) {
        delete[] gChannels;
        gChannels = nullptr;
        gChannelCount = 0;
        return error;
    }
    gOpened = true;
    return 0;
}

void CloseSoundOutput() {
    if (!gOpened) return;
    if (gAdapter) {
        if (gAdapter->output && gAdapter->plugin->CloseAudio) gAdapter->plugin->CloseAudio(gAdapter->output);
        gAdapter->output = nullptr;
    } else {
        MacCloseAudio();
    }
    gOpened = false;
}

void FreeSoundChannels() {
    CloseSoundOutput();
    for (int32_t i = 0; gChannels && i < gChannelCount; i++) {
        AudioConverterDispose(gChannels[i].converter);
        OsFree(gChannels[i].buffer);
        ClearChannelRecord(&gChannels[i]);
    }
    delete[] gChannels;
    gChannels = nullptr;
    gChannelCount = 0;
}

void SoundHousekeeping() {
    if (!gChannels) return;
    if (!gAdapter) {
        MacFreeFinishedChannels();
        return;
    }
    uint64_t now = OsMonotonicMicros();
    AudioLock lock;
    for (int32_t i = 0; i < gChannelCount; i++) {
        qzAudioChannel* c = &gChannels[i];
        if (!c->finished.load() || now < c->endMicros) continue;
        if (c->state.load() == QZ_CHANNEL_STREAM)
            StopStreamChannel(i, c, 0, nullptr, nullptr);
        else
            ReleaseLocked(i);
    }
}

int PlaySoundOnChannel(qzSound* sound, const qzObjectId& owner, int32_t format, uint32_t, int32_t pitch, int32_t volume,
                       int32_t pan, int32_t timeMs, int32_t passes, int32_t* channelOut) {
    if (channelOut) *channelOut = -1;
    SoundHousekeeping();
    int32_t n = FirstFreeChannel();
    if (n < 0) return ERR_NOCHANNEL;
    qzAudioChannel* c = &gChannels[n];
    ClearChannelRecord(c);
    c->sound = sound;
    c->owner = owner;
    c->pass.store(1);
    c->needsStartStamp.store(1);
    c->volume = volume;
    c->pitch = pitch;
    c->pan = pan;
    SetPasses(c, sound->frames, pitch, timeMs, passes);
    if (!gAdapter) {
        c->state.store(QZ_CHANNEL_STARTING);
        int error = MacOpenSampleBus(c, n, pitch, volume, pan);
        if (error) {
            ClearChannelRecord(c);
            return error;
        }
    } else {
        c->state.store(QZ_CHANNEL_SAMPLE);
        c->adapterChannel = AllocAdapterChannel(c, pitch, volume, format);
        if (!c->adapterChannel) {
            ClearChannelRecord(c);
            return ERR_ALLOCCHANNEL;
        }
        if (pan != 128) SetSoundChannelAttributes(n, -1, -1, pan);
    }
    if (channelOut) *channelOut = n;
    return 0;
}

void StartPendingSamples() {
    if (!gChannels) return;
    AudioLock lock;
    for (int32_t i = 0; i < gChannelCount; i++) {
        int32_t expected = QZ_CHANNEL_STARTING;
        gChannels[i].state.compare_exchange_strong(expected, QZ_CHANNEL_SAMPLE);
    }
}

void StopSoundChannels(const qzSound* sound) {
    if (!gChannels) return;
    PostPendingNative();
    AudioLock lock;
    for (int32_t i = 0; i < gChannelCount; i++) {
        qzAudioChannel* c = &gChannels[i];
        int32_t state = c->state.load();
        bool match = sound ? (state != QZ_CHANNEL_FREE && c->sound == sound)
                           : (state == QZ_CHANNEL_SAMPLE || state == QZ_CHANNEL_STARTING);
        if (match) ReleaseLocked(i);
    }
}

void ReleaseChannel(int32_t n) {
    if (!gChannels || n < 0 || n >= gChannelCount) return;
    AudioLock lock;
    ReleaseLocked(n);
}

int IsSoundPlaying(const qzSound* sound) {
    SoundHousekeeping();
    return gChannels && FindChannelOf(sound) >= 0 ? 1 : 0;
}

void SetSampleChannelAttributes(const qzSound* sound, int32_t pitch, int32_t volume, int32_t pan) {
    SoundHousekeeping();
    if (!gChannels) return;
    int32_t n = FindChannelOf(sound);
    if (n < 0) return;
    if (gAdapter) {
        SetSoundChannelAttributes(n, pitch, volume, pan);
        return;
    }
    MacSetChannelAttributes(n, pitch, volume, pan);
}

int GetSampleChannelPosition(const qzSound* sound, int32_t* ms, int32_t* pass) {
    *ms = -1;
    *pass = -1;
    if (!gChannels) return 0;
    int32_t n = FindChannelOf(sound);
    if (n < 0) return 0;
    const qzAudioChannel* c = &gChannels[n];
    uint64_t start = c->startMicros.load();
    uint64_t now = OsMonotonicMicros();
    *ms = start && now > start ? static_cast<int32_t>((now - start) / 1000) : 0;
    *pass = c->pass.load() - 1;
    return 1;
}

int PlayMusicOnChannel(int32_t kind, void* object, const qzObjectId& owner, int32_t passes, int32_t pass,
                       int32_t volume, void* music) {
    if (!gChannels) return ERR_NOCHANNEL;
    if (kind == QZ_MUSIC_SOURCE) {
        SoundHousekeeping();
        int32_t n = FirstFreeChannel();
        if (n < 0) return ERR_NOCHANNEL;
        qzAudioChannel* c = &gChannels[n];
        qzSoundSource* source = static_cast<qzSoundSource*>(object);
        ClearChannelRecord(c);
        c->owner = owner;
        c->volume = volume;
        c->passes = passes;
        c->pass.store(pass);
        c->needsStartStamp.store(1);
        c->music = music;
        c->source = source;
        c->startFrame = source->position;
        c->state.store(QZ_CHANNEL_STREAM);
        int error = StartStreamChannel(n, c);
        if (error) ClearChannelRecord(c);
        return error;
    }
    SoundHousekeeping();
    int32_t n = FirstFreeChannel();
    if (n < 0) return ERR_NOCHANNEL;
    qzAudioChannel* c = &gChannels[n];
    ClearChannelRecord(c);
    c->owner = owner;
    c->module = static_cast<qzModule*>(object);
    c->volume = volume;
    c->music = music;
    c->state.store(QZ_CHANNEL_MODULE);
    int error = 0;
    if (gAdapter) {
        c->adapterChannel = AllocAdapterChannel(c, kModuleRate, volume, QZ_SOUNDFMT_S16_STEREO);
        if (!c->adapterChannel) error = ERR_ALLOCCHANNEL;
    } else {
        error = MacOpenStreamBus(c, n);
    }
    if (error) ClearChannelRecord(c);
    return error;
}

void StopMusicOnChannel(int32_t kind, void* object, int keepPosition, int32_t* passOut, uint32_t* positionOut) {
    if (!gChannels) return;
    PostPendingNative();
    if (kind == QZ_MUSIC_SOURCE) {
        AudioLock lock;
        int32_t n = FindMusicChannel(kind, object);
        if (n >= 0) StopStreamChannel(n, &gChannels[n], keepPosition, passOut, positionOut);
        return;
    }
    {
        AudioLock lock;
        int32_t n = FindMusicChannel(kind, object);
        if (n >= 0) ReleaseLocked(n);
    }
    if (!keepPosition && object) RewindModule(static_cast<qzModule*>(object));
}

void SetMusicChannelVolume(int32_t kind, void* object, int32_t volume) {
    SoundHousekeeping();
    if (!gChannels) return;
    int32_t n = FindMusicChannel(kind, object);
    if (n < 0) return;
    gChannels[n].volume = volume;
    if (gAdapter)
        SetSoundChannelAttributes(n, -1, volume, -1);
    else
        MacSetChannelVolume(n, volume);
}

int IsMusicOnChannel(int32_t kind, const void* object) {
    SoundHousekeeping();
    return gChannels && FindMusicChannel(kind, object) >= 0 ? 1 : 0;
}

int32_t ModulePosition(qzModule* module, int32_t query, int32_t value) {
    if (!module) return -1;
    if (query == 0) return QueryModulePosition(module, 0, value);
    if (!gChannels || FindMusicChannel(QZ_MUSIC_MODULE, module) < 0) return -1;
    return QueryModulePosition(module, query, 0);
}

void RenderMusicBlock(int32_t kind, void* object, void* buffer, uint32_t frames, uint32_t* framesOut, int* end) {
    *framesOut = 0;
    if (end) *end = 0;
    if (kind == QZ_MUSIC_SOURCE) {
        *framesOut = DecodeSoundSource(static_cast<qzSoundSource*>(object), buffer, frames, end);
        return;
    }
    if (!object) {
        if (end) *end = 1;
        return;
    }
    RenderModuleToBuffer(static_cast<qzModule*>(object), static_cast<int16_t*>(buffer), frames);
    *framesOut = frames;
}

void SetSoundChannelAttributes(int32_t n, int32_t pitch, int32_t volume, int32_t pan) {
    if (!gAdapter || !gChannels || n < 0 || n >= gChannelCount) return;
    qzAudioChannel* c = &gChannels[n];
    qzTagItem tags[4];
    int count = 0;
    if (volume != -1) {
        tags[count++] = {1, volume};
        c->volume = volume;
    }
    if (pan != -1) {
        tags[count++] = {2, pan};
        c->pan = pan;
    }
    if (pitch != -1) {
        tags[count++] = {3, pitch};
        c->pitch = pitch;
    }
    tags[count] = {0, 0};
    if (count && c->adapterChannel && gAdapter->plugin->SetChannelAttributes)
        gAdapter->plugin->SetChannelAttributes(gAdapter->output, c->adapterChannel, tags);
}

int MixerFeed(void*, void*, void* buffer, int frames, void* channel) {
    qzAudioChannel* c = static_cast<qzAudioChannel*>(channel);
    if (!c || frames <= 0) return 0;
    switch (c->state.load()) {
    case QZ_CHANNEL_MODULE: {
        if (!c->module) {
            std::memset(buffer, 0, static_cast<size_t>(frames) * 4);
            return frames;
        }
        RenderModuleToBuffer(c->module, static_cast<int16_t*>(buffer), static_cast<uint32_t>(frames));
        return frames;
    }
    case QZ_CHANNEL_SAMPLE: return FeedSample(c, static_cast<unsigned char*>(buffer), frames);
    case QZ_CHANNEL_STREAM: return StreamAdapterFeed(c, buffer, frames);
    case QZ_CHANNEL_VIDEO: return VideoAudioAdapterFeed(c, buffer, frames);
    default: return 0;
    }
}

int SetAudioAdapter(const qzPluginInfo* plugin, uint32_t flags, const intptr_t* tags) {
    if (!CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    if (!plugin || !(plugin->capabilities & QZ_PLUGINCAPS_AUDIOADAPTER)) return ERR_WRONGUSAGE;
    auto applyTags = [](qzAudioAdapter* adapter, const intptr_t* list, bool bufferOnly) {
        for (const intptr_t* t = list; t && t[0]; t += 2) {
            if (t[0] == 1)
                adapter->bufferSize = static_cast<int32_t>(t[1]);
            else if (t[0] == 2 && !bufferOnly)
                adapter->channelCount = static_cast<int32_t>(t[1]);
        }
    };
    if ((flags & 2) && gAdapter && gAdapter->plugin == plugin) {
        applyTags(gAdapter, tags, true);
        return 0;
    }
    if (!IsPluginStartupPhase() || gOpened || (gAdapter && (gAdapter->flags & 1))) return ERR_SETADAPTER;
    qzAudioAdapter adapter = {};
    adapter.plugin = plugin;
    adapter.flags = flags;
    adapter.bufferSize = kDefaultAdapterBuffer;
    adapter.channelCount = gAdapter ? gAdapter->channelCount : gChannelCount ? gChannelCount : kDefaultChannels;
    applyTags(&adapter, tags, false);
    if (adapter.channelCount == 0) {
        RemoveAudioAdapter();
        return ERR_SETADAPTER;
    }
    gAdapterRecord = adapter;
    gAdapter = &gAdapterRecord;
    return 0;
}

void RemoveAudioAdapter() {
    gAdapterRecord = {};
    gAdapter = nullptr;
}
