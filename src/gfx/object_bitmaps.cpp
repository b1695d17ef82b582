#include "gfx/object_bitmaps.h"

#include "base/error_arg.h"
#include "base/error_codes.h"

namespace {

qzObjectBitmapsFn brushHook = nullptr;
qzObjectBitmapsFn spriteHook = nullptr;
qzObjectBitmapsFn animHook = nullptr;
qzObjectBitmapsFn textObjectHook = nullptr;

int NotFound(const qzObjectId& id, int code) {
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return code;
}

}  // namespace

void SetBrushBitmapsHook(qzObjectBitmapsFn hook) { brushHook = hook; }
void SetSpriteBitmapsHook(qzObjectBitmapsFn hook) { spriteHook = hook; }
void SetAnimFrameBitmapsHook(qzObjectBitmapsFn hook) { animHook = hook; }
void SetTextObjectBitmapsHook(qzObjectBitmapsFn hook) { textObjectHook = hook; }

int GetBrushBitmaps(VmState* state, const qzObjectId& id, qzObjectBitmaps* out) {
    *out = qzObjectBitmaps();
    return brushHook ? brushHook(state, id, 1, out) : NotFound(id, ERR_FINDBRUSH);
}

int GetSpriteFrameBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out) {
    *out = qzObjectBitmaps();
    return spriteHook ? spriteHook(state, id, frame, out) : NotFound(id, ERR_FINDSPRITE);
}

int GetAnimFrameBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out) {
    *out = qzObjectBitmaps();
    return animHook ? animHook(state, id, frame, out) : NotFound(id, ERR_FINDANIM);
}

int GetTextObjectBitmaps(VmState* state, const qzObjectId& id, qzObjectBitmaps* out) {
    *out = qzObjectBitmaps();
    return textObjectHook ? textObjectHook(state, id, 1, out) : NotFound(id, ERR_FINDTEXTOBJECT);
}
