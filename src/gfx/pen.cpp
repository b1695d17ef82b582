#include "gfx/pen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "gfx/mask_bits.h"
#include "gfx/pixel_access.h"

using namespace pixel_access;

namespace {

template <int F>
void WritePenColour(qzPenTarget* pen, uint8_t* dst, const uint8_t* texel) {
    constexpr int bpp = FormatBytes(F);
    uint32_t colour = pen->color;
    if (texel) {
        colour = bpp == 4 ? Load32(texel) : Load16(texel);
        if (pen->opacity != 255 && !pen->alphaTarget) {
            int r, g, b;
            ReadRGB<F>(texel, r, g, b);
            pen->blendRed = r;
            pen->blendGreen = g;
            pen->blendBlue = b;
        }
    }
    if (pen->opacity == 255 || pen->alphaTarget) {
        if constexpr (bpp == 4)
            Store32(dst, colour);
        else
            Store16(dst, (uint16_t)colour);
        return;
    }
    int r, g, b;
    ReadRGB<F>(dst, r, g, b);
    const int o = pen->opacity;
    r += (o * (pen->blendRed - r)) >> 8;
    g += (o * (pen->blendGreen - g)) >> 8;
    b += (o * (pen->blendBlue - b)) >> 8;
    WriteRGB<F>(dst, r, g, b);
}

void ApplyMaskMode(uint8_t* row, int x, int mode) {
    switch (mode) {
    case 0:
    case 2:
    case 5: SetMaskBit(row, x); break;
    case 1: ClearMaskBit(row, x); break;
    case 3: row[x >> 3] ^= (uint8_t)(0x80 >> (x & 7)); break;
    default: break;
    }
}

int ScaleByPen(const qzPenTarget* pen, int opacity) {
    return pen->penOpacity != 255 ? opacity * pen->penOpacity / 255 : opacity;
}

void PlotAt(qzPenTarget* pen, int x, int y, int opacity) {
    pen->opacity = opacity;
    PlotPenPixel(pen, x, y);
}

}  // namespace

void PlotPenPixel(qzPenTarget* pen, int x, int y) {
    if (pen->clip) {
        if (x < pen->clipX || y < pen->clipY || (int64_t)x >= (int64_t)pen->clipX + pen->clipWidth ||
            (int64_t)y >= (int64_t)pen->clipY + pen->clipHeight)
            return;
        if (pen->clipMask &&
            !GetMaskBit(pen->clipMask + (int64_t)(y - pen->clipY) * pen->clipMaskBytesPerRow, x - pen->clipX))
            return;
    }
    const int bpp = pen->bytesPerPixel;
    if (pen->pixels && (bpp == 2 || bpp == 4)) {
        uint8_t* dst = (uint8_t*)pen->pixels + ((int64_t)y * pen->rowLength + x) * bpp;
        const uint8_t* texel = pen->texturePixels
                                   ? (const uint8_t*)pen->texturePixels + ((int64_t)y * pen->textureRowLength + x) * bpp
                                   : nullptr;
        int format = pen->pixelFormat;
        if (bpp == 4 && !(format >= 10 && format <= 13)) format = 10;
        if (bpp == 2 && !(format >= 0 && format <= 7)) format = 4;
        DispatchRgbFormat(format, [&](auto f) { WritePenColour<decltype(f)::value>(pen, dst, texel); });
    }
    if (pen->maskTarget) ApplyMaskMode(pen->maskTarget + (int64_t)y * pen->maskBytesPerRow, x, pen->maskMode);
    if (pen->alphaTarget) pen->alphaTarget[(int64_t)y * pen->alphaBytesPerRow + x] = (uint8_t)pen->opacity;
}

void DrawPenLine(qzPenTarget* pen, int x1, int y1, int x2, int y2) {
    if (x1 == x2 && y1 == y2) {
        PlotAt(pen, x1, y1, pen->penOpacity);
        return;
    }
    // Walk the major axis (y when |dx| <= |dy|) from its lower end; the minor coordinate is a
    // 16.16 accumulator whose fraction splits 255 between the pixel and the next one across.
    const bool steep = std::llabs((int64_t)x2 - x1) <= std::llabs((int64_t)y2 - y1);
    int64_t major0 = steep ? y1 : x1, minor0 = steep ? x1 : y1;
    int64_t major1 = steep ? y2 : x2, minor1 = steep ? x2 : y2;
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    const int64_t slope = ((minor1 - minor0) * 65536) / (major1 - major0);
    int64_t first = major0, last = major1;
    if (pen->clip) {  // steps outside the clip rectangle's major range plot nothing: skip them
        const int64_t lo = steep ? pen->clipY : pen->clipX;
        const int64_t hi = lo + (steep ? pen->clipHeight : pen->clipWidth) - 1;
        first = std::max(first, lo);
        last = std::min(last, hi);
    }
    int64_t acc = minor0 * 65536 + (first - major0) * slope;
    for (int64_t major = first; major <= last; major++, acc += slope) {
        const int w = (int)((acc >> 8) & 255);
        const int64_t minor = acc >> 16;
        if (steep) {
            PlotAt(pen, (int)minor, (int)major, ScaleByPen(pen, 255 - w));
            PlotAt(pen, (int)(minor + 1), (int)major, ScaleByPen(pen, w));
        } else {
            PlotAt(pen, (int)major, (int)minor, ScaleByPen(pen, 255 - w));
            PlotAt(pen, (int)major, (int)(minor + 1), ScaleByPen(pen, w));
        }
    }
}

void DrawThickPenLine(qzPenTarget* pen, int x1, int y1, int x2, int y2) {
    const int64_t adx = std::llabs((int64_t)x2 - x1), ady = std::llabs((int64_t)y2 - y1);
    if (adx == 0 && ady == 0) {
        PlotPenPixel(pen, x1, y1);
        return;
    }
    const bool steep = adx < ady;
    const double angle = std::atan2((double)ady, (double)adx);
    const double across = steep ? std::sin(angle) : std::cos(angle);
    int64_t run = across != 0 ? (int64_t)(pen->penWidth / across) : 1;
    if (run <= 0) run = 1;
    const int64_t half = run / 2;
    // Walk the major axis from its lower end; the minor coordinate steps toward the other end.
    int64_t major0 = steep ? y1 : x1, minor0 = steep ? x1 : y1;
    int64_t major1 = steep ? y2 : x2, minor1 = steep ? x2 : y2;
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    const int64_t dMajor = steep ? ady : adx, dMinor = steep ? adx : ady;
    const int64_t minorStep = minor1 > minor0 ? 1 : -1;
    // With a clip rectangle only the part of a run inside its minor range is walked, so a huge
    // pen width costs no more than the rectangle.
    const int64_t clipLo = steep ? pen->clipX : pen->clipY;
    const int64_t clipHi = clipLo + (steep ? pen->clipWidth : pen->clipHeight);
    auto plotRun = [&](int64_t major, int64_t minor) {
        int64_t from = 0, to = run;
        if (pen->clip) {
            from = std::max<int64_t>(0, clipLo - (minor - half));
            to = std::min<int64_t>(run, clipHi - (minor - half));
        }
        for (int64_t k = from; k < to; k++) {
            if (steep)
                PlotPenPixel(pen, (int)(minor - half + k), (int)major);
            else
                PlotPenPixel(pen, (int)major, (int)(minor - half + k));
        }
    };
    int64_t first = major0, last = major1;
    if (pen->clip) {  // steps outside the clip rectangle's major range plot nothing: skip them
        const int64_t lo = steep ? pen->clipY : pen->clipX;
        first = std::max(first, lo);
        last = std::min(last, lo + (steep ? pen->clipHeight : pen->clipWidth) - 1);
        if (first > last) return;
    }
    // The walk's state after n steps in closed form: n * dMinor / dMajor minor steps, rounded
    // half up, and the error left over.
    const int64_t n = first - major0;
    const int64_t steps = (int64_t)(((__int128)2 * n * dMinor + dMajor) / (2 * dMajor));
    int64_t e = (int64_t)((__int128)2 * dMinor * (n + 1) - dMajor - (__int128)2 * dMajor * steps);
    int64_t minor = minor0 + minorStep * steps;
    plotRun(first, minor);
    for (int64_t major = first + 1; major <= last; major++) {
        if (e >= 0) {
            minor += minorStep;
            e += 2 * (dMinor - dMajor);
        } else {
            e += 2 * dMinor;
        }
        plotRun(major, minor);
    }
}

void PlotCoverageMap(const uint8_t* map, int x, int y, qzPenTarget* pen, int width, int height, int mapBytesPerRow,
                     int maskFlag) {
    if (!map) return;
    const int callerOpacity = pen->opacity;
    for (int row = 0; row < height; row++) {
        const uint8_t* line = map + (int64_t)row * mapBytesPerRow;
        for (int col = 0; col < width; col++) {
            const int b = line[col];
            if (!b) continue;
            pen->opacity = maskFlag ? callerOpacity : ScaleByPen(pen, b);
            PlotPenPixel(pen, x + col, y + row);
        }
    }
    pen->opacity = callerOpacity;
}
