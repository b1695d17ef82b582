// The retained framebuffer of a window: what the window shows, as opaque ARGB pixels, kept by
// the host for every driver. Drawing goes into it at once; the part drawn since the last
// presentation is the dirty rectangle, which the driver shows on the screen once per event pass.
//
// Every operation clips to the framebuffer (and a blit to its source), so no coordinate that a
// script chooses can reach memory outside either.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/os_bitmap.h"

// A rectangle {x, y, width, height}; empty when width or height is 0 or less.
struct qzFrameRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

struct qzHostFrame {
    std::vector<uint32_t> pixels;  // width x height, rows top to bottom, 0xFFRRGGBB
    int32_t width = 0;
    int32_t height = 0;
    qzFrameRect dirty = {0, 0, 0, 0};  // drawn and not yet presented
    // The window's shape: one alpha byte a pixel over width x height (0 outside the window, 255
    // inside, values between for a soft edge); empty for a rectangular window.
    std::vector<uint8_t> shape;
};

// Pixels outside anything drawn are this: black, opaque.
constexpr uint32_t QZ_FRAME_BLACK = 0xFF000000u;

// A source of a blit: pixel memory in one of the engine's colour formats (0 to 13).
struct qzFrameSource {
    const void* pixels;
    int32_t format;
    int32_t rowBytes;
    int32_t width;
    int32_t height;
};

// The source described by a lock of an engine bitmap.
qzFrameSource FrameSourceFromLock(const qzLockInfo& lock);

// Makes the framebuffer width x height: what lies in both sizes stays, the rest is black, and the
// whole framebuffer is dirty; a shape follows the same way (0 in the new part). Sizes below 1
// make it empty. False (framebuffer unchanged) when the
// pixels would exceed QZ_MAX_BITMAP_BYTES or memory runs out.
bool FrameResize(qzHostFrame* frame, int32_t width, int32_t height);

// Clips r to the framebuffer; false when nothing is left.
bool FrameClip(const qzHostFrame& frame, qzFrameRect* r);
// Adds r (clipped) to the dirty rectangle.
void FrameMarkDirty(qzHostFrame* frame, qzFrameRect r);
void FrameMarkAllDirty(qzHostFrame* frame);
bool FrameHasDirty(const qzHostFrame& frame);
// Takes the dirty rectangle and leaves none.
qzFrameRect FrameTakeDirty(qzHostFrame* frame);

// Fills r with 0xRRGGBB.
void FrameFill(qzHostFrame* frame, qzFrameRect r, uint32_t rgb);
// Sets one pixel to 0xRRGGBB.
void FramePlot(qzHostFrame* frame, int32_t x, int32_t y, uint32_t rgb);
// A one-pixel line from (x1, y1) to (x2, y2), both ends included: the pixel at step k of the
// longer axis lies at the shorter axis' start plus k * (its length / the longer length), rounded
// half up. Only the part inside the framebuffer is walked.
void FrameLine(qzHostFrame* frame, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb);
// The same line on any 32-bit pixel memory of width x height (rowPixels a row); `value` is
// stored as it is.
void LinePixels32(uint32_t* pixels, int32_t rowPixels, int32_t width, int32_t height, int32_t x1, int32_t y1,
                  int32_t x2, int32_t y2, uint32_t value);

// Copies the source rectangle (sx, sy, width, height) to (dx, dy), clipped to both.
void FrameBlit(qzHostFrame* frame, const qzFrameSource& source, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
               int32_t width, int32_t height);
// Scales the source rectangle (sx, sy, width, height) to (dx, dy, scaledWidth, scaledHeight),
// nearest pixel: target column i shows source column sx + i * width / scaledWidth (rows alike).
// Target pixels whose source lies outside the source are left as they are.
void FrameBlitScaled(qzHostFrame* frame, const qzFrameSource& source, int32_t sx, int32_t sy, int32_t width,
                     int32_t height, int32_t dx, int32_t dy, int32_t scaledWidth, int32_t scaledHeight);
// The part of FrameBlitScaled(source, 0, 0, pictureWidth, pictureHeight, dx, dy, scaled size)
// that shows the picture rectangle `part`: the same pixels, only those. Returns the target
// rectangle it covers (unclipped).
qzFrameRect FrameBlitScaledPart(qzHostFrame* frame, const qzFrameSource& source, int32_t pictureWidth,
                                int32_t pictureHeight, qzFrameRect part, int32_t dx, int32_t dy, int32_t scaledWidth,
                                int32_t scaledHeight);

// The colour a source pixel shows, as 0xFFRRGGBB.
uint32_t FrameReadSourcePixel(const qzFrameSource& source, int32_t x, int32_t y);
