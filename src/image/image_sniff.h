// Recognising image files by their first bytes, and the header parsers of the information mode,
// which find width, height and alpha without decoding the picture.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzVfsFile;

// Image kinds: the reader that makes an image.
enum {
    QZ_IMAGE_NONE = 0,
    QZ_IMAGE_ILBM = 1,
    QZ_IMAGE_JPEG = 2,
    QZ_IMAGE_PNG = 3,
    QZ_IMAGE_BMP = 4,
    QZ_IMAGE_GIF = 5,
    QZ_IMAGE_NATIVE = 6,
};

// Bytes the header parsers look at, and the zeroed slack behind them: fields are read up to 17
// bytes past a chunk id found near the end of the window.
constexpr size_t QZ_SNIFF_HEADER_BYTES = 1024;
constexpr size_t QZ_SNIFF_BUFFER_BYTES = QZ_SNIFF_HEADER_BYTES + 32;

// The 4 bytes after the first occurrence of the big-endian id at any byte offset from 0 to
// length - 9, or null (at once when length - 8 < 1). In an IFF file this is the chunk's length
// word; in a PNG file, whose lengths come first, the chunk's data.
const uint8_t* FindIFFChunk(const uint8_t* buffer, size_t length, uint32_t id);

// The kind named by the first 64 bytes (zero-filled when the file is shorter): "FORM"+"ILBM",
// FF D8 FF (JPEG, whatever segment comes first), 0x89 "PNG", "BM", "GIF87a"/"GIF89a"; else
// QZ_IMAGE_NONE.
int ClassifyImageKind(const uint8_t* first64);

// The header parsers on the first QZ_SNIFF_HEADER_BYTES of a file (in a zeroed buffer of
// QZ_SNIFF_BUFFER_BYTES), tried in order: ILBM, JPEG, PNG, BMP, TIFF, GIF; JPEG, PNG and TIFF also
// read on in the file. Returns 1 when one succeeded, with width, height and alpha filled and
// *outTransparent set to 1 when the header shows a transparent colour (ILBM masking 2, a GIF
// graphic control extension with its transparency bit); 0 otherwise. The file's position is
// undefined afterwards.
int ParseImageHeader(qzVfsFile* file, const uint8_t* buffer, int* outWidth, int* outHeight, int* outAlpha,
                     int32_t* outTransparent);
