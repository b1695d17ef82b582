// A display-adapter plugin as the active display adapter: its bitmap entry points and flags
// become the adapter that the graphics core sees (display_adapter.h).
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"

// Makes the plugin the active display adapter; install flags are kept with it (bit 0: the adapter
// may not be replaced). Colour bitmaps of an adapter that owns bitmaps are 32-bit ARGB.
void UsePluginAsDisplayAdapter(const qzPluginInfo* info, uint32_t installFlags);
// The install flags of the active plugin adapter, 0 when none.
uint32_t GetPluginDisplayAdapterFlags();
// Removes a plugin display adapter (the engine's own paths are used again); the second form only
// when it is that plugin.
void ClearPluginDisplayAdapter();
void ClearPluginDisplayAdapterOf(const qzPluginInfo* info);
// The video-bitmap features within mask that the active display adapter reports: feature bits 1,
// 2, 4, 8 as 4, 16, 64, 128, display flag 16 (video bitmaps) as 8 and flag 2 as 32; 0 without one.
uint32_t QueryDisplayAdapterCaps(uint32_t mask);
