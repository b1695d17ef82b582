// The redraw engine: a stack of layers with a border, transparency, a shadow, a filter and a hidden
// layer, redrawn onto the display and compared with ImageMagick's composition of the same inputs;
// the shadow's offset; the redraw's argument errors.
#include <algorithm>
#include <string>
#include <vector>

#include "display/layer_redraw.h"
#include "display/layer_test_util.h"
#include "gfx/bitmap_lock.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/clip_region.h"
#include "gfx/image_oracle.h"
#include "gfx/mask_bits.h"

namespace layer_redraw_test {

class LayerRedrawTest : public LayerTest {
protected:
    gfxtest::Picture Window(int32_t width, int32_t height) {
        gfxtest::Picture p;
        p.width = width;
        p.height = height;
        p.px.resize(size_t(width) * height);
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++) p.at(x, y) = Pixel(1, x, y);
        return p;
    }
};

TEST_F(LayerRedrawTest, StackMatchesImageMagick) {
    OpenLayered(64, 48, 0x203040);
    qzLayerTags tags;
    InitLayerTags(&tags);
    tags.border.border = 1;
    tags.border.bordercolor = 0x00FF00;  // alpha byte 0: an opaque border
    tags.border.bordersize = 2;
    Add(1, 4, 4, 20, 20, 0xFF0000, &tags);
    InitLayerTags(&tags);
    tags.transparency = 128;
    Add(2, 14, 10, 16, 16, 0x0000FF, &tags);
    InitLayerTags(&tags);
    tags.shadow.shadow = 1;
    tags.shadow.shadowcolor = 0x80000000;  // half-strength black
    tags.shadow.shadowsize = 4;
    tags.shadow.shadowdir = QZ_SHDWSOUTHEAST;
    tags.shadow.shadowradius = 0;
    Add(3, 36, 26, 10, 10, 0xFFFFFF, &tags);
    Add(4, 0, 0, 64, 48, 0xFFFF00, nullptr, -1, QZ_ADDLAYER_HIDDEN);
    InitLayerTags(&tags);
    tags.filters[FILTER_INVERT].enabled = 1;
    Add(5, 50, 4, 8, 8, 0x00FF00, &tags);
    RefreshArea(*vm, 0, 0, 64, 48);

    gfxtest::TempDir dir;
    const std::string out = dir.File("expected.ppm");
    const std::string command =
        "convert -size 64x48 xc:'#203040'"
        " \\( -size 24x24 xc:'#00FF00' \\) -geometry +2+2 -composite"
        " \\( -size 20x20 xc:'#FF0000' \\) -geometry +4+4 -composite"
        " \\( -size 16x16 xc:'#0000FF' -alpha set -channel A -evaluate set 49.8% +channel \\) -geometry +14+10 "
        "-composite"
        " \\( -size 10x10 xc:black -alpha set -channel A -evaluate set 49.8% +channel \\) -geometry +40+30 "
        "-composite"
        " \\( -size 10x10 xc:white \\) -geometry +36+26 -composite"
        " \\( -size 8x8 xc:'#FF00FF' \\) -geometry +50+4 -composite -depth 8 " +
        out;
    ASSERT_EQ(gfxtest::Run(command), 0) << command;
    const gfxtest::Picture expected = gfxtest::ReadPnm(out);
    int x = 0, y = 0;
    EXPECT_LE(gfxtest::MaxDifference(Window(64, 48), expected, &x, &y), 2) << "at " << x << "," << y;
}

// The shadow lies size pixels away in its direction; the body covers it.
TEST_F(LayerRedrawTest, ShadowOffsetFollowsTheDirection) {
    OpenLayered(32, 32, 0xFFFFFF);
    const struct {
        int direction;
        int32_t shadowX, shadowY, beyondX, beyondY;  // a shadow pixel, and the pixel just past it
    } rows[] = {
        {QZ_SHDWSOUTHEAST, 21, 21, 22, 22},
        {QZ_SHDWNORTH, 14, 8, 14, 7},
        {QZ_SHDWWEST, 8, 14, 7, 14},
    };
    for (const auto& r : rows) {
        FreeBGPicLayers(*vm, CurrentBGPic(), 0, 0);
        qzLayerTags tags;
        InitLayerTags(&tags);
        tags.shadow.shadow = 1;
        tags.shadow.shadowcolor = 0x000000;  // opaque black
        tags.shadow.shadowsize = 4;
        tags.shadow.shadowdir = r.direction;
        tags.shadow.shadowradius = 0;
        Add(1, 12, 12, 6, 6, 0xFF0000, &tags);
        RefreshArea(*vm, 0, 0, 32, 32);
        EXPECT_EQ(Pixel(1, r.shadowX, r.shadowY), 0x000000u) << r.direction;
        EXPECT_EQ(Pixel(1, r.beyondX, r.beyondY), 0xFFFFFFu) << r.direction;
        EXPECT_EQ(Pixel(1, 14, 14), 0xFF0000u) << r.direction;
    }
}

TEST_F(LayerRedrawTest, BadRectanglesDrawNothing) {
    OpenLayered(16, 16, 0x112233);
    qzBitMap* target = Solid(16, 16, 0xABCDEF);
    const struct {
        int32_t x, y, width, height;
        qzBitMap* dst;
    } rows[] = {{0, 0, 0, 4, target}, {-1, 0, 4, 4, target}, {0, 0, 4, 4, nullptr}, {16, 0, 4, 4, target}};
    for (const auto& r : rows) {
        RedrawLayersRect(*vm, Display(1), CurrentBGPic(), r.dst, r.x, r.y, r.width, r.height, 0);
        EXPECT_EQ(ReadBitMapPixel(target, 0, 0, 0), 0xABCDEFu) << r.x << "," << r.width;
    }
    // One that straddles the right edge is cut to the picture.
    RedrawLayersRect(*vm, Display(1), CurrentBGPic(), target, 12, 0, 10, 4, 0);
    EXPECT_EQ(ReadBitMapPixel(target, 15, 0, 0), 0x112233u);
    DeleteBitMap(target);
}

// The shadow's alpha and the border are built once and kept; dropping the border drops the shadow
// that follows its shape. The shadow's offset grows with the display's scale.
TEST_F(LayerRedrawTest, ShadowAndBorderAreBuiltOnce) {
    OpenLayered(32, 32, 0xFFFFFF);
    qzLayerTags tags;
    InitLayerTags(&tags);
    tags.shadow.shadow = 1;
    tags.shadow.shadowradius = 2;
    tags.shadow.shadowsigma = 1;
    tags.border.border = 1;
    tags.border.bordersize = 1;
    qzLayer* layer = Add(1, 8, 8, 6, 6, 0xFF0000, &tags);
    qzLayerState* st = layer->display;
    const qzBitMap* shadow = st->shadowAlpha;
    const qzBitMap* border = st->border.bitmap;
    ASSERT_NE(shadow, nullptr);
    ASSERT_NE(border, nullptr);
    RefreshArea(*vm, 0, 0, 32, 32);
    EXPECT_EQ(st->shadowAlpha, shadow);
    EXPECT_EQ(st->border.bitmap, border);
    FreeLayerBorders(layer);
    EXPECT_EQ(st->shadowAlpha, nullptr);
    RefreshArea(*vm, 0, 0, 32, 32);
    EXPECT_NE(st->shadowAlpha, nullptr);

    int32_t x, y, width, height;
    layer->shadow.shadowradius = 0;
    FreeLayerBorders(layer);
    layer->border.border = 0;
    for (double scale : {1.0, 2.0}) {
        GetLayerShadowBox(layer, st, scale, scale, &x, &y, &width, &height);
        EXPECT_EQ(x, 8 + int32_t(4 * scale)) << scale;  // the default shadow: 4 pixels south-east
        EXPECT_EQ(y, 8 + int32_t(4 * scale)) << scale;
        EXPECT_EQ(width, 6);
    }
}

// A removed layer's area is redrawn without it; new content of another size refreshes the old
// and the new box.
TEST_F(LayerRedrawTest, RemovingAndResizingRedrawTheirAreas) {
    OpenLayered(32, 32, 0xFFFFFF);
    Add(1, 0, 0, 10, 10, 0xFF0000);
    qzLayer* top = Add(2, 5, 5, 10, 10, 0x0000FF);
    RefreshArea(*vm, 0, 0, 32, 32);
    EXPECT_EQ(Pixel(1, 7, 7), 0x0000FFu);
    LogPresents();
    DeleteLayerRecord(*vm, CurrentBGPic(), top, 0, nullptr, nullptr, 0);
    EXPECT_EQ(presented, std::vector<std::string>{"5,5 10x10"});
    EXPECT_EQ(Pixel(1, 7, 7), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 12, 12), 0xFFFFFFu);

    qzLayer* bottom = FirstLayer(CurrentBGPic());
    presented.clear();
    ASSERT_EQ(SetLayerContentSize(*vm, bottom, nullptr, 0, 0, 4, 20, Solid(4, 20, 0x00FF00), nullptr, nullptr, 0, 0),
              0);
    EXPECT_EQ(presented, std::vector<std::string>{"0,0 10x20"});
    EXPECT_EQ(Pixel(1, 2, 18), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 8, 2), 0xFFFFFFu);
}

// A run of overlapping rectangles, however they overlap: every pixel of their union shows the
// scene as a redraw of the whole picture into a bitmap of its own does, the parts that earlier
// rectangles covered included, with display hooks and without; hooks are told of each rectangle
// whole and in order (cut to the picture).
TEST_F(LayerRedrawTest, OverlappingRectanglesShowTheirWholeUnion) {
    OpenLayered(64, 48, 0x203040);
    qzLayer* red = Add(1, 0, 0, 40, 30, 0xFF0000, nullptr, -1, 0, Alpha(40, 30, 128));
    qzLayer* green = Add(2, 20, 10, 40, 30, 0x00FF00, nullptr, -1, 0, Alpha(40, 30, 200));
    RefreshArea(*vm, 0, 0, 64, 48);
    const struct {
        const char* name;
        std::vector<qzLayerBox> boxes;
        std::vector<std::string> presents;
    } runs[] = {
        {"corners", {{0, 0, 30, 20}, {10, 10, 30, 20}, {20, 5, 30, 30}}, {"0,0 30x20", "10,10 30x20", "20,5 30x30"}},
        {"inside", {{0, 0, 64, 48}, {10, 10, 5, 5}}, {"0,0 64x48", "10,10 5x5"}},
        {"cross", {{20, 0, 10, 48}, {0, 20, 64, 10}}, {"20,0 10x48", "0,20 64x10"}},
        {"frame", {{10, 10, 20, 20}, {0, 0, 64, 48}}, {"10,10 20x20", "0,0 64x48"}},
        {"same", {{5, 5, 20, 20}, {5, 5, 20, 20}}, {"5,5 20x20", "5,5 20x20"}},
        {"cut", {{-10, -10, 30, 30}, {50, 40, 30, 30}, {10, 10, 0, 5}}, {"0,0 20x20", "50,40 14x8"}},
    };
    // The whole scene redrawn apart from the display.
    qzBitMap* scene = CreateBitMap(64, 48, 0, nullptr);
    ASSERT_NE(scene, nullptr);
    int step = 0;
    for (const bool hooked : {false, true}) {
        if (hooked) LogPresents();
        for (const auto& run : runs) {
            // The layers move without a refresh: the window still shows the old scene.
            step++;
            RefreshLayerChange(*vm, red, 0, 0, 3 * step % 30, step % 9, 1, 0, nullptr);
            RefreshLayerChange(*vm, green, 0, 0, 20 - step, 10 + 2 * step % 20, 1, 0, nullptr);
            presented.clear();
            RefreshDisplayRects(*vm, run.boxes.data(), int32_t(run.boxes.size()));
            if (hooked) {
                EXPECT_EQ(presented, run.presents) << run.name;
            }
            RedrawLayersRect(*vm, CurrentDisplay(), CurrentBGPic(), scene, 0, 0, 64, 48, 0);
            BitMapLock lock(scene, 0);
            int wrong = 0;
            for (const qzLayerBox& b : run.boxes)
                for (int32_t y = std::max(b.y, 0); y < std::min(b.y + b.height, 48); y++)
                    for (int32_t x = std::max(b.x, 0); x < std::min(b.x + b.width, 64); x++)
                        wrong += Pixel(1, x, y) !=
                                 (static_cast<const uint32_t*>(lock.info.pixels)[size_t(y) * lock.info.rowLength + x] &
                                  0xFFFFFF);
            EXPECT_EQ(wrong, 0) << run.name << (hooked ? " with hooks" : "");
        }
    }
    DeleteBitMap(scene);
}

// A shaped clip region lets the layer through only where its mask is set, plainly and with
// transparency (the blend then goes through a copy of the destination).
TEST_F(LayerRedrawTest, ShapedClipShowsTheLayerThroughItsMask) {
    OpenLayered(16, 16, 0x000000);
    qzClipRegion clip = {};
    clip.width = 16;
    clip.height = 16;
    clip.mask = CreateMaskBitMap(nullptr, 16, 16, 1, nullptr, 0);
    {
        BitMapLock lock(clip.mask, 0);
        clip.maskBytesPerRow = lock.info.rowLength;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 8; x++)
                SetMaskBit(static_cast<uint8_t*>(lock.info.pixels) + y * lock.info.rowLength, x);
    }
    qzLayer* layer = Add(1, 0, 0, 16, 16, 0x0000FF);
    layer->display->clipRegion = &clip;
    const struct {
        int32_t transparency;
        uint32_t inside;
    } rows[] = {{0, 0x0000FF}, {128, 0x00007F}};
    for (const auto& r : rows) {
        layer->transparency = r.transparency;
        RefreshArea(*vm, 0, 0, 16, 16);
        EXPECT_NEAR(int(Pixel(1, 3, 5) & 0xFF), int(r.inside), 1) << r.transparency;
        EXPECT_EQ(Pixel(1, 3, 5) & 0xFFFF00, 0u);
        EXPECT_EQ(Pixel(1, 12, 5), 0x000000u) << r.transparency;
    }
    ForgetClipRegionInAllLayers(&clip);
    DeleteMaskBitMap(clip.mask);
}

}  // namespace layer_redraw_test
