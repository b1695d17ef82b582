// A bitmap lock held for one scope: locked on construction, unlocked when the scope ends.
#pragma once

#include "gfx/bitmap.h"

struct BitMapLock {
    qzLockInfo info{};
    bool ok = false;
    BitMapLock(const void* bitmap, int flags) { ok = bitmap && LockBitMapPixels(bitmap, flags, &info); }
    ~BitMapLock() {
        if (ok) UnlockBitMapPixels(&info);
    }
    BitMapLock(const BitMapLock&) = delete;
    BitMapLock& operator=(const BitMapLock&) = delete;
};

// The bitmaps a front-end makes for its result; deleted when the scope ends unless released.
struct MadeBitMaps {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    ~MadeBitMaps() {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    }
    // Hands the bitmaps to the out pointers that are given; those not wanted are deleted.
    void Release(qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha) {
        if (outBitmap) {
            *outBitmap = bitmap;
            bitmap = nullptr;
        }
        if (outMask) {
            *outMask = mask;
            mask = nullptr;
        }
        if (outAlpha) {
            *outAlpha = alpha;
            alpha = nullptr;
        }
    }
};
