// Output selection: SelectOutputObject, SelectBGPicLayers, EndSelectOutput, UpdateSelectedOutput.
#include "image/output_select.h"

#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_links.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/layer_source.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/copy_bitmap.h"
#include "gfx/draw_modes.h"
#include "gfx/scale_bitmap.h"
#include "image/anim_link.h"
#include "image/brush.h"
#include "platform/os_bitmap.h"

namespace {

qzSelectLayerRasterizer layerRasterizer = nullptr;

// Video-bitmap features of the display adapter: drawing into hardware bitmaps, and into their
// masks and alpha channels.
constexpr uint32_t kCapDrawHardware = 64;
constexpr uint32_t kCapDrawHardwareChannels = 128;

// What a selection draws into.
struct Target {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    qzLayer* layer = nullptr;
};

void ClearOutputWords(qzDisplay* display) {
    display->outputBitmap = display->outputMask = display->outputAlpha = nullptr;
}

// The frame (1-based) of the anim; modify gives layers that show the anim their own copy first.
int FindAnimFrame(VmState* state, const qzObjectId& id, int32_t frame, int modify, qzSelectFrame* out) {
    *out = {};
    if (!AnimLinks().frameSlots) return AnimNotFound(id);
    return AnimLinks().frameSlots(state, id, frame, modify, out);
}

// The bitmaps and size of an anim frame as a selection's target (its layer, if any, stays).
int AnimFrameTarget(VmState* state, const qzObjectId& id, int32_t frame, Target* out) {
    qzSelectFrame f;
    if (int error = FindAnimFrame(state, id, frame, 0, &f)) return error;
    out->bitmap = *f.bitmap;
    out->mask = *f.mask;
    out->alpha = *f.alpha;
    out->width = f.width;
    out->height = f.height;
    return 0;
}

// A layer's own bitmaps: a layer that draws its object gets a copy of the object's bitmaps, which
// it shows from now on, so that drawing into it changes the layer only.
int RasterizeLayerForSelect(VmState* state, qzLayer* layer) {
    qzLayerState* st = layer->base;
    if (st->own.bitmap) return 0;
    qzLayerSource source{};
    int error = GetLayerSourceBitmaps(state, layer, st, 0, 0, -1, &source);
    if (error) return error;
    const qzLayerShownRect shown = LayerShownRect(layer, st, source);
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    error =
        CopyBitMap(source.trio.bitmap, source.trio.mask, source.trio.alpha, shown.x, shown.y, shown.width, shown.height,
                   0, &bitmap, source.trio.mask ? &mask : nullptr, source.trio.alpha ? &alpha : nullptr);
    if (error) return error;
    st->own = {bitmap, mask, alpha};
    if (LayerShowsPart(layer->type)) st->partX = st->partY = 0;
    return 0;
}

int ResolveLayerTarget(VmState* state, qzDisplay* display, const qzObjectId& id, int32_t frame, Target* out) {
    qzLayer* layer = display->bgpic ? GetLayerByPosition(display->bgpic, id.number) : nullptr;
    if (!layer || id.pointer) return ERR_LAYERRANGE;
    if (frame > 0 && layer->type != QZ_LAYER_ANIM) return ERR_NOANMLAYER;
    if (frame <= 0 && layer->type == QZ_LAYER_ANIM) return ERR_MISSINGPARAMTR;
    out->layer = layer;
    if (layer->type == QZ_LAYER_ANIM) return AnimFrameTarget(state, layer->id, frame, out);
    int error = layerRasterizer ? layerRasterizer(state, layer) : 0;
    if (!error) error = RasterizeLayerForSelect(state, layer);
    if (error) return error;
    const qzBitMapTrio& own = layer->base->own;
    out->bitmap = own.bitmap;
    out->mask = own.mask;
    out->alpha = own.alpha;
    out->width = own.bitmap->width;
    out->height = own.bitmap->height;
    return 0;
}

int ResolveTarget(VmState* state, qzDisplay* display, int32_t kind, const qzObjectId& id, int32_t outputKind,
                  int32_t frame, Target* out) {
    switch (kind) {
    case QZ_SELECT_BRUSH: {
        qzBrush* brush = nullptr;
        int error = FindBrush(state, id, &brush, QZ_FINDBRUSH_NOVECTOR | QZ_FINDBRUSH_HARDWARE);
        if (error) return error;
        if (brush->hardware) {
            const uint32_t need = outputKind == QZ_OUTPUT_BITMAP ? kCapDrawHardware : kCapDrawHardwareChannels;
            if (!OsQueryVideoBitMapCaps(need)) return ERR_HWBRUSH;
        }
        *out = {brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, nullptr};
        return 0;
    }
    case QZ_SELECT_BGPIC: {
        qzBGPic* pic = nullptr;
        int error = FindBGPic(state, id, &pic, 0);
        if (error) return error;
        if (pic->type == QZ_PICTURE_GENERATED && pic->source) return ERR_BGPICTYPE;
        if (IsPictureOnAnyDisplay(pic)) return ERR_SELECTBGPIC2;
        if (!pic->origBitmap) return ERR_BITMAP;
        // Drawn into, the picture no longer is what its fill describes.
        pic->fill.valid = 0;
        *out = {pic->origBitmap, pic->origMask, pic->origAlpha, pic->origWidth, pic->origHeight, nullptr};
        return 0;
    }
    case QZ_SELECT_LAYER: return ResolveLayerTarget(state, display, id, frame, out);
    case QZ_SELECT_ANIM: return AnimFrameTarget(state, id, frame, out);
    default: return ERR_WRONGUSAGE;
    }
}

qzBGPic* NewRecord() {
    qzBGPic* record = new (std::nothrow) qzBGPic();
    if (record) InitDoubleList(&record->layers);
    return record;
}

// Parks double buffering while a selection takes the output. The saved word keeps whether the
// hardware form was on (the display code reads it as hardware double buffering).
void ParkDoubleBuffer(qzDisplay* display) {
    if (!display->doubleBuffer) return;
    display->doubleBufferSelectParked = 1;
    display->doubleBufferSaved = display->doubleBufferHardware;
    display->doubleBuffer = display->doubleBufferHardware = 0;
}

void ResumeDoubleBuffer(qzDisplay* display) {
    display->doubleBuffer = 1;
    display->doubleBufferHardware = display->doubleBufferSaved;
    display->doubleBufferSelectParked = 0;
    display->doubleBufferSaved = 0;
    qzBGPic* target = display->doubleBufferTarget;
    SetCurrentBGPic(target);
    ClearOutputWords(display);
    display->outputKind = QZ_OUTPUT_BITMAP;
    display->outputBitmap = target ? target->origBitmap : nullptr;
    display->outputHardware = display->doubleBufferHardware;
}

// A mask all visible (or an alpha channel all opaque) for a target that has none; the other
// channel goes, as an image has one or the other.
int AddMissingChannel(qzBitMap** bitmap, qzBitMap** mask, qzBitMap** alpha, int32_t width, int32_t height,
                      int32_t outputKind) {
    if (outputKind == QZ_OUTPUT_MASK && !*mask) {
        qzBitMap* made = CreateMaskBitMap(*bitmap, width, height, 1, nullptr, 0);
        if (!made) return ERR_ALLOCMASK;
        FillMaskRect(made, 0, 0, width, height, MASKVISIBLE);
        *mask = made;
        DeleteAlphaBitMap(*alpha);
        *alpha = nullptr;
    } else if (outputKind == QZ_OUTPUT_ALPHA && !*alpha) {
        qzBitMap* made = CreateAlphaBitMap(width, height, 1, nullptr, 0);
        if (!made) return ERR_ALLOCALPHA;
        FillAlphaRect(made, 0, 0, width, height, 255);
        *alpha = made;
        DeleteMaskBitMap(*mask);
        *mask = nullptr;
    }
    return 0;
}

// Points the output words at a target's current bitmaps.
void PointOutputAt(qzDisplay* display, qzBGPic* record, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha) {
    record->bitmap = bitmap;
    record->mask = mask;
    record->alpha = alpha;
    const bool hardware = display->outputHardware != 0;
    ClearOutputWords(display);
    switch (display->outputKind) {
    case QZ_OUTPUT_BITMAP:
        display->outputBitmap = bitmap;
        if (DrawModes().selectMode == QZ_SELMODE_COMBO) {
            display->outputMask = mask;
            display->outputAlpha = alpha;
        }
        break;
    case QZ_OUTPUT_MASK: display->outputMask = hardware ? bitmap : mask; break;
    case QZ_OUTPUT_ALPHA: display->outputAlpha = hardware ? bitmap : alpha; break;
    default: break;
    }
}

// Before the first draw into an anim frame: the frame, looked up for a change, gets the channel
// that is drawn into when it has none, and the output points at its bitmaps.
int PointOutputAtAnimFrame(VmState* state, qzDisplay* display, qzBGPic* rec, const qzObjectId& id) {
    qzSelectFrame f;
    if (int error = FindAnimFrame(state, id, rec->selectTarget[1] + 1, 1, &f)) return error;
    if (!display->outputHardware)
        if (int error = AddMissingChannel(f.bitmap, f.mask, f.alpha, f.width, f.height, display->outputKind))
            return error;
    PointOutputAt(display, rec, *f.bitmap, *f.mask, *f.alpha);
    return 0;
}

// The picture shows what was drawn into its original: its work copies that are separate from it
// are made again from it at their sizes, by the picture's own scaling and freeing rules.
int RebuildPictureCopies(VmState* state, qzBGPic* pic) {
    const bool scaledSeparate = pic->scaledBitmap != pic->origBitmap;
    const bool currentSeparate = pic->bitmap != pic->scaledBitmap;
    MadeBitMaps scaled, current;
    if (scaledSeparate)
        if (int error = ScaleBGPicBitmaps(state, pic, pic->scaledWidth, pic->scaledHeight, 0, &scaled.bitmap,
                                          &scaled.mask, &scaled.alpha))
            return error;
    if (currentSeparate)
        if (int error = ScaleBGPicBitmaps(state, pic, pic->width, pic->height, 0, &current.bitmap, &current.mask,
                                          &current.alpha))
            return error;
    FreeWorkCopies(pic);
    if (scaledSeparate) scaled.Release(&pic->scaledBitmap, &pic->scaledMask, &pic->scaledAlpha);
    if (currentSeparate)
        current.Release(&pic->bitmap, &pic->mask, &pic->alpha);
    else
        pic->bitmap = pic->scaledBitmap, pic->mask = pic->scaledMask, pic->alpha = pic->scaledAlpha;
    return 0;
}

// The layer shows what was drawn into its bitmaps.
void RefreshDrawnLayer(VmState* state, qzDisplay* display, qzLayer* layer, int32_t frame) {
    qzBGPic* pic = FindBGPicOfLayer(layer);
    if (!pic || GetLayerPosition(pic, layer) == 0) return;
    FreeLayerCaches(layer);
    // A turned, scaled or display-scaled layer shows states rendered from its base: they are
    // rendered again, so that they show the drawing too.
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    if (hooks.renderObject && layer->transformed != layer->base) hooks.renderObject(state, layer, QZ_RENDER_TRANSFORM);
    if (hooks.renderObject && layer->display != layer->transformed)
        hooks.renderObject(state, layer, QZ_RENDER_DISPLAYSCALE | QZ_RENDER_TRANSFORM);
    if (pic != display->bgpic || layer->hidden) return;
    UpdateLayerOnDisplay(state, layer, 0);
}

// Ends the selection's effects on what was selected, once the output is back.
void FinishSelected(VmState* state, qzDisplay* display, int32_t outputKind, qzBGPic* layersPicture, int noRefresh) {
    qzBGPic* record = display->selectRecord;
    if (outputKind == QZ_OUTPUT_BGPICLAYERS) {
        if (layersPicture == display->bgpic) {
            FlushDeferredRefresh(state, display, noRefresh);
        } else {
            for (qzLayer* l = layersPicture ? FirstLayer(layersPicture) : nullptr; l; l = NextLayer(l)) l->pending = 0;
            ClearRectList(&display->rectList);
        }
        return;
    }
    if (!record || !record->selectTarget[0]) return;
    const int32_t kind = record->selectTarget[0];
    const bool modified = record->modified != 0;
    qzLayer* layer = static_cast<qzLayer*>(record->selectLayer);
    const int32_t frame = record->selectTarget[1];
    record->selectTarget[0] = 0;
    record->selectLayer = nullptr;
    record->modified = 0;
    if (!modified) return;
    if (kind == QZ_SELECT_BGPIC) {
        qzBGPic* pic = nullptr;
        if (FindBGPic(state, record->header.id, &pic, QZ_FINDPIC_LAYERONLY) == 0) RebuildPictureCopies(state, pic);
    } else if (kind == QZ_SELECT_LAYER && layer) {
        RefreshDrawnLayer(state, display, layer, frame);
    }
}

int EndSelectLink(VmState* state, qzDisplay* display) { return EndSelectOutput(state, display, 0); }

}  // namespace

void SetSelectLayerRasterizer(qzSelectLayerRasterizer rasterize) { layerRasterizer = rasterize; }
qzSelectLayerRasterizer GetSelectLayerRasterizer() { return layerRasterizer; }

int OutputIsSelected(const qzDisplay* display) {
    if (!display) return 0;
    if (display->doubleBufferSelectParked) return 1;
    return display->outputKind != QZ_OUTPUT_DISPLAY && !display->doubleBuffer;
}

int ObjectIsSelectedOutput(int32_t kind, const qzObjectId& id) {
    for (const qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        const qzBGPic* record = d->selectRecord;
        if (OutputIsSelected(d) && d->outputKind != QZ_OUTPUT_BGPICLAYERS && record &&
            record->selectTarget[0] == kind && SameObjectId(record->header.id, id))
            return 1;
    }
    return 0;
}

int SelectOutputObject(VmState* state, int32_t kind, const qzObjectId& id, int32_t outputKind, int32_t frame,
                       int32_t mode, int32_t extra) {
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    // 1. The same selection again changes nothing.
    const qzBGPic* record = display->selectRecord;
    const int32_t frame0 = frame > 0 ? frame - 1 : 0;
    if (display->outputKind == outputKind && OutputIsSelected(display) && record && record->selectTarget[0] == kind &&
        record->selectTarget[1] == frame0 && SameObjectId(record->header.id, id))
        return 0;
    // 2. The previous selection ends (a selection that parked double buffering too).
    if (OutputIsSelected(display)) EndSelectOutput(state, display, 0);
    // 3. The target.
    Target target;
    int error = ResolveTarget(state, display, kind, id, outputKind, frame, &target);
    if (error) return error;
    // 4. The select record.
    if (!display->selectRecord) {
        display->selectRecord = NewRecord();
        if (!display->selectRecord) return ERR_MEM;
    }
    qzBGPic* rec = display->selectRecord;
    rec->header.id = id;
    rec->selectTarget[0] = kind;
    rec->selectTarget[1] = frame0;
    rec->selectTarget[2] = 0;
    rec->selectLayer = target.layer;
    rec->width = rec->scaledWidth = rec->origWidth = target.width;
    rec->height = rec->scaledHeight = rec->origHeight = target.height;
    rec->bitmap = rec->scaledBitmap = rec->origBitmap = target.bitmap;
    rec->mask = rec->scaledMask = rec->origMask = target.mask;
    rec->alpha = rec->scaledAlpha = rec->origAlpha = target.alpha;
    rec->clipRegion = nullptr;
    rec->modified = 0;
    SetCurrentBGPic(rec);
    // 5. Layers are off while drawing into the target; the text position starts at its corner.
    SaveDisplayOutputState(display, outputKind, target.width);
    // 6. The output kind; double buffering waits.
    display->outputKind = outputKind;
    display->outputHardware = target.bitmap && target.bitmap->video ? 1 : 0;
    ParkDoubleBuffer(display);
    // 7. The output words and the select mode.
    DrawModes().selectMode = mode;
    if (mode == QZ_SELMODE_COMBO) DrawModes().alphaSelectMode = extra;
    PointOutputAt(display, rec, target.bitmap, target.mask, target.alpha);
    return 0;
}

int SelectBGPicLayers(VmState* state, const qzObjectId* id) {
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    qzBGPic* pic = display->bgpic;
    if (id) {
        int error = FindBGPic(state, *id, &pic, 0);
        if (error) return error;
    }
    if (!pic) return ERR_FINDBGPIC;
    if (display->outputKind == QZ_OUTPUT_BGPICLAYERS && CurrentBGPic() == pic) return 0;
    if (OutputIsSelected(display)) EndSelectOutput(state, display, 0);
    if (!display->layersEnabled) return ERR_NOLAYERS;
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d != display && d->bgpic == pic) return ERR_SELECTBGPIC;
    if (display->rectList.capacity == 0) {
        int error = InitRectList(&display->rectList, QZ_OUTPUT_RECTS);
        if (error) return error;
    }
    ClearRectList(&display->rectList);
    display->rectList.limit = QZ_OUTPUT_RECTS;
    ClearOutputWords(display);
    SaveDisplayOutputState(display, QZ_OUTPUT_BGPICLAYERS, pic->width);
    SetCurrentBGPic(pic);
    display->outputKind = QZ_OUTPUT_BGPICLAYERS;
    display->outputHardware = 0;
    DrawModes().selectMode = QZ_SELMODE_LAYERS;
    return 0;
}

int EndSelectOutput(VmState* state, qzDisplay* display, int noRefresh) {
    if (!display || !OutputIsSelected(display)) return 0;
    const int32_t outputKind = display->outputKind;
    qzBGPic* layersPicture = outputKind == QZ_OUTPUT_BGPICLAYERS ? CurrentBGPic() : nullptr;
    ClearOutputWords(display);
    display->outputKind = QZ_OUTPUT_DISPLAY;
    display->outputHardware = 0;
    const bool parked = display->doubleBufferSelectParked != 0;
    if (!parked) SetCurrentBGPic(display->bgpic);
    FinishSelected(state, display, outputKind, layersPicture, noRefresh);
    DrawModes().selectMode = QZ_SELMODE_NORMAL;
    RestoreDisplayOutputState(display);
    if (parked) ResumeDoubleBuffer(display);
    return 0;
}

int UpdateSelectedOutput(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display || !OutputIsSelected(display) || display->outputKind == QZ_OUTPUT_BGPICLAYERS) return 0;
    qzBGPic* rec = display->selectRecord;
    if (!rec || CurrentBGPic() != rec || rec->modified) return 0;
    const int32_t outputKind = display->outputKind;
    const bool software = !display->outputHardware;
    switch (rec->selectTarget[0]) {
    case QZ_SELECT_BRUSH: {
        qzBrush* brush = nullptr;
        int flags = QZ_FINDBRUSH_MODIFY | QZ_FINDBRUSH_NOVECTOR | (display->outputHardware ? QZ_FINDBRUSH_HARDWARE : 0);
        int error = FindBrush(state, rec->header.id, &brush, flags);
        if (error) return error;
        if (software) {
            error =
                AddMissingChannel(&brush->bitmap, &brush->mask, &brush->alpha, brush->width, brush->height, outputKind);
            if (error) return error;
        }
        PointOutputAt(display, rec, brush->bitmap, brush->mask, brush->alpha);
        break;
    }
    case QZ_SELECT_BGPIC: {
        qzBGPic* pic = nullptr;
        int error = FindBGPic(state, rec->header.id, &pic, QZ_FINDPIC_MODIFY);
        if (error) return error;
        qzBitMap* oldMask = pic->origMask;
        qzBitMap* oldAlpha = pic->origAlpha;
        error = AddMissingChannel(&pic->origBitmap, &pic->origMask, &pic->origAlpha, pic->origWidth, pic->origHeight,
                                  outputKind);
        if (error) return error;
        // Copies that shared the original's channels share the new ones.
        if (pic->scaledMask == oldMask) pic->scaledMask = pic->origMask;
        if (pic->scaledAlpha == oldAlpha) pic->scaledAlpha = pic->origAlpha;
        if (pic->mask == oldMask) pic->mask = pic->scaledMask;
        if (pic->alpha == oldAlpha) pic->alpha = pic->scaledAlpha;
        PointOutputAt(display, rec, pic->origBitmap, pic->origMask, pic->origAlpha);
        break;
    }
    case QZ_SELECT_ANIM: {
        if (int error = PointOutputAtAnimFrame(state, display, rec, rec->header.id)) return error;
        break;
    }
    case QZ_SELECT_LAYER: {
        qzLayer* layer = static_cast<qzLayer*>(rec->selectLayer);
        if (!layer) return ERR_WRONGUSAGE;
        if (layer->type == QZ_LAYER_ANIM) {
            if (int error = PointOutputAtAnimFrame(state, display, rec, layer->id)) return error;
            break;
        }
        qzBitMapTrio& own = layer->base->own;
        if (software) {
            int error = AddMissingChannel(&own.bitmap, &own.mask, &own.alpha, rec->width, rec->height, outputKind);
            if (error) return error;
        }
        PointOutputAt(display, rec, own.bitmap, own.mask, own.alpha);
        break;
    }
    default: return ERR_WRONGUSAGE;
    }
    rec->modified = 1;
    return 0;
}

void InstallOutputSelectLinks(bool on) {
    qzDisplayLinks links = DisplayLinks();
    links.endSelectOutput = on ? EndSelectLink : nullptr;
    SetDisplayLinks(&links);
}
