#include "gfx/safe_blt.h"

#include <algorithm>

#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "gfx/blit_display.h"
#include "gfx/channel_ops.h"
#include "gfx/clip_region.h"
#include "gfx/draw_modes.h"
#include "gfx/kernels_alpha.h"
#include "platform/os_alloc.h"
#include "platform/os_bitmap.h"
#include "platform/os_console.h"

namespace {

uint8_t* scratch = nullptr;
int64_t scratchSize = 0;

// The mask or alpha channel that restricts a source to a shaped clip region for one call: either
// made for the call (an adapter owns bitmaps) or a record wrapping the scratch buffer.
struct ClipTemporary {
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    ~ClipTemporary() {
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    }
};

// Builds the temporary for a shaped region over source rows 0 .. sy + height: an alpha channel
// when the blit goes through an alpha channel, else a mask. False when it cannot be made.
bool BuildClipTemporary(const qzClipRegion* region, const qzBitMap* src, int srcWidth, int sx, int sy, int dx, int dy,
                        int width, int height, const qzBitMap* srcMask, const qzBitMap* srcAlpha, ClipTemporary* out) {
    const int rows = sy + height;
    const bool asAlpha = srcAlpha && !srcMask;
    BitMapLock srcMaskLock(asAlpha ? nullptr : srcMask, LOCKF_READONLY);
    BitMapLock srcAlphaLock(asAlpha ? srcAlpha : nullptr, LOCKF_READONLY);
    BitMapLock regionLock(region->mask, LOCKF_READONLY);
    if (!regionLock.ok || (srcMask && !asAlpha && !srcMaskLock.ok) || (asAlpha && !srcAlphaLock.ok)) return false;
    if (AdapterOwnsBitMaps()) {
        if (asAlpha)
            out->alpha = CreateAlphaBitMap(srcWidth, rows, 1, nullptr, 0);
        else
            out->mask = CreateMaskBitMap(src, srcWidth, rows, 1, nullptr, 0);
    } else {
        int64_t bytesPerRow;
        if (asAlpha)
            bytesPerRow = srcWidth;
        else if (srcMask)
            bytesPerRow = srcMaskLock.info.rowLength;  // the temporary is read where the source mask is
        else
            bytesPerRow = MaskBytesPerRow(std::max<int64_t>(QueryBitMapAttr(src, BMATTR_ROWLENGTH), srcWidth));
        uint8_t* memory = SafeBltScratch(bytesPerRow * rows);
        if (!memory) return false;
        if (asAlpha)
            out->alpha = CreateAlphaBitMap(srcWidth, rows, 0, memory, (int)bytesPerRow);
        else
            out->mask = CreateMaskBitMap(nullptr, srcWidth, rows, 0, memory, (int)bytesPerRow);
    }
    BitMapLock tempLock(asAlpha ? out->alpha : out->mask, 0);
    if (!tempLock.ok) return false;
    qzClipMaskJob job{};
    job.regionMask = static_cast<const uint8_t*>(regionLock.info.pixels);
    job.temporary = static_cast<uint8_t*>(tempLock.info.pixels);
    job.srcMask = srcMaskLock.ok ? static_cast<const uint8_t*>(srcMaskLock.info.pixels) : nullptr;
    job.regionX = region->x;
    job.regionY = region->y;
    job.sx = sx;
    job.sy = sy;
    job.dx = dx;
    job.dy = dy;
    job.width = width;
    job.height = height;
    job.srcAlpha = asAlpha ? static_cast<const uint8_t*>(srcAlphaLock.info.pixels) : nullptr;
    job.temporaryBytesPerRow = tempLock.info.rowLength;
    job.regionBytesPerRow = regionLock.info.rowLength;
    job.srcAlphaBytesPerRow = asAlpha ? srcAlphaLock.info.rowLength : 0;
    ApplyClipMask(&job);
    return true;
}

// What the rest of the call restores when it ends: the fallback record stops being current.
struct FallbackScope {
    bool active = false;
    ~FallbackScope() {
        if (active) SetBlitFallbackCurrent(false);
    }
};

}  // namespace

uint8_t* SafeBltScratch(int64_t bytes) {
    if (bytes <= 0) bytes = 1;
    if (bytes > QZ_MAX_BITMAP_BYTES) return nullptr;
    if (scratch && scratchSize >= bytes) return scratch;
    // Too small: freed and made again (its contents never outlive a call).
    OsFree(scratch);
    scratchSize = 0;
    scratch = static_cast<uint8_t*>(OsAlloc((size_t)bytes, 0));
    if (scratch) scratchSize = bytes;
    return scratch;
}

void FreeSafeBltScratch() {
    OsFree(scratch);
    scratch = nullptr;
    scratchSize = 0;
}

void PresentBitMapRect(const qzBitMap* bitmap, int sx, int sy, void* display, int dx, int dy, int width, int height,
                       uint32_t flags) {
    if (!bitmap || !display) return;
    qzBlitDisplayInfo info;
    DescribeBlitDisplay(display, &info);
    if (info.inRefreshBlock && !(flags & PRESENT_INREFRESH)) return;
    if ((flags & PRESENT_SCALED) && info.scaledWidth > 0 && info.scaledHeight > 0 &&
        (info.scaledWidth != bitmap->width || info.scaledHeight != bitmap->height)) {
        // The whole bitmap at the scaled size; the rectangle tells which part changed.
        BlitPresentRect(bitmap, sx, sy, display, dx, dy, width, height, info.scaledWidth, info.scaledHeight,
                        PRESENT_SCALED, nullptr, nullptr);
        return;
    }
    BlitPresentRect(bitmap, sx, sy, display, dx, dy, width, height, 0, 0, 0, nullptr, nullptr);
}

void RedrawAndRefreshRect(VmState* state, int sx, int sy, void* display, int dx, int dy, int width, int height) {
    qzBlitDisplayInfo info;
    if (!display || !DescribeBlitDisplay(display, &info)) return;
    ClipBlitRect(nullptr, &sx, &sy, &dx, &dy, &width, &height, info.targetWidth, info.targetHeight, info.targetWidth,
                 info.targetHeight, 0);
    if (width <= 0 || height <= 0 || sx < 0 || sy < 0) return;
    if (BlitTouchesSprites(dx, dy, dx + width - 1, dy + height - 1)) {
        BlitRedrawLayers(state, display, info.secondBuffer, dx, dy, width, height, 0);
        PresentBitMapRect(info.secondBuffer, sx, sy, display, dx, dy, width, height, PRESENT_SCALED);
    } else {
        PresentBitMapRect(info.firstBuffer, sx, sy, display, dx, dy, width, height, PRESENT_SCALED);
    }
}

void SafeBlt(VmState* state, const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
             int srcWidth, int srcHeight, int dstWidth, int dstHeight, uint32_t flags, const qzBitMap* mask,
             const qzBitMap* alpha, const qzClipRegion* clipRegion) {
    // 1. A display to draw for: the current one, or the fallback record for a call that draws only
    // into a destination of its own.
    FallbackScope fallback;
    void* display = BlitCurrentDisplay();
    if (!display) {
        if (dst && (flags & SAFEBLT_TARGETONLY) && BlitFallbackDisplayExists()) {
            flags |= SAFEBLT_NOSPRITES;
            SetBlitFallbackCurrent(true);
            fallback.active = true;
            display = BlitFallbackDisplay();
        } else {
            PrintConsole("ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n");
            return;
        }
    }
    if (!src) return;
    // 2, 3. The rectangle.
    if (sx < 0 || sy < 0) return;
    ClipBlitRect(clipRegion, &sx, &sy, &dx, &dy, &width, &height, srcWidth, srcHeight, dstWidth, dstHeight,
                 !(flags & SAFEBLT_NOCLIP));
    if (width <= 0 || height <= 0) return;
    qzBlitDisplayInfo info;
    DescribeBlitDisplay(display, &info);

    // 4. Straight through the hardware double buffer.
    if (info.hardwareDoubleBuffer && (flags & SAFEBLT_HARDWARE)) {
        BlitPresentRect(src, sx, sy, display, dx, dy, width, height, 0, 0, 0, mask, alpha);
        return;
    }

    // 5. On-screen sprites in the rectangle: compose through the second buffer.
    if (!(flags & SAFEBLT_NOSPRITES) && BlitTouchesSprites(dx, dy, dx + width - 1, dy + height - 1)) {
        if (flags & SAFEBLT_FIRSTBUFFER) {
            SafeBlt(state, src, sx, sy, info.firstBuffer, dx, dy, width, height, srcWidth, srcHeight, info.targetWidth,
                    info.targetHeight, SAFEBLT_NOSPRITES, mask, alpha, clipRegion);
            BlitRedrawLayers(state, display, info.secondBuffer, dx, dy, width, height, 0);
        } else {
            BlitRedrawLayers(state, display, info.secondBuffer, dx, dy, width, height, 1);
            SafeBlt(state, src, sx, sy, info.secondBuffer, dx, dy, width, height, srcWidth, srcHeight, info.targetWidth,
                    info.targetHeight, SAFEBLT_NOSPRITES, mask, alpha, clipRegion);
            BlitRedrawLayers(state, display, info.secondBuffer, dx, dy, width, height, 2);
        }
        if (!(flags & SAFEBLT_NOPRESENT) && info.secondBuffer)
            SafeBlt(state, info.secondBuffer, dx, dy, dst, dx, dy, width, height, info.secondBuffer->width,
                    info.secondBuffer->height, dstWidth, dstHeight, SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES, nullptr,
                    nullptr, nullptr);
        return;
    }

    // 6. A shaped clip region: the source's mask or alpha channel restricted to the region's mask.
    ClipTemporary temporary;
    if (!(flags & SAFEBLT_NOCLIP) && clipRegion && clipRegion->mask) {
        if (!BuildClipTemporary(clipRegion, src, srcWidth, sx, sy, dx, dy, width, height, mask, alpha, &temporary))
            return;
        if (temporary.alpha)
            alpha = temporary.alpha;
        else
            mask = temporary.mask;
    }

    // 7. The target.
    qzBitMap* target = nullptr;
    const qzBitMap* presentBuffer = nullptr;
    bool drawn = false;  // the layers path has drawn already
    if (dst) {
        target = dst;
    } else if (info.outputKind == OUTPUT_DISPLAY) {
        if (((flags & SAFEBLT_FIRSTBUFFER) && !info.layersOn) || (flags & SAFEBLT_FORCEFIRSTBUFFER)) {
            target = info.firstBuffer;
            if (!(flags & SAFEBLT_NOPRESENT)) presentBuffer = info.firstBuffer;
        } else if (info.layersOn && (flags & SAFEBLT_REDRAWLAYERS)) {
            BlitRedrawLayers(state, display, info.secondBuffer, dx, dy, width, height, 0);
            if (!(flags & SAFEBLT_NOPRESENT)) presentBuffer = info.secondBuffer;
            drawn = true;
        }
    }

    // 8. Drawing, mirroring into the second buffer and keeping the selection's mask and alpha.
    if (!drawn) {
        const bool targetOnly = flags & SAFEBLT_TARGETONLY;
        const bool mirror = info.scaling && info.scaledWidth && info.scaledHeight && target &&
                            target == info.firstBuffer && info.secondBuffer;
        const qzDrawModes& modes = DrawModes();
        const int maskMode = target ? MASKVANILLACOPY : modes.maskMode;
        const int alphaValue = !target && modes.alphaIntensity != -1 ? modes.alphaIntensity : 255;
        if (alpha && !mask) {
            if (target && info.outputAlpha && !targetOnly) {
                if (modes.alphaSelectMode)
                    BlitPlanesSoftware(src, sx, sy, target, dx, dy, width, height, alpha, info.outputAlpha,
                                       modes.alphaSelectMode);
                else
                    BlitBitMap(src, sx, sy, target, dx, dy, width, height);
            } else if (target) {
                BlitBitMapAlpha(src, sx, sy, target, dx, dy, width, height, alpha);
                if (mirror && !targetOnly)
                    BlitBitMapAlpha(src, sx, sy, info.secondBuffer, dx, dy, width, height, alpha);
            }
            if (!targetOnly) {
                if (info.outputMask) AlphaToMask(alpha, sx, sy, info.outputMask, dx, dy, width, height, maskMode);
                if (info.outputAlpha) {
                    if (!target && modes.alphaIntensity != -1) {
                        BlitAlphaRectClipped(alpha, sx, sy, info.outputAlpha, dx, dy, width, height, 6,
                                             modes.alphaIntensity);
                    } else {
                        static const int kAlphaModes[3] = {0, 1, 9};
                        const int selectMode =
                            modes.alphaSelectMode >= 0 && modes.alphaSelectMode <= 2 ? modes.alphaSelectMode : 0;
                        BlitAlphaRectClipped(alpha, sx, sy, info.outputAlpha, dx, dy, width, height,
                                             kAlphaModes[selectMode], 0);
                    }
                }
            }
        } else if (mask) {
            if (target) {
                BlitBitMapMasked(src, sx, sy, target, dx, dy, width, height, mask);
                if (mirror && !targetOnly)
                    BlitBitMapMasked(src, sx, sy, info.secondBuffer, dx, dy, width, height, mask);
            }
            if (!targetOnly) {
                if (info.outputMask)
                    BlitMaskPlane(mask, sx, sy, info.outputMask, dx, dy, width, height, maskMode, nullptr, 0);
                if (info.outputAlpha) BlitMaskRect(mask, sx, sy, info.outputAlpha, dx, dy, width, height, alphaValue);
            }
        } else if (!target && info.outputKind != OUTPUT_DISPLAY) {
            if (!targetOnly) {
                if (info.outputMask) FillMaskRect(info.outputMask, dx, dy, width, height, maskMode);
                if (info.outputAlpha) FillAlphaRect(info.outputAlpha, dx, dy, width, height, alphaValue);
            }
        } else {
            if (!target)
                PresentBitMapRect(src, sx, sy, display, dx, dy, width, height, 0);
            else
                BlitBitMap(src, sx, sy, target, dx, dy, width, height);
            if (!targetOnly) {
                if (mirror) BlitBitMap(src, sx, sy, info.secondBuffer, dx, dy, width, height);
                if (info.outputMask) FillMaskRect(info.outputMask, dx, dy, width, height, maskMode);
                if (info.outputAlpha) FillAlphaRect(info.outputAlpha, dx, dy, width, height, alphaValue);
            }
        }
        // 9. Under the mirror condition the second buffer holds what is shown.
        if (presentBuffer == info.firstBuffer && mirror) presentBuffer = info.secondBuffer;
    }
    if (presentBuffer) PresentBitMapRect(presentBuffer, dx, dy, display, dx, dy, width, height, PRESENT_SCALED);
    // 10. The fallback record and the temporaries go when the scopes end.
}
