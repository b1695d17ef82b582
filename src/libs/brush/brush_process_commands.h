// Command handlers of the brush library that process a brush's pixels: the filters over the
// graphics core's kernels, shadow and border brushes, transparency (key colour, mask, alpha
// channel), single pixels, flood fill, pixel arrays in tables and desktop grabs.
#pragma once

struct VmState;
struct qzBrush;
struct qzObjectId;

// Filters (brush_filter_commands.cpp).
int BrushBlurBrush(VmState* state);
int BrushEmbossBrush(VmState* state);
int BrushEdgeBrush(VmState* state);
int BrushSharpenBrush(VmState* state);
int BrushSolarizeBrush(VmState* state);
int BrushGammaBrush(VmState* state);
int BrushContrastBrush(VmState* state);
int BrushModulateBrush(VmState* state);
int BrushSepiaToneBrush(VmState* state);
int BrushCharcoalBrush(VmState* state);
int BrushSwirlBrush(VmState* state);
int BrushPixelateBrush(VmState* state);
int BrushBrushToMonochrome(VmState* state);
int BrushWaterRippleBrush(VmState* state);
int BrushOilPaintBrush(VmState* state);
int BrushTintBrush(VmState* state);
int BrushInvertBrush(VmState* state);
int BrushBrushToGray(VmState* state);
int BrushMixBrush(VmState* state);
int BrushReplaceColors(VmState* state);
int BrushQuantizeBrush(VmState* state);
int BrushPerspectiveDistortBrush(VmState* state);
int BrushArcDistortBrush(VmState* state);
int BrushPolarDistortBrush(VmState* state);
int BrushBarrelDistortBrush(VmState* state);
int BrushCreateShadowBrush(VmState* state);
int BrushCreateBorderBrush(VmState* state);

// Transparency, pixels and arrays (brush_pixel_commands.cpp).
int BrushSetBrushTransparency(VmState* state);
int BrushDeleteMask(VmState* state);
int BrushDeleteAlphaChannel(VmState* state);
int BrushInvertMask(VmState* state);
int BrushInvertAlphaChannel(VmState* state);
int BrushChangeBrushTransparency(VmState* state);
int BrushReduceAlphaChannel(VmState* state);
int BrushReadBrushPixel(VmState* state);
int BrushWriteBrushPixel(VmState* state);
int BrushFloodFill(VmState* state);
int BrushBrushToRGBArray(VmState* state);
int BrushRGBArrayToBrush(VmState* state);
int BrushGrabDesktop(VmState* state);

// The rows of the handlers above for the library's command table, in the order above.
#define QZ_BRUSH_PROCESS_COMMAND_ROWS                                                                              \
    {"BlurBrush", BrushBlurBrush}, {"EmbossBrush", BrushEmbossBrush}, {"EdgeBrush", BrushEdgeBrush},               \
        {"SharpenBrush", BrushSharpenBrush}, {"SolarizeBrush", BrushSolarizeBrush, 2, 2},                          \
        {"GammaBrush", BrushGammaBrush, 4, 4}, {"ContrastBrush", BrushContrastBrush, 2, 3},                        \
        {"ModulateBrush", BrushModulateBrush, 4, 4}, {"SepiaToneBrush", BrushSepiaToneBrush, 2, 2},                \
        {"CharcoalBrush", BrushCharcoalBrush, 2, 2}, {"SwirlBrush", BrushSwirlBrush, 2, 2},                        \
        {"PixelateBrush", BrushPixelateBrush, 2, 2}, {"BrushToMonochrome", BrushBrushToMonochrome, 1, 2},          \
        {"WaterRippleBrush", BrushWaterRippleBrush, 1, 6}, {"OilPaintBrush", BrushOilPaintBrush, 2, 2},            \
        {"TintBrush", BrushTintBrush, 3, 3}, {"InvertBrush", BrushInvertBrush}, {"BrushToGray", BrushBrushToGray}, \
        {"MixBrush", BrushMixBrush, 3, 3}, {"ReplaceColors", BrushReplaceColors, 2, 2},                            \
        {"QuantizeBrush", BrushQuantizeBrush, 1, 3}, {"PerspectiveDistortBrush", BrushPerspectiveDistortBrush},    \
        {"ArcDistortBrush", BrushArcDistortBrush}, {"PolarDistortBrush", BrushPolarDistortBrush},                  \
        {"BarrelDistortBrush", BrushBarrelDistortBrush}, {"CreateShadowBrush", BrushCreateShadowBrush},            \
        {"CreateBorderBrush", BrushCreateBorderBrush}, {"SetBrushTransparency", BrushSetBrushTransparency, 2, 2},  \
        {"DeleteMask", BrushDeleteMask}, {"DeleteAlphaChannel", BrushDeleteAlphaChannel},                          \
        {"InvertMask", BrushInvertMask}, {"InvertAlphaChannel", BrushInvertAlphaChannel},                          \
        {"ChangeBrushTransparency", BrushChangeBrushTransparency, 2, 2},                                           \
        {"ReduceAlphaChannel", BrushReduceAlphaChannel, 2, 2}, {"ReadBrushPixel", BrushReadBrushPixel, 3, 3},      \
        {"WriteBrushPixel", BrushWriteBrushPixel, 4, 5}, {"FloodFill", BrushFloodFill, 5, 5},                      \
        {"BrushToRGBArray", BrushBrushToRGBArray, 1, 2}, {"RGBArrayToBrush", BrushRGBArrayToBrush, 4, 6}, {        \
        "GrabDesktop", BrushGrabDesktop                                                                            \
    }

// ---- Shared between the topic files of the library (not for other callers) ----

// The brush of the identifier for a change of its pixels, mask or alpha channel, looked up once the
// command's other arguments are checked: a raster brush that is not the selected output, whose
// layers get their own copy first. Fails the command with the lookup's error.
qzBrush* CheckChangedBrush(VmState* state, const qzObjectId& id);
// A command whose one argument is the brush: the change runs on the brush found for it.
int OnBrushAlone(VmState* state, int (*change)(qzBrush* brush));
