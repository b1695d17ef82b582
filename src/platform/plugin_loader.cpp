// The plugin loader: dlopen, InitPlugin, the name and version checks, entry points by name.
#include "platform/plugin_loader.h"

#include <dlfcn.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/os_dir.h"
#include "platform/os_path.h"

namespace {

qzHostApi* hostApi = nullptr;
qzPluginActivateFn activateHook = nullptr;
qzPluginDeactivateFn deactivateHook = nullptr;
// A service the plugin being initialised called ran out of memory.
bool initOutOfMemory = false;

struct EntryPoint {
    const char* name;
    size_t offset;
};

#define QZ_EP(n) \
    { #n, offsetof(qzPluginInfo, n) }

const EntryPoint kVector[] = {QZ_EP(GetPathExtents),  QZ_EP(DrawPath),         QZ_EP(TranslatePath),
                              QZ_EP(GetCurrentPoint), QZ_EP(CreateVectorFont), QZ_EP(FreeVectorFont),
                              QZ_EP(OpenFont),        QZ_EP(CloseFont)};
const EntryPoint kVideo[] = {QZ_EP(OpenVideo),        QZ_EP(CloseVideo),       QZ_EP(NextPacket),    QZ_EP(FreePacket),
                             QZ_EP(DecodeVideoFrame), QZ_EP(DecodeAudioFrame), QZ_EP(SeekVideo),     QZ_EP(FlushAudio),
                             QZ_EP(FlushVideo),       QZ_EP(GetVideoFrames),   QZ_EP(GetVideoFormat)};
const EntryPoint kLibrary[] = {QZ_EP(GetBaseTable), QZ_EP(GetCommands),     QZ_EP(GetConstants),     QZ_EP(InitLibrary),
                               QZ_EP(FreeLibrary),  QZ_EP(GetLibraryCount), QZ_EP(SetCurrentLibrary)};
const EntryPoint kConvert[] = {QZ_EP(GetScript), QZ_EP(FreeScript)};
const EntryPoint kImage[] = {QZ_EP(IsImage), QZ_EP(LoadImage), QZ_EP(GetImage), QZ_EP(FreeImage),
                             QZ_EP(TransformImage)};
const EntryPoint kAnim[] = {QZ_EP(OpenAnim), QZ_EP(LoadFrame), QZ_EP(FreeFrame), QZ_EP(GetFrameDelay),
                            QZ_EP(CloseAnim)};
const EntryPoint kSound[] = {QZ_EP(OpenStream), QZ_EP(CloseStream), QZ_EP(SeekStream), QZ_EP(StreamSamples),
                             QZ_EP(GetFormatName)};
const EntryPoint kImageSaver[] = {QZ_EP(RegisterImageSaver), QZ_EP(SaveImage)};
const EntryPoint kAnimSaver[] = {QZ_EP(RegisterAnimSaver), QZ_EP(BeginAnimStream), QZ_EP(WriteAnimFrame),
                                 QZ_EP(FinishAnimStream)};
const EntryPoint kSampleSaver[] = {QZ_EP(RegisterSampleSaver), QZ_EP(SaveSample)};
const EntryPoint kRequire[] = {QZ_EP(RequirePlugin)};
// Resolution order; the block stores Sleep and VWait, and the double-buffer entries, elsewhere.
const EntryPoint kDisplay[] = {QZ_EP(HandleEvents),
                               QZ_EP(WaitEvents),
                               QZ_EP(ForceEventLoopIteration),
                               QZ_EP(DetermineBorderSizes),
                               QZ_EP(OpenDisplay),
                               QZ_EP(CloseDisplay),
                               QZ_EP(ChangeBufferSize),
                               QZ_EP(ShowHideDisplay),
                               QZ_EP(SizeMoveDisplay),
                               QZ_EP(SetDisplayTitle),
                               QZ_EP(ActivateDisplay),
                               QZ_EP(SetDisplayAttributes),
                               QZ_EP(CreatePointer),
                               QZ_EP(FreePointer),
                               QZ_EP(SetPointer),
                               QZ_EP(ShowHidePointer),
                               QZ_EP(MovePointer),
                               QZ_EP(GetMousePos),
                               QZ_EP(GetQualifiers),
                               QZ_EP(BltBitMap),
                               QZ_EP(RectFill),
                               QZ_EP(WritePixel),
                               QZ_EP(Line),
                               QZ_EP(Sleep),
                               QZ_EP(VWait),
                               QZ_EP(GetMonitorInfo),
                               QZ_EP(FreeMonitorInfo),
                               QZ_EP(GrabScreenPixels),
                               QZ_EP(FreeGrabScreenPixels),
                               QZ_EP(AllocVideoBitMap),
                               QZ_EP(FreeVideoBitMap),
                               QZ_EP(ReadVideoPixels),
                               QZ_EP(FreeVideoPixels),
                               QZ_EP(DoVideoBitMapMethod),
                               QZ_EP(BeginDoubleBuffer),
                               QZ_EP(EndDoubleBuffer),
                               QZ_EP(Flip),
                               QZ_EP(Cls),
                               QZ_EP(AllocBitMap),
                               QZ_EP(FreeBitMap),
                               QZ_EP(LockBitMap),
                               QZ_EP(UnLockBitMap),
                               QZ_EP(GetBitMapAttr)};
const EntryPoint kTimer[] = {QZ_EP(RegisterTimer), QZ_EP(FreeTimer)};
const EntryPoint kRequester[] = {QZ_EP(SystemRequest), QZ_EP(FileRequest), QZ_EP(PathRequest),  QZ_EP(StringRequest),
                                 QZ_EP(ListRequest),   QZ_EP(FontRequest), QZ_EP(ColorRequest), QZ_EP(FreeRequest)};
const EntryPoint kFile[] = {QZ_EP(FOpen), QZ_EP(FClose), QZ_EP(FRead), QZ_EP(FGetC), QZ_EP(FWrite), QZ_EP(FPutC),
                            QZ_EP(FSeek), QZ_EP(FFlush), QZ_EP(FEof),  QZ_EP(FStat), QZ_EP(Stat)};
const EntryPoint kDir[] = {QZ_EP(OpenDir), QZ_EP(CloseDir), QZ_EP(NextDirEntry)};
const EntryPoint kAudio[] = {QZ_EP(OpenAudio), QZ_EP(CloseAudio), QZ_EP(AllocAudioChannel), QZ_EP(FreeAudioChannel),
                             QZ_EP(SetChannelAttributes)};

#undef QZ_EP

struct Group {
    uint32_t bit;
    const EntryPoint* points;
    size_t count;
    bool loaderKind;  // activated for its kind after resolution
};

#define QZ_GROUP(bit, table, kind) \
    { bit, table, sizeof(table) / sizeof(table[0]), kind }
const Group kGroups[] = {
    QZ_GROUP(QZ_PLUGINCAPS_VECTOR, kVector, false),      QZ_GROUP(QZ_PLUGINCAPS_VIDEO, kVideo, true),
    QZ_GROUP(QZ_PLUGINCAPS_LIBRARY, kLibrary, false),    QZ_GROUP(QZ_PLUGINCAPS_CONVERT, kConvert, false),
    QZ_GROUP(QZ_PLUGINCAPS_IMAGE, kImage, true),         QZ_GROUP(QZ_PLUGINCAPS_ANIM, kAnim, true),
    QZ_GROUP(QZ_PLUGINCAPS_SOUND, kSound, true),         QZ_GROUP(QZ_PLUGINCAPS_SAVEIMAGE, kImageSaver, false),
    QZ_GROUP(QZ_PLUGINCAPS_SAVEANIM, kAnimSaver, false), QZ_GROUP(QZ_PLUGINCAPS_SAVESAMPLE, kSampleSaver, false),
    QZ_GROUP(QZ_PLUGINCAPS_REQUIRE, kRequire, false),    QZ_GROUP(QZ_PLUGINCAPS_DISPLAYADAPTER, kDisplay, false),
    QZ_GROUP(QZ_PLUGINCAPS_TIMERADAPTER, kTimer, false), QZ_GROUP(QZ_PLUGINCAPS_REQUESTERADAPTER, kRequester, false),
    QZ_GROUP(QZ_PLUGINCAPS_FILEADAPTER, kFile, false),   QZ_GROUP(QZ_PLUGINCAPS_DIRADAPTER, kDir, false),
    QZ_GROUP(QZ_PLUGINCAPS_AUDIOADAPTER, kAudio, false),
};
#undef QZ_GROUP

static_assert(sizeof(kDisplay) / sizeof(kDisplay[0]) == 43, "a display adapter has 43 entry points");

// Names a plugin may not take: they stand for the player's own loaders.
const char* const kReservedNames[] = {"default", "standard", "inbuilt", "quarnelix", "system", "native"};

void StoreEntryPoint(qzPluginInfo* info, size_t offset, void* symbol) {
    std::memcpy(reinterpret_cast<char*>(info) + offset, &symbol, sizeof symbol);
}

void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }

// The file part of the path without its four-character extension.
std::string PluginFileName(const std::string& fullPath) {
    std::string base = fullPath.size() >= 4 ? fullPath.substr(0, fullPath.size() - 4) : std::string();
    size_t slash = base.find_last_of("/\\");
    return slash == std::string::npos ? base : base.substr(slash + 1);
}

// The plugin's name must match the file name: "_name" accepts the name as it is, otherwise the
// name must be the file name and none of the reserved names.
bool NameMatches(const std::string& filePart, const char* name) {
    if (!name) return false;
    // A name from the plugin is never longer than a file name can be.
    if (strnlen(name, 1024) >= 1024) return false;
    if (!filePart.empty() && filePart[0] == '_') return CompareNoCase(filePart.c_str() + 1, name) == 0;
    if (CompareNoCase(filePart.c_str(), name) != 0) return false;
    for (const char* reserved : kReservedNames)
        if (CompareNoCase(name, reserved) == 0) return false;
    return true;
}

void SetFileNameArg(const char* path) { SetErrorArgString(GetDisplayFileName(path).c_str()); }

// What is left to undo of a load that fails, undone when the load ends without handing the
// plugin out (memory running out in a name conversion included).
struct LoadState {
    qzPluginHandle* handle = nullptr;
    qzPluginInfo* info = nullptr;
    void* library = nullptr;
    bool initCalled = false;   // InitPlugin ran: what it registered for the plugin is undone
    bool initialised = false;  // InitPlugin accepted: ClosePlugin runs

    ~LoadState() {
        if (initCalled) {
            if (deactivateHook) deactivateHook(info);
            if (initialised && info->callMode != QZ_PLUGIN_CALLMODE_STUB && info->ClosePlugin) info->ClosePlugin();
            FreePluginFileTypes(info);
        }
        if (library) dlclose(library);
        OsFree(info);
        OsFree(handle);
    }
    // The load succeeded: what it made now belongs to the handle.
    void Release() {
        handle = nullptr;
        info = nullptr;
        library = nullptr;
        initCalled = false;
        initialised = false;
    }
};

}  // namespace

void SetPluginHostApi(qzHostApi* api) { hostApi = api; }
void NotePluginInitOutOfMemory() { initOutOfMemory = true; }
qzHostApi* GetPluginHostApi() { return hostApi; }

void SetPluginActivationHooks(qzPluginActivateFn activate, qzPluginDeactivateFn deactivate) {
    activateHook = activate;
    deactivateHook = deactivate;
}

void GetPluginActivationHooks(qzPluginActivateFn* activate, qzPluginDeactivateFn* deactivate) {
    *activate = activateHook;
    *deactivate = deactivateHook;
}

int OsLoadPlugin(const char* path, uint32_t* capabilities, qzPluginHandle** handle) {
    LoadState s;
    s.handle = static_cast<qzPluginHandle*>(OsAlloc(sizeof(qzPluginHandle), 1));
    if (!s.handle) return ERR_MEM;

    // The file is opened by its full path: a bare name means the file in the current directory,
    // never a library the system would search for in its own folders.
    char fullPath[1024];
    std::string fsPath;
    if (path) OsGetFullPath(path, fullPath, sizeof fullPath);
    if (!path || !fullPath[0] || !MacPathToFileSystem(fullPath, &fsPath)) {
        SetErrorArgString(path ? path : "");
        return ERR_DLOPEN;
    }
    dlerror();
    s.library = dlopen(fsPath.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!s.library) {
        const char* reason = dlerror();
        SetErrorArgString(reason ? reason : path);
        return ERR_DLOPEN;
    }

    s.info = static_cast<qzPluginInfo*>(OsAlloc(sizeof(qzPluginInfo), 1));
    if (!s.info) return ERR_MEM;
    qzPluginInfo* info = s.info;

    void* init = FindSymbol(s.library, "InitPlugin");
    void* close = FindSymbol(s.library, "ClosePlugin");
    if (!init || !close) {
        SetFileNameArg(path);
        return ERR_LOADPLUGIN;
    }
    StoreEntryPoint(info, offsetof(qzPluginInfo, InitPlugin), init);
    StoreEntryPoint(info, offsetof(qzPluginInfo, ClosePlugin), close);

    info->requiredVersion = 6;
    info->requiredRevision = 0;
    // A plugin that refuses may have put itself into adapter lists or registered file types
    // before it refused (or before a registration ran out of memory): those are undone too.
    s.initCalled = true;
    initOutOfMemory = false;
    if (!info->InitPlugin(info, hostApi, fullPath)) {
        // A plugin that refuses because one of its registrations ran out of memory fails for that.
        if (initOutOfMemory) return ERR_MEM;
        SetFileNameArg(path);
        return ERR_LOADPLUGIN;
    }
    s.initialised = true;

    if (!NameMatches(PluginFileName(fullPath), info->name)) {
        SetFileNameArg(path);
        return ERR_LOADPLUGIN;
    }

    uint32_t caps = info->capabilities;
    s.handle->capabilities = caps;
    if (info->requiredVersion > 6 || (info->requiredVersion == 6 && info->requiredRevision > 0)) {
        char text[32];
        std::snprintf(text, sizeof text, "%d.%d", info->requiredVersion, info->requiredRevision);
        SetErrorArgString(text);
        return ERR_NEWQZPLUGIN;
    }

    bool stub = info->callMode == QZ_PLUGIN_CALLMODE_STUB;
    bool anyGroup = false;
    if (caps & QZ_PLUGINCAPS_EXTENSIONS) {
        anyGroup = true;
        void* symbol = FindSymbol(s.library, "GetExtensions");
        if (!symbol) {
            SetErrorArgString("GetExtensions");
            return ERR_PLUGINSYMBOL;
        }
        StoreEntryPoint(info, offsetof(qzPluginInfo, GetExtensions), symbol);
        for (int i = 0; i < 32; ++i) {
            if (i == 17 || !(caps & (1u << i))) continue;
            info->extensions[i] = stub ? 0 : info->GetExtensions(1u << i, 0);
        }
    }

    for (const Group& group : kGroups) {
        if (!(caps & group.bit)) continue;
        anyGroup = true;
        for (size_t i = 0; i < group.count; ++i) {
            void* symbol = FindSymbol(s.library, group.points[i].name);
            if (!symbol) {
                SetErrorArgString(group.points[i].name);
                return ERR_PLUGINSYMBOL;
            }
            StoreEntryPoint(info, group.points[i].offset, symbol);
        }
        if (group.loaderKind && activateHook) {
            int bitNumber = __builtin_ctz(group.bit);
            if (!(info->extensions[bitNumber] & QZ_PLUGINEXT_NOAUTOACTIVATE)) {
                int code = activateHook(info, group.bit);
                if (code) return code;
            }
        }
    }

    if (!anyGroup) {
        char text[32];
        std::snprintf(text, sizeof text, "%lx", static_cast<unsigned long>(caps));
        SetErrorArgString(text);
        return ERR_PLUGINTYPE;
    }

    // A stub plugin's entry points cannot be called here: every one of them answers 0, which the
    // callers take from a null entry point.
    if (stub) {
        size_t first = offsetof(qzPluginInfo, ClosePlugin);
        size_t end = offsetof(qzPluginInfo, GetExtensions) + sizeof(void*);
        std::memset(reinterpret_cast<char*>(info) + first, 0, end - first);
    }

    s.handle->info = info;
    s.handle->osHandle = s.library;
    *capabilities = caps;
    *handle = s.handle;
    s.Release();
    return 0;
}

void OsClosePlugin(qzPluginHandle* handle) {
    if (!handle) return;
    qzPluginInfo* info = handle->info;
    if (info && info->callMode != QZ_PLUGIN_CALLMODE_STUB && info->ClosePlugin) info->ClosePlugin();
    if (handle->osHandle) dlclose(handle->osHandle);
    OsFree(info);
    OsFree(handle);
}

qzPluginInfo* OsGetPluginInfo(qzPluginHandle* handle) { return handle ? handle->info : nullptr; }

namespace {

size_t TextLength(const char* text) { return text ? strnlen(text, QZ_MAX_FILETYPE_TEXT) : 0; }

char* CopyText(char* at, const char* text, size_t length) {
    if (length) std::memcpy(at, text, length);
    at[length] = '\0';
    return at;
}

}  // namespace

int RegisterPluginFileType(qzPluginInfo* info, int type, const char* name, const char* mimeType, const char* extensions,
                           int formatId, uint32_t flags) {
    if (!info) return 0;
    size_t nameLength = TextLength(name), mimeLength = TextLength(mimeType), extLength = TextLength(extensions);
    size_t size = sizeof(qzPluginFileType) + nameLength + mimeLength + extLength + 3;
    auto* record = static_cast<qzPluginFileType*>(OsAlloc(size, 1));
    if (!record) {
        NotePluginInitOutOfMemory();
        return 0;
    }
    char* text = reinterpret_cast<char*>(record + 1);
    record->type = type;
    record->name = CopyText(text, name, nameLength);
    text += nameLength + 1;
    record->extensions = CopyText(text, extensions, extLength);
    text += extLength + 1;
    record->mimeType = mimeType ? CopyText(text, mimeType, mimeLength) : nullptr;
    record->formatId = (flags & QZ_FILETYPEFLAGS_SAVE) ? formatId : 0;
    record->flags = flags;
    qzPluginFileType** tail = &info->fileTypes;
    while (*tail) tail = &(*tail)->next;
    *tail = record;
    return 1;
}

void FreePluginFileTypes(qzPluginInfo* info) {
    if (!info) return;
    qzPluginFileType* node = info->fileTypes;
    info->fileTypes = nullptr;
    while (node) {
        qzPluginFileType* next = node->next;
        OsFree(node);
        node = next;
    }
}
