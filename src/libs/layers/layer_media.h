// What the layers library asks of the anim and video code: the playback of the video that a
// VIDEO layer shows, making and changing anims for anim layers, and showing an anim frame as a
// new layer. Installed by the owner of anims and videos when its library opens; a null member
// answers as given at the member.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzLayer;

// Video playback operations.
enum {
    QZ_LAYERVIDEO_PLAY = 0,
    QZ_LAYERVIDEO_STOP = 1,
    QZ_LAYERVIDEO_PAUSE = 2,
    QZ_LAYERVIDEO_RESUME = 3,
    QZ_LAYERVIDEO_SEEK = 4,    // value: the position in milliseconds
    QZ_LAYERVIDEO_VOLUME = 5,  // value: the volume, clamped to 0..64
};

struct qzLayerMediaLinks {
    // Runs a playback operation on the video that the VIDEO layer shows. 0 or an error. Null:
    // ERR_FINDVIDEO.
    int (*videoCommand)(VmState* state, qzLayer* layer, int operation, double value);
    // Makes an anim of frames frames, each width x height filled with the colour (with a mask or
    // an alpha channel when asked, cleared when asked), under an automatic identifier. 0 or an
    // error. Null: ERR_FINDANIM.
    int (*createAnim)(VmState* state, int32_t frames, int32_t width, int32_t height, uint32_t color, int withMask,
                      int withAlpha, int clear, qzObjectId* out);
    // Frees an anim for the script (it lives on while layers show it). Null: nothing.
    void (*freeAnim)(VmState* state, const qzObjectId& id);
    // Shows the anim's frame (1-based; 0 the first) at x, y (position constants allowed) as a new
    // layer on top, without refreshing it. 0 or an error (ERR_ANIMFRAME for a frame out of range).
    // Null: ERR_FINDANIM.
    int (*showAnimFrame)(VmState* state, const qzObjectId& id, int32_t frame, int32_t x, int32_t y, qzLayer** outLayer);
    // Changes the frame list of the anim that an ANIM layer shows (frames and start as the script
    // gave them), after giving the layer a private copy when other layers show the same anim.
    // *newCount: the anim's frame count afterwards; *shownFrame: the 0-based index in the new list
    // of the frame that the layer showed, or -1 when it is gone. 0 or an error. Null: ERR_FINDANIM.
    int (*modifyFrames)(VmState* state, qzLayer* layer, int32_t frames, int32_t start, int32_t* newCount,
                        int32_t* shownFrame);
    // GetAttribute of what only the anim or video behind a layer knows: ATTRFRAMEDELAY of an
    // ANIM layer (extraIndex: the stack index of the frame argument, 0 none), ATTRDURATION,
    // ATTRPOSITION, ATTRFORMAT, ATTRCANSEEK, ATTRPLAYING and ATTRPAUSED of a VIDEO layer. Pushes
    // the value and returns 1, or returns an error. Null: ERR_FINDANIM or ERR_FINDVIDEO.
    int (*readAttribute)(VmState* state, const qzLayer* layer, int attribute, int extraIndex);
};

// Installs the links (copied); null removes them all.
void SetLayerMediaLinks(const qzLayerMediaLinks* links);
const qzLayerMediaLinks& LayerMediaLinks();
