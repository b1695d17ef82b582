// Pixel kernels and bitmap operations: random formats, sizes, rectangles, colours and modes. The
// operations that take bitmaps get rectangles as a script would pass them; the raw kernels get
// them cut to the buffers the way a front-end cuts them. Nothing may read or write outside a
// bitmap, an alpha channel, a mask or a returned buffer, and nothing may hang.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/kernels_alpha.h"
#include "gfx/kernels_blend.h"
#include "gfx/kernels_color.h"
#include "gfx/kernels_copy.h"
#include "gfx/kernels_fill.h"
#include "gfx/kernels_flip.h"
#include "gfx/kernels_flood.h"
#include "platform/os_alloc.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size, at = 0;
    uint32_t Byte() { return at < size ? data[at++] : 0; }
    uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | Byte() << 24; }
    int Small(int n) { return (int)(Byte() % (uint32_t)n); }
    // Positions and sizes around the bitmaps, negative and too large ones included.
    int Coord() { return (int)(int8_t)Byte(); }
};

// A rectangle cut to a source of sw x sh at sx, sy and a destination of dw x dh at dx, dy.
bool Clip(int& sx, int& sy, int& dx, int& dy, int& w, int& h, int sw, int sh, int dw, int dh) {
    int x0 = std::max({0, -sx, -dx}), y0 = std::max({0, -sy, -dy});
    w = std::min({w, sw - sx, dw - dx}) - x0;
    h = std::min({h, sh - sy, dh - dy}) - y0;
    sx += x0;
    dx += x0;
    sy += y0;
    dy += y0;
    return w > 0 && h > 0;
}

struct Trio {
    qzBitMap* colour = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    qzLockInfo c{}, m{}, a{};
    bool Make(int w, int h) {
        colour = CreateBitMap(w, h, 0, nullptr);
        mask = CreateMaskBitMap(colour, w, h, 1, nullptr, 0);
        alpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
        if (!colour || !mask || !alpha) return false;
        LockBitMapPixels(colour, 0, &c);
        LockBitMapPixels(mask, 0, &m);
        LockBitMapPixels(alpha, 0, &a);
        return true;
    }
    void Randomise(Reader& in) {
        uint32_t seed = in.Word();
        auto* bytes = static_cast<uint8_t*>(c.pixels);
        for (int64_t i = 0; i < (int64_t)c.rowLength * c.height * c.bytesPerPixel; i++)
            bytes[i] = (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24);
        for (int64_t i = 0; i < (int64_t)m.rowLength * m.height; i++)
            static_cast<uint8_t*>(m.pixels)[i] = (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24);
        for (int64_t i = 0; i < (int64_t)a.rowLength * a.height; i++)
            static_cast<uint8_t*>(a.pixels)[i] = (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24);
    }
    ~Trio() {
        UnlockBitMapPixels(&a);
        UnlockBitMapPixels(&m);
        UnlockBitMapPixels(&c);
        DeleteAlphaBitMap(alpha);
        DeleteMaskBitMap(mask);
        DeleteBitMap(colour);
    }
};

void* At(const qzLockInfo& lock, int x, int y) {
    return static_cast<uint8_t*>(lock.pixels) + ((int64_t)y * lock.rowLength + x) * lock.bytesPerPixel;
}

void RunKernel(Reader& in, Trio& s, Trio& d) {
    bool wide = d.c.bytesPerPixel == 4;
    int format = d.c.pixelFormat;
    int sx = in.Coord(), sy = in.Coord(), dx = in.Coord(), dy = in.Coord();
    int w = in.Coord(), h = in.Coord();
    uint32_t colour = in.Word();
    int level = (int)in.Byte();
    int op = in.Small(20);
    if (!Clip(sx, sy, dx, dy, w, h, s.c.width, s.c.height, d.c.width, d.c.height)) return;
    uint8_t* sm = static_cast<uint8_t*>(s.m.pixels);
    uint8_t* sa = static_cast<uint8_t*>(s.a.pixels);
    uint8_t* dm = static_cast<uint8_t*>(d.m.pixels);
    uint8_t* da = static_cast<uint8_t*>(d.a.pixels);
    switch (op) {
    case 0: (wide ? FillRect32 : FillRect16)(d.c.pixels, d.c.rowLength, dx, dy, w, h, colour); break;
    case 1:
        (wide ? BlendFillRect32 : BlendFillRect16)(d.c.pixels, dx, dy, w, h, colour, level, d.c.rowLength, format);
        break;
    case 2: {
        qzCopyJob job{s.c.pixels, d.c.pixels, sx, sy, dx, dy, w, h, s.c.rowLength, d.c.rowLength, 0, 0};
        (wide ? CopyPixels32 : CopyPixels16)(&job);
        break;
    }
    case 3:
        if (wide)
            CopyPixelsMasked32(s.c.pixels, d.c.pixels, sm, sx, sy, dx, dy, w, h, s.c.rowLength, s.m.rowLength,
                               d.c.rowLength, in.Small(3));
        else
            CopyPixelsMasked16(s.c.pixels, d.c.pixels, sm, sx, sy, dx, dy, w, h, s.c.rowLength, s.m.rowLength,
                               d.c.rowLength);
        break;
    case 4:
        (wide ? PaintColorThroughMask32 : PaintColorThroughMask16)(sm, d.c.pixels, sx, sy, dx, dy, w, h, s.m.rowLength,
                                                                   d.c.rowLength, colour);
        break;
    case 5:
        (wide ? MixPixels32 : MixPixels16)(At(s.c, sx, sy), At(d.c, dx, dy), sm + (int64_t)sy * s.m.rowLength, sx,
                                           s.m.rowLength, w, h, level, format, s.c.rowLength, d.c.rowLength);
        break;
    case 6:
        (wide ? AlphaBlendPixels32 : AlphaBlendPixels16)(s.c.pixels, sa, d.c.pixels, sx, sy, dx, dy, w, h,
                                                         s.c.rowLength, s.a.rowLength, d.c.rowLength, format);
        break;
    case 7: {
        std::vector<uint16_t> coverage16((size_t)s.c.width * s.c.height, (uint16_t)colour);
        qzAlphaBlitJob job{d.c.pixels,
                           dx,
                           dy,
                           d.c.rowLength,
                           w,
                           h,
                           sa,
                           sx,
                           sy,
                           s.a.rowLength,
                           da,
                           d.a.rowLength,
                           format,
                           colour,
                           in.Small(6),
                           level,
                           coverage16.data(),
                           s.c.width,
                           in.Byte() & 1 ? s.c.pixels : nullptr,
                           s.c.rowLength};
        (wide ? AlphaChannelBlit32 : AlphaChannelBlit16)(&job);
        break;
    }
    case 8: PaintAlphaThroughMask(sm, da, sx, sy, dx, dy, s.m.rowLength, d.a.rowLength, w, h, level); break;
    case 9: {
        qzAlphaRectJob job{sa, sx, sy, s.a.rowLength, da, dx, dy, d.a.rowLength, w, h, in.Small(12), level};
        CombineAlphaRect(&job);
        break;
    }
    case 10: AlphaRectToMask(sa, dm, sx, sy, dx, dy, s.a.rowLength, d.m.rowLength, w, h, in.Small(8)); break;
    case 11: FillByteRect(da, dx, dy, w, h, d.a.rowLength, level); break;
    case 12: (wide ? GrayPixels32 : GrayPixels16)(At(d.c, dx, dy), w, h, format, d.c.rowLength, level & 1); break;
    case 13: (wide ? InvertPixels32 : InvertPixels16)(At(d.c, dx, dy), w, h, d.c.rowLength); break;
    case 14: {
        uint32_t pairs[7] = {in.Word(), in.Word(), in.Word(), in.Word(), in.Word(), in.Word(), 0xFFFFFFFF};
        if (wide)
            ReplaceColors32(w, h, pairs, At(d.c, dx, dy), d.c.rowLength, in.Word());
        else
            ReplaceColors16(w, h, pairs, At(d.c, dx, dy), d.c.rowLength);
        break;
    }
    case 15:
        if (wide)
            KeyColorToMask32(At(d.c, 0, dy), dm + (int64_t)dy * d.m.rowLength, d.c.width, h, d.m.rowLength, colour,
                             d.c.rowLength, in.Word());
        else
            KeyColorToMask16(At(d.c, 0, dy), dm + (int64_t)dy * d.m.rowLength, d.c.width, h, d.m.rowLength, colour,
                             d.c.rowLength);
        break;
    case 16: {
        qzFlipJob job{d.c.pixels,    d.c.width, d.c.height,    d.c.rowLength,    dm,
                      d.m.rowLength, da,        d.a.rowLength, (int)(level & 1), d.c.bytesPerPixel};
        FlipPixels(&job);
        break;
    }
    case 17: {
        // Same size source and destination, as the pixelate front-end makes them.
        qzPixelateJob job{d.c.pixels,
                          d.c.pixels,
                          d.c.rowLength,
                          d.c.rowLength,
                          level & 1 ? dm : nullptr,
                          dm,
                          d.m.rowLength,
                          d.m.rowLength,
                          level & 2 ? da : nullptr,
                          da,
                          d.a.rowLength,
                          d.a.rowLength,
                          d.c.width,
                          d.c.height,
                          in.Coord()};
        (wide ? PixelatePixels32 : PixelatePixels16)(&job);
        break;
    }
    case 18: {
        qzFloodFillJob job{d.c.pixels, w, h, d.c.rowLength, colour, in.Word(), dx, dy};
        int x = in.Coord(), y = in.Coord();
        if (wide)
            FloodFill32(&job, x, y, in.Word());
        else
            FloodFill16(&job, x, y);
        break;
    }
    default: {
        qzClipMaskJob job{dm, sa, sm,      dx - in.Small(4), dy - in.Small(4), sx,           sy, dx, dy,
                          w,  h,  nullptr, s.m.rowLength,    d.m.rowLength,    s.a.rowLength};
        // The region mask must cover the destination rectangle from the region's origin.
        job.regionX = dx;
        job.regionY = dy;
        if (level & 1) {
            job.temporary = sa;
            job.srcAlpha = sa;
            job.temporaryBytesPerRow = s.a.rowLength;
        } else {
            job.temporary = sm;
        }
        ApplyClipMask(&job);
        break;
    }
    }
}

void RunBitMapOperation(Reader& in, Trio& s, Trio& d) {
    int x = in.Coord(), y = in.Coord(), x2 = in.Coord(), y2 = in.Coord(), w = in.Coord(), h = in.Coord();
    int value = (int)in.Byte();
    switch (in.Small(12)) {
    case 0: FillAlphaRect(d.alpha, x, y, w, h, value); break;
    case 1: MaskToAlpha(s.mask, x, y, d.alpha, x2, y2, w, h, value); break;
    case 2: BlitMaskRect(s.mask, x, y, d.alpha, x2, y2, w, h, value); break;
    case 3: AlphaToMask(s.alpha, x, y, d.mask, x2, y2, w, h, in.Small(8)); break;
    case 4: BlitAlphaRect(s.alpha, x, y, d.alpha, x2, y2, w, h, in.Small(12), value); break;
    case 5: BlitAlphaRectClipped(s.alpha, x, y, d.alpha, x2, y2, w, h, in.Small(12), value); break;
    case 6: ScaleAlphaChannel(s.alpha, d.alpha, h, value); break;
    case 7: (void)ReadBitMapPixel(in.Byte() & 1 ? d.mask : d.colour, x, y, in.Byte() & 1); break;
    case 8:
        if (w > 0 && h > 0)
            OsFree(ReadBitMapPixelsMasked(d.colour, x, y, w, h, value & 1 ? d.mask : nullptr,
                                          value & 2 ? d.alpha : nullptr, in.Word(), value & 4, 0));
        break;
    case 9: {
        std::vector<uint32_t> argb((size_t)s.c.width * s.c.height, in.Word());
        WriteARGBToBitMap(argb.data(), std::max(0, x), std::max(0, y), s.c.width * 4, d.colour, x2, y2,
                          std::min(w, s.c.width - std::max(0, x)), std::min(h, s.c.height - std::max(0, y)));
        break;
    }
    case 10: {
        std::vector<uint32_t> argb((size_t)s.c.width * s.c.height, in.Word());
        qzBitMap *bm = nullptr, *mask = nullptr, *alpha = nullptr;
        if (CreateBitMapFromARGB(argb.data(), in.Word(), s.c.width, s.c.height, s.c.width, value & 1, 2, nullptr, &bm,
                                 &mask, &alpha) == 0) {
            DeleteBitMap(bm);
            DeleteMaskBitMap(mask);
            DeleteAlphaBitMap(alpha);
        }
        break;
    }
    default: DeleteAlphaBitMap(CopyAlphaBitMap(s.alpha, std::max(1, w), std::max(1, h))); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    static const int kFormats[] = {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13};
    OsSetScreenPixelFormat(kFormats[in.Small(12)]);
    Trio source, destination;
    bool made = source.Make(1 + in.Small(40), 1 + in.Small(40)) && destination.Make(1 + in.Small(40), 1 + in.Small(40));
    OsSetScreenPixelFormat(-1);
    if (!made) return 0;
    source.Randomise(in);
    destination.Randomise(in);
    for (int steps = 0; steps < 8 && in.at < in.size; steps++) {
        if (in.Byte() & 1)
            RunKernel(in, source, destination);
        else
            RunBitMapOperation(in, source, destination);
    }
    return 0;
}
