// What the event code reads and changes of displays: identifiers, geometry and mode for the
// tables that handlers receive, handler slots, the scaled mouse position, the mouse-moved flag,
// the key, button and qualifier state, and the background picture whose buttons are live.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzDisplay;
struct qzBGPic;
struct qzHandlerSlot;
struct qzBGPicButton;

// The display list in creation order.
qzDisplay* EventFirstDisplay();
qzDisplay* EventNextDisplay(const qzDisplay* display);
// The current display, or null.
qzDisplay* EventCurrentDisplay();

qzObjectId EventDisplayId(const qzDisplay* display);
// The display's 30 handler slots.
qzHandlerSlot* EventDisplaySlots(qzDisplay* display);
// 1 while the display is open (shown).
int EventDisplayOpen(const qzDisplay* display);

// For the handler tables: the display's size, its position, 2 in full-screen mode else 1, and
// its orientation.
void EventDisplaySize(const qzDisplay* display, int32_t* width, int32_t* height);
void EventDisplayPosition(const qzDisplay* display, int32_t* x, int32_t* y);
int32_t EventDisplayMode(const qzDisplay* display);
int32_t EventDisplayOrientation(const qzDisplay* display);

// The platform's mouse position over the display, and the same converted to picture
// coordinates: (position - the offset of the scaled picture) / the scale factor, truncated.
void EventDisplayMouse(const qzDisplay* display, int32_t* x, int32_t* y);
void EventScaledMouse(const qzDisplay* display, int32_t* x, int32_t* y);
void EventToPictureCoordinates(const qzDisplay* display, int32_t x, int32_t y, int32_t* px, int32_t* py);

// The flag the platform sets when the mouse moved over the display; the over/out pass clears it.
int EventMouseMoved(const qzDisplay* display);
void EventClearMouseMoved(qzDisplay* display);

// Input state: key state of an engine key code (below 300), the three mouse buttons (0 left,
// 1 right, 2 middle) and the qualifier word.
int EventKeyDown(const qzDisplay* display, uint32_t code);
int EventMouseButtonDown(const qzDisplay* display, int button);
uint32_t EventQualifiers(const qzDisplay* display);

// Re-opens the display in the other mode (full screen when windowed, windowed when full screen)
// at its size: a mode switch with a display-adapter plugin. 0 or the error.
int EventReopenToggled(VmState* state, qzDisplay* display);

// The picture button commands work on: the current background picture while the current
// display's output is the display or a background picture; null otherwise (or without display).
qzBGPic* EventButtonPicture();
// Clears the display's key, mouse-button and button pressed states.
void EventResetInputState(qzDisplay* display);
// The handlers of the display changed: the window (or the display adapter) learns which of
// close, drop and clipboard handlers are present. 0 or an error.
int EventHandlersChanged(qzDisplay* display, int dropChanged, int clipboardChanged);
// The script's CLOSEWINDOW label started or stopped handling close requests: every window
// learns it.
void EventCloseLabelChanged();

// The display's background picture (whose buttons are live), the head of a picture's button
// list, its identifier and the size scripts see.
qzBGPic* EventDisplayPicture(const qzDisplay* display);
qzBGPicButton** EventPictureButtons(qzBGPic* pic);
qzObjectId EventPictureId(const qzBGPic* pic);
void EventPictureSize(const qzBGPic* pic, int32_t* width, int32_t* height);
