// Runtime services for plugins.
#include "runtime/plugin_services.h"

#include <cstdio>
#include <cstring>

#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "platform/display_adapter.h"
#include "platform/os_env.h"
#include "platform/os_time.h"
#include "platform/plugin_display_adapter.h"
#include "platform/plugin_loader.h"
#include "runtime/applet_version.h"
#include "runtime/object_data.h"
#include "runtime/object_registry.h"
#include "runtime/plugin_manager.h"
#include "runtime/runtime.h"

namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

qzDateStamp startDate = {0, 0, 0, 1, 0, 1970};

}  // namespace

int HostInstallDisplayAdapter(qzPluginInfo* info, uint32_t flags, const qzTagItem*) {
    if (!CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    if (!info || !(info->capabilities & QZ_PLUGINCAPS_DISPLAYADAPTER)) return ERR_WRONGUSAGE;
    if (!IsPluginStartupPhase() || (GetPluginDisplayAdapterFlags() & 1)) return ERR_SETADAPTER;
    UsePluginAsDisplayAdapter(info, flags);
    return 0;
}

int SetRecordTagValue(qzPluginInfo* record, uint32_t tag, intptr_t value) {
    if (record && tag == QZ_PLUGINCAPS_FILEADAPTER) record->fileAdapterFlags = static_cast<uint32_t>(value);
    return 0;
}

void* HostAddPluginHook(int kind, qzPluginHookFn callback, void* userData, int foreign) {
    return AddPluginHook(kind, reinterpret_cast<qzHookFunc>(callback), userData, foreign);
}

void HostSetPluginHookEnabled(void* hook, int enabled) {
    SetPluginHookEnabled(static_cast<qzHookNode*>(hook), enabled);
}

void HostRemovePluginHook(void* hook) { RemovePluginHook(static_cast<qzHookNode*>(hook)); }

int32_t HostRegisterObjectType(void** listHead, const char* name, qzObjectTypeHandlerFn handler, int foreign) {
    if (!listHead || !name || !*name) return 0;
    int32_t type = 0;
    if (RegisterObjectType(reinterpret_cast<qzObjectHeader**>(listHead), name, handler, &type, foreign) != 0) return 0;
    return type;
}

void HostFreeObjectData(VmState* state, void* object) {
    auto* header = static_cast<qzObjectHeader*>(object);
    if (!header) return;
    FreeObjectDataList(state, header->data);
    header->data = nullptr;
}

int HostRegisterPluginForCapability(const qzPluginInfo* info, uint32_t capability) {
    int code = CatchOutOfMemory([&] { return RegisterAdapterPlugin(info, capability); });
    if (code == ERR_MEM) NotePluginInitOutOfMemory();
    return code;
}

void HostUnregisterPluginForCapability(const qzPluginInfo* info, uint32_t capability) {
    UnregisterAdapterPlugin(info, capability);
}

int FormatCurrentDate(char* buffer, size_t size) {
    qzTimeVal now;
    OsGetSysTime(&now);
    int64_t seconds = now.seconds;
    qzLocalTime local;
    OsLocalTime(&seconds, &local, 0);
    int month = local.month >= 0 && local.month < 12 ? local.month : 0;
    int n = std::snprintf(buffer, size, "%02d-%s-%04d %02d:%02d:%02d", local.day, kMonths[month], local.year,
                          local.hour, local.min, local.sec);
    return n > 0 && static_cast<size_t>(n) < size ? 1 : 0;
}

void RecordStartDate() {
    char text[32];
    if (!FormatCurrentDate(text, sizeof text)) return;
    // Read back from the text, so that the start date is exactly what the text says.
    int day = 0, year = 0, hour = 0, min = 0, sec = 0;
    char month[4] = {0};
    if (std::sscanf(text, "%2d-%3c-%4d %2d:%2d:%2d", &day, month, &year, &hour, &min, &sec) != 6) return;
    for (int i = 0; i < 12; ++i) {
        if (std::strncmp(month, kMonths[i], 3) == 0) {
            startDate = {sec, min, hour, day, i, year};
            return;
        }
    }
}

qzDateStamp GetStartDate() { return startDate; }
