// The gradient renderer: the integer two-colour linear path, the 16.16 colour ramp's pad, repeat,
// reflect and none modes, and linear and radial gradients against pixman and cairo.
#include <gtest/gtest.h>

#include <cairo.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/gradient.h"

namespace gradient_test {

namespace {

std::vector<uint32_t> Render(const qzGradient& g, int w, int h) {
    std::vector<uint32_t> px((size_t)w * h, 0xEEEEEEEE);
    qzGradientJob j{px.data(), 4, 10, 0, 0, w, h, w, &g};
    RenderGradient(&j);
    return px;
}

qzGradient TwoColour(int style, uint32_t from, uint32_t to, int angle) {
    qzGradient g;
    InitGradientSettings(&g);
    g.style = style;
    g.startColor = from;
    g.endColor = to;
    g.angle = angle;
    return g;
}

int MaxChannelDiff(uint32_t a, uint32_t b) {
    int d = 0;
    for (int s = 0; s < 24; s += 8) d = std::max(d, std::abs((int)((a >> s) & 255) - (int)((b >> s) & 255)));
    return d;
}

TEST(Gradient, TwoColourLinearDirections) {
    const int w = 50, h = 40;
    const uint32_t from = 0x00102030, to = 0x00F0E0D0;
    // Angle 0 runs down, 90 right, 180 up, 270 left; the end colour is never quite reached.
    std::vector<uint32_t> down = Render(TwoColour(GRADIENT_LINEAR, from, to, 0), w, h);
    EXPECT_EQ(down[0], from);
    EXPECT_EQ(down[(size_t)(h - 1) * w], 0x00EADBCCu);  // start + (end - start) * 39 / 40
    std::vector<uint32_t> right = Render(TwoColour(GRADIENT_LINEAR, from, to, 90), w, h);
    EXPECT_EQ(right[0], from);
    EXPECT_GT(right[w - 1] & 0xFF0000, right[w / 2] & 0xFF0000);
    EXPECT_EQ(right[w - 1], right[(size_t)(h - 1) * w + w - 1]);  // columns are flat
    std::vector<uint32_t> up = Render(TwoColour(GRADIENT_LINEAR, from, to, 180), w, h);
    EXPECT_GT(up[0] & 0xFF0000, up[(size_t)(h - 1) * w] & 0xFF0000);
    std::vector<uint32_t> left = Render(TwoColour(GRADIENT_LINEAR, from, to, 270), w, h);
    EXPECT_GT(left[0] & 0xFF0000, left[w - 1] & 0xFF0000);
    EXPECT_EQ(Render(TwoColour(GRADIENT_LINEAR, from, to, -90), w, h), left);
    EXPECT_EQ(Render(TwoColour(GRADIENT_LINEAR, from, to, 360 + 45), w, h),
              Render(TwoColour(GRADIENT_LINEAR, from, to, 45), w, h));
    EXPECT_EQ(Render(TwoColour(GRADIENT_LINEAR, from, to, -360), w, h), down);
    // One row high: the start colour.
    for (uint32_t p : Render(TwoColour(GRADIENT_LINEAR, from, to, 0), 7, 1)) EXPECT_EQ(p, from);
}

TEST(Gradient, TwoColourLinearDoesNotWrapOnBigRectangles) {
    // 4096 x 2100 x 255 is past 2^31: the accumulator is 64-bit. 16-bit pixels keep it small.
    const int w = 4096, h = 2100;
    std::vector<uint16_t> px((size_t)w * h);
    qzGradient g = TwoColour(GRADIENT_LINEAR, 0x000000, 0xFFFFFF, 90);
    qzGradientJob j{px.data(), 2, 4, 0, 0, w, h, w, &g};
    RenderGradient(&j);
    // Column x gets s = x * H / W, channel = 255 * s / H; compare the red field of every column.
    for (int x = 0; x < w; x += 7) {
        const int64_t s = (int64_t)x * 255 * h / ((int64_t)w * 255);
        const int red = (int)(255 * s / h);
        ASSERT_EQ(px[(size_t)(h - 1) * w + x] >> 11, red >> 3) << x;
    }
}

TEST(Gradient, RampModesAtTheirEdges) {
    const qzRampStop stops[] = {{0x4000, 0xFFFF, 0, 0}, {0xC000, 0, 0, 0xFFFF}};
    struct Case {
        int mode;
        int32_t position;
        uint32_t colour;
    } cases[] = {
        {RAMP_PAD, -0x50000, 0xFF0000},
        {RAMP_PAD, 0x4000, 0xFF0000},
        {RAMP_PAD, 0xC000, 0x0000FF},
        {RAMP_PAD, 0x7FFFFFFF, 0x0000FF},
        {RAMP_PAD, 0x8000, 0x7F007F},  // halfway: 128/256 of each
        {0, 0x1000, 0x000000},
        {0, 0xD000, 0x000000},
        {0, 0x4000, 0xFF0000},
        {RAMP_REPEAT, 0x14000, 0xFF0000},
        {RAMP_REPEAT, 0x18000, 0x7F007F},
        {RAMP_REPEAT, -0xC000, 0xFF0000},
        {RAMP_REFLECT, 0x14000, 0x0000FF},  // odd period: 1.25 mirrors to 0.75
        {RAMP_REFLECT, 0x1C000, 0xFF0000},
        {RAMP_REFLECT, 0x20000 + 0x4000, 0xFF0000},
    };
    for (const Case& c : cases) {
        qzColorRamp r;
        InitColorRamp(&r, stops, 2, c.mode);
        EXPECT_EQ(RampColor32(&r, c.position), c.colour) << "mode " << c.mode << " at " << std::hex << c.position;
        InitColorRamp(&r, stops, 2, c.mode);
        const uint32_t k = c.colour;
        const uint16_t want = (uint16_t)(((k >> 8) & 0xF800) | ((k >> 5) & 0x7E0) | ((k & 0xFF) >> 3));
        EXPECT_EQ(RampColor16(&r, c.position), want) << "mode " << c.mode << " at " << std::hex << c.position;
    }
    // A single stop in pad mode: that colour everywhere.
    const qzRampStop one[] = {{0x8000, 0x1212, 0x3434, 0x5656}};
    qzColorRamp r;
    InitColorRamp(&r, one, 1, RAMP_PAD);
    for (int32_t p : {-0x10000, 0, 0x8000, 0x30000}) EXPECT_EQ(RampColor32(&r, p), 0x123456u);
}

TEST(Gradient, ConicalIsContinuousAcrossItsStartAngle) {
    qzGradient g = TwoColour(GRADIENT_CONICAL, 0x000000, 0xFFFFFF, 0);
    std::vector<uint32_t> px = Render(g, 41, 41);
    // The start angle points right of the centre: just above and just below that ray the
    // colours meet (both near the end colour, which the ramp begins and ends on).
    EXPECT_LE(MaxChannelDiff(px[19 * 41 + 40], px[21 * 41 + 40]), 12);
    EXPECT_GE(px[19 * 41 + 40] & 0xFF, 0xF0u);
    // The start colour sits at the balance: half way round, left of the centre.
    EXPECT_LE(px[20 * 41 + 0] & 0xFF, 0x10u);
}

TEST(Gradient, RadialBorderNearOneStaysFinite) {
    // Border 1.0 is read as a radius factor of 0.01; just under 1.0 the radius truncates to 0
    // and is taken as the smallest radius instead of dividing by it. Far-off centres likewise.
    for (double border : {1.0, 0.9999999999, 0.999}) {
        qzGradient g = TwoColour(GRADIENT_RADIAL, 0x000000, 0xFFFFFF, 0);
        g.border = border;
        std::vector<uint32_t> px = Render(g, 20, 10);
        EXPECT_EQ(px[0], 0xFFFFFFu) << border;
        for (uint32_t p : px) ASSERT_NE(p, 0xEEEEEEEEu) << border;
    }
    qzGradient far = TwoColour(GRADIENT_RADIAL, 0x000000, 0xFFFFFF, 0);
    far.centerX = 1e12;
    far.centerY = -1e12;
    for (uint32_t p : Render(far, 8, 8)) ASSERT_NE(p, 0xEEEEEEEEu);
}

TEST(Gradient, LinearWithStopsMatchesPixmanAndCairo) {
    const int w = 64, h = 48;
    qzGradient g = TwoColour(GRADIENT_LINEAR, 0, 0, 0);
    g.stops = {{0x00FF0000, 0.0}, {0x0000FF00, 0.3}, {0x000000FF, 1.0}};
    std::vector<uint32_t> ours = Render(g, w, h);
    // Angle 0: the axis runs from (0, 0) to (0, h - 1), sampled at pixel centres.
    std::vector<uint32_t> ref((size_t)w * h);
    pixman_gradient_stop_t ps[3] = {{pixman_double_to_fixed(0.0), {0xFFFF, 0, 0, 0xFFFF}},
                                    {pixman_double_to_fixed(0.3), {0, 0xFFFF, 0, 0xFFFF}},
                                    {pixman_double_to_fixed(1.0), {0, 0, 0xFFFF, 0xFFFF}}};
    pixman_point_fixed_t p1 = {0, 0}, p2 = {0, pixman_int_to_fixed(h - 1)};
    pixman_image_t* lin = pixman_image_create_linear_gradient(&p1, &p2, ps, 3);
    pixman_image_set_repeat(lin, PIXMAN_REPEAT_PAD);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, ref.data(), w * 4);
    pixman_image_composite32(PIXMAN_OP_SRC, lin, nullptr, dst, 0, 0, 0, 0, 0, 0, w, h);
    pixman_image_unref(lin);
    pixman_image_unref(dst);
    for (size_t i = 0; i < ours.size(); i++) ASSERT_LE(MaxChannelDiff(ours[i], ref[i]), 2) << "pixman, pixel " << i;

    // Angle 90 (left to right): the corner vectors (-32, -24) and (-32, 23) turned by 270
    // degrees and truncated toward zero (cos 270 is a hair off 0) give the axis (9, 56) to
    // (55, 55), of length about h - 1; cairo draws along it.
    g.angle = 90;
    ours = Render(g, w, h);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* pat = cairo_pattern_create_linear(9, 56, 55, 55);
    cairo_pattern_add_color_stop_rgb(pat, 0.0, 1, 0, 0);
    cairo_pattern_add_color_stop_rgb(pat, 0.3, 0, 1, 0);
    cairo_pattern_add_color_stop_rgb(pat, 1.0, 0, 0, 1);
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
    cairo_set_source(cr, pat);
    cairo_paint(cr);
    cairo_surface_flush(s);
    const uint8_t* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t c;
            std::memcpy(&c, data + y * stride + x * 4, 4);
            ASSERT_LE(MaxChannelDiff(ours[(size_t)y * w + x], c), 2) << "cairo at " << x << "," << y;
        }
    cairo_pattern_destroy(pat);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

TEST(Gradient, RadialMatchesPixman) {
    const int w = 60, h = 40;
    qzGradient g = TwoColour(GRADIENT_RADIAL, 0x00FFFF00, 0x000020FF, 0);
    g.centerX = 0.3;
    g.centerY = 0.6;
    g.border = 0.2;
    std::vector<uint32_t> ours = Render(g, w, h);
    const double m = std::fmax(std::fabs(0.5 - 0.3), std::fabs(0.5 - 0.6));
    const double radius = std::trunc(0.8 * (m + 0.5) * std::sqrt((double)w * w + h * h) * 65536.0) / 65536.0;
    pixman_point_fixed_t c = {pixman_double_to_fixed(std::trunc(0.3 * w * 65536.0) / 65536.0),
                              pixman_double_to_fixed(std::trunc(0.6 * h * 65536.0) / 65536.0)};
    pixman_gradient_stop_t ps[2] = {{0, {0xFFFF, 0xFFFF, 0, 0xFFFF}}, {pixman_fixed_1, {0, 0x2020, 0xFFFF, 0xFFFF}}};
    pixman_image_t* rad = pixman_image_create_radial_gradient(&c, &c, 0, pixman_double_to_fixed(radius), ps, 2);
    pixman_image_set_repeat(rad, PIXMAN_REPEAT_PAD);
    std::vector<uint32_t> ref((size_t)w * h);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, ref.data(), w * 4);
    pixman_image_composite32(PIXMAN_OP_SRC, rad, nullptr, dst, 0, 0, 0, 0, 0, 0, w, h);
    pixman_image_unref(rad);
    pixman_image_unref(dst);
    for (size_t i = 0; i < ours.size(); i++) ASSERT_LE(MaxChannelDiff(ours[i], ref[i]), 2) << "pixel " << i;
}

TEST(Gradient, SixteenBitAndSwizzledTargetsAndSubRectangles) {
    // A sub-rectangle of a larger buffer is filled and nothing around it; the BGRA and RGB565
    // forms carry the same colours as the native one.
    qzGradient g = TwoColour(GRADIENT_LINEAR, 0x00FF8040, 0x00000000, 0);
    std::vector<uint32_t> native = Render(g, 5, 3);
    std::vector<uint32_t> big(10 * 6, 0x11111111);
    qzGradientJob j{big.data(), 4, 11, 2, 1, 5, 3, 10, &g};
    RenderGradient(&j);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 10; x++) {
            const uint32_t p = big[(size_t)y * 10 + x];
            if (x < 2 || x >= 7 || y < 1 || y >= 4) {
                ASSERT_EQ(p, 0x11111111u);
                continue;
            }
            const uint32_t n = native[(size_t)(y - 1) * 5 + x - 2];
            EXPECT_EQ(p, (n & 0xFF) << 24 | (n & 0xFF00) << 8 | (n & 0xFF0000) >> 8);
        }
    std::vector<uint16_t> small(15);
    qzGradientJob k{small.data(), 2, 4, 0, 0, 5, 3, 5, &g};
    RenderGradient(&k);
    for (size_t i = 0; i < small.size(); i++) {
        const uint32_t n = native[i];
        EXPECT_EQ(small[i], (uint16_t)(((n >> 8) & 0xF800) | ((n >> 5) & 0x7E0) | ((n & 0xFF) >> 3)));
    }
}

}  // namespace

}  // namespace gradient_test
