// The `bgpic` command library: background pictures made, loaded, generated (gradients and
// textures), copied, converted to and from brushes, scaled, shown and freed, and drawing
// redirected into them. The picture list itself belongs to the display code (display/picture.h).
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "runtime/library.h"

struct VmState;
struct qzBitMap;

// The "bgpic" library: its commands (it has no constants).
extern const qzLibraryDescriptor qzBGPicLibrary;

// Frees the picture of a numeric identifier before the identifier is used again (an automatic
// one asks for nothing). 0, or ERR_MODIFYABGPIC / ERR_LOCKEDOBJ when it cannot go.
int FreeBGPicForReuse(VmState* state, const qzObjectId& id);

// Makes the picture the one the current display shows, at x, y (99999: keep the position when the
// size stays, else centre; 100000 leaves the axis alone). With withLayersCopy (transition effects)
// the window is not refreshed, and *outOld gets a copy of what the display showed before (the
// picture with its layers, at the new picture's size unless the display scales its layers) and
// *outPicture the new picture with its layers; both owned by the caller. 0 or an error.
int DisplayBGPicCore(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int withLayersCopy,
                     qzBitMap** outPicture, qzBitMap** outOld);

// Command handlers, shared inside the library.
// Reads an optional table argument {x = ..., y = ...}; an absent table or field gives 99999
// (keep the position when the size stays, else centre).
void ReadOptionalXYTable(VmState* state, int index, int32_t* x, int32_t* y);

int BGPicCreateBGPic(VmState* state);
int BGPicFreeBGPic(VmState* state);
int BGPicCopyBGPic(VmState* state);
int BGPicBrushToBGPic(VmState* state);
int BGPicBGPicToBrush(VmState* state);
int BGPicCreateGradientBGPic(VmState* state);
int BGPicCreateTexturedBGPic(VmState* state);
int BGPicDisplayBGPic(VmState* state);
int BGPicScaleBGPic(VmState* state);
int BGPicLoadBGPic(VmState* state);
int BGPicSelectBGPic(VmState* state);
int BGPicEndSelect(VmState* state);
