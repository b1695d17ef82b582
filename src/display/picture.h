// Background pictures as displays use them: the picture record and its list, making a picture,
// looking one up, deleting it (lazily while a display or layer still shows it), scaling it, and
// the display buffers built from it. Every display shows exactly one background picture.
#pragma once

#include <cstdint>

#include "base/double_list.h"
#include "base/object_id.h"
#include "runtime/applet_records.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzBitMap;
struct qzDisplay;
struct qzImageSource;
struct qzPluginInfo;

constexpr int32_t QZ_TYPE_BGPIC = 1;

// Fill styles.
enum { QZ_FILLNONE = 0, QZ_FILLCOLOR = 1, QZ_FILLGRADIENT = 2, QZ_FILLTEXTURE = 3 };

// How a picture (or a display's own picture) is painted: a colour, a gradient or a tiled brush.
struct qzPictureFill {
    int32_t style = QZ_FILLNONE;
    uint32_t color = 0;
    qzGradient gradient;
    qzObjectId textureBrush = {0, nullptr};
    qzBitMap* texture = nullptr;  // private copy of the texture brush's bitmap, made on first use
    int32_t textureX = 0;
    int32_t textureY = 0;
    int32_t textureWidth = 0;
    int32_t textureHeight = 0;
    int32_t valid = 0;
};

// Picture types.
enum { QZ_PICTURE_RASTER = 0, QZ_PICTURE_GENERATED = 1 };

struct qzBGPic {
    qzObjectHeader header = {QZ_TYPE_BGPIC, {0, nullptr}, nullptr, nullptr};
    qzImageSource* source = nullptr;  // the loader's pixels, kept until bitmaps can be made
    // Current copy (what a display shows), scaled copy (ScaleBGPic) and original. A copy never
    // made separately is the same bitmap as the next one down.
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    qzBitMap* scaledBitmap = nullptr;
    qzBitMap* scaledMask = nullptr;
    qzBitMap* scaledAlpha = nullptr;
    qzBitMap* origBitmap = nullptr;
    qzBitMap* origMask = nullptr;
    qzBitMap* origAlpha = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t scaledWidth = 0;  // the size scripts see
    int32_t scaledHeight = 0;
    int32_t origWidth = 0;
    int32_t origHeight = 0;
    int32_t sourceStride = 0;
    int32_t transparentColor = -1;
    uint32_t* palette = nullptr;
    qzDoubleList layers;        // the layer list
    int32_t layersChanged = 0;  // set by every insertion and removal of a layer
    void* sprites = nullptr;    // on-screen sprites
    int32_t locked = 0;
    int32_t layerOnly = 0;  // freed by the script, still shown by a display or layers
    void* buttons = nullptr;
    int32_t selectTarget[3] = {0, 0, 0};  // as a select record: kind, frame (0-based), unused
    void* selectLayer = nullptr;          // as a select record of a layer: the layer (qzLayer)
    int32_t modified = 0;
    void* clipRegion = nullptr;
    qzPictureFill fill;
    int32_t type = QZ_PICTURE_RASTER;
    // What decoded the image: the image plugin, or null for the built-in loader, whose value
    // says whether the system codecs did (1) or its own readers (0).
    const qzPluginInfo* loader = nullptr;
    uint32_t loaderInfo = 0;
};

// FindBGPic flags.
enum { QZ_FINDPIC_MODIFY = 1, QZ_FINDPIC_LAYERONLY = 2, QZ_FINDPIC_NODETACH = 4 };

// The picture list (registered as the list of type 1).
qzBGPic* FirstBGPic();
qzObjectHeader** BGPicListHead();

// Makes a picture and appends it: all three copies start as the given bitmaps and the source (all
// owned from now on), all three sizes as width x height. 0 with *out set, or ERR_MEM (the bitmaps
// and the source are then freed).
int AddBGPic(const qzObjectId& id, int32_t type, int32_t width, int32_t height, qzImageSource* source, qzBitMap* bitmap,
             qzBitMap* mask, qzBitMap* alpha, const qzPictureFill* fill, qzBGPic** out);
// A picture of a bitmap filled with the colour and the fill {colour, valid}. 0, ERR_BITMAP, ERR_MEM.
int CreateBlankBGPic(const qzObjectId& id, int32_t width, int32_t height, uint32_t color, qzBGPic** out);
// Looks a picture up. 0; ERR_FINDARRAY for a handle, ERR_FINDBGPIC with the number; ERR_LOCKEDOBJ
// when modifying a locked picture.
int FindBGPic(VmState* state, const qzObjectId& id, qzBGPic** out, int flags);
// FindBGPic for a command: the picture, or the command fails (VmFailCommand) with FindBGPic's
// error. The index form reads the identifier argument first.
qzBGPic* CheckBGPic(VmState* state, const qzObjectId& id, int flags);
qzBGPic* CheckBGPic(VmState* state, int index, int flags);
// A new picture under newId with copies of the picture's bitmaps (each distinct copy once), its
// texture, palette and object data; type, fill, transparent colour and loader value are kept, and
// a generated picture shares its source. 0, ERR_BITMAP, ERR_MEM.
int CopyBGPicRecord(VmState* state, const qzBGPic* pic, const qzObjectId& newId, qzBGPic** out);
// Gives the layers that show the picture a private copy (freed by the script, shown by layers
// only), so that what they show stays as it is when the picture changes. 0 or the copy's error.
int DetachPictureFromLayers(VmState* state, qzBGPic* pic);
// 1 when drawing is redirected into the picture: its bitmap, mask or alpha channel is selected,
// or layers are being inserted into it.
int IsPictureSelectedForDrawing(const qzBGPic* pic);
// Deletes a picture: refused with ERR_MODIFYABGPIC while drawing is redirected into it; a picture
// that a display or a layer shows only gives up its identifier. With reportNotFound 0 a missing
// picture is no error.
int DeleteBGPic(VmState* state, const qzObjectId& id, int reportNotFound);
// Destroys every picture that was freed by the script and that neither a layer nor a display
// shows any more.
void FreeOrphanedBGPics(VmState* state);
// Destroys every picture (shutdown).
void FreeAllBGPics(VmState* state);

// Paints width x height pixels with a fill: a bitmap, or the ARGB pixels of an image source. A
// texture fill finds its brush unless keepTexture and a copy exists. 0 or the brush lookup's error.
int RenderBackfill(VmState* state, qzPictureFill* fill, qzBitMap* target, int32_t width, int32_t height,
                   qzImageSource* source, int keepTexture);
// Builds a picture's bitmap of width x height from ARGB pixels (with the key colour and alpha
// channel, made opaque over its fill when it has one) or, without pixels, from the fill alone.
// 0 or ERR_BITMAP.
int BuildBGPicBitmap(VmState* state, const uint32_t* pixels, qzPictureFill* fill, int32_t transparentColor,
                     int32_t width, int32_t height, int32_t stride, qzBitMap** outBitmap, qzBitMap** outMask,
                     qzBitMap** inoutAlpha);
// Scales a picture's bitmaps to newWidth x newHeight: a raster picture's pixels, a generated
// picture without source is rendered again. 0 or an error.
int ScaleBGPicBitmaps(VmState* state, const qzBGPic* pic, int32_t newWidth, int32_t newHeight, int smooth,
                      qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha);
// Frees the current and scaled copies where they are separate from the copies below them; all
// three copies are then the original.
void FreeWorkCopies(qzBGPic* pic);
// Scales the picture itself (its scaled and current copies) to width x height. 0 or an error.
int ScaleBGPicCore(VmState* state, qzBGPic* pic, int32_t width, int32_t height, int smooth);
// When the first display opens: pictures that still keep ARGB pixels get their bitmaps.
int RecreateBGPicBitmaps(VmState* state);

// Display support.
// Makes the display buffer and the second buffer again at the picture's current size, copies the
// picture into the display buffer (and into the second buffer under auto-scaling with a scaled
// size). 0 or ERR_BITMAP.
int SetDisplayBGPicBuffers(qzDisplay* display, qzBGPic* pic);
// The bitmap that shows the picture: the display buffer, or the second buffer with the layers
// composed into it.
qzBitMap* GetBGPicDisplayBitmap(VmState* state, qzDisplay* display, qzBGPic* pic);
// The picture composed with its layers in the rectangle x, y, width x height: drawn into the
// display's composition buffer for the picture the current display shows (unless the display
// scales its layers), else into a new bitmap of the picture's size (*outOwned = 1, the caller
// frees it). 0 or ERR_BITMAP, or the redraw's error.
int GetBGPicImageWithLayers(VmState* state, qzBGPic* pic, int32_t x, int32_t y, int32_t width, int32_t height,
                            qzBitMap** outBitmap, int* outOwned);
// The display's scale factors for the picture; under auto-scaling a masked picture's mask and alpha
// channel scaled to the scaled size (the window's shape) go to the out pointers when given.
int ComputeAutoScaleFactors(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap** outMask, qzBitMap** outAlpha);
// Renders the picture's current copy at the display's scaled size and sets the factors; with
// setBuffers the display buffers are made again.
int AutoScaleBGPic(VmState* state, qzDisplay* display, qzBGPic* pic, int setBuffers);
// Sets the picture's current copy back to its scaled copy (layer scaling switched off).
void UnscaleBGPic(qzBGPic* pic);
