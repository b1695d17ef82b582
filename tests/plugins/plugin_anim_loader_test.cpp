// Anim-loader plugins: a file is offered to the plugins that the loader list allows before the
// built-in readers; the plugin's frames, delays and alpha make the anim, every frame buffer goes
// back to it, and copies of a disk anim reopen the file through it.
#include <cstdlib>
#include <string>

#include "anim/anim.h"
#include "base/error_codes.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "libs/anim/anim_lib.h"
#include "plugins/plugin_fixture.h"

namespace plugin_anim_loader_test {

using plugintest::PluginTest;
using qztest::Arg;

namespace {

struct AnimLoaderPlugin : PluginTest {
    AnimLoaderPlugin() : PluginTest({&qzSystemLibrary, &qzDosLibrary, &qzAnimLibrary}) {}

    qzAnim* Find(int number) {
        for (qzAnim* a = FirstAnim(); a; a = NextAnim(a))
            if (!a->layeronly && a->header.id.number == number && !a->header.id.pointer) return a;
        return nullptr;
    }
    // The colour at the middle of each frame and each frame's delay: "ff0000/10 ...".
    std::string Frames(int number) {
        qzAnim* anim = Find(number);
        if (!anim) return "none";
        std::string out;
        for (int32_t i = 0; i < anim->frames; i++) {
            qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
            int owned = 0;
            if (GetAnimFrameBitmaps(anim, i, 0, 0, &bitmap, &mask, &alpha, &owned) != 0) return "undecodable";
            char text[32];
            std::snprintf(text, sizeof text, "%s%06x/%u", out.empty() ? "" : " ",
                          ReadBitMapPixel(bitmap, anim->width / 2, anim->height / 2, 0), GetAnimFrameDelay(anim, i));
            out += text;
            if (owned) FreeAnimFrameBitmaps(bitmap, mask, alpha);
        }
        return out;
    }
};

}  // namespace

TEST_F(AnimLoaderPlugin, LoaderListsChooseWhoReadsTheFile) {
    qzPluginRecord* record = LoadAndInit("animloader", "frames.qzp");
    qzPluginRecord* noauto = LoadAndInit("animloader", "noautoframes.qzp");
    ASSERT_TRUE(record && noauto);
    const qzPluginInfo* info = record->handle->info;
    const qzPluginInfo* named = noauto->handle->info;
    const struct {
        const char* loader;  // null: no list
        std::string expected;
        const qzPluginInfo* reader;  // the plugin that read the frames
    } rows[] = {
        {nullptr, "", info},
        {"default", "", info},
        {"plugin", "", info},
        {"fram", "", info},  // a plugin is chosen by the start of its name
        {"inbuilt|frames", "", info},
        {"noautoframes", "", named},       // named: activated and used
        {"inbuilt", "ERR 1045", nullptr},  // the built-in readers look for a file of that name
        // No anim reader takes the file: the picture loaders (none here) are tried next.
        {"native", "ERR 1358", nullptr},
        {"other", "ERR 1358", nullptr},
    };
    for (const auto& r : rows) {
        const int64_t before = info->userData + named->userData * 100;
        std::vector<Arg> args = {1, "frames:6x4x3"};
        if (r.loader) args.push_back(Arg::Table({{"loader", r.loader}}));
        EXPECT_EQ(vm.Run("LoadAnim", args), r.expected) << (r.loader ? r.loader : "no list");
        if (!r.reader) {
            EXPECT_EQ(Find(1), nullptr);
            continue;
        }
        EXPECT_EQ(Frames(1), "ff0000/10 00ff00/20 0000ff/30") << r.loader;
        EXPECT_EQ(Find(1)->width * 100 + Find(1)->height, 604);
        // A memory anim hands every frame back and closes the plugin's anim.
        EXPECT_EQ(info->userData + named->userData * 100, before) << r.loader;
        vm.Ok("FreeAnim", {1});
    }
    // Once a list has named it, the plugin that asked not to be activated serves only lists that
    // name it.
    EXPECT_EQ(named->activatedByList, 1u);
    EXPECT_EQ(vm.Run("LoadAnim", {1, "frames:6x4x3", Arg::Table({{"loader", "plugin"}})}), "");
    EXPECT_EQ(vm.Run("IsAnim", {"frames:6x4x1"}), "1");  // one frame of a plugin is an anim
    EXPECT_EQ(vm.Run("IsAnim", {"frames:6x4x1", Arg::Table({{"loader", "inbuilt"}})}), "0");
    EXPECT_EQ(vm.Run("IsAnim", {"frames:6x4x0"}), "0");
    vm.Ok("LoadAnimFrame", {3, -1, "frames:6x4x2", Arg::Table({{"loader", "frames"}})});
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(nullptr, {3, nullptr}, &brush, 0), 0);
    EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 1, 1, 0), 0x00FF00u);
    EXPECT_EQ(info->userData, 0);
}

TEST_F(AnimLoaderPlugin, RequestsAlphaPensDiskAnimsAndCopies) {
    qzPluginRecord* record = LoadAndInit("animloader", "frames.qzp");
    ASSERT_NE(record, nullptr);
    const qzPluginInfo* info = record->handle->info;
    const struct {
        std::string file;
        std::vector<std::pair<Arg, Arg>> options;
        std::string expected;
        bool alpha;  // the frames got alpha channels
    } rows[] = {
        {"frames:4x4x2:alpha", {{"loadalpha", true}}, "", true},
        {"frames:4x4x2", {{"loadalpha", true}}, "ERR 1170", false},
        {"frames:4x4x2:pen", {{"loadtransparency", true}}, "", true},
        {"frames:4x4x2", {{"loadtransparency", true}}, "ERR 1574", false},
        {"frames:4x4x2:pen", {}, "", true},  // a transparent pen always brings alpha
        {"frames:4x4x2:alpha", {}, "", false},
    };
    for (const auto& r : rows) {
        std::vector<std::pair<Arg, Arg>> options = r.options;
        options.push_back({"adapter", "memfs"});
        EXPECT_EQ(vm.Run("LoadAnim", {1, r.file, Arg::Table(options)}), r.expected) << r.file;
        if (r.expected.empty()) {
            ASSERT_NE(Find(1), nullptr);
            EXPECT_EQ(Find(1)->alphas[1] != nullptr, r.alpha) << r.file;
        }
        EXPECT_EQ(info->userData, 0) << r.file;
    }
    // The plugin saw the adapter list, the transparency and the alpha asked for.
    const std::string log = filetest::ReadFile(dir / "frames.qzp.log");
    EXPECT_NE(log.find("open adapter=memfs transparency=1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("frame 1 loadalpha=1\n"), std::string::npos) << log;

    // A disk anim keeps the plugin's anim open and takes one frame at a time from it; its copy
    // reopens the file through the plugin, scaled as the anim is.
    vm.Ok("LoadAnim", {2, "frames:4x4x5", Arg::Table({{"fromdisk", true}, {"loader", "plugin"}})});
    EXPECT_EQ(info->userData, 1000);
    EXPECT_EQ(Frames(2), "ff0000/10 00ff00/20 0000ff/30 ffff00/40 ff0000/50");
    EXPECT_EQ(info->userData, 1000);
    vm.Ok("ScaleAnim", {2, 8, 2});
    vm.Ok("CopyAnim", {2, 3});
    EXPECT_EQ(info->userData, 2000);
    EXPECT_EQ(Find(3)->disk, 1);
    EXPECT_STREQ(Find(3)->loaders, "frames");
    EXPECT_EQ(Find(3)->width * 100 + Find(3)->height, 802);
    EXPECT_EQ(Frames(3), "ff0000/10 00ff00/20 0000ff/30 ffff00/40 ff0000/50");
    vm.Ok("FreeAnim", {2});
    vm.Ok("FreeAnim", {3});
    EXPECT_EQ(info->userData, 0);
}

}  // namespace plugin_anim_loader_test
