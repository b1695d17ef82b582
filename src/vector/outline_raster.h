// An anti-aliasing rasteriser of FreeType outlines by accumulated signed area: every edge,
// flattened to lines, adds the area it covers to the right of it row by row, and a running sum
// along each row turns the areas into coverage. It fills by the non-zero rule (the coverage of a
// pixel is its absolute winding area, at most 1); even-odd outlines are left to FreeType. Beside it
// a sampling rasteriser for 1-bit coverage by either fill rule (FreeType's own 1-bit rasteriser
// fills even-odd outlines as non-zero ones).
#pragma once

#include <cstdint>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

// Renders the outline's coverage into an 8-bit plane (rowLength bytes a row) whose pixel (x, y)
// covers outline coordinates x..x+1, y..y+1 (26.6 units as pixels): pixels the outline covers get
// their coverage (1..255), the others are left as they are. False, with the plane unchanged, for
// an even-odd outline or a plane too large for the accumulation rows.
bool AccumulateOutlineCoverage(const FT_Outline* outline, uint8_t* pixels, int rowLength, int width, int height);
// Renders 1-bit coverage into the plane of the same layout: a pixel whose centre lies inside the
// outline by its fill rule (even-odd when the outline says so, else non-zero) gets 255, every
// other pixel 0. False, with the plane unchanged, when the outline cannot be walked.
bool SampleOutlineCoverage(const FT_Outline* outline, uint8_t* pixels, int rowLength, int width, int height);
