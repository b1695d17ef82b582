#include "sprite/sprite_seams.h"

#include <algorithm>

#include "base/error_codes.h"

#include "display/display_links.h"
#include "display/layer_collision.h"
#include "display/layer_hooks.h"
#include "display/object_types.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"
#include "sprite/sprite.h"
#include "sprite/sprite_screen.h"

namespace {

int HasSprites(const qzBGPic* pic) { return FirstOnScreenSprite(pic) ? 1 : 0; }

int RecreateFrames(VmState*) { return RecreateSpriteFrames(); }

// The collision test's view of a sprite: its box on the current picture with the planes of the
// frame it shows, cut to the clip region it was shown with.
int SpriteCollisionObject(VmState* state, const qzObjectId& id, double, double, qzCollisionObject* out) {
    *out = {};
    qzSprite* sprite = nullptr;
    int error = FindSprite(state, id, &sprite, 0);
    if (error) return error;
    qzOnScreenSprite* node = nullptr;
    error = FindOnScreenSprite(sprite->header.id, &node);
    if (error) return error;
    qzSpriteFrame frame;
    GetSpriteFrameBitmaps(node->sprite, node->frame - 1, &frame);
    out->x = node->x;
    out->y = node->y;
    out->width = node->width;
    out->height = node->height;
    out->mask = frame.mask;
    out->alpha = frame.alpha;
    if (const qzClipRegion* clip = OnScreenSpriteClip(node)) {
        const int32_t x1 = std::max(out->x, clip->x), y1 = std::max(out->y, clip->y);
        const int32_t x2 = std::min(out->x + out->width, clip->x + clip->width);
        const int32_t y2 = std::min(out->y + out->height, clip->y + clip->height);
        out->sourceX = x1 - out->x;
        out->sourceY = y1 - out->y;
        out->x = x1;
        out->y = y1;
        out->width = std::max(0, x2 - x1);
        out->height = std::max(0, y2 - y1);
        out->clipMask = clip->mask;
        out->clipX = clip->x;
        out->clipY = clip->y;
    }
    return 0;
}

// The bitmaps of one frame of a sprite (0-based), for brushes and pointers made of it.
int SpriteFrameObjectBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out) {
    *out = qzObjectBitmaps();
    qzSprite* sprite = nullptr;
    int error = FindSprite(state, id, &sprite, 0);
    if (error) return error;
    qzSpriteFrame bitmaps;
    if (frame < 0 || !GetSpriteFrameBitmaps(sprite, frame, &bitmaps)) return ERR_ANIMFRAME;
    out->bitmap = bitmaps.bitmap;
    out->mask = bitmaps.mask;
    out->alpha = bitmaps.alpha;
    out->width = sprite->width;
    out->height = sprite->height;
    out->frames = sprite->frameCount;
    out->keyColor = sprite->transparentColor;
    return 0;
}

const qzObjectTypeOps kSpriteOps = {.bitmaps = SpriteFrameObjectBitmaps, .collision = SpriteCollisionObject};

}  // namespace

void InstallSpriteSeams(bool on) {
    SetBlitSpriteHook(on ? CurrentTargetHasSpriteIn : nullptr);

    qzDisplayLinks links = DisplayLinks();
    links.pictureHasOnScreenSprites = on ? HasSprites : nullptr;
    links.freeOnScreenSprites = on ? FreeOnScreenSpriteList : nullptr;
    links.recreateSpriteFrames = on ? RecreateFrames : nullptr;
    SetDisplayLinks(&links);

    qzLayerSystemHooks hooks = LayerSystemHooks();
    hooks.drawSprites = on ? DrawPictureSprites : nullptr;
    hooks.countSprites = on ? CountPictureSprites : nullptr;
    SetLayerSystemHooks(&hooks);

    SetObjectTypeOps(QZ_TYPE_SPRITE_OBJECT, on ? &kSpriteOps : nullptr);
}
