#include "sprite/sprite_screen.h"

#include <algorithm>
#include <cstdlib>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/layer.h"
#include "display/layer_redraw.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/clip_region.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "sprite/sprite.h"

namespace {

qzOnScreenSprite** ListOf(qzBGPic* pic) { return reinterpret_cast<qzOnScreenSprite**>(&pic->sprites); }

// The picture sprites are shown on: the current display's, while drawing goes to the display.
qzBGPic* CurrentSpritePicture() {
    qzDisplay* display = CurrentDisplay();
    return display ? display->bgpic : nullptr;
}

// The displays that show the picture get the rectangle redrawn.
void RefreshPictureRect(VmState* state, qzBGPic* pic, int32_t x, int32_t y, int32_t width, int32_t height) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->bgpic == pic) RefreshSpriteRect(state, d, x, y, width, height);
}

qzOnScreenSprite* FindNode(qzBGPic* pic, const qzObjectId& id) {
    for (qzOnScreenSprite* node = pic ? *ListOf(pic) : nullptr; node; node = node->next)
        if (SameObjectId(node->id, id)) return node;
    return nullptr;
}

void Unlink(qzBGPic* pic, qzOnScreenSprite* node) {
    for (qzOnScreenSprite** link = ListOf(pic); *link; link = &(*link)->next) {
        if (*link == node) {
            *link = node->next;
            return;
        }
    }
}

bool Overlap(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width, int32_t height) {
    return std::abs(int64_t(x1) - x2) < width + 1 && std::abs(int64_t(y1) - y2) < height + 1;
}

}  // namespace

const qzClipRegion* OnScreenSpriteClip(const qzOnScreenSprite* node) {
    if (!node->clip) return nullptr;
    qzObjectHeader* found = FindObjectById(QZ_TYPE_CLIPREGION, node->clipId);
    if (found != &node->clip->header || node->clip->freePending) return nullptr;
    return node->clip;
}

qzOnScreenSprite* FirstOnScreenSprite(const qzBGPic* pic) {
    return pic ? static_cast<qzOnScreenSprite*>(pic->sprites) : nullptr;
}

int32_t CountPictureSprites(const qzBGPic* pic) {
    int32_t count = 0;
    for (const qzOnScreenSprite* node = FirstOnScreenSprite(pic); node; node = node->next) count++;
    return count;
}

int32_t CountCurrentSprites() { return CountPictureSprites(CurrentSpritePicture()); }

int CheckSpriteOutput(VmState*) {
    const qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    switch (display->outputKind) {
    case QZ_TYPE_BGPIC: return ERR_SELECTBG;
    case QZ_TYPE_MASK: return ERR_SELECTMASK;
    case QZ_TYPE_ALPHACHANNEL: return ERR_SELECTALPHACHANNEL;
    case QZ_TYPE_BRUSH: {
        if (display->doubleBuffer || display->doubleBufferSelectParked) return ERR_ENDDOUBLEBUFFER;
        const qzBGPic* record = display->selectRecord;
        return record && record->selectTarget[0] == QZ_TYPE_ANIM ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    }
    default: break;
    }
    if (display->layersEnabled || (display->bgpic && PictureHasLayers(display->bgpic))) return ERR_LAYERSOFF;
    return 0;
}

void RefreshSpriteRect(VmState* state, qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height) {
    qzBGPic* pic = display->bgpic;
    qzBitMap* buffer = display->secondBuffer;
    if (!pic || !buffer || !display->displayBuffer) return;
    const int64_t x1 = std::max<int64_t>(x, 0), y1 = std::max<int64_t>(y, 0);
    const int64_t x2 = std::min<int64_t>(int64_t(x) + width, std::min(buffer->width, display->displayBuffer->width));
    const int64_t y2 = std::min<int64_t>(int64_t(y) + height, std::min(buffer->height, display->displayBuffer->height));
    if (x2 <= x1 || y2 <= y1) return;
    const int32_t cx = int32_t(x1), cy = int32_t(y1), cw = int32_t(x2 - x1), ch = int32_t(y2 - y1);
    RedrawPictureLayers(state, display, pic, buffer, cx, cy, cw, ch, QZ_REDRAW_NOSPRITES);
    DrawPictureSprites(state, display, pic, buffer, cx, cy, cw, ch);
    PresentBitMapRect(buffer, cx, cy, display, cx, cy, cw, ch, PRESENT_SCALED);
}

void DrawPictureSprites(VmState* state, qzDisplay*, qzBGPic* pic, qzBitMap* dst, int32_t x, int32_t y, int32_t width,
                        int32_t height) {
    if (!dst) return;
    for (const qzOnScreenSprite* node = FirstOnScreenSprite(pic); node; node = node->next) {
        const int64_t x1 = std::max<int64_t>(x, node->x), y1 = std::max<int64_t>(y, node->y);
        const int64_t x2 = std::min<int64_t>(int64_t(x) + width, int64_t(node->x) + node->width);
        const int64_t y2 = std::min<int64_t>(int64_t(y) + height, int64_t(node->y) + node->height);
        if (x2 <= x1 || y2 <= y1) continue;
        qzSpriteFrame frame;
        if (!GetSpriteFrameBitmaps(node->sprite, node->frame - 1, &frame) || !frame.bitmap) continue;
        BlitLayerBitmap(state, {frame.bitmap, frame.mask, frame.alpha}, int32_t(x1 - node->x), int32_t(y1 - node->y),
                        dst, int32_t(x1), int32_t(y1), int32_t(x2 - x1), int32_t(y2 - y1), 0, OnScreenSpriteClip(node));
    }
}

int CurrentTargetHasSpriteIn(int x1, int y1, int x2, int y2) {
    const qzDisplay* display = CurrentDisplay();
    if (!display || display->outputKind != QZ_TYPE_DISPLAY) return 0;
    for (const qzOnScreenSprite* node = FirstOnScreenSprite(display->bgpic); node; node = node->next) {
        if (int64_t(node->x) + node->width - 1 < x1 || node->x > x2) continue;
        if (int64_t(node->y) + node->height - 1 < y1 || node->y > y2) continue;
        return 1;
    }
    return 0;
}

int DrawSpriteFrame(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int32_t frame) {
    qzSprite* sprite = nullptr;
    int error = FindSprite(state, id, &sprite, 0);
    if (error) return error;
    if (frame < 0 || frame > sprite->frameCount) return ERR_ANIMFRAME;
    qzDisplay* display = CurrentDisplay();
    qzBGPic* pic = display ? display->bgpic : nullptr;
    if (!pic) return ERR_WRONGUSAGE;
    x = ResolveXPosition(x, sprite->width, pic->width, 0);
    y = ResolveYPosition(y, sprite->height, pic->height, 0);

    if (qzOnScreenSprite* node = FindNode(pic, sprite->header.id)) {
        if (frame == 0) frame = node->frame >= sprite->frameCount ? 1 : node->frame + 1;
        if (frame == node->frame && x == node->x && y == node->y && node->sprite == sprite) return 0;
        const int32_t oldX = node->x, oldY = node->y;
        node->frame = frame;
        node->x = x;
        node->y = y;
        node->sprite = sprite;
        if (Overlap(oldX, oldY, x, y, node->width, node->height)) {
            const int64_t left = std::min(oldX, x), top = std::min(oldY, y);
            const int64_t w = std::abs(int64_t(oldX) - x) + node->width;
            const int64_t h = std::abs(int64_t(oldY) - y) + node->height;
            RefreshPictureRect(state, pic, int32_t(left), int32_t(top), int32_t(std::min<int64_t>(w, INT32_MAX)),
                               int32_t(std::min<int64_t>(h, INT32_MAX)));
        } else {
            RefreshPictureRect(state, pic, oldX, oldY, node->width, node->height);
            RefreshPictureRect(state, pic, x, y, node->width, node->height);
        }
        return 0;
    }
    qzOnScreenSprite* node = new qzOnScreenSprite;
    node->id = sprite->header.id;
    node->x = x;
    node->y = y;
    node->width = sprite->width;
    node->height = sprite->height;
    node->frame = frame == 0 ? 1 : frame;
    node->sprite = sprite;
    node->clip = static_cast<qzClipRegion*>(pic->clipRegion);
    if (node->clip) node->clipId = node->clip->header.id;
    qzOnScreenSprite** tail = ListOf(pic);
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    RefreshPictureRect(state, pic, x, y, node->width, node->height);
    return 0;
}

int FindOnScreenSprite(const qzObjectId& id, qzOnScreenSprite** out) {
    *out = FindNode(CurrentSpritePicture(), id);
    if (*out) return 0;
    if (id.pointer) return ERR_SPRITEONSCREEN2;
    SetErrorArgIndex(id.number);
    return ERR_SPRITEONSCREEN;
}

int RemoveSprite(VmState* state, const qzObjectId& id) {
    qzSprite* sprite = nullptr;
    int error = FindSprite(state, id, &sprite, QZ_FINDSPRITE_MODIFY);
    if (error) return error;
    qzOnScreenSprite* node = nullptr;
    error = FindOnScreenSprite(id, &node);
    if (error) return error;
    qzBGPic* pic = CurrentSpritePicture();
    Unlink(pic, node);
    RefreshPictureRect(state, pic, node->x, node->y, node->width, node->height);
    delete node;
    return 0;
}

int RemoveAllSprites(VmState* state, int keep) {
    qzDisplay* display = CurrentDisplay();
    qzBGPic* pic = display ? display->bgpic : nullptr;
    if (!pic) return 0;
    for (const qzOnScreenSprite* node = FirstOnScreenSprite(pic); node; node = node->next)
        if (node->sprite->locked) return ERR_LOCKEDOBJ;
    if (keep) {
        // The picture as shown, sprites included, becomes the display's picture.
        if (display->displayBuffer && display->secondBuffer) {
            const int32_t w = std::min(display->displayBuffer->width, display->secondBuffer->width);
            const int32_t h = std::min(display->displayBuffer->height, display->secondBuffer->height);
            RedrawPictureLayers(state, display, pic, display->secondBuffer, 0, 0, w, h, QZ_REDRAW_NOSPRITES);
            DrawPictureSprites(state, display, pic, display->secondBuffer, 0, 0, w, h);
            CopyBitmapRect(display->secondBuffer, 0, 0, display->displayBuffer, 0, 0, w, h);
        }
        FreeOnScreenSpriteList(state, pic);
        return 0;
    }
    while (qzOnScreenSprite* node = *ListOf(pic)) {
        *ListOf(pic) = node->next;
        RefreshPictureRect(state, pic, node->x, node->y, node->width, node->height);
        delete node;
    }
    return 0;
}

void TakeSpriteOffAllPictures(VmState* state, const qzSprite* sprite) {
    for (qzBGPic* pic = FirstBGPic(); pic; pic = reinterpret_cast<qzBGPic*>(pic->header.next)) {
        for (qzOnScreenSprite** link = ListOf(pic); *link;) {
            qzOnScreenSprite* node = *link;
            if (node->sprite != sprite) {
                link = &node->next;
                continue;
            }
            *link = node->next;
            if (state) RefreshPictureRect(state, pic, node->x, node->y, node->width, node->height);
            delete node;
        }
    }
}

void FreeOnScreenSpriteList(VmState*, qzBGPic* pic) {
    while (qzOnScreenSprite* node = *ListOf(pic)) {
        *ListOf(pic) = node->next;
        delete node;
    }
}
