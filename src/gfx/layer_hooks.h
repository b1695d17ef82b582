// What the graphics core and the graphics library ask of the layer and sprite code: whether a
// layer still uses a clip region, clearing a region from the layers before it goes, and the counts
// the resource monitor shows. Each hook is null until that code installs it, and then there are
// no layers and no on-screen sprites.
#pragma once

#include <cstdint>

struct qzClipRegion;

struct qzLayerHooks {
    int (*clipRegionInUse)(const qzClipRegion* region);
    void (*forgetClipRegion)(qzClipRegion* region);
    // Layers of the current drawing target; layers over all background pictures, one terminator
    // node per list included; on-screen sprites of the current drawing target.
    int32_t (*layersOnScreen)();
    int32_t (*layersTotal)();
    int32_t (*spritesOnScreen)();
    // Puts a layer's bounds on its display's list of rectangles to refresh.
    void (*markLayerDirty)(void* layer);
};
void SetLayerHooks(const qzLayerHooks* hooks);

int ClipRegionInUseByLayers(const qzClipRegion* region);
void ForgetClipRegionInLayers(qzClipRegion* region);
int32_t CountLayersOnScreen();
int32_t CountAllLayers();
int32_t CountOnScreenSprites();
void MarkLayerForRefresh(void* layer);
