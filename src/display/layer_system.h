// Switching the layer system on for the player: the display code's layer calls (redraw, which
// SafeBlt's layer passes reach too; which pictures have or are shown by layers; freeing a
// picture's layers) and the button code's layer functions. Installed when the layers library
// opens, removed when it closes; without it pictures are drawn as their own pixels and no layers
// exist.
//
// What the graphics library and the drawing target ask of the layers: whether a layer still uses
// a clip region, clearing a region from the layers before it goes, the counts the resource
// monitor shows and refreshing a layer that an asynchronous draw object drew into. Each answers
// as a player without layers (0, nothing done) while the layer system is not installed.
#pragma once

#include <cstdint>

struct VmState;
struct qzBGPic;
struct qzBitMap;
struct qzClipRegion;
struct qzDisplay;

void InstallLayerSystem();
void RemoveLayerSystem();

// Draws the rectangle of the picture with all its visible layers into the target (flags as
// RedrawLayersRect); without the layer system, what the display's back buffer holds when the
// picture is on it, else the picture's own pixels. Always 0.
int RedrawPictureLayers(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap* target, int32_t x, int32_t y,
                        int32_t width, int32_t height, int flags);
// 1 when the picture has layers; 1 when a layer shows the picture (else 0).
int PictureHasLayers(const qzBGPic* pic);
// Switches layers on for the display (sets its layers flag). 0.
int EnableDisplayLayers(VmState* state, qzDisplay* display);
int LayersShowPicture(const qzBGPic* pic);
// The picture goes: its layers go with it (nothing without the layer system).
void FreePictureLayers(VmState* state, qzBGPic* pic);

int ClipRegionInUseByLayers(const qzClipRegion* region);
void ForgetClipRegionInLayers(qzClipRegion* region);
// Layers of the current drawing target; layers over all background pictures, one terminator node
// per list included; on-screen sprites of the current drawing target.
int32_t CountLayersOnScreen();
int32_t CountAllLayers();
int32_t CountOnScreenSprites();
// Refreshes a layer's bounds after an asynchronous draw object drew into it: on the display at
// once, or on its display's list of rectangles to refresh while its picture is selected.
void MarkLayerForRefresh(VmState* state, void* layer);
