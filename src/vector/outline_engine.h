// The inbuilt vector engine: a path command buffer becomes a FreeType outline, which is turned into
// coverage (anti-aliased non-zero fills by the accumulation rasteriser of outline_raster.h, 1-bit
// even-odd fills by its sampling rasteriser, the others by FreeType's). A filled path's contours
// are built straight from its records, each sub-path filled as if closed; a stroked path is fed
// into a FreeType stroker of the line's radius. Lines, cubic curves, arcs, ellipses, rounded boxes
// and glyph outlines go through the same feed (stroker_feed.h).
// Coordinates go to FreeType in 26.6 fixed point; path y grows downward and outlines keep path
// coordinates. Main thread only; FreeType is the one library instance the font engine starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include "platform/plugin_api.h"
#include "vector/stroker_feed.h"

// The eight operations, in slot order.
int InbuiltGetPathExtents(qzPathExtentsBlock* block);
int InbuiltDrawPath(qzPathDrawBlock* block);
int InbuiltTranslatePath(qzPathTranslateBlock* block, void* path);
int InbuiltGetCurrentPoint(const void* buffer, const qzVectorStyle* style, double* x, double* y);
// The handle of a face: a record holding the face and a FreeType size object of its own, so that
// sizing glyphs for paths never changes the size the text engine set on the face.
void* InbuiltCreateVectorFont(FT_Face face);
void InbuiltFreeVectorFont(void* handle);
// Face 0 of an in-memory font file (the bytes must outlive the face), or null.
FT_Face InbuiltOpenFont(const void* data, size_t size);
void InbuiltCloseFont(FT_Face face);

enum {
    PATHOUTLINE_TRANSLATE = 0,  // move the buffer's absolute coordinates in place, build nothing
    PATHOUTLINE_BUILD = 1,
};

// A built outline; release it with FreeBuiltOutline.
struct qzBuiltOutline {
    FT_Outline outline;
};
void FreeBuiltOutline(qzBuiltOutline* built);
// Owns a built outline until it is handed on, so that memory running out while the outline is
// held (rasterising it, remembering the path it came from) frees it on the way out.
struct qzBuiltOutlineFree {
    void operator()(qzBuiltOutline* built) const { FreeBuiltOutline(built); }
};
using qzBuiltOutlineOwner = std::unique_ptr<qzBuiltOutline, qzBuiltOutlineFree>;

// Drops the outline kept from the last build (a build of the same records with the same
// parameters reuses it).
void ForgetLastOutline();

// The FreeType library the engine works with (the font engine's).
FT_Library OutlineEngineLibrary();
// The outline of a sink's contours (even-odd fill when asked), or null when FreeType cannot hold it.
qzBuiltOutline* OutlineFromSink(const qzOutlineSink& sink, int evenOdd);
// The outline a stroker holds (both borders), or one of its borders; null when FreeType fails.
// Owns a FreeType stroker, done when the owner goes on every way out (memory running out while a
// walk records its segments included).
struct qzStrokerOwner {
    FT_Stroker stroker = nullptr;
    qzStrokerOwner() = default;
    qzStrokerOwner(const qzStrokerOwner&) = delete;
    qzStrokerOwner& operator=(const qzStrokerOwner&) = delete;
    ~qzStrokerOwner() {
        if (stroker) FT_Stroker_Done(stroker);
    }
};

qzBuiltOutline* ExportStrokedOutline(FT_Stroker stroker);
qzBuiltOutline* ExportStrokerBorder(FT_Stroker stroker, FT_StrokerBorder border);

// Walks the buffer. Translate mode adds dx, dy to the absolute coordinates and returns null.
// Build mode returns the outline of the path moved by dx, dy: filled (fill 1) the path's contours,
// built straight from the records and each closed (even-odd when the style's fill rule is 1), else
// the path stroked with lineWidth pixels and the style's cap and join; the final current point goes to *x, *y when
// given. Null for an empty buffer or a FreeType failure.
qzBuiltOutline* BuildPathOutline(int mode, void* buffer, const qzVectorStyle* style, int lineWidth, double dx,
                                 double dy, double* x, double* y, int fill);

// The points of an elliptic arc about (cx, cy) (a circle of radius rx whose y offsets are scaled
// by ry / rx; increasing angles run clockwise on screen), from start to end degrees in the given
// direction, through the matrix (four doubles; null for the identity). With *begin set a sub-path
// is begun at the first point (cleared afterwards); a line leads to the arc's start unless that is
// where the walk stands and forceLine is clear; without noWedge a partial arc is a pie wedge that
// begins and ends at the centre. The first point and the end point go to the out pointers.
void EllipseArcToStroker(qzStrokerFeed* feed, double cx, double cy, double rx, double ry, double start, double end,
                         int clockwise, const double* matrix, int* begin, int noWedge, int forceLine, double* startX,
                         double* startY, double* endX, double* endY);
// Cubic segments of an arc from `from` to `to` radians (from <= to): clockwise travel starts at
// from, counter-clockwise at to. Each segment spans at most a quarter turn and as little as keeps
// it within 0.1 pixel of the true arc. The end point goes to *x, *y.
void ArcToCubics(qzStrokerFeed* feed, double cx, double cy, double rx, double ry, double from, double to, int clockwise,
                 const double* matrix, double* x, double* y);
// The outline of a box from (x1, y1) to (x2, y2) with corner rounding a..d in percent (top-left,
// bottom-left, bottom-right, top-right; radius = percent of half the shorter side), begun as a
// sub-path at its start point (written to the out pointers); the caller ends it.
void RoundedBoxToStroker(qzStrokerFeed* feed, double x1, double y1, double x2, double y2, const int32_t corners[4],
                         double* startX, double* startY);

// Renders an outline's coverage into an 8-bit plane (rowLength bytes a row) whose pixel (x, y)
// covers the outline's x..x+1, y..y+1: 256 levels, or 0 and 255 only without antialias. 1, or 0
// when the temporary 1-bit plane cannot be made or FreeType fails.
int RenderOutlineCoverage(FT_Outline* outline, uint8_t* pixels, int rowLength, int width, int height, int antialias);
// FreeType's matrix of a 2x2 matrix m0..m3; 1 when it is not the identity (and so must be applied).
int ToFreeTypeMatrix(const double* matrix, FT_Matrix* out);
