#include "image/image_load.h"

#include <cstring>
#include <utility>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "image/bmp_reader.h"
#include "image/gif_reader.h"
#include "image/ilbm.h"
#include "image/jpeg_codec.h"
#include "image/native_image.h"
#include "image/png_codec.h"
#include "platform/loader_list.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

// Read with adapters allowed: the adapter list picks the file adapters that may serve the open.
constexpr int kOpenMode = QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU;

// Closes the file that a variable holds when the scope is left, a reader or the examining of a
// file that an adapter serves running out of memory included. A file closed before is set to null.
struct OpenFileCloser {
    qzVfsFile*& file;
    ~OpenFileCloser() {
        if (file) VfsClose(file);
    }
};

// What the readers found.
struct Loaded {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int alpha = 0;
    int32_t transparent = -1;
    uint32_t* palette = nullptr;
};

// The GIF reader on frame 0. The file is consumed: *file becomes null.
int LoadGif(qzVfsFile** file, int infoOnly, int transparencyMode, Loaded* loaded) {
    const bool alphaFlag = transparencyMode == QZ_IMAGE_TRANSPARENCY_ALPHA;
    qzGifReader* reader = OpenGifAnim(*file, &loaded->width, &loaded->height, nullptr, infoOnly, 0, alphaFlag);
    *file = nullptr;
    if (!reader) return infoOnly ? 0 : ERR_LOADPICTURE2;
    int rc = 0;
    int hasTransparency = 0;
    loaded->pixels = LoadGifAnimFrame(reader, 0, &hasTransparency);
    if (!loaded->pixels) {
        rc = ERR_LOADPICTURE2;
    } else if (hasTransparency) {
        loaded->transparent = -2;
        loaded->alpha = alphaFlag;
    }
    CloseGifAnim(reader);
    return rc;
}

int RunReader(int kind, qzVfsFile** file, int infoOnly, const uint32_t* palette, int32_t keyColour,
              int transparencyMode, bool wantPalette, Loaded* loaded) {
    int rc = ERR_LOADPICTURE2;
    switch (kind) {
    case QZ_IMAGE_ILBM:
        rc = LoadILBM(*file, infoOnly, palette, keyColour, transparencyMode == QZ_IMAGE_TRANSPARENCY_KEY,
                      transparencyMode == QZ_IMAGE_TRANSPARENCY_ALPHA, &loaded->transparent, &loaded->width,
                      &loaded->height, &loaded->pixels, wantPalette ? &loaded->palette : nullptr);
        break;
    case QZ_IMAGE_JPEG: rc = LoadJPEG(*file, 0, infoOnly, &loaded->width, &loaded->height, &loaded->pixels); break;
    case QZ_IMAGE_PNG:
        LoadPNG(*file, infoOnly, &loaded->width, &loaded->height, &loaded->pixels, &loaded->alpha, &rc);
        break;
    case QZ_IMAGE_BMP: rc = LoadBMP(*file, infoOnly, &loaded->width, &loaded->height, &loaded->pixels); break;
    case QZ_IMAGE_GIF: rc = LoadGif(file, infoOnly, transparencyMode, loaded); break;
    }
    return rc;
}

}  // namespace

int LoadImageInbuilt(const char* name, const char* loaderList, const char* adapterList, const uint32_t* palette,
                     int32_t keyColour, int transparencyMode, qzImageHandle** outHandle, uint32_t** outPalette,
                     int32_t* outTransparent, int* outWidth, int* outHeight, int* outAlpha, int* outNative) {
    const int infoOnly = outHandle == nullptr;
    if (outPalette) *outPalette = nullptr;
    const bool inbuilt = IsLoaderSelected(loaderList, "inbuilt", false);
    const bool native = IsLoaderSelected(loaderList, "native", false);
    qzVfsFile* file = nullptr;
    OpenFileCloser closer{file};
    auto fail = [&](int rc, bool nameArgument) {
        if (file) VfsClose(std::exchange(file, nullptr));
        if (nameArgument) SetErrorArgString(name);
        return rc;
    };

    // Information mode: the header parsers on the first bytes.
    if (infoOnly && inbuilt) {
        file = VfsOpen(name, kOpenMode, adapterList);
        if (!file) return fail(ERR_READFILE, true);
        uint8_t buffer[QZ_SNIFF_BUFFER_BYTES] = {};
        VfsRead(file, buffer, QZ_SNIFF_HEADER_BYTES);
        int width, height, alpha;
        if (ParseImageHeader(file, buffer, &width, &height, &alpha, outTransparent)) {
            VfsClose(std::exchange(file, nullptr));
            if (outWidth) *outWidth = width;
            if (outHeight) *outHeight = height;
            if (outAlpha) *outAlpha = alpha;
            return 0;
        }
    }

    Loaded loaded;
    int kind = QZ_IMAGE_NONE;
    int rc = ERR_LOADPICTURE2;
    if (inbuilt) {
        if (!file && !(file = VfsOpen(name, kOpenMode, adapterList))) return fail(ERR_READFILE, true);
        VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
        uint8_t first[64] = {};
        VfsRead(file, first, sizeof(first));
        kind = ClassifyImageKind(first);
        if (kind != QZ_IMAGE_NONE && outNative) *outNative = 0;
        VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
        rc = RunReader(kind, &file, infoOnly, palette, keyColour, transparencyMode, outPalette != nullptr, &loaded);
    }
    if (rc) {
        OsFree(loaded.pixels);
        OsFree(loaded.palette);
        loaded = Loaded();
        // A reader that ran out of memory (a picture too large for a bitmap) says so, unless the
        // system codecs read the picture after all; any other failure means "not read here".
        const bool readerOutOfMemory = rc == ERR_MEM;
        if (!native) return fail(readerOutOfMemory ? ERR_MEM : ERR_LOADPICTURE2, !readerOutOfMemory);
        if (file) {
            VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
        } else if (!(file = VfsOpen(name, kOpenMode, adapterList))) {
            return fail(ERR_READFILE, true);
        }
        rc = MacLoadImage(file, name, nullptr, 0, infoOnly, &loaded.pixels, &loaded.width, &loaded.height,
                          &loaded.alpha, nullptr, nullptr, &loaded.transparent);
        if (rc == ERR_LOADPICTURE2 && readerOutOfMemory) rc = ERR_MEM;
        if (rc) return fail(rc, rc == ERR_LOADPICTURE2);
        kind = QZ_IMAGE_NATIVE;
        if (outNative) *outNative = 1;
    }
    if (file) VfsClose(std::exchange(file, nullptr));
    if (infoOnly) {
        OsFree(loaded.pixels);
    } else {
        // The handle is made last: nothing before it needs releasing when memory runs out.
        qzImageHandle* handle = static_cast<qzImageHandle*>(OsAlloc(sizeof(qzImageHandle), 1));
        if (!handle) {
            OsFree(loaded.pixels);
            OsFree(loaded.palette);
            return ERR_MEM;
        }
        handle->kind = static_cast<uint32_t>(kind);
        if (kind == QZ_IMAGE_NATIVE) {
            handle->native = loaded.pixels;
        } else {
            handle->pixels = loaded.pixels;
        }
        *outHandle = handle;
        // Information mode leaves the transparency word to the header parsers.
        if (outTransparent) *outTransparent = loaded.transparent;
    }
    if (outPalette) {
        *outPalette = loaded.palette;
    } else {
        OsFree(loaded.palette);
    }
    if (outWidth) *outWidth = loaded.width;
    if (outHeight) *outHeight = loaded.height;
    if (outAlpha) *outAlpha = loaded.alpha;
    return 0;
}

uint32_t* GetImagePixels(qzImageHandle* handle) {
    if (!handle) return nullptr;
    if (handle->kind == QZ_IMAGE_NATIVE) return static_cast<uint32_t*>(MacReleaseNativeImage(handle->native));
    return handle->pixels;
}

void FreeImageHandle(qzImageHandle* handle) {
    if (!handle) return;
    OsFree(handle->kind == QZ_IMAGE_NATIVE ? handle->native : handle->pixels);
    OsFree(handle);
}
