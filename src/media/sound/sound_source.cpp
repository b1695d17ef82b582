#include "media/sound/sound_source.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/module_replayer.h"
#include "media/sound/sound_decoders.h"
#include "media/sound/sound_plugin_blocks.h"
#include "media/sound/sound_record.h"
#include "platform/audio_file.h"
#include "platform/loader_list.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/vfs.h"
#include "runtime/plugin_manager.h"

namespace {

constexpr size_t kSniffBytes = 1084;
constexpr size_t kModuleMagicAt = 1080;
constexpr int kSoundFileMode = QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU;
constexpr int32_t kModuleRate = 48000;

// Kind 4: the system audio-file decoder.
qzAudioFile* SystemFile(const qzSoundSource* source) { return static_cast<qzAudioFile*>(source->handle); }

const char* SystemName(const qzSoundSource* source) { return AudioFileFormatName(SystemFile(source)); }

void SystemSeek(qzSoundSource* source, uint32_t frame) {
    AudioFileSeek(SystemFile(source), frame);
    source->position = static_cast<uint32_t>(AudioFilePosition(SystemFile(source)));
}

uint32_t SystemDecode(qzSoundSource* source, void* buffer, uint32_t frames, int* end) {
    uint32_t got = AudioFileDecode(SystemFile(source), buffer, frames, end);
    source->framesDecoded = got;
    source->bytesDecoded = got * source->bytesPerFrame;
    source->position += got;
    return got;
}

int SystemOpen(qzSoundSource*) { return 0; }

void SystemClose(qzSoundSource* source) {
    AudioFileClose(SystemFile(source));
    source->handle = nullptr;
}

const qzSoundDecoder kSystemDecoder = {SystemName, SystemSeek, SystemDecode, SystemOpen, SystemClose};

uint32_t Saturate32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

// Opens the file with the system decoder: 0 or its error.
int OpenSystemSource(qzSoundSource* source, const char* name, const char* adapterList) {
    // With an audio adapter the sound is the plugin's: the system decoder does not serve it.
    if (GetAudioAdapter()) return ERR_OPENSOUND2;
    qzAudioFile* file = nullptr;
    qzAudioFileInfo info;
    int error = AudioFileOpen(name, adapterList, &file, &info);
    if (error) return error;
    source->handle = file;
    source->bits = info.bits;
    source->bytesPerFrame = info.bytesPerFrame;
    source->channels = info.channels;
    source->flags = info.flags;
    source->rate = info.rate;
    source->frames = Saturate32(info.frames);
    source->packets = source->frames;
    source->totalBytes = Saturate32(static_cast<uint64_t>(source->frames) * source->bytesPerFrame);
    source->bytesPerPacket = source->bytesPerFrame;
    source->framesPerPacket = 1;
    source->bitRate = info.bitRate;
    return 0;
}

const qzSoundDecoder* DecoderOf(int32_t kind) {
    switch (kind) {
    case QZ_SOURCE_8SVX: return &qz8svxDecoder;
    case QZ_SOURCE_16SV: return &qz16svDecoder;
    case QZ_SOURCE_WAVE: return &qzWaveDecoder;
    case QZ_SOURCE_SYSTEM: return &kSystemDecoder;
    default: return nullptr;
    }
}

// Whether the plugin may serve a load with this loader list.
bool PluginSelected(const qzPluginInfo* info, const char* list) {
    if (info->disabled || !info->moduleName || !IsLoaderSelected(list, info->moduleName, true)) return false;
    return !info->activatedByList || IsLoaderNamedExplicitly(list, info->moduleName);
}

// The plugins' turn: the first whose OpenStream returns a handle serves the source.
bool OpenThroughPlugins(qzSoundSource* source, const char* name, const char* loaderList, const char* adapterList,
                        int32_t subsong) {
    ActivateAdapters(loaderList, QZ_PLUGINCAPS_SOUND);
    for (const qzCapabilityNode* node = GetAdapterList(QZ_PLUGINCAPS_SOUND); node; node = node->next) {
        const qzPluginInfo* info = static_cast<const qzPluginInfo*>(node->plugin);
        if (!info->OpenStream || !info->StreamSamples || !PluginSelected(info, loaderList)) continue;
        qzSoundStreamInfo block = {};
        block.subsong = subsong;
        block.subsongs = 1;
        block.adapter = adapterList;
        void* handle = info->OpenStream(name, &block);
        if (!handle) continue;
        source->handle = handle;
        source->rate = block.rate;
        source->frames = block.frames;
        source->packets = block.frames;
        source->channels = block.channels;
        source->bits = block.bits;
        bool stereo = block.channels == 2;
        source->bytesPerFrame = block.bits == 16 && stereo                          ? 4
                                : (block.bits == 8 && stereo) || (block.bits == 16) ? 2
                                                                                    : 1;
        source->bytesPerPacket = source->bytesPerFrame;
        source->framesPerPacket = 1;
        source->totalBytes = Saturate32(static_cast<uint64_t>(block.frames) * source->bytesPerFrame);
        source->seekable = (block.flags & 4) ? 1 : 0;
        source->subsongCount = block.subsongs;
        source->flags = block.flags & (QZ_SOUNDF_HOSTORDER | QZ_SOUNDF_SIGNED);
        source->kind = QZ_SOURCE_PLUGIN;
        source->plugin = info;
        return true;
    }
    return false;
}

// Reads the custom stream's queued frames into buffer; what the queue lacks is silence.
uint32_t ReadCustomStream(qzSoundSource* source, void* buffer, uint32_t frames, int* end) {
    qzCustomStream* custom = &source->custom;
    const uint32_t bpf = custom->bytesPerFrame;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    uint32_t copied = 0;
    bool ended = false;
    OsLockMutex(custom->mutex);
    for (qzDoubleNode* n = custom->queue.front.next; n != &custom->queue.back && copied < frames; n = n->next) {
        qzStreamBuffer* b = reinterpret_cast<qzStreamBuffer*>(n);
        if (b->consumed) continue;
        if (!b->data) {
            ended = true;
            break;
        }
        uint32_t left = b->frames - b->readPosition;
        uint32_t take = frames - copied < left ? frames - copied : left;
        std::memcpy(out + static_cast<size_t>(copied) * bpf, b->data + static_cast<size_t>(b->readPosition) * bpf,
                    static_cast<size_t>(take) * bpf);
        copied += take;
        b->readPosition += take;
        if (b->readPosition >= b->frames) b->consumed = 1;
    }
    OsUnlockMutex(custom->mutex);
    if (ended) {
        if (end) *end = 1;
        return copied;
    }
    if (copied < frames) {
        // Silence: 0 for signed data, 128 for unsigned 8-bit data.
        int fill = custom->format == QZ_SOUNDFMT_U8_MONO || custom->format == QZ_SOUNDFMT_U8_STEREO ? 128 : 0;
        std::memset(out + static_cast<size_t>(copied) * bpf, fill, static_cast<size_t>(frames - copied) * bpf);
    }
    if (end) *end = 0;
    return frames;
}

void FreeSourceRecord(qzSoundSource* source) {
    if (source->kind == QZ_SOURCE_CUSTOM) {
        FreeCustomStreamBuffers(source);
        OsFreeMutex(source->custom.mutex);
    }
    OsFree(source);
}

}  // namespace

const char* GetSoundLoaderName(qzSoundLoader loader) {
    if (loader == QZ_LOADER_INBUILT) return GetLoaderName(0);
    if (loader == QZ_LOADER_NATIVE) return GetLoaderName(1);
    return GetLoaderName(static_cast<const qzPluginInfo*>(loader));
}

int OpenSoundSource(const char* name, const char* loaderList, const char* adapterList, int32_t subsong,
                    int32_t forMusic, qzSoundSource** out, qzSoundLoader* loader) {
    *out = nullptr;
    if (loader) *loader = QZ_LOADER_INBUILT;
    qzSoundSource* source = static_cast<qzSoundSource*>(OsAlloc(sizeof(qzSoundSource), 1));
    if (!source) return ERR_MEM;
    // The record and what it opened go on every way out until it is handed on, also when a
    // loader list, a name or a decoder runs out of memory and unwinds through here.
    std::unique_ptr<qzSoundSource, void (*)(qzSoundSource*)> owner(source, CloseSoundSource);
    source->subsongCount = 1;
    source->seekable = 1;
    source->forMusic = forMusic;
    if (OpenThroughPlugins(source, name, loaderList, adapterList, subsong)) {
        if (loader) *loader = source->plugin;
    } else if (IsLoaderSelected(loaderList, "inbuilt", true)) {
        qzVfsFile* file = VfsOpen(name, kSoundFileMode, adapterList);
        if (!file) {
            owner.reset();
            SetErrorArgString(name);
            return ERR_READFILE;
        }
        unsigned char head[kSniffBytes] = {};
        size_t got = VfsRead(file, head, sizeof head);
        if (std::memcmp(head, "FORM", 4) == 0 && std::memcmp(head + 8, "8SVX", 4) == 0)
            source->kind = QZ_SOURCE_8SVX;
        else if (std::memcmp(head, "FORM", 4) == 0 && std::memcmp(head + 8, "16SV", 4) == 0)
            source->kind = QZ_SOURCE_16SV;
        else if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
            source->kind = QZ_SOURCE_WAVE;
        else if (got == kSniffBytes && std::memcmp(head + kModuleMagicAt, "M.K.", 4) == 0)
            source->kind = QZ_SOURCE_MODULE;
        if (source->kind) {
            source->handle = file;
        } else {
            VfsClose(file);
        }
    }
    if (source->kind >= QZ_SOURCE_8SVX && source->kind <= QZ_SOURCE_WAVE) {
        // A file the decoder refuses goes on to the system decoder.
        if (!DecoderOf(source->kind)->open(source)) {
            source->kind = 0;
            source->handle = nullptr;
        }
    } else if (source->kind == QZ_SOURCE_MODULE) {
        source->seekable = 0;
    }
    if (source->kind == 0) {
        if (!IsLoaderSelected(loaderList, "native", true)) {
            owner.reset();
            SetErrorArgString(name);
            return ERR_OPENSOUND2;
        }
        int error = OpenSystemSource(source, name, adapterList);
        // A file of no frames has nothing to decode.
        if (!error && source->frames == 0) error = ERR_OPENSOUND2;
        if (error) {
            if (source->handle) AudioFileClose(SystemFile(source));
            source->handle = nullptr;
            owner.reset();
            if (error == ERR_OPENSOUND2 || error == ERR_READFILE) SetErrorArgString(name);
            return error;
        }
        source->kind = QZ_SOURCE_SYSTEM;
        if (loader) *loader = QZ_LOADER_NATIVE;
    }
    source->format = GetSoundFormatCode(source->bits, source->channels, source->flags);
    *out = owner.release();
    return 0;
}

void CloseSoundSource(qzSoundSource* source) {
    if (!source) return;
    if (const qzSoundDecoder* decoder = DecoderOf(source->kind)) {
        decoder->close(source);
    } else if (source->kind == QZ_SOURCE_PLUGIN) {
        if (source->plugin && source->plugin->CloseStream) source->plugin->CloseStream(source->handle);
    } else if (source->kind == QZ_SOURCE_MODULE && source->handle) {
        VfsClose(static_cast<qzVfsFile*>(source->handle));
    }
    FreeSourceRecord(source);
}

const char* GetSoundSourceFormatName(const qzSoundSource* source) {
    if (const qzSoundDecoder* decoder = DecoderOf(source->kind)) return decoder->formatName(source);
    switch (source->kind) {
    case QZ_SOURCE_PLUGIN:
        return source->plugin && source->plugin->GetFormatName ? source->plugin->GetFormatName(source->handle)
                                                               : nullptr;
    case QZ_SOURCE_CUSTOM: return "Custom stream";
    case QZ_SOURCE_MODULE: return "Protracker";
    default: return nullptr;
    }
}

void SeekSoundSourceData(qzSoundSource* source, uint32_t frame) {
    if (const qzSoundDecoder* decoder = DecoderOf(source->kind)) {
        decoder->seek(source, frame);
    } else if (source->kind == QZ_SOURCE_PLUGIN) {
        if (source->seekable || frame == 0) {
            if (source->plugin->SeekStream) source->plugin->SeekStream(source->handle, frame);
            source->position = frame;
        }
    }
}

void SeekSoundSource(qzSoundSource* source, uint32_t frame) {
    SeekSoundSourceData(source, frame);
    if (source->rate) {
        source->timePosition.seconds = frame / source->rate;
        source->timePosition.microseconds =
            static_cast<uint32_t>(static_cast<uint64_t>(frame % source->rate) * 1000000 / source->rate);
    }
    source->playStart = qzTimeVal{0, 0};
}

void SeekSoundSourceMs(qzSoundSource* source, uint32_t ms) {
    uint64_t frame = static_cast<uint64_t>(ms) * source->rate / 1000;
    SeekSoundSource(source, Saturate32(frame));
}

uint32_t DecodeSoundSource(qzSoundSource* source, void* buffer, uint32_t frames, int* end) {
    if (const qzSoundDecoder* decoder = DecoderOf(source->kind)) return decoder->decode(source, buffer, frames, end);
    uint32_t delivered = 0;
    if (source->kind == QZ_SOURCE_PLUGIN) {
        qzSoundStreamRequest request = {buffer, frames, 0, 0};
        int ended = 0;
        source->plugin->StreamSamples(source->handle, &request, 0, &ended);
        delivered = request.delivered < frames ? request.delivered : frames;
        if (end) *end = request.end || ended ? 1 : 0;
    } else if (source->kind == QZ_SOURCE_CUSTOM) {
        delivered = ReadCustomStream(source, buffer, frames, end);
    } else {
        if (end) *end = 1;
        return 0;
    }
    source->framesDecoded = delivered;
    source->position += delivered;
    source->bytesDecoded = delivered * source->bytesPerFrame;
    return delivered;
}

int IsSampleSource(const qzSoundSource* source) {
    return source->totalBytes && source->bytesPerFrame && source->bits ? 1 : 0;
}

int IsSampleFile(const char* name, const char* loaderList, const char* adapterList) {
    qzSoundSource* source = nullptr;
    if (OpenSoundSource(name, loaderList, adapterList, 0, 0, &source, nullptr) != 0) return 0;
    int result = IsSampleSource(source);
    CloseSoundSource(source);
    return result;
}

int GetSoundFileFormatName(const char* name, const char* loaderList, const char* adapterList, const char** formatName) {
    static thread_local char text[256];
    qzSoundSource* source = nullptr;
    if (OpenSoundSource(name, loaderList, adapterList, 0, 1, &source, nullptr) != 0) {
        *formatName = "Unknown";
        return 0;
    }
    const char* found = GetSoundSourceFormatName(source);
    std::strncpy(text, found ? found : "Unknown", sizeof text - 1);
    text[sizeof text - 1] = 0;
    CloseSoundSource(source);
    *formatName = text;
    return 1;
}

int LoadSoundAsSample(const char* name, const char* loaderList, const char* adapterList, qzSound** out, uint32_t* size,
                      uint32_t* rate, int32_t* format, qzSoundLoader* loader) {
    *out = nullptr;
    qzSoundSource* source = nullptr;
    qzSoundLoader opener = QZ_LOADER_INBUILT;
    int error = OpenSoundSource(name, loaderList, adapterList, 0, 0, &source, &opener);
    if (error) return error;
    // The source, the record and the samples go on every way out until the sound is handed on,
    // also when a decoder runs out of memory and unwinds through here.
    std::unique_ptr<qzSoundSource, void (*)(qzSoundSource*)> sourceOwner(source, CloseSoundSource);
    if (!IsSampleSource(source)) return ERR_STREAMASSAMPLE;
    if (source->format == -1) return ERR_8OR16BITONLY;
    qzSound* sound = static_cast<qzSound*>(OsAlloc(sizeof(qzSound), 1));
    std::unique_ptr<qzSound, void (*)(void*)> soundOwner(sound, OsFree);
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(source->totalBytes, 0));
    std::unique_ptr<unsigned char, void (*)(void*)> dataOwner(data, OsFree);
    if (!sound || !data) return ERR_MEM;
    int end = 0;
    uint32_t frames = DecodeSoundSource(source, data, source->frames, &end);
    const uint32_t bpf = source->bytesPerFrame;
    if (source->kind == QZ_SOURCE_SYSTEM || source->kind == QZ_SOURCE_PLUGIN) {
        // A length these decoders only estimate: what they deliver beyond it is kept, and a
        // shorter sound keeps only what was decoded.
        uint64_t capacity = source->totalBytes / bpf;
        while (!end && frames == capacity && capacity < 0xFFFFFFFFu / bpf) {
            uint64_t grown = capacity + capacity / 2 + 4096;
            if (grown * bpf > 0xFFFFFFFFu) grown = 0xFFFFFFFFu / bpf;
            unsigned char* bigger = static_cast<unsigned char*>(OsRealloc(data, static_cast<size_t>(grown * bpf)));
            if (!bigger) return ERR_MEM;
            dataOwner.release();
            dataOwner.reset(bigger);
            data = bigger;
            frames += DecodeSoundSource(source, data + capacity * bpf, static_cast<uint32_t>(grown - capacity), &end);
            capacity = grown;
        }
        if (frames == 0) return ERR_STREAMASSAMPLE;
    }
    sound->data = dataOwner.release();
    sound->bits = source->bits;
    sound->bytesPerFrame = bpf;
    sound->channels = source->channels;
    sound->flags = source->flags;
    sound->frames = frames;
    sound->format = source->format;
    sound->rate = source->rate;
    if (size) *size = frames * bpf;
    if (rate) *rate = source->rate;
    if (format) *format = source->format;
    if (loader) *loader = opener;
    sourceOwner.reset();
    *out = soundOwner.release();
    return 0;
}

int OpenMusicSource(const char* name, const char* loaderList, const char* adapterList, int32_t subsong, int32_t* kind,
                    void** object, int32_t* seekable, int32_t* subsongCount, qzSoundLoader* loader) {
    *object = nullptr;
    qzSoundSource* source = nullptr;
    int error = OpenSoundSource(name, loaderList, adapterList, subsong, 1, &source, loader);
    if (error) return error;
    if (seekable) *seekable = source->seekable;
    if (subsongCount) *subsongCount = source->subsongCount;
    if (source->kind != QZ_SOURCE_MODULE) {
        *kind = QZ_MUSIC_SOURCE;
        *object = source;
        return 0;
    }
    qzVfsFile* file = static_cast<qzVfsFile*>(source->handle);
    VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
    unsigned char* data = nullptr;
    size_t size = 0;
    {
        // The source goes also when examining a file an adapter serves runs out of memory.
        std::unique_ptr<qzSoundSource, void (*)(qzSoundSource*)> owner(source, CloseSoundSource);
        error = VfsLoadFile(name, adapterList, file, &data, &size, true);
    }
    if (error) return error;
    qzModule* module = OpenModule(data, size, kModuleRate);
    if (!module) {
        OsFree(data);
        SetErrorArgString(name);
        return ERR_OPENSOUND2;
    }
    *kind = QZ_MUSIC_MODULE;
    *object = module;
    return 0;
}

void FreeMusicSource(int32_t kind, void* object) {
    if (!object) return;
    if (kind == QZ_MUSIC_SOURCE) {
        CloseSoundSource(static_cast<qzSoundSource*>(object));
    } else {
        FreeModule(static_cast<qzModule*>(object));
    }
}

int IsModuleMusic(int32_t kind) { return kind == QZ_MUSIC_MODULE ? 1 : 0; }

int CreateCustomStream(void* owner, uint32_t rate, int32_t format, int32_t* kind, qzSoundSource** out) {
    *out = nullptr;
    qzSoundSource* source = static_cast<qzSoundSource*>(OsAlloc(sizeof(qzSoundSource), 1));
    if (!source) return ERR_MEM;
    source->kind = QZ_SOURCE_CUSTOM;
    source->forMusic = 1;
    source->seekable = 0;
    source->subsongCount = 1;
    source->rate = rate;
    source->channels = format == 3 || format == 5 ? 2 : 1;
    source->bits = format >= 0 && format <= 3 ? 8 : 16;
    source->bytesPerFrame = GetFrameBytesForFormat(format);
    source->flags = source->bits == 8 ? QZ_SOUNDF_SIGNED : QZ_SOUNDF_SIGNED | QZ_SOUNDF_HOSTORDER;
    source->frames = 0xFFFFFFFFu;
    source->packets = 0xFFFFFFFFu;
    source->totalBytes = 0xFFFFFFFFu;
    source->bytesPerPacket = source->bytesPerFrame;
    source->framesPerPacket = 1;
    source->format = format;
    qzCustomStream* custom = &source->custom;
    custom->owner = owner;
    custom->rate = rate;
    custom->bits = source->bits;
    custom->channels = source->channels;
    custom->bytesPerFrame = source->bytesPerFrame;
    custom->format = format;
    InitDoubleList(&custom->queue);
    custom->mutex = OsAllocMutex();
    if (!custom->mutex) {
        OsFree(source);
        return ERR_SEMAPHORE;
    }
    *kind = QZ_MUSIC_SOURCE;
    *out = source;
    return 0;
}

void FreeCustomStreamBuffers(qzSoundSource* source) {
    qzCustomStream* custom = &source->custom;
    if (!custom->mutex) return;
    OsLockMutex(custom->mutex);
    while (qzDoubleNode* n = RemoveListHead(&custom->queue)) OsFree(n);
    OsUnlockMutex(custom->mutex);
}

int64_t GetMusicSourceInfo(int32_t query, int32_t kind, void* object, const void** pointer) {
    if (pointer) *pointer = nullptr;
    if (kind == QZ_MUSIC_MODULE) {
        switch (query) {
        case QZ_MUSICINFO_FORMATNAME:
            if (pointer) *pointer = "Protracker";
            return 0;
        case QZ_MUSICINFO_FORMAT: return QZ_SOUNDFMT_S16_STEREO;
        case QZ_MUSICINFO_RATE: return kModuleRate;
        default: return -1;
        }
    }
    if (kind != QZ_MUSIC_SOURCE || !object) return -1;
    qzSoundSource* source = static_cast<qzSoundSource*>(object);
    int64_t duration = source->rate ? static_cast<int64_t>(source->frames) * 1000 / source->rate : 0;
    switch (query) {
    case QZ_MUSICINFO_DURATION: return duration;
    case QZ_MUSICINFO_POSITION: {
        int64_t position =
            static_cast<int64_t>(source->timePosition.seconds) * 1000 + source->timePosition.microseconds / 1000;
        if (source->playStart.seconds || source->playStart.microseconds) {
            qzTimeVal now;
            OsGetMonotonicTime(&now);
            int64_t played = (static_cast<int64_t>(now.seconds) - source->playStart.seconds) * 1000 +
                             (static_cast<int64_t>(now.microseconds) - source->playStart.microseconds) / 1000;
            position += played;
            if (duration > 0) position %= duration;
        }
        return position;
    }
    case QZ_MUSICINFO_FORMATNAME:
        if (pointer) *pointer = GetSoundSourceFormatName(source);
        return 0;
    case QZ_MUSICINFO_FORMAT: return source->format;
    case QZ_MUSICINFO_RATE: return source->rate;
    case QZ_MUSICINFO_BITRATE:
        if (source->bitRate) return source->bitRate;
        if (source->totalBytes && source->bytesPerFrame && source->bits)
            return static_cast<int64_t>(source->bytesPerFrame) * source->rate / 1024 * 8;
        return 0;
    case QZ_MUSICINFO_CUSTOM:
        if (pointer) *pointer = &source->custom;
        return 0;
    default: return 0;
    }
}
