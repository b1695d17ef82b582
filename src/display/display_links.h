// What the display code asks of the parts of the player that build on displays: the layer
// commands, sprites and buttons, brushes, output selection, asynchronous draw objects and
// the event sources. Each owner installs its members with SetDisplayLinks and restores the
// defaults (null) when it ends. A member left null answers as a player without that part: no
// layers, no sprites, no brushes (a texture fill's brush is not found), no selection.
// The display code's own parts (the layer system, double buffering, menus, requesters) are called
// directly.
#pragma once

#include <cstdint>

struct VmState;
struct qzBitMap;
struct qzBGPic;
struct qzDisplay;

struct qzDisplayLinks {
    // Gives the layers that show the picture their own copy of it. 0 or an error.
    int (*detachPictureFromLayers)(VmState* state, qzBGPic* pic);
    int (*rescaleAllLayers)(VmState* state, qzBGPic* pic);
    void (*resetLayerDisplayStates)(VmState* state, qzBGPic* pic);

    // Sprites and buttons of a picture.
    int (*pictureHasOnScreenSprites)(const qzBGPic* pic);
    void (*freeOnScreenSprites)(VmState* state, qzBGPic* pic);
    // The frames of sprites made while objects were preloaded, made again for the display. 0 or
    // the first error.
    int (*recreateSpriteFrames)(VmState* state);
    void (*freePictureButtons)(VmState* state, qzBGPic* pic);
    void (*resetButtonStates)(qzBGPic* pic);

    // Brushes.
    int (*saveHardwareBrushes)(VmState* state, qzDisplay* display);
    int (*restoreHardwareBrushes)(VmState* state, qzDisplay* display);
    void (*freeHardwareBrushes)(VmState* state, qzDisplay* display);
    int (*recreateBrushBitmaps)(VmState* state);

    // Output selection.
    int (*endSelectOutput)(VmState* state, qzDisplay* display);

    // Asynchronous draw objects.
    int (*asyncDrawOnDisplay)(const qzDisplay* display);
    void (*freeAllAsyncDraws)(VmState* state);

    // The event sources forget a display that is freed (cursors move to its successor).
    void (*forgetDisplay)(qzDisplay* display);

    // Stops the videos that play on a display whose window closes or that is freed.
    void (*stopVideosOnDisplay)(VmState* state, qzDisplay* display);
};

// Installs the links (copied); null members and a null record use the defaults.
void SetDisplayLinks(const qzDisplayLinks* links);
// The links in force, every member set.
const qzDisplayLinks& DisplayLinks();
