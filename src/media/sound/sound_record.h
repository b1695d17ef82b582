// Sound records: a block of PCM in memory (qzSound) with its format, the engine's format codes
// and their script constants, and making, copying and freeing such blocks.
#pragma once

#include <cstdint>

// Engine format codes: 0 8-bit mono unsigned, 1 8-bit stereo unsigned, 2 8-bit mono signed,
// 3 8-bit stereo signed, 4 16-bit mono, 5 16-bit stereo; -1 for anything else.
enum {
    QZ_SOUNDFMT_U8_MONO = 0,
    QZ_SOUNDFMT_U8_STEREO = 1,
    QZ_SOUNDFMT_S8_MONO = 2,
    QZ_SOUNDFMT_S8_STEREO = 3,
    QZ_SOUNDFMT_S16_MONO = 4,
    QZ_SOUNDFMT_S16_STEREO = 5,
};

// Script format constants of the sound library.
enum { QZ_MONO8 = 0, QZ_MONO16 = 1, QZ_STEREO8 = 2, QZ_STEREO16 = 3 };

// Sound flags: 16-bit data in host order (without it, 16-bit data are little-endian), signed.
enum : uint32_t { QZ_SOUNDF_HOSTORDER = 1, QZ_SOUNDF_SIGNED = 2 };

// A block of interleaved PCM, owned by the record.
struct qzSound {
    unsigned char* data;
    uint32_t bits;           // 8 or 16
    uint32_t bytesPerFrame;  // 1, 2 or 4
    uint32_t channels;       // 1 or 2
    uint32_t flags;          // QZ_SOUNDF_*
    uint32_t frames;
    int32_t reserved;
    int32_t format;  // engine code
    uint32_t rate;   // frames per second
};

// The engine code of a format: bits, channels and the signed flag; -1 when there is none.
int32_t GetSoundFormatCode(uint32_t bits, uint32_t channels, uint32_t flags);
// Bytes per frame of an engine code (0 for unknown codes).
uint32_t GetFrameBytesForFormat(int32_t format);
// Script constant to engine code and back; -1 for unknown values.
int32_t ScriptToSoundFormat(int32_t script);
int32_t SoundToScriptFormat(int32_t format);

// Wraps data (OsAlloc'd, taken over on success) of an engine code 2 to 5 in a new record:
// 0, or ERR_MEM (the data stays the caller's). *formatOut (optional) gets the code.
int NewSoundRecord(unsigned char* data, uint32_t frames, uint32_t rate, int32_t format, qzSound** out,
                   int32_t* formatOut);
// A copy of the record and its data. 0 or ERR_MEM.
int CopySoundRecord(const qzSound* sound, qzSound** out);
void FreeSoundRecord(qzSound* sound);
// Frees the old data and installs new data (OsAlloc'd), frame count and rate.
void ReplaceSoundData(qzSound* sound, unsigned char* data, uint32_t frames, uint32_t rate);
unsigned char* GetSoundData(const qzSound* sound);
int IsSoundHostOrder(const qzSound* sound);
// The byte size of the sound's data.
uint64_t GetSoundByteSize(const qzSound* sound);
// The value of sample `index` (frame x channels + channel) as a signed level: 8-bit values from
// -128 to 127, 16-bit values from -32768 to 32767.
int32_t GetSoundSampleValue(const qzSound* sound, uint64_t index);
