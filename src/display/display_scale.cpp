#include "display/display_scale.h"

#include <cmath>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_life.h"
#include "display/display_links.h"
#include "display/display_monitors.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "display/double_buffer.h"
#include "display/layer_system.h"
#include "gfx/bitmap.h"
#include "gfx/position.h"
#include "gfx/scale_bitmap.h"

namespace {

constexpr int32_t kKeepAspect = 100000;

int32_t RoundHalfEven(double v) { return int32_t(std::nearbyint(v)); }

}  // namespace

int32_t ResolveDisplayX(int32_t x, int32_t size, int32_t container) {
    return ResolveXPosition(x, size, container, 0.0);
}

int32_t ResolveDisplayY(int32_t y, int32_t size, int32_t container) {
    return ResolveYPosition(y, size, container, 0.0);
}

int ApplyKeepAspectSize(int32_t sourceWidth, int32_t sourceHeight, int32_t* width, int32_t* height) {
    if (*width == kKeepAspect && *height == kKeepAspect) return ERR_WRONGUSAGE;
    if (*width <= 0 || *height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return ERR_BADDIMENSIONS;
    // The kept size rounds a fraction of .5 or more up.
    double kept;
    if (*width == kKeepAspect)
        kept = std::floor(double(*height) * sourceWidth / sourceHeight + 0.5);
    else if (*height == kKeepAspect)
        kept = std::floor(double(*width) * sourceHeight / sourceWidth + 0.5);
    else
        return 0;
    if (!(kept >= 1 && kept <= INT32_MAX)) return ERR_BADDIMENSIONS;
    (*width == kKeepAspect ? *width : *height) = int32_t(kept);
    return 0;
}

void ComputeLetterbox(qzDisplay* d, const qzBGPic* pic, int32_t w, int32_t h) {
    d->letterboxLeft = d->letterboxTop = d->letterboxRight = d->letterboxBottom = 0;
    if (!(d->flags & QZ_DISPF_KEEPPROPORTIONS) || !pic || pic->mask || pic->alpha || pic->scaledWidth < 1 ||
        pic->scaledHeight < 1) {
        d->scaledWidth = w;
        d->scaledHeight = h;
        return;
    }
    const double pw = pic->scaledWidth, ph = pic->scaledHeight;
    int32_t sw = w;
    int32_t sh = int32_t(ph / pw * w);
    if (h < sh) {
        sh = h;
        sw = int32_t(pw / ph * h);
    }
    const int32_t dx = w - sw, dy = h - sh;
    d->scaledWidth = sw;
    d->scaledHeight = sh;
    d->letterboxLeft = dx / 2;
    d->letterboxTop = dy / 2;
    d->letterboxRight = dx - d->letterboxLeft;
    d->letterboxBottom = dy - d->letterboxTop;
}

void ScaleDisplayRegions(qzDisplay* d) {
    auto scale = [d](const qzRegion* from, qzRegion* to, int32_t count) {
        for (int32_t i = 0; i < count; i++) {
            const qzRegion& r = from[i];
            qzRegion s = r;
            s.x = RoundHalfEven(r.x * d->scaleX);
            s.y = RoundHalfEven(r.y * d->scaleY);
            s.width = RoundHalfEven((double(r.x) + r.width - 1) * d->scaleX) - s.x + 1;
            s.height = RoundHalfEven((double(r.y) + r.height - 1) * d->scaleY) - s.y + 1;
            to[i] = s;
        }
    };
    if (d->dragRegionsGiven) scale(d->dragRegionsScript, d->dragRegions, d->dragRegionCount);
    if (d->sizeRegionsGiven) scale(d->sizeRegionsScript, d->sizeRegions, d->sizeRegionCount);
}

void ClipDisplayRegions(const qzDisplay* d, qzRegion* regions, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        qzRegion& r = regions[i];
        if (r.width > d->width - r.x) r.width = d->width - r.x;
        if (r.height > d->height - r.y) r.height = d->height - r.y;
        if (r.x >= d->width) r.x = d->width - 1;
        if (r.y >= d->height) r.y = d->height - 1;
        if (r.width < 1) r.width = 1;
        if (r.height < 1) r.height = 1;
    }
}

void ApplyDefaultRegions(qzDisplay* d) {
    if (!d->dragRegionsGiven) {
        d->dragRegions[0] = {14, 0, 0, d->width, 15};
        d->dragRegionCount = 1;
    }
    if (!d->sizeRegionsGiven) {
        d->sizeRegions[0] = {14, d->width - 10, d->height - 10, 10, 10};
        d->sizeRegionCount = 1;
    }
    ClipDisplayRegions(d, d->dragRegions, d->dragRegionCount);
    ClipDisplayRegions(d, d->sizeRegions, d->sizeRegionCount);
}

void ApplyDisplayGeometry(qzDisplay* display, int sizeUnchanged) {
    if (!sizeUnchanged) SizeMoveDisplayWindow(display);
    ApplyDefaultRegions(display);
    UpdateDisplayWindowSettings(display);
}

int ResizeDisplay(VmState* state, qzDisplay* d, int32_t x, int32_t y, int32_t width, int32_t height, int setPictureSize,
                  int smooth, int noPresent, int noHookNotice) {
    qzBGPic* pic = d->bgpic;
    if (!pic) return ERR_BITMAP;
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    const qzDisplayLinks& links = DisplayLinks();
    const int32_t oldWidth = d->width, oldHeight = d->height;
    const bool scaleMode = d->autoScale || d->layerScale;
    const bool scaled = d->scaledWidth && d->scaledHeight;
    int error = links.detachPictureFromLayers(state, pic);
    if (error) return error;

    if (d->layerScale && setPictureSize && scaled) {
        if (width != pic->scaledWidth || height != pic->scaledHeight) {
            error = ScaleBGPicCore(state, pic, width, height, smooth);
            if (!error) error = AutoScaleBGPic(state, d, pic, 1);
            if (error) return error;
            if (!noPresent) RefreshDisplay(state, d, QZ_REFRESH_WHILEHIDDEN);
        }
    } else {
        // Geometry.
        if (!setPictureSize) {
            d->width = width;
            d->height = height;
            if (scaleMode) ComputeLetterbox(d, pic, width, height);
        } else if (!d->autoScale) {
            int32_t mx = 0, my = 0, mw = 0, mh = 0;
            error = GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
            if (error) return error;
            d->width = width;
            d->height = height;
            if (x == QZ_KEEPPOSITION)
                x = d->x;
            else
                x = int32_t(int64_t(ResolveDisplayX(x, width + d->borderHorizontal, mw)) + mx);
            if (y == QZ_KEEPPOSITION)
                y = d->y;
            else
                y = int32_t(int64_t(ResolveDisplayY(y, height + d->borderVertical, mh)) + my);
            d->x = x;
            d->y = y;
            d->centerOnMonitorX = d->centerOnMonitorY = 0;
        }
        const bool shaped = d->shapeMask || d->shapeAlpha;
        if (!shaped && !noPresent) ApplyDisplayGeometry(d, 0);

        // The picture.
        if (d->layerScale && !setPictureSize) {
            if (d->scaledWidth == pic->scaledWidth && d->scaledHeight == pic->scaledHeight) {
                UnscaleBGPic(pic);
                links.resetLayerDisplayStates(state, pic);
                d->scaleX = d->scaleY = 1.0;
                error = SetDisplayBGPicBuffers(d, pic);
            } else {
                error = AutoScaleBGPic(state, d, pic, 1);
            }
        } else if (!d->autoScale || setPictureSize) {
            error = ScaleBGPicCore(state, pic, width, height, smooth);
            if (!error && !d->autoScale) error = SetDisplayBGPicBuffers(d, pic);
            if (!error && d->autoScale) {
                if (scaled) {
                    d->scaleX = double(d->scaledWidth) / width;
                    d->scaleY = double(d->scaledHeight) / height;
                }
                error = SetDisplayBGPicBuffers(d, pic);
            }
        } else {
            DeleteMaskBitMap(d->shapeMask);
            DeleteAlphaBitMap(d->shapeAlpha);
            d->shapeMask = d->shapeAlpha = nullptr;
            d->scaleX = double(d->scaledWidth) / pic->scaledWidth;
            d->scaleY = double(d->scaledHeight) / pic->scaledHeight;
            if ((d->scaleX != 1.0 || d->scaleY != 1.0) && (pic->mask || pic->alpha)) {
                qzBitMap* colour = nullptr;
                error = ScaleBitMap(pic->bitmap, pic->mask, pic->alpha, 0, 0, nullptr, pic->width, pic->height,
                                    d->scaledWidth, d->scaledHeight, d->smoothScale, &colour, &d->shapeMask,
                                    &d->shapeAlpha);
                DeleteBitMap(colour);
            }
            if (!error) error = SetDisplayBGPicBuffers(d, pic);
        }
        if (error) return error;

        // Buffers.
        if (!d->doubleBuffer) {
            qzBitMap* shown = GetBGPicDisplayBitmap(state, d, pic);
            if (d->autoScale && scaled && shown == d->displayBuffer)
                RedrawPictureLayers(state, d, pic, d->secondBuffer, 0, 0, pic->width, pic->height, 4);
        } else if (d->autoScale) {
            error = IsDisplayAdapterActive() ? ResizeDoubleBuffer(state, d, pic->width, pic->height)
                                             : ResizeDoubleBuffer(state, d, d->scaledWidth, d->scaledHeight);
            if (error) return error;
        }

        // The window.
        if (!noPresent) {
            if (!shaped) {
                FillDisplayBorders(d);
                if (d->doubleBuffer) {
                    error = PresentDoubleBuffer(state, d, QZ_PRESENT_NOHOOKS | QZ_PRESENT_WHILEHIDDEN);
                } else {
                    qzBitMap* shown = GetBGPicDisplayBitmap(state, d, pic);
                    PresentDisplayBuffer(d, shown, 0, 0, pic->width, pic->height,
                                         QZ_PRESENT_WHOLEPICTURE | 8 | QZ_PRESENT_NOHOOKS | QZ_PRESENT_WHILEHIDDEN);
                }
            } else if (d->state != QZ_DISPSTATE_CLOSED) {
                error = CloseDisplayCore(state, d, nullptr, QZ_CLOSE_KEEPOBJECTS);
                if (!error) error = RealizeDisplay(state, d, d->activateOnOpen, 1);
            }
            if (error) return error;
        }
    }

    // Text margins and videos.
    if (d->outputKind == QZ_TYPE_DISPLAY) {
        ResetTextMargins(d, pic);
    } else {
        d->savedText[0] = d->savedText[1] = d->savedText[2] = 0;
        d->savedText[3] = pic->scaledWidth - 1;
    }
    if (scaleMode) links.rescaleVideosOnDisplay(state, d, QZ_PRESENT_NOHOOKS);
    if (!noHookNotice && (d->width != oldWidth || d->height != oldHeight))
        NotifyDisplayHooksResize(d, d->width, d->height);
    return 0;
}

int SetupDisplayBuffers(VmState* state, qzDisplay* d) {
    int error = SetDisplayBGPicBuffers(d, d->bgpic);
    if (error) return error;
    if (!d->autoScale && !d->layerScale) return 0;
    bool fitted = false;
    int32_t fitWidth = 0, fitHeight = 0;
    if (d->flags & QZ_DISPF_FITSCALE) {
        int32_t mx = 0, my = 0, mw = 0, mh = 0;
        error = GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
        if (error) return error;
        if (!d->bordersKnown) DetermineBorderSizes(d);
        d->x = mx;
        d->y = my;
        d->centerOnMonitorX = d->centerOnMonitorY = 0;
        fitWidth = mw - d->borderHorizontal;
        fitHeight = mh - d->borderVertical;
        d->width = fitWidth;
        d->height = fitHeight;
        ComputeLetterbox(d, d->bgpic, fitWidth, fitHeight);
        fitted = true;
    }
    if (!d->scaledWidth || !d->scaledHeight) return 0;
    if (fitted && (d->flags & QZ_DISPF_KEEPPROPORTIONS))
        return ResizeDisplay(state, d, 0, 0, fitWidth, fitHeight, 0, d->smoothScale, 1, 0);
    return ResizeDisplay(state, d, 0, 0, d->scaledWidth, d->scaledHeight, 0, d->smoothScale, 1, 0);
}
