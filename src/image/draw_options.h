// The standard drawing options: the optional last table argument of every command that puts an
// image on the current output, read into a geometry record (matrix, scale, rotation, anchor,
// smooth scaling) and a layer record (name, visibility, insert position, transparency, shadow,
// border, tint and filters); and the geometry helpers that go with them.
#pragma once

#include <cstdint>

#include "display/draw_tags.h"
#include "runtime/option_table.h"

struct VmState;

// ParseDrawTags flags.
enum {
    QZ_DRAWTAGS_DEFAULTS = 1,       // start from the global defaults
    QZ_DRAWTAGS_TABLEONLY = 2,      // an argument that is not a table is an error
    QZ_DRAWTAGS_NOSIZE = 4,         // "width" and "height" are not read
    QZ_DRAWTAGS_NOROTATE = 8,       // "rotate" is not read
    QZ_DRAWTAGS_SMOOTHROTATE = 16,  // smoothscale takes smoothDefault only when a rotation is given
};

// Copies the defaults into the records (the layer record only when given), stores the target size
// and, unless flags has QZ_DRAWTAGS_SMOOTHROTATE, smoothscale = smoothDefault.
void InitDrawTags(qzTransformTags* transformTags, qzLayerTags* layerTags, int32_t targetWidth, int32_t targetHeight,
                  int smoothDefault, int flags);

// Reads the options table at argIndex when it is the call's last argument. srcWidth x srcHeight is
// the size of what is drawn, targetWidth x targetHeight a size the command asks for (0: none).
// 0 or an error code: ERR_TABEXPECTED (with QZ_DRAWTAGS_TABLEONLY), ERR_WRONGUSAGE for a bad
// value, ERR_INVINSERT, ERR_NAMETOOLONG, or the filter list's errors. The table readers raise
// their own errors (a bad matrix element, a bad percentage, an unknown layer name).
int ParseDrawTags(VmState* state, int argIndex, int32_t srcWidth, int32_t srcHeight, int32_t targetWidth,
                  int32_t targetHeight, int smoothDefault, qzTransformTags* transformTags, qzLayerTags* layerTags,
                  int flags);
// A level option ("transparency", "tint"): a number, or a percentage string taken of 255 ("50%"
// is 127); clamped to 0..255, so a negative number is 0. 1 with *level set when the field is
// present, else 0. A bad string raises ERR_PERCENTFORMAT, another type ERR_STRORNUM, with the key.
int ReadLevelTag(VmState* state, int table, const char* key, int32_t* level);
// The shadow options ("shadow", then, when it is on, "shadowcolor", "shadowdir", "shadowsize",
// "shadowradius", "shadowsigma"); an absent one leaves its field as it is. 0 or ERR_WRONGUSAGE.
int ParseShadowTags(VmState* state, int tableIndex, qzShadowTags* shadow);
// The border options ("border", "bordercolor", "bordersize"; with edgeNames also "edgecolor",
// "edgesize" and "outlinethickness"). 0 or ERR_WRONGUSAGE for a border without a positive size.
int ParseBorderTags(VmState* state, int tableIndex, int edgeNames, qzBorderTags* border);

// The lookup of a layer name in the current background picture that "insertpos" uses; null until
// the layer system installs it (every name is then unknown).
void SetDrawTagLayerLookup(qzLayerNameLookup lookup);
qzLayerNameLookup GetDrawTagLayerLookup();

// matrix = (scaleX, 0, 0, scaleY) times, for a non-zero angle, the rotation by angle degrees
// (cos t, sin t, -sin t, cos t) with t = 360 - (angle mod 360), from the right.
void BuildScaleRotateMatrix(double scaleX, double scaleY, double angle, double matrix[4]);

// The size of a w x h image after the matrix: a diagonal matrix with non-negative entries scales
// (truncated, at least 1; a display running layer scaling gets its scaled size back for its whole
// picture), any other matrix gives the bounding size of the turned rectangle.
void GetTransformedSize(const double matrix[4], int32_t w, int32_t h, int32_t* outW, int32_t* outH);

// Installs the parser behind SetDrawTagsDefault and the reset of the defaults (the graphics
// library calls them); RemoveDrawTagDefaultsHooks takes them away again.
void InstallDrawTagDefaultsHooks();
void RemoveDrawTagDefaultsHooks();
