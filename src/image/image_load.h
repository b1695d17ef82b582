// The player's own image loader: it recognises an image file by its first bytes and hands it to
// the ILBM, JPEG, PNG, BMP or GIF reader, or falls back to the system image codecs. Its
// information mode gives only width, height and alpha, from the file header where it can.
#pragma once

#include <cstdint>

#include "image/image_sniff.h"

struct qzVfsFile;

// A loaded image, owned by the caller until FreeImageHandle.
struct qzImageHandle {
    uint32_t kind;     // QZ_IMAGE_ILBM .. QZ_IMAGE_NATIVE: the reader that made it
    uint32_t* pixels;  // kinds 1-5: width x height 0xAARRGGBB words, rows packed, top row first
    void* native;      // kind 6: the system codecs' image (MacLoadImage)
};

// Transparency modes.
enum {
    QZ_IMAGE_TRANSPARENCY_NONE = 0,
    QZ_IMAGE_TRANSPARENCY_KEY = 1,    // transparency by key colour requested
    QZ_IMAGE_TRANSPARENCY_ALPHA = 2,  // an alpha channel requested
};

// Loads (outHandle given) or examines (outHandle null: information mode) the image file name
// (":::chunk" names included).
// - loaderList: "|"-separated loaders that may serve ("inbuilt", "native", ...); null or empty
//   allows all. adapterList goes to the file layer to pick file adapters.
// - palette, keyColour, transparencyMode: for ILBM images (see LoadILBM); the GIF reader takes
//   mode 2 as its alpha flag.
// - outPalette: for palette-based ILBM images a new 256-entry palette (OsAlloc), else null.
// - outTransparent: loading: -1, an ILBM transparent colour, or -2 when the GIF reader turned
//   its transparent colour into alpha. Information mode: set to 1 when the header shows a
//   transparent colour, else untouched.
// - outAlpha: 1 when the pixels carry alpha. outNative: 0 when the first bytes named one of the
//   inbuilt formats, 1 when the system codecs made the image.
// The optional outputs may be null. Returns 0, ERR_MEM, ERR_READFILE (the file cannot be opened),
// ERR_LOADPICTURE2 (no allowed loader reads it; the name is the error argument) or the system
// codecs' error. A failed call leaves no handle and no open file behind.
int LoadImageInbuilt(const char* name, const char* loaderList, const char* adapterList, const uint32_t* palette,
                     int32_t keyColour, int transparencyMode, qzImageHandle** outHandle, uint32_t** outPalette,
                     int32_t* outTransparent, int* outWidth, int* outHeight, int* outAlpha, int* outNative);

// The handle's 32-bit pixels (for a native image, as MacReleaseNativeImage hands it out).
uint32_t* GetImagePixels(qzImageHandle* handle);
// Frees the pixels (or the native image) and the handle; null is ignored.
void FreeImageHandle(qzImageHandle* handle);
