// Anim objects: a sequence of equally sized frames (a colour bitmap with an optional mask and
// alpha channel each) with a delay per frame. A memory anim holds its frames; a disk anim keeps
// its frame source open and decodes a frame whenever one is asked for. The anim list, lookups,
// frame access, changing the frame count, copies, and freeing while layers still show an anim.
// Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzBitMap;
struct qzAnimSource;

constexpr int32_t QZ_TYPE_ANIM_KIND = 4;
// A delay that was never set.
constexpr uint32_t QZ_ANIM_NODELAY = 0xFFFFFFFF;

enum { QZ_DEINTERLACE_DEFAULT = 0, QZ_DEINTERLACE_DOUBLE = 1 };

struct qzAnim {
    qzObjectHeader header;                // type 4, id, object data, next
    int32_t width, height;                // the size frames are delivered at
    int32_t frames;                       // at least 1
    int32_t disk;                         // frames decoded from the source on demand
    int32_t naturalWidth, naturalHeight;  // the size of the stored or decoded frames
    int32_t smooth;                       // scaling from natural to current size interpolates
    int32_t locked;                       // playbacks running on the anim
    int32_t layeronly;                    // freed by the script, still shown by layers
    int32_t transparentcolor;             // key colour 0xRRGGBB of the masks, -1 none
    int32_t loadalpha;                    // frames get an alpha channel from the decoded pixels
    int32_t loadtransparency;             // each frame must carry a transparent pen
    int32_t deinterlace;
    qzAnimSource* source;  // open for disk anims
    // Per frame, null for disk anims.
    qzBitMap** bitmaps;
    qzBitMap** masks;
    qzBitMap** alphas;
    uint32_t* delays;  // per frame, milliseconds; QZ_ANIM_NODELAY when not set
    char* file;        // disk anims: the file reopened by copies
    char* loaders;     // disk anims: the name of the loader that opened the file, and the adapter list
    char* adapters;
    // Disk anims: per frame, the frames decoded for the layers that show them (null for the
    // others); a frame goes once no layer shows it.
    qzBitMap** shownBitmaps;
    qzBitMap** shownMasks;
    qzBitMap** shownAlphas;
};

// FindAnim flags.
enum { QZ_FINDANIM_MODIFY = 1, QZ_FINDANIM_LAYERONLY = 2, QZ_FINDANIM_NODETACH = 4 };

qzAnim* FirstAnim();
qzObjectHeader** AnimListHead();
inline qzAnim* NextAnim(const qzAnim* anim) { return reinterpret_cast<qzAnim*>(anim->header.next); }

// Looks an anim up. 0 with *out set; ERR_FINDARRAY for a handle, ERR_FINDANIM with the number as
// error argument, ERR_LOCKEDOBJ for a locked anim looked up for modification, or the error of
// giving the layers that show it their own copy (unless QZ_FINDANIM_NODETACH).
int FindAnim(VmState* state, const qzObjectId& id, qzAnim** out, int flags);
// FindAnim for a command: the command fails with FindAnim's error.
qzAnim* CheckAnim(VmState* state, int index, int flags);

// Appends a new anim that takes over the arrays (memory anims: frames entries each; any of masks
// and alphas may hold nulls) with every delay unset. 0 or ERR_MEM (the arrays are then the
// caller's).
int AddAnimObject(const qzObjectId& id, int32_t width, int32_t height, qzBitMap** bitmaps, qzBitMap** masks,
                  qzBitMap** alphas, int32_t frames, int32_t transparentcolor, int32_t loadalpha, int32_t disk,
                  qzAnim** out);
// A new memory anim of frames frames of width x height filled with the colour (0xRRGGBB), each
// with a mask (visible unless clear) or an alpha channel (255 unless clear) when asked. 0,
// ERR_WRONGUSAGE, ERR_MEM, ERR_BITMAP, ERR_ALLOCMASK or ERR_ALLOCALPHA.
int CreateBlankAnim(const qzObjectId& id, int32_t width, int32_t height, int32_t frames, uint32_t color, int withMask,
                    int withAlpha, int clear, qzAnim** out);
// Frees four per-frame arrays and what they hold (any may be null).
void FreeAnimFrameArrays(qzBitMap** bitmaps, qzBitMap** masks, qzBitMap** alphas, int32_t count);

// The bitmaps of a frame (0-based) at the anim's current size (unscaled: at its natural size).
// A memory anim hands out its own bitmaps unless copy asks for new ones; a disk anim always
// decodes new ones. *owned tells whether the caller frees them. 0, ERR_ANIMFRAME, ERR_LOADFRAME,
// ERR_NOTRANSPARENCY, ERR_ALLOCALPHA, or a bitmap error.
int GetAnimFrameBitmaps(qzAnim* anim, int32_t index, int copy, int unscaled, qzBitMap** bitmap, qzBitMap** mask,
                        qzBitMap** alpha, int* owned);
// Frees the frames a disk anim decoded for its layers.
void FreeShownFrames(qzAnim* anim);
// Frees bitmaps that GetAnimFrameBitmaps handed out as owned.
void FreeAnimFrameBitmaps(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha);
// The frame's delay in milliseconds: the one set, else a disk anim's source delay, else 0.
uint32_t GetAnimFrameDelay(const qzAnim* anim, int32_t index);

// Frees the anim of the identifier (one that layers show only gives up its identifier).
// ERR_MODIFYAANIM while a frame of it is the selected output, ERR_LOCKEDOBJ while it plays; a
// missing anim is an error only when strict.
int FreeAnimObject(VmState* state, const qzObjectId& id, int strict);
// Frees every anim the script freed and no layer shows any more.
void FreeOrphanedAnims(VmState* state);
// Frees every anim (shutdown).
void FreeAllAnims(VmState* state);

// Adds (delta > 0) or removes (delta < 0) frames at the 1-based position (0: at the end). New
// frames are black, with a visible mask or an opaque alpha channel when the first frame has one.
// 0, ERR_ANIMDISK, ERR_WRONGUSAGE, ERR_MEM, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA or the
// lookup's error; on an error the anim is as it was.
int ModifyAnimFrames(VmState* state, const qzObjectId& id, int32_t delta, int32_t position, int forLayers);
// Where frame index (0-based) of an anim stands after ModifyAnimFrames(delta, position) with the
// old frame count; -1 when it was removed.
int32_t FrameAfterModify(int32_t index, int32_t count, int32_t delta, int32_t position);
// A copy of the anim under newId (a disk anim reopens its file). 0 or an error.
int DuplicateAnim(VmState* state, const qzAnim* anim, const qzObjectId& newId, qzAnim** out);
// Scales every frame of a memory anim, or sets the delivered size of a disk anim. 0 or an error
// (the anim keeps its frames and size then).
int ScaleAnimFrames(qzAnim* anim, int32_t width, int32_t height, int smooth);
