#include "image/image_sniff.h"

#include <climits>
#include <cstring>

#include "image/ilbm.h"
#include "platform/vfs.h"

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint32_t Le16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }

// Sizes from 32-bit header fields: values past INT_MAX saturate.
int SaturatedSize(int64_t value) {
    if (value < 0) value = -value;
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

bool IsIlbm(const uint8_t* b) { return std::memcmp(b, "FORM", 4) == 0 && std::memcmp(b + 8, "ILBM", 4) == 0; }
// The start-of-image marker and a first segment that names "JFIF", "Exif" or "Lavc". Other JPEG
// files (Adobe or ICC segments first, bare tables) are left to the system codecs.
bool IsJpeg(const uint8_t* b) {
    if (b[0] != 0xFF || b[1] != 0xD8) return false;
    return std::memcmp(b + 6, "JFIF", 4) == 0 || std::memcmp(b + 6, "Exif", 4) == 0 ||
           std::memcmp(b + 6, "Lavc", 4) == 0;
}
bool IsPng(const uint8_t* b) { return b[0] == 0x89 && std::memcmp(b + 1, "PNG", 3) == 0; }
bool IsBmp(const uint8_t* b) { return b[0] == 'B' && b[1] == 'M'; }
bool IsGif(const uint8_t* b) { return std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0; }

bool ParseIlbm(const uint8_t* buffer, int* width, int* height, int* alpha, int32_t* transparent) {
    if (!IsIlbm(buffer)) return false;
    const uint8_t* p = FindIFFChunk(buffer, QZ_SNIFF_HEADER_BYTES, IffId("BMHD"));
    if (!p) return false;
    *width = static_cast<int>(Be16(p + 4));
    *height = static_cast<int>(Be16(p + 6));
    *alpha = 0;
    if (p[13] == 2) *transparent = 1;
    return true;
}

// Walks the segments after the start-of-image marker to the first frame header. Segments whose
// length is below 2 end the walk (they would step backwards forever), and so do the start of the
// scan and the end of the image: a frame header must come before them.
bool ParseJpeg(qzVfsFile* file, const uint8_t* buffer, int* width, int* height, int* alpha) {
    if (!IsJpeg(buffer)) return false;
    VfsSeek(file, 2, QZ_VFS_SEEK_BEGINNING);
    for (;;) {
        int c = VfsGetC(file);
        while (c >= 0 && c != 0xFF) c = VfsGetC(file);
        while (c == 0xFF) c = VfsGetC(file);
        if (c < 0) return false;
        if (c == 0) continue;
        bool frame = (c >= 0xC0 && c <= 0xCE && c != 0xC4 && c != 0xCC) || c == 0xDE;
        if (frame) {
            VfsSeek(file, 3, QZ_VFS_SEEK_CURRENT);
            uint8_t size[4];
            if (VfsRead(file, size, 4) != 4) return false;
            *height = static_cast<int>(Be16(size));
            *width = static_cast<int>(Be16(size + 2));
            *alpha = 0;
            return true;
        }
        if (c == 0xDA || c == 0xD9) return false;
        if (c == 0x01 || (c >= 0xD0 && c <= 0xD7)) continue;  // markers without a length
        uint8_t length[2];
        if (VfsRead(file, length, 2) != 2) return false;
        uint32_t n = Be16(length);
        if (n < 2) return false;
        VfsSeek(file, n - 2, QZ_VFS_SEEK_CURRENT);
    }
}

// Palette images count as having alpha when a tRNS chunk comes before IEND; the walk also ends at
// the end of the file, and then reports no alpha.
bool ParsePng(qzVfsFile* file, const uint8_t* buffer, int* width, int* height, int* alpha) {
    if (!IsPng(buffer)) return false;
    const uint8_t* p = FindIFFChunk(buffer, QZ_SNIFF_HEADER_BYTES, IffId("IHDR"));
    if (!p) return false;
    *width = SaturatedSize(Be32(p));
    *height = SaturatedSize(Be32(p + 4));
    int colourType = p[9];
    if (colourType == 3) {
        VfsSeek(file, 8, QZ_VFS_SEEK_BEGINNING);
        for (;;) {
            uint8_t chunk[8];
            if (VfsRead(file, chunk, 8) != 8) break;
            uint32_t type = Be32(chunk + 4);
            if (type == IffId("tRNS")) {
                colourType = 6;
                break;
            }
            if (type == IffId("IEND")) break;
            if (VfsSeek(file, static_cast<int64_t>(Be32(chunk)) + 4, QZ_VFS_SEEK_CURRENT) < 0) break;
        }
    }
    *alpha = colourType == 4 || colourType == 6;
    return true;
}

bool ParseBmp(const uint8_t* buffer, int* width, int* height, int* alpha) {
    // Core headers (below 40 bytes) keep their sizes elsewhere: those files go to the readers.
    if (!IsBmp(buffer) || Le32(buffer + 14) < 40) return false;
    *width = static_cast<int>(Le32(buffer + 18));
    *height = SaturatedSize(static_cast<int32_t>(Le32(buffer + 22)));
    *alpha = 0;
    return true;
}

// The first directory's width, height, photometric interpretation and samples per pixel; values
// are read as their field type says (SHORT or LONG) in the file's byte order.
bool ParseTiff(qzVfsFile* file, const uint8_t* buffer, int* width, int* height, int* alpha) {
    bool big = std::memcmp(buffer, "MM\0*", 4) == 0;
    if (!big && std::memcmp(buffer, "II*\0", 4) != 0) return false;
    auto u16 = [big](const uint8_t* p) { return big ? Be16(p) : Le16(p); };
    auto u32 = [big](const uint8_t* p) { return big ? Be32(p) : Le32(p); };
    VfsSeek(file, 4, QZ_VFS_SEEK_BEGINNING);
    uint8_t word[4];
    if (VfsRead(file, word, 4) != 4) return false;
    VfsSeek(file, u32(word), QZ_VFS_SEEK_BEGINNING);
    if (VfsRead(file, word, 2) != 2) return false;
    uint32_t entries = u16(word);
    bool seen = false, rgb = false;
    uint32_t samples = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t entry[12];
        if (VfsRead(file, entry, 12) != 12) break;
        uint32_t tag = u16(entry);
        uint32_t type = u16(entry + 2);
        uint32_t value = type == 4 ? u32(entry + 8) : u16(entry + 8);
        switch (tag) {
        case 0x100:
            *width = SaturatedSize(value);
            seen = true;
            break;
        case 0x101:
            *height = SaturatedSize(value);
            seen = true;
            break;
        case 0x106: rgb = value == 2; break;
        case 0x115: samples = value; break;
        }
    }
    if (!seen) return false;
    *alpha = rgb && samples == 4;
    return true;
}

bool ParseGif(const uint8_t* buffer, int* width, int* height, int* alpha, int32_t* transparent) {
    if (!IsGif(buffer)) return false;
    *width = static_cast<int>(Le16(buffer + 6));
    *height = static_cast<int>(Le16(buffer + 8));
    *alpha = 0;
    size_t pos = 13;
    if (buffer[10] & 0x80) pos += 3 * (size_t{1} << ((buffer[10] & 7) + 1));
    if (pos >= 800) return true;
    while (pos <= 999 && buffer[pos] == 0x21) {
        if (buffer[pos + 1] == 0xF9) {
            if (buffer[pos + 2] > 3 && (buffer[pos + 3] & 1)) *transparent = 1;
            break;
        }
        pos += 2;
        while (pos < QZ_SNIFF_HEADER_BYTES && buffer[pos] != 0) pos += buffer[pos] + 1;
        ++pos;
    }
    return true;
}

}  // namespace

const uint8_t* FindIFFChunk(const uint8_t* buffer, size_t length, uint32_t id) {
    if (length < 9) return nullptr;
    for (size_t i = 0; i + 9 <= length; ++i) {
        if (Be32(buffer + i) == id) return buffer + i + 4;
    }
    return nullptr;
}

int ClassifyImageKind(const uint8_t* first64) {
    if (IsIlbm(first64)) return QZ_IMAGE_ILBM;
    if (IsJpeg(first64)) return QZ_IMAGE_JPEG;
    if (IsPng(first64)) return QZ_IMAGE_PNG;
    if (IsBmp(first64)) return QZ_IMAGE_BMP;
    if (IsGif(first64)) return QZ_IMAGE_GIF;
    return QZ_IMAGE_NONE;
}

int ParseImageHeader(qzVfsFile* file, const uint8_t* buffer, int* outWidth, int* outHeight, int* outAlpha,
                     int32_t* outTransparent) {
    int width = 0, height = 0, alpha = 0;
    int32_t transparent = 0;
    bool ok = ParseIlbm(buffer, &width, &height, &alpha, &transparent) ||
              ParseJpeg(file, buffer, &width, &height, &alpha) || ParsePng(file, buffer, &width, &height, &alpha) ||
              ParseBmp(buffer, &width, &height, &alpha) || ParseTiff(file, buffer, &width, &height, &alpha) ||
              ParseGif(buffer, &width, &height, &alpha, &transparent);
    if (!ok) return 0;
    *outWidth = width;
    *outHeight = height;
    *outAlpha = alpha;
    if (transparent && outTransparent) *outTransparent = 1;
    return 1;
}
