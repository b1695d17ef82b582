// The menu bar of a window, drawn by the player itself inside the window, above the display's
// content: the titles of a menu tree in a strip, the menus that drop from them and their
// submenus, with the live state of every entry (checked, disabled), which starts as the tree's
// flags say and which the script and the user change afterwards.
//
// The bar keeps the model, the layout and what is open; drivers that show windows on a screen
// draw it (MenuBarDraw) and hand it the mouse and keys (MenuBarMouse, MenuBarKey). Coordinates
// are those of the whole window: the strip covers 0 .. MenuBarHeight() - 1 from the top and the
// display's content lies below it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/host/menu_tree.h"

struct qzMenuBarEntry {
    const qzMenuItem* item = nullptr;
    uint32_t flags = 0;  // QZ_MENUITEM_*: the live state
    std::vector<qzMenuBarEntry> children;
};

struct qzMenuBarRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    bool Contains(int32_t px, int32_t py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

// One open menu: the entries it lists and where they are.
struct qzMenuBarPopup {
    const std::vector<qzMenuBarEntry>* entries = nullptr;
    qzMenuBarRect bounds = {0, 0, 0, 0};
    std::vector<qzMenuBarRect> rows;  // one per entry
    int32_t hover = -1;               // the entry under the mouse
};

struct qzSystemFont;

struct qzMenuBar {
    std::vector<qzMenuBarEntry> titles;
    // Layout, for the window width it was made for.
    int32_t layoutWidth = -1;
    int32_t height = 0;
    int32_t rowHeight = 0;
    int32_t baseline = 0;
    std::vector<qzMenuBarRect> titleRects;
    // What is open: the title (-1: nothing), then a popup per open level.
    int32_t openTitle = -1;
    int32_t pressedTitle = -1;  // a title without a menu, pressed and not yet released
    std::vector<qzMenuBarPopup> popups;
    bool changed = true;           // must be drawn again
    qzSystemFont* font = nullptr;  // opened on first need; null when no font is found
    bool fontTried = false;
    int32_t fontHeight = 0;
    int32_t fontBaseline = 0;
};

// Builds a bar from a tree (null for an empty tree). Null when memory runs out.
qzMenuBar* MenuBarCreate(const qzMenuItem* tree);
void MenuBarFree(qzMenuBar* bar);
// The live entry of a tree entry, or null.
qzMenuBarEntry* MenuBarFind(qzMenuBar* bar, const qzMenuItem* item);
// The first entry with that id (compared without case), else the first whose text it is, depth
// first; null when none is.
qzMenuBarEntry* MenuBarFindByName(qzMenuBar* bar, const char* name);

// Lays the strip out for a window of that width (again only when the width changed) and
// returns its height.
int32_t MenuBarLayout(qzMenuBar* bar, int32_t windowWidth);
// The height of the strip (laid out on first need).
int32_t MenuBarHeight(qzMenuBar* bar);

// Mouse input at window position x, y. Results: QZ_MENUBAR_PASS: not the bar's (the window
// gets it); QZ_MENUBAR_TAKEN: the bar used it; QZ_MENUBAR_CHOSEN: an entry was chosen
// (*chosen), and every menu is closed.
enum { QZ_MENUBAR_PASS = 0, QZ_MENUBAR_TAKEN = 1, QZ_MENUBAR_CHOSEN = 2 };
enum { QZ_MENUMOUSE_MOVE = 0, QZ_MENUMOUSE_DOWN = 1, QZ_MENUMOUSE_UP = 2 };
int MenuBarMouse(qzMenuBar* bar, int kind, int32_t x, int32_t y, const qzMenuItem** chosen);
// A key while a menu is open: Escape closes the menus. True when the bar took the key (every key
// while a menu is open).
bool MenuBarKey(qzMenuBar* bar, bool escape);
bool MenuBarIsOpen(const qzMenuBar* bar);
void MenuBarCloseMenus(qzMenuBar* bar);

// The entry whose hotkey is the character c (compared without case), enabled and without a
// submenu; null when none.
const qzMenuItem* MenuBarHotkey(qzMenuBar* bar, uint32_t c);

// Where a title is, or an entry of an open menu; false when it is not shown.
bool MenuBarTitleRect(qzMenuBar* bar, int32_t index, qzMenuBarRect* out);
bool MenuBarEntryRect(qzMenuBar* bar, const qzMenuItem* item, qzMenuBarRect* out);

// What the bar shows: the strip and every open menu, each an image of opaque 0xFFRRGGBB pixels
// at its place in the window.
struct qzMenuBarImage {
    qzMenuBarRect bounds;
    std::vector<uint32_t> pixels;
};
void MenuBarDraw(qzMenuBar* bar, std::vector<qzMenuBarImage>* out);
// True once after anything shown changed.
bool MenuBarTakeChanged(qzMenuBar* bar);
