// The redraw engine of the layer system: a rectangle of a background picture drawn anew into a
// bitmap from the picture's background, every visible layer in list order with its shadow, border
// and body, and the picture's on-screen sprites last. Shadow alphas and border bitmaps are built
// once per state and kept until the state's caches are dropped.
#pragma once

#include <cstdint>

struct VmState;
struct qzBGPic;
struct qzBitMap;
struct qzBitMapTrio;
struct qzClipRegion;
struct qzDisplay;
struct qzLayer;
struct qzLayerState;

// RedrawLayersRect flags.
enum {
    QZ_REDRAW_NOSPRITES = 1,
    QZ_REDRAW_SPRITESONLY = 2,         // no background, no layers
    QZ_REDRAW_DISPLAYBACKGROUND = 4,   // the background from the display's buffer
    QZ_REDRAW_PICTUREBACKGROUND = 8,   // the background from the picture's own bitmap
    QZ_REDRAW_PICTURERESOLUTION = 16,  // transformed states and the picture's own size, unscaled
};

// Redraws width x height at x, y of the picture into dst at the same place. The rectangle is cut
// to the picture; an empty or negative one, or a missing dst, prints its error on the console and
// draws nothing.
void RedrawLayersRect(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap* dst, int32_t x, int32_t y,
                      int32_t width, int32_t height, int flags);

// Draws a rectangle of a layer's bitmaps (mask and alpha channel as given) into dst: plainly
// through the clip region with transparency 0, else blended at opacity 255 - transparency (through
// a temporary copy of the destination when the clip region is shaped). sx, sy lie in the source.
void BlitLayerBitmap(VmState* state, const qzBitMapTrio& source, int32_t sx, int32_t sy, qzBitMap* dst, int32_t dx,
                     int32_t dy, int32_t width, int32_t height, int32_t transparency, const qzClipRegion* clip);

// The factors a state is drawn at: the display's scale factors for display states of a display
// that scales its layers, else 1.
void GetLayerDrawScale(const qzDisplay* display, int pictureResolution, double* scaleX, double* scaleY);
// Builds the state's border bitmaps when the layer has a border and the state none yet. 0, or the
// error of rendering them (the state is then left without border).
int RenderLayerBorder(VmState* state, qzLayer* layer, qzLayerState* layerState, double scaleX, double scaleY);
// Builds the state's shadow alpha when the layer has a shadow and the state none yet. 0 or ERR_MEM.
int RenderLayerShadow(VmState* state, qzLayer* layer, qzLayerState* layerState);
// The box of the state's border bitmap, and of its shadow (the drawn or border box grown by the
// radius and moved by the shadow size times the scale in the shadow's direction).
void GetLayerBorderBox(const qzLayer* layer, const qzLayerState* layerState, int32_t* x, int32_t* y, int32_t* width,
                       int32_t* height);
void GetLayerShadowBox(const qzLayer* layer, const qzLayerState* layerState, double scaleX, double scaleY, int32_t* x,
                       int32_t* y, int32_t* width, int32_t* height);
