// The virtual-file layer over file adapters and the platform file layer.
#include "platform/vfs.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/loader_list.h"
#include "platform/os_alloc.h"
#include "platform/os_dir.h"
#include "platform/os_env.h"
#include "platform/os_file.h"

namespace {

constexpr size_t kBlockSize = 16384;

std::mutex adapterMutex;
std::vector<qzVfsFileAdapter*>& FileAdapters() {
    static std::vector<qzVfsFileAdapter*> adapters;
    return adapters;
}
std::vector<const qzPluginInfo*>& DirAdapters() {
    static std::vector<const qzPluginInfo*> adapters;
    return adapters;
}
qzVfsActivateFn activateHook = nullptr;

std::vector<qzVfsFileAdapter*> AdapterSnapshot() {
    std::lock_guard<std::mutex> lock(adapterMutex);
    return FileAdapters();
}

std::vector<const qzPluginInfo*> DirAdapterSnapshot() {
    std::lock_guard<std::mutex> lock(adapterMutex);
    return DirAdapters();
}

const char* AdapterName(const qzVfsFileAdapter* a) { return a->plugin ? a->plugin->moduleName : a->name; }
bool AdapterEnabled(const qzVfsFileAdapter* a) { return a->plugin ? !a->plugin->disabled : a->enabled != 0; }
bool AdapterActivatedByList(const qzVfsFileAdapter* a) {
    return a->plugin ? a->plugin->activatedByList != 0 : a->activatedByList != 0;
}
bool AdapterAcceptsChunkNames(const qzVfsFileAdapter* a) {
    return a->plugin ? (a->plugin->fileAdapterFlags & QZ_FILEADAPTERF_CHUNKNAMES) != 0 : a->acceptsChunkNames != 0;
}

// Whether the loader list lets a plugin or adapter of this name serve: enabled, selected (the
// "plugin" wildcard counts) and, when a loader list activated it, named explicitly here.
bool Allowed(const char* name, bool enabled, bool activatedByList, const char* list) {
    if (!enabled || !IsLoaderSelected(list, name, true)) return false;
    return !activatedByList || IsLoaderNamedExplicitly(list, name);
}

bool AdapterAllowed(const qzVfsFileAdapter* a, const char* list) {
    return Allowed(AdapterName(a), AdapterEnabled(a), AdapterActivatedByList(a), list);
}

bool DirAdapterAllowed(const qzPluginInfo* p, const char* list) {
    return p->OpenDir && Allowed(p->moduleName, !p->disabled, p->activatedByList != 0, list);
}

// Lets the plugin manager add the plugins the list names, then marks the layer's own adapters
// whose name is an item of the list as activated by a list.
void ActivateFileAdapters(const char* list, uint32_t capability) {
    if (!list || !*list || CompareNoCase(list, "default") == 0) return;
    if (activateHook) activateHook(list, capability);
    if (capability != QZ_PLUGINCAPS_FILEADAPTER) return;
    std::vector<qzVfsFileAdapter*> adapters = AdapterSnapshot();
    const char* p = list;
    while (true) {
        const char* bar = std::strchr(p, '|');
        std::string item(p, bar ? static_cast<size_t>(bar - p) : std::strlen(p));
        if (!IsReservedLoaderName(item.c_str()) && CompareNoCase(item.c_str(), "plugin") != 0) {
            for (qzVfsFileAdapter* a : adapters)
                if (!a->plugin && a->enabled && a->name && CompareNoCase(item.c_str(), a->name) == 0)
                    a->activatedByList = 1;
        }
        if (!bar) break;
        p = bar + 1;
    }
}

// The entry points of an adapter, whether a plugin's or the layer's own. A missing entry point
// answers as the adapter that cannot do it.
int AdapterClose(const qzVfsFileAdapter* a, void* h) {
    if (a->plugin) return a->plugin->FClose ? a->plugin->FClose(h) : 1;
    return a->FClose ? a->FClose(h) : 1;
}
size_t AdapterRead(const qzVfsFileAdapter* a, void* h, void* buffer, size_t count) {
    if (a->plugin) return a->plugin->FRead ? a->plugin->FRead(h, buffer, count) : 0;
    return a->FRead ? a->FRead(h, buffer, count) : 0;
}
size_t AdapterWrite(const qzVfsFileAdapter* a, void* h, const void* buffer, size_t count) {
    if (a->plugin) return a->plugin->FWrite ? a->plugin->FWrite(h, buffer, count) : 0;
    return a->FWrite ? a->FWrite(h, buffer, count) : 0;
}
bool AdapterCanSeek(const qzVfsFileAdapter* a) { return a->plugin ? a->plugin->FSeek != nullptr : a->FSeek != nullptr; }
int64_t AdapterSeek(const qzVfsFileAdapter* a, void* h, int64_t offset, int mode) {
    if (a->plugin) return a->plugin->FSeek ? a->plugin->FSeek(h, offset, mode) : -1;
    return a->FSeek ? a->FSeek(h, offset, mode) : -1;
}
int AdapterGetC(const qzVfsFileAdapter* a, void* h) {
    if (a->plugin) return a->plugin->FGetC ? a->plugin->FGetC(h) : -1;
    return a->FGetC ? a->FGetC(h) : -1;
}
int AdapterPutC(const qzVfsFileAdapter* a, void* h, int byte) {
    if (a->plugin) return a->plugin->FPutC ? a->plugin->FPutC(h, byte) : 0;
    return a->FPutC ? a->FPutC(h, byte) : 0;
}
int AdapterFlush(const qzVfsFileAdapter* a, void* h) {
    if (a->plugin) return a->plugin->FFlush ? a->plugin->FFlush(h) : 1;
    return a->FFlush ? a->FFlush(h) : 1;
}
int AdapterEof(const qzVfsFileAdapter* a, void* h) {
    if (a->plugin) return a->plugin->FEof ? a->plugin->FEof(h) : 1;
    return a->FEof ? a->FEof(h) : 1;
}

// A plugin's stat record as an examine record; the name goes to nameStore (the asked-for name
// when the plugin reports none).
void FromAdapterStat(qzAdapterStat* stat, const char* askedName, std::string* nameStore, qzFileInfo* info) {
    stat->name[sizeof(stat->name) - 1] = '\0';
    std::memset(info, 0, sizeof(*info));
    info->isDirectory = (stat->flags & QZ_ADAPTERSTAT_DIRECTORY) ? 1 : 0;
    info->size = stat->size;
    info->protection = stat->protection;
    info->accessTime = stat->accessTime;
    info->modifyTime = stat->modifyTime;
    info->changeTime = stat->changeTime;
    *nameStore = stat->name[0] ? stat->name : (askedName ? askedName : "");
    info->name = nameStore->c_str();
}

// Asks an adapter about a name. 1 with *info filled (its name in nameStore for plugins).
int AdapterStat(const qzVfsFileAdapter* a, const char* name, qzFileInfo* info, std::string* nameStore,
                qzAdapterStat* raw) {
    if (!a->plugin) return a->Stat ? a->Stat(name, info) : 0;
    if (!a->plugin->Stat) return 0;
    qzAdapterStat stat;
    std::memset(&stat, 0, sizeof stat);
    if (!a->plugin->Stat(name, 0, &stat, nullptr)) return 0;
    FromAdapterStat(&stat, name, nameStore, info);
    if (raw) *raw = stat;
    return 1;
}

int AdapterFStat(qzVfsFile* file, qzFileInfo* info) {
    const qzVfsFileAdapter* a = file->adapter;
    if (!a->plugin) return a->FStat ? a->FStat(file->handle, info) : 0;
    if (!a->plugin->FStat) return 0;
    qzAdapterStat stat;
    std::memset(&stat, 0, sizeof stat);
    if (!a->plugin->FStat(file->handle, &stat, nullptr)) return 0;
    std::string name;
    FromAdapterStat(&stat, "", &name, info);
    // The name lives with the file until its next examine or its close.
    char* copy = static_cast<char*>(OsAlloc(name.size() + 1, 0));
    if (copy) std::memcpy(copy, name.c_str(), name.size() + 1);
    OsFree(file->statName);
    file->statName = copy;
    info->name = copy;
    return 1;
}

void* AdapterOpen(const qzVfsFileAdapter* a, const char* name, int adapterMode, qzVfsOpenTags* tags) {
    if (!a->plugin) return a->FOpen ? a->FOpen(name, adapterMode, tags) : nullptr;
    if (!a->plugin->FOpen) return nullptr;
    qzTagItem items[7];
    int n = 0;
    items[n++] = {QZ_FOPENTAG_FLAGS, reinterpret_cast<intptr_t>(tags->flags)};
    if (tags->containerPath) {
        if (tags->memorySource) {
            items[n++] = {QZ_FOPENTAG_MEMORY, 1};
        } else {
            items[n++] = {QZ_FOPENTAG_OFFSET, static_cast<intptr_t>(tags->offset)};
            items[n++] = {QZ_FOPENTAG_SIZE, static_cast<intptr_t>(tags->size)};
        }
        items[n++] = {QZ_FOPENTAG_LENGTH, static_cast<intptr_t>(tags->size)};
        items[n++] = {QZ_FOPENTAG_CONTAINER, reinterpret_cast<intptr_t>(tags->containerPath)};
    }
    items[n] = {0, 0};
    return a->plugin->FOpen(name, adapterMode, items);
}

// A record for a file about to be opened. Running out of memory for it is the open's error
// (std::bad_alloc, ERR_MEM at the command), not a file that cannot be opened.
qzVfsFile* NewFile(qzVfsFileAdapter* adapter, void* handle, int flags, int mode) {
    auto* file = new qzVfsFile();
    file->adapter = adapter;
    file->handle = handle;
    file->flags = flags;
    file->mode = mode;
    return file;
}

qzVfsFile* OpenThroughAdapters(const char* name, int mode, const char* list) {
    ActivateFileAdapters(list, QZ_PLUGINCAPS_FILEADAPTER);
    qzChunkNameParts parts;
    bool chunk = IsChunkName(name);
    if (chunk && !ParseChunkName(name, &parts)) return nullptr;
    // A memory name reaches no adapter unless the player registered that memory: an adapter
    // would read whatever lies at a forged address.
    if (chunk && parts.containerPath.empty() && !FindChunkMemory(parts.address, parts.size)) return nullptr;
    int adapterMode = (mode & QZ_VFS_WRITE)       ? QZ_ADAPTER_MODE_WRITE
                      : (mode & QZ_VFS_READWRITE) ? QZ_ADAPTER_MODE_READWRITE
                                                  : QZ_ADAPTER_MODE_READ;
    const auto adapters = AdapterSnapshot();
    // The record comes before any adapter opens (and, for writing, truncates) the file.
    std::unique_ptr<qzVfsFile> file(NewFile(nullptr, nullptr, 0, mode));
    for (qzVfsFileAdapter* a : adapters) {
        if (!AdapterAllowed(a, list) || (chunk && !AdapterAcceptsChunkNames(a))) continue;
        int flags = 0;
        qzVfsOpenTags tags = {&flags, nullptr, 0, 0, 0};
        if (chunk) {
            tags.containerPath = parts.containerPath.c_str();
            tags.offset = parts.offset;
            tags.size = parts.size;
            tags.memorySource = parts.containerPath.empty() ? 1 : 0;
        }
        if (void* handle = AdapterOpen(a, name, adapterMode, &tags)) {
            file->adapter = a;
            file->handle = handle;
            file->flags = flags;
            return file.release();
        }
    }
    return nullptr;
}

qzPlatformFile* Platform(qzVfsFile* file) { return static_cast<qzPlatformFile*>(file->handle); }

// Skips count bytes of a stream by reading them in fixed-size pieces.
bool SkipForward(qzVfsFile* file, int64_t count) {
    if (count <= 0) return true;
    unsigned char* piece = static_cast<unsigned char*>(OsAlloc(kBlockSize, 0));
    if (!piece) return false;
    bool ok = true;
    while (count > 0) {
        size_t want = count > static_cast<int64_t>(kBlockSize) ? kBlockSize : static_cast<size_t>(count);
        if (AdapterRead(file->adapter, file->handle, piece, want) != want) {
            ok = false;
            break;
        }
        count -= static_cast<int64_t>(want);
    }
    OsFree(piece);
    return ok;
}

int64_t EmulatedStreamSeek(qzVfsFile* file, int64_t offset, int mode) {
    if (!(file->mode & QZ_VFS_SEEKEMU) || mode == QZ_VFS_SEEK_END) return -1;
    int64_t current = AdapterSeek(file->adapter, file->handle, 0, QZ_VFS_SEEK_CURRENT);
    if (current < 0) return -1;
    int64_t target;
    if (mode == QZ_VFS_SEEK_BEGINNING)
        target = offset;
    else if (__builtin_add_overflow(current, offset, &target))
        return -1;
    if (target < 0) return -1;
    if (target < current) {
        if (AdapterSeek(file->adapter, file->handle, 0, QZ_VFS_SEEK_BEGINNING) < 0) return -1;
        if (!SkipForward(file, target)) return -1;
    } else if (!SkipForward(file, target - current)) {
        return -1;
    }
    return current;
}

void CopyCut(char* dst, const char* src, size_t size) {
    size_t n = std::strlen(src);
    if (n >= size) n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

}  // namespace

void VfsAddFileAdapter(qzVfsFileAdapter* adapter) {
    std::lock_guard<std::mutex> lock(adapterMutex);
    auto& list = FileAdapters();
    if (adapter && std::find(list.begin(), list.end(), adapter) == list.end()) list.push_back(adapter);
}

void VfsRemoveFileAdapter(qzVfsFileAdapter* adapter) {
    std::lock_guard<std::mutex> lock(adapterMutex);
    auto& list = FileAdapters();
    list.erase(std::remove(list.begin(), list.end(), adapter), list.end());
}

int VfsAddPluginAdapter(const qzPluginInfo* plugin, uint32_t capability) {
    if (!plugin) return ERR_WRONGUSAGE;
    std::lock_guard<std::mutex> lock(adapterMutex);
    // A list that cannot grow answers ERR_MEM; the adapter record is owned until the list holds it.
    return CatchOutOfMemory([&]() -> int {
        if (capability == QZ_PLUGINCAPS_DIRADAPTER) {
            auto& list = DirAdapters();
            if (std::find(list.begin(), list.end(), plugin) == list.end()) list.push_back(plugin);
            return 0;
        }
        if (capability != QZ_PLUGINCAPS_FILEADAPTER) return ERR_WRONGUSAGE;
        auto& list = FileAdapters();
        for (qzVfsFileAdapter* a : list)
            if (a->plugin == plugin) return 0;
        auto adapter = std::make_unique<qzVfsFileAdapter>();
        adapter->plugin = plugin;
        list.push_back(adapter.get());
        adapter.release();
        return 0;
    });
}

void VfsRemovePluginAdapter(const qzPluginInfo* plugin, uint32_t capability) {
    std::lock_guard<std::mutex> lock(adapterMutex);
    if (capability == QZ_PLUGINCAPS_DIRADAPTER) {
        auto& list = DirAdapters();
        list.erase(std::remove(list.begin(), list.end(), plugin), list.end());
        return;
    }
    if (capability != QZ_PLUGINCAPS_FILEADAPTER) return;
    auto& list = FileAdapters();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->plugin == plugin) {
            delete *it;
            list.erase(it);
            return;
        }
    }
}

void VfsSetActivateHook(qzVfsActivateFn hook) { activateHook = hook; }
qzVfsActivateFn VfsGetActivateHook() { return activateHook; }

qzVfsFile* VfsOpen(const char* name, int mode, const char* loaderList) {
    if (!name) return nullptr;
    if (mode & QZ_VFS_ADAPTERS) {
        if (qzVfsFile* file = OpenThroughAdapters(name, mode, loaderList)) return file;
    }
    if (!IsLoaderSelected(loaderList, "inbuilt", false)) return nullptr;
    int platformMode = mode & (QZ_VFS_READ | QZ_VFS_WRITE | QZ_VFS_READWRITE);
    // The record comes first: opening for writing truncates the file, which must not happen
    // when the open then fails for want of memory.
    std::unique_ptr<qzVfsFile> file(NewFile(nullptr, nullptr, mode, mode));
    file->handle = OsOpenFile(name, platformMode);
    if (!file->handle) return nullptr;
    return file.release();
}

int VfsClose(qzVfsFile* file) {
    if (!file) return 0;
    int result = file->adapter ? AdapterClose(file->adapter, file->handle) : OsCloseFile(Platform(file));
    OsFree(file->statName);
    delete file;
    return result;
}

size_t VfsRead(qzVfsFile* file, void* buffer, size_t count) {
    if (!file) return 0;
    if (file->adapter) return AdapterRead(file->adapter, file->handle, buffer, count);
    return OsReadFile(Platform(file), buffer, count);
}

size_t VfsReadBlock(qzVfsFile* file, void* buffer, size_t count) { return VfsRead(file, buffer, count); }

size_t VfsWrite(qzVfsFile* file, const void* buffer, size_t count) {
    if (!file) return 0;
    if (file->adapter) return AdapterWrite(file->adapter, file->handle, buffer, count);
    return OsWriteFile(Platform(file), buffer, count);
}

size_t VfsWriteBlock(qzVfsFile* file, const void* buffer, size_t count) { return VfsWrite(file, buffer, count); }

int64_t VfsSeek(qzVfsFile* file, int64_t offset, int mode) {
    if (!file) return -1;
    if (!file->adapter) return OsSeekFile(Platform(file), offset, mode);
    if (!AdapterCanSeek(file->adapter)) return -1;
    bool stream = (file->flags & QZ_ADAPTER_FILE_STREAM) != 0;
    bool query = offset == 0 && (mode == QZ_VFS_SEEK_CURRENT || mode == QZ_VFS_SEEK_BEGINNING);
    if (!stream || query) return AdapterSeek(file->adapter, file->handle, offset, mode);
    return EmulatedStreamSeek(file, offset, mode);
}

int64_t VfsGetFileSize(qzVfsFile* file) {
    if (!file) return -1;
    if (file->adapter) {
        qzFileInfo info;
        if (!AdapterFStat(file, &info)) return -1;
        return info.size;
    }
    qzPlatformFile* pf = Platform(file);
    int64_t previous = OsSeekFile(pf, 0, QZ_SEEK_END);
    if (previous < 0) return -1;
    int64_t end = pf->position;
    OsSeekFile(pf, previous, QZ_SEEK_BEGINNING);
    return end;
}

int VfsGetC(qzVfsFile* file) {
    if (!file) return -1;
    if (file->adapter) return AdapterGetC(file->adapter, file->handle);
    return OsGetC(Platform(file));
}

int VfsPutC(qzVfsFile* file, int byte) {
    if (!file) return 0;
    if (file->adapter) return AdapterPutC(file->adapter, file->handle, byte);
    return OsPutC(Platform(file), byte);
}

int VfsFlush(qzVfsFile* file) {
    if (!file) return 0;
    if (file->adapter) return AdapterFlush(file->adapter, file->handle);
    return OsFlushFile(Platform(file));
}

int VfsEof(qzVfsFile* file) {
    if (!file) return 1;
    if (file->adapter) return AdapterEof(file->adapter, file->handle);
    return OsEof(Platform(file));
}

int VfsExamine(qzVfsFile* file, qzFileInfo* info) {
    if (!file || !info) return 0;
    if (file->adapter) return AdapterFStat(file, info);
    return OsExamineFile(Platform(file), info);
}

const char* VfsGetFileAdapterName(qzVfsFile* file) {
    return file && file->adapter ? AdapterName(file->adapter) : nullptr;
}

int VfsCopyFileData(qzVfsFile* in, qzVfsFile* out, uint64_t* copied) {
    *copied = 0;
    if (!in || !out || in->adapter || out->adapter) return 0;
    return OsCopyFileData(Platform(in), Platform(out), copied);
}

int VfsReadLineDirect(qzVfsFile* file, const char** text, size_t* length) {
    return file && !file->adapter ? OsReadLineDirect(Platform(file), text, length) : 0;
}

const void* VfsFileMemory(qzVfsFile* file) { return file && !file->adapter ? OsFileMemory(Platform(file)) : nullptr; }

int VfsGetFileFlags(qzVfsFile* file) { return file ? file->flags : 0; }

int VfsHasStreamFlag(qzVfsFile* file) {
    return file && file->adapter && (file->flags & QZ_ADAPTER_FILE_STREAM) ? 1 : 0;
}

namespace {

uint32_t ReadBytes(qzVfsFile* file, int count, bool bigEndian) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        int c = VfsGetC(file);
        uint32_t byte = c < 0 ? 0u : static_cast<uint32_t>(c & 0xFF);
        if (bigEndian)
            value = (value << 8) | byte;
        else
            value |= byte << (8 * i);
    }
    return value;
}

int WriteBytes(qzVfsFile* file, uint32_t value, int count, bool bigEndian) {
    int ok = 1;
    for (int i = 0; i < count; ++i) {
        int shift = bigEndian ? 8 * (count - 1 - i) : 8 * i;
        if (VfsPutC(file, static_cast<int>((value >> shift) & 0xFF)) != 1) ok = 0;
    }
    return ok;
}

}  // namespace

int32_t VfsReadInt16LE(qzVfsFile* file) { return static_cast<int16_t>(ReadBytes(file, 2, false)); }
uint32_t VfsReadUInt16BE(qzVfsFile* file) { return ReadBytes(file, 2, true); }
int32_t VfsReadInt16BE(qzVfsFile* file) { return static_cast<int16_t>(ReadBytes(file, 2, true)); }
int32_t VfsReadInt32LE(qzVfsFile* file) { return static_cast<int32_t>(ReadBytes(file, 4, false)); }
int32_t VfsReadInt32BE(qzVfsFile* file) { return static_cast<int32_t>(ReadBytes(file, 4, true)); }
int VfsWriteInt16LE(qzVfsFile* file, int32_t v) { return WriteBytes(file, static_cast<uint32_t>(v), 2, false); }
int VfsWriteInt16BE(qzVfsFile* file, int32_t v) { return WriteBytes(file, static_cast<uint32_t>(v), 2, true); }
int VfsWriteInt32LE(qzVfsFile* file, int32_t v) { return WriteBytes(file, static_cast<uint32_t>(v), 4, false); }
int VfsWriteInt32BE(qzVfsFile* file, int32_t v) { return WriteBytes(file, static_cast<uint32_t>(v), 4, true); }

size_t VfsWriteString(qzVfsFile* file, const char* text) { return text ? VfsWrite(file, text, std::strlen(text)) : 0; }

int VfsReadFileInBlocks(const char* name, void (*consume)(void* data, const uint8_t* bytes, size_t size), void* data) {
    if (!name || !*name) return ERR_WRONGUSAGE;
    constexpr size_t kBlock = 65536;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kBlock]);
    if (!buffer) return ERR_MEM;
    // Closed also when a consumer runs out of memory and unwinds through here.
    qzVfsFileOwner file(VfsOpen(name, QZ_VFS_READ | QZ_VFS_ADAPTERS, "default"));
    if (!file) {
        SetErrorArgString(name);
        return ERR_READFILE;
    }
    size_t got;
    while ((got = VfsRead(file.get(), buffer.get(), kBlock)) > 0) consume(data, buffer.get(), got);
    return 0;
}

int VfsLoadFile(const char* name, const char* loaderList, qzVfsFile* openFile, unsigned char** buffer, size_t* size,
                bool allowAdapters) {
    *buffer = nullptr;
    *size = 0;
    // A file opened here is closed also when asking an adapter for its size runs out of memory
    // and unwinds through here.
    qzVfsFileOwner opened;
    qzVfsFile* file = openFile;
    if (file) {
        VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
    } else {
        opened.reset(VfsOpen(name, allowAdapters ? QZ_VFS_READ | QZ_VFS_ADAPTERS : QZ_VFS_READ, loaderList));
        file = opened.get();
        if (!file) {
            SetErrorArgString(name);
            return ERR_READFILE;
        }
    }
    int64_t known = VfsGetFileSize(file);
    unsigned char* data = nullptr;
    size_t used = 0;
    int rc = 0;
    if (known >= 0) {
        // Known size: one allocation of exactly that size (plus the NUL), checked first.
        if (static_cast<uint64_t>(known) >= SIZE_MAX ||
            !(data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(known) + 1, 0)))) {
            rc = ERR_MEM;
        } else {
            size_t want = static_cast<size_t>(known);
            while (used < want) {
                size_t got = VfsRead(file, data + used, want - used);
                if (got == 0) break;
                used += got;
            }
        }
    } else {
        // A stream: read in steps of one block until a short read; the buffer grows geometrically
        // so that long streams are not copied over and over.
        size_t capacity = 0;
        while (true) {
            if (capacity - used < kBlockSize) {
                size_t grown = capacity < kBlockSize ? kBlockSize : capacity;
                if (capacity > SIZE_MAX / 2 - kBlockSize) {
                    rc = ERR_MEM;
                    break;
                }
                auto* bigger = static_cast<unsigned char*>(OsAlloc(capacity + grown + 1, 0));
                if (!bigger) {
                    rc = ERR_MEM;
                    break;
                }
                if (used) std::memcpy(bigger, data, used);
                OsFree(data);
                data = bigger;
                capacity += grown;
            }
            size_t got = VfsRead(file, data + used, kBlockSize);
            used += got;
            if (got < kBlockSize) break;
        }
    }
    opened.reset();
    if (rc) {
        OsFree(data);
        return rc;
    }
    data[used] = 0;
    *buffer = data;
    *size = used;
    return 0;
}

int VfsCopyFile(const char* source, const char* loaderList, const char* target, qzVfsFile* openSource) {
    // What the copy holds goes on every way out (memory running out in a name conversion
    // included); the sibling file being written goes unless it was renamed into place.
    qzVfsFileOwner opened;
    qzVfsFile* in = openSource;
    if (in) {
        VfsSeek(in, 0, QZ_VFS_SEEK_BEGINNING);
    } else {
        opened.reset(VfsOpen(source, QZ_VFS_READ | QZ_VFS_ADAPTERS, loaderList));
        in = opened.get();
        if (!in) {
            SetErrorArgString(source);
            return ERR_READFILE;
        }
    }
    std::unique_ptr<unsigned char, decltype(&OsFree)> block(static_cast<unsigned char*>(OsAlloc(kBlockSize, 0)),
                                                            &OsFree);
    if (!block) return ERR_MEM;
    qzFileRemover temporary;
    std::string finalName;
    if (!target || IsChunkName(target) || !OsCreateSiblingTempFile(target, &temporary.name, &finalName)) {
        SetErrorArgString(target);
        return ERR_WRITEFILE;
    }
    qzVfsFileOwner out(VfsOpen(temporary.name.c_str(), QZ_VFS_WRITE, "inbuilt"));
    if (!out) {
        SetErrorArgString(target);
        return ERR_WRITEFILE;
    }
    while (true) {
        size_t got = VfsRead(in, block.get(), kBlockSize);
        if (got == 0) break;
        if (VfsWrite(out.get(), block.get(), got) != got) return ERR_WRITE;
    }
    if (VfsClose(out.release()) != 1) return ERR_WRITE;
    if (OsRename(temporary.name.c_str(), finalName.c_str()) != 1) {
        SetErrorArgString(target);
        return ERR_WRITEFILE;
    }
    temporary.Keep();
    return 0;
}

qzVfsLock* VfsLock(const char* name, int mode, const char* loaderList) {
    if (!name) return nullptr;
    bool chunk = IsChunkName(name);
    // Owned until it is handed out: running out of memory on the way frees it.
    std::unique_ptr<qzVfsLock> lock(new qzVfsLock());
    lock->name = name;
    if (chunk) {
        qzChunkNameParts parts;
        // Memory names stand only for blocks the player registered; any other is missing.
        if (!ParseChunkName(name, &parts) ||
            (parts.containerPath.empty() && !FindChunkMemory(parts.address, parts.size)))
            return nullptr;
        lock->chunk = true;
        lock->chunkSize = static_cast<int64_t>(parts.size);
        return lock.release();
    }
    if (mode & QZ_VFS_LOCK_ADAPTERS) {
        // Directory adapters come first, then file adapters that can examine the name.
        ActivateFileAdapters(loaderList, QZ_PLUGINCAPS_DIRADAPTER);
        for (const qzPluginInfo* p : DirAdapterSnapshot()) {
            if (!DirAdapterAllowed(p, loaderList)) continue;
            if (void* handle = p->OpenDir(name, 0, nullptr)) {
                lock->dirAdapter = p;
                lock->dirHandle = handle;
                return lock.release();
            }
        }
        ActivateFileAdapters(loaderList, QZ_PLUGINCAPS_FILEADAPTER);
        for (qzVfsFileAdapter* a : AdapterSnapshot()) {
            if (!AdapterAllowed(a, loaderList)) continue;
            if (AdapterStat(a, name, &lock->adapterStat, &lock->statName, nullptr)) {
                lock->fileAdapter = a;
                lock->adapterStat.name = a->plugin ? lock->statName.c_str() : lock->name.c_str();
                return lock.release();
            }
        }
    }
    // The platform knows read locks only; a request without a mode bit is a read lock.
    int platformMode = (mode & 3) ? (mode & 3) : QZ_VFS_LOCK_READ;
    if (IsLoaderSelected(loaderList, "inbuilt", false)) lock->platform = OsLock(name, platformMode);
    if (!lock->platform) return nullptr;
    return lock.release();
}

void VfsUnlock(qzVfsLock* lock) {
    if (!lock) return;
    if (lock->platform) OsUnlock(lock->platform);
    if (lock->dirAdapter && lock->dirAdapter->CloseDir) lock->dirAdapter->CloseDir(lock->dirHandle);
    delete lock;
}

void VfsNameFromLock(qzVfsLock* lock, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    if (lock->platform)
        OsNameFromLock(lock->platform, buffer, size);
    else
        CopyCut(buffer, lock->name.c_str(), size);
}

int VfsExamineLock(qzVfsLock* lock, qzFileInfo* info) {
    if (lock->platform) {
        OsExamineLock(lock->platform, info);
    } else if (lock->fileAdapter) {
        *info = lock->adapterStat;
    } else {
        std::memset(info, 0, sizeof(*info));
        info->isDirectory = lock->dirAdapter ? 1 : 0;
        info->size = lock->dirAdapter ? 0 : lock->chunkSize;
        info->protection = 15;
        info->name = lock->name.c_str();
    }
    return 1;
}

int VfsCheckDirLock(qzVfsLock* lock, int* isDirectory) {
    if (lock->platform) return OsCheckDirLock(lock->platform, isDirectory);
    if (lock->dirAdapter) {
        if (isDirectory) *isDirectory = 1;
        return 0;
    }
    if (isDirectory) *isDirectory = 0;
    SetErrorArgString(lock->name.c_str());
    return ERR_NOTADIR;
}

int VfsNextDirEntry(qzVfsLock* lock, void* scan, const char** name, int* isDirectory, qzFileInfo* info) {
    if (lock->dirAdapter) {
        if (!lock->dirAdapter->NextDirEntry) return 0;
        qzAdapterStat entry;
        std::memset(&entry, 0, sizeof entry);
        if (!lock->dirAdapter->NextDirEntry(lock->dirHandle, &entry, nullptr)) return 0;
        qzFileInfo record;
        FromAdapterStat(&entry, "", &lock->entryName, &record);
        if (name) *name = lock->entryName.c_str();
        if (isDirectory) *isDirectory = record.isDirectory;
        if (info) *info = record;
        return 1;
    }
    if (!lock->platform) return 0;
    return OsNextDirEntry(lock->platform, scan, name, isDirectory, info);
}

const char* VfsGetLockAdapterName(qzVfsLock* lock) {
    if (lock && lock->dirAdapter) return lock->dirAdapter->moduleName;
    return lock && lock->fileAdapter ? AdapterName(lock->fileAdapter) : nullptr;
}

int VfsExamineName(const char* name, qzDosFileInfo* info, bool useAdapters) {
    if (!name || !info) return 0;
    std::memset(info, 0, sizeof(*info));
    qzFileInfo record;
    if (useAdapters) {
        for (qzVfsFileAdapter* a : AdapterSnapshot()) {
            std::string statName;
            qzAdapterStat raw;
            raw.comment[0] = '\0';
            if (!AdapterEnabled(a) || !AdapterStat(a, name, &record, &statName, &raw)) continue;
            ConvertFileInfo(&record, info);
            CopyCut(info->fullName, record.name ? record.name : name, sizeof(info->fullName));
            if (a->plugin) {
                raw.comment[sizeof(raw.comment) - 1] = '\0';
                CopyCut(info->comment, raw.comment, sizeof(info->comment));
            }
            return 1;
        }
    }
    qzVfsLock* lock = VfsLock(name, QZ_VFS_LOCK_READ, nullptr);
    if (!lock) return 0;
    if (lock->chunk) {
        InitFileInfo(info, 0, 0);
        info->size = lock->chunkSize;
        CopyCut(info->fullName, name, sizeof(info->fullName));
    } else {
        VfsExamineLock(lock, &record);
        ConvertFileInfo(&record, info);
        VfsNameFromLock(lock, info->fullName, sizeof(info->fullName));
    }
    VfsUnlock(lock);
    return 1;
}
