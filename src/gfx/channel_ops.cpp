#include "gfx/channel_ops.h"

#include <algorithm>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/alpha_extract.h"
#include "gfx/blit.h"
#include "gfx/kernels_alpha.h"
#include "gfx/kernels_copy.h"
#include "gfx/kernels_fill.h"
#include "gfx/mask_bits.h"
#include "platform/os_alloc.h"

namespace {

// Both bitmaps of a two-channel operation locked, or neither.
struct LockedPair {
    qzLockInfo src{}, dst{};
    bool ok = false;
    LockedPair(const qzBitMap* source, qzBitMap* destination) {
        if (!LockBitMapPixels(source, LOCKF_READONLY, &src)) return;
        if (!LockBitMapPixels(destination, 0, &dst)) {
            UnlockBitMapPixels(&src);
            return;
        }
        ok = true;
    }
    ~LockedPair() {
        if (ok) {
            UnlockBitMapPixels(&dst);
            UnlockBitMapPixels(&src);
        }
    }
};

uint8_t* Bytes(const qzLockInfo& lock) { return static_cast<uint8_t*>(lock.pixels); }

}  // namespace

qzBitMap* CreateAlphaBitMapFromData(const uint32_t* argb, int width, int height, int sourceRowLength) {
    qzBitMap* alpha = CreateAlphaBitMap(width, height, 0, nullptr, 0);
    qzLockInfo lock;
    if (!alpha || !LockBitMapPixels(alpha, 0, &lock)) {
        DeleteAlphaBitMap(alpha);
        return nullptr;
    }
    ExtractAlphaBytes(argb, width, height, sourceRowLength, Bytes(lock), lock.rowLength);
    UnlockBitMapPixels(&lock);
    return alpha;
}

qzBitMap* CopyAlphaBitMap(const qzBitMap* alpha, int width, int height) {
    qzBitMap* copy = CreateAlphaBitMap(width, height, 1, nullptr, 0);
    if (!copy) return nullptr;
    LockedPair locks(alpha, copy);
    if (!locks.ok) {
        DeleteAlphaBitMap(copy);
        return nullptr;
    }
    int rows = std::min(locks.src.height, locks.dst.height);
    size_t bytes = (size_t)std::min(locks.src.rowLength, locks.dst.rowLength);
    for (int j = 0; j < rows; j++)
        std::memcpy(RowAt(Bytes(locks.dst), j, locks.dst.rowLength), RowAt(Bytes(locks.src), j, locks.src.rowLength),
                    bytes);
    return copy;
}

int FillAlphaRect(qzBitMap* alpha, int x, int y, int width, int height, int value) {
    qzLockInfo lock;
    if (!LockBitMapPixels(alpha, 0, &lock)) return ERR_LOCKBMAP;
    int sx = x, sy = y;
    if (ClipToBoth(sx, sy, x, y, width, height, lock.width, lock.height, lock.width, lock.height))
        FillByteRect(Bytes(lock), x, y, width, height, lock.rowLength, value);
    UnlockBitMapPixels(&lock);
    return 0;
}

int ScaleAlphaChannel(const qzBitMap* source, qzBitMap* destination, int rows, int level) {
    LockedPair locks(source, destination);
    if (!locks.ok) return ERR_LOCKBMAP;
    rows = std::min({rows, locks.src.height, locks.dst.height});
    if (locks.src.rowLength == locks.dst.rowLength) {
        ScaleAlphaBytesByLevel(Bytes(locks.src), Bytes(locks.dst), level, locks.src.rowLength, rows);
    } else {
        int bytes = std::min(locks.src.rowLength, locks.dst.rowLength);
        for (int j = 0; j < rows; j++)
            ScaleAlphaBytesByLevel(RowAt(Bytes(locks.src), j, locks.src.rowLength),
                                   RowAt(Bytes(locks.dst), j, locks.dst.rowLength), level, bytes, 1);
    }
    return 0;
}

int MaskToAlpha(const qzBitMap* mask, int mx, int my, qzBitMap* alpha, int ax, int ay, int width, int height,
                int value) {
    LockedPair locks(mask, alpha);
    if (!locks.ok) return ERR_LOCKBMAP;
    if (!ClipToBoth(mx, my, ax, ay, width, height, locks.src.width, locks.src.height, locks.dst.width,
                    locks.dst.height))
        return 0;
    for (int j = 0; j < height; j++) {
        const uint8_t* m = RowAt(Bytes(locks.src), my + j, locks.src.rowLength);
        uint8_t* a = RowAt(Bytes(locks.dst), ay + j, locks.dst.rowLength) + ax;
        for (int i = 0; i < width; i++) a[i] = GetMaskBit(m, (int64_t)mx + i) ? (uint8_t)value : 0;
    }
    return 0;
}

int BlitMaskRect(const qzBitMap* mask, int mx, int my, qzBitMap* alpha, int ax, int ay, int width, int height,
                 int value) {
    LockedPair locks(mask, alpha);
    if (!locks.ok) return ERR_LOCKBMAP;
    if (ClipToBoth(mx, my, ax, ay, width, height, locks.src.width, locks.src.height, locks.dst.width, locks.dst.height))
        PaintAlphaThroughMask(Bytes(locks.src), Bytes(locks.dst), mx, my, ax, ay, locks.src.rowLength,
                              locks.dst.rowLength, width, height, value);
    return 0;
}

int AlphaToMask(const qzBitMap* alpha, int ax, int ay, qzBitMap* mask, int mx, int my, int width, int height,
                int maskMode) {
    LockedPair locks(alpha, mask);
    if (!locks.ok) return ERR_LOCKBMAP;
    if (ClipToBoth(ax, ay, mx, my, width, height, locks.src.width, locks.src.height, locks.dst.width, locks.dst.height))
        AlphaRectToMask(Bytes(locks.src), Bytes(locks.dst), ax, ay, mx, my, locks.src.rowLength, locks.dst.rowLength,
                        width, height, maskMode);
    return 0;
}

int BlitAlphaRect(const qzBitMap* source, int sx, int sy, qzBitMap* destination, int dx, int dy, int width, int height,
                  int mode, int argument) {
    LockedPair locks(source, destination);
    if (!locks.ok) return ERR_LOCKBMAP;
    if (ClipToBoth(sx, sy, dx, dy, width, height, locks.src.width, locks.src.height, locks.dst.width,
                   locks.dst.height)) {
        qzAlphaRectJob job{
            Bytes(locks.src), sx,   sy,      locks.src.rowLength, Bytes(locks.dst), dx, dy, locks.dst.rowLength, width,
            height,           mode, argument};
        CombineAlphaRect(&job);
    }
    return 0;
}

int BlitAlphaRectClipped(const qzBitMap* source, int sx, int sy, qzBitMap* destination, int dx, int dy, int width,
                         int height, int mode, int argument) {
    // BlitAlphaRect cuts the rectangle to both channels in exactly this way.
    return BlitAlphaRect(source, sx, sy, destination, dx, dy, width, height, mode, argument);
}

int FillMaskPolygon(qzBitMap* mask, const qzPoint* points, int count) {
    if (count < 3) return 0;
    auto* crossings = static_cast<int32_t*>(OsAlloc((size_t)count * sizeof(int32_t), 0));
    if (!crossings) return ERR_MEM;
    qzLockInfo lock;
    if (!LockBitMapPixels(mask, 0, &lock)) {
        OsFree(crossings);
        return ERR_LOCKBMAP;
    }
    FillMaskPolygonSpans(Bytes(lock), lock.rowLength, lock.height, crossings, points, count);
    UnlockBitMapPixels(&lock);
    OsFree(crossings);
    return 0;
}

void InitIdentityMatrix(double matrix[4]) {
    matrix[0] = 1;
    matrix[1] = 0;
    matrix[2] = 0;
    matrix[3] = 1;
}
