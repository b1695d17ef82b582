// Feeding sub-paths into FreeType's stroker; see stroker_feed.h.
#include "vector/stroker_feed.h"

#include <cmath>

#include FT_OUTLINE_H

namespace {

// 2^23 pixels each way: FreeType's fixed-point arithmetic stays within 32 bits.
constexpr double kMaxPixels = 8388607.0;

bool SamePoint(const FT_Vector& a, const FT_Vector& b) { return a.x == b.x && a.y == b.y; }

// Begins the FreeType sub-path of the current one, once.
void BeginInFreeType(qzStrokerFeed* feed) {
    if (feed->begun) return;
    feed->begun = true;
    feed->segments.clear();
    if (feed->sink) {
        feed->sink->contourStart = feed->sink->points.size();
        feed->sink->points.push_back(feed->start);
        feed->sink->tags.push_back(FT_CURVE_TAG_ON);
    }
    if (feed->stroker)
        FT_Stroker_BeginSubPath(feed->stroker, &feed->start, feed->strokeOpen >= 0 ? feed->strokeOpen : feed->open);
}

// Keeps a segment when an open sub-path may have to be stroked back to its start.
void KeepSegment(qzStrokerFeed* feed, const FT_Vector& from, const FT_Vector* c1, const FT_Vector* c2,
                 const FT_Vector& to) {
    if (feed->strokeOpen != 0) return;
    qzStrokerSegment segment{from, from, from, to, c1 != nullptr};
    if (c1) {
        segment.control1 = *c1;
        segment.control2 = *c2;
    }
    feed->segments.push_back(segment);
}

// Ends the sink's contour. An outline's contours close by themselves, so a sub-path that ends
// open is filled as if it were closed.
void EndSinkContour(qzOutlineSink* sink) { sink->contours.push_back((int)(sink->points.size() - 1)); }

// Strokes the kept segments of the sub-path backward, from its end to its start.
void StrokeBack(qzStrokerFeed* feed) {
    for (auto it = feed->segments.rbegin(); it != feed->segments.rend(); ++it) {
        if (it->cubic)
            FT_Stroker_CubicTo(feed->stroker, &it->control2, &it->control1, &it->from);
        else
            FT_Stroker_LineTo(feed->stroker, &it->from);
    }
    feed->segments.clear();
}

// The contours of a glyph outline, each begun and ended on its own.
struct OutlineFeed {
    FT_Stroker stroker;
    FT_Bool opened;
    bool inContour;
    bool begun;
    FT_Vector start;
};

void EndContour(OutlineFeed* f) {
    if (f->inContour && f->begun) FT_Stroker_EndSubPath(f->stroker);
    f->inContour = false;
    f->begun = false;
}

bool BeginContourSegment(OutlineFeed* f, const FT_Vector* to) {
    if (!f->begun) {
        if (SamePoint(f->start, *to)) return false;
        FT_Stroker_BeginSubPath(f->stroker, &f->start, f->opened);
        f->begun = true;
    }
    return true;
}

int OutlineMoveTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<OutlineFeed*>(user);
    EndContour(f);
    f->inContour = true;
    f->start = *to;
    return 0;
}

int OutlineLineTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<OutlineFeed*>(user);
    if (BeginContourSegment(f, to)) return FT_Stroker_LineTo(f->stroker, const_cast<FT_Vector*>(to));
    return 0;
}

int OutlineConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* f = static_cast<OutlineFeed*>(user);
    if (!f->begun && SamePoint(f->start, *control) && SamePoint(f->start, *to)) return 0;
    if (!f->begun) {
        FT_Stroker_BeginSubPath(f->stroker, &f->start, f->opened);
        f->begun = true;
    }
    return FT_Stroker_ConicTo(f->stroker, const_cast<FT_Vector*>(control), const_cast<FT_Vector*>(to));
}

int OutlineCubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
    auto* f = static_cast<OutlineFeed*>(user);
    if (!f->begun && SamePoint(f->start, *control1) && SamePoint(f->start, *control2) && SamePoint(f->start, *to))
        return 0;
    if (!f->begun) {
        FT_Stroker_BeginSubPath(f->stroker, &f->start, f->opened);
        f->begun = true;
    }
    return FT_Stroker_CubicTo(f->stroker, const_cast<FT_Vector*>(control1), const_cast<FT_Vector*>(control2),
                              const_cast<FT_Vector*>(to));
}

}  // namespace

void RestartStrokerFeed(qzStrokerFeed* feed, FT_Stroker stroker, int strokeOpen) {
    feed->stroker = stroker;
    feed->strokeOpen = strokeOpen;
    feed->segments.clear();
    feed->nextSubPath = 0;
    feed->inSubPath = false;
    feed->begun = false;
}

FT_Pos ToFixed26(double pixels) {
    if (std::isnan(pixels)) return FT_Pos(-kMaxPixels * 64);
    if (pixels > kMaxPixels) pixels = kMaxPixels;
    if (pixels < -kMaxPixels) pixels = -kMaxPixels;
    return FT_Pos(pixels * 64);
}

void BeginOpenStrokerSubPath(qzStrokerFeed* feed, const FT_Vector* point) {
    if (feed->inSubPath) EndStrokerSubPathAs(feed, 1);
    feed->inSubPath = true;
    feed->begun = false;
    feed->start = *point;
    feed->pen = *point;
    if (feed->stroker) {
        feed->open = feed->nextSubPath < feed->ending.size() ? feed->ending[feed->nextSubPath] : 1;
        feed->nextSubPath++;
    } else if (!feed->sink) {
        feed->slot = feed->ending.size();
        feed->ending.push_back(1);
    }
}

void EndStrokerSubPathAs(qzStrokerFeed* feed, int open) {
    if (!feed->inSubPath) return;
    if (feed->sink) {
        if (feed->begun) EndSinkContour(feed->sink);
    } else if (!feed->stroker) {
        feed->ending[feed->slot] = open ? 1 : 0;
    } else if (feed->begun) {
        if (feed->strokeOpen == 1 && !open && !SamePoint(feed->pen, feed->start))
            FT_Stroker_LineTo(feed->stroker, &feed->start);  // round to the start, capped there
        else if (feed->strokeOpen == 0 && open)
            StrokeBack(feed);
        FT_Stroker_EndSubPath(feed->stroker);
    }
    feed->inSubPath = false;
    feed->begun = false;
}

void StrokerLineTo(qzStrokerFeed* feed, const FT_Vector* to) {
    if (!feed->inSubPath || (!feed->begun && SamePoint(feed->pen, *to))) return;
    BeginInFreeType(feed);
    if (feed->stroker) {
        KeepSegment(feed, feed->pen, nullptr, nullptr, *to);
        FT_Stroker_LineTo(feed->stroker, const_cast<FT_Vector*>(to));
    } else if (feed->sink) {
        feed->sink->points.push_back(*to);
        feed->sink->tags.push_back(FT_CURVE_TAG_ON);
    }
    feed->pen = *to;
}

void StrokerCubicTo(qzStrokerFeed* feed, const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to) {
    if (!feed->inSubPath || (!feed->begun && SamePoint(feed->pen, *control1) && SamePoint(feed->pen, *control2) &&
                             SamePoint(feed->pen, *to)))
        return;
    BeginInFreeType(feed);
    if (feed->stroker) {
        KeepSegment(feed, feed->pen, control1, control2, *to);
        FT_Stroker_CubicTo(feed->stroker, const_cast<FT_Vector*>(control1), const_cast<FT_Vector*>(control2),
                           const_cast<FT_Vector*>(to));
    } else if (feed->sink) {
        feed->sink->points.insert(feed->sink->points.end(), {*control1, *control2, *to});
        feed->sink->tags.insert(feed->sink->tags.end(), {FT_CURVE_TAG_CUBIC, FT_CURVE_TAG_CUBIC, FT_CURVE_TAG_ON});
    }
    feed->pen = *to;
}

int AppendOutlineToStroker(qzStrokerFeed* feed, FT_Outline* outline, int opened) {
    if (!feed || !outline) return FT_Err_Invalid_Argument;
    if (outline->n_contours <= 0) return 0;
    if (feed->sink) {
        // Glyph contours are closed already: they are taken over point for point.
        qzOutlineSink* sink = feed->sink;
        const int base = (int)sink->points.size();
        sink->points.insert(sink->points.end(), outline->points, outline->points + outline->n_points);
        for (int i = 0; i < outline->n_points; i++) sink->tags.push_back((char)FT_CURVE_TAG(outline->tags[i]));
        for (int i = 0; i < outline->n_contours; i++) sink->contours.push_back(base + outline->contours[i]);
        return 0;
    }
    if (!feed->stroker) return 0;
    OutlineFeed f{feed->stroker, FT_Bool(opened != 0), false, false, {}};
    FT_Outline_Funcs funcs{};
    funcs.move_to = OutlineMoveTo;
    funcs.line_to = OutlineLineTo;
    funcs.conic_to = OutlineConicTo;
    funcs.cubic_to = OutlineCubicTo;
    int error = FT_Outline_Decompose(outline, &funcs, &f);
    EndContour(&f);
    return error;
}
