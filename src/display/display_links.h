// What the display code asks of the parts of the player that build on displays: the layer
// commands, sprites and buttons, videos, brushes, output selection, asynchronous draw objects and
// the event sources. Each owner installs its members with SetDisplayLinks and restores the
// defaults (null) when it ends. A member left null answers as a player without that part: no
// layers, no sprites, no videos, no brushes (a texture fill's brush is not found), no selection.
// The display code's own parts (the layer system, double buffering, menus, requesters) are called
// directly.
#pragma once

#include <cstdint>

struct VmState;
struct qzBitMap;
struct qzBGPic;
struct qzDisplay;
struct qzPendingRepaint;

struct qzDisplayLinks {
    // Gives the layers that show the picture their own copy of it. 0 or an error.
    int (*detachPictureFromLayers)(VmState* state, qzBGPic* pic);
    int (*rescaleAllLayers)(VmState* state, qzBGPic* pic);
    void (*resetLayerDisplayStates)(VmState* state, qzBGPic* pic);
    // Switches layers on for the display (default: sets its layers flag). 0 or an error.
    int (*enableDisplayLayers)(VmState* state, qzDisplay* display);

    // Sprites and buttons of a picture.
    int (*pictureHasOnScreenSprites)(const qzBGPic* pic);
    void (*freeOnScreenSprites)(VmState* state, qzBGPic* pic);
    void (*freePictureButtons)(VmState* state, qzBGPic* pic);
    void (*resetButtonStates)(qzBGPic* pic);

    // Videos. videoOnDisplay: 1 when a video plays on the display (with includeLayers also as a
    // layer). showVideoLayerFrame hands a pending frame of a video layer to that layer.
    int (*videoOnDisplay)(const qzDisplay* display, int includeLayers);
    void (*stopVideosOnDisplay)(VmState* state, qzDisplay* display);
    void (*rescaleVideosOnDisplay)(VmState* state, qzDisplay* display, int flags);
    qzBitMap* (*videoMaskForDisplay)(qzBitMap* bitmap, qzDisplay* display);
    void (*redrawVideosOnDisplay)(VmState* state, qzDisplay* display);
    int (*showVideoLayerFrame)(VmState* state, qzDisplay* display, qzPendingRepaint* frame);

    // Brushes.
    int (*saveHardwareBrushes)(VmState* state, qzDisplay* display);
    int (*restoreHardwareBrushes)(VmState* state, qzDisplay* display);
    void (*freeHardwareBrushes)(VmState* state, qzDisplay* display);
    // Objects loaded before any display existed, made for the display's pixel format: brushes,
    // pending anim frames, sprite frames and font bitmaps (pictures are the display code's own).
    int (*prepareObjects)(VmState* state);
    int (*recreateBrushBitmaps)(VmState* state);

    // Output selection.
    int (*endSelectOutput)(VmState* state, qzDisplay* display);

    // Asynchronous draw objects.
    int (*asyncDrawOnDisplay)(const qzDisplay* display);
    void (*freeAllAsyncDraws)(VmState* state);

    // The event sources forget a display that is freed (cursors move to its successor).
    void (*forgetDisplay)(qzDisplay* display);
};

// Installs the links (copied); null members and a null record use the defaults.
void SetDisplayLinks(const qzDisplayLinks* links);
// The links in force, every member set.
const qzDisplayLinks& DisplayLinks();
