#include "anim/anim.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "anim/anim_source.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/copy_bitmap.h"
#include "gfx/draw_modes.h"
#include "gfx/scale_bitmap.h"
#include "image/output_select.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "vm/vm.h"

namespace {

qzObjectHeader* animList = nullptr;

int LayersShow(const qzObjectId& id) { return FindLayerUsingObject(QZ_LAYER_ANIM, id, nullptr, nullptr, nullptr); }

char* CopyText(const char* text) {
    if (!text) return nullptr;
    const size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

void DestroyAnim(VmState* state, qzAnim* anim) {
    delete[] anim->delays;
    FreeAnimFrameArrays(anim->bitmaps, anim->masks, anim->alphas, anim->frames);
    FreeShownFrames(anim);
    CloseAnimSource(anim->source);
    delete[] anim->file;
    delete[] anim->loaders;
    delete[] anim->adapters;
    FreeObjectDataList(state, anim->header.data);
    delete anim;
}

// Gives the layers that show the anim a private copy, so that what they show stays as it is.
int DetachAnimFromLayers(VmState* state, qzAnim* anim) {
    if (!LayersShow(anim->header.id)) return 0;
    qzAnim* copy = nullptr;
    int error = DuplicateAnim(state, anim, {0, QZ_AUTO_ID}, &copy);
    if (error) return error;
    copy->layeronly = 1;
    RetargetLayersToObject(QZ_LAYER_ANIM, anim->header.id, copy);
    return 0;
}

// The four per-frame arrays of a new frame count, zeroed; all or nothing.
struct FrameArrays {
    qzBitMap** bitmaps = nullptr;
    qzBitMap** masks = nullptr;
    qzBitMap** alphas = nullptr;
    uint32_t* delays = nullptr;
    int32_t count = 0;
    ~FrameArrays() {
        FreeAnimFrameArrays(bitmaps, masks, alphas, count);
        delete[] delays;
    }
    void Allocate(int32_t n) {
        bitmaps = new qzBitMap*[n]();
        masks = new qzBitMap*[n]();
        alphas = new qzBitMap*[n]();
        delays = new uint32_t[n];
        count = n;
        for (int32_t i = 0; i < n; i++) delays[i] = QZ_ANIM_NODELAY;
    }
};

// Scales a frame triple from its size to the anim's current size; the old triple goes.
int ScaleTriple(const qzAnim* anim, qzBitMap** bitmap, qzBitMap** mask, qzBitMap** alpha, int32_t width,
                int32_t height) {
    qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
    int error = ScaleBitMap(*bitmap, *mask, *alpha, 0, 0, nullptr, width, height, anim->width, anim->height,
                            anim->smooth, &b, *mask ? &m : nullptr, *alpha ? &a : nullptr);
    if (error) return error;
    FreeAnimFrameBitmaps(*bitmap, *mask, *alpha);
    *bitmap = b;
    *mask = m;
    *alpha = a;
    return 0;
}

}  // namespace

qzAnim* FirstAnim() { return reinterpret_cast<qzAnim*>(animList); }
qzObjectHeader** AnimListHead() { return &animList; }

int FindAnim(VmState* state, const qzObjectId& id, qzAnim** out, int flags) {
    *out = nullptr;
    for (qzAnim* anim = FirstAnim(); anim; anim = NextAnim(anim)) {
        if (!SameObjectId(anim->header.id, id)) continue;
        if (anim->layeronly && !(flags & QZ_FINDANIM_LAYERONLY)) continue;
        if (flags & QZ_FINDANIM_MODIFY) {
            if (anim->locked) return ERR_LOCKEDOBJ;
            if (!(flags & QZ_FINDANIM_NODETACH)) {
                int error = DetachAnimFromLayers(state, anim);
                if (error) return error;
            }
        }
        *out = anim;
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDANIM;
}

qzAnim* CheckAnim(VmState* state, int index, int flags) {
    qzObjectId id;
    GetObjectIdArg(&id, state, index);
    qzAnim* anim = nullptr;
    if (int error = FindAnim(state, id, &anim, flags)) VmFailCommand(state, error);
    return anim;
}

int AddAnimObject(const qzObjectId& id, int32_t width, int32_t height, qzBitMap** bitmaps, qzBitMap** masks,
                  qzBitMap** alphas, int32_t frames, int32_t transparentcolor, int32_t loadalpha, int32_t disk,
                  qzAnim** out) {
    qzAnim* anim = new (std::nothrow) qzAnim{};
    if (!anim) return ERR_MEM;
    anim->delays = new (std::nothrow) uint32_t[frames];
    if (!anim->delays) {
        delete anim;
        return ERR_MEM;
    }
    for (int32_t i = 0; i < frames; i++) anim->delays[i] = QZ_ANIM_NODELAY;
    anim->width = anim->naturalWidth = width;
    anim->height = anim->naturalHeight = height;
    anim->frames = frames;
    anim->disk = disk;
    anim->transparentcolor = transparentcolor;
    anim->loadalpha = loadalpha;
    anim->bitmaps = bitmaps;
    anim->masks = masks;
    anim->alphas = alphas;
    AddObjectToList(&animList, &anim->header, QZ_TYPE_ANIM_KIND, id);
    if (out) *out = anim;
    return 0;
}

int CreateBlankAnim(const qzObjectId& id, int32_t width, int32_t height, int32_t frames, uint32_t color, int withMask,
                    int withAlpha, int clear, qzAnim** out) {
    if (width < 1 || height < 1 || frames < 1) return ERR_WRONGUSAGE;
    FrameArrays made;
    made.Allocate(frames);
    for (int32_t i = 0; i < frames; i++) {
        qzBitMap* bitmap = CreateBitMap(width, height, 0, nullptr);
        if (!bitmap) return ERR_BITMAP;
        made.bitmaps[i] = bitmap;
        FillBitMapRect(bitmap, 0, 0, width, height, color & 0xFFFFFF);
        if (withMask) {
            made.masks[i] = CreateMaskBitMap(bitmap, width, height, 1, nullptr, 0);
            if (!made.masks[i]) return ERR_ALLOCMASK;
            if (!clear) FillMaskRect(made.masks[i], 0, 0, width, height, MASKVISIBLE);
        }
        if (withAlpha) {
            made.alphas[i] = CreateAlphaBitMap(width, height, 1, nullptr, 0);
            if (!made.alphas[i]) return ERR_ALLOCALPHA;
            if (!clear) FillAlphaRect(made.alphas[i], 0, 0, width, height, 255);
        }
    }
    int error = AddAnimObject(id, width, height, made.bitmaps, made.masks, made.alphas, frames, -1, withAlpha, 0, out);
    if (error) return error;
    made.bitmaps = made.masks = made.alphas = nullptr;
    return 0;
}

void FreeAnimFrameArrays(qzBitMap** bitmaps, qzBitMap** masks, qzBitMap** alphas, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        if (bitmaps) DeleteBitMap(bitmaps[i]);
        if (masks) DeleteMaskBitMap(masks[i]);
        if (alphas) DeleteAlphaBitMap(alphas[i]);
    }
    delete[] bitmaps;
    delete[] masks;
    delete[] alphas;
}

void FreeShownFrames(qzAnim* anim) {
    FreeAnimFrameArrays(anim->shownBitmaps, anim->shownMasks, anim->shownAlphas, anim->shownBitmaps ? anim->frames : 0);
    anim->shownBitmaps = anim->shownMasks = anim->shownAlphas = nullptr;
}

void FreeAnimFrameBitmaps(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha) {
    DeleteBitMap(bitmap);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
}

int GetAnimFrameBitmaps(qzAnim* anim, int32_t index, int copy, int unscaled, qzBitMap** bitmap, qzBitMap** mask,
                        qzBitMap** alpha, int* owned) {
    *bitmap = *mask = *alpha = nullptr;
    *owned = 0;
    if (index < 0 || index >= anim->frames) return ERR_ANIMFRAME;
    if (!anim->disk) {
        if (!copy) {
            *bitmap = anim->bitmaps[index];
            *mask = anim->masks[index];
            *alpha = anim->alphas[index];
            return 0;
        }
        int error =
            CopyBitMap(anim->bitmaps[index], anim->masks[index], anim->alphas[index], 0, 0, anim->width, anim->height,
                       0, bitmap, anim->masks[index] ? mask : nullptr, anim->alphas[index] ? alpha : nullptr);
        if (error) return error;
        *owned = 1;
        return 0;
    }
    qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
    int error =
        DecodeAnimSourceFrame(anim->source, index, anim->naturalWidth, anim->naturalHeight, anim->transparentcolor,
                              anim->loadalpha, anim->loadtransparency, anim->file ? anim->file : "", &b, &m, &a);
    if (error) return error;
    if (!unscaled && (anim->width != anim->naturalWidth || anim->height != anim->naturalHeight)) {
        error = ScaleTriple(anim, &b, &m, &a, anim->naturalWidth, anim->naturalHeight);
        if (error) {
            FreeAnimFrameBitmaps(b, m, a);
            return error;
        }
    }
    *bitmap = b;
    *mask = m;
    *alpha = a;
    *owned = 1;
    return 0;
}

uint32_t GetAnimFrameDelay(const qzAnim* anim, int32_t index) {
    if (index < 0 || index >= anim->frames) return 0;
    if (anim->delays && anim->delays[index] != QZ_ANIM_NODELAY) return anim->delays[index];
    if (anim->disk) return GetAnimSourceFrameDelay(anim->source, index);
    return 0;
}

int FreeAnimObject(VmState* state, const qzObjectId& id, int strict) {
    for (qzAnim* a = FirstAnim(); a; a = NextAnim(a))
        if (!a->layeronly && SameObjectId(a->header.id, id) && ObjectIsSelectedOutput(QZ_SELECT_ANIM, id))
            return ERR_MODIFYAANIM;
    qzAnim* anim = nullptr;
    int error = FindAnim(state, id, &anim, QZ_FINDANIM_MODIFY | QZ_FINDANIM_NODETACH);
    if (error) return (strict || error == ERR_LOCKEDOBJ) ? error : 0;
    if (LayersShow(anim->header.id)) {
        // Still shown: the anim gives up its identifier and lives on until no layer shows it.
        RetargetLayersToObject(QZ_LAYER_ANIM, anim->header.id, anim);
        anim->header.id = {0, anim};
        anim->layeronly = 1;
        return 0;
    }
    RemoveObjectFromList(&animList, &anim->header);
    DestroyAnim(state, anim);
    return 0;
}

void FreeOrphanedAnims(VmState* state) {
    qzObjectHeader* h = animList;
    while (h) {
        qzObjectHeader* next = h->next;
        qzAnim* anim = reinterpret_cast<qzAnim*>(h);
        if (anim->layeronly && !LayersShow(anim->header.id)) {
            RemoveObjectFromList(&animList, h);
            DestroyAnim(state, anim);
        }
        h = next;
    }
}

void FreeAllAnims(VmState* state) {
    while (animList) {
        qzAnim* anim = reinterpret_cast<qzAnim*>(animList);
        animList = animList->next;
        DestroyAnim(state, anim);
    }
}

int ModifyAnimFrames(VmState* state, const qzObjectId& id, int32_t delta, int32_t position, int forLayers) {
    qzAnim* anim = nullptr;
    int error = FindAnim(state, id, &anim, forLayers ? QZ_FINDANIM_LAYERONLY : QZ_FINDANIM_MODIFY);
    if (error) return error;
    if (anim->disk) return ERR_ANIMDISK;
    const int32_t count = anim->frames;
    if (delta == 0 || delta <= -count || position < 0) return ERR_WRONGUSAGE;
    if (delta < 0 && position > 0 && (int64_t)position - delta > (int64_t)count + 1) return ERR_WRONGUSAGE;
    if (position > count + 1) return ERR_WRONGUSAGE;
    const int64_t newCount = (int64_t)count + delta;
    if (newCount > INT32_MAX) return ERR_WRONGUSAGE;
    FrameArrays next;
    next.Allocate((int32_t)newCount);
    if (delta > 0) {
        const int32_t at = position > 0 ? position - 1 : count;
        const bool withMask = anim->masks[0] != nullptr, withAlpha = anim->alphas[0] != nullptr;
        for (int32_t i = at; i < at + delta; i++) {
            qzBitMap* bitmap = CreateBitMap(anim->width, anim->height, 0, nullptr);
            if (!bitmap) return ERR_BITMAP;
            next.bitmaps[i] = bitmap;
            FillBitMapRect(bitmap, 0, 0, anim->width, anim->height, 0);
            if (withMask) {
                next.masks[i] = CreateMaskBitMap(bitmap, anim->width, anim->height, 1, nullptr, 0);
                if (!next.masks[i]) return ERR_ALLOCMASK;
                FillMaskRect(next.masks[i], 0, 0, anim->width, anim->height, MASKVISIBLE);
            }
            if (withAlpha) {
                next.alphas[i] = CreateAlphaBitMap(anim->width, anim->height, 1, nullptr, 0);
                if (!next.alphas[i]) return ERR_ALLOCALPHA;
                FillAlphaRect(next.alphas[i], 0, 0, anim->width, anim->height, 255);
            }
        }
        // The old frames move over, keeping their order around the new block.
        for (int32_t i = 0; i < count; i++) {
            const int32_t to = i < at ? i : i + delta;
            next.bitmaps[to] = anim->bitmaps[i];
            next.masks[to] = anim->masks[i];
            next.alphas[to] = anim->alphas[i];
            next.delays[to] = anim->delays[i];
            anim->bitmaps[i] = anim->masks[i] = anim->alphas[i] = nullptr;
        }
    } else {
        const int32_t removed = -delta;
        const int32_t at = position > 0 ? position - 1 : count - removed;
        for (int32_t i = 0, to = 0; i < count; i++) {
            if (i >= at && i < at + removed) continue;
            next.bitmaps[to] = anim->bitmaps[i];
            next.masks[to] = anim->masks[i];
            next.alphas[to] = anim->alphas[i];
            next.delays[to] = anim->delays[i];
            anim->bitmaps[i] = anim->masks[i] = anim->alphas[i] = nullptr;
            to++;
        }
    }
    // The old arrays keep only the removed frames now, which go with them.
    FreeAnimFrameArrays(anim->bitmaps, anim->masks, anim->alphas, count);
    delete[] anim->delays;
    anim->bitmaps = next.bitmaps;
    anim->masks = next.masks;
    anim->alphas = next.alphas;
    anim->delays = next.delays;
    anim->frames = (int32_t)newCount;
    next.bitmaps = next.masks = next.alphas = nullptr;
    next.delays = nullptr;
    return 0;
}

int32_t FrameAfterModify(int32_t index, int32_t count, int32_t delta, int32_t position) {
    if (delta > 0) {
        const int32_t at = position > 0 ? position - 1 : count;
        return index < at ? index : index + delta;
    }
    const int32_t removed = -delta;
    const int32_t at = position > 0 ? position - 1 : count - removed;
    if (index < at) return index;
    return index < at + removed ? -1 : index - removed;
}

int DuplicateAnim(VmState* state, const qzAnim* anim, const qzObjectId& newId, qzAnim** out) {
    if (out) *out = nullptr;
    FrameArrays frames;
    qzAnimSource* source = nullptr;
    if (anim->disk) {
        int32_t width = 0, height = 0, count = 0;
        int alpha = 0;
        int error = OpenAnimSource(anim->file, anim->loaders, anim->adapters, anim->deinterlace, anim->loadtransparency,
                                   &source, &width, &height, &count, &alpha, nullptr);
        if (error) return error;
        // A load that dropped the loop frames asks for fewer frames than the file has.
        if (AnimSourceHasLoopFrames(source) && count == anim->frames + 2) count = anim->frames;
        if (width != anim->naturalWidth || height != anim->naturalHeight || count != anim->frames) {
            CloseAnimSource(source);
            SetErrorArgString(anim->file);
            return ERR_OPENANIM2;
        }
    } else {
        frames.Allocate(anim->frames);
        for (int32_t i = 0; i < anim->frames; i++) {
            int error = CopyBitMap(anim->bitmaps[i], anim->masks[i], anim->alphas[i], 0, 0, anim->width, anim->height,
                                   0, &frames.bitmaps[i], anim->masks[i] ? &frames.masks[i] : nullptr,
                                   anim->alphas[i] ? &frames.alphas[i] : nullptr);
            if (error) return error;
        }
    }
    std::unique_ptr<qzAnimSource, void (*)(qzAnimSource*)> sourceOwner(source, CloseAnimSource);
    qzObjectDataNode* data = nullptr;
    if (anim->header.data) {
        int error = CopyObjectDataList(state, anim->header.data, &data);
        if (error) return error;
    }
    std::unique_ptr<char[]> file(CopyText(anim->file)), loaders(CopyText(anim->loaders)),
        adapters(CopyText(anim->adapters));
    qzAnim* copy = nullptr;
    int error = AddAnimObject(newId, anim->naturalWidth, anim->naturalHeight, frames.bitmaps, frames.masks,
                              frames.alphas, anim->frames, anim->transparentcolor, anim->loadalpha, anim->disk, &copy);
    if (error) {
        FreeObjectDataList(state, data);
        return error;
    }
    frames.bitmaps = frames.masks = frames.alphas = nullptr;
    std::memcpy(copy->delays, anim->delays, sizeof(uint32_t) * anim->frames);
    copy->header.data = data;
    copy->width = anim->width;
    copy->height = anim->height;
    copy->smooth = anim->smooth;
    copy->loadtransparency = anim->loadtransparency;
    copy->deinterlace = anim->deinterlace;
    copy->source = sourceOwner.release();
    copy->file = file.release();
    copy->loaders = loaders.release();
    copy->adapters = adapters.release();
    if (out) *out = copy;
    return 0;
}

int ScaleAnimFrames(qzAnim* anim, int32_t width, int32_t height, int smooth) {
    if (width == anim->width && height == anim->height) return 0;
    FreeShownFrames(anim);
    if (anim->disk) {
        anim->width = width;
        anim->height = height;
        anim->smooth = smooth;
        return 0;
    }
    // All frames are scaled before any is replaced, so that the frames keep one common size.
    FrameArrays scaled;
    scaled.Allocate(anim->frames);
    for (int32_t i = 0; i < anim->frames; i++) {
        int error =
            ScaleBitMap(anim->bitmaps[i], anim->masks[i], anim->alphas[i], 0, 0, nullptr, anim->width, anim->height,
                        width, height, smooth, &scaled.bitmaps[i], anim->masks[i] ? &scaled.masks[i] : nullptr,
                        anim->alphas[i] ? &scaled.alphas[i] : nullptr);
        if (error) return error;
    }
    for (int32_t i = 0; i < anim->frames; i++) {
        std::swap(anim->bitmaps[i], scaled.bitmaps[i]);
        std::swap(anim->masks[i], scaled.masks[i]);
        std::swap(anim->alphas[i], scaled.alphas[i]);
    }
    anim->width = anim->naturalWidth = width;
    anim->height = anim->naturalHeight = height;
    anim->smooth = smooth;
    return 0;
}
