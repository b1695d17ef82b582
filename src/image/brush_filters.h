// Brush processing that the graphics core has no single front-end for: replacing colours by a
// table of pairs, and the bitmaps of shadow and border brushes.
#pragma once

#include <cstdint>
#include <vector>

struct qzBitMap;
struct qzBrush;

// Replaces colours by pairs {from, to, ...} of 0xRRGGBB values, in one pass over the brush's
// pixels: each pixel is compared with every pair in order by its colour bits, and later pairs see
// the replaced value. 0, ERR_LOCKBMAP or ERR_MEM.
int ReplaceBrushColors(qzBrush* brush, const std::vector<uint32_t>& pairs);

// The bitmaps of a shadow (border 0) or border brush of the source: a colour bitmap filled with
// the colour's RGB and an alpha channel from the source's coverage (mask bits, alpha channel, or
// full opacity), blurred with radius and sigma; a border's alpha is opaque wherever the blur
// reaches, and a border of a source without mask or alpha channel is a solid block without
// alpha channel. Both are (width + 2r) x (height + 2r) for r the whole part of the radius, so
// that the blur spreading over the edges is kept. 0, ERR_BITMAP or ERR_MEM.
int MakeShadowBitmaps(const qzBrush* source, uint32_t colour, double radius, double sigma, int border,
                      qzBitMap** bitmap, qzBitMap** alpha, int32_t* width, int32_t* height);
