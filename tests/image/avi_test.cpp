// The AVI reader: files made by ffmpeg (uncompressed and Motion-JPEG) decode as ffmpeg decodes
// them, in order and out of order, with and without an index; hand-built files for what no tool
// writes (relative and absolute index offsets, "rec " lists, frames without Huffman tables); and
// files that lie about their sizes, which open or fail but never read outside the data.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "base/error_codes.h"
#include "image/avi_reader.h"
#include "image/avi_writer.h"
#include "image/image_test_util.h"
#include "image/jpeg_codec.h"
#include "platform/os_alloc.h"

namespace avi_test {

using namespace imgtest;

namespace {

// The frames of an AVI read in the given order (all in sequence when empty); a frame that fails
// stays empty.
struct Frames {
    bool opened = false;
    int width = 0;
    int height = 0;
    std::vector<std::vector<uint32_t>> frames;
};

Frames ReadAvi(const std::string& path, std::vector<int> order = {}) {
    Frames f;
    qzVfsFile* file = VfsOpen(path.c_str(), QZ_VFS_READ, nullptr);
    if (!file) return f;
    int count = 0;
    qzAviReader* r = OpenAviAnim(file, &f.width, &f.height, &count);
    if (!r) return f;
    f.opened = true;
    f.frames.resize(count);
    if (order.empty()) {
        for (int i = 0; i < count; ++i) order.push_back(i);
    }
    for (int n : order) {
        uint32_t* pixels = LoadAviAnimFrame(r, n);
        if (!pixels) {
            f.frames[n].clear();
            continue;
        }
        f.frames[n].assign(pixels, pixels + (size_t)f.width * f.height);
        OsFree(pixels);
    }
    CloseAviAnim(r);
    return f;
}

// Every frame of a file as ffmpeg decodes it, in 0x00RRGGBB words.
std::vector<std::vector<uint32_t>> FfmpegFrames(const std::string& path, int width, int height) {
    std::string raw = Shell("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr0 -");
    std::vector<std::vector<uint32_t>> frames;
    const size_t frame = (size_t)width * height * 4;
    for (size_t at = 0; frame && at + frame <= raw.size(); at += frame) {
        std::vector<uint32_t> pixels(frame / 4);
        std::memcpy(pixels.data(), raw.data() + at, frame);
        for (uint32_t& p : pixels) p &= 0xFFFFFF;
        frames.push_back(pixels);
    }
    return frames;
}

int MaxDiff(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int s = 0; s < 24; s += 8)
            worst = std::max(worst, std::abs((int)(a[i] >> s & 0xFF) - (int)(b[i] >> s & 0xFF)));
    }
    return worst;
}

std::string U32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = (char)(v >> (8 * i));
    return s;
}
std::string U16(uint32_t v) { return U32(v).substr(0, 2); }
std::string Chunk(const std::string& id, const std::string& data) {
    return id + U32((uint32_t)data.size()) + data + (data.size() & 1 ? std::string(1, '\0') : "");
}
std::string List(const std::string& type, const std::string& data) {
    return "LIST" + U32((uint32_t)data.size() + 4) + type + data;
}

// A hand-built AVI: the header chunks, a video stream with the handler and bit count, optionally a
// PCM audio stream first, one "00dc"/"01dc" chunk per frame, and an idx1 with absolute or
// relative offsets (or none).
struct Spec {
    int width = 4;
    int height = 3;
    std::string handler = "DIB ";
    int bitCount = 24;
    bool audio = false;
    int audioTag = 1;
    bool recLists = false;
    enum { kNone, kRelative, kAbsolute, kBadEntry } index = kRelative;
};

std::string BuildAvi(const Spec& s, const std::vector<std::string>& frames) {
    const int video = s.audio ? 1 : 0;
    std::string avih = U32(40000) + U32(0) + U32(0) + U32(0x10) + U32((uint32_t)frames.size()) + U32(0) +
                       U32(s.audio ? 2 : 1) + U32(0) + U32(s.width) + U32(s.height) + std::string(16, '\0');
    std::string strl;
    if (s.audio) {
        std::string strh = "auds" + std::string(4, '\0') + std::string(48, '\0');
        std::string strf = U16(s.audioTag) + U16(2) + U32(44100) + U32(176400) + U16(4) + U16(16);
        strl += List("strl", Chunk("strh", strh) + Chunk("strf", strf));
    }
    std::string strh = "vids" + s.handler + std::string(48, '\0');
    std::string strf = U32(40) + U32(s.width) + U32(s.height) + U16(1) + U16(s.bitCount) + s.handler +
                       U32(s.width * s.height * 3) + std::string(16, '\0');
    strl += List("strl", Chunk("strh", strh) + Chunk("strf", strf));
    std::string hdrl = List("hdrl", Chunk("avih", avih) + strl);
    const std::string id = (video ? "01" : "00") + std::string("dc");
    const size_t moviStart = 12 + hdrl.size() + 8;  // the list type "movi"
    std::string movi;
    std::string idx1;
    for (const std::string& f : frames) {
        std::string chunk = Chunk(id, f);
        size_t at = moviStart + 4 + movi.size() + (s.recLists ? 12 : 0);
        if (s.audio) {
            movi += Chunk("00wb", std::string(8, '\0'));
            at += 16;
        }
        if (s.recLists) {
            movi += List("rec ", chunk);
        } else {
            movi += chunk;
        }
        const size_t offset = s.index == Spec::kAbsolute ? at : at - moviStart;
        idx1 += id + U32(0x10) + U32((uint32_t)offset) + U32((uint32_t)f.size());
    }
    if (s.index == Spec::kBadEntry) idx1 += "00xx" + U32(0) + U32(0) + U32(0);
    std::string body = hdrl + List("movi", movi);
    body += s.index == Spec::kNone ? Chunk("JUNK", "") : Chunk("idx1", idx1);
    return "RIFF" + U32((uint32_t)body.size() + 4) + "AVI " + body;
}

// A deterministic picture and its bottom-up BGR rows.
std::vector<uint32_t> Pixels(int w, int h, int seed) {
    std::vector<uint32_t> p((size_t)w * h);
    for (size_t i = 0; i < p.size(); ++i) p[i] = (uint32_t)((i * 2654435761u + seed * 40503u) & 0xFFFFFF);
    return p;
}
std::string Dib(const std::vector<uint32_t>& p, int w, int h) {
    std::string out;
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            uint32_t c = p[(size_t)y * w + x];
            out += (char)(c & 0xFF);
            out += (char)(c >> 8 & 0xFF);
            out += (char)(c >> 16 & 0xFF);
        }
    }
    return out;
}

std::string EncodeJpeg(const std::vector<uint32_t>& p, int w, int h) {
    qzJpegEncodeRequest q{};
    q.pixels = p.data();
    q.stride = w * 4;
    q.width = w;
    q.height = h;
    q.quality = 90;
    q.littleEndianWords = 1;
    EncodeJPEG(&q);
    std::string out = q.error ? "" : std::string((const char*)q.data, q.size);
    FreeJPEGBuffer(q.result);
    return out;
}

// The JPEG as a Motion-JPEG camera stores it: APP0 says "AVI1", the Huffman tables are left out.
std::string StripTables(std::string jpeg) {
    if (jpeg.size() > 10 && jpeg.compare(6, 4, "JFIF") == 0) jpeg.replace(6, 4, "AVI1");
    for (size_t at = 2; at + 4 <= jpeg.size();) {
        const unsigned char marker = (unsigned char)jpeg[at + 1];
        const size_t length = (unsigned char)jpeg[at + 2] << 8 | (unsigned char)jpeg[at + 3];
        if (marker == 0xDA) break;
        if (marker == 0xC4) {
            jpeg.erase(at, 2 + length);
            continue;
        }
        at += 2 + length;
    }
    return jpeg;
}

std::vector<uint32_t> DecodeJpeg(const std::string& jpeg) {
    int w = 0, h = 0;
    uint32_t* pixels = nullptr;
    if (LoadJPEG(jpeg.data(), jpeg.size(), 0, &w, &h, &pixels)) return {};
    std::vector<uint32_t> out(pixels, pixels + (size_t)w * h);
    OsFree(pixels);
    return out;
}

}  // namespace

TEST(AviReader, FfmpegFilesDecodeAsFfmpegDecodesThem) {
    TempDir dir;
    struct Case {
        const char* codec;
        int tolerance;
    };
    // Raw frames stored bottom-up, as the reader reads them; ffmpeg's top-down raw frames carry a
    // negative height that the video format must not differ in, and are refused.
    for (const Case& c : {Case{"-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1", 0}, Case{"-c:v mjpeg -q:v 3", 12},
                          Case{"-c:v rawvideo -pix_fmt bgr24", -1}}) {
        SCOPED_TRACE(c.codec);
        const std::string path = dir / "clip.avi";
        Shell(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=48x32:rate=10 -f lavfi -i anullsrc=r=22050:cl=stereo "
            "-frames:v 6 -c:a pcm_s16le " +
            std::string(c.codec) + " -shortest '" + path + "'");
        const auto theirs = FfmpegFrames(path, 48, 32);
        ASSERT_EQ(theirs.size(), 6u);
        Frames inOrder = ReadAvi(path);
        if (c.tolerance < 0) {
            EXPECT_FALSE(inOrder.opened);
            continue;
        }
        ASSERT_TRUE(inOrder.opened);
        EXPECT_EQ(inOrder.width, 48);
        EXPECT_EQ(inOrder.height, 32);
        ASSERT_EQ(inOrder.frames.size(), 6u);
        for (int i = 0; i < 6; ++i) EXPECT_LE(MaxDiff(inOrder.frames[i], theirs[i]), c.tolerance) << "frame " << i;
        // Out of order through the index, and again without one (the scan from the movi start).
        const std::vector<int> order = {4, 1, 5, 0, 0, 3, 2, 2};
        std::string bytes = ReadFile(path);
        const size_t idx1 = bytes.rfind("idx1");
        ASSERT_NE(idx1, std::string::npos);
        for (bool index : {true, false}) {
            if (!index) bytes.replace(idx1, 4, "JUNK");
            WriteFile(dir / "copy.avi", bytes);
            Frames shuffled = ReadAvi(dir / "copy.avi", order);
            ASSERT_TRUE(shuffled.opened);
            for (int i = 0; i < 6; ++i) EXPECT_EQ(shuffled.frames[i], inOrder.frames[i]) << "frame " << i;
        }
    }
}

TEST(AviReader, HandBuiltLayouts) {
    TempDir dir;
    const int w = 5, h = 3;  // odd rows: 15 bytes each, no padding
    std::vector<std::vector<uint32_t>> pictures = {Pixels(w, h, 1), Pixels(w, h, 2), Pixels(w, h, 3)};
    std::vector<std::string> dibs;
    for (const auto& p : pictures) dibs.push_back(Dib(p, w, h));
    struct Case {
        const char* name;
        Spec spec;
    };
    auto spec = [&](auto change) {
        Spec s;
        s.width = w;
        s.height = h;
        change(s);
        return s;
    };
    const std::vector<Case> cases = {
        {"relative index", spec([](Spec& s) { s.index = Spec::kRelative; })},
        {"absolute index", spec([](Spec& s) { s.index = Spec::kAbsolute; })},
        {"no index", spec([](Spec& s) { s.index = Spec::kNone; })},
        {"bad index entry", spec([](Spec& s) { s.index = Spec::kBadEntry; })},
        {"audio first, rec lists", spec([](Spec& s) {
             s.audio = true;
             s.recLists = true;
         })},
        {"raw handler", spec([](Spec& s) { s.handler = "raw "; })},
        {"zero handler", spec([](Spec& s) { s.handler = std::string(4, '\0'); })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "a.avi", BuildAvi(c.spec, dibs));
        for (const std::vector<int>& order : {std::vector<int>{0, 1, 2, 0}, std::vector<int>{2, 0, 1, 1}}) {
            Frames f = ReadAvi(dir / "a.avi", order);
            ASSERT_TRUE(f.opened);
            ASSERT_EQ(f.frames.size(), 3u);
            for (int i = 0; i < 3; ++i) EXPECT_EQ(f.frames[i], pictures[i]) << "frame " << i;
        }
    }
    // Motion-JPEG frames with and without their own tables, the handler in either case.
    const int jw = 24, jh = 16;
    std::vector<uint32_t> picture = Pixels(jw, jh, 7);
    const std::string jpeg = EncodeJpeg(picture, jw, jh);
    ASSERT_FALSE(jpeg.empty());
    const std::vector<uint32_t> expected = DecodeJpeg(jpeg);
    const std::string stripped = StripTables(jpeg);
    ASSERT_LT(stripped.size(), jpeg.size());
    for (const char* handler : {"MJPG", "mjpg"}) {
        Spec s;
        s.width = jw;
        s.height = jh;
        s.handler = handler;
        WriteFile(dir / "m.avi", BuildAvi(s, {jpeg, stripped, stripped + "x"}));
        Frames f = ReadAvi(dir / "m.avi", {2, 1, 0});
        ASSERT_TRUE(f.opened);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(f.frames[i], expected) << handler << " frame " << i;
    }
}

TEST(AviReader, RefusedHeadersAndFramesThatDoNotDecode) {
    TempDir dir;
    const int w = 4, h = 2;
    const std::string dib = Dib(Pixels(w, h, 1), w, h);
    Spec base;
    base.width = w;
    base.height = h;
    const std::string good = BuildAvi(base, {dib, dib});
    // Each case changes the good file; the open must fail.
    struct Refused {
        const char* name;
        std::string bytes;
    };
    auto patched = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    auto with = [&](auto change) {
        Spec s = base;
        change(s);
        return BuildAvi(s, {dib, dib});
    };
    const std::vector<Refused> refused = {
        {"wrong form", patched("AVI ", "WAVE")},
        {"avih size", patched("avih" + U32(56), "avih" + U32(52))},
        {"17 streams", patched(U32(0x10) + U32(2) + U32(0) + U32(1), U32(0x10) + U32(2) + U32(0) + U32(17))},
        {"no frames", patched(U32(0x10) + U32(2), U32(0x10) + U32(0))},
        {"mp3 audio", with([](Spec& s) {
             s.audio = true;
             s.audioTag = 0x55;
         })},
        {"mpeg-4 handler", with([](Spec& s) { s.handler = "XVID"; })},
        {"32-bit frames", with([](Spec& s) { s.bitCount = 32; })},
        {"format size differs", patched("strf" + U32(40) + U32(40) + U32(w), "strf" + U32(40) + U32(40) + U32(w + 1))},
        {"strf before strh", patched("strh", "junk")},
        {"nothing after movi", good.substr(0, good.find("idx1"))},
        {"idx1 cut short", good.substr(0, good.size() - 20)},
    };
    for (const Refused& c : refused) {
        WriteFile(dir / "r.avi", c.bytes);
        EXPECT_FALSE(ReadAvi(dir / "r.avi").opened) << c.name;
    }
    // Frames that do not decode leave the reader usable, whichever frame comes next: rows padded to four bytes, a chunk
    // that claims more than the file holds, an index entry past the data.
    WriteFile(dir / "p.avi", BuildAvi(base, {dib + "xx", dib}));
    Frames p = ReadAvi(dir / "p.avi");
    ASSERT_TRUE(p.opened);
    EXPECT_TRUE(p.frames[0].empty());
    EXPECT_EQ(p.frames[1].size(), (size_t)w * h);
    std::string lying = good;
    const size_t second = lying.find("00dc", lying.find("00dc") + 1);
    lying.replace(second + 4, 4, U32(0x7FFFFFF0));
    const size_t entry = lying.rfind("00dc");
    lying.replace(entry + 8, 4, U32(0x7FFFFF00));
    WriteFile(dir / "l.avi", lying);
    Frames l = ReadAvi(dir / "l.avi", {1, 0, 1});
    ASSERT_TRUE(l.opened);
    EXPECT_TRUE(l.frames[1].empty());
    EXPECT_EQ(l.frames[0].size(), (size_t)w * h);
}

TEST(AviReader, EveryCutAndSizeChangeOfAFileIsReadSafely) {
    TempDir dir;
    const int jw = 16, jh = 8;
    Spec s;
    s.width = jw;
    s.height = jh;
    s.handler = "MJPG";
    s.audio = true;
    const std::string jpeg = StripTables(EncodeJpeg(Pixels(jw, jh, 3), jw, jh));
    const std::string good = BuildAvi(s, {jpeg, jpeg});
    // Each prefix of the file, and the file with any one byte raised to 0xFF (sizes, lengths,
    // markers): the reader opens or refuses it and reads what it can; the sanitizers watch.
    int opened = 0;
    for (size_t cut = 0; cut <= good.size(); cut += 7) {
        WriteFile(dir / "c.avi", good.substr(0, cut));
        opened += ReadAvi(dir / "c.avi", {0, 1, 1, 0}).opened;
    }
    for (size_t at = 0; at < good.size(); at += at < 400 ? 1 : 3) {
        std::string bytes = good;
        bytes[at] = (char)0xFF;
        WriteFile(dir / "c.avi", bytes);
        opened += ReadAvi(dir / "c.avi", {1, 0}).opened;
    }
    EXPECT_GT(opened, 0);
}

TEST(AviWriter, WrittenFilesPlayInFfmpegAndTheReader) {
    TempDir dir;
    struct Case {
        int frames;
        int fps;
        uint64_t partLimit;  // small limits start continuation parts early
        int width;
    };
    // One frame; continuation parts every few frames; more frames than one index segment holds.
    // (The headers take 33 KB; each frame carries its share of silence.)
    for (const Case& c : {Case{1, 25, kAviFirstPartLimit, 40}, Case{9, 10, 40000, 33}, Case{2050, 24, 400000, 8}}) {
        SCOPED_TRACE(c.frames);
        const int w = c.width, h = 6;
        const std::string path = dir / ("w" + std::to_string(c.frames) + ".avi");
        qzAviWriter* writer = nullptr;
        ASSERT_EQ(OpenAviWriter(path.c_str(), c.fps, w, h, 90, "w.avi", c.partLimit, &writer), 0);
        std::vector<std::vector<uint32_t>> pictures;
        for (int i = 0; i < c.frames; ++i) {
            // Smooth gradients that move from frame to frame: JPEG keeps them close.
            std::vector<uint32_t> p((size_t)w * h);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x)
                    p[(size_t)y * w + x] = 0xFF000000u | (uint32_t)(x * 200 / w + i % 50) << 16 |
                                           (uint32_t)(y * 30 + 40) << 8 | (uint32_t)(128 + (i % 7) * 10);
            }
            pictures.push_back(p);
            ASSERT_EQ(WriteAviFrame(writer, pictures.back().data()), 0);
        }
        EXPECT_FALSE(Exists(path));  // nothing under the name before the file is complete
        ASSERT_EQ(FinishAviWriter(writer), 0);
        const std::string probe = Shell(
            "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
            "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" +
            path + "'");
        // The rate is one frame per whole microseconds: 24 frames a second are 1000000 / 41666.
        const int us = 1000000 / c.fps;
        const int common = std::gcd(1000000, us);
        EXPECT_EQ(probe, "mjpeg," + std::to_string(w) + ",6," + std::to_string(1000000 / common) + "/" +
                             std::to_string(us / common) + "," + std::to_string(c.frames) + "\n");
        Frames ours = ReadAvi(path, {c.frames - 1, 0});
        ASSERT_TRUE(ours.opened);
        ASSERT_EQ((int)ours.frames.size(), c.frames);
        if (c.frames > 100) continue;
        const auto theirs = FfmpegFrames(path, w, h);
        ASSERT_EQ((int)theirs.size(), c.frames);
        for (int i : {0, c.frames - 1}) {
            std::vector<uint32_t> opaque = pictures[i];
            for (uint32_t& p : opaque) p &= 0xFFFFFF;
            EXPECT_LE(MaxDiff(theirs[i], ours.frames[i]), 16) << i;
            EXPECT_LE(MaxDiff(theirs[i], opaque), 24) << i;
        }
    }
}

TEST(AviWriter, RefusedRatesAndFailedSaves) {
    TempDir dir;
    qzAviWriter* writer = nullptr;
    for (int fps : {0, -5, 1001})
        EXPECT_EQ(OpenAviWriter((dir / "r.avi").c_str(), fps, 8, 8, 90, "", kAviFirstPartLimit, &writer),
                  ERR_WRONGUSAGE);
    EXPECT_EQ(OpenAviWriter((dir / "missing/r.avi").c_str(), 25, 8, 8, 90, "", kAviFirstPartLimit, &writer),
              ERR_WRITEFILE);
    EXPECT_FALSE(Exists(dir / "r.avi"));
    // An abandoned file leaves what stood under the name before.
    WriteFile(dir / "old.avi", "old");
    ASSERT_EQ(OpenAviWriter((dir / "old.avi").c_str(), 25, 8, 8, 90, "", kAviFirstPartLimit, &writer), 0);
    std::vector<uint32_t> pixels(64, 0xFF808080);
    ASSERT_EQ(WriteAviFrame(writer, pixels.data()), 0);
    AbortAviWriter(writer);
    EXPECT_EQ(ReadFile(dir / "old.avi"), "old");
}

namespace {

bool gFailNext = false;
int FailOnce(size_t) {
    const bool fail = gFailNext;
    gFailNext = false;
    return fail ? 1 : 0;
}

}  // namespace

// A frame whose picture cannot be made for lack of memory leaves the file as if it had not been
// asked for, also when it would have opened a part's first index segment.
TEST(AviWriter, AFrameThatFailsLeavesNoTrace) {
    TempDir dir;
    const std::vector<uint32_t> red(64, 0xFFFF0000u), blue(64, 0xFF0000FFu);
    auto write = [&](const std::string& name, bool failing) {
        qzAviWriter* writer = nullptr;
        EXPECT_EQ(OpenAviWriter((dir / name).c_str(), 25, 8, 8, 90, "t", kAviFirstPartLimit, &writer), 0);
        if (failing) {
            OsSetAllocFailHook(FailOnce);
            gFailNext = true;
            EXPECT_EQ(WriteAviFrame(writer, red.data()), ERR_MEM);
            OsSetAllocFailHook(nullptr);
        }
        EXPECT_EQ(WriteAviFrame(writer, red.data()), 0);
        EXPECT_EQ(WriteAviFrame(writer, blue.data()), 0);
        EXPECT_EQ(FinishAviWriter(writer), 0);
        return ReadFile(dir / name);
    };
    const std::string plain = write("plain.avi", false);
    ASSERT_FALSE(plain.empty());
    EXPECT_TRUE(write("failed.avi", true) == plain);
}

}  // namespace avi_test
