// The display commands of size, mode and monitors: ChangeDisplaySize, ChangeDisplayMode,
// GetDisplayModes and GetMonitors.
#include <vector>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_life.h"
#include "display/display_monitors.h"
#include "display/display_scale.h"
#include "display/display_tags.h"
#include "libs/display/display_lib.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

qzDisplay* CheckCurrentDisplay(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display) VmFailCommand(state, ERR_CLOSEDDISPLAY);
    return display;
}

}  // namespace

int DispChangeDisplaySize(VmState* state) {
    qzDisplay* d = CheckCurrentDisplay(state);
    if (!d->bordersKnown) DetermineBorderSizes(d);
    const qzBGPic* pic = d->bgpic;
    const int32_t pictureWidth = pic ? pic->scaledWidth : d->width;
    const int32_t pictureHeight = pic ? pic->scaledHeight : d->height;
    int32_t width = VmNumberToInteger(CheckPercentArg(state, 1, pictureWidth, 1, nullptr));
    int32_t height = VmNumberToInteger(CheckPercentArg(state, 2, pictureHeight, 1, nullptr));
    int32_t x = QZ_POS_CENTER, y = QZ_POS_CENTER;
    int smooth = 0;
    if (VmType(state, 3) == VM_TTABLE) {
        GetTableFieldInt(state, 3, "x", &x, nullptr);
        GetTableFieldInt(state, 3, "y", &y, nullptr);
        GetTableFieldFlag(state, 3, "smooth", &smooth, nullptr);
    } else if (VmType(state, 3) != VM_TNONE && VmType(state, 3) != VM_TNIL) {
        smooth = VmType(state, 3) == VM_TBOOLEAN ? VmToBoolean(state, 3) : VmCheckInteger(state, 3) != 0;
    }
    int error = ApplyKeepAspectSize(pictureWidth, pictureHeight, &width, &height);
    if (error) return error;
    error = ResizeDisplay(state, d, x, y, width, height, 1, smooth, d->state == QZ_DISPSTATE_CLOSED, 0);
    if (error) return error;
    d->savedGeometry = 0;
    return 0;
}

int DispChangeDisplayMode(VmState* state) {
    int32_t mode = VmCheckInteger(state, 1);
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    qzDisplay* d = CheckCurrentDisplay(state);
    if (d->state == QZ_DISPSTATE_CLOSED) return ERR_CLOSEDDISPLAY;
    if (mode != QZ_DISPMODE_WINDOWED && mode != QZ_DISPMODE_FULLSCREEN) return ERR_WRONGUSAGE;
    if (mode == QZ_DISPMODE_WINDOWED && !d->fullScreen) return 0;
    int32_t width = d->width, height = d->height;
    if (VmGetTop(state) >= 2 && VmType(state, 2) != VM_TNIL) width = VmCheckInteger(state, 2);
    if (VmGetTop(state) >= 3 && VmType(state, 3) != VM_TNIL) height = VmCheckInteger(state, 3);
    int modeWord = QZ_OPEN_SWITCH;
    int32_t monitor = d->monitor;
    int monitorGiven = 0;
    qzBackfillSettings backfill = d->modeOptions.backfill;
    if (VmGetTop(state) >= 4 && VmType(state, 4) != VM_TNIL) {
        VmCheckTable(state, 4);
        int error = ReadMonitorTag(state, 4, &monitor, &monitorGiven);
        if (!error) error = ReadBackfillOptions(state, 4, &backfill);
        if (error) return error;
    }
    if (mode == QZ_DISPMODE_FULLSCREEN && (width < 1 || height < 1 || width < d->width || height < d->height))
        return ERR_WRONGUSAGE;
    d->modeOptions.displayMode = mode;
    d->modeOptions.backfill = backfill;
    if (monitorGiven && monitor != d->monitor) {
        if (d->fullScreen) {
            d->previousMonitor = d->monitor + 1;
            modeWord |= QZ_OPEN_MONITORCHANGE;
        }
        d->monitor = monitor;
        d->x = d->y = QZ_POS_CENTER;
        d->centerOnMonitorX = d->centerOnMonitorY = 1;
    }
    if (mode == QZ_DISPMODE_FULLSCREEN) {
        d->modeOptions.screenWidth = width;
        d->modeOptions.screenHeight = height;
    }
    int error = OpenDisplayCore(state, d, modeWord);
    d->previousMonitor = 0;
    return error;
}

int DispGetDisplayModes(VmState* state) {
    int32_t monitor = VmOptInteger(state, 1, 1);
    if (monitor < 1 || monitor > CountMonitors()) return ERR_MONITORRANGE;
    std::vector<qzModeSize> modes;
    int error = GetSortedDisplayModes(monitor - 1, &modes);
    if (error) return error;
    VmNewTable(state);
    for (size_t i = 0; i < modes.size(); i++) {
        VmNewTable(state);
        SetTableFieldInt(state, "width", modes[i].width);
        SetTableFieldInt(state, "height", modes[i].height);
        VmRawSetI(state, -2, int(i));
    }
    return 1;
}

int DispGetMonitors(VmState* state) {
    std::vector<qzMonitorRect> monitors;
    if (!GetMonitorRects(&monitors)) return ERR_MEM;
    VmNewTable(state);
    for (size_t i = 0; i < monitors.size(); i++) {
        VmNewTable(state);
        SetTableFieldInt(state, "x", monitors[i].x);
        SetTableFieldInt(state, "y", monitors[i].y);
        SetTableFieldInt(state, "width", monitors[i].width);
        SetTableFieldInt(state, "height", monitors[i].height);
        VmRawSetI(state, -2, int(i));
    }
    return 1;
}
