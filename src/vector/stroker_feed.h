// What the outline builders feed into a FreeType stroker, through FreeType's public stroker API
// only. A sub-path of a path decides whether it is open or closed only when it ends (a close
// record, or a move or the end of the path), while FreeType's stroker needs that state when the
// sub-path begins. So every outline is walked twice with the same builder code: a recording walk
// (no stroker) notes the state each sub-path ends with, and the stroking walk begins each sub-path
// with the state noted for it. A sub-path is also begun in FreeType only at its first segment of
// non-zero length, because FreeType cannot end a sub-path that has none.
//
// A stroked path is stroked by a third walk into a stroker set to the line's radius. The state
// of the path's last sub-path then decides for every sub-path: with the last one open, a closed
// sub-path is stroked from its start round to its start with caps there; with the last one
// closed, an open sub-path is stroked out and back (its ends turn like joins and get no caps).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_STROKER_H

// The contours of a filled outline built straight from a path, without a stroker: points and tags
// in FreeType's outline layout and the index of each contour's last point. Every contour closes
// back to its start: a sub-path that ends open is filled as if it were closed.
struct qzOutlineSink {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
    std::vector<int> contours;
    size_t contourStart = 0;
};

// One segment of the current sub-path, kept to stroke it back to its start.
struct qzStrokerSegment {
    FT_Vector from, control1, control2, to;
    bool cubic;
};

struct qzStrokerFeed {
    FT_Stroker stroker = nullptr;   // null: the recording walk, or the direct build into sink
    qzOutlineSink* sink = nullptr;  // the direct build of a filled outline (no stroker)
    int strokeOpen = -1;            // stroking walk: the last sub-path's state (1 open), else -1
    std::vector<qzStrokerSegment> segments;
    std::vector<uint8_t> ending;  // per sub-path in walk order: 1 ends open, 0 closed
    size_t nextSubPath = 0;       // the stroking walk's next entry of `ending`
    bool inSubPath = false;
    bool begun = false;  // the sub-path has been begun in FreeType
    uint8_t open = 1;    // the state the sub-path is begun with
    size_t slot = 0;     // its entry of `ending` (recording walk)
    FT_Vector start{};   // where it begins, 26.6
    FT_Vector pen{};     // the last point, 26.6
};

// Starts a walk over the states a recording walk noted: a recording of the path itself into a
// stroker of radius 0 (strokeOpen -1), or the stroke of a stroker set to the line's radius, where
// strokeOpen is the state of the path's last sub-path (1 open, 0 closed).
void RestartStrokerFeed(qzStrokerFeed* feed, FT_Stroker stroker, int strokeOpen = -1);

// A pixel coordinate in 26.6 (times 64, toward zero), saturated to what FreeType's arithmetic
// takes; NaN gives the lowest value.
FT_Pos ToFixed26(double pixels);

// Begins a sub-path at the point; an open one is ended first (open).
void BeginOpenStrokerSubPath(qzStrokerFeed* feed, const FT_Vector* point);
// Ends the current sub-path open (1: caps at both ends) or closed (0: joined to its start).
void EndStrokerSubPathAs(qzStrokerFeed* feed, int open);
// Segments of the current sub-path (nothing outside a sub-path).
void StrokerLineTo(qzStrokerFeed* feed, const FT_Vector* to);
void StrokerCubicTo(qzStrokerFeed* feed, const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to);
// Adds every contour of the outline as one sub-path each, open or closed as asked, after what the
// feed holds already (FreeType's own outline parser would rewind the stroker first); a direct
// build takes the contours as they are. The recording walk adds nothing: these sub-paths never end
// by a path record. 0 or FreeType's error.
int AppendOutlineToStroker(qzStrokerFeed* feed, FT_Outline* outline, int opened);
