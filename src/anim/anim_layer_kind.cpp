#include "anim/anim_layer_kind.h"

#include "anim/anim.h"
#include "base/error_codes.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_records.h"
#include "display/picture.h"
#include "image/anim_link.h"
#include "image/output_select.h"

namespace {

// 1 when a layer of any picture shows frame index of the anim.
bool LayersShowFrame(const qzAnim* anim, int32_t index) {
    for (qzBGPic* pic = FirstBGPic(); pic; pic = reinterpret_cast<qzBGPic*>(pic->header.next))
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer))
            if (layer->type == QZ_LAYER_ANIM && SameObjectId(layer->id, anim->header.id) &&
                (layer->base->partX == index || layer->transformed->partX == index || layer->display->partX == index))
                return true;
    return false;
}

// The frame a layer shows. A disk anim keeps the frames decoded for its layers while layers show
// them, so that the layer system can borrow them like a memory anim's frames.
int LayerFrame(qzAnim* anim, int32_t index, qzBitMap** bitmap, qzBitMap** mask, qzBitMap** alpha) {
    if (!anim->disk) {
        int owned = 0;
        return GetAnimFrameBitmaps(anim, index, 0, 0, bitmap, mask, alpha, &owned);
    }
    if (!anim->shownBitmaps) {
        anim->shownBitmaps = new qzBitMap*[anim->frames]();
        anim->shownMasks = new qzBitMap*[anim->frames]();
        anim->shownAlphas = new qzBitMap*[anim->frames]();
    }
    if (!anim->shownBitmaps[index]) {
        qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
        int owned = 0;
        int error = GetAnimFrameBitmaps(anim, index, 0, 0, &b, &m, &a, &owned);
        if (error) return error;
        // Frames that no layer shows any more go first.
        for (int32_t i = 0; i < anim->frames; i++) {
            if (!anim->shownBitmaps[i] || LayersShowFrame(anim, i)) continue;
            FreeAnimFrameBitmaps(anim->shownBitmaps[i], anim->shownMasks[i], anim->shownAlphas[i]);
            anim->shownBitmaps[i] = anim->shownMasks[i] = anim->shownAlphas[i] = nullptr;
        }
        anim->shownBitmaps[index] = b;
        anim->shownMasks[index] = m;
        anim->shownAlphas[index] = a;
    }
    *bitmap = anim->shownBitmaps[index];
    *mask = anim->shownMasks[index];
    *alpha = anim->shownAlphas[index];
    return 0;
}

int AnimSourceBitmaps(VmState* state, const qzLayer* layer, const qzLayerState* st, int32_t frame, qzLayerSource* out) {
    qzAnim* anim = nullptr;
    int error = FindAnim(state, layer->id, &anim, QZ_FINDANIM_LAYERONLY);
    if (error) return error;
    int32_t index = frame >= 0 ? frame : st->partX;
    if (index >= anim->frames) index = anim->frames - 1;
    error = LayerFrame(anim, index, &out->trio.bitmap, &out->trio.mask, &out->trio.alpha);
    if (error) return error;
    out->width = anim->width;
    out->height = anim->height;
    return 0;
}

int InsertAnimLayer(VmState* state, int32_t type, const qzObjectId& id, int32_t x, int32_t y, int32_t position,
                    int hidden) {
    qzAnim* anim = nullptr;
    int error = FindAnim(state, id, &anim, 0);
    if (error) return error;
    qzLayerState* st = NewLayerState();
    if (!st) return ERR_MEM;
    st->partX = 0;
    st->partY = anim->frames;
    return AddLayerForObject(state, type, id, x, y, anim->width, anim->height, nullptr, nullptr, nullptr, nullptr,
                             nullptr, st, position > 0 ? position : -1, hidden ? (uint32_t)QZ_ADDLAYER_HIDDEN : 0u,
                             nullptr);
}

int FrameView(VmState* state, const qzObjectId& id, int32_t frame, int layerOnly, qzAnimFrameView* out) {
    *out = {};
    qzAnim* anim = nullptr;
    int error = FindAnim(state, id, &anim, layerOnly ? QZ_FINDANIM_LAYERONLY : 0);
    if (error) return error;
    error = GetAnimFrameBitmaps(anim, frame, 0, 0, &out->bitmap, &out->mask, &out->alpha, &out->owned);
    if (error) return error;
    out->width = anim->width;
    out->height = anim->height;
    out->frames = anim->frames;
    return 0;
}

int FrameSlots(VmState* state, const qzObjectId& id, int32_t frame, int modify, qzSelectFrame* out) {
    qzAnim* anim = nullptr;
    int error = FindAnim(state, id, &anim, modify ? QZ_FINDANIM_MODIFY : 0);
    if (error) return error;
    if (anim->disk) return ERR_ANIMDISK;
    if (frame < 1 || frame > anim->frames) return ERR_ANIMFRAME;
    *out = {&anim->bitmaps[frame - 1], &anim->masks[frame - 1], &anim->alphas[frame - 1], anim->width, anim->height};
    return 0;
}

}  // namespace

void InstallAnimLinks(bool on) {
    qzLayerKindOps ops = {};
    ops.sourceBitmaps = AnimSourceBitmaps;
    ops.insert = InsertAnimLayer;
    ops.purgeOrphans = FreeOrphanedAnims;
    SetLayerKindOps(QZ_LAYER_ANIM, on ? &ops : nullptr);
    const qzAnimLinks links = {.frame = FrameView, .frameSlots = FrameSlots};
    SetAnimLinks(on ? &links : nullptr);
}
