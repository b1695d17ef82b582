// Brush objects: script-owned images (a colour bitmap with an optional 1-bit mask or 8-bit alpha
// channel, or a vector image rendered on demand). The brush record and its list, the lookup every
// brush command uses, creation, copies and destruction, the lazy free of brushes that layers still
// show, and hardware brushes (bitmaps in a display adapter's memory). Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzBitMap;
struct qzDisplay;
struct qzPluginInfo;
struct qzImageSource;

constexpr int32_t QZ_TYPE_BRUSH_KIND = 3;
constexpr int32_t QZ_NOTRANSPARENCY = -1;
// The key colour a mask made by CreateBrush carries.
constexpr int32_t QZ_BLANKBRUSH_KEY = 0xAFC0DE;

enum { QZ_IMAGETYPE_RASTER = 0, QZ_IMAGETYPE_VECTOR = 1 };

// hardwareflags bits.
enum { QZ_HWBRUSH_MASK = 1, QZ_HWBRUSH_ALPHA = 2 };

struct qzBrush {
    qzObjectHeader header;  // type 3, id, object data, next
    qzImageSource* source;  // the loader's pixels: vector brushes, and brushes that make their bitmaps on first use
    qzBitMap* bitmap;       // null while deferred or while a hardware brush is parked
    qzBitMap* mask;
    qzBitMap* alpha;
    int32_t width;
    int32_t height;
    int32_t sourcestride;
    int32_t locked;
    int32_t layeronly;  // freed by the script, still shown by layers
    int32_t transparentcolor;
    int32_t transformedvector;
    int32_t type;  // QZ_IMAGETYPE_*
    int32_t srcx, srcy, srcwidth, srcheight;
    // Hardware binding.
    int32_t hardware;
    uint32_t hardwareflags;
    qzObjectId displayid;
    qzDisplay* display;
    uint32_t* savedpixels;  // ARGB copy of a hardware brush while its display is closed
    // What decoded the image: the image plugin, or null for the built-in loader, whose value
    // says whether the system codecs did (1) or its own readers (0).
    const qzPluginInfo* loader;
    uint32_t loaderinfo;
};

// FindBrush flags.
enum {
    QZ_FINDBRUSH_MODIFY = 1,
    QZ_FINDBRUSH_LAYERONLY = 2,
    QZ_FINDBRUSH_NODETACH = 4,
    QZ_FINDBRUSH_NOVECTOR = 8,
    QZ_FINDBRUSH_HARDWARE = 16,
};

// The brush list in creation order.
qzBrush* FirstBrush();
qzObjectHeader** BrushListHead();
inline qzBrush* NextBrush(const qzBrush* brush) { return reinterpret_cast<qzBrush*>(brush->header.next); }

// Looks a brush up (flags QZ_FINDBRUSH_*). 0 with *out set; ERR_FINDARRAY for a handle,
// ERR_FINDBRUSH with the number as error argument, ERR_LOCKEDOBJ, ERR_BRUSHTYPE, ERR_HWBRUSH, or
// the error of making the layers' private copy. A deferred brush gets its bitmaps here.
int FindBrush(VmState* state, const qzObjectId& id, qzBrush** out, int flags);
// FindBrush for a command: the command fails (VmFailCommand) with FindBrush's error. The index
// form reads the identifier from the argument at index first (GetObjectIdArg).
qzBrush* CheckBrush(VmState* state, const qzObjectId& id, int flags);
qzBrush* CheckBrush(VmState* state, int index, int flags);

// Appends a new record holding the given parts (owned from now on). 0 or ERR_MEM (the parts are
// then left to the caller).
int AddBrush(const qzObjectId& id, int32_t type, int32_t width, int32_t height, int32_t sourcestride,
             int32_t transformedvector, qzImageSource* source, qzBitMap* bitmap, int32_t transparentcolor,
             qzBitMap* mask, qzBitMap* alpha, const qzObjectId* displayid, qzBrush** out);

// A new brush of width x height filled with the colour (0xRRGGBB): with a mask (all visible unless
// clear) or an alpha channel (255 unless clear); nofill leaves the colour pixels undefined. Asked
// for hardware, it is made in the display adapter's memory where the adapter offers that.
// 0, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA, ERR_MEM.
int CreateBlankBrush(const qzObjectId& id, int32_t width, int32_t height, uint32_t color, int withMask, int withAlpha,
                     int clear, int nofill, int hardware, const qzObjectId* displayid, qzBrush** out);

// A new brush under newId with copies of the brush's bitmaps, source reference, object data,
// transparent colour and loader value. 0 or the copy's error.
int CopyBrushRecord(VmState* state, const qzBrush* brush, const qzObjectId& newId, int hardware,
                    const qzObjectId* displayid, qzBrush** out);

// Frees the brush of the identifier; one that layers still show only gives up its identifier.
// ERR_MODIFYABR while it is the selected output; a missing brush is an error only with
// reportNotFound.
int DeleteBrush(VmState* state, const qzObjectId& id, int reportNotFound);
// Frees an existing brush of a numeric identifier before the identifier is used again.
void FreeBrushForReuse(VmState* state, const qzObjectId& id);

// Replaces the brush's bitmaps with new ones (the old ones are freed) and sets the new size. A
// hardware brush whose new bitmap is not a video bitmap loses its hardware binding.
void ReplaceBrushBitmaps(qzBrush* brush, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int32_t width,
                         int32_t height);

// 1 when the current output (a selected brush, its mask or alpha channel) is this brush.
int BrushIsSelectedOutput(const qzBrush* brush);

// Destroys every brush that the script freed and that no layer shows any more.
void FreeOrphanedBrushes(VmState* state);
// 1 when a layer of any picture shows the brush (as a whole or a part).
int LayersShowBrush(const qzBrush* brush);
// Destroys every brush (shutdown).
void FreeAllBrushes(VmState* state);

// Makes the bitmaps of every brush that has none (deferred brushes, parked hardware brushes).
int RecreateBrushBitmaps(VmState* state, int forceSoftware, int keepHardware);
// Makes the colour bitmap and mask of one deferred brush from its part of the source (the alpha
// channel was made at load time); a raster brush then lets the source go. 0 or ERR_BITMAP,
// ERR_ALLOCMASK.
int PrepareBrushBitmaps(qzBrush* brush);

// Hardware brushes of a display that closes, opens again, or is freed.
int SaveDisplayHardwareBrushes(qzDisplay* display);
int RestoreDisplayHardwareBrushes(qzDisplay* display);
void FreeDisplayHardwareBrushes(VmState* state, qzDisplay* display);

// New bitmaps with the pixels of a brush (its mask and alpha channel copied too), owned by the
// caller; a hardware brush is read back. 0, ERR_VECTORBRUSH, the lookup's error, or the copy's
// (ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA).
int GetBrushARGB(VmState* state, const qzObjectId& id, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha,
                 int32_t* outWidth, int32_t* outHeight);

// A raster brush's own bitmaps (not copies): 1 with the outputs filled, 0 for a missing,
// hardware or vector brush.
int GetBrushBitmapsById(const qzObjectId& id, qzBitMap** bitmap, qzBitMap** mask, qzBitMap** alpha, int32_t* width,
                        int32_t* height);
