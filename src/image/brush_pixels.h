// A raster brush's pixels together with its transparency: the colour of one pixel with its mask
// bit or alpha value, whole-brush ARGB arrays in both directions, switching between key-colour
// mask, alpha channel and no transparency, and flood fills. Each checks what it needs before it
// changes the brush, so a failure leaves the brush as it was.
#pragma once

#include <cstdint>
#include <vector>

struct qzBitMap;
struct qzBrush;

// Transparency kinds (the MASK and ALPHACHANNEL constants), and none.
enum { QZ_TRANSPARENCY_NONE = -1, QZ_TRANSPARENCY_MASK = 28, QZ_TRANSPARENCY_ALPHA = 30 };

// The pixel at x, y (inside the brush) as 0x00RRGGBB, and its mask bit (0 or 1), else its alpha
// value, else -1 in *transparency.
uint32_t ReadBrushPixelAt(const qzBrush* brush, int32_t x, int32_t y, int32_t* transparency);
// Sets the pixel at x, y (inside the brush) to the colour's RGB; unless value is -1, a mask bit
// is cleared by value 0 and set by any other, else an alpha byte becomes value (kept to 0..255).
void WriteBrushPixelAt(qzBrush* brush, int32_t x, int32_t y, uint32_t colour, int32_t value);

// Every pixel of the brush as 0xAARRGGBB, rows packed: AA is the alpha value, else 255 for a set
// mask bit and 0 for a clear one, else 255; inverted gives 255 - AA. 0, ERR_LOCKBMAP or ERR_MEM.
int ReadBrushARGB(const qzBrush* brush, int inverted, std::vector<uint32_t>* out);
// New bitmaps of width x height from 0xAARRGGBB pixels (rows packed): with a mask (bit set where
// the opacity AA, or 255 - AA when inverted, is not 0) or an alpha channel holding that opacity,
// by kind (QZ_TRANSPARENCY_*). 0, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA or ERR_LOCKBMAP; nothing is left
// behind on failure.
int MakeBitmapsFromARGB(const uint32_t* argb, int32_t width, int32_t height, int kind, int inverted, qzBitMap** bitmap,
                        qzBitMap** mask, qzBitMap** alpha);

// A mask from the key colour (bits clear where the RGB equals it) replaces mask and alpha
// channel; -1 removes both. 0 or ERR_MEM.
int SetBrushKeyColor(qzBrush* brush, int32_t colour);
// Makes the brush's transparency the kind: a mask (from the alpha channel where only 255 counts
// as visible, else all visible), an alpha channel (255 where the mask is set, 0 elsewhere, else
// all 255), or none. A brush that has the kind already keeps it. 0, ERR_ALLOCMASK,
// ERR_ALLOCALPHA, ERR_LOCKBMAP, or ERR_WRONGUSAGE for another kind.
int ChangeBrushTransparencyKind(qzBrush* brush, int32_t kind);
void DeleteBrushMask(qzBrush* brush);
void DeleteBrushAlpha(qzBrush* brush);

// Fills from x, y (inside the brush) up to pixels of the border colour (RGB compared, the alpha
// bits of 32-bit pixels ignored) with the fill colour. 0, ERR_LOCKBMAP or ERR_MEM.
int FloodFillBrush(qzBrush* brush, int32_t x, int32_t y, uint32_t border, uint32_t fill);

// The compare mask that keeps a 32-bit pixel format's colour bits.
uint32_t ColourBitsMask(int pixelFormat);
