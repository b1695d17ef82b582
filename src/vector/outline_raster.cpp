// The accumulation rasteriser; see outline_raster.h.
#include "vector/outline_raster.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Planes above this many accumulation cells are left to FreeType's banded rasteriser.
constexpr int64_t kMaxCells = int64_t(16) << 20;
// Curves are flattened until no chord lies further than this from its curve (pixels).
constexpr double kFlatness = 0.05;
constexpr int kMaxCurvePieces = 1024;

// The pen of an outline walk: the current point and the contour's first point. Each contour is
// closed back to its start before the next begins, so open sub-paths fill as closed ones. Sink
// receives the straight edges (Line).
template <class Sink>
struct Pen {
    double px = 0, py = 0;  // the current point
    double sx = 0, sy = 0;  // the contour's first point

    void MoveTo(double x, double y) {
        Close();
        px = sx = x;
        py = sy = y;
    }
    void LineTo(double x, double y) {
        static_cast<Sink*>(this)->Line(px, py, x, y);
        px = x;
        py = y;
    }
    void Close() {
        if (px != sx || py != sy) static_cast<Sink*>(this)->Line(px, py, sx, sy);
        px = sx;
        py = sy;
    }
};

struct Accumulator : Pen<Accumulator> {
    std::vector<float> cells;  // (width + 2) a row
    int width, height, stride;

    // The signed area the line from (x0, y0) to (x1, y1) adds to the cells on its right.
    void Line(double x0, double y0, double x1, double y1) {
        if (y0 == y1) return;
        float dir = 1;
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            dir = -1;
        }
        const double dxdy = (x1 - x0) / (y1 - y0);
        const double top = std::max(y0, 0.0), bottom = std::min(y1, (double)height);
        if (top >= bottom) return;
        double x = x0 + (top - y0) * dxdy;
        for (int row = (int)top; row < bottom; row++) {
            const double dy = std::min((double)row + 1, bottom) - std::max((double)row, top);
            const double xnext = x + dxdy * dy;
            Span(row, x, xnext, (float)(dy * dir));
            x = xnext;
        }
    }

    // One row's piece of an edge from xa to xb, covering height d (signed) of the row. Each pixel
    // gets the change in "area right of the edge" from the pixel before it; the running sum along
    // the row then gives every pixel its area (d for pixels right of the piece).
    void Span(int row, double xa, double xb, float d) {
        float* cell = cells.data() + (int64_t)row * stride;
        const double limit = (double)width;
        const double x0 = std::clamp(std::min(xa, xb), 0.0, limit), x1 = std::clamp(std::max(xa, xb), 0.0, limit);
        const int i0 = (int)x0;
        if (x1 - x0 < 1e-9) {
            const double right = (double)i0 + 1 - x0;
            cell[i0] += (float)(d * right);
            cell[i0 + 1] += (float)(d * (1 - right));
            return;
        }
        // With the piece's x spread evenly over x0..x1, the share of pixel i right of it is
        // (K(x0) - K(x1)) / (x1 - x0), K(x) being the integral from x on of clamp(i + 1 - t, 0, 1).
        const double slope = 1.0 / (x1 - x0);
        auto tail = [](double c, double x) {
            if (x >= c) return 0.0;
            if (x >= c - 1) return 0.5 * (c - x) * (c - x);
            return (c - 1 - x) + 0.5;
        };
        const int i1 = (int)std::ceil(x1);
        double before = 0;
        for (int i = i0; i <= i1; i++) {
            const double c = (double)i + 1;
            const double share = i == i1 ? 1.0 : slope * (tail(c, x0) - tail(c, x1));
            cell[i] += (float)(d * (share - before));
            before = share;
        }
    }
};

// The straight edges of an outline with its curves flattened, kept for sampling at pixel centres:
// each edge runs downward, with the direction it had (+1 down, -1 up).
struct EdgeList : Pen<EdgeList> {
    struct Edge {
        double x0, y0, x1, y1;
        int dir;
    };
    std::vector<Edge> edges;

    void Line(double x0, double y0, double x1, double y1) {
        if (y0 == y1) return;
        if (y0 < y1)
            edges.push_back({x0, y0, x1, y1, 1});
        else
            edges.push_back({x1, y1, x0, y0, -1});
    }
};

double Pixels(FT_Pos v) { return (double)v / 64.0; }

template <class Sink>
int MoveTo(const FT_Vector* to, void* user) {
    static_cast<Sink*>(user)->MoveTo(Pixels(to->x), Pixels(to->y));
    return 0;
}

template <class Sink>
int LineTo(const FT_Vector* to, void* user) {
    static_cast<Sink*>(user)->LineTo(Pixels(to->x), Pixels(to->y));
    return 0;
}

int Pieces(double deviation, double factor) {
    const double n = std::ceil(std::sqrt(factor * deviation / kFlatness));
    return std::clamp(std::isfinite(n) ? (int)n : kMaxCurvePieces, 1, kMaxCurvePieces);
}

template <class Sink>
int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* a = static_cast<Sink*>(user);
    const double x0 = a->px, y0 = a->py, x1 = Pixels(control->x), y1 = Pixels(control->y);
    const double x2 = Pixels(to->x), y2 = Pixels(to->y);
    // A quadratic's chords stay within |p0 - 2 p1 + p2| / (4 n^2) of it.
    const int n = Pieces(std::hypot(x0 - 2 * x1 + x2, y0 - 2 * y1 + y2), 0.25);
    for (int i = 1; i <= n; i++) {
        const double t = (double)i / n, u = 1 - t;
        a->LineTo(u * u * x0 + 2 * u * t * x1 + t * t * x2, u * u * y0 + 2 * u * t * y1 + t * t * y2);
    }
    return 0;
}

template <class Sink>
int CubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
    auto* a = static_cast<Sink*>(user);
    const double x0 = a->px, y0 = a->py, x1 = Pixels(control1->x), y1 = Pixels(control1->y);
    const double x2 = Pixels(control2->x), y2 = Pixels(control2->y), x3 = Pixels(to->x), y3 = Pixels(to->y);
    // A cubic's chords stay within 3/4 of its largest second difference over n^2.
    const double dd =
        std::max(std::hypot(x0 - 2 * x1 + x2, y0 - 2 * y1 + y2), std::hypot(x1 - 2 * x2 + x3, y1 - 2 * y2 + y3));
    const int n = Pieces(dd, 0.75);
    for (int i = 1; i <= n; i++) {
        const double t = (double)i / n, u = 1 - t;
        const double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
        a->LineTo(b0 * x0 + b1 * x1 + b2 * x2 + b3 * x3, b0 * y0 + b1 * y1 + b2 * y2 + b3 * y3);
    }
    return 0;
}

// Walks the outline into the sink with its curves flattened; false when FreeType refuses it.
template <class Sink>
bool Flatten(const FT_Outline* outline, Sink* sink) {
    FT_Outline_Funcs funcs{};
    funcs.move_to = MoveTo<Sink>;
    funcs.line_to = LineTo<Sink>;
    funcs.conic_to = ConicTo<Sink>;
    funcs.cubic_to = CubicTo<Sink>;
    if (FT_Outline_Decompose(const_cast<FT_Outline*>(outline), &funcs, sink) != 0) return false;
    sink->Close();
    return true;
}

}  // namespace

bool AccumulateOutlineCoverage(const FT_Outline* outline, uint8_t* pixels, int rowLength, int width, int height) {
    if ((outline->flags & FT_OUTLINE_EVEN_ODD_FILL) || width <= 0 || height <= 0) return false;
    const int64_t cells = (int64_t(width) + 2) * height;
    if (cells > kMaxCells) return false;
    Accumulator a;
    a.width = width;
    a.height = height;
    a.stride = width + 2;
    a.cells.assign((size_t)cells, 0.0f);
    if (!Flatten(outline, &a)) return false;
    for (int row = 0; row < height; row++) {
        const float* cell = a.cells.data() + (int64_t)row * a.stride;
        uint8_t* out = pixels + (int64_t)row * rowLength;
        float sum = 0;
        for (int x = 0; x < width; x++) {
            sum += cell[x];
            const float c = std::min(std::fabs(sum), 1.0f);
            const int level = (int)(c * 255 + 0.5f);
            if (level) out[x] = (uint8_t)level;
        }
    }
    return true;
}

bool SampleOutlineCoverage(const FT_Outline* outline, uint8_t* pixels, int rowLength, int width, int height) {
    if (width <= 0 || height <= 0) return true;
    EdgeList list;
    if (!Flatten(outline, &list)) return false;
    const bool evenOdd = (outline->flags & FT_OUTLINE_EVEN_ODD_FILL) != 0;
    std::vector<EdgeList::Edge>& edges = list.edges;
    std::sort(edges.begin(), edges.end(), [](const EdgeList::Edge& a, const EdgeList::Edge& b) { return a.y0 < b.y0; });
    // The edges that cross the current row's centre line, kept as indices; each edge crosses the
    // centre lines from its upper end (inclusive) to its lower end (exclusive).
    std::vector<size_t> active;
    std::vector<std::pair<double, int>> crossings;
    size_t next = 0;
    for (int row = 0; row < height; row++) {
        const double yc = (double)row + 0.5;
        while (next < edges.size() && edges[next].y0 <= yc) active.push_back(next++);
        crossings.clear();
        size_t kept = 0;
        for (size_t i : active) {
            const EdgeList::Edge& e = edges[i];
            if (e.y1 <= yc) continue;
            active[kept++] = i;
            crossings.push_back({e.x0 + (yc - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0), e.dir});
        }
        active.resize(kept);
        std::sort(crossings.begin(), crossings.end());
        uint8_t* out = pixels + (int64_t)row * rowLength;
        std::fill(out, out + width, (uint8_t)0);
        // A pixel is inside when its centre lies between two crossings that the rule fills between.
        int winding = 0;
        for (size_t i = 0; i + 1 < crossings.size(); i++) {
            winding += crossings[i].second;
            if (evenOdd ? (i % 2) != 0 : winding == 0) continue;
            const int from = (int)std::max(std::ceil(crossings[i].first - 0.5), 0.0);
            const int to = (int)std::min(std::ceil(crossings[i + 1].first - 0.5), (double)width);
            for (int x = from; x < to; x++) out[x] = 255;
        }
    }
    return true;
}
