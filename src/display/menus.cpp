#include "display/menus.h"

#include <new>
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "platform/host/backend_menus.h"
#include "platform/host/menu_tree.h"
#include "runtime/object_data.h"
#include "runtime/option_table.h"
#include "vm/vm.h"

namespace {

qzObjectHeader* menuList = nullptr;
// The display code finds and frees menus while the display library is open.
bool enabled = false;

// Owns a tree being built: frees it when a failure (or a raised argument error) leaves the scope.
struct TreeOwner {
    qzMenuItem* first = nullptr;
    qzMenuItem* last = nullptr;
    ~TreeOwner() { FreeMenuTree(first); }
    void Append(qzMenuItem* item) {
        if (last)
            last->next = item;
        else
            first = item;
        last = item;
    }
    qzMenuItem* Release() {
        qzMenuItem* tree = first;
        first = last = nullptr;
        return tree;
    }
};

int ParseEntry(VmState* state, int entryIndex, int level, qzMenuItem* item) {
    VmRawGetI(state, entryIndex, 0);
    const int textType = VmType(state, -1);
    if (textType == VM_TNIL && level > 0) {
        item->separator = true;
    } else if (textType != VM_TSTRING && textType != VM_TNUMBER) {
        VmPop(state, 1);
        return ERR_STRINGEXPECTED;
    } else {
        size_t length = VmStrLen(state, -1);
        item->text.assign(VmToString(state, -1), length);
        if (level == 0 && item->text.empty()) {
            VmPop(state, 1);
            return ERR_WRONGUSAGE;
        }
    }
    VmPop(state, 1);

    VmRawGetI(state, entryIndex, 1);
    const int subType = VmType(state, -1);
    if (subType == VM_TTABLE) {
        if (level >= QZ_MENU_MAX_LEVEL) {
            VmPop(state, 1);
            return ERR_MENUCOMPLEXITY;
        }
        int error = ParseMenuItems(state, VmGetTop(state), level + 1, &item->children);
        VmPop(state, 1);
        return error;
    }
    VmPop(state, 1);
    if (subType != VM_TNIL) return ERR_TABLEORNIL;
    int32_t flags = 0;
    if (GetTableFieldInt(state, entryIndex, "flags", &flags, nullptr)) item->flags = uint32_t(flags);
    if (GetTableFieldString(state, entryIndex, "id", nullptr, 0, &item->id, nullptr)) item->hasId = true;
    if (GetTableFieldString(state, entryIndex, "hotkey", nullptr, 0, &item->hotkey, nullptr)) item->hasHotkey = true;
    return 0;
}

qzMenu* AsMenu(qzObjectHeader* header) { return reinterpret_cast<qzMenu*>(header); }

bool IsAttached(const qzMenu* menu) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->menu == menu) return true;
    return false;
}

void FreeMenu(VmState* state, qzMenu* menu) {
    FreeObjectDataList(state, menu->header.data);
    FreeMenuTree(menu->tree);
    delete menu;
}

}  // namespace

qzObjectHeader** MenuListHead() { return &menuList; }

int ParseMenuItems(VmState* state, int tableIndex, int level, qzMenuItem** out) {
    *out = nullptr;
    if (tableIndex < 0) tableIndex = VmGetTop(state) + tableIndex + 1;
    TreeOwner built;
    for (int i = 0;; i++) {
        VmRawGetI(state, tableIndex, i);
        const int type = VmType(state, -1);
        if (type == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        if (type != VM_TTABLE) {
            VmPop(state, 1);
            return ERR_TABLEORNIL;
        }
        qzMenuItem* item = new (std::nothrow) qzMenuItem;
        if (!item) {
            VmPop(state, 1);
            return ERR_MEM;
        }
        built.Append(item);
        int error = ParseEntry(state, VmGetTop(state), level, item);
        VmPop(state, 1);
        if (error) return error;
    }
    *out = built.Release();
    return 0;
}

int FindMenuById(const qzObjectId& id, qzMenu** out) {
    *out = AsMenu(FindObjectInList(menuList, id));
    if (*out) return 0;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDMENU;
}

int CreateMenuObject(VmState* state, const qzObjectId& id, int tableIndex, qzMenu** out) {
    *out = nullptr;
    if (!IsAutoObjectId(id) && FindObjectInList(menuList, id)) {
        int error = FreeMenuObject(state, id);
        if (error) return error;
    }
    TreeOwner tree;
    int error = ParseMenuItems(state, tableIndex, 0, &tree.first);
    if (error) return error;
    if (!tree.first) return ERR_EMPTYMENUTREE;
    qzMenu* menu = new (std::nothrow) qzMenu{};
    if (!menu) return ERR_MEM;
    menu->tree = tree.Release();
    AddObjectToList(&menuList, &menu->header, QZ_TYPE_MENU, id);
    *out = menu;
    return 0;
}

int FreeMenuObject(VmState* state, const qzObjectId& id) {
    qzMenu* menu = nullptr;
    int error = FindMenuById(id, &menu);
    if (error) return error;
    if (IsAttached(menu)) return ERR_MENUATTACHED;
    RemoveObjectFromList(&menuList, &menu->header);
    FreeMenu(state, menu);
    return 0;
}

void FreeAllMenus(VmState* state) {
    if (!enabled) return;
    while (menuList) {
        qzMenu* menu = AsMenu(menuList);
        menuList = menuList->next;
        FreeMenu(state, menu);
    }
}

const qzMenuItem* DisplayMenuTree(const qzDisplay* display) {
    return display && display->menu ? static_cast<const qzMenu*>(display->menu)->tree : nullptr;
}

int MenuItemStateCore(const qzObjectId& displayId, const char* itemId, int needsToggle, uint32_t set, uint32_t clear,
                      uint32_t* state) {
    if (IsDisplayAdapterActive()) return ERR_DISPLAYADAPTERSUPPORT;
    if (displayId.number == 0 && !displayId.pointer) return ERR_NOCONTEXTMENU;
    qzDisplay* display = nullptr;
    int error = FindDisplayById(displayId, &display);
    if (error) return error;
    if (!display->menu) return ERR_NOMENU;
    if (display->state == QZ_DISPSTATE_CLOSED) return ERR_CLOSEDDISPLAY;
    if (display->fullScreen) return ERR_FULLSCREEN;
    qzMenuItem* item = FindMenuItemById(static_cast<qzMenu*>(display->menu)->tree, itemId);
    if (!item) {
        SetErrorArgString(itemId);
        return ERR_FINDMENUITEM;
    }
    if (needsToggle && !(item->flags & QZ_MENUITEM_TOGGLE)) return ERR_WRONGUSAGE;
    if (state) return MacGetMenuItemState(display->window, item, state);
    return MacSetMenuItemState(display->window, item, set, clear);
}

void EnableMenus(bool on) { enabled = on; }

int FindDisplayMenu(const qzObjectId& id, qzMenu** out) {
    if (enabled) return FindMenuById(id, out);
    *out = nullptr;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDMENU;
}
