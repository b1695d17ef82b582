// What the image code asks of anims, whose code sits above it: the bitmaps of an anim frame for
// drawing it, and a frame's bitmap slots as a selection's target. The anim library installs the
// table when it opens and removes it when it closes; null members (the default) find no anim.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzSelectFrame;

// A frame to draw: owned tells whether the caller frees the bitmaps (frames decoded on demand).
struct qzAnimFrameView {
    qzBitMap* bitmap;
    qzBitMap* mask;
    qzBitMap* alpha;
    int32_t width, height;
    int32_t frames;  // the anim's frame count
    int owned;
};

struct qzAnimLinks {
    // The frame (0-based) of the anim at its current size; layerOnly also finds anims the script
    // freed while layers show them. 0, ERR_FINDARRAY, ERR_FINDANIM or the frame's error.
    int (*frame)(VmState* state, const qzObjectId& id, int32_t frame, int layerOnly, qzAnimFrameView* out);
    // The slots of a frame (1-based) of a memory anim; modify gives the layers that show the anim
    // their own copy first. 0, ERR_FINDARRAY, ERR_FINDANIM, ERR_ANIMFRAME or ERR_ANIMDISK.
    int (*frameSlots)(VmState* state, const qzObjectId& id, int32_t frame, int modify, qzSelectFrame* out);
};

// Installs the table (copied); null puts the defaults back.
void SetAnimLinks(const qzAnimLinks* links);
const qzAnimLinks& AnimLinks();
// The default answer for an anim that is not found: ERR_FINDARRAY for a handle, else ERR_FINDANIM
// with the number as error argument.
int AnimNotFound(const qzObjectId& id);
