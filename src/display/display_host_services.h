// The display services that plugins reach through the host tables (platform/plugin_api.h): display
// hooks, monitors, displays by native handle, application icons, the display attributes of a
// native handle, the input reports of a display adapter and the requester adapter.
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"

struct VmState;

// The VM state the services work with (the display library's); null before it opens.
void SetDisplayServiceState(VmState* state);

void* HostAddDisplayHook(const qzPluginObjectId* display, qzDisplayHookFn callback, void* userData,
                         const qzTagItem* tags);
void HostRemoveDisplayHook(void* hook);
void HostRefreshHookDisplay(void* hook);
int HostResizeHookDisplay(void* hook, int width, int height);
// A list of qzPluginMonitor records (null when it cannot be made) and its release.
void* HostGetMonitors(void);
void HostFreeMonitors(void* monitors);
// The display of an adapter handle or window record; (void*)-1 when none.
void* HostFindDisplayByHandle(void* nativeHandle);
// RefreshDisplay of the whole display of the handle (flag 2): 0, or ERR_FINDDISPLAY.
int HostRefreshDisplayByHandle(void* nativeHandle);
// The native handle of a display (the adapter's, else the window record), null when none.
void* HostGetDisplayHandle(VmState* state, const qzPluginObjectId* display);
// A list of application icons (qzAppIcon records, display_icons.h), null when out of memory.
void* HostGetApplicationIcons(void);
void HostFreeApplicationIcons(void* icons);
int HostGetAdapterDisplayAttrs(void* nativeHandle, const qzTagItem* tags);
// The adapter's input report for the display whose hook list holds the hook (null: the first).
void HostPostAdapterInputEvent(void* hook, int kind, void* data);
// Installs a requester adapter: ERR_OLDAPPLET, ERR_WRONGUSAGE without the requester capability,
// ERR_SETADAPTER outside the plugin start-up phase or over an adapter that may not be replaced.
int HostInstallRequesterAdapter(qzPluginInfo* info, uint32_t flags);
// The installed requester adapter and its requester flags (null and 0 when none).
const qzPluginInfo* RequesterAdapter();
uint32_t RequesterAdapterFlags();
