// The inbuilt loader: the header parsers of the information mode, the choice of reader by the
// first bytes, the loader lists, the fall-back to the system codecs for other formats, chunk
// names, GIF files through the GIF reader and the errors with their names.
#include <gtest/gtest.h>

#include <zlib.h>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "image/ilbm.h"
#include "image/image_load.h"
#include "image/image_test_util.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"

namespace image_load_test {

using namespace imgtest;

namespace {

struct Info {
    int rc = -1;
    int width = -1;
    int height = -1;
    int alpha = -1;
    int32_t transparent = 77;
    int native = 77;
};

Info Examine(const std::string& name, const char* loaders = nullptr) {
    Info i;
    i.rc = LoadImageInbuilt(name.c_str(), loaders, nullptr, nullptr, -1, 0, nullptr, nullptr, &i.transparent, &i.width,
                            &i.height, &i.alpha, &i.native);
    return i;
}

struct Loaded {
    int rc = -1;
    int kind = -1;
    int alpha = -1;
    int32_t transparent = 77;
    int native = 77;
    Picture picture;
    std::vector<uint32_t> palette;
};

Loaded Load(const std::string& name, const char* loaders = nullptr, int32_t key = -1, int mode = 0) {
    Loaded l;
    qzImageHandle* handle = nullptr;
    uint32_t* palette = nullptr;
    int width = 0, height = 0;
    l.rc = LoadImageInbuilt(name.c_str(), loaders, nullptr, nullptr, key, mode, &handle, &palette, &l.transparent,
                            &width, &height, &l.alpha, &l.native);
    if (l.rc == 0) {
        l.kind = static_cast<int>(handle->kind);
        l.picture = FromWords(GetImagePixels(handle), width, height);
        if (palette) l.palette.assign(palette, palette + 256);
        FreeImageHandle(handle);
        OsFree(palette);
    }
    return l;
}

std::string PngChunk(const char* type, const std::string& data) {
    std::string s;
    PutBe32(s, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type) + data;
    s += body;
    PutBe32(s, static_cast<uint32_t>(
                   crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
    return s;
}

std::string PngHeader(uint32_t width, uint32_t height, int colourType) {
    std::string ihdr;
    PutBe32(ihdr, width);
    PutBe32(ihdr, height);
    ihdr += static_cast<char>(8);
    ihdr += static_cast<char>(colourType);
    ihdr += std::string(3, '\0');
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr);
}

// The JFIF file with its APP0 segment replaced by other segments.
std::string WithoutApp0(const std::string& jfif, const std::string& insert) {
    size_t length = static_cast<uint8_t>(jfif[4]) << 8 | static_cast<uint8_t>(jfif[5]);
    return jfif.substr(0, 2) + insert + jfif.substr(4 + length);
}

std::string Segment(uint8_t marker, const std::string& data) {
    std::string s = "\xFF";
    s += static_cast<char>(marker);
    size_t n = data.size() + 2;
    s += static_cast<char>(n >> 8);
    s += static_cast<char>(n & 0xFF);
    return s + data;
}

}  // namespace

TEST(ImageSniff, FindIFFChunkLimits) {
    std::string buffer(64, 'x');
    buffer.replace(55, 4, "BMHD");  // offset length - 9: the last one looked at
    const uint8_t* b = reinterpret_cast<const uint8_t*>(buffer.data());
    EXPECT_EQ(FindIFFChunk(b, 64, IffId("BMHD")), b + 59);
    EXPECT_EQ(FindIFFChunk(b, 63, IffId("BMHD")), nullptr);
    buffer.replace(55, 4, "xxxx");
    buffer.replace(3, 4, "BMHD");  // odd offsets count too
    EXPECT_EQ(FindIFFChunk(b, 64, IffId("BMHD")), b + 7);
    EXPECT_EQ(FindIFFChunk(b, 8, IffId("BMHD")), nullptr);
}

TEST(ImageLoad, InformationModeReadsHeaders) {
    TempDir dir;
    Picture source = TestPattern(41, 23, 4);
    WriteFile(dir / "src.ppm", PpmBytes(source));
    const std::string src = "'" + (dir / "src.ppm") + "'";
    std::string jfif = Shell("cjpeg " + src);

    IlbmSpec ilbm;
    ilbm.width = 41;
    ilbm.height = 23;
    ilbm.planes = 1;
    ilbm.masking = 2;
    ilbm.cmap = {0, 0xFFFFFF};
    ilbm.indices.assign(41 * 23, 1);
    // BMHD at an odd offset: a chunk of odd length without its pad byte before it.
    std::string odd = BuildIlbm(ilbm);
    odd.insert(12, std::string("JUNK\0\0\0\3abc", 11));

    std::string tiff = "MM";
    tiff += std::string("\0*", 2);
    PutBe32(tiff, 8);
    tiff += std::string("\0\4", 2);
    auto entry = [&](uint32_t tag, uint32_t type, uint32_t value) {
        tiff += static_cast<char>(tag >> 8);
        tiff += static_cast<char>(tag & 0xFF);
        tiff += static_cast<char>(0);
        tiff += static_cast<char>(type);
        PutBe32(tiff, 1);
        PutBe32(tiff, type == 4 ? value : value << 16);
    };
    entry(0x100, 4, 70000);
    entry(0x101, 3, 5);
    entry(0x106, 3, 2);
    entry(0x115, 3, 4);

    std::string paletteNoTrns =
        PngHeader(300, 200, 3) + PngChunk("PLTE", std::string(6, '\0')) + PngChunk("IDAT", std::string(50, '\0'));
    std::string paletteTrns = PngHeader(300, 200, 3) + PngChunk("PLTE", std::string(6, '\0')) +
                              PngChunk("IDAT", std::string(2000, '\0')) + PngChunk("tRNS", "\0");

    // BMHD close to the end of the 1024 bytes the parsers look at: its fields run past them.
    std::string late = BuildIlbm(ilbm);
    late.insert(12, "JUNK" + std::string("\0\0\x03\xE0", 4) + std::string(0x3E0, 'j'));
    ASSERT_EQ(late.find("BMHD"), 1012u);

    std::string bmp = Shell("ppmtobmp " + src + " 2>/dev/null");
    bmp[22] = static_cast<char>(-23);  // top-down: the size is still reported
    bmp[23] = bmp[24] = bmp[25] = static_cast<char>(0xFF);

    struct Case {
        const char* what;
        std::string bytes;
        int width, height, alpha;
        int32_t transparent;  // 77: untouched
        int native = 77;      // 77: untouched, 1: the system codecs read the header
    };
    std::vector<Case> cases = {
        {"ILBM with masking 2", BuildIlbm(ilbm), 41, 23, 0, 1},
        {"ILBM, BMHD at an odd offset", odd, 41, 23, 0, 1},
        {"ILBM, BMHD at the end of the header bytes", late, 41, 23, 0, 77},
        {"JFIF", jfif, 41, 23, 0, 77},
        {"Exif first", WithoutApp0(jfif, Segment(0xE1, std::string("Exif\0\0", 6))), 41, 23, 0, 77},
        {"Lavc comment first", WithoutApp0(jfif, Segment(0xFE, "Lavc61.19.100")), 41, 23, 0, 77},
        // Other first segments are not read here: the system codecs answer.
        {"Adobe first", WithoutApp0(jfif, Segment(0xEE, std::string("Adobe\0\x64\0\0\0\0\1", 12))), 41, 23, 0, 77, 1},
        {"ICC profile first",
         WithoutApp0(jfif, Segment(0xE2, std::string("ICC_PROFILE\0\1\1", 14) + std::string(40, 'p'))), 41, 23, 0, 77,
         1},
        {"tables first", WithoutApp0(jfif, ""), 41, 23, 0, 77, 1},
        {"palette PNG", paletteNoTrns, 300, 200, 0, 77},
        {"palette PNG with tRNS after its image data", paletteTrns, 300, 200, 1, 77},
        {"palette PNG that ends after its palette", PngHeader(300, 200, 3) + PngChunk("PLTE", std::string(6, '\0')),
         300, 200, 0, 77},
        {"RGBA PNG", PngHeader(7, 9, 6), 7, 9, 1, 77},
        {"top-down BMP", bmp, 41, 23, 0, 77},
        {"big-endian TIFF, LONG width", tiff, 70000, 5, 1, 77},
        {"GIF", Shell("pnmquant 200 " + src + " 2>/dev/null | pamtogif 2>/dev/null"), 41, 23, 0, 77},
        {"GIF with transparency",
         Shell("convert -size 41x23 xc:red -fill blue -draw 'point 1,1' -transparent blue gif:-"), 41, 23, 0, 1},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "pic", c.bytes);
        Info i = Examine(dir / "pic");
        EXPECT_EQ(i.rc, 0) << c.what;
        EXPECT_EQ(i.width, c.width) << c.what;
        EXPECT_EQ(i.height, c.height) << c.what;
        EXPECT_EQ(i.alpha, c.alpha) << c.what;
        EXPECT_EQ(i.transparent, c.transparent) << c.what;
        EXPECT_EQ(i.native, c.native) << c.what;
    }

    // Headers that lie: a JPEG segment of length 0 (the header walk would step back forever; the
    // reader's own walk skips it) and a BMP whose height has no absolute value in 32 bits.
    const size_t app0End = 4 + (static_cast<uint8_t>(jfif[4]) << 8 | static_cast<uint8_t>(jfif[5]));
    WriteFile(dir / "pic", jfif.substr(0, app0End) + std::string("\xFF\xE1\0\0", 4) + jfif.substr(app0End));
    Info zero = Examine(dir / "pic");
    EXPECT_EQ(zero.rc, 0);
    EXPECT_EQ(zero.width, 41);
    EXPECT_EQ(zero.native, 0);
    std::string lowest = bmp;
    lowest.replace(22, 4, std::string("\0\0\0\x80", 4));
    WriteFile(dir / "pic", lowest);
    Info saturated = Examine(dir / "pic");
    EXPECT_EQ(saturated.rc, 0);
    EXPECT_EQ(saturated.height, 2147483647);

    // Formats without a header parser go to the readers and then to the system codecs.
    Shell("ffmpeg -v error -i " + src + " -pix_fmt rgba '" + (dir / "pic.tga") + "'");
    Info tga = Examine(dir / "pic.tga");
    EXPECT_EQ(tga.rc, 0);
    EXPECT_EQ(tga.width, 41);
    EXPECT_EQ(tga.alpha, 1);
    EXPECT_EQ(tga.native, 1);
    // With only "native" allowed no header is read: the system codecs answer even for a PNG.
    Shell("pnmtopng " + src + " > '" + (dir / "pic.png") + "'");
    Info png = Examine(dir / "pic.png", "native");
    EXPECT_EQ(png.rc, 0);
    EXPECT_EQ(png.width, 41);
    EXPECT_EQ(png.native, 1);
}

TEST(ImageLoad, ReadersByFirstBytesAndSystemCodecsForTheRest) {
    TempDir dir;
    Picture source = TestPattern(41, 23, 6);
    WriteFile(dir / "src.ppm", PpmBytes(source));
    const std::string src = "'" + (dir / "src.ppm") + "'";
    std::string jfif = Shell("cjpeg -quality 95 " + src);
    WriteFile(dir / "pic.jpg", jfif);
    Shell("pnmtopng " + src + " > '" + (dir / "pic.png") + "'");
    Shell("ppmtobmp " + src + " > '" + (dir / "pic.bmp") + "' 2>/dev/null");
    Shell("ppmtoilbm -24force " + src + " > '" + (dir / "pic.iff") + "' 2>/dev/null");
    struct Inbuilt {
        const char* file;
        int kind;
    };
    for (const Inbuilt& c : std::vector<Inbuilt>{{"pic.jpg", QZ_IMAGE_JPEG},
                                                 {"pic.png", QZ_IMAGE_PNG},
                                                 {"pic.bmp", QZ_IMAGE_BMP},
                                                 {"pic.iff", QZ_IMAGE_ILBM}}) {
        Loaded l = Load(dir / c.file);
        ASSERT_EQ(l.rc, 0) << c.file;
        EXPECT_EQ(l.kind, c.kind) << c.file;
        EXPECT_EQ(l.native, 0) << c.file;
        EXPECT_EQ(l.alpha, 0) << c.file;
        EXPECT_EQ(l.transparent, -1) << c.file;
        if (c.kind == QZ_IMAGE_JPEG) {
            EXPECT_EQ(l.picture.pixels, RunNetpbm("djpeg -pnm '" + (dir / c.file) + "'").pixels) << c.file;
        } else {
            EXPECT_EQ(l.picture.pixels, source.pixels) << c.file;
        }
    }

    // A JPEG is the inbuilt reader's only when its first segment names JFIF, Exif or Lavc; the
    // system codecs read the others, and without "native" they are refused, naming the file.
    struct Jpeg {
        const char* what;
        std::string bytes;
        bool inbuilt;
    };
    for (const Jpeg& c :
         std::vector<Jpeg>{{"Exif", WithoutApp0(jfif, Segment(0xE1, std::string("Exif\0\0", 6))), true},
                           {"Lavc", WithoutApp0(jfif, Segment(0xFE, "Lavc61.19.100")), true},
                           {"Adobe", WithoutApp0(jfif, Segment(0xEE, std::string("Adobe\0\x64\0\0\0\0\1", 12))), false},
                           {"tables", WithoutApp0(jfif, ""), false}}) {
        const std::string path = dir / "lead.jpg";
        WriteFile(path, c.bytes);
        Loaded l = Load(path);
        ASSERT_EQ(l.rc, 0) << c.what;
        EXPECT_EQ(l.kind, c.inbuilt ? QZ_IMAGE_JPEG : QZ_IMAGE_NATIVE) << c.what;
        EXPECT_EQ(l.native, c.inbuilt ? 0 : 1) << c.what;
        const Picture theirs = c.inbuilt ? RunNetpbm("djpeg -pnm '" + path + "'") : FfmpegDecode(path);
        EXPECT_LE(MaxChannelDiff(l.picture, theirs), 0) << c.what;
        ClearErrorArg();
        EXPECT_EQ(Load(path, "inbuilt").rc, c.inbuilt ? 0 : ERR_LOADPICTURE2) << c.what;
        EXPECT_EQ(std::string(GetErrorArgString()), c.inbuilt ? "" : path) << c.what;
    }

    // Other formats through the system codecs (GIF and 16-bit PNG through the player's readers),
    // pixel for pixel as ffmpeg decodes them.
    struct Native {
        const char* file;
        const char* options;
        int alpha;
        int tolerance;  // 16-bit samples: ffmpeg rounds where the PNG reader keeps the high byte
    };
    for (const Native& c : std::vector<Native>{{"pic.tiff", "", 0, 0},
                                               {"alpha.tiff", "-pix_fmt rgba", 1, 0},
                                               {"pic.webp", "-lossless 1", 1, 0},
                                               {"pic.tga", "", 0, 0},
                                               {"alpha.tga", "-pix_fmt rgba", 1, 0},
                                               {"pic.pgm", "", 0, 0},
                                               {"pic48.png", "-pix_fmt rgb48be", 0, 1},
                                               {"pic.gif", "", 0, 0}}) {
        std::string path = dir / c.file;
        Shell("ffmpeg -v error -i " + src + " " + c.options + " '" + path + "'");
        Loaded l = Load(path);
        ASSERT_EQ(l.rc, 0) << c.file;
        EXPECT_EQ(l.alpha, c.alpha) << c.file;
        Picture theirs = FfmpegDecode(path);
        if (!c.alpha) {
            for (uint32_t& px : theirs.pixels) px &= 0xFFFFFF;
        }
        // The GIF reader marks drawn pixels opaque; the file has no alpha channel.
        const bool gif = std::string(c.file) == "pic.gif";
        EXPECT_LE(MaxChannelDiff(l.picture, theirs, !gif), c.tolerance) << c.file;
        bool inbuilt = std::string(c.file) == "pic48.png" || gif;
        EXPECT_EQ(l.kind, gif ? QZ_IMAGE_GIF : inbuilt ? QZ_IMAGE_PNG : QZ_IMAGE_NATIVE) << c.file;
        EXPECT_EQ(l.native, inbuilt ? 0 : 1) << c.file;
    }

    // Loader lists: without "native" an unread format fails, naming the file; with only
    // "native" even a PNG is read by the system codecs.
    ClearErrorArg();
    EXPECT_EQ(Load(dir / "pic.tiff", "inbuilt").rc, ERR_LOADPICTURE2);
    EXPECT_EQ(std::string(GetErrorArgString()), dir / "pic.tiff");
    Loaded png = Load(dir / "pic.png", "native");
    ASSERT_EQ(png.rc, 0);
    EXPECT_EQ(png.kind, QZ_IMAGE_NATIVE);
    EXPECT_EQ(png.picture.pixels, source.pixels);
    WriteFile(dir / "text.txt", "just some words, no picture");
    EXPECT_EQ(Load(dir / "text.txt").rc, ERR_LOADPICTURE2);
    EXPECT_EQ(Examine(dir / "text.txt").rc, ERR_LOADPICTURE2);
    ClearErrorArg();
    EXPECT_EQ(Load(dir / "missing.png").rc, ERR_READFILE);
    EXPECT_EQ(std::string(GetErrorArgString()), dir / "missing.png");
    EXPECT_EQ(Examine(dir / "missing.png").rc, ERR_READFILE);
}

TEST(ImageLoad, ChunkNamesPalettesAndLimits) {
    TempDir dir;
    Picture source = TestPattern(16, 8, 2);
    WriteFile(dir / "src.ppm", PpmBytes(source));
    std::string png = Shell("pnmtopng '" + (dir / "src.ppm") + "'");
    ASSERT_TRUE(RegisterChunkMemory(png.data(), png.size()));
    char name[512];
    MakeChunkName("linked.png", name, sizeof(name), -1, png.size(), 0, png.data());
    for (const char* loaders : {"inbuilt", "native"}) {
        Loaded l = Load(name, loaders);
        ASSERT_EQ(l.rc, 0) << loaders;
        EXPECT_EQ(l.picture.pixels, source.pixels) << loaders;
    }
    UnregisterChunkMemory(png.data());

    // A palette ILBM hands out its palette; the key colour reaches the reader.
    IlbmSpec one;
    one.width = 4;
    one.height = 1;
    one.planes = 1;
    one.cmap = {0x000000, 0xFFFFFF};
    one.indices = {0, 1, 1, 0};
    WriteFile(dir / "one.iff", BuildIlbm(one));
    Loaded ilbm = Load(dir / "one.iff", nullptr, 0x0000FF, QZ_IMAGE_TRANSPARENCY_KEY);
    ASSERT_EQ(ilbm.rc, 0);
    EXPECT_EQ(ilbm.transparent, 0);
    EXPECT_EQ(ilbm.picture.pixels, (std::vector<uint32_t>{0, 0xFF, 0xFF, 0}));
    ASSERT_EQ(ilbm.palette.size(), 256u);
    EXPECT_EQ(ilbm.palette[1], 0xFFu);

    // A PNG too large for a bitmap: out of memory, not an unknown format, and nothing allocated.
    WriteFile(dir / "huge.png", PngHeader(900000, 900000, 2) + PngChunk("IDAT", std::string(20, '\0')));
    EXPECT_EQ(Load(dir / "huge.png", "inbuilt").rc, ERR_MEM);
    EXPECT_EQ(Load(dir / "huge.png").rc, ERR_MEM);  // the system codecs cannot read it either
    Info info = Examine(dir / "huge.png");
    EXPECT_EQ(info.rc, 0);
    EXPECT_EQ(info.width, 900000);
}

namespace {

std::string Hex6(uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof(text), "%06x", colour & 0xFFFFFFu);
    return text;
}

}  // namespace

TEST(ImageLoad, GifFilesGoToTheGifReader) {
    TempDir dir;
    const Picture pattern = TestPattern(5, 3);
    WriteFile(dir / "src.ppm", PpmBytes(pattern));
    Shell("pamtogif '" + (dir / "src.ppm") + "' > '" + (dir / "pic.gif") + "' 2>/dev/null");
    Loaded l = Load(dir / "pic.gif", "inbuilt");
    ASSERT_EQ(l.rc, 0);
    EXPECT_EQ(l.kind, QZ_IMAGE_GIF);
    EXPECT_EQ(l.transparent, -1);
    ASSERT_EQ(l.picture.width, 5);
    for (size_t i = 0; i < pattern.pixels.size(); ++i) EXPECT_EQ(l.picture.pixels[i], pattern.pixels[i] | 0xFF000000u);

    // The transparent colour becomes alpha 0 when an alpha channel is asked for.
    Shell("pamtogif -transparent=#" + Hex6(pattern.pixels[0]) + " '" + (dir / "src.ppm") + "' > '" + (dir / "key.gif") +
          "' 2>/dev/null");
    l = Load(dir / "key.gif", "inbuilt", -1, QZ_IMAGE_TRANSPARENCY_ALPHA);
    ASSERT_EQ(l.rc, 0);
    EXPECT_EQ(l.transparent, -2);
    EXPECT_EQ(l.alpha, 1);
    EXPECT_EQ(l.picture.pixels[0] >> 24, 0u);
    EXPECT_EQ(l.picture.pixels[1], pattern.pixels[1] | 0xFF000000u);

    // A file the reader refuses goes to the system codecs, or fails without them.
    std::string cut = ReadFile(dir / "pic.gif");
    cut.resize(cut.size() / 2);
    WriteFile(dir / "cut.gif", cut);
    EXPECT_EQ(Load(dir / "cut.gif", "inbuilt").rc, ERR_LOADPICTURE2);
    // Information mode reads the GIF header itself.
    EXPECT_EQ(Examine(dir / "pic.gif").width, 5);
}

}  // namespace image_load_test
