// Music objects: streams decoded while they play and modules rendered while they play, with
// playing, stopping, pausing, resuming, seeking and volume, subsongs and song positions, and the
// music queries. Modules have their own command names, which share these handlers.
#include <cstring>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/event_pump.h"
#include "libs/dos/dos.h"
#include "libs/sound/sound.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
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

qzMusic* gCurrentMusic = nullptr;  // the one last started: what the commands without an id act on
qzMusic* gPausedMusic = nullptr;   // the one last paused: what ResumeMusic without an id resumes

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

int StartMusicObject(qzMusic* music) {
    int error = PlayMusicOnChannel(music->kind, music->object, music->header.id, music->passes, music->resumePass,
                                   music->volume, music);
    if (error) return error;
    gPausedMusic = nullptr;
    gCurrentMusic = music;
    music->state = QZ_MUSIC_PLAYING;
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
        if (music->state == QZ_MUSIC_PAUSED && music->kind == QZ_MUSIC_SOURCE)
            SeekSoundSource(static_cast<qzSoundSource*>(music->object), 0);
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
    if (!CheckAppletVersion(6, 0) && gCurrentMusic && gCurrentMusic != music) StopMusicObject(gCurrentMusic, 0);
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
    return StartMusicObject(music);
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
}

int SoundOpenMusic(VmState* state) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    std::string name = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzLoadOptions options;
    ReadLoadOptions(state, 3, &options);
    if (qzSoundNoSound) return 0;
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
    qzMusic* music = CheckMusic(state, 1);
    if (qzSoundNoSound) return 0;
    FreeMusicObject(state, music);
    return 0;
}

int SoundPlayMusic(VmState* state) {
    qzMusic* music = CheckMusic(state, 1);
    if (qzSoundNoSound) return 0;
    return PlayMusicObject(state, music, 2);
}

int SoundStopMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = nullptr;
    if (int error = FindPlayingMusic(state, &music)) return error;
    StopMusicObject(music, 0);
    return 0;
}

int SoundPauseMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = nullptr;
    if (int error = FindPlayingMusic(state, &music)) return error;
    StopMusicObject(music, 1);
    return 0;
}

int SoundResumeMusic(VmState* state) {
    if (qzSoundNoSound) return 0;
    qzMusic* music = VmGetTop(state) >= 1 && VmType(state, 1) > VM_TNIL ? CheckMusic(state, 1) : gPausedMusic;
    if (!music) return ERR_WRONGUSAGE;
    SyncMusicStates();
    if (music->state != QZ_MUSIC_PAUSED) return ERR_MUSNOTPAUSED;
    return StartMusicObject(music);
}

int SoundSeekMusic(VmState* state) {
    qzMusic* music = CheckMusic(state, 1);
    int32_t ms = VmCheckInteger(state, 2);
    if (qzSoundNoSound) return 0;
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
    return StartMusicObject(music);
}

int SoundSetMusicVolume(VmState* state) {
    qzMusic* music = CheckMusic(state, 1);
    double volume = CheckPercentArg(state, 2, 64, 0, nullptr);
    if (qzSoundNoSound) return 0;
    music->volume = ClampVolume(VmNumberToInteger(volume));
    if (qzSoundStarted) SetMusicChannelVolume(music->kind, music->object, music->volume);
    return 0;
}

int SoundIsMusic(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    qzLoadOptions options;
    ReadLoadOptions(state, 2, &options);
    if (qzSoundNoSound) return 0;
    const char* formatName = "Unknown";
    int found =
        GetSoundFileFormatName(name.c_str(), ListOrNull(options.loader), ListOrNull(options.adapter), &formatName);
    VmPushNumber(state, found ? 1 : 0);
    VmPushString(state, formatName);
    return 2;
}

int SoundIsMusicPlaying(VmState* state) {
    qzMusic* music = CheckMusic(state, 1);
    if (qzSoundNoSound) return 0;
    SyncMusicStates();
    VmPushNumber(state, music->state == QZ_MUSIC_PLAYING ? 1 : 0);
    return 1;
}

int SoundPlaySubsong(VmState* state) {
    int32_t n = VmCheckInteger(state, 1);
    if (qzSoundNoSound) return 0;
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
