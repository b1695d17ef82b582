// The sound library's registration: its command and constants tables, object lists, the option
// and attribute hooks, the audio-adapter service and the shutdown steps.
#include <cstring>

#include "base/error_codes.h"
#include "libs/sound/sound.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_record.h"
#include "platform/os_alloc.h"
#include "runtime/applet_records.h"
#include "runtime/object_data.h"
#include "runtime/player_records.h"
#include "vm/vm_aux.h"

qzObjectHeader* qzSampleList = nullptr;
qzObjectHeader* qzMusicList = nullptr;
int qzSoundNoSound = 0;
int qzSoundStarted = 0;

namespace {

constexpr int32_t kDefaultDeviceSetting = 30;

int32_t gDeviceSetting = kDefaultDeviceSetting;

// The table order of the library.
const qzCommandRow kSoundCommands[] = {
    {"FreeSample", SoundFreeSample, 1, 1},
    {"LoadSample", SoundLoadSample, 2, 3},
    {"IsSound", SoundIsSound, 0, 0},
    {"GetPatternPosition", SoundGetPatternPosition, 0, 0},
    {"GetSongPosition", SoundGetSongPosition, 0, 0},
    {"PlaySubsong", SoundPlaySubsong, 1, 3},
    {"WaitPatternPosition", SoundWaitPatternPosition, 1, 1},
    {"WaitSongPosition", SoundWaitSongPosition, 1, 1},
    {"WaitSampleEnd", SoundWaitSampleEnd, 1, 1},
    {"IsSamplePlaying", SoundIsSamplePlaying, 1, 1},
    {"SetVolume", SoundSetVolume, 2, 2},
    {"SetPitch", SoundSetPitch, 2, 2},
    {"SetPanning", SoundSetPanning, 2, 2},
    {"StopSample", SoundStopSample, 1, 1},
    {"PlaySample", SoundPlaySample, 1, 0},
    {"SetMasterVolume", SoundSetMasterVolume},
    {"IsSample", SoundIsSample, 1, 2},
    {"CreateSample", SoundCreateSample, 3, 5},
    {"OpenMusic", SoundOpenMusic, 2, 3},
    {"CloseMusic", SoundCloseMusic, 1, 1},
    {"PlayMusic", SoundPlayMusic, 1, 2},
    {"StopMusic", SoundStopMusic, 0, 1},
    {"PauseMusic", SoundPauseMusic, 0, 1},
    {"ResumeMusic", SoundResumeMusic, 0, 1},
    {"SeekMusic", SoundSeekMusic, 2, 2},
    {"SetMusicVolume", SoundSetMusicVolume, 2, 2},
    {"IsMusic", SoundIsMusic, 1, 2},
    {"IsMusicPlaying", SoundIsMusicPlaying, 1, 1},
    {"PlayModule", SoundPlayMusic, 1, 2},
    {"StopModule", SoundStopMusic, 0, 1},
    {"PauseModule", SoundPauseMusic, 0, 1},
    {"ResumeModule", SoundResumeMusic, 0, 1},
    {"LoadModule", SoundOpenMusic, 2, 3},
    {"FreeModule", SoundCloseMusic, 1, 1},
    {"IsModule", SoundIsMusic, 1, 2},
    {"SaveSample", SoundSaveSample, 2, 3},
    {"GetSampleData", SoundGetSampleData, 1, 1},
    {"CreateMusic", SoundCreateMusic, 3, 3},
    {"FillMusicBuffer", SoundFillMusicBuffer, 3, 4},
    {"MixSample", SoundMixSample, 6, 0},
    {"CopySample", SoundCopySample, 2, 2},
    {"InsertSample", SoundInsertSample, 3, 5},
    {"FlushMusicBuffer", SoundFlushMusicBuffer, 1, 1},
    {nullptr, nullptr},
};

const qzConstantRow kSoundConstants[] = {
    {"MONO16", nullptr, 1},
    {"STEREO16", nullptr, 3},
    {"MONO8", nullptr, 0},
    {"STEREO8", nullptr, 2},
    {"SAMPLE", nullptr, QZ_TYPE_SAMPLE},
    {"MUSIC", nullptr, QZ_TYPE_MUSIC},
    {"SMPFMT_WAVE", nullptr, 0},
    {nullptr, nullptr, 0},
};

int OpenSoundLibrary(VmState*) {
    int error = RegisterObjectList(&qzSampleList);
    if (!error) error = RegisterObjectList(&qzMusicList);
    if (!error) error = InitSoundEventMutex();
    if (!error) SetMusicDataFinder(FindStreamNeedingData);
    return error;
}

// Selectors 2, 3, 12, 13, 18 and 23.
int SetSoundOption(VmState*, uint32_t tag, intptr_t value) {
    switch (tag) {
    case 2: qzSoundNoSound = value ? 1 : 0; return 1;
    case 3: gDeviceSetting = static_cast<int32_t>(value); return 1;
    case 12: SetSoundEventHook("onsampleloop", value != 0); return 1;
    case 13: SetSoundEventHook("onsampleend", value != 0); return 1;
    case 18: SetSoundEventHook("onmusicend", value != 0); return 1;
    case 23: SetSoundEventHook("onvideoend", value != 0); return 1;
    default: return 0;
    }
}

int GetSampleAttribute(uint32_t tag, qzSoundAttrQuery* query) {
    qzSample* sample = FindSampleById(query->id);
    if (!sample) return 0;
    const qzSound* sound = sample->sound;
    query->text = nullptr;
    query->number2 = 0;
    switch (tag) {
    case QZ_SOUNDATTR_FORMAT: query->number = SoundToScriptFormat(sample->format); return 1;
    case QZ_SOUNDATTR_DURATION:
        // In milliseconds with their fraction: 4 frames at 8000 Hz last 0.5 ms.
        query->number = sample->pitch > 0 ? static_cast<double>(sound->frames) / sample->pitch * 1000 : 0;
        return 1;
    case QZ_SOUNDATTR_PITCH: query->number = sample->pitch; return 1;
    case QZ_SOUNDATTR_POSITION: {
        if (!qzSoundStarted) return 0;
        int32_t ms = -1, pass = -1;
        GetSampleChannelPosition(sound, &ms, &pass);
        query->number = ms;
        query->number2 = pass;
        return 1;
    }
    case QZ_SOUNDATTR_FRAMES: query->number = sound->frames; return 1;
    case QZ_SOUNDATTR_PLAYING:
        if (!qzSoundStarted) return 0;
        query->number = IsSoundPlaying(sound);
        return 1;
    case QZ_SOUNDATTR_LOADER: query->text = GetSoundLoaderName(sample->loader); return 1;
    default: return 0;
    }
}

// Selectors 7 to 32 with a qzSoundAttrQuery.
int GetSoundAttribute(VmState* state, uint32_t tag, void* out) {
    if (tag < 7 || tag > 32 || !out) return 0;
    qzSoundAttrQuery* query = static_cast<qzSoundAttrQuery*>(out);
    switch (tag) {
    case QZ_SOUNDATTR_FORMAT:
    case QZ_SOUNDATTR_DURATION:
    case QZ_SOUNDATTR_PITCH:
    case QZ_SOUNDATTR_POSITION:
    case QZ_SOUNDATTR_FRAMES:
    case QZ_SOUNDATTR_PLAYING:
    case QZ_SOUNDATTR_LOADER: return GetSampleAttribute(tag, query);
    default: return GetMusicAttribute(tag, query);
    }
}

// Shutdown, first step: every sound stops while the rest of the player still stands.
void StopAllSoundsAtExit(VmState* state) {
    if (!qzSoundStarted) return;
    SoundHousekeeping();
    StopAllMusic();
    StopSoundChannels(nullptr);
    if (!GetAudioAdapter()) MacStopAudio();
}

// Shutdown, last step: the objects, the output, the events and the mutexes.
void FreeAllSoundObjects(VmState* state) {
    while (qzSampleList) {
        qzSample* sample = reinterpret_cast<qzSample*>(qzSampleList);
        qzSampleList = qzSampleList->next;
        FreeObjectDataList(state, sample->header.data);
        FreeSoundRecord(sample->sound);
        OsFree(sample);
    }
    FreeAllMusic(state);
    CloseSoundOutput();
    FreeSoundEventsAtExit();
}

void ResetSoundLibrary() {
    qzSampleList = nullptr;
    qzMusicList = nullptr;
    ResetMusicGlobals();
    qzSoundNoSound = 0;
    qzSoundStarted = 0;
    gDeviceSetting = kDefaultDeviceSetting;
    ResetSoundEventHooks();
    SetMusicDataFinder(nullptr);
    RemoveAudioAdapter();
}

}  // namespace

const qzLibraryDescriptor qzSoundLibrary = {
    .name = "sound",
    .commands = kSoundCommands,
    .constants = kSoundConstants,
    .open = OpenSoundLibrary,
    .cleanups = {{QZ_STAGE_STOP_SOUNDS, StopAllSoundsAtExit}, {QZ_STAGE_SOUNDS, FreeAllSoundObjects}},
    .reset = ResetSoundLibrary,
    .setAttr = SetSoundOption,
    .getAttr = GetSoundAttribute,
};

int HostInstallAudioAdapter(qzPluginInfo* info, uint32_t flags) { return SetAudioAdapter(info, flags, nullptr); }

bool StartSoundSystem(VmState* state) {
    if (qzSoundNoSound) return false;
    if (qzSoundStarted) return true;
    qzPlayerContext* context = GetPlayerContext(state);
    int32_t channels = context ? context->numChannels : 0;
    if (InitSoundChannels(channels, gDeviceSetting) != 0) {
        qzSoundNoSound = 1;
        return false;
    }
    qzSoundStarted = 1;
    return true;
}
