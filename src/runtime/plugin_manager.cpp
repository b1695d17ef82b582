// The plugin manager: records, the folder scan, loading, registration and requirements.
#include "runtime/plugin_manager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/display_adapter.h"
#include "platform/os_alloc.h"
#include "platform/os_dir.h"
#include "platform/plugin_display_adapter.h"
#include "platform/vfs.h"
#include "runtime/applet_version.h"
#include "runtime/command_hooks.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

static_assert(sizeof(qzPluginConstant) == sizeof(qzConstantRow) &&
                  offsetof(qzPluginConstant, string) == offsetof(qzConstantRow, string) &&
                  offsetof(qzPluginConstant, number) == offsetof(qzConstantRow, number),
              "a plugin's constant rows are the player's constant rows");

namespace {

qzPluginRecord* records = nullptr;
bool hooksInstalled = false;
bool demandLoadPrinted = false;
int startupPhase = 0;
// The command rows of the library plugins as the player's rows (no argument-count range: plugin
// commands check their own arguments), kept while the plugins are loaded.
std::deque<std::vector<qzCommandRow>> pluginCommandRows;

const uint32_t kAdapterKinds[] = {QZ_PLUGINCAPS_IMAGE, QZ_PLUGINCAPS_ANIM,        QZ_PLUGINCAPS_SOUND,
                                  QZ_PLUGINCAPS_VIDEO, QZ_PLUGINCAPS_FILEADAPTER, QZ_PLUGINCAPS_DIRADAPTER};

bool HasExtension(const std::string& name) {
    return name.size() >= 4 && CompareNoCase(name.c_str() + name.size() - 4, ".qzp") == 0;
}

std::string WithoutExtension(const char* name) {
    std::string text = name ? name : "";
    if (HasExtension(text)) text.resize(text.size() - 4);
    return text;
}

// The file part of a path, without a leading "_".
std::string RecordFileName(const char* path) {
    std::string text = path ? path : "";
    size_t slash = text.find_last_of("/\\");
    if (slash != std::string::npos) text.erase(0, slash + 1);
    if (!text.empty() && text[0] == '_') text.erase(0, 1);
    return text;
}

void CopyCut(char* target, size_t size, const std::string& text) {
    size_t n = std::min(text.size(), size - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

qzPluginRecord* FindRecordByFileName(const std::string& fileName) {
    for (qzPluginRecord* r = records; r; r = r->next)
        if (CompareNoCase(r->fileName, fileName.c_str()) == 0) return r;
    return nullptr;
}

qzPluginRecord* AppendRecord(const std::string& fileName, const std::string& path) {
    auto* record = static_cast<qzPluginRecord*>(OsAlloc(sizeof(qzPluginRecord), 1));
    if (!record) return nullptr;
    CopyCut(record->fileName, sizeof record->fileName, fileName);
    CopyCut(record->path, sizeof record->path, path);
    qzPluginRecord** tail = &records;
    while (*tail) tail = &(*tail)->next;
    *tail = record;
    return record;
}

qzPluginInfo* InfoOf(const qzPluginRecord* record) { return record->handle ? record->handle->info : nullptr; }

// Takes the plugin out of every adapter list of the runtime and of the file layer, and out of
// the display adapter.
void Deactivate(qzPluginInfo* info) {
    for (uint32_t kind : kAdapterKinds) UnregisterAdapterPlugin(info, kind);
    ClearPluginDisplayAdapterOf(info);
}

bool InAdapterList(const qzPluginInfo* info, uint32_t capability) {
    for (const qzCapabilityNode* n = GetCapabilityList(capability); n; n = n->next)
        if (n->plugin == info) return true;
    return false;
}

int Activate(qzPluginInfo* info, uint32_t capability) { return AddPluginToAdapterList(info, capability); }

void InstallHooks() {
    if (hooksInstalled) return;
    SetPluginActivationHooks(Activate, Deactivate);
    VfsSetActivateHook(ActivateAdapters);
    hooksInstalled = true;
}

void PrintReason(int code) {
    if (IsRuntimeQuiet()) return;
    std::string text = FormatErrorText(code);
    PrintConsole("(Reason: %s)\n", text.c_str());
}

// The saver kinds: capability, constant prefix, continuation bit, register entry, format array.
struct SaverKind {
    uint32_t capability;
    const char* prefix;
    uint32_t more;
    qzRegisterSaverFn qzPluginInfo::*registerEntry;
    qzSaverFormat* qzPluginInfo::*formats;
};
const SaverKind kSaverKinds[] = {
    {QZ_PLUGINCAPS_SAVEIMAGE, "imgfmt_", QZ_SAVERF_MORE_IMAGES, &qzPluginInfo::RegisterImageSaver,
     &qzPluginInfo::imageSaverFormats},
    {QZ_PLUGINCAPS_SAVEANIM, "anmfmt_", QZ_SAVERF_MORE_ANIMS, &qzPluginInfo::RegisterAnimSaver,
     &qzPluginInfo::animSaverFormats},
    {QZ_PLUGINCAPS_SAVESAMPLE, "smpfmt_", QZ_SAVERF_MORE_SAMPLES, &qzPluginInfo::RegisterSampleSaver,
     &qzPluginInfo::sampleSaverFormats},
};
// A saver that never clears its continuation bit stops here; longer names are cut.
constexpr int kMaxSaverFormats = 1024;
constexpr size_t kMaxFormatName = 127;

int RegisterSaverFormats(VmState* state, qzPluginInfo* info, const SaverKind& kind) {
    qzRegisterSaverFn reg = info->*kind.registerEntry;
    if (!reg) return 0;
    // First pass: how many formats and how much name text.
    int count = 0;
    size_t textSize = 0;
    for (;;) {
        qzSaverFormat format = {0, 0, nullptr};
        reg(&format);
        ++count;
        textSize += (format.name ? strnlen(format.name, kMaxFormatName) : 0) + 1;
        if (!(format.flags & kind.more) || count == kMaxSaverFormats) break;
    }
    size_t arraySize = sizeof(qzSaverFormat) * static_cast<size_t>(count + 1);
    auto* formats = static_cast<qzSaverFormat*>(OsAlloc(arraySize + textSize, 1));
    if (!formats) return ERR_MEM;
    char* text = reinterpret_cast<char*>(formats) + arraySize;
    size_t textLeft = textSize;
    // Second pass: the same calls again, now kept. A plugin that answers differently the second
    // time gets no more room than the first pass measured.
    for (int i = 0; i < count; ++i) {
        qzSaverFormat format = {0, 0, nullptr};
        reg(&format);
        size_t length = format.name ? strnlen(format.name, kMaxFormatName) : 0;
        if (length + 1 > textLeft) length = textLeft ? textLeft - 1 : 0;
        if (textLeft) {
            if (length) std::memcpy(text, format.name, length);
            text[length] = '\0';
        }
        formats[i] = {format.flags, format.formatId, text};
        text += length + 1;
        textLeft -= std::min(textLeft, length + 1);
    }
    OsFree(info->*kind.formats);
    info->*kind.formats = formats;

    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    std::vector<qzConstantRow> rows;
    for (int i = 0; i < count; ++i) names.push_back(std::string(kind.prefix) + formats[i].name);
    for (int i = 0; i < count; ++i)
        rows.push_back({names[static_cast<size_t>(i)].c_str(), nullptr, static_cast<double>(formats[i].formatId)});
    rows.push_back({nullptr, nullptr, 0});
    // A format whose constant name is too long stays usable by its id; its constant is skipped.
    VmRegisterConstants(state, rows.data(), 0);
    return 0;
}

int RegisterLibraries(VmState* state, qzPluginInfo* info) {
    int code = VisitPluginLibraries(
        info, [state](const char* base, const qzPluginCommand* commands, const qzPluginConstant* constants) {
            if (base && strnlen(base, VM_MAX_NAME + 1) > VM_MAX_NAME) {
                SetErrorArgString("GetBaseTable");
                return static_cast<int>(ERR_NAMETOOLONG);
            }
            if (commands) {
                std::vector<qzCommandRow>& copy = pluginCommandRows.emplace_back();
                for (const qzPluginCommand* c = commands; c->name; ++c) copy.push_back({c->name, c->handler});
                copy.push_back({nullptr, nullptr});
                const qzCommandRow* rows = copy.data();
                VmRegisterFunctions(state, base, rows, 0);
                int error = RegisterCommandTable(rows, base ? base : "plugin");
                if (error) return error;
            }
            if (constants) VmRegisterConstants(state, reinterpret_cast<const qzConstantRow*>(constants), 0);
            return 0;
        });
    if (code) return code;
    return info->InitLibrary ? info->InitLibrary(state) : 0;
}

}  // namespace

qzPluginRecord* GetPluginRecords() { return records; }

int VisitPluginLibraries(
    const qzPluginInfo* info,
    const std::function<int(const char*, const qzPluginCommand*, const qzPluginConstant*)>& visit) {
    int count = info->GetLibraryCount ? info->GetLibraryCount() : 1;
    for (int index = 0; index < count; ++index) {
        if (info->SetCurrentLibrary) info->SetCurrentLibrary(index);
        int code = visit(info->GetBaseTable ? info->GetBaseTable() : nullptr,
                         info->GetCommands ? info->GetCommands() : nullptr,
                         info->GetConstants ? info->GetConstants() : nullptr);
        if (code) return code;
    }
    return 0;
}

qzPluginRecord* FindPluginByInfo(const qzPluginInfo* info) {
    for (qzPluginRecord* r = records; r; r = r->next)
        if (info && InfoOf(r) == info) return r;
    return nullptr;
}

qzPluginRecord* FindLoadedPluginByModuleName(const char* name) {
    std::string wanted = WithoutExtension(name);
    for (qzPluginRecord* r = records; r; r = r->next) {
        qzPluginInfo* info = InfoOf(r);
        if (info && info->moduleName && CompareNoCase(info->moduleName, wanted.c_str()) == 0) return r;
    }
    return nullptr;
}

int LoadPluginsFromDir(const char* path, const std::vector<std::string>* skipList, int* count, qzPluginScanStep step) {
    if (count) *count = 0;
    std::string directory = path ? path : "";
    directory.resize(GetPathPartEnd(directory.c_str()));
    // The lock goes on every way out, memory running out while the names are listed included.
    std::unique_ptr<qzVfsLock, decltype(&VfsUnlock)> lock(
        VfsLock(directory.empty() ? "." : directory.c_str(), QZ_VFS_LOCK_READ, "inbuilt"), &VfsUnlock);
    int isDirectory = 0;
    if (!lock) return 0;
    if (VfsCheckDirLock(lock.get(), &isDirectory) != 0 || !isDirectory) return 0;
    std::vector<std::string> names;
    const char* entry = nullptr;
    int entryIsDirectory = 0;
    while (VfsNextDirEntry(lock.get(), nullptr, &entry, &entryIsDirectory, nullptr)) {
        std::string name = entry ? entry : "";
        if (!entryIsDirectory && HasExtension(name)) names.push_back(name);
    }
    lock.reset();
    OsEndDirScan(nullptr);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareNoCase(a.c_str(), b.c_str()) < 0; });
    if (count) {
        *count = static_cast<int>(names.size());
        return 0;
    }

    for (const std::string& name : names) {
        std::string full = directory;
        AddPathPart(full, name.c_str());
        bool registerOnly = name[0] == '_';
        if (!registerOnly && skipList) {
            for (const std::string& skip : *skipList) {
                std::string item = HasExtension(skip) ? skip : skip + ".qzp";
                if (skip == "*" || CompareNoCase(item.c_str(), name.c_str()) == 0) registerOnly = true;
            }
        }
        if (registerOnly) {
            std::string fileName = RecordFileName(name.c_str());
            if (!FindRecordByFileName(fileName)) {
                char fullPath[QZ_PLUGIN_PATH_SIZE];
                OsGetFullPath(full.c_str(), fullPath, sizeof fullPath);
                if (!AppendRecord(fileName, fullPath)) return ERR_MEM;
            }
        } else {
            qzPluginRecord* record = nullptr;
            int code = LoadPluginFile(full.c_str(), 0, &record);
            // Memory running out stops the loading: going on without the plugin would leave the
            // applet to fail later for a reason it cannot show.
            if (code == ERR_MEM) {
                PrintProgressFailed();
                return code;
            }
            if (code && code != ERR_USERABORT) {
                PrintProgressFailed();
                PrintReason(code);
            }
        }
        if (step) {
            int code = step();
            if (code) return code;
        }
    }
    return 0;
}

int LoadPluginFile(const char* name, int addExtension, qzPluginRecord** record) {
    InstallHooks();
    std::string given = name ? name : "";
    if (addExtension && !HasExtension(given)) given += ".qzp";
    std::string fileName = RecordFileName(given.c_str());
    qzPluginRecord* known = FindRecordByFileName(fileName);
    if (known && (known->handle || !addExtension)) {
        if (record) *record = known;
        return ERR_USERABORT;
    }
    std::string loadPath = given;
    if (known) {
        qzDosFileInfo info;
        if (!VfsExamineName(given.c_str(), &info, false)) loadPath = known->path;
    }

    PrintProgressStart("Loading plugin %s", loadPath.c_str(), true);
    // The full path is made before the plugin is loaded: running out of memory then leaves
    // nothing loaded behind.
    char fullPath[QZ_PLUGIN_PATH_SIZE];
    OsGetFullPath(loadPath.c_str(), fullPath, sizeof fullPath);
    const std::string fullPathText = fullPath;
    uint32_t capabilities = 0;
    qzPluginHandle* handle = nullptr;
    int code = OsLoadPlugin(loadPath.c_str(), &capabilities, &handle);
    if (code) return code;
    qzPluginRecord* target = known ? known : AppendRecord(fileName, fullPathText);
    if (!target) {
        Deactivate(handle->info);
        OsClosePlugin(handle);
        return ERR_MEM;
    }
    target->capabilities = capabilities;
    target->handle = handle;
    CopyCut(target->path, sizeof target->path, fullPath);
    PrintProgressDone();
    if (record) *record = target;
    return 0;
}

int InitPluginFeatures(VmState* state, qzPluginRecord* record) {
    qzPluginInfo* info = record ? InfoOf(record) : nullptr;
    if (!info) return 0;
    if (record->capabilities & QZ_PLUGINCAPS_LIBRARY) {
        int code = RegisterLibraries(state, info);
        if (code) return code;
    }
    for (const SaverKind& kind : kSaverKinds) {
        if (!(record->capabilities & kind.capability)) continue;
        int code = RegisterSaverFormats(state, info, kind);
        if (code) return code;
    }
    return 0;
}

int RequirePluginVersion(VmState* state, const char* name, int version, int revision, int loadOnly, int adapterOnly,
                         const qzRequireTagItem* tags, uint32_t* out) {
    std::string wanted = WithoutExtension(name);
    qzPluginRecord* found = nullptr;
    for (qzPluginRecord* r = records; r; r = r->next) {
        if (!r->handle && CompareNoCase(WithoutExtension(r->fileName).c_str(), wanted.c_str()) == 0) {
            if (!IsRuntimeQuiet()) {
                if (!demandLoadPrinted) PrintConsole("\n");
                demandLoadPrinted = true;
            }
            qzPluginRecord* loaded = nullptr;
            int code = LoadPluginFile(r->path, 1, &loaded);
            if (code) {
                PrintProgressFailed();
                return code;
            }
            code = InitPluginFeatures(state, r);
            if (code) return code;
        }
        qzPluginInfo* info = InfoOf(r);
        if (info && info->moduleName && CompareNoCase(info->moduleName, wanted.c_str()) == 0) {
            found = r;
            break;
        }
    }
    qzPluginInfo* info = found ? InfoOf(found) : nullptr;
    if (info && (info->version > version || (info->version == version && info->revision >= revision))) {
        bool adapter = (found->capabilities & (QZ_PLUGINCAPS_FILEADAPTER | QZ_PLUGINCAPS_DIRADAPTER)) != 0;
        if ((found->capabilities & QZ_PLUGINCAPS_REQUIRE) && !(adapterOnly && !adapter) && !loadOnly &&
            !found->requireCalled) {
            qzTagItem list[3];
            int n = 0;
            if (out) list[n++] = {QZ_REQUIRETAG_FLAGS, reinterpret_cast<intptr_t>(out)};
            if (tags) list[n++] = {QZ_REQUIRETAG_TAGS, reinterpret_cast<intptr_t>(tags)};
            list[n] = {0, 0};
            found->requireCalled = 1;
            return info->RequirePlugin ? info->RequirePlugin(state, version, revision, 0, list) : 0;
        }
        return 0;
    }
    std::string argument = wanted + ".qzp";
    if (version != 0 || revision != 0) {
        argument += ' ';
        argument += std::to_string(version) + "." + std::to_string(revision);
    }
    SetErrorArgString(argument.c_str());
    return ERR_REQUIREPLUGIN;
}

bool DidPluginLoadPrintProgress() { return demandLoadPrinted; }

qzLoadedPlugin* GetLoadedPluginList() {
    size_t count = 0;
    for (qzPluginRecord* r = records; r; r = r->next)
        if (InfoOf(r)) ++count;
    if (!count) return nullptr;
    auto* list = static_cast<qzLoadedPlugin*>(OsAlloc(count * sizeof(qzLoadedPlugin), 1));
    if (!list) return nullptr;
    size_t i = 0;
    for (qzPluginRecord* r = records; r; r = r->next) {
        if (!InfoOf(r)) continue;
        list[i].info = InfoOf(r);
        list[i].next = i + 1 < count ? &list[i + 1] : nullptr;
        ++i;
    }
    return list;
}

void SetPluginDisabled(qzPluginInfo* info, int disabled) {
    if (info) info->disabled = disabled ? 1 : 0;
}
void SetPluginUserData(qzPluginInfo* info, intptr_t value) {
    if (info) info->userData = value;
}
intptr_t GetPluginUserData(const qzPluginInfo* info) { return info ? info->userData : 0; }

const qzCapabilityNode* GetAdapterList(uint32_t capability) { return GetCapabilityList(capability); }

int RegisterAdapterPlugin(const qzPluginInfo* info, uint32_t capability) {
    int code = RegisterPluginForCapability(info, capability);
    if (code) return code;
    if (capability == QZ_PLUGINCAPS_FILEADAPTER || capability == QZ_PLUGINCAPS_DIRADAPTER) {
        code = VfsAddPluginAdapter(info, capability);
        if (code) UnregisterPluginForCapability(info, capability);
    }
    return code;
}

void UnregisterAdapterPlugin(const qzPluginInfo* info, uint32_t capability) {
    UnregisterPluginForCapability(info, capability);
    if (capability == QZ_PLUGINCAPS_FILEADAPTER || capability == QZ_PLUGINCAPS_DIRADAPTER)
        VfsRemovePluginAdapter(info, capability);
}

int AddPluginToAdapterList(qzPluginInfo* info, uint32_t capability) {
    if (!CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    return RegisterAdapterPlugin(info, capability);
}

void ActivateAdapters(const char* loaderList, uint32_t capability) {
    if (!loaderList || !*loaderList || CompareNoCase(loaderList, "default") == 0) return;
    const char* p = loaderList;
    while (true) {
        const char* bar = std::strchr(p, '|');
        std::string item(p, bar ? static_cast<size_t>(bar - p) : std::strlen(p));
        if (!item.empty() && CompareNoCase(item.c_str(), "plugin") != 0 && CompareNoCase(item.c_str(), "native") != 0 &&
            CompareNoCase(item.c_str(), "inbuilt") != 0) {
            for (qzPluginRecord* r = records; r; r = r->next) {
                qzPluginInfo* info = InfoOf(r);
                if (!info || info->disabled || !(r->capabilities & capability) || !info->moduleName ||
                    CompareNoCase(info->moduleName, item.c_str()) != 0)
                    continue;
                // A plugin already in the list keeps serving every list; one that the list brings
                // in serves only lists that name it.
                if (!InAdapterList(info, capability) && RegisterAdapterPlugin(info, capability) == 0)
                    info->activatedByList = 1;
            }
        }
        if (!bar) break;
        p = bar + 1;
    }
}

const char* GetLoaderName(int code) { return code == 1 ? "native" : "inbuilt"; }
const char* GetLoaderName(const qzPluginInfo* info) { return info && info->moduleName ? info->moduleName : ""; }

void SetPluginStartupPhase(int on) { startupPhase = on; }
int IsPluginStartupPhase() { return startupPhase; }

void FreeLibraryPlugins(VmState* state) {
    for (qzPluginRecord* r = records; r; r = r->next) {
        qzPluginInfo* info = InfoOf(r);
        if (info && (r->capabilities & QZ_PLUGINCAPS_LIBRARY) && info->FreeLibrary) info->FreeLibrary(state);
    }
}

void FreeAllPlugins() {
    FreeCommandHooks();
    ClearPluginDisplayAdapter();
    while (records) {
        qzPluginRecord* next = records->next;
        if (qzPluginInfo* info = InfoOf(records)) {
            FreePluginFileTypes(info);
            for (const SaverKind& kind : kSaverKinds) {
                OsFree(info->*kind.formats);
                info->*kind.formats = nullptr;
            }
            Deactivate(info);
            OsClosePlugin(records->handle);
        }
        OsFree(records);
        records = next;
    }
    if (hooksInstalled) {
        SetPluginActivationHooks(nullptr, nullptr);
        VfsSetActivateHook(nullptr);
        hooksInstalled = false;
    }
    pluginCommandRows.clear();
    demandLoadPrinted = false;
    startupPhase = 0;
}
