// PNG decoding and encoding through libpng with the player's own read, write, flush, error and
// warning callbacks. Warnings are dropped; every library error ends the call with an error code.
#pragma once

#include <cstdint>

struct qzVfsFile;

// What SavePNG reads and writes.
struct qzPngSaveRequest {
    const char* name;        // in: file name
    const uint32_t* pixels;  // in: 0xAARRGGBB words
    int stride;              // in: bytes from one row to the next
    int width;               // in
    int height;              // in
    int alpha;               // in: non-zero writes RGBA (colour type 6), zero RGB (colour type 2)
    int error;               // out: 0, ERR_MEM, ERR_WRITEFILE or ERR_WRITE
};

// Decodes a PNG read from the file's position into width x height words: 0x00RRGGBB, or
// 0xAARRGGBB with *outAlpha = 1 when the image has an alpha channel or a tRNS chunk. Palette and
// grey images become RGB, 16-bit samples keep their high byte, interlaced images are put
// together. In information mode only the size and the alpha flag are read. *outError: 0,
// ERR_LOADPICTURE2 (any library error, a short read) or ERR_MEM.
void LoadPNG(qzVfsFile* file, int infoOnly, int* outWidth, int* outHeight, uint32_t** outPixels, int* outAlpha,
             int* outError);

// Writes the pixels as an 8-bit RGB or RGBA PNG without interlacing or ancillary chunks. The file
// replaces the target only when it was written completely: a failure (ERR_MEM for library errors,
// ERR_WRITE for a short write, ERR_WRITEFILE when it cannot be created) leaves no file behind
// and an existing one as it was.
void SavePNG(qzPngSaveRequest* request);
