// The channel table: everything that sounds goes through one fixed table of audio channels. A
// channel plays a sample (a qzSound), a music stream (a qzSoundSource), a module or the sound of a
// video. The channels are mixed either by the native output (native_output.h: channel i feeds
// mixer bus i) or by an audio-adapter plugin, which owns the output and pulls each channel's PCM
// through MixerFeed.
//
// The global audio mutex guards the table against the thread that renders it; that thread only
// ever tries the mutex. Words the render side changes without the command side's knowledge are
// atomic.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/object_id.h"

struct qzSound;
struct qzSoundSource;
struct qzModule;
struct qzAudioConverter;
struct qzPluginInfo;

// Channel states.
enum {
    QZ_CHANNEL_FREE = 0,
    QZ_CHANNEL_STARTING = 1,  // a sample that is not heard yet (StartPendingSamples)
    QZ_CHANNEL_SAMPLE = 2,
    QZ_CHANNEL_MODULE = 3,
    QZ_CHANNEL_STREAM = 4,
    QZ_CHANNEL_VIDEO = 5,
};

// The installed audio-adapter plugin.
struct qzAudioAdapter {
    const qzPluginInfo* plugin;
    void* output;        // the handle of its OpenAudio
    int32_t bufferSize;  // frames
    int32_t channelCount;
    uint32_t flags;
};

struct qzAudioChannel {
    qzSound* sound;         // sample channels
    qzSoundSource* source;  // stream channels
    qzModule* module;       // module channels
    std::atomic<int32_t> state;
    qzObjectId owner;           // the sample, music or video
    int32_t passes;             // how often the sound plays
    std::atomic<int32_t> pass;  // the pass playing, from 1
    uint32_t lastPassFrames;    // the frames of the final pass
    int32_t lastPassMs;
    int32_t passMs;       // one pass: frames x 1000 / rate
    uint32_t startFrame;  // streams: the source position at start
    int32_t volume;       // 0 to 64
    int32_t pitch;        // the rate the sample plays at
    int32_t pan;          // 0 to 255
    std::atomic<int32_t> needsStartStamp;
    std::atomic<uint64_t> startMicros;  // monotonic time of the first hand-out
    std::atomic<int32_t> finished;
    std::atomic<uint32_t> position;  // samples: the next frame to hand out
    void* adapterChannel;            // the adapter's handle of the channel
    uint64_t endMicros;              // adapter path: when housekeeping may free the finished channel
    void* music;                     // the music object that started a stream channel
    void* stream;                    // the stream channel's own state, kept by the stream channel code
    void* video;                     // the video of a state 5 channel
    // Native output.
    qzAudioConverter* converter;
    std::atomic<int32_t> busFinished;  // the bus has rendered its last data
    unsigned char* buffer;             // module channels: the render buffer
    uint32_t bufferSize;
};

// The table (null until InitSoundChannels succeeded) and its size.
qzAudioChannel* GetSoundChannels();
int32_t GetSoundChannelCount();
// The installed audio adapter, or null.
qzAudioAdapter* GetAudioAdapter();

// Opens the output and the table once: the adapter's channel count, else channelSetting when it is
// above 0, else 8 channels. 0, ERR_OPENAUDIO (also for a negative count), ERR_MEM. The device
// setting is handed to the native output.
int InitSoundChannels(int32_t channelSetting, int32_t deviceSetting);
bool AreSoundChannelsOpen();
// Closes the output: the adapter's CloseAudio or the native output.
void CloseSoundOutput();
// Frees the table (FreeSoundEventsAtExit calls it).
void FreeSoundChannels();
// Zeroes a channel; its state becomes free.
void ClearChannelRecord(qzAudioChannel* channel);

// Frees finished channels: natively through MacFreeFinishedChannels, with an adapter those whose
// end time has passed. Called once a second by the event loop and before every channel search.
void SoundHousekeeping();

// Starts a sample on the first free channel: passes times, or for timeMs (not -1) milliseconds.
// 0, or ERR_NOCHANNEL, ERR_AUDIOCONVERTER, ERR_RENDERCALLBACK, ERR_ALLOCCHANNEL, ERR_MEM; the
// channel's number goes to *channelOut (optional). Natively the sample waits in state 1 until
// StartPendingSamples.
int PlaySoundOnChannel(qzSound* sound, const qzObjectId& owner, int32_t format, uint32_t size, int32_t pitch,
                       int32_t volume, int32_t pan, int32_t timeMs, int32_t passes, int32_t* channelOut);
void StartPendingSamples();
// Stops every channel of the sound, or every sample channel for a null sound.
void StopSoundChannels(const qzSound* sound);
// Stops channel n and clears it (the adapter's channel freed, or the bus detached).
void ReleaseChannel(int32_t n);
int IsSoundPlaying(const qzSound* sound);
// Changes the first channel that plays the sound; -1 leaves a value as it is.
void SetSampleChannelAttributes(const qzSound* sound, int32_t pitch, int32_t volume, int32_t pan);
// The first channel that plays the sound: 1 with its milliseconds since the start and its pass
// - 1, else 0.
int GetSampleChannelPosition(const qzSound* sound, int32_t* ms, int32_t* pass);

// Music on channels: a source (kind 1, through the stream channel code) or a module (kind 2).
int PlayMusicOnChannel(int32_t kind, void* object, const qzObjectId& owner, int32_t passes, int32_t pass,
                       int32_t volume, void* music);
void StopMusicOnChannel(int32_t kind, void* object, int keepPosition, int32_t* passOut, uint32_t* positionOut);
void SetMusicChannelVolume(int32_t kind, void* object, int32_t volume);
// 1 while the music is on a channel that has not been freed (housekeeping runs first), else 0.
int IsMusicOnChannel(int32_t kind, const void* object);
// Query 0 sets a pending jump to song position value (row 0); 1 the row, 2 the song position
// (-1 when the module is not on a channel).
int32_t ModulePosition(qzModule* module, int32_t query, int32_t value);
// Renders the next frames of a music without a channel: kind 1 decodes its source, kind 2 renders
// the module (16-bit stereo, 48000 Hz).
void RenderMusicBlock(int32_t kind, void* object, void* buffer, uint32_t frames, uint32_t* framesOut, int* end);

// The adapter's volume, pan and pitch of channel n (-1 = unchanged).
void SetSoundChannelAttributes(int32_t n, int32_t pitch, int32_t volume, int32_t pan);
// What an audio adapter calls for PCM: fills `frames` frames of the channel's own format into
// buffer and returns the frames delivered. The adapter's thread.
int MixerFeed(void* adapter, void* user, void* buffer, int frames, void* channel);

// Installs an audio-adapter plugin (capability 0x10000): tags {1 buffer size, 2 channel count}.
// 0, ERR_OLDAPPLET, ERR_WRONGUSAGE, ERR_SETADAPTER.
int SetAudioAdapter(const qzPluginInfo* plugin, uint32_t flags, const intptr_t* tags);
// Uninstalls it (the output must be closed).
void RemoveAudioAdapter();

// Volume on the scale 0..64 after a script value: clamped.
int32_t ClampVolume(int32_t volume);
