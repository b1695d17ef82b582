#include "platform/host/backend_draw.h"

#include <algorithm>
#include <cstring>

#include "base/pixel_format_codes.h"
#include "platform/host/backend_window.h"
#include "platform/host/host.h"

namespace {

// The window to draw into under the window-state rule, or null.
qzHostWindow* Target(qzMacWindow* record, bool anyState) {
    qzHostWindow* window = HostWindow(record);
    if (!window) return nullptr;
    if (window->windowState != 1 && !anyState) return nullptr;
    return window;
}

bool SourceLocked(const qzLockInfo* source) { return source && source->success && source->pixels; }

}  // namespace

void MacRenderViewRect(qzMacWindow* record, int32_t x, int32_t y, int32_t width, int32_t height, int32_t offsetX,
                       int32_t offsetY, int32_t scaledWidth, int32_t scaledHeight) {
    qzHostWindow* window = HostWindow(record);
    if (!window) return;
    if (scaledWidth && scaledHeight)
        FrameMarkDirty(&window->frame, {offsetX, offsetY, scaledWidth, scaledHeight});
    else
        FrameMarkDirty(&window->frame, {int32_t(int64_t(x) + offsetX), int32_t(int64_t(y) + offsetY), width, height});
}

void MacBltBitMap(const qzLockInfo* source, int32_t sx, int32_t sy, qzMacWindow* record, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags) {
    qzHostWindow* window = Target(record, (flags & (BACKENDBLT_ANYSTATE | BACKENDBLT_WHILEHIDDEN)) != 0);
    if (!window || !SourceLocked(source)) return;
    if (flags & BACKENDBLT_NOSCALE) scaledWidth = scaledHeight = 0;
    qzFrameSource from = FrameSourceFromLock(*source);
    if (scaledWidth && scaledHeight)
        FrameBlitScaled(&window->frame, from, sx, sy, width, height, record->offsetX, record->offsetY, scaledWidth,
                        scaledHeight);
    else
        FrameBlit(&window->frame, from, sx, sy, int32_t(int64_t(dx) + record->offsetX),
                  int32_t(int64_t(dy) + record->offsetY), width, height);
}

uint32_t* MacWindowPixels(qzMacWindow* record, int32_t dx, int32_t dy, int32_t width, int32_t height,
                          int32_t* rowPixels) {
    qzHostWindow* window = Target(record, false);
    if (!window || width < 1 || height < 1) return nullptr;
    qzHostFrame& frame = window->frame;
    const int64_t x = int64_t(dx) + record->offsetX, y = int64_t(dy) + record->offsetY;
    if (x < 0 || y < 0 || x + width > frame.width || y + height > frame.height) return nullptr;
    *rowPixels = frame.width;
    return &frame.pixels[size_t(y) * size_t(frame.width) + size_t(x)];
}

void MacMarkWindowDrawn(qzMacWindow* record, int32_t dx, int32_t dy, int32_t width, int32_t height) {
    if (qzHostWindow* window = HostWindow(record))
        FrameMarkDirty(&window->frame,
                       {int32_t(int64_t(dx) + record->offsetX), int32_t(int64_t(dy) + record->offsetY), width, height});
}

void BltScaledPart(const qzLockInfo* source, int32_t pictureWidth, int32_t pictureHeight, int32_t x, int32_t y,
                   int32_t width, int32_t height, qzMacWindow* record, int32_t scaledWidth, int32_t scaledHeight,
                   uint32_t flags) {
    qzHostWindow* window = Target(record, (flags & (BACKENDBLT_ANYSTATE | BACKENDBLT_WHILEHIDDEN)) != 0);
    if (!window || !SourceLocked(source)) return;
    FrameBlitScaledPart(&window->frame, FrameSourceFromLock(*source), pictureWidth, pictureHeight,
                        {x, y, width, height}, record->offsetX, record->offsetY, scaledWidth, scaledHeight);
}

void MacRectFill(qzMacWindow* record, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
    if (qzHostWindow* window = Target(record, false))
        FrameFill(&window->frame,
                  {int32_t(int64_t(x) + record->offsetX), int32_t(int64_t(y) + record->offsetY), width, height},
                  colour);
}

void MacLine(qzMacWindow* record, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    qzHostWindow* window = Target(record, false);
    if (!window) return;
    // Offset points outside 32 bits cannot reach the window; saturate them.
    auto at = [](int32_t v, int32_t offset) {
        return int32_t(std::clamp<int64_t>(int64_t(v) + offset, INT32_MIN, INT32_MAX));
    };
    FrameLine(&window->frame, at(x1, record->offsetX), at(y1, record->offsetY), at(x2, record->offsetX),
              at(y2, record->offsetY), colour);
}

void MacWritePixel(qzMacWindow* record, int32_t x, int32_t y, uint32_t colour) {
    if (qzHostWindow* window = Target(record, false))
        FramePlot(&window->frame, int32_t(int64_t(x) + record->offsetX), int32_t(int64_t(y) + record->offsetY), colour);
}

void MacFlushDisplay(qzMacWindow* record) { HostPresentWindow(HostWindow(record)); }

void MacMergeShapeAlpha(const qzMacWindow* record, const qzLockInfo* source, int32_t sx, int32_t sy,
                        const qzLockInfo* target, int32_t x, int32_t y, int32_t width, int32_t height) {
    const qzHostWindow* window = HostWindow(record);
    if (!window || window->frame.shape.empty() || !SourceLocked(target) || target->bytesPerPixel != 4 ||
        target->pixelFormat < PIXFMT_ARGB32 || target->pixelFormat > PIXFMT_ABGR32)
        return;
    if (source && (!SourceLocked(source) || source->bytesPerPixel != 4)) return;
    const qzHostFrame& frame = window->frame;
    for (int64_t row = 0; row < height; row++) {
        int64_t ty = y + row, fy = y + row, syy = sy + row;
        if (ty < 0 || ty >= target->height || fy >= frame.height || (source && (syy < 0 || syy >= source->height)))
            continue;
        uint32_t* to = static_cast<uint32_t*>(target->pixels) + ty * target->rowLength;
        const uint32_t* from =
            source ? static_cast<const uint32_t*>(source->pixels) + syy * source->rowLength : nullptr;
        for (int64_t column = 0; column < width; column++) {
            int64_t tx = x + column, sxx = sx + column;
            if (tx < 0 || tx >= target->width || tx >= frame.width || (source && (sxx < 0 || sxx >= source->width)))
                continue;
            uint32_t a = frame.shape[size_t(ty) * frame.width + size_t(tx)];
            uint32_t pixel = from ? from[sxx] : to[tx];
            to[tx] = pixel | (target->pixelFormat == PIXFMT_BGRA32 ? a : a << 24);
        }
    }
}

void MacGWorldWritePixel(qzRawBitMap* bitmap, int32_t x, int32_t y, uint32_t colour) {
    if (!bitmap || !bitmap->pixels || bitmap->pixelFormat != PIXFMT_ARGB32 || x < 0 || y < 0 || x >= bitmap->width ||
        y >= bitmap->height)
        return;
    uint32_t* row =
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(bitmap->pixels) + int64_t(y) * bitmap->bytesPerRow);
    row[x] = colour & 0xFFFFFFu;
}

void MacGWorldLine(qzRawBitMap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (!bitmap || !bitmap->pixels || bitmap->pixelFormat != PIXFMT_ARGB32) return;
    LinePixels32(static_cast<uint32_t*>(bitmap->pixels), bitmap->bytesPerRow / 4, bitmap->width, bitmap->height, x1, y1,
                 x2, y2, colour & 0xFFFFFFu);
}

uint32_t MacGWorldReadPixel(const qzRawBitMap* bitmap, int32_t x, int32_t y) {
    if (!bitmap || !bitmap->pixels || bitmap->pixelFormat != PIXFMT_ARGB32 || x < 0 || y < 0 || x >= bitmap->width ||
        y >= bitmap->height)
        return 0;
    const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(bitmap->pixels) +
                                                            int64_t(y) * bitmap->bytesPerRow);
    return row[x] & 0xFFFFFFu;
}

const qzHostFrame* BackendWindowFrame(const qzMacWindow* record) {
    const qzHostWindow* window = HostWindow(record);
    return window ? &window->frame : nullptr;
}
