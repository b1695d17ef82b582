// The menu commands of the display library: CreateMenu and FreeMenu, and the commands that change
// or read the state of one entry of a display's menu bar.
#include "base/error_codes.h"
#include "display/menus.h"
#include "libs/display/display_lib.h"
#include "platform/host/menu_tree.h"
#include "runtime/applet_version.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// One item-state command: (display, item id).
int ItemCommand(VmState* state, int needsToggle, uint32_t set, uint32_t clear, uint32_t readMask) {
    VmCheckArgCount(state, 2, 2, 0, 0);
    const qzObjectId display = CheckObjectIdArg(state, 1);
    const char* item = VmCheckString(state, 2);
    uint32_t itemState = 0;
    int error = MenuItemStateCore(display, item, needsToggle, set, clear, readMask ? &itemState : nullptr);
    if (error) return error;
    if (!readMask) return 0;
    VmPushNumber(state, (itemState & readMask) ? 1 : 0);
    return 1;
}

}  // namespace

int DispCreateMenu(VmState* state) {
    if (!CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    const qzObjectId id = CheckNumericIdArg(state, 1);
    VmCheckTable(state, 2);
    qzMenu* menu = nullptr;
    int error = CreateMenuObject(state, id, 2, &menu);
    if (error) return error;
    return PushNewObjectHandle(state, id, &menu->header);
}

int DispFreeMenu(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return FreeMenuObject(state, id);
}

int DispSelectMenuItem(VmState* state) { return ItemCommand(state, 1, QZ_MENUITEM_SELECTED, 0, 0); }
int DispDeselectMenuItem(VmState* state) { return ItemCommand(state, 1, 0, QZ_MENUITEM_SELECTED, 0); }
int DispEnableMenuItem(VmState* state) { return ItemCommand(state, 0, 0, QZ_MENUITEM_DISABLED, 0); }
int DispDisableMenuItem(VmState* state) { return ItemCommand(state, 0, QZ_MENUITEM_DISABLED, 0, 0); }
int DispIsMenuItemSelected(VmState* state) { return ItemCommand(state, 1, 0, 0, QZ_MENUITEM_SELECTED); }
int DispIsMenuItemDisabled(VmState* state) { return ItemCommand(state, 0, 0, 0, QZ_MENUITEM_DISABLED); }
