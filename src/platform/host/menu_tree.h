// A menu tree: the entries of a menu strip as a script builds it with CreateMenu. The top level
// holds the titles of the strip; an entry with children opens a submenu. The display code owns
// the trees (menu objects); the window side builds a window's menu bar from one.
#pragma once

#include <cstdint>
#include <string>

// Entry flags: the state an entry starts with.
enum : uint32_t {
    QZ_MENUITEM_TOGGLE = 1,    // a check mark that choosing the entry switches
    QZ_MENUITEM_SELECTED = 2,  // checked
    QZ_MENUITEM_DISABLED = 4,  // cannot be chosen
};

struct qzMenuItem {
    qzMenuItem* next = nullptr;  // the following entry of the same level
    std::string text;            // ISO 8859-1; unused for a separator
    bool separator = false;      // a line between entries, without text
    std::string id;              // what the menu event names the entry by
    bool hasId = false;
    std::string hotkey;  // its first character, with Ctrl or Cmd held, chooses the entry
    bool hasHotkey = false;
    uint32_t flags = 0;
    qzMenuItem* children = nullptr;  // the first entry of the submenu, or null
};

// Frees a tree: every entry of the level and, first, their submenus. Null is ignored.
void FreeMenuTree(qzMenuItem* first);

// The first entry whose id equals `id` without regard to case, depth first: each entry before its
// children, its children before its next sibling. Null when none has it.
qzMenuItem* FindMenuItemById(qzMenuItem* tree, const char* id);
