#include "image/bmp_reader.h"

#include <bit>
#include <cstring>

#include "base/error_codes.h"
#include "image/image_pixels.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

enum { BI_RGB = 0, BI_RLE8 = 1, BI_BITFIELDS = 3 };

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint32_t Le16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }

// One colour channel of a bit-field pixel: the bits under the mask, scaled to 8 bits by shifting
// (short channels keep their low bits 0, as the 5-6-5 layout always has).
struct Channel {
    uint32_t mask;
    int shift;
    int bits;
    explicit Channel(uint32_t m) : mask(m), shift(m ? std::countr_zero(m) : 0), bits(std::popcount(m)) {}
    uint32_t Extract(uint32_t value) const {
        if (!mask) return 0;
        uint32_t v = (value & mask) >> shift;
        return (bits >= 8 ? v >> (bits - 8) : v << (8 - bits)) & 0xFF;
    }
};

// RLE8 data into one index per pixel (rows in image order, top first). Consumed bytes never pass
// the data; runs and literals past the row end are dropped; a delta moves right by dx and dy rows
// further up the picture; pixels nobody sets keep index 0.
void DecodeRle8(const uint8_t* data, size_t size, int width, int height, uint8_t* indices) {
    size_t pos = 0;
    int64_t x = 0, y = 0;  // y: rows in file order, 0 = the bottom row
    auto put = [&](uint8_t value) {
        if (x < width && y < height) indices[static_cast<size_t>(height - 1 - y) * width + x] = value;
        if (x <= width) ++x;
    };
    while (pos + 1 < size && y < height) {
        uint8_t n = data[pos], value = data[pos + 1];
        pos += 2;
        if (n > 0) {
            for (int k = 0; k < n; ++k) put(value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (pos + 1 >= size) break;
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
        } else {
            for (int k = 0; k < value && pos < size; ++k) put(data[pos++]);
            if ((value & 1) && pos < size) ++pos;
        }
    }
}

}  // namespace

int LoadBMP(qzVfsFile* file, int infoOnly, int* outWidth, int* outHeight, uint32_t** outPixels) {
    uint8_t header[54] = {};
    if (VfsRead(file, header, 2) < 2) return ERR_READ;
    size_t got = VfsRead(file, header + 2, sizeof(header) - 2);
    if (header[0] != 'B' || header[1] != 'M') return ERR_LOADPICTURE2;
    const uint32_t fileSizeField = Le32(header + 2);
    const int64_t dataOffset = Le32(header + 10);
    const uint32_t headerSize = Le32(header + 14);
    const int32_t width = static_cast<int32_t>(Le32(header + 18));
    const int32_t height = static_cast<int32_t>(Le32(header + 22));
    const int bitsPerPixel = static_cast<int>(Le16(header + 28));
    const uint32_t compression = Le32(header + 30);
    const uint32_t coloursUsed = Le32(header + 46);
    // Core headers (12 and 16 bytes) lay their fields out differently.
    if (got < sizeof(header) - 2 || headerSize < 40) return ERR_LOADPICTURE2;
    if (infoOnly) {
        *outWidth = width;
        *outHeight = height;
        return 0;
    }
    if (width < 1 || height < 1) return ERR_LOADPICTURE2;
    bool supported;
    switch (bitsPerPixel) {
    case 1:
    case 4: supported = compression == BI_RGB; break;
    case 8: supported = compression == BI_RGB || compression == BI_RLE8; break;
    case 16:
    case 32: supported = compression == BI_RGB || compression == BI_BITFIELDS; break;
    case 24: supported = compression == BI_RGB; break;
    default: supported = false;
    }
    if (!supported) return ERR_LOADPICTURE2;

    const int64_t fileSize = VfsGetFileSize(file);
    const int64_t rowBits = static_cast<int64_t>(width) * bitsPerPixel;
    const int64_t rowStride = (rowBits + 31) / 32 * 4;
    const int64_t rowUsed = (rowBits + 7) / 8;
    const bool rle = compression == BI_RLE8;
    // Every stored row must be there (the last one may lack its padding): a header cannot make
    // the reader allocate for data that the file does not hold.
    if (!rle && fileSize >= 0 && dataOffset + rowStride * (height - 1) + rowUsed > fileSize) return ERR_LOADPICTURE2;
    int rc = CheckImageSize(width, height);
    if (rc) return rc;

    uint32_t palette[256] = {};
    if (bitsPerPixel <= 8) {
        uint32_t count = coloursUsed ? coloursUsed : 1u << bitsPerPixel;
        if (count > 256) count = 256;
        uint8_t entries[1024] = {};
        VfsSeek(file, 14 + static_cast<int64_t>(headerSize), QZ_VFS_SEEK_BEGINNING);
        VfsRead(file, entries, count * 4);
        for (uint32_t i = 0; i < count; ++i) {
            palette[i] = uint32_t{entries[i * 4 + 2]} << 16 | uint32_t{entries[i * 4 + 1]} << 8 | entries[i * 4];
        }
    }
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bitsPerPixel == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    }
    if (compression == BI_BITFIELDS) {
        uint8_t fields[12] = {};
        VfsSeek(file, 54, QZ_VFS_SEEK_BEGINNING);
        VfsRead(file, fields, sizeof(fields));
        for (int i = 0; i < 3; ++i) masks[i] = Le32(fields + i * 4);
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);

    uint32_t* pixels = AllocImagePixels(width, height, 0, &rc);
    if (!pixels) return rc;

    if (rle) {
        int64_t available = fileSize >= 0 ? fileSize - dataOffset : 0;
        int64_t declared = fileSizeField > dataOffset ? fileSizeField - dataOffset : available;
        int64_t size = declared < available ? declared : available;
        uint8_t* data = size > 0 ? static_cast<uint8_t*>(OsAlloc(static_cast<size_t>(size), 0)) : nullptr;
        uint8_t* indices = static_cast<uint8_t*>(OsAlloc(static_cast<size_t>(width) * height, 1));
        if ((size > 0 && !data) || !indices) {
            OsFree(data);
            OsFree(indices);
            OsFree(pixels);
            return ERR_MEM;
        }
        if (data) {
            VfsSeek(file, dataOffset, QZ_VFS_SEEK_BEGINNING);
            size = static_cast<int64_t>(VfsRead(file, data, static_cast<size_t>(size)));
            DecodeRle8(data, static_cast<size_t>(size), width, height, indices);
        }
        size_t count = static_cast<size_t>(width) * height;
        for (size_t i = 0; i < count; ++i) pixels[i] = palette[indices[i]];
        OsFree(data);
        OsFree(indices);
    } else {
        uint8_t* row = static_cast<uint8_t*>(OsAlloc(static_cast<size_t>(rowStride), 1));
        if (!row) {
            OsFree(pixels);
            return ERR_MEM;
        }
        VfsSeek(file, dataOffset, QZ_VFS_SEEK_BEGINNING);
        for (int y = height - 1; y >= 0 && !rc; --y) {
            if (VfsRead(file, row, static_cast<size_t>(rowStride)) < static_cast<size_t>(rowUsed)) {
                rc = ERR_LOADPICTURE2;
                break;
            }
            uint32_t* out = pixels + static_cast<size_t>(y) * width;
            switch (bitsPerPixel) {
            case 1:
                for (int x = 0; x < width; ++x) out[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
                break;
            case 4:
                for (int x = 0; x < width; ++x) out[x] = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
                break;
            case 8:
                for (int x = 0; x < width; ++x) out[x] = palette[row[x]];
                break;
            case 16:
                for (int x = 0; x < width; ++x) {
                    uint32_t w = Le16(row + x * 2);
                    out[x] = red.Extract(w) << 16 | green.Extract(w) << 8 | blue.Extract(w);
                }
                break;
            case 24:
                for (int x = 0; x < width; ++x) {
                    const uint8_t* p = row + x * 3;
                    out[x] = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
                }
                break;
            case 32:
                for (int x = 0; x < width; ++x) {
                    uint32_t w = Le32(row + x * 4);
                    out[x] = red.Extract(w) << 16 | green.Extract(w) << 8 | blue.Extract(w);
                }
                break;
            }
        }
        OsFree(row);
    }
    if (rc) {
        OsFree(pixels);
        return rc;
    }
    *outPixels = pixels;
    *outWidth = width;
    *outHeight = height;
    return 0;
}
