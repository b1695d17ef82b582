// Image sources: opening images through image plugins or the built-in loader.
#include "gfx/image_source.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "gfx/scale_pixels.h"
#include "platform/chunk_name.h"
#include "platform/host_services.h"
#include "platform/loader_list.h"
#include "platform/os_alloc.h"
#include "platform/os_bitmap.h"
#include "runtime/plugin_manager.h"

namespace {

qzInbuiltImageLoadFn inbuiltLoad = nullptr;
qzInbuiltImagePixelsFn inbuiltPixels = nullptr;
qzInbuiltImageFreeFn inbuiltFree = nullptr;

// Pixel buffers of a source are capped like bitmaps.
uint32_t* AllocPixels(int width, int height, int clear) {
    if (width < 1 || height < 1 || static_cast<int64_t>(width) * height * 4 > QZ_MAX_BITMAP_BYTES) return nullptr;
    return static_cast<uint32_t*>(OsAlloc(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, clear));
}

qzImageSource* NewSource() {
    auto* source = static_cast<qzImageSource*>(OsAlloc(sizeof(qzImageSource), 1));
    if (source) {
        source->refCount = 1;
        source->transparentColour = -1;
    }
    return source;
}

// The size a request asks for: 0 keeps the image's, below 0 is that many percent of it.
int RequestedSize(int requested, int own) {
    if (requested == 0) return own;
    if (requested > 0) return requested;
    int64_t size = static_cast<int64_t>(own) * -static_cast<int64_t>(requested) / 100;
    if (size < 1) size = 1;
    if (size > 0x7FFFFFFF) size = 0x7FFFFFFF;
    return static_cast<int>(size);
}

// Scales the source's current pixels into a new buffer of its own.
int ScaleSource(qzImageSource* source, int width, int height, int smooth) {
    uint32_t* scaled = AllocPixels(width, height, 0);
    if (!scaled) return ERR_MEM;
    qzScaleTables tables = {};
    if (smooth && GrowScaleTables(&tables, width, height) != 0) {
        OsFree(scaled);
        return ERR_MEM;
    }
    qzScaleJob job = {};
    job.srcPixels = GetImageSourcePixels(source);
    job.dstPixels = scaled;
    job.srcWidth = source->width;
    job.srcHeight = source->height;
    job.dstWidth = width;
    job.dstHeight = height;
    job.srcRowLength = source->rowLength;
    job.dstRowLength = width;
    job.smooth = smooth;
    job.pixelFormat = PIXFMT_ARGB32;
    job.bytesPerPixel = 4;
    if (smooth) AttachScaleTables(&job, &tables);
    ScalePixels(&job);
    FreeScaleTables(&tables);
    OsFree(source->scaledPixels);
    source->scaledPixels = scaled;
    source->width = width;
    source->height = height;
    source->rowLength = width;
    return 0;
}

// The source takes a built-in loader's image and the functions that serve it.
void TakeLoaderImage(qzImageSource* source, void* handle, int width, int height, int rowLength,
                     qzInbuiltImagePixelsFn getPixels, qzInbuiltImageFreeFn freeHandle, qzLoaderTransformFn transform) {
    source->builtin = 1;
    source->loaderHandle = handle;
    source->getPixels = getPixels;
    source->freeHandle = freeHandle;
    source->transform = transform;
    source->pixels = const_cast<uint32_t*>(getPixels(handle));
    source->width = width;
    source->height = height;
    source->rowLength = rowLength;
}

// Takes the pixels a plugin hands out, checked: a row is at least as long as the image is wide.
bool TakePluginPixels(qzImageSource* source, const qzPluginPixels& pixels) {
    if (!pixels.pixels || pixels.width < 1 || pixels.height < 1) return false;
    int rowLength = pixels.rowLength > 0 ? pixels.rowLength : pixels.width;
    if (rowLength < pixels.width) return false;
    source->pixels = const_cast<uint32_t*>(pixels.pixels);
    source->width = pixels.width;
    source->height = pixels.height;
    source->rowLength = rowLength;
    OsFree(source->scaledPixels);
    source->scaledPixels = nullptr;
    return true;
}

// Whether the plugin may serve a load with this list.
bool PluginSelected(const qzPluginInfo* info, const char* list) {
    if (info->disabled || !info->moduleName || !IsLoaderSelected(list, info->moduleName, true)) return false;
    return !info->activatedByList || IsLoaderNamedExplicitly(list, info->moduleName);
}

// Old versions of the "svgimage" plugin read a chunk name as "offset:size*name/container"; the
// name as given is published in the open-name override for the call.
std::string PluginFileName(const qzPluginInfo* info, const char* file, bool* override) {
    *override = false;
    if (!info->moduleName || CompareNoCase(info->moduleName, "svgimage") != 0 || info->version != 1 ||
        info->revision >= 2 || !IsChunkName(file))
        return file;
    qzChunkNameParts parts;
    if (!ParseChunkName(file, &parts)) return file;
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, ":::chunk%lu:%lu*%s/%s", static_cast<unsigned long>(parts.offset),
                  static_cast<unsigned long>(parts.size), GetDisplayFileName(file).c_str(),
                  parts.containerPath.c_str());
    *override = true;
    return buffer;
}

bool OpenThroughPlugins(const qzImageSourceRequest* request, qzImageSource* source) {
    for (const qzCapabilityNode* node = GetAdapterList(QZ_PLUGINCAPS_IMAGE); node; node = node->next) {
        auto* info = static_cast<const qzPluginInfo*>(node->plugin);
        if (!info->LoadImage || !info->GetImage || !PluginSelected(info, request->loaderList)) continue;
        qzImageInfo record;
        std::memset(&record, 0, sizeof record);
        record.requestedWidth = request->width > 0 ? request->width : 0;
        record.requestedHeight = request->height > 0 ? request->height : 0;
        record.scaleFlags = request->smooth ? 1 : 0;
        record.callerFlags = request->loadAlpha ? 1 : 0;
        bool override = false;
        std::string name = PluginFileName(info, request->file, &override);
        qzCLibBase* clib = GetHostCLibTable();
        if (override) clib->openNameOverride = request->file;
        void* handle = info->LoadImage(name.c_str(), &record);
        if (override) clib->openNameOverride = nullptr;
        if (!handle) continue;
        qzPluginPixels pixels = {nullptr, 0, 0, 0};
        if (!info->GetImage(handle, &record, &pixels) || !TakePluginPixels(source, pixels)) {
            if (info->FreeImage) info->FreeImage(handle);
            continue;
        }
        source->loader = info;
        source->loaderHandle = handle;
        source->isVector = record.type == 1;
        source->hasAlpha = (record.flags & QZ_IMAGEINFOF_ALPHA) != 0;
        return true;
    }
    return false;
}

int OpenThroughInbuilt(const qzImageSourceRequest* request, qzImageSource* source) {
    if (!inbuiltLoad || !inbuiltPixels) {
        SetErrorArgString(request->file);
        return ERR_LOADPICTURE2;
    }
    int mode = request->transparencyMode;
    if (mode == 0) mode = request->loadAlpha ? 2 : request->loadTransparency ? 1 : 0;
    void* handle = nullptr;
    int32_t transparent = -1;
    int width = 0, height = 0, alpha = 0, native = 0;
    int code = inbuiltLoad(request->file, request->loaderList, request->adapterList, request->palette,
                           request->keyColour, mode, &handle, nullptr, &transparent, &width, &height, &alpha, &native);
    if (code) return code;
    TakeLoaderImage(source, handle, width, height, width, inbuiltPixels, inbuiltFree, nullptr);
    source->hasAlpha = alpha != 0;
    source->transparentColour = transparent;
    source->native = native;
    if (!source->pixels || width < 1 || height < 1) {
        SetErrorArgString(request->file);
        return ERR_LOADPICTURE2;
    }
    return 0;
}

}  // namespace

void SetInbuiltImageLoader(qzInbuiltImageLoadFn load, qzInbuiltImagePixelsFn pixels, qzInbuiltImageFreeFn free) {
    inbuiltLoad = load;
    inbuiltPixels = pixels;
    inbuiltFree = free;
}

void GetInbuiltImageLoader(qzInbuiltImageLoadFn* load, qzInbuiltImagePixelsFn* pixels, qzInbuiltImageFreeFn* free) {
    *load = inbuiltLoad;
    *pixels = inbuiltPixels;
    *free = inbuiltFree;
}

qzImageSource* AllocImageSource(int width, int height) {
    uint32_t* pixels = AllocPixels(width, height, 1);
    if (!pixels) return nullptr;
    qzImageSource* source = NewSource();
    if (!source) {
        OsFree(pixels);
        return nullptr;
    }
    source->pixels = pixels;
    source->ownsPixels = 1;
    source->width = width;
    source->height = height;
    source->rowLength = width;
    return source;
}

qzImageSource* AllocLoaderImageSource(void* handle, int width, int height, int rowLength,
                                      qzInbuiltImagePixelsFn getPixels, qzInbuiltImageFreeFn freeHandle,
                                      qzLoaderTransformFn transform) {
    if (!getPixels || width < 1 || height < 1 || rowLength < width) return nullptr;
    qzImageSource* source = NewSource();
    if (!source) return nullptr;
    TakeLoaderImage(source, handle, width, height, rowLength, getPixels, freeHandle, transform);
    return source;
}

void RetainImageSource(qzImageSource* source) {
    if (source) ++source->refCount;
}

void FreeImageSource(qzImageSource* source) {
    if (!source || --source->refCount > 0) return;
    if (source->loader) {
        if (source->loader->FreeImage) source->loader->FreeImage(source->loaderHandle);
    } else if (source->builtin && source->freeHandle) {
        source->freeHandle(source->loaderHandle);
    }
    if (source->ownsPixels) OsFree(source->pixels);
    OsFree(source->scaledPixels);
    OsFree(source);
}

const uint32_t* GetImageSourcePixels(const qzImageSource* source) {
    if (!source) return nullptr;
    return source->scaledPixels ? source->scaledPixels : source->pixels;
}

void GetImageSourceSize(const qzImageSource* source, int* width, int* height) {
    if (width) *width = source ? source->width : 0;
    if (height) *height = source ? source->height : 0;
}

int GetImageSourceFlag(const qzImageSource* source) { return source ? source->builtin : 0; }

int TransformPluginImage(qzImageSource* source, const double matrix[4], int width, int height) {
    if (!source || width < 1 || height < 1) return ERR_TFIMAGE;
    if (source->loader) {
        const qzPluginInfo* info = source->loader;
        if (!info->TransformImage || !info->GetImage ||
            !info->TransformImage(source->loaderHandle, matrix, width, height))
            return ERR_TFIMAGE;
        qzImageInfo record;
        std::memset(&record, 0, sizeof record);
        qzPluginPixels pixels = {nullptr, 0, 0, 0};
        if (!info->GetImage(source->loaderHandle, &record, &pixels) || !TakePluginPixels(source, pixels))
            return ERR_TFIMAGE;
        return 0;
    }
    if (source->builtin && source->transform) {
        const uint32_t* pixels = nullptr;
        int rowLength = 0;
        if (source->transform(source->loaderHandle, matrix, width, height, &pixels, &rowLength) != 0 ||
            !TakePluginPixels(source, {pixels, width, height, rowLength}))
            return ERR_TFIMAGE;
        return 0;
    }
    return ERR_TFIMAGE;
}

int OpenImageSource(VmState*, const qzImageSourceRequest* request, qzImageSourceResult* result) {
    std::memset(result, 0, sizeof *result);
    result->transparentColour = -1;
    if (!request || !request->file) return ERR_WRONGUSAGE;
    qzImageSource* source = NewSource();
    if (!source) return ERR_MEM;
    // Owned until it is handed over: the loaders and the scaling may run out of memory.
    std::unique_ptr<qzImageSource, void (*)(qzImageSource*)> owner(source, FreeImageSource);
    ActivateAdapters(request->loaderList, QZ_PLUGINCAPS_IMAGE);
    if (!OpenThroughPlugins(request, source)) {
        int code = OpenThroughInbuilt(request, source);
        if (code) return code;
    }

    int width = RequestedSize(request->width, source->width);
    int height = RequestedSize(request->height, source->height);
    if (width != source->width || height != source->height) {
        int code;
        if (source->isVector) {
            double matrix[4] = {static_cast<double>(width) / source->width, 0, 0,
                                static_cast<double>(height) / source->height};
            code = TransformPluginImage(source, matrix, width, height);
        } else {
            code = ScaleSource(source, width, height, request->smooth);
        }
        if (code) return code;
    }
    if (request->loadAlpha && !source->hasAlpha && !request->acceptMissingAlpha) {
        SetErrorArgString(GetDisplayFileName(request->file).c_str());
        return ERR_NOALPHA;
    }
    if (request->loadTransparency && source->transparentColour == -1) {
        SetErrorArgString(GetDisplayFileName(request->file).c_str());
        return ERR_NOTRANSPARENCY;
    }
    result->source = owner.release();
    result->hasAlpha = source->hasAlpha;
    result->transparentColour = source->transparentColour;
    result->width = source->width;
    result->height = source->height;
    result->rowLength = source->rowLength;
    result->isVector = source->isVector;
    result->loader = source->loader;
    result->native = source->native;
    return 0;
}

int ProbeImageFile(const char* file, const char* loaderList, const char* adapterList, uint32_t flags, int* isVector,
                   int* width, int* height, int* depth, int* hasAlpha) {
    if (!file) return 0;
    ActivateAdapters(loaderList, QZ_PLUGINCAPS_IMAGE);
    for (const qzCapabilityNode* node = GetAdapterList(QZ_PLUGINCAPS_IMAGE); node; node = node->next) {
        auto* info = static_cast<const qzPluginInfo*>(node->plugin);
        if (!info->IsImage || info->disabled || !info->moduleName ||
            !IsLoaderSelected(loaderList, info->moduleName, true))
            continue;
        qzImageInfo record;
        std::memset(&record, 0, sizeof record);
        record.callerFlags = flags;
        if (!info->IsImage(file, &record)) continue;
        if (width) *width = record.width;
        if (height) *height = record.height;
        if (depth) *depth = record.depth;
        if (isVector) *isVector = record.type == 1;
        if (hasAlpha) *hasAlpha = (record.flags & QZ_IMAGEINFOF_ALPHA) != 0;
        return 1;
    }
    if (!inbuiltLoad) return 0;
    int w = 0, h = 0, alpha = 0;
    int32_t transparent = -1;
    if (inbuiltLoad(file, loaderList, adapterList, nullptr, -1, 0, nullptr, nullptr, &transparent, &w, &h, &alpha,
                    nullptr) != 0)
        return 0;
    if (width) *width = w;
    if (height) *height = h;
    if (depth) *depth = alpha ? 32 : 24;
    if (isVector) *isVector = 0;
    if (hasAlpha) *hasAlpha = alpha;
    return 1;
}

int InbuiltIsImage(const char* file, int* width, int* height, int* alpha) {
    if (!file || !inbuiltLoad) return 0;
    int w = 0, h = 0, a = 0;
    int32_t transparent = -1;
    if (inbuiltLoad(file, nullptr, nullptr, nullptr, -1, 0, nullptr, nullptr, &transparent, &w, &h, &a, nullptr) != 0)
        return 0;
    if (width) *width = w;
    if (height) *height = h;
    if (alpha) *alpha = a;
    return 1;
}

uint32_t* InbuiltLoadImagePixels(const char* file, int pluginOrder, int* width, int* height, int* alpha) {
    if (!file || !inbuiltLoad || !inbuiltPixels) return nullptr;
    void* handle = nullptr;
    int32_t transparent = -1;
    int w = 0, h = 0, a = 0;
    if (inbuiltLoad(file, nullptr, nullptr, nullptr, -1, 2, &handle, nullptr, &transparent, &w, &h, &a, nullptr) != 0)
        return nullptr;
    const uint32_t* pixels = inbuiltPixels(handle);
    uint32_t* copy = pixels ? AllocPixels(w, h, 0) : nullptr;
    if (copy) {
        size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
        for (size_t i = 0; i < count; ++i) {
            uint32_t p = pixels[i];
            // Plugins read bytes red, green, blue, alpha: ARGB turns left by 8 bits, and an image
            // without alpha is opaque.
            copy[i] = !pluginOrder ? p : a ? (p << 8) | (p >> 24) : (p << 8) | 0xFF;
        }
    }
    if (inbuiltFree) inbuiltFree(handle);
    if (copy) {
        if (width) *width = w;
        if (height) *height = h;
        if (alpha) *alpha = a;
    }
    return copy;
}

void InbuiltFreeImageHandle(void* handle) {
    if (handle && inbuiltFree) inbuiltFree(handle);
}
