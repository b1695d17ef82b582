#include "player/image_link.h"

#include "gfx/image_source.h"
#include "image/image_load.h"

namespace {

int LoadInbuiltImage(const char* name, const char* loaderList, const char* adapterList, const uint32_t* palette,
                     int32_t keyColour, int transparencyMode, void** outHandle, uint32_t** outPalette,
                     int32_t* outTransparent, int* outWidth, int* outHeight, int* outAlpha, int* outNative) {
    return LoadImageInbuilt(name, loaderList, adapterList, palette, keyColour, transparencyMode,
                            reinterpret_cast<qzImageHandle**>(outHandle), outPalette, outTransparent, outWidth,
                            outHeight, outAlpha, outNative);
}

const uint32_t* InbuiltImagePixels(void* handle) { return GetImagePixels(static_cast<qzImageHandle*>(handle)); }

void FreeInbuiltImage(void* handle) { FreeImageHandle(static_cast<qzImageHandle*>(handle)); }

}  // namespace

void InstallImageLoaders() { SetInbuiltImageLoader(LoadInbuiltImage, InbuiltImagePixels, FreeInbuiltImage); }

void RemoveImageLoaders() { SetInbuiltImageLoader(nullptr, nullptr, nullptr); }
