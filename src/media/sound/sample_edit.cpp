#include "media/sound/sample_edit.h"

#include <cmath>
#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "media/sound/sound_record.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/os_dir.h"
#include "platform/os_file.h"
#include "platform/vfs.h"

namespace {

constexpr int64_t kMaxLevel = 8388607;
constexpr int64_t kMinLevel = -8388608;

// A sample value as a 16-bit level.
int32_t Level16(const qzSound* sound, uint64_t index) {
    int32_t v = GetSoundSampleValue(sound, index);
    return sound->bits == 8 ? v * 256 : v;
}

void WriteLevel(unsigned char* p, int32_t format, int32_t level) {
    switch (format) {
    case QZ_SOUNDFMT_S16_MONO:
    case QZ_SOUNDFMT_S16_STEREO: {
        int16_t v = static_cast<int16_t>(level);
        std::memcpy(p, &v, 2);
        break;
    }
    case QZ_SOUNDFMT_S8_MONO:
    case QZ_SOUNDFMT_S8_STEREO: *p = static_cast<unsigned char>(static_cast<int8_t>(level / 256)); break;
    default: *p = static_cast<unsigned char>(level / 256 + 128); break;
    }
}

void PutLE32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

void PutLE16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

int CheckFrameCopy(const qzSound* sound, const qzFrameCopy* copy) {
    if (copy->offset < 0 || copy->start < 0 || copy->end < 0 || (copy->end != 0 && copy->end <= copy->start) ||
        copy->end > static_cast<int64_t>(sound->frames))
        return ERR_SMPRANGE;
    return 0;
}

void CopyIntoStream(const qzSound* sound, qzFrameCopy* copy, int32_t format, unsigned char* out, uint32_t frames) {
    const int64_t end = copy->end ? copy->end : sound->frames;
    const int64_t span = end - copy->start;
    const uint32_t targetChannels = format == 1 || format == 3 || format == 5 ? 2 : 1;
    const uint32_t sampleBytes = format == 4 || format == 5 ? 2 : 1;
    const uint32_t stride = targetChannels * sampleBytes;
    for (uint32_t i = 0; i < frames; i++) {
        unsigned char* p = out + static_cast<size_t>(i) * stride;
        if (copy->offset >= span && copy->loop && span > 0) copy->offset %= span;
        if (copy->offset >= span || span <= 0) {
            for (uint32_t c = 0; c < targetChannels; c++) WriteLevel(p + c * sampleBytes, format, 0);
            continue;
        }
        uint64_t frame = static_cast<uint64_t>(copy->start + copy->offset);
        uint64_t index = frame * sound->channels;
        int32_t left = Level16(sound, index);
        int32_t right = sound->channels == 2 ? Level16(sound, index + 1) : left;
        WriteLevel(p, format, left);
        if (targetChannels == 2) WriteLevel(p + sampleBytes, format, right);
        copy->offset++;
    }
}

int MixSamples(qzMixInput* inputs, int count, uint32_t frames, uint32_t rate, int32_t format, unsigned char** out) {
    *out = nullptr;
    const uint32_t bpf = GetFrameBytesForFormat(format);
    uint64_t bytes = static_cast<uint64_t>(frames) * bpf;
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(bytes ? bytes : 1), 1));
    if (!data) return ERR_MEM;
    for (uint32_t i = 0; i < frames; i++) {
        int64_t left = 0;
        int64_t right = 0;
        for (int k = 0; k < count; k++) {
            qzMixInput& in = inputs[k];
            const qzSound* sound = in.sound;
            if (static_cast<int64_t>(i) < in.threshold || (in.length >= 0 && in.contributed >= in.length) ||
                sound->frames == 0)
                continue;
            double whole = std::floor(in.offset);
            if (whole >= sound->frames) {
                if (!in.loop) continue;
                // Wrapped together with its fraction, so that the position stays exact.
                in.offset = std::fmod(in.offset, static_cast<double>(sound->frames));
                whole = std::floor(in.offset);
            }
            uint64_t index = static_cast<uint64_t>(whole) * sound->channels;
            int64_t l = GetSoundSampleValue(sound, index);
            int64_t r = sound->channels == 2 ? GetSoundSampleValue(sound, index + 1) : l;
            int shift = sound->bits == 8 ? 16 : 8;
            l *= int64_t(1) << shift;
            r *= int64_t(1) << shift;
            if (in.scale != 1.0) {
                l = static_cast<int64_t>(std::trunc(std::fmax(std::fmin(l * in.scale, 9.0e15), -9.0e15)));
                r = static_cast<int64_t>(std::trunc(std::fmax(std::fmin(r * in.scale, 9.0e15), -9.0e15)));
            }
            left += l;
            right += r;
            in.contributed++;
            in.offset += in.pitch / rate;
        }
        left = left > kMaxLevel ? kMaxLevel : left < kMinLevel ? kMinLevel : left;
        right = right > kMaxLevel ? kMaxLevel : right < kMinLevel ? kMinLevel : right;
        unsigned char* p = data + static_cast<size_t>(i) * bpf;
        switch (format) {
        case QZ_SOUNDFMT_S8_MONO: *p = static_cast<unsigned char>(static_cast<int8_t>((left + right) >> 17)); break;
        case QZ_SOUNDFMT_S8_STEREO:
            p[0] = static_cast<unsigned char>(static_cast<int8_t>(left >> 16));
            p[1] = static_cast<unsigned char>(static_cast<int8_t>(right >> 16));
            break;
        case QZ_SOUNDFMT_S16_MONO: {
            int16_t v = static_cast<int16_t>((left + right) >> 9);
            std::memcpy(p, &v, 2);
            break;
        }
        default: {
            int16_t v[2] = {static_cast<int16_t>(left >> 8), static_cast<int16_t>(right >> 8)};
            std::memcpy(p, v, 4);
            break;
        }
        }
    }
    *out = data;
    return 0;
}

int WriteSampleWave(const qzSound* sound, uint32_t pitch, const char* name) {
    const uint64_t size = GetSoundByteSize(sound);
    if (size > 0xFFFFFFFFull - 44 - 3) {
        SetErrorArgString(name);
        return ERR_WRITEFILE;
    }
    const uint32_t dataSize = static_cast<uint32_t>(size);
    const uint32_t padded = (dataSize + 3) & ~3u;
    // The samples as the file stores them: 8-bit unsigned, 16-bit little-endian.
    unsigned char* converted = nullptr;
    const unsigned char* samples = sound->data;
    bool needsCopy = (sound->bits == 8 && (sound->flags & QZ_SOUNDF_SIGNED)) ||
                     (sound->bits == 16 && (sound->flags & QZ_SOUNDF_HOSTORDER) && HostIsBigEndian());
    // The temporary file goes on every way out but the rename, running out of memory included.
    qzFileRemover temp;
    std::string finalName;
    if (!name || !*name || IsChunkName(name) || !OsCreateSiblingTempFile(name, &temp.name, &finalName)) {
        SetErrorArgString(name ? name : "");
        return ERR_WRITEFILE;
    }
    const std::string& tempName = temp.name;
    qzVfsFile* file = VfsOpen(tempName.c_str(), QZ_VFS_WRITE, nullptr);
    if (!file) {
        SetErrorArgString(name);
        return ERR_WRITEFILE;
    }
    if (needsCopy) {
        converted = static_cast<unsigned char*>(OsAlloc(dataSize ? dataSize : 1, 0));
        if (!converted) {
            VfsClose(file);
            return ERR_MEM;
        }
        if (sound->bits == 8) {
            for (uint32_t i = 0; i < dataSize; i++) converted[i] = static_cast<unsigned char>(sound->data[i] + 128);
        } else {
            for (uint32_t i = 0; i + 1 < dataSize; i += 2) {
                converted[i] = sound->data[i + 1];
                converted[i + 1] = sound->data[i];
            }
        }
        samples = converted;
    }
    const uint32_t blockAlign = sound->channels * sound->bits / 8;
    unsigned char header[44];
    std::memcpy(header, "RIFF", 4);
    PutLE32(header + 4, padded + 36);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLE32(header + 16, 16);
    PutLE16(header + 20, 1);
    PutLE16(header + 22, sound->channels);
    PutLE32(header + 24, pitch);
    PutLE32(header + 28, blockAlign * pitch);
    PutLE16(header + 32, blockAlign);
    PutLE16(header + 34, sound->bits);
    std::memcpy(header + 36, "data", 4);
    PutLE32(header + 40, dataSize);
    int error = 0;
    static const unsigned char kPad[3] = {0, 0, 0};
    if (VfsWrite(file, header, sizeof header) != sizeof header || VfsSeek(file, 0, QZ_VFS_SEEK_CURRENT) != 44)
        error = ERR_WRITE;
    else if (dataSize && VfsWrite(file, samples, dataSize) != dataSize)
        error = ERR_WRITE;
    else if (padded > dataSize && VfsWrite(file, kPad, padded - dataSize) != padded - dataSize)
        error = ERR_WRITE;
    OsFree(converted);
    if (!VfsClose(file) && !error) error = ERR_CLOSEFILE;
    if (!error && !OsRename(tempName.c_str(), finalName.c_str())) {
        SetErrorArgString(name);
        error = ERR_WRITEFILE;
    }
    if (!error) temp.Keep();
    return error;
}
