// Loading a brush from an image file through the image loaders (plugins first, the player's own
// loader last), with its options: transparency by key colour or alpha channel, a global alpha
// level, a part of the image, a size to load at, and the hardware choice.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBrush;

struct qzLoadBrushOptions {
    const char* file = nullptr;
    const char* loaderList = nullptr;
    const char* adapterList = nullptr;
    int32_t transparentColor = -1;  // key colour 0xRRGGBB, -1 none
    int loadAlpha = 0;
    int loadTransparency = 0;
    int32_t globalAlpha = -1;                     // 0..255, -1 none
    int32_t x = 0, y = 0, width = 0, height = 0;  // the part; 0 sizes: the rest of the image
    int hardware = 0;
    int32_t scaleWidth = 0, scaleHeight = 0;  // 0: the image's size; negative: that many percent
    int smooth = 0;
    qzObjectId display = {0, nullptr};
    // Handed to the image loader as they are: the key colour a one-plane picture is drawn in (-1
    // none) and the transparency mode it is asked for (0: from loadAlpha and loadTransparency).
    int32_t loaderKeyColor = -1;
    int32_t loaderMode = 0;
    // While objects are preloaded: keep the loaded image in the image cache under this name (with
    // its alpha channel when cacheAlpha, which then is not attached to this brush), or take the
    // image from the cache under this name instead of opening the file (a name the cache does not
    // hold is read from the file). Null: not asked for.
    const char* cache = nullptr;
    const char* cachedLoad = nullptr;
    int cacheAlpha = 0;
};

// Loads the image and appends the brush under id (an existing brush of a numeric id is freed
// first). Prints the "Loading brush" progress line. While objects are preloaded (runtime attribute
// QZ_RTA_PRELOADING) no colour bitmap is made: the brush keeps the image and the part, and gets its
// bitmaps when a display opens or at its first use. 0 with *out set, or an error: ERR_WRONGUSAGE
// or ERR_MASKNALPHA for options that exclude each other, ERR_NEGCOORDS, ERR_COORDSRANGE,
// ERR_BRUSHTYPE for a part of a vector image, the loader's error, or a bitmap error.
int LoadBrushFile(VmState* state, const qzObjectId& id, const qzLoadBrushOptions& options, qzBrush** out);
