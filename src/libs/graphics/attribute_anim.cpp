// GetAttribute's reader of anims, and the frame delay of anim layers.
#include "anim/anim.h"
#include "base/error_codes.h"
#include "display/layer.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics_commands.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int ReadAnimAttribute(VmState* state, const qzAttributeQuery& q) {
    qzAnim* anim = nullptr;
    int rc = FindAnim(state, q.id, &anim, 0);
    if (rc) return rc;
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, anim->width);
    case ATTRHEIGHT: return PushAttrNumber(state, anim->height);
    case ATTRTRANSPARENTCOLOR: return PushAttrNumber(state, (uint32_t)anim->transparentcolor);
    case ATTRNUMFRAMES: return PushAttrNumber(state, anim->frames);
    // A disk anim has no frames in memory: what its frames get when they are decoded.
    case ATTRHASMASK: return PushAttrFlag(state, anim->disk ? anim->transparentcolor >= 0 : anim->masks[0] != nullptr);
    case ATTRHASALPHA:
        return PushAttrFlag(state, anim->disk ? anim->loadalpha || anim->loadtransparency : anim->alphas[0] != nullptr);
    case ATTRFRAMEDELAY: {
        // The extra argument is the frame (1-based).
        const int32_t frame = q.extraIndex ? VmCheckInteger(state, q.extraIndex) : 1;
        if (frame < 1 || frame > anim->frames) return ERR_ANIMFRAME;
        return PushAttrNumber(state, GetAnimFrameDelay(anim, frame - 1));
    }
    default: return PushAttrString(state, "inbuilt");  // ATTRLOADER
    }
}

int ReadAnimLayerFrameDelay(VmState* state, const qzLayer* layer) {
    qzAnim* anim = nullptr;
    int rc = FindAnim(state, layer->id, &anim, QZ_FINDANIM_LAYERONLY);
    if (rc) return rc;
    return PushAttrNumber(state, GetAnimFrameDelay(anim, layer->base->partX));
}
