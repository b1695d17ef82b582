#include "sprite/sprite.h"

#include <memory>
#include <unordered_map>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/copy_bitmap.h"
#include "gfx/flip_pixelate.h"
#include "gfx/kernels_color.h"
#include "gfx/scale_bitmap.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"
#include "sprite/sprite_screen.h"

namespace {

qzObjectHeader* spriteList = nullptr;
// The sprites of numeric identifiers by number, beside the list: DisplaySprite looks its sprite up
// on every call, and a scene that moves many sprites would walk the list for each of them.
std::unordered_map<int32_t, qzSprite*> numberedSprites;

// Makes room for the sprite's number (may run out of memory); Link then cannot fail.
void ReserveNumber(const qzObjectId& id) {
    if (!id.pointer) numberedSprites.reserve(numberedSprites.size() + 1);
}

void Link(qzSprite* sprite, const qzObjectId& id) {
    AddObjectToList(&spriteList, &sprite->header, QZ_TYPE_SPRITE, id);
    if (!sprite->header.id.pointer) numberedSprites[sprite->header.id.number] = sprite;
}

void Unlink(qzSprite* sprite) {
    RemoveObjectFromList(&spriteList, &sprite->header);
    auto found = numberedSprites.find(sprite->header.id.number);
    if (!sprite->header.id.pointer && found != numberedSprites.end() && found->second == sprite)
        numberedSprites.erase(found);
}

void DeleteFrames(const std::vector<qzSpriteFrame>& frames) {
    for (const qzSpriteFrame& frame : frames) DeleteSpriteFrame(frame);
}

// Scaled or mirrored frames are no longer what their saved pixels show: they keep the bitmaps
// they have.
void DropSavedPixels(qzSprite* sprite) {
    for (qzSpriteFrame& frame : sprite->frames) {
        OsFree(frame.saved);
        frame.saved = nullptr;
    }
}

// The colour bitmap and, with withMask, the mask (clear where the pixel's alpha is 0) of saved
// ARGB pixels. 0, ERR_BITMAP or ERR_ALLOCMASK; nothing is left behind on an error.
int BitmapsFromPixels(const uint32_t* pixels, int32_t width, int32_t height, bool withMask, qzBitMap** bitmap,
                      qzBitMap** mask) {
    *bitmap = *mask = nullptr;
    qzBitMap* made = nullptr;
    int error =
        CreateBitMapFromARGB(pixels, QZ_NO_KEY_COLOR, width, height, width, 0, 0, nullptr, &made, nullptr, nullptr);
    if (error) return error;
    if (withMask) {
        qzBitMap* bits = CreateMaskBitMap(made, width, height, 1, nullptr, 0);
        qzLockInfo lock;
        if (!bits || !LockBitMapPixels(bits, 0, &lock)) {
            DeleteMaskBitMap(bits);
            DeleteBitMap(made);
            return ERR_ALLOCMASK;
        }
        KeyColorToMask32(pixels, static_cast<uint8_t*>(lock.pixels), width, height, lock.rowLength, 0, width,
                         0xFF000000);
        UnlockBitMapPixels(&lock);
        *mask = bits;
    }
    *bitmap = made;
    return 0;
}

void DestroySprite(VmState* state, qzSprite* sprite) {
    DeleteFrames(sprite->frames);
    FreeObjectDataList(state, sprite->header.data);
    delete sprite;
}

bool LinksTo(const qzSprite* link, const qzSprite* sprite) {
    for (const qzSprite* s : link->links)
        if (s == sprite) return true;
    return false;
}

// Takes the sprite off every picture, unlinks and destroys it.
void UnlinkAndDestroy(VmState* state, qzSprite* sprite) {
    TakeSpriteOffAllPictures(state, sprite);
    Unlink(sprite);
    DestroySprite(state, sprite);
}

}  // namespace

void DeleteSpriteFrame(const qzSpriteFrame& frame) {
    DeleteBitMap(frame.bitmap);
    DeleteMaskBitMap(frame.mask);
    DeleteAlphaBitMap(frame.alpha);
    OsFree(frame.saved);
}

int SaveSpriteFramePixels(qzSpriteFrame* frame, int32_t width, int32_t height) {
    uint32_t* pixels = ReadBitMapPixelsMasked(frame->bitmap, 0, 0, width, height, frame->mask, nullptr, QZ_NO_KEY_COLOR,
                                              1, LOCKF_READONLY);
    if (!pixels) return ERR_MEM;
    OsFree(frame->saved);
    frame->saved = pixels;
    return 0;
}

int RecreateSpriteFrames() {
    for (qzSprite* sprite = FirstSprite(); sprite; sprite = NextSprite(sprite)) {
        for (qzSpriteFrame& frame : sprite->frames) {
            if (!frame.saved) continue;
            qzBitMap *bitmap = nullptr, *mask = nullptr;
            int error =
                BitmapsFromPixels(frame.saved, sprite->width, sprite->height, frame.mask != nullptr, &bitmap, &mask);
            if (error) return error;
            DeleteBitMap(frame.bitmap);
            DeleteMaskBitMap(frame.mask);
            OsFree(frame.saved);
            frame.bitmap = bitmap;
            frame.mask = mask;
            frame.saved = nullptr;
        }
    }
    return 0;
}

qzSprite* FirstSprite() { return reinterpret_cast<qzSprite*>(spriteList); }
qzObjectHeader** SpriteListHead() { return &spriteList; }

int FindSprite(VmState*, const qzObjectId& id, qzSprite** out, int flags) {
    *out = nullptr;
    qzSprite* sprite = nullptr;
    if (!id.pointer) {
        auto found = numberedSprites.find(id.number);
        if (found != numberedSprites.end()) sprite = found->second;
    } else {
        sprite = reinterpret_cast<qzSprite*>(FindObjectInList(spriteList, id));
    }
    if (!sprite) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorArgIndex(id.number);
        return ERR_FINDSPRITE;
    }
    if ((flags & QZ_FINDSPRITE_MODIFY) && sprite->locked) return ERR_LOCKEDOBJ;
    *out = sprite;
    return 0;
}

int AddSprite(const qzObjectId& id, int32_t width, int32_t height, const std::vector<qzSpriteFrame>& frames,
              qzSprite** out) {
    *out = nullptr;
    std::unique_ptr<qzSprite> owner(new qzSprite);
    owner->frames = frames;  // may run out of memory: the caller still owns the frames
    ReserveNumber(id);
    qzSprite* sprite = owner.release();
    sprite->width = width;
    sprite->height = height;
    sprite->frameCount = int32_t(frames.size());
    Link(sprite, id);
    *out = sprite;
    return 0;
}

int AddLinkSprite(const qzObjectId& id, const std::vector<qzSprite*>& links, qzSprite** out) {
    *out = nullptr;
    if (links.empty()) return ERR_WRONGUSAGE;
    int64_t frames = 0;
    for (const qzSprite* s : links) {
        if (!s->links.empty()) return ERR_SPRITELINK;
        if (s->width != links[0]->width || s->height != links[0]->height) return ERR_WRONGSPRITESIZE;
        frames += s->frameCount;
    }
    if (frames > INT32_MAX) return ERR_WRONGUSAGE;
    std::unique_ptr<qzSprite> owner(new qzSprite);
    owner->links = links;
    ReserveNumber(id);
    qzSprite* sprite = owner.release();
    sprite->width = links[0]->width;
    sprite->height = links[0]->height;
    sprite->frameCount = int32_t(frames);
    Link(sprite, id);
    *out = sprite;
    return 0;
}

int DeleteSprite(VmState* state, const qzObjectId& id, int reportNotFound) {
    qzSprite* sprite = nullptr;
    int error = FindSprite(state, id, &sprite, QZ_FINDSPRITE_MODIFY);
    if (error) return error == ERR_LOCKEDOBJ || reportNotFound ? error : 0;
    if (sprite->links.empty()) {
        // The link sprites that show its frames go with it, unless one of them is in use.
        for (const qzSprite* s = FirstSprite(); s; s = NextSprite(s))
            if (s->locked && LinksTo(s, sprite)) return ERR_LOCKEDOBJ;
        for (qzSprite* s = FirstSprite(); s;) {
            qzSprite* next = NextSprite(s);
            if (LinksTo(s, sprite)) UnlinkAndDestroy(state, s);
            s = next;
        }
    }
    UnlinkAndDestroy(state, sprite);
    return 0;
}

void FreeAllSprites(VmState* state) {
    numberedSprites.clear();
    while (spriteList) {
        qzSprite* sprite = FirstSprite();
        TakeSpriteOffAllPictures(nullptr, sprite);
        spriteList = sprite->header.next;
        DestroySprite(state, sprite);
    }
}

bool GetSpriteFrameBitmaps(const qzSprite* sprite, int32_t index, qzSpriteFrame* out) {
    *out = {};
    if (index < 0) return false;
    if (sprite->links.empty()) {
        if (size_t(index) >= sprite->frames.size()) return false;
        *out = sprite->frames[size_t(index)];
        return true;
    }
    for (const qzSprite* s : sprite->links) {
        if (index < s->frameCount) return GetSpriteFrameBitmaps(s, index, out);
        index -= s->frameCount;
    }
    return false;
}

int SpriteIsLinked(const qzSprite* sprite) {
    if (!sprite->links.empty()) return 1;
    for (const qzSprite* s = FirstSprite(); s; s = NextSprite(s))
        if (LinksTo(s, sprite)) return 1;
    return 0;
}

int ScaleSpriteFrames(qzSprite* sprite, int32_t width, int32_t height, int smooth) {
    std::vector<qzSpriteFrame> scaled;
    scaled.reserve(sprite->frames.size());
    for (const qzSpriteFrame& frame : sprite->frames) {
        qzSpriteFrame made;
        int error = ScaleBitMap(frame.bitmap, frame.mask, frame.alpha, 0, 0, nullptr, sprite->width, sprite->height,
                                width, height, smooth, &made.bitmap, frame.mask ? &made.mask : nullptr,
                                frame.alpha ? &made.alpha : nullptr);
        if (!error && !made.bitmap) error = ERR_BITMAP;
        if (error) {
            DeleteSpriteFrame(made);
            DeleteFrames(scaled);
            return error;
        }
        scaled.push_back(made);
    }
    DeleteFrames(sprite->frames);
    sprite->frames.swap(scaled);  // the scaled frames keep no pixels
    sprite->width = width;
    sprite->height = height;
    return 0;
}

int FlipSpriteFrames(qzSprite* sprite, int vertical) {
    DropSavedPixels(sprite);
    for (const qzSpriteFrame& frame : sprite->frames) {
        int error = FlipBitMap(frame.bitmap, frame.mask, frame.alpha, sprite->width, sprite->height, vertical);
        if (error) return error;
    }
    return 0;
}

int CopySpriteRecord(VmState* state, const qzSprite* source, const qzObjectId& newId, qzSprite** out) {
    *out = nullptr;
    std::vector<qzSpriteFrame> copies;
    struct FramesOwner {
        std::vector<qzSpriteFrame>* frames;
        ~FramesOwner() {
            if (frames) DeleteFrames(*frames);
        }
    } owner{&copies};
    copies.reserve(source->frames.size());
    for (const qzSpriteFrame& frame : source->frames) {
        qzSpriteFrame made;
        int error = CopyBitMap(frame.bitmap, frame.mask, frame.alpha, 0, 0, source->width, source->height, 0,
                               &made.bitmap, frame.mask ? &made.mask : nullptr, frame.alpha ? &made.alpha : nullptr);
        if (error) return error;
        copies.push_back(made);
    }
    qzObjectDataNode* data = nullptr;
    if (source->header.data) {
        int error = CopyObjectDataList(state, source->header.data, &data);
        if (error) return error;
    }
    qzSprite* sprite = nullptr;
    int error = source->links.empty() ? AddSprite(newId, source->width, source->height, copies, &sprite)
                                      : AddLinkSprite(newId, source->links, &sprite);
    if (error) {
        FreeObjectDataList(state, data);
        return error;
    }
    owner.frames = nullptr;
    sprite->header.data = data;
    sprite->transparentColor = source->transparentColor;
    *out = sprite;
    return 0;
}
