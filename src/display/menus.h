// Menu objects: the menu strips a script builds with CreateMenu as a tree of tables and attaches to
// a display with the display option "menu", and the state of their entries, which the open
// window's menu bar keeps (platform/host/backend_menus.h).
#pragma once

#include <cstdint>

#include "runtime/object_registry.h"

struct VmState;
struct qzDisplay;
struct qzMenuItem;

constexpr int32_t QZ_TYPE_MENU = 57;
// Levels below the top one (the titles of the strip) that a tree may have.
constexpr int QZ_MENU_MAX_LEVEL = 2;

struct qzMenu {
    qzObjectHeader header;
    qzMenuItem* tree;  // the first entry of the top level
};

// The menu list (registered with the object registry as type 57).
qzObjectHeader** MenuListHead();

// Reads the entries of the table at tableIndex (items 0, 1, ... up to the first nil) as one level
// of a tree: each entry a table {text, submenu, flags = , id = , hotkey = }. 0 with *out the
// first entry, or an error with nothing left over: ERR_TABLEORNIL, ERR_STRINGEXPECTED,
// ERR_WRONGUSAGE (an empty title at the top level), ERR_MENUCOMPLEXITY (deeper than
// QZ_MENU_MAX_LEVEL).
int ParseMenuItems(VmState* state, int tableIndex, int level, qzMenuItem** out);

// The menu of an identifier: 0, ERR_FINDARRAY for a handle, ERR_FINDMENU (number as error
// argument) for a number.
int FindMenuById(const qzObjectId& id, qzMenu** out);
// Makes a menu from the tree table at tableIndex (a menu of the same number is freed first). 0
// with *out, or an error with the menu list unchanged (ERR_EMPTYMENUTREE for a tree without
// entries).
int CreateMenuObject(VmState* state, const qzObjectId& id, int tableIndex, qzMenu** out);
// Frees a menu: ERR_MENUATTACHED while a display has it attached, else as FindMenuById.
int FreeMenuObject(VmState* state, const qzObjectId& id);
// Frees every menu (at shutdown, after the displays); nothing while menus are not enabled.
void FreeAllMenus(VmState* state);

// The tree of the menu a display has attached, or null.
const qzMenuItem* DisplayMenuTree(const qzDisplay* display);

// The item-state commands' core: finds the display and the item and sets `set`, clears `clear`
// (QZ_MENUITEM_SELECTED, QZ_MENUITEM_DISABLED), or, with `state` given, reads the item's state.
// `needsToggle`: the item must have been made with QZ_MENUITEM_TOGGLE (else ERR_WRONGUSAGE).
// Errors: ERR_DISPLAYADAPTERSUPPORT, ERR_NOCONTEXTMENU (display 0), the display lookup's,
// ERR_NOMENU, ERR_CLOSEDDISPLAY, ERR_FULLSCREEN, ERR_FINDMENUITEM (id as error argument).
int MenuItemStateCore(const qzObjectId& displayId, const char* itemId, int needsToggle, uint32_t set, uint32_t clear,
                      uint32_t* state);

// Switches the display code's menu lookups on (the "menu" option, the clean-up at exit) while the
// display library is open.
void EnableMenus(bool on);
// The menu object of an identifier for the "menu" option: as FindMenuById; while menus are not
// enabled, ERR_FINDARRAY for a handle, ERR_FINDMENU (number as error argument) for a number.
int FindDisplayMenu(const qzObjectId& id, qzMenu** menu);
