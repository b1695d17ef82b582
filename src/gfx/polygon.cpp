#include "gfx/polygon.h"

#include <cmath>
#include <cstdint>

#include "gfx/mask_bits.h"
#include "gfx/pixel_access.h"
#include "gfx/trig_tables.h"

void FillMaskPolygonSpans(uint8_t* mask, int bytesPerRow, int rows, int32_t* crossings, const qzPoint* points,
                          int count) {
    if (!mask || !points || !crossings || count < 2 || bytesPerRow <= 0) return;
    int32_t yMin = points[0].y, yMax = points[0].y;
    for (int i = 1; i < count; i++) {
        if (points[i].y < yMin) yMin = points[i].y;
        if (points[i].y > yMax) yMax = points[i].y;
    }
    const int64_t rowBits = (int64_t)bytesPerRow * 8;
    for (int64_t y = yMin; y <= yMax; y++) {
        int found = 0;
        for (int i = 0; i < count; i++) {
            const qzPoint& a = points[i == 0 ? count - 1 : i - 1];
            const qzPoint& b = points[i];
            if (a.y == b.y) continue;
            int64_t x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
            if (y1 > y2) {
                x1 = b.x;
                y1 = b.y;
                x2 = a.x;
                y2 = a.y;
            }
            bool crosses = (y1 <= y && y < y2) || (y == yMax && y1 < y && y <= y2);
            if (!crosses) continue;
            float part = (float)((y - y1) * (x2 - x1)) / (float)(y2 - y1);
            // The float quotient can stray a little past the edge's far end: kept in range.
            const double at = (double)part + 0.5 + (double)x1;
            crossings[found++] = at <= INT32_MIN ? INT32_MIN : (at >= INT32_MAX ? INT32_MAX : (int32_t)at);
        }
        for (int i = 1; i < found; i++) {
            int32_t v = crossings[i];
            int j = i - 1;
            while (j >= 0 && crossings[j] > v) {
                crossings[j + 1] = crossings[j];
                j--;
            }
            crossings[j + 1] = v;
        }
        if (y < 0 || y >= rows) continue;
        uint8_t* row = mask + y * bytesPerRow;
        for (int k = 0; k + 1 < found; k += 2) {
            int64_t from = crossings[k] < 0 ? 0 : crossings[k];
            int64_t to = crossings[k + 1] >= rowBits ? rowBits - 1 : crossings[k + 1];
            for (int64_t x = from; x <= to; x++) SetMaskBit(row, x);
        }
    }
}

namespace {

bool Inside(const qzPoint& p, int c, int edge) {
    switch (edge) {
    case CLIPEDGE_LEFT: return p.x >= c;
    case CLIPEDGE_TOP: return p.y >= c;
    case CLIPEDGE_RIGHT: return p.x <= c;
    default: return p.y <= c;
    }
}

qzPoint Crossing(const qzPoint& a, const qzPoint& b, int c, int edge) {
    qzPoint r;
    if (edge == CLIPEDGE_LEFT || edge == CLIPEDGE_RIGHT) {
        r.x = c;
        r.y = (int32_t)std::lround(a.y + ((double)c - a.x) * ((double)b.y - a.y) / ((double)b.x - a.x));
    } else {
        r.y = c;
        r.x = (int32_t)std::lround(a.x + ((double)c - a.y) * ((double)b.x - a.x) / ((double)b.y - a.y));
    }
    return r;
}

}  // namespace

int ClipPolygonAgainstEdge(int count, const qzPoint* in, qzPoint* out, int coordinate, int edge) {
    if (count <= 0 || !in || !out) return 0;
    if (edge < CLIPEDGE_LEFT || edge > CLIPEDGE_BOTTOM) {
        for (int i = 0; i < count; i++) out[i] = in[i];
        return count;
    }
    int n = 0;
    qzPoint prev = in[count - 1];
    bool prevIn = Inside(prev, coordinate, edge);
    for (int i = 0; i < count; i++) {
        const qzPoint& cur = in[i];
        bool curIn = Inside(cur, coordinate, edge);
        // A crossing exists only between points on opposite sides, so its divisor is never 0.
        if (curIn != prevIn) out[n++] = Crossing(prev, cur, coordinate, edge);
        if (curIn) out[n++] = cur;
        prev = cur;
        prevIn = curIn;
    }
    return n;
}

int BuildEllipsePoints(qzPoint* points, int rx, int ry, int startAngle, int endAngle) {
    if (!points) return 0;
    if (endAngle < startAngle) endAngle += 360 * ((startAngle - endAngle + 359) / 360);
    const double* sine = DegreeSinTable();
    const double* cosine = DegreeCosTable();
    int n = 0;
    for (int a = startAngle; a <= endAngle; a++) {
        int i = a % 360;
        if (i < 0) i += 360;
        if (a != startAngle && i == 0) i = 360;
        int64_t c = std::lround(cosine[i] * 1024.0), s = std::lround(sine[i] * 1024.0);
        points[n].x = (int32_t)(rx + ((2 * (int64_t)rx + 1) * c) / 2048);
        points[n].y = (int32_t)(ry + ((2 * (int64_t)ry + 1) * s) / 2048);
        n++;
    }
    return n;
}
