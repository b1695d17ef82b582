// Buttons of background pictures: mouse-sensitive rectangles (simple buttons) or layers (layer
// buttons) with up to eight mouse handlers. Buttons belong to a picture: the buttons of the
// picture a display shows are live. The event-source machine tracks their pressed and over
// states and calls their handlers. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzDisplay;
struct qzBGPic;
struct qzLayer;

enum { QZ_BUTTON_SIMPLE = 0, QZ_BUTTON_LAYER = 1 };

// The eight handlers, in this order.
enum {
    QZ_BUTTON_ONMOUSEOVER = 0,
    QZ_BUTTON_ONMOUSEOUT = 1,
    QZ_BUTTON_ONMOUSEDOWN = 2,
    QZ_BUTTON_ONMOUSEUP = 3,
    QZ_BUTTON_ONRIGHTMOUSEDOWN = 4,
    QZ_BUTTON_ONRIGHTMOUSEUP = 5,
    QZ_BUTTON_ONMIDMOUSEDOWN = 6,
    QZ_BUTTON_ONMIDMOUSEUP = 7,
    QZ_BUTTON_HANDLERS = 8,
};
extern const char* const qzButtonHandlerNames[QZ_BUTTON_HANDLERS];  // "onmouseover", ...
extern const char* const qzButtonActionNames[QZ_BUTTON_HANDLERS];   // "OnMouseOver", ...

struct qzBGPicButton {
    qzBGPicButton* next;
    qzObjectId id;                     // numeric, or the record itself for an automatic id
    int32_t type;                      // QZ_BUTTON_SIMPLE or QZ_BUTTON_LAYER
    int32_t left, top, right, bottom;  // inclusive, picture coordinates (simple buttons)
    int32_t enabled;
    int32_t pressed[3];  // left, right, middle
    int32_t over;
    int32_t handlers[QZ_BUTTON_HANDLERS];  // registry references, -1 = none
    qzLayer* layer;
    int32_t pixelExact;
    int32_t alsoWhenHidden;
    int32_t userData;  // registry reference, -1 = none
};

// Active: a simple button when enabled; a layer button when enabled and its layer is shown, or
// enabled with the also-when-hidden flag.
int IsButtonActive(const qzBGPicButton* button);
// Whether display point x, y (window pixels) hits the button.
int HitTestButton(VmState* state, qzDisplay* display, int32_t x, int32_t y, qzBGPicButton* button);

// Makes a simple button on the picture: its handler table at stack index `handlers` (each of
// the eight names nil or a function, at least one function), the user data at `userData` when
// that is not 0. An existing button with the same numeric id is deleted first. 0 with *out, or
// ERR_WRONGUSAGE (no handler), ERR_FUNCEXPECTED, ERR_TABEXPECTED, ERR_MEM. Handler values are
// checked before anything changes.
int AddSimpleButton(VmState* state, qzBGPic* pic, const qzObjectId& id, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, int handlers, int userData, qzBGPicButton** out);
// A layer button; a layer that already has a button gives ERR_WRONGUSAGE.
int AddLayerButton(VmState* state, qzBGPic* pic, const qzObjectId& id, qzLayer* layer, int32_t pixelExact,
                   int32_t alsoWhenHidden, int handlers, int userData, qzBGPicButton** out);

// The button of that id in the picture, or null.
qzBGPicButton* FindButton(qzBGPic* pic, const qzObjectId& id);
// Unlinks and frees a button with its references; the machine's cursors move past it.
void DeleteButton(VmState* state, qzBGPic* pic, qzBGPicButton* button);
// Enables (1) or disables (0) it; both clear its pressed flags.
void SetButtonEnabled(qzBGPicButton* button, int enabled);

// The layer system removes a layer: its button goes.
void DeleteLayerButton(VmState* state, qzBGPic* pic, qzLayer* layer);
// Clears the pressed flags of every button of the picture.
void ResetButtonStates(qzBGPic* pic);
// Frees every button of a picture that goes.
void FreePictureButtons(VmState* state, qzBGPic* pic);
