#include "display/event_display.h"

// A player without display objects: no display exists, so no display has handlers, input or
// buttons, and no window maps to one.

qzDisplay* EventFirstDisplay() { return nullptr; }
qzDisplay* EventNextDisplay(const qzDisplay*) { return nullptr; }
qzDisplay* EventCurrentDisplay() { return nullptr; }
qzObjectId EventDisplayId(const qzDisplay*) { return {0, nullptr}; }
qzHandlerSlot* EventDisplaySlots(qzDisplay*) { return nullptr; }
int EventDisplayOpen(const qzDisplay*) { return 0; }
void EventDisplaySize(const qzDisplay*, int32_t* width, int32_t* height) { *width = *height = 0; }
void EventDisplayPosition(const qzDisplay*, int32_t* x, int32_t* y) { *x = *y = 0; }
int32_t EventDisplayMode(const qzDisplay*) { return 1; }
int32_t EventDisplayOrientation(const qzDisplay*) { return 0; }
void EventDisplayMouse(const qzDisplay*, int32_t* x, int32_t* y) { *x = *y = 0; }
void EventScaledMouse(const qzDisplay*, int32_t* x, int32_t* y) { *x = *y = 0; }
void EventToPictureCoordinates(const qzDisplay*, int32_t x, int32_t y, int32_t* px, int32_t* py) {
    *px = x;
    *py = y;
}
int EventMouseMoved(const qzDisplay*) { return 0; }
void EventClearMouseMoved(qzDisplay*) {}
int EventKeyDown(const qzDisplay*, uint32_t) { return 0; }
int EventMouseButtonDown(const qzDisplay*, int) { return 0; }
uint32_t EventQualifiers(const qzDisplay*) { return 0; }
int EventReopenToggled(VmState*, qzDisplay*) { return 0; }
qzBGPic* EventButtonPicture() { return nullptr; }
void EventResetInputState(qzDisplay*) {}
int EventHandlersChanged(qzDisplay*, int, int) { return 0; }
void EventSetCloseLabel(qzDisplay*, int) {}
qzBGPic* EventDisplayPicture(const qzDisplay*) { return nullptr; }
qzBGPicButton** EventPictureButtons(qzBGPic*) {
    static qzBGPicButton* none = nullptr;
    none = nullptr;
    return &none;
}
qzObjectId EventPictureId(const qzBGPic*) { return {0, nullptr}; }
void EventPictureSize(const qzBGPic*, int32_t* width, int32_t* height) { *width = *height = 0; }
