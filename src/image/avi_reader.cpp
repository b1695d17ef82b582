#include "image/avi_reader.h"

#include <cstring>

#include "image/jpeg_codec.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

constexpr int kMaxStreams = 16;
// Frames larger than this are refused: the frame buffer is allocated at open.
constexpr int64_t kMaxPixels = 1 << 26;

struct IndexEntry {
    int64_t offset;
    uint32_t size;
};

}  // namespace

struct qzAviReader {
    qzVfsFile* file;
    int64_t fileSize;
    int64_t pos;     // the file position, kept here so that no read or seek leaves the data
    uint32_t codec;  // 0 uncompressed 24-bit, 1 Motion-JPEG
    int32_t width, height;
    int32_t streams;
    int64_t moviData;  // right after the list type "movi"
    int32_t current;   // the frame the sequential scan reaches next
    int32_t total;
    char types[kMaxStreams][4];
    char handlers[kMaxStreams][4];
    int32_t videoStream;
    int32_t bitCount;
    uint8_t* buffer;  // frame data and the Motion-JPEG assembly
    size_t bufferSize;
    IndexEntry* index[kMaxStreams];
    int32_t indexCount[kMaxStreams];
    int32_t indexRoom[kMaxStreams];
};

namespace {

// The typical Huffman tables of baseline JPEG (luminance and chrominance, DC and AC) as one
// define-Huffman-table segment, for Motion-JPEG frames that leave them out.
constexpr uint8_t kStandardTables[] = {
    0xFF, 0xC4, 0x01, 0xA2,
    // DC 0
    0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // DC 1
    0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // AC 0
    0x10, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d, 0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31,
    0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15,
    0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54,
    0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77,
    0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
    0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1,
    0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
    // AC 1
    0x11, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77, 0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06,
    0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23,
    0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26,
    0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53,
    0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76,
    0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8,
    0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9,
    0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
static_assert(sizeof kStandardTables == 420, "marker, length and four tables");

bool ReadBytes(qzAviReader* r, void* out, size_t count) {
    if (r->pos < 0 || r->pos > r->fileSize || (int64_t)count > r->fileSize - r->pos) return false;
    const size_t got = VfsRead(r->file, out, count);
    r->pos += (int64_t)got;
    return got == count;
}

// A number read past the end of the file reads as 0.
uint32_t ReadU32(qzAviReader* r) {
    uint8_t b[4] = {0, 0, 0, 0};
    ReadBytes(r, b, 4);
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

uint32_t ReadU16(qzAviReader* r) {
    uint8_t b[2] = {0, 0};
    ReadBytes(r, b, 2);
    return (uint32_t)b[0] | (uint32_t)b[1] << 8;
}

// Seeks to an absolute position; a position past the end stays there without touching the file,
// so that the next read fails.
bool SeekTo(qzAviReader* r, int64_t pos) {
    if (pos < 0) return false;
    if (pos <= r->fileSize && VfsSeek(r->file, pos, QZ_VFS_SEEK_BEGINNING) < 0) return false;
    r->pos = pos;
    return true;
}

bool Skip(qzAviReader* r, int64_t count) { return SeekTo(r, r->pos + count); }

bool AtEnd(const qzAviReader* r) { return r->pos >= r->fileSize; }

bool Is(const char* id, const char* text) { return std::memcmp(id, text, 4) == 0; }

bool SameNoCase(const char* a, const char* b) {
    for (int i = 0; i < 4; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

void FreeAviIndexes(qzAviReader* r) {
    for (int i = 0; i < kMaxStreams; ++i) {
        OsFree(r->index[i]);
        r->index[i] = nullptr;
        r->indexCount[i] = r->indexRoom[i] = 0;
    }
}

// The stream number at the start of a chunk id, or -1 when the id names no data chunk.
int DataChunkStream(const char* id) {
    int stream = 0, digits = 0;
    while (digits < 4 && id[digits] >= '0' && id[digits] <= '9') stream = stream * 10 + (id[digits++] - '0');
    const bool kind = (id[2] == 'd' && (id[3] == 'b' || id[3] == 'c')) || (id[2] == 'w' && id[3] == 'b');
    return kind ? stream : -1;
}

// Reads the "idx1" chunk whose id has just been read. False only for a truncated index; an entry
// that names no stream drops the index and the file is then read by scanning.
bool BuildIndexes(qzAviReader* r) {
    int64_t remaining = ReadU32(r);
    // Every stream gets room for the main header's frame count, or for every entry the file can
    // still hold when that is fewer; entries beyond the room are ignored.
    int64_t room = (r->fileSize - r->pos) / 16;
    if (room > r->total) room = r->total;
    for (int i = 0; i < r->streams; ++i) {
        r->index[i] = static_cast<IndexEntry*>(OsAlloc(sizeof(IndexEntry) * (size_t)(room > 0 ? room : 1), 0));
        if (!r->index[i]) return false;
        r->indexRoom[i] = (int32_t)room;
    }
    while (remaining > 0) {
        remaining -= 16;
        char id[4];
        if (!ReadBytes(r, id, 4)) return false;
        if (Is(id, "rec ")) {
            Skip(r, 12);
            continue;
        }
        const int stream = DataChunkStream(id);
        if (stream < 0 || stream >= r->streams) {
            FreeAviIndexes(r);
            return true;
        }
        ReadU32(r);  // flags
        const uint32_t offset = ReadU32(r);
        const uint32_t size = ReadU32(r);
        if (r->indexCount[stream] < r->indexRoom[stream])
            r->index[stream][r->indexCount[stream]++] = IndexEntry{(int64_t)offset, size};
    }
    return true;
}

// Parses the header chunks up to the "movi" list. False for a header the reader refuses.
bool ParseHeaders(qzAviReader* r, bool* foundMovi, uint32_t* moviSize) {
    *foundMovi = false;
    int32_t lastStreamType = -1;
    while (!AtEnd(r)) {
        char id[4];
        if (!ReadBytes(r, id, 4)) return false;
        const uint32_t size = ReadU32(r);
        if (Is(id, "LIST")) {
            char type[4];
            if (!ReadBytes(r, type, 4)) return false;
            if (Is(type, "movi")) {
                *foundMovi = true;
                *moviSize = size;
                return true;
            }
        } else if (Is(id, "avih")) {
            if (size != 56) return false;
            Skip(r, 12);
            ReadU32(r);  // flags
            r->total = (int32_t)ReadU32(r);
            if (r->total == 0) return false;
            Skip(r, 4);
            const uint32_t streams = ReadU32(r);
            if (streams > kMaxStreams) return false;
            r->streams = (int32_t)streams;
            Skip(r, 4);
            r->width = (int32_t)ReadU32(r);
            r->height = (int32_t)ReadU32(r);
            Skip(r, 16);
        } else if (Is(id, "strh")) {
            if (size != 56) return false;
            // The stream table has room for 16 streams, as many as the main header may name.
            if (lastStreamType + 1 >= kMaxStreams) return false;
            ++lastStreamType;
            if (!ReadBytes(r, r->types[lastStreamType], 4) || !ReadBytes(r, r->handlers[lastStreamType], 4))
                return false;
            Skip(r, 48);
        } else if (Is(id, "strf")) {
            if (lastStreamType < 0) return false;
            const char* type = r->types[lastStreamType];
            if (Is(type, "auds")) {
                if (ReadU16(r) != 1) return false;
                Skip(r, 14);
                if (size > 16) Skip(r, size - 16);
            } else if (Is(type, "vids")) {
                Skip(r, 4);
                const int32_t width = (int32_t)ReadU32(r);
                const int32_t height = (int32_t)ReadU32(r);
                if (width != r->width || height != r->height) return false;
                ReadU16(r);  // planes
                r->bitCount = (int32_t)ReadU16(r);
                Skip(r, 24);  // compression, image size, resolutions, colours
                if (size > 40) Skip(r, size - 40);
                r->videoStream = lastStreamType;
            } else {
                Skip(r, (int64_t)size + (size & 1));
            }
        } else {
            Skip(r, (int64_t)size + (size & 1));
        }
    }
    return true;
}

bool Open(qzAviReader* r) {
    char head[12];
    if (!ReadBytes(r, head, 12) || !Is(head, "RIFF") || !Is(head + 8, "AVI ")) return false;
    bool movi = false;
    uint32_t moviSize = 0;
    if (!ParseHeaders(r, &movi, &moviSize) || !movi) return false;
    if (r->videoStream < 0 || r->streams == 0 || r->total <= 0 || r->width <= 0 || r->height <= 0) return false;
    if ((int64_t)r->width * r->height > kMaxPixels) return false;
    const char* handler = r->handlers[r->videoStream];
    static const char kNone[4] = {0, 0, 0, 0};
    if (SameNoCase(handler, "dib ") || SameNoCase(handler, "raw ") || Is(handler, kNone)) {
        if (r->bitCount != 24) return false;
        r->codec = 0;
    } else if (SameNoCase(handler, "mjpg")) {
        r->codec = 1;
    } else {
        return false;
    }
    r->moviData = r->pos;
    // The list size counts the list type already read.
    if (!SeekTo(r, r->moviData - 4 + (int64_t)moviSize + (moviSize & 1))) return false;
    char id[4];
    if (!ReadBytes(r, id, 4)) return false;
    if (Is(id, "idx1") && !BuildIndexes(r)) return false;
    if (!SeekTo(r, r->moviData)) return false;
    r->bufferSize = (size_t)r->width * (size_t)r->height * 3;
    r->buffer = static_cast<uint8_t*>(OsAlloc(r->bufferSize, 0));
    return r->buffer != nullptr;
}

// Makes room for size bytes in the assembly buffer.
bool Reserve(qzAviReader* r, size_t size) {
    if (size <= r->bufferSize) return true;
    void* grown = OsRealloc(r->buffer, size);
    if (!grown) return false;
    r->buffer = static_cast<uint8_t*>(grown);
    r->bufferSize = size;
    return true;
}

uint32_t* DecodeUncompressed(qzAviReader* r, uint32_t size) {
    const size_t w = (size_t)r->width, h = (size_t)r->height;
    if (size != w * h * 3 || !ReadBytes(r, r->buffer, size)) return nullptr;
    uint32_t* out = static_cast<uint32_t*>(OsAlloc(w * h * 4, 0));
    if (!out) return nullptr;
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = r->buffer + (h - 1 - y) * w * 3;
        uint32_t* line = out + y * w;
        for (size_t x = 0; x < w; ++x)
            line[x] = (uint32_t)row[x * 3 + 2] << 16 | (uint32_t)row[x * 3 + 1] << 8 | row[x * 3];
    }
    return out;
}

// Turns the Motion-JPEG chunk in data into a plain JPEG stream in the assembly buffer: "AVI1"
// becomes "JFIF" and the standard Huffman tables go before the start of scan when the frame
// defines none. The length of the stream, or 0 when the chunk is broken.
size_t AssembleJpeg(qzAviReader* r, const uint8_t* data, size_t size) {
    if (size < 6 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    if (!Reserve(r, size + sizeof kStandardTables)) return 0;
    uint8_t* out = r->buffer;
    size_t in = 0, n = 0;
    bool tables = false;
    // Copies the marker's segment length and the rest of its segment.
    auto segment = [&]() -> bool {
        if (size - in < 2) return false;
        const size_t length = (size_t)data[in] << 8 | data[in + 1];
        if (length < 2 || size - in < length) return false;
        std::memcpy(out + n, data + in, length);
        n += length;
        in += length;
        return true;
    };
    out[n++] = data[in++];
    out[n++] = data[in++];
    uint8_t marker = 0;
    if (data[in] != 0xFF) return 0;
    out[n++] = data[in++];
    marker = data[in];
    out[n++] = data[in++];
    for (;;) {
        if (marker == 0xC4) tables = true;
        if (marker == 0xDA) {
            if (!tables) {
                // The tables go right before the FF DA just copied.
                n -= 2;
                std::memcpy(out + n, kStandardTables, sizeof kStandardTables);
                n += sizeof kStandardTables;
                out[n++] = 0xFF;
                out[n++] = 0xDA;
            }
            std::memcpy(out + n, data + in, size - in);
            n += size - in;
            break;
        }
        if (!segment()) return 0;
        // Entropy-coded data and fill bytes up to the next marker.
        bool found = false;
        while (in < size) {
            const uint8_t b = data[in];
            out[n++] = data[in++];
            if (b != 0xFF) continue;
            while (in < size && data[in] == 0xFF) out[n++] = data[in++];
            if (in >= size) break;
            marker = data[in];
            out[n++] = data[in++];
            if (marker != 0x00) {
                found = true;
                break;
            }
        }
        if (!found) break;
    }
    if (n >= 10 && std::memcmp(out + 6, "AVI1", 4) == 0) std::memcpy(out + 6, "JFIF", 4);
    return n;
}

uint32_t* DecodeMotionJpeg(qzAviReader* r, uint32_t size) {
    // A chunk that claims more than the file holds is cut short: no frame.
    if ((int64_t)size > r->fileSize - r->pos) return nullptr;
    uint8_t* chunk = static_cast<uint8_t*>(OsAlloc(size ? size : 1, 0));
    if (!chunk) return nullptr;
    uint32_t* pixels = nullptr;
    if (ReadBytes(r, chunk, size)) {
        const size_t length = AssembleJpeg(r, chunk, size);
        int w = 0, h = 0;
        if (length && LoadJPEG(r->buffer, length, 0, &w, &h, &pixels) == 0 && (w != r->width || h != r->height)) {
            OsFree(pixels);
            pixels = nullptr;
        }
    }
    OsFree(chunk);
    return pixels;
}

}  // namespace

qzAviReader* OpenAviAnim(qzVfsFile* file, int* outWidth, int* outHeight, int* outFrameCount) {
    qzAviReader* r = static_cast<qzAviReader*>(OsAlloc(sizeof(qzAviReader), 1));
    if (!r) {
        VfsClose(file);
        return nullptr;
    }
    r->file = file;
    r->videoStream = -1;
    r->fileSize = VfsGetFileSize(file);
    if (r->fileSize < 0) r->fileSize = INT64_MAX;
    if (!Open(r)) {
        CloseAviAnim(r);
        return nullptr;
    }
    if (outWidth) *outWidth = r->width;
    if (outHeight) *outHeight = r->height;
    if (outFrameCount) *outFrameCount = r->total;
    return r;
}

namespace {

uint32_t* LoadFrame(qzAviReader* r, int n) {
    if (n != r->current) {
        const int v = r->videoStream;
        if (r->index[v] && n < r->indexCount[v]) {
            const int64_t offset = r->index[v][n].offset;
            char probe[4];
            if (!SeekTo(r, offset) || !ReadBytes(r, probe, 4)) return nullptr;
            const bool absolute =
                probe[0] >= '0' && probe[0] <= '9' && probe[1] >= '0' && probe[1] <= '9' && DataChunkStream(probe) >= 0;
            if (!SeekTo(r, absolute ? offset : r->moviData + offset - 4)) return nullptr;
            r->current = n;
        } else {
            if (!SeekTo(r, r->moviData)) return nullptr;
            r->current = 0;
        }
    }
    char db[5], dc[5];
    db[0] = dc[0] = (char)('0' + r->videoStream / 10);
    db[1] = dc[1] = (char)('0' + r->videoStream % 10);
    std::memcpy(db + 2, "db", 2);
    std::memcpy(dc + 2, "dc", 2);
    for (;;) {
        char id[4];
        if (AtEnd(r) || !ReadBytes(r, id, 4)) return nullptr;
        const uint32_t size = ReadU32(r);
        // Lists and the continuation parts of large files are entered.
        if (Is(id, "LIST") || Is(id, "RIFF")) {
            char type[4];
            if (!ReadBytes(r, type, 4)) return nullptr;
            continue;
        }
        if (Is(id, db) || Is(id, dc)) {
            if (r->current != n) {
                ++r->current;
                Skip(r, (int64_t)size + (size & 1));
                continue;
            }
            const int64_t next = r->pos + size + (size & 1);
            uint32_t* pixels = r->codec == 0 ? DecodeUncompressed(r, size) : DecodeMotionJpeg(r, size);
            if (!pixels) return nullptr;
            SeekTo(r, next);
            if (++r->current >= r->total) {
                r->current = 0;
                SeekTo(r, r->moviData);
            }
            return pixels;
        }
        Skip(r, (int64_t)size + (size & 1));
    }
}

}  // namespace

uint32_t* LoadAviAnimFrame(qzAviReader* r, int n) {
    if (!r || n < 0 || n >= r->total) return nullptr;
    uint32_t* pixels = LoadFrame(r, n);
    // A failed read leaves the file anywhere: the next frame, whichever it is, is found afresh.
    if (!pixels) r->current = -1;
    return pixels;
}

void CloseAviAnim(qzAviReader* r) {
    if (!r) return;
    FreeAviIndexes(r);
    OsFree(r->buffer);
    VfsClose(r->file);
    OsFree(r);
}
