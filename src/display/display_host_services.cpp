#include "display/display_host_services.h"

#include <vector>

#include "base/error_codes.h"
#include "base/event_types.h"
#include "base/out_of_memory.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_icons.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "runtime/applet_version.h"
#include "runtime/event_queue.h"
#include "runtime/plugin_manager.h"

namespace {

VmState* serviceState = nullptr;
const qzPluginInfo* requesterAdapter = nullptr;
uint32_t requesterFlags = 0;
uint32_t requesterInstallFlags = 0;

qzDisplay* DisplayOfHandle(const void* handle) { return FindDisplayByWindow(handle); }

}  // namespace

void SetDisplayServiceState(VmState* state) {
    serviceState = state;
    if (!state) {
        requesterAdapter = nullptr;
        requesterFlags = requesterInstallFlags = 0;
    }
}

void* HostAddDisplayHook(const qzPluginObjectId* display, qzDisplayHookFn callback, void* userData,
                         const qzTagItem* tags) {
    if (!display) return nullptr;
    static_assert(sizeof(qzHookTag) == sizeof(qzTagItem), "hook tags are tag items");
    return AddDisplayHook(serviceState, {display->number, display->pointer},
                          reinterpret_cast<qzDisplayHookCallback>(callback), userData,
                          reinterpret_cast<const qzHookTag*>(tags), 0);
}

void HostRemoveDisplayHook(void* hook) { RemoveDisplayHook(static_cast<qzDisplayHook*>(hook)); }

void HostRefreshHookDisplay(void* hook) { RefreshHookDisplay(serviceState, static_cast<qzDisplayHook*>(hook)); }

int HostResizeHookDisplay(void* hook, int width, int height) {
    return AdapterResizeDisplay(serviceState, static_cast<qzDisplayHook*>(hook), width, height);
}

void* HostGetMonitors(void) {
    // Called from a plugin's C code: running out of memory is answered with no list.
    std::vector<qzMonitorRect> rects;
    if (CatchOutOfMemory([&] { return GetMonitorRects(&rects) ? 0 : ERR_GETMONITORINFO; }) != 0) return nullptr;
    qzPluginMonitor* first = nullptr;
    qzPluginMonitor** link = &first;
    for (const qzMonitorRect& r : rects) {
        auto* m = static_cast<qzPluginMonitor*>(OsAlloc(sizeof(qzPluginMonitor), 1));
        if (!m) {
            HostFreeMonitors(first);
            return nullptr;
        }
        *m = {nullptr, r.x, r.y, r.width, r.height};
        *link = m;
        link = &m->next;
    }
    return first;
}

void HostFreeMonitors(void* monitors) {
    auto* m = static_cast<qzPluginMonitor*>(monitors);
    while (m) {
        qzPluginMonitor* next = m->next;
        OsFree(m);
        m = next;
    }
}

void* HostFindDisplayByHandle(void* nativeHandle) {
    qzDisplay* d = DisplayOfHandle(nativeHandle);
    return d ? static_cast<void*>(d) : reinterpret_cast<void*>(intptr_t(-1));
}

int HostRefreshDisplayByHandle(void* nativeHandle) {
    qzDisplay* d = DisplayOfHandle(nativeHandle);
    if (!d) return ERR_FINDDISPLAY;
    return RefreshDisplay(serviceState, d, QZ_REFRESH_CURRENTHOOK);
}

void* HostGetDisplayHandle(VmState*, const qzPluginObjectId* display) {
    qzDisplay* d = nullptr;
    if (!display || FindDisplayById({display->number, display->pointer}, &d) != 0) return nullptr;
    return d->nativeHandle ? d->nativeHandle : static_cast<void*>(d->window);
}

void* HostGetApplicationIcons(void) { return CopyApplicationIcons(nullptr); }

void HostFreeApplicationIcons(void* icons) { FreeIconList(static_cast<qzAppIcon*>(icons)); }

int HostGetAdapterDisplayAttrs(void* nativeHandle, const qzTagItem* tags) {
    qzDisplay* d = DisplayOfHandle(nativeHandle);
    if (!d) return -1;
    int served = 0;
    for (const qzTagItem* t = tags; t && t->tag; t++) {
        auto* out = reinterpret_cast<int32_t*>(t->value);
        if (!out) continue;
        switch (t->tag) {
        case 1: *out = d->width; break;
        case 2: *out = d->height; break;
        case 3: *out = d->bgpic ? d->bgpic->width : 0; break;
        case 4: *out = d->bgpic ? d->bgpic->height : 0; break;
        case 5: *out = int32_t(GetDisplayAdapterFlags(d)); break;
        case 6: *out = d->scaledWidth; break;
        case 7: *out = d->scaledHeight; break;
        case 8: *out = d->smoothScale; break;
        default: continue;
        }
        served++;
    }
    return served;
}

void HostPostAdapterInputEvent(void* hook, int kind, void* data) {
    if (!serviceState) return;
    qzDisplay* d = hook ? FindDisplayOfHook(static_cast<qzDisplayHook*>(hook)) : FirstDisplay();
    const int32_t* words = static_cast<const int32_t*>(data);
    if (!d || !words) return;
    if (kind >= 0 && kind <= 4) {
        d->lastMouseX = words[0];
        d->lastMouseY = words[1];
    }
    switch (kind) {
    case 0:
        OsGetMonotonicTime(&d->mouseMoveTime);
        d->mouseMoved = 1;
        break;
    case 1:
    case 2:
    case 3: {
        const int32_t type = kind == 1 ? QZ_EVENT_LEFTMOUSE : kind == 2 ? QZ_EVENT_RIGHTMOUSE : QZ_EVENT_MIDMOUSE;
        int32_t* state = kind == 1 ? &d->leftButton : kind == 2 ? &d->rightButton : &d->middleButton;
        *state = words[2];
        PushEventToQueue(d, type, words[0], words[1], words[2], nullptr);
        break;
    }
    case 4:
        PushEventToQueue(d, words[2] ? QZ_EVENT_WHEELDOWN : QZ_EVENT_WHEELUP, words[0], words[1], 0, nullptr);
        break;
    case 5: {
        d->lastQualifiers = uint32_t(words[2]);
        const int32_t code = words[0];
        if (code <= 0 || code >= QZ_DISPLAY_KEYSTATES) break;
        d->keyStates[code] = uint8_t(words[1]);
        PushEventToQueue(d, QZ_EVENT_KEY, words[1], words[2], code, nullptr);
        break;
    }
    default: break;
    }
}

int HostInstallRequesterAdapter(qzPluginInfo* info, uint32_t flags) {
    if (!CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    if (!info || !(info->capabilities & QZ_PLUGINCAPS_REQUESTERADAPTER)) return ERR_WRONGUSAGE;
    if (!IsPluginStartupPhase() || (requesterAdapter && (requesterInstallFlags & 1))) return ERR_SETADAPTER;
    requesterAdapter = info;
    requesterFlags = flags;
    requesterInstallFlags = flags;
    return 0;
}

const qzPluginInfo* RequesterAdapter() { return requesterAdapter; }
uint32_t RequesterAdapterFlags() { return requesterFlags; }
