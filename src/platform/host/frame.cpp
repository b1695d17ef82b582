#include "platform/host/frame.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>

#include "base/pixel_format_codes.h"

namespace {

// Clips [start, start + length) to [0, limit) in 64-bit; false when nothing is left.
bool ClipSpan(int64_t* start, int64_t* length, int64_t limit) {
    if (*start < 0) {
        *length += *start;
        *start = 0;
    }
    if (*start + *length > limit) *length = limit - *start;
    return *length > 0;
}

inline uint32_t Expand5(uint32_t v) { return (v & 31u) << 3; }
inline uint32_t Expand6(uint32_t v) { return (v & 63u) << 2; }
inline uint32_t Swap16(uint32_t v) { return ((v & 0xFFu) << 8) | ((v >> 8) & 0xFFu); }

uint32_t ReadPixel(const uint8_t* p, int format) {
    uint32_t v;
    switch (format) {
    case PIXFMT_RGB555:
    case PIXFMT_RGB555_SWAPPED:
    case PIXFMT_BGR555:
    case PIXFMT_BGR555_SWAPPED: {
        uint16_t w;
        std::memcpy(&w, p, 2);
        v = format == PIXFMT_RGB555_SWAPPED || format == PIXFMT_BGR555_SWAPPED ? Swap16(w) : w;
        uint32_t hi = Expand5(v >> 10), mid = Expand5(v >> 5), lo = Expand5(v);
        if (format == PIXFMT_BGR555 || format == PIXFMT_BGR555_SWAPPED) std::swap(hi, lo);
        return QZ_FRAME_BLACK | hi << 16 | mid << 8 | lo;
    }
    case PIXFMT_RGB565:
    case PIXFMT_RGB565_SWAPPED:
    case PIXFMT_BGR565:
    case PIXFMT_BGR565_SWAPPED: {
        uint16_t w;
        std::memcpy(&w, p, 2);
        v = format == PIXFMT_RGB565_SWAPPED || format == PIXFMT_BGR565_SWAPPED ? Swap16(w) : w;
        uint32_t hi = Expand5(v >> 11), mid = Expand6(v >> 5), lo = Expand5(v);
        if (format == PIXFMT_BGR565 || format == PIXFMT_BGR565_SWAPPED) std::swap(hi, lo);
        return QZ_FRAME_BLACK | hi << 16 | mid << 8 | lo;
    }
    case PIXFMT_RGB24: return QZ_FRAME_BLACK | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    case PIXFMT_BGR24: return QZ_FRAME_BLACK | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    case PIXFMT_ARGB32: std::memcpy(&v, p, 4); return QZ_FRAME_BLACK | v;
    case PIXFMT_BGRA32:  // 0xBBGGRRAA
        std::memcpy(&v, p, 4);
        return QZ_FRAME_BLACK | (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u);
    case PIXFMT_RGBA32:  // 0xRRGGBBAA
        std::memcpy(&v, p, 4);
        return QZ_FRAME_BLACK | v >> 8;
    case PIXFMT_ABGR32:  // 0xAABBGGRR
        std::memcpy(&v, p, 4);
        return QZ_FRAME_BLACK | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
    default: return QZ_FRAME_BLACK;
    }
}

int BytesOf(int format) {
    if (format >= 0 && format <= 7) return 2;
    if (format == 8 || format == 9) return 3;
    if (format >= 10 && format <= 13) return 4;
    return 0;
}

// Converts `count` source pixels starting at column x of a row into the target.
void ConvertRow(uint32_t* to, const qzFrameSource& source, const uint8_t* row, int32_t x, int32_t count) {
    if (source.format == PIXFMT_ARGB32) {
        const uint32_t* from = reinterpret_cast<const uint32_t*>(row) + x;
        for (int32_t i = 0; i < count; i++) to[i] = from[i] | QZ_FRAME_BLACK;
        return;
    }
    int bytes = BytesOf(source.format);
    const uint8_t* p = row + int64_t(x) * bytes;
    for (int32_t i = 0; i < count; i++, p += bytes) to[i] = ReadPixel(p, source.format);
}

bool SourceUsable(const qzFrameSource& source) {
    return source.pixels && BytesOf(source.format) > 0 && source.width > 0 && source.height > 0 &&
           source.rowBytes >= int64_t(source.width) * BytesOf(source.format);
}

const uint8_t* SourceRow(const qzFrameSource& source, int32_t y) {
    return static_cast<const uint8_t*>(source.pixels) + int64_t(y) * source.rowBytes;
}

// Target positions [first, last) of a scaled axis whose source position lies in [0, limit):
// position i shows from + i * length / scaled.
void ScaledRange(int64_t from, int64_t length, int64_t scaled, int64_t limit, int64_t* first, int64_t* last) {
    // from + floor(i * length / scaled) >= 0  <=>  i >= ceil(-from * scaled / length)
    // from + floor(i * length / scaled) < limit  <=>  i < ceil((limit - from) * scaled / length)
    auto ceilDiv = [](int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); };
    *first = std::max<int64_t>(0, ceilDiv(-from * scaled, length));
    *last = std::min<int64_t>(scaled, ceilDiv((limit - from) * scaled, length));
}

}  // namespace

qzFrameSource FrameSourceFromLock(const qzLockInfo& lock) {
    qzFrameSource s;
    s.pixels = lock.pixels;
    s.format = lock.pixelFormat;
    s.rowBytes = lock.rowLength * lock.bytesPerPixel;
    s.width = lock.width;
    s.height = lock.height;
    return s;
}

bool FrameResize(qzHostFrame* frame, int32_t width, int32_t height) {
    if (width < 1 || height < 1) {
        frame->pixels.clear();
        frame->pixels.shrink_to_fit();
        frame->width = frame->height = 0;
        frame->dirty = {0, 0, 0, 0};
        return true;
    }
    if (int64_t(width) * height * 4 > QZ_MAX_BITMAP_BYTES) return false;
    if (width == frame->width && height == frame->height) return true;
    std::vector<uint32_t> pixels;
    try {
        pixels.assign(size_t(width) * size_t(height), QZ_FRAME_BLACK);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vector<uint8_t> shape;
    if (!frame->shape.empty()) {
        try {
            shape.assign(size_t(width) * size_t(height), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    int32_t keepW = std::min(width, frame->width), keepH = std::min(height, frame->height);
    for (int32_t y = 0; y < keepH; y++) {
        std::memcpy(&pixels[size_t(y) * width], &frame->pixels[size_t(y) * frame->width], size_t(keepW) * 4);
        if (!shape.empty())
            std::memcpy(&shape[size_t(y) * width], &frame->shape[size_t(y) * frame->width], size_t(keepW));
    }
    frame->pixels.swap(pixels);
    if (!frame->shape.empty()) frame->shape.swap(shape);
    frame->width = width;
    frame->height = height;
    FrameMarkAllDirty(frame);
    return true;
}

bool FrameClip(const qzHostFrame& frame, qzFrameRect* r) {
    int64_t x = r->x, y = r->y, w = r->width, h = r->height;
    if (w <= 0 || h <= 0 || !ClipSpan(&x, &w, frame.width) || !ClipSpan(&y, &h, frame.height)) return false;
    *r = {int32_t(x), int32_t(y), int32_t(w), int32_t(h)};
    return true;
}

void FrameMarkDirty(qzHostFrame* frame, qzFrameRect r) {
    if (!FrameClip(*frame, &r)) return;
    qzFrameRect& d = frame->dirty;
    if (d.width <= 0 || d.height <= 0) {
        d = r;
        return;
    }
    int32_t x0 = std::min(d.x, r.x), y0 = std::min(d.y, r.y);
    int32_t x1 = std::max(d.x + d.width, r.x + r.width), y1 = std::max(d.y + d.height, r.y + r.height);
    d = {x0, y0, x1 - x0, y1 - y0};
}

void FrameMarkAllDirty(qzHostFrame* frame) { frame->dirty = {0, 0, frame->width, frame->height}; }

bool FrameHasDirty(const qzHostFrame& frame) { return frame.dirty.width > 0 && frame.dirty.height > 0; }

qzFrameRect FrameTakeDirty(qzHostFrame* frame) {
    qzFrameRect d = frame->dirty;
    frame->dirty = {0, 0, 0, 0};
    return d;
}

void FrameFill(qzHostFrame* frame, qzFrameRect r, uint32_t rgb) {
    if (!FrameClip(*frame, &r)) return;
    uint32_t value = QZ_FRAME_BLACK | (rgb & 0xFFFFFFu);
    for (int32_t y = r.y; y < r.y + r.height; y++) {
        uint32_t* row = &frame->pixels[size_t(y) * frame->width + r.x];
        std::fill(row, row + r.width, value);
    }
    FrameMarkDirty(frame, r);
}

void FramePlot(qzHostFrame* frame, int32_t x, int32_t y, uint32_t rgb) {
    if (x < 0 || y < 0 || x >= frame->width || y >= frame->height) return;
    frame->pixels[size_t(y) * frame->width + x] = QZ_FRAME_BLACK | (rgb & 0xFFFFFFu);
    FrameMarkDirty(frame, {x, y, 1, 1});
}

void LinePixels32(uint32_t* pixels, int32_t rowPixels, int32_t width, int32_t height, int32_t x1, int32_t y1,
                  int32_t x2, int32_t y2, uint32_t value) {
    if (!pixels || width <= 0 || height <= 0) return;
    // Walk the longer axis ("major"); the other one follows by the rounding rule.
    int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    int64_t majorStart = xMajor ? x1 : y1, minorStart = xMajor ? y1 : x1;
    int64_t majorDelta = xMajor ? dx : dy, minorDelta = xMajor ? dy : dx;
    int64_t majorStep = majorDelta < 0 ? -1 : 1, minorStep = minorDelta < 0 ? -1 : 1;
    int64_t majorLength = majorDelta < 0 ? -majorDelta : majorDelta;
    int64_t minorLength = minorDelta < 0 ? -minorDelta : minorDelta;
    int64_t majorLimit = xMajor ? width : height, minorLimit = xMajor ? height : width;
    // Steps k in [0, majorLength] whose major position lies in [0, majorLimit).
    int64_t kFirst, kLast;
    if (majorStep > 0) {
        kFirst = std::max<int64_t>(0, -majorStart);
        kLast = std::min<int64_t>(majorLength, majorLimit - 1 - majorStart);
    } else {
        kFirst = std::max<int64_t>(0, majorStart - (majorLimit - 1));
        kLast = std::min<int64_t>(majorLength, majorStart);
    }
    if (kFirst > kLast) return;
    // Minor offset at step k: floor((2 k minorLength + majorLength) / (2 majorLength)).
    int64_t denominator = 2 * std::max<int64_t>(majorLength, 1);
    // Lengths reach 2^32, so the first step's numerator needs more than 64 bits.
    __int128 numerator = __int128(2) * kFirst * minorLength + majorLength;
    int64_t q = int64_t(numerator / denominator), r = int64_t(numerator % denominator);
    for (int64_t k = kFirst; k <= kLast; k++) {
        int64_t major = majorStart + k * majorStep;
        int64_t minor = minorStart + q * minorStep;
        if (minor >= 0 && minor < minorLimit) {
            int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
            pixels[y * rowPixels + x] = value;
        }
        r += 2 * minorLength;
        while (r >= denominator) {
            r -= denominator;
            q++;
        }
    }
}

void FrameLine(qzHostFrame* frame, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
    LinePixels32(frame->pixels.data(), frame->width, frame->width, frame->height, x1, y1, x2, y2,
                 QZ_FRAME_BLACK | (rgb & 0xFFFFFFu));
    int64_t left = std::min(x1, x2), top = std::min(y1, y2);
    int64_t w = int64_t(std::max(x1, x2)) - left + 1, h = int64_t(std::max(y1, y2)) - top + 1;
    if (ClipSpan(&left, &w, frame->width) && ClipSpan(&top, &h, frame->height))
        FrameMarkDirty(frame, {int32_t(left), int32_t(top), int32_t(w), int32_t(h)});
}

uint32_t FrameReadSourcePixel(const qzFrameSource& source, int32_t x, int32_t y) {
    if (!SourceUsable(source) || x < 0 || y < 0 || x >= source.width || y >= source.height) return QZ_FRAME_BLACK;
    return ReadPixel(SourceRow(source, y) + int64_t(x) * BytesOf(source.format), source.format);
}

void FrameBlit(qzHostFrame* frame, const qzFrameSource& source, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
               int32_t width, int32_t height) {
    if (!SourceUsable(source) || width <= 0 || height <= 0) return;
    int64_t x = sx, y = sy, w = width, h = height, tx = dx, ty = dy;
    // Clip to the source, moving the target along.
    int64_t before = x;
    if (!ClipSpan(&x, &w, source.width)) return;
    tx += x - before;
    before = y;
    if (!ClipSpan(&y, &h, source.height)) return;
    ty += y - before;
    // Clip to the framebuffer, moving the source along.
    before = tx;
    if (!ClipSpan(&tx, &w, frame->width)) return;
    x += tx - before;
    before = ty;
    if (!ClipSpan(&ty, &h, frame->height)) return;
    y += ty - before;
    for (int64_t row = 0; row < h; row++) {
        uint32_t* to = &frame->pixels[size_t(ty + row) * frame->width + tx];
        ConvertRow(to, source, SourceRow(source, int32_t(y + row)), int32_t(x), int32_t(w));
    }
    FrameMarkDirty(frame, {int32_t(tx), int32_t(ty), int32_t(w), int32_t(h)});
}

namespace {

// Target columns [i0, i1) and rows [j0, j1) of a scaled blit, relative to its target origin,
// written with source column sx + i * width / scaledWidth and row sy + j * height / scaledHeight.
void ScaledRows(qzHostFrame* frame, const qzFrameSource& source, int64_t sx, int64_t sy, int64_t width, int64_t height,
                int64_t dx, int64_t dy, int64_t scaledWidth, int64_t scaledHeight, int64_t i0, int64_t i1, int64_t j0,
                int64_t j1) {
    // Clip to the source and the framebuffer.
    int64_t a, b;
    ScaledRange(sx, width, scaledWidth, source.width, &a, &b);
    i0 = std::max({i0, a, -dx});
    i1 = std::min({i1, b, frame->width - dx});
    ScaledRange(sy, height, scaledHeight, source.height, &a, &b);
    j0 = std::max({j0, a, -dy});
    j1 = std::min({j1, b, frame->height - dy});
    if (i0 >= i1 || j0 >= j1) return;
    std::vector<int32_t> columns(size_t(i1 - i0));
    for (int64_t i = i0; i < i1; i++) columns[size_t(i - i0)] = int32_t(sx + i * width / scaledWidth);
    std::vector<uint32_t> converted;
    int bytes = BytesOf(source.format);
    int64_t previousRow = -1;
    const uint32_t* previous = nullptr;
    for (int64_t j = j0; j < j1; j++) {
        int64_t sourceRow = sy + j * height / scaledHeight;
        uint32_t* to = &frame->pixels[size_t(dy + j) * frame->width + size_t(dx + i0)];
        if (sourceRow == previousRow) {
            std::memcpy(to, previous, size_t(i1 - i0) * 4);
        } else {
            const uint8_t* row = SourceRow(source, int32_t(sourceRow));
            if (source.format == PIXFMT_ARGB32) {
                const uint32_t* from = reinterpret_cast<const uint32_t*>(row);
                for (size_t c = 0; c < columns.size(); c++) to[c] = from[columns[c]] | QZ_FRAME_BLACK;
            } else {
                for (size_t c = 0; c < columns.size(); c++)
                    to[c] = ReadPixel(row + int64_t(columns[c]) * bytes, source.format);
            }
        }
        previousRow = sourceRow;
        previous = to;
    }
    FrameMarkDirty(frame, {int32_t(dx + i0), int32_t(dy + j0), int32_t(i1 - i0), int32_t(j1 - j0)});
}

// Scaled blits keep every size and position within 2^28, so that the products of the axis
// arithmetic stay far inside 64 bits; no screen comes near it.
bool ScaleArgumentsSane(std::initializer_list<int64_t> values) {
    for (int64_t v : values) {
        if (v > (int64_t(1) << 28) || v < -(int64_t(1) << 28)) return false;
    }
    return true;
}

}  // namespace

void FrameBlitScaled(qzHostFrame* frame, const qzFrameSource& source, int32_t sx, int32_t sy, int32_t width,
                     int32_t height, int32_t dx, int32_t dy, int32_t scaledWidth, int32_t scaledHeight) {
    if (!SourceUsable(source) || width <= 0 || height <= 0 || scaledWidth <= 0 || scaledHeight <= 0 ||
        !ScaleArgumentsSane({sx, sy, width, height, dx, dy, scaledWidth, scaledHeight}))
        return;
    ScaledRows(frame, source, sx, sy, width, height, dx, dy, scaledWidth, scaledHeight, 0, scaledWidth, 0,
               scaledHeight);
}

qzFrameRect FrameBlitScaledPart(qzHostFrame* frame, const qzFrameSource& source, int32_t pictureWidth,
                                int32_t pictureHeight, qzFrameRect part, int32_t dx, int32_t dy, int32_t scaledWidth,
                                int32_t scaledHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || scaledWidth <= 0 || scaledHeight <= 0 || part.width <= 0 ||
        part.height <= 0 ||
        !ScaleArgumentsSane(
            {pictureWidth, pictureHeight, part.x, part.y, part.width, part.height, dx, dy, scaledWidth, scaledHeight}))
        return {0, 0, 0, 0};
    // Target positions whose source lies in [part.x, part.x + part.width).
    int64_t i0, i1, j0, j1;
    ScaledRange(-int64_t(part.x), pictureWidth, scaledWidth, part.width, &i0, &i1);
    ScaledRange(-int64_t(part.y), pictureHeight, scaledHeight, part.height, &j0, &j1);
    if (i0 >= i1 || j0 >= j1) return {0, 0, 0, 0};
    if (SourceUsable(source))
        ScaledRows(frame, source, 0, 0, pictureWidth, pictureHeight, dx, dy, scaledWidth, scaledHeight, i0, i1, j0, j1);
    return {int32_t(dx + i0), int32_t(dy + j0), int32_t(i1 - i0), int32_t(j1 - j0)};
}
