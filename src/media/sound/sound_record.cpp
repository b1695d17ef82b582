#include "media/sound/sound_record.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/error_codes.h"
#include "platform/os_alloc.h"

int32_t GetSoundFormatCode(uint32_t bits, uint32_t channels, uint32_t flags) {
    if (channels != 1 && channels != 2) return -1;
    bool stereo = channels == 2;
    if (bits == 8) return (flags & QZ_SOUNDF_SIGNED) ? (stereo ? 3 : 2) : (stereo ? 1 : 0);
    if (bits == 16) return stereo ? 5 : 4;
    return -1;
}

uint32_t GetFrameBytesForFormat(int32_t format) {
    switch (format) {
    case 0:
    case 2: return 1;
    case 1:
    case 3:
    case 4: return 2;
    case 5: return 4;
    default: return 0;
    }
}

int32_t ScriptToSoundFormat(int32_t script) {
    switch (script) {
    case QZ_MONO8: return 2;
    case QZ_MONO16: return 4;
    case QZ_STEREO8: return 3;
    case QZ_STEREO16: return 5;
    default: return -1;
    }
}

int32_t SoundToScriptFormat(int32_t format) {
    switch (format) {
    case 0:
    case 2: return QZ_MONO8;
    case 1:
    case 3: return QZ_STEREO8;
    case 4: return QZ_MONO16;
    case 5: return QZ_STEREO16;
    default: return -1;
    }
}

int NewSoundRecord(unsigned char* data, uint32_t frames, uint32_t rate, int32_t format, qzSound** out,
                   int32_t* formatOut) {
    *out = nullptr;
    qzSound* s = static_cast<qzSound*>(OsAlloc(sizeof(qzSound), 1));
    if (!s) return ERR_MEM;
    bool eight = format == 2 || format == 3;
    s->data = data;
    s->bits = eight ? 8 : 16;
    s->channels = format == 3 || format == 5 ? 2 : 1;
    s->bytesPerFrame = GetFrameBytesForFormat(format);
    s->flags = eight ? QZ_SOUNDF_SIGNED : QZ_SOUNDF_SIGNED | QZ_SOUNDF_HOSTORDER;
    s->frames = frames;
    s->format = format;
    s->rate = rate;
    *out = s;
    if (formatOut) *formatOut = format;
    return 0;
}

uint64_t GetSoundByteSize(const qzSound* sound) { return static_cast<uint64_t>(sound->frames) * sound->bytesPerFrame; }

int CopySoundRecord(const qzSound* sound, qzSound** out) {
    *out = nullptr;
    qzSound* copy = static_cast<qzSound*>(OsAlloc(sizeof(qzSound), 0));
    if (!copy) return ERR_MEM;
    *copy = *sound;
    copy->reserved = 0;
    uint64_t bytes = GetSoundByteSize(sound);
    copy->data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(bytes), 0));
    if (bytes && !copy->data) {
        OsFree(copy);
        return ERR_MEM;
    }
    if (bytes) std::memcpy(copy->data, sound->data, static_cast<size_t>(bytes));
    *out = copy;
    return 0;
}

void FreeSoundRecord(qzSound* sound) {
    if (!sound) return;
    OsFree(sound->data);
    OsFree(sound);
}

void ReplaceSoundData(qzSound* sound, unsigned char* data, uint32_t frames, uint32_t rate) {
    OsFree(sound->data);
    sound->data = data;
    sound->frames = frames;
    sound->rate = rate;
}

unsigned char* GetSoundData(const qzSound* sound) { return sound->data; }

int IsSoundHostOrder(const qzSound* sound) { return (sound->flags & QZ_SOUNDF_HOSTORDER) ? 1 : 0; }

int32_t GetSoundSampleValue(const qzSound* sound, uint64_t index) {
    if (sound->bits == 8) {
        uint8_t b = sound->data[index];
        return (sound->flags & QZ_SOUNDF_SIGNED) ? static_cast<int8_t>(b) : static_cast<int32_t>(b) - 128;
    }
    uint8_t bytes[2];
    std::memcpy(bytes, sound->data + 2 * index, 2);
    // Data not in host order are little-endian.
    bool littleEndian = (sound->flags & QZ_SOUNDF_HOSTORDER) ? !HostIsBigEndian() : true;
    uint16_t u = littleEndian ? static_cast<uint16_t>(bytes[0] | (bytes[1] << 8))
                              : static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
    return static_cast<int16_t>(u);
}
