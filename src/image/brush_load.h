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
    int32_t globalAlpha = -1;  // 0..255, -1 none
    int32_t x = 0, y = 0, width = 0, height = 0;  // the part; 0 sizes: the rest of the image
    int hardware = 0;
    int32_t scaleWidth = 0, scaleHeight = 0;  // 0: the image's size; negative: that many percent
    int smooth = 0;
    qzObjectId display = {0, nullptr};
};

// Loads the image and appends the brush under id (an existing brush of a numeric id is freed
// first). Prints the "Loading brush" progress line. 0 with *out set, or an error: ERR_WRONGUSAGE
// or ERR_MASKNALPHA for options that exclude each other, ERR_NEGCOORDS, ERR_COORDSRANGE,
// ERR_BRUSHTYPE for a part of a vector image, the loader's error, or a bitmap error.
int LoadBrushFile(VmState* state, const qzObjectId& id, const qzLoadBrushOptions& options, qzBrush** out);
