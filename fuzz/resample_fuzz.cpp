// The resampling, polygon, YUV, gradient and pen kernels and the geometry front-ends with random
// sizes, matrices (NaN, infinities and near-singular ones included), points, colour stops and pen
// settings. Buffers are sized exactly, so any read or write outside them is caught; nothing may
// hang.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "gfx/flip_pixelate.h"
#include "gfx/gradient.h"
#include "gfx/opacity_blit.h"
#include "gfx/pen.h"
#include "gfx/polygon.h"
#include "gfx/scale_bitmap.h"
#include "gfx/scale_pixels.h"
#include "gfx/transform_bitmap.h"
#include "gfx/transform_pixels.h"
#include "gfx/yuv_convert.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size, at = 0;
    uint32_t Byte() { return at < size ? data[at++] : 0; }
    uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | Byte() << 24; }
    int Size(int n) { return 1 + (int)(Byte() % (uint32_t)n); }
    int Coord() { return (int)(int8_t)Byte(); }
    // Mostly ordinary numbers, sometimes extreme or not finite.
    double Real() {
        switch (Byte() % 8) {
        case 0: return NAN;
        case 1: return (Byte() & 1) ? INFINITY : -INFINITY;
        case 2: return (double)(int32_t)Word() * 1e300;
        case 3: return (double)(int32_t)Word() * 1e-300;
        default: return (double)(int16_t)(Byte() | Byte() << 8) / 256.0;
        }
    }
};

void Scale(Reader& r) {
    const int sw = r.Size(40), sh = r.Size(40), dw = r.Size(60), dh = r.Size(60);
    const int bpp = (r.Byte() & 1) ? 4 : 2, format = (int)(r.Byte() % 16);
    std::vector<uint8_t> src((size_t)sw * sh * bpp, 0x5A), dst((size_t)dw * dh * bpp);
    const int smask = ((sw + 7 + 15) >> 3) & ~1, dmaskBpr = ((dw + 15) >> 3) & ~1;
    std::vector<uint8_t> mask((size_t)sh * smask, 0xA5), dmask((size_t)dh * dmaskBpr), alpha((size_t)sw * sh, 9),
        dalpha((size_t)dw * dh);
    qzScaleTables t{};
    if (GrowScaleTables(&t, dw, dh)) return;
    qzScaleJob j{};
    j.srcPixels = (r.Byte() & 3) ? src.data() : nullptr;
    j.dstPixels = dst.data();
    const uint32_t planes = r.Byte();
    if (planes & 1) {
        j.srcMask = mask.data();
        j.dstMask = dmask.data();
        j.srcMaskBitOffset = (int)(r.Byte() % 8);
    }
    if (planes & 2) {
        j.srcAlpha = alpha.data();
        j.dstAlpha = dalpha.data();
    }
    j.srcWidth = sw;
    j.srcHeight = sh;
    j.dstWidth = dw;
    j.dstHeight = dh;
    j.srcRowLength = sw;
    j.dstRowLength = dw;
    j.srcMaskBytesPerRow = smask;
    j.dstMaskBytesPerRow = dmaskBpr;
    j.srcAlphaBytesPerRow = sw;
    j.dstAlphaBytesPerRow = dw;
    j.smooth = (int)(r.Byte() & 1);
    j.pixelFormat = bpp == 4 ? 10 + format % 4 : format % 8;
    if (format >= 14) j.pixelFormat = format;  // formats the smooth path cannot read
    j.bytesPerPixel = bpp;
    AttachScaleTables(&j, &t);
    ScalePixels(&j);
    FreeScaleTables(&t);
}

void Transform(Reader& r) {
    const int sw = r.Size(24), sh = r.Size(24), dw = r.Size(40), dh = r.Size(40);
    std::vector<uint32_t> src((size_t)sw * sh, 0x123456), dst((size_t)dw * dh);
    const int smask = ((sw + 5 + 15) >> 3) & ~1, dmaskBpr = ((dw + 15) >> 3) & ~1;
    std::vector<uint8_t> mask((size_t)sh * smask, 0x6C), dmask((size_t)dh * dmaskBpr), alpha((size_t)sw * sh, 77),
        dalpha((size_t)dw * dh);
    qzTransformJob j{};
    j.srcPixels = src.data();
    j.dstPixels = dst.data();
    const uint32_t planes = r.Byte();
    if (planes & 1) j.srcMask = mask.data();
    if (planes & 2) j.srcAlpha = alpha.data();
    if (planes & 4) j.dstMask = dmask.data();
    if (planes & 8) j.dstAlpha = dalpha.data();
    j.srcMaskBitOffset = 5;
    j.srcWidth = j.srcRowLength = sw;
    j.srcHeight = sh;
    j.dstWidth = j.dstRowLength = dw;
    j.dstHeight = dh;
    j.srcMaskBytesPerRow = smask;
    j.dstMaskBytesPerRow = dmaskBpr;
    j.srcAlphaBytesPerRow = sw;
    j.dstAlphaBytesPerRow = dw;
    j.a = r.Real();
    j.b = r.Real();
    j.c = r.Real();
    j.d = r.Real();
    j.e = r.Real();
    j.f = r.Real();
    j.smooth = (int)(r.Byte() & 1);
    j.pixelFormat = 10 + (int)(r.Byte() % 4);
    j.bytesPerPixel = 4;
    TransformPixels(&j);
}

void Polygons(Reader& r) {
    const int w = r.Size(64), h = r.Size(64), n = r.Size(12);
    const int bpr = ((w + 15) >> 3) & ~1;
    std::vector<uint8_t> mask((size_t)h * bpr);
    std::vector<qzPoint> p(n), a(4 * n + 8), b(4 * n + 8);
    for (qzPoint& q : p) q = {(int32_t)(r.Byte() & 1 ? (int32_t)r.Word() : r.Coord()), (int32_t)r.Coord()};
    std::vector<int32_t> crossings(n);
    FillMaskPolygonSpans(mask.data(), bpr, h, crossings.data(), p.data(), n);
    // The four clipping passes of the effects, then the fill of what is left.
    int count = ClipPolygonAgainstEdge(n, p.data(), a.data(), 0, CLIPEDGE_LEFT);
    count = ClipPolygonAgainstEdge(count, a.data(), b.data(), 0, CLIPEDGE_TOP);
    count = ClipPolygonAgainstEdge(count, b.data(), a.data(), w - 1, CLIPEDGE_RIGHT);
    count = ClipPolygonAgainstEdge(count, a.data(), b.data(), h - 1, CLIPEDGE_BOTTOM);
    if (count > 0) {
        std::vector<int32_t> more((size_t)count);
        FillMaskPolygonSpans(mask.data(), bpr, h, more.data(), b.data(), count);
    }
    std::vector<qzPoint> ellipse(361 * 2 + 1);
    BuildEllipsePoints(ellipse.data(), (int32_t)r.Word(), (int32_t)r.Word(), r.Coord() + 180, r.Coord() + 180);
}

void Yuv(Reader& r) {
    const int sw = r.Size(33), sh = r.Size(33), dw = r.Size(50), dh = r.Size(50);
    const int format = (int)(r.Byte() % 16), bpp = (int)(r.Byte() % 5);
    std::vector<uint8_t> y((size_t)sw * sh, 100), u((size_t)((sw + 1) / 2) * ((sh + 1) / 2), 50), v(u.size(), 200);
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int pitches[3] = {sw, (sw + 1) / 2, (sw + 1) / 2};
    std::vector<uint8_t> dst((size_t)std::max(sw * sh, dw * dh) * 4);
    qzYuvJob j{planes, pitches, dst.data(), sw, sh, dw, dh, 0, format, bpp};
    j.dstStride = sw;
    ConvertYUVToPixels(&j);
    j.dstStride = dw;
    ScaleYUVToPixels(&j);
}

void Gradient(Reader& r) {
    const int w = r.Size(40), h = r.Size(40);
    const int bpp = (r.Byte() & 1) ? 4 : 2;
    std::vector<uint8_t> px((size_t)w * h * bpp);
    qzGradient g;
    InitGradientSettings(&g);
    g.style = 2 + (int)(r.Byte() % 4);
    g.startColor = r.Word();
    g.endColor = r.Word();
    g.angle = (int32_t)r.Word();
    g.centerX = r.Real();
    g.centerY = r.Real();
    g.balance = r.Real();
    g.border = r.Real();
    const int stops = (int)(r.Byte() % 6);
    for (int i = 0; i < stops; i++) g.stops.push_back({r.Word(), r.Real()});
    qzGradientJob j{px.data(), bpp, (int)(r.Byte() % 16), 0, 0, w, h, w, &g};
    RenderGradient(&j);
}

void Pen(Reader& r) {
    const int w = r.Size(40), h = r.Size(40);
    std::vector<uint32_t> px((size_t)w * h);
    const int mbpr = ((w + 15) >> 3) & ~1;
    std::vector<uint8_t> mask((size_t)h * mbpr), alpha((size_t)w * h);
    qzPenTarget pen{};
    pen.pixels = px.data();
    pen.rowLength = w;
    pen.bytesPerPixel = 4;
    pen.pixelFormat = 10 + (int)(r.Byte() % 4);
    pen.maskTarget = (r.Byte() & 1) ? mask.data() : nullptr;
    pen.maskBytesPerRow = mbpr;
    pen.alphaTarget = (r.Byte() & 1) ? alpha.data() : nullptr;
    pen.alphaBytesPerRow = w;
    pen.penWidth = (r.Byte() & 1) ? (int)(r.Word() >> 1) : r.Size(9);
    pen.color = r.Word();
    pen.opacity = (int)r.Byte();
    pen.penOpacity = (int)r.Byte();
    pen.maskMode = (int)(r.Byte() % 7);
    pen.clip = 1;  // callers without a clip rectangle keep their points inside themselves
    pen.clipWidth = w;
    pen.clipHeight = h;
    auto coord = [&]() { return (r.Byte() & 1) ? (int)r.Word() : r.Coord(); };
    const int x1 = coord(), y1 = coord(), x2 = coord(), y2 = coord();
    DrawPenLine(&pen, x1, y1, x2, y2);
    DrawThickPenLine(&pen, x1, y1, x2, y2);
    const int mw = r.Size(8), mh = r.Size(8);
    std::vector<uint8_t> map((size_t)mw * mh, (uint8_t)r.Byte());
    PlotCoverageMap(map.data(), r.Coord(), r.Coord(), &pen, mw, mh, mw, (int)(r.Byte() & 1));
}

void FrontEnds(Reader& r) {
    const int w = r.Size(24), h = r.Size(24);
    qzBitMap* bm = CreateBitMap(w, h, 0, nullptr);
    qzBitMap* mask = (r.Byte() & 1) ? CreateMaskBitMap(bm, w, h, 0, nullptr, 0) : nullptr;
    qzBitMap* alpha = (r.Byte() & 1) ? CreateAlphaBitMap(w, h, 0, nullptr, 0) : nullptr;
    qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
    auto drop = [&]() {
        DeleteBitMap(b);
        DeleteMaskBitMap(m);
        DeleteAlphaBitMap(a);
        b = m = a = nullptr;
    };
    switch (r.Byte() % 6) {
    case 0:
        ScaleBitMap(bm, mask, alpha, r.Coord(), r.Coord(), nullptr, r.Coord(), r.Coord(), r.Coord(), r.Coord(),
                    (int)(r.Byte() & 1), &b, &m, &a);
        break;
    case 1: {
        const double matrix[4] = {r.Real(), r.Real(), r.Real(), r.Real()};
        int bw = 0, bh = 0;
        GetMatrixBounds(w, h, matrix, &bw, &bh);
        if ((int64_t)bw * bh <= 1 << 16)
            TransformBitMap(bm, mask, alpha, w, h, matrix, (int)(r.Byte() & 1), &b, &m, &a);
        int x, y, ww, hh;
        GetTransformedRectBounds(r.Coord(), r.Coord(), w, h, r.Real(), r.Real(), matrix, &x, &y, &ww, &hh, nullptr,
                                 nullptr);
        break;
    }
    case 2:
        CopyBitMap(bm, mask, alpha, r.Coord(), r.Coord(), r.Coord(), r.Coord(), (int)(r.Byte() & 1), &b, &m, &a);
        break;
    case 3: FlipBitMap(bm, mask, alpha, r.Coord(), r.Coord(), (int)(r.Byte() & 1)); break;
    case 4: PixelateBitMap(bm, mask, alpha, r.Coord(), r.Coord(), r.Coord()); break;
    default: {
        qzBitMap* other = CreateBitMap(r.Size(24), r.Size(24), 0, nullptr);
        BlitBitMapWithOpacity(other, bm, mask, r.Coord(), r.Coord(), r.Coord(), r.Coord(), r.Coord(), r.Coord(),
                              (int)r.Byte(), alpha, w, h);
        DeleteBitMap(other);
        break;
    }
    }
    drop();
    DeleteBitMap(bm);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r{data, size};
    switch (r.Byte() % 7) {
    case 0: Scale(r); break;
    case 1: Transform(r); break;
    case 2: Polygons(r); break;
    case 3: Yuv(r); break;
    case 4: Gradient(r); break;
    case 5: Pen(r); break;
    default: FrontEnds(r); break;
    }
    FreeScaleBitMapTables();
    return 0;
}
