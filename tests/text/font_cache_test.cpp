// The font cache, the default names, font handles, AddFontPath and GetAvailableFonts.
#include <gtest/gtest.h>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "font_test_util.h"
#include "support/commands.h"
#include "text/font_files.h"
#include "vm/vm.h"

namespace font_cache_test {

using namespace fonttest;

TEST(FontCache, DefaultNamesAndSharedFonts) {
    FontSystem system;
    const struct {
        const char* name;
        const char* opens;
        int kind;
    } rows[] = {
        {QZ_FONT_BITMAP_DEFAULT, "topaz", FONTKIND_BITMAP},
        {QZ_FONT_TRUETYPE_DEFAULT, "Bitstream Vera Sans", FONTKIND_FREETYPE},
        {QZ_FONT_SANS, "Bitstream Vera Sans", FONTKIND_FREETYPE},
        {QZ_FONT_SERIF, "Bitstream Vera Serif", FONTKIND_FREETYPE},
        {QZ_FONT_MONOSPACE, "Bitstream Vera Sans Mono", FONTKIND_FREETYPE},
    };
    for (const auto& r : rows) {
        qzFont* font = nullptr;
        ASSERT_EQ(OpenFontWithDefaults(r.name, 8, FONTENGINE_NATIVE, 1, 0, &font), 0) << r.name;
        EXPECT_STREQ(font->name, r.opens);
        EXPECT_EQ(font->kind, r.kind);
    }
    // Equal requests share one font, its scale set back; names differ only in case.
    qzFont* a = nullptr;
    qzFont* b = nullptr;
    ASSERT_EQ(OpenFontWithDefaults("Bitstream Vera Sans", 14, FONTENGINE_INBUILT, 1, 0, &a), 0);
    FontEngineSetScale(a, 2.0, 2.0);
    ASSERT_EQ(OpenFontWithDefaults("BITSTREAM vera sans", 14, FONTENGINE_INBUILT, 1, 0, &b), 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(b->scaley, 1.0);
    EXPECT_EQ(b->height, 14);
    ASSERT_EQ(OpenFontWithDefaults("Bitstream Vera Sans", 14, FONTENGINE_INBUILT, 0, 0, &b), 0);
    EXPECT_NE(a, b);
    // A folder path with engine 0 is refused; with ".font" the suffix is dropped.
    EXPECT_EQ(OpenFontWithDefaults("Fonts/myfont.font", 8, FONTENGINE_NATIVE, 1, 0, &a), ERR_FONTPATH);
    EXPECT_EQ(OpenFontWithDefaults("myfont.font", 8, FONTENGINE_NATIVE, 1, 0, &a), ERR_OPENFONT);
    EXPECT_STREQ(GetErrorArgString(), "Cannot open font myfont with size 8!");
}

TEST(FontCache, FreeTypeFailureFallsBackToEngineZero) {
    FontSystem system;
    qzFont* font = nullptr;
    ASSERT_EQ(OpenFontWithDefaults("topaz", 8, FONTENGINE_INBUILT, 1, 0, &font), 0);
    EXPECT_EQ(font, system.topaz);
    EXPECT_EQ(OpenFontWithDefaults("No Such Face", 8, FONTENGINE_INBUILT, 1, 0, &font), ERR_OPENFONT);
}

TEST(FontCache, HandlesAndFontPaths) {
    FontSystem system;
    qztest::VmScope vm;
    qzFont* font = nullptr;
    ASSERT_EQ(OpenFontWithDefaults(QZ_FONT_SANS, 12, FONTENGINE_NATIVE, 1, 0, &font), 0);
    qzFontHandle* one = nullptr;
    qzFontHandle* two = nullptr;
    ASSERT_EQ(AddFontHandle(qzObjectId{1, nullptr}, font, &one), 0);
    ASSERT_EQ(AddFontHandle(qzObjectId{0, QZ_AUTO_ID}, font, &two), 0);
    EXPECT_EQ(two->header.id.pointer, two);
    qzFontHandle* found = nullptr;
    EXPECT_EQ(FindFont(qzObjectId{1, nullptr}, &found), 0);
    EXPECT_EQ(found, one);
    EXPECT_EQ(DeleteFontHandle(vm, qzObjectId{1, nullptr}), 0);
    EXPECT_EQ(FindFont(qzObjectId{1, nullptr}, &found), ERR_FINDFONT2);
    EXPECT_EQ(GetErrorArgIndex(), 1);
    EXPECT_EQ(FindFont(qzObjectId{0, one}, &found), ERR_FINDARRAY);
    EXPECT_EQ(FindFont(qzObjectId{0, two}, &found), 0);
    EXPECT_EQ(found->font, font);  // the other handle keeps the shared font

    TempDir dir;
    EXPECT_EQ(AddFontPath((dir / "missing").c_str()), ERR_LOCK2);
    EXPECT_EQ(std::string(GetErrorArgString()), dir / "missing");
    ASSERT_EQ(AddFontPath(dir.path.c_str()), 0);
    std::string upper = dir.path;
    for (char& c : upper) c = (char)toupper(c);
    ASSERT_EQ(AddFontPath(upper.c_str()), 0);
    EXPECT_EQ(GetFontPaths().size(), 1u);
}

TEST(FontCache, AvailableFontsTable) {
    TempDir system;
    fs::copy_file(kVeraDir + "/VeraBI.ttf", system / "VeraBI.ttf");
    FontSystem fonts(system.path);
    TempDir dir;
    WriteFile(dir / "tiny.font", WriteContentsFile(0x0F03, {{"tiny/8", 8}, {"tiny/300", 300}}));
    ASSERT_EQ(AddFontPath(dir.path.c_str()), 0);
    qztest::VmScope vm;
    std::string dump;
    int error = qztest::RunAsCommand(vm, {}, [&](VmState* state) {
        EXPECT_EQ(PushAvailableFonts(state), 1);
        for (int i = 0;; i++) {
            VmRawGetI(state, -1, i);
            if (VmType(state, -1) == VM_TNIL) {
                VmPop(state, 1);
                break;
            }
            for (const char* key : {"name", "family", "bitmap", "weight", "slant"}) {
                VmPushString(state, key);
                VmGetTable(state, -2);
                dump += qztest::Render(state, -1) + " ";
                VmPop(state, 1);
            }
            VmPushString(state, "sizes");
            VmGetTable(state, -2);
            for (int k = 0;; k++) {
                VmRawGetI(state, -1, k);
                bool nil = VmType(state, -1) == VM_TNIL;
                if (!nil) dump += qztest::Render(state, -1) + " ";
                VmPop(state, 1);
                if (nil) break;
            }
            VmPop(state, 2);
            dump += "| ";
        }
        return 0;
    });
    EXPECT_EQ(error, 0);
    EXPECT_EQ(dump,
              "\"tiny\" \"tiny\" 1 80 0 8 44 | "
              "\"Bitstream Vera Sans Bold Oblique\" \"Bitstream Vera Sans\" 0 200 110 | ");
    EXPECT_TRUE(GetFontFileList().empty());
}

TEST(FontCache, OpenFontFromArguments) {
    FontSystem system;
    qztest::VmScope vm;
    using qztest::Arg;
    const struct {
        std::vector<Arg> args;
        int error;
        const char* name;
        int kind;
    } rows[] = {
        {{"topaz", 8}, 0, "topaz", FONTKIND_BITMAP},
        {{QZ_FONT_SERIF, 12}, 0, "Bitstream Vera Serif", FONTKIND_FREETYPE},
        {{"Bitstream Vera Sans Mono", 12.9, Arg::Table({{"engine", 4}, {"cache", 0}})},
         0,
         "Bitstream Vera Sans Mono",
         FONTKIND_FREETYPE},
        {{"Bitstream Vera Sans", 12, Arg::Table({})}, ERR_OPENFONT, nullptr, 0},
        {{"Bitstream Vera Sans", 12, "engine"}, ERR_TABEXPECTED, nullptr, 0},
    };
    for (const auto& r : rows) {
        qzFont* font = nullptr;
        int inner = 0;
        int error =
            qztest::RunAsCommand(vm, r.args, [&](VmState* state) { return inner = OpenFontFromArgs(state, 1, &font); });
        if (error == 0) error = inner;
        EXPECT_EQ(error, r.error) << (r.name ? r.name : "") << " " << GetErrorArgString();
        if (r.name) {
            ASSERT_NE(font, nullptr);
            EXPECT_STREQ(font->name, r.name);
            EXPECT_EQ(font->kind, r.kind);
        }
    }
}

}  // namespace font_cache_test
