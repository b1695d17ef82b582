// The double-buffering commands of the brush library: BeginDoubleBuffer, Flip, EndDoubleBuffer.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/double_buffer.h"
#include "libs/brush/brush_lib.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

bool OptFlag(VmState* state, int index, bool def) {
    if (VmGetTop(state) < index || VmType(state, index) == VM_TNIL) return def;
    if (VmType(state, index) == VM_TBOOLEAN) return VmToBoolean(state, index) != 0;
    return VmCheckNumber(state, index) != 0;
}

}  // namespace

int BrushBeginDoubleBuffer(VmState* state) {
    const bool hardware = OptFlag(state, 1, false);
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    return BeginDoubleBuffer(state, display, hardware);
}

int BrushFlip(VmState* state) {
    const bool wait = OptFlag(state, 1, true);
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_NODOUBLEBUFFER;
    return FlipDisplay(state, display, wait);
}

int BrushEndDoubleBuffer(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_NODOUBLEBUFFER;
    return EndDoubleBufferCore(state, display);
}
