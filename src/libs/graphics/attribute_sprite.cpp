// GetAttribute's reader of sprites: the record's size, frames and planes, and where the sprite is
// shown on the current picture (position and frame 0 while it is not on screen there).
#include "base/error_codes.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics_commands.h"
#include "sprite/sprite.h"
#include "sprite/sprite_screen.h"
#include "vm/vm.h"

int ReadSpriteAttribute(VmState* state, const qzAttributeQuery& q) {
    qzSprite* sprite = nullptr;
    int rc = FindSprite(state, q.id, &sprite, 0);
    if (rc) return rc;
    qzOnScreenSprite* node = nullptr;
    if (FindOnScreenSprite(sprite->header.id, &node) != 0) node = nullptr;
    qzSpriteFrame first;
    GetSpriteFrameBitmaps(sprite, 0, &first);
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, sprite->width);
    case ATTRHEIGHT: return PushAttrNumber(state, sprite->height);
    case ATTRTRANSPARENTCOLOR: return PushAttrNumber(state, (uint32_t)sprite->transparentColor);
    case ATTRXPOS: return PushAttrNumber(state, node ? node->x : 0);
    case ATTRYPOS: return PushAttrNumber(state, node ? node->y : 0);
    case ATTRNUMFRAMES: return PushAttrNumber(state, sprite->frameCount);
    case ATTRCURFRAME: return PushAttrNumber(state, node ? node->frame : 0);
    case ATTRHASMASK: return PushAttrNumber(state, first.mask ? 1 : 0);
    case ATTRHASALPHA: return PushAttrNumber(state, first.alpha ? 1 : 0);
    default: return PushAttrNumber(state, node ? 1 : 0);  // ATTRONSCREEN
    }
}
