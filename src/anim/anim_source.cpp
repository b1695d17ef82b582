#include "anim/anim_source.h"

#include <cstring>
#include <memory>
#include <new>

#include "anim/iff_anim.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "image/avi_reader.h"
#include "image/gif_reader.h"
#include "platform/loader_list.h"
#include "platform/os_alloc.h"
#include "platform/plugin_anim.h"
#include "platform/plugin_api.h"
#include "platform/vfs.h"
#include "runtime/plugin_manager.h"

enum { QZ_ANIMSOURCE_IFF = 1, QZ_ANIMSOURCE_GIF = 2, QZ_ANIMSOURCE_AVI = 3, QZ_ANIMSOURCE_PLUGIN = 5 };

struct qzAnimSource {
    void* handle;  // the reader's or the plugin's own state
    uint32_t type;
    uint32_t flags;  // handed to plugins with each frame request
    const qzPluginInfo* plugin;
};

namespace {

constexpr int kOpenMode = QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU;

const char* ListOrNull(const char* list) { return list && *list ? list : nullptr; }

// Whether the anim-loader plugin may serve a load with this list: enabled, selected by the list,
// and named in it when it serves only when named.
bool PluginSelected(const qzPluginInfo* info, const char* list) {
    if (info->disabled || !info->moduleName || !IsLoaderSelected(list, info->moduleName, true)) return false;
    return !info->activatedByList || IsLoaderNamedExplicitly(list, info->moduleName);
}

// Offers the file to the anim-loader plugins the list allows, in list order; the first that
// opens it makes the source. 0 with *out set (null when none took the file) or ERR_MEM.
int OpenThroughPlugins(const char* file, const char* loaderList, const char* adapterList, int loadTransparency,
                       qzAnimSource** out, int32_t* width, int32_t* height, int32_t* frames, int* hasAlpha) {
    *out = nullptr;
    ActivateAdapters(loaderList, QZ_PLUGINCAPS_ANIM);
    for (const qzCapabilityNode* node = GetAdapterList(QZ_PLUGINCAPS_ANIM); node; node = node->next) {
        auto* info = static_cast<const qzPluginInfo*>(node->plugin);
        if (!info->OpenAnim || !info->LoadFrame || !info->CloseAnim || !PluginSelected(info, loaderList)) continue;
        qzAnimOpenRequest request;
        std::memset(&request, 0, sizeof request);
        request.adapter = adapterList ? adapterList : "";
        request.loadTransparency = loadTransparency ? 1 : 0;
        void* handle = info->OpenAnim(file, &request);
        if (!handle) continue;
        // A plugin that opens the file but reports no frames, or sizes that no frame can have,
        // has not taken it.
        if (request.width < 1 || request.height < 1 || request.frames < 1 || request.width > INT32_MAX ||
            request.height > INT32_MAX || request.frames > INT32_MAX) {
            info->CloseAnim(handle);
            continue;
        }
        qzAnimSource* source = new (std::nothrow) qzAnimSource{handle, QZ_ANIMSOURCE_PLUGIN, 0, info};
        if (!source) {
            info->CloseAnim(handle);
            return ERR_MEM;
        }
        *width = (int32_t)request.width;
        *height = (int32_t)request.height;
        *frames = (int32_t)request.frames;
        *hasAlpha = request.hasAlpha != 0;
        *out = source;
        return 0;
    }
    return 0;
}

// The built-in readers: the file recognised by its first bytes. 0 with *out set (null when no
// reader takes the file), or an error of the file layer.
int OpenThroughInbuilt(const char* file, const char* adapterList, int deinterlace, int loadTransparency,
                       qzAnimSource** out, int32_t* width, int32_t* height, int32_t* frames, int* hasAlpha) {
    *out = nullptr;
    qzVfsFileOwner owner(VfsOpen(file, kOpenMode, ListOrNull(adapterList)));
    if (!owner) {
        SetErrorArgString(file);
        return ERR_READFILE;
    }
    uint8_t head[12];
    if (VfsRead(owner.get(), head, sizeof head) != sizeof head) return ERR_READ;
    const bool gif = std::memcmp(head, "GIF87", 5) == 0 || std::memcmp(head, "GIF89", 5) == 0;
    const bool avi = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
    const bool iff = std::memcmp(head, "FORM", 4) == 0 && std::memcmp(head + 8, "ANIM", 4) == 0;
    if (!gif && !avi && !iff) return 0;
    if (VfsSeek(owner.get(), 0, QZ_VFS_SEEK_BEGINNING) < 0) return ERR_SEEKFILE;
    qzAnimSource* source = new (std::nothrow) qzAnimSource{};
    if (!source) return ERR_MEM;
    if (iff) {
        int w = 0, h = 0, n = 0;
        qzIffAnimReader* reader = OpenIffAnim(owner.release(), deinterlace, &w, &h, &n, loadTransparency);
        if (!reader) {
            delete source;
            return 0;
        }
        *source = qzAnimSource{reader, QZ_ANIMSOURCE_IFF, 0, nullptr};
        *width = w;
        *height = h;
        *frames = n;
        // Frames carry alpha only as the transparent pen of files masked by colour.
        *hasAlpha = 0;
        *out = source;
        return 0;
    }
    int w = 0, h = 0, n = 0;
    if (avi) {
        qzAviReader* reader = OpenAviAnim(owner.release(), &w, &h, &n);
        if (!reader) {
            delete source;
            return 0;
        }
        *source = qzAnimSource{reader, QZ_ANIMSOURCE_AVI, 0, nullptr};
        *width = w;
        *height = h;
        *frames = n;
        *out = source;
        return 0;
    }
    qzGifReader* reader = OpenGifAnim(owner.release(), &w, &h, &n, 0, 0, loadTransparency);
    if (!reader || n < 1 || w < 1 || h < 1) {
        CloseGifAnim(reader);
        delete source;
        return 0;
    }
    source->handle = reader;
    source->type = QZ_ANIMSOURCE_GIF;
    *width = w;
    *height = h;
    *frames = n;
    // Pixels no frame has drawn are transparent: every GIF frame carries alpha.
    *hasAlpha = 1;
    *out = source;
    return 0;
}

}  // namespace

int OpenAnimSource(const char* file, const char* loaderList, const char* adapterList, int deinterlace,
                   int loadTransparency, qzAnimSource** out, int32_t* width, int32_t* height, int32_t* frames,
                   int* hasAlpha, const qzPluginInfo** loader) {
    *out = nullptr;
    *width = *height = *frames = 0;
    *hasAlpha = 0;
    if (loader) *loader = nullptr;
    loaderList = ListOrNull(loaderList);
    qzAnimSource* source = nullptr;
    int error =
        OpenThroughPlugins(file, loaderList, adapterList, loadTransparency, &source, width, height, frames, hasAlpha);
    if (error) return error;
    if (!source && IsLoaderSelected(loaderList, "inbuilt", false)) {
        error = OpenThroughInbuilt(file, adapterList, deinterlace, loadTransparency, &source, width, height, frames,
                                   hasAlpha);
        if (error) return error;
    }
    // The platform has no native anim decoder: a file nobody took is no anim.
    if (!source) {
        *width = *height = *frames = 0;
        *hasAlpha = 0;
        SetErrorArgString(file);
        return ERR_OPENANIM2;
    }
    if (loader) *loader = source->plugin;
    *out = source;
    return 0;
}

const char* AnimSourceLoaderName(const qzAnimSource* source) {
    if (source && source->type == QZ_ANIMSOURCE_PLUGIN && source->plugin->moduleName) return source->plugin->moduleName;
    return "inbuilt";
}

uint32_t* LoadAnimSourceFrame(qzAnimSource* source, int32_t index, int loadAlpha, int* hasTransparentPen) {
    *hasTransparentPen = 0;
    if (!source) return nullptr;
    if (source->type == QZ_ANIMSOURCE_IFF)
        return LoadIffAnimFrame(static_cast<qzIffAnimReader*>(source->handle), index, hasTransparentPen);
    if (source->type == QZ_ANIMSOURCE_GIF)
        return LoadGifAnimFrame(static_cast<qzGifReader*>(source->handle), index, hasTransparentPen);
    if (source->type == QZ_ANIMSOURCE_AVI) return LoadAviAnimFrame(static_cast<qzAviReader*>(source->handle), index);
    if (source->type == QZ_ANIMSOURCE_PLUGIN) {
        qzAnimFrameRequest request;
        std::memset(&request, 0, sizeof request);
        request.loadAlpha = loadAlpha ? 1 : 0;
        request.flags = source->flags ? 1 : 0;
        if (!source->plugin->LoadFrame(source->handle, index, &request) || !request.pixels) return nullptr;
        *hasTransparentPen = request.hasTransparentPen ? 1 : 0;
        return request.pixels;
    }
    return nullptr;
}

void FreeAnimSourceFrame(qzAnimSource* source, uint32_t* pixels) {
    if (!pixels) return;
    if (source && source->type == QZ_ANIMSOURCE_PLUGIN) {
        if (source->plugin->FreeFrame) source->plugin->FreeFrame(source->handle, pixels);
        return;
    }
    OsFree(pixels);
}

// Decodes and converts frame index of the source: the mask from the key colour, the alpha
// channel from the pixels when asked or when the frame has a transparent pen.
int DecodeAnimSourceFrame(qzAnimSource* source, int32_t index, int32_t width, int32_t height, int32_t key,
                          int loadAlpha, int loadTransparency, const char* file, qzBitMap** bitmap, qzBitMap** mask,
                          qzBitMap** alpha) {
    int pen = 0;
    // A GIF frame is converted straight from the reader's canvas: no frame-sized copy to make.
    const bool gif = source && source->type == QZ_ANIMSOURCE_GIF;
    const uint32_t* pixels = gif ? ComposeGifAnimFrame(static_cast<qzGifReader*>(source->handle), index, &pen)
                                 : LoadAnimSourceFrame(source, index, loadAlpha, &pen);
    if (!pixels) return ERR_LOADFRAME;
    auto release = [source](const uint32_t* p) { FreeAnimSourceFrame(source, const_cast<uint32_t*>(p)); };
    std::unique_ptr<const uint32_t, decltype(release)> owner(gif ? nullptr : pixels, release);
    if (loadTransparency && !pen) {
        SetErrorArgString(file);
        return ERR_NOTRANSPARENCY;
    }
    int error = CreateBitMapFromARGB(pixels, key >= 0 ? (uint32_t)key : QZ_NO_KEY_COLOR, width, height, width, 0, 0,
                                     nullptr, bitmap, mask, nullptr);
    if (error) return error;
    if (loadAlpha || pen) {
        *alpha = CreateAlphaBitMapFromData(pixels, width, height, width);
        if (!*alpha) {
            DeleteBitMap(*bitmap);
            DeleteMaskBitMap(*mask);
            *bitmap = *mask = nullptr;
            return ERR_ALLOCALPHA;
        }
    }
    return 0;
}

uint32_t GetAnimSourceFrameDelay(const qzAnimSource* source, int32_t index) {
    if (!source) return 0;
    if (source->type == QZ_ANIMSOURCE_IFF)
        return GetIffAnimFrameDelay(static_cast<const qzIffAnimReader*>(source->handle), index);
    if (source->type == QZ_ANIMSOURCE_GIF)
        return GetGifAnimFrameDelay(static_cast<const qzGifReader*>(source->handle), index);
    if (source->type == QZ_ANIMSOURCE_PLUGIN && source->plugin->GetFrameDelay) {
        const int delay = source->plugin->GetFrameDelay(source->handle, index);
        return delay > 0 ? (uint32_t)delay : 0;
    }
    return 0;
}

// An IFF ANIM ends with two frames that repeat its first two; GIF and AVI files and the plugins' sources
// have no loop frames.
int AnimSourceHasLoopFrames(const qzAnimSource* source) { return source && source->type == QZ_ANIMSOURCE_IFF; }

void CloseAnimSource(qzAnimSource* source) {
    if (!source) return;
    if (source->type == QZ_ANIMSOURCE_IFF) CloseIffAnim(static_cast<qzIffAnimReader*>(source->handle));
    if (source->type == QZ_ANIMSOURCE_GIF) CloseGifAnim(static_cast<qzGifReader*>(source->handle));
    if (source->type == QZ_ANIMSOURCE_AVI) CloseAviAnim(static_cast<qzAviReader*>(source->handle));
    if (source->type == QZ_ANIMSOURCE_PLUGIN) source->plugin->CloseAnim(source->handle);
    delete source;
}

int IsAnimFile(const char* file, const char* loaderList, const char* adapterList) {
    qzAnimSource* source = nullptr;
    int32_t width = 0, height = 0, frames = 0;
    int alpha = 0;
    if (OpenAnimSource(file, loaderList, adapterList, QZ_DEINTERLACE_DEFAULT, 0, &source, &width, &height, &frames,
                       &alpha, nullptr))
        return 0;
    const bool picture = source->type == QZ_ANIMSOURCE_GIF && frames < 2;
    CloseAnimSource(source);
    return picture ? 0 : 1;
}
