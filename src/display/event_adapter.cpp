// Events that a display-adapter plugin or a plugin event type reports: TranslateAdapterEvent.
#include "base/error_codes.h"
#include "base/event_types.h"
#include "display/display.h"
#include "display/display_monitors.h"
#include "display/display_scale.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "platform/host/engine_keys.h"
#include "platform/host/event_loop.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "runtime/event_queue.h"

namespace {

constexpr uint32_t kControlQualifiers = 0x80400000u | 0x80800000u;
constexpr uint32_t kCommandQualifiers = 0x80100000u | 0x80200000u;

int Post(qzDisplay* display, int32_t type, int32_t p1 = 0, int32_t p2 = 0, int32_t p3 = 0, void* data = nullptr) {
    return PushEventToQueue(display, type, p1, p2, p3, data) == 1 ? 0 : ERR_ADDSYSEVENT;
}

// Codes 3 to 9: the window's display, then the code's effect.
int TranslateWindowEvent(VmState* state, int type, void* data) {
    if (!data) return ERR_ADDSYSEVENT;
    qzDisplay* display = FindDisplayByWindow(*static_cast<void* const*>(data));
    if (!display) return ERR_FINDDISPLAY;
    switch (type) {
    case 3: {
        const auto* e = static_cast<const qzAdapterMouseEvent*>(data);
        display->lastMouseX = e->x;
        display->lastMouseY = e->y;
        const int32_t pressed = e->pressed ? 1 : 0;
        switch (e->button) {
        case 1:
            display->leftButton = pressed;
            if (pressed && GetQuitOption(QZ_QUIT_LEFTMOUSE)) RequestQuit();
            return Post(display, QZ_EVENT_LEFTMOUSE, e->x, e->y, pressed);
        case 2: display->rightButton = pressed; return Post(display, QZ_EVENT_RIGHTMOUSE, e->x, e->y, pressed);
        case 3: display->middleButton = pressed; return Post(display, QZ_EVENT_MIDMOUSE, e->x, e->y, pressed);
        default:
            OsGetMonotonicTime(&display->mouseMoveTime);
            display->mouseMoved = 1;
            return 0;
        }
    }
    case 4: {
        const auto* e = static_cast<const qzAdapterKeyEvent*>(data);
        const int32_t pressed = e->pressed ? 1 : 0;
        display->lastQualifiers = e->qualifiers;
        // Codes outside the key table index nothing.
        if (e->code > 0 && e->code < QZ_DISPLAY_KEYSTATES) display->keyStates[e->code] = static_cast<uint8_t>(pressed);
        int error = Post(display, QZ_EVENT_KEY, pressed, static_cast<int32_t>(e->qualifiers), e->code);
        if (pressed && e->code == QZ_KEY_ESCAPE && GetQuitOption(QZ_QUIT_ESCAPE)) RequestQuit();
        if (pressed && (e->code == 'c' || e->code == 'C') && (e->qualifiers & kControlQualifiers) &&
            GetQuitOption(QZ_QUIT_CTRLC))
            RequestQuit();
        if (!pressed && e->code == QZ_KEY_RETURN && (e->qualifiers & kCommandQualifiers) &&
            IsDisplayUnobstructed(display) && !(display->flags & QZ_DISPF_NOMODESWITCH) && !error)
            error = Post(display, QZ_EVENT_MODESWITCH);
        return error;
    }
    case 5: return Post(display, QZ_EVENT_CLOSEWINDOW);
    case 6: {
        const auto* e = static_cast<const qzAdapterSizeEvent*>(data);
        const bool scaled = display->autoScale || display->layerScale;
        int error = ResizeDisplay(state, display, QZ_KEEPPOSITION, QZ_KEEPPOSITION, e->a, e->b, scaled ? 0 : 1,
                                  display->smoothScale, 0, 0);
        return error ? error : Post(display, QZ_EVENT_SIZEWINDOW);
    }
    case 7: {
        const auto* e = static_cast<const qzAdapterSizeEvent*>(data);
        display->x = e->a;
        display->y = e->b;
        return Post(display, QZ_EVENT_MOVEWINDOW);
    }
    case 8: {
        const auto* e = static_cast<const qzAdapterFlagEvent*>(data);
        display->state = e->value ? QZ_DISPSTATE_OPEN : QZ_DISPSTATE_HIDDEN;
        return Post(display, e->value ? QZ_EVENT_SHOWWINDOW : QZ_EVENT_HIDEWINDOW);
    }
    default: {
        const auto* e = static_cast<const qzAdapterFlagEvent*>(data);
        return Post(display, e->value ? QZ_EVENT_ACTIVEWINDOW : QZ_EVENT_INACTIVEWINDOW);
    }
    }
}

}  // namespace

int TranslateAdapterEvent(VmState* state, int type, void* data) {
    int result = 0;
    if (type >= QZ_EVENT_FIRSTPLUGIN) {
        result = Post(nullptr, type, 0, 0, 0, data);
    } else if (type == 0) {
        RequestQuit();
    } else if (type == 1) {
        const auto* event = static_cast<const qzAdapterCallEvent*>(data);
        auto* call = static_cast<qzQueuedCall*>(OsAlloc(sizeof(qzQueuedCall), 1));
        if (!event || !call) {
            OsFree(call);
            result = ERR_ADDSYSEVENT;
        } else {
            call->function = event->function;
            call->argument = event->argument;
            result = Post(nullptr, 24, 0, 0, 0, call);
            if (result) OsFree(call);
        }
    } else if (type >= 3 && type <= 9) {
        result = TranslateWindowEvent(state, type, data);
    }
    MacForceEventLoopIteration();
    return result;
}
