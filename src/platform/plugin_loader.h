// Loading one plugin file: the shared library is opened, its InitPlugin fills the information
// block, the name and the player version it needs are checked, and every entry point that its
// capability bits promise is resolved by name. The plugin manager decides which files load and
// keeps the handles.
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"

struct qzPluginHandle {
    uint32_t capabilities;
    qzPluginInfo* info;
    void* osHandle;
};

// Loads the plugin file at path (with its ".qzp" extension). 0 with *capabilities and *handle
// set, or ERR_MEM, ERR_DLOPEN (the system's reason as the error argument), ERR_LOADPLUGIN (the file
// name), ERR_NEWQZPLUGIN ("version.revision"), ERR_PLUGINSYMBOL (the entry point), ERR_PLUGINTYPE
// (the capability word in hexadecimal) or the activation's error. Nothing of a failed load stays.
int OsLoadPlugin(const char* path, uint32_t* capabilities, qzPluginHandle** handle);
// Calls the plugin's ClosePlugin (not for a stub plugin), unloads it and frees the handle.
void OsClosePlugin(qzPluginHandle* handle);
qzPluginInfo* OsGetPluginInfo(qzPluginHandle* handle);

// The host API block handed to every InitPlugin; null until the player installs it.
void SetPluginHostApi(qzHostApi* api);
qzHostApi* GetPluginHostApi();
// Called by a service that ran out of memory while a plugin's InitPlugin called it: a plugin that
// then refuses fails to load with ERR_MEM rather than ERR_LOADPLUGIN.
void NotePluginInitOutOfMemory();

// Activation of a freshly loaded plugin for a loader kind (video 0x40, image 4, anim 8, sound
// 16): appends its block to that kind's adapter list, 0 or an error code. Deactivation takes the
// block out of every adapter list again (a load that fails later leaves nothing registered). Both
// null until the plugin manager installs them; loads then activate nothing.
typedef int (*qzPluginActivateFn)(qzPluginInfo* info, uint32_t capability);
typedef void (*qzPluginDeactivateFn)(qzPluginInfo* info);
void SetPluginActivationHooks(qzPluginActivateFn activate, qzPluginDeactivateFn deactivate);
void GetPluginActivationHooks(qzPluginActivateFn* activate, qzPluginDeactivateFn* deactivate);

// Appends a file type to the plugin's list (type QZ_FILETYPE_*, flags QZ_FILETYPEFLAGS_*; the
// format id is kept only for saving types). The texts are copied behind the record, each cut to
// QZ_MAX_FILETYPE_TEXT bytes. 1, or 0 when out of memory.
constexpr size_t QZ_MAX_FILETYPE_TEXT = 1023;
int RegisterPluginFileType(qzPluginInfo* info, int type, const char* name, const char* mimeType, const char* extensions,
                           int formatId, uint32_t flags);
// Frees the plugin's file-type list.
void FreePluginFileTypes(qzPluginInfo* info);
