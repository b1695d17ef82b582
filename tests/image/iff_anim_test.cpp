// The IFF ANIM reader: animations written here from the format, one per delta mode, read back
// frame for frame against the frames they were built from, in order and out of it; palettes,
// delays and loop frames; files that lie about their chunks or write outside the picture.
#include <gtest/gtest.h>

#include <algorithm>

#include "anim/anim_source.h"
#include "anim/iff_anim.h"
#include "image/image_test_util.h"
#include "platform/os_alloc.h"

namespace iff_anim_test {

using namespace imgtest;

namespace {

using Frame = std::vector<uint8_t>;  // width x height colour indices

// What the test files look like: the delta operation and its flags, and the picture's size and depth.
struct AnimForm {
    int op = 5;
    bool longData = false;     // ANHD bit 0 (operations 7 and 8)
    bool exclusiveOr = false;  // operation 5 against the previous frame, interleave 1
    int width = 64;
    int height = 20;
    int planes = 3;
};

// One plane of a frame as plane rows.
std::string Planes(const Frame& f, int width, int height, int plane) {
    const int rowBytes = ((width + 15) >> 4) * 2;
    std::string out(static_cast<size_t>(rowBytes) * height, '\0');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (f[static_cast<size_t>(y) * width + x] >> plane & 1)
                out[static_cast<size_t>(y) * rowBytes + (x >> 3)] |= static_cast<char>(0x80 >> (x & 7));
    return out;
}

uint32_t Unit(const std::string& plane, size_t at, int unit) {
    uint32_t v = 0;
    for (int i = 0; i < unit; ++i) v = v << 8 | static_cast<uint8_t>(plane[at + i]);
    return v;
}

void Put(std::string& s, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i) & 0xFF);
}

// A column's change as ops: skip n rows, n literal values, or one value repeated n rows.
struct Op {
    char kind;  // 's', 'l', 'r'
    std::vector<uint32_t> values;
    uint32_t count;
};

std::vector<Op> ColumnOps(const std::vector<uint32_t>& old, const std::vector<uint32_t>& now, uint32_t maxCount) {
    std::vector<Op> ops;
    size_t i = 0;
    while (i < now.size()) {
        size_t j = i;
        if (old[i] == now[i]) {
            while (j < now.size() && old[j] == now[j] && j - i < maxCount) ++j;
            if (j == now.size()) break;  // no trailing skip
            ops.push_back({'s', {}, static_cast<uint32_t>(j - i)});
        } else {
            while (j < now.size() && now[j] == now[i] && j - i < maxCount) ++j;
            if (j - i >= 3) {
                ops.push_back({'r', {now[i]}, static_cast<uint32_t>(j - i)});
            } else {
                j = i;
                Op lit{'l', {}, 0};
                while (j < now.size() && old[j] != now[j] && j - i < maxCount) lit.values.push_back(now[j++]);
                lit.count = static_cast<uint32_t>(lit.values.size());
                ops.push_back(lit);
            }
        }
        i = j;
    }
    return ops;
}

// The DLTA data that turns `base` into `next`, each plane coded by the form's delta operation.
std::string Delta(const AnimForm& s, const Frame& base, const Frame& next) {
    const int rowBytes = ((s.width + 15) >> 4) * 2;
    std::string lists[16];
    for (int p = 0; p < s.planes; ++p) {
        const std::string a = Planes(base, s.width, s.height, p), b = Planes(next, s.width, s.height, p);
        // (first byte, unit) of every column the operation codes.
        std::vector<std::pair<int, int>> columns;
        const int unit = s.op == 5 ? 1 : s.op == 100 ? 4 : s.op == 101 ? 2 : s.longData ? 4 : 2;
        for (int c = 0; c + unit <= rowBytes; c += unit) columns.push_back({c, unit});
        if (s.op == 8 && s.longData && s.width % 32) columns.push_back({s.width / 32 * 4, 2});
        if (s.op == 7 && s.longData) columns.resize(s.width / 32);
        std::string& data = lists[p];
        std::string& values = lists[8 + p];
        uint32_t runs = 0;
        std::string runData;
        for (auto [first, u] : columns) {
            std::vector<uint32_t> old, now;
            for (int y = 0; y < s.height; ++y) {
                const size_t at = static_cast<size_t>(y) * rowBytes + first;
                old.push_back(s.exclusiveOr ? 0 : Unit(a, at, u));
                now.push_back(s.exclusiveOr ? Unit(a, at, u) ^ Unit(b, at, u) : Unit(b, at, u));
            }
            const bool wide = s.op == 8 && u == 4;
            const uint32_t maxCount = s.op == 5 || s.op == 7 ? 127 : 0x7FFF;
            const std::vector<Op> ops = ColumnOps(old, now, maxCount);
            if (s.op == 100 || s.op == 101) {
                uint32_t row = 0;
                for (const Op& op : ops) {
                    if (op.kind != 's') {
                        ++runs;
                        const int32_t v = op.kind == 'l' ? -static_cast<int32_t>(op.count) : op.count;
                        Put(runData, static_cast<uint32_t>(v), u == 4 ? 4 : 2);
                        Put(runData, row * rowBytes + first, 4);
                        for (uint32_t x : op.values) Put(runData, x, u);
                    }
                    row += op.count;
                }
                continue;
            }
            const int opBytes = s.op == 5 || s.op == 7 ? 1 : wide ? 4 : 2;
            std::string& out = data;
            std::string& vals = s.op == 7 ? values : data;
            Put(out, static_cast<uint32_t>(ops.size()), opBytes);
            for (const Op& op : ops) {
                const uint32_t literal = opBytes == 1 ? 0x80 : opBytes == 2 ? 0x8000 : 0x80000000u;
                if (op.kind == 's') Put(out, op.count, opBytes);
                if (op.kind == 'l') {
                    Put(out, literal | op.count, opBytes);
                    for (uint32_t x : op.values) Put(vals, x, u);
                }
                if (op.kind == 'r') {
                    Put(out, 0, opBytes);
                    Put(out, op.count, s.op == 5 || s.op == 7 ? 1 : opBytes);
                    Put(vals, op.values[0], u);
                }
            }
        }
        if (s.op == 100 || s.op == 101) {
            Put(data, runs, s.op == 100 ? 4 : 2);
            data += runData;
        }
    }
    std::string dlta;
    uint32_t at = 64;
    std::string tail;
    for (int i = 0; i < 16; ++i) {
        Put(dlta, lists[i].empty() ? 0 : at, 4);
        at += static_cast<uint32_t>(lists[i].size());
        tail += lists[i];
    }
    return dlta + tail;
}

std::string Anhd(int op, uint32_t jiffies, int interleave, uint32_t bits) {
    std::string a(40, '\0');
    a[0] = static_cast<char>(op);
    for (int i = 0; i < 4; ++i) a[14 + i] = static_cast<char>(jiffies >> (24 - 8 * i) & 0xFF);
    a[18] = static_cast<char>(interleave);
    for (int i = 0; i < 4; ++i) a[20 + i] = static_cast<char>(bits >> (24 - 8 * i) & 0xFF);
    return a;
}

std::string Form(const std::string& type, const std::string& chunks) {
    std::string f = "FORM";
    PutBe32(f, static_cast<uint32_t>(type.size() + chunks.size()));
    return f + type + chunks;
}

const std::vector<uint32_t> kPalette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0x808080};

// Frames that change a little each time: a bar moving across, a block of runs, scattered pixels.
std::vector<Frame> MakeFrames(const AnimForm& s, int count) {
    std::vector<Frame> frames;
    Frame f(static_cast<size_t>(s.width) * s.height);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 7 / 5 % 8);
    for (int k = 0; k < count; ++k) {
        if (k > 0) {
            for (int y = 0; y < s.height; ++y) f[static_cast<size_t>(y) * s.width + (k * 5) % s.width] = 4;
            for (int y = 2; y < 9; ++y)
                for (int x = k; x < std::min(s.width, k + 20); ++x) f[static_cast<size_t>(y) * s.width + x] = k % 8;
            f[static_cast<size_t>(k * 37 % s.height) * s.width + k * 11 % s.width] ^= 5;
        }
        frames.push_back(f);
        for (uint8_t& i : frames.back()) i &= static_cast<uint8_t>((1 << s.planes) - 1);
    }
    return frames;
}

// The animation file: the first frame as a picture, every later one as a delta against the
// frame two back (one back in exclusive-or form), then the two loop frames.
std::string BuildAnim(const AnimForm& s, const std::vector<Frame>& frames) {
    IlbmSpec first;
    first.width = s.width;
    first.height = s.height;
    first.planes = s.planes;
    first.indices = frames[0];
    first.cmap = kPalette;
    std::string body = BuildIlbm(first).substr(12);
    std::string all = Form("ILBM", body);
    for (size_t n = 1; n < frames.size(); ++n) {
        const Frame& base = s.exclusiveOr ? frames[n - 1] : frames[n < 2 ? 0 : n - 2];
        std::string chunks;
        PutChunk(chunks, "ANHD", Anhd(s.op, static_cast<uint32_t>(n), s.exclusiveOr ? 1 : 0, s.longData ? 1 : 0));
        PutChunk(chunks, "DLTA", Delta(s, base, frames[n]));
        all += Form("ILBM", chunks);
    }
    return Form("ANIM", all);
}

struct Read {
    bool opened = false;
    int width = 0, height = 0, count = 0;
    std::vector<std::vector<uint32_t>> frames;
    std::vector<uint32_t> delays;
};

Read ReadAnim(const std::string& path, std::vector<int> order, int deinterlace = QZ_DEINTERLACE_DEFAULT) {
    Read r;
    qzIffAnimReader* reader = OpenIffAnim(OpenRead(path), deinterlace, &r.width, &r.height, &r.count, 0);
    if (!reader) return r;
    r.opened = true;
    if (order.empty())
        for (int i = 0; i < r.count; ++i) order.push_back(i);
    r.frames.resize(r.count);
    for (int n : order) {
        int pen = -1;
        uint32_t* pixels = LoadIffAnimFrame(reader, n, &pen);
        EXPECT_EQ(pen, 0);
        if (!pixels) continue;
        r.frames[n].assign(pixels, pixels + static_cast<size_t>(r.width) * r.height);
        OsFree(pixels);
    }
    for (int i = 0; i < r.count; ++i) r.delays.push_back(GetIffAnimFrameDelay(reader, i));
    CloseIffAnim(reader);
    return r;
}

std::vector<uint32_t> Colours(const Frame& f, const std::vector<uint32_t>& palette = kPalette) {
    std::vector<uint32_t> out;
    for (uint8_t i : f) out.push_back(palette[i]);
    return out;
}

// The frames with the two loop frames appended, as the file plays them.
std::vector<Frame> WithLoop(std::vector<Frame> frames) {
    frames.push_back(frames[0]);
    frames.push_back(frames[1]);
    return frames;
}

// A file of a first picture and the given delta FORMs (ANHD and DLTA data, extra chunks first).
struct DeltaForm {
    std::string anhd;
    std::string dlta;
    std::string before;  // chunks placed ahead of the ANHD
};

std::string AnimOf(const IlbmSpec& first, const std::vector<DeltaForm>& deltas) {
    std::string all = BuildIlbm(first);
    for (const DeltaForm& d : deltas) {
        std::string chunks = d.before;
        PutChunk(chunks, "ANHD", d.anhd);
        PutChunk(chunks, "DLTA", d.dlta);
        all += Form("ILBM", chunks);
    }
    return Form("ANIM", all);
}

// DLTA data with plane 0's data at offset 64 (the other planes unchanged).
std::string Plane0(const std::string& data) {
    std::string d;
    Put(d, 64, 4);
    d += std::string(60, '\0');
    return d + data;
}

IlbmSpec Blank(int width, int height, int planes) {
    IlbmSpec s;
    s.width = width;
    s.height = height;
    s.planes = planes;
    s.indices.assign(static_cast<size_t>(width) * height, 0);
    s.cmap = kPalette;
    return s;
}

}  // namespace

TEST(IffAnimReader, EveryDeltaModeDecodesTheFramesItWasBuiltFrom) {
    struct Case {
        const char* what;
        AnimForm form;
    } cases[] = {
        {"byte vertical", {5, false, false, 64, 20, 3}},
        {"byte vertical, exclusive or", {5, false, true, 64, 20, 3}},
        {"byte vertical, odd width", {5, false, false, 37, 9, 2}},
        {"short vertical, lists", {7, false, false, 64, 20, 3}},
        {"long vertical, lists", {7, true, false, 64, 20, 3}},
        {"short vertical, embedded", {8, false, false, 64, 20, 3}},
        {"long vertical, embedded", {8, true, false, 64, 20, 3}},
        {"long vertical, embedded, extra word column", {8, true, false, 48, 20, 3}},
        {"long runs", {100, false, false, 64, 20, 3}},
        {"word runs", {101, false, false, 48, 20, 3}},
        {"byte vertical, tall columns", {5, false, false, 16, 300, 3}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::vector<Frame> frames = WithLoop(MakeFrames(c.form, 7));
        WriteFile(dir / "t.anim", BuildAnim(c.form, frames));
        // Run deltas at explicit positions count two frames fewer than their FORMs.
        const bool runs = c.form.op == 100 || c.form.op == 101;
        const int count = static_cast<int>(frames.size()) - (runs ? 2 : 0);
        // In order, twice round (the reader rewinds by itself), and out of order.
        std::vector<int> order;
        for (int i = 0; i < 2 * count; ++i) order.push_back(i % count);
        for (const std::vector<int>& o : {order, std::vector<int>{5, 2, count - 1, 0, 3, 3, 1}}) {
            const Read r = ReadAnim(dir / "t.anim", o);
            ASSERT_TRUE(r.opened) << c.what;
            EXPECT_EQ(r.width, c.form.width);
            ASSERT_EQ(r.count, count) << c.what;
            for (int n : o) EXPECT_EQ(r.frames[n], Colours(frames[n])) << c.what << " frame " << n;
        }
        const Read r = ReadAnim(dir / "t.anim", {});
        // n jiffies: n * 1000 / 60 milliseconds, truncated.
        for (int n = 0; n < r.count; ++n) EXPECT_EQ(r.delays[n], static_cast<uint32_t>(n * 1000 / 60)) << n;
    }
}

TEST(IffAnimReader, DeltasThatLieDecodeWhatTheyCanOrFail) {
    auto words = [](std::initializer_list<uint32_t> v, int bytes) {
        std::string s;
        for (uint32_t x : v) Put(s, x, bytes);
        return s;
    };
    // Column x 0..31 of every row set to index 1 (plane 0).
    std::vector<uint32_t> column(32 * 4, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 32; ++x) column[static_cast<size_t>(y) * 32 + x] = kPalette[x < 16 ? 1 : 0];
    struct Case {
        const char* what;
        int op;
        std::string dlta;
        bool decodes;                    // else the frame fails
        std::vector<uint32_t> expected;  // 32 x 4 pixels when it decodes
    } cases[] = {
        {"long run filling past the bottom", 100, Plane0(words({1, 1000, 0, 0xFFFF0000u}, 4)), true, column},
        {"long literal run past the bottom", 100,
         Plane0(words({1, static_cast<uint32_t>(-6), 0, 0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u, 1, 1}, 4)),
         true, column},
        {"runs at positions outside the plane", 100, Plane0(words({2, 3, 0xFFFFF0, 0xFFFFFFFF, 2, 16, 7}, 4)), true,
         std::vector<uint32_t>(32 * 4, 0)},
        {"word run filling past the bottom", 101, Plane0(words({1, 9}, 2) + words({0}, 4) + words({0xFFFF}, 2)), true,
         column},
        {"byte columns skipping past the bottom", 5, Plane0(words({2, 100, 0x81, 0xFF, 1, 0, 200, 0xFF, 0, 0}, 1)),
         true,
         [] {
             std::vector<uint32_t> v(32 * 4, 0);
             for (int y = 0; y < 4; ++y)
                 for (int x = 8; x < 16; ++x) v[static_cast<size_t>(y) * 32 + x] = kPalette[1];
             return v;
         }()},
        {"word columns running past the bottom", 8, Plane0(words({1, 0, 60000, 0xFFFF, 0}, 2)), true, column},
        {"long columns with a huge literal count", 8, Plane0(words({1, 0xFFFFFFFFu, 7}, 4)), false, {}},
        {"literal count past the data", 5, Plane0(words({1, 0xFF, 1}, 1)), false, {}},
        {"run count past the data", 100, Plane0(words({0x7FFFFFFF, 1, 0, 7}, 4)), false, {}},
        {"plane offset past the data", 5, words({5000}, 4) + std::string(60, '\0'), false, {}},
        {"offsets cut short", 5, words({64}, 2), false, {}},
        {"offsets cut short before the data lists", 7, words({4, 0}, 4), false, {}},
        {"data list offset past the data",
         7,
         words({64}, 4) + std::string(28, '\0') + words({9999}, 4) + std::string(28, '\0') + words({1, 0x81}, 1),
         false,
         {}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const uint32_t bits = c.op == 8 && c.what[0] == 'l' ? 1 : 0;
        WriteFile(dir / "t.anim", AnimOf(Blank(32, 4, 1), {{Anhd(c.op, 1, 0, bits), c.dlta, ""},
                                                           {Anhd(5, 1, 0, 0), Plane0(std::string(4, '\0')), ""}}));
        const Read r = ReadAnim(dir / "t.anim", {0, 1, 2, 1});
        ASSERT_TRUE(r.opened) << c.what;
        ASSERT_EQ(r.count, 3) << c.what;
        EXPECT_EQ(r.frames[0], std::vector<uint32_t>(32 * 4, 0)) << c.what;
        if (c.decodes)
            EXPECT_EQ(r.frames[1], c.expected) << c.what;
        else
            EXPECT_TRUE(r.frames[1].empty()) << c.what;
    }
}

TEST(IffAnimReader, FilesThatLieFailToOpenOrKeepWhatTheyHold) {
    const IlbmSpec first = Blank(16, 2, 1);
    const DeltaForm same{Anhd(5, 1, 0, 0), Plane0(std::string(2, '\0')), ""};
    const std::string good = AnimOf(first, {same, same});
    std::string nine = good;
    nine[12 + 12 + 8 + 8] = 9;  // BMHD planes
    std::string badOp = AnimOf(first, {{Anhd(6, 1, 0, 0), Plane0(""), ""}, same});
    const std::string bodyCut = good.substr(0, good.find("BODY") + 9);
    std::string strayChunk = good + "JUNK" + std::string(4, '\0');
    std::string lyingFormSize = good;
    lyingFormSize[16] = '\x7F';  // the first ILBM's size: the deltas are found after its BODY
    std::string dltaPastEnd = good.substr(0, good.size() - 2);
    const size_t last = dltaPastEnd.rfind("DLTA");
    dltaPastEnd[last + 4] = '\x7F';
    struct Case {
        const char* what;
        std::string bytes;
        int frames;   // -1: the open fails
        int decoded;  // frames that decode
    } cases[] = {
        {"the file as written", good, 3, 3},
        {"nine planes", nine, -1, 0},
        {"an unknown first delta", badOp, -1, 0},
        {"a BODY cut short", bodyCut, -1, 0},
        {"a chunk other than FORM at the top", strayChunk, -1, 0},
        {"a first FORM whose size lies", lyingFormSize, 3, 3},
        {"a DLTA past the file", dltaPastEnd, 3, 2},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir / "t.anim", c.bytes);
        const Read r = ReadAnim(dir / "t.anim", {});
        EXPECT_EQ(r.opened ? r.count : -1, c.frames) << c.what;
        int decoded = 0;
        for (const auto& f : r.frames) decoded += f.empty() ? 0 : 1;
        EXPECT_EQ(decoded, c.decoded) << c.what;
    }
}

TEST(IffAnimReader, PalettesHalfBriteAndTransparentColour) {
    TempDir dir;
    IlbmSpec first = Blank(16, 2, 6);
    first.camg = 0x80;  // extra half-brite
    first.cmap.assign(32, 0);
    for (int i = 0; i < 32; ++i) first.cmap[i] = static_cast<uint32_t>(i * 8) << 16 | 0x00FE02;
    for (int x = 0; x < 16; ++x) first.indices[x] = static_cast<uint8_t>(x * 4);  // 0..60
    first.masking = 2;
    first.transparentIndex = 4;
    // Frame 2 brings a 3-colour CMAP (with its pad byte, then the ANHD): entries 0-2 change.
    std::string cmap;
    PutChunk(cmap, "CMAP", std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90", 9));
    const DeltaForm same{Anhd(5, 6, 0, 0), Plane0(std::string(2, '\0')), ""};
    WriteFile(dir / "t.anim", AnimOf(first, {same, {Anhd(5, 1, 0, 0), Plane0(std::string(2, '\0')), cmap}, same}));
    int width = 0, height = 0, count = 0;
    qzIffAnimReader* reader = OpenIffAnim(OpenRead(dir / "t.anim"), 0, &width, &height, &count, 1);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(count, 4);
    auto pixel = [&](int frame, int x) {
        int pen = 0;
        uint32_t* p = LoadIffAnimFrame(reader, frame, &pen);
        EXPECT_EQ(pen, 1);
        const uint32_t v = p ? p[x] : 0xDEAD;
        OsFree(p);
        return v;
    };
    EXPECT_EQ(pixel(0, 0), 0xFF00FE02u);
    EXPECT_EQ(pixel(0, 1), 0x0000FE02u | 32u << 16);  // index 4: transparent, keeps its colour
    EXPECT_EQ(pixel(0, 2), 0xFF40FE02u);              // index 8
    EXPECT_EQ(pixel(0, 5), 0xFF107F01u);              // index 20: entry 4 at half brightness
    EXPECT_EQ(GetIffAnimFrameDelay(reader, 1), 0u);   // not decoded yet
    EXPECT_EQ(pixel(1, 0), 0xFF00FE02u);
    EXPECT_EQ(GetIffAnimFrameDelay(reader, 1), 100u);
    EXPECT_EQ(pixel(2, 0), 0xFF102030u);
    EXPECT_EQ(pixel(2, 2), 0xFF40FE02u);  // entry 8 untouched
    EXPECT_EQ(GetIffAnimFrameDelay(reader, 2), 16u);
    // The new palette stays for later frames and rewinding; frame 0 brings the first one back.
    EXPECT_EQ(pixel(3, 0), 0xFF102030u);
    EXPECT_EQ(pixel(1, 0), 0xFF102030u);
    EXPECT_EQ(pixel(0, 0), 0xFF00FE02u);
    CloseIffAnim(reader);
}

TEST(IffAnimReader, FieldDeltasWeaveOrDoubleTheirFields) {
    // Word runs coding one field each: odd frames the even rows, even frames the odd rows.
    const int width = 16, height = 8, planes = 2;
    IlbmSpec first = Blank(width, height, planes);
    std::vector<Frame> fields;  // fields[n]: the rows delta n writes
    for (int n = 0; n < 6; ++n) {
        Frame f(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>((i * 5 + n * 3 + i / 7) % 4);
        fields.push_back(f);
    }
    first.indices = fields[0];
    std::vector<DeltaForm> deltas;
    for (int n = 1; n < 6; ++n) {
        std::string dlta;
        std::string lists[2];
        for (int p = 0; p < planes; ++p) {
            const std::string rows = Planes(fields[n], width, height, p);
            Put(lists[p], 1, 2);
            Put(lists[p], static_cast<uint32_t>(-(height / 2)), 2);
            Put(lists[p], n % 2 ? 0 : 2, 4);
            for (int y = n % 2 ? 0 : 1; y < height; y += 2) lists[p] += rows.substr(static_cast<size_t>(y) * 2, 2);
        }
        Put(dlta, 64, 4);
        Put(dlta, 64 + static_cast<uint32_t>(lists[0].size()), 4);
        dlta += std::string(56, '\0') + lists[0] + lists[1];
        deltas.push_back({Anhd(101, 1, 0, 0x40), dlta, ""});
    }
    TempDir dir;
    WriteFile(dir / "t.anim", AnimOf(first, deltas));
    // Frame n shows its own field and replaces the rows of the other one (the even rows for even
    // n, frame 0 included) from the frame before (weaving) or from the neighbouring row of its
    // own field (doubling).
    auto expected = [&](int n, bool weave) {
        Frame f(fields[0].size());
        for (int y = 0; y < height; ++y) {
            const bool own = y % 2 != n % 2;
            const Frame& source = own || !weave ? fields[n] : fields[n > 0 ? n - 1 : 0];
            const int from = own || weave ? y : n % 2 ? y - 1 : y + 1;
            for (int x = 0; x < width; ++x) f[static_cast<size_t>(y) * width + x] = source[from * width + x];
        }
        return Colours(f);
    };
    for (int mode : {QZ_DEINTERLACE_DEFAULT, QZ_DEINTERLACE_DOUBLE}) {
        const bool weave = mode == QZ_DEINTERLACE_DEFAULT;
        // Six FORMs of field deltas make four frames.
        for (const std::vector<int>& order : {std::vector<int>{0, 1, 2, 3, 0, 1}, std::vector<int>{3, 1, 2}}) {
            const Read r = ReadAnim(dir / "t.anim", order, mode);
            ASSERT_TRUE(r.opened);
            ASSERT_EQ(r.count, 4);
            for (int n : order) EXPECT_EQ(r.frames[n], expected(n, weave)) << "mode " << mode << " frame " << n;
        }
    }
}

TEST(IffAnimReader, OpensAsAnimSourceWithLoopFrames) {
    TempDir dir;
    AnimForm s;
    const std::vector<Frame> frames = WithLoop(MakeFrames(s, 4));
    WriteFile(dir / "t.anim", BuildAnim(s, frames));
    qzAnimSource* source = nullptr;
    int32_t width = 0, height = 0, count = 0;
    int alpha = -1;
    const std::string path = dir / "t.anim";
    ASSERT_EQ(OpenAnimSource(path.c_str(), nullptr, nullptr, QZ_DEINTERLACE_DEFAULT, 0, &source, &width, &height,
                             &count, &alpha, nullptr),
              0);
    EXPECT_EQ(width, s.width);
    EXPECT_EQ(height, s.height);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(alpha, 0);
    EXPECT_EQ(AnimSourceHasLoopFrames(source), 1);
    int pen = -1;
    uint32_t* pixels = LoadAnimSourceFrame(source, 2, 0, &pen);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(pixels, pixels + s.width * s.height), Colours(frames[2]));
    FreeAnimSourceFrame(source, pixels);
    EXPECT_EQ(GetAnimSourceFrameDelay(source, 2), 33u);
    CloseAnimSource(source);
}

namespace {

int gAllocationsLeft = -1;
int FailAfterCount(size_t) { return gAllocationsLeft >= 0 && gAllocationsLeft-- == 0 ? 1 : 0; }

}  // namespace

// Every allocation failing in turn, for a plain and a field animation: the open fails or frames
// go missing, nothing leaks, and once memory suffices every frame is there.
TEST(IffAnimReader, RunningOutOfMemoryAnywhere) {
    TempDir dir;
    AnimForm plain;
    WriteFile(dir / "plain.anim", BuildAnim(plain, WithLoop(MakeFrames(plain, 4))));
    AnimForm fields;
    fields.op = 101;
    std::string bytes = BuildAnim(fields, WithLoop(MakeFrames(fields, 4)));
    for (size_t at = bytes.find("ANHD"); at != std::string::npos; at = bytes.find("ANHD", at + 4))
        bytes[at + 8 + 23] |= 0x40;
    WriteFile(dir / "fields.anim", bytes);
    for (const char* name : {"plain.anim", "fields.anim"}) {
        const Read whole = ReadAnim(dir / name, {});
        ASSERT_TRUE(whole.opened) << name;
        bool finished = false;
        for (int n = 0; n < 100 && !finished; ++n) {
            OsSetAllocFailHook(FailAfterCount);
            gAllocationsLeft = n;
            const Read r = ReadAnim(dir / name, {});
            gAllocationsLeft = -1;
            OsSetAllocFailHook(nullptr);
            finished = r.opened && r.frames == whole.frames;
        }
        EXPECT_TRUE(finished) << name;
    }
}

}  // namespace iff_anim_test
