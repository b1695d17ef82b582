// Shared inside the graphics library: the command handlers of its files and its object lists.
#pragma once

#include "runtime/object_registry.h"

struct VmState;

// Object lists (registered by the library's registration).
extern qzObjectHeader* gfxClipRegions;
extern qzObjectHeader* gfxPointers;
extern qzObjectHeader* gfxAsyncDraws;

// Colours.
int GfxRed(VmState* state);
int GfxGreen(VmState* state);
int GfxBlue(VmState* state);
int GfxRGB(VmState* state);
int GfxARGB(VmState* state);
int GfxMixRGB(VmState* state);
int GfxGetRandomColor(VmState* state);
// Frame rate.
int GfxSetFPSLimit(VmState* state);
int GfxGetFPSLimit(VmState* state);
// Clip regions.
int GfxCreateClipRegion(VmState* state);
int GfxFreeClipRegion(VmState* state);
// Async draw objects.
int GfxAsyncDrawFrame(VmState* state);
int GfxCancelAsyncDraw(VmState* state);
int GfxFinishAsyncDraw(VmState* state);
// Everything else.
int GfxIsPicture(VmState* state);
int GfxGetAttribute(VmState* state);
int GfxDumpVideoTime(VmState* state);
int GfxSetDrawTagsDefault(VmState* state);

// Clean-up helpers of the lists.
void FreeAllClipRegions(VmState* state);
