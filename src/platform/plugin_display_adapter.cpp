// A display-adapter plugin as the graphics core's display adapter.
#include "platform/plugin_display_adapter.h"

#include "base/pixel_format_codes.h"
#include "platform/display_adapter.h"

namespace {

qzDisplayAdapter adapter;
uint32_t installFlags = 0;

uint32_t PluginVideoCaps(uint32_t mask) { return QueryDisplayAdapterCaps(mask); }

// The plugin usually installs itself from InitPlugin, before its entry points are resolved: each
// call reads the entry point from the information block when it is made.
const qzPluginInfo* Plugin() { return adapter.plugin; }

void* AllocBitMapThunk(int kind, int width, int height, int clear, const qzTagItem* tags) {
    return Plugin()->AllocBitMap ? Plugin()->AllocBitMap(kind, width, height, clear, tags) : nullptr;
}
void FreeBitMapThunk(void* handle) {
    if (Plugin()->FreeBitMap) Plugin()->FreeBitMap(handle);
}
intptr_t LockBitMapThunk(void* handle, int readOnly, intptr_t* out, const qzTagItem* tags) {
    return Plugin()->LockBitMap ? Plugin()->LockBitMap(handle, readOnly, out, tags) : 0;
}
void UnLockBitMapThunk(intptr_t lock) {
    if (Plugin()->UnLockBitMap) Plugin()->UnLockBitMap(lock);
}
intptr_t GetBitMapAttrThunk(void* handle, int attr, const qzTagItem* tags) {
    return Plugin()->GetBitMapAttr ? Plugin()->GetBitMapAttr(handle, attr, tags) : 0;
}
void* AllocVideoBitMapThunk(int width, int height, uint32_t flags, int32_t* prepared, const qzTagItem* tags) {
    return Plugin()->AllocVideoBitMap ? Plugin()->AllocVideoBitMap(width, height, flags, prepared, tags) : nullptr;
}
void FreeVideoBitMapThunk(void* handle) {
    if (Plugin()->FreeVideoBitMap) Plugin()->FreeVideoBitMap(handle);
}
intptr_t DoVideoBitMapMethodThunk(void* handle, int method, intptr_t argument) {
    return Plugin()->DoVideoBitMapMethod ? Plugin()->DoVideoBitMapMethod(handle, method, argument) : 0;
}

}  // namespace

void UsePluginAsDisplayAdapter(const qzPluginInfo* info, uint32_t flags) {
    // The previous record is no longer handed out before it is filled again.
    SetDisplayAdapter(nullptr);
    adapter = qzDisplayAdapter();
    adapter.flags = info->displayFlags;
    adapter.pixelFormat = PIXFMT_ARGB32;
    adapter.drawCaps = info->drawCaps;
    adapter.AllocBitMap = AllocBitMapThunk;
    adapter.FreeBitMap = FreeBitMapThunk;
    adapter.LockBitMap = LockBitMapThunk;
    adapter.UnLockBitMap = UnLockBitMapThunk;
    adapter.GetBitMapAttr = GetBitMapAttrThunk;
    adapter.AllocVideoBitMap = AllocVideoBitMapThunk;
    adapter.FreeVideoBitMap = FreeVideoBitMapThunk;
    adapter.DoVideoBitMapMethod = DoVideoBitMapMethodThunk;
    adapter.QueryVideoCaps = PluginVideoCaps;
    adapter.plugin = info;
    installFlags = flags;
    SetDisplayAdapter(&adapter);
}

uint32_t GetPluginDisplayAdapterFlags() {
    const qzDisplayAdapter* active = GetDisplayAdapter();
    return active && active->plugin ? installFlags : 0;
}

void ClearPluginDisplayAdapter() {
    const qzDisplayAdapter* active = GetDisplayAdapter();
    if (active && active->plugin) SetDisplayAdapter(nullptr);
    installFlags = 0;
}

void ClearPluginDisplayAdapterOf(const qzPluginInfo* info) {
    const qzDisplayAdapter* active = GetDisplayAdapter();
    if (active && active->plugin == info) ClearPluginDisplayAdapter();
}

uint32_t QueryDisplayAdapterCaps(uint32_t mask) {
    const qzDisplayAdapter* active = GetDisplayAdapter();
    if (!active || !active->plugin) return 0;
    const qzPluginInfo* info = active->plugin;
    uint32_t caps = 0;
    if (info->displayFeatures & 1) caps |= 4;
    if (info->displayFeatures & 2) caps |= 16;
    if (info->displayFeatures & 4) caps |= 64;
    if (info->displayFeatures & 8) caps |= 128;
    if (info->displayFlags & 16) caps |= 8;
    if (info->displayFlags & 2) caps |= 32;
    return caps & mask;
}
