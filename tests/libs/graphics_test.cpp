// The graphics library without displays: colour arithmetic, the frame limit, position constants,
// sizes with a kept aspect ratio, clip regions, async draw objects, GetAttribute's matrix, the
// runtime attributes, the save options and the resource-monitor text.
#include <gtest/gtest.h>

#include <cmath>
#include "base/error_codes.h"

#include "display/display_scale.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/clip_region.h"
#include "gfx/draw_modes.h"
#include "gfx/transform_bitmap.h"
#include "image/bmp_writer.h"
#include "libs/dos/dos.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics.h"
#include "libs/memblock/memblock.h"
#include "libs/sound/sound.h"
#include "platform/file_test_util.h"
#include "platform/host/host.h"
#include "platform/os_timer.h"
#include "player/image_link.h"
#include "runtime/event_queue.h"
#include "runtime/library.h"
#include "runtime/object_registry.h"
#include "runtime/runtime.h"
#include "support/commands.h"
#include "vm/vm.h"

namespace graphics_test {

using qztest::Arg;
using qztest::NilArg;

namespace {

struct GraphicsTest : ::testing::Test {
    qztest::Commands vm{&qzGraphicsLibrary, &qzMemblockLibrary, &qzDosLibrary};
};

}  // namespace

TEST_F(GraphicsTest, ColourArithmetic) {
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"RGB", {255, 255, 255}, "16777215"},
        {"RGB", {256, 0, 0}, "16777216"},
        {"RGB", {1, 2, 3}, "66051"},
        {"ARGB", {128, 0x123456}, "2148676694"},
        {"Red", {0xFFAABBCCu}, "170"},
        {"Green", {0xFFAABBCCu}, "187"},
        {"Blue", {0xFFAABBCCu}, "204"},
        {"MixRGB", {0x000000, 0xFFFFFF, 128}, "8355711"},
        {"MixRGB", {0xFFFFFF, 0x000000, 255}, "0"},  // -65025 >> 8 is -255
        {"MixRGB", {0x102030, 0x302010, 0}, "1056816"},
        {"MixRGB", {0x000000, 0xFFFFFF, "50%"}, "8289918"},  // 127.5 taken as 127
        {"MixRGB", {0x000000, 0xFFFFFF, 256}, "ERR 1055"},
        {"MixRGB", {0x000000, 0xFFFFFF, -1}, "ERR 1055"},
        {"SetFPSLimit", {0}, ""},
        {"GetFPSLimit", {}, "60"},
        {"SetFPSLimit", {25}, ""},
        {"GetFPSLimit", {}, "25"},
        {"SetFPSLimit", {-3}, ""},
        {"GetFPSLimit", {}, "60"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;
    // Random colours come from the table of 12-bit colours: every channel a doubled nibble.
    for (int i = 0; i < 50; i++) {
        const uint32_t c = (uint32_t)vm.CallNum("GetRandomColor");
        EXPECT_EQ(c >> 24, 0u);
        for (int shift = 0; shift <= 16; shift += 8) EXPECT_EQ(((c >> shift) & 255) % 17, 0u) << std::hex << c;
    }
}

TEST(GraphicsPositions, ConstantsWithOffsetsAndKeptAspectRatios) {
    const struct {
        int32_t value, size, container;
        double anchor;
        int32_t x, y;
    } rows[] = {
        {-99990, 20, 100, 0, 50, 50},          // CENTER + 10
        {-100000, 21, 100, 0, 39, 39},         // (100 - 21) / 2 truncated
        {-95000, 20, 100, 0, -95000, -95000},  // 5000 from CENTER and LEFT: no constant
        {-90000, 20, 100, 0, 0, -90000},       // LEFT is no y constant
        {-70000, 20, 100, 0, -70000, 0},       // TOP is no x constant
        {-80000 - 4999, 20, 100, 0, 80 - 4999, -84999},
        {-60000 + 3, 20, 100, 0, -59997, 83},
        {-50000, 20, 100, 0, -20, -50000},
        {-40000, 20, 100, 0, 100, -40000},
        {-30000, 20, 100, 0, -30000, -20},
        {-20000, 20, 100, 0, -20000, 100},
        {-100000, 20, 100, 0.5, 50, 50},  // the anchor moves by trunc(size * anchor)
        {17, 20, 100, 0.5, 17, 17},
    };
    // The drawing target's forms (four arguments), not the container forms of gfx/position.h.
    int32_t (*const resolveX)(int32_t, int32_t, int32_t, double) = ResolveXPosition;
    int32_t (*const resolveY)(int32_t, int32_t, int32_t, double) = ResolveYPosition;
    for (const auto& r : rows) {
        EXPECT_EQ(resolveX(r.value, r.size, r.container, r.anchor), r.x) << r.value;
        EXPECT_EQ(resolveY(r.value, r.size, r.container, r.anchor), r.y) << r.value;
    }
    const struct {
        int32_t sw, sh, w, h;
        int rc;
        int32_t ew, eh;
    } sizes[] = {
        {200, 100, QZ_KEEPASPRAT, 50, 0, 100, 50},
        {200, 100, 50, QZ_KEEPASPRAT, 0, 50, 25},
        {3, 2, 5, QZ_KEEPASPRAT, 0, 5, 3},  // 3.33 rounds down
        {2, 3, 5, QZ_KEEPASPRAT, 0, 5, 8},  // 7.5 rounds up
        {200, 100, 40, 30, 0, 40, 30},      // nothing to keep
        {200, 100, QZ_KEEPASPRAT, QZ_KEEPASPRAT, ERR_WRONGUSAGE, 0, 0},
        {0, 100, QZ_KEEPASPRAT, 50, ERR_BADDIMENSIONS, 0, 0},  // no division by zero
        {200, 100, QZ_KEEPASPRAT, 0, ERR_BADDIMENSIONS, 0, 0},
        {1000, 1, 1, QZ_KEEPASPRAT, ERR_BADDIMENSIONS, 0, 0},  // rounds to 0
    };
    for (const auto& s : sizes) {
        int32_t w = s.w, h = s.h;
        EXPECT_EQ(ApplyKeepAspectSize(s.sw, s.sh, &w, &h), s.rc) << s.sw << "x" << s.sh;
        if (s.rc == 0) {
            EXPECT_EQ(w, s.ew);
            EXPECT_EQ(h, s.eh);
        }
    }
}

TEST_F(GraphicsTest, ClipRegionsAreTrimmedCountedAndFreed) {
    EXPECT_EQ(vm.Run("CreateClipRegion", {1, 14, -10, 5, 50, 20}), "");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 1, ATTRXPOS}), "0");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 1, ATTRWIDTH}), "40");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 1, ATTRYPOS}), "5");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 1, ATTRHEIGHT}), "20");
    // Entirely left of or above 0; an unknown kind; a shape without brushes.
    EXPECT_EQ(vm.Run("CreateClipRegion", {2, 14, -50, 0, 50, 20}), "ERR 1055");
    EXPECT_EQ(vm.Run("CreateClipRegion", {2, 14, 0, -20, 50, 20}), "ERR 1055");
    EXPECT_EQ(vm.Run("CreateClipRegion", {2, 99, 0, 0, 50, 20}), "ERR 1055");
    EXPECT_EQ(vm.Run("CreateClipRegion", {2, 28, 7, 0, 0}), "ERR 1174");
    // An automatic identifier comes back as a handle; the same number again replaces the region.
    ASSERT_EQ(vm.CallFresh("CreateClipRegion", {NilArg(), 14, 1, 2, 3, 4}), 0);
    ASSERT_EQ(VmType(vm, 1), VM_TLIGHTUSERDATA);
    EXPECT_EQ(vm.Run("GetAttribute", {35, qztest::V(1), ATTRWIDTH}), "3");
    EXPECT_EQ(vm.Run("CreateClipRegion", {1, 14, 0, 0, 8, 9}), "");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 1, ATTRWIDTH}), "8");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 0, ATTRCOUNT}), "2");
    EXPECT_EQ(vm.Run("FreeClipRegion", {1}), "");
    EXPECT_EQ(vm.Run("FreeClipRegion", {1}), "ERR 1215");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 1, ATTRWIDTH}), "ERR 1215");
    EXPECT_EQ(vm.Run("FreeClipRegion", {qztest::V(1)}), "");
    EXPECT_EQ(vm.Run("FreeClipRegion", {Arg::Pointer(&vm)}), "ERR 1041");
    EXPECT_EQ(vm.Run("GetAttribute", {35, 0, ATTRCOUNT}), "0");
}

TEST_F(GraphicsTest, GetAttributeChecksThePairBeforeAnyLookup) {
    ASSERT_EQ(vm.Run("AllocMem", {3, 1000}), "");
    ASSERT_EQ(vm.Run("AllocMem", {4, 10}), "");
    const struct {
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {{3, 0, ATTRCOUNT}, "0"},  // no brush 0, still a count
        {{39, 0, ATTRCOUNT}, "2"},
        {{39, 3, ATTRSIZE}, "1000"},
        {{39, 5, ATTRSIZE}, "ERR 1180"},
        {{39, 3, ATTRWIDTH}, "ERR 1080"},  // a pair outside the matrix, whatever exists
        {{2, 1, ATTRWIDTH}, "ERR 1080"},
        {{2, 1, ATTRDURATION}, "ERR 1178"},
        {{53, 1, ATTRWIDTH}, "ERR 1080"},  // count-only kinds
        {{53, 1, ATTRCOUNT}, "0"},
        {{5, 1, ATTRCOUNT}, "ERR 1080"},  // no such object type
        {{35, 1, -1}, "ERR 1080"},
        {{35, 1, 92}, "ERR 1080"},
        {{40, "ONKEYDOWN", ATTRFUNCTION}, "0"},  // event names in any case
        {{40, "OnMusicEnd", ATTRUSERDATA}, "0"},
        {{40, "onnothing", ATTRFUNCTION}, "ERR 1222"},
        {{40, "onkeydown", ATTRCOUNT}, "ERR 1080"},
        {{22, 1, ATTRWIDTH}, "ERR 1078"},  // no layers
        {{21, 7, ATTRWIDTH}, "ERR 1344"},
        {{60, 1, ATTRWIDTH}, "ERR 1055"},  // a plugin type number nobody registered
        {{60, 1, ATTRCOUNT}, "0"},
        {{35, 1, ATTRWIDTH, 9}, "ERR 1215"},  // the extra argument is allowed
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run("GetAttribute", r.args), r.expected) << r.args[0].Describe();
    EXPECT_EQ(vm.Run("GetAttribute", {35, 1}), "ERR " + std::to_string(ERR_MISSINGPARAMTR));
}

TEST_F(GraphicsTest, GetAttributeOfFilesAndDirectories) {
    filetest::TempDir dir;
    const std::string path = dir / "a.txt";
    ASSERT_EQ(vm.Run("OpenFile", {1, path, QZ_MODE_WRITE}), "");
    EXPECT_EQ(vm.Run("GetAttribute", {44, 1, ATTRMODE}), std::to_string(QZ_MODE_WRITE));
    EXPECT_EQ(vm.Run("GetAttribute", {44, 1, ATTRADAPTER}), "\"inbuilt\"");
    EXPECT_EQ(vm.Run("GetAttribute", {44, 1, ATTRCOUNT}), "1");
    EXPECT_EQ(vm.Run("GetAttribute", {44, 2, ATTRMODE}), "ERR 1179");
    ASSERT_EQ(vm.Run("OpenDirectory", {1, dir.path()}), "");
    EXPECT_EQ(vm.Run("GetAttribute", {45, 1, ATTRADAPTER}), "\"inbuilt\"");
    EXPECT_EQ(vm.Run("GetAttribute", {45, 1, ATTRMODE}), "ERR 1080");
}

namespace {

struct FakeDraw {
    int frames = 3, current = 0, freed = 0, finishedWith = -1, completed = -1;
    bool finishAfter = false;
};

int DrawFrame(void* data, int32_t* finished) {
    auto* d = static_cast<FakeDraw*>(data);
    d->current++;
    if (d->current >= d->frames) *finished = 1;
    return 0;
}
void Finish(void* data, int32_t finished) { static_cast<FakeDraw*>(data)->finishedWith = finished; }
void Free(void* data, int32_t completed, int32_t) {
    auto* d = static_cast<FakeDraw*>(data);
    d->freed++;
    d->completed = completed;
}
int Event(int op, intptr_t data, void* user) {
    auto* d = static_cast<FakeDraw*>(user);
    if (op == ADEVENT_FRAMECOUNT) *reinterpret_cast<int32_t*>(data) = d->frames;
    if (op == ADEVENT_CURFRAME) *reinterpret_cast<int32_t*>(data) = d->current;
    if (op == ADEVENT_POLL) *reinterpret_cast<int32_t*>(data) = d->frames == 7 ? 42 : 0;
    return 0;
}

}  // namespace

TEST_F(GraphicsTest, AsyncDrawObjectsDrawFinishAndCancel) {
    FakeDraw a, b, c;
    qzAsyncDraw *oa = nullptr, *ob = nullptr, *oc = nullptr;
    ASSERT_EQ(CreateAsyncDraw(ADF_FX, DrawFrame, nullptr, Finish, Free, Event, &a, &oa), 0);
    ASSERT_EQ(CreateAsyncDraw(ADF_ANIM, DrawFrame, nullptr, Finish, Free, Event, &b, &ob), 0);
    ASSERT_EQ(CreateAsyncDraw(ADF_FX, DrawFrame, nullptr, Finish, Free, Event, &c, &oc), 0);
    c.frames = 7;
    EXPECT_EQ(PollAsyncDraws(), 42);
    EXPECT_EQ(vm.Run("GetAttribute", {37, Arg::Pointer(oa), ATTRNUMFRAMES}), "3");
    EXPECT_EQ(vm.Run("GetAttribute", {37, Arg::Pointer(ob), ATTRTYPE}), "2");
    EXPECT_EQ(vm.Run("GetAttribute", {37, 0, ATTRCOUNT}), "3");
    // Frame by frame until the draw function says it is done; the next call ends the object.
    EXPECT_EQ(vm.Run("AsyncDrawFrame", {Arg::Pointer(oa)}), "0");
    EXPECT_EQ(vm.Run("AsyncDrawFrame", {Arg::Pointer(oa)}), "0");
    EXPECT_EQ(vm.Run("AsyncDrawFrame", {Arg::Pointer(oa)}), "0");
    EXPECT_EQ(vm.Run("AsyncDrawFrame", {Arg::Pointer(oa)}), "1");
    EXPECT_EQ(a.freed, 1);
    EXPECT_EQ(a.finishedWith, 1);
    EXPECT_EQ(vm.Run("AsyncDrawFrame", {Arg::Pointer(oa)}), "ERR 1041");
    // A frame number needs layers.
    EXPECT_EQ(vm.Run("AsyncDrawFrame", {Arg::Pointer(ob), 2}), "ERR 1078");
    // Finishing hands over the finished flag, cancelling says "not completed".
    EXPECT_EQ(vm.Run("FinishAsyncDraw", {Arg::Pointer(ob)}), "");
    EXPECT_EQ(b.finishedWith, 0);
    EXPECT_EQ(b.completed, 0);
    EXPECT_EQ(vm.Run("CancelAsyncDraw", {Arg::Pointer(oc)}), "");
    EXPECT_EQ(c.finishedWith, -1);
    EXPECT_EQ(c.completed, 0);
    EXPECT_EQ(vm.Run("CancelAsyncDraw", {5}), "ERR 1326");
    EXPECT_EQ(vm.Run("GetAttribute", {37, 0, ATTRCOUNT}), "0");
}

TEST_F(GraphicsTest, RuntimeAttributesSaveOptionsAndPictures) {
    int value = 0;
    EXPECT_EQ(SetGfxRuntimeAttr(vm, 4, MASKXOR), 1);
    EXPECT_EQ(SetGfxRuntimeAttr(vm, 6, 77), 1);
    EXPECT_EQ(SetGfxRuntimeAttr(vm, 5, 1), 0);
    EXPECT_EQ(GetGfxRuntimeAttr(vm, 4, &value), 1);
    EXPECT_EQ(value, MASKXOR);
    EXPECT_EQ(GetGfxRuntimeAttr(vm, 6, &value), 1);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(DrawModes().alphaIntensity, 77);
    EXPECT_EQ(GetGfxRuntimeAttr(vm, 7, &value), 0);

    const struct {
        std::vector<Arg> args;
        int quality, colours, dither;
    } options[] = {
        {{}, 90, 256, 0},
        {{NilArg()}, 90, 256, 0},
        {{75}, 75, 256, 0},
        {{Arg::Table({{"colors", 16}, {"dither", true}})}, 90, 16, 1},
        {{Arg::Table({{"quality", 10}})}, 10, 256, 0},
    };
    for (const auto& o : options) {
        int quality = 90, colours = 256, dither = 0;
        EXPECT_EQ(qztest::RunAsCommand(vm, o.args,
                                       [&](VmState* s) {
                                           ReadSaveQualityOptions(s, 1, &quality, &colours, &dither);
                                           return 0;
                                       }),
                  0);
        EXPECT_EQ(quality, o.quality);
        EXPECT_EQ(colours, o.colours);
        EXPECT_EQ(dither, o.dither);
    }

    filetest::TempDir dir;
    InstallImageLoaders();
    const uint32_t pixels[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(SaveBMP((dir / "p.bmp").c_str(), pixels, 3, 2), 0);
    filetest::WriteFile(dir / "n.txt", "not a picture");
    ASSERT_EQ(vm.CallFresh("IsPicture", {dir / "p.bmp"}), 0);
    EXPECT_EQ(qztest::Render(vm, 1), "1");
    ASSERT_EQ(VmType(vm, 2), VM_TTABLE);
    for (auto [key, value] : {std::pair<const char*, double>{"width", 3}, {"height", 2}, {"alpha", 0}, {"vector", 0}}) {
        VmPushString(vm, key);
        VmGetTable(vm, 2);
        EXPECT_EQ(VmToNumber(vm, -1), value) << key;
        VmSetTop(vm, 2);
    }
    EXPECT_EQ(vm.Run("IsPicture", {dir / "n.txt"}), "0");
    RemoveImageLoaders();
    EXPECT_EQ(vm.Run("DumpVideoTime"), "-1");
}

TEST_F(GraphicsTest, ResourceMonitorCountsEveryKind) {
    ASSERT_EQ(vm.Run("CreateClipRegion", {1, 14, 0, 0, 5, 5}), "");
    ASSERT_EQ(vm.Run("AllocMem", {1, 10}), "");
    qzObjectHeader* list = nullptr;
    int32_t type = 0;
    ASSERT_EQ(RegisterObjectType(&list, "AVeryLongPluginTypeName25", nullptr, &type, 0), 0);
    const std::string text = BuildResourceMonitorText();
    EXPECT_NE(text.find("Clip regions        1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Memory blocks       1\n"), std::string::npos);
    EXPECT_NE(text.find("BGPics              0\nBrushes"), std::string::npos);
    EXPECT_EQ(text.substr(0, 21), "Anims               0");
    // A plugin type's name is cut to 20 characters.
    EXPECT_NE(text.find("\nAVeryLongPluginTypeN0\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 23);
}

TEST(GraphicsClipTransform, ScaledRotatedAndShapedRegions) {
    qzClipRegion rect{};
    rect.x = 10;
    rect.y = 20;
    rect.width = 30;
    rect.height = 40;
    const double scale[4] = {2, 0, 0, 0.5};
    qzClipRegion* r = TransformClipRegion(&rect, 0, 0, scale, 0, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->x, 20);
    EXPECT_EQ(r->y, 10);
    EXPECT_EQ(r->width, 60);
    EXPECT_EQ(r->height, 20);
    EXPECT_EQ(r->mask, nullptr);
    DeleteClipRegionRecord(r);
    // A quarter turn about the centre makes a shaped region covering the turned rectangle.
    const double turn[4] = {0, 1, -1, 0};
    r = TransformClipRegion(&rect, 0.5, 0.5, turn, 0, 0);
    ASSERT_NE(r, nullptr);
    ASSERT_NE(r->mask, nullptr);
    EXPECT_EQ(r->width, 40);
    EXPECT_EQ(r->height, 30);
    int tx = 0, ty = 0;
    GetTransformedRectBounds(10, 20, 30, 40, 0.5, 0.5, turn, &tx, &ty, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(r->x, tx);
    EXPECT_EQ(r->y, ty);
    int set = 0;
    for (int y = 0; y < r->height; y++)
        for (int x = 0; x < r->width; x++) set += (int)ReadBitMapPixel(r->mask, x, y, 1);
    EXPECT_GT(set, 30 * 40 * 9 / 10);
    // A shaped region keeps its shape under the identity; negative positions are trimmed.
    qzClipRegion shaped = *r;
    shaped.x = -3;
    const double identity[4] = {1, 0, 0, 1};
    qzClipRegion* copy = TransformClipRegion(&shaped, 0, 0, identity, 0, 0);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->mask, nullptr);
    EXPECT_NE(copy->mask, r->mask);
    EXPECT_EQ(copy->x, 0);
    EXPECT_EQ(copy->width, 37);
    EXPECT_EQ(ReadBitMapPixel(copy->mask, 0, 10, 1), ReadBitMapPixel(r->mask, 3, 10, 1));
    DeleteClipRegionRecord(copy);
    DeleteClipRegionRecord(r);
    const double bad[4] = {NAN, 0, 0, 1};
    EXPECT_EQ(TransformClipRegion(&rect, 0, 0, bad, 0, 0), nullptr);
}

namespace {
int NoHandler(VmState*) { return 0; }
}  // namespace

TEST(GraphicsAttributes, SamplesTimersAndEventHandlersOfTheirLibraries) {
    setenv("QUARNELIX_DRIVER", "headless", 1);
    std::string message;
    ASSERT_EQ(HostStartDriver(&message), 0) << message;
    ASSERT_EQ(InitEventQueue(), 0);
    ASSERT_EQ(OsInitTimerLock(), 0);
    {
        qztest::Commands vm{&qzGraphicsLibrary, &qzSoundLibrary, &qzEventLibrary};
        const qzLibraryDescriptor* const getters[] = {&qzGraphicsLibrary, &qzSoundLibrary, nullptr};
        ASSERT_EQ(AddLibraryAttrHooks(getters), 0);
        std::vector<Arg> frames(80, Arg(100));
        vm.Ok("CreateSample", {1, Arg::List(frames), 8000, 1});
        vm.Ok("CreateSample", {2, Arg::List({1, 2, 3, 4}), 8000, 1});
        // A music: 0.5 s of 16-bit stereo WAVE at 8000 Hz.
        filetest::TempDir dir;
        std::string wave = dir / "music.wav";
        std::string fmt("\x01\x00\x02\x00\x40\x1f\x00\x00\x00\x7d\x00\x00\x04\x00\x10\x00", 16);
        filetest::WriteFile(wave, std::string("RIFF\xa4\x3e\x00\x00WAVEfmt \x10\x00\x00\x00", 20) + fmt +
                                      std::string("data\x80\x3e\x00\x00", 8) + std::string(16000, '\0'));
        vm.Ok("OpenMusic", {1, wave});
        vm.Ok("SetInterval", {1, Arg::Function(NoHandler), 100, "data"});
        vm.Ok("SetTimeout", {2, Arg::Function(NoHandler), 50});
        vm.Ok("InstallEventHandler", {Arg::Table({{"onsampleend", Arg::Function(NoHandler)}}), "ud"});
        const struct {
            std::vector<Arg> args;
            std::string expected;
        } rows[] = {
            {{2, 1, ATTRNUMFRAMES}, "80"},
            {{2, 1, ATTRPITCH}, "8000"},
            {{2, 1, ATTRDURATION}, "10"},
            {{2, 2, ATTRDURATION}, "0.5"},  // not cut to whole milliseconds
            {{2, 1, ATTRPLAYING}, "0"},
            {{2, 1, ATTRLOADER}, "\"inbuilt\""},
            {{2, 1, ATTRCOUNT}, "2"},
            {{2, 9, ATTRPITCH}, "ERR 1178"},
            {{2, 1, ATTRWIDTH}, "ERR 1080"},
            {{33, 1, ATTRTYPE}, "3"},  // STEREO16
            {{33, 1, ATTRDURATION}, "500"},
            {{33, 1, ATTRPITCH}, "8000"},
            {{33, 1, ATTRPOSITION}, "0"},
            {{33, 1, ATTRFORMAT}, "\"RIFF WAVE\""},
            {{33, 1, ATTRBITRATE}, "248"},
            {{33, 1, ATTRCANSEEK}, "1"},
            {{33, 1, ATTRCURSUBSONG}, "1"},
            {{33, 1, ATTRPLAYING}, "0"},
            {{33, 1, ATTRPAUSED}, "0"},
            {{33, 1, ATTRLOADER}, "\"inbuilt\""},
            {{33, 1, ATTRCOUNT}, "1"},
            {{33, 2, ATTRPITCH}, "ERR 1231"},
            {{33, 1, ATTRWIDTH}, "ERR 1080"},
            {{41, 1, ATTRDURATION}, "100"},
            {{41, 1, ATTRUSERDATA}, "\"data\""},
            {{41, 1, ATTRFUNCTION}, "function"},
            {{41, 2, ATTRDURATION}, "ERR " + std::to_string(ERR_FINDINTERVAL)},
            {{42, 2, ATTRDURATION}, "50"},
            {{42, 2, ATTRUSERDATA}, "0"},      // none given
            {{42, 0, ATTRCOUNT}, "ERR 1080"},  // timers answer no count
            {{40, "OnSampleEnd", ATTRFUNCTION}, "function"},
            {{40, "onsampleend", ATTRUSERDATA}, "\"ud\""},
            {{40, "onmusicend", ATTRFUNCTION}, "0"},  // nothing installed
            {{40, "onkeydown", ATTRFUNCTION}, "0"},   // a display event without a display
            {{40, "onsample", ATTRFUNCTION}, "ERR 1222"},
        };
        for (const auto& r : rows)
            EXPECT_EQ(vm.Run("GetAttribute", r.args), r.expected)
                << r.args[0].Describe() << " " << r.args[2].Describe();
    }
    OsFreeAllTimers();
    FreeRuntime(nullptr);  // the attribute getters added above and the event queue
    HostStopDriver();
}

}  // namespace graphics_test
