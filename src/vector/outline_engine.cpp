// The inbuilt outline engine; see outline_engine.h.
#include "vector/outline_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include FT_BBOX_H
#include FT_SIZES_H

#include "platform/os_alloc.h"
#include "text/freetype_font.h"
#include "text/utf8_decode.h"
#include "vector/outline_raster.h"
#include "vector/path_buffer.h"
#include "vector/vector_engine.h"
#include "vector/vector_fonts.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
// Miter limit 4096 in 16.16.
constexpr FT_Fixed kMiterLimit = 0x10000000;
// Finest arc segment: a 64th of a half turn keeps any radius FreeType can take within 0.1 pixel.
constexpr int kMaxArcSegmentsPerHalfTurn = 64;

// A glyph's outline at one size, flipped to path coordinates with its origin at 0, 0, and its
// advance (26.6).
struct qzCachedGlyph {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
    std::vector<short> contours;
    FT_Pos advance = 0;
};

// The glyphs a font has drawn at the size it was last asked for.
struct qzGlyphCache {
    uint32_t pixelSize = 0;
    std::unordered_map<FT_UInt, qzCachedGlyph> glyphs;
};

// The handle of a face: the face, the size object paths size it with and the glyphs drawn.
struct qzInbuiltVectorFont {
    FT_Face face;
    FT_Size size;
    uint32_t pixelSize;   // what the size object is set to, 0 before the first use
    qzGlyphCache* cache;  // made on first use
};

// The last outline built filled and the last one stroked, each kept for a build of the same records
// with the same parameters: the renderer measures a path (and, stroking it, the bare path too) and
// then draws it, which would otherwise build it again.
struct qzLastOutline {
    std::vector<uint8_t> records;  // the records and their terminator
    int fill = -1;
    int lineWidth = 0;
    int32_t join = 0, cap = 0, fillRule = 0;
    double dx = 0, dy = 0;
    double cx = 0, cy = 0;  // the final current point
    qzBuiltOutline* built = nullptr;
};
qzLastOutline gLastOutlines[2];  // stroked, filled

FT_Library Library() {
    if (!GetFreeTypeLibrary()) FontEngineInitFreeType();
    return GetFreeTypeLibrary();
}

FT_Vector Fixed(double x, double y) { return FT_Vector{ToFixed26(x), ToFixed26(y)}; }

bool IsIdentity(const double* m) { return !m || (m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1); }

// The largest scale of a 2x2 matrix (1 for none).
double LargestScale(const double* m) {
    if (!m) return 1;
    double p = m[0] * m[0] + m[1] * m[1];
    double q = m[2] * m[2] + m[3] * m[3];
    double r = m[0] * m[2] + m[1] * m[3];
    double h = (p - q) / 2;
    return std::sqrt((p + q) / 2 + std::sqrt(r * r + h * h));
}

// The error of one cubic spanning `angle` radians of a unit circle.
double CubicArcError(double angle) {
    double s = std::sin(angle / 4), c = std::cos(angle / 4);
    return 0.07407407407407407 * s * s * s * s * s * s / (c * c);
}

// Moves `value` by whole turns to no less (up) or no more (down) than `limit`, within one turn.
double TurnsUpTo(double value, double limit) {
    if (value >= limit) return value;
    value += kTwoPi * std::ceil((limit - value) / kTwoPi);
    return value < limit ? limit : value;
}
double TurnsDownTo(double value, double limit) {
    if (value <= limit) return value;
    value -= kTwoPi * std::ceil((value - limit) / kTwoPi);
    return value > limit ? limit : value;
}

// The walk of a buffer: current point, sub-path start and whether a sub-path is open.
struct qzPathWalk {
    double cx = 0, cy = 0;
    double sx = 0, sy = 0;
    bool open = false;
};

// Loads a glyph of the font at the size on its own size object (the text engine's size stays
// active) and keeps its outline; null when the size or the glyph cannot be loaded.
const qzCachedGlyph* LoadGlyph(qzInbuiltVectorFont* font, qzGlyphCache* cache, FT_UInt index, uint32_t size) {
    FT_Size previous = font->face->size;
    if (FT_Activate_Size(font->size) != 0) return nullptr;
    const qzCachedGlyph* glyph = nullptr;
    if (font->pixelSize != size) {
        font->pixelSize = 0;
        if (size <= 0x7FFF && FT_Set_Char_Size(font->face, 0, FT_F26Dot6(size) * 64, 72, 72) == 0)
            font->pixelSize = size;
    }
    if (font->pixelSize == size && FT_Load_Glyph(font->face, index, FT_LOAD_NO_BITMAP) == 0 &&
        font->face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_GlyphSlot slot = font->face->glyph;
        const FT_Matrix flip{0x10000, 0, 0, -0x10000};
        FT_Outline_Transform(&slot->outline, &flip);
        const FT_Outline& o = slot->outline;
        qzCachedGlyph& kept = cache->glyphs[index];
        kept.points.assign(o.points, o.points + o.n_points);
        kept.tags.assign(o.tags, o.tags + o.n_points);
        kept.contours.assign(o.contours, o.contours + o.n_contours);
        kept.advance = slot->advance.x;
        glyph = &kept;
    }
    FT_Activate_Size(previous);
    return glyph;
}

// The glyph of a character at the size, from the font's cache or loaded into it.
const qzCachedGlyph* FindGlyph(qzInbuiltVectorFont* font, uint32_t code, uint32_t size) {
    if (!font->cache) {
        font->cache = new (std::nothrow) qzGlyphCache();
        if (!font->cache) return nullptr;
    }
    qzGlyphCache* cache = font->cache;
    if (cache->pixelSize != size) {
        cache->glyphs.clear();
        cache->pixelSize = size;
    }
    const FT_UInt index = FT_Get_Char_Index(font->face, code);
    const auto found = cache->glyphs.find(index);
    return found != cache->glyphs.end() ? &found->second : LoadGlyph(font, cache, index, size);
}

// Adds the glyphs of a text record at the current point: each glyph's baseline origin is the
// current point, which then advances by the glyph's advance.
void AddTextRecord(qzStrokerFeed* feed, qzPathWalk* walk, const uint8_t* record) {
    if (!feed->stroker && !feed->sink)
        return;  // glyph contours always end closed: the recording walk has nothing to note
    auto* font =
        static_cast<qzInbuiltVectorFont*>(GetVectorFontHandleOf(PathReadU32(record + 4), GetInbuiltVectorEngine()));
    if (!font) return;
    uint32_t size = PathReadU32(record + 8);
    const char* text = reinterpret_cast<const char*>(record + 12);
    qzCodepoints codes(text, std::strlen(text), 1);
    if (!codes.ok()) return;
    std::vector<FT_Vector> moved;
    for (size_t i = 0; i < codes.count; i++) {
        const qzCachedGlyph* glyph = FindGlyph(font, codes.codes[i], size);
        if (!glyph) break;
        const FT_Pos ox = ToFixed26(walk->cx), oy = ToFixed26(walk->cy);
        moved.resize(glyph->points.size());
        for (size_t k = 0; k < moved.size(); k++) moved[k] = {glyph->points[k].x + ox, glyph->points[k].y + oy};
        FT_Outline outline{};
        outline.n_points = short(moved.size());
        outline.n_contours = short(glyph->contours.size());
        outline.points = moved.data();
        outline.tags = const_cast<char*>(glyph->tags.data());
        outline.contours = const_cast<short*>(glyph->contours.data());
        if (AppendOutlineToStroker(feed, &outline, 0) != 0) break;
        walk->cx += glyph->advance / 64.0;
    }
}

// The bytes of the records with their terminator.
size_t RecordBytes(const uint8_t* buffer) {
    const uint8_t* p = buffer;
    while (size_t size = PathRecordSize(p)) p += size;
    return size_t(p - buffer) + 4;
}

bool IsLastOutline(const uint8_t* buffer, size_t bytes, const qzVectorStyle* style, int lineWidth, double dx, double dy,
                   int fill) {
    const qzLastOutline& last = gLastOutlines[fill ? 1 : 0];
    return last.built && last.fill == fill && last.lineWidth == lineWidth && last.dx == dx && last.dy == dy &&
           last.join == (style ? style->lineJoin : 0) && last.cap == (style ? style->lineCap : 0) &&
           last.fillRule == (style ? style->fillRule : 0) && last.records.size() == bytes &&
           std::memcmp(last.records.data(), buffer, bytes) == 0;
}

// Walks the records. Translate mode (no feed) moves absolute coordinates in place; otherwise the
// geometry goes to the feed.
void WalkPath(uint8_t* buffer, qzStrokerFeed* feed, double dx, double dy, qzPathWalk* walk) {
    const bool translate = feed == nullptr;
    for (uint8_t* p = buffer; size_t size = PathRecordSize(p); p += size) {
        uint32_t op = PathReadU32(p);
        switch (op) {
        case QZ_PATHOP_MOVE:
        case QZ_PATHOP_LINE: {
            bool relative = PathReadU32(p + 4) != 0;
            double x = PathReadDouble(p + 8), y = PathReadDouble(p + 16);
            double bx = relative ? walk->cx : dx, by = relative ? walk->cy : dy;
            if (translate) {
                if (!relative) {
                    PathWriteDouble(p + 8, x + dx);
                    PathWriteDouble(p + 16, y + dy);
                }
                walk->cx = x + bx;
                walk->cy = y + by;
                break;
            }
            FT_Vector point = Fixed(x + bx, y + by);
            if (op == QZ_PATHOP_MOVE) {
                if (walk->open) EndStrokerSubPathAs(feed, 1);
                walk->open = false;
                walk->sx = walk->cx = x + bx;
                walk->sy = walk->cy = y + by;
                if (PathReadU32(p + size) != QZ_PATHOP_TEXT) {
                    BeginOpenStrokerSubPath(feed, &point);
                    walk->open = true;
                }
            } else {
                if (walk->open) {
                    StrokerLineTo(feed, &point);
                } else {
                    // A line without a sub-path begins one at its end; a close returns there.
                    BeginOpenStrokerSubPath(feed, &point);
                    walk->open = true;
                    walk->sx = x + bx;
                    walk->sy = y + by;
                }
                walk->cx = x + bx;
                walk->cy = y + by;
            }
            break;
        }
        case QZ_PATHOP_CURVE: {
            bool relative = PathReadU32(p + 4) != 0;
            double bx = relative ? walk->cx : dx, by = relative ? walk->cy : dy;
            double c[6];
            for (int i = 0; i < 6; i++) c[i] = PathReadDouble(p + 8 + 8 * i);
            if (translate) {
                if (!relative)
                    for (int i = 0; i < 6; i++) PathWriteDouble(p + 8 + 8 * i, c[i] + (i % 2 ? dy : dx));
            } else {
                FT_Vector c1 = Fixed(c[0] + bx, c[1] + by), c2 = Fixed(c[2] + bx, c[3] + by);
                FT_Vector end = Fixed(c[4] + bx, c[5] + by);
                if (!walk->open) {
                    BeginOpenStrokerSubPath(feed, &c1);
                    walk->open = true;
                    walk->sx = c[0] + bx;
                    walk->sy = c[1] + by;
                }
                StrokerCubicTo(feed, &c1, &c2, &end);
            }
            walk->cx = c[4] + bx;
            walk->cy = c[5] + by;
            break;
        }
        case QZ_PATHOP_CLOSE:
            if (!translate && walk->open) {
                EndStrokerSubPathAs(feed, 0);
                walk->open = false;
                walk->cx = walk->sx;
                walk->cy = walk->sy;
            }
            break;
        case QZ_PATHOP_ARC: {
            double x = PathReadDouble(p + 4) + dx, y = PathReadDouble(p + 12) + dy;
            if (translate) {
                PathWriteDouble(p + 4, x);
                PathWriteDouble(p + 12, y);
                break;
            }
            int begin = walk->open ? 0 : 1;
            int forceLine = !begin;
            walk->open = true;
            double startX = x, startY = y, endX = x, endY = y;
            EllipseArcToStroker(feed, x, y, PathReadDouble(p + 20), PathReadDouble(p + 28), PathReadDouble(p + 36),
                                PathReadDouble(p + 44), int32_t(PathReadU32(p + 52)), nullptr, &begin, 1, forceLine,
                                &startX, &startY, &endX, &endY);
            if (!forceLine) {
                walk->sx = startX;
                walk->sy = startY;
            }
            walk->cx = endX;
            walk->cy = endY;
            break;
        }
        case QZ_PATHOP_BOX: {
            double x1 = PathReadDouble(p + 4) + dx, y1 = PathReadDouble(p + 12) + dy;
            if (translate) {
                PathWriteDouble(p + 4, x1);
                PathWriteDouble(p + 12, y1);
                break;
            }
            double x2 = x1 + PathReadDouble(p + 20), y2 = y1 + PathReadDouble(p + 28);
            int32_t corners[4];
            for (int i = 0; i < 4; i++) corners[i] = int32_t(PathReadU32(p + 36 + 4 * i));
            double startX = x1, startY = y1;
            // A sub-path the box interrupts ends open, as a move would end it.
            RoundedBoxToStroker(feed, x1, y1, x2, y2, corners, &startX, &startY);
            EndStrokerSubPathAs(feed, 0);
            walk->open = false;
            walk->sx = walk->cx = startX;
            walk->sy = walk->cy = startY;
            break;
        }
        case QZ_PATHOP_TEXT:
            if (translate) break;
            if (walk->open) EndStrokerSubPathAs(feed, 1);
            walk->open = false;
            AddTextRecord(feed, walk, p);
            break;
        default: break;  // 4 and the sub-path marker
        }
    }
}

// An outline record sized for the counts, owned by the engine.
qzBuiltOutline* NewBuiltOutline(FT_UInt points, FT_UInt contours) {
    if (points > 0x7FFF0000u || contours > 0x7FFF0000u) return nullptr;
    auto* built = static_cast<qzBuiltOutline*>(OsAlloc(sizeof(qzBuiltOutline), 1));
    if (!built) return nullptr;
    if (FT_Outline_New(Library(), points, FT_Int(contours), &built->outline) != 0) {
        OsFree(built);
        return nullptr;
    }
    built->outline.n_points = 0;
    built->outline.n_contours = 0;
    return built;
}

FT_Stroker_LineJoin StrokerJoin(int32_t join) {
    switch (join) {
    case 1: return FT_STROKER_LINEJOIN_ROUND;
    case 2: return FT_STROKER_LINEJOIN_BEVEL;
    default: return FT_STROKER_LINEJOIN_MITER_FIXED;
    }
}

FT_Stroker_LineCap StrokerCap(int32_t cap) {
    switch (cap) {
    case 1: return FT_STROKER_LINECAP_ROUND;
    case 2: return FT_STROKER_LINECAP_SQUARE;
    default: return FT_STROKER_LINECAP_BUTT;
    }
}

// The point of the ellipse at angle a.
void ArcPoint(double cx, double cy, double rx, double ry, double a, double* x, double* y) {
    *x = cx + rx * std::cos(a);
    *y = cy + ry * std::sin(a);
}

}  // namespace

FT_Library OutlineEngineLibrary() { return Library(); }

void ForgetLastOutline() {
    for (qzLastOutline& last : gLastOutlines) {
        FreeBuiltOutline(last.built);
        last = qzLastOutline();
    }
}

qzBuiltOutline* OutlineFromSink(const qzOutlineSink& sink, int evenOdd) {
    if (sink.points.size() > 0x7FFF || sink.contours.size() > 0x7FFF)
        return nullptr;  // beyond what a FreeType outline holds
    qzBuiltOutline* built = NewBuiltOutline(FT_UInt(sink.points.size()), FT_UInt(sink.contours.size()));
    if (!built) return nullptr;
    FT_Outline& o = built->outline;
    std::copy(sink.points.begin(), sink.points.end(), o.points);
    std::copy(sink.tags.begin(), sink.tags.end(), o.tags);
    for (size_t i = 0; i < sink.contours.size(); i++) o.contours[i] = (short)sink.contours[i];
    o.n_points = (short)sink.points.size();
    o.n_contours = (short)sink.contours.size();
    if (evenOdd) o.flags |= FT_OUTLINE_EVEN_ODD_FILL;
    return built;
}

qzBuiltOutline* ExportStrokedOutline(FT_Stroker stroker) {
    FT_UInt points = 0, contours = 0;
    if (FT_Stroker_GetCounts(stroker, &points, &contours) != 0) return nullptr;
    qzBuiltOutline* built = NewBuiltOutline(points, contours);
    if (built) FT_Stroker_Export(stroker, &built->outline);
    return built;
}

qzBuiltOutline* ExportStrokerBorder(FT_Stroker stroker, FT_StrokerBorder border) {
    FT_UInt points = 0, contours = 0;
    if (FT_Stroker_GetBorderCounts(stroker, border, &points, &contours) != 0) return nullptr;
    qzBuiltOutline* built = NewBuiltOutline(points, contours);
    if (built) FT_Stroker_ExportBorder(stroker, border, &built->outline);
    return built;
}

void FreeBuiltOutline(qzBuiltOutline* built) {
    if (!built) return;
    FT_Outline_Done(Library(), &built->outline);
    OsFree(built);
}

int ToFreeTypeMatrix(const double* matrix, FT_Matrix* out) {
    if (IsIdentity(matrix)) return 0;
    out->xx = FT_Fixed(matrix[0] * 65536);
    out->xy = FT_Fixed(matrix[2] * 65536);
    out->yx = FT_Fixed(matrix[1] * 65536);
    out->yy = FT_Fixed(matrix[3] * 65536);
    return 1;
}

void ArcToCubics(qzStrokerFeed* feed, double cx, double cy, double rx, double ry, double from, double to, int clockwise,
                 const double* matrix, double* x, double* y) {
    double sweep = to - from;
    if (sweep > 4 * kPi) {
        to -= kTwoPi * std::ceil((sweep - 4 * kPi) / kTwoPi);
        sweep = to - from;
    }
    if (sweep > kPi) {
        double mid = from + sweep / 2;
        if (clockwise) {
            ArcToCubics(feed, cx, cy, rx, ry, from, mid, clockwise, matrix, x, y);
            ArcToCubics(feed, cx, cy, rx, ry, mid, to, clockwise, matrix, x, y);
        } else {
            ArcToCubics(feed, cx, cy, rx, ry, mid, to, clockwise, matrix, x, y);
            ArcToCubics(feed, cx, cy, rx, ry, from, mid, clockwise, matrix, x, y);
        }
        return;
    }
    double first = clockwise ? from : to, last = clockwise ? to : from;
    if (!(sweep > 0)) {
        ArcPoint(cx, cy, rx, ry, last, x, y);
        return;
    }
    // Segments of a quarter turn or less, as many as keep each cubic within 0.1 pixel of the arc
    // (bounded, so that a negative, zero or non-finite radius ends the search too).
    double tolerance = 0.1 / (std::max(std::fabs(rx), std::fabs(ry)) * LargestScale(matrix));
    int n = 2;
    while (n < kMaxArcSegmentsPerHalfTurn && !(CubicArcError(kPi / n) <= tolerance)) n++;
    int count = std::max(1, int(std::ceil(sweep / (kPi / n))));
    double step = (clockwise ? sweep : -sweep) / count;
    double k = 4.0 / 3.0 * std::tan(step / 4);
    double a = first, ax, ay;
    ArcPoint(cx, cy, rx, ry, a, &ax, &ay);
    for (int i = 1; i <= count; i++) {
        double b = i == count ? last : first + step * i, bx, by;
        ArcPoint(cx, cy, rx, ry, b, &bx, &by);
        FT_Vector c1 = Fixed(ax - k * rx * std::sin(a), ay + k * ry * std::cos(a));
        FT_Vector c2 = Fixed(bx + k * rx * std::sin(b), by - k * ry * std::cos(b));
        FT_Vector end = Fixed(bx, by);
        StrokerCubicTo(feed, &c1, &c2, &end);
        a = b;
        ax = bx;
        ay = by;
    }
    *x = ax;
    *y = ay;
}

void EllipseArcToStroker(qzStrokerFeed* feed, double cx, double cy, double rx, double ry, double start, double end,
                         int clockwise, const double* matrix, int* begin, int noWedge, int forceLine, double* startX,
                         double* startY, double* endX, double* endY) {
    double a0 = start * kPi / 180, a1 = end * kPi / 180;
    if (!std::isfinite(a0) || !std::isfinite(a1)) {
        *endX = cx;
        *endY = cy;
        return;  // no direction to travel in
    }
    a1 = clockwise ? TurnsUpTo(a1, a0) : TurnsDownTo(a1, a0);
    bool full = start == 0 && end == 360;
    double sx, sy;
    ArcPoint(cx, cy, rx, ry, a0, &sx, &sy);
    double fx = sx, fy = sy;
    if (!noWedge && !full) {
        fx = cx;
        fy = cy;
    }
    FT_Vector first = Fixed(fx, fy), s = Fixed(sx, sy);
    if (*begin) {
        BeginOpenStrokerSubPath(feed, &first);
        *startX = fx;
        *startY = fy;
    }
    if (first.x != s.x || first.y != s.y || forceLine) StrokerLineTo(feed, &s);
    if (clockwise)
        ArcToCubics(feed, cx, cy, rx, ry, a0, a1, 1, matrix, endX, endY);
    else
        ArcToCubics(feed, cx, cy, rx, ry, a1, a0, 0, matrix, endX, endY);
    if (!full && !noWedge) {
        FT_Vector centre = Fixed(cx, cy);
        StrokerLineTo(feed, &centre);
        *endX = cx;
        *endY = cy;
    }
    *begin = 0;
}

void RoundedBoxToStroker(qzStrokerFeed* feed, double x1, double y1, double x2, double y2, const int32_t corners[4],
                         double* startX, double* startY) {
    double side = std::min(std::trunc(x2 - x1), std::trunc(y2 - y1));
    double r[4];
    for (int i = 0; i < 4; i++) {
        double fraction = corners[i] < 1 ? 0.01 : std::min(corners[i], 100) / 100.0;
        r[i] = fraction * side / 2;
    }
    double sx = corners[0] == 0 ? x1 : x1 + r[0], sy = y1;
    FT_Vector start = Fixed(sx, sy);
    BeginOpenStrokerSubPath(feed, &start);
    *startX = sx;
    *startY = sy;
    auto line = [feed](double x, double y) {
        FT_Vector p = Fixed(x, y);
        StrokerLineTo(feed, &p);
    };
    auto corner = [feed](double cx, double cy, double radius, double from, double to) {
        int begin = 0;
        double ignore, ex, ey;
        EllipseArcToStroker(feed, cx, cy, radius, radius, from, to, 0, nullptr, &begin, 1, 1, &ignore, &ignore, &ex,
                            &ey);
    };
    if (corners[0] == 0) {
        line(x1, y1);
    } else {
        corner(x1 + r[0], y1 + r[0], r[0], 270, 180);
        line(x1, y1 + r[0]);
    }
    if (corners[1] == 0) {
        line(x1, y2);
    } else {
        corner(x1 + r[1], y2 - r[1], r[1], 180, 90);
        line(x1 + r[1], y2);
    }
    if (corners[2] == 0) {
        line(x2, y2);
    } else {
        corner(x2 - r[2], y2 - r[2], r[2], 90, 0);
        line(x2, y2 - r[2]);
    }
    if (corners[3] == 0) {
        line(x2, y1);
    } else {
        corner(x2 - r[3], y1 + r[3], r[3], 360, 270);
        line(x2 - r[3], y1);
    }
}

namespace {

// A copy of an outline; null when out of memory.
qzBuiltOutline* CopyBuiltOutline(const qzBuiltOutline* source) {
    qzBuiltOutline* copy = NewBuiltOutline(FT_UInt(source->outline.n_points), FT_UInt(source->outline.n_contours));
    if (copy && FT_Outline_Copy(&source->outline, &copy->outline) != 0) {
        FreeBuiltOutline(copy);
        return nullptr;
    }
    return copy;
}

qzBuiltOutline* BuildNewOutline(uint8_t* bytes, const qzVectorStyle* style, int lineWidth, double dx, double dy,
                                double* x, double* y, int fill);

}  // namespace

qzBuiltOutline* BuildPathOutline(int mode, void* buffer, const qzVectorStyle* style, int lineWidth, double dx,
                                 double dy, double* x, double* y, int fill) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (!bytes || PathReadU32(bytes) == QZ_PATHOP_END) return nullptr;
    if (mode == PATHOUTLINE_TRANSLATE) {
        qzPathWalk walk;
        WalkPath(bytes, nullptr, dx, dy, &walk);
        ForgetLastOutline();
        return nullptr;
    }
    const size_t size = RecordBytes(bytes);
    qzLastOutline& last = gLastOutlines[fill ? 1 : 0];
    if (IsLastOutline(bytes, size, style, lineWidth, dx, dy, fill)) {
        qzBuiltOutline* copy = CopyBuiltOutline(last.built);
        if (copy) {
            if (x) *x = last.cx;
            if (y) *y = last.cy;
            return copy;
        }
    }
    double cx = 0, cy = 0;
    qzBuiltOutlineOwner built(BuildNewOutline(bytes, style, lineWidth, dx, dy, &cx, &cy, fill));
    if (!built) return nullptr;
    if (x) *x = cx;
    if (y) *y = cy;
    // Kept for the next build of the same path; a copy that cannot be made only costs that build.
    FreeBuiltOutline(last.built);
    last = qzLastOutline();
    last.built = CopyBuiltOutline(built.get());
    if (last.built) {
        last.records.assign(bytes, bytes + size);
        last.fill = fill;
        last.lineWidth = lineWidth;
        last.join = style ? style->lineJoin : 0;
        last.cap = style ? style->lineCap : 0;
        last.fillRule = style ? style->fillRule : 0;
        last.dx = dx;
        last.dy = dy;
        last.cx = cx;
        last.cy = cy;
    }
    return built.release();
}

namespace {

qzBuiltOutline* BuildNewOutline(uint8_t* bytes, const qzVectorStyle* style, int lineWidth, double dx, double dy,
                                double* x, double* y, int fill) {
    qzPathWalk walk;
    FT_Library library = Library();
    if (!library) return nullptr;
    if (fill) {
        // One walk builds the contours to fill.
        qzOutlineSink sink;
        qzStrokerFeed feed;
        feed.sink = &sink;
        WalkPath(bytes, &feed, dx, dy, &walk);
        if (walk.open) EndStrokerSubPathAs(&feed, 1);
        qzBuiltOutline* built = OutlineFromSink(sink, style && style->fillRule == 1);
        if (built) {
            if (x) *x = walk.cx;
            if (y) *y = walk.cy;
        }
        return built;
    }
    // The recording walk notes how each sub-path ends; the second walk strokes it.
    qzStrokerFeed feed;
    WalkPath(bytes, &feed, dx, dy, &walk);
    const int lastOpen = walk.open ? 1 : 0;
    qzStrokerOwner owner;
    if (FT_Stroker_New(library, &owner.stroker) != 0) return nullptr;
    FT_Stroker stroker = owner.stroker;
    FT_Stroker_Set(stroker, FT_Fixed(std::max(lineWidth, 0)) * 32, StrokerCap(style ? style->lineCap : 0),
                   StrokerJoin(style ? style->lineJoin : 0), kMiterLimit);
    RestartStrokerFeed(&feed, stroker, lastOpen);
    walk = qzPathWalk();
    WalkPath(bytes, &feed, dx, dy, &walk);
    if (walk.open) EndStrokerSubPathAs(&feed, 1);
    qzBuiltOutline* built = ExportStrokedOutline(stroker);
    if (!built) return nullptr;
    if (x) *x = walk.cx;
    if (y) *y = walk.cy;
    return built;
}

}  // namespace

int RenderOutlineCoverage(FT_Outline* outline, uint8_t* pixels, int rowLength, int width, int height, int antialias) {
    if (width <= 0 || height <= 0) return 1;
    FT_Bitmap target{};
    target.rows = unsigned(height);
    target.width = unsigned(width);
    if (antialias) {
        // Non-zero fills by accumulated area; FreeType's rasteriser splits large outlines into
        // bands and walks the outline again for each one.
        if (AccumulateOutlineCoverage(outline, pixels, rowLength, width, height)) return 1;
        // Rows run upward in FreeType's terms, so that path y grows downward in the plane.
        target.pitch = -rowLength;
        target.buffer = pixels;
        target.num_grays = 256;
        target.pixel_mode = FT_PIXEL_MODE_GRAY;
        return FT_Outline_Get_Bitmap(Library(), outline, &target) == 0 ? 1 : 0;
    }
    // FreeType's 1-bit rasteriser takes no fill rule: even-odd outlines are sampled here.
    if (outline->flags & FT_OUTLINE_EVEN_ODD_FILL)
        return SampleOutlineCoverage(outline, pixels, rowLength, width, height) ? 1 : 0;
    int pitch = ((width + 15) >> 4) * 2;
    auto* bits = static_cast<uint8_t*>(OsAlloc(size_t(pitch) * size_t(height), 1));
    if (!bits) return 0;
    target.pitch = -pitch;
    target.buffer = bits;
    target.num_grays = 2;
    target.pixel_mode = FT_PIXEL_MODE_MONO;
    int ok = FT_Outline_Get_Bitmap(Library(), outline, &target) == 0;
    if (ok) {
        for (int row = 0; row < height; row++) {
            const uint8_t* in = bits + size_t(row) * pitch;
            uint8_t* out = pixels + size_t(row) * rowLength;
            for (int col = 0; col < width; col++) out[col] = (in[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
        }
    }
    OsFree(bits);
    return ok;
}

int InbuiltGetPathExtents(qzPathExtentsBlock* block) {
    qzBuiltOutline* built =
        BuildPathOutline(PATHOUTLINE_BUILD, const_cast<void*>(block->buffer), block->style, block->lineWidth,
                         block->offsetX, block->offsetY, nullptr, nullptr, block->fill);
    if (!built) return 0;
    FT_Matrix m;
    if (ToFreeTypeMatrix(block->matrix, &m)) FT_Outline_Transform(&built->outline, &m);
    FT_BBox box{};
    FT_Outline_Get_BBox(&built->outline, &box);
    block->x1 = box.xMin / 64.0;
    block->y1 = box.yMin / 64.0;
    block->x2 = box.xMax / 64.0;
    block->y2 = box.yMax / 64.0;
    FreeBuiltOutline(built);
    return 1;
}

int InbuiltDrawPath(qzPathDrawBlock* block) {
    const qzBuiltOutlineOwner built(BuildPathOutline(PATHOUTLINE_BUILD, const_cast<void*>(block->buffer), block->style,
                                                     block->lineWidth, -block->originX, -block->originY, nullptr,
                                                     nullptr, block->fill));
    if (!built) return 0;
    FT_Matrix m;
    if (ToFreeTypeMatrix(block->matrix, &m)) FT_Outline_Transform(&built->outline, &m);
    FT_BBox box{};
    FT_Outline_Get_BBox(&built->outline, &box);
    // The box is placed on whole pixels, so that the coverage keeps its place within a pixel.
    FT_Outline_Translate(&built->outline, -(box.xMin & ~FT_Pos(63)), -(box.yMin & ~FT_Pos(63)));
    return RenderOutlineCoverage(&built->outline, block->pixels, block->rowLength, block->width, block->height,
                                 block->style ? block->style->antialias : 1);
}

int InbuiltTranslatePath(qzPathTranslateBlock* block, void*) {
    BuildPathOutline(PATHOUTLINE_TRANSLATE, block->buffer, nullptr, 0, block->dx, block->dy, nullptr, nullptr, 1);
    return 1;
}

int InbuiltGetCurrentPoint(const void* buffer, const qzVectorStyle* style, double* x, double* y) {
    qzBuiltOutline* built = BuildPathOutline(PATHOUTLINE_BUILD, const_cast<void*>(buffer), style, 0, 0, 0, x, y, 1);
    if (!built) return 0;
    FreeBuiltOutline(built);
    return 1;
}

void* InbuiltCreateVectorFont(FT_Face face) {
    if (!face) return nullptr;
    auto* font = static_cast<qzInbuiltVectorFont*>(OsAlloc(sizeof(qzInbuiltVectorFont), 1));
    if (!font) return nullptr;
    FT_Size previous = face->size;
    if (FT_New_Size(face, &font->size) != 0) {
        OsFree(font);
        return nullptr;
    }
    // A new size becomes no face's active size by itself, but keep the text engine's for certain.
    FT_Activate_Size(previous);
    font->face = face;
    return font;
}

void InbuiltFreeVectorFont(void* handle) {
    auto* font = static_cast<qzInbuiltVectorFont*>(handle);
    if (!font) return;
    FT_Done_Size(font->size);
    delete font->cache;
    OsFree(font);
}

FT_Face InbuiltOpenFont(const void* data, size_t size) {
    FT_Library library = Library();
    FT_Face face = nullptr;
    if (!library || !data || size > size_t(0x7FFFFFFF) ||
        FT_New_Memory_Face(library, static_cast<const FT_Byte*>(data), FT_Long(size), 0, &face) != 0)
        return nullptr;
    return face;
}

void InbuiltCloseFont(FT_Face face) {
    if (face) FT_Done_Face(face);
}
