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

    // Videos that play on a display (null: none plays). Stops them (the display is freed or shows
    // another picture).
    void (*stopVideosOnDisplay)(VmState* state, qzDisplay* display);
    // Draws the frame of every paused or ended video on the display again (it was drawn over).
    void (*redrawVideosOnDisplay)(qzDisplay* display);
    // The display's window goes: its videos draw nothing and remember their state; when the window
    // is back they draw again and return to that state.
    void (*suspendVideosOfDisplay)(qzDisplay* display);
    void (*resumeVideosOfDisplay)(qzDisplay* display);
    // A mask of the display's size, set everywhere except where a video plays on it (the caller
    // deletes it), or null when none plays.
    qzBitMap* (*getVideosMaskForDisplay)(qzDisplay* display);
    // 1 when a video plays on the display (with notAsLayer: directly, not as a layer), or, with
    // checkLayers, a video layer of its picture shows a video that plays.
    int (*isVideoActiveOnDisplay)(const qzDisplay* display, int notAsLayer, int checkLayers);
    // 1 when x, y lies in the rectangle of a video that plays directly on the display.
    int (*isPointInPlayingVideo)(const qzDisplay* display, int32_t x, int32_t y);
    // The display's scale changed: its videos take their place and size at the new scale.
    void (*rescaleVideosOnDisplay)(VmState* state, qzDisplay* display, uint32_t refreshFlags);
};

// Installs the links (copied); null members and a null record use the defaults.
void SetDisplayLinks(const qzDisplayLinks* links);
// The links in force, every member set.
const qzDisplayLinks& DisplayLinks();
