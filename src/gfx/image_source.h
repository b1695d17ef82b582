// Image sources: the reference-counted 32-bit ARGB pixels of a loaded image, shared by the
// objects built from it. Images are opened through image plugins (the adapter list of
// QZ_PLUGINCAPS_IMAGE, chosen by loader lists) or the player's own image loader, which the image
// code installs. Main thread only.
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"

struct VmState;

// The player's own image loader (installed by the image code; null until then). The arguments
// follow the loader: name, loader list, adapter list, palette (256 colours or null), key colour
// (-1 none), transparency mode (0 none, 1 key colour, 2 alpha channel), out handle (null: only
// the size and alpha are asked for), out palette (a new 256-entry block, or null), out transparent
// colour (-1 none, -2 turned into alpha), out width, out height, out alpha, out native. 0 or an
// error code.
typedef int (*qzInbuiltImageLoadFn)(const char* name, const char* loaderList, const char* adapterList,
                                    const uint32_t* palette, int32_t keyColour, int transparencyMode, void** outHandle,
                                    uint32_t** outPalette, int32_t* outTransparent, int* outWidth, int* outHeight,
                                    int* outAlpha, int* outNative);
typedef const uint32_t* (*qzInbuiltImagePixelsFn)(void* handle);
typedef void (*qzInbuiltImageFreeFn)(void* handle);
void SetInbuiltImageLoader(qzInbuiltImageLoadFn load, qzInbuiltImagePixelsFn pixels, qzInbuiltImageFreeFn free);
void GetInbuiltImageLoader(qzInbuiltImageLoadFn* load, qzInbuiltImagePixelsFn* pixels, qzInbuiltImageFreeFn* free);

// A transform of a built-in vector image: matrix (2x2, row major), target size; 0 with the new
// pixels (rowLength pixels a row, owned by the handle), or an error code.
typedef int (*qzLoaderTransformFn)(void* handle, const double matrix[4], int width, int height, const uint32_t** pixels,
                                   int* rowLength);

struct qzImageSource {
    const qzPluginInfo* loader;  // the image plugin, or null
    void* loaderHandle;          // the plugin's or the built-in loader's image
    uint32_t* pixels;            // 32-bit ARGB, rowLength pixels a row
    uint32_t* scaledPixels;      // used when present: the pixels at the requested size
    int refCount;
    int ownsPixels;  // pixels (and scaledPixels) are the source's own
    int builtin;     // loaderHandle belongs to the functions below
    qzInbuiltImageFreeFn freeHandle;
    qzLoaderTransformFn transform;
    qzInbuiltImagePixelsFn getPixels;
    int width, height;  // of the pixels handed out
    int rowLength;
    int isVector;
    int hasAlpha;
    int32_t transparentColour;  // -1 none, -2 turned into alpha, else the key colour
    int native;                 // 1 when the system codecs decoded the image for the built-in loader
};

// A source with its own cleared width x height buffer; null when out of memory or too large.
qzImageSource* AllocImageSource(int width, int height);
// A source over a built-in loader's image: its pixels come from getPixels, freeHandle frees it
// and transform (optional) renders it again. Null when out of memory.
qzImageSource* AllocLoaderImageSource(void* handle, int width, int height, int rowLength,
                                      qzInbuiltImagePixelsFn getPixels, qzInbuiltImageFreeFn freeHandle,
                                      qzLoaderTransformFn transform);
void RetainImageSource(qzImageSource* source);
// Drops one reference; the last frees the loader's image, the pixels and the record.
void FreeImageSource(qzImageSource* source);
const uint32_t* GetImageSourcePixels(const qzImageSource* source);
void GetImageSourceSize(const qzImageSource* source, int* width, int* height);
int GetImageSourceFlag(const qzImageSource* source);  // 1 for a built-in loader's image

// What OpenImageSource is asked for.
struct qzImageSourceRequest {
    const char* file = nullptr;
    const char* loaderList = nullptr;   // "|"-separated loader names; null or "default": all
    const char* adapterList = nullptr;  // file adapters allowed to read the file
    const uint32_t* palette = nullptr;  // for palette-based images, or null
    int32_t keyColour = -1;             // the built-in loader's key colour, -1 none
    int transparencyMode = 0;           // the built-in loader's transparency mode (1 key colour,
                                        // 2 alpha channel); 0: from loadAlpha and loadTransparency
    int loadAlpha = 0;                  // an alpha channel is required
    int loadTransparency = 0;           // a transparent pen is required
    int acceptMissingAlpha = 0;         // no error when loadAlpha finds none
    int width = 0;                      // 0: the image's size; below 0: that many percent of it
    int height = 0;
    int smooth = 0;  // smooth scaling of raster images
};

struct qzImageSourceResult {
    qzImageSource* source;  // one reference for the caller
    int hasAlpha;
    int32_t transparentColour;
    int width, height, rowLength;
    int isVector;
    const qzPluginInfo* loader;  // the image plugin that read it, or null
    int native;                  // without a plugin: 1 when the system codecs decoded it
};

// Opens an image: the loader list's image adapters are activated, then every image plugin that
// is enabled, selected by the list and (if a list activated it) named explicitly in this list
// tries it; the built-in loader comes last. 0, ERR_MEM, ERR_NOALPHA or ERR_NOTRANSPARENCY (the
// file's display name as argument), ERR_TFIMAGE, or the loader's error.
int OpenImageSource(VmState* state, const qzImageSourceRequest* request, qzImageSourceResult* result);
// Asks the image plugins, then the built-in loader, whether the file is an image: 1 with its size
// (depth, vector flag, alpha flag), else 0.
int ProbeImageFile(const char* file, const char* loaderList, const char* adapterList, uint32_t flags, int* isVector,
                   int* width, int* height, int* depth, int* hasAlpha);
// Renders a vector image again through its loader under the 2x2 matrix at width x height; the
// source then hands out the new pixels. 0 or ERR_TFIMAGE.
int TransformPluginImage(qzImageSource* source, const double matrix[4], int width, int height);

// The built-in loader for the plugin host services: 1 and the size and alpha when the file is an
// image; pixels that the caller frees with OsFree (rotated into the plugin's byte order when
// pluginOrder: with alpha RGBA, without RGB and 255), or null.
int InbuiltIsImage(const char* file, int* width, int* height, int* alpha);
uint32_t* InbuiltLoadImagePixels(const char* file, int pluginOrder, int* width, int* height, int* alpha);
// Frees an image handle of the built-in loader.
void InbuiltFreeImageHandle(void* handle);
