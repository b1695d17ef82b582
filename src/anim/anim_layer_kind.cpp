#include "anim/anim_layer_kind.h"

#include "anim/anim.h"
#include "base/error_codes.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_records.h"
#include "image/anim_link.h"
#include "image/output_select.h"

namespace {

// The frame a layer shows. A disk anim keeps the last frame decoded for its layers, so that the
// layer system can borrow it like a memory anim's.
int LayerFrame(qzAnim* anim, int32_t index, qzBitMap** bitmap, qzBitMap** mask, qzBitMap** alpha) {
    if (!anim->disk) {
        int owned = 0;
        return GetAnimFrameBitmaps(anim, index, 0, 0, bitmap, mask, alpha, &owned);
    }
    if (anim->shownFrame != index || !anim->shownBitmap) {
        qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
        int owned = 0;
        int error = GetAnimFrameBitmaps(anim, index, 0, 0, &b, &m, &a, &owned);
        if (error) return error;
        FreeAnimFrameBitmaps(anim->shownBitmap, anim->shownMask, anim->shownAlpha);
        anim->shownBitmap = b;
        anim->shownMask = m;
        anim->shownAlpha = a;
        anim->shownFrame = index;
    }
    *bitmap = anim->shownBitmap;
    *mask = anim->shownMask;
    *alpha = anim->shownAlpha;
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
