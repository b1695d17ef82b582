// The brush services of the plugin host API: a raster brush's colour bitmap locked for a plugin,
// its pixels read as ARGB, and a new brush made from ARGB pixels. Main thread only.
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"

struct VmState;

// The brush's colour bitmap locked for reading and writing, after layers that show it got their
// own copy; null for a missing, locked, vector or hardware brush. Unlocked by HostUnLockBitMap.
void* HostLockBrushBitMap(VmState* state, const qzPluginObjectId* id, qzPluginLock* out);
// The brush's pixels as 0xAARRGGBB, rows packed, alpha from its alpha channel, else from its mask
// (255 or 0), else 255 (OsAlloc'd); null for a missing, vector or hardware brush or no memory.
uint32_t* HostGetBrushPixels(VmState* state, const qzPluginObjectId* id, int* width, int* height);
// A new brush from 0xAARRGGBB pixels (rowLength pixels a row): under a number (a brush of that
// number is freed first) or under the automatic id, whose handle then goes to *id. With tag
// QZ_BRUSHPIXTAG_ALPHA non-zero it gets an alpha channel from AA. 0, ERR_WRONGUSAGE for a missing
// argument, a handle or a row length below the width, ERR_BADDIMENSIONS, ERR_BITMAP,
// ERR_ALLOCALPHA, ERR_LOCKBMAP or ERR_MEM.
int HostCreateBrushFromPixels(VmState* state, qzPluginObjectId* id, const uint32_t* pixels, int width, int height,
                              int rowLength, const qzTagItem* tags);
