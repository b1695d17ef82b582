// A fixture for the brush processing tests: the graphics and brush libraries with the player's
// image loaders, brushes loaded from pictures that ImageMagick wrote, and their pixels read back.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../gfx/image_oracle.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "platform/os_alloc.h"
#include "player/image_link.h"
#include "support/commands.h"

struct BrushProcessTest : ::testing::Test {
    BrushProcessTest() { InstallImageLoaders(); }
    ~BrushProcessTest() override { RemoveImageLoaders(); }
    qztest::Commands vm{&qzGraphicsLibrary, &qzBrushLibrary};
    gfxtest::TempDir dir;

    qzBrush* Find(int number) {
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b))
            if (!b->layeronly && b->header.id.number == number && !b->header.id.pointer) return b;
        return nullptr;
    }
    // Loads brush `number` from a PNG that ImageMagick made of the picture (extra options, such as
    // an alpha channel, go to its command line); with loadAlpha the brush takes that channel.
    void Load(int number, const gfxtest::Picture& picture, const std::string& options = "", bool loadAlpha = false) {
        const std::string ppm = dir.File("src.ppm"), png = dir.File("src.png");
        gfxtest::WritePpm(ppm, picture);
        ASSERT_EQ(gfxtest::Run("convert " + ppm + " " + options + " " + png), 0) << options;
        std::vector<qztest::Arg> args{number, png};
        if (loadAlpha) args.push_back(qztest::Arg::Table({{"loadalpha", true}}));
        ASSERT_EQ(vm.Run("LoadBrush", args), "");
    }
    // The colours of a brush as a picture.
    gfxtest::Picture Pixels(int number) {
        gfxtest::Picture p;
        qzBrush* b = Find(number);
        if (!b) return p;
        p.width = b->width, p.height = b->height;
        uint32_t* px = ReadBitMapPixels(b->bitmap, 0, 0, b->width, b->height, LOCKF_READONLY);
        if (!px) return gfxtest::Picture{};
        p.px.assign(px, px + (size_t)b->width * b->height);
        OsFree(px);
        for (uint32_t& c : p.px) c &= 0xFFFFFF;
        return p;
    }
    // The alpha bytes of a brush, rows packed (empty without an alpha channel).
    std::vector<uint8_t> Alpha(int number) {
        std::vector<uint8_t> out;
        qzBrush* b = Find(number);
        qzLockInfo lock;
        if (!b || !b->alpha || !LockBitMapPixels(b->alpha, LOCKF_READONLY, &lock)) return out;
        for (int y = 0; y < b->height; y++)
            for (int x = 0; x < b->width; x++)
                out.push_back(static_cast<uint8_t*>(lock.pixels)[y * lock.rowLength + x]);
        UnlockBitMapPixels(&lock);
        return out;
    }
};
