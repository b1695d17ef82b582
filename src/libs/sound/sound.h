// The `sound` command library: sample objects (loading, creating, playing with volume, pitch and
// panning, queries), sample editing and saving, the library's option and attribute hooks, the
// audio-adapter plugin service and the sound system's shutdown. Music objects share the library:
// their list is registered here.
#pragma once

#include <cstdint>

#include "base/screen_position.h"
#include "media/sound/sound_source.h"
#include "runtime/library.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzSound;
struct qzPluginInfo;
struct qzPluginObjectId;
struct qzTagItem;

// Object types.
constexpr int32_t QZ_TYPE_SAMPLE = 2;
constexpr int32_t QZ_TYPE_MUSIC = 33;

// Position constants that panning values accept.
constexpr int32_t QZ_POS_LEFT = -90000;
constexpr int32_t QZ_POS_RIGHT = -80000;

// The "sound" library: commands, constants, the sample and music lists, the event and audio
// mutexes; its option hook (tags 2, 3, 12, 13, 18, 23) and attribute hook (tags 7 to 32).
extern const qzLibraryDescriptor qzSoundLibrary;

// What the attribute hook answers: the object's identifier goes in, a number (and for tag 16 a
// second number) or a text comes out. The text stays valid until the next query.
struct qzSoundAttrQuery {
    qzObjectId id;
    double number;
    double number2;
    const char* text;  // null when the answer is a number
};

// Selectors of the attribute hook for samples.
enum {
    QZ_SOUNDATTR_FORMAT = 7,    // format as script constant
    QZ_SOUNDATTR_DURATION = 8,  // ms
    QZ_SOUNDATTR_PITCH = 9,
    QZ_SOUNDATTR_POSITION = 16,  // ms and pass - 1 of its first playing channel, -1 and -1 when idle
    QZ_SOUNDATTR_FRAMES = 24,
    QZ_SOUNDATTR_PLAYING = 30,
    QZ_SOUNDATTR_LOADER = 31,  // "inbuilt", "native" or the plugin's name
};

// Selectors of the attribute hook for musics.
enum {
    QZ_SOUNDATTR_MUSICDURATION = 14,  // ms
    QZ_SOUNDATTR_MUSICPOSITION = 15,  // ms
    QZ_SOUNDATTR_MUSICFORMATNAME = 17,
    QZ_SOUNDATTR_MUSICBITRATE = 19,
    QZ_SOUNDATTR_MUSICRATE = 20,
    QZ_SOUNDATTR_MUSICFORMAT = 21,  // format as script constant
    QZ_SOUNDATTR_MUSICSEEKABLE = 25,
    QZ_SOUNDATTR_SUBSONGS = 26,
    QZ_SOUNDATTR_CURRENTSUBSONG = 27,
    QZ_SOUNDATTR_MUSICPLAYING = 28,
    QZ_SOUNDATTR_MUSICPAUSED = 29,
    QZ_SOUNDATTR_MUSICLOADER = 32,
};

// The plugin host service: installs an audio-adapter plugin (SetAudioAdapter without tags).
int HostInstallAudioAdapter(qzPluginInfo* info, uint32_t flags);
// The plugin host services of sample data: a qzPluginSampleData of the sample of the id (its own
// data, or a copy with copy set), null for a missing sample or no memory; and giving it back, a
// changed copy written into the sample when the sample still holds data of the same format and
// size.
void* HostGetSampleData(VmState* state, const qzPluginObjectId* id, int copy, const qzTagItem* tags);
void HostFreeSampleData(void* data);

// ---- shared inside the library ----

// One sample object.
struct qzSample {
    qzObjectHeader header;
    qzSound* sound;
    int32_t volume;   // 0 to 64
    int32_t pitch;    // frames per second
    int32_t format;   // engine code
    uint32_t size;    // bytes of PCM
    int32_t panning;  // 0 (left) to 255 (right)
    qzSoundLoader loader;
};

// The "loader" and "adapter" fields of an options table at index (absent or nil: none).
struct qzLoadOptions {
    char loader[257] = "";
    char adapter[257] = "";
};
void ReadLoadOptions(VmState* state, int index, qzLoadOptions* options);
// The text, or null when it is empty.
const char* ListOrNull(const char* text);

// Music states.
enum { QZ_MUSIC_STOPPED = 0, QZ_MUSIC_PLAYING = 1, QZ_MUSIC_PAUSED = 2 };

// One music object: a stream (kind 1, a qzSoundSource) or a module (kind 2, a qzModule).
struct qzMusic {
    qzObjectHeader header;
    char* fileName;  // the name it was opened from
    void* object;
    int32_t kind;
    int32_t state;
    int32_t volume;  // 0 to 64
    int32_t passes;  // from the last play call; 0 plays forever
    int32_t resumePass;
    uint32_t resumePosition;  // the frame a pause kept
    int32_t seekable;
    int32_t subsongCount;
    int32_t currentSubsong;  // from 1
    qzSoundLoader loader;
    char adapter[257];  // the "adapter" option it was opened with
    int32_t custom;     // 1 for a stream the script feeds (CreateMusic)
};

extern qzObjectHeader* qzSampleList;
extern qzObjectHeader* qzMusicList;
extern int qzSoundNoSound;  // the no-sound flag
extern int qzSoundStarted;  // the channels are open

// Starts the sound system unless it runs or the no-sound flag is set: true when sound runs. A
// failure to open the output sets the no-sound flag (it is not an error).
bool StartSoundSystem(VmState* state);
// The sample named by the argument at index; the command fails with ERR_FINDSAMPLE (a number)
// or ERR_FINDARRAY (a handle).
qzSample* CheckSample(VmState* state, int index);
qzSample* FindSampleById(const qzObjectId& id);
// The sample's sound, engine format, size in bytes and pitch (each out optional): 1, or 0 when
// there is no such sample.
int GetSampleInfo(const qzObjectId& id, qzSound** sound, int32_t* format, uint32_t* size, int32_t* pitch);
// Appends a sample for the sound (taken over; freed on failure) with volume 64, panning 128 and
// pitch = rate, replacing a sample of the same numeric id, and pushes its handle for an automatic
// identifier. The number of results, or ERR_MEM; *added (optional) gets the new sample.
int AddSampleObject(VmState* state, const qzObjectId& id, qzSound* sound, int32_t rate, qzSoundLoader loader,
                    qzSample** added = nullptr);
// Stops the sample's channels and frees it.
void FreeSampleObject(VmState* state, qzSample* sample);
int32_t MapPanning(int32_t value);

qzMusic* FindMusicById(const qzObjectId& id);
// Shutdown: stops every playing music; frees every music.
void StopAllMusic();
void FreeAllMusic(VmState* state);
// The current and the last paused music back to none.
void ResetMusicGlobals();
// The attribute hook's music selectors: 1 with the answer, 0 for another selector or no music.
int GetMusicAttribute(uint32_t tag, qzSoundAttrQuery* query);

// The first playing script-fed stream whose queue holds less than one second: the frames
// missing, its identifier and its fill position; 0 when none.
int32_t FindStreamNeedingData(qzObjectId* id, int32_t* fillPosition);

// Command handlers.
int SoundLoadSample(VmState* state);
int SoundCreateMusic(VmState* state);
int SoundFillMusicBuffer(VmState* state);
int SoundFlushMusicBuffer(VmState* state);
int SoundCreateSample(VmState* state);
int SoundFreeSample(VmState* state);
int SoundPlaySample(VmState* state);
int SoundStopSample(VmState* state);
int SoundSetVolume(VmState* state);
int SoundSetPitch(VmState* state);
int SoundSetPanning(VmState* state);
int SoundWaitSampleEnd(VmState* state);
int SoundIsSamplePlaying(VmState* state);
int SoundIsSample(VmState* state);
int SoundIsSound(VmState* state);
int SoundSetMasterVolume(VmState* state);
int SoundGetSampleData(VmState* state);
int SoundMixSample(VmState* state);
int SoundCopySample(VmState* state);
int SoundInsertSample(VmState* state);
int SoundSaveSample(VmState* state);
int SoundOpenMusic(VmState* state);
int SoundCloseMusic(VmState* state);
int SoundPlayMusic(VmState* state);
int SoundStopMusic(VmState* state);
int SoundPauseMusic(VmState* state);
int SoundResumeMusic(VmState* state);
int SoundSeekMusic(VmState* state);
int SoundSetMusicVolume(VmState* state);
int SoundIsMusic(VmState* state);
int SoundIsMusicPlaying(VmState* state);
int SoundPlaySubsong(VmState* state);
int SoundGetPatternPosition(VmState* state);
int SoundGetSongPosition(VmState* state);
int SoundWaitPatternPosition(VmState* state);
int SoundWaitSongPosition(VmState* state);
