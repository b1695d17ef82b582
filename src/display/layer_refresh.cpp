#include "display/layer_refresh.h"

#include <algorithm>
#include <cmath>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_present.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_redraw.h"
#include "display/layer_source.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "gfx/blit.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"
#include "gfx/copy_bitmap.h"
#include "gfx/safe_blt.h"

qzLayerBox UniteLayerBoxes(const qzLayerBox& a, const qzLayerBox& b) {
    if (a.width < 1 || a.height < 1) return b;
    if (b.width < 1 || b.height < 1) return a;
    const int64_t x1 = std::min(a.x, b.x), y1 = std::min(a.y, b.y);
    const int64_t x2 = std::max(int64_t(a.x) + a.width, int64_t(b.x) + b.width);
    const int64_t y2 = std::max(int64_t(a.y) + a.height, int64_t(b.y) + b.height);
    return {int32_t(x1), int32_t(y1), int32_t(std::min<int64_t>(x2 - x1, INT32_MAX)),
            int32_t(std::min<int64_t>(y2 - y1, INT32_MAX))};
}

namespace {

bool Meets(const qzLayerBox& a, const qzLayerBox& b) {
    return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 && int64_t(a.x) < int64_t(b.x) + b.width &&
           int64_t(b.x) < int64_t(a.x) + a.width && int64_t(a.y) < int64_t(b.y) + b.height &&
           int64_t(b.y) < int64_t(a.y) + a.height;
}

// The display's redraw target and the size it redraws at.
bool DisplayTarget(qzDisplay* display) { return display && display->bgpic && display->secondBuffer; }

// Moves a state's anchor point to x, y: the untransformed top-left follows the anchor over the
// source size, the drawn top-left keeps its distance to it; a line's end points move along.
void MoveStateAnchor(qzLayer* layer, qzLayerState* st, int32_t x, int32_t y) {
    const int32_t dx = st->left - st->untransformedLeft, dy = st->top - st->untransformedTop;
    if (layer->type == QZ_LAYER_LINE) {
        const int32_t mx = x - st->x, my = y - st->y;
        st->untransformedLeft += mx;
        st->untransformedTop += my;
        const qzLayerKindOps& ops = LayerKindOps(layer->type);
        if (ops.moveContent) ops.moveContent(st, mx, my);
    } else {
        st->untransformedLeft = x - int32_t(std::trunc(layer->anchorx * st->sourceWidth));
        st->untransformedTop = y - int32_t(std::trunc(layer->anchory * st->sourceHeight));
    }
    st->x = x;
    st->y = y;
    st->left = st->untransformedLeft + dx;
    st->top = st->untransformedTop + dy;
}

// Shows a rectangle of a bitmap on the display at the same place or at dx, dy: through the
// blitters when they reach displays (refresh blocks and the video recorder then apply), else
// straight through the display's presentation. scaled: the
// bitmap is the display's back buffer, shown at the display's scaled size when it scales.
void PresentToDisplay(qzDisplay* display, const qzBitMap* source, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                      int32_t width, int32_t height, bool scaled) {
    if (BlitCurrentDisplay() == display) {
        PresentBitMapRect(source, sx, sy, display, dx, dy, width, height, scaled ? uint32_t(PRESENT_SCALED) : 0u);
        return;
    }
    if (scaled)
        PresentDisplayBuffer(display, source, dx, dy, width, height, 0);
    else
        PresentDisplayRect(source, sx, sy, display, dx, dy, width, height, 0, 0, 0, nullptr, nullptr);
}

// A run of refreshed rectangles remembers this many, and a rectangle is cut into at most this
// many uncovered parts; beyond either the rectangle is simply redrawn whole.
constexpr int kRefreshRun = 64;
constexpr int kMaxUncoveredParts = 32;

// The parts of box that none of the done boxes covers, into out; -1 when they would be more than
// kMaxUncoveredParts.
int UncoveredParts(const qzLayerBox& box, const qzLayerBox* done, int doneCount, qzLayerBox* out) {
    qzLayerBox spare[kMaxUncoveredParts];
    qzLayerBox* parts = out;
    qzLayerBox* next = spare;
    int count = 1;
    parts[0] = box;
    for (int d = 0; d < doneCount && count > 0; d++) {
        const qzLayerBox& cut = done[d];
        int kept = 0;
        for (int p = 0; p < count; p++) {
            const qzLayerBox& part = parts[p];
            if (!Meets(part, cut)) {
                if (kept == kMaxUncoveredParts) return -1;
                next[kept++] = part;
                continue;
            }
            if (kept + 4 > kMaxUncoveredParts) return -1;
            const int32_t right = part.x + part.width, bottom = part.y + part.height;
            const int32_t cutRight = cut.x + cut.width, cutBottom = cut.y + cut.height;
            const int32_t top = std::max(part.y, cut.y), below = std::min(bottom, cutBottom);
            if (cut.y > part.y) next[kept++] = {part.x, part.y, part.width, cut.y - part.y};
            if (cutBottom < bottom) next[kept++] = {part.x, cutBottom, part.width, bottom - cutBottom};
            if (cut.x > part.x) next[kept++] = {part.x, top, cut.x - part.x, below - top};
            if (cutRight < right) next[kept++] = {cutRight, top, right - cutRight, below - top};
        }
        std::swap(parts, next);
        count = kept;
    }
    if (parts != out) std::copy(parts, parts + count, out);
    return count;
}

}  // namespace

void RefreshArea(VmState* state, int32_t x, int32_t y, int32_t width, int32_t height) {
    qzDisplay* display = CurrentDisplay();
    if (!display || width < 1 || height < 1) return;
    if (display->outputKind == QZ_TYPE_DISPLAY)
        RefreshDisplayRect(state, x, y, width, height);
    else if (display->outputKind == QZ_TYPE_BGPIC)
        AddRectToList(&display->rectList, x, y, width, height);
}

void RefreshAreas(VmState* state, const qzLayerBox* boxes, int32_t count) {
    qzDisplay* display = CurrentDisplay();
    if (!display) return;
    if (display->outputKind == QZ_TYPE_DISPLAY) {
        RefreshDisplayRects(state, boxes, count);
    } else if (display->outputKind == QZ_TYPE_BGPIC) {
        for (int32_t i = 0; i < count; i++)
            AddRectToList(&display->rectList, boxes[i].x, boxes[i].y, boxes[i].width, boxes[i].height);
    }
}

void RefreshDisplayRect(VmState* state, int32_t x, int32_t y, int32_t width, int32_t height) {
    const qzLayerBox box = {x, y, width, height};
    RefreshDisplayRects(state, &box, 1);
}

void RefreshDisplayRects(VmState* state, const qzLayerBox* boxes, int32_t count) {
    qzDisplay* display = CurrentDisplay();
    const qzBGPic* current = CurrentBGPic();
    if (!DisplayTarget(display) || !current) return;
    qzBitMap* buffer = display->secondBuffer;
    // The window shows what the rectangles before in the run presented: without hooks that are
    // told of every rectangle, and without scaling (which may redo the whole picture per
    // presentation), only the parts redrawn anew are presented.
    const bool presentParts = !display->hooks && !display->autoScale && !display->layerScale &&
                              (display->scaledWidth <= 0 || display->scaledHeight <= 0 ||
                               (display->scaledWidth == buffer->width && display->scaledHeight == buffer->height));
    qzLayerBox done[kRefreshRun] = {};
    int doneCount = 0;
    for (int32_t i = 0; i < count; i++) {
        int32_t x = boxes[i].x, y = boxes[i].y, width = boxes[i].width, height = boxes[i].height;
        if (width < 1 || height < 1) continue;
        if (!(int64_t(x) + width > 0 && x < current->width && int64_t(y) + height > 0 && y < current->height)) continue;
        // Cut to the picture.
        if (x < 0) width += x, x = 0;
        if (y < 0) height += y, y = 0;
        width = int32_t(std::min<int64_t>(width, int64_t(current->width) - x));
        height = int32_t(std::min<int64_t>(height, int64_t(current->height) - y));
        if (width < 1 || height < 1) continue;
        // What the rectangles before it in this run redrew is in the back buffer already: only the
        // rest is redrawn.
        const qzLayerBox box = {x, y, width, height};
        qzLayerBox parts[kMaxUncoveredParts];
        int partCount = UncoveredParts(box, done, doneCount, parts);
        if (partCount < 0) {
            parts[0] = box;
            partCount = 1;
        }
        for (int p = 0; p < partCount; p++)
            RedrawLayersRect(state, display, display->bgpic, buffer, parts[p].x, parts[p].y, parts[p].width,
                             parts[p].height, 0);
        if (presentParts) {
            for (int p = 0; p < partCount; p++)
                PresentToDisplay(display, buffer, parts[p].x, parts[p].y, parts[p].x, parts[p].y, parts[p].width,
                                 parts[p].height, true);
        } else {
            PresentToDisplay(display, buffer, x, y, x, y, width, height, true);
        }
        if (doneCount == kRefreshRun) doneCount = 0;
        done[doneCount++] = box;
    }
}

void RefreshRectList(VmState* state, const qzRectList* list) {
    if (list->full) {
        if (const qzBGPic* pic = CurrentBGPic()) RefreshDisplayRect(state, 0, 0, pic->width, pic->height);
        return;
    }
    qzLayerBox run[kRefreshRun];
    int count = 0;
    for (int32_t i = 0; i < list->count; i++) {
        const qzCornerRect& r = list->rects[i];
        if (r.deleted) continue;
        run[count++] = {r.x1, r.y1, int32_t(int64_t(r.x2) - r.x1 + 1), int32_t(int64_t(r.y2) - r.y1 + 1)};
        if (count == kRefreshRun) {
            RefreshDisplayRects(state, run, count);
            count = 0;
        }
    }
    RefreshDisplayRects(state, run, count);
}

void FlushDeferredRefresh(VmState* state, qzDisplay* display, int noRefresh) {
    if (display->bgpic)
        for (qzLayer* layer = FirstLayer(display->bgpic); layer; layer = NextLayer(layer)) layer->pending = 0;
    if (!noRefresh) {
        MergeRectList(&display->rectList);
        RefreshRectList(state, &display->rectList);
    }
    ClearRectList(&display->rectList);
}

void AddDisplayDirtyRect(qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height) {
    const qzBGPic* pic = display->bgpic;
    if (pic && x < 1 && y < 1 && int64_t(x) + width >= pic->width && int64_t(y) + height >= pic->height) {
        MarkRectListFull(&display->rectList);
        return;
    }
    AddRectToList(&display->rectList, x, y, width, height);
}

qzLayerBox GetLayerBounds(VmState* state, qzLayer* layer, qzLayerState* st) {
    qzLayerBox box = {st->left, st->top, st->width, st->height};
    double scaleX, scaleY;
    GetLayerDrawScale(CurrentDisplay(), st != layer->display, &scaleX, &scaleY);
    if (layer->border.border) {
        RenderLayerBorder(state, layer, st, scaleX, scaleY);
        if (st->border.bitmap) {
            qzLayerBox border;
            GetLayerBorderBox(layer, st, &border.x, &border.y, &border.width, &border.height);
            box = UniteLayerBoxes(box, border);
        }
    }
    if (layer->shadow.shadow) {
        qzLayerBox shadow;
        GetLayerShadowBox(layer, st, scaleX, scaleY, &shadow.x, &shadow.y, &shadow.width, &shadow.height);
        box = UniteLayerBoxes(box, shadow);
    }
    return box;
}

void AddLayerToDirtyRegion(VmState* state, qzRectList* list, qzLayer* layer) {
    const qzLayerBox box = GetLayerBounds(state, layer, layer->display);
    AddRectToList(list, box.x, box.y, box.width, box.height);
}

int IsLayerUncovered(const qzBGPic*, const qzLayer* layer) {
    const qzLayerState* st = layer->display;
    const qzLayerBox box = {st->left, st->top, st->width, st->height};
    for (qzLayer* above = NextLayer(layer); above; above = NextLayer(above)) {
        if (above->hidden || above->pending || above->type == QZ_LAYER_NOOBJECT) continue;
        // The whole bounds: a shadow or border above covers too.
        const qzLayerState* a = above->display;
        qzLayerBox bounds = {a->left, a->top, a->width, a->height};
        if (above->border.border) {
            qzLayerBox border;
            GetLayerBorderBox(above, a, &border.x, &border.y, &border.width, &border.height);
            bounds = UniteLayerBoxes(bounds, border);
        }
        if (above->shadow.shadow) {
            double scaleX, scaleY;
            GetLayerDrawScale(CurrentDisplay(), 0, &scaleX, &scaleY);
            qzLayerBox shadow;
            GetLayerShadowBox(above, a, scaleX, scaleY, &shadow.x, &shadow.y, &shadow.width, &shadow.height);
            bounds = UniteLayerBoxes(bounds, shadow);
        }
        if (Meets(box, bounds)) return 0;
    }
    return 1;
}

void UpdateLayerOnDisplay(VmState* state, qzLayer* layer, int direct) {
    if (layer->hidden) return;
    qzLayerState* st = layer->display;
    if (!direct) {
        const qzLayerBox bounds = GetLayerBounds(state, layer, st);
        RefreshArea(state, bounds.x, bounds.y, bounds.width, bounds.height);
        return;
    }
    qzDisplay* display = CurrentDisplay();
    const qzBGPic* pic = CurrentBGPic();
    if (!display || !pic) return;
    // The drawn box, cut to the clip region and the picture.
    int dx = st->left, dy = st->top, width = st->width, height = st->height;
    qzLayerSource source;
    if (GetLayerSourceBitmaps(state, layer, st, 1, 1, -1, &source) != 0 || !source.trio.bitmap) {
        RefreshArea(state, st->left, st->top, st->width, st->height);
        return;
    }
    const qzLayerShownRect shown = LayerShownRect(layer, st, source);
    int sx = shown.x, sy = shown.y;
    ClipBlitRect(st->clipRegion, &sx, &sy, &dx, &dy, &width, &height, source.trio.bitmap->width,
                 source.trio.bitmap->height, pic->width, pic->height, st->clipRegion != nullptr);
    if (width < 1 || height < 1) return;
    const bool shapedClip = st->clipRegion && st->clipRegion->mask;
    const bool plain = !shapedClip && !source.trio.mask && !layer->transparency && !layer->shadow.shadow &&
                       !layer->border.border && IsLayerUncovered(pic, layer) && DisplayTarget(display) &&
                       display->outputKind == QZ_TYPE_DISPLAY && display->bgpic == pic;
    if (!plain) {
        const qzLayerBox bounds = GetLayerBounds(state, layer, st);
        RefreshArea(state, bounds.x, bounds.y, bounds.width, bounds.height);
        return;
    }
    const bool unscaled =
        !display->autoScale && !display->layerScale && display->scaleX == 1.0 && display->scaleY == 1.0;
    if (!source.trio.alpha && unscaled) {
        PresentToDisplay(display, source.trio.bitmap, sx, sy, dx, dy, width, height, false);
        return;
    }
    qzBitMap* buffer = display->secondBuffer;
    if (source.trio.alpha)
        BlitBitMapAlpha(source.trio.bitmap, sx, sy, buffer, dx, dy, width, height, source.trio.alpha);
    else
        BlitBitMap(source.trio.bitmap, sx, sy, buffer, dx, dy, width, height);
    PresentToDisplay(display, buffer, dx, dy, dx, dy, width, height, true);
}

void RefreshLayerChange(VmState* state, qzLayer* layer, int32_t oldWidth, int32_t oldHeight, int32_t newX, int32_t newY,
                        int noRefresh, int relative, qzRectList* rectList) {
    const bool decorated = layer->shadow.shadow || layer->border.border;
    qzLayerBox oldBounds = {};
    if (decorated) oldBounds = GetLayerBounds(state, layer, layer->display);
    qzLayerState* st = layer->display;
    qzLayerBox area;
    if (newX == QZ_LAYER_KEEPPOSITION && newY == QZ_LAYER_KEEPPOSITION) {
        area = {st->left, st->top, std::max(st->width, oldWidth), std::max(st->height, oldHeight)};
    } else {
        const qzLayerBox before = {st->left, st->top, st->width, st->height};
        qzLayerState* base = layer->base;
        int32_t x = base->x, y = base->y;
        if (newX != QZ_LAYER_KEEPPOSITION) x = (relative & QZ_MOVE_RELATIVEX) ? base->x + newX : newX;
        if (newY != QZ_LAYER_KEEPPOSITION) y = (relative & QZ_MOVE_RELATIVEY) ? base->y + newY : newY;
        const int32_t moveX = x - base->x, moveY = y - base->y;
        MoveStateAnchor(layer, base, x, y);
        qzLayerState* transformed = layer->transformed;
        if (transformed != base) MoveStateAnchor(layer, transformed, transformed->x + moveX, transformed->y + moveY);
        if (st != transformed) {
            double scaleX, scaleY;
            GetLayerDrawScale(CurrentDisplay(), 0, &scaleX, &scaleY);
            st->left = int32_t(transformed->left * scaleX);
            st->top = int32_t(transformed->top * scaleY);
            st->x = int32_t(transformed->x * scaleX);
            st->y = int32_t(transformed->y * scaleY);
        }
        // The union of the old and the new box.
        area.x = std::min(before.x, st->left);
        area.y = std::min(before.y, st->top);
        area.width = std::max(before.x, st->left) - area.x + std::max(before.width, st->width);
        area.height = std::max(before.y, st->top) - area.y + std::max(before.height, st->height);
    }
    if (noRefresh) return;
    if (decorated) area = UniteLayerBoxes(UniteLayerBoxes(area, oldBounds), GetLayerBounds(state, layer, st));
    if (rectList)
        AddRectToList(rectList, area.x, area.y, area.width, area.height);
    else
        RefreshArea(state, area.x, area.y, area.width, area.height);
}

int SetLayerContentSize(VmState* state, qzLayer* layer, const qzLayerBox* oldBox, int32_t x, int32_t y, int32_t width,
                        int32_t height, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int flags, int noRefresh) {
    qzLayerState* st = layer->display;
    qzLayerBox old = GetLayerBounds(state, layer, st);
    if (oldBox && oldBox->width != -1) old = UniteLayerBoxes(old, *oldBox);
    st->width = width;
    st->height = height;
    if (layer->type == QZ_LAYER_LINE && !(flags & QZ_CONTENT_KEEPLINEANCHOR)) {
        st->left = st->untransformedLeft = x;
        st->top = st->untransformedTop = y;
    } else if (st == layer->base) {
        st->sourceWidth = width;
        st->sourceHeight = height;
        st->left = st->untransformedLeft = st->x - int32_t(std::trunc(layer->anchorx * width));
        st->top = st->untransformedTop = st->y - int32_t(std::trunc(layer->anchory * height));
    } else {
        st->left = st->x - int32_t(std::trunc(layer->anchorx * width));
        st->top = st->y - int32_t(std::trunc(layer->anchory * height));
    }
    if (bitmap) {
        FreeBitMapTrio(&st->own);
        st->own = {bitmap, mask, alpha};
    }
    int error = 0;
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    if (LayerUsedByAsyncDraw(layer)) {
        if (hooks.broadcastAsyncDraw) error = hooks.broadcastAsyncDraw(1, layer);
    } else {
        // What was derived from the old content goes.
        FreeBitMapTrio(&st->cached);
        FreeBitMapTrio(&st->border);
        DeleteAlphaBitMap(st->shadowAlpha);
        st->shadowAlpha = nullptr;
        if (st->resized.bitmap) {
            FreeBitMapTrio(&st->resized);
            if (st->own.bitmap &&
                CopyBitMap(st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, std::min(width, st->own.bitmap->width),
                           std::min(height, st->own.bitmap->height), 0, &st->resized.bitmap,
                           st->own.mask ? &st->resized.mask : nullptr,
                           st->own.alpha ? &st->resized.alpha : nullptr) != 0)
                error = ERR_MEM;
        }
    }
    if (!layer->hidden && !layer->pending && !noRefresh) {
        const qzLayerBox area = UniteLayerBoxes(old, GetLayerBounds(state, layer, st));
        RefreshArea(state, area.x, area.y, area.width, area.height);
    }
    return error;
}
