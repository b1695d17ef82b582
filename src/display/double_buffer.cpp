// Double buffering: BeginDoubleBuffer, Flip, FlipDoubleBuffer, AllocDoubleBufferBitmap and
// EndDoubleBufferCore, with the adapter's entries for the hardware form.
#include "display/double_buffer.h"

#include <new>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_links.h"
#include "display/display_pixels.h"
#include "display/display_present.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "gfx/scale_bitmap.h"
#include "platform/display_adapter.h"
#include "platform/os_bitmap.h"

namespace {

// The two double-buffer bitmaps.
enum { kFront = 0, kBack = 1 };
// Video-bitmap feature of the display adapter: hardware double buffering.
constexpr uint32_t kCapHardwareDoubleBuffer = 64;
// Room of the changed-rectangle list; a list that fills up stands for the whole picture.
constexpr int32_t kRects = 1024;

bool Scaling(const qzDisplay* d) { return d->autoScale && d->scaledWidth > 0 && d->scaledHeight > 0; }

void FreeBuffers(qzDisplay* d) {
    DeleteBitMap(d->doubleBufferBitmaps[kFront]);
    DeleteBitMap(d->doubleBufferBitmaps[kBack]);
    d->doubleBufferBitmaps[kFront] = d->doubleBufferBitmaps[kBack] = nullptr;
}

qzBitMap* BlackBitmap(int32_t width, int32_t height) {
    qzBitMap* bitmap = NewDisplayBitmap(width, height);
    if (bitmap) FillBitmapColor(bitmap, 0, 0, width, height, 0);
    return bitmap;
}

// The refusals of BeginDoubleBuffer while drawing is redirected or double buffering is on.
int OutputRefusal(const qzDisplay* d) {
    if (d->outputKind == QZ_TYPE_BRUSH && !d->doubleBuffer) {
        const qzBGPic* record = d->selectRecord;
        return record && record->selectTarget[0] == QZ_TYPE_ANIM ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    }
    if (d->doubleBuffer || d->doubleBufferSelectParked) return ERR_ENDDOUBLEBUFFER;
    if (d->outputKind == QZ_TYPE_MASK) return ERR_SELECTMASK;
    if (d->outputKind == QZ_TYPE_ALPHACHANNEL) return ERR_SELECTALPHACHANNEL;
    if (d->outputKind == QZ_TYPE_BGPIC) return ERR_SELECTBG;
    return 0;
}

// A rectangle in corner form cut to width x height; false when nothing is left.
bool CutRect(const qzCornerRect& r, int32_t width, int32_t height, int32_t* x, int32_t* y, int32_t* w, int32_t* h) {
    const int64_t x1 = r.x1 < 0 ? 0 : r.x1, y1 = r.y1 < 0 ? 0 : r.y1;
    const int64_t x2 = r.x2 >= width ? width - 1 : r.x2, y2 = r.y2 >= height ? height - 1 : r.y2;
    if (x2 < x1 || y2 < y1) return false;
    *x = int32_t(x1);
    *y = int32_t(y1);
    *w = int32_t(x2 - x1 + 1);
    *h = int32_t(y2 - y1 + 1);
    return true;
}

bool ListCoversAll(const qzRectList& list) { return list.full != 0; }

// Presents the front bitmap: the used rectangles of the list, or all of it.
int Present(VmState*, qzDisplay* d, uint32_t flags, bool whole) {
    if (d->doubleBufferHardware || !d->bgpic) return 0;
    qzBitMap* front = d->doubleBufferBitmaps[kFront];
    qzBitMap* back = d->doubleBufferBitmaps[kBack];
    if (!front) return 0;
    int32_t width = d->bgpic->width, height = d->bgpic->height;
    if (d->displayBuffer) {
        if (width > d->displayBuffer->width) width = d->displayBuffer->width;
        if (height > d->displayBuffer->height) height = d->displayBuffer->height;
    }
    const bool scaling = Scaling(d);
    if (scaling) {
        width = d->scaledWidth;
        height = d->scaledHeight;
    }
    if (!whole && !(d->flags & QZ_DISPF_WHOLEFRAMES) && !ListCoversAll(d->rectList) && !scaling) {
        for (int32_t i = 0; i < d->rectList.count; i++) {
            const qzCornerRect& r = d->rectList.rects[i];
            int32_t x, y, w, h;
            if (r.deleted || !CutRect(r, width, height, &x, &y, &w, &h)) continue;
            PresentDisplayRect(front, x, y, d, x, y, w, h, 0, 0, flags, nullptr, nullptr);
        }
    } else if (scaling && IsDisplayAdapterActive() && back) {
        // The adapter scales the picture-sized back bitmap itself.
        PresentDisplayRect(back, 0, 0, d, 0, 0, back->width, back->height, d->scaledWidth, d->scaledHeight,
                           flags | QZ_PRESENT_WHOLEPICTURE, nullptr, nullptr);
    } else {
        const int32_t w = width < front->width ? width : front->width;
        const int32_t h = height < front->height ? height : front->height;
        PresentDisplayRect(front, 0, 0, d, 0, 0, w, h, 0, 0, flags, nullptr, nullptr);
    }
    // Where the display is larger than the picture, its own buffer shows at the right and below.
    const qzBitMap* own = d->displayBuffer;
    if ((d->flags & QZ_DISPF_WHOLEFRAMES) && !d->autoScale && own) {
        if (own->width > width)
            PresentDisplayRect(own, width, 0, d, width, 0, own->width - width, own->height, 0, 0, flags, nullptr,
                               nullptr);
        if (own->height > height)
            PresentDisplayRect(own, 0, height, d, 0, height, width < own->width ? width : own->width,
                               own->height - height, 0, 0, flags, nullptr, nullptr);
    }
    return 0;
}

// The display code's calls into double buffering work while the library that starts it is open;
// until then they answer 0 and do nothing.
bool enabled = false;

}  // namespace

int AdapterBeginDoubleBuffer(qzDisplay* display) {
    const qzPluginInfo* plugin = DisplayAdapterPlugin();
    if (!plugin || !plugin->BeginDoubleBuffer) return 0;
    return plugin->BeginDoubleBuffer(display->nativeHandle, nullptr);
}

int AdapterEndDoubleBuffer(qzDisplay* display) {
    const qzPluginInfo* plugin = DisplayAdapterPlugin();
    if (!plugin || !plugin->EndDoubleBuffer) return 0;
    return plugin->EndDoubleBuffer(display->nativeHandle);
}

int BeginDoubleBuffer(VmState* state, qzDisplay* d, int hardware) {
    // 1, 2. Refusals.
    int error = OutputRefusal(d);
    if (error) return error;
    const qzDisplayLinks& links = DisplayLinks();
    qzBGPic* pic = d->bgpic;
    if (!pic) return ERR_WRONGUSAGE;
    if (d->layersEnabled || PictureHasLayers(pic)) return ERR_LAYERSOFF;
    if (d->refreshBlock) return ERR_BEGINREFRESH;
    if (links.pictureHasOnScreenSprites(pic)) return ERR_NOSPRITES;
    if (pic->mask || pic->alpha) return ERR_DBTRANSWIN;
    if (links.isVideoActiveOnDisplay(d, 0, 0)) return ERR_VIDATTACHED;
    if (!d->doubleBufferTarget) {
        d->doubleBufferTarget = new (std::nothrow) qzBGPic();
        if (!d->doubleBufferTarget) return ERR_MEM;
        InitDoubleList(&d->doubleBufferTarget->layers);
    }
    // 3. The hardware form, when the adapter offers it.
    const bool hardwareForm = hardware && OsQueryVideoBitMapCaps(kCapHardwareDoubleBuffer);
    if (hardwareForm) {
        if (!DisplayHasWindow(d)) return ERR_CLOSEDDISPLAY;
        error = AdapterBeginDoubleBuffer(d);
        if (error) return error;
    }
    // 4. The bitmaps of the software form: the back one at the picture's size, the front one at
    // the size it is shown at.
    FreeBuffers(d);
    qzBitMap* back = nullptr;
    if (!hardwareForm) {
        const bool scaledFront = Scaling(d) && !IsDisplayAdapterActive();
        qzBitMap* front =
            BlackBitmap(scaledFront ? d->scaledWidth : pic->width, scaledFront ? d->scaledHeight : pic->height);
        back = front ? BlackBitmap(pic->width, pic->height) : nullptr;
        if (!back) {
            DeleteBitMap(front);
            return ERR_BITMAP;
        }
        d->doubleBufferBitmaps[kFront] = front;
        d->doubleBufferBitmaps[kBack] = back;
    } else {
        // The adapter flips the display's own buffer.
        back = d->displayBuffer;
    }
    error = InitRectList(&d->rectList, kRects);
    if (error) {
        FreeBuffers(d);
        if (hardwareForm) AdapterEndDoubleBuffer(d);
        return error;
    }
    d->rectList.limit = kRects;
    d->doubleBufferHardwareAsked = hardware && AdapterOffersVideoBitMaps() ? 1 : 0;
    // 5. The target stands in for the picture while double buffering.
    qzBGPic* target = d->doubleBufferTarget;
    target->header.id = {0, target};
    target->selectTarget[0] = QZ_TYPE_BRUSH;
    target->selectTarget[1] = 0;
    target->selectLayer = nullptr;
    target->width = target->scaledWidth = target->origWidth = pic->width;
    target->height = target->scaledHeight = target->origHeight = pic->height;
    target->bitmap = target->scaledBitmap = target->origBitmap = back;
    target->mask = target->scaledMask = target->origMask = nullptr;
    target->alpha = target->scaledAlpha = target->origAlpha = nullptr;
    target->clipRegion = pic->clipRegion;
    if (CurrentDisplay() == d) SetCurrentBGPic(target);
    d->outputKind = QZ_TYPE_BRUSH;
    d->outputBitmap = back;
    d->outputMask = d->outputAlpha = nullptr;
    d->outputHardware = hardwareForm ? 1 : 0;
    d->doubleBuffer = 1;
    d->doubleBufferHardware = hardwareForm ? 1 : 0;
    return 0;
}

int FlipDisplay(VmState* state, qzDisplay* d, int wait) {
    if (!d->doubleBuffer) return ERR_NODOUBLEBUFFER;
    if (d->doubleBufferHardware) {
        const qzPluginInfo* plugin = DisplayAdapterPlugin();
        const int32_t block[3] = {1, wait ? 1 : 0, 0};
        ClearRectList(&d->rectList);
        return plugin && plugin->Flip ? plugin->Flip(d->nativeHandle, block) : 0;
    }
    qzBitMap* front = d->doubleBufferBitmaps[kFront];
    qzBitMap* back = d->doubleBufferBitmaps[kBack];
    if (!front || !back || !d->bgpic) return ERR_NODOUBLEBUFFER;
    const int32_t width = back->width, height = back->height;
    if (Scaling(d) && !IsDisplayAdapterActive()) {
        int error = ScaleBitMap(back, nullptr, nullptr, 0, 0, front, width, height, front->width, front->height,
                                d->smoothScale, nullptr, nullptr, nullptr);
        if (error) return error;
    } else if (ListCoversAll(d->rectList)) {
        CopyBitmapRect(back, 0, 0, front, 0, 0, width, height);
    } else {
        MergeRectList(&d->rectList);
        for (int32_t i = 0; i < d->rectList.count; i++) {
            const qzCornerRect& r = d->rectList.rects[i];
            int32_t x, y, w, h;
            if (!r.deleted && CutRect(r, width, height, &x, &y, &w, &h)) CopyBitmapRect(back, x, y, front, x, y, w, h);
        }
    }
    if (wait) {
        int error = WaitDisplayVBlank(state, d, 0);
        if (error) return error;
    }
    Present(state, d, 0, false);
    ClearRectList(&d->rectList);
    return 0;
}

int FlipDoubleBuffer(VmState* state, qzDisplay* display, uint32_t presentFlags) {
    return Present(state, display, presentFlags, false);
}

int AllocDoubleBufferBitmap(VmState* state, qzDisplay* d, int32_t width, int32_t height, int noPresent) {
    if (d->doubleBufferHardware || d->doubleBufferSelectParked || !d->doubleBuffer) return 0;
    qzBitMap* front = BlackBitmap(width, height);
    if (!front) return ERR_MEM;
    DeleteBitMap(d->doubleBufferBitmaps[kFront]);
    d->doubleBufferBitmaps[kFront] = front;
    if (!noPresent) Present(state, d, 0, true);
    return 0;
}

int EndDoubleBufferCore(VmState* state, qzDisplay* d) {
    if (d->doubleBufferSelectParked) {
        int error = DisplayLinks().endSelectOutput(state, d);
        if (error) return error;
    }
    if (!d->doubleBuffer) return ERR_NODOUBLEBUFFER;
    if (d->doubleBufferHardware) {
        int error = AdapterEndDoubleBuffer(d);
        if (error) return error;
    } else if (d->bgpic) {
        const qzBitMap* back = d->doubleBufferBitmaps[kBack];
        if (back && d->displayBuffer)
            CopyBitmapRect(back, 0, 0, d->displayBuffer, 0, 0, d->bgpic->width, d->bgpic->height);
        if (back && d->secondBuffer && Scaling(d))
            CopyBitmapRect(back, 0, 0, d->secondBuffer, 0, 0, d->bgpic->width, d->bgpic->height);
    }
    FreeBuffers(d);
    if (CurrentDisplay() == d) SetCurrentBGPic(d->bgpic);
    d->outputKind = QZ_TYPE_DISPLAY;
    d->outputBitmap = d->outputMask = d->outputAlpha = nullptr;
    d->outputHardware = 0;
    d->doubleBuffer = d->doubleBufferHardware = d->doubleBufferHardwareAsked = 0;
    d->doubleBufferSelectParked = d->doubleBufferSaved = 0;
    ClearRectList(&d->rectList);
    return 0;
}

void EnableDoubleBuffering(bool on) { enabled = on; }

int EndDisplayDoubleBuffer(VmState* state, qzDisplay* d) {
    if (!enabled || (!d->doubleBuffer && !d->doubleBufferSelectParked)) return 0;
    return EndDoubleBufferCore(state, d);
}

int PresentDoubleBuffer(VmState* state, qzDisplay* d, uint32_t flags) {
    return enabled ? Present(state, d, flags, true) : 0;
}

int ResizeDoubleBuffer(VmState* state, qzDisplay* d, int32_t width, int32_t height) {
    return enabled ? AllocDoubleBufferBitmap(state, d, width, height, 1) : 0;
}
