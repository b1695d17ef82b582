// What the display code asks of the parts of the player that build on displays: the layer
// system, sprites and buttons, videos, brushes, output selection and double buffering,
// asynchronous draw objects, menus, requesters, and the event sources. Each
// owner installs its members with SetDisplayLinks and restores the defaults (null) when it ends.
// A member left null answers as a player without that part: no layers (a picture is drawn as its
// own pixels), no sprites, no videos, no brushes (a texture fill's brush is not found), no
// selection or double buffering, no menus (a menu is not found), no requesters (the question is
// cancelled).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzBGPic;
struct qzDisplay;
struct qzPendingRepaint;

struct qzDisplayLinks {
    // Layers. redrawLayers draws the rectangle of the picture with all its visible layers into the
    // target (default: the picture's own pixels); flags as RedrawLayersRect.
    int (*redrawLayers)(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap* target, int32_t x, int32_t y,
                        int32_t width, int32_t height, int flags);
    int (*pictureHasLayers)(const qzBGPic* pic);
    // 1 when a layer shows the picture (default 0).
    int (*layersShowPicture)(const qzBGPic* pic);
    // Gives the layers that show the picture their own copy of it. 0 or an error.
    int (*detachPictureFromLayers)(VmState* state, qzBGPic* pic);
    int (*rescaleAllLayers)(VmState* state, qzBGPic* pic);
    void (*resetLayerDisplayStates)(VmState* state, qzBGPic* pic);
    // Switches layers on for the display (default: sets its layers flag). 0 or an error.
    int (*enableDisplayLayers)(VmState* state, qzDisplay* display);
    void (*freePictureLayers)(VmState* state, qzBGPic* pic);

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

    // Output selection and double buffering.
    int (*endDoubleBuffer)(VmState* state, qzDisplay* display);
    int (*endSelectOutput)(VmState* state, qzDisplay* display);
    int (*flipDoubleBuffer)(VmState* state, qzDisplay* display, uint32_t flags);
    int (*allocDoubleBufferBitmap)(VmState* state, qzDisplay* display, int32_t width, int32_t height);

    // Asynchronous draw objects.
    int (*asyncDrawOnDisplay)(const qzDisplay* display);
    void (*freeAllAsyncDraws)(VmState* state);

    // Menus: the menu object of an identifier (default ERR_FINDMENU with the number).
    int (*findMenu)(VmState* state, const qzObjectId& id, void** menu);
    void (*freeAllMenus)(VmState* state);

    // Requesters (default: cancelled, ERR_USERABORT). systemRequester gives the chosen button
    // (0 for the last), listRequester the chosen index or -1.
    int (*systemRequester)(VmState* state, qzDisplay* display, const char* title, const char* body, const char* buttons,
                           int* button);
    int (*listRequester)(VmState* state, qzDisplay* display, const char* title, const char* body,
                         const std::vector<std::string>& choices, int preselect, int* index);

    // The event sources forget a display that is freed (cursors move to its successor).
    void (*forgetDisplay)(qzDisplay* display);
};

// Installs the links (copied); null members and a null record use the defaults.
void SetDisplayLinks(const qzDisplayLinks* links);
// The links in force, every member set.
const qzDisplayLinks& DisplayLinks();
