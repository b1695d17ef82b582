#include "image/native_image.h"

#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "image/image_out_file.h"
#include "platform/os_alloc.h"
#include "platform/sys_image.h"
#include "platform/vfs.h"

namespace {

// Moves the alpha bytes of the pixels into a new alpha channel and clears them in the pixels.
int SplitAlpha(uint32_t* pixels, int width, int height, qzBitMap** outAlpha) {
    qzBitMap* alpha = CreateAlphaBitMap(width, height, 0, nullptr, 0);
    if (!alpha) return ERR_ALLOCALPHA;
    qzLockInfo lock;
    if (!LockBitMapPixels(alpha, 0, &lock)) {
        DeleteAlphaBitMap(alpha);
        return ERR_ALLOCALPHA;
    }
    uint8_t* rows = static_cast<uint8_t*>(lock.pixels);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = rows + static_cast<size_t>(y) * lock.rowLength;
        uint32_t* in = pixels + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            out[x] = static_cast<uint8_t>(in[x] >> 24);
            in[x] &= 0x00FFFFFF;
        }
    }
    UnlockBitMapPixels(&lock);
    *outAlpha = alpha;
    return 0;
}

}  // namespace

int MacLoadImage(qzVfsFile* file, const char* name, const void* data, size_t dataSize, int infoOnly,
                 uint32_t** outPixels, int* outWidth, int* outHeight, int* outHasAlpha, qzBitMap** outAlpha,
                 int* outWord, int32_t* outTransparent) {
    if (outAlpha) *outAlpha = nullptr;
    qzSysImage image;
    int rc;
    if (file) {
        rc = SysDecodeImageFile(file, name, infoOnly, &image);
    } else if (data) {
        rc = SysDecodeImageMemory(data, dataSize, infoOnly, &image);
    } else {
        rc = ERR_LOADPICTURE2;
    }
    if (rc) return rc;
    if (!infoOnly && image.hasAlpha && outAlpha) {
        rc = SplitAlpha(image.pixels, image.width, image.height, outAlpha);
        if (rc) {
            OsFree(image.pixels);
            return rc;
        }
    }
    if (outPixels) {
        *outPixels = image.pixels;
    } else {
        OsFree(image.pixels);
    }
    if (outWidth) *outWidth = image.width;
    if (outHeight) *outHeight = image.height;
    if (outHasAlpha) *outHasAlpha = image.hasAlpha;
    if (outWord) *outWord = 0;
    if (outTransparent) *outTransparent = -1;
    return 0;
}

int MacDecodeImageFromMemory(const void* buffer, size_t length, uint32_t** outPixels, int* outWidth, int* outHeight,
                             int* outHasAlpha, qzBitMap** outAlpha, int* outWord, int32_t* outTransparent) {
    return MacLoadImage(nullptr, nullptr, buffer, length, 0, outPixels, outWidth, outHeight, outHasAlpha, outAlpha,
                        outWord, outTransparent);
}

void* MacReleaseNativeImage(void* image) { return image; }

int MacSaveImage(const char* path, const uint32_t* pixels, int width, int height, int bytesPerRow,
                 const char* typeIdentifier, int alpha, int quality, unsigned char** outData, size_t* outSize) {
    if (outData) *outData = nullptr;
    if (outSize) *outSize = 0;
    static const struct {
        const char* identifier;
        qzSysImageType type;
    } kTypes[] = {
        {"public.png", QZ_SYSIMAGE_PNG},
        {"public.jpeg", QZ_SYSIMAGE_JPEG},
        {"public.tiff", QZ_SYSIMAGE_TIFF},
        {"com.microsoft.bmp", QZ_SYSIMAGE_BMP},
    };
    int type = -1;
    for (const auto& t : kTypes) {
        if (typeIdentifier && CompareNoCase(typeIdentifier, t.identifier) == 0) type = t.type;
    }
    if (type < 0) return ERR_WRITEJPEG;
    unsigned char* data = nullptr;
    size_t size = 0;
    int rc = SysEncodeImage(pixels, width, height, bytesPerRow, static_cast<qzSysImageType>(type), alpha, quality,
                            &data, &size);
    if (rc) return rc;
    if (!path) {
        if (outData && outSize) {
            *outData = data;
            *outSize = size;
        } else {
            OsFree(data);
        }
        return 0;
    }
    qzImageOutFile out;
    rc = OpenImageOutFile(path, &out);
    if (!rc) {
        if (VfsWrite(out.file, data, size) != size) {
            rc = ERR_WRITE;
            AbortImageOutFile(&out);
        } else {
            rc = CommitImageOutFile(&out, path);
        }
    }
    OsFree(data);
    return rc;
}
