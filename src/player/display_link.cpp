#include "player/display_link.h"

#include "display/display.h"
#include "display/display_life.h"
#include "display/display_monitors.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "display/display_scale.h"

namespace {

// 1 while the display is in the list (a window's display may have gone meanwhile).
bool Known(const qzDisplay* display) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d == display) return true;
    return false;
}

}  // namespace

void LinkedRefreshDisplay(VmState* state, qzDisplay* display) {
    // The window system lost what the window showed: all of it, straight to the back end.
    if (Known(display)) RefreshDisplay(state, display, QZ_REFRESH_CURRENTHOOK | uint32_t(QZ_PRESENT_BYPASS));
}

int LinkedReopenDisplay(VmState* state, qzDisplay* display, int32_t mode, int32_t width, int32_t height) {
    if (!Known(display)) return 0;
    display->modeOptions.displayMode = mode;
    if (mode == QZ_DISPMODE_FULLSCREEN) {
        display->modeOptions.screenWidth = width;
        display->modeOptions.screenHeight = height;
    }
    return OpenDisplayCore(state, display, QZ_OPEN_SWITCH | QZ_OPEN_OWNMONITOR);
}

int LinkedResizeDisplay(VmState* state, qzDisplay* display, int32_t width, int32_t height) {
    if (!Known(display) || width < 1 || height < 1) return 0;
    const bool scaled = display->autoScale || display->layerScale;
    return ResizeDisplay(state, display, QZ_KEEPPOSITION, QZ_KEEPPOSITION, width, height, scaled ? 0 : 1,
                         display->smoothScale, 0, 0);
}

int LinkedDisplayUnobstructed(qzDisplay* display) {
    if (!Known(display) || display->autoScale || display->layerScale) return 0;
    return IsDisplayUnobstructed(display);
}

void LinkedFlushPendingRepaints(VmState* state) { FlushPendingDisplayRepaints(state); }

int LinkedDisplayBlocksSizeEvents(qzDisplay* display) {
    return Known(display) && (display->autoScale || display->layerScale) ? 1 : 0;
}
