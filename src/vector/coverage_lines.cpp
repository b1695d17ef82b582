#include "vector/coverage_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

const int32_t kCoverageProfile[64] = {
    168, 177, 185, 194, 202, 210, 218, 224, 231, 236, 241, 246, 249, 252, 254, 254, 254, 254, 252, 249, 246, 241,
    236, 231, 224, 218, 210, 202, 194, 185, 177, 168, 158, 149, 140, 131, 122, 114, 105, 97,  89,  82,  75,  68,
    62,  56,  50,  45,  40,  36,  32,  28,  25,  22,  19,  16,  14,  12,  11,  9,   8,   7,   5,   5,
};

const int32_t* CoverageSlopeWeights() {
    static const struct Table {
        int32_t w[32];
        Table() {
            for (int i = 0; i < 32; i++) {
                const double t = (i + 0.5) / 32.0;
                w[i] = (int32_t)std::floor(256.0 / std::sqrt(2.0) * std::sqrt(1.0 + t * t));
            }
        }
    } table;
    return table.w;
}

const float* CoverageSineTable() {
    static const struct Table {
        float s[451];
        Table() {
            for (int i = 0; i <= 450; i++) s[i] = (float)std::sin(i * M_PI / 180.0);
            // Exact at the quarter turns, so that discs close on their own points.
            for (int i = 0; i <= 450; i += 90) s[i] = (float)((i / 90) % 2 == 0 ? 0 : ((i / 90) % 4 == 1 ? 1 : -1));
        }
    } table;
    return table.s;
}

namespace {

enum { OUT_LEFT = 1, OUT_RIGHT = 2, OUT_TOP = 4, OUT_BOTTOM = 8 };

int OutCode(int64_t x, int64_t y, int64_t right, int64_t bottom) {
    int code = 0;
    if (x < 0)
        code |= OUT_LEFT;
    else if (x > right)
        code |= OUT_RIGHT;
    if (y < 0)
        code |= OUT_TOP;
    else if (y > bottom)
        code |= OUT_BOTTOM;
    return code;
}

// Outcode clipping of an integer segment against 0..right x 0..bottom; the crossing points are
// interpolated and truncated toward zero. False when nothing of the segment is inside.
bool ClipSegment(int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2, int64_t right, int64_t bottom) {
    int c1 = OutCode(x1, y1, right, bottom), c2 = OutCode(x2, y2, right, bottom);
    for (int guard = 0; guard < 8; guard++) {
        if (!(c1 | c2)) return true;
        if (c1 & c2) return false;
        const int c = c1 ? c1 : c2;
        int64_t x = 0, y = 0;
        const __int128 dx = (__int128)x2 - x1, dy = (__int128)y2 - y1;
        if (c & OUT_TOP) {
            x = (int64_t)(x1 + dx * (0 - y1) / dy);
            y = 0;
        } else if (c & OUT_BOTTOM) {
            x = (int64_t)(x1 + dx * (bottom - y1) / dy);
            y = bottom;
        } else if (c & OUT_LEFT) {
            y = (int64_t)(y1 + dy * (0 - x1) / dx);
            x = 0;
        } else {
            y = (int64_t)(y1 + dy * (right - x1) / dx);
            x = right;
        }
        if (c == c1) {
            x1 = x;
            y1 = y;
            c1 = OutCode(x1, y1, right, bottom);
        } else {
            x2 = x;
            y2 = y;
            c2 = OutCode(x2, y2, right, bottom);
        }
    }
    return !(c1 | c2);
}

void BresenhamClipped(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t value,
                      bool fourConnected) {
    if (!ClipSegment(x1, y1, x2, y2, image->width - 1, image->height - 1)) return;
    const int64_t adx = std::llabs(x2 - x1), ady = std::llabs(y2 - y1);
    const bool xMajor = adx >= ady;
    const int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    const int sx = x2 >= x1 ? 1 : -1, sy = y2 >= y1 ? 1 : -1;
    int64_t x = x1, y = y1;
    auto set = [&]() {
        if (x >= 0 && y >= 0 && x < image->width && y < image->height) image->pixels[y * image->pitch + x] = value;
    };
    if (!fourConnected) {
        int64_t e = major - 2 * minor;
        for (int64_t i = 0; i <= major; i++) {
            set();
            const bool negative = e < 0;
            if (xMajor) {
                x += sx;
                if (negative) y += sy;
            } else {
                y += sy;
                if (negative) x += sx;
            }
            if (negative) e += 2 * major;
            e -= 2 * minor;
        }
        return;
    }
    int64_t e = 0;
    for (int64_t i = 0; i <= major + minor; i++) {
        set();
        const bool negative = e < 0;
        if (negative == xMajor) {
            y += sy;
        } else {
            x += sx;
        }
        if (negative) e += 2 * (major + minor);
        e -= 2 * minor;
    }
}

// Liang-Barsky clipping of a 16.16 segment against 0..right x 0..bottom (16.16).
bool ClipFixedSegment(int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2, int64_t right, int64_t bottom) {
    const double dx = (double)(x2 - x1), dy = (double)(y2 - y1);
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {(double)x1, (double)(right - x1), (double)y1, (double)(bottom - y1)};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
    }
    const int64_t ox = x1, oy = y1;
    if (t1 < 1) {
        x2 = std::clamp((int64_t)std::llround(ox + t1 * dx), (int64_t)0, right);
        y2 = std::clamp((int64_t)std::llround(oy + t1 * dy), (int64_t)0, bottom);
    }
    if (t0 > 0) {
        x1 = std::clamp((int64_t)std::llround(ox + t0 * dx), (int64_t)0, right);
        y1 = std::clamp((int64_t)std::llround(oy + t0 * dy), (int64_t)0, bottom);
    }
    return true;
}

inline void Accumulate(uint8_t* p, int c) {
    int d = *p;
    d += ((255 - d) * c + 127) >> 8;
    d += ((255 - d) * c + 127) >> 8;
    *p = (uint8_t)d;
}

}  // namespace

void DrawCoverageLine(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value,
                      int connectivity) {
    if (!image || !image->pixels) {
        SetCoverageError(COVERR_NULL);
        return;
    }
    if (connectivity != 0 && connectivity != 1) {
        SetCoverageError(COVERR_BADARG);
        return;
    }
    BresenhamClipped(image, x1, y1, x2, y2, (uint8_t)value, connectivity == 1);
}

void DrawCoverageSubPixelLine(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value) {
    if (!image || !image->pixels) {
        SetCoverageError(COVERR_NULL);
        return;
    }
    // A midpoint line on the exact 16.16 segment: at every whole step of the major axis between
    // the rounded ends, the pixel nearest to the segment across it.
    const bool steep = std::llabs(y2 - y1) > std::llabs(x2 - x1);
    int64_t majorStart = steep ? y1 : x1, minorStart = steep ? x1 : y1;
    int64_t majorEnd = steep ? y2 : x2, minorEnd = steep ? x2 : y2;
    if (majorStart > majorEnd) {
        std::swap(majorStart, majorEnd);
        std::swap(minorStart, minorEnd);
    }
    const int64_t dMajor = majorEnd - majorStart, dMinor = minorEnd - minorStart;
    const int64_t limit = steep ? image->height : image->width;
    const int64_t across = steep ? image->width : image->height;
    const int64_t first = std::max<int64_t>((majorStart + 32768) >> 16, 0);
    const int64_t last = std::min<int64_t>((majorEnd + 32768) >> 16, limit - 1);
    for (int64_t m = first; m <= last; m++) {
        int64_t minor = minorStart;
        if (dMajor) {
            const int64_t along = std::clamp<int64_t>(m << 16, majorStart, majorEnd) - majorStart;
            minor += (int64_t)((__int128)dMinor * along / dMajor);
        }
        const int64_t pixel = (minor + 32768) >> 16;
        if (pixel < 0 || pixel >= across) continue;
        const int64_t px = steep ? pixel : m, py = steep ? m : pixel;
        image->pixels[py * image->pitch + px] = (uint8_t)value;
    }
}

void DrawCoverageAALine(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    if (!image || !image->pixels) {
        SetCoverageError(COVERR_NULL);
        return;
    }
    if (image->width < 5 || image->height < 5) return;
    // Drawn relative to pixel (2, 2), inside 0..width - 5 x 0..height - 5.
    x1 -= 2 << 16;
    y1 -= 2 << 16;
    x2 -= 2 << 16;
    y2 -= 2 << 16;
    if (!ClipFixedSegment(x1, y1, x2, y2, (int64_t)(image->width - 5) << 16, (int64_t)(image->height - 5) << 16))
        return;
    const bool steep = std::llabs(y2 - y1) > std::llabs(x2 - x1);
    int64_t majorStart = steep ? y1 : x1, minorStart = steep ? x1 : y1;
    int64_t majorEnd = steep ? y2 : x2, minorEnd = steep ? x2 : y2;
    if (majorStart > majorEnd) {
        std::swap(majorStart, majorEnd);
        std::swap(minorStart, minorEnd);
    }
    const int64_t dMajor = majorEnd - majorStart;
    if (dMajor == 0) return;
    const int64_t slope = (int64_t)(((__int128)(minorEnd - minorStart) * 65536) / dMajor) | 1;
    const int64_t absSlope = std::llabs(slope);
    const int64_t slopeIndex = absSlope >> 11;
    const int weight = slopeIndex > 31 ? 256 : CoverageSlopeWeights()[slopeIndex];
    // The minor coordinate at the start column's boundary, plus one half.
    int64_t minor = minorStart - (((majorStart & 0xFFFF) * slope) >> 16) + 0x8000;
    const int64_t first = majorStart >> 16, last = (majorEnd >> 16) + 1;
    const int64_t count = last - first + 1;
    const int startFraction = (int)((majorStart >> 12) & 15) * 8;
    const int endFraction = (int)((majorEnd >> 12) & 15) * 8;
    for (int64_t k = 0; k < count; k++, minor += slope) {
        // End weights of the first two and last two pixels; a short line takes the smaller of the
        // weights its pixel gets from either end.
        int factor = 256;
        if (k == 0) factor = std::min(factor, 124 - startFraction);
        if (k == 1) factor = std::min(factor, 128 + 124 - startFraction);
        if (k == count - 1) factor = std::min(factor, endFraction | 4);
        if (k == count - 2) factor = std::min(factor, 128 + (endFraction | 4));
        const int w = weight * factor / 256;
        const int f = (int)((minor >> 11) & 31);
        const int64_t pixel = minor >> 16;
        const int coverage[3] = {w * kCoverageProfile[f + 32] / 256, w * kCoverageProfile[f] / 256,
                                 w * kCoverageProfile[63 - f] / 256};
        const int64_t along = first + k + 2;
        for (int j = 0; j < 3; j++) {
            const int64_t across = pixel - 1 + j + 2;
            const int64_t px = steep ? across : along, py = steep ? along : across;
            if (px < 0 || py < 0 || px >= image->width || py >= image->height) continue;
            Accumulate(image->pixels + py * image->pitch + px, coverage[j]);
        }
    }
}
