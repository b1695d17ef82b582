// A display-adapter plugin as the graphics core's display adapter.
#include "platform/plugin_display_adapter.h"

#include "base/pixel_format_codes.h"
#include "platform/display_adapter.h"

namespace {

qzDisplayAdapter adapter;
uint32_t installFlags = 0;

uint32_t PluginVideoCaps(uint32_t mask) { return QueryDisplayAdapterCaps(mask); }

}  // namespace

void UsePluginAsDisplayAdapter(const qzPluginInfo* info, uint32_t flags) {
    // The previous record is no longer handed out before it is filled again.
    SetDisplayAdapter(nullptr);
    adapter = qzDisplayAdapter();
    adapter.flags = info->displayFlags;
    adapter.pixelFormat = PIXFMT_ARGB32;
    adapter.drawCaps = info->drawCaps;
    adapter.AllocBitMap = info->AllocBitMap;
    adapter.FreeBitMap = info->FreeBitMap;
    adapter.LockBitMap = info->LockBitMap;
    adapter.UnLockBitMap = info->UnLockBitMap;
    adapter.GetBitMapAttr = info->GetBitMapAttr;
    adapter.AllocVideoBitMap = info->AllocVideoBitMap;
    adapter.FreeVideoBitMap = info->FreeVideoBitMap;
    adapter.DoVideoBitMapMethod = info->DoVideoBitMapMethod;
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
