// The `anim` command library: loading anims from anim files and pictures, building them from
// brushes, copying, scaling, changing frames and delays, taking frames out as brushes, drawing and
// playing them, drawing into their frames, saving them, and freeing. It owns the anim list
// (object type 4).
#pragma once

#include "runtime/library.h"

struct VmState;
struct qzObjectId;
struct qzObjectBitmaps;

// The "anim" library: its commands, constants and the anim list; at shutdown every anim (stage
// QZ_STAGE_ANIMS).
extern const qzLibraryDescriptor qzAnimLibrary;

// The bitmaps of a frame (1-based) of an anim at its current size, for other libraries that read
// them (new copies the caller frees when the anim decodes its frames on demand: *owned). 0,
// ERR_FINDARRAY, ERR_FINDANIM with the number as error argument, ERR_ANIMFRAME or the frame's error.
int GetAnimBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out, int* owned);

// Command handlers, shared inside the library.
int AnimPlayAnim(VmState* state);
int AnimPlayAnimDisk(VmState* state);
int AnimSaveAnim(VmState* state);
int AnimBeginAnimStream(VmState* state);
int AnimWriteAnimFrame(VmState* state);
int AnimFinishAnimStream(VmState* state);
