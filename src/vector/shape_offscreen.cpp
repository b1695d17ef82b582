// The off-screen pass of the shape renderer: outline pass, bitmaps, coverage, composition.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/gradient.h"
#include "gfx/pen.h"
#include "gfx/pixel_access.h"
#include "gfx/pixel_format.h"
#include "gfx/scale_bitmap.h"
#include "vector/coverage_fill.h"
#include "vector/shape_render.h"

namespace {

qzTextureBrushLookup textureLookup = nullptr;
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

void SetPenColour(qzPenTarget* pen, uint32_t color, int format) {
    pen->color = ConvertARGBToPixel(color & 0xFFFFFF, format, 0);
    pen->penOpacity = 255 - (int)(color >> 24);
    pen->opacity = pen->penOpacity;
    pen->blendRed = (int)((color >> 16) & 255);
    pen->blendGreen = (int)((color >> 8) & 255);
    pen->blendBlue = (int)(color & 255);
}

// The pen plot of the parts without anti-aliasing: every non-zero coverage byte takes the part's
// colour (or pattern) in the colour bitmap, sets the mask bit or writes the part's opacity into
// the alpha channel.
int FillShapeCoverage(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, Part* parts, int count) {
    BitMapLock colour(bitmap, 0), maskLock(mask, 0), alphaLock(alpha, 0);
    if (!colour.ok || (mask && !maskLock.ok) || (alpha && !alphaLock.ok)) return ERR_LOCKBMAP;
    for (int i = 0; i < count; i++) {
        Part& part = parts[i];
        if (!part.coverage.image) continue;
        BitMapLock pattern(part.pattern, LOCKF_READONLY);
        qzPenTarget pen{};
        pen.pixels = colour.info.pixels;
        pen.rowLength = colour.info.rowLength;
        pen.bytesPerPixel = colour.info.bytesPerPixel;
        pen.pixelFormat = colour.info.pixelFormat;
        if (pattern.ok && pattern.info.bytesPerPixel == colour.info.bytesPerPixel) {
            pen.texturePixels = pattern.info.pixels;
            pen.textureRowLength = pattern.info.rowLength;
        }
        if (mask) {
            pen.maskTarget = (uint8_t*)maskLock.info.pixels;
            pen.maskBytesPerRow = maskLock.info.rowLength;
        }
        if (alpha) {
            pen.alphaTarget = (uint8_t*)alphaLock.info.pixels;
            pen.alphaBytesPerRow = alphaLock.info.rowLength;
        }
        pen.maskMode = 2;
        SetPenColour(&pen, part.color, colour.info.pixelFormat);
        const qzCoverageImage* c = part.coverage.image;
        PlotCoverageMap(c->pixels, 0, 0, &pen, c->width, c->height, c->pitch, 0);
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
    const int x0 = std::max(0, part.x), y0 = std::max(0, part.y);
    const int x1 = std::min(width, part.x + part.width), y1 = std::min(height, part.y + part.height);
    for (int y = y0; y < y1; y++) {
        const uint8_t* cov = part.coverage + (int64_t)(y - part.y) * part.pitch - part.x;
        uint8_t* row = pixels + (int64_t)y * rowLength * bpp;
        uint8_t* arow = alpha + (int64_t)y * alphaPitch;
        for (int x = x0; x < x1; x++) {
            const int c = cov[x];
            if (!c) continue;
            const int o = level == 255 ? c : (c * level + 127) / 255;
            if (!o) continue;
            int sr = pr, sg = pg, sb = pb;
            if (pattern) ReadRGB<F>(pattern + ((int64_t)y * patternRowLength + x) * bpp, sr, sg, sb);
            uint8_t* p = row + (int64_t)x * bpp;
            const int a = arow[x];
            if (o == 255 || a == 0) {
                WriteRGB<F>(p, sr, sg, sb);
                arow[x] = (uint8_t)o;
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
    const int w = (int)pass.boxW, h = (int)pass.boxH;
    MadeBitMaps made;
    made.bitmap = CreateBitMap(w, h, 0, nullptr);
    if (!made.bitmap) return ERR_BITMAP;
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
    if (ds->fillStyle == FILLGRADIENT || ds->fillStyle == FILLTEXTURE) {
        patternOwner.bitmap = pattern = CreateBitMap(w, h, 0, nullptr);
        if (!pattern) return ERR_BITMAP;
        ClearBitmap(pattern);
        if (int error =
                RenderPattern(state, pattern, ds, shape->transform, pass.shapeX, pass.shapeY, pass.shapeW, pass.shapeH))
            return error;
    }
    const int precision = pass.antialias ? 1 : 0;
    const qzShapeGeometry geometry = ShapeGeometryOf(shape);
    const bool viaOutlineRenderer = pass.antialias && !shape->offscreen && ShapeNeedsCurve(&geometry);
    Part parts[3];
    auto makeCoverage = [&](Part& part, int dx, int dy, int stroke, int grow) -> int {
        part.coverage.image = CreateCoverageImage(w, h, nullptr, nullptr);
        if (!part.coverage.image) return ERR_MEM;
        if (viaOutlineRenderer && DrawPartOutline(part.coverage.image, shape, dx, dy, stroke, grow)) return 0;
        DrawPartCoverage(part.coverage.image, pass, dx, dy, precision, stroke, grow);
        return CoverageLastError() < 0 ? ERR_MEM : 0;
    };
    if (pass.shadow) {
        if (int error = makeCoverage(parts[0], pass.shadowX, pass.shadowY, 0, pass.edge)) return error;
        parts[0].color = shadowColor;
    }
    if (pass.edge) {
        if (int error = makeCoverage(parts[1], pass.shapeX, pass.shapeY, 0, pass.edge)) return error;
        parts[1].color = edgeColor;
    }
    if (int error = makeCoverage(parts[2], pass.shapeX, pass.shapeY, pass.stroke, 0)) return error;
    parts[2].color = shapeColor;
    parts[2].pattern = pattern;
    int error = 0;
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
    const qzBitMap* brush = nullptr;
    if (!textureLookup) return ERR_FINDBRUSH;
    if (int error = textureLookup(state, drawState->textureBrush, &brush)) return error;
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

void SetTextureBrushLookup(qzTextureBrushLookup lookup) { textureLookup = lookup; }
void SetShapeOutlineRenderer(qzShapeOutlineRenderer renderer) { outlineRenderer = renderer; }
qzShapeOutlineRenderer GetShapeOutlineRenderer() { return outlineRenderer; }
