// The two records of the standard drawing options that every drawing command fills from its
// optional options table and that a layer copies when the drawing becomes one: the geometry
// (matrix, scale, rotation, anchor, smooth scaling) and what a layer keeps of the draw (name,
// visibility, insert position, transparency, shadow, border, filters). Also the player's global
// default pair that every draw starts from.
#pragma once

#include <cstdint>

#include "display/layer_filters.h"
#include "display/shadow_direction.h"

struct qzTransformTags {
    double matrix[4];  // the applied 2x2 matrix, row-major (m11, m12, m21, m22)
    double scalex;
    double scaley;
    int32_t width;  // target size; 0 = the source's
    int32_t height;
    double rotate;          // degrees, reduced modulo 360
    double usermatrix[4];   // the "transform" matrix as given
    int32_t hasusermatrix;  // 1 when "transform" was given
    int32_t smoothscale;
    int32_t notrotscale;  // the matrix is not a whole-degree rotation of a uniform scale
    double decompscalex;
    double decompscaley;
    double anchorx;  // the anchor as fractions of the width and height, 0..1
    double anchory;
};

struct qzShadowTags {
    int32_t shadow;        // on
    uint32_t shadowcolor;  // RGB with a transparency byte on top (0 opaque, 255 invisible)
    int32_t shadowsize;    // offset in pixels
    int32_t shadowdir;     // QZ_SHDW...
    double shadowradius;   // blur radius
    double shadowsigma;
};

struct qzBorderTags {
    int32_t border;        // on
    uint32_t bordercolor;  // RGB with a transparency byte on top (0 opaque, 255 invisible)
    int32_t bordersize;    // pixels
};

constexpr int QZ_LAYER_NAME_SIZE = 256;  // at most 255 characters and the terminator

struct qzLayerTags {
    char name[QZ_LAYER_NAME_SIZE];
    int32_t hidden;
    int32_t insertpos;     // 1-based list position; 0 = on top
    int32_t transparency;  // 0 opaque .. 255 invisible
    qzShadowTags shadow;
    qzBorderTags border;
    qzFilterEntry filters[QZ_LAYER_FILTERS];  // slot FILTER_TINT: ints[0] colour, ints[1] level
    int32_t effects;                          // hidden, transparency, a filter, a shadow or a border is set
};

// The records with the built-in defaults: identity matrix, scales 1, no anchor; no name, visible,
// on top, opaque, shadow off (0x80000000, size 4, south-east, radius 5, sigma 5 / 3), border off
// (colour 0, size 2), every filter off with its default arguments.
void InitTransformTags(qzTransformTags* tags);
void InitLayerTags(qzLayerTags* tags);

// The global default pair (what SetDrawTagsDefault changes); starts at the built-in defaults.
qzTransformTags* DefaultTransformTags();
qzLayerTags* DefaultLayerTags();
// Puts the pair back to the built-in defaults.
void ResetDefaultDrawTags();
void CopyDefaultTransformTags(qzTransformTags* tags);
void CopyDefaultLayerTags(qzLayerTags* tags);

// 1 for the matrix 1, 0, 0, 1.
int IsIdentityMatrix(const double matrix[4]);
