// Music objects: streams decoded while they play and modules rendered while they play, with
// playing, stopping, pausing, resuming, seeking and volume, subsongs and song positions, and the
// music queries. Modules have their own command names, which share these handlers.
#include <climits>
#include <cstring>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/event_dispatch.h"
#include "display/event_pump.h"
#include "libs/dos/dos.h"
#include "libs/sound/sound.h"
#include "libs/system/system.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sample_edit.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_time.h"
#include "platform/os_timer.h"
#include "runtime/applet_version.h"
#include "runtime/arg_check.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/linked_file.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kWaitStepMs = 10;
constexpr int32_t kMinStreamRate = 256;

qzMusic* gCurrentMusic = nullptr;  // the one last started: what the commands without an id act on
qzMusic* gPausedMusic = nullptr;   // the one last paused: what ResumeMusic without an id resumes
int gStreamTick = 0;               // the shared tick runs for the playing script-fed streams

qzMusic* CheckMusic(VmState* state, int index) {
    return reinterpret_cast<qzMusic*>(CheckListObject(state, index, qzMusicList, ERR_FINDMUSIC));
}

// A music whose channel has ended is stopped: its state follows the channel table.
void SyncMusicStates() {
    if (!qzSoundStarted) return;
    for (qzObjectHeader* h = qzMusicList; h; h = h->next) {
        qzMusic* music = reinterpret_cast<qzMusic*>(h);
        if (music->state != QZ_MUSIC_PLAYING || IsMusicOnChannel(music->kind, music->object)) continue;
        music->state = QZ_MUSIC_STOPPED;
        music->resumePass = 1;
        music->resumePosition = 0;
        if (gCurrentMusic == music) gCurrentMusic = nullptr;
    }
}

// The shared tick wakes the event loop while a script-fed stream plays, so that its handler is
// asked for data in time; it stops with the last such stream.
void UpdateStreamTick(VmState* state) {
    int playing = 0;
    for (qzObjectHeader* h = qzMusicList; h && !playing; h = h->next) {
        const qzMusic* music = reinterpret_cast<const qzMusic*>(h);
        playing = music->custom && music->state == QZ_MUSIC_PLAYING;
    }
    if (playing && !gStreamTick) {
        gStreamTick = OsStartSharedTick(state, 0) == 0;
    } else if (!playing && gStreamTick) {
        OsStopSharedTick(state, 0);
        gStreamTick = 0;
    }
}

qzCustomStream* StreamOf(const qzMusic* music) { return &static_cast<qzSoundSource*>(music->object)->custom; }

// Two seconds of a stream's frames, as many as a handler's message can carry.
int32_t TwoSeconds(uint32_t rate) { return rate > INT32_MAX / 2 ? INT32_MAX : static_cast<int32_t>(rate * 2); }

// Calls the script's FillMusicBuffer handler for the stream at once.
int CallStreamHandler(VmState* state, qzMusic* music, int32_t frames, int32_t fillPosition) {
    const qzHandlerSlot& slot = GlobalHandlerSlots()[QZ_GLOBAL_FILLMUSICBUFFER];
    if (slot.function == -1) return ERR_NOFMBHANDLER;
    return CallFillMusicBufferHandler(state, music->header.id, slot.function, slot.userData, frames, fillPosition, 1);
}

int StartMusicObject(VmState* state, qzMusic* music) {
    if (IsFillMusicBufferRunning()) return ERR_NOCALLBACK;
    if (music->custom) {
        // A stream started again after a stop begins with fresh data: two seconds.
        qzCustomStream* custom = StreamOf(music);
        if (custom->needsPrefill) {
            custom->needsPrefill = 0;
            FreeCustomStreamBuffers(static_cast<qzSoundSource*>(music->object));
            if (int error = CallStreamHandler(state, music, TwoSeconds(custom->rate), 0)) return error;
        }
    }
    int error = PlayMusicOnChannel(music->kind, music->object, music->header.id, music->passes, music->resumePass,
                                   music->volume, music);
    if (error) return error;
    gPausedMusic = nullptr;
    gCurrentMusic = music;
    music->state = QZ_MUSIC_PLAYING;
    if (music->custom) UpdateStreamTick(state);
    return 0;
}

void StopMusicObject(qzMusic* music, int pause) {
    int32_t pass = music->resumePass;
    uint32_t position = music->resumePosition;
    StopMusicOnChannel(music->kind, music->object, pause, &pass, &position);
    if (pause) {
        music->resumePass = pass;
        music->resumePosition = position;
        gPausedMusic = music;
    } else {
        // A paused stream has no channel that could take it back to its start.
        if (music->state == QZ_MUSIC_PAUSED && music->kind == QZ_MUSIC_SOURCE && !music->custom)
            SeekSoundSource(static_cast<qzSoundSource*>(music->object), 0);
        if (music->custom) {
            StreamOf(music)->fillPosition = 0;
            StreamOf(music)->needsPrefill = 1;
        }
        music->resumePass = 1;
        music->resumePosition = 0;
        gPausedMusic = nullptr;
    }
    gCurrentMusic = nullptr;
    music->state = pause ? QZ_MUSIC_PAUSED : QZ_MUSIC_STOPPED;
}

// Plays a stopped music with the passes (a number) or the options ("volume", "times") at index.
int PlayMusicObject(VmState* state, qzMusic* music, int index) {
    SyncMusicStates();
    // Applets made before several musics could play at once, and the "singlemusic" switch, have
    // one music at a time: the current one stops.
    const bool oneMusic = IsLegacySingleMusic() || !CheckAppletVersion(6, 0);
    if (oneMusic && gCurrentMusic && gCurrentMusic != music) {
        // No stream stops while a FillMusicBuffer handler runs, and this call would fail there.
        if (IsFillMusicBufferRunning()) return ERR_NOCALLBACK;
        StopMusicObject(gCurrentMusic, 0);
        UpdateStreamTick(state);
    }
    if (music->state == QZ_MUSIC_PLAYING) return ERR_MUSPLAYING;
    if (music->state == QZ_MUSIC_PAUSED) return ERR_MUSPAUSED;
    int32_t passes = 1;
    if (VmType(state, index) == VM_TTABLE) {
        int32_t volume = 0;
        if (GetTableFieldInt(state, index, "volume", &volume, nullptr)) music->volume = ClampVolume(volume);
        GetTableFieldInt(state, index, "times", &passes, nullptr);
    } else if (VmGetTop(state) >= index && VmType(state, index) > VM_TNIL) {
        passes = VmCheckInteger(state, index);
    }
    if (passes < 0) return ERR_WRONGUSAGE;
    music->passes = passes;
    music->resumePass = 1;
    music->resumePosition = 0;
    return StartMusicObject(state, music);
}

// The music of the optional id at index 1 that StopMusic and PauseMusic need playing, or the
// current music.
int FindPlayingMusic(VmState* state, qzMusic** out) {
    SyncMusicStates();
    if (VmGetTop(state) < 1 || VmType(state, 1) <= VM_TNIL) {
        *out = gCurrentMusic;
        return gCurrentMusic ? 0 : ERR_WRONGUSAGE;
    }
    qzMusic* music = CheckMusic(state, 1);
    if (music->state != QZ_MUSIC_PLAYING) {
        if (music->header.id.pointer) return ERR_MUSNOTPLYNG2;
        SetErrorArgIndex(music->header.id.number);
        return ERR_MUSNOTPLYNG;
    }
    *out = music;
    return 0;
}

void FreeMusicObject(VmState* state, qzMusic* music) {
    if (music->state != QZ_MUSIC_STOPPED && qzSoundStarted) StopMusicObject(music, 0);
    RemoveObjectFromList(&qzMusicList, &music->header);
    if (gCurrentMusic == music) gCurrentMusic = nullptr;
    if (gPausedMusic == music) gPausedMusic = nullptr;
    FreeMusicSource(music->kind, music->object);
    FreeObjectDataList(state, music->header.data);
    OsFree(music->fileName);
    OsFree(music);
}

char* CopyText(const char* text) {
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(OsAlloc(n, 0));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

// The position query of the current music: 1 the row, 2 the song position; -1 without a current
// module on a channel.
int32_t CurrentModulePosition(int32_t query) {
    SyncMusicStates();
    if (!gCurrentMusic || gCurrentMusic->kind != QZ_MUSIC_MODULE) return -1;
    return ModulePosition(static_cast<qzModule*>(gCurrentMusic->object), query, 0);
}

int WaitModulePosition(VmState* state, int32_t query) {
    int32_t target = VmCheckInteger(state, 1);
    for (;;) {
        SyncMusicStates();
        if (!gCurrentMusic) return 0;
        int error = 0;
        if (PumpEvents(state, QZ_PUMP_WAIT, &error)) return error;
        if (target <= CurrentModulePosition(query)) return 0;
        OsDelay(kWaitStepMs);
    }
}

}  // namespace

qzMusic* FindMusicById(const qzObjectId& id) { return reinterpret_cast<qzMusic*>(FindObjectInList(qzMusicList, id)); }

void StopAllMusic() {
    for (qzObjectHeader* h = qzMusicList; h; h = h->next) {
        qzMusic* music = reinterpret_cast<qzMusic*>(h);
        if (music->state == QZ_MUSIC_PLAYING) StopMusicObject(music, 0);
    }
}

void FreeAllMusic(VmState* state) {
    while (qzMusicList) FreeMusicObject(state, reinterpret_cast<qzMusic*>(qzMusicList));
}

void ResetMusicGlobals() {
    gCurrentMusic = nullptr;
    gPausedMusic = nullptr;
    gStreamTick = 0;
}

int32_t FindStreamNeedingData(qzObjectId* id, int32_t* fillPosition) {
    if (!qzSoundStarted) return 0;
    SyncMusicStates();
    for (qzObjectHeader* h = qzMusicList; h; h = h->next) {
        qzMusic* music = reinterpret_cast<qzMusic*>(h);
        if (!music->custom || music->state != QZ_MUSIC_PLAYING) continue;
        qzCustomStream* custom = StreamOf(music);
        uint64_t queued = 0;
        bool ended = false;
        OsLockMutex(custom->mutex);
        for (qzDoubleNode* n = custom->queue.front.next; n != &custom->queue.back; n = n->next) {
            const qzStreamBuffer* b = reinterpret_cast<const qzStreamBuffer*>(n);
            if (!b->data) ended = true;
            if (!b->consumed && b->data) queued += b->frames - b->readPosition;
        }
        OsUnlockMutex(custom->mutex);
        // A stream whose end is queued wants nothing more.
        if (ended || queued >= custom->rate) continue;
        *id = music->header.id;
        *fillPosition = static_cast<int32_t>(custom->fillPosition);
        return static_cast<int32_t>(custom->rate - queued);
    }
    return 0;
}

int SoundOpenMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    std::string name = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzLoadOptions options;
    ReadLoadOptions(state, 3, &options);
    if (!IsAutoObjectId(id))
        if (qzMusic* old = FindMusicById(id)) FreeMusicObject(state, old);
    if (!StartSoundSystem(state)) return 0;
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGMUSIC), name.c_str(), true);
    int32_t kind = 0, seekable = 0, subsongs = 0;
    void* object = nullptr;
    qzSoundLoader loader = QZ_LOADER_INBUILT;
    int error = OpenMusicSource(name.c_str(), ListOrNull(options.loader), ListOrNull(options.adapter), 0, &kind,
                                &object, &seekable, &subsongs, &loader);
    if (error) {
        PrintProgressFailed();
        return error;
    }
    qzMusic* music = static_cast<qzMusic*>(OsAlloc(sizeof(qzMusic), 1));
    char* fileName = music ? CopyText(name.c_str()) : nullptr;
    if (!fileName) {
        OsFree(music);
        FreeMusicSource(kind, object);
        PrintProgressFailed();
        return ERR_MEM;
    }
    music->fileName = fileName;
    music->object = object;
    music->kind = kind;
    music->state = QZ_MUSIC_STOPPED;
    music->volume = 64;
    music->passes = 1;
    music->resumePass = 1;
    music->seekable = seekable;
    music->subsongCount = subsongs;
    music->currentSubsong = 1;
    music->loader = loader;
    std::memcpy(music->adapter, options.adapter, sizeof music->adapter);
    AddObjectToList(&qzMusicList, &music->header, QZ_TYPE_MUSIC, id);
    PrintProgressDone();
    return PushNewObjectHandle(state, id, &music->header);
}

int SoundCloseMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = CheckMusic(state, 1);
    SyncMusicStates();
    if (IsFillMusicBufferRunning() && music->custom && music->state == QZ_MUSIC_PLAYING) return ERR_NOCALLBACK;
    FreeMusicObject(state, music);
    UpdateStreamTick(state);
    return 0;
}

int SoundPlayMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = CheckMusic(state, 1);
    return PlayMusicObject(state, music, 2);
}

int SoundStopMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = nullptr;
    if (int error = FindPlayingMusic(state, &music)) return error;
    if (IsFillMusicBufferRunning()) return ERR_NOCALLBACK;
    StopMusicObject(music, 0);
    UpdateStreamTick(state);
    return 0;
}

int SoundPauseMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = nullptr;
    if (int error = FindPlayingMusic(state, &music)) return error;
    if (IsFillMusicBufferRunning()) return ERR_NOCALLBACK;
    StopMusicObject(music, 1);
    UpdateStreamTick(state);
    return 0;
}

int SoundResumeMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = VmGetTop(state) >= 1 && VmType(state, 1) > VM_TNIL ? CheckMusic(state, 1) : gPausedMusic;
    if (!music) return ERR_WRONGUSAGE;
    SyncMusicStates();
    if (music->state != QZ_MUSIC_PAUSED) return ERR_MUSNOTPAUSED;
    return StartMusicObject(state, music);
}

int SoundSeekMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = CheckMusic(state, 1);
    int32_t ms = VmCheckInteger(state, 2);
    if (!music->seekable || music->kind != QZ_MUSIC_SOURCE) return ERR_SEEKFORMAT;
    int64_t duration = GetMusicSourceInfo(QZ_MUSICINFO_DURATION, music->kind, music->object, nullptr);
    if (ms < 0 || ms >= duration) return ERR_SEEKRANGE;
    SyncMusicStates();
    qzSoundSource* source = static_cast<qzSoundSource*>(music->object);
    if (music->state != QZ_MUSIC_PLAYING) {
        SeekSoundSourceMs(source, static_cast<uint32_t>(ms));
        music->resumePosition = source->position;
        return 0;
    }
    StopMusicObject(music, 1);
    SeekSoundSourceMs(source, static_cast<uint32_t>(ms));
    music->resumePosition = source->position;
    return StartMusicObject(state, music);
}

int SoundSetMusicVolume(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = CheckMusic(state, 1);
    double volume = CheckPercentArg(state, 2, 64, 0, nullptr);
    music->volume = ClampVolume(VmNumberToInteger(volume));
    if (qzSoundStarted) SetMusicChannelVolume(music->kind, music->object, music->volume);
    return 0;
}

int SoundIsMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    qzLoadOptions options;
    ReadLoadOptions(state, 2, &options);
    const char* formatName = "Unknown";
    int found =
        GetSoundFileFormatName(name.c_str(), ListOrNull(options.loader), ListOrNull(options.adapter), &formatName);
    VmPushNumber(state, found ? 1 : 0);
    VmPushString(state, formatName);
    return 2;
}

int SoundIsMusicPlaying(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = CheckMusic(state, 1);
    SyncMusicStates();
    VmPushNumber(state, music->state == QZ_MUSIC_PLAYING ? 1 : 0);
    return 1;
}

int SoundPlaySubsong(VmState* state) {
    if (qzSoundNoSound) return 0;
    int32_t n = VmCheckInteger(state, 1);
    qzMusic* music = VmGetTop(state) >= 2 && VmType(state, 2) > VM_TNIL ? CheckMusic(state, 2) : gCurrentMusic;
    if (!music) return ERR_WRONGUSAGE;
    SyncMusicStates();
    if (music->kind == QZ_MUSIC_MODULE) {
        ModulePosition(static_cast<qzModule*>(music->object), 0, n);
    } else {
        if (n < 1 || n > music->subsongCount) return ERR_WRONGUSAGE;
        if (n != music->currentSubsong) {
            int32_t kind = 0, seekable = 0, subsongs = 0;
            void* object = nullptr;
            qzSoundLoader loader = music->loader;
            int error = OpenMusicSource(music->fileName, GetSoundLoaderName(music->loader), ListOrNull(music->adapter),
                                        n - 1, &kind, &object, &seekable, &subsongs, &loader);
            if (error) return error;
            if (music->state != QZ_MUSIC_STOPPED) StopMusicObject(music, 0);
            FreeMusicSource(music->kind, music->object);
            music->object = object;
            music->kind = kind;
            music->seekable = seekable;
            music->resumePass = 1;
            music->resumePosition = 0;
            music->currentSubsong = n;
        } else if (music->state != QZ_MUSIC_STOPPED) {
            StopMusicObject(music, 0);
        }
    }
    if (music->state == QZ_MUSIC_PLAYING) return 0;
    return PlayMusicObject(state, music, 3);
}

int SoundGetPatternPosition(VmState* state) {
    VmPushNumber(state, qzSoundNoSound ? -1 : CurrentModulePosition(1));
    return 1;
}

int SoundGetSongPosition(VmState* state) {
    VmPushNumber(state, qzSoundNoSound ? -1 : CurrentModulePosition(2));
    return 1;
}

int SoundWaitPatternPosition(VmState* state) { return qzSoundNoSound ? 0 : WaitModulePosition(state, 1); }

int SoundWaitSongPosition(VmState* state) { return qzSoundNoSound ? 0 : WaitModulePosition(state, 2); }

int GetMusicAttribute(uint32_t tag, qzSoundAttrQuery* query) {
    qzMusic* music = FindMusicById(query->id);
    if (!music) return 0;
    query->text = nullptr;
    query->number2 = 0;
    const void* pointer = nullptr;
    switch (tag) {
    case QZ_SOUNDATTR_MUSICDURATION:
        query->number =
            static_cast<double>(GetMusicSourceInfo(QZ_MUSICINFO_DURATION, music->kind, music->object, nullptr));
        return 1;
    case QZ_SOUNDATTR_MUSICPOSITION:
        query->number =
            static_cast<double>(GetMusicSourceInfo(QZ_MUSICINFO_POSITION, music->kind, music->object, nullptr));
        return 1;
    case QZ_SOUNDATTR_MUSICFORMATNAME:
        GetMusicSourceInfo(QZ_MUSICINFO_FORMATNAME, music->kind, music->object, &pointer);
        query->text = pointer ? static_cast<const char*>(pointer) : "Unknown";
        return 1;
    case QZ_SOUNDATTR_MUSICBITRATE:
        query->number =
            static_cast<double>(GetMusicSourceInfo(QZ_MUSICINFO_BITRATE, music->kind, music->object, nullptr));
        return 1;
    case QZ_SOUNDATTR_MUSICRATE:
        query->number = static_cast<double>(GetMusicSourceInfo(QZ_MUSICINFO_RATE, music->kind, music->object, nullptr));
        return 1;
    case QZ_SOUNDATTR_MUSICFORMAT:
        query->number = SoundToScriptFormat(
            static_cast<int32_t>(GetMusicSourceInfo(QZ_MUSICINFO_FORMAT, music->kind, music->object, nullptr)));
        return 1;
    case QZ_SOUNDATTR_MUSICSEEKABLE: query->number = music->seekable; return 1;
    case QZ_SOUNDATTR_SUBSONGS: query->number = music->subsongCount; return 1;
    case QZ_SOUNDATTR_CURRENTSUBSONG: query->number = music->currentSubsong; return 1;
    case QZ_SOUNDATTR_MUSICPLAYING:
        SyncMusicStates();
        query->number = music->state == QZ_MUSIC_PLAYING ? 1 : 0;
        return 1;
    case QZ_SOUNDATTR_MUSICPAUSED: query->number = music->state == QZ_MUSIC_PAUSED ? 1 : 0; return 1;
    case QZ_SOUNDATTR_MUSICLOADER: query->text = GetSoundLoaderName(music->loader); return 1;
    default: return 0;
    }
}

int SoundCreateMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    int32_t rate = VmCheckInteger(state, 2);
    int32_t format = ScriptToSoundFormat(VmCheckInteger(state, 3));
    if (IsFillMusicBufferRunning()) return ERR_NOCALLBACK;
    if (!HasGlobalHandler(QZ_GLOBAL_FILLMUSICBUFFER)) return ERR_NOFMBHANDLER;
    if (format < 0) return ERR_WRONGUSAGE;
    if (rate < kMinStreamRate) return ERR_LOWFREQ;
    if (!IsAutoObjectId(id))
        if (qzMusic* old = FindMusicById(id)) FreeMusicObject(state, old);
    if (!StartSoundSystem(state)) return 0;
    qzMusic* music = static_cast<qzMusic*>(OsAlloc(sizeof(qzMusic), 1));
    if (!music) return ERR_MEM;
    int32_t kind = 0;
    qzSoundSource* source = nullptr;
    if (int error = CreateCustomStream(music, static_cast<uint32_t>(rate), format, &kind, &source)) {
        OsFree(music);
        return error;
    }
    music->object = source;
    music->kind = kind;
    music->state = QZ_MUSIC_STOPPED;
    music->volume = 64;
    music->passes = 1;
    music->resumePass = 1;
    music->subsongCount = 1;
    music->currentSubsong = 1;
    music->loader = QZ_LOADER_INBUILT;
    music->custom = 1;
    AddObjectToList(&qzMusicList, &music->header, QZ_TYPE_MUSIC, id);
    int results = PushNewObjectHandle(state, id, &music->header);
    if (int error = CallStreamHandler(state, music, TwoSeconds(static_cast<uint32_t>(rate)), 0)) return error;
    return results;
}

namespace {

bool IsUnsignedFormat(int32_t format) { return format == QZ_SOUNDFMT_U8_MONO || format == QZ_SOUNDFMT_U8_STEREO; }

// The "pcm" fill: the table's "data" holds frames x channels numbers from key 0, stored in the
// stream's format (clamped to its range).
int ReadPcmFrames(VmState* state, const qzCustomStream* custom, uint32_t frames, unsigned char* out) {
    if (VmType(state, 4) != VM_TTABLE) return ERR_WRONGUSAGE;
    VmPushString(state, "data");
    VmRawGet(state, 4);
    int data = VmGetTop(state);
    if (VmType(state, data) != VM_TTABLE) return ERR_WRONGUSAGE;
    const uint64_t count = static_cast<uint64_t>(frames) * custom->channels;
    const bool wide = custom->bits == 16;
    const bool offset = IsUnsignedFormat(custom->format);
    for (uint64_t i = 0; i < count; i++) {
        VmRawGetI(state, data, static_cast<int>(i));
        if (!VmIsNumber(state, -1)) return ERR_WRONGUSAGE;
        double value = VmToNumber(state, -1);
        VmPop(state, 1);
        if (wide) {
            int16_t level = static_cast<int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
            std::memcpy(out + i * 2, &level, 2);
        } else {
            double low = offset ? 0 : -128, high = offset ? 255 : 127;
            int32_t level = static_cast<int32_t>(value < low ? low : value > high ? high : value);
            out[i] = static_cast<unsigned char>(level);
        }
    }
    VmPop(state, 1);
    return 0;
}

// The "sample" fill: the table's "id" names a sample, copied with the frame copier's options.
int CopySampleFrames(VmState* state, const qzCustomStream* custom, uint32_t frames, unsigned char* out,
                     qzSample** freeAfter) {
    if (VmType(state, 4) != VM_TTABLE) return ERR_WRONGUSAGE;
    VmPushString(state, "id");
    VmRawGet(state, 4);
    qzObjectId id = CheckObjectIdArg(state, VmGetTop(state));
    VmPop(state, 1);
    qzSample* sample = FindSampleById(id);
    if (!sample) return ERR_FINDSAMPLE;
    qzFrameCopy copy;
    int32_t value = 0;
    if (GetTableFieldBool(state, 4, "loop", &value, nullptr)) copy.loop = value;
    if (GetTableFieldInt(state, 4, "offset", &value, nullptr)) copy.offset = value;
    if (GetTableFieldInt(state, 4, "start", &value, nullptr)) copy.start = value;
    if (GetTableFieldInt(state, 4, "end", &value, nullptr)) copy.end = value;
    if (int error = CheckFrameCopy(sample->sound, &copy)) return error;
    CopyIntoStream(sample->sound, &copy, custom->format, out, frames);
    int32_t freeIt = 0;
    if (GetTableFieldBool(state, 4, "free", &freeIt, nullptr) && freeIt) *freeAfter = sample;
    return 0;
}

}  // namespace

int SoundFillMusicBuffer(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = CheckMusic(state, 1);
    const char* kind = VmCheckString(state, 2);
    int32_t frames = VmCheckInteger(state, 3);
    if (!IsFillMusicBufferRunning()) return ERR_NOMUSICCB;
    if (!music->custom) return ERR_WRONGUSAGE;
    enum { PCM, MUTE, SAMPLE, END } what;
    if (CompareNoCase(kind, "pcm") == 0) {
        what = PCM;
    } else if (CompareNoCase(kind, "mute") == 0) {
        what = MUTE;
    } else if (CompareNoCase(kind, "sample") == 0) {
        what = SAMPLE;
    } else if (CompareNoCase(kind, "end") == 0) {
        what = END;
    } else {
        return ERR_WRONGUSAGE;
    }
    if (what == END) frames = 0;
    if (frames < 0) return ERR_WRONGUSAGE;
    qzCustomStream* custom = StreamOf(music);
    const uint64_t bytes = static_cast<uint64_t>(frames) * custom->bytesPerFrame;
    if (bytes > 0xFFFFFFFFu) return ERR_MEM;
    qzStreamBuffer* node = static_cast<qzStreamBuffer*>(OsAlloc(sizeof(qzStreamBuffer) + bytes, 1));
    if (!node) return ERR_MEM;
    unsigned char* data = reinterpret_cast<unsigned char*>(node + 1);
    qzSample* freeAfter = nullptr;
    int error = 0;
    switch (what) {
    case PCM: error = ReadPcmFrames(state, custom, static_cast<uint32_t>(frames), data); break;
    case MUTE:
        if (IsUnsignedFormat(custom->format)) std::memset(data, 128, bytes);
        break;
    case SAMPLE: error = CopySampleFrames(state, custom, static_cast<uint32_t>(frames), data, &freeAfter); break;
    case END: data = nullptr; break;
    }
    if (error) {
        OsFree(node);
        return error;
    }
    node->data = data;
    node->bytes = static_cast<uint32_t>(bytes);
    node->frames = static_cast<uint32_t>(frames);
    custom->fillPosition += static_cast<uint32_t>(frames);
    OsLockMutex(custom->mutex);
    while (custom->queue.front.next != &custom->queue.back &&
           reinterpret_cast<qzStreamBuffer*>(custom->queue.front.next)->consumed)
        OsFree(RemoveListHead(&custom->queue));
    AddListTail(&custom->queue, &node->node);
    OsUnlockMutex(custom->mutex);
    if (freeAfter) FreeSampleObject(state, freeAfter);
    return 0;
}

int SoundFlushMusicBuffer(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = CheckMusic(state, 1);
    SyncMusicStates();
    if (!music->custom || music->state != QZ_MUSIC_PLAYING) return ERR_WRONGUSAGE;
    if (IsFillMusicBufferRunning()) return ERR_NOCALLBACK;
    int32_t passes = music->passes;
    StopMusicObject(music, 0);
    music->passes = passes;
    int error = StartMusicObject(state, music);
    UpdateStreamTick(state);
    return error;
}
