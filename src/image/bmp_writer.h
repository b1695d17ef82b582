// The BMP writer: 24-bit uncompressed Windows bitmaps without a palette, rows stored bottom-up,
// each pixel as the bytes blue, green, red, rows padded with zero bytes to a multiple of 4.
#pragma once

#include <cstdint>

// Bytes of one stored row: 3 x width rounded up to a multiple of 4.
inline int64_t BmpRowBytes(int64_t width) { return 4 * (width - width / 4); }

// Writes width x height 0xAARRGGBB pixels (rows of width pixels; alpha is dropped). The file is
// written beside the target and renamed over it when complete. Returns 0, ERR_BADDIMENSIONS (a
// size below 1, or a file the header's 32-bit size cannot describe), ERR_WRITEFILE with the name
// as error argument (it cannot be created), ERR_MEM, ERR_WRITE (a short write) or ERR_CLOSEFILE;
// on failure no file is left behind and an existing one is kept.
int SaveBMP(const char* name, const uint32_t* pixels, int width, int height);
