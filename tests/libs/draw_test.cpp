// The draw library: its style commands and their clamps, the argument errors of the shape
// commands, shapes (with their standard draw options), lines and points drawn on a small display
// described through the blitters' display hooks, pixels read back, Cls on each output kind, and
// shapes handed to the layer code.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../gfx/blit_test_util.h"
#include "base/error_codes.h"
#include "gfx/blit_display.h"
#include "gfx/draw_modes.h"
#include "gfx/safe_blt.h"
#include "libs/draw/draw.h"
#include "libs/graphics/graphics.h"
#include "support/commands.h"
#include "vector/draw_shape.h"

namespace draw_test {

using namespace blittest;
using qztest::Arg;
using qztest::N;

namespace {

constexpr int kW = 120, kH = 90;
constexpr uint32_t kBack = 0x102030;

struct FakeOutput {
    qzBlitDisplayInfo info;
    int presented = 0;
    int sprites = 0;
};
FakeOutput* fake = nullptr;

void* Current() { return fake; }
void Describe(void*, qzBlitDisplayInfo* out) { *out = fake->info; }
void Present(const qzBitMap*, int, int, void*, int, int, int, int, int, int, uint32_t, const qzBitMap*,
             const qzBitMap*) {
    fake->presented++;
}
int Sprites(int, int, int, int) { return fake->sprites; }
const qzBlitDisplayHooks kHooks = {Current, Describe, Present};

// A kW x kH display filled with kBack (or a selected brush, mask or alpha channel), with the draw
// library open.
struct DrawScope {
    FakeOutput output;
    BitMapPtr first, second, brush, mask, alpha;
    qztest::Commands vm;
    explicit DrawScope(std::initializer_list<const qzLibraryDescriptor*> libraries = {&qzDrawLibrary}) : vm(libraries) {
        first = MakeBitMap(kW, kH, [](int, int) { return kBack; });
        second = MakeBitMap(kW, kH, [](int, int) { return kBack; });
        output.info.firstBuffer = first.get();
        output.info.secondBuffer = second.get();
        output.info.targetWidth = kW;
        output.info.targetHeight = kH;
        fake = &output;
        SetBlitDisplayHooks(&kHooks);
        SetBlitSpriteHook(Sprites);
        ResetDrawModes();
    }
    ~DrawScope() {
        SetBlitDisplayHooks(nullptr);
        SetBlitSpriteHook(nullptr);
        ResetDrawModes();
        FreeSafeBltScratch();
        fake = nullptr;
    }
    // Selects a brush with a mask and an alpha channel as the output.
    void SelectBrush() {
        brush = MakeBitMap(kW, kH, [](int, int) { return 0u; });
        mask = MakeMask(kW, kH, [](int, int) { return false; });
        alpha = MakeAlpha(kW, kH, [](int, int) { return 0; });
        output.info.outputKind = OUTPUT_BRUSH;
        output.info.outputBitmap = brush.get();
        output.info.outputMask = mask.get();
        output.info.outputAlpha = alpha.get();
    }
    uint32_t At(int x, int y) const { return Pixel(first.get(), x, y) & 0xFFFFFF; }
    int Count(uint32_t colour) const {
        int n = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) n += At(x, y) == colour;
        return n;
    }
};

}  // namespace

TEST(DrawLib, StyleCommandsStoreAndClamp) {
    qztest::Commands vm{&qzDrawLibrary};
    const qzDrawState* ds = GetDrawState();
    EXPECT_EQ(ds->fillStyle, FILLNONE);
    EXPECT_EQ(ds->formStyle, FORM_NORMAL);
    EXPECT_EQ(ds->edgeColor, 0x0093DDu);

    vm.Ok("SetFormStyle", {FORM_SHADOW, 0xFF0000, 100, 9});
    EXPECT_EQ(ds->shadowSize, 64);
    EXPECT_EQ(ds->shadowDirection, SHDW_SOUTHEAST);
    EXPECT_EQ(ds->shadowColor, 0xFF0000u);
    vm.Ok("SetFormStyle", {FORM_EDGE, 0x00FF00, -3});
    EXPECT_EQ(ds->edgeSize, 1);
    vm.Ok("SetFormStyle", {FORM_ANTIALIAS});
    EXPECT_EQ(ds->formStyle, FORM_NORMAL | FORM_SHADOW | FORM_EDGE | FORM_ANTIALIAS);
    vm.Ok("SetFormStyle", {FORM_NORMAL | FORM_ANTIALIAS});
    EXPECT_EQ(ds->formStyle, FORM_NORMAL);

    vm.Ok("SetFillStyle", {FILLNONE, 0});
    EXPECT_EQ(ds->lineWidth, 1);
    vm.Ok("SetFillStyle", {FILLNONE, 7});
    EXPECT_EQ(ds->lineWidth, 7);
    vm.Ok("SetFillStyle", {FILLGRADIENT, 2, 0xFF0000, 0x0000FF, 45});
    EXPECT_EQ(ds->fillStyle, FILLGRADIENT);
    EXPECT_EQ(ds->gradient.startColor, 0xFF0000u);
    EXPECT_EQ(ds->gradient.endColor, 0x0000FFu);
    EXPECT_EQ(ds->gradient.angle, 45);
    vm.Ok("SetFillStyle", {FILLTEXTURE, 5, 3, 4});
    EXPECT_EQ(ds->textureBrush.number, 5);
    EXPECT_EQ(ds->textureX, 3);
    EXPECT_EQ(ds->textureY, 4);
    vm.Ok("SetLineWidth", {3});
    EXPECT_EQ(ds->lineWidth, 3);

    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } errors[] = {
        {"SetFormStyle", {FORM_ANTIALIAS, 5}, ERR_TOOMANYARGS},
        {"SetFillStyle", {7}, ERR_WRONGUSAGE},
        {"SetFillStyle", {-1}, ERR_WRONGUSAGE},
        {"SetLineWidth", {0}, ERR_WRONGUSAGE},
        {"SetLineWidth", {}, ERR_MISSINGPARAMTR},
        {"SetFormStyle", {"x"}, ERR_NUMEXPECTED},
    };
    for (const auto& e : errors) EXPECT_EQ(vm.CallErr(e.command, e.args), e.error) << e.command;
    EXPECT_EQ(ds->lineWidth, 3);
    // A refused style stays stored until the next clamp.
    EXPECT_EQ(ds->fillStyle, -1);
    vm.Ok("SetFormStyle", {FORM_NORMAL});
    EXPECT_EQ(ds->fillStyle, FILLNONE);
}

TEST(DrawLib, ShapeArgumentErrors) {
    DrawScope s;
    const auto points = Arg::List({N(0), N(0), N(10), N(0), N(5), N(8)});
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } rows[] = {
        {"Box", {0, 0, 0, 5}, ERR_WRONGUSAGE},
        {"Box", {0, 0, 5, -1}, ERR_WRONGUSAGE},
        {"Ellipse", {10, 10, 0, 5}, ERR_WRONGUSAGE},
        {"Circle", {10, 10, -2}, ERR_WRONGUSAGE},
        {"Arc", {10, 10, 5, 5, -10, 90}, ERR_WRONGUSAGE},
        {"Arc", {10, 10, 5, 5, 90, 90}, 0},
        {"Polygon", {0, 0, points, 1}, ERR_WRONGUSAGE},
        {"Polygon", {0, 0, points, 1000}, ERR_WRONGUSAGE},
        {"Polygon", {0, 0, points, 4}, ERR_NUMTABLEARG},
        {"Polygon", {0, 0, Arg::List({N(1), "a"}), 2}, ERR_NUMTABLEARG},
        {"Box", {0, 0, 5}, ERR_MISSINGPARAMTR},
        {"Box", {0, 0, 5, 5, 0, 0, 0, 0}, ERR_TOOMANYARGS},
        {"Line", {0, "x", 5, 5}, ERR_NUMEXPECTED},
        {"Plot", {0}, ERR_MISSINGPARAMTR},
        {"Cls", {1, 2}, ERR_TOOMANYARGS},
        // Shapes too large to draw are refused at once; far-off ones draw nothing.
        {"Box", {0, 0, 1000000000, 1000000000}, ERR_BITMAP},
        {"Circle", {0, 0, 2000000000}, ERR_BITMAP},
        {"Circle", {0, 0, 100000}, ERR_BITMAP},
        {"Polygon", {0, 0, Arg::List({N(0), N(0), N(4e8), N(0), N(0), N(4e8)}), 3}, ERR_BITMAP},
        {"Ellipse", {2000000000, -2000000000, 10, 10}, 0},
        {"Line", {2000000000, 5, 2000000000, 50, 0, 9}, 0},
    };
    for (const auto& r : rows) EXPECT_EQ(s.vm.CallErr(r.command, r.args), r.error) << r.command;
    EXPECT_EQ(s.Count(kBack), kW * kH);  // nothing was drawn
}

TEST(DrawLib, ShapesLandInTheDisplayBuffer) {
    DrawScope s;
    s.vm.Ok("SetFillStyle", {FILLCOLOR});
    s.vm.Ok("Box", {2, 3, 5, 4, 0xFF0000});
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++)
            EXPECT_EQ(s.At(x, y), x >= 2 && x < 7 && y >= 3 && y < 7 ? 0xFF0000u : kBack) << x << "," << y;
    EXPECT_GT(s.output.presented, 0);

    // A filled circle of radius 20 covers about pi r^2 pixels, centred on its box.
    s.vm.Ok("Circle", {60, 30, 20, 0x00FF00});
    const double area = s.Count(0x00FF00);
    EXPECT_NEAR(area / (M_PI * 20.5 * 20.5), 1.0, 0.05);
    EXPECT_EQ(s.At(80, 50), 0x00FF00u);
    EXPECT_EQ(s.At(61, 31), kBack);

    // Outline only: the frame of the box, its inside untouched.
    s.vm.Ok("SetFillStyle", {FILLNONE});
    s.vm.Ok("Box", {10, 60, 10, 8, 0x0000FF});
    EXPECT_EQ(s.At(10, 60), 0x0000FFu);
    EXPECT_EQ(s.At(19, 67), 0x0000FFu);
    EXPECT_EQ(s.At(14, 63), kBack);
    EXPECT_EQ(s.Count(0x0000FF), 2 * 10 + 2 * 6);
}

TEST(DrawLib, BoxCornersFromNumberOrTable) {
    DrawScope s;
    s.vm.Ok("SetFillStyle", {FILLCOLOR});
    s.vm.Ok("Box", {0, 0, 40, 40, 0xFF0000, 20});
    s.vm.Ok("Box", {50, 0, 40, 40, 0x00FF00, Arg::Table({{"roundlevel", N(20)}, {"cornerb", N(0)}})});
    // Corner a is the top left, b the bottom left.
    EXPECT_EQ(s.At(0, 0), kBack);
    EXPECT_EQ(s.At(0, 39), kBack);
    EXPECT_EQ(s.At(50, 0), kBack);
    EXPECT_EQ(s.At(50, 39), 0x00FF00u);
    EXPECT_EQ(s.At(20, 20), 0xFF0000u);
}

TEST(DrawLib, LinesPlotsAndTransparency) {
    DrawScope s;
    // A thin horizontal line from right to left, straight into the buffer.
    s.vm.Ok("Line", {10, 5, 0, 5, 0xFFFFFF});
    EXPECT_EQ(s.Count(0xFFFFFF), 11);
    EXPECT_EQ(s.At(0, 5), 0xFFFFFFu);
    EXPECT_EQ(s.At(10, 5), 0xFFFFFFu);
    // Ends far outside are clipped, not walked.
    s.vm.Ok("Line", {-2000000000, 20, 2000000000, 20, 0xFFFFFF});
    EXPECT_EQ(s.At(0, 20), 0xFFFFFFu);
    EXPECT_EQ(s.At(kW - 1, 20), 0xFFFFFFu);
    // A thickness of 100 draws as thick as 64, the limit; the option table gives it too.
    s.vm.Ok("Line", {20, 45, 60, 45, 0x00FF00, 100});
    s.vm.Ok("Line", {80, 45, 110, 45, 0x0000FF, Arg::Table({{"thickness", N(64)}})});
    int rows100 = 0, rows64 = 0;
    for (int y = 0; y < kH; y++) rows100 += s.At(40, y) == 0x00FF00, rows64 += s.At(95, y) == 0x0000FF;
    EXPECT_EQ(rows100, rows64);
    EXPECT_NEAR(rows64, 64, 1);

    // A transparency byte of $80 blends the colour about half over the background.
    s.vm.Ok("Plot", {3, 80, 0x80FF0000});
    const uint32_t p = s.At(3, 80);
    EXPECT_NEAR((int)(p >> 16), (0xFF + 0x10) / 2, 2);
    EXPECT_NEAR((int)(p & 255), 0x30 / 2, 2);
    EXPECT_EQ(s.vm.CallNum("ReadPixel", {3, 80}), (double)p);
    // Plot outside succeeds and draws nothing; reading outside fails.
    s.vm.Ok("Plot", {-1, 0, 0xFFFFFF});
    s.vm.Ok("Plot", {kW, 0, 0xFFFFFF});
    EXPECT_EQ(s.vm.CallErr("ReadPixel", {kW, 0}), ERR_PIXELRANGE);
    EXPECT_EQ(s.vm.CallErr("ReadPixel", {0, -1}), ERR_PIXELRANGE);
}

TEST(DrawLib, OutputKindsForPlotReadPixelAndCls) {
    DrawScope s;
    s.SelectBrush();
    s.vm.Ok("Cls", {0x334455});
    EXPECT_EQ(Pixel(s.brush.get(), 7, 7) & 0xFFFFFF, 0x334455u);
    EXPECT_EQ(Bit(s.mask.get(), 7, 7), 1);
    EXPECT_EQ(AlphaAt(s.alpha.get(), 7, 7), 255);
    s.vm.Ok("Plot", {4, 4, 0x40FFFFFF});
    EXPECT_EQ(Pixel(s.brush.get(), 4, 4) & 0xFFFFFF, 0xFFFFFFu);  // the alpha channel takes the level
    EXPECT_EQ(AlphaAt(s.alpha.get(), 4, 4), 255 - 0x40);
    EXPECT_EQ(s.vm.CallNum("ReadPixel", {4, 4}), (double)0xFFFFFF);
    EXPECT_EQ(s.Count(kBack), kW * kH);  // the display was left alone

    // A mask alone: Cls and Plot follow the mask mode; ReadPixel answers the bit.
    s.output.info.outputKind = OUTPUT_MASK;
    s.output.info.outputBitmap = nullptr;
    s.output.info.outputAlpha = nullptr;
    DrawModes().maskMode = MASKINVISIBLE;
    s.vm.Ok("Cls");
    EXPECT_EQ(s.vm.CallNum("ReadPixel", {9, 9}), 0);
    DrawModes().maskMode = MASKVISIBLE;
    s.vm.Ok("Plot", {9, 9});
    EXPECT_EQ(s.vm.CallNum("ReadPixel", {9, 9}), 1);
    s.output.info.outputMask = nullptr;
    EXPECT_EQ(s.vm.CallNum("ReadPixel", {9, 9}), 1);

    // An alpha channel alone: the alpha intensity, 255 when unset.
    s.output.info.outputKind = OUTPUT_ALPHACHANNEL;
    s.output.info.outputAlpha = s.alpha.get();
    DrawModes().alphaIntensity = 77;
    s.vm.Ok("Cls");
    EXPECT_EQ(s.vm.CallNum("ReadPixel", {1, 1}), 77);
    DrawModes().alphaIntensity = -1;
    s.vm.Ok("Plot", {1, 1, 0x10000000});
    EXPECT_EQ(s.vm.CallNum("ReadPixel", {1, 1}), 255 - 0x10);

    // A brush without its colour bitmap cannot be read.
    s.output.info.outputKind = OUTPUT_BRUSH;
    s.output.info.outputBitmap = nullptr;
    EXPECT_EQ(s.vm.CallErr("ReadPixel", {1, 1}), ERR_WRONGUSAGE);
}

TEST(DrawShape, TransformScalesLineWidthAndShadow) {
    qzDrawState ds;
    ds.fillStyle = FILLNONE;
    ds.lineWidth = 3;
    const struct {
        double m0;
        int height;
    } rows[] = {{1, 10 + 3}, {-1, 10 + 3}, {2, 10 + 6}, {0.1, 10}};
    for (const auto& r : rows) {
        qzShapeTransform t;
        t.matrix[0] = r.m0;
        qzShape shape{};
        shape.drawState = &ds;
        shape.transform = &t;
        shape.color = 0xFF0000;
        const int corners[4] = {0, 0, 0, 0};
        shape.kind = SHAPE_BOX;
        shape.width = 10;
        shape.height = 10;
        for (int i = 0; i < 4; i++) shape.corners[i] = corners[i];
        shape.offscreen = 1;
        qzShapeBitmaps out;
        ASSERT_EQ(DrawShape(nullptr, &shape, DRAWSHAPE_FORLAYER, &out), 0) << r.m0;
        EXPECT_EQ(out.height, r.height) << r.m0;
        FreeShapeBitmaps(&out);
    }
    EXPECT_EQ(ds.lineWidth, 3);
}

TEST(DrawShape, OffscreenChoice) {
    qzDrawState plain;
    plain.fillStyle = FILLCOLOR;
    qzDrawState aa = plain;
    aa.formStyle |= FORM_ANTIALIAS;
    qzDrawState wide;
    wide.lineWidth = 2;
    qzShapeTransform turned;
    turned.matrix[1] = 1;
    turned.matrix[2] = -1;
    auto box = [](int corner, const qzShapeTransform* t) {
        qzShape s{};
        s.kind = SHAPE_BOX;
        s.width = s.height = 10;
        s.corners[0] = corner;
        s.transform = t;
        return s;
    };
    qzShape ellipse{};
    ellipse.kind = SHAPE_ELLIPSE;
    qzShape polygon{};
    polygon.kind = SHAPE_POLYGON;
    const struct {
        qzShape shape;
        const qzDrawState* ds;
        bool modern;
        uint32_t offscreen;
    } rows[] = {
        {box(0, nullptr), &plain, true, 0},
        {box(100, nullptr), &plain, true, 1},
        {box(0, &turned), &plain, true, 1},
        {box(0, nullptr), &wide, true, 1},
        {box(0, nullptr), &aa, true, 1},
        {box(100, nullptr), &aa, true, 0},
        {box(100, nullptr), &aa, false, 1},
        {ellipse, &plain, true, 1},
        {ellipse, &aa, true, 0},
        {ellipse, &aa, false, 1},
        {polygon, &aa, true, 1},
    };
    int i = 0;
    for (const auto& r : rows) EXPECT_EQ(ChooseShapeOffscreen(&r.shape, r.ds, r.modern), r.offscreen) << i++;
}

TEST(DrawShape, ApplyDrawStateToLayerMovesWhatALayerDraws) {
    qzDrawState ds;
    ds.fillStyle = FILLNONE;
    ds.lineWidth = 1;
    ds.formStyle = FORM_NORMAL | FORM_ANTIALIAS;
    qzLayerTags tags;
    InitLayerTags(&tags);
    uint32_t color = 0x00ABCDEF;
    ApplyDrawStateToLayer(&ds, &tags, &color);
    EXPECT_EQ(tags.border.border, 0);
    EXPECT_EQ(tags.shadow.shadow, 0);
    EXPECT_EQ(tags.transparency, 0);
    EXPECT_EQ(tags.effects, 0);
    EXPECT_EQ(ds.formStyle, FORM_NORMAL | FORM_ANTIALIAS);
    ds.lineWidth = 3;  // half of 3 is 1
    ApplyDrawStateToLayer(&ds, &tags, &color);
    EXPECT_EQ(tags.border.bordersize, 1);
    EXPECT_EQ(tags.effects, 1);
    EXPECT_EQ(ds.lineWidth, 1);
}

// The options table of a shape command scales, turns and anchors the shape; its errors stop the
// draw. Bounds are of the drawn pixels, inclusive; a 20 x 10 box at (40, 30) when not given.
TEST(DrawLib, StandardDrawOptionsTransformShapes) {
    const auto box = [](std::vector<std::pair<Arg, Arg>> options) {
        return std::vector<Arg>{40, 30, 20, 10, 0xFF0000, Arg::Table(std::move(options))};
    };
    const auto triangle = Arg::List({N(0), N(0), N(10), N(0), N(10), N(10)});
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // rows with an error draw nothing
    } rows[] = {
        {"Box", box({}), 0, 40, 30, 59, 39},
        {"Box", box({{"scalex", N(2)}, {"scaley", N(3)}}), 0, 40, 30, 78, 57},
        {"Box", box({{"width", N(30)}}), 0, 40, 30, 68, 39},
        // A quarter turn anticlockwise about the top left corner, then about the centre.
        {"Box", box({{"rotate", N(90)}}), 0, 40, 11, 49, 30},
        {"Box", box({{"rotate", N(450)}, {"anchorx", N(0.5)}, {"anchory", N(0.5)}}), 0, 45, 26, 54, 45},
        // A shear: the second element moves y by half of x.
        {"Box", box({{"transform", Arg::List({N(1), N(0.5), N(0), N(1)})}}), 0, 40, 30, 59, 48},
        {"Circle", {40, 30, 10, 0xFF0000, Arg::Table({{"scalex", N(2)}})}, 0, 40, 30, 80, 50},
        {"Ellipse",
         {40, 30, 10, 5, 0xFF0000, Arg::Table({{"rotate", N(90)}, {"anchorx", N(0.5)}, {"anchory", N(0.5)}})},
         0,
         45,
         25,
         55,
         45},
        {"Polygon", {40, 30, triangle, 3, 0xFF0000, Arg::Table({{"scaley", N(2)}})}, 0, 40, 30, 50, 50},
        {"Arc", {40, 30, 10, 10, 0, 90, 0xFF0000, Arg::Table({{"scalex", N(2)}})}, 0, 60, 40, 80, 50},
        {"Box", box({{"scalex", N(0)}}), ERR_WRONGUSAGE},
        {"Circle", {40, 30, 10, 0xFF0000, Arg::Table({{"anchorx", N(1.5)}})}, ERR_WRONGUSAGE},
        {"Polygon",
         {40, 30, triangle, 3, 0xFF0000, Arg::Table({{"transform", Arg::List({N(0), N(1), N(1), N(0)})}})},
         ERR_WRONGUSAGE},
        {"Ellipse", {40, 30, 10, 5, 0xFF0000, Arg::Table({{"transform", N(1)}})}, ERR_TABEXPECTED},
    };
    for (const auto& r : rows) {
        DrawScope s;
        s.vm.Ok("SetFillStyle", {FILLCOLOR});
        EXPECT_EQ(s.vm.CallErr(r.command, r.args), r.error) << r.command;
        int x0 = kW, y0 = kH, x1 = -1, y1 = -1;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
                if (s.At(x, y) == 0xFF0000) {
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
                }
        if (r.error) {
            EXPECT_EQ(x1, -1) << r.command << " drew after an error";
            continue;
        }
        EXPECT_EQ(std::vector<int>({x0, y0, x1, y1}), std::vector<int>({r.x0, r.y0, r.x1, r.y1})) << r.command;
    }
}

}  // namespace draw_test
