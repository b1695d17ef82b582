// Player services that plugins reach through the host tables and that belong to the runtime:
// installing a display adapter, the file-adapter flags word, plugin hooks and object types, and
// the start date.
#pragma once

#include <cstdint>

#include "platform/file_info.h"
#include "platform/plugin_api.h"

struct VmState;

// Makes a display-adapter plugin the active display adapter. ERR_OLDAPPLET for an applet older
// than 6.0, ERR_WRONGUSAGE without QZ_PLUGINCAPS_DISPLAYADAPTER, ERR_SETADAPTER outside the phase in
// which plugins are set to work or when the installed adapter may not be replaced (flag 1).
int HostInstallDisplayAdapter(qzPluginInfo* info, uint32_t flags, const qzTagItem* tags);
// For tag QZ_PLUGINCAPS_FILEADAPTER stores value as the record's file-adapter flags; other tags
// are ignored. 0.
int SetRecordTagValue(qzPluginInfo* record, uint32_t tag, intptr_t value);
void* HostAddPluginHook(int kind, qzPluginHookFn callback, void* userData, int foreign);
void HostSetPluginHookEnabled(void* hook, int enabled);
void HostRemovePluginHook(void* hook);
// A new object type whose objects the plugin keeps in the list at listHead; its type number, or
// 0 when the name is missing or memory runs out.
int32_t HostRegisterObjectType(void** listHead, const char* name, qzObjectTypeHandlerFn handler, int foreign);
// Frees the named data that scripts attached to an object of a plugin type.
void HostFreeObjectData(VmState* state, void* object);
// The adapter-list services of the system table (file and directory adapters join the file
// layer too).
int HostRegisterPluginForCapability(const qzPluginInfo* info, uint32_t capability);
void HostUnregisterPluginForCapability(const qzPluginInfo* info, uint32_t capability);

// The current local date as "dd-Mon-yyyy hh:mm:ss". 1, or 0 when the buffer is too small.
int FormatCurrentDate(char* buffer, size_t size);
// Records the current local date as the player's start date (start-up does it once).
void RecordStartDate();
// The recorded start date.
qzDateStamp GetStartDate();
