#include "gfx/gradient.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "gfx/pixel_access.h"

using namespace pixel_access;

// ---- colour ramp ----

namespace {

struct RampEnd {
    int64_t position;
    uint32_t green, redBlue;
};

RampEnd StopEnd(const qzRampStop& s, int64_t position) {
    RampEnd e;
    e.position = position;
    e.green = (uint32_t)(s.green >> 8);
    e.redBlue = (uint32_t)(s.red >> 8) << 16 | (uint32_t)(s.blue >> 8);
    return e;
}

RampEnd Black(int64_t position) { return RampEnd{position, 0, 0}; }

int32_t Saturate32(int64_t v) { return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : (int32_t)v); }

// The segment of a position inside one period: [stop i - 1, stop i) with stop i the first stop
// beyond f, or the ends before the first and after the last stop as `before` and `after` say.
template <typename Before, typename After>
void SearchStops(const qzColorRamp* r, int64_t f, RampEnd& lo, RampEnd& hi, Before before, After after) {
    const qzRampStop* s = r->stops;
    const int n = r->count;
    if (f < s[0].position) {
        before(lo, hi);
        return;
    }
    if (f >= s[n - 1].position) {
        after(lo, hi);
        return;
    }
    int i = 1;
    while (i < n - 1 && s[i].position <= f) i++;
    lo = StopEnd(s[i - 1], s[i - 1].position);
    hi = StopEnd(s[i], s[i].position);
}

}  // namespace

void InitColorRamp(qzColorRamp* r, const qzRampStop* stops, int count, int mode) {
    r->stops = stops;
    r->count = count;
    r->mode = mode;
    r->lower = 0;
    r->upper = 0x10000;
    r->lowerGreen = r->lowerRedBlue = r->upperGreen = r->upperRedBlue = 0;
    r->step = 0;
    r->dirty = 1;
}

void FindRampSegment(qzColorRamp* r, int32_t position) {
    RampEnd lo = Black(INT32_MIN), hi = Black(INT32_MAX);
    if (r->stops && r->count > 0) {
        const qzRampStop* s = r->stops;
        const int n = r->count;
        const qzRampStop& first = s[0];
        const qzRampStop& last = s[n - 1];
        switch (r->mode) {
        case RAMP_PAD:
            SearchStops(
                r, position, lo, hi,
                [&](RampEnd& l, RampEnd& h) {
                    l = StopEnd(first, INT32_MIN);
                    h = StopEnd(first, first.position);
                },
                [&](RampEnd& l, RampEnd& h) {
                    l = StopEnd(last, last.position);
                    h = StopEnd(last, INT32_MAX);
                });
            break;
        case RAMP_REPEAT: {
            const int64_t whole = (int64_t)position - (position & 0xFFFF);
            SearchStops(
                r, position & 0xFFFF, lo, hi,
                [&](RampEnd& l, RampEnd& h) {
                    l = StopEnd(last, (int64_t)last.position - 0x10000);
                    h = StopEnd(first, first.position);
                },
                [&](RampEnd& l, RampEnd& h) {
                    l = StopEnd(last, last.position);
                    h = StopEnd(first, (int64_t)first.position + 0x10000);
                });
            lo.position += whole;
            hi.position += whole;
            break;
        }
        case RAMP_REFLECT: {
            const int64_t f0 = position & 0xFFFF;
            const bool odd = (position & 0x10000) != 0;
            const int64_t f = odd ? 0x10000 - f0 : f0;
            SearchStops(
                r, f, lo, hi,
                [&](RampEnd& l, RampEnd& h) {
                    l = StopEnd(first, -(int64_t)first.position);
                    h = StopEnd(first, first.position);
                },
                [&](RampEnd& l, RampEnd& h) {
                    l = StopEnd(last, last.position);
                    h = StopEnd(last, 0x20000 - (int64_t)last.position);
                });
            if (odd) {
                RampEnd l = hi, h = lo;
                l.position = 0x10000 - hi.position;
                h.position = 0x10000 - lo.position;
                lo = l;
                hi = h;
            }
            lo.position += (int64_t)position - f0;
            hi.position += (int64_t)position - f0;
            break;
        }
        default:
            SearchStops(
                r, position, lo, hi,
                [&](RampEnd& l, RampEnd& h) {
                    l = Black(INT32_MIN);
                    h = Black(first.position);
                },
                [&](RampEnd& l, RampEnd& h) {
                    l = Black(last.position);
                    h = Black(INT32_MAX);
                });
            break;
        }
    }
    r->lower = Saturate32(lo.position);
    r->upper = Saturate32(hi.position);
    r->lowerGreen = lo.green;
    r->lowerRedBlue = lo.redBlue;
    r->upperGreen = hi.green;
    r->upperRedBlue = hi.redBlue;
    const int64_t d = (int64_t)r->upper - r->lower;
    const bool sameColour = lo.green == hi.green && lo.redBlue == hi.redBlue;
    r->step = (d != 0 && !sameColour) ? (int32_t)((0x1000000 + d / 2) / d) : 0;
    r->dirty = 0;
}

namespace {

// The weight 0..256 of the upper colour at a position, after bringing the segment up to date.
inline uint32_t RampWeight(qzColorRamp* r, int32_t position) {
    if (r->dirty || position < r->lower || position >= r->upper) FindRampSegment(r, position);
    int64_t t = (((int64_t)position - r->lower) * r->step) >> 16;
    if (t < 0) t = 0;
    if (t > 256) t = 256;
    return (uint32_t)t;
}

}  // namespace

uint32_t RampColor32(qzColorRamp* r, int32_t position) {
    const uint32_t t = RampWeight(r, position);
    const uint32_t rb = ((r->lowerRedBlue * (256 - t) + r->upperRedBlue * t) >> 8) & 0xFF00FF;
    const uint32_t g = ((256 - t) * r->lowerGreen + t * r->upperGreen) & 0xFF00;
    return rb | g;
}

uint16_t RampColor16(qzColorRamp* r, int32_t position) {
    const uint32_t t = RampWeight(r, position);
    const uint32_t rb = r->lowerRedBlue * (256 - t) + r->upperRedBlue * t;
    const uint32_t g = (256 - t) * r->lowerGreen + t * r->upperGreen;
    return (uint16_t)(((rb >> 16) & 0xF800) | ((g >> 5) & 0x7E0) | ((rb >> 11) & 0x1F));
}

// ---- rendering ----

namespace {

inline int32_t ToPosition(double v) {
    if (!(v >= (double)INT32_MIN)) return INT32_MIN;  // NaN too
    if (v >= (double)INT32_MAX) return INT32_MAX;
    return (int32_t)v;
}

// Stores colours of one pixel format: 0x00RRGGBB for 4-byte pixels, RGB565 for 2-byte ones.
template <int F>
struct PixelSink {
    static constexpr int kBytes = FormatBytes(F);
    static void Put32(uint8_t* p, uint32_t c) {
        Store32(p, PackRGB<F>((int)((c >> 16) & 255), (int)((c >> 8) & 255), (int)(c & 255)));
    }
    static void Put16(uint8_t* p, uint16_t v) {
        Store16(p, (uint16_t)PackRGB<F>((v >> 8) & 248, (v >> 3) & 252, (v << 3) & 248));
    }
    static void PutRamp(uint8_t* p, qzColorRamp* ramp, int32_t pos) {
        if constexpr (kBytes == 4)
            Put32(p, RampColor32(ramp, pos));
        else
            Put16(p, RampColor16(ramp, pos));
    }
};

// Copies the row's first pixel over the rest of its `width` pixels.
template <int kBytes>
void FillRow(uint8_t* row, int width) {
    if (kBytes == 4) {
        const uint32_t v = Load32(row);
        for (int x = 1; x < width; x++) Store32(row + 4 * x, v);
    } else {
        const uint16_t v = Load16(row);
        for (int x = 1; x < width; x++) Store16(row + 2 * x, v);
    }
}

inline uint8_t* RowStart(const qzGradientJob* j, int row, int bpp) {
    return (uint8_t*)j->pixels + ((int64_t)(row + j->y) * j->rowLength + j->x) * bpp;
}

int ReduceAngle(int32_t a) {
    int64_t r = a < 0 ? 360 - ((-(int64_t)a) % 360) : (int64_t)a % 360;
    return (int)(r == 360 ? 0 : r);
}

// The two-colour linear gradient in integer arithmetic (64-bit, so big rectangles do not wrap).
template <int F>
void LinearTwoColour(const qzGradientJob* j) {
    using Sink = PixelSink<F>;
    const qzGradient* g = j->gradient;
    const int a = ReduceAngle(g->angle);
    const double rad = a * M_PI / 180.0;
    const int64_t cv = (int64_t)(std::cos(rad) * -255.0), sv = (int64_t)(std::sin(rad) * 255.0);
    const int64_t W = j->width, H = j->height;
    const bool firstCase = a <= 90 || (a >= 181 && a <= 270);
    const int64_t k = firstCase ? H : -H;
    int64_t u = firstCase ? 0 : H;
    int64_t d = 1;
    const bool down = a >= 91 && a <= 270;
    if (down) {
        u = H - u;
        d = -1;
    }
    const int64_t divisor = W * sv - k * cv;
    const int sr = (g->startColor >> 16) & 255, sg = (g->startColor >> 8) & 255, sb = g->startColor & 255;
    const int er = (g->endColor >> 16) & 255, eg = (g->endColor >> 8) & 255, eb = g->endColor & 255;
    // s = acc / divisor (truncating) for acc stepping by a constant: kept as a floor quotient and
    // remainder of the positive divisor, so each pixel costs an addition, not a division.
    const int64_t den = divisor < 0 ? -divisor : divisor;
    const int64_t sign = divisor < 0 ? -1 : 1;
    auto floorDiv = [](int64_t n, int64_t d, int64_t& q, int64_t& r) {
        q = n / d;
        r = n % d;
        if (r < 0) {
            r += d;
            q--;
        }
    };
    int64_t stepQ = 0, stepR = 0;
    if (den) floorDiv(sign * d * k * sv, den, stepQ, stepR);
    for (int row = 0; row < j->height; row++) {
        const int64_t c = down ? H - row : row;
        int64_t q = 0, r = 0;
        if (den) floorDiv(sign * (sv * u * W - c * (k * cv)), den, q, r);
        int64_t lastS = -1;
        uint32_t colour = 0;
        uint8_t* p = RowStart(j, row, Sink::kBytes);
        const int run = stepQ == 0 && stepR == 0 ? 1 : j->width;  // angle 0 and 180: one colour a row
        for (int x = 0; x < run; x++, p += Sink::kBytes) {
            const int64_t s = q + (q < 0 && r != 0 ? 1 : 0);
            if (s != lastS || x == 0) {
                lastS = s;
                const int rr = (int)(sr + ((er - sr) * s) / H);
                const int gg = (int)(sg + ((eg - sg) * s) / H);
                const int bb = (int)(sb + ((eb - sb) * s) / H);
                if constexpr (Sink::kBytes == 4)
                    colour = PackRGB<F>(rr & 255, gg & 255, bb & 255);
                else
                    colour = PackRGB<F>(rr & 0xF8, gg & 0xFC, bb & 0xF8);
            }
            if constexpr (Sink::kBytes == 4)
                Store32(p, colour);
            else
                Store16(p, (uint16_t)colour);
            q += stepQ;
            r += stepR;
            if (r >= den && den) {
                r -= den;
                q++;
            }
        }
        if (run == 1) FillRow<Sink::kBytes>(RowStart(j, row, Sink::kBytes), j->width);
    }
}

qzRampStop RampStop(uint32_t colour, int32_t position) {
    qzRampStop s;
    s.position = position;
    s.red = (uint16_t)(((colour >> 16) & 255) * 0x101);
    s.green = (uint16_t)(((colour >> 8) & 255) * 0x101);
    s.blue = (uint16_t)((colour & 255) * 0x101);
    return s;
}

int BuildStops(const qzGradient* g, qzRampStop* stops) {
    if (!g->stops.empty()) {
        const int n = (int)std::min(g->stops.size(), (size_t)QZ_MAX_GRADIENT_STOPS);
        for (int i = 0; i < n; i++) stops[i] = RampStop(g->stops[i].color, ToPosition(g->stops[i].position * 65536.0));
        return n;
    }
    if (g->style == GRADIENT_CONICAL) {
        stops[0] = RampStop(g->endColor, 0);
        stops[1] = RampStop(g->startColor, ToPosition(g->balance * 65536.0));
        stops[2] = RampStop(g->endColor, 0x10000);
        return 3;
    }
    stops[0] = RampStop(g->startColor, 0);
    stops[1] = RampStop(g->endColor, 0x10000);
    return 2;
}

template <int F>
void LinearStops(const qzGradientJob* j, const qzRampStop* stops, int n) {
    using Sink = PixelSink<F>;
    const int W = j->width, H = j->height;
    int64_t p1x, p1y, p2x, p2y;
    if (j->gradient->angle == 0) {
        p1x = 0;
        p1y = 0;
        p2x = 0;
        p2y = (int64_t)(H - 1) << 16;
    } else {
        const int64_t halfW = (int64_t)(W * 0.5), halfH = (int64_t)(H * 0.5);
        const double theta = (360 - (j->gradient->angle % 360)) * M_PI / 180.0;
        const double c = std::cos(theta), s = std::sin(theta);
        auto rotate = [&](double X, double Y, int64_t& ox, int64_t& oy) {
            ox = ((int64_t)(c * X - s * Y) + halfW) << 16;
            oy = ((int64_t)(s * X + c * Y) + halfH) << 16;
        };
        rotate((double)-halfW, (double)-halfH, p1x, p1y);
        rotate((double)-halfW, (double)(H - 1 - halfH), p2x, p2y);
    }
    const double dx = (double)(p2x - p1x) / 65536.0, dy = (double)(p2y - p1y) / 65536.0;
    const double len = dx * dx + dy * dy;
    qzColorRamp ramp;
    for (int row = 0; row < H; row++) {
        InitColorRamp(&ramp, stops, n, RAMP_PAD);
        uint8_t* p = RowStart(j, row, Sink::kBytes);
        if (len == 0) {
            for (int x = 0; x < W; x++, p += Sink::kBytes) Sink::PutRamp(p, &ramp, 0);
            continue;
        }
        double t = (0.5 * 65536.0 - (double)p1x) * dx / len + ((row + 0.5) * 65536.0 - (double)p1y) * dy / len;
        const double inc = dx / len * 65536.0;
        if (inc == 0) {  // an axis straight down: one colour a row
            Sink::PutRamp(p, &ramp, ToPosition(t));
            FillRow<Sink::kBytes>(p, W);
            continue;
        }
        for (int x = 0; x < W; x++, p += Sink::kBytes, t += inc) Sink::PutRamp(p, &ramp, ToPosition(t));
    }
}

template <int F>
void Radial(const qzGradientJob* j, const qzRampStop* stops, int n) {
    using Sink = PixelSink<F>;
    const qzGradient* g = j->gradient;
    const int W = j->width, H = j->height;
    const double m = std::fmax(std::fabs(0.5 - g->centerX), std::fabs(0.5 - g->centerY));
    const double b = g->border == 1.0 ? 1 - 0.99 : 1 - g->border;
    double radius = std::trunc(b * (m + 0.5) * std::sqrt((double)W * W + (double)H * H) * 65536.0);
    // A radius that comes out as 0 (a border just under 1.0) is the smallest one instead, so the
    // end colour fills everything beyond the centre as it does at border 1.0.
    if (radius == 0 || !std::isfinite(radius)) radius = radius < 0 ? -1 : 1;
    const double cx = std::trunc(g->centerX * W * 65536.0), cy = std::trunc(g->centerY * H * 65536.0);
    // Two circles about the centre: radius 0 and `radius`; dx = dy = 0, dr = radius.
    const double dr = radius, r0 = 0;
    const double A = -dr * dr;
    qzColorRamp ramp;
    for (int row = 0; row < H; row++) {
        InitColorRamp(&ramp, stops, n, RAMP_PAD);
        uint8_t* p = RowStart(j, row, Sink::kBytes);
        const double py = (row + 0.5) * 65536.0 - cy;
        for (int x = 0; x < W; x++, p += Sink::kBytes) {
            const double px = (x + 0.5) * 65536.0 - cx;
            const double B = -2 * (r0 * dr);
            const double C = px * px + py * py - r0 * r0;
            const double disc = B * B - 4 * A * C;
            double pos;
            if (disc > 0)
                pos = A * dr < 0 ? -65536.0 / (2 * A) * (B + std::sqrt(disc))
                                 : -65536.0 / (2 * A) * (B - std::sqrt(disc));
            else
                pos = -65536.0 * B / (2 * A);
            Sink::PutRamp(p, &ramp, ToPosition(pos));
        }
    }
}

template <int F>
void Conical(const qzGradientJob* j, const qzRampStop* stops, int n) {
    using Sink = PixelSink<F>;
    const qzGradient* g = j->gradient;
    const int W = j->width, H = j->height;
    const double cx = std::trunc(g->centerX * W * 65536.0) / 65536.0;
    const double cy = std::trunc(g->centerY * H * 65536.0) / 65536.0;
    const double start = g->angle * M_PI / 180.0;
    qzColorRamp ramp;
    for (int row = 0; row < H; row++) {
        InitColorRamp(&ramp, stops, n, RAMP_REFLECT);
        uint8_t* p = RowStart(j, row, Sink::kBytes);
        const double dy = row + 0.5 - cy;
        for (int x = 0; x < W; x++, p += Sink::kBytes) {
            const double dx = x + 0.5 - cx;
            const double v = std::fmod(start + std::atan2(dy, dx) + 2 * M_PI, 2 * M_PI);
            Sink::PutRamp(p, &ramp, ToPosition((v / (-2 * M_PI)) * 65536.0 + 65536.0));
        }
    }
}

template <int F>
void Render(const qzGradientJob* j) {
    const qzGradient* g = j->gradient;
    if (g->style == GRADIENT_LINEAR && g->stops.empty()) {
        LinearTwoColour<F>(j);
        return;
    }
    qzRampStop stops[QZ_MAX_GRADIENT_STOPS];
    const int n = BuildStops(g, stops);
    if (g->style == GRADIENT_RADIAL)
        Radial<F>(j, stops, n);
    else if (g->style == GRADIENT_CONICAL)
        Conical<F>(j, stops, n);
    else
        LinearStops<F>(j, stops, n);
}

}  // namespace

void RenderGradient(const qzGradientJob* j) {
    if (!j || !j->pixels || !j->gradient || j->width <= 0 || j->height <= 0) return;
    if (j->bytesPerPixel == 4) {
        // Formats other than 11-13 get the native 0x00RRGGBB word.
        if (j->pixelFormat >= 11 && j->pixelFormat <= 13)
            DispatchRgbFormat(j->pixelFormat, [&](auto f) { Render<decltype(f)::value>(j); });
        else
            Render<10>(j);
    } else if (j->bytesPerPixel == 2) {
        if (j->pixelFormat >= 0 && j->pixelFormat <= 7)
            DispatchRgbFormat(j->pixelFormat, [&](auto f) { Render<decltype(f)::value>(j); });
        else
            Render<4>(j);
    }
}
