#include "gfx/flip_pixelate.h"

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/kernels_flip.h"

namespace {

bool Fits(const qzBitMap* bm, int width, int height) { return !bm || (width <= bm->width && height <= bm->height); }

struct Planes {
    uint8_t* mask = nullptr;
    int maskBytesPerRow = 0;
    uint8_t* alpha = nullptr;
    int alphaBytesPerRow = 0;
    bool ok = true;
    Planes(qzBitMap* m, qzBitMap* a) {
        if (m) {
            mask = (uint8_t*)QueryBitMapAttr(m, BMATTR_MASKPIXELS);
            maskBytesPerRow = (int)QueryBitMapAttr(m, BMATTR_MASKBYTESPERROW);
            ok = ok && mask;
        }
        if (a) {
            alpha = (uint8_t*)QueryBitMapAttr(a, BMATTR_ALPHAPIXELS);
            alphaBytesPerRow = (int)QueryBitMapAttr(a, BMATTR_ALPHABYTESPERROW);
            ok = ok && alpha;
        }
    }
};

}  // namespace

int FlipBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, int vertical) {
    if (!bitmap || width < 1 || height < 1 || !Fits(bitmap, width, height) || !Fits(mask, width, height) ||
        !Fits(alpha, width, height))
        return ERR_WRONGUSAGE;
    BitMapLock lock(bitmap, 0);
    Planes planes(mask, alpha);
    if (!lock.ok || !planes.ok) return ERR_LOCKBMAP;
    qzFlipJob job{lock.info.pixels, width,
                  height,           lock.info.rowLength,
                  planes.mask,      planes.maskBytesPerRow,
                  planes.alpha,     planes.alphaBytesPerRow,
                  vertical ? 0 : 1, lock.info.bytesPerPixel};
    FlipPixels(&job);
    return 0;
}

int PixelateBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, int cellSize) {
    if (cellSize < 1 || !bitmap || width < 1 || height < 1 || !Fits(bitmap, width, height) ||
        !Fits(mask, width, height) || !Fits(alpha, width, height))
        return ERR_WRONGUSAGE;
    BitMapLock lock(bitmap, 0);
    Planes planes(mask, alpha);
    if (!lock.ok || !planes.ok) return ERR_LOCKBMAP;
    // Each cell reads only its own top-left pixel before writing, so source and destination can
    // be the same memory: no copies of the mask and alpha channel are needed.
    qzPixelateJob job{lock.info.pixels,
                      lock.info.pixels,
                      lock.info.rowLength,
                      lock.info.rowLength,
                      planes.mask,
                      planes.mask,
                      planes.maskBytesPerRow,
                      planes.maskBytesPerRow,
                      planes.alpha,
                      planes.alpha,
                      planes.alphaBytesPerRow,
                      planes.alphaBytesPerRow,
                      width,
                      height,
                      cellSize};
    if (lock.info.bytesPerPixel == 4)
        PixelatePixels32(&job);
    else if (lock.info.bytesPerPixel == 2)
        PixelatePixels16(&job);
    return 0;
}
