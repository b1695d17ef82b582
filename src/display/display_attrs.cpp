// ApplyDisplayAttributes: new options for an existing display, applied with the least work that
// brings its window up to date (nothing, a move, a resize, a title, a repaint of the background,
// or closing and re-opening the window).
#include <cstring>
#include <memory>
#include <new>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_life.h"
#include "display/display_links.h"
#include "display/display_monitors.h"
#include "display/display_pixels.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "display/display_scale.h"
#include "display/display_tags.h"
#include "display/double_buffer.h"
#include "display/gradient_tags.h"
#include "display/layer_system.h"
#include "gfx/bitmap.h"
#include "vm/vm_aux.h"

namespace {

bool SameFill(const qzPictureFill& a, const qzPictureFill& b) {
    if (a.style != b.style) return false;
    switch (a.style) {
    case QZ_FILLGRADIENT: return SameGradient(a.gradient, b.gradient);
    case QZ_FILLTEXTURE:
        return SameObjectId(a.textureBrush, b.textureBrush) && a.textureX == b.textureX && a.textureY == b.textureY;
    default: return (a.color & 0xFFFFFF) == (b.color & 0xFFFFFF);
    }
}

bool SameRegions(const qzRegion* a, int32_t countA, const qzRegion* b, int32_t countB) {
    if (countA != countB) return false;
    for (int32_t i = 0; i < countA; i++)
        if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].width != b[i].width || a[i].height != b[i].height)
            return false;
    return true;
}

// Repaints a display-made picture with the display's fill.
int RepaintOwnPicture(VmState* state, qzDisplay* d) {
    qzBGPic* pic = d->bgpic;
    qzPictureFill fill = d->fill;
    const bool textureChanged = !SameObjectId(fill.textureBrush, pic->fill.textureBrush);
    if (textureChanged) {
        DeleteBitMap(pic->fill.texture);
        pic->fill.texture = nullptr;
    }
    fill.texture = pic->fill.texture;
    fill.textureWidth = pic->fill.textureWidth;
    fill.textureHeight = pic->fill.textureHeight;
    fill.valid = 1;
    pic->fill = fill;
    qzBitMap* painted[3] = {pic->origBitmap, pic->scaledBitmap, pic->bitmap};
    int32_t sizes[3][2] = {
        {pic->origWidth, pic->origHeight}, {pic->scaledWidth, pic->scaledHeight}, {pic->width, pic->height}};
    for (int i = 0; i < 3; i++) {
        if (!painted[i] || (i > 0 && painted[i] == painted[i - 1]) || (i == 2 && painted[2] == painted[0])) continue;
        int error = RenderBackfill(state, &pic->fill, painted[i], sizes[i][0], sizes[i][1], nullptr, i > 0);
        if (error) return error;
    }
    if (d->displayBuffer && pic->bitmap)
        CopyBitmapRect(pic->bitmap, 0, 0, d->displayBuffer, 0, 0, pic->width, pic->height);
    pic->type =
        fill.style == QZ_FILLGRADIENT || fill.style == QZ_FILLTEXTURE ? QZ_PICTURE_GENERATED : QZ_PICTURE_RASTER;
    return 0;
}

// Switches the display to a new picture: everything that drew on the old one ends.
int TakeNewPicture(VmState* state, qzDisplay* d, qzBGPic* previous) {
    const qzDisplayLinks& links = DisplayLinks();
    links.stopVideosOnDisplay(state, d);
    int error = EndDisplayDoubleBuffer(state, d);
    if (!error) error = links.endSelectOutput(state, d);
    if (error) return error;
    if (previous) links.freeOnScreenSprites(state, previous);
    links.freeAllAsyncDraws(state);
    ResetTextMargins(d, d->bgpic);
    DeleteMaskBitMap(d->shapeMask);
    DeleteAlphaBitMap(d->shapeAlpha);
    d->shapeMask = nullptr;
    d->shapeAlpha = nullptr;
    error = ComputeAutoScaleFactors(state, d, d->bgpic, &d->shapeMask, &d->shapeAlpha);
    if (!error) error = SetDisplayBGPicBuffers(d, d->bgpic);
    if (error) return error;
    if (CurrentDisplay() == d) SetCurrentBGPic(d->bgpic);
    if (d->layerScale && d->scaledWidth && d->scaledHeight && previous && previous != d->bgpic) {
        UnscaleBGPic(previous);
        links.resetLayerDisplayStates(state, previous);
    }
    return 0;
}

}  // namespace

int ApplyDisplayAttributes(VmState* state, int tableIndex, qzDisplay* d, int noRefresh) {
    tableIndex = VmAbsIndex(state, tableIndex);
    std::unique_ptr<qzDisplay> old(new (std::nothrow) qzDisplay(*d));
    std::unique_ptr<qzDisplay> work(new (std::nothrow) qzDisplay());
    if (!old || !work) return ERR_MEM;
    // Rectangle lists and hooks stay with the display; the copies only compare settings.
    int scaleChanged = 0, orientationChanged = 0;
    bool scaleOffPass = false;
    int error = 0;
    for (;;) {
        *work = *d;
        work->width = d->bgpic ? d->bgpic->scaledWidth : d->width;
        work->height = d->bgpic ? d->bgpic->scaledHeight : d->height;
        work->bgpic = nullptr;
        error = ReadDisplayTags(state, tableIndex, work.get(), 0, &scaleChanged, &orientationChanged);
        if (error) return error;
        const bool scaleOff = !work->autoScale && !work->layerScale;
        const bool nowScaled = (d->autoScale || d->layerScale) && d->scaledWidth && d->scaledHeight;
        if (!scaleOffPass && nowScaled && (scaleOff || work->autoScale != d->autoScale)) {
            // Scaling goes off: back to the picture's size first, then the tags again.
            error = ResizeDisplay(state, d, 0, 0, d->bgpic->scaledWidth, d->bgpic->scaledHeight, 0, d->smoothScale,
                                  d->state == QZ_DISPSTATE_CLOSED, 0);
            if (error) return error;
            d->scaledWidth = d->scaledHeight = 0;
            d->letterboxLeft = d->letterboxTop = d->letterboxRight = d->letterboxBottom = 0;
            d->scaleX = d->scaleY = 1.0;
            scaleOffPass = true;
            continue;
        }
        break;
    }
    const bool scaleMode = work->autoScale || work->layerScale;
    if (!scaleMode) {
        work->scaledWidth = work->scaledHeight = 0;
        work->letterboxLeft = work->letterboxTop = work->letterboxRight = work->letterboxBottom = 0;
    }
    bool outputChange = false;
    if (!scaleOffPass) {
        outputChange = scaleChanged && work->scaledWidth && work->scaledHeight &&
                       (work->scaledWidth != d->width || work->scaledHeight != d->height);
    } else if (scaleMode) {
        if (old->scaledWidth && old->scaledHeight && !scaleChanged) {
            work->scaledWidth = old->scaledWidth;
            work->scaledHeight = old->scaledHeight;
        }
        outputChange = work->scaledWidth && work->scaledHeight;
    }
    const bool pictureGiven = work->bgpic != nullptr;
    qzBGPic* previous = d->bgpic;
    if (!pictureGiven) work->bgpic = d->bgpic;
    const int32_t pictureWidth = work->width, pictureHeight = work->height;
    const bool pictureResize = !pictureGiven && work->bgpic &&
                               (pictureWidth != work->bgpic->scaledWidth || pictureHeight != work->bgpic->scaledHeight);
    if (scaleMode && work->scaledWidth && work->scaledHeight) {
        work->width = outputChange ? work->scaledWidth : d->width;
        work->height = outputChange ? work->scaledHeight : d->height;
    }

    // Commit. The pending video frames stay the display's: the video engine appends to them under
    // the repaint mutex meanwhile.
    if (d->repaintMutex) OsLockMutex(d->repaintMutex);
    work->pendingRepaints = d->pendingRepaints;
    *d = *work;
    if (d->repaintMutex) OsUnlockMutex(d->repaintMutex);
    work.reset();

    // 99999 keeps the old position when the size stays, else centres.
    if (d->x == QZ_KEEPPOSITION_DEFAULT) d->x = d->width == old->width ? old->x : QZ_POS_CENTER;
    if (d->y == QZ_KEEPPOSITION_DEFAULT) d->y = d->height == old->height ? old->y : QZ_POS_CENTER;
    // Whether the options move the window (a resize below may place it anew).
    const bool xChanged = d->x != old->x, yChanged = d->y != old->y;
    const bool borderlessChanged = ((old->flags ^ d->flags) & QZ_DISPF_BORDERLESS) != 0;
    if (borderlessChanged) DetermineBorderSizes(d);
    if (d->layerScale) {
        error = EnableDisplayLayers(state, d);
        if (error) return error;
    }
    const bool newPicture = pictureGiven && d->bgpic != previous;
    if (newPicture) {
        error = TakeNewPicture(state, d, previous);
        if (error) return error;
    }
    bool fillChanged = false;
    if (d->ownsBGPic && d->bgpic == previous && !SameFill(d->bgpic->fill, d->fill)) {
        fillChanged = true;
        error = RepaintOwnPicture(state, d);
        if (error) return error;
    }
    const bool notShown = d->state == QZ_DISPSTATE_CLOSED;
    if (pictureResize || outputChange) {
        // The resize sets the size itself and tells the hooks when it changed.
        d->width = old->width;
        d->height = old->height;
    }
    if (pictureResize) {
        error = ResizeDisplay(state, d, xChanged ? d->x : QZ_POS_CENTER, yChanged ? d->y : QZ_POS_CENTER, pictureWidth,
                              pictureHeight, 1, d->smoothScale, notShown, 0);
        if (error) return error;
    }
    if (outputChange) {
        error = ResizeDisplay(state, d, 0, 0, d->scaledWidth, d->scaledHeight, 0, d->smoothScale, notShown, 0);
        if (error) return error;
    }
    const bool sizeChanged = d->width != old->width || d->height != old->height;

    if (d->state != QZ_DISPSTATE_CLOSED) {
        const bool reopenFlags = ((old->flags ^ d->flags) & QZ_DISPF_REOPEN_MASK) != 0;
        const bool oldShaped = old->bgpic && (old->bgpic->mask || old->bgpic->alpha);
        const bool newShaped = d->bgpic && (d->bgpic->mask || d->bgpic->alpha);
        bool reopen = false;
        if (borderlessChanged) {
            if (!xChanged && !yChanged) {
                // The content stays where it is.
                if (d->flags & QZ_DISPF_BORDERLESS) {
                    d->x += old->borderLeft;
                    d->y += old->borderTop;
                } else {
                    d->x -= d->borderLeft;
                    d->y -= d->borderTop;
                }
            }
            reopen = true;
        } else if (xChanged || yChanged || reopenFlags) {
            reopen = true;
        } else if ((!oldShaped && !newShaped) || (!newPicture && !sizeChanged)) {
            int32_t mx = 0, my = 0, mw = 0, mh = 0;
            GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
            const int32_t x = ResolveDisplayX(d->x, d->width + d->borderHorizontal, mw);
            const int32_t y = ResolveDisplayY(d->y, d->height + d->borderVertical, mh);
            if (x != d->x) d->x = x + mx;
            if (y != d->y) d->y = y + my;
            // Regions the script does not give follow the display's size.
            ApplyDefaultRegions(d);
            const bool regionsChanged =
                !SameRegions(old->dragRegions, old->dragRegionCount, d->dragRegions, d->dragRegionCount) ||
                !SameRegions(old->sizeRegions, old->sizeRegionCount, d->sizeRegions, d->sizeRegionCount);
            if (sizeChanged) {
                ApplyDisplayGeometry(d, 0);
            } else {
                if (d->x != old->x || d->y != old->y) MoveDisplayWindow(d);
                if (regionsChanged) ApplyDisplayGeometry(d, 1);
            }
            if (std::strcmp(old->title, d->title) != 0) UpdateDisplayTitle(d);
            // A resize has presented the picture already.
            if (!noRefresh && (newPicture || fillChanged) && !pictureResize && !outputChange)
                RefreshDisplay(state, d, 0);
            d->centerOnMonitorX = d->centerOnMonitorY = 0;
        } else {
            reopen = true;
        }
        if (reopen) {
            if (d->monitor != 0 && xChanged) d->centerOnMonitorX = 1;
            if (d->monitor != 0 && yChanged) d->centerOnMonitorY = 1;
            error = CloseDisplayCore(state, d, old.get(), QZ_CLOSE_KEEPOBJECTS);
            if (!error) error = RealizeDisplay(state, d, d->activateOnOpen, 1);
            if (error) return error;
        }
    } else {
        if (d->monitor != 0 && xChanged) d->centerOnMonitorX = 1;
        if (d->monitor != 0 && yChanged) d->centerOnMonitorY = 1;
        if (d->hooks && sizeChanged) {
            NotifyDisplayHooksResize(d, d->width, d->height);
            if (!noRefresh) RefreshDisplay(state, d, 0);
        }
    }

    if (newPicture) {
        if (old->ownsBGPic && previous) DeleteBGPic(state, previous->header.id, 0);
        d->ownsBGPic = 0;
        FreeOrphanedBGPics(state);
    }
    return 0;
}
