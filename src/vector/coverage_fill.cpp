#include "vector/coverage_fill.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx/polygon.h"
#include "vector/coverage_lines.h"

namespace {

inline bool ValidImage(const qzCoverageImage* image) {
    if (!image || !image->pixels) {
        SetCoverageError(COVERR_NULL);
        return false;
    }
    if (image->sizeWord != COVERAGE_IMAGE_TAG) {
        SetCoverageError(COVERR_BADARG);
        return false;
    }
    return true;
}

// Sets columns from..to (inclusive, any values) of one row, clipped to the image.
inline void SetSpan(qzCoverageImage* image, int64_t row, int64_t from, int64_t to, uint8_t value) {
    if (row < 0 || row >= image->height) return;
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, (int64_t)image->width - 1);
    if (from > to) return;
    std::memset(image->pixels + row * image->pitch + from, value, (size_t)(to - from + 1));
}

// The edge drawer of a precision for one 16.16 segment.
void DrawFixedEdge(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t value, int precision,
                   int shift) {
    if (precision > 8)
        DrawCoverageAALine(image, x1, y1, x2, y2);
    else if (shift)
        DrawCoverageSubPixelLine(image, x1, y1, x2, y2, value);
    else
        DrawCoverageLine(image, x1 >> 16, y1 >> 16, x2 >> 16, y2 >> 16, value, 0);
}

void RoundCap(qzCoverageImage* image, int64_t cx, int64_t cy, int64_t r, int precision) {
    if (precision > 8) {
        const float* sine = CoverageSineTable();
        const int step = CurveStepForRadius(r);
        std::vector<int64_t> points;
        points.reserve(2 * (360 / step + 3));
        int64_t lastX = 0, lastY = 0;
        for (int a = 0; a < 360 + step; a += step) {
            const int index = std::min(a, 360);
            const int64_t x = (cx << 16) + std::llround((double)r * sine[450 - index] * 65536.0);
            const int64_t y = (cy << 16) - std::llround((double)r * sine[index] * 65536.0);
            if (!points.empty() && x == lastX && y == lastY) continue;
            points.push_back(x);
            points.push_back(y);
            lastX = x;
            lastY = y;
        }
        while (points.size() < 4) {
            points.push_back(lastX);
            points.push_back(lastY);
        }
        FillCoverageConvex(image, points.data(), (int)(points.size() / 2), 255, precision, 16);
        return;
    }
    // A solid disc, row by row: the columns whose distance from the centre is at most r.
    const int64_t top = std::max<int64_t>(cy - r, 0), bottom = std::min<int64_t>(cy + r, (int64_t)image->height - 1);
    for (int64_t row = top; row <= bottom; row++) {
        const int64_t dy = row - cy;
        int64_t dx = (int64_t)std::sqrt((double)(r * r - dy * dy));
        while (dx * dx > r * r - dy * dy) dx--;
        while ((dx + 1) * (dx + 1) <= r * r - dy * dy) dx++;
        SetSpan(image, row, cx - dx, cx + dx, 255);
    }
}

void ThickLine(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int precision, int width) {
    if (width >= 256) {
        SetCoverageError(COVERR_TOOBIG);
        return;
    }
    if (width <= 1) {
        if (precision > 8)
            DrawCoverageAALine(image, x1 << 16, y1 << 16, x2 << 16, y2 << 16);
        else
            DrawCoverageLine(image, x1, y1, x2, y2, 255, 0);
        return;
    }
    // The normal scaled to half the width, in 16.16 (single precision, as the reciprocal square
    // root of the length); a line of no length has none and is then only its caps.
    const float dx = (float)(x2 - x1), dy = (float)(y2 - y1);
    const float length2 = dx * dx + dy * dy;
    int64_t nx = 0, ny = 0;
    if (length2 > 0) {
        const float half = (float)(width << 15) * (1.0f / std::sqrt(length2));
        nx = (int64_t)(-dy * half);
        ny = (int64_t)(dx * half);
    }
    const int64_t quad[8] = {
        (x1 << 16) + nx, (y1 << 16) + ny, (x1 << 16) - nx, (y1 << 16) - ny,
        (x2 << 16) - nx, (y2 << 16) - ny, (x2 << 16) + nx, (y2 << 16) + ny,
    };
    FillCoverageConvex(image, quad, 4, 255, precision, 16);
    const int64_t r = (((int64_t)width << 15) + 32768) >> 16;
    RoundCap(image, x1, y1, r, precision);
    RoundCap(image, x2, y2, r, precision);
}

// Signed 16.16 coordinates are kept within this range, so that sums and products stay exact.
constexpr int64_t kFixedLimit = (int64_t)1 << 47;

inline int64_t ClampFixed(int64_t v) { return std::clamp(v, -kFixedLimit, kFixedLimit); }

}  // namespace

int CurveStepForRadius(int64_t radius) {
    if (radius < 3) return 90;
    if (radius <= 9) return 30;
    if (radius <= 14) return 18;
    return 5;
}

void ScanCoverageEdges(qzCoverageImage* image, std::vector<qzCoverageEdge>& edges, uint32_t value) {
    if (!ValidImage(image) || edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const qzCoverageEdge& a, const qzCoverageEdge& b) {
        if (a.yUpper != b.yUpper) return a.yUpper < b.yUpper;
        if (a.x != b.x) return a.x < b.x;
        return a.step < b.step;
    });
    int64_t lowest = edges[0].yLower;
    for (const auto& e : edges) lowest = std::max(lowest, e.yLower);
    const int64_t end = std::min<int64_t>(image->height, lowest);
    // Scanlines above the image set nothing: the walk starts at the first visible one, each
    // edge's x being its upper x plus its step times the lines it has gone down.
    int64_t line = std::max<int64_t>(edges[0].yUpper, 0);
    size_t next = 0;
    std::vector<const qzCoverageEdge*> active;
    std::vector<int64_t> xs;
    const uint8_t byte = (uint8_t)value;
    for (; line < end; line++) {
        while (next < edges.size() && edges[next].yUpper <= line) active.push_back(&edges[next++]);
        active.erase(
            std::remove_if(active.begin(), active.end(), [line](const qzCoverageEdge* e) { return e->yLower <= line; }),
            active.end());
        if (active.size() < 2) {
            if (active.empty() && next < edges.size()) line = std::max(line, edges[next].yUpper - 1);
            continue;
        }
        xs.clear();
        for (const qzCoverageEdge* e : active) xs.push_back(e->x + e->step * (line - e->yUpper));
        // Insertion sort: the order changes little from one line to the next.
        for (size_t i = 1; i < xs.size(); i++) {
            const int64_t v = xs[i];
            size_t j = i;
            for (; j > 0 && xs[j - 1] > v; j--) xs[j] = xs[j - 1];
            xs[j] = v;
        }
        for (size_t i = 0; i + 1 < xs.size(); i += 2)
            SetSpan(image, line, (xs[i] + 65535) >> 16, xs[i + 1] >> 16, byte);
    }
}

void FillCoverageConvex(qzCoverageImage* image, const int64_t* points, int count, uint32_t value, int precision,
                        int shift) {
    if (!ValidImage(image)) return;
    if (!points) {
        SetCoverageError(COVERR_NULL);
        return;
    }
    if (count <= 0) return;
    std::vector<int64_t> p(points, points + 2 * (size_t)count);
    for (auto& v : p) v = ClampFixed(shift ? v : v << 16);
    const uint8_t byte = (uint8_t)value;
    for (int i = 0; i < count; i++) {
        const int a = i == 0 ? count - 1 : i - 1;
        DrawFixedEdge(image, p[2 * a], p[2 * a + 1], p[2 * i], p[2 * i + 1], byte, precision, shift);
    }
    if (count < 3) return;
    int64_t yMin = p[1], yMax = p[1];
    for (int i = 1; i < count; i++) {
        yMin = std::min(yMin, p[2 * i + 1]);
        yMax = std::max(yMax, p[2 * i + 1]);
    }
    const int64_t top = std::max<int64_t>((yMin + 65535) >> 16, 0);
    const int64_t bottom = std::min<int64_t>(yMax >> 16, (int64_t)image->height - 1);
    for (int64_t row = top; row <= bottom; row++) {
        const int64_t y = row << 16;
        int64_t left = INT64_MAX, right = INT64_MIN;
        for (int i = 0; i < count; i++) {
            const int a = i == 0 ? count - 1 : i - 1;
            const int64_t xa = p[2 * a], ya = p[2 * a + 1], xb = p[2 * i], yb = p[2 * i + 1];
            if (y < std::min(ya, yb) || y > std::max(ya, yb)) continue;
            if (ya == yb) {
                left = std::min({left, xa, xb});
                right = std::max({right, xa, xb});
                continue;
            }
            const int64_t x = xa + (int64_t)((__int128)(xb - xa) * (y - ya) / (yb - ya));
            left = std::min(left, x);
            right = std::max(right, x);
        }
        if (left > right) continue;
        SetSpan(image, row, (left + 65535) >> 16, right >> 16, byte);
    }
}

void DrawCoverageThickLine(qzCoverageImage* image, int x1, int y1, int x2, int y2, int precision, int width) {
    ClearCoverageError();
    if (!ValidImage(image)) return;
    ThickLine(image, x1, y1, x2, y2, precision ? 16 : 8, width);
}

void FillCoveragePolygon(qzCoverageImage* image, const qzPoint* points, int count, int precision, int stroke) {
    ClearCoverageError();
    if (!ValidImage(image)) return;
    if (!points) {
        SetCoverageError(COVERR_NULL);
        return;
    }
    if (count < 0) {
        SetCoverageError(COVERR_TOOBIG);
        return;
    }
    if (stroke >= 256 || stroke < 0) {
        SetCoverageError(COVERR_BADARG);
        return;
    }
    if (count == 0) return;
    const int bits = precision ? 16 : 8;
    if (stroke > 0) {
        for (int i = 0; i < count; i++) {
            const qzPoint& a = points[i == 0 ? count - 1 : i - 1];
            const qzPoint& b = points[i];
            ThickLine(image, a.x, a.y, b.x, b.y, bits, stroke);
        }
        return;
    }
    std::vector<qzCoverageEdge> edges;
    edges.reserve((size_t)count);
    for (int i = 0; i < count; i++) {
        const qzPoint& a = points[i == 0 ? count - 1 : i - 1];
        const qzPoint& b = points[i];
        if (bits == 16)
            DrawCoverageAALine(image, (int64_t)a.x << 16, (int64_t)a.y << 16, (int64_t)b.x << 16, (int64_t)b.y << 16);
        else
            DrawCoverageLine(image, a.x, a.y, b.x, b.y, 255, 0);
        if (a.y == b.y) continue;
        const qzPoint& upper = a.y < b.y ? a : b;
        const qzPoint& lower = a.y < b.y ? b : a;
        edges.push_back({(int64_t)upper.x << 16, (((int64_t)lower.x - upper.x) * 65536) / ((int64_t)lower.y - upper.y),
                         upper.y, lower.y});
    }
    ScanCoverageEdges(image, edges, 255);
}
