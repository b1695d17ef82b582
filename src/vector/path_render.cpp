// DrawPathCore and its steps: measuring through the engine, the image, the fill, the coverage with
// edge and shadow, and the delivery; DrawPathInternal and ShapeToPath. See path_render.h.
#include "vector/path_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/layer_records.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit_display.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "gfx/transform_bitmap.h"
#include "image/draw_options.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "platform/os_alloc.h"
#include "vector/draw_shape.h"
#include "vector/path_buffer.h"
#include "vector/path_layer.h"
#include "vector/shape.h"
#include "vector/shape_render.h"
#include "vector/vector_fonts.h"

namespace {

// An image side above this cannot be allocated anyway; refusing it early keeps the arithmetic in
// 32 bits.
constexpr double kMaxSide = 0x1FFFFFFF;

// One measured box: its corners and the whole pixels it covers.
struct Box {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int64_t left = 0, top = 0, width = 0, height = 0;
};

// Sizes a box for the engine: the rounded-out extents for engines that size from them, else the
// box moved to 0, 0 and rounded to nearest.
void SizeBox(const qzVectorEngine* engine, Box* b) {
    if (EngineSizesFromExtents(engine)) {
        b->left = (int64_t)std::floor(b->x1);
        b->top = (int64_t)std::floor(b->y1);
        b->width = (int64_t)std::ceil(b->x2) - b->left;
        b->height = (int64_t)std::ceil(b->y2) - b->top;
    } else {
        b->left = (int64_t)std::trunc(b->x1);
        b->top = (int64_t)std::trunc(b->y1);
        b->width = (int64_t)std::trunc(std::fabs(b->x2 - b->x1) + 0.5);
        b->height = (int64_t)std::trunc(std::fabs(b->y2 - b->y1) + 0.5);
    }
}

// The engine's extents of the path drawn with fill and width, moved by the offset and mapped by the
// matrix; false when the engine cannot measure it or the box is unusable.
bool Measure(const qzVectorEngine* engine, const qzPathRenderParams* p, int fill, int width, double ox, double oy,
             const double* matrix, Box* b) {
    *b = Box();
    if (!GetEngineExtents(engine, p->buffer, p->pathStyle, fill, width, ox, oy, matrix, &b->x1, &b->y1, &b->x2, &b->y2))
        return false;
    for (double v : {b->x1, b->y1, b->x2, b->y2})
        if (!std::isfinite(v) || std::fabs(v) > kMaxSide) return false;
    SizeBox(engine, b);
    return true;
}

// The colour bitmap filled by the fill style over the rectangle: the draw state's gradient, the
// texture brush, or the RGB of the colour.
int FillPathBitmap(VmState* state, qzBitMap* bitmap, const qzDrawState* ds, uint32_t color, int x, int y, int width,
                   int height, const double* matrix) {
    if (ds->fillStyle == FILLTEXTURE) {
        qzShapeTransform transform;
        if (matrix) std::copy(matrix, matrix + 4, transform.matrix);
        return FillTextureRect(state, bitmap, x, y, width, height, ds, &transform);
    }
    if (ds->fillStyle == FILLGRADIENT)
        FillBitmapGradient(bitmap, x, y, width, height, ds->gradient);
    else
        FillBitmapColor(bitmap, x, y, width, height, color & 0xFFFFFF);
    return 0;
}

// An alpha channel, locked for the engine to draw into.
struct Plane {
    qzBitMap* alpha = nullptr;
    ~Plane() { DeleteAlphaBitMap(alpha); }
};

// What one engine draw needs besides the plane.
struct DrawJob {
    const qzVectorEngine* engine;
    const qzPathRenderParams* params;
    int antialias;
    const double* matrix;  // null: identity
    double ax, ay;         // engines sizing from extents: the origin; others: the offset
    double bx, by;         // others: the origin
};

// The engine draws the path into the whole alpha channel.
int DrawCoverage(const DrawJob& job, qzBitMap* alpha, int fill, int lineWidth) {
    BitMapLock lock(alpha, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    const int ok = EngineDrawPath(job.engine, job.params->buffer, job.params->pathStyle, job.antialias, fill,
                                  (uint8_t*)lock.info.pixels, lock.info.rowLength, lock.info.width, lock.info.height,
                                  lineWidth, job.matrix, job.ax, job.ay, job.bx, job.by);
    return ok ? 0 : ERR_DRAWPATH;
}

// dst = max(dst, src) over src placed at (dx, dy) of dst: the outline's coverage takes in the shape's.
int MergeCoverage(qzBitMap* src, qzBitMap* dst, int dx, int dy) {
    BitMapLock s(src, LOCKF_READONLY), d(dst, 0);
    if (!s.ok || !d.ok) return ERR_LOCKBMAP;
    for (int y = std::max(0, -dy); y < s.info.height && y + dy < d.info.height; y++) {
        const uint8_t* in = (const uint8_t*)s.info.pixels + (int64_t)y * s.info.rowLength;
        uint8_t* out = (uint8_t*)d.info.pixels + (int64_t)(y + dy) * d.info.rowLength + dx;
        for (int x = std::max(0, -dx); x < s.info.width && x + dx < d.info.width; x++) out[x] = std::max(out[x], in[x]);
    }
    return 0;
}

// Alpha bytes times level / 255.
int ScaleAlpha(qzBitMap* alpha, int level) {
    BitMapLock lock(alpha, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    uint8_t table[256];
    for (int i = 0; i < 256; i++) table[i] = (uint8_t)((i * level + 127) / 255);
    for (int y = 0; y < lock.info.height; y++) {
        uint8_t* row = (uint8_t*)lock.info.pixels + (int64_t)y * lock.info.rowLength;
        for (int x = 0; x < lock.info.width; x++) row[x] = table[row[x]];
    }
    return 0;
}

// The current output gets the image at (x, y): a selected brush or picture through SafeBlt into its
// bitmap, the display through its first buffer (composed with its layers and sprites).
void BlitPathToOutput(VmState* state, qzDisplay* display, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int x,
                      int y, int width, int height) {
    qzBGPic* pic = CurrentBGPic();
    // Limited by the clip region of the drawing target, as every drawing is.
    qzBlitDisplayInfo info;
    DescribeBlitDisplay(nullptr, &info);
    const qzClipRegion* clip = info.clipRegion;
    if (display && display->outputKind != QZ_TYPE_DISPLAY && display->outputKind != QZ_TYPE_BGPIC &&
        display->outputBitmap) {
        SafeBlt(state, bitmap, 0, 0, display->outputBitmap, x, y, width, height, width, height,
                display->outputBitmap->width, display->outputBitmap->height, 0, mask, alpha, clip);
        return;
    }
    const int32_t targetWidth = pic ? pic->width : 0, targetHeight = pic ? pic->height : 0;
    if (display && display->doubleBuffer && !display->refreshBlock)
        AddRectToList(&display->rectList, x, y, width, height);
    SafeBlt(state, bitmap, 0, 0, nullptr, x, y, width, height, width, height, targetWidth, targetHeight,
            SAFEBLT_FIRSTBUFFER | SAFEBLT_REDRAWLAYERS, mask, alpha, clip);
}

}  // namespace

int CopyPathRenderParams(const qzPathRenderParams& source, qzPathRenderParams* out) {
    *out = source;
    out->buffer = nullptr;
    out->pathStyle.dashLengths = nullptr;
    out->pathStyle.dashCount = 0;
    if (source.buffer) {
        out->buffer = static_cast<uint8_t*>(OsAlloc(source.capacity, 1));
        if (!out->buffer) return ERR_MEM;
        std::memcpy(out->buffer, source.buffer, source.capacity);
    }
    if (CopyPathStyle(source.pathStyle, &out->pathStyle) != 0) {
        OsFree(out->buffer);
        out->buffer = nullptr;
        return ERR_MEM;
    }
    return 0;
}

void FreePathRenderParams(qzPathRenderParams* params) {
    OsFree(params->buffer);
    params->buffer = nullptr;
    FreePathStyleCopy(&params->pathStyle);
}

int DrawPathCore(VmState* state, int32_t x, int32_t y, qzPathRenderParams* params, const qzPathDrawTags* tags,
                 qzPathRenderOutput* out, uint32_t mode, int optionsIndex) {
    // 1. The engine and the buffer.
    qzVectorEngine* engine = params->engine ? params->engine : GetInbuiltVectorEngine();
    if (!params->buffer || PathReadU32(params->buffer) == QZ_PATHOP_END) return ERR_EMPTYPATH;
    // 2. Text records name the fonts of this engine.
    if (int error = MapTextRecordsToEngine(params->buffer, engine)) return error;
    // A selected brush, mask or alpha channel is looked up again before the first draw into it.
    if (!out && !(mode & (PATHRENDER_RERENDER | PATHRENDER_FORLAYER)))
        if (int error = UpdateSelectedOutput(state)) return error;

    // 3. The draw state of this draw; with layers on the layer draws edge, shadow and transparency.
    qzDisplay* display = CurrentDisplay();
    const bool layersOn = !out && display && display->layersEnabled;
    const bool toNewLayer = layersOn && !(mode & (PATHRENDER_RERENDER | PATHRENDER_FORLAYER));
    qzDrawState ds = params->drawState;
    uint32_t color = params->color;
    qzLayerTags stateTags;
    InitLayerTags(&stateTags);
    stateTags.effects = 0;
    if (toNewLayer) ApplyDrawStateToLayer(&ds, &stateTags, &color);
    ClampDrawState(&ds);

    // 4. Fill or stroke.
    const bool filled = ds.fillStyle != FILLNONE;
    const int edge = filled && (ds.formStyle & FORM_EDGE) ? ds.edgeSize : 0;
    const int shadow = filled && (ds.formStyle & FORM_SHADOW) ? ds.shadowSize : 0;
    const int fill = edge ? 0 : filled ? 1 : 0;
    const int lineWidth = edge ? 2 * edge : ds.lineWidth;
    const bool stroked = fill == 0;
    const int antialias = (ds.formStyle & FORM_ANTIALIAS) ? 1 : 0;

    // 5. Extents of what is drawn and of the bare path.
    Box drawn, bare;
    if (!Measure(engine, params, fill, lineWidth, 0, 0, nullptr, &drawn)) return ERR_EMPTYPATH;
    if (stroked) {
        if (!Measure(engine, params, 1, 1, 0, 0, nullptr, &bare)) bare = drawn;
        if (!EngineSizesFromExtents(engine) && !bare.width && !bare.height &&
            !Measure(engine, params, 0, 1, 0, 0, nullptr, &bare))
            bare = drawn;
    } else {
        bare = drawn;
    }
    if (drawn.width <= 0 || drawn.height <= 0) return ERR_EMPTYPATH;
    if (bare.width <= 0 || bare.height <= 0) bare = drawn;

    // 6. The draw options; with layers on a transform is left to the layer.
    qzPathDrawTags local;
    if (tags) {
        local = *tags;
    } else if (optionsIndex > 0) {
        if (int error = ParseDrawTags(state, optionsIndex, (int32_t)drawn.width, (int32_t)drawn.height, 0, 0,
                                      DefaultTransformTags()->smoothscale, &local.transform, &local.layer,
                                      QZ_DRAWTAGS_DEFAULTS))
            return error;
    } else {
        InitDrawTags(&local.transform, &local.layer, 0, 0, DefaultTransformTags()->smoothscale, 0);
    }
    if (stateTags.border.border) local.layer.border = stateTags.border;
    if (stateTags.shadow.shadow) local.layer.shadow = stateTags.shadow;
    if (stateTags.transparency) local.layer.transparency = stateTags.transparency;
    if (stateTags.effects) local.layer.effects = 1;
    const qzTransformTags& t = local.transform;
    const bool identity = IsIdentityMatrix(t.matrix) || (layersOn && !(mode & PATHRENDER_FORLAYER));
    const double* matrix = identity ? nullptr : t.matrix;

    // 7. The position: the path's origin at (x, y), its box moved by the anchor.
    int32_t targetWidth = 0, targetHeight = 0;
    if (qzBGPic* pic = CurrentBGPic()) targetWidth = pic->width, targetHeight = pic->height;
    x = ResolveXPosition(x, (int32_t)drawn.width, targetWidth, t.anchorx);
    y = ResolveYPosition(y, (int32_t)drawn.height, targetHeight, t.anchory);
    const int64_t anchorShiftX = (int64_t)std::trunc(t.anchorx * (double)drawn.width);
    const int64_t anchorShiftY = (int64_t)std::trunc(t.anchory * (double)drawn.height);

    // 8. The image: its top-left corner in the output, its size and where the bare path lies in it.
    DrawJob job{engine, params, antialias, matrix, 0, 0, 0, 0};
    int64_t left = 0, top = 0, width = drawn.width, height = drawn.height;
    int64_t bareX = bare.left - drawn.left, bareY = bare.top - drawn.top;
    Box turnedBare = bare;
    if (!matrix) {
        left = (int64_t)x + drawn.left - anchorShiftX;
        top = (int64_t)y + drawn.top - anchorShiftY;
        if (!EngineSizesFromExtents(engine)) {
            job.ax = -drawn.x1;
            job.ay = -drawn.y1;
        }
    } else if (EngineSizesFromExtents(engine)) {
        // The path turns about its anchor point (on the bare path's box).
        const double px = bare.x1 + (bare.x2 - bare.x1) * t.anchorx, py = bare.y1 + (bare.y2 - bare.y1) * t.anchory;
        Box turned;
        if (!Measure(engine, params, fill, lineWidth, -px, -py, matrix, &turned)) return ERR_EMPTYPATH;
        if (!stroked || !Measure(engine, params, 1, 1, -px, -py, matrix, &turnedBare)) turnedBare = turned;
        width = std::max<int64_t>(1, turned.width);
        height = std::max<int64_t>(1, turned.height);
        turnedBare.width = std::max<int64_t>(1, turnedBare.width);
        turnedBare.height = std::max<int64_t>(1, turnedBare.height);
        bareX = turnedBare.left - turned.left;
        bareY = turnedBare.top - turned.top;
        left = (int64_t)std::floor((double)x - (double)anchorShiftX + px + (double)turned.left + 0.5);
        top = (int64_t)std::floor((double)y - (double)anchorShiftY + py + (double)turned.top + 0.5);
        job.ax = px;
        job.ay = py;
    } else {
        // Other engines: the turned box of the image about the anchor, with room to spare.
        int turnedX = 0, turnedY = 0, turnedWidth = 0, turnedHeight = 0;
        GetTransformedRectBounds(0, 0, (int)drawn.width, (int)drawn.height, t.anchorx, t.anchory, t.matrix, &turnedX,
                                 &turnedY, &turnedWidth, &turnedHeight, nullptr, nullptr);
        width = (int64_t)turnedWidth + 32;
        height = (int64_t)turnedHeight + 32;
        left = (int64_t)x + drawn.left - anchorShiftX + turnedX;
        top = (int64_t)y + drawn.top - anchorShiftY + turnedY;
        job.ax = -drawn.x1;
        job.ay = -drawn.y1;
        job.bx = t.anchorx * (double)drawn.width - turnedX;
        job.by = t.anchory * (double)drawn.height - turnedY;
        turnedBare.width = width;
        turnedBare.height = height;
        bareX = bareY = 0;
    }
    const int64_t bareWidth = matrix ? turnedBare.width : bare.width;
    const int64_t bareHeight = matrix ? turnedBare.height : bare.height;

    const int64_t imageWidth = width, imageHeight = height;
    // 9. The shadow grows the image; the shape moves away from it.
    int offsets[4] = {0, 0, 0, 0};
    if (shadow) {
        int w32 = 0, h32 = 0;
        AddShadowGrowth(ds.shadowDirection, shadow, &w32, &h32);
        width += w32;
        height += h32;
        GetShadowOffsets(shadow, ds.shadowDirection, offsets);
        left -= offsets[0];
        top -= offsets[1];
    }
    if (width > kMaxSide || height > kMaxSide || bareWidth > kMaxSide || bareHeight > kMaxSide) return ERR_BITMAP;
    const int w = (int)width, h = (int)height;

    // 10. The colour bitmap and the alpha channel.
    MadeBitMaps made;
    made.bitmap = CreateBitMap(w, h, 0, nullptr);
    if (!made.bitmap) return ERR_BITMAP;
    made.alpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
    if (!made.alpha) return ERR_ALLOCALPHA;

    if (!edge && !shadow) {
        // 11. One part: the fill over the whole image, the coverage as its alpha channel.
        if (int error = FillPathBitmap(state, made.bitmap, &ds, color, 0, 0, w, h, matrix)) return error;
        if (int error = DrawCoverage(job, made.alpha, fill, lineWidth)) return error;
        if (out && !out->outlineOnly) {
            Plane inner;
            inner.alpha = CreateAlphaBitMap((int)bareWidth, (int)bareHeight, 1, nullptr, 0);
            if (!inner.alpha) return ERR_ALLOCALPHA;
            if (int error = DrawCoverage(job, inner.alpha, 1, 1)) return error;
            if (int error = MergeCoverage(inner.alpha, made.alpha, (int)bareX, (int)bareY)) return error;
        }
        if (color >> 24)
            if (int error = ScaleAlpha(made.alpha, 255 - (int)(color >> 24))) return error;
    } else {
        // 12. Shadow, edge and shape composed from their coverage.
        Plane shape, outline;
        shape.alpha = CreateAlphaBitMap((int)bareWidth, (int)bareHeight, 1, nullptr, 0);
        if (!shape.alpha) return ERR_ALLOCALPHA;
        if (int error = DrawCoverage(job, shape.alpha, 1, 1)) return error;
        const int sx = (int)bareX + offsets[0], sy = (int)bareY + offsets[1];
        if (edge) {
            outline.alpha = CreateAlphaBitMap((int)imageWidth, (int)imageHeight, 1, nullptr, 0);
            if (!outline.alpha) return ERR_ALLOCALPHA;
            if (int error = DrawCoverage(job, outline.alpha, 0, 2 * edge)) return error;
            if (int error = MergeCoverage(shape.alpha, outline.alpha, (int)bareX, (int)bareY)) return error;
        }
        MadeBitMaps pattern;
        const bool patterned = ds.fillStyle == FILLGRADIENT || ds.fillStyle == FILLTEXTURE;
        if (patterned) {
            pattern.bitmap = CreateBitMap(w, h, 0, nullptr);
            if (!pattern.bitmap) return ERR_MEM;
            if (int error =
                    FillPathBitmap(state, pattern.bitmap, &ds, color, sx, sy, (int)bareWidth, (int)bareHeight, matrix))
                return error;
        }
        BitMapLock shapeLock(shape.alpha, LOCKF_READONLY), outlineLock(outline.alpha, LOCKF_READONLY);
        if (!shapeLock.ok || (outline.alpha && !outlineLock.ok)) return ERR_LOCKBMAP;
        const qzLockInfo& body = edge ? outlineLock.info : shapeLock.info;
        const int bodyX = edge ? 0 : (int)bareX, bodyY = edge ? 0 : (int)bareY;
        qzCoveragePart parts[3];
        int n = 0;
        if (shadow)
            parts[n++] = {(const uint8_t*)body.pixels,
                          body.rowLength,
                          bodyX + offsets[2],
                          bodyY + offsets[3],
                          body.width,
                          body.height,
                          ds.shadowColor,
                          nullptr};
        if (edge)
            parts[n++] = {(const uint8_t*)body.pixels,
                          body.rowLength,
                          offsets[0],
                          offsets[1],
                          body.width,
                          body.height,
                          ds.edgeColor,
                          nullptr};
        parts[n++] = {(const uint8_t*)shapeLock.info.pixels,
                      shapeLock.info.rowLength,
                      sx,
                      sy,
                      shapeLock.info.width,
                      shapeLock.info.height,
                      color,
                      patterned ? pattern.bitmap : nullptr};
        if (int error = ComposeShapeCoverage(made.bitmap, made.alpha, parts, n)) return error;
    }

    params->x = (int32_t)std::clamp<int64_t>(left, INT32_MIN, INT32_MAX);
    params->y = (int32_t)std::clamp<int64_t>(top, INT32_MIN, INT32_MAX);
    params->width = w;
    params->height = h;

    // 13. Delivery.
    if (out) {
        out->x = (int32_t)(left - x + anchorShiftX);
        out->y = (int32_t)(top - y + anchorShiftY);
        out->width = w;
        out->height = h;
        made.Release(&out->bitmap, nullptr, &out->alpha);
        return 0;
    }
    if (mode & PATHRENDER_FORLAYER) return 0;
    if (toNewLayer) {
        qzPathLayerState* st = NewPathLayerState();
        if (!st) return ERR_MEM;
        if (CopyPathRenderParams(*params, &st->params) != 0) {
            FreePathLayerState(st);
            return ERR_MEM;
        }
        st->params.drawState = params->drawState;
        st->tags = local;
        st->bodyX = (int32_t)(left - x + anchorShiftX);
        st->bodyY = (int32_t)(top - y + anchorShiftY);
        // The layer places its box by the anchor from the point it is given.
        qzBitMap* bitmap = made.bitmap;
        qzBitMap* alpha = made.alpha;
        made.bitmap = made.alpha = nullptr;
        qzLayer* layer = nullptr;
        const int32_t px = params->x + (int32_t)anchorShiftX, py = params->y + (int32_t)anchorShiftY;
        if (int error =
                AddLayerForObject(state, QZ_LAYER_VECTORPATH, params->id, px, py, w, h, &local.transform, &local.layer,
                                  bitmap, nullptr, alpha, st, local.insertPos, local.addFlags, &layer))
            return error;
        // A layer that is transformed, has effects or lies below others was refreshed by the layer
        // code; one on top is drawn here.
        if (!IsIdentityMatrix(local.transform.matrix) || local.layer.effects || local.layer.insertpos ||
            local.layer.hidden || (mode & PATHRENDER_NOBLIT) || (local.addFlags & QZ_ADDLAYER_REPLACE))
            return 0;
        if (display->outputKind == QZ_TYPE_BGPIC) {
            AddRectToList(&display->rectList, params->x, params->y, w, h);
            return 0;
        }
        BlitPathToOutput(state, display, bitmap, nullptr, alpha, params->x, params->y, w, h);
        return 0;
    }
    if (mode & (PATHRENDER_RERENDER | PATHRENDER_NOBLIT) || local.layer.hidden) return 0;
    qzBitMap* mask = nullptr;
    if (int error = ApplyDrawTagFilters(&local.layer, made.bitmap, &mask, &made.alpha, w, h)) {
        DeleteMaskBitMap(mask);
        return error;
    }
    made.mask = mask;
    if (display && display->outputKind == QZ_TYPE_DISPLAY && display->layerScale && display->scaledWidth > 0 &&
        display->scaledHeight > 0 && (display->scaleX != 1 || display->scaleY != 1))
        return 0;
    BlitPathToOutput(state, display, made.bitmap, made.mask, made.alpha, params->x, params->y, w, h);
    return 0;
}

namespace {

// Draws path `id` at (x, y) with the path style, draw state, colour and vector engine of look.
int DrawPathWith(VmState* state, const qzObjectId& id, int32_t x, int32_t y, const qzPathRenderParams& look,
                 const qzPathDrawTags* tags, int optionsIndex) {
    qzPath* path = nullptr;
    if (int error = FindPath(id, &path)) return error;
    qzPathRenderParams params;
    params.id = path->header.id;
    params.buffer = path->buffer;
    params.capacity = path->capacity;
    params.pathStyle = look.pathStyle;
    params.drawState = look.drawState;
    params.color = look.color;
    params.engine = look.engine;
    return DrawPathCore(state, x, y, &params, tags, nullptr, 0, optionsIndex);
}

}  // namespace

int DrawPathInternal(VmState* state, const qzObjectId& id, int32_t x, int32_t y, uint32_t color, int optionsIndex) {
    qzPathRenderParams look;
    look.pathStyle = GetPathStyle();
    look.drawState = *GetDrawState();
    look.color = color;
    look.engine = GetCurrentVectorEngine();
    return DrawPathWith(state, id, x, y, look, nullptr, optionsIndex);
}

int DrawPathAsLayer(VmState* state, const qzObjectId& id, int32_t x, int32_t y, const qzPathRenderParams& look,
                    const qzPathDrawTags& tags) {
    return DrawPathWith(state, id, x, y, look, &tags, 0);
}

int ShapeToPath(VmState* state, int kind, int32_t x, int32_t y, uint32_t color, int optionsIndex, const double* numbers,
                int count) {
    qzPath* path = NewPathRecord(qzObjectId{0, QZ_AUTO_ID});
    if (!path) return ERR_MEM;
    // No script knows the temporary path: it leaves the list on every way out, also when drawing
    // raises an error (a bad option) or runs out of memory and unwinds through here.
    auto freePath = [state](qzPath* p) { FreePathRecord(state, p); };
    std::unique_ptr<qzPath, decltype(freePath)> owner(path, freePath);
    auto arg = [&](int i) { return i < count ? numbers[i] : 0.0; };
    int error = 0;
    switch (kind) {
    case SHAPE_BOX: {
        qzPathArg args[8] = {PathDouble(0), PathDouble(0), PathDouble(arg(0)), PathDouble(arg(1))};
        // The caller gives the corners in 0..100.
        for (int i = 0; i < 4; i++) args[4 + i] = PathU32((uint32_t)arg(2 + i));
        error = AppendPathRecord(path, QZ_PATHOP_BOX, args, 8);
        break;
    }
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE: {
        const double rx = arg(0), ry = kind == SHAPE_CIRCLE ? arg(0) : arg(1);
        const qzPathArg args[] = {PathDouble(rx), PathDouble(ry),  PathDouble(rx), PathDouble(ry),
                                  PathDouble(0),  PathDouble(360), PathU32(1)};
        error = AppendPathRecord(path, QZ_PATHOP_ARC, args, 7);
        break;
    }
    case SHAPE_ARC: {
        const double rx = arg(0), ry = arg(1);
        const qzPathArg move[] = {PathU32(0), PathDouble(rx), PathDouble(ry)};
        const qzPathArg args[] = {PathDouble(rx),
                                  PathDouble(ry),
                                  PathDouble(rx),
                                  PathDouble(ry),
                                  PathDouble(arg(2)),
                                  PathDouble(arg(3)),
                                  PathU32(arg(4) != 0 ? 1u : 0u)};
        error = AppendPathRecord(path, QZ_PATHOP_MOVE, move, 3);
        if (!error) error = AppendPathRecord(path, QZ_PATHOP_ARC, args, 7);
        break;
    }
    case SHAPE_POLYGON:
        for (int i = 0; !error && i + 1 < count; i += 2) {
            const qzPathArg point[] = {PathU32(0), PathDouble(numbers[i]), PathDouble(numbers[i + 1])};
            error = AppendPathRecord(path, i == 0 ? QZ_PATHOP_MOVE : QZ_PATHOP_LINE, point, 3);
        }
        break;
    default: break;
    }
    if (!error) error = AppendPathRecord(path, QZ_PATHOP_CLOSE, nullptr, 0);
    if (!error) error = DrawPathInternal(state, path->header.id, x, y, color, optionsIndex);
    return error;
}
