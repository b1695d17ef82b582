#include "video/cdxl_reader.h"

#include <cmath>
#include <cstring>
#include <new>

#include "image/ilbm_body.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

struct qzCdxlReader {
    qzVfsFile* file;
    int width;
    int height;
    int64_t planeRowBytes;  // one row of one plane
    int planes;
    int64_t frames;
    int64_t frameIndex;  // the frame the next picture packet reads
    int64_t chunkSize;
    int64_t paletteSize;  // bytes, as the first chunk gives it
    int64_t videoSize;
    int64_t audioSize;
    int64_t padding;
    bool ham;
    double fps;
    bool audioPending;  // the picture of the current chunk was read, its sound not yet
};

namespace {

constexpr int kHeaderSize = 32;
constexpr int kMaxColours = 256;

// One packet, a single allocation: the fixed part, then the planar data (or the samples) and the
// chunky work buffer, so that decoding allocates nothing.
struct CdxlPacket {
    uint8_t header[kHeaderSize];
    uint8_t* data;    // planar picture rows, or the signed 8-bit samples
    uint8_t* chunky;  // width x height colour indices; null in a sound packet
    uint32_t palette[kMaxColours];
    double timeStamp;
    uint32_t type;
    uint32_t audioConsumed;  // samples already handed out
};

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

bool ReadExact(qzVfsFile* file, void* buffer, int64_t count) {
    return count <= 0 || VfsRead(file, buffer, static_cast<size_t>(count)) == static_cast<size_t>(count);
}

}  // namespace

double CdxlFramesPerSecond(uint32_t chunkSize) {
    if (chunkSize == 0) return 0.0;
    if (chunkSize <= 13000) return 153600.0 / chunkSize;
    if (chunkSize <= 40000) return 307200.0 / chunkSize;
    return 614400.0 / chunkSize;
}

qzCdxlReader* OpenCdxl(const char* file, qzVideoFormatInfo* format) {
    const char* adapters = format->adapter && *format->adapter ? format->adapter : nullptr;
    qzVfsFileOwner owner(VfsOpen(file, QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU, adapters));
    if (!owner) return nullptr;
    uint8_t header[kHeaderSize];
    if (!ReadExact(owner.get(), header, kHeaderSize) || header[0] != 1) return nullptr;
    const int64_t chunkSize = Be32(header + 2);
    const int width = static_cast<int>(Be16(header + 14));
    const int height = static_cast<int>(Be16(header + 16));
    const int planes = header[19];
    const int64_t paletteSize = Be16(header + 20);
    const int64_t audioSize = Be16(header + 22);
    if (width < 1 || height < 1 || planes < 1 || planes > 8) return nullptr;
    const int64_t planeRowBytes = (static_cast<int64_t>(width) + 15) / 16 * 2;
    const int64_t videoSize = planeRowBytes * height * planes;
    const int64_t padding = chunkSize - (paletteSize + videoSize + audioSize) - kHeaderSize;
    if (padding < 0) return nullptr;

    const int64_t fileSize = VfsGetFileSize(owner.get());
    if (fileSize <= 0) return nullptr;
    uint8_t second[4];
    if (VfsSeek(owner.get(), chunkSize + 2, QZ_VFS_SEEK_BEGINNING) < 0 || !ReadExact(owner.get(), second, 4) ||
        Be32(second) != static_cast<uint32_t>(chunkSize)) {
        return nullptr;
    }
    if (VfsSeek(owner.get(), 0, QZ_VFS_SEEK_BEGINNING) < 0) return nullptr;

    qzCdxlReader* reader = new (std::nothrow) qzCdxlReader{};
    if (!reader) return nullptr;
    reader->width = width;
    reader->height = height;
    reader->planeRowBytes = planeRowBytes;
    reader->planes = planes;
    reader->frames = fileSize / chunkSize;
    reader->chunkSize = chunkSize;
    reader->paletteSize = paletteSize;
    reader->videoSize = videoSize;
    reader->audioSize = audioSize;
    reader->padding = padding;
    reader->ham = (header[1] & 15) == 1;
    reader->fps = CdxlFramesPerSecond(static_cast<uint32_t>(chunkSize));

    const double duration = static_cast<double>(reader->frames) / reader->fps * 1000.0;
    format->width = static_cast<uint32_t>(width);
    format->height = static_cast<uint32_t>(height);
    format->duration = duration >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(duration);
    format->sampleRate = static_cast<uint32_t>(static_cast<double>(audioSize) * reader->fps);
    format->channels = audioSize != 0 ? 1 : 0;
    format->seekMode = QZ_VIDEO_SEEK_TIME;
    format->byteRate = 0;
    format->frames32 = 1;
    format->flags = VfsHasStreamFlag(owner.get()) ? 0 : QZ_VIDEOFORMAT_CANSEEK;
    format->frameDuration = 0.0;
    reader->file = owner.release();
    return reader;
}

void CloseCdxl(qzCdxlReader* reader) {
    if (!reader) return;
    VfsClose(reader->file);
    delete reader;
}

int ReadCdxlPacket(qzCdxlReader* reader, qzVideoPacketBlock* out) {
    CdxlPacket* packet = nullptr;
    size_t size = 0;
    if (reader->audioPending) {
        size = sizeof(CdxlPacket) + static_cast<size_t>(reader->audioSize);
        packet = static_cast<CdxlPacket*>(OsAlloc(size, 0));
        if (!packet) return -2;
        std::memset(packet, 0, sizeof(CdxlPacket));
        packet->data = reinterpret_cast<uint8_t*>(packet + 1);
        if (!ReadExact(reader->file, packet->data, reader->audioSize)) {
            OsFree(packet);
            return -1;
        }
        packet->type = QZ_VIDEOPACKET_AUDIO;
        reader->audioPending = false;
    } else {
        if (reader->frameIndex >= reader->frames) return -1;
        const int64_t pixels = static_cast<int64_t>(reader->width) * reader->height;
        size = sizeof(CdxlPacket) + static_cast<size_t>(reader->videoSize) + static_cast<size_t>(pixels);
        packet = static_cast<CdxlPacket*>(OsAlloc(size, 0));
        if (!packet) return -2;
        std::memset(packet, 0, sizeof(CdxlPacket));
        packet->data = reinterpret_cast<uint8_t*>(packet + 1);
        packet->chunky = packet->data + reader->videoSize;
        std::memset(packet->chunky, 0, static_cast<size_t>(pixels));
        bool ok = ReadExact(reader->file, packet->header, kHeaderSize);
        // Every chunk is laid out as the first: at most 256 colours are kept, the rest of a
        // larger palette is read past.
        uint8_t words[2 * kMaxColours];
        const int64_t kept = reader->paletteSize < 2 * kMaxColours ? reader->paletteSize : 2 * kMaxColours;
        ok = ok && ReadExact(reader->file, words, kept);
        if (ok && reader->paletteSize > kept) {
            ok = VfsSeek(reader->file, reader->paletteSize - kept, QZ_VFS_SEEK_CURRENT) >= 0;
        }
        ok = ok && ReadExact(reader->file, packet->data, reader->videoSize);
        if (!ok) {
            OsFree(packet);
            return -1;
        }
        for (int64_t i = 0; i < kept / 2; ++i) {
            const uint32_t word = Be16(words + 2 * i);
            const uint32_t r = (word >> 8) & 15, g = (word >> 4) & 15, b = word & 15;
            packet->palette[i] = (r * 17) << 16 | (g * 17) << 8 | (b * 17);
        }
        packet->type = QZ_VIDEOPACKET_VIDEO;
        reader->audioPending = reader->audioSize != 0;
    }
    packet->timeStamp = static_cast<double>(reader->frameIndex) / reader->fps;
    if (!reader->audioPending) {
        if (reader->padding > 0) VfsSeek(reader->file, reader->padding, QZ_VFS_SEEK_CURRENT);
        ++reader->frameIndex;
    }
    out->packet = packet;
    out->type = packet->type;
    out->size = static_cast<uint32_t>(size);
    out->timeStamp = packet->timeStamp;
    return 0;
}

void FreeCdxlPacket(void* packet) { OsFree(packet); }

int DecodeCdxlFrame(qzCdxlReader* reader, void* data, qzVideoFrameBlock* frame) {
    auto* packet = static_cast<CdxlPacket*>(data);
    if (!packet || packet->type != QZ_VIDEOPACKET_VIDEO || !frame->planes || !frame->planes[0]) return 1;
    const int width = reader->width, height = reader->height;
    const int64_t interleavedRow = reader->planeRowBytes * reader->planes;
    for (int y = 0; y < height; ++y) {
        PlanarToChunky(packet->data + y * interleavedRow, width, 1, reader->planes, reader->planeRowBytes,
                       packet->chunky + static_cast<int64_t>(y) * width, width);
    }
    auto* pixels = reinterpret_cast<uint32_t*>(frame->planes[0]);
    if (reader->ham && reader->planes < 7) {
        DecodeHAM6Rows(packet->chunky, pixels, packet->palette, width, height);
    } else if (reader->ham) {
        DecodeHAM8Rows(packet->chunky, pixels, packet->palette, width, height);
    } else {
        LookupPaletteRows(packet->chunky, pixels, packet->palette, width, height);
    }
    if (frame->rowBytes) frame->rowBytes[0] = static_cast<uint32_t>(width) * 4;
    frame->timeStampB = packet->timeStamp;
    frame->timeStampA = -1.0;
    frame->repeat = 0;
    frame->positionTag = 0;
    return 0;
}

int DecodeCdxlAudio(qzCdxlReader* reader, void* data, qzVideoAudioBlock* audio) {
    auto* packet = static_cast<CdxlPacket*>(data);
    audio->produced = 0;
    if (!packet || packet->type != QZ_VIDEOPACKET_AUDIO) {
        audio->done = 1;
        return 0;
    }
    // A destination smaller than the packet's sound takes it over several calls.
    const uint32_t total = static_cast<uint32_t>(reader->audioSize);
    const uint32_t room = audio->buffer ? audio->capacity / 2 : 0;
    const uint32_t left = total - packet->audioConsumed;
    const uint32_t count = left < room ? left : room;
    auto* out = static_cast<int16_t*>(audio->buffer);
    const auto* samples = reinterpret_cast<const int8_t*>(packet->data) + packet->audioConsumed;
    for (uint32_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(samples[i] * 256);
    packet->audioConsumed += count;
    audio->produced = count * 2;
    audio->done = packet->audioConsumed >= total ? 1 : 0;
    return 0;
}

int SeekCdxl(qzCdxlReader* reader, int64_t milliseconds) {
    const double wanted = std::floor(static_cast<double>(milliseconds) / 1000.0 * reader->fps);
    int64_t frame = 0;
    if (wanted >= static_cast<double>(reader->frames)) {
        frame = reader->frames - 1;
    } else if (wanted > 0.0) {
        frame = static_cast<int64_t>(wanted);
    }
    if (VfsSeek(reader->file, frame * reader->chunkSize, QZ_VFS_SEEK_BEGINNING) < 0) return 1;
    reader->audioPending = false;
    reader->frameIndex = frame;
    return 0;
}

int64_t GetCdxlFrameCount(const qzCdxlReader* reader) { return reader->frames; }

const char* GetCdxlFormatName() { return "CDXL"; }
