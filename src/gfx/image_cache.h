// The cache of loaded images: brush and background-picture loading keep the loader's image object
// (and a copy of its alpha channel) under the file name, and later loads of the same name
// (compared case-insensitively) take it from here. Main thread only.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"

struct qzImageCacheEntry {
    qzImageCacheEntry* next;
    char fileName[1024];
    int width, height, depth;
    uint32_t flags;     // stored and returned as given
    void* imageObject;  // the cache holds one reference
    qzBitMap* alpha;    // a copy, or null
};

// Appends an entry holding the name, sizes, depth, flags, the image object (its reference count
// raised) and a copy of the alpha channel when one is given. Returns 0 or ERR_MEM. A name that does
// not fit the entry (1024 bytes with its terminator) is not cached, so that it can never be
// mistaken for another; the call still returns 0.
int AddImageToCache(const char* fileName, int width, int height, int depth, void* imageObject, const qzBitMap* alpha,
                    uint32_t flags);
// Finds the first entry of that name: ERR_CACHEERROR when none, or when wantAlpha is set and the
// entry has no alpha channel. With wantAlpha a new copy of the alpha channel goes to *outAlpha
// (ERR_MEM when it cannot be made). The image object handed out through *outObject has its
// reference count raised for the caller.
int FindImageInCache(const char* fileName, int wantAlpha, int* outWidth, int* outHeight, int* outDepth,
                     void** outObject, qzBitMap** outAlpha, uint32_t* outFlags);
// Releases every entry's image object and alpha copy and empties the cache.
void FreeImageCache();

// How the cache takes and releases a reference on an image object; both null (no counting) until
// the image-source code installs them.
typedef void (*qzImageObjectRefFn)(void* object);
void SetImageCacheObjectRefs(qzImageObjectRefFn retain, qzImageObjectRefFn release);
void GetImageCacheObjectRefs(qzImageObjectRefFn* retain, qzImageObjectRefFn* release);
