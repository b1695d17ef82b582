// Drawing into windows: the built-in twins of the display-adapter drawing entry points
// (BltBitMap, RectFill, Line, WritePixel), a flush, and the same pixel and line operations on
// the platform's off-screen bitmaps.
//
// Every operation draws into the window's retained framebuffer at once (the display's drawing
// offset added, everything clipped to the window) and marks what it changed; the event pass then
// shows each window's changes with one presentation (HostPresentWindows), MacFlushDisplay at
// once. A display whose window is closed draws nothing.
//
// Window-state rule: fill, line and pixel draw only while the window is in its normal state
// (not minimised); a blit also draws in other states when its flags ask for it.
#pragma once

#include <cstdint>

#include "platform/host/frame.h"
#include "platform/os_bitmap.h"

struct qzMacWindow;

// Blit flags the window side reads.
enum : uint32_t {
    BACKENDBLT_ANYSTATE = 0x10,     // draw also when the window is not in its normal state
    BACKENDBLT_WHILEHIDDEN = 0x80,  // the presentation flag "present also while hidden": the same
    BACKENDBLT_NOSCALE = 0x100,     // ignore the scaled size (the caller scaled already)
    BACKENDBLT_NOCLIP = 0x20,       // do not clip to the visible region (there is none to clip to)
};

// Copies the rectangle (sx, sy, width, height) of the locked source bitmap to (dx, dy) of the
// display. With both scaled sizes non-zero (and no BACKENDBLT_NOSCALE) the rectangle is scaled to
// the whole scaled picture instead: scaledWidth x scaledHeight at the drawing offset, nearest
// pixel.
void MacBltBitMap(const qzLockInfo* source, int32_t sx, int32_t sy, qzMacWindow* record, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags);
// The part of a whole-picture scaled blit (a pictureWidth x pictureHeight source scaled to
// scaledWidth x scaledHeight at the drawing offset) that shows the picture rectangle (x, y,
// width, height): the same pixels as MacBltBitMap of the whole picture gives there, at the cost
// of that part only. Flags as MacBltBitMap.
void BltScaledPart(const qzLockInfo* source, int32_t pictureWidth, int32_t pictureHeight, int32_t x, int32_t y,
                   int32_t width, int32_t height, qzMacWindow* record, int32_t scaledWidth, int32_t scaledHeight,
                   uint32_t flags);
// For a caller that writes a picture straight into the window: the framebuffer pixel of (dx, dy)
// (the drawing offset added) and the framebuffer's row length in pixels, when the whole
// rectangle dx, dy, width x height lies inside the framebuffer and the window draws as a blit
// with flags 0 does; null otherwise (the caller then blits). The caller writes opaque 0xFFRRGGBB
// pixels into the rectangle only and then marks it with MacMarkWindowDrawn, before anything else
// draws into or resizes the window.
uint32_t* MacWindowPixels(qzMacWindow* record, int32_t dx, int32_t dy, int32_t width, int32_t height,
                          int32_t* rowPixels);
// Marks the rectangle dx, dy, width x height (the drawing offset added) to be shown.
void MacMarkWindowDrawn(qzMacWindow* record, int32_t dx, int32_t dy, int32_t width, int32_t height);
// Colours are 0xRRGGBB (the top byte is ignored).
void MacRectFill(qzMacWindow* record, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
void MacLine(qzMacWindow* record, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void MacWritePixel(qzMacWindow* record, int32_t x, int32_t y, uint32_t colour);
// Shows what was drawn into the window now, without waiting for the event pass.
void MacFlushDisplay(qzMacWindow* record);

// Marks a rectangle of the window to be shown: (x + offset x, y + offset y, width, height), or
// (offset x, offset y, scaled width, scaled height) when both scaled sizes are non-zero.
void MacRenderViewRect(qzMacWindow* record, int32_t x, int32_t y, int32_t width, int32_t height, int32_t offsetX,
                       int32_t offsetY, int32_t scaledWidth, int32_t scaledHeight);

// The target pixel at (x + column, y + row) of `target` becomes the source pixel (sx + column,
// sy + row) ORed with the window's shape alpha at (x + column, y + row) in its top byte; without
// a source the target pixel is ORed in place. A target in pixel format 11 takes the alpha in its
// lowest byte. Only 32-bit targets (formats 10 to 13); everything is clipped to the shape, the
// source and the target. Nothing for a window without a shape.
void MacMergeShapeAlpha(const qzMacWindow* record, const qzLockInfo* source, int32_t sx, int32_t sy,
                        const qzLockInfo* target, int32_t x, int32_t y, int32_t width, int32_t height);

// Off-screen bitmaps: platform bitmaps in pixel format 10 (those have a drawing port; other
// formats, and positions outside the bitmap, are left alone). Colours 0xRRGGBB; a written pixel
// has 0 in its top byte.
void MacGWorldWritePixel(qzRawBitMap* bitmap, int32_t x, int32_t y, uint32_t colour);
void MacGWorldLine(qzRawBitMap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// 0xRRGGBB of a pixel; 0 outside the bitmap.
uint32_t MacGWorldReadPixel(const qzRawBitMap* bitmap, int32_t x, int32_t y);

// The window's framebuffer and what is still to be shown (tests and snapshots): null while
// closed.
const qzHostFrame* BackendWindowFrame(const qzMacWindow* record);
