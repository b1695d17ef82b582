#include "gfx/image_cache.h"

#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "gfx/channel_ops.h"
#include "platform/os_alloc.h"

static qzImageCacheEntry* gFirst;
static qzImageCacheEntry* gLast;
static qzImageObjectRefFn gRetain;
static qzImageObjectRefFn gRelease;

void SetImageCacheObjectRefs(qzImageObjectRefFn retain, qzImageObjectRefFn release) {
    gRetain = retain;
    gRelease = release;
}

void GetImageCacheObjectRefs(qzImageObjectRefFn* retain, qzImageObjectRefFn* release) {
    *retain = gRetain;
    *release = gRelease;
}

static qzBitMap* CopyOfAlpha(const qzBitMap* alpha) { return CopyAlphaBitMap(alpha, alpha->width, alpha->height); }

int AddImageToCache(const char* fileName, int width, int height, int depth, void* imageObject, const qzBitMap* alpha,
                    uint32_t flags) {
    size_t length = std::strlen(fileName);
    if (length >= sizeof(qzImageCacheEntry::fileName)) return 0;
    qzBitMap* copy = nullptr;
    if (alpha && !(copy = CopyOfAlpha(alpha))) return ERR_MEM;
    auto* entry = static_cast<qzImageCacheEntry*>(OsAlloc(sizeof(qzImageCacheEntry), 1));
    if (!entry) {
        DeleteAlphaBitMap(copy);
        return ERR_MEM;
    }
    std::memcpy(entry->fileName, fileName, length + 1);
    entry->width = width;
    entry->height = height;
    entry->depth = depth;
    entry->flags = flags;
    entry->imageObject = imageObject;
    entry->alpha = copy;
    if (imageObject && gRetain) gRetain(imageObject);
    if (gLast)
        gLast->next = entry;
    else
        gFirst = entry;
    gLast = entry;
    return 0;
}

int FindImageInCache(const char* fileName, int wantAlpha, int* outWidth, int* outHeight, int* outDepth,
                     void** outObject, qzBitMap** outAlpha, uint32_t* outFlags) {
    qzImageCacheEntry* entry = gFirst;
    while (entry && CompareNoCase(entry->fileName, fileName) != 0) entry = entry->next;
    if (!entry || (wantAlpha && !entry->alpha)) return ERR_CACHEERROR;
    qzBitMap* copy = nullptr;
    if (wantAlpha && !(copy = CopyOfAlpha(entry->alpha))) return ERR_MEM;
    if (outWidth) *outWidth = entry->width;
    if (outHeight) *outHeight = entry->height;
    if (outDepth) *outDepth = entry->depth;
    if (outFlags) *outFlags = entry->flags;
    if (outAlpha)
        *outAlpha = copy;
    else
        DeleteAlphaBitMap(copy);
    if (outObject) {
        if (entry->imageObject && gRetain) gRetain(entry->imageObject);
        *outObject = entry->imageObject;
    }
    return 0;
}

void FreeImageCache() {
    qzImageCacheEntry* entry = gFirst;
    while (entry) {
        qzImageCacheEntry* next = entry->next;
        if (entry->imageObject && gRelease) gRelease(entry->imageObject);
        DeleteAlphaBitMap(entry->alpha);
        OsFree(entry);
        entry = next;
    }
    gFirst = gLast = nullptr;
}
