#include "display/event_display.h"

#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_life.h"
#include "display/event_buttons.h"
#include "display/picture.h"
#include "platform/host/backend_window.h"
#include "platform/host/engine_keys.h"

namespace {

// The built-in back end's open window of the display (its input state lives there), or null
// with a display adapter or while the display is closed.
const qzHostWindow* NativeWindow(const qzDisplay* display) {
    if (IsDisplayAdapterActive() || !display->window) return nullptr;
    return HostWindow(display->window);
}

// Where the display's pixels start inside its window.
void PictureOffset(const qzDisplay* display, int32_t* x, int32_t* y) {
    if (!IsDisplayAdapterActive() && display->window) {
        *x = display->window->offsetX;
        *y = display->window->offsetY;
    } else {
        *x = display->letterboxLeft;
        *y = display->letterboxTop;
    }
}

int32_t Truncate(double value) {
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace

qzDisplay* EventFirstDisplay() { return FirstDisplay(); }
qzDisplay* EventNextDisplay(const qzDisplay* display) { return NextDisplay(display); }
qzDisplay* EventCurrentDisplay() { return CurrentDisplay(); }
qzObjectId EventDisplayId(const qzDisplay* display) { return display->header.id; }
qzHandlerSlot* EventDisplaySlots(qzDisplay* display) { return display->handlers; }
int EventDisplayOpen(const qzDisplay* display) { return display->state == QZ_DISPSTATE_OPEN; }

void EventDisplaySize(const qzDisplay* display, int32_t* width, int32_t* height) {
    *width = display->width;
    *height = display->height;
}

void EventDisplayPosition(const qzDisplay* display, int32_t* x, int32_t* y) {
    *x = display->x;
    *y = display->y;
}

int32_t EventDisplayMode(const qzDisplay* display) { return display->fullScreen ? 2 : 1; }
int32_t EventDisplayOrientation(const qzDisplay* display) { return display->orientation; }

void EventDisplayMouse(const qzDisplay* display, int32_t* x, int32_t* y) { GetDisplayMousePos(display, x, y); }

void EventToPictureCoordinates(const qzDisplay* display, int32_t x, int32_t y, int32_t* px, int32_t* py) {
    int32_t offsetX = 0, offsetY = 0;
    PictureOffset(display, &offsetX, &offsetY);
    const double scaleX = display->scaleX > 0 ? display->scaleX : 1.0;
    const double scaleY = display->scaleY > 0 ? display->scaleY : 1.0;
    *px = Truncate((double(x) - offsetX) / scaleX);
    *py = Truncate((double(y) - offsetY) / scaleY);
}

void EventScaledMouse(const qzDisplay* display, int32_t* x, int32_t* y) {
    int32_t mx = 0, my = 0;
    GetDisplayMousePos(display, &mx, &my);
    EventToPictureCoordinates(display, mx, my, x, y);
}

int EventMouseMoved(const qzDisplay* display) {
    if (const qzHostWindow* window = NativeWindow(display)) return window->mouseMoved;
    return display->mouseMoved;
}

void EventClearMouseMoved(qzDisplay* display) {
    if (const qzHostWindow* window = NativeWindow(display)) const_cast<qzHostWindow*>(window)->mouseMoved = 0;
    display->mouseMoved = 0;
}

int EventKeyDown(const qzDisplay* display, uint32_t code) {
    if (code == 0 || code >= QZ_DISPLAY_KEYSTATES) return 0;
    if (const qzHostWindow* window = NativeWindow(display)) return code < QZ_KEYSTATE_SIZE && window->keyState[code];
    return display->keyStates[code] != 0;
}

int EventMouseButtonDown(const qzDisplay* display, int button) {
    if (const qzHostWindow* window = NativeWindow(display))
        return button == 0 ? window->leftButton : button == 1 ? window->rightButton : window->middleButton;
    return button == 0 ? display->leftButton : button == 1 ? display->rightButton : display->middleButton;
}

uint32_t EventQualifiers(const qzDisplay* display) { return GetDisplayQualifiers(display); }

int EventReopenToggled(VmState* state, qzDisplay* display) {
    display->modeOptions.displayMode = display->fullScreen ? QZ_DISPMODE_WINDOWED : QZ_DISPMODE_FULLSCREEN;
    if (!display->fullScreen) {
        display->modeOptions.screenWidth = display->width;
        display->modeOptions.screenHeight = display->height;
    }
    return OpenDisplayCore(state, display, QZ_OPEN_SWITCH | QZ_OPEN_OWNMONITOR);
}

qzBGPic* EventButtonPicture() {
    qzDisplay* display = CurrentDisplay();
    if (!display || (display->outputKind != QZ_TYPE_DISPLAY && display->outputKind != QZ_TYPE_BGPIC)) return nullptr;
    return CurrentBGPic();
}

void EventResetInputState(qzDisplay* display) {
    ResetDisplayInputState(display);
    if (const qzHostWindow* window = NativeWindow(display)) {
        auto* w = const_cast<qzHostWindow*>(window);
        for (uint8_t& key : w->keyState) key = 0;
        w->leftButton = w->rightButton = w->middleButton = 0;
    }
}

int EventHandlersChanged(qzDisplay* display, int, int) {
    // The window learns the close, drop and clipboard handlers with its other settings.
    UpdateDisplayWindowSettings(display);
    return 0;
}

void EventCloseLabelChanged() {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) UpdateDisplayWindowSettings(d);
}

qzBGPic* EventDisplayPicture(const qzDisplay* display) { return display->bgpic; }
qzBGPicButton** EventPictureButtons(qzBGPic* pic) { return reinterpret_cast<qzBGPicButton**>(&pic->buttons); }
qzObjectId EventPictureId(const qzBGPic* pic) { return pic->header.id; }

void EventPictureSize(const qzBGPic* pic, int32_t* width, int32_t* height) {
    *width = pic->scaledWidth;
    *height = pic->scaledHeight;
}
