// The host API block and the service tables that need more than one layer.
//
// Every slot of every table points at a service. A slot whose service the player does not offer
// is written `NotAvailable()` (it answers 0 or null, or nothing) or `AdapterNotAvailable()` (an
// adapter installer that answers ERR_SETADAPTER): this file is the one list of those slots, and a
// subsystem that brings the service replaces its slot's entry with the service.
#include "player/host_api.h"

#include <cstring>
#include <string>
#include <type_traits>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "display/display_host_services.h"
#include "display/event_dispatch.h"
#include "display/event_pump.h"
#include "display/event_timers.h"
#include "display/requesters.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/image_cache.h"
#include "gfx/image_source.h"
#include "gfx/pixel_format.h"
#include "gfx/plugin_gfx_services.h"
#include "image/brush_host_services.h"
#include "libs/sound/sound.h"
#include "libs/system/system.h"
#include "platform/host_services.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_time.h"
#include "platform/plugin_loader.h"
#include "player/startup.h"
#include "runtime/applet_records.h"
#include "runtime/command_hooks.h"
#include "runtime/error_messages.h"
#include "runtime/host_vm.h"
#include "runtime/player_records.h"
#include "runtime/plugin_services.h"
#include "runtime/runtime.h"
#include "text/embedded_fonts.h"
#include "vector/vector_fonts.h"

namespace {

// A service the player does not offer, for a slot of any type: it answers `answer` (null for
// pointers, nothing for void).
template <int answer>
struct Unavailable {
    template <typename R, typename... A>
    static R Call(A...) {
        if constexpr (std::is_void_v<R>)
            return;
        else if constexpr (std::is_pointer_v<R>)
            return nullptr;
        else
            return static_cast<R>(answer);
    }
    template <typename R, typename... A>
    using Function = R (*)(A...);
    template <typename R, typename... A>
    operator Function<R, A...>() const {
        return &Call<R, A...>;
    }
};
constexpr Unavailable<0> NotAvailable() { return {}; }
constexpr Unavailable<ERR_SETADAPTER> AdapterNotAvailable() { return {}; }

// ---- System table -----------------------------------------------------------------------------

// The frame-rate limit that a plugin reads before the display library sets one.
constexpr int kDefaultFpsLimit = 60;

int HostQueryAttrs(const qzTagItem* tags) {
    qzAppletDescriptor* applet = GetAppletDescriptor(nullptr);
    int handled = 0;
    for (const qzTagItem* t = tags; t && t->tag; ++t) {
        const std::string* text = nullptr;
        switch (t->tag) {
        case 25:
            if (t->value) *reinterpret_cast<int*>(t->value) = 0;
            break;
        case 26: text = applet ? &applet->title : nullptr; break;
        case 27: text = applet ? &applet->version : nullptr; break;
        case 28: text = applet ? &applet->copyright : nullptr; break;
        case 29: text = applet ? &applet->author : nullptr; break;
        case 30: text = applet ? &applet->description : nullptr; break;
        case 31: SetRuntimeAttrs(nullptr, {{QZ_RTA_CALLBACKDEPTH, t->value}}); break;
        case 33: SetLineHookDisabled(t->value != 0); break;
        case 35:
            if (t->value) *reinterpret_cast<int*>(t->value) = kDefaultFpsLimit;
            break;
        default: continue;
        }
        if (t->tag >= 26 && t->tag <= 30 && t->value)
            *reinterpret_cast<const char**>(t->value) = text ? text->c_str() : "";
        ++handled;
    }
    return handled;
}

char* HostConvertCharset(const char* text, int from, int to) {
    std::string out;
    if (!text || !ConvertCharset(text, from, to, &out)) return nullptr;
    char* copy = static_cast<char*>(OsAlloc(out.size() + 1, 0));
    if (copy) std::memcpy(copy, out.c_str(), out.size() + 1);
    return copy;
}

size_t HostFormatErrorText(int code, char* buffer, size_t size) {
    return buffer && size ? FormatErrorText(code, buffer, size) : 0;
}

// Plugin event types and events.
int HostRegisterEventType(const char* name, intptr_t fill) {
    qzPluginEventCallbacks callbacks = {reinterpret_cast<qzEventFillFn>(fill), nullptr, nullptr, nullptr};
    return RegisterPluginEventType(name, 0, &callbacks, 0);
}

int HostRegisterEventTypeEx(const char* name, const qzTagItem* tags) {
    int32_t mode = 0, stub = 0;
    qzPluginEventCallbacks callbacks = {};
    for (const qzTagItem* t = tags; t && t->tag; ++t) {
        switch (t->tag) {
        case QZ_EVENTTYPETAG_MODE: mode = static_cast<int32_t>(t->value); break;
        case QZ_EVENTTYPETAG_FILL: callbacks.fill = reinterpret_cast<qzEventFillFn>(t->value); break;
        case QZ_EVENTTYPETAG_PUSH: callbacks.push = reinterpret_cast<qzEventPushFn>(t->value); break;
        case QZ_EVENTTYPETAG_AFTER: callbacks.after = reinterpret_cast<qzEventAfterFn>(t->value); break;
        case QZ_EVENTTYPETAG_FREEDATA: callbacks.freeData = reinterpret_cast<qzEventFreeFn>(t->value); break;
        case QZ_EVENTTYPETAG_STUB: stub = t->value != 0; break;
        default: break;
        }
    }
    return RegisterPluginEventType(name, mode, &callbacks, stub);
}

int HostPostEvent(int type, void* data) { return TranslateAdapterEvent(GetMainVmState(), type, data); }

int HostTranslateAdapterEvent(VmState* state, int type, void* data) {
    return TranslateAdapterEvent(state ? state : GetMainVmState(), type, data);
}

int HostRunEventLoop(VmState* state, int wait) {
    if (!state) state = GetMainVmState();
    if (!state) return 0;
    return CheckEventsCore(state, wait ? 1 : 0, 1, nullptr);
}

int HostPumpEvents(VmState* state, int flags) {
    if (!state) state = GetMainVmState();
    int error = 0;
    if (!PumpEvents(state, flags, &error)) return 0;
    return error ? error : ERR_USERABORT;
}

// The built-in back end waits without a time limit: until an event or the wake-up arrives.
int HostWaitEvents(VmState* state, int32_t) { return WaitForEvents(state ? state : GetMainVmState(), 1); }

int HostRunTimer(VmState* state, void* handle) {
    if (IsShuttingDown()) return 0;
    if (!state) state = GetMainVmState();
    return state ? FireTimerById(state, handle) : 0;
}

int HostInstallTimerAdapter(qzPluginInfo* info, uint32_t flags) { return SetTimerAdapter(info, flags); }

// The services that can run out of memory answer their failure result instead (no exception may
// reach a plugin's frames); the others cannot throw.
qzSysBase sysTable = {
    CatchingOutOfMemory<HostQueryAttrs>(),
    CatchingOutOfMemory<AddUserErrorText, ERR_MEM>(),
    CatchingOutOfMemory<SetErrorArgString>(),
    SetErrorArgIndex,
    CatchingOutOfMemory<HostFormatErrorText>(),
    OsGetSysTime,
    OsSubTime,
    OsAddTime,
    OsCmpTime,
    OsDelay,
    FormatCurrentDate,
    HostAlloc,
    HostFree,
    CatchingOutOfMemory<HostAddPluginHook>(),
    CatchingOutOfMemory<HostRegisterEventType>(),
    CatchingOutOfMemory<HostPostEvent, ERR_MEM>(),
    CatchingOutOfMemory<HostPostAdapterInputEvent>(),
    CatchingOutOfMemory<HostRegisterObjectType>(),
    CatchingOutOfMemory<HostFreeObjectData>(),
    CatchingOutOfMemory<RegisterPluginFileType>(),
    CatchingOutOfMemory<HostRunEventLoop, ERR_MEM>(),
    CatchingOutOfMemory<AddCommandHook>(),
    CatchingOutOfMemory<RemoveCommandHook>(),
    CatchingOutOfMemory<HookCommand>(),
    SetCommandHookErrorHandler,
    GetCommandHookErrorHandler,
    SetCommandHookDisabled,
    CatchingOutOfMemory<HostTranslateAdapterEvent, ERR_MEM>(),
    CatchingOutOfMemory<HostPumpEvents, ERR_MEM>(),
    CatchingOutOfMemory<HostWaitEvents>(),
    CatchingOutOfMemory<OsAllocMutex>(),
    OsFreeMutex,
    OsLockMutex,
    OsUnlockMutex,
    CatchingOutOfMemory<HostSetPluginHookEnabled>(),
    CatchingOutOfMemory<HostRemovePluginHook>(),
    CatchingOutOfMemory<HostRegisterEventTypeEx>(),
    HostVPrintF,
    CatchingOutOfMemory<HostRunTimer, ERR_MEM>(),
    CatchingOutOfMemory<HostInstallTimerAdapter, ERR_MEM>(),
    RecordStartDate,
    CatchingOutOfMemory<HostConvertCharset>(),
    HostFree,
    CatchingOutOfMemory<HostRegisterPluginForCapability, ERR_MEM>(),
    CatchingOutOfMemory<HostUnregisterPluginForCapability>(),
    SetRecordTagValue,
};

// ---- Graphics table ---------------------------------------------------------------------------

uint32_t* HostLoadImage(const char* file, const qzTagItem*, int* width, int* height, int* alpha) {
    return InbuiltLoadImagePixels(file, 1, width, height, alpha);
}

void HostFreeImage(uint32_t* pixels) { OsFree(pixels); }

// The brush services work for the running applet when a plugin passes no VM state.
void* HostLockBrush(VmState* state, const qzPluginObjectId* id, qzPluginLock* out) {
    return HostLockBrushBitMap(state ? state : GetMainVmState(), id, out);
}

uint32_t* HostBrushPixels(VmState* state, const qzPluginObjectId* id, int* width, int* height) {
    return HostGetBrushPixels(state ? state : GetMainVmState(), id, width, height);
}

int HostBrushFromPixels(VmState* state, qzPluginObjectId* id, const uint32_t* pixels, int width, int height,
                        int rowLength, const qzTagItem* tags) {
    return HostCreateBrushFromPixels(state ? state : GetMainVmState(), id, pixels, width, height, rowLength, tags);
}

qzGfxBase gfxTable = {
    CatchingOutOfMemory<InbuiltIsImage>(),
    CatchingOutOfMemory<HostLoadImage>(),
    HostFreeImage,
    CatchingOutOfMemory<InbuiltFreeImageHandle>(),
    CatchingOutOfMemory<HostLockBrush>(),
    CatchingOutOfMemory<HostUnLockBitMap>(),
    CatchingOutOfMemory<HostBrushPixels>(),
    HostFree,
    CatchingOutOfMemory<HostAddDisplayHook>(),
    CatchingOutOfMemory<HostRemoveDisplayHook>(),
    CatchingOutOfMemory<HostRefreshHookDisplay>(),
    CatchingOutOfMemory<HostResizeHookDisplay, ERR_MEM>(),
    CatchingOutOfMemory<HostBrushFromPixels, ERR_MEM>(),
    CatchingOutOfMemory<HostInstallDisplayAdapter, ERR_MEM>(),
    CatchingOutOfMemory<HostGetMonitors>(),
    HostFreeMonitors,
    CatchingOutOfMemory<HostLockBitMap>(),
    CatchingOutOfMemory<HostUnLockBitMap>(),
    HostFindDisplayByHandle,
    CatchingOutOfMemory<HostRefreshDisplayByHandle, ERR_MEM>(),
    CatchingOutOfMemory<HostGetDisplayHandle>(),
    CatchingOutOfMemory<HostCopyPixels>(),
    CatchingOutOfMemory<HostFillRect>(),
    CatchingOutOfMemory<HostFillRectRaw>(),
    CatchingOutOfMemory<HostDrawLine>(),
    CatchingOutOfMemory<HostReadBitMapPixels>(),
    QueryRawBitMapAttr,
    ConvertARGBToPixel,
    ConvertPixelToARGB,
    CatchingOutOfMemory<HostGetApplicationIcons>(),
    HostFreeApplicationIcons,
    HostGetAdapterDisplayAttrs,
};

// ---- Sound, requesters, fonts -----------------------------------------------------------------

qzAudioBase audioTable = {
    CatchingOutOfMemory<HostGetSampleData>(),
    HostFreeSampleData,
    CatchingOutOfMemory<HostInstallAudioAdapter, ERR_MEM>(),
};

qzRequesterBase requesterTable = {
    CatchingOutOfMemory<HostSystemRequest>(),
    CatchingOutOfMemory<HostFileRequest>(),
    CatchingOutOfMemory<HostPathRequest>(),
    CatchingOutOfMemory<HostInstallRequesterAdapter, ERR_MEM>(),
};

// Fonts: font files under a path, and the handles behind the vector-font ids of path buffers.
qzFontBase fontTable = {CatchingOutOfMemory<HostOpenFontFile>(), CatchingOutOfMemory<GetVectorFontHandle>()};

// The embedded TrueType faces, filled when the host API is installed (before any plugin loads).
qzInbuiltFonts inbuiltFonts = {{nullptr, nullptr, nullptr}, {0, 0, 0}};

qzHostApi hostApi = {
    6,
    0,
    GetHostCLibTable(),
    &sysTable,
    GetHostDosTable(),
    &gfxTable,
    &audioTable,
    &requesterTable,
    &fontTable,
    GetHostFtTable(),
    GetHostVmTable(),
    &inbuiltFonts,
    GetHostZTable(),
    GetHostJpegTable(),
    GetHostPluginTable(),
    GetHostEncodeTable(),
};

void RetainCachedSource(void* object) { RetainImageSource(static_cast<qzImageSource*>(object)); }
void ReleaseCachedSource(void* object) { FreeImageSource(static_cast<qzImageSource*>(object)); }

}  // namespace

qzHostApi* GetHostApi() { return &hostApi; }

void InstallHostApi() {
    int count = 0;
    const qzEmbeddedFace* faces = GetEmbeddedFaces(&count);
    for (int i = 0; i < 3 && i < count; i++) {
        inbuiltFonts.faces[i] = faces[i].data;
        inbuiltFonts.sizes[i] = faces[i].size;
    }
    SetPluginHostApi(&hostApi);
    SetVideoFromPixelsHook(CreateVideoBitMapFromPixels);
    SetImageCacheObjectRefs(RetainCachedSource, ReleaseCachedSource);
}

void RemoveHostApi() {
    SetImageCacheObjectRefs(nullptr, nullptr);
    SetVideoFromPixelsHook(nullptr);
    SetPluginHostApi(nullptr);
    GetHostCLibTable()->openNameOverride = nullptr;
}
