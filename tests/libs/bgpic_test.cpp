// The bgpic library: making, copying, converting, scaling, showing, loading and freeing background
// pictures; generated pictures and brushes (gradients against cairo, textures against ImageMagick).
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "display/layer_test_util.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/oracle.h"
#include "player/image_link.h"

namespace bgpic_test {

using qztest::Arg;
using qztest::NilArg;

namespace {

class BGPicLib : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        InstallImageLoaders();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzBGPicLibrary};
    }
    void TearDown() override {
        LayerTest::TearDown();
        RemoveImageLoaders();
    }
    void OpenPlain(int32_t width = 64, int32_t height = 48) {
        OpenCurrent(1, Arg::Table({{"width", width}, {"height", height}, {"color", 0}}));
    }
    static qzBGPic* Picture(int number) {
        qzBGPic* pic = nullptr;
        FindBGPic(nullptr, {number, nullptr}, &pic, 0);
        return pic;
    }
    static std::string Size(int number) {
        const qzBGPic* pic = Picture(number);
        return pic ? std::to_string(pic->scaledWidth) + "x" + std::to_string(pic->scaledHeight) : "none";
    }
    static uint32_t At(const qzBitMap* bitmap, int x, int y) { return ReadBitMapPixel(bitmap, x, y, 0) & 0xFFFFFF; }
    static int MaxDiff(uint32_t a, uint32_t b) {
        int m = 0;
        for (int s = 0; s < 24; s += 8) {
            const int d = std::abs(int((a >> s) & 255) - int((b >> s) & 255));
            if (d > m) m = d;
        }
        return m;
    }
    // Every pixel of the picture's current copy within 2 of the cairo surface's.
    static void ExpectMatchesCairo(const qzBitMap* bitmap, cairo_surface_t* s, const char* what) {
        cairo_surface_flush(s);
        const uint8_t* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < bitmap->height; y++)
            for (int x = 0; x < bitmap->width; x++) {
                uint32_t c;
                std::memcpy(&c, data + y * stride + x * 4, 4);
                ASSERT_LE(MaxDiff(At(bitmap, x, y), c & 0xFFFFFF), 2)
                    << what << " at " << x << "," << y << std::hex << " " << At(bitmap, x, y) << " " << c;
            }
    }
    libtest::TempDir dir;
};

}  // namespace

TEST_F(BGPicLib, MakeCopyScaleAndFree) {
    OpenPlain();
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"CreateBGPic", {2, 0, 10}, "ERR 1055"},
        {"CreateBGPic", {2, 320, 200, 0x102030}, ""},
        {"CopyBGPic", {2, 2}, "ERR 1055"},
        {"CopyBGPic", {9, 3}, "ERR 1177"},
        {"CopyBGPic", {2, 3}, ""},
        {"ScaleBGPic", {2, 640, 100000}, ""},  // KEEPASPRAT
        {"ScaleBGPic", {2, "50%", "50%"}, ""},
        {"ScaleBGPic", {2, 0, 10}, "ERR 1218"},
        {"FreeBGPic", {9}, "ERR 1177"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm->Run(r.command, r.args), r.expected) << r.command;
    EXPECT_EQ(Size(2), "320x200");
    EXPECT_EQ(Size(3), "320x200");
    EXPECT_EQ(At(Picture(3)->bitmap, 5, 5), 0x102030u);
    EXPECT_NE(Picture(3)->origBitmap, Picture(2)->origBitmap);

    // The shown picture cannot be scaled; freed, it keeps showing and its number is free at once.
    ASSERT_EQ(vm->Run("ScaleBGPic", {3, 64, 48}), "");
    ASSERT_EQ(vm->Run("DisplayBGPic", {3}), "");
    EXPECT_EQ(CurrentDisplay()->bgpic, Picture(3));
    EXPECT_EQ(vm->Run("ScaleBGPic", {3, 32, 32}), "ERR 1366");
    ASSERT_EQ(vm->Run("FreeBGPic", {3}), "");
    EXPECT_EQ(Picture(3), nullptr);
    EXPECT_EQ(Pixel(1, 5, 5), 0x102030u);
    ASSERT_EQ(vm->Run("CreateBGPic", {3, 8, 8, 0xFF0000}), "");
    EXPECT_EQ(Size(3), "8x8");
    EXPECT_EQ(Pixel(1, 5, 5), 0x102030u);
    // A handle for a Nil identifier.
    ASSERT_EQ(vm->CallFresh("CreateBGPic", {NilArg(), 4, 4}), 0);
    EXPECT_EQ(VmType(*vm, 1), VM_TLIGHTUSERDATA);
}

TEST_F(BGPicLib, BrushesAndPicturesConvert) {
    OpenPlain();
    vm->Ok("CreateBrush", {1, 6, 4, 0x00FF00, Arg::Table({{"mask", true}})});
    ASSERT_EQ(vm->Run("BrushToBGPic", {1, 2}), "");
    qzBGPic* pic = Picture(2);
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(Size(2), "6x4");
    EXPECT_NE(pic->mask, nullptr);
    EXPECT_EQ(pic->transparentColor, QZ_BLANKBRUSH_KEY);
    ASSERT_EQ(vm->Run("ScaleBGPic", {2, 12, 8}), "");
    ASSERT_EQ(vm->Run("BGPicToBrush", {2, 5}), "");
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(nullptr, {5, nullptr}, &brush, 0), 0);
    EXPECT_EQ(brush->width, 12);
    EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 11, 7, 0) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(BGPicLib, GradientOptions) {
    OpenPlain();
    const Arg colors3 = Arg::List({0xFF0000, 0, 0x00FF00, 0.5, 0x0000FF, 1});
    std::vector<Arg> many;
    for (int i = 0; i < 65; i++) {
        many.push_back(i * 100);
        many.push_back(i / 64.0);
    }
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"CreateGradientBrush", {1, 0, 10, 2, 0, 0xFFFFFF}, "ERR 1218"},
        {"CreateGradientBGPic", {2, 2, 0xFF0000, 0x0000FF, 32, 16, 0, Arg::Table({{"colors", colors3}})}, ""},
        {"CreateGradientBGPic",
         {2, 2, 0, 0, 32, 16, 0, Arg::Table({{"colors", Arg::List({0xFF0000, 0})}})},
         "ERR 1055"},
        {"CreateGradientBGPic", {2, 2, 0, 0, 32, 16, 0, Arg::Table({{"colors", Arg::List(many)}})}, "ERR 1066"},
        {"CreateGradientBGPic", {2, 3, 0, 0, 32, 16, 0, Arg::Table({{"centerx", 1.5}})}, "ERR 1055"},
        {"CreateGradientBGPic", {2, 2, 0, 0, 32, 16, 0, Arg::Table({{"centerx", 1.5}})}, ""},
        {"CreateRainbowBGPic", {3, 1, 0xFF0000, 0x0000FF}, ""},  // the current picture's size
        {"CreateTexturedBGPic", {4, 9}, "ERR 1174"},
        {"CreateTexturedBrush", {1, 1, 4, 4}, "ERR 1055"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm->Run(r.command, r.args), r.expected) << r.command;
    EXPECT_EQ(Size(3), "64x48");
    EXPECT_EQ(Picture(3)->type, QZ_PICTURE_GENERATED);
}

TEST_F(BGPicLib, LinearAndRadialGradientsMatchCairo) {
    OpenPlain();
    const int w = 64, h = 48;
    // Style 0: top to bottom (the angle argument is not read), drawn on the display.
    ASSERT_EQ(vm->Run("CreateGradientBGPic", {2, 0, 0xFF0000, 0x0000FF, w, h, 77}), "");
    ASSERT_EQ(vm->Run("DisplayBGPic", {2}), "");
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    // The renderer's axis for angle 0 runs one picture height from the first row, which cairo
    // (sampling at pixel centres) draws from half a row in.
    cairo_pattern_t* pat = cairo_pattern_create_linear(0, 0.5, 0, h + 0.5);
    cairo_pattern_add_color_stop_rgb(pat, 0, 1, 0, 0);
    cairo_pattern_add_color_stop_rgb(pat, 1, 0, 0, 1);
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
    cairo_set_source(cr, pat);
    cairo_paint(cr);
    cairo_pattern_destroy(pat);
    ExpectMatchesCairo(CurrentDisplay()->displayBuffer, s, "linear");
    cairo_surface_flush(s);
    const uint8_t* data = cairo_image_surface_get_data(s);
    uint32_t c;
    std::memcpy(&c, data + (h / 2) * cairo_image_surface_get_stride(s) + 4 * 7, 4);
    EXPECT_LE(MaxDiff(Pixel(1, 7, h / 2), c & 0xFFFFFF), 2) << std::hex << Pixel(1, 7, h / 2) << " " << c;

    // Radial from the centre: the radius reaches the corners. Scaling draws it again at the new
    // size instead of stretching pixels.
    ASSERT_EQ(vm->Run("CreateGradientBGPic", {3, 3, 0xFFFF00, 0x0020FF, 30, 20}), "");
    ASSERT_EQ(vm->Run("ScaleBGPic", {3, w, h}), "");
    const double radius = std::trunc(0.5 * std::sqrt(double(w) * w + double(h) * h) * 65536.0) / 65536.0;
    pat = cairo_pattern_create_radial(w / 2, h / 2, 0, w / 2, h / 2, radius);
    cairo_pattern_add_color_stop_rgb(pat, 0, 1, 1, 0);
    cairo_pattern_add_color_stop_rgb(pat, 1, 0, 0x20 / 255.0, 1);
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
    cairo_set_source(cr, pat);
    cairo_paint(cr);
    cairo_pattern_destroy(pat);
    ExpectMatchesCairo(Picture(3)->bitmap, s, "radial");
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

TEST_F(BGPicLib, TexturesMatchImageMagickTiles) {
    OpenPlain();
    const std::string tile = dir.File("tile.png"), tiled = dir.File("tiled.png");
    ASSERT_EQ(std::system(
                  ("convert -size 5x3 xc:red -fill blue -draw 'point 1,1' -fill lime -draw 'point 4,2' '" + tile + "'")
                      .c_str()),
              0);
    ASSERT_EQ(std::system(("convert -size 23x11 'tile:" + tile + "' '" + tiled + "'").c_str()), 0);
    ASSERT_EQ(vm->Run("LoadBrush", {1, tile}), "");
    ASSERT_EQ(vm->Run("LoadBrush", {2, tiled}), "");
    ASSERT_EQ(vm->Run("CreateTexturedBGPic", {3, 1, 23, 11}), "");
    ASSERT_EQ(vm->Run("CreateTexturedBrush", {4, 1, 23, 11, -5, 3}), "");  // offsets wrap
    qzBrush *expected = nullptr, *offset = nullptr;
    ASSERT_EQ(FindBrush(nullptr, {2, nullptr}, &expected, 0), 0);
    ASSERT_EQ(FindBrush(nullptr, {4, nullptr}, &offset, 0), 0);
    for (int y = 0; y < 11; y++)
        for (int x = 0; x < 23; x++) {
            ASSERT_EQ(At(Picture(3)->bitmap, x, y), At(expected->bitmap, x, y)) << x << "," << y;
            ASSERT_EQ(At(offset->bitmap, x, y), At(expected->bitmap, x % 5, y % 3)) << x << "," << y;
        }
    // The picture is tiled again at its new size, the brush freed meanwhile.
    ASSERT_EQ(vm->Run("FreeBrush", {1}), "");
    ASSERT_EQ(vm->Run("ScaleBGPic", {3, 46, 22}), "");
    EXPECT_EQ(At(Picture(3)->bitmap, 6, 1), 0x0000FFu);
    EXPECT_EQ(At(Picture(3)->bitmap, 44, 20), 0x00FF00u);
}

TEST_F(BGPicLib, LoadWithOptions) {
    OpenPlain();
    // Half-transparent white over a red fill: pink, opaque.
    const std::string png = dir.File("half.png");
    ASSERT_EQ(std::system(("convert -size 8x4 xc:'rgba(255,255,255,0.5)' '" + png + "'").c_str()), 0);
    const struct {
        std::vector<std::pair<Arg, Arg>> options;
        std::string expected;
    } rows[] = {
        {{{"loadalpha", true}, {"loadtransparency", true}}, "ERR 1055"},
        {{{"loadalpha", true}, {"transparency", 0xFF0000}}, "ERR 1223"},
        {{{"fillstyle", 7}}, "ERR 1055"},
        {{{"loadalpha", true}, {"fillstyle", 1}, {"fillcolor", 0xFF0000}}, ""},
    };
    for (const auto& r : rows) EXPECT_EQ(vm->Run("LoadBGPic", {2, png, Arg::Table(r.options)}), r.expected);
    qzBGPic* pic = Picture(2);
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->alpha, nullptr);
    EXPECT_EQ(pic->mask, nullptr);
    EXPECT_LE(MaxDiff(At(pic->bitmap, 3, 3), 0xFF8080), 2);
    ASSERT_EQ(vm->Run("LoadBGPic", {5, png, Arg::Table({{"loadalpha", true}, {"scalewidth", 16}})}), "");
    EXPECT_EQ(Size(5), "16x4");
    EXPECT_NE(Picture(5)->alpha, nullptr);
    EXPECT_EQ(vm->Run("LoadBGPic", {6, dir.File("none.png")}).substr(0, 4), "ERR ");
}

TEST_F(BGPicLib, ShowingForAnEffectCopiesBothScreensAndDrawsNothing) {
    OpenLayered(64, 48, 0x000000);
    vm->Ok("CreateBGPic", {1, 64, 48, 0x000000});
    vm->Ok("DisplayBGPic", {1});
    Add(5, 10, 10, 8, 8, 0xFF0000);
    RefreshArea(*vm, 10, 10, 8, 8);
    ASSERT_EQ(Pixel(1, 12, 12), 0xFF0000u);
    vm->Ok("CreateBGPic", {3, 64, 48, 0x00FF00});
    vm->Ok("CreateBGPic", {2, 32, 24, 0x0000FF});
    qzBitMap *picture = nullptr, *old = nullptr;
    ASSERT_EQ(DisplayBGPicCore(*vm, {3, nullptr}, 99999, 99999, 1, &picture, &old), 0);
    EXPECT_EQ(CurrentDisplay()->bgpic, Picture(3));
    // The window still shows the old picture with its layer; the copies hold both screens.
    EXPECT_EQ(Pixel(1, 12, 12), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 40, 40), 0x000000u);
    ASSERT_NE(old, nullptr);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(old->width, 64);
    EXPECT_EQ(At(old, 12, 12), 0xFF0000u);
    EXPECT_EQ(At(old, 40, 40), 0x000000u);
    EXPECT_EQ(At(picture, 12, 12), 0x00FF00u);
    DeleteBitMap(picture);
    DeleteBitMap(old);

    // A picture of another size: the old screen comes scaled to it.
    vm->Ok("DisplayBGPic", {1});
    ASSERT_EQ(DisplayBGPicCore(*vm, {2, nullptr}, 99999, 99999, 1, &picture, &old), 0);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->width, 32);
    EXPECT_EQ(old->height, 24);
    EXPECT_EQ(At(old, 6, 6), 0xFF0000u);
    EXPECT_EQ(At(old, 20, 20), 0x000000u);
    EXPECT_EQ(picture->width, 32);
    EXPECT_EQ(At(picture, 6, 6), 0x0000FFu);
    DeleteBitMap(picture);
    DeleteBitMap(old);
    EXPECT_EQ(DisplayBGPicCore(*vm, {9, nullptr}, 99999, 99999, 1, &picture, &old), ERR_FINDBGPIC);
    EXPECT_EQ(picture, nullptr);
    EXPECT_EQ(old, nullptr);
}

}  // namespace bgpic_test
