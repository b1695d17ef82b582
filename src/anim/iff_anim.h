// The IFF ANIM reader: a "FORM" "ANIM" of "FORM" "ILBM"s, the first a whole planar picture, every
// later one a delta against an earlier frame. The picture is kept as bitplanes in two buffers
// (a delta normally changes the frame two back), converted to chunky pixels and then to colour
// words through the palette, extra half-brite or HAM6/HAM8. Deltas: byte vertical (5, also in
// exclusive-or form), vertical with separate opcode and data lists (7), vertical with embedded
// data (8), long runs (100) and word runs (101) at explicit positions, the last two also as one
// field of an interlaced picture. Frames come in order; an earlier frame rewinds and re-applies
// the deltas. Deltas whose data or positions lead outside the chunk or the picture are refused or
// clipped: nothing is read or written outside a buffer.
#pragma once

#include <cstdint>

struct qzVfsFile;
struct qzIffAnimReader;

enum { QZ_DEINTERLACE_DEFAULT = 0, QZ_DEINTERLACE_DOUBLE = 1 };

// Opens an IFF ANIM from a file positioned at offset 0, which the reader takes over (a failed open
// closes it). deinterlace: how a field animation fills the rows of the other field
// (QZ_DEINTERLACE_DEFAULT: from the previous frame; QZ_DEINTERLACE_DOUBLE: the neighbouring row).
// Null for more than 8 planes, width 0, no "BODY", a body that cannot be read, no second "FORM",
// a non-"FORM" chunk while counting frames, a first delta of an unknown operation, a field
// animation whose field order cannot be found, or a lack of memory.
qzIffAnimReader* OpenIffAnim(qzVfsFile* file, int deinterlace, int* outWidth, int* outHeight, int* outFrameCount,
                             int loadTransparency);
// Frame n (0-based) as a new OsAlloc block of width x height 0xAARRGGBB words, or null. With
// load-transparency and masking by transparent colour, pixels of that colour get alpha 0 and the
// rest 0xFF, and *outHasTransparentPen (may be null) is set; otherwise every alpha byte is 0.
uint32_t* LoadIffAnimFrame(qzIffAnimReader* reader, int n, int* outHasTransparentPen);
// The delay of frame n in milliseconds, known once the frame has been decoded; 0 out of range.
uint32_t GetIffAnimFrameDelay(const qzIffAnimReader* reader, int n);
// Frees everything and closes the file; null is ignored.
void CloseIffAnim(qzIffAnimReader* reader);
// 1 for the delta operations the reader decodes (5, 7, 8, 100, 101), else 0.
int IsIffAnimDeltaOp(int operation);
