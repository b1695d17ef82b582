// The IFF 8SVX and 16SV decoders: a voice header ("VHDR", 20 bytes, uncompressed only), an
// optional "CHAN" chunk (6 = stereo) and the "BODY" with the samples, big-endian for 16SV.
#include <cstring>

#include "media/sound/sound_decoders.h"
#include "media/sound/sound_record.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

qzVfsFile* FileOf(const qzSoundSource* source) { return static_cast<qzVfsFile*>(source->handle); }

void CloseFile(qzSoundSource* source) {
    if (source->handle) VfsClose(FileOf(source));
    source->handle = nullptr;
}

int OpenIff(qzSoundSource* source, bool sixteen) {
    qzVfsFile* file = FileOf(source);
    uint32_t value = 0;
    VfsSeek(file, 16, QZ_VFS_SEEK_BEGINNING);
    if (!ReadSourceU32(file, true, &value) || value != 20) {
        CloseFile(source);
        return 0;
    }
    unsigned char vhdr[20];
    if (!ReadSourceBytes(file, vhdr, sizeof vhdr)) {
        CloseFile(source);
        return 0;
    }
    // One-shot, repeat and cycle counts (12 bytes), the rate, the octave count, the compression
    // and the volume.
    uint32_t rate = (uint32_t(vhdr[12]) << 8) | vhdr[13];
    source->compression = vhdr[15];
    if (source->compression != 0) {
        CloseFile(source);
        return 0;
    }
    bool stereo = false;
    uint32_t bodySize = 0;
    for (;;) {
        unsigned char id[4];
        if (!ReadSourceBytes(file, id, 4) || !ReadSourceU32(file, true, &source->chunkSize)) {
            CloseFile(source);
            return 0;
        }
        if (std::memcmp(id, "BODY", 4) == 0) {
            bodySize = source->chunkSize;
            break;
        }
        if (std::memcmp(id, "CHAN", 4) == 0 && source->chunkSize >= 4) {
            if (!ReadSourceU32(file, true, &value)) {
                CloseFile(source);
                return 0;
            }
            stereo = value == 6;
            SkipSourceChunk(file, source->chunkSize - 4);
        } else {
            SkipSourceChunk(file, source->chunkSize);
        }
    }
    source->dataOffset = static_cast<uint64_t>(VfsSeek(file, 0, QZ_VFS_SEEK_CURRENT));
    uint64_t available = SourceBytesFrom(file, source->dataOffset);
    if (bodySize > available) bodySize = static_cast<uint32_t>(available);
    source->channels = stereo ? 2 : 1;
    source->rate = rate;
    if (sixteen) {
        source->bits = 16;
        source->flags |= QZ_SOUNDF_HOSTORDER | QZ_SOUNDF_SIGNED;
        source->bytesPerFrame = 2 * source->channels;
        source->frames = bodySize / 2 / source->channels;
    } else {
        source->bits = 8;
        source->flags |= QZ_SOUNDF_SIGNED;
        source->bytesPerFrame = source->channels;
        source->frames = bodySize / source->channels;
    }
    SetPcmSourceLayout(source, file);
    return 1;
}

uint32_t DecodeIff(qzSoundSource* source, void* buffer, uint32_t frames, int* end) {
    if (end) *end = 0;
    qzVfsFile* file = FileOf(source);
    const uint32_t bytesPerSample = source->bits / 8;
    const bool bigEndianWords = source->bits == 16;
    uint32_t remaining = source->position < source->frames ? source->frames - source->position : 0;
    uint32_t count = frames;
    if (remaining < frames) {
        count = remaining;
        if (end) *end = 1;
    }
    uint64_t offset = source->dataOffset + static_cast<uint64_t>(source->position) * bytesPerSample;
    if (source->channels == 1) {
        ReadSourceAt(file, offset, buffer, static_cast<uint64_t>(count) * bytesPerSample);
        if (bigEndianWords) SwapSourceWords(buffer, count, true);
    } else {
        uint64_t half = static_cast<uint64_t>(count) * bytesPerSample;
        if (half > source->scratchSize) {
            OsFree(source->scratch);
            source->scratchSize = 0;
            source->scratch = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(half), 0));
            if (!source->scratch) {
                source->framesDecoded = 0;
                source->bytesDecoded = 0;
                return 0;
            }
            source->scratchSize = static_cast<uint32_t>(half);
        }
        unsigned char* out = static_cast<unsigned char*>(buffer);
        for (int side = 0; side < 2; side++) {
            uint64_t at = offset + (side ? static_cast<uint64_t>(source->frames) * bytesPerSample : 0);
            ReadSourceAt(file, at, source->scratch, half);
            if (bigEndianWords) SwapSourceWords(source->scratch, count, true);
            for (uint32_t i = 0; i < count; i++)
                std::memcpy(out + (2 * static_cast<size_t>(i) + side) * bytesPerSample,
                            source->scratch + static_cast<size_t>(i) * bytesPerSample, bytesPerSample);
        }
    }
    source->framesDecoded = count;
    source->bytesDecoded = count * source->bytesPerFrame;
    source->position += count;
    return count;
}

void SeekIff(qzSoundSource* source, uint32_t frame) {
    if (frame < source->frames) source->position = frame;
}

void CloseIff(qzSoundSource* source) {
    OsFree(source->scratch);
    source->scratch = nullptr;
    source->scratchSize = 0;
    CloseFile(source);
}

const char* Name8svx(const qzSoundSource*) { return "IFF 8SVX"; }

const char* Name16sv(const qzSoundSource*) { return "IFF 16SV"; }

int Open8svx(qzSoundSource* source) { return OpenIff(source, false); }

int Open16sv(qzSoundSource* source) { return OpenIff(source, true); }

}  // namespace

const qzSoundDecoder qz8svxDecoder = {Name8svx, SeekIff, DecodeIff, Open8svx, CloseIff};
const qzSoundDecoder qz16svDecoder = {Name16sv, SeekIff, DecodeIff, Open16sv, CloseIff};
