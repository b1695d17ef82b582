// The anim library without displays: anims loaded from pictures and GIF files that ImageMagick
// made (and AVI files from ffmpeg), cut from brushes, their frames changed, copied, scaled, saved and freed, and the
// refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "anim/anim.h"
#include "anim/anim_save.h"
#include "anim/anim_stream.h"
#include "base/error_codes.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/image_cache.h"
#include "gfx/image_source.h"
#include "image/brush.h"
#include "image/iff_anim_files.h"
#include "libs/anim/anim_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "platform/file_test_util.h"
#include "platform/os_alloc.h"
#include "player/image_link.h"
#include "runtime/runtime.h"
#include "support/commands.h"

namespace anim_lib_test {

using imgtest::SolidFieldIffAnim;
using imgtest::SolidIffAnim;
using qztest::Arg;

namespace {

struct AnimTest : ::testing::Test {
    AnimTest() {
        InstallImageLoaders();
        // 40 x 10: four 10 x 10 frames, red, lime, blue, yellow.
        Convert(
            "-size 40x10 xc:red -fill lime -draw 'rectangle 10,0 19,9' -fill blue -draw 'rectangle 20,0 29,9' "
            "-fill yellow -draw 'rectangle 30,0 39,9'",
            "strip.png");
    }
    ~AnimTest() override { RemoveImageLoaders(); }
    qztest::Commands vm{&qzGraphicsLibrary, &qzBrushLibrary, &qzAnimLibrary};
    filetest::TempDir dir;

    std::string Convert(const std::string& args, const std::string& name) {
        EXPECT_EQ(std::system(("cd '" + dir.path() + "' && convert " + args + " '" + name + "'").c_str()), 0) << args;
        return dir / name;
    }
    // Anim 1: the strip cut into its four frames.
    void LoadStrip() {
        vm.Ok("LoadAnim", {1, dir / "strip.png", Arg::Table({{"width", 10}, {"height", 10}, {"frames", 4}})});
    }
    qzAnim* Find(int number) {
        for (qzAnim* a = FirstAnim(); a; a = NextAnim(a))
            if (!a->layeronly && a->header.id.number == number && !a->header.id.pointer) return a;
        return nullptr;
    }
    // The frames' colours, "red lime ..." (black for frames that were added).
    std::string Frames(int number) {
        qzAnim* anim = Find(number);
        if (!anim) return "none";
        std::string out;
        for (int32_t i = 0; i < anim->frames; i++) {
            const uint32_t c = ReadBitMapPixel(anim->bitmaps[i], 5, 5, 0);
            out += std::string(out.empty() ? "" : " ") + (c == 0xFF0000   ? "red"
                                                          : c == 0x00FF00 ? "lime"
                                                          : c == 0x0000FF ? "blue"
                                                          : c == 0xFFFF00 ? "yellow"
                                                          : c == 0        ? "black"
                                                                          : "other");
        }
        return out;
    }
};

}  // namespace

TEST_F(AnimTest, ModifyAnimFramesAddsAndRemovesAroundThePosition) {
    const struct {
        int count, position;
        std::string expected;  // the frames, or the error
    } rows[] = {
        {2, 2, "red black black lime blue yellow"},
        {1, 0, "red lime blue yellow black"},
        {1, 5, "red lime blue yellow black"},
        {-2, 2, "red yellow"},
        {-1, 0, "red lime blue"},
        {-3, 0, "red"},  // all but one may go
        {-2, 3, "red lime"},
        {-4, 0, "ERR 1055"},  // not all
        {0, 0, "ERR 1055"},
        {-2, 4, "ERR 1055"},  // past the end
        {1, -1, "ERR 1055"},
        {1, 6, "ERR 1055"},
    };
    for (const auto& r : rows) {
        LoadStrip();
        const std::string result = vm.Run("ModifyAnimFrames", {1, r.count, r.position});
        EXPECT_EQ(result == "" ? Frames(1) : result, r.expected) << r.count << " at " << r.position;
        if (result != "") {
            EXPECT_EQ(Frames(1), "red lime blue yellow");  // a refusal leaves the anim as it was
        }
    }
    // Added frames get a visible mask where the first frame has a mask, and none where it has not.
    LoadStrip();
    vm.Ok("ModifyAnimFrames", {1, 1});
    EXPECT_EQ(Find(1)->masks[4], nullptr);
    vm.Ok("LoadAnim", {2, dir / "strip.png",
                       Arg::Table({{"width", 10}, {"height", 10}, {"frames", 4}, {"transparency", 0x0000FF}})});
    vm.Ok("ModifyAnimFrames", {2, 1, 1});
    qzAnim* masked = Find(2);
    ASSERT_NE(masked->masks[0], nullptr);
    ASSERT_NE(masked->masks[1], nullptr);
    EXPECT_EQ(ReadBitMapPixel(masked->masks[0], 5, 5, 1), 1u);
    EXPECT_EQ(ReadBitMapPixel(masked->masks[3], 5, 5, 1), 0u);  // the blue frame is hidden
}

TEST_F(AnimTest, FramesDelaysCopiesAndRefusals) {
    LoadStrip();
    EXPECT_EQ(vm.Run("SetAnimFrameDelay", {1, 1, -1}), "ERR 1055");
    EXPECT_EQ(vm.Run("SetAnimFrameDelay", {1, 5, 10}), "ERR 1094");
    vm.Ok("SetAnimFrameDelay", {1, 2, 40});
    EXPECT_EQ(vm.Run("GetAnimFrame", {3, 5, 1}), "ERR 1094");
    vm.Ok("GetAnimFrame", {3, 3, 1});
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(nullptr, {3, nullptr}, &brush, 0), 0);
    EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 5, 5, 0), 0x0000FFu);
    EXPECT_EQ(vm.Run("CopyAnim", {1, 1}), "ERR 1055");
    vm.Ok("CopyAnim", {1, 2});
    EXPECT_EQ(Frames(2), "red lime blue yellow");
    EXPECT_EQ(Find(2)->delays[1], 40u);
    EXPECT_EQ(vm.Run("FreeAnim", {9}), "ERR 1176");
    // A playing anim is locked against changes.
    Find(2)->locked = 1;
    EXPECT_EQ(vm.Run("ModifyAnimFrames", {2, 1}), "ERR 1314");
    EXPECT_EQ(vm.Run("FreeAnim", {2}), "ERR 1314");
    Find(2)->locked = 0;
    vm.Ok("ScaleAnim", {2, "50%", 20});
    EXPECT_EQ(Find(2)->width, 5);
    EXPECT_EQ(Find(2)->height, 20);
    EXPECT_EQ(ReadBitMapPixel(Find(2)->bitmaps[3], 2, 15, 0), 0xFFFF00u);
    // Frames per row 0 lays every frame in one row; a grid beyond the brush is refused.
    vm.Ok("LoadBrush", {5, dir / "strip.png"});
    vm.Ok("CreateAnim", {6, 5, 10, 10, 2, 0, 20, 0});
    EXPECT_EQ(Frames(6), "blue yellow");
    EXPECT_EQ(vm.Run("CreateAnim", {7, 5, 10, 10, 5, 0}), "ERR 1156");
    EXPECT_EQ(vm.Run("CreateAnim", {7, 5, 10, 10, 2, 1, -1, 0}), "ERR 1154");
}

TEST_F(AnimTest, LoadingOptionsAndFiles) {
    Convert("-delay 10 -size 10x10 xc:red -delay 20 xc:lime -delay 30 xc:blue", "three.gif");
    EXPECT_EQ(std::system(("printf 'GIF89' > '" + (dir / "short.gif") + "'").c_str()), 0);
    const std::string strip = dir / "strip.png", gif = dir / "three.gif";
    const struct {
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {{1, strip, Arg::Table({{"loadalpha", true}, {"transparency", 0}})}, "ERR 1223"},
        {{1, strip, Arg::Table({{"loadtransparency", true}, {"transparency", 0}})}, "ERR 1055"},
        {{1, strip, Arg::Table({{"loadtransparency", true}, {"loadalpha", true}})}, "ERR 1055"},
        {{1, strip, Arg::Table({{"frames", 2}, {"fromdisk", true}})}, "ERR 1055"},
        {{1, strip, Arg::Table({{"width", 10}, {"height", 10}})}, "ERR 1055"},  // a grid needs a count
        {{1, strip, Arg::Table({{"width", 10}, {"height", 10}, {"frames", 5}})}, "ERR 1156"},
        {{1, dir / "short.gif"}, "ERR 1009"},
        {{1, dir / "missing.gif"}, "ERR 1045"},
        {{1, gif}, ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(vm.Run("LoadAnim", r.args), r.expected) << r.args[1].Describe() << " " << r.expected;
    EXPECT_EQ(Frames(1), "red lime blue");
    EXPECT_EQ(Find(1)->delays[2], 300u);
    // A picture is never disk-based; a GIF from disk keeps no frames and decodes each on demand.
    vm.Ok("LoadAnim", {2, strip, Arg::Table({{"fromdisk", true}})});
    EXPECT_EQ(Find(2)->disk, 0);
    vm.Ok("LoadAnim", {3, gif, Arg::Table({{"fromdisk", true}})});
    qzAnim* disk = Find(3);
    ASSERT_EQ(disk->disk, 1);
    EXPECT_EQ(disk->bitmaps, nullptr);
    EXPECT_EQ(GetAnimFrameDelay(disk, 1), 200u);
    EXPECT_EQ(vm.Run("ModifyAnimFrames", {3, 1}), "ERR 1338");
    vm.Ok("GetAnimFrame", {4, 3, 3});
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(nullptr, {4, nullptr}, &brush, 0), 0);
    EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 5, 5, 0), 0x0000FFu);
    // A brush linked to a frame of a disk anim copies the decoded frame.
    vm.Ok("GetBrushLink", {6, 4, 3, 2});
    ASSERT_EQ(FindBrush(nullptr, {6, nullptr}, &brush, 0), 0);
    EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 5, 5, 0), 0x00FF00u);
    EXPECT_EQ(vm.Run("GetBrushLink", {6, 4, 3, 4}), "ERR 1094");
    // LoadAnimFrame: -1 is the last frame, 0 none.
    vm.Ok("LoadAnimFrame", {5, -1, gif});
    ASSERT_EQ(FindBrush(nullptr, {5, nullptr}, &brush, 0), 0);
    EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 5, 5, 0), 0x0000FFu);
    EXPECT_EQ(vm.Run("LoadAnimFrame", {5, 0, gif}), "ERR 1094");
}

TEST_F(AnimTest, AviFilesLoadInMemoryAndFromDisk) {
    // 12 pixels wide: rows of 36 bytes, which need no padding to four bytes.
    Convert("-size 12x10 xc:red xc:lime xc:blue", "f%d.png");
    const std::string avi = dir / "three.avi";
    ASSERT_EQ(std::system(("ffmpeg -v error -framerate 5 -i '" + (dir / "f%d.png") +
                           "' -c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1 '" + avi + "'")
                              .c_str()),
              0);
    vm.Ok("LoadAnim", {1, avi});
    EXPECT_EQ(Frames(1), "red lime blue");
    EXPECT_EQ(GetAnimFrameDelay(Find(1), 0), 0u);
    vm.Ok("LoadAnim", {2, avi, Arg::Table({{"fromdisk", true}})});
    ASSERT_EQ(Find(2)->disk, 1);
    EXPECT_EQ(Find(2)->frames, 3);
    qzBrush* brush = nullptr;
    const uint32_t colours[] = {0xFF0000u, 0x00FF00u, 0x0000FFu};
    for (int frame : {3, 1, 2}) {
        vm.Ok("GetAnimFrame", {4, frame, 2});
        ASSERT_EQ(FindBrush(nullptr, {4, nullptr}, &brush, 0), 0);
        EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 5, 5, 0), colours[frame - 1]);
    }
    // Saved as Motion-JPEG (format 1): ffprobe counts the frames at the rate asked for, and the
    // file loads back.
    const std::string saved = dir / "saved.avi";
    EXPECT_EQ(vm.Run("SaveAnim", {1, saved, 1, Arg::Table({{"fps", 0}})}), "ERR 1055");
    EXPECT_FALSE(filetest::Exists(saved));
    vm.Ok("SaveAnim", {1, saved, 1, Arg::Table({{"fps", 10}, {"quality", 95}})});
    const std::string probe = filetest::Shell(
        "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
        "stream=codec_name,r_frame_rate,nb_read_frames "
        "-of csv=p=0 '" +
        saved + "'");
    EXPECT_EQ(probe, "mjpeg,10/1,3\n");
    vm.Ok("LoadAnim", {3, saved});
    ASSERT_EQ(Find(3)->frames, 3);
    for (int i = 0; i < 3; ++i) {
        const uint32_t c = ReadBitMapPixel(Find(3)->bitmaps[i], 5, 5, 0);
        for (int shift : {0, 8, 16}) EXPECT_NEAR((int)(c >> shift & 0xFF), (int)(colours[i] >> shift & 0xFF), 8) << i;
    }
}

// An anim stream in Motion-JPEG (format 1): brushes of the stream's size are the frames, a smaller
// one sits on a frame of the transparency colour. Only the finished file appears under the name:
// ffprobe counts the frames at the rate asked for, and ffmpeg and the anim reader see the
// pictures. Streams that cannot start leave no file.
TEST_F(AnimTest, AnimStreamsWriteMotionJpegAvi) {
    const std::string path = dir / "stream.avi";
    filetest::WriteFile(path, "old");
    vm.Ok("CreateBrush", {1, 12, 10, 0xFF0000});
    vm.Ok("CreateBrush", {2, 12, 10, 0x00FF00});
    vm.Ok("CreateBrush", {3, 6, 10, 0xFFFF00});
    vm.Ok("BeginAnimStream", {1, path, 12, 10, 1, Arg::Table({{"fps", 5}, {"quality", 95}})});
    vm.Ok("WriteAnimFrame", {1, 1});
    vm.Ok("WriteAnimFrame", {1, 2, Arg::Table({{"delay", 500}})});
    vm.Ok("WriteAnimFrame", {1, 3, Arg::Table({{"x", 6}, {"transparency", 0x0000FF}})});
    EXPECT_EQ(filetest::ReadFile(path), "old");
    vm.Ok("FinishAnimStream", {1});
    EXPECT_EQ(filetest::Shell("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                              "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" +
                              path + "'"),
              "mjpeg,12,10,5/1,3\n");
    // (left, right) colour of each frame: as ffmpeg decodes it, and as the anim loads.
    const uint32_t expected[3][2] = {{0xFF0000, 0xFF0000}, {0x00FF00, 0x00FF00}, {0x0000FF, 0xFFFF00}};
    const std::string rgb = filetest::Shell("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(rgb.size(), 3u * 12 * 10 * 3);
    vm.Ok("LoadAnim", {5, path});
    ASSERT_EQ(Find(5)->frames, 3);
    for (int f = 0; f < 3; ++f) {
        for (int side = 0; side < 2; ++side) {
            const int x = side ? 9 : 2, y = 5;
            const size_t at = ((size_t)f * 120 + y * 12 + x) * 3;
            const uint32_t ours = ReadBitMapPixel(Find(5)->bitmaps[f], x, y, 0);
            for (int c = 0; c < 3; ++c) {
                const int want = (int)(expected[f][side] >> (16 - 8 * c) & 0xFF);
                EXPECT_NEAR((int)(uint8_t)rgb[at + c], want, 8) << "ffmpeg, frame " << f << " x " << x;
                EXPECT_NEAR((int)(ours >> (16 - 8 * c) & 0xFF), want, 8) << "reader, frame " << f << " x " << x;
            }
        }
    }
    const std::string never = dir / "never.avi";
    const struct {
        std::vector<Arg> args;
        std::string expected;
    } refused[] = {
        {{2, never, 8, 8, 1, Arg::Table({{"fps", 0}})}, "ERR 1055"},
        {{2, never, 8, 8, 1, Arg::Table({{"fps", 1001}})}, "ERR 1055"},
        {{2, never, 0, 8, 1}, "ERR 1055"},
        {{2, never, 8, 8, 2}, "ERR 1488"},
        {{2, dir / "missing/never.avi", 8, 8, 1}, "ERR 1052"},
    };
    for (const auto& r : refused) EXPECT_EQ(vm.Run("BeginAnimStream", r.args), r.expected);
    EXPECT_FALSE(filetest::Exists(never));
    EXPECT_EQ(vm.Run("WriteAnimFrame", {2, 1}), "ERR 1341");
    // A numbered stream begun again finishes the one of that number first.
    vm.Ok("BeginAnimStream", {3, dir / "first.avi", 12, 10, 1});
    vm.Ok("WriteAnimFrame", {3, 1});
    vm.Ok("BeginAnimStream", {3, dir / "second.avi", 12, 10, 1});
    EXPECT_EQ(filetest::Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=nb_read_frames -of csv=p=0 '" +
                              dir / "first.avi" + "'"),
              "1\n");
    vm.Ok("FinishAnimStream", {3});
}

namespace {

bool gFailNext = false;
int FailOnce(size_t) {
    const bool fail = gFailNext;
    gFailNext = false;
    return fail ? 1 : 0;
}

}  // namespace

// A frame that cannot be written leaves its stream open, for the script to go on or finish it.
// Streams still open at shutdown are completed, except one whose latest frame failed: it leaves
// no file.
TEST_F(AnimTest, StreamsWhoseLastFrameFailedLeaveNoFileAtShutdown) {
    vm.Ok("CreateBrush", {1, 8, 8, 0xFF0000});
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(nullptr, {1, nullptr}, &brush, 0), 0);
    const struct {
        const char* name;
        std::string frames;  // 'w' written, 'f' failing
        bool finish;         // FinishAnimStream before shutdown
        int expected;        // frames in the file, -1 none
    } rows[] = {
        {"written", "ww", false, 2},
        {"failed last", "wf", false, -1},
        {"failed, then written", "fw", false, 1},
        {"failed last, finished", "wf", true, 1},
    };
    for (int format : {QZ_ANMFMT_GIF, QZ_ANMFMT_MJPEG}) {
        for (size_t i = 0; i < std::size(rows); ++i) {
            const std::string file = dir / (std::to_string(i) + (format ? ".avi" : ".gif"));
            vm.Ok("BeginAnimStream", {(int)i + 1, file, 8, 8, format});
            auto* stream =
                reinterpret_cast<qzAnimStream*>(FindObjectInList(*AnimStreamListHead(), {(int32_t)i + 1, nullptr}));
            ASSERT_NE(stream, nullptr);
            for (char f : rows[i].frames) {
                OsSetAllocFailHook(FailOnce);
                gFailNext = f == 'f';
                const int error =
                    WriteAnimStreamFrame(stream, brush->bitmap, nullptr, nullptr, 8, 8, 0, 0, 0, qzAnimSaveOptions{});
                OsSetAllocFailHook(nullptr);
                EXPECT_EQ(error, f == 'f' ? ERR_MEM : 0) << rows[i].name;
            }
            if (rows[i].finish) vm.Ok("FinishAnimStream", {(int)i + 1});
        }
        FinishAllAnimStreams(vm);
        for (size_t i = 0; i < std::size(rows); ++i) {
            const std::string file = dir / (std::to_string(i) + (format ? ".avi" : ".gif"));
            const std::string count = filetest::Shell(
                "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                "stream=nb_read_frames -of csv=p=0 '" +
                file + "' 2>/dev/null");
            EXPECT_EQ(filetest::Exists(file) ? count : "none",
                      rows[i].expected < 0 ? "none" : std::to_string(rows[i].expected) + "\n")
                << rows[i].name << (format ? " avi" : " gif");
        }
    }
}

// Motion-JPEG keeps no alpha: the AVI reader offers none and no transparent pen, and "usealpha"
// saves and streams an AVI of the colours, refusing a transparency colour beside it.
TEST_F(AnimTest, AviFilesHaveNoAlpha) {
    LoadStrip();
    const std::string avi = dir / "strip.avi";
    vm.Ok("SaveAnim", {1, avi, 1});
    vm.Ok("CreateBrush", {9, 10, 10, 0x00FF00, Arg::Table({{"alphachannel", true}})});
    const std::string saved = dir / "alpha.avi";
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"LoadAnim", {2, avi, Arg::Table({{"loadalpha", true}})}, "ERR 1170"},
        {"LoadAnim", {2, avi, Arg::Table({{"loadtransparency", true}})}, "ERR 1574"},
        {"LoadAnimFrame", {3, 1, avi, Arg::Table({{"loadalpha", true}})}, "ERR 1170"},
        {"LoadAnimFrame", {3, 1, avi, Arg::Table({{"loadtransparency", true}})}, "ERR 1574"},
        {"SaveAnim", {1, saved, 1, Arg::Table({{"usealpha", true}, {"transparency", 0xFF}})}, "ERR 1223"},
        {"SaveAnim", {1, saved, 1, Arg::Table({{"usealpha", true}})}, ""},
        {"BeginAnimStream", {2, dir / "s.avi", 10, 10, 1, Arg::Table({{"usealpha", true}})}, ""},
        {"WriteAnimFrame", {2, 9, Arg::Table({{"transparency", 0}})}, "ERR 1223"},
        {"WriteAnimFrame", {2, 9}, ""},
        {"FinishAnimStream", {2}, ""},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;
    vm.Ok("LoadAnim", {4, saved});
    EXPECT_EQ(Find(4)->frames, 4);
    EXPECT_EQ(Find(4)->alphas[0], nullptr);
    vm.Ok("LoadAnim", {5, dir / "s.avi"});
    ASSERT_EQ(Find(5)->frames, 1);
    const uint32_t c = ReadBitMapPixel(Find(5)->bitmaps[0], 5, 5, 0);
    for (int shift : {0, 8, 16}) EXPECT_NEAR((int)(c >> shift & 0xFF), (int)(0x00FF00u >> shift & 0xFF), 8);
}

// The anim row of the object type registry: a memory anim lends its own frames, a disk anim
// decodes each frame for the reader, who hands it back; frames count from 0.
TEST_F(AnimTest, ObjectRowLendsOrDecodesFrames) {
    const std::string gif = Convert("-size 10x10 xc:red xc:lime xc:blue", "three.gif");
    LoadStrip();
    vm.Ok("LoadAnim", {2, gif, Arg::Table({{"fromdisk", true}})});
    qzObjectBitmaps frame;
    ASSERT_EQ(GetObjectBitmaps(nullptr, QZ_TYPE_ANIM_OBJECT, {1, nullptr}, 3, &frame), 0);
    EXPECT_EQ(frame.bitmap, Find(1)->bitmaps[3]);
    EXPECT_EQ(frame.release, nullptr);
    EXPECT_EQ(frame.frames, 4);
    ReleaseObjectBitmaps(&frame);
    ASSERT_EQ(GetObjectBitmaps(nullptr, QZ_TYPE_ANIM_OBJECT, {2, nullptr}, 1, &frame), 0);
    ASSERT_NE(frame.release, nullptr);
    EXPECT_EQ(ReadBitMapPixel(frame.bitmap, 5, 5, 0), 0x00FF00u);
    EXPECT_EQ(frame.width, 10);
    EXPECT_EQ(frame.frames, 3);
    ReleaseObjectBitmaps(&frame);
    EXPECT_EQ(frame.bitmap, nullptr);
    EXPECT_EQ(frame.release, nullptr);
    const struct {
        int id, frame, expected;
    } refusals[] = {{1, -1, ERR_ANIMFRAME}, {1, 4, ERR_ANIMFRAME}, {2, 3, ERR_ANIMFRAME}, {9, 0, ERR_FINDANIM}};
    for (const auto& r : refusals) {
        EXPECT_EQ(GetObjectBitmaps(nullptr, QZ_TYPE_ANIM_OBJECT, {r.id, nullptr}, r.frame, &frame), r.expected)
            << r.id << " " << r.frame;
        EXPECT_EQ(frame.bitmap, nullptr);
        EXPECT_EQ(frame.release, nullptr);
    }
}

// While objects are preloaded a picture loaded as an anim goes into the image cache under the
// name "cache" gives, and a load that names it in "cachedload" cuts its frames from there without
// reading the file; "cachealpha" keeps the alpha channel in the cache only. Outside preloading the
// cache is not used. An anim file keeps its frames whatever "skiploopframes" says: only formats
// that end by repeating their first two frames have loop frames to drop.
TEST_F(AnimTest, ImageCacheOptionsAndLoopFrames) {
    SetImageCacheObjectRefs([](void* o) { RetainImageSource(static_cast<qzImageSource*>(o)); },
                            [](void* o) { FreeImageSource(static_cast<qzImageSource*>(o)); });
    const std::string strip = dir / "strip.png";
    // Half transparent red, with an opaque blue right half.
    const std::string alpha = Convert(
        "-size 20x10 xc:red -fill blue -draw 'rectangle 10,0 19,9' -alpha set -channel A -fx 'i<10?0.5:1' +channel",
        "alpha.png");
    const std::string gif = Convert("-size 10x10 xc:red xc:lime xc:blue", "three.gif");
    auto cached = [](const char* name, int wantAlpha) {
        int w = 0, h = 0, depth = 0;
        void* object = nullptr;
        qzBitMap* copy = nullptr;
        uint32_t flags = 0;
        const int error = FindImageInCache(name, wantAlpha, &w, &h, &depth, &object, &copy, &flags);
        if (!error) FreeImageSource(static_cast<qzImageSource*>(object));
        DeleteAlphaBitMap(copy);
        return error == 0;
    };

    // Outside preloading nothing goes into the cache, and nothing is taken from it.
    vm.Ok("LoadAnim", {1, strip, Arg::Table({{"cache", "early"}})});
    EXPECT_FALSE(cached("early", 0));
    SetRuntimeAttrs(vm, {{QZ_RTA_PRELOADING, 1}});
    vm.Ok("LoadAnim", {1, strip, Arg::Table({{"cache", "strip"}, {"width", 10}, {"height", 10}, {"frames", 4}})});
    EXPECT_EQ(Frames(1), "red lime blue yellow");
    EXPECT_TRUE(cached("strip", 0));
    vm.Ok("LoadAnim", {2, alpha, Arg::Table({{"cache", "alpha"}, {"cachealpha", true}})});
    EXPECT_EQ(Find(2)->alphas[0], nullptr);  // the cached alpha channel is not this anim's
    vm.Ok("LoadAnim", {3, alpha, Arg::Table({{"cache", "plain"}})});
    EXPECT_TRUE(cached("alpha", 1));
    EXPECT_FALSE(cached("plain", 1));
    ASSERT_EQ(std::remove(strip.c_str()), 0);
    ASSERT_EQ(std::remove(alpha.c_str()), 0);

    const struct {
        const char* file;
        std::vector<std::pair<Arg, Arg>> options;
        std::string expected;  // the frames, or the error
    } rows[] = {
        // From the cache, the file gone: a grid, and the whole picture as one frame.
        {"strip.png",
         {{"cachedload", "STRIP"}, {"width", 10}, {"height", 10}, {"frames", 2}, {"x", 20}},
         "blue yellow"},
        {"strip.png", {{"cachedload", "strip"}, {"fromdisk", true}}, "red"},
        {"three.gif", {{"cachedload", "strip"}}, "red"},  // the cache wins over the anim file
        {"strip.png", {{"cachedload", "strip"}, {"loadtransparency", true}}, "ERR 1574"},
        {"strip.png", {{"cachedload", "strip"}, {"width", 10}, {"height", 10}, {"frames", 5}}, "ERR 1156"},
        // A name the cache does not hold, or holds without the alpha channel asked for, reads the
        // file.
        {"strip.png", {{"cachedload", "other"}}, "ERR 1045"},
        {"alpha.png", {{"cachedload", "plain"}, {"loadalpha", true}}, "ERR 1045"},
        {"three.gif", {{"cachedload", "other"}}, "red lime blue"},
        {"three.gif", {{"skiploopframes", true}}, "red lime blue"},
        {"three.gif", {{"skiploopframes", true}, {"fromdisk", true}}, "disk 3"},
    };
    for (const auto& r : rows) {
        const std::string result = vm.Run("LoadAnim", {4, dir / r.file, Arg::Table(r.options)});
        qzAnim* anim = Find(4);
        const std::string got = result != "" ? result : anim->disk ? "disk " + std::to_string(anim->frames) : Frames(4);
        EXPECT_EQ(got, r.expected) << r.file << " " << r.expected;
        if (result == "") {
            EXPECT_EQ(anim->disk, r.expected.rfind("disk", 0) == 0 ? 1 : 0) << r.expected;
        }
    }
    // The alpha channel kept in the cache only goes to an anim that asks for it.
    vm.Ok("LoadAnim", {5, dir / "alpha.png", Arg::Table({{"cachedload", "alpha"}, {"loadalpha", true}})});
    ASSERT_NE(Find(5)->alphas[0], nullptr);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(Find(5)->alphas[0], LOCKF_READONLY, &lock));
    const uint8_t* levels = static_cast<uint8_t*>(lock.pixels) + 2 * lock.rowLength;
    EXPECT_NEAR(levels[2], 128, 1);
    EXPECT_EQ(levels[15], 255);
    UnlockBitMapPixels(&lock);
    vm.Ok("LoadAnim", {6, dir / "alpha.png", Arg::Table({{"cachedload", "alpha"}})});
    EXPECT_EQ(Find(6)->alphas[0], nullptr);
    SetRuntimeAttrs(vm, {{QZ_RTA_PRELOADING, 0}});
    EXPECT_EQ(vm.Run("LoadAnim", {7, dir / "strip.png", Arg::Table({{"cachedload", "strip"}})}), "ERR 1045");
    FreeImageCache();
    SetImageCacheObjectRefs(nullptr, nullptr);
}

// IFF ANIM files load in memory or from disk; their two loop frames go with "skiploopframes".
TEST_F(AnimTest, IffAnimFilesLoadWithOrWithoutTheirLoopFrames) {
    filetest::WriteFile(dir / "three.anim", SolidIffAnim({0, 1, 2, 0, 1}));
    const struct {
        std::vector<std::pair<Arg, Arg>> options;
        std::string expected;
    } rows[] = {
        {{}, "red lime blue red lime"},
        {{{"skiploopframes", true}}, "red lime blue"},
        {{{"fromdisk", true}}, "disk 5"},
        {{{"skiploopframes", true}, {"fromdisk", true}}, "disk 3"},
    };
    for (const auto& r : rows) {
        const std::string result = vm.Run("LoadAnim", {4, dir / "three.anim", Arg::Table(r.options)});
        qzAnim* anim = Find(4);
        const std::string got = result != "" ? result : anim->disk ? "disk " + std::to_string(anim->frames) : Frames(4);
        EXPECT_EQ(got, r.expected);
    }
    // A disk anim decodes its frames when they are asked for, out of order too.
    vm.Ok("LoadAnim", {5, dir / "three.anim", Arg::Table({{"fromdisk", true}})});
    for (int frame : {2, 1, 4, 0}) {
        qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
        int owned = 0;
        ASSERT_EQ(GetAnimFrameBitmaps(Find(5), frame, 1, 0, &bitmap, &mask, &alpha, &owned), 0);
        EXPECT_EQ(ReadBitMapPixel(bitmap, 5, 5, 0),
                  (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFF0000, 0x00FF00}[frame]))
            << frame;
        if (owned) FreeAnimFrameBitmaps(bitmap, mask, alpha);
        EXPECT_EQ(GetAnimFrameDelay(Find(5), frame), frame ? 100u : 0u);
    }
}

// Field animations: "deinterlace" chooses how a frame fills the rows of the other field, from the
// frame before (DEINTERLACE_DEFAULT) or from the neighbouring row of its own field
// (DEINTERLACE_DOUBLE), for anims in memory, from disk, their copies and single frames.
TEST_F(AnimTest, DeinterlaceWeavesOrDoublesFields) {
    // Frame 3 paints the odd rows blue; its even rows come from frame 2 (lime) or its own rows.
    filetest::WriteFile(dir / "fields.anim", SolidFieldIffAnim({0, 1, 2, 3, 0, 1}));
    const uint32_t kLime = 0x00FF00, kBlue = 0x0000FF;
    const struct {
        std::vector<std::pair<Arg, Arg>> options;
        uint32_t row0;
    } rows[] = {
        {{}, kLime},
        {{{"deinterlace", 0}}, kLime},
        {{{"deinterlace", 1}}, kBlue},
        {{{"deinterlace", 1}, {"fromdisk", true}}, kBlue},
        {{{"fromdisk", true}}, kLime},
    };
    for (const auto& r : rows) {
        vm.Ok("LoadAnim", {1, dir / "fields.anim", Arg::Table(r.options)});
        vm.Ok("CopyAnim", {1, 2});
        for (int id : {1, 2}) {
            ASSERT_EQ(Find(id)->frames, 4);
            qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
            int owned = 0;
            ASSERT_EQ(GetAnimFrameBitmaps(Find(id), 2, 1, 0, &bitmap, &mask, &alpha, &owned), 0);
            EXPECT_EQ(ReadBitMapPixel(bitmap, 5, 0, 0), r.row0) << "anim " << id << ", " << r.options.size();
            EXPECT_EQ(ReadBitMapPixel(bitmap, 5, 1, 0), kBlue);
            if (owned) FreeAnimFrameBitmaps(bitmap, mask, alpha);
        }
    }
    for (int mode : {0, 1}) {
        vm.Ok("LoadAnimFrame", {3, 3, dir / "fields.anim", Arg::Table({{"deinterlace", mode}})});
        qzBrush* brush = nullptr;
        ASSERT_EQ(FindBrush(nullptr, {3, nullptr}, &brush, 0), 0);
        EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 5, 0, 0), mode ? kBlue : kLime);
    }
}

}  // namespace anim_lib_test
