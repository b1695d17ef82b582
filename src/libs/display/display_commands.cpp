// The display commands: creating, opening, closing and freeing displays, their attributes,
// title, visibility, position, activation and selection.
#include <cstring>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_life.h"
#include "display/display_links.h"
#include "display/display_monitors.h"
#include "display/display_scale.h"
#include "display/display_tags.h"
#include "libs/display/display_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The display named by the argument, or the command fails with the lookup's error.
qzDisplay* CheckDisplay(VmState* state, int index) {
    const qzObjectId id = CheckObjectIdArg(state, index);
    qzDisplay* display = nullptr;
    int error = FindDisplayById(id, &display);
    if (error) VmFailCommand(state, error);
    return display;
}

// The current display; without one the command cannot work on a display.
qzDisplay* CheckCurrentDisplay(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display) VmFailCommand(state, ERR_CLOSEDDISPLAY);
    return display;
}

// An optional flag argument: absent or nil is 0, a boolean counts as it is, else a number.
int OptFlag(VmState* state, int index) {
    switch (VmType(state, index)) {
    case VM_TNONE:
    case VM_TNIL: return 0;
    case VM_TBOOLEAN: return VmToBoolean(state, index);
    default: return VmCheckInteger(state, index) != 0;
    }
}

}  // namespace

int DispCreateDisplay(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    int table = 0;
    if (VmGetTop(state) >= 2 && VmType(state, 2) != VM_TNIL) {
        VmCheckTable(state, 2);
        table = 2;
    }
    qzDisplay* display = nullptr;
    int error = CreateDisplayCore(state, id, table, &display);
    if (error) return error;
    return PushNewObjectHandle(state, id, &display->header);
}

int DispOpenDisplay(VmState* state) {
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    qzDisplay* d = CheckDisplay(state, 1);
    if (d->state != QZ_DISPSTATE_CLOSED) return ERR_WRONGUSAGE;
    int noSelect = 0;
    if (VmType(state, 2) == VM_TTABLE) {
        GetTableFieldFlag(state, 2, "noselect", &noSelect, nullptr);
        int32_t monitor = d->monitor;
        int given = 0;
        int error = ReadMonitorTag(state, 2, &monitor, &given);
        if (error) return error;
        if (given && monitor != d->monitor) {
            d->monitor = monitor;
            d->x = d->y = QZ_POS_CENTER;
            d->centerOnMonitorX = d->centerOnMonitorY = 1;
        }
        error = ReadDisplayModeOptions(state, 2, &d->modeOptions);
        if (error) return error;
        if (GetTableFieldInt(state, 2, "x", &d->x, nullptr)) d->centerOnMonitorX = 1;
        if (GetTableFieldInt(state, 2, "y", &d->y, nullptr)) d->centerOnMonitorY = 1;
    } else {
        noSelect = OptFlag(state, 2);
    }
    d->activateOnOpen = (d->flags & QZ_DISPF_ACTIVE) ? 1 : 0;
    int error = OpenDisplayCore(state, d, 0);
    if (error) return error;
    if (!noSelect) return MakeDisplayCurrent(state, d, 1);
    return 0;
}

int DispCloseDisplay(VmState* state) {
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    qzDisplay* d = CheckDisplay(state, 1);
    if (d->state == QZ_DISPSTATE_CLOSED) return ERR_WRONGUSAGE;
    if (DisplayLinks().isVideoActiveOnDisplay(d, 0, 1)) return ERR_VIDATTACHED;
    // The closed display's own double-buffer words decide, not the current display's.
    if (d->doubleBufferHardware || d->doubleBufferSaved) return ERR_HWDBFREEDISP;
    return CloseDisplayCore(state, d, nullptr, QZ_CLOSE_FREEBACKDROP);
}

int DispFreeDisplay(VmState* state) {
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return FreeDisplayCore(state, id, 1);
}

int DispSetDisplayAttributes(VmState* state) {
    VmCheckTable(state, 1);
    qzDisplay* d = CheckCurrentDisplay(state);
    d->savedGeometry = 0;
    return ApplyDisplayAttributes(state, 1, d, 0);
}

int DispSetTitle(VmState* state) {
    size_t length = 0;
    const char* title = VmCheckString(state, 1, &length);
    qzDisplay* d = CheckCurrentDisplay(state);
    if (length >= QZ_DISPLAY_TITLE_SIZE || std::memchr(title, 0, length)) return ERR_WRONGUSAGE;
    std::memcpy(d->title, title, length);
    d->title[length] = 0;
    if (d->state != QZ_DISPSTATE_CLOSED) UpdateDisplayTitle(d);
    return 0;
}

int DispShowDisplay(VmState* state) {
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    qzDisplay* d = CheckCurrentDisplay(state);
    if (d->state != QZ_DISPSTATE_HIDDEN) return ERR_WRONGUSAGE;
    int error = ShowHideDisplayWindow(d, 1);
    if (error) return error;
    d->state = QZ_DISPSTATE_OPEN;
    d->activateOnOpen = 1;
    return 0;
}

int DispHideDisplay(VmState* state) {
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    qzDisplay* d = CheckCurrentDisplay(state);
    if (d->state != QZ_DISPSTATE_OPEN) return ERR_WRONGUSAGE;
    int error = ShowHideDisplayWindow(d, 0);
    if (error) return error;
    d->state = QZ_DISPSTATE_HIDDEN;
    d->activateOnOpen = 0;
    return 0;
}

int DispMoveDisplay(VmState* state) {
    int32_t x = VmCheckInteger(state, 1);
    int32_t y = VmCheckInteger(state, 2);
    qzDisplay* d = CheckCurrentDisplay(state);
    d->x = x;
    d->y = y;
    int32_t mx = 0, my = 0, mw = 0, mh = 0;
    int error = GetDisplayMonitorRect(d, &mx, &my, &mw, &mh);
    if (error) return error;
    d->savedGeometry = 0;
    d->x = int32_t(int64_t(ResolveDisplayX(x, d->width + d->borderHorizontal, mw)) + mx);
    d->y = int32_t(int64_t(ResolveDisplayY(y, d->height + d->borderVertical, mh)) + my);
    d->centerOnMonitorX = d->centerOnMonitorY = 0;
    if (d->state == QZ_DISPSTATE_OPEN) MoveDisplayWindow(d);
    return 0;
}

int DispActivateDisplay(VmState* state) {
    qzDisplay* d = CheckDisplay(state, 1);
    int flag = OptFlag(state, 2);
    if (d->state != QZ_DISPSTATE_OPEN) return ERR_CLOSEDDISPLAY;
    ActivateDisplayWindow(d, flag ? 0 : 1);
    return 0;
}

int DispSelectDisplay(VmState* state) {
    if (IsVideoRecording()) return ERR_WRONGCMDRECVIDEO;
    qzDisplay* d = CheckDisplay(state, 1);
    return MakeDisplayCurrent(state, d, OptFlag(state, 2));
}
