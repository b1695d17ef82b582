// Exact reads and chunk skips on a source's virtual file, shared by the built-in decoders.
#include <cstring>

#include "base/byte_order.h"
#include "media/sound/sound_decoders.h"
#include "platform/vfs.h"

bool ReadSourceBytes(qzVfsFile* file, void* buffer, uint32_t n) { return VfsRead(file, buffer, n) == n; }

bool ReadSourceU32(qzVfsFile* file, bool bigEndian, uint32_t* value) {
    unsigned char b[4];
    if (!ReadSourceBytes(file, b, 4)) return false;
    *value = bigEndian ? (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]
                       : (uint32_t(b[3]) << 24) | (uint32_t(b[2]) << 16) | (uint32_t(b[1]) << 8) | b[0];
    return true;
}

bool ReadSourceU16(qzVfsFile* file, bool bigEndian, uint32_t* value) {
    unsigned char b[2];
    if (!ReadSourceBytes(file, b, 2)) return false;
    *value = bigEndian ? (uint32_t(b[0]) << 8) | b[1] : (uint32_t(b[1]) << 8) | b[0];
    return true;
}

void SkipSourceChunk(qzVfsFile* file, uint64_t size) {
    // Chunks of odd size are followed by a pad byte.
    uint64_t skip = size + (size & 1);
    if (skip) VfsSeek(file, static_cast<int64_t>(skip), QZ_VFS_SEEK_CURRENT);
}

void ReadSourceAt(qzVfsFile* file, uint64_t offset, void* buffer, uint64_t n) {
    size_t got = 0;
    if (VfsSeek(file, static_cast<int64_t>(offset), QZ_VFS_SEEK_BEGINNING) >= 0)
        got = VfsRead(file, buffer, static_cast<size_t>(n));
    if (got < n) std::memset(static_cast<unsigned char*>(buffer) + got, 0, static_cast<size_t>(n - got));
}

uint64_t SourceBytesFrom(qzVfsFile* file, uint64_t offset) {
    int64_t size = VfsGetFileSize(file);
    if (size < 0) return UINT64_MAX;
    return static_cast<uint64_t>(size) > offset ? static_cast<uint64_t>(size) - offset : 0;
}

void SetPcmSourceLayout(qzSoundSource* source, qzVfsFile* file) {
    source->packets = source->frames;
    source->totalBytes = source->frames * source->bytesPerFrame;
    source->bytesPerPacket = source->bytesPerFrame;
    source->framesPerPacket = 1;
    source->seekable = VfsHasStreamFlag(file) ? 0 : 1;
}

void SwapSourceWords(void* data, uint64_t count, bool fileBigEndian) {
    if (fileBigEndian == HostIsBigEndian()) return;
    unsigned char* p = static_cast<unsigned char*>(data);
    for (uint64_t i = 0; i < count; i++) {
        unsigned char t = p[2 * i];
        p[2 * i] = p[2 * i + 1];
        p[2 * i + 1] = t;
    }
}
