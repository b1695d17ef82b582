// The system image codecs, backed by FFmpeg: any still image that one of FFmpeg's image demuxers
// and decoders reads (PNG, JPEG, TIFF, WebP, TGA, the PNM family, GIF, BMP, ...) is decoded into
// the engine's 32-bit 0xAARRGGBB words, and pixels are encoded as PNG, JPEG, TIFF or BMP data.
// Files are read through the virtual-file layer, so chunk names and file adapters work here too.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzVfsFile;

// A decoded image.
struct qzSysImage {
    int32_t width;
    int32_t height;
    // 1 when the decoded pixel format carries straight alpha; for palette images when a palette
    // entry is not opaque, for GIF when a pixel is not (information mode: no alpha for GIF). The
    // pixels then hold it in their top byte, else the top byte is 0.
    int32_t hasAlpha;
    uint32_t* pixels;  // OsAlloc block of width * height words, rows packed; null in information mode
};

// Decodes the first image of an open file, read from its start. nameHint is the file's name; its
// extension lets formats without a signature (TGA) be recognised, and may be null. In information
// mode only the size and the alpha flag are filled: the headers are parsed with frame decoding
// skipped wherever the decoder allows it. Returns 0, ERR_LOADPICTURE2 (no image demuxer or decoder
// reads the data, or the image is broken) or ERR_MEM (including images above the bitmap limit).
// Nothing is kept on failure.
int SysDecodeImageFile(qzVfsFile* file, const char* nameHint, int infoOnly, qzSysImage* out);
// The same for an image file held in memory; the data is read in place, not copied.
int SysDecodeImageMemory(const void* data, size_t size, int infoOnly, qzSysImage* out);

// Encoder types, chosen by the caller from a type identifier.
enum qzSysImageType {
    QZ_SYSIMAGE_PNG = 0,
    QZ_SYSIMAGE_JPEG = 1,
    QZ_SYSIMAGE_TIFF = 2,
    QZ_SYSIMAGE_BMP = 3,
};

// Encodes width x height native 0xAARRGGBB words (bytesPerRow apart) as one image of the type.
// With alpha the image keeps the top bytes as straight alpha (PNG, TIFF, BMP; JPEG has none),
// without it they are ignored. quality 0..100 (JPEG only; values outside are clamped). The
// encoded bytes go to a new OsAlloc block. Returns 0, ERR_MEM, or the encoder error: ERR_SAVEPNG
// for PNG and ERR_WRITEJPEG for the other types.
int SysEncodeImage(const uint32_t* pixels, int width, int height, int bytesPerRow, qzSysImageType type, int alpha,
                   int quality, unsigned char** outData, size_t* outSize);
