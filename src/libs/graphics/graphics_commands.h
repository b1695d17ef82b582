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
int GfxGetRealColor(VmState* state);
int GfxGetPen(VmState* state);
// Frame rate.
int GfxVWait(VmState* state);
int GfxSetFPSLimit(VmState* state);
int GfxGetFPSLimit(VmState* state);
// Clip regions.
int GfxCreateClipRegion(VmState* state);
int GfxSetClipRegion(VmState* state);
int GfxFreeClipRegion(VmState* state);
// Pointers.
int GfxCreatePointer(VmState* state);
int GfxFreePointer(VmState* state);
int GfxSetPointer(VmState* state);
int GfxShowPointer(VmState* state);
int GfxHidePointer(VmState* state);
int GfxMovePointer(VmState* state);
// Async draw objects.
int GfxAsyncDrawFrame(VmState* state);
int GfxCancelAsyncDraw(VmState* state);
int GfxFinishAsyncDraw(VmState* state);
// Everything else.
int GfxIsPicture(VmState* state);
int GfxGetAttribute(VmState* state);
int GfxDumpVideoTime(VmState* state);
int GfxSetDrawTagsDefault(VmState* state);
int GfxSaveSnapshot(VmState* state);
int GfxBeginRefresh(VmState* state);
int GfxEndRefresh(VmState* state);

// Clean-up helpers of the lists.
void FreeAllClipRegions(VmState* state);
void FreeAllPointers(VmState* state);

// GetAttribute's readers of displays and background pictures (attribute_display.cpp), samples
// (attribute_sound.cpp), brushes (attribute_brush.cpp), layers and text objects.
struct qzAttributeQuery;
struct qzLayer;
int ReadDisplayAttribute(VmState* state, const qzAttributeQuery& query);
int ReadBGPicAttribute(VmState* state, const qzAttributeQuery& query);
int ReadSampleAttribute(VmState* state, const qzAttributeQuery& query);
int ReadMusicAttribute(VmState* state, const qzAttributeQuery& query);
int ReadBrushAttribute(VmState* state, const qzAttributeQuery& query);
int ReadAnimAttribute(VmState* state, const qzAttributeQuery& query);
// The delay of the frame an anim layer shows, in milliseconds.
int ReadAnimLayerFrameDelay(VmState* state, const qzLayer* layer);
int ReadSpriteAttribute(VmState* state, const qzAttributeQuery& query);
// Videos, and the media attributes of a video layer's video (attribute_video.cpp).
struct qzVideo;
int ReadVideoAttribute(VmState* state, const qzAttributeQuery& query);
int PushVideoAttribute(VmState* state, qzVideo* video, int attribute);
// Layers of the current drawing target and text objects (attribute_layer.cpp).
int ReadLayerAttribute(VmState* state, const qzAttributeQuery& query);
int ReadTextObjectAttribute(VmState* state, const qzAttributeQuery& query);
