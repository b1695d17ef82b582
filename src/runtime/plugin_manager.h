// The plugin manager: the list of known plugins, loading them at start-up or on demand,
// connecting a loaded plugin to the player (command libraries, constants, saver formats, adapter
// lists), requirements, and the plugin description dump. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/plugin_api.h"
#include "platform/plugin_loader.h"
#include "runtime/runtime.h"

struct VmState;

constexpr size_t QZ_PLUGIN_FILENAME_SIZE = 257;
constexpr size_t QZ_PLUGIN_PATH_SIZE = 1025;

// One known plugin, in load order. A plugin whose file name begins with "_" (or that the skip
// list names) is only registered until something requires it.
struct qzPluginRecord {
    qzPluginRecord* next;
    uint32_t capabilities;                   // 0 while not loaded
    qzPluginHandle* handle;                  // null while not loaded
    char fileName[QZ_PLUGIN_FILENAME_SIZE];  // file part with extension, without a leading "_"
    char path[QZ_PLUGIN_PATH_SIZE];          // full path of the file
    int requireCalled;                       // the plugin's RequirePlugin ran
};

// The records in load order.
qzPluginRecord* GetPluginRecords();
qzPluginRecord* FindPluginByInfo(const qzPluginInfo* info);
// The loaded plugin whose module name is name (".qzp" cut first), case-insensitive, or null.
qzPluginRecord* FindLoadedPluginByModuleName(const char* name);

// What a directory scan does after each plugin file: 0 to go on, else the code that ends it.
typedef int (*qzPluginScanStep)();

// Scans the directory of path (its file part is cut off) for ".qzp" files. With count given, only
// counts them. Otherwise names beginning with "_" and names on the skip list (an entry "*" names
// every file; ".qzp" is added to an entry that lacks it) are registered without loading, the others
// are loaded; a failure prints "failed" and its reason and the scan goes on, except that memory
// running out prints "failed" and ends the scan with ERR_MEM. step runs after each file. 0,
// ERR_MEM, or step's code. Files are taken in name order.
int LoadPluginsFromDir(const char* path, const std::vector<std::string>* skipList, int* count, qzPluginScanStep step);
// Loads one file (".qzp" added when addExtension is set and the name lacks it). ERR_USERABORT with
// *record set when a plugin of that file name is known already (loaded, or addExtension 0);
// otherwise the loader's code.
int LoadPluginFile(const char* name, int addExtension, qzPluginRecord** record);
// Registers what a loaded plugin offers: command libraries and their constants, saver formats
// (constants IMGFMT_, ANMFMT_, SMPFMT_ + name). 0 or an error code.
int InitPluginFeatures(VmState* state, qzPluginRecord* record);

// Calls visit for each command library of a library plugin (its base table or null, its commands
// and constants, each possibly null), stopping at the first non-zero result, which is returned.
int VisitPluginLibraries(const qzPluginInfo* info,
                         const std::function<int(const char* base, const qzPluginCommand* commands,
                                                 const qzPluginConstant* constants)>& visit);

// Makes sure a plugin of that name (module name; a registered-only file is loaded first) in at
// least version.revision is there and calls its RequirePlugin once (unless loadOnly, or
// adapterOnly for a plugin that is neither a file nor a directory adapter) with the flags word
// out and the tags (both optional). 0, the plugin's result, or ERR_REQUIREPLUGIN.
int RequirePluginVersion(VmState* state, const char* name, int version, int revision, int loadOnly, int adapterOnly,
                         const qzRequireTagItem* tags, uint32_t* out);
// Whether an on-demand load printed progress lines (the start-up loading line then ends without
// "done").
bool DidPluginLoadPrintProgress();

// A list of {next, information block} nodes, one per loaded plugin in list order, in one block
// that the caller frees with OsFree; null when none is loaded or out of memory.
qzLoadedPlugin* GetLoadedPluginList();
void SetPluginDisabled(qzPluginInfo* info, int disabled);
void SetPluginUserData(qzPluginInfo* info, intptr_t value);
intptr_t GetPluginUserData(const qzPluginInfo* info);

// Adapter lists: image 4, anim 8, sound 16, video 64, file adapter 0x4000, directory adapter
// 0x8000 (null for other values). Adding puts a file or directory adapter into the file layer too.
// AddPluginToAdapterList refuses with ERR_OLDAPPLET for an applet older than 6.0 (automatic
// activation); RegisterAdapterPlugin is the host service (ERR_WRONGUSAGE for another bit).
const qzCapabilityNode* GetAdapterList(uint32_t capability);
int AddPluginToAdapterList(qzPluginInfo* info, uint32_t capability);
int RegisterAdapterPlugin(const qzPluginInfo* info, uint32_t capability);
void UnregisterAdapterPlugin(const qzPluginInfo* info, uint32_t capability);
// Appends the loaded, enabled plugins with the capability whose module name is an item of the
// list to the capability's adapter list and marks them as activated by a list. Nothing for an
// empty or "default" list.
void ActivateAdapters(const char* loaderList, uint32_t capability);
// "inbuilt" for 0, "native" for 1.
const char* GetLoaderName(int code);
const char* GetLoaderName(const qzPluginInfo* info);

// The phase of start-up in which plugins are set to work: adapters may be installed only then.
void SetPluginStartupPhase(int on);
int IsPluginStartupPhase();

// Shutdown: FreeLibrary of every library plugin while the VM exists; then every plugin's file
// types and saver formats are freed, it is taken out of the adapter lists and unloaded, the
// records are freed and the display adapter is removed.
void FreeLibraryPlugins(VmState* state);
void FreeAllPlugins();
