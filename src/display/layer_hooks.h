// What the layer system asks of code above the display engine: rendering a layer's transformed
// or display-scaled state, the asynchronous draw objects that may draw into a layer, and the
// on-screen sprites of a picture. Each member is null until its owner installs it; the answer of
// a null member is given at the member.
#pragma once

#include <cstdint>

struct VmState;
struct qzBGPic;
struct qzBitMap;
struct qzDisplay;
struct qzLayer;

// renderObject modes (a bit set).
enum {
    QZ_RENDER_DISPLAYSCALE = 1,  // render for the display's scale
    QZ_RENDER_TRANSFORM = 2,     // the layer's own transform is involved
    QZ_RENDER_REPLACING = 4,     // the layer replaces another
};

struct qzLayerSystemHooks {
    // Renders a new transformed (mode 2) or display (modes 3, 5, 7) state for the layer. 0 or an
    // error. Null: the layer keeps its base state for all three and is drawn untransformed.
    int (*renderObject)(VmState* state, qzLayer* layer, int mode);
    // 1 when an asynchronous draw object draws into the layer. Null: 0.
    int (*asyncDrawUsesLayer)(const qzLayer* layer);
    // Tells the asynchronous draw objects that the layer changed (1) or goes (0). 0 or an error.
    // Null: 0.
    int (*broadcastAsyncDraw)(int operation, qzLayer* layer);
    // Frees the clip regions that the script freed while layers used them and that no layer uses
    // any more. Null: nothing.
    void (*freeUnusedClipRegions)();
    // Draws the picture's on-screen sprites that meet the rectangle into dst, each clipped to its
    // clip region. Null: the picture has no sprites.
    void (*drawSprites)(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap* dst, int32_t x, int32_t y,
                        int32_t width, int32_t height);
    // The number of the picture's on-screen sprites. Null: 0.
    int32_t (*countSprites)(const qzBGPic* pic);
};

// Installs the hooks (copied); a null record removes them all. An owner changes only its own
// members: it copies LayerSystemHooks(), sets or clears its members, and installs the copy.
void SetLayerSystemHooks(const qzLayerSystemHooks* hooks);
const qzLayerSystemHooks& LayerSystemHooks();

// 1 when an asynchronous draw object draws into the layer (0 while asyncDrawUsesLayer is null).
int LayerUsedByAsyncDraw(const qzLayer* layer);
