// Windows BMP files with an information header of 40 bytes or more (the V4 and V5 headers
// included): 1-, 4- and 8-bit palette images (8-bit also packed with RLE8), 16-bit images (5-5-5,
// or as their bit-field masks say), 24-bit and 32-bit images. All header values are little-endian.
#pragma once

#include <cstdint>

struct qzVfsFile;

// Reads the BMP of a file positioned at its start into width x height 0x00RRGGBB words (OsAlloc).
// Rows must be stored bottom-up (a positive height). In information mode only width and height
// are handed out, as stored. Returns 0, ERR_READ (fewer than 2 bytes), ERR_LOADPICTURE2 (no "BM",
// a header below 40 bytes, a size below 1, a depth or compression that is not read here, pixel
// rows missing from the file) or ERR_MEM.
int LoadBMP(qzVfsFile* file, int infoOnly, int* outWidth, int* outHeight, uint32_t** outPixels);
