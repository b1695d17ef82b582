// Loading a background picture from an image file through the image loaders: a key colour or an
// alpha channel for transparency, a fill that a transparent picture is flattened onto, a palette
// for palette-based images, and a size to load at.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "display/picture.h"

struct VmState;

struct qzLoadBGPicOptions {
    const char* file = nullptr;
    const char* loaderList = nullptr;
    const char* adapterList = nullptr;
    int32_t transparentColor = -1;  // key colour 0xRRGGBB, -1 none
    int loadAlpha = 0;
    int loadTransparency = 0;
    qzPictureFill fill;      // style QZ_FILLNONE: kept transparent
    int32_t scaleWidth = 0;  // 0: the image's size; negative: that many percent
    int32_t scaleHeight = 0;
    int smooth = 0;
    const uint32_t* palette = nullptr;  // 256 colours, or null
};

// Loads the image and appends the picture under id (an existing picture of a numeric id is freed
// first). Prints the "Loading background picture" progress line. 0 with *out set, or an error:
// ERR_WRONGUSAGE or ERR_MASKNALPHA for options that exclude each other, ERR_MODIFYABGPIC when the
// old picture of the id is being drawn into, the loader's error, the texture brush's lookup
// error, or a bitmap error. A vector image keeps its source and is drawn again at any size.
int LoadBGPicFile(VmState* state, const qzObjectId& id, const qzLoadBGPicOptions& options, qzBGPic** out);
