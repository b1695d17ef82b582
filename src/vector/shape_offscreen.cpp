// The off-screen pass of the shape renderer: outline pass, bitmaps, coverage, composition.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/error_codes.h"
#include "display/object_types.h"
#include "gfx/bitmap_lock.h"
#include "gfx/gradient.h"
#include "gfx/kernels_fill.h"
#include "gfx/mask_bits.h"
#include "gfx/pen.h"
#include "gfx/pixel_access.h"
#include "gfx/pixel_format.h"
#include "gfx/scale_bitmap.h"
#include "vector/coverage_fill.h"
#include "vector/shape_pen.h"
#include "vector/shape_render.h"

namespace {

qzShapeOutlineRenderer outlineRenderer = nullptr;

// A box side above this cannot be allocated as a colour bitmap anyway (4 bytes a pixel within
// QZ_MAX_BITMAP_BYTES); refusing it early keeps every coordinate inside 32 bits.
constexpr int64_t kMaxBoxSide = 0x1FFFFFFF;

struct CoverageOwner {
    qzCoverageImage* image = nullptr;
    ~CoverageOwner() { FreeCoverageImage(image); }
};

// The geometry of one off-screen shape: its fill list and where the parts go in the box.
struct OutlinePass {
    std::vector<qzPoint> points;  // the outline, with its box starting at 0, 0
    int64_t boxX = 0, boxY = 0, boxW = 0, boxH = 0;
    int shapeX = 0, shapeY = 0;  // where the outline's 0, 0 lies in the box
    int shadowX = 0, shadowY = 0;
    int shapeW = 0, shapeH = 0;  // size of the outline's own box
    int edge = 0, shadow = 0;
    bool antialias = false;
    int stroke = 0;           // the outline width of FILLNONE shapes, 0 for filled ones
    bool squareEdge = false;  // an untransformed plain box: its edge is the box grown square
};

int MakeOutlinePass(const qzShape* shape, const qzDrawState* ds, int x, int y, OutlinePass* pass) {
    const qzShapeGeometry g = ShapeGeometryOf(shape);
    int first = 0;
    const int count = ShapeOutlineIntPoints(&g, shape->width, shape->height, pass->points, &first);
    if (count < 1) return ERR_WRONGUSAGE;
    const qzShapeTransform* t = shape->transform;
    const bool plainBox =
        shape->kind == SHAPE_BOX && !BoxHasRoundedCorners(shape->corners, shape->width, shape->height);
    if (t && !IsIdentityMatrix(t->matrix) && (plainBox || shape->kind == SHAPE_POLYGON)) {
        int mx, my, mw, mh;
        TransformPointList(t->matrix, t->anchorX, t->anchorY, shape->width, shape->height, pass->points.data(), count,
                           false, &mx, &my, &mw, &mh);
    }
    int minX, minY, w, h;
    NormalizePointList(pass->points.data(), count, &minX, &minY, &w, &h);
    pass->points.erase(pass->points.begin(), pass->points.begin() + first);
    pass->shapeW = w;
    pass->shapeH = h;
    pass->squareEdge = plainBox && (!t || IsIdentityMatrix(t->matrix));
    const bool filled = ds->fillStyle != FILLNONE;
    pass->edge = filled && (ds->formStyle & FORM_EDGE) ? ds->edgeSize : 0;
    pass->shadow = filled && (ds->formStyle & FORM_SHADOW) ? ds->shadowSize : 0;
    pass->antialias = (ds->formStyle & FORM_ANTIALIAS) != 0;
    pass->stroke = filled ? 0 : ds->lineWidth;
    const int e = pass->edge, s = pass->shadow, dir = ds->shadowDirection;
    int64_t bx = (int64_t)x + minX - e, by = (int64_t)y + minY - e, bw = (int64_t)w + 2 * e, bh = (int64_t)h + 2 * e;
    if (s) {
        if (dir != SHDW_NORTH && dir != SHDW_SOUTH) bw += s;
        if (dir != SHDW_EAST && dir != SHDW_WEST) bh += s;
        if (dir == SHDW_NORTH || dir == SHDW_NORTHEAST || dir == SHDW_NORTHWEST) by -= s;
        if (dir == SHDW_SOUTHWEST || dir == SHDW_WEST || dir == SHDW_NORTHWEST) bx -= s;
    }
    int offsets[4];
    GetShadowOffsets(s, dir, offsets);
    int margin = e;
    int shadowMargin = e;
    if (pass->antialias) {
        bw += 5;
        bh += 5;
        bx -= 2;
        by -= 2;
        margin += 2;
        shadowMargin += 2;
    }
    if (!filled && ds->lineWidth > 1) {
        const int half = ds->lineWidth >> 1;
        bw += ds->lineWidth;
        bh += ds->lineWidth;
        bx -= half;
        by -= half;
        margin += half;
        shadowMargin += half;
    }
    if (bw > kMaxBoxSide || bh > kMaxBoxSide) return ERR_BITMAP;
    pass->boxX = bx;
    pass->boxY = by;
    pass->boxW = bw;
    pass->boxH = bh;
    pass->shapeX = offsets[0] + margin;
    pass->shapeY = offsets[1] + margin;
    pass->shadowX = offsets[2] + shadowMargin;
    pass->shadowY = offsets[3] + shadowMargin;
    return 0;
}

// Draws the outline at (dx, dy) of the coverage image: filled, or as an outline of the stroke
// width, and with grow > 0 widened by grow pixels on every side (the edge and its shadow): a
// plain box as the box grown square, anything else as the band of the outline stroked twice grow
// wide, which rounds its corners.
void DrawPartCoverage(qzCoverageImage* image, const OutlinePass& pass, int dx, int dy, int precision, int stroke,
                      int grow) {
    if (grow > 0 && pass.squareEdge) {
        const int x0 = dx - grow, y0 = dy - grow, x1 = dx + pass.shapeW - 1 + grow, y1 = dy + pass.shapeH - 1 + grow;
        const qzPoint grown[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        FillCoveragePolygon(image, grown, 4, precision, 0);
        return;
    }
    std::vector<qzPoint> moved(pass.points);
    for (auto& p : moved) {
        p.x += dx;
        p.y += dy;
    }
    FillCoveragePolygon(image, moved.data(), (int)moved.size(), precision, stroke);
    if (grow > 0 && CoverageLastError() >= 0)
        FillCoveragePolygon(image, moved.data(), (int)moved.size(), precision, 2 * grow);
}

// The same part through the installed outline renderer, when a direct anti-aliased curve has one.
bool DrawPartOutline(qzCoverageImage* image, const qzShape* shape, int dx, int dy, int stroke, int grow) {
    if (!outlineRenderer) return false;
    qzShapeOutlineJob job{};
    job.geometry = ShapeGeometryOf(shape);
    job.width = shape->width;
    job.height = shape->height;
    job.grow = grow;
    job.lineWidth = stroke;
    job.plane = image->pixels;
    job.pitch = image->pitch;
    job.planeWidth = image->width;
    job.planeHeight = image->height;
    job.x = dx;
    job.y = dy;
    return outlineRenderer(&job);
}

struct Part {
    CoverageOwner coverage;
    uint32_t color = 0;
    const qzBitMap* pattern = nullptr;
};

// Eight coverage bytes at once: 0 when all are clear, 1 when all are full, else -1.
inline int CoverageRun(const uint8_t* c) {
    uint64_t v;
    std::memcpy(&v, c, 8);
    if (v == 0) return 0;
    if (v == ~(uint64_t)0) return 1;
    return -1;
}

// The pixel value of an RGB colour in the format, as bytes.
template <int F>
void SolidPixel(uint32_t color, uint8_t* out) {
    pixel_access::WriteRGB<F>(out, (int)((color >> 16) & 255), (int)((color >> 8) & 255), (int)(color & 255));
}

// The plot of the parts without anti-aliasing: every non-zero coverage byte takes the part's
// colour (or pattern) in the colour bitmap and sets the mask bit or writes the part's opacity
// (255 minus its transparency level) into the alpha channel; later parts cover earlier ones.
template <int F>
void FillPartRows(uint8_t* pixels, int rowLength, uint8_t* mask, int maskPitch, uint8_t* alpha, int alphaPitch,
                  const qzCoverageImage* c, uint32_t color, const uint8_t* pattern, int patternRowLength) {
    constexpr int bpp = pixel_access::FormatBytes(F);
    uint8_t solid[4] = {0, 0, 0, 0};
    SolidPixel<F>(color, solid);
    const uint8_t opacity = (uint8_t)(255 - (color >> 24));
    for (int y = 0; y < c->height; y++) {
        const uint8_t* cov = c->pixels + (int64_t)y * c->pitch;
        uint8_t* row = pixels + (int64_t)y * rowLength * bpp;
        const uint8_t* prow = pattern ? pattern + (int64_t)y * patternRowLength * bpp : nullptr;
        uint8_t* mrow = mask ? mask + (int64_t)y * maskPitch : nullptr;
        uint8_t* arow = alpha ? alpha + (int64_t)y * alphaPitch : nullptr;
        int x = 0;
        while (x < c->width) {
            if ((x & 7) == 0 && x + 8 <= c->width) {
                const int run = CoverageRun(cov + x);
                if (run == 0) {
                    x += 8;
                    continue;
                }
                if (run == 1) {
                    if (prow)
                        std::memcpy(row + (int64_t)x * bpp, prow + (int64_t)x * bpp, 8 * bpp);
                    else
                        for (int i = 0; i < 8; i++) std::memcpy(row + (int64_t)(x + i) * bpp, solid, bpp);
                    if (mrow) mrow[x >> 3] = 0xFF;
                    if (arow) std::memset(arow + x, opacity, 8);
                    x += 8;
                    continue;
                }
            }
            if (cov[x]) {
                std::memcpy(row + (int64_t)x * bpp, prow ? prow + (int64_t)x * bpp : solid, bpp);
                if (mrow) SetMaskBit(mrow, x);
                if (arow) arow[x] = opacity;
            }
            x++;
        }
    }
}

int FillShapeCoverage(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, Part* parts, int count) {
    BitMapLock colour(bitmap, 0), maskLock(mask, 0), alphaLock(alpha, 0);
    if (!colour.ok || (mask && !maskLock.ok) || (alpha && !alphaLock.ok)) return ERR_LOCKBMAP;
    for (int i = 0; i < count; i++) {
        const Part& part = parts[i];
        const qzCoverageImage* c = part.coverage.image;
        if (!c) continue;
        if (c->width > colour.info.width || c->height > colour.info.height) return ERR_LOCKBMAP;
        BitMapLock pattern(part.pattern, LOCKF_READONLY);
        const bool usePattern = pattern.ok && pattern.info.pixelFormat == colour.info.pixelFormat &&
                                pattern.info.width >= c->width && pattern.info.height >= c->height;
        pixel_access::DispatchRgbFormat(colour.info.pixelFormat, [&](auto f) {
            FillPartRows<decltype(f)::value>(
                (uint8_t*)colour.info.pixels, colour.info.rowLength, mask ? (uint8_t*)maskLock.info.pixels : nullptr,
                maskLock.info.rowLength, alpha ? (uint8_t*)alphaLock.info.pixels : nullptr, alphaLock.info.rowLength, c,
                part.color, usePattern ? (const uint8_t*)pattern.info.pixels : nullptr, pattern.info.rowLength);
        });
    }
    return 0;
}

template <int F>
void ComposeRows(uint8_t* pixels, int rowLength, uint8_t* alpha, int alphaPitch, const qzCoveragePart& part,
                 const uint8_t* pattern, int patternRowLength, int width, int height) {
    using namespace pixel_access;
    constexpr int bpp = FormatBytes(F);
    const int level = 255 - (int)(part.color >> 24);
    const int pr = (int)((part.color >> 16) & 255), pg = (int)((part.color >> 8) & 255), pb = (int)(part.color & 255);
    uint8_t solid[4] = {0, 0, 0, 0};
    SolidPixel<F>(part.color, solid);
    const int x0 = std::max(0, part.x), y0 = std::max(0, part.y);
    const int x1 = std::min(width, part.x + part.width), y1 = std::min(height, part.y + part.height);
    for (int y = y0; y < y1; y++) {
        const uint8_t* cov = part.coverage + (int64_t)(y - part.y) * part.pitch - part.x;
        uint8_t* row = pixels + (int64_t)y * rowLength * bpp;
        uint8_t* arow = alpha + (int64_t)y * alphaPitch;
        const uint8_t* prow = pattern ? pattern + (int64_t)y * patternRowLength * bpp : nullptr;
        int x = x0;
        while (x < x1) {
            // Whole runs of clear or (for an opaque part) full coverage at once.
            if (x + 8 <= x1) {
                const int run = CoverageRun(cov + x);
                if (run == 0) {
                    x += 8;
                    continue;
                }
                if (run == 1 && level == 255) {
                    if (prow)
                        std::memcpy(row + (int64_t)x * bpp, prow + (int64_t)x * bpp, 8 * bpp);
                    else
                        for (int i = 0; i < 8; i++) std::memcpy(row + (int64_t)(x + i) * bpp, solid, bpp);
                    std::memset(arow + x, 255, 8);
                    x += 8;
                    continue;
                }
            }
            const int c = cov[x];
            const int o = level == 255 ? c : (c * level + 127) / 255;
            if (!o) {
                x++;
                continue;
            }
            int sr = pr, sg = pg, sb = pb;
            if (prow) ReadRGB<F>(prow + (int64_t)x * bpp, sr, sg, sb);
            uint8_t* p = row + (int64_t)x * bpp;
            const int a = arow[x];
            if (o == 255 || a == 0) {
                WriteRGB<F>(p, sr, sg, sb);
                arow[x] = (uint8_t)o;
                x++;
                continue;
            }
            // Source over: what lies below keeps a * (255 - o) / 255 of its weight.
            const int below = (a * (255 - o) + 127) / 255;
            const int total = o + below;
            int dr, dg, db;
            ReadRGB<F>(p, dr, dg, db);
            WriteRGB<F>(p, (sr * o + dr * below + total / 2) / total, (sg * o + dg * below + total / 2) / total,
                        (sb * o + db * below + total / 2) / total);
            arow[x] = (uint8_t)std::min(total, 255);
            x++;
        }
    }
}

int RenderPattern(VmState* state, qzBitMap* pattern, const qzDrawState* ds, const qzShapeTransform* transform, int x,
                  int y, int width, int height) {
    if (ds->fillStyle == FILLTEXTURE) return FillTextureRect(state, pattern, x, y, width, height, ds, transform);
    BitMapLock lock(pattern, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    qzGradientJob job{};
    job.pixels = lock.info.pixels;
    job.bytesPerPixel = lock.info.bytesPerPixel;
    job.pixelFormat = lock.info.pixelFormat;
    job.x = x;
    job.y = y;
    job.width = width;
    job.height = height;
    job.rowLength = lock.info.rowLength;
    job.gradient = &ds->gradient;
    RenderGradient(&job);
    return 0;
}

void ClearBitmap(qzBitMap* bitmap) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return;
    const int64_t bytes = (int64_t)lock.info.rowLength * lock.info.bytesPerPixel;
    for (int y = 0; y < lock.info.height; y++) std::memset((uint8_t*)lock.info.pixels + y * bytes, 0, (size_t)bytes);
}

// Every pixel of the bitmap in the RGB of the colour.
void FillSolid(qzBitMap* bitmap, uint32_t color) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return;
    const uint32_t pixel = ConvertARGBToPixel(color & 0xFFFFFF, lock.info.pixelFormat, 0);
    if (lock.info.bytesPerPixel == 4)
        FillRect32(lock.info.pixels, lock.info.rowLength, 0, 0, lock.info.width, lock.info.height, pixel);
    else if (lock.info.bytesPerPixel == 2)
        FillRect16(lock.info.pixels, lock.info.rowLength, 0, 0, lock.info.width, lock.info.height, pixel);
}

// Coverage bytes times level / 255.
void ScaleCoverage(qzCoverageImage* image, int level) {
    uint8_t table[256];
    for (int i = 0; i < 256; i++) table[i] = (uint8_t)((i * level + 127) / 255);
    for (int y = 0; y < image->height; y++) {
        uint8_t* row = image->pixels + (int64_t)y * image->pitch;
        for (int x = 0; x < image->width; x++) row[x] = table[row[x]];
    }
}

// A mask with a bit set for every non-zero coverage byte, or an alpha channel with the opacity
// there.
int CoverageToPlane(const qzCoverageImage* image, qzBitMap* mask, qzBitMap* alpha, int opacity) {
    BitMapLock lock(mask ? mask : alpha, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    for (int y = 0; y < image->height; y++) {
        const uint8_t* cov = image->pixels + (int64_t)y * image->pitch;
        uint8_t* row = (uint8_t*)lock.info.pixels + (int64_t)y * lock.info.rowLength;
        if (!mask) {
            for (int x = 0; x < image->width; x++) row[x] = cov[x] ? (uint8_t)opacity : 0;
            continue;
        }
        for (int x = 0; x < image->width; x += 8) {
            uint8_t bits = 0;
            for (int i = 0; i < 8 && x + i < image->width; i++)
                if (cov[x + i]) bits |= (uint8_t)(0x80 >> i);
            row[x >> 3] = bits;
        }
    }
    return 0;
}

}  // namespace

qzShapeGeometry ShapeGeometryOf(const qzShape* shape) {
    qzShapeGeometry g{};
    g.kind = shape->kind;
    g.rx = shape->rx;
    g.ry = shape->ry;
    g.startAngle = shape->startAngle;
    g.endAngle = shape->endAngle;
    g.clockwise = shape->clockwise;
    std::copy(shape->corners, shape->corners + 4, g.corners);
    g.points = shape->points;
    g.count = shape->count;
    g.transform = shape->transform;
    return g;
}

void FreeShapeBitmaps(qzShapeBitmaps* bitmaps) {
    DeleteBitMap(bitmaps->bitmap);
    DeleteMaskBitMap(bitmaps->mask);
    DeleteAlphaBitMap(bitmaps->alpha);
    bitmaps->bitmap = bitmaps->mask = bitmaps->alpha = nullptr;
}

void GetShadowOffsets(int size, int direction, int offsets[4]) {
    offsets[0] = offsets[1] = offsets[2] = offsets[3] = 0;
    if (size == 0) return;
    if (direction >= 5 && direction <= 7) offsets[0] = size;
    if (direction == 0 || direction == 1 || direction == 7) offsets[1] = size;
    if (direction >= 1 && direction <= 3) offsets[2] = size;
    if (direction >= 3 && direction <= 5) offsets[3] = size;
}

int ComposeShapeCoverage(qzBitMap* bitmap, qzBitMap* alpha, const qzCoveragePart* parts, int count) {
    BitMapLock colour(bitmap, 0), alphaLock(alpha, 0);
    if (!colour.ok || !alphaLock.ok) return ERR_LOCKBMAP;
    const int width = std::min(colour.info.width, alphaLock.info.width);
    const int height = std::min(colour.info.height, alphaLock.info.height);
    for (int i = 0; i < count; i++) {
        const qzCoveragePart& part = parts[i];
        if (!part.coverage) continue;
        BitMapLock pattern(part.pattern, LOCKF_READONLY);
        const bool usePattern = pattern.ok && pattern.info.pixelFormat == colour.info.pixelFormat &&
                                pattern.info.width >= width && pattern.info.height >= height;
        pixel_access::DispatchRgbFormat(colour.info.pixelFormat, [&](auto f) {
            ComposeRows<decltype(f)::value>((uint8_t*)colour.info.pixels, colour.info.rowLength,
                                            (uint8_t*)alphaLock.info.pixels, alphaLock.info.rowLength, part,
                                            usePattern ? (const uint8_t*)pattern.info.pixels : nullptr,
                                            pattern.info.rowLength, width, height);
        });
    }
    return 0;
}

int RenderShapeOffscreen(VmState* state, const qzShape* shape, const qzDrawState* ds, int x, int y,
                         qzShapeBitmaps* out) {
    OutlinePass pass;
    if (int error = MakeOutlinePass(shape, ds, x, y, &pass)) return error;
    const uint32_t shapeColor = shape->color;
    const uint32_t edgeColor = ds->edgeColor, shadowColor = ds->shadowColor;
    const bool translucent =
        (shapeColor >> 24) || (pass.edge && (edgeColor >> 24)) || (pass.shadow && (shadowColor >> 24));
    const bool patterned = ds->fillStyle == FILLGRADIENT || ds->fillStyle == FILLTEXTURE;
    // A shape without shadow and edge is one part: its colour (or pattern) fills the whole colour
    // bitmap, and its coverage alone makes the mask or alpha channel.
    const bool single = !pass.shadow && !pass.edge;
    const int w = (int)pass.boxW, h = (int)pass.boxH;
    MadeBitMaps made;
    made.bitmap = CreateBitMap(w, h, 0, nullptr);
    if (!made.bitmap) return ERR_BITMAP;
    if (single && !patterned)
        FillSolid(made.bitmap, shapeColor);
    else
        ClearBitmap(made.bitmap);
    const bool useAlpha = pass.antialias || translucent;
    if (useAlpha) {
        made.alpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
        if (!made.alpha) return ERR_ALLOCALPHA;
    } else {
        made.mask = CreateMaskBitMap(made.bitmap, w, h, 1, nullptr, 0);
        if (!made.mask) return ERR_ALLOCMASK;
    }
    // A gradient or texture is rendered over the shape's own box and taken as the pen.
    qzBitMap* pattern = nullptr;
    MadeBitMaps patternOwner;
    if (patterned) {
        if (single) {
            pattern = made.bitmap;
        } else {
            patternOwner.bitmap = pattern = CreateBitMap(w, h, 0, nullptr);
            if (!pattern) return ERR_BITMAP;
            ClearBitmap(pattern);
        }
        if (int error =
                RenderPattern(state, pattern, ds, shape->transform, pass.shapeX, pass.shapeY, pass.shapeW, pass.shapeH))
            return error;
    }
    const int precision = pass.antialias ? 1 : 0;
    const qzShapeGeometry geometry = ShapeGeometryOf(shape);
    const bool viaOutlineRenderer = pass.antialias && !shape->offscreen && ShapeNeedsCurve(&geometry);
    auto drawCoverage = [&](qzCoverageImage* image, int dx, int dy, int stroke, int grow) -> int {
        if (viaOutlineRenderer && DrawPartOutline(image, shape, dx, dy, stroke, grow)) return 0;
        DrawPartCoverage(image, pass, dx, dy, precision, stroke, grow);
        return CoverageLastError() < 0 ? ERR_MEM : 0;
    };
    int error = 0;
    if (single && pass.antialias) {
        // The coverage is drawn straight into the alpha channel (same row pitch).
        BitMapLock alpha(made.alpha, 0);
        if (!alpha.ok || alpha.info.rowLength != CoverageRowPitch(w)) return ERR_LOCKBMAP;
        qzCoverageImage plane = {COVERAGE_IMAGE_TAG, w, h, alpha.info.rowLength, (uint8_t*)alpha.info.pixels};
        if (int e = drawCoverage(&plane, pass.shapeX, pass.shapeY, pass.stroke, 0)) return e;
        if (shapeColor >> 24) ScaleCoverage(&plane, 255 - (int)(shapeColor >> 24));
    } else if (single) {
        CoverageOwner coverage;
        coverage.image = CreateCoverageImage(w, h, nullptr, nullptr);
        if (!coverage.image) return ERR_MEM;
        if (int e = drawCoverage(coverage.image, pass.shapeX, pass.shapeY, pass.stroke, 0)) return e;
        error = CoverageToPlane(coverage.image, made.mask, made.alpha, 255 - (int)(shapeColor >> 24));
    } else {
        Part parts[3];
        auto makePart = [&](Part& part, int dx, int dy, int stroke, int grow, uint32_t color) -> int {
            part.coverage.image = CreateCoverageImage(w, h, nullptr, nullptr);
            if (!part.coverage.image) return ERR_MEM;
            part.color = color;
            return drawCoverage(part.coverage.image, dx, dy, stroke, grow);
        };
        if (pass.shadow)
            if (int e = makePart(parts[0], pass.shadowX, pass.shadowY, 0, pass.edge, shadowColor)) return e;
        if (pass.edge)
            if (int e = makePart(parts[1], pass.shapeX, pass.shapeY, 0, pass.edge, edgeColor)) return e;
        if (int e = makePart(parts[2], pass.shapeX, pass.shapeY, pass.stroke, 0, shapeColor)) return e;
        parts[2].pattern = pattern;
        if (pass.antialias) {
            qzCoveragePart compose[3];
            int n = 0;
            for (Part& part : parts) {
                const qzCoverageImage* c = part.coverage.image;
                if (!c) continue;
                compose[n++] = {c->pixels, c->pitch, 0, 0, c->width, c->height, part.color, part.pattern};
            }
            error = ComposeShapeCoverage(made.bitmap, made.alpha, compose, n);
        } else {
            error = FillShapeCoverage(made.bitmap, made.mask, made.alpha, parts, 3);
        }
    }
    if (error) return error;
    out->x = (int32_t)pass.boxX;
    out->y = (int32_t)pass.boxY;
    out->width = w;
    out->height = h;
    made.Release(&out->bitmap, &out->mask, &out->alpha);
    return 0;
}

int FillTextureRect(VmState* state, qzBitMap* bitmap, int x, int y, int width, int height, const qzDrawState* drawState,
                    const qzShapeTransform* transform) {
    qzObjectBitmaps texture;
    if (int error = GetObjectBitmaps(state, QZ_TYPE_BRUSH_OBJECT, drawState->textureBrush, 0, &texture)) return error;
    const qzBitMap* brush = texture.bitmap;
    if (!brush) return ERR_FINDBRUSH;
    MadeBitMaps scaled;
    const qzBitMap* tile = brush;
    if (transform && transform->matrix[1] == 0 && transform->matrix[2] == 0 &&
        (std::abs(transform->matrix[0]) != 1 || std::abs(transform->matrix[3]) != 1)) {
        const double sw = brush->width * std::abs(transform->matrix[0]);
        const double sh = brush->height * std::abs(transform->matrix[3]);
        if (!(sw >= 1) || !(sh >= 1)) return 0;
        if (sw > kMaxBoxSide || sh > kMaxBoxSide) return ERR_BITMAP;
        if (int error = ScaleBitMap(brush, nullptr, nullptr, 0, 0, nullptr, brush->width, brush->height, (int)sw,
                                    (int)sh, 0, &scaled.bitmap, nullptr, nullptr))
            return error;
        tile = scaled.bitmap;
    }
    BitMapLock src(tile, LOCKF_READONLY), dst(bitmap, 0);
    if (!src.ok || !dst.ok) return ERR_LOCKBMAP;
    const int bpp = dst.info.bytesPerPixel;
    if (src.info.bytesPerPixel != bpp || bpp < 1) return ERR_LOCKBMAP;
    const int tw = src.info.width, th = src.info.height;
    if (tw < 1 || th < 1) return 0;
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(dst.info.width, x + width), y1 = std::min(dst.info.height, y + height);
    const auto wrap = [](int64_t v, int t) { return (int)(((v % t) + t) % t); };
    for (int row = y0; row < y1; row++) {
        const int ty = wrap((int64_t)drawState->textureY + (row - y), th);
        const uint8_t* srow = (const uint8_t*)src.info.pixels + (int64_t)ty * src.info.rowLength * bpp;
        uint8_t* drow = (uint8_t*)dst.info.pixels + (int64_t)row * dst.info.rowLength * bpp;
        int tx = wrap((int64_t)drawState->textureX + (x0 - x), tw);
        for (int col = x0; col < x1; col++) {
            std::memcpy(drow + (int64_t)col * bpp, srow + (int64_t)tx * bpp, (size_t)bpp);
            if (++tx == tw) tx = 0;
        }
    }
    return 0;
}

void SetShapeOutlineRenderer(qzShapeOutlineRenderer renderer) { outlineRenderer = renderer; }
qzShapeOutlineRenderer GetShapeOutlineRenderer() { return outlineRenderer; }
