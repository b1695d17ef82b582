// IFF ILBM pictures: the reader (1 to 8 bitplanes with a palette, extra-half-brite, HAM6, HAM8 and
// 24-bit deep images, masking by plane or by transparent colour) and the writer (24 planes,
// ByteRun1, no palette). All integers in the file are big-endian.
#pragma once

#include <cstdint>

struct qzVfsFile;

// A 32-bit chunk id from its four characters.
constexpr uint32_t IffId(const char (&id)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(id[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[2])) << 8 | static_cast<uint8_t>(id[3]);
}

// Finds a chunk id with a 4-byte window that moves one byte at a time from the file's position
// (from offset 12 when the file is at its end). A pass ends at the end of the file or at "BODY"
// (unless BODY is the id looked for); a failed first pass is followed by a second one, from offset
// 12 when the first ended at the end of the file, else from where it stopped. Returns 1 with the
// file standing on the chunk's length word, or 0.
int FindILBMChunk(qzVfsFile* file, uint32_t id);

// Reads the ILBM picture of a file positioned at its start.
// - palette: null, or a caller palette of up to 256 0x00RRGGBB entries (fewer end with -1) that
//   replaces the file's palette for palette-based images; the file's entries fill the rest. The
//   caller's table is only read.
// - keyColour: a colour or -1; transparencyFlag / alphaFlag: the caller asks for transparency by
//   key colour / for an alpha channel.
// - outTransparent: -1, or the colour standing for transparent pixels.
// - outPixels: width x height 0x00RRGGBB words (OsAlloc). outPalette (may be null): for
//   palette-based images a new 256-entry copy of the palette (OsAlloc), else null.
// In information mode only width and height are read. Returns 0, ERR_LOADPICTURE2 (no BMHD, no
// BODY, a short body, no CMAP for a palette image, a plane count other than 1-8 or 24, an empty
// size) or ERR_MEM.
int LoadILBM(qzVfsFile* file, int infoOnly, const uint32_t* palette, int32_t keyColour, int transparencyFlag,
             int alphaFlag, int32_t* outTransparent, int* outWidth, int* outHeight, uint32_t** outPixels,
             uint32_t** outPalette);

// Writes width x height 0xAARRGGBB pixels (width per row; alpha is not written) as a 24-plane
// ByteRun1 ILBM. Returns 0, ERR_BADDIMENSIONS (a size below 1), ERR_WRITEFILE with the name as
// error argument (the file cannot be created, or a size above 65535, which the header cannot
// hold), ERR_MEM or ERR_WRITE (a short write). On failure no file is left behind and an existing
// file is kept.
int SaveILBM(const char* name, const uint32_t* pixels, int width, int height);
