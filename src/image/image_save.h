// Saving images: one routine writes a 32-bit ARGB pixel buffer in any of the player's output
// formats (BMP here, PNG, JPEG and ILBM through their codecs, GIF through the GIF writer,
// every further format through image-saver plugins), and one feeds it from a bitmap. Every file is
// written beside its target and renamed over it only when complete.
#pragma once

#include <cstdint>

struct qzBitMap;

// Output formats; larger numbers are formats that image-saver plugins register.
enum {
    IMGFMT_BMP = 0,
    IMGFMT_PNG = 1,
    IMGFMT_JPEG = 2,
    IMGFMT_GIF = 3,
    IMGFMT_ILBM = 4,
};

// Writes width x height 0xAARRGGBB pixels (rows of width pixels). keyColour (0x00RRGGBB, or -1)
// becomes the transparent colour of palette formats; hasAlpha keeps the alpha bytes where the
// format can; quality (0..100) is JPEG's and the plugins'; colours (2..256) and dither are the
// palette formats'. Returns 0 or an error code: the format's writer's, ERR_MEM, ERR_SAVEIMAGE
// (a plugin refused) or ERR_UNKNOWNIMGOUT.
int SaveImageFile(int format, const uint32_t* pixels, int width, int height, const char* fileName, int32_t keyColour,
                  int hasAlpha, int quality, int colours, int dither);

// Reads the width x height top-left part of a bitmap as ARGB (a video bitmap through the display
// adapter's read-back; otherwise with the mask turning clear pixels into the key colour and the
// alpha channel giving each pixel its alpha) and saves it with SaveImageFile; hasAlpha is set when
// an alpha channel is given. ERR_MEM when the pixels cannot be read.
int SaveBitMapAsImage(int format, const qzBitMap* bitmap, int width, int height, const char* fileName,
                      const qzBitMap* mask, int32_t keyColour, const qzBitMap* alpha, int quality, int colours,
                      int dither, int isVideo);
