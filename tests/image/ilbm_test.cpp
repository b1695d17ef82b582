// IFF ILBM: the ByteRun1 packer, the writer read back by our reader and by ilbmtoppm, netpbm-made
// palette, HAM and deep pictures against ilbmtoppm, extra-half-brite, masks and transparent
// colours, and damaged files.
#include <gtest/gtest.h>

#include <dirent.h>

#include "base/error_codes.h"
#include "image/ilbm.h"
#include "image/ilbm_body.h"
#include "image/image_test_util.h"
#include "platform/os_alloc.h"

namespace ilbm_test {

using namespace imgtest;

namespace {

struct IlbmResult {
    int rc = -1;
    Picture picture;
    int32_t transparent = 12345;
    std::vector<uint32_t> palette;
};

IlbmResult LoadIlbm(const std::string& path, const uint32_t* palette = nullptr, int32_t key = -1, int keyFlag = 0,
                    int alphaFlag = 0) {
    IlbmResult r;
    qzVfsFile* file = OpenRead(path);
    if (!file) return r;
    uint32_t* pixels = nullptr;
    uint32_t* outPalette = nullptr;
    int width = 0, height = 0;
    r.rc = LoadILBM(file, 0, palette, key, keyFlag, alphaFlag, &r.transparent, &width, &height, &pixels, &outPalette);
    VfsClose(file);
    if (r.rc == 0) {
        r.picture = FromWords(pixels, width, height);
        if (outPalette) r.palette.assign(outPalette, outPalette + 256);
    }
    OsFree(pixels);
    OsFree(outPalette);
    return r;
}

std::vector<uint8_t> Pack(const std::vector<uint8_t>& row) {
    std::vector<uint8_t> out(ByteRun1WorstCase(row.size()));
    out.resize(PackByteRun1Row(row.data(), row.size(), out.data()));
    return out;
}

}  // namespace

TEST(IlbmPack, ByteRun1Rows) {
    struct Case {
        const char* what;
        std::vector<uint8_t> row;
        std::vector<uint8_t> packed;
    };
    std::vector<Case> cases = {
        {"one byte", {7}, {0x00, 7}},
        {"128 equal bytes are one run", std::vector<uint8_t>(128, 0x55), {0x81, 0x55}},
        {"130 equal bytes: a run of 128 and one of 2", std::vector<uint8_t>(130, 0x55), {0x81, 0x55, 0xFF, 0x55}},
        {"two equal bytes at the start are a run", {1, 1, 2}, {0xFF, 1, 0x00, 2}},
        {"two equal bytes later stay in the literal", {1, 2, 3, 3}, {0x03, 1, 2, 3, 3}},
        {"three equal bytes end the literal", {1, 2, 3, 3, 3}, {0x01, 1, 2, 0xFE, 3}},
        {"a run then a literal", {9, 9, 9, 1, 2}, {0xFE, 9, 0x01, 1, 2}},
    };
    for (const Case& c : cases) EXPECT_EQ(Pack(c.row), c.packed) << c.what;

    std::vector<uint8_t> distinct(129);
    for (size_t i = 0; i < distinct.size(); ++i) distinct[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> packed = Pack(distinct);
    ASSERT_EQ(packed.size(), 131u);
    EXPECT_EQ(packed[0], 0x7F);
    EXPECT_EQ(packed[129], 0x00);
    EXPECT_EQ(packed[130], 128);
}

TEST(IlbmWrite, SavedPictureReadsBackHereAndInIlbmtoppm) {
    TempDir dir;
    Picture source = TestPattern(37, 9, 5);
    for (uint32_t& c : source.pixels) c |= 0x80000000;  // alpha is not written
    const std::string path = dir / "saved.iff";
    ASSERT_EQ(SaveILBM(path.c_str(), source.pixels.data(), source.width, source.height), 0);
    for (uint32_t& c : source.pixels) c &= 0xFFFFFF;

    IlbmResult back = LoadIlbm(path);
    ASSERT_EQ(back.rc, 0);
    EXPECT_EQ(back.picture.pixels, source.pixels);
    EXPECT_EQ(back.transparent, -1);
    EXPECT_TRUE(back.palette.empty());

    Picture theirs = RunNetpbm("ilbmtoppm '" + path + "' 2>/dev/null");
    EXPECT_EQ(MaxChannelDiff(theirs, source), 0);

    // The form length covers the file; the body length is even-padded.
    std::string bytes = ReadFile(path);
    uint32_t form = static_cast<uint8_t>(bytes[4]) << 24 | static_cast<uint8_t>(bytes[5]) << 16 |
                    static_cast<uint8_t>(bytes[6]) << 8 | static_cast<uint8_t>(bytes[7]);
    EXPECT_EQ(form + 8, bytes.size());
}

TEST(IlbmWrite, FailedSavesLeaveNothingBehind) {
    TempDir dir;
    Picture p = TestPattern(4, 4);
    std::string missing = dir / "no/such/folder.iff";
    EXPECT_EQ(SaveILBM(missing.c_str(), p.pixels.data(), 4, 4), ERR_WRITEFILE);
    EXPECT_EQ(SaveILBM((dir / "zero.iff").c_str(), p.pixels.data(), 0, 4), ERR_BADDIMENSIONS);
    std::vector<uint32_t> wide(70000, 0);
    EXPECT_EQ(SaveILBM((dir / "wide.iff").c_str(), wide.data(), 70000, 1), ERR_WRITEFILE);
    // A directory in the way: the finished file cannot replace it, and the temporary goes.
    std::string folder = dir / "taken";
    Shell("mkdir '" + folder + "'");
    EXPECT_EQ(SaveILBM(folder.c_str(), p.pixels.data(), 4, 4), ERR_WRITEFILE);
    EXPECT_EQ(Shell("ls -A '" + dir.path() + "'"), "taken\n");
}

TEST(IlbmRead, NetpbmPicturesMatchIlbmtoppm) {
    TempDir dir;
    Picture source = TestPattern(45, 13, 9);
    WriteFile(dir / "src.ppm", PpmBytes(source));
    struct Case {
        const char* what;
        std::string make;      // shell command writing the ILBM to stdout
        uint32_t compareMask;  // HAM pictures: the bits HAM stores (ilbmtoppm fills the low bits)
    };
    const std::string src = "'" + (dir / "src.ppm") + "'";
    std::vector<Case> cases = {
        {"4 planes, packed", "pnmquant 16 " + src + " | ppmtoilbm", 0xFFFFFF},
        {"4 planes, raw", "pnmquant 16 " + src + " | ppmtoilbm -nocompress", 0xFFFFFF},
        {"1 plane", "pnmquant 2 " + src + " | ppmtoilbm", 0xFFFFFF},
        {"8 planes", "pnmquant 200 " + src + " | ppmtoilbm", 0xFFFFFF},
        {"24 planes, packed", "ppmtoilbm -24force " + src, 0xFFFFFF},
        {"24 planes, raw", "ppmtoilbm -24force -nocompress " + src, 0xFFFFFF},
        {"HAM6", "ppmtoilbm -ham6 -hamforce " + src, 0xF0F0F0},
        {"HAM8", "ppmtoilbm -ham8 -hamforce " + src, 0xFCFCFC},
    };
    for (const Case& c : cases) {
        std::string path = dir / "pic.iff";
        Shell("(" + c.make + ") > '" + path + "' 2>/dev/null");
        IlbmResult ours = LoadIlbm(path);
        ASSERT_EQ(ours.rc, 0) << c.what;
        Picture theirs = RunNetpbm("ilbmtoppm '" + path + "' 2>/dev/null");
        ASSERT_EQ(theirs.width, 45) << c.what;
        for (uint32_t& px : theirs.pixels) px &= c.compareMask;
        for (uint32_t& px : ours.picture.pixels) px &= c.compareMask;
        EXPECT_EQ(ours.picture.pixels, theirs.pixels) << c.what;
        if (c.compareMask == 0xFFFFFF && std::string(c.what).find("24") != std::string::npos) {
            EXPECT_EQ(ours.picture.pixels, source.pixels) << c.what;
        }
    }
}

TEST(IlbmRead, ExtraHalfBriteAndHamEdges) {
    TempDir dir;
    IlbmSpec ehb;
    ehb.width = 64;
    ehb.height = 1;
    ehb.planes = 6;
    ehb.camg = 0x80;
    for (int i = 0; i < 32; ++i) ehb.cmap.push_back(static_cast<uint32_t>(i * 8) << 16 | 0xF0F0);
    for (int i = 0; i < 64; ++i) ehb.indices.push_back(static_cast<uint8_t>(i));
    WriteFile(dir / "ehb.iff", BuildIlbm(ehb));
    IlbmResult r = LoadIlbm(dir / "ehb.iff");
    ASSERT_EQ(r.rc, 0);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(r.picture.At(i, 0), ehb.cmap[i]);
        EXPECT_EQ(r.picture.At(i + 32, 0), (ehb.cmap[i] >> 1) & 0x7F7F7F) << i;
    }
    EXPECT_EQ(MaxChannelDiff(r.picture, RunNetpbm("ilbmtoppm '" + (dir / "ehb.iff") + "' 2>/dev/null")), 0);

    // HAM6: a row that starts by modifying red has green and blue 0; control 0 takes the palette.
    IlbmSpec ham;
    ham.width = 4;
    ham.height = 1;
    ham.planes = 6;
    ham.camg = 0x800;
    ham.cmap = std::vector<uint32_t>(16, 0x102030);
    ham.indices = {0x2F, 0x3A, 0x15, 0x01};
    WriteFile(dir / "ham.iff", BuildIlbm(ham));
    r = LoadIlbm(dir / "ham.iff");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.picture.pixels, (std::vector<uint32_t>{0xF00000, 0xF0A000, 0xF0A050, 0x102030}));
    EXPECT_TRUE(r.palette.empty());
}

TEST(IlbmRead, TransparencyChoices) {
    TempDir dir;
    IlbmSpec one;
    one.width = 4;
    one.height = 1;
    one.planes = 1;
    one.cmap = {0x000000, 0xFFFFFF};
    one.indices = {0, 1, 1, 0};
    WriteFile(dir / "one.iff", BuildIlbm(one));
    // A 1-plane picture loaded with a key colour: colour 0 is transparent, set pixels get the key.
    IlbmResult r = LoadIlbm(dir / "one.iff", nullptr, 0x00FF00, 1, 0);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.transparent, 0);
    EXPECT_EQ(r.picture.pixels, (std::vector<uint32_t>{0, 0x00FF00, 0x00FF00, 0}));
    EXPECT_EQ(LoadIlbm(dir / "one.iff").transparent, -1);
    // Asked for transparency without a key colour, set pixels become white, not a word with alpha.
    EXPECT_EQ(LoadIlbm(dir / "one.iff", nullptr, -1, 1, 0).picture.At(1, 0), 0xFFFFFFu);

    // Masking by transparent colour: the first unused colour from 0xA8A8A8 in steps of 15 stands
    // for the transparent index.
    IlbmSpec masked;
    masked.width = 4;
    masked.height = 1;
    masked.planes = 2;
    masked.masking = 2;
    masked.transparentIndex = 3;
    masked.cmap = {0xA8A8A8, 0x112233, 0x445566, 0x778899};
    masked.indices = {0, 1, 2, 3};
    WriteFile(dir / "masked.iff", BuildIlbm(masked));
    r = LoadIlbm(dir / "masked.iff", nullptr, -1, 1, 0);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.transparent, 0xA8A8B7);
    EXPECT_EQ(r.picture.pixels, (std::vector<uint32_t>{0xA8A8A8, 0x112233, 0x445566, 0xA8A8B7}));
    ASSERT_EQ(r.palette.size(), 256u);
    EXPECT_EQ(r.palette[3], 0xA8A8B7u);
    // Without masking 2 a picture of several planes has no transparent colour.
    masked.masking = 0;
    WriteFile(dir / "plain.iff", BuildIlbm(masked));
    EXPECT_EQ(LoadIlbm(dir / "plain.iff", nullptr, -1, 1, 0).transparent, -1);
    // A transparent index past the palette marks no pixel and writes nothing out of bounds.
    masked.masking = 2;
    masked.transparentIndex = 300;
    WriteFile(dir / "far.iff", BuildIlbm(masked));
    r = LoadIlbm(dir / "far.iff", nullptr, -1, 1, 0);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.transparent, 0xA8A8B7);
    EXPECT_EQ(r.picture.At(3, 0), 0x778899u);

    // A caller palette replaces the file's first entries; the rest come from the file, and the
    // caller's table is not written.
    const uint32_t callerPalette[] = {0x0000FF, 0x00FF00, 0xFFFFFFFF};
    masked.transparentIndex = 0;
    masked.masking = 0;
    WriteFile(dir / "caller.iff", BuildIlbm(masked));
    r = LoadIlbm(dir / "caller.iff", callerPalette);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.picture.pixels, (std::vector<uint32_t>{0x0000FF, 0x00FF00, 0x445566, 0x778899}));
    EXPECT_EQ(callerPalette[2], 0xFFFFFFFFu);
}

TEST(IlbmRead, MaskPlanesAndOddBodies) {
    TempDir dir;
    IlbmSpec spec;
    spec.width = 20;
    spec.height = 3;
    spec.planes = 3;
    spec.cmap = {0, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777};
    for (int i = 0; i < 60; ++i) spec.indices.push_back(static_cast<uint8_t>(i * 5 % 8));
    WriteFile(dir / "plain.iff", BuildIlbm(spec));
    IlbmResult plain = LoadIlbm(dir / "plain.iff");
    ASSERT_EQ(plain.rc, 0);
    EXPECT_EQ(plain.picture.At(1, 0), 0x555555u);
    for (int compression : {0, 1}) {
        spec.masking = 1;
        spec.compression = compression;
        WriteFile(dir / "mask.iff", BuildIlbm(spec));
        IlbmResult r = LoadIlbm(dir / "mask.iff");
        ASSERT_EQ(r.rc, 0) << compression;
        EXPECT_EQ(r.picture.pixels, plain.picture.pixels) << compression;
    }

    // ByteRun1 with a no-op control byte (0x80) and a run that would pass the row end: the run
    // stops at the row end and the data goes on with the next row.
    IlbmSpec packed;
    packed.width = 16;
    packed.height = 2;
    packed.planes = 1;
    packed.compression = 1;
    packed.cmap = {0x000000, 0xFFFFFF};
    packed.body = std::string("\x80\xFD\xFF", 3) + std::string("\x01\x00\xFF", 3);
    WriteFile(dir / "packed.iff", BuildIlbm(packed));
    IlbmResult r = LoadIlbm(dir / "packed.iff");
    ASSERT_EQ(r.rc, 0);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(r.picture.At(x, 0), 0xFFFFFFu) << x;
        EXPECT_EQ(r.picture.At(x, 1), x < 8 ? 0u : 0xFFFFFFu) << x;
    }
}

TEST(IlbmRead, DamagedFilesFailCleanly) {
    TempDir dir;
    IlbmSpec good;
    good.width = 16;
    good.height = 4;
    good.planes = 2;
    good.cmap = {0, 0x111111, 0x222222, 0x333333};
    good.indices.assign(64, 2);
    std::string goodFile = BuildIlbm(good);
    struct Case {
        const char* what;
        std::string bytes;
        int rc;
    };
    auto with = [&](auto change) {
        IlbmSpec s = good;
        change(s);
        return BuildIlbm(s);
    };
    std::string noBmhd = goodFile;
    noBmhd.replace(noBmhd.find("BMHD"), 4, "XXXX");
    std::string noBody = goodFile;
    noBody.replace(noBody.find("BODY"), 4, "XXXX");
    std::vector<Case> cases = {
        {"no BMHD", noBmhd, ERR_LOADPICTURE2},
        {"no BODY", noBody, ERR_LOADPICTURE2},
        {"no CMAP", with([](IlbmSpec& s) { s.cmap.clear(); }), ERR_LOADPICTURE2},
        {"12 planes", with([](IlbmSpec& s) {
             s.planes = 12;
             s.indices.assign(64, 0);
         }),
         ERR_LOADPICTURE2},
        {"0 planes", with([](IlbmSpec& s) { s.planes = 0; }), ERR_LOADPICTURE2},
        {"short raw body", goodFile.substr(0, goodFile.size() - 5), ERR_LOADPICTURE2},
        {"short packed body", with([](IlbmSpec& s) {
             s.compression = 1;
             s.body = std::string("\x01\x00", 2);
         }),
         ERR_LOADPICTURE2},
        {"a huge picture with a tiny body", with([](IlbmSpec& s) {
             s.width = 60000;
             s.height = 60000;
             s.compression = 1;
             s.body = "\x81";
         }),
         ERR_LOADPICTURE2},
        {"zero width", with([](IlbmSpec& s) {
             s.width = 0;
             s.body = "x";
         }),
         ERR_LOADPICTURE2},
        {"a CMAP of 300 entries", with([](IlbmSpec& s) { s.cmap.assign(300, 0x222222); }), 0},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "bad.iff", c.bytes);
        EXPECT_EQ(LoadIlbm(dir / "bad.iff").rc, c.rc) << c.what;
    }

    // Information mode reads just the header.
    WriteFile(dir / "info.iff", goodFile.substr(0, 60));
    qzVfsFile* file = OpenRead(dir / "info.iff");
    int width = 0, height = 0;
    EXPECT_EQ(LoadILBM(file, 1, nullptr, -1, 0, 0, nullptr, &width, &height, nullptr, nullptr), 0);
    VfsClose(file);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 4);
}

}  // namespace ilbm_test
