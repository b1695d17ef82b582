// The menus of the built-in display back end: the menu bar a windowed display's window gets from
// the display's menu tree, the live state of its entries (checked, disabled), and choosing an
// entry, with the mouse on the bar, with an entry's hotkey, or from the headless input script.
//
// The menu bar belongs to the open window: it is made when the window opens, with the state the
// tree's flags give, and goes with the window.
#pragma once

#include <cstdint>

struct qzHostEvent;
struct qzHostWindow;
struct qzMacWindow;
struct qzMenuItem;

// Makes the record's menu bar from the tree (replacing one it has): 0 or ERR_CREATEMENU.
int MacCreateWindowMenu(qzMacWindow* record, const qzMenuItem* tree);
// Frees the record's menu bar (the open window then shows none).
void DisposeWindowMenu(qzMacWindow* record);
// The display's menu tree changed (null: no menu): the open window's menu bar is made again
// from it; when that fails the window is left without one. Nothing for a closed or full-screen
// display. 0.
int MacResetWindowMenu(qzMacWindow* record, const qzMenuItem* tree);
// Changes an entry's state: `set` bits on, then `clear` bits off (QZ_MENUITEM_SELECTED,
// QZ_MENUITEM_DISABLED). 0, or ERR_CLOSEDDISPLAY when the display is not open; an entry the
// window's bar does not show is left alone.
int MacSetMenuItemState(qzMacWindow* record, const qzMenuItem* item, uint32_t set, uint32_t clear);
// An entry's state: QZ_MENUITEM_SELECTED for a checked toggle entry, QZ_MENUITEM_DISABLED for a
// disabled one. 0 or ERR_CLOSEDDISPLAY.
int MacGetMenuItemState(qzMacWindow* record, const qzMenuItem* item, uint32_t* state);

// A QZ_HEV_MENU event of the window: the entry it carries, else the one its text names (by id,
// else by text). An entry that can be chosen (enabled, without a submenu) is chosen: a toggle
// entry switches its check mark, and the menu choice goes to the menuSelected hook.
void HandleMenuEvent(qzHostWindow* window, const qzHostEvent& event);
// A key pressed with Ctrl or Cmd: true when it is the hotkey of an entry of the window's bar,
// which is then chosen.
bool HandleMenuHotkey(qzHostWindow* window, uint32_t character);
