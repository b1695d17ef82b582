// RunEffect: finds the object an effect shows or hides, decides how its picture reaches the
// screen, lets the type's step routine set itself up and then runs it frame by frame on the real
// clock, or hands it to an asynchronous draw object that the script advances.
#include "libs/transitionfx/effect_driver.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "display/display.h"
#include "display/display_life.h"
#include "display/display_pixels.h"
#include "display/display_present.h"
#include "display/double_buffer.h"
#include "display/event_pump.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/layer_replace.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "display/positions.h"
#include "fx/effect_context.h"
#include "fx/effect_types.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/frame_limit.h"
#include "gfx/safe_blt.h"
#include "image/brush.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "libs/graphics/graphics.h"
#include "libs/video/video.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "runtime/option_table.h"
#include "text/text_object.h"
#include "vm/vm.h"

namespace {

constexpr uint32_t kBufferedDisplayFlag = 0x800000;

bool Between(int t, int a, int b) { return t >= a && t <= b; }

// Types that a hidden object draws through its layer's bitmaps.
bool HidesThroughLayer(int t) {
    return Between(t, 55, 73) || Between(t, 84, 87) || t == 99 || t == 100 || t == 116 || t == 117 || t == 132 ||
           t == 133;
}

// Types that take the masked or blended picture as it is instead of a composite.
bool KeepsPictureMask(int t) {
    return Between(t, 47, 73) || Between(t, 84, 87) || t == 99 || t == 100 || t == 116 || t == 117 || t == 132 ||
           t == 133;
}

// Hiding types whose old image keeps the layer in it.
bool OldImageKeepsLayer(const qzEffectContext* c) {
    const int t = c->type;
    if (!c->hide) return false;
    return t == 97 || t == 98 || t == 114 || t == 116 || t == 117 || Between(t, 134, 139) || (t == 115 && !c->viaLayer);
}

bool BoxesMeet(const qzLayerState* a, const qzLayerState* b) {
    // Inclusive corners.
    return a->left <= b->left + b->width - 1 && b->left <= a->left + a->width - 1 && a->top <= b->top + b->height - 1 &&
           b->top <= a->top + a->height - 1;
}

// 1 when a layer above, hidden or not, overlaps the layer's rectangle.
bool CoveredFromAbove(const qzBGPic* pic, const qzLayer* layer) {
    for (qzLayer* above = LastLayer(pic); above && above != layer; above = PreviousLayer(above))
        if (BoxesMeet(above->display, layer->display)) return true;
    return false;
}

bool DisplayScaled(const qzDisplay* d) { return d->autoScale && d->scaledWidth > 0 && d->scaledHeight > 0; }

// The grab of the screen under the area with the effect's layer left out (or kept).
void GrabWithoutLayer(qzEffectContext* c, qzBitMap* dst, bool keepLayer) {
    qzLayer* layer = c->layer;
    const int32_t type = layer ? layer->type : 0;
    if (layer && !keepLayer) layer->type = QZ_LAYER_NOOBJECT;
    GrabScreenRect(c, dst, c->x, c->y, c->width, c->height);
    if (layer) layer->type = type;
}

qzBitMap* NewBlackBitMap(int32_t width, int32_t height) {
    qzBitMap* b = CreateBitMap(width, height, 0, nullptr);
    if (b) FillBitMapRect(b, 0, 0, width, height, 0);
    return b;
}

// Whether the display's output selection lets the effect run.
int CheckEffectOutput(qzEffectContext* c, qzDisplay* d, bool* nothing) {
    *nothing = false;
    if (d->outputKind == QZ_OUTPUT_DISPLAY) return 0;
    // What is selected: a picture drawn into with layers, or the object whose bitmap, mask or
    // alpha channel is the output.
    const qzBGPic* record = d->selectRecord;
    int32_t kind = record ? record->selectTarget[0] : QZ_SELECT_BRUSH;
    if (d->outputKind == QZ_OUTPUT_BGPICLAYERS) kind = QZ_SELECT_BGPIC;
    const qzBGPic* selectedPicture = d->outputKind == QZ_OUTPUT_BGPICLAYERS ? CurrentBGPic() : record;
    const bool selectsShown = selectedPicture && SameObjectId(selectedPicture->header.id, c->object);
    if (kind == QZ_SELECT_BGPIC) {
        if (c->mode == QZ_EFFECT_BGPIC && selectsShown) return EndSelectOutput(c->vm, d, 0);
        if (c->async && d->layersEnabled && d->outputKind == QZ_OUTPUT_BGPICLAYERS && CurrentBGPic() == d->bgpic)
            return 0;
        return ERR_SELECTBG;
    }
    if (kind == QZ_SELECT_BRUSH && c->mode == QZ_EFFECT_BRUSH && record && SameObjectId(record->header.id, c->object))
        return EndSelectOutput(c->vm, d, 0);
    if (d->outputKind == QZ_OUTPUT_MASK) return ERR_SELECTMASK;
    if (d->outputKind == QZ_OUTPUT_ALPHA) return ERR_SELECTALPHACHANNEL;
    if (kind == QZ_SELECT_BRUSH || kind == QZ_SELECT_ANIM) {
        if (d->doubleBuffer == 1) return ERR_ENDDOUBLEBUFFER;
        return kind == QZ_SELECT_ANIM ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    }
    if (d->refreshBlock) return ERR_BEGINREFRESH;
    *nothing = true;
    return 0;
}

// A new picture: it goes on the display without being shown; the effect brings it.
int ShowNewPicture(qzEffectContext* c, qzDisplay* d) {
    qzBGPic* pic = nullptr;
    int error = FindBGPic(c->vm, c->object, &pic, 0);
    if (error) return error;
    qzBGPic* old = d->bgpic;
    if (!old) return ERR_WRONGUSAGE;
    if (pic->transparentColor != -1 || pic->alpha || old->transparentColor != -1 || old->alpha) return ERR_WRONGUSAGE;
    c->oldBGPic = old;
    c->useCount = &pic->locked;
    pic->locked++;
    c->x = 0;
    c->y = 0;
    c->width = pic->width;
    c->height = pic->height;
    c->oldScreen = NewBlackBitMap(pic->width, pic->height);
    if (!c->oldScreen) return ERR_BITMAP;
    GrabScreenRect(c, c->oldScreen, 0, 0, pic->width, pic->height);

    VmState* vm = c->vm;
    const int top = VmGetTop(vm);
    VmNewTable(vm);
    SetTableFieldObjectId(vm, "bgpic", c->object);
    if (c->bgpicX != 99999) SetTableFieldInt(vm, "x", c->bgpicX);
    if (c->bgpicY != 99999) SetTableFieldInt(vm, "y", c->bgpicY);
    {
        // Nothing reaches the window while the display switches: it keeps showing the old screen.
        struct RefreshBlock {
            qzDisplay* display;
            int32_t saved;
            ~RefreshBlock() { display->refreshBlock = saved; }
        } block{d, d->refreshBlock};
        d->refreshBlock = 1;
        error = ApplyDisplayAttributes(vm, VmGetTop(vm), d, 1);
    }
    VmSetTop(vm, top);
    if (error) return error;
    if (d->bgpic != pic) return ERR_WRONGUSAGE;

    c->image = NewBlackBitMap(pic->width, pic->height);
    if (!c->image) return ERR_BITMAP;
    c->ownsImage = 1;
    RedrawPictureLayers(vm, d, pic, c->image, 0, 0, pic->width, pic->height, 0);
    if (d->displayBuffer)
        ClippedBlit(c->oldScreen, 0, 0, d->displayBuffer, 0, 0, pic->width, pic->height, pic->width, pic->height,
                    d->displayBuffer->width, d->displayBuffer->height);
    if (d->secondBuffer)
        ClippedBlit(c->oldScreen, 0, 0, d->secondBuffer, 0, 0, pic->width, pic->height, pic->width, pic->height,
                    d->secondBuffer->width, d->secondBuffer->height);
    return 0;
}

// A brush or text object: its own bitmaps, or a new hidden layer that the effect shows.
int FindShownObject(qzEffectContext* c, qzDisplay* d, bool* inserted) {
    int32_t width = 0, height = 0;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t layerType = QZ_LAYER_BRUSH;
    if (c->mode == QZ_EFFECT_BRUSH) {
        qzBrush* brush = nullptr;
        const int error = FindBrush(c->vm, c->object, &brush, 0);
        if (error) return error;
        c->useCount = &brush->locked;
        brush->locked++;
        width = brush->width;
        height = brush->height;
        bitmap = brush->bitmap;
        mask = brush->mask;
        alpha = brush->alpha;
        c->x = ResolveXPosition(c->x, width, 0, 0.0);
        c->y = ResolveYPosition(c->y, height, 0, 0.0);
    } else {
        qzTextObject* text = nullptr;
        const int error = FindTextObject(c->vm, c->object, &text, 0);
        if (error) return error;
        c->useCount = &text->locked;
        text->locked++;
        width = text->width;
        height = text->height;
        bitmap = text->bitmap;
        mask = text->mask;
        alpha = text->alpha;
        layerType = QZ_LAYER_TEXTOBJECT;
        c->x = ResolveXPosition(c->x, width, 0, 0.0) + text->left;
        c->y = ResolveYPosition(c->y, height, 0, 0.0) + text->top;
    }
    if (!d->layersEnabled) {
        c->width = width;
        c->height = height;
        c->image = bitmap;
        c->imageMask = mask;
        c->imageAlpha = alpha;
        return bitmap ? 0 : ERR_WRONGUSAGE;
    }
    qzLayer* layer = nullptr;
    const int error = InsertLayerForObject(c->vm, 0, layerType, c->object, c->x, c->y, 1, 1, &layer);
    if (error) return error;
    c->layer = layer;
    *inserted = true;
    c->mode = QZ_EFFECT_SHOWLAYER;
    c->object = {CountLayers(d->bgpic), nullptr};
    return 0;
}

// A part of a picture, drawn as it is or inserted as a hidden layer.
int FindPicturePart(qzEffectContext* c, qzDisplay* d, bool* inserted) {
    qzBGPic* source = nullptr;
    int error = FindBGPic(c->vm, c->object, &source, 0);
    if (error) return error;
    c->useCount = &source->locked;
    source->locked++;
    const uint32_t flags = c->layersOption ? uint32_t(QZ_DRAWOBJ_WITHLAYERS) : 0u;
    if (!d->layersEnabled) {
        qzBitMap* part = nullptr;
        int owned = 0;
        error = DisplayImageObject(c->vm, 0, QZ_DRAW_BGPICPART, c->object, c->sourceX, c->sourceY, c->x, c->y, c->width,
                                   c->height, 0, 0, nullptr, nullptr, &part, &owned, flags);
        if (error) return error;
        c->image = part;
        c->ownsImage = owned;
        c->x = ResolveXPosition(c->x, c->width, 0, 0.0);
        c->y = ResolveYPosition(c->y, c->height, 0, 0.0);
        return 0;
    }
    qzLayerTags tags;
    InitLayerTags(&tags);
    tags.hidden = 1;
    tags.effects = 1;
    const int32_t before = CountLayers(d->bgpic);
    error = DisplayImageObject(c->vm, 0, QZ_DRAW_BGPICPART, c->object, c->sourceX, c->sourceY, c->x, c->y, c->width,
                               c->height, 1, 0, nullptr, &tags, nullptr, nullptr, flags | QZ_DRAWOBJ_NODRAW);
    if (error) return error;
    if (CountLayers(d->bgpic) != before + 1) return ERR_WRONGUSAGE;
    c->layer = GetLayerByPosition(d->bgpic, before + 1);
    *inserted = true;
    c->mode = QZ_EFFECT_SHOWLAYER;
    c->object = {CountLayers(d->bgpic), nullptr};
    return 0;
}

// The layer an effect shows, hides or removes: which way its picture reaches the screen.
int PrepareLayerEffect(qzEffectContext* c, qzDisplay* d) {
    if (!d->layersEnabled) return ERR_NOLAYERS;
    qzBGPic* pic = d->bgpic;
    qzLayer* layer = pic ? GetLayerByPosition(pic, c->object.number) : nullptr;
    if (!layer) return ERR_LAYERRANGE;
    if (LayerUsedByAsyncDraw(layer)) return ERR_ALREADYASYNC;
    // A video that plays in the layer goes on changing it: the effect runs frame by frame beside it.
    if (layer->type == QZ_LAYER_VIDEO && IsVideoObjectPlaying(layer)) c->async = c->forcedAsync = 1;
    c->layer = layer;
    if (c->bgpicEmu) {
        pic->modified = 0;
        if (!IsEffectLayerSafe(c->type)) layer->effectHold = 1;
    }
    if (IsScrollEffect(c->type)) {
        c->x = c->savedLayerX = layer->transformed->left;
        c->y = c->savedLayerY = layer->transformed->top;
        const qzLayerBox bounds = GetLayerBounds(c->vm, layer, layer->display);
        c->width = bounds.width;
        c->height = bounds.height;
        if (c->bgpicEmu) {
            layer->scrollEmulation = 1;
            int32_t w = 0, h = 0;
            const int error = GetLayerEffectImage(c, layer, &c->image, &c->imageMask, &c->imageAlpha, &w, &h,
                                                  &c->ownsImage, &c->ownsMask, &c->ownsAlpha);
            if (error) return error;
            if (c->emuBGPic) static_cast<qzBGPic*>(c->emuBGPic)->modified = 1;
            RefreshEmuBuffers(c, 2);
        }
        return 0;
    }
    qzLayerState* st = layer->display;
    const bool via = c->forceRealtimeLayers || (d->flags & kBufferedDisplayFlag) || c->async || c->bgpicEmu ||
                     !IsEffectLayerPlain(layer) || st->clipRegion || DisplayScaled(d) ||
                     (c->hide && HidesThroughLayer(c->type)) || CoveredFromAbove(pic, layer);
    c->viaLayer = via ? 1 : 0;
    c->x = st->left;
    c->y = st->top;
    if (c->hide && !via) {
        c->width = st->width;
        c->height = st->height;
    } else {
        const int error = GetLayerEffectImage(c, layer, &c->image, &c->imageMask, &c->imageAlpha, &c->width, &c->height,
                                              &c->ownsImage, &c->ownsMask, &c->ownsAlpha);
        if (error) return error;
    }
    if (via) {
        c->decorated = IsEffectLayerDecorated(layer);
        const int error = PrepareEffectLayer(c);
        if (error) return error;
        if (d->outputKind == QZ_TYPE_DISPLAY && !layer->hidden && !layer->pending)
            UpdateLayerOnDisplay(c->vm, layer, 0);
        if (c->bgpicEmu) {
            if (c->emuBGPic) static_cast<qzBGPic*>(c->emuBGPic)->modified = 1;
            RefreshEmuBuffers(c, 2);
        }
        return 0;
    }
    if (c->hide) {
        // The screen without the layer is what the effect uncovers.
        c->image = NewBlackBitMap(c->width, c->height);
        if (!c->image) return ERR_BITMAP;
        c->ownsImage = 1;
        GrabWithoutLayer(c, c->image, false);
    }
    return 0;
}

// A masked or blended picture composed over the screen once, so that frames copy plainly.
int PrecomposePicture(qzEffectContext* c) {
    qzBitMap* composite = NewBlackBitMap(c->width, c->height);
    if (!composite) return ERR_BITMAP;
    GrabWithoutLayer(c, composite, false);
    SafeBlt(c->vm, c->image, 0, 0, composite, 0, 0, c->width, c->height, c->width, c->height, c->width, c->height,
            SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES, c->imageMask, c->imageAlpha, nullptr);
    if (c->ownsImage) DeleteBitMap(c->image);
    if (c->ownsMask) DeleteMaskBitMap(c->imageMask);
    if (c->ownsAlpha) DeleteAlphaBitMap(c->imageAlpha);
    c->image = composite;
    c->imageMask = nullptr;
    c->imageAlpha = nullptr;
    c->ownsImage = 1;
    c->ownsMask = 0;
    c->ownsAlpha = 0;
    return 0;
}

// Puts the layer of an effect abandoned because the picture changed size back as it was.
void AbandonLayer(qzEffectContext* c, qzDisplay* d, bool inserted) {
    qzLayer* layer = c->layer;
    if (!layer || !d->layerScale) return;
    if (inserted) {
        if (c->viaLayer) {
            c->deleteInsertedLayer = 1;
        } else {
            qzBGPic* pic = FindBGPicOfLayer(layer);
            if (pic) DeleteLayerRecord(c->vm, pic, layer, 0, nullptr, nullptr, 0);
            c->layer = nullptr;
        }
        return;
    }
    if (c->scrollType) {
        RefreshLayerChange(c->vm, layer, 0, 0, c->savedLayerX, c->savedLayerY, 0, 0, nullptr);
        return;
    }
    if (c->viaLayer) {
        c->restoreVisibility = 1;
        return;
    }
    layer->hidden = c->mode == QZ_EFFECT_SHOWLAYER ? 1 : 0;
    const qzLayerBox bounds = GetLayerBounds(c->vm, layer, layer->display);
    RefreshArea(c->vm, bounds.x, bounds.y, bounds.width, bounds.height);
}

// Frames that are due on the effect's clock since `start`: frame k is due k frame intervals in.
int64_t FramesDue(uint64_t start) {
    int32_t fps = GetFrameRateLimit();
    if (fps < 1) fps = 60;
    const uint64_t elapsed = OsMonotonicMicros() - start;
    return int64_t(elapsed * uint64_t(fps) / 1000000u) + 1;
}

// Brings the layer's whole area to the screen after frames drawn without presenting.
void PresentWholeEffect(qzEffectContext* c) {
    if (!c->layer || !c->viaLayer) return;
    qzLayerState* st = c->layer->display;
    if (!st->own.bitmap) return;
    PresentEffectRect(c, st->own.bitmap, 0, 0, st->left, st->top, st->width, st->height, st->own.bitmap->width,
                      st->own.bitmap->height, st->own.mask, st->own.alpha, EFFECTBLIT_PRESENTBOUNDS);
}

// A synchronous effect's frames on the real clock. A frame that took longer than its interval makes the
// frames that fell due meanwhile drop: frame-rendered types jump to the due frame, the others draw
// them without waiting (inside a layer without presenting, then the area once).
int RunSynchronously(qzEffectContext* c, qzEffectContext* templ, qzDisplay* d, bool inserted) {
    qzBGPic* pic = d->bgpic;
    int32_t picWidth = pic ? pic->width : 0, picHeight = pic ? pic->height : 0;
    const uint64_t start = OsMonotonicMicros();
    for (;;) {
        int error = 0;
        if (PumpEvents(c->vm, QZ_PUMP_WAIT, &error)) return error;
        d = CurrentDisplay();
        pic = d ? d->bgpic : nullptr;
        if (!d || !pic) return 0;
        if (pic->width != picWidth || pic->height != picHeight) {
            if (d->autoScale) {
                picWidth = pic->width;
                picHeight = pic->height;
            } else {
                c->abandoned = 1;
                if (c->mode != QZ_EFFECT_BGPIC) templ->repeat = 1;
                AbandonLayer(c, d, inserted);
                return 0;
            }
        }
        const int64_t due = FramesDue(start);
        if (due > int64_t(c->current) + 1 && c->total > 0) {
            int32_t target = due - 1 < c->total - 1 ? int32_t(due - 1) : c->total - 1;
            if (target > c->current) {
                if (IsEffectFrameRendered(c->type)) {
                    error = SeekEffect(c, target, 1);
                    if (error) return error;
                    // The jump drew the layer unseen; the next frame shows only what it changes.
                    if (c->viaLayer) PresentWholeEffect(c);
                } else {
                    int32_t done = 0;
                    c->replaying = c->viaLayer;
                    while (c->current < target && !done && !error) error = c->step(c, &done);
                    c->replaying = 0;
                    if (error) return error;
                    if (c->viaLayer) PresentWholeEffect(c);
                    if (done) {
                        FinishEffect(c, 1);
                        return 0;
                    }
                }
            }
        }
        int32_t done = 0;
        error = c->step(c, &done);
        if (error) return error;
        error = WaitDisplayVBlank(c->vm, d, 0);
        if (error) return error;
        if (done) {
            FinishEffect(c, 1);
            return 0;
        }
    }
}

// An effect that had to run asynchronously without the script asking for it: the driver advances
// its object itself until it ends (the object then finishes and frees the context); the script
// gets no object. The object stays when the pump says stop without an error (the player ends).
int RunForcedAsync(VmState* vm, qzAsyncDraw* object) {
    for (;;) {
        int error = 0;
        if (PumpEvents(vm, QZ_PUMP_WAIT, &error)) {
            if (error) CancelAsyncDraw(object);
            return error;
        }
        if (object->finished) return RenderAsyncDrawFrame(vm, object, true);
        error = RenderAsyncDrawFrame(vm, object, false);
        qzDisplay* d = CurrentDisplay();
        if (!error && d) error = WaitDisplayVBlank(vm, d, 0);
        if (error) {
            CancelAsyncDraw(object);
            return error;
        }
    }
}

int AsyncDrawThunk(void* userData, int32_t* finished) {
    return EffectAsyncDraw(static_cast<qzEffectContext*>(userData), finished);
}
void FinishThunk(void* userData, int32_t finished) { FinishEffect(static_cast<qzEffectContext*>(userData), finished); }
void FreeThunk(void* userData, int32_t completed, int32_t) {
    FreeEffectContext(static_cast<qzEffectContext*>(userData), completed);
}

// Everything before the first frame. *nothing: the effect does nothing (an output it cannot draw to).
int SetUpEffect(qzEffectContext* c, bool* nothing, bool* inserted) {
    qzDisplay* d = CurrentDisplay();
    if (!d || !d->bgpic) return ERR_WRONGUSAGE;
    if (d->doubleBuffer || d->doubleBufferHardware) {
        const int error = EndDoubleBufferCore(c->vm, d);
        if (error) return error;
    }
    int error = CheckEffectOutput(c, d, nothing);
    if (error || *nothing) return error;

    // The type: random, layer-safe, swapped for a hidden object.
    if (c->type == QZ_EFFECT_RANDOM) c->type = PickRandomEffect(c->mode != QZ_EFFECT_BGPIC && !c->bgpicEmu);
    if (c->mode != QZ_EFFECT_BGPIC && !IsEffectLayerSafe(c->type) && !(c->mode == QZ_EFFECT_SHOWLAYER && c->bgpicEmu))
        c->type = 0;
    if (c->hide) c->type = HiddenEffectType(c->type);
    if (c->type < 0 || c->type >= QZ_EFFECT_TYPE_COUNT) return ERR_WRONGUSAGE;
    c->scrollType = IsScrollEffect(c->type);

    // The object.
    switch (c->mode) {
    case QZ_EFFECT_BGPIC: error = ShowNewPicture(c, d); break;
    case QZ_EFFECT_BRUSH:
    case QZ_EFFECT_TEXTOBJECT: error = FindShownObject(c, d, inserted); break;
    case QZ_EFFECT_BGPICPART: error = FindPicturePart(c, d, inserted); break;
    case QZ_EFFECT_SHOWLAYER:
    case QZ_EFFECT_HIDELAYER:
    case QZ_EFFECT_REMOVELAYER: break;
    default: error = ERR_WRONGUSAGE; break;
    }
    if (error) return error;
    if (c->mode == QZ_EFFECT_SHOWLAYER || c->mode == QZ_EFFECT_HIDELAYER || c->mode == QZ_EFFECT_REMOVELAYER) {
        error = PrepareLayerEffect(c, d);
        if (error) return error;
    }
    if (!c->image && !c->scrollType) return ERR_WRONGUSAGE;

    // Pre-compositing.
    const bool onScreen =
        c->x + c->width > 0 && c->y + c->height > 0 && c->x < d->bgpic->width && c->y < d->bgpic->height;
    if (!c->viaLayer && c->mode != QZ_EFFECT_BGPIC && (c->imageMask || c->imageAlpha) && !KeepsPictureMask(c->type) &&
        onScreen) {
        error = PrecomposePicture(c);
        if (error) return error;
    }
    // The old content under the area.
    if (EffectNeedsOldImage(c->type, c->viaLayer)) {
        if (c->mode == QZ_EFFECT_BGPIC) {
            c->oldImage = c->oldScreen;
            c->oldScreen = nullptr;
        } else {
            c->oldImage = NewBlackBitMap(c->width, c->height);
            if (!c->oldImage) return ERR_BITMAP;
            if (onScreen) GrabWithoutLayer(c, c->oldImage, OldImageKeepsLayer(c));
        }
    }
    // How direct drawing reaches the screen.
    c->target = nullptr;
    c->screenWidth = d->bgpic->width;
    c->screenHeight = d->bgpic->height;
    c->scaled = DisplayScaled(d) ? 1 : 0;
    c->bltFlags = c->scaled ? 36 : 4;
    if (d->flags & kBufferedDisplayFlag) {
        c->bufferedDisplay = 1;
        c->bltFlags |= 32;
    }
    if (c->mode == QZ_EFFECT_BGPIC && d->layersEnabled) c->bltFlags |= 64;
    // The routine and its set-up.
    GetEffectRoutines(c->type, &c->step, &c->freeState);
    if (!c->step) return ERR_WRONGUSAGE;
    c->phase = QZ_EFFECT_PHASE_SETUP;
    error = c->step(c, nullptr);
    if (error) return error;
    c->phase = QZ_EFFECT_PHASE_NEXT;
    return 0;
}

// An effect that fails before it ran leaves no layer behind that it inserted; a new picture that
// the display took already is shown whole, so that the window shows what the display has.
int FailEffect(qzEffectContext* c, int error, bool inserted) {
    qzDisplay* d = CurrentDisplay();
    if (c->mode == QZ_EFFECT_BGPIC && c->oldBGPic && d && d->bgpic && d->bgpic != c->oldBGPic) {
        qzBGPic* pic = d->bgpic;
        if (d->displayBuffer) CopyBitmapRect(pic->bitmap, 0, 0, d->displayBuffer, 0, 0, pic->width, pic->height);
        RefreshDisplayRect(c->vm, 0, 0, pic->width, pic->height);
    }
    if (inserted && c->layer) {
        RestoreEffectLayer(c);
        qzBGPic* pic = FindBGPicOfLayer(c->layer);
        if (pic) DeleteLayerRecord(c->vm, pic, c->layer, 1, nullptr, nullptr, 0);
        c->layer = nullptr;
    }
    FreeEffectContext(c, 0);
    SetTransitionEffectRunning(0);
    return error;
}

// Owns the context while RunEffect works on it: when memory runs out under it (the event pump
// or a routine that allocates), the context goes as a failed effect's does, and the layer is left
// as it was.
struct EffectOwner {
    qzEffectContext* context;
    bool inserted = false;
    ~EffectOwner() {
        if (!context) return;
        CatchOutOfMemory([this] { return FailEffect(context, 0, inserted); });
    }
    qzEffectContext* Release() {
        qzEffectContext* c = context;
        context = nullptr;
        return c;
    }
};

}  // namespace

int RunEffect(qzEffectContext* templ) {
    auto* c = static_cast<qzEffectContext*>(OsAlloc(sizeof(qzEffectContext), 1));
    if (!c) return ERR_MEM;
    *c = *templ;
    EffectOwner owner{c};
    templ->repeat = 0;
    if (c->type == 113) c->type = QZ_EFFECT_RANDOM;
    c->givenSpeed = c->speed;
    bool nothing = false;
    int error = SetUpEffect(c, &nothing, &owner.inserted);
    if (error || nothing) return FailEffect(owner.Release(), error, owner.inserted);

    qzDisplay* d = CurrentDisplay();
    if (c->async) {
        qzAsyncDraw* object = nullptr;
        error =
            CreateAsyncDraw(ADF_FX, AsyncDrawThunk, nullptr, FinishThunk, FreeThunk, EffectAsyncOperation, c, &object);
        if (error) return FailEffect(owner.Release(), error, owner.inserted);
        owner.Release();  // the object owns the context from now on
        if (c->forcedAsync) return RunForcedAsync(c->vm, object);
        VmPushLightUserdata(c->vm, object->header.id.pointer ? object->header.id.pointer : object);
        return 1;
    }
    if (c->mode == QZ_EFFECT_BGPIC) SetTransitionEffectRunning(1);
    error = RunSynchronously(c, templ, d, owner.inserted);
    if (error) return FailEffect(owner.Release(), error, owner.inserted);
    d = CurrentDisplay();
    if (!c->abandoned && c->mode == QZ_EFFECT_BGPIC && d && d->bgpic) {
        qzBGPic* pic = d->bgpic;
        PresentBitMapRect(c->image, 0, 0, d, 0, 0, pic->width, pic->height, PRESENT_SCALED);
        if (d->displayBuffer) CopyBitmapRect(pic->bitmap, 0, 0, d->displayBuffer, 0, 0, pic->width, pic->height);
        if (d->secondBuffer) CopyBitmapRect(c->image, 0, 0, d->secondBuffer, 0, 0, pic->width, pic->height);
    }
    SetTransitionEffectRunning(0);
    FreeEffectContext(owner.Release(), 1);
    return 0;
}
