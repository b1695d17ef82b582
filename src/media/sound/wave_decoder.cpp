// The RIFF WAVE decoder: integer PCM of 8 bits (unsigned) or 16 bits (signed, little-endian),
// mono or stereo, from a "fmt " chunk of 16 bytes or more (the 18-byte form and the extensible
// form with the PCM sub-format included) and the "data" chunk.
#include <cstring>

#include "media/sound/sound_decoders.h"
#include "media/sound/sound_record.h"
#include "platform/vfs.h"

namespace {

constexpr uint32_t kTagPcm = 1;
constexpr uint32_t kTagExtensible = 0xFFFE;
// The tail of the PCM sub-format identifier after its first two bytes (the format tag 1).
const unsigned char kPcmGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

qzVfsFile* FileOf(const qzSoundSource* source) { return static_cast<qzVfsFile*>(source->handle); }

void CloseFile(qzSoundSource* source) {
    if (source->handle) VfsClose(FileOf(source));
    source->handle = nullptr;
}

struct Format {
    uint32_t channels;
    uint32_t rate;
    uint32_t bits;
};

// Reads a "fmt " chunk body of `size` bytes and moves to its end (before a pad byte). False for a
// format this decoder does not read.
bool ReadFormat(qzVfsFile* file, uint32_t size, Format* format) {
    if (size < 16) return false;
    unsigned char b[40] = {};
    uint32_t take = size < sizeof b ? size : static_cast<uint32_t>(sizeof b);
    if (!ReadSourceBytes(file, b, take)) return false;
    uint32_t tag = b[0] | (b[1] << 8);
    format->channels = b[2] | (b[3] << 8);
    format->rate = b[4] | (b[5] << 8) | (b[6] << 16) | (uint32_t(b[7]) << 24);
    format->bits = b[14] | (b[15] << 8);
    if (size > take) VfsSeek(file, static_cast<int64_t>(size - take), QZ_VFS_SEEK_CURRENT);
    if (tag == kTagExtensible) {
        // cbSize (22), valid bits, channel mask, then the sub-format identifier.
        uint32_t extra = b[16] | (b[17] << 8);
        uint32_t subTag = b[24] | (b[25] << 8);
        if (size < 40 || extra < 22 || subTag != kTagPcm || std::memcmp(b + 26, kPcmGuidTail, 14) != 0) return false;
    } else if (tag != kTagPcm) {
        return false;
    }
    // More than two channels would be read as one interleaved channel: the system decoder mixes
    // such files down instead.
    return (format->channels == 1 || format->channels == 2) && (format->bits == 8 || format->bits == 16);
}

int OpenWav(qzSoundSource* source) {
    qzVfsFile* file = FileOf(source);
    VfsSeek(file, 12, QZ_VFS_SEEK_BEGINNING);
    Format format = {};
    uint32_t dataSize = 0;
    for (;;) {
        unsigned char id[4];
        if (!ReadSourceBytes(file, id, 4) || !ReadSourceU32(file, false, &source->chunkSize)) {
            CloseFile(source);
            return 0;
        }
        if (std::memcmp(id, "data", 4) == 0) {
            dataSize = source->chunkSize;
            break;
        }
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (!ReadFormat(file, source->chunkSize, &format)) {
                CloseFile(source);
                return 0;
            }
            // The pad byte of an odd-sized "fmt " chunk.
            if (source->chunkSize & 1) VfsSeek(file, 1, QZ_VFS_SEEK_CURRENT);
        } else {
            SkipSourceChunk(file, source->chunkSize);
        }
    }
    if (format.rate == 0) {
        CloseFile(source);
        return 0;
    }
    source->channels = format.channels;
    source->bits = format.bits;
    source->rate = format.rate;
    if (format.bits == 16) source->flags |= QZ_SOUNDF_HOSTORDER | QZ_SOUNDF_SIGNED;
    source->bytesPerFrame = format.channels * format.bits / 8;
    source->dataOffset = static_cast<uint64_t>(VfsSeek(file, 0, QZ_VFS_SEEK_CURRENT));
    uint64_t available = SourceBytesFrom(file, source->dataOffset);
    if (dataSize > available) dataSize = static_cast<uint32_t>(available);
    source->frames = dataSize / source->bytesPerFrame;
    SetPcmSourceLayout(source, file);
    return 1;
}

uint32_t DecodeWav(qzSoundSource* source, void* buffer, uint32_t frames, int* end) {
    if (end) *end = 0;
    uint32_t remaining = source->position < source->frames ? source->frames - source->position : 0;
    uint32_t count = frames;
    if (remaining < frames) {
        count = remaining;
        if (end) *end = 1;
    }
    uint64_t offset = source->dataOffset + static_cast<uint64_t>(source->position) * source->bytesPerFrame;
    ReadSourceAt(FileOf(source), offset, buffer, static_cast<uint64_t>(count) * source->bytesPerFrame);
    if (source->bits == 16) SwapSourceWords(buffer, static_cast<uint64_t>(count) * source->channels, false);
    source->framesDecoded = count;
    source->bytesDecoded = count * source->bytesPerFrame;
    source->position += count;
    return count;
}

void SeekWav(qzSoundSource* source, uint32_t frame) {
    if (frame < source->frames) source->position = frame;
}

const char* NameWav(const qzSoundSource*) { return "RIFF WAVE"; }

}  // namespace

const qzSoundDecoder qzWaveDecoder = {NameWav, SeekWav, DecodeWav, OpenWav, CloseFile};
