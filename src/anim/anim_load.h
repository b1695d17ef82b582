// Making anims: from an anim file (its frames decoded at once, or on demand for a disk anim),
// from a picture file or a brush cut into a grid of frames, and from single frames of a file.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzAnim;
struct qzBitMap;

struct qzAnimLoadOptions {
    const char* file = nullptr;
    int32_t transparentColor = -1;  // key colour 0xRRGGBB of the masks, -1 none
    int loadAlpha = 0;
    int loadTransparency = 0;
    int32_t x = 0, y = 0;           // grid origin
    int32_t width = 0, height = 0;  // frame size of a grid
    int32_t fpr = 0;                // frames per row of a grid (0: all in one row)
    int32_t frames = 0;             // frame count of a grid: the file is then read as a picture
    int fromDisk = 0;
    int32_t deinterlace = 0;
    const char* loaders = nullptr;   // "|"-separated loader list, null: all
    const char* adapters = nullptr;  // "|"-separated file-adapter list, null: all
    int skipLoopFrames = 0;          // drop the two frames that repeat the first two at the end
    // While objects are preloaded: keep a picture in the image cache under this name (with its
    // alpha channel when cacheAlpha, which the anim then does not get), or take the picture from
    // the cache under this name instead of reading the file (a name the cache does not hold, or
    // holds without the alpha channel asked for, is read from the file). Null: not asked for.
    const char* cache = nullptr;
    const char* cachedLoad = nullptr;
    int cacheAlpha = 0;
};

// The grid of frames to cut out of a picture or brush.
struct qzAnimGrid {
    int32_t x, y;           // origin
    int32_t width, height;  // frame size
    int32_t frames;
    int32_t fpr;  // frames per row; 0 or less: all frames in one row
};

// Loads the file as an anim under id (an existing anim of a numeric id is freed first; only
// ERR_LOCKEDOBJ and ERR_MODIFYAANIM stop the load then): an anim file as an anim (disk-based
// when asked), else a picture, cut into a grid when "frames" asks. While objects are preloaded
// (runtime attribute QZ_RTA_PRELOADING) pictures go through the image cache as the options ask.
// 0 with *out set, or an error: ERR_WRONGUSAGE also for skipLoopFrames on a source of fewer than
// three frames, ERR_NOALPHA for loadAlpha on a source without alpha; a failed load leaves nothing
// behind.
int LoadAnimFile(VmState* state, const qzObjectId& id, const qzAnimLoadOptions& options, qzAnim** out);
// The checks of the options that every load makes first: ERR_WRONGUSAGE or ERR_MASKNALPHA for
// options that exclude each other, else 0.
int CheckAnimLoadOptions(const qzAnimLoadOptions& options);
// LoadAnimFile without the progress line, without freeing an earlier anim of the identifier and
// without the image cache (PlayAnimDisk's load under an automatic identifier).
int LoadAnimFileQuietly(VmState* state, const qzObjectId& id, const qzAnimLoadOptions& options, qzAnim** out);
// Cuts the grid out of the bitmaps (width x height; mask and alpha may be null) into a new anim
// under id. 0 with *out set, ERR_WRONGUSAGE, ERR_NEGCOORDS, ERR_BRUSHSIZE, or a bitmap error.
int CreateAnimFromBitmaps(const qzObjectId& id, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha,
                          int32_t width, int32_t height, const qzAnimGrid* grid, int32_t transparentColor,
                          qzAnim** out);
// Decodes frame (1-based; -1 the last) of an anim file into new bitmaps (alpha when loadAlpha or
// the frame has a transparent pen). 0, ERR_ANIMFRAME, ERR_LOADFRAME, ERR_NOTRANSPARENCY, a bitmap
// error, or the open's error.
int LoadAnimFileFrame(const qzAnimLoadOptions& options, int32_t frame, qzBitMap** bitmap, qzBitMap** mask,
                      qzBitMap** alpha, int32_t* width, int32_t* height);
