// The brush library without displays: creating, loading (through the player's own image loader),
// saving (read back by pngcheck, pngtopam and djpeg), copying and freeing brushes, and the
// geometry commands.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/blit.h"
#include "gfx/draw_modes.h"
#include "gfx/image_cache.h"
#include "gfx/image_source.h"
#include "gfx/position.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/text/text_lib.h"
#include "platform/file_test_util.h"
#include "player/image_link.h"
#include "runtime/runtime.h"
#include "support/commands.h"
#include "vm/vm.h"

namespace brush_test {

using qztest::Arg;
using qztest::NilArg;

namespace {

struct BrushTest : ::testing::Test {
    BrushTest() { InstallImageLoaders(); }
    ~BrushTest() override { RemoveImageLoaders(); }
    qztest::Commands vm{&qzGraphicsLibrary, &qzBrushLibrary};
    filetest::TempDir dir;

    qzBrush* Find(int number) {
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b))
            if (!b->layeronly && b->header.id.number == number && !b->header.id.pointer) return b;
        return nullptr;
    }
    std::string Size(int number) {
        qzBrush* b = Find(number);
        return b ? std::to_string(b->width) + "x" + std::to_string(b->height) : "none";
    }
    uint32_t Pixel(int number, int x, int y) { return ReadBitMapPixel(Find(number)->bitmap, x, y, 0); }
    // Makes a picture with ImageMagick in the test's folder.
    std::string Convert(const std::string& args, const std::string& name) {
        EXPECT_EQ(std::system(("convert " + args + " '" + (dir / name) + "'").c_str()), 0) << args;
        return dir / name;
    }
};

}  // namespace

TEST_F(BrushTest, CreateAndFree) {
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"CreateBrush", {1, 0, 10}, "ERR 1218"},
        {"CreateBrush", {1, 10, -1}, "ERR 1218"},
        {"CreateBrush", {1, 4, 4, 0, Arg::Table({{"mask", true}, {"alphachannel", true}})}, "ERR 1055"},
        {"CreateBrush", {7, 4, 3, 0xFF0000}, ""},  // an unknown number is no error
        {"CreateBrush", {7, 5, 6, 0x00FF00}, ""},  // a known one is replaced
        {"FreeBrush", {9}, "ERR 1174"},
        {"FreeBrush", {7}, ""},
        {"FreeBrush", {7}, "ERR 1174"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;
    ASSERT_EQ(vm.CallFresh("CreateBrush", {NilArg(), 2, 2}), 0);
    ASSERT_EQ(VmType(vm, 1), VM_TLIGHTUSERDATA);
    qzBrush* automatic = FirstBrush();
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(VmToUserdata(vm, 1), automatic);
    EXPECT_EQ(automatic->header.id.pointer, automatic);
}

TEST_F(BrushTest, CreateOptions) {
    ASSERT_EQ(vm.Run("CreateBrush", {1, 8, 4, 0x123456, Arg::Table({{"mask", true}})}), "");
    ASSERT_EQ(vm.Run("CreateBrush", {2, 8, 4, 0, Arg::Table({{"alphachannel", true}, {"clear", true}})}), "");
    qzBrush* masked = Find(1);
    qzBrush* clear = Find(2);
    EXPECT_EQ(Pixel(1, 7, 3), 0x123456u);
    EXPECT_EQ(ReadBitMapPixel(masked->mask, 3, 2, 1), 1u);
    EXPECT_EQ(masked->transparentcolor, QZ_BLANKBRUSH_KEY);
    ASSERT_NE(clear->alpha, nullptr);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(clear->alpha, LOCKF_READONLY, &lock));
    EXPECT_EQ(static_cast<uint8_t*>(lock.pixels)[5], 0);
    UnlockBitMapPixels(&lock);
}

TEST_F(BrushTest, LoadPartsAndOptions) {
    // Left half red, right half blue, with a fully transparent bottom row.
    const std::string png = Convert(
        "-size 20x10 xc:red -fill blue -draw 'rectangle 10,0 19,9' -alpha set "
        "-channel A -fx 'j==9?0:1' +channel",
        "in.png");
    const struct {
        std::vector<std::pair<Arg, Arg>> options;
        std::string expected;
        std::string size;
    } rows[] = {
        {{}, "", "20x10"},
        {{{"x", 20}}, "ERR 1217", ""},
        {{{"y", -1}}, "ERR 1154", ""},
        {{{"x", 15}, {"width", 100}}, "", "5x10"},  // cut without error
        {{{"x", 2}, {"y", 3}, {"width", 4}, {"height", 2}}, "", "4x2"},
        {{{"loadalpha", true}, {"loadtransparency", true}}, "ERR 1055", ""},
        {{{"transparency", 0xFF0000}, {"loadalpha", true}}, "ERR 1223", ""},
        {{{"transparency", 0xFF0000}, {"globalalpha", 128}}, "ERR 1223", ""},
        {{{"scalewidth", 40}, {"scaleheight", "50%"}}, "", "40x5"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm.Run("LoadBrush", {1, png, Arg::Table(r.options)}), r.expected) << r.size;
        if (r.expected.empty()) {
            EXPECT_EQ(Size(1), r.size);
        }
    }
    EXPECT_EQ(vm.Run("LoadBrush", {1, dir / "missing.png"}).substr(0, 4), "ERR ");

    ASSERT_EQ(vm.Run("LoadBrush", {2, png, Arg::Table({{"loadalpha", true}, {"x", 9}})}), "");
    qzBrush* b = Find(2);
    ASSERT_NE(b->alpha, nullptr);
    EXPECT_EQ(Pixel(2, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(2, 1, 0), 0x0000FFu);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(b->alpha, LOCKF_READONLY, &lock));
    const uint8_t* alpha = static_cast<uint8_t*>(lock.pixels);
    EXPECT_EQ(alpha[0], 255);
    EXPECT_EQ(alpha[9 * lock.rowLength], 0);
    UnlockBitMapPixels(&lock);

    // A key colour makes a mask; a global alpha level scales what the image has.
    ASSERT_EQ(vm.Run("LoadBrush", {3, png, 0x0000FF}), "");
    EXPECT_EQ(ReadBitMapPixel(Find(3)->mask, 15, 2, 1), 0u);
    EXPECT_EQ(ReadBitMapPixel(Find(3)->mask, 5, 2, 1), 1u);
    ASSERT_EQ(vm.Run("LoadBrush", {4, png, Arg::Table({{"loadalpha", true}, {"globalalpha", 128}})}), "");
    ASSERT_TRUE(LockBitMapPixels(Find(4)->alpha, LOCKF_READONLY, &lock));
    EXPECT_EQ(static_cast<uint8_t*>(lock.pixels)[0], 128);
    UnlockBitMapPixels(&lock);
}

// While objects are preloaded a brush keeps its image and its part and gets its bitmaps at first
// use; "cache" shares the loaded image with later loads that name it in "cachedload" (the file is
// not read again), "cachealpha" keeps the alpha channel for them only. Outside preloading the
// cache is not used.
TEST_F(BrushTest, DeferredLoadingAndTheImageCache) {
    SetImageCacheObjectRefs([](void* o) { RetainImageSource(static_cast<qzImageSource*>(o)); },
                            [](void* o) { FreeImageSource(static_cast<qzImageSource*>(o)); });
    // Left half red, right half blue, with a fully transparent bottom row.
    const std::string png = Convert(
        "-size 20x10 xc:red -fill blue -draw 'rectangle 10,0 19,9' -alpha set "
        "-channel A -fx 'j==9?0:1' +channel",
        "in.png");
    SetRuntimeAttrs(vm, {{QZ_RTA_PRELOADING, 1}});
    ASSERT_EQ(vm.Run("LoadBrush", {1, png, Arg::Table({{"cache", "in.png"}, {"cachealpha", true}})}), "");
    ASSERT_EQ(std::remove(png.c_str()), 0);
    ASSERT_EQ(vm.Run("LoadBrush", {2, png, Arg::Table({{"cachedload", "IN.PNG"}, {"loadalpha", true}, {"x", 9}})}), "");
    ASSERT_EQ(vm.Run("LoadBrush", {3, png, Arg::Table({{"cachedload", "in.png"}, {"globalalpha", 64}})}), "");
    EXPECT_EQ(vm.Run("LoadBrush", {4, png, Arg::Table({{"cachedload", "other.png"}})}).substr(0, 4), "ERR ");
    SetRuntimeAttrs(vm, {{QZ_RTA_PRELOADING, 0}});
    EXPECT_EQ(vm.Run("LoadBrush", {5, png, Arg::Table({{"cachedload", "in.png"}})}).substr(0, 4), "ERR ");

    for (int n : {1, 2, 3}) {
        EXPECT_EQ(Find(n)->bitmap, nullptr) << n;
        EXPECT_NE(Find(n)->source, nullptr) << n;
    }
    EXPECT_EQ(Size(2), "11x10");
    EXPECT_EQ(Find(1)->alpha, nullptr);  // the cached alpha channel is not this brush's
    // First use makes the bitmaps of the part and lets the image go.
    EXPECT_EQ(vm.Run("TrimBrush", {2}), "0, 0");
    qzBrush* b = Find(2);
    ASSERT_NE(b->bitmap, nullptr);
    EXPECT_EQ(b->source, nullptr);
    EXPECT_EQ(Size(2), "11x9");
    EXPECT_EQ(Pixel(2, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(2, 1, 0), 0x0000FFu);
    ASSERT_EQ(RecreateBrushBitmaps(vm, 0, 0), 0);
    EXPECT_EQ(Pixel(1, 19, 9), 0x0000FFu);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(Find(3)->alpha, LOCKF_READONLY, &lock));
    EXPECT_EQ(static_cast<uint8_t*>(lock.pixels)[9 * lock.rowLength], 64);  // the level, not the image's alpha
    UnlockBitMapPixels(&lock);
    FreeImageCache();
    SetImageCacheObjectRefs(nullptr, nullptr);
}

// The five-argument form hands its two numbers to the image loader: a one-plane picture is drawn
// in the key colour it names, with colour 0 transparent. The shorter forms hand it none.
TEST_F(BrushTest, LoaderNumbersOfTheFiveArgumentForm) {
    const std::string iff = dir / "one.iff";
    ASSERT_EQ(std::system(("convert -size 4x1 xc:black -fill white -draw 'point 1,0 point 2,0' ppm:- | "
                           "pnmquant 2 2>/dev/null | ppmtoilbm > '" +
                           iff + "' 2>/dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(vm.Run("LoadBrush", {1, iff, -1, 0x00FF00, 1}), "");
    EXPECT_EQ(Pixel(1, 1, 0), 0x00FF00u);
    ASSERT_NE(Find(1)->mask, nullptr);
    EXPECT_EQ(ReadBitMapPixel(Find(1)->mask, 0, 0, 1), 0u);
    EXPECT_EQ(ReadBitMapPixel(Find(1)->mask, 1, 0, 1), 1u);
    ASSERT_EQ(vm.Run("LoadBrush", {2, iff, 0x00FF00}), "");
    EXPECT_EQ(Pixel(2, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(Pixel(2, 0, 0), 0x000000u);
    EXPECT_EQ(vm.Run("LoadBrush", {3, iff, -1, 0x00FF00}), "ERR 1138");  // both numbers or neither
}

TEST_F(BrushTest, SavedFilesReadBackByOtherTools) {
    const std::string png = Convert(
        "-size 6x4 xc:#336699 -fill '#CC0000' -draw 'point 1,1' -alpha set -channel A "
        "-fx 'i==5?0:1' +channel",
        "in.png");
    ASSERT_EQ(vm.Run("LoadBrush", {1, png, Arg::Table({{"loadalpha", true}})}), "");
    ASSERT_EQ(vm.Run("SaveBrush", {1, dir / "out.png", 0, 1}), "");
    EXPECT_NE(filetest::Shell("pngcheck '" + (dir / "out.png") + "'").find("OK"), std::string::npos);
    // The same RGBA samples as the input, as pngtopam decodes both; invisible pixels take the
    // colour given for them (0).
    std::string expected = filetest::Shell("pngtopam -alphapam '" + png + "' | tail -c 96 | od -An -tx1");
    for (size_t at; (at = expected.find("33 66 99 00")) != std::string::npos;) expected.replace(at, 11, "00 00 00 00");
    EXPECT_EQ(filetest::Shell("pngtopam -alphapam '" + (dir / "out.png") + "' | tail -c 96 | od -An -tx1"), expected);
    ASSERT_EQ(vm.Run("SaveBrush", {1, dir / "out.jpg", 0, 2, 95}), "");
    const std::string ppm = filetest::Shell("djpeg -pnm '" + (dir / "out.jpg") + "' | head -c 2");
    EXPECT_EQ(ppm, "P6");
    EXPECT_EQ(filetest::Shell("djpeg -pnm '" + (dir / "out.jpg") + "' | head -2 | tail -1"), "6 4\n");

    // A save that fails leaves the file it would have replaced as it was, and nothing beside it.
    filetest::WriteFile(dir / "keep.png", "old");
    EXPECT_NE(vm.Run("SaveBrush", {1, dir / "keep.png", 0, 99}), "");
    EXPECT_EQ(filetest::ReadFile(dir / "keep.png"), "old");
    EXPECT_EQ(filetest::Shell("ls '" + dir.path() + "' | wc -l"), "4\n");
    EXPECT_NE(vm.Run("SaveBrush", {1, dir / "no/such/dir.png", 0, 1}), "");
}

TEST_F(BrushTest, Copies) {
    ASSERT_EQ(vm.Run("CreateBrush", {1, 5, 3, 0x112233, Arg::Table({{"mask", true}})}), "");
    EXPECT_EQ(vm.Run("CopyBrush", {1, 1}), "ERR 1055");
    EXPECT_EQ(vm.Run("CopyBrush", {4, 2}), "ERR 1174");
    ASSERT_EQ(vm.Run("CopyBrush", {1, 2}), "");
    EXPECT_EQ(Size(2), "5x3");
    EXPECT_EQ(Pixel(2, 4, 2), 0x112233u);
    EXPECT_NE(Find(2)->bitmap, Find(1)->bitmap);
    EXPECT_NE(Find(2)->mask, nullptr);
    ASSERT_EQ(vm.Run("GetBrushLink", {3, 3, 1}), "");
    ASSERT_EQ(vm.Run("ConvertToBrush", {3, 2, 4}), "");
    EXPECT_EQ(Size(3) + Size(4), "5x35x3");
    EXPECT_EQ(vm.Run("GetBrushLink", {1, 3, 1}), "ERR 1055");
    EXPECT_EQ(vm.Run("GetBrushLink", {5, 99, 1}), "ERR 1055");
    EXPECT_EQ(vm.Run("GetBrushLink", {5, 22, 1}), "ERR 1078");  // a layer, with layers off

    // Text objects come through the text library, sprites and anims are not found.
    ASSERT_EQ(OpenLibrary(vm, &qzTextLibrary), 0);
    EXPECT_EQ(vm.Run("ConvertToBrush", {8, 7, 6}), "ERR " + std::to_string(ERR_FINDTEXTOBJECT));
    ASSERT_EQ(vm.Run("CreateTextObject", {7, "x"}), "");
    EXPECT_EQ(vm.Run("ConvertToBrush", {8, 7, 6}), "");
    qzObjectBitmaps text;
    ASSERT_EQ(GetObjectBitmaps(vm, QZ_TYPE_TEXT_OBJECT, {7, nullptr}, 0, &text), 0);
    EXPECT_EQ(Size(6), std::to_string(text.width) + "x" + std::to_string(text.height));
    EXPECT_EQ(Find(6)->mask != nullptr, text.mask != nullptr);
    const qzLibraryDescriptor* const textLibrary[] = {&qzTextLibrary, nullptr};
    CloseLibraries(vm, textLibrary);
    EXPECT_EQ(vm.Run("ConvertToBrush", {8, 7, 6}), "ERR " + std::to_string(ERR_FINDTEXTOBJECT));
    EXPECT_EQ(vm.Run("ConvertToBrush", {32, 7, 6}), "ERR " + std::to_string(ERR_FINDSPRITE));
    EXPECT_EQ(vm.Run("ConvertToBrush", {4, 7, 6}), "ERR " + std::to_string(ERR_FINDANIM));

    // Fresh bitmaps with the brush's pixels, owned by the caller.
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0;
    ASSERT_EQ(GetBrushARGB(vm, {1, nullptr}, &bitmap, &mask, &alpha, &width, &height), 0);
    EXPECT_EQ(width * 10 + height, 53);
    EXPECT_NE(bitmap, Find(1)->bitmap);
    EXPECT_EQ(ReadBitMapPixel(bitmap, 4, 2, 0), 0x112233u);
    EXPECT_NE(mask, nullptr);
    EXPECT_EQ(alpha, nullptr);
    DeleteBitMap(bitmap);
    DeleteMaskBitMap(mask);
    EXPECT_EQ(GetBrushARGB(vm, {9, nullptr}, &bitmap, &mask, &alpha, &width, &height), ERR_FINDBRUSH);
}

TEST_F(BrushTest, Geometry) {
    ASSERT_EQ(vm.Run("CreateBrush", {1, 200, 100}), "");
    EXPECT_EQ(vm.Run("ScaleBrush", {1, "50%", QZ_KEEPASPRAT}), "");
    EXPECT_EQ(Size(1), "100x50");
    EXPECT_EQ(vm.Run("RotateBrush", {1, 90}), "");
    EXPECT_EQ(Size(1), "50x100");
    EXPECT_EQ(vm.Run("RotateBrush", {1, 90, 0}), "ERR 1055");
    EXPECT_EQ(vm.Run("TransformBrush", {1, 0, 1, 1, 0}), "ERR 1055");
    EXPECT_EQ(vm.Run("TransformBrush", {1, 2, 0, 0, 0.5}), "");
    EXPECT_EQ(Size(1), "100x50");
    EXPECT_EQ(vm.Run("TrimBrush", {1}), "0, 0");
    EXPECT_EQ(Size(1), "100x50");
    EXPECT_EQ(vm.Run("RasterizeBrush", {1}), "ERR 1055");

    // A brush whose pixel colour is its position: crops keep the pixels they name.
    ASSERT_EQ(vm.Run("CreateBrush", {2, 100, 100}), "");
    qzBrush* b = Find(2);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 100; x++) {
            uint32_t colour = (uint32_t)(x << 8 | y);
            WriteARGBToBitMap(&colour, 0, 0, 4, b->bitmap, x, y, 1, 1);
        }
    const struct {
        std::vector<Arg> args;
        std::string expected;
        std::string size;
        uint32_t topLeft;
    } crops[] = {
        {{2, 0, 0, 0, 5}, "ERR 1218", "100x100", 0},
        {{2, -1, 0, 5, 5}, "ERR 1154", "100x100", 0},
        {{2, 100, 0, 5, 5}, "ERR 1217", "100x100", 0},
        {{2, QZ_POSITION_CENTER, QZ_POSITION_CENTER, 10, 10}, "", "10x10", 45u << 8 | 45},
        {{2, 8, 2, 50, 50}, "", "2x8", 53u << 8 | 47},  // cut to the brush
    };
    for (const auto& c : crops) {
        EXPECT_EQ(vm.Run("CropBrush", c.args), c.expected);
        EXPECT_EQ(Size(2), c.size);
        if (c.expected.empty()) {
            EXPECT_EQ(Pixel(2, 0, 0), c.topLeft);
        }
    }
    EXPECT_EQ(vm.Run("FlipBrush", {2, 0}), "");
    EXPECT_EQ(Pixel(2, 0, 0), 54u << 8 | 47);
    EXPECT_EQ(vm.Run("FlipBrush", {2, 1}), "");
    EXPECT_EQ(Pixel(2, 0, 0), 54u << 8 | 54);
}

TEST_F(BrushTest, TrimToVisiblePixels) {
    ASSERT_EQ(vm.Run("CreateBrush", {1, 20, 10, 0, Arg::Table({{"mask", true}, {"clear", true}})}), "");
    EXPECT_EQ(vm.Run("TrimBrush", {1}), "ERR 1383");
    qzBrush* b = Find(1);
    WriteBitMapPixel(b->mask, 3, 2, MASKVISIBLE, 1);
    WriteBitMapPixel(b->mask, 7, 8, MASKVISIBLE, 1);
    EXPECT_EQ(vm.Run("TrimBrush", {1}), "3, 2");
    EXPECT_EQ(Size(1), "5x7");
    EXPECT_EQ(ReadBitMapPixel(Find(1)->mask, 0, 0, 1), 1u);
    EXPECT_EQ(ReadBitMapPixel(Find(1)->mask, 1, 0, 1), 0u);
    EXPECT_EQ(vm.Run("TrimBrush", {1}), "0, 0");
}

}  // namespace brush_test
