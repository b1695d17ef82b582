#include "gfx/pixel_format.h"

static inline uint32_t SwapBytes16(uint32_t v) { return ((v & 0xFF) << 8) | ((v >> 8) & 0xFF); }

uint32_t ConvertARGBToPixel(qzColor colour, int format, int withAlpha) {
    uint32_t a = colour >> 24, r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    uint32_t alpha = withAlpha ? a : 0;
    switch (format) {
    case PIXFMT_RGB555: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case PIXFMT_BGR555: return (b >> 3) << 10 | (g >> 3) << 5 | (r >> 3);
    case PIXFMT_RGB555_SWAPPED: return SwapBytes16((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    case PIXFMT_BGR555_SWAPPED: return SwapBytes16((b >> 3) << 10 | (g >> 3) << 5 | (r >> 3));
    case PIXFMT_RGB565: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    case PIXFMT_BGR565: return (b >> 3) << 11 | (g >> 2) << 5 | (r >> 3);
    case PIXFMT_RGB565_SWAPPED: return SwapBytes16((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    case PIXFMT_BGR565_SWAPPED: return SwapBytes16((b >> 3) << 11 | (g >> 2) << 5 | (r >> 3));
    case PIXFMT_RGB24: return r << 16 | g << 8 | b;
    case PIXFMT_BGR24: return b << 16 | g << 8 | r;
    case PIXFMT_ARGB32: return alpha << 24 | r << 16 | g << 8 | b;
    case PIXFMT_BGRA32: return b << 24 | g << 16 | r << 8 | alpha;
    case PIXFMT_RGBA32: return r << 24 | g << 16 | b << 8 | alpha;
    case PIXFMT_ABGR32: return alpha << 24 | b << 16 | g << 8 | r;
    default: return 0;
    }
}

qzColor ConvertPixelToARGB(uint32_t pixel, int format, int withAlpha) {
    uint32_t a = 0, r, g, b;
    switch (format) {
    case PIXFMT_RGB555_SWAPPED:
    case PIXFMT_BGR555_SWAPPED:
    case PIXFMT_RGB565_SWAPPED:
    case PIXFMT_BGR565_SWAPPED:
        pixel = SwapBytes16(pixel);
        format -= 2;
        break;
    default: break;
    }
    switch (format) {
    case PIXFMT_RGB555:
    case PIXFMT_BGR555:
        r = ((pixel >> 10) & 0x1F) << 3;
        g = ((pixel >> 5) & 0x1F) << 3;
        b = (pixel & 0x1F) << 3;
        if (format == PIXFMT_BGR555) {
            uint32_t t = r;
            r = b;
            b = t;
        }
        break;
    case PIXFMT_RGB565:
    case PIXFMT_BGR565:
        r = ((pixel >> 11) & 0x1F) << 3;
        g = ((pixel >> 5) & 0x3F) << 2;
        b = (pixel & 0x1F) << 3;
        if (format == PIXFMT_BGR565) {
            uint32_t t = r;
            r = b;
            b = t;
        }
        break;
    case PIXFMT_RGB24: return pixel & 0xFFFFFF;
    case PIXFMT_BGR24: return (pixel & 0xFF) << 16 | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF);
    case PIXFMT_ARGB32: return withAlpha ? pixel : pixel & 0xFFFFFF;
    case PIXFMT_BGRA32:
        a = pixel & 0xFF;
        r = (pixel >> 8) & 0xFF;
        g = (pixel >> 16) & 0xFF;
        b = pixel >> 24;
        break;
    case PIXFMT_RGBA32:
        a = pixel & 0xFF;
        r = pixel >> 24;
        g = (pixel >> 16) & 0xFF;
        b = (pixel >> 8) & 0xFF;
        break;
    case PIXFMT_ABGR32:
        a = pixel >> 24;
        r = pixel & 0xFF;
        g = (pixel >> 8) & 0xFF;
        b = (pixel >> 16) & 0xFF;
        break;
    default: return 0;
    }
    if (!withAlpha) a = 0;
    return a << 24 | r << 16 | g << 8 | b;
}
