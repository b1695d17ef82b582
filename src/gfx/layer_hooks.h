// What the graphics core and the graphics library ask of the layer and sprite code: whether a
// layer still uses a clip region, clearing a region from the layers before it goes, the counts the
// resource monitor shows and refreshing a layer that an asynchronous draw object drew into. Each
// hook is null until that code installs it, and then there are no layers and no on-screen sprites.
#pragma once

#include <cstdint>

struct VmState;
struct qzClipRegion;

struct qzLayerHooks {
    int (*clipRegionInUse)(const qzClipRegion* region);
    void (*forgetClipRegion)(qzClipRegion* region);
    // Layers of the current drawing target; layers over all background pictures, one terminator
    // node per list included; on-screen sprites of the current drawing target.
    int32_t (*layersOnScreen)();
    int32_t (*layersTotal)();
    int32_t (*spritesOnScreen)();
    // Refreshes a layer's bounds after an asynchronous draw object drew into it: on the display
    // at once, or on its display's list of rectangles to refresh while its picture is selected.
    void (*markLayerDirty)(VmState* state, void* layer);
};
void SetLayerHooks(const qzLayerHooks* hooks);

int ClipRegionInUseByLayers(const qzClipRegion* region);
void ForgetClipRegionInLayers(qzClipRegion* region);
int32_t CountLayersOnScreen();
int32_t CountAllLayers();
int32_t CountOnScreenSprites();
void MarkLayerForRefresh(VmState* state, void* layer);
