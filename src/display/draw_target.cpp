#include "display/draw_target.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"

bool GetDrawTargetSize(int32_t* width, int32_t* height) {
    *width = *height = 0;
    qzDisplay* display = CurrentDisplay();
    if (display && display->outputKind != QZ_TYPE_DISPLAY && display->outputKind != QZ_TYPE_BGPIC &&
        display->outputBitmap) {
        *width = display->outputBitmap->width;
        *height = display->outputBitmap->height;
        return true;
    }
    if (const qzBGPic* pic = CurrentBGPic()) {
        *width = pic->width;
        *height = pic->height;
        return true;
    }
    return false;
}

qzAxisExtent DrawTargetExtent(bool horizontal) {
    if (const qzClipRegion* region = DrawTargetClipRegion())
        return horizontal ? qzAxisExtent{region->x, region->width} : qzAxisExtent{region->y, region->height};
    int32_t width = 0, height = 0;
    GetDrawTargetSize(&width, &height);
    return {0, horizontal ? width : height};
}

const qzClipRegion* DrawTargetClipRegion() {
    // The same region that limits the drawing: the display code's description of the output.
    qzBlitDisplayInfo info;
    return DescribeBlitDisplay(nullptr, &info) ? info.clipRegion : nullptr;
}

bool DrawTargetIsChannel() {
    const qzDisplay* display = CurrentDisplay();
    return display && (display->outputKind == QZ_TYPE_MASK || display->outputKind == QZ_TYPE_ALPHACHANNEL);
}

int SetDrawTargetClipRegion(qzClipRegion* region) {
    qzBGPic* pic = CurrentBGPic();
    if (!pic) return region ? ERR_WRONGCLIPREG : 0;
    if (region &&
        ((int64_t)region->x + region->width > pic->width || (int64_t)region->y + region->height > pic->height))
        return ERR_WRONGCLIPREG;
    pic->clipRegion = region;
    return 0;
}

void ForgetDrawTargetClipRegion(const qzClipRegion* region) {
    // Every picture lets go, so that none keeps a region that is gone.
    for (qzBGPic* pic = FirstBGPic(); pic; pic = reinterpret_cast<qzBGPic*>(pic->header.next))
        if (pic->clipRegion == region) pic->clipRegion = nullptr;
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->bgpic && d->bgpic->clipRegion == region) d->bgpic->clipRegion = nullptr;
}

void GetDisplayScaleFactors(double* scaleX, double* scaleY) {
    const qzDisplay* display = CurrentDisplay();
    *scaleX = display ? display->scaleX : 1;
    *scaleY = display ? display->scaleY : 1;
}

int CheckOutputIsDisplay(bool pictureIsError) {
    const qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    if (display->doubleBuffer) return ERR_ENDDOUBLEBUFFER;
    switch (display->outputKind) {
    case QZ_TYPE_DISPLAY: return 0;
    case QZ_TYPE_BGPIC: return pictureIsError ? ERR_SELECTBG : 0;
    case QZ_TYPE_BRUSH: return ERR_SELECTBRUSH;
    case 4: return ERR_SELECTANIM;
    case QZ_TYPE_MASK: return ERR_SELECTMASK;
    case QZ_TYPE_ALPHACHANNEL: return ERR_SELECTALPHACHANNEL;
    default: return ERR_WRONGUSAGE;
    }
}

bool OutputIsPicture() {
    const qzDisplay* display = CurrentDisplay();
    return display && display->layersEnabled &&
           (display->outputKind == QZ_TYPE_DISPLAY || display->outputKind == QZ_TYPE_BGPIC);
}

void* CurrentDisplayObject() { return CurrentDisplay(); }

bool CurrentLayersOn() {
    const qzDisplay* display = CurrentDisplay();
    return display && display->layersEnabled;
}

void MarkLayerDirty(VmState* state, void* layer) { MarkLayerForRefresh(state, layer); }
