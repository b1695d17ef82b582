// Pixel blocks of loaded images: width x height 32-bit words in one OsAlloc block, checked against
// the bitmap limit before anything is allocated, since the sizes come from file headers.
#pragma once

#include <cstdint>

#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "platform/os_bitmap.h"
#include "platform/os_large_alloc.h"

// 0 when width x height 32-bit pixels can be allocated; ERR_LOADPICTURE2 for a size below 1,
// ERR_MEM above the bitmap limit of 2^31-1 bytes.
inline int CheckImageSize(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return ERR_LOADPICTURE2;
    if (width > QZ_MAX_BITMAP_BYTES / 4 || width * height > QZ_MAX_BITMAP_BYTES / 4) return ERR_MEM;
    return 0;
}

// A block for width x height pixels (checked with CheckImageSize), cleared when clear is set.
// Null with *error set on failure.
inline uint32_t* AllocImagePixels(int64_t width, int64_t height, int clear, int* error) {
    int rc = CheckImageSize(width, height);
    uint32_t* pixels = nullptr;
    if (!rc) {
        pixels = static_cast<uint32_t*>(OsAllocLarge(static_cast<size_t>(width * height * 4), clear));
        if (!pixels) rc = ERR_MEM;
    }
    *error = rc;
    return pixels;
}
