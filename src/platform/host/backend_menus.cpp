#include "platform/host/backend_menus.h"

#include "base/error_codes.h"
#include "platform/host/backend_window.h"
#include "platform/host/event_loop.h"
#include "platform/host/host.h"
#include "platform/host/menu_bar.h"

namespace {

void Choose(qzHostWindow* window, qzMenuBarEntry* entry) {
    if (!entry || entry->item->separator || !entry->children.empty() || (entry->flags & QZ_MENUITEM_DISABLED)) return;
    int32_t selected = 0;
    if (entry->item->flags & QZ_MENUITEM_TOGGLE) {
        entry->flags ^= QZ_MENUITEM_SELECTED;
        selected = (entry->flags & QZ_MENUITEM_SELECTED) ? 1 : 0;
        window->menuBar->changed = true;
    }
    const qzMenuItem* item = entry->item;
    HostHooks().menuSelected(window->display, item->hasId ? item->id : std::string(), selected);
}

}  // namespace

int MacCreateWindowMenu(qzMacWindow* record, const qzMenuItem* tree) {
    DisposeWindowMenu(record);
    if (!tree) return 0;
    record->menuBar = MenuBarCreate(tree);
    return record->menuBar ? 0 : ERR_CREATEMENU;
}

void DisposeWindowMenu(qzMacWindow* record) {
    if (!record || !record->menuBar) return;
    if (qzHostWindow* window = HostWindow(record)) {
        if (window->menuBar == record->menuBar) HostSetWindowMenuBar(window, nullptr);
    }
    MenuBarFree(record->menuBar);
    record->menuBar = nullptr;
}

int MacResetWindowMenu(qzMacWindow* record, const qzMenuItem* tree) {
    qzHostWindow* window = HostWindow(record);
    if (!window || window->settings.fullScreen) return 0;
    qzMenuBar* old = record->menuBar;
    record->menuBar = tree ? MenuBarCreate(tree) : nullptr;
    HostSetWindowMenuBar(window, record->menuBar);
    MenuBarFree(old);
    return 0;
}

int MacSetMenuItemState(qzMacWindow* record, const qzMenuItem* item, uint32_t set, uint32_t clear) {
    if (!HostWindow(record)) return ERR_CLOSEDDISPLAY;
    qzMenuBarEntry* entry = MenuBarFind(record->menuBar, item);
    if (!entry) return 0;
    uint32_t mask = QZ_MENUITEM_SELECTED | QZ_MENUITEM_DISABLED;
    uint32_t flags = (entry->flags | (set & mask)) & ~(clear & mask);
    if (flags != entry->flags) {
        entry->flags = flags;
        record->menuBar->changed = true;
    }
    return 0;
}

int MacGetMenuItemState(qzMacWindow* record, const qzMenuItem* item, uint32_t* state) {
    *state = 0;
    if (!HostWindow(record)) return ERR_CLOSEDDISPLAY;
    qzMenuBarEntry* entry = MenuBarFind(record->menuBar, item);
    if (!entry) return 0;
    if ((item->flags & QZ_MENUITEM_TOGGLE) && (entry->flags & QZ_MENUITEM_SELECTED)) *state |= QZ_MENUITEM_SELECTED;
    if (entry->flags & QZ_MENUITEM_DISABLED) *state |= QZ_MENUITEM_DISABLED;
    return 0;
}

void HandleMenuEvent(qzHostWindow* window, const qzHostEvent& event) {
    if (!window->menuBar) return;
    qzMenuBarEntry* entry = event.menuItem ? MenuBarFind(window->menuBar, event.menuItem)
                                           : MenuBarFindByName(window->menuBar, event.text.c_str());
    Choose(window, entry);
}

bool HandleMenuHotkey(qzHostWindow* window, uint32_t character) {
    if (!window->menuBar || !character) return false;
    const qzMenuItem* item = MenuBarHotkey(window->menuBar, character);
    if (!item) return false;
    Choose(window, MenuBarFind(window->menuBar, item));
    return true;
}
