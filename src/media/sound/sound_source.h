// Sound sources: an open, seekable PCM stream read from a file by a built-in decoder (IFF 8SVX,
// IFF 16SV, RIFF WAVE), a sound-stream plugin or the system audio-file decoder, or fed by the
// script itself (custom streams). OpenSoundSource recognises a file by its first bytes and picks
// the decoder; every other part of the sound engine reads a source through the five operations of
// its kind. Loading a sample decodes a source whole into a qzSound; music streams it.
#pragma once

#include <cstdint>

#include "base/double_list.h"
#include "platform/os_time.h"

struct qzMutex;
struct qzSound;
struct qzPluginInfo;
struct qzModule;

// Source kinds.
enum {
    QZ_SOURCE_8SVX = 1,
    QZ_SOURCE_16SV = 2,
    QZ_SOURCE_WAVE = 3,
    QZ_SOURCE_SYSTEM = 4,  // the system audio-file decoder
    QZ_SOURCE_PLUGIN = 5,  // a sound-stream plugin
    QZ_SOURCE_CUSTOM = 6,  // fed by the script
    QZ_SOURCE_MODULE = 8,  // a ProTracker module: recognised, played by the module replayer
};

// Who made a source or a sample: the built-in decoders, the system decoder, or a plugin (the
// value is then its information block).
typedef const void* qzSoundLoader;
inline const qzSoundLoader QZ_LOADER_INBUILT = nullptr;
inline const qzSoundLoader QZ_LOADER_NATIVE = reinterpret_cast<const void*>(1);
// "inbuilt", "native" or the plugin's module name.
const char* GetSoundLoaderName(qzSoundLoader loader);

// One buffer of a custom stream's queue, its data behind it (null data marks the stream's end).
struct qzStreamBuffer {
    qzDoubleNode node;
    unsigned char* data;
    uint32_t bytes;
    uint32_t readPosition;  // frames
    uint32_t frames;
    int32_t consumed;
};

// What a custom stream adds to its source.
struct qzCustomStream {
    void* owner;         // the script object that feeds it
    qzMutex* mutex;      // over the queue; shared with the thread that plays the stream
    qzDoubleList queue;  // qzStreamBuffer nodes
    uint32_t rate;
    uint32_t bits;
    uint32_t channels;
    uint32_t bytesPerFrame;
    int32_t format;
    uint32_t fillPosition;
    int32_t needsPrefill;
};

struct qzSoundSource {
    void* handle;  // the virtual file, the plugin's stream or the system decoder
    uint32_t bits;
    uint32_t bytesPerFrame;
    uint32_t channels;
    uint32_t flags;  // QZ_SOUNDF_*
    uint32_t rate;
    uint32_t compression;  // IFF voice header's compression byte
    uint32_t chunkSize;    // size of the last chunk header of the open walk
    uint32_t totalBytes;   // frames x bytes per frame (saturated)
    uint32_t frames;
    uint32_t packets;
    uint32_t position;    // the next frame decode delivers
    uint64_t dataOffset;  // file position of the first sample byte
    uint32_t bytesPerPacket;
    uint32_t framesPerPacket;
    uint32_t bytesDecoded;  // by the last decode
    uint32_t framesDecoded;
    int32_t kind;
    int32_t format;          // engine code, -1 when unsupported
    uint32_t bitRate;        // as the decoder reports it, 0 when unknown
    unsigned char* scratch;  // stereo IFF decoding
    uint32_t scratchSize;
    qzTimeVal timePosition;  // the position of the last seek
    qzTimeVal playStart;     // set when playback starts, zero while stopped
    uint32_t playOffset;     // ms: the time position when playback started
    int32_t forMusic;
    int32_t seekable;
    int32_t subsongCount;
    qzCustomStream custom;       // kind 6
    const qzPluginInfo* plugin;  // kind 5
};

// The five operations of a source kind.
struct qzSoundDecoder {
    const char* (*formatName)(const qzSoundSource* source);
    void (*seek)(qzSoundSource* source, uint32_t frame);
    // Delivers up to `frames` frames into buffer: the frames delivered; *end (optional) is 1 when
    // fewer than wanted remained.
    uint32_t (*decode)(qzSoundSource* source, void* buffer, uint32_t frames, int* end);
    int (*open)(qzSoundSource* source);  // non-zero on success; a failed open closes the handle
    void (*close)(qzSoundSource* source);
};

// Opens the named file: plugins of the loader list first (subsong counted from 0), then the
// built-in decoders when "inbuilt" is selected, then the system decoder when "native" is. 0, or
// ERR_MEM, ERR_READFILE (the name as error argument), ERR_OPENSOUND2 (the name as error argument)
// or the system decoder's error. *loader gets who opened it.
int OpenSoundSource(const char* name, const char* loaderList, const char* adapterList, int32_t subsong,
                    int32_t forMusic, qzSoundSource** out, qzSoundLoader* loader);
void CloseSoundSource(qzSoundSource* source);
// "IFF 8SVX", "IFF 16SV", "RIFF WAVE", the system decoder's or plugin's name, "Custom stream",
// "Protracker"; null for an unknown kind.
const char* GetSoundSourceFormatName(const qzSoundSource* source);
void SeekSoundSource(qzSoundSource* source, uint32_t frame);
// Moves only the decoding to the frame: the time fields (what the position query reads) stay.
void SeekSoundSourceData(qzSoundSource* source, uint32_t frame);
void SeekSoundSourceMs(qzSoundSource* source, uint32_t ms);
uint32_t DecodeSoundSource(qzSoundSource* source, void* buffer, uint32_t frames, int* end);
// 1 when the source has a length, a frame size and a bit depth: it can be loaded as a sample.
int IsSampleSource(const qzSoundSource* source);
// Opens, tests with IsSampleSource and closes; 0 when the file cannot be opened.
int IsSampleFile(const char* name, const char* loaderList, const char* adapterList);
// Opens the file as music: 1 and its format name in *name (a static text), else 0 and "Unknown".
int GetSoundFileFormatName(const char* name, const char* loaderList, const char* adapterList, const char** formatName);

// Decodes a whole source into a new qzSound. 0 or ERR_MEM, ERR_STREAMASSAMPLE (no length),
// ERR_8OR16BITONLY, or an open error. The size in bytes, rate, engine code and loader go to the
// optional outs.
int LoadSoundAsSample(const char* name, const char* loaderList, const char* adapterList, qzSound** out, uint32_t* size,
                      uint32_t* rate, int32_t* format, qzSoundLoader* loader);

// Music: a source (kind 1) or a module (kind 2).
enum { QZ_MUSIC_SOURCE = 1, QZ_MUSIC_MODULE = 2 };
int OpenMusicSource(const char* name, const char* loaderList, const char* adapterList, int32_t subsong, int32_t* kind,
                    void** object, int32_t* seekable, int32_t* subsongCount, qzSoundLoader* loader);
void FreeMusicSource(int32_t kind, void* object);
int IsModuleMusic(int32_t kind);
// A source of kind 6 that the owner feeds: 0, ERR_MEM or ERR_SEMAPHORE. *kind gets 1.
int CreateCustomStream(void* owner, uint32_t rate, int32_t format, int32_t* kind, qzSoundSource** out);
// Frees every queued buffer of a custom stream.
void FreeCustomStreamBuffers(qzSoundSource* source);

// Queries of a music object's source.
enum {
    QZ_MUSICINFO_DURATION = 0,  // ms
    QZ_MUSICINFO_POSITION = 1,  // ms
    QZ_MUSICINFO_FORMATNAME = 2,
    QZ_MUSICINFO_FORMAT = 3,  // engine code
    QZ_MUSICINFO_RATE = 4,
    QZ_MUSICINFO_BITRATE = 5,
    QZ_MUSICINFO_CUSTOM = 6,  // the custom stream block
};
// The answer as a number; texts and the block come through *pointer (optional).
int64_t GetMusicSourceInfo(int32_t query, int32_t kind, void* object, const void** pointer);
