// The GIF reader and writer: animations made by ImageMagick and gifsicle composed frame for frame
// as ImageMagick's -coalesce composes them, hand-built files for the cases no tool writes (broken
// code streams, frames off the screen, cut files), and written files read back by the reader,
// ImageMagick and gifsicle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/error_codes.h"
#include "image/gif_reader.h"
#include "image/gif_writer.h"
#include "image/image_test_util.h"
#include "platform/os_alloc.h"

namespace gif_test {

using namespace imgtest;

namespace {

// Every frame of a GIF as the reader composes it.
struct Anim {
    bool opened = false;
    int width = 0;
    int height = 0;
    int loop = -2;
    std::vector<std::vector<uint32_t>> frames;
    std::vector<uint32_t> delays;
    std::vector<int> pens;
};

// Frames in the given order (all in sequence when empty); a frame that fails stays empty.
Anim ReadAnim(const std::string& path, int loadTransparency = 1, std::vector<int> order = {}, int zeroCanvas = 0) {
    Anim a;
    qzVfsFile* file = OpenRead(path);
    if (!file) return a;
    int count = 0;
    qzGifReader* r = OpenGifAnim(file, &a.width, &a.height, &count, 0, zeroCanvas, loadTransparency);
    if (!r) return a;
    a.opened = true;
    a.loop = GetGifAnimLoopCount(r);
    a.frames.resize(count);
    a.pens.resize(count, -1);
    for (int i = 0; i < count; ++i) a.delays.push_back(GetGifAnimFrameDelay(r, i));
    if (order.empty()) {
        for (int i = 0; i < count; ++i) order.push_back(i);
    }
    for (int n : order) {
        uint32_t* pixels = LoadGifAnimFrame(r, n, &a.pens[n]);
        if (!pixels) continue;
        a.frames[n].assign(pixels, pixels + (size_t)a.width * a.height);
        OsFree(pixels);
    }
    CloseGifAnim(r);
    return a;
}

Anim ReadBytes(const TempDir& dir, const std::string& bytes, int loadTransparency = 1) {
    WriteFile(dir / "t.gif", bytes);
    return ReadAnim(dir / "t.gif", loadTransparency);
}

// ImageMagick's coalesced frames as 0xAARRGGBB words.
std::vector<std::vector<uint32_t>> Coalesce(const std::string& path, int width, int height) {
    Shell("convert '" + path + "' -coalesce -depth 8 'rgba:" + path + ".rgba'");
    const std::string raw = ReadFile(path + ".rgba");
    const size_t frameBytes = (size_t)width * height * 4;
    std::vector<std::vector<uint32_t>> frames;
    for (size_t at = 0; frameBytes && at + frameBytes <= raw.size(); at += frameBytes) {
        std::vector<uint32_t> f;
        for (size_t i = at; i < at + frameBytes; i += 4) {
            auto b = [&](size_t k) { return (uint32_t)(uint8_t)raw[i + k]; };
            f.push_back(b(3) << 24 | b(0) << 16 | b(1) << 8 | b(2));
        }
        frames.push_back(f);
    }
    return frames;
}

// Equal where ImageMagick shows a colour; clear (alpha 0) where it shows nothing.
std::string FrameDiff(const std::vector<uint32_t>& ours, const std::vector<uint32_t>& theirs, int width) {
    if (ours.size() != theirs.size())
        return "size " + std::to_string(ours.size()) + " != " + std::to_string(theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        const bool clear = (theirs[i] >> 24) == 0;
        if (clear ? (ours[i] >> 24) == 0 : ours[i] == (theirs[i] | 0xFF000000u)) continue;
        char text[96];
        std::snprintf(text, sizeof(text), "pixel %d,%d: %08x, expected %08x", (int)(i % width), (int)(i / width),
                      ours[i], theirs[i]);
        return text;
    }
    return "";
}

int GifsicleLoop(const std::string& path) {
    const std::string info = Shell("gifsicle --info '" + path + "'");
    if (info.find("loop forever") != std::string::npos) return 0;
    const size_t at = info.find("loop count ");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 11);
}

std::vector<uint32_t> MagickDelays(const std::string& path) {
    std::vector<uint32_t> delays;
    const std::string text = Shell("identify -format '%T ' '" + path + "'");
    for (const char* p = text.c_str(); *p;) {
        char* end;
        const long v = std::strtol(p, &end, 10);
        if (end == p) break;
        delays.push_back((uint32_t)v * 10);
        p = end;
    }
    return delays;
}

// Checks every frame against ImageMagick, read in order and again from the last frame back (every
// frame then restarts at a key frame or at the beginning).
void ExpectLikeMagick(const std::string& path) {
    SCOPED_TRACE(path);
    const Anim a = ReadAnim(path);
    ASSERT_TRUE(a.opened);
    const auto theirs = Coalesce(path, a.width, a.height);
    ASSERT_EQ(a.frames.size(), theirs.size());
    ASSERT_GT(theirs.size(), 0u);
    for (size_t i = 0; i < theirs.size(); ++i)
        EXPECT_EQ(FrameDiff(a.frames[i], theirs[i], a.width), "") << "frame " << i;
    EXPECT_EQ(a.delays, MagickDelays(path));
    EXPECT_EQ(a.loop, GifsicleLoop(path));
    std::vector<int> backwards;
    for (int i = (int)theirs.size() - 1; i >= 0; --i) backwards.push_back(i);
    const Anim b = ReadAnim(path, 1, backwards);
    EXPECT_EQ(b.frames, a.frames);
}

// --- Hand-built files ---

std::string U16(int v) { return std::string{(char)(v & 0xFF), (char)((v >> 8) & 0xFF)}; }

std::string Table(const std::vector<uint32_t>& colours, int entries) {
    std::string t;
    for (int i = 0; i < entries; ++i) {
        const uint32_t c = i < (int)colours.size() ? colours[i] : 0;
        t += {(char)(c >> 16), (char)(c >> 8), (char)c};
    }
    return t;
}

// Header, logical screen and a global table of 4 entries.
std::string Screen(int width, int height, const std::vector<uint32_t>& colours, int background = 0,
                   const char* signature = "GIF89a") {
    return std::string(signature, 6) + U16(width) + U16(height) + "\xF1" + (char)background + '\0' + Table(colours, 4);
}

std::string Control(int packed, int delay, int transparent) {
    return std::string("\x21\xF9\x04", 3) + (char)packed + U16(delay) + (char)transparent + '\0';
}

// LZW codes of plain characters only (no strings), which every decoder must take. clearWhenFull:
// a clear code when the table is full; without it the stream goes on at 12 bits.
std::string Codes(const std::vector<uint8_t>& pixels, int minSize, bool clearWhenFull = true,
                  std::vector<std::pair<size_t, int>> extra = {}) {
    std::string out;
    uint32_t acc = 0;
    int n = 0;
    const int clear = 1 << minSize;
    int width = minSize + 1, next = clear + 2;
    bool first = true;
    auto put = [&](int code) {
        acc |= (uint32_t)code << n;
        n += width;
        while (n >= 8) {
            out += (char)(acc & 0xFF);
            acc >>= 8;
            n -= 8;
        }
    };
    put(clear);
    for (size_t i = 0; i < pixels.size(); ++i) {
        for (auto& e : extra) {
            if (e.first == i) put(e.second);
        }
        if (!first && next == 4096 && clearWhenFull) {
            put(clear);
            width = minSize + 1;
            next = clear + 2;
            first = true;
        }
        put(pixels[i]);
        if (first) {
            first = false;
        } else if (next < 4096) {
            ++next;
            if (next == (1 << width) && width < 12) ++width;
        }
    }
    put(clear + 1);
    if (n > 0) out += (char)(acc & 0xFF);
    return out;
}

std::string SubBlocks(const std::string& data) {
    std::string out;
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t size = std::min<size_t>(255, data.size() - at);
        out += (char)size + data.substr(at, size);
    }
    return out + '\0';
}

std::string Image(int left, int top, int width, int height, const std::vector<uint8_t>& pixels, int packed = 0,
                  const std::string& localTable = "") {
    return "\x2C" + U16(left) + U16(top) + U16(width) + U16(height) + (char)packed + localTable + "\x02" +
           SubBlocks(Codes(pixels, 2));
}

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kGrey = 0x808080;
constexpr uint32_t kOn = 0xFF000000u;

}  // namespace

TEST(GifReader, AnimationsFromImageMagickAndGifsicleComposeAsCoalesce) {
    TempDir dir;
    // Every disposal method, local colour tables, frames smaller than the screen, transparency.
    const std::string kinds = dir / "kinds.gif";
    Shell(
        "convert -delay 7 -dispose None -size 10x8 xc:red -dispose Background -page 10x8+2+1 -size 4x3 xc:blue "
        "-dispose Previous -page 10x8+5+4 -size 3x3 xc:lime -dispose None -page 10x8+1+1 -size 5x4 xc:none "
        "-fill yellow -draw 'point 1,1' -dispose None -page 10x8+0+0 -size 2x2 xc:white -loop 3 '" +
        kinds + "'");
    // The same interlaced, with its own loop count and every frame after the first disposed to the
    // previous picture.
    Shell("gifsicle -i --loopcount=5 '" + kinds + "' '#0' --disposal=previous '#1-' -o '" + (dir / "interlaced.gif") +
          "'");
    // The first frame with a transparent colour, disposed to the background.
    Shell(
        "convert -dispose Background -delay 3 -size 6x5 xc:none -fill red -draw 'point 2,2' -dispose None "
        "-page 6x5+1+1 -size 3x3 xc:blue '" +
        (dir / "clearfirst.gif") + "'");
    // Many colours per frame, optimised by ImageMagick and by gifsicle into rectangles over the
    // previous picture with transparency.
    const std::string moving = dir / "moving.gif";
    Shell(
        "convert -delay 10 -size 48x36 gradient:red-blue '(' +clone -fill yellow -draw 'rectangle 5,5 15,12' ')' "
        "'(' +clone -fill green -draw 'circle 20,15 25,18' ')' '(' -clone 0 -noise 3 ')' "
        "'(' -clone 1 -fill black -draw 'line 0,0 47,35' ')' -loop 0 '" +
        moving + "'");
    Shell("convert '" + moving + "' -layers Optimize '" + (dir / "magick-opt.gif") + "'");
    Shell("gifsicle -O3 --colors 64 '" + moving + "' -o '" + (dir / "gifsicle-opt.gif") + "'");
    Shell("gifsicle -O2 -i --no-loopcount '" + moving + "' -o '" + (dir / "gifsicle-i.gif") + "'");
    for (const char* name : {"kinds.gif", "interlaced.gif", "clearfirst.gif", "moving.gif", "magick-opt.gif",
                             "gifsicle-opt.gif", "gifsicle-i.gif"}) {
        ExpectLikeMagick(dir / name);
        // Frames composed on the reader's canvas, forwards with each asked twice, then backwards,
        // equal the copies handed out in sequence.
        const Anim copies = ReadAnim(dir / name);
        qzGifReader* r = OpenGifAnim(OpenRead(dir / name), nullptr, nullptr, nullptr, 0, 0, 1);
        ASSERT_NE(r, nullptr) << name;
        const int count = (int)copies.frames.size();
        std::vector<int> order;
        for (int n = 0; n < count; ++n) order.insert(order.end(), {n, n});
        for (int n = count - 1; n >= 0; --n) order.push_back(n);
        for (int n : order) {
            int pen = -1;
            const uint32_t* canvas = ComposeGifAnimFrame(r, n, &pen);
            ASSERT_NE(canvas, nullptr) << name << " frame " << n;
            EXPECT_EQ(std::vector<uint32_t>(canvas, canvas + (size_t)copies.width * copies.height), copies.frames[n])
                << name << " frame " << n;
            EXPECT_EQ(pen, copies.pens[n]) << name << " frame " << n;
        }
        CloseGifAnim(r);
    }
    const Anim interlaced = ReadAnim(dir / "interlaced.gif");
    EXPECT_EQ(interlaced.loop, 5);
    EXPECT_EQ(interlaced.delays[0], 70u);
}

TEST(GifReader, SignaturesScreenAndTransparency) {
    TempDir dir;
    const std::vector<uint32_t> colours = {kRed, kGreen, kBlue, kGrey};
    const std::string frames = Image(1, 1, 2, 1, {1, 2}) + Control(0x09, 7, 3) + Image(0, 0, 2, 1, {3, 0}) + "\x3B";
    struct Case {
        const char* signature;
        bool opens;
    };
    for (const Case& c : std::vector<Case>{{"GIF87a", true},
                                           {"GIF89a", true},
                                           {"GIF89z", true},
                                           {"GIF90a", false},
                                           {"GIF88a", false},
                                           {"BIF89a", false}}) {
        EXPECT_EQ(ReadBytes(dir, Screen(4, 3, colours, 3, c.signature) + frames).opened, c.opens) << c.signature;
    }
    const Anim a = ReadBytes(dir, Screen(4, 3, colours, 3) + frames);
    ASSERT_EQ(a.frames.size(), 2u);
    EXPECT_EQ(a.loop, -1);
    EXPECT_EQ(a.delays, (std::vector<uint32_t>{0, 70}));
    // Pixels outside every frame keep the background colour with alpha 0; the transparent
    // index leaves what lay below.
    const uint32_t bg = kGrey;
    EXPECT_EQ(a.frames[0], (std::vector<uint32_t>{bg, bg, bg, bg, bg, kOn | kGreen, kOn | kBlue, bg, bg, bg, bg, bg}));
    EXPECT_EQ(a.frames[1][0], bg);
    EXPECT_EQ(a.frames[1][1], kOn | kRed);
    EXPECT_EQ(a.pens, (std::vector<int>{0, 1}));
    EXPECT_EQ(ReadBytes(dir, Screen(4, 3, colours, 3) + frames, 0).pens, (std::vector<int>{0, 0}));
    // zeroCanvas with transparency starts from 0 instead of the background colour.
    WriteFile(dir / "z.gif", Screen(4, 3, colours, 3) + frames);
    EXPECT_EQ(ReadAnim(dir / "z.gif", 1, {1, 0}, 1).frames[0][0], 0u);
    // An empty file of images opens with no frames; the info mode gives the size only.
    EXPECT_TRUE(ReadBytes(dir, Screen(4, 3, colours) + "\x3B").opened);
    EXPECT_EQ(ReadBytes(dir, Screen(4, 3, colours) + "\x3B").frames.size(), 0u);
    int width = 0, height = 0, count = -5;
    EXPECT_EQ(OpenGifAnim(OpenRead(dir / "t.gif"), &width, &height, &count, 1, 0, 0), nullptr);
    EXPECT_EQ(width * 10 + height, 43);
    EXPECT_EQ(count, -5);
}

TEST(GifReader, DisposalOnHandBuiltFrames) {
    TempDir dir;
    const std::vector<uint32_t> colours = {kRed, kGreen, kBlue, kGrey};
    const std::string screen = Screen(3, 1, colours, 3);
    const std::string base = Image(0, 0, 3, 1, {0, 0, 0});
    const std::string top = Image(1, 0, 1, 1, {1});
    const std::string last = Image(2, 0, 1, 1, {2}) + "\x3B";
    struct Case {
        const char* what;
        std::string control;  // of the middle frame
        uint32_t middle;      // pixel 1 of the last frame
    };
    const uint32_t R = kOn | kRed;
    for (const Case& c : std::vector<Case>{
             {"none", Control(0x00, 0, 0), kOn | kGreen},
             {"keep", Control(0x04, 0, 0), kOn | kGreen},
             {"background", Control(0x08, 0, 0), kGrey},
             {"background, transparent colour", Control(0x09, 0, 2), kBlue},
             {"previous", Control(0x0C, 0, 0), R},
             {"reserved bits: no disposal", Control(0xE8, 0, 0), kOn | kGreen},
         }) {
        const Anim a = ReadBytes(dir, screen + base + c.control + top + last);
        ASSERT_EQ(a.frames.size(), 3u) << c.what;
        EXPECT_EQ(a.frames[1], (std::vector<uint32_t>{R, kOn | kGreen, R})) << c.what;
        EXPECT_EQ(a.frames[2], (std::vector<uint32_t>{R, c.middle, kOn | kBlue})) << c.what;
    }
    // A first frame with a transparent colour and disposal 2 clears the whole screen to that
    // colour before it is drawn.
    const Anim first = ReadBytes(dir, screen + Control(0x09, 0, 1) + Image(0, 0, 2, 1, {0, 1}) + "\x3B");
    EXPECT_EQ(first.frames[0], (std::vector<uint32_t>{R, kGreen, kGreen}));
}

TEST(GifReader, LocalTablesInterlacingAndFramesOffTheScreen) {
    TempDir dir;
    const std::vector<uint32_t> colours = {kRed, kGreen, kBlue, kGrey};
    const uint32_t R = kOn | kRed, G = kOn | kGreen, B = kOn | kBlue, bg = kRed;
    // A local table of 2 entries for one frame; the next frame is back on the global table.
    const std::string local = Table({kBlue, kGreen}, 2);
    // Interlaced rows of a 1 x 5 frame arrive as 0, 4, 2, 1, 3.
    const std::string s = Screen(3, 5, colours) + Image(0, 0, 1, 5, {0, 1, 2, 3, 0}, 0x40) +
                          Image(1, 0, 1, 2, {0, 1}, 0x80, local) + Image(2, 0, 1, 1, {2}) +
                          // Frames reaching past the screen are clipped, their disposal too.
                          Control(0x08, 0, 0) + Image(2, 3, 4, 3, std::vector<uint8_t>(12, 1)) + Control(0x0C, 0, 0) +
                          Image(65530, 65530, 3, 2, std::vector<uint8_t>(6, 2)) + "\x3B";
    const Anim a = ReadBytes(dir, s);
    ASSERT_EQ(a.frames.size(), 5u);
    const uint32_t G4 = kOn | kGrey;
    EXPECT_EQ(a.frames[0], (std::vector<uint32_t>{R, bg, bg, G4, bg, bg, B, bg, bg, R, bg, bg, G, bg, bg}));
    EXPECT_EQ(a.frames[1][1], B);
    EXPECT_EQ(a.frames[1][4], G);
    EXPECT_EQ(a.frames[2][2], B);
    EXPECT_EQ(a.frames[3][3 * 3 + 2], G);
    EXPECT_EQ(a.frames[3][4 * 3 + 2], G);
    EXPECT_EQ(a.frames[4][3 * 3 + 2], bg);  // disposed to the background
    EXPECT_EQ(a.frames[4][2], B);
    // A frame of the screen's size off its corner does not cover the screen: reading frame 1
    // after frame 2 restarts at frame 0.
    WriteFile(dir / "k.gif", Screen(3, 1, colours) + Image(0, 0, 3, 1, {0, 0, 0}) + Control(0x08, 0, 0) +
                                 Image(1, 0, 3, 1, {1, 1, 1}) + Image(0, 0, 1, 1, {2}) + "\x3B");
    const Anim k = ReadAnim(dir / "k.gif", 1, {2, 1});
    EXPECT_EQ(k.frames[2], (std::vector<uint32_t>{B, bg, bg}));
    EXPECT_EQ(k.frames[1], (std::vector<uint32_t>{R, G, G}));
}

TEST(GifReader, BrokenCodeStreamsAndCutFiles) {
    TempDir dir;
    const std::vector<uint32_t> colours = {kRed, kGreen, kBlue, kGrey};
    // 4200 single-pixel codes fill the table; the stream must clear it before going on.
    std::vector<uint8_t> many(70 * 60);
    for (size_t i = 0; i < many.size(); ++i) many[i] = (uint8_t)(i * 7 % 4);
    auto frame = [&](const std::string& codes) {
        return Screen(70, 60, colours) + "\x2C" + U16(0) + U16(0) + U16(70) + U16(60) + '\0' + "\x02" +
               SubBlocks(codes) + "\x3B";
    };
    const Anim cleared = ReadBytes(dir, frame(Codes(many, 2, true)));
    ASSERT_EQ(cleared.frames.size(), 1u);
    for (size_t i = 0; i < many.size(); ++i) ASSERT_EQ(cleared.frames[0][i], kOn | colours[many[i]]) << i;
    EXPECT_FALSE(ReadBytes(dir, frame(Codes(many, 2, false))).opened);
    // A code past the next free one, a code right after a clear that names no character, a
    // stream that ends before the last row, a minimum code size above 8.
    const std::vector<uint8_t> six = {1, 2, 3, 0, 1, 2};
    auto small = [&](const std::string& codes, int minSize = 2) {
        return Screen(3, 2, colours) + "\x2C" + U16(0) + U16(0) + U16(3) + U16(2) + '\0' + (char)minSize +
               SubBlocks(codes) + "\x3B";
    };
    EXPECT_TRUE(ReadBytes(dir, small(Codes(six, 2))).opened);
    EXPECT_FALSE(ReadBytes(dir, small(Codes(six, 2, true, {{3, 9}}))).opened);
    EXPECT_FALSE(ReadBytes(dir, small(Codes(six, 2, true, {{0, 6}}))).opened);
    EXPECT_FALSE(ReadBytes(dir, small(Codes(six, 2, true, {{4, 5}}))).opened);
    EXPECT_FALSE(ReadBytes(dir, small(Codes(six, 2), 9)).opened);
    // Data left after the last pixel (the end code, padding) is passed over by its sub-block
    // sizes, whatever its bytes look like.
    const std::string padded = Screen(2, 1, colours) + Image(0, 0, 2, 1, {0, 1});
    const std::string withJunk =
        padded.substr(0, padded.size() - 1) + "\x03\x3B\x2C\x21" + '\0' + Image(0, 0, 1, 1, {2}) + "\x3B";
    const Anim junk = ReadBytes(dir, withJunk);
    ASSERT_EQ(junk.frames.size(), 2u);
    EXPECT_EQ(junk.frames[1][0], kOn | kBlue);

    // Every cut of a two-frame file opens with the frames that are whole, or not at all.
    const std::string whole = Screen(2, 1, colours) + Control(0x04, 5, 0) + Image(0, 0, 2, 1, {0, 1}) +
                              std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x02\x00\x00", 19) +
                              Image(0, 0, 2, 1, {2, 3}) + "\x3B";
    const size_t firstEnd =
        Screen(2, 1, colours).size() + Control(0x04, 5, 0).size() + Image(0, 0, 2, 1, {0, 1}).size();
    const size_t screenEnd = Screen(2, 1, colours).size();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const Anim a = ReadBytes(dir, whole.substr(0, cut));
        for (const auto& f : a.frames) EXPECT_EQ(f.size(), 2u) << cut;
        // Whole blocks end the walk; a block cut inside fails, except the image data's
        // terminator after the last pixel.
        int expected = -1;  // not opened
        if (cut == screenEnd || cut == screenEnd + 8) expected = 0;
        if (cut == firstEnd - 1 || cut == firstEnd || cut == firstEnd + 19) expected = 1;
        if (cut >= whole.size() - 2) expected = 2;
        EXPECT_EQ(a.opened ? (int)a.frames.size() : -1, expected) << cut;
    }
    EXPECT_EQ(ReadBytes(dir, whole).loop, 2);
}

namespace {

struct WrittenFrame {
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> palette;
    int delay = 0;
    int transparent = -1;
};

int WriteAnim(const std::string& path, int width, int height, const std::vector<WrittenFrame>& frames, int optimise,
              int loop = 0) {
    qzGifWriter* w = nullptr;
    int rc = BeginGifWriter(path.c_str(), width, height, loop, &w);
    if (rc) return rc;
    for (const WrittenFrame& f : frames) {
        rc = WriteGifFrame(w, f.pixels.data(), width, height, f.delay, f.palette.data(), (int)f.palette.size(),
                           f.transparent, optimise, 1);
        if (rc) {
            AbortGifWriter(w);
            return rc;
        }
    }
    return FinishGifWriter(w);
}

// What a viewer shows for a frame written whole with no transparent colour.
std::vector<uint32_t> Shown(const WrittenFrame& f) {
    std::vector<uint32_t> out;
    for (uint8_t p : f.pixels) out.push_back(kOn | f.palette[p]);
    return out;
}

}  // namespace

TEST(GifWriter, FramesReadBackByTheReaderImageMagickAndGifsicle) {
    TempDir dir;
    const int W = 40, H = 30;
    std::vector<WrittenFrame> frames;
    uint32_t state = 5;
    auto noise = [&] { return state = state * 1664525u + 1013904223u, state >> 24; };
    // A 256-colour noisy frame (codes up to 12 bits, clear codes), then frames that change a
    // little on other palettes, one that does not change, and one whose changed pixels use the
    // palette's last colour.
    WrittenFrame f0;
    for (int i = 0; i < 256; ++i) f0.palette.push_back((uint32_t)i * 0x010305u & 0xFFFFFF);
    for (int i = 0; i < W * H; ++i) f0.pixels.push_back((uint8_t)noise());
    f0.delay = 95;
    frames.push_back(f0);
    WrittenFrame f1 = f0;
    std::reverse(f1.palette.begin(), f1.palette.end());
    for (uint8_t& p : f1.pixels) p = (uint8_t)(255 - p);
    for (int x = 3; x < 9; ++x) f1.pixels[10 * W + x] = 7;
    frames.push_back(f1);
    WrittenFrame f2 = f1;
    frames.push_back(f2);
    WrittenFrame f3;
    f3.palette = {kRed, kGreen, kBlue};
    f3.pixels.assign(W * H, 0);
    frames.push_back(f3);
    WrittenFrame f4;
    f4.palette = {kGreen, kRed, kBlue};
    f4.pixels.assign(W * H, 1);
    f4.pixels[5 * W + 5] = 2;
    f4.pixels[6 * W + 30] = 0;
    f4.delay = 40;
    frames.push_back(f4);
    // The previous picture is kept as colours: outside the last rectangle it holds what older
    // frames drew on other palettes.
    WrittenFrame f5;
    f5.palette = {kBlue, kGreen, kRed};
    f5.pixels.assign(W * H, 2);
    f5.pixels[5 * W + 5] = 0;
    f5.pixels[6 * W + 30] = 0;
    f5.pixels[0] = 1;
    frames.push_back(f5);

    for (int optimise : {0, 1}) {
        SCOPED_TRACE(optimise);
        const std::string path = dir / ("w" + std::to_string(optimise) + ".gif");
        ASSERT_EQ(WriteAnim(path, W, H, frames, optimise), 0);
        const Anim a = ReadAnim(path);
        ASSERT_EQ(a.frames.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(FrameDiff(a.frames[i], Shown(frames[i]), W), "") << i;
        EXPECT_EQ(a.delays, (std::vector<uint32_t>{90, 90, 90, 0, 40, 0}));
        EXPECT_EQ(a.loop, 0);
        const auto theirs = Coalesce(path, W, H);
        ASSERT_EQ(theirs.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(FrameDiff(Shown(frames[i]), theirs[i], W), "") << i;
        // gifsicle reads it without complaint, and its interlaced copy (every frame decoded and
        // encoded again) shows the same frames, to ImageMagick and to the reader.
        EXPECT_EQ(Shell("gifsicle --info '" + path + "' 2>&1 >/dev/null"), "");
        Shell("gifsicle -i --no-warnings '" + path + "' -o '" + path + ".again.gif'");
        const auto again = Coalesce(path + ".again.gif", W, H);
        ASSERT_EQ(again.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(FrameDiff(Shown(frames[i]), again[i], W), "") << i;
        const Anim interlaced = ReadAnim(path + ".again.gif");
        EXPECT_EQ(interlaced.frames, a.frames);
    }
    // With optimisation the unchanged frame is a 2 x 1 rectangle at (0, 0) of the transparent
    // index, and the small changes are small rectangles.
    const std::string info = Shell("gifsicle --info '" + (dir / "w1.gif") + "'");
    EXPECT_NE(info.find("+ image #2 2x1 transparent"), std::string::npos) << info;
    EXPECT_NE(info.find("+ image #4 26x2 at 5,5"), std::string::npos) << info;
}

TEST(GifWriter, BytesOfTheFile) {
    TempDir dir;
    WrittenFrame two;
    two.palette = {kRed, kBlue};
    two.pixels = {0, 1, 1, 0};
    two.delay = 95;
    WrittenFrame many = two;
    many.palette.resize(200, kGreen);
    WrittenFrame keyed = two;
    keyed.transparent = 1;
    const std::string path = dir / "b.gif";
    ASSERT_EQ(WriteAnim(path, 2, 2, {two, many, keyed, two}, 1, 3), 0);
    const std::string b = ReadFile(path);
    EXPECT_EQ(b.substr(0, 13), std::string("GIF89a\x02\x00\x02\x00\xF7\x00\x00", 13));
    EXPECT_EQ(b.substr(13, 13), "Quarnelix 6!" + std::string(1, '\0'));
    EXPECT_EQ(b.substr(26, 755), std::string(755, '\0'));
    size_t at = 781;
    // Frame 0: disposal 1, no transparency, delay 9; the loop block; 2 colours: bits 1, code
    // size 2.
    EXPECT_EQ(b.substr(at, 8), std::string("\x21\xF9\x04\x04\x09\x00\x01\x00", 8));
    EXPECT_EQ(b.substr(at + 8, 19), std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x03\x00\x00", 19));
    at += 27;
    EXPECT_EQ(b.substr(at, 10), std::string("\x2C\0\0\0\0\x02\0\x02\0\x80", 10));
    EXPECT_EQ(b.substr(at + 10, 7), std::string("\xFF\0\0\0\0\xFF\x02", 7));
    // Only the first frame carries the loop block.
    EXPECT_EQ(b.find("NETSCAPE", at), std::string::npos);
    const std::string info = Shell("gifsicle --cinfo '" + path + "'");
    EXPECT_NE(info.find("image #1 2x1 transparent"), std::string::npos) << info;
    EXPECT_NE(info.find("local color table [256]"), std::string::npos) << info;
    EXPECT_NE(info.find("image #2 2x2 transparent 1\n    local color table [2]"), std::string::npos) << info;
    EXPECT_NE(info.find("disposal background"), std::string::npos) << info;
    // After a frame disposed to the background the next is written whole again.
    EXPECT_NE(info.find("image #3 2x2\n"), std::string::npos) << info;
    EXPECT_NE(info.find("loop count 3"), std::string::npos) << info;
    // A one-frame file, one pixel wide: the loop block and an unchanged frame of one pixel.
    WrittenFrame thin;
    thin.palette = {kGrey};
    thin.pixels = {0, 0};
    ASSERT_EQ(WriteAnim(path, 1, 2, {thin, thin}, 1), 0);
    const Anim a = ReadAnim(path);
    ASSERT_EQ(a.frames.size(), 2u);
    EXPECT_EQ(a.frames[1], (std::vector<uint32_t>{kOn | kGrey, kOn | kGrey}));
    EXPECT_NE(ReadFile(path).find("NETSCAPE2.0"), std::string::npos);
    // A transparent index past the colours given still marks its pixels.
    WrittenFrame past;
    past.palette = {kRed, kGreen, kBlue};
    past.pixels = {0, 5, 1, 5};
    past.transparent = 5;
    ASSERT_EQ(WriteAnim(path, 2, 2, {past}, 0), 0);
    const Anim p = ReadAnim(path);
    ASSERT_EQ(p.frames.size(), 1u);
    EXPECT_EQ(p.frames[0][0], kOn | kRed);
    EXPECT_EQ(p.frames[0][1] >> 24, 0u);
    EXPECT_EQ(p.frames[0][2], kOn | kGreen);
    EXPECT_EQ(p.frames[0][3] >> 24, 0u);
}

TEST(GifWriter, FailedSavesLeaveNoFile) {
    TempDir dir;
    WrittenFrame f;
    f.palette = {kRed, kBlue};
    f.pixels.assign(64 * 64, 1);
    const std::string target = dir / "keep.gif";
    WriteFile(target, "old");
    qzGifWriter* w = nullptr;
    EXPECT_EQ(BeginGifWriter((dir / "no/such/x.gif").c_str(), 64, 64, 0, &w), ERR_WRITEFILE);
    EXPECT_EQ(w, nullptr);
    // Abandoned after a frame: the target is untouched and nothing is left beside it.
    ASSERT_EQ(BeginGifWriter(target.c_str(), 64, 64, 0, &w), 0);
    ASSERT_EQ(WriteGifFrame(w, f.pixels.data(), 64, 64, 0, f.palette.data(), 2, -1, 0, 0), 0);
    AbortGifWriter(w);
    EXPECT_EQ(ReadFile(target), "old");
    // Memory running out in the encoder.
    ASSERT_EQ(BeginGifWriter(target.c_str(), 64, 64, 0, &w), 0);
    OsSetAllocFailHook([](size_t size) { return size > 24000 && size < 26000 ? 1 : 0; });
    const int rc = WriteGifFrame(w, f.pixels.data(), 64, 64, 0, f.palette.data(), 2, -1, 0, 0);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(rc, ERR_MEM);
    // Finishing a writer whose frame is incomplete reports the error and keeps nothing.
    EXPECT_EQ(FinishGifWriter(w), ERR_MEM);
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(SaveGifImage((dir / "no/such/y.gif").c_str(), f.pixels.data(), 64, 64, f.palette.data(), 2, -1),
              ERR_WRITEFILE);
    EXPECT_EQ(Shell("ls '" + dir.path() + "'"), "keep.gif\n");
    ASSERT_EQ(SaveGifImage(target.c_str(), f.pixels.data(), 64, 64, f.palette.data(), 2, -1), 0);
    EXPECT_EQ(ReadAnim(target).frames.size(), 1u);
}

namespace {

int gAllocationsLeft = -1;
int FailAfterCount(size_t) { return gAllocationsLeft >= 0 && gAllocationsLeft-- == 0 ? 1 : 0; }

}  // namespace

// Every allocation of the reader and the writer failing in turn: a clean failure, no leak, no
// file left behind.
TEST(GifReader, RunningOutOfMemoryAnywhere) {
    TempDir dir;
    Shell("convert -delay 7 -size 6x4 xc:red -dispose Previous -page 6x4+1+1 -size 2x2 xc:blue '" + (dir / "a.gif") +
          "'");
    const Anim whole = ReadAnim(dir / "a.gif");
    ASSERT_EQ(whole.frames.size(), 2u);
    WrittenFrame f;
    f.palette = {kRed, kBlue};
    f.pixels = {0, 1, 1, 0, 1, 1};
    bool readerFinished = false, writerFinished = false;
    for (int n = 0; n < 200 && !(readerFinished && writerFinished); ++n) {
        OsSetAllocFailHook(FailAfterCount);
        gAllocationsLeft = n;
        const Anim a = ReadAnim(dir / "a.gif");
        gAllocationsLeft = n;
        const int rc = WriteAnim(dir / "w.gif", 3, 2, {f, f, f}, 1);
        gAllocationsLeft = -1;
        OsSetAllocFailHook(nullptr);
        if (a.opened && a.frames == whole.frames) readerFinished = true;
        if (rc == 0) {
            writerFinished = true;
            EXPECT_EQ(ReadAnim(dir / "w.gif").frames.size(), 3u);
        } else {
            EXPECT_TRUE(rc == ERR_MEM || rc == ERR_WRITEFILE) << n << " " << rc;
            EXPECT_FALSE(Exists(dir / "w.gif")) << n;
        }
    }
    EXPECT_TRUE(readerFinished);
    EXPECT_TRUE(writerFinished);
    EXPECT_EQ(Shell("ls '" + dir.path() + "'"), "a.gif\nw.gif\n");
}

}  // namespace gif_test
