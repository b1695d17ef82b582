#include "vector/shape_pen.h"

#include "gfx/pixel_format.h"

qzShapePen::qzShapePen(qzBitMap* bitmap, qzBitMap* maskBitmap, qzBitMap* alphaBitmap, const qzBitMap* patternBitmap,
                       uint32_t color)
    : colour(bitmap, 0), mask(maskBitmap, 0), alpha(alphaBitmap, 0), pattern(patternBitmap, LOCKF_READONLY) {
    ok = colour.ok && (!maskBitmap || mask.ok) && (!alphaBitmap || alpha.ok);
    if (!ok) return;
    pen.pixels = colour.info.pixels;
    pen.rowLength = colour.info.rowLength;
    pen.bytesPerPixel = colour.info.bytesPerPixel;
    pen.pixelFormat = colour.info.pixelFormat;
    pen.penWidth = 1;
    if (pattern.ok && pattern.info.bytesPerPixel == colour.info.bytesPerPixel &&
        pattern.info.width >= colour.info.width && pattern.info.height >= colour.info.height) {
        pen.texturePixels = pattern.info.pixels;
        pen.textureRowLength = pattern.info.rowLength;
    }
    if (maskBitmap) {
        pen.maskTarget = (uint8_t*)mask.info.pixels;
        pen.maskBytesPerRow = mask.info.rowLength;
    }
    if (alphaBitmap) {
        pen.alphaTarget = (uint8_t*)alpha.info.pixels;
        pen.alphaBytesPerRow = alpha.info.rowLength;
    }
    pen.maskMode = 2;
    // Everything the pen draws stays inside the bitmap.
    pen.clip = 1;
    pen.clipWidth = colour.info.width;
    pen.clipHeight = colour.info.height;
    SetColor(color);
}

void qzShapePen::SetColor(uint32_t color) {
    pen.color = ConvertARGBToPixel(color & 0xFFFFFF, pen.pixelFormat, 0);
    pen.penOpacity = 255 - (int)(color >> 24);
    pen.opacity = pen.penOpacity;
    pen.blendRed = (int)((color >> 16) & 255);
    pen.blendGreen = (int)((color >> 8) & 255);
    pen.blendBlue = (int)(color & 255);
}
