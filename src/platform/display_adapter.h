// The display adapter as the bitmap and drawing code sees it: the flags and pixel format of a
// display-adapter plugin and the entry points through which such a plugin owns bitmaps and video
// bitmaps. GetDisplayAdapter() is null until a display-adapter plugin is loaded; every caller then
// takes the engine's own paths. A null entry point answers 0 (a plugin whose entry points must not
// be called is installed with null entries).
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"

// An item of a tag list handed to adapter entry points; the list ends with tag 0.
typedef qzTagItem qzAdapterTag;

// Adapter flags word.
enum {
    ADAPTERF_VIDEOBITMAPS = 16,    // offers video (hardware) bitmaps
    ADAPTERF_OWNSBITMAPS = 32,     // owns every bitmap, also alpha channels and masks
    ADAPTERF_INVERTEDALPHA = 128,  // wants colours with inverted alpha
};

// Drawing-capability word: operations the adapter draws itself.
enum {
    ADAPTERCAP_BLIT = 1,
    ADAPTERCAP_MASKEDBLIT = 2,
    ADAPTERCAP_ALPHABLIT = 4,
    ADAPTERCAP_RECTFILL = 8,
    ADAPTERCAP_WRITEPIXEL = 16,
    ADAPTERCAP_LINE = 32,
};

// The rectangle block handed to the adapter's BltBitMap: source and destination position, size,
// three zero words, and the handles of the mask (masked blits) and of the alpha channel (alpha
// blits), else null.
struct qzBlitRect {
    int32_t sx, sy;
    int32_t dx, dy;
    int32_t width, height;
    int32_t reserved[3];
    void* mask;
    void* alpha;
};

// Words of the record that the adapter's LockBitMap fills.
enum {
    ADAPTERLOCK_PIXELS = 0,
    ADAPTERLOCK_ROWLENGTH = 1,
    ADAPTERLOCK_WIDTH = 4,
    ADAPTERLOCK_HEIGHT = 5,
    ADAPTERLOCK_WORDS = 8,
};

struct qzDisplayAdapter {
    uint32_t flags;
    int32_t pixelFormat;  // format of the adapter's colour bitmaps
    uint32_t drawCaps;
    // kind 0 colour, 1 alpha channel, 2 mask; tags 1 friend handle, 2 caller memory, 3 bytes per row.
    void* (*AllocBitMap)(int kind, int width, int height, int clear, const qzAdapterTag* tags);
    void (*FreeBitMap)(void* handle);
    // Fills `out` (ADAPTERLOCK_WORDS words); returns the lock handle, 0 on failure.
    intptr_t (*LockBitMap)(void* handle, int readOnly, intptr_t* out, const qzAdapterTag* tags);
    void (*UnLockBitMap)(intptr_t lock);
    intptr_t (*GetBitMapAttr)(void* handle, int attr, const qzAdapterTag* tags);
    void* (*AllocVideoBitMap)(int width, int height, uint32_t flags, int32_t* prepared, const qzAdapterTag* tags);
    void (*FreeVideoBitMap)(void* handle);
    intptr_t (*DoVideoBitMapMethod)(void* handle, int method, intptr_t argument);
    // The subset of `mask` of video-bitmap features the adapter offers.
    uint32_t (*QueryVideoCaps)(uint32_t mask);
    // Drawing into the adapter's bitmaps (drawCaps says which it offers, video destinations use
    // them always). Handles are the bitmaps' storage handles; the flag words are the drawing
    // primitives' (gfx/blit.h); flag4 is flags & 4.
    int (*BltBitMap)(void* source, void* destination, const qzBlitRect* block, uint32_t flags);
    int (*RectFill)(void* handle, int x, int y, int width, int height, uint32_t colour, uint32_t flags);
    int (*WritePixel)(void* handle, int x, int y, uint32_t colour, uint32_t flags, int flag4);
    int (*Line)(void* handle, int x1, int y1, int x2, int y2, uint32_t colour, uint32_t flags);
    // The information block of the display-adapter plugin, whose other entry points (displays,
    // events, pointers, drawing) the display code calls; null for an adapter that is no plugin.
    const qzPluginInfo* plugin;
};

// The active display adapter, or null when none is loaded. Any thread may read it.
const qzDisplayAdapter* GetDisplayAdapter();
// Installs (or, with null, removes) the active display adapter.
void SetDisplayAdapter(const qzDisplayAdapter* adapter);

inline bool AdapterOwnsBitMaps() {
    const qzDisplayAdapter* a = GetDisplayAdapter();
    return a && (a->flags & ADAPTERF_OWNSBITMAPS);
}

inline bool AdapterOffersVideoBitMaps() {
    const qzDisplayAdapter* a = GetDisplayAdapter();
    return a && (a->flags & ADAPTERF_VIDEOBITMAPS);
}
