// What the drawing commands read and change of the current drawing target (the background
// picture the current display shows, or the object a Select command chose).
#pragma once

#include <cstdint>

struct VmState;
struct qzClipRegion;

// Origin and size of the drawing target along one axis: its clip region's when it has one, else
// 0 and its size; {0, 0} without a drawing target.
struct qzAxisExtent {
    int32_t origin;
    int32_t size;
};
qzAxisExtent DrawTargetExtent(bool horizontal);
// The drawing target's size; false without one.
bool GetDrawTargetSize(int32_t* width, int32_t* height);
// The drawing target's clip region (of a selected object too), or null.
const qzClipRegion* DrawTargetClipRegion();
// True while a mask or an alpha channel is selected as the output.
bool DrawTargetIsChannel();
// Makes the region the clip region of the picture drawing addresses (null removes it). 0, or
// ERR_WRONGCLIPREG when the region reaches beyond the picture.
int SetDrawTargetClipRegion(qzClipRegion* region);
// The region stops being the clip region of any picture.
void ForgetDrawTargetClipRegion(const qzClipRegion* region);
// The current display's scale factors; 1, 1 without a display.
void GetDisplayScaleFactors(double* scaleX, double* scaleY);
// 0 while drawing goes to the display or a background picture; otherwise the error of the
// selection: ERR_ENDDOUBLEBUFFER while double-buffering, ERR_SELECTBRUSH, ERR_SELECTANIM,
// ERR_SELECTMASK, ERR_SELECTALPHACHANNEL, and with pictureIsError ERR_SELECTBG for a selected
// background picture.
int CheckOutputIsDisplay(bool pictureIsError);
// True while a background picture is the output (layers are drawn into).
bool OutputIsPicture();
// The current display record (opaque here), null when none.
void* CurrentDisplayObject();
// True when the current display has layers on.
bool CurrentLayersOn();
// Refreshes the bounds of a layer that an asynchronous draw object drew into, by the rule of the
// current output.
void MarkLayerDirty(VmState* state, void* layer);
