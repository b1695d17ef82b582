#include "image/ilbm.h"

#include <cstring>

#include "base/error_codes.h"
#include "image/ilbm_body.h"
#include "image/image_out_file.h"
#include "image/image_pixels.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

constexpr uint32_t kBODY = IffId("BODY");

// CAMG mode bits.
constexpr uint32_t kCamgExtraHalfBrite = 0x80;
constexpr uint32_t kCamgHam = 0x800;

int64_t FilePosition(qzVfsFile* file) { return VfsSeek(file, 0, QZ_VFS_SEEK_CURRENT); }

// The first colour, from 0xA8A8A8 in steps of 15, that is none of the 256 palette entries.
uint32_t PickUnusedColour(const uint32_t* palette) {
    uint32_t colour = 0xA8A8A8;
    for (;;) {
        bool used = false;
        for (int i = 0; i < 256 && !used; ++i) used = palette[i] == colour;
        if (!used) return colour;
        colour += 15;
    }
}

// The least number of body bytes that can describe the picture: raw rows are stored whole, and a
// ByteRun1 control byte with its value covers at most 128 bytes. A body shorter than that cannot
// be the picture the header claims, so it is refused before anything is allocated for it.
int64_t MinimumBodyBytes(int64_t rowBytes, int height, int planes, int masking, int compression) {
    int64_t rowsPerLine = planes + (masking == 1 ? 1 : 0);
    if (compression == 0) return rowBytes * rowsPerLine * height;
    if (planes == 24) return (rowBytes * 24 + 127) / 128 * 2 * height;
    return (rowBytes + 127) / 128 * 2 * rowsPerLine * height;
}

}  // namespace

int FindILBMChunk(qzVfsFile* file, uint32_t id) {
    uint8_t block[4096];
    for (int pass = 0; pass < 2; ++pass) {
        if (VfsEof(file)) VfsSeek(file, 12, QZ_VFS_SEEK_BEGINNING);
        int64_t position = FilePosition(file);
        if (position < 0) return 0;
        uint32_t window = 0;
        int have = 0;
        bool stopped = false;
        while (!stopped) {
            size_t got = VfsRead(file, block, sizeof(block));
            if (got == 0) break;
            for (size_t i = 0; i < got; ++i) {
                window = window << 8 | block[i];
                if (have < 4) ++have;
                if (have < 4) continue;
                if (window == id) {
                    VfsSeek(file, position + static_cast<int64_t>(i) + 1, QZ_VFS_SEEK_BEGINNING);
                    return 1;
                }
                if (window == kBODY) {
                    VfsSeek(file, position + static_cast<int64_t>(i) + 1, QZ_VFS_SEEK_BEGINNING);
                    stopped = true;
                    break;
                }
            }
            position += static_cast<int64_t>(got);
        }
    }
    return 0;
}

int LoadILBM(qzVfsFile* file, int infoOnly, const uint32_t* palette, int32_t keyColour, int transparencyFlag,
             int alphaFlag, int32_t* outTransparent, int* outWidth, int* outHeight, uint32_t** outPixels,
             uint32_t** outPalette) {
    if (outPalette) *outPalette = nullptr;
    if (!FindILBMChunk(file, IffId("BMHD"))) return ERR_LOADPICTURE2;
    VfsSeek(file, 4, QZ_VFS_SEEK_CURRENT);
    int width = static_cast<int>(VfsReadUInt16BE(file));
    int height = static_cast<int>(VfsReadUInt16BE(file));
    if (infoOnly) {
        *outWidth = width;
        *outHeight = height;
        return 0;
    }
    VfsSeek(file, 4, QZ_VFS_SEEK_CURRENT);
    int planes = VfsGetC(file);
    int masking = VfsGetC(file);
    int compression = VfsGetC(file);
    VfsGetC(file);
    int transparentIndex = static_cast<int>(VfsReadUInt16BE(file));
    if (planes < 0 || masking < 0 || compression < 0) return ERR_LOADPICTURE2;
    // 1-8 planes and 24 planes are converted; any other count has no pixel conversion.
    if (planes < 1 || (planes > 8 && planes != 24)) return ERR_LOADPICTURE2;

    bool ham6 = false, ham8 = false, extraHalfBrite = false;
    if (planes <= 23 && FindILBMChunk(file, IffId("CAMG"))) {
        VfsSeek(file, 4, QZ_VFS_SEEK_CURRENT);
        uint32_t mode = static_cast<uint32_t>(VfsReadInt32BE(file));
        if (mode & kCamgHam) {
            ham8 = planes > 6;
            ham6 = !ham8;
        }
        extraHalfBrite = (mode & kCamgExtraHalfBrite) != 0;
    }

    if (!FindILBMChunk(file, kBODY)) return ERR_LOADPICTURE2;
    int64_t bodyLength = static_cast<uint32_t>(VfsReadInt32BE(file));
    const int64_t rowBytes = IlbmRowBytes(width);
    int64_t fileSize = VfsGetFileSize(file);
    if (fileSize >= 0 &&
        MinimumBodyBytes(rowBytes, height, planes, masking, compression) > fileSize - FilePosition(file))
        return ERR_LOADPICTURE2;

    int rc = 0;
    uint32_t* pixels = AllocImagePixels(width, height, 0, &rc);
    if (!pixels) return rc;
    uint8_t* planeBuffer = static_cast<uint8_t*>(OsAlloc(static_cast<size_t>(rowBytes * height * planes), 1));
    uint8_t* chunky = planes <= 8 ? static_cast<uint8_t*>(OsAlloc(static_cast<size_t>(width) * height, 1)) : nullptr;
    if (!planeBuffer || (planes <= 8 && !chunky)) {
        OsFree(pixels);
        OsFree(planeBuffer);
        OsFree(chunky);
        return ERR_MEM;
    }

    int ok;
    if (compression == 0) {
        ok = ReadILBMBodyRaw(file, planeBuffer, bodyLength, width, height, planes, masking);
    } else if (planes == 24) {
        ok = ReadILBMBody24ByteRun1(file, planeBuffer, width, height);
    } else {
        ok = ReadILBMBodyByteRun1(file, planeBuffer, bodyLength, width, height, planes, masking);
    }
    if (!ok) rc = ERR_LOADPICTURE2;

    uint32_t table[256] = {};
    int32_t transparent = -1;
    bool hasPalette = false;
    if (!rc && planes <= 8) {
        PlanarToChunky(planeBuffer, width, height, planes, rowBytes, chunky, width);
        if (!FindILBMChunk(file, IffId("CMAP"))) {
            rc = ERR_LOADPICTURE2;
        } else {
            int64_t count = static_cast<uint32_t>(VfsReadInt32BE(file)) / 3;
            // Entries past the 256 of the palette are not read; missing bytes count as 0.
            uint8_t rgb[768] = {};
            int entries = count > 256 ? 256 : static_cast<int>(count);
            VfsRead(file, rgb, static_cast<size_t>(entries) * 3);
            for (int i = 0; i < entries; ++i)
                table[i] = uint32_t{rgb[i * 3]} << 16 | uint32_t{rgb[i * 3 + 1]} << 8 | rgb[i * 3 + 2];
            if (extraHalfBrite && entries > 0) {
                // The upper half of the index range shows the lower half at half brightness.
                int half = 1 << (planes - 1);
                for (int i = 0; i < half && i + half < 256; ++i) table[i + half] = (table[i] >> 1) & 0x7F7F7F;
            }
            hasPalette = !ham6 && !ham8;
            if (ham6) {
                DecodeHAM6Rows(chunky, pixels, table, width, height);
            } else if (ham8) {
                DecodeHAM8Rows(chunky, pixels, table, width, height);
            } else if (palette) {
                int own = 0;
                while (own < 256 && palette[own] != 0xFFFFFFFF) ++own;
                for (int i = 0; i < own; ++i) table[i] = palette[i] & 0xFFFFFF;
            } else if (keyColour == -1 && !transparencyFlag && !alphaFlag) {
                // No transparency asked for.
            } else if (planes == 1 && !alphaFlag) {
                transparent = static_cast<int32_t>(table[0]);
                table[1] = static_cast<uint32_t>(keyColour) & 0xFFFFFF;
            } else if (masking != 2 && planes > 1) {
                // Only a transparent-colour mask marks transparent pixels.
            } else if (transparencyFlag || alphaFlag) {
                uint32_t colour = PickUnusedColour(table);
                // An index past the palette marks no pixel; the colour is still unique.
                if (transparentIndex < 256) table[transparentIndex] = colour;
                transparent = static_cast<int32_t>(colour);
            }
            if (!ham6 && !ham8) LookupPaletteRows(chunky, pixels, table, width, height);
        }
    } else if (!rc) {
        PlanarToChunky(planeBuffer, width, height, planes, rowBytes, pixels, static_cast<int64_t>(width) * 4);
    }
    OsFree(planeBuffer);
    OsFree(chunky);
    if (rc) {
        OsFree(pixels);
        return rc;
    }
    if (outPalette && hasPalette) {
        uint32_t* copy = static_cast<uint32_t*>(OsAlloc(sizeof(table), 0));
        if (copy) std::memcpy(copy, table, sizeof(table));
        *outPalette = copy;
    }
    *outPixels = pixels;
    *outWidth = width;
    *outHeight = height;
    if (outTransparent) *outTransparent = transparent;
    return 0;
}

int SaveILBM(const char* name, const uint32_t* pixels, int width, int height) {
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    qzImageOutFile out;
    int rc = OpenImageOutFile(name, &out);
    if (rc) return rc;
    if (width > 0xFFFF || height > 0xFFFF) {
        AbortImageOutFile(&out);
        return ERR_WRITEFILE;
    }
    qzVfsFile* file = out.file;
    static const uint8_t kHeaderStart[] = {'F', 'O', 'R', 'M', 0,   0,   0, 0, 'I', 'L',
                                           'B', 'M', 'B', 'M', 'H', 'D', 0, 0, 0,   20};
    uint8_t header[48];
    std::memcpy(header, kHeaderStart, sizeof(kHeaderStart));
    uint8_t* bmhd = header + 20;
    std::memset(bmhd, 0, 20);
    bmhd[0] = static_cast<uint8_t>(width >> 8);
    bmhd[1] = static_cast<uint8_t>(width);
    bmhd[2] = static_cast<uint8_t>(height >> 8);
    bmhd[3] = static_cast<uint8_t>(height);
    bmhd[8] = 24;  // planes
    bmhd[10] = 1;  // ByteRun1
    bmhd[14] = 1;  // aspect
    bmhd[15] = 1;
    bmhd[16] = bmhd[0];
    bmhd[17] = bmhd[1];
    bmhd[18] = bmhd[2];
    bmhd[19] = bmhd[3];
    std::memcpy(header + 40, "BODY\0\0\0\0", 8);

    const size_t rowBytes = static_cast<size_t>(IlbmRowBytes(width));
    uint8_t* planeRows = static_cast<uint8_t*>(OsAlloc(rowBytes * 24, 0));
    uint8_t* packed = static_cast<uint8_t*>(OsAlloc(ByteRun1WorstCase(rowBytes) * 24, 0));
    if (!planeRows || !packed) {
        OsFree(planeRows);
        OsFree(packed);
        AbortImageOutFile(&out);
        return ERR_MEM;
    }
    rc = VfsWrite(file, header, sizeof(header)) == sizeof(header) ? 0 : ERR_WRITE;
    int64_t bodyLength = 0;
    for (int y = 0; y < height && !rc; ++y) {
        // Spread the row's red, green and blue bits over the 24 plane rows: bit b of red goes to
        // plane b, of green to plane 8 + b, of blue to plane 16 + b.
        std::memset(planeRows, 0, rowBytes * 24);
        const uint32_t* row = pixels + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            uint32_t c = row[x];
            uint32_t bits = (c >> 16 & 0xFF) | (c >> 8 & 0xFF) << 8 | (c & 0xFF) << 16;
            uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            size_t column = static_cast<size_t>(x >> 3);
            for (int p = 0; bits; ++p, bits >>= 1) {
                if (bits & 1) planeRows[p * rowBytes + column] |= mask;
            }
        }
        size_t used = 0;
        for (int p = 0; p < 24; ++p) used += PackByteRun1Row(planeRows + p * rowBytes, rowBytes, packed + used);
        if (VfsWrite(file, packed, used) != used) rc = ERR_WRITE;
        bodyLength += static_cast<int64_t>(used);
    }
    OsFree(planeRows);
    OsFree(packed);
    if (!rc && (bodyLength & 1) && VfsPutC(file, 0) != 1) rc = ERR_WRITE;
    if (!rc) {
        // IFF lengths are 32-bit: a body beyond that cannot be described.
        int64_t formLength = bodyLength + (bodyLength & 1) + 40;
        if (formLength > 0xFFFFFFFFLL) {
            rc = ERR_WRITE;
        } else {
            VfsSeek(file, 44, QZ_VFS_SEEK_BEGINNING);
            if (!VfsWriteInt32BE(file, static_cast<int32_t>(static_cast<uint32_t>(bodyLength)))) rc = ERR_WRITE;
            VfsSeek(file, 4, QZ_VFS_SEEK_BEGINNING);
            if (!rc && !VfsWriteInt32BE(file, static_cast<int32_t>(static_cast<uint32_t>(formLength)))) rc = ERR_WRITE;
        }
    }
    if (rc) {
        AbortImageOutFile(&out);
        return rc;
    }
    return CommitImageOutFile(&out, name);
}
