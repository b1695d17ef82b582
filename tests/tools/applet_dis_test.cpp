// Applet containers through the disassembler: written applets, record layouts at every format
// version (checked against the player's own container reader), damaged and odd containers, packed
// ones, and the applet linked into a player. Every one must come back byte for byte.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "base/error_codes.h"
#include "player/applet_container.h"
#include "player/container_builder.h"
#include "tools/asm_test_util.h"

namespace applet_dis_test {

namespace {

const char* kCode = ".function main\n  .label Start\n  LOADNIL r0 r0\n  .label go\n  RETURN r0 1\n.end\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Disassembles, expects no error, the same bytes back and a text that prints the same again.
std::string ExpectStableRoundTrip(const std::vector<uint8_t>& bytes) {
    std::string text = ExpectRoundTrip(bytes);
    std::vector<uint8_t> again = Assemble(text);
    EXPECT_EQ(QzDisassemble(again.data(), again.size(), nullptr), text);
    return text;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Container bytes, the part of the reported reason (empty: everything decodes) and a part of the
// printed text.
struct ByteCase {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* why;
    const char* printed;
};

template <size_t N>
void ExpectCases(const ByteCase (&cases)[N]) {
    for (const ByteCase& c : cases) {
        std::string error;
        std::string text = QzDisassemble(c.bytes.data(), c.bytes.size(), &error);
        EXPECT_TRUE(*c.why ? Has(error, c.why) : error.empty()) << c.what << ": " << error;
        EXPECT_TRUE(Has(text, c.printed)) << c.what << ":\n" << text;
        ExpectRoundTrip(c.bytes, !*c.why);
    }
}

// Packs a plain container as a packed applet: "QZZ\0", a word, a zlib stream with the given
// parameters.
std::vector<uint8_t> Pack(const std::vector<uint8_t>& plain, int level = Z_DEFAULT_COMPRESSION, int windowBits = 15,
                          uint32_t word = 0) {
    z_stream z;
    memset(&z, 0, sizeof z);
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> out(8 + deflateBound(&z, plain.size()));
    memcpy(out.data(), "QZZ\0", 4);
    for (int k = 0; k < 4; k++) out[4 + k] = (uint8_t)(word >> (24 - 8 * k));
    z.next_in = const_cast<Bytef*>(plain.data());
    z.avail_in = (uInt)plain.size();
    z.next_out = out.data() + 8;
    z.avail_out = (uInt)(out.size() - 8);
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(8 + z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

TEST(AppletDisassembler, WrittenAppletsComeBackAsTheirText) {
    const std::string rich =
        std::string(
            ".applet\n"
            ".record 10 u8 6 u8 0\n"
            ".record 0 i32 8 mark picname cstr \"pic.png\"\n"
            ".record 2 i32 1 u8 1 i32 1 offset picname i32 8 i32 0 i32 0 i32 -1 i32 0 i32 5 str16 \"\" str16 \"\" "
            "i16 0 i16 0 i16 0 i16 0 i16 -1 u8 0 i32 0 i32 0 i32 0 i32 0\n"
            ".record 26 i32 2 i32 0 cstr \"data.txt\" i32 8 bytes \"Linked!\\n\" cstr \"far.bin\" i32 -1 i32 3 "
            "offset inner\n"
            ".record 0 i32 6 bytes \"ab\" mark inner bytes \"\\x01\\x02\\x03\\x04\"\n") +
        kCode + ".after hex 0000 u8 0x49 u16 0 i16 16 i16 16 u8 2 u32 3 bytes \"abc\" i16 0\n";
    struct Case {
        std::string text;
        std::vector<std::string> expected;  // parts of the printed text
    } cases[] = {
        {ReadFile(std::string(QZ_SOURCE_DIR) + "/demos/demo.qzs"), {".record 11 cstr \"Quarnelix demo\"   ; title"}},
        // Offsets become marks, player labels .label lines, the icon block its fields.
        {rich,
         {".record 0 i32 8 mark m1 bytes \"pic.png\\0\"", "i32 1 offset m1 i32 8", "i32 -1 i32 3 offset m2",
          "bytes \"ab\" mark m2 hex 01020304", ".label Start\n  LOADNIL", ".label go\n  RETURN",
          ".after i16 16 i16 16 u8 2 u32 3   ; icon\n.after hex 616263\n.after i16 0"}},
        {Replace(rich, ".applet\n", ".applet packed\n") + ".inside hex 00FF\n",
         {".applet packed\n", ".label go", ".inside hex 00FF\n.after hex 0000\n"}},
        {Replace(rich, ".applet\n", ".applet packed level 1 word 0xC0DE\n"), {".applet packed level 1 word 0xC0DE\n"}},
        // Labels the main function cannot hold stay a record: out of order, beyond the code, odd
        // names, an empty list, and a labels record that is not the last one.
        {std::string(".applet\n.record 9 i32 2 i32 1 cstr \"b\" i32 0 cstr \"a\"\n") + kCode, {".record 9 i32 2"}},
        {std::string(".applet\n.record 9 i32 1 i32 3 cstr \"end\"\n") + kCode, {".record 9 i32 1 i32 3"}},
        {std::string(".applet\n.record 9 i32 1 i32 0 cstr \"two words\"\n") + kCode, {"cstr \"two words\""}},
        {std::string(".applet\n.record 9 i32 0\n") + kCode, {".record 9 i32 0   ; labels"}},
        {std::string(".applet\n.record 9 i32 1 i32 0 cstr \"x\"\n.record 7\n") + kCode,
         {".record 9 i32 1 i32 0 cstr \"x\""}},
    };
    for (const Case& c : cases) {
        std::string text = ExpectStableRoundTrip(Assemble(c.text));
        for (const std::string& part : c.expected) EXPECT_TRUE(Has(text, part)) << part << "\n" << text;
    }
}

namespace {

// Directive fields and records whose layout depends on the format version, written the way the
// player reads them at version major.minor (0.0 when there is no tag 10).
struct VersionWriter {
    int major, minor;
    bool From(int a, int b) const { return major > a || (major == a && minor >= b); }

    void Gradient(ByteBuilder& b) const {
        b.u8(1).i32(100).i32(200).i32(300).i32(400).u8(2).i32(0xFF).i32(0).i32(0xFF00).i32(1000000);
    }
    void Backfill(ByteBuilder& b) const {
        b.u8(4).i32(5).i32(6).i32(7).i32(0x111111).i32(0x222222);
        if (!(major == 3 && (minor == 0 || minor == 1))) {
            if (major >= 3) b.u8(1);
            if (From(6, 0)) b.u8(1);
        }
    }
    void Head(ByteBuilder& b, int type) const {
        b.u8(type).i32(1).i32(0).i32(0).i32(0).i32(0).i32(-1).i32(0).i32(7);
        if (From(6, 0)) b.str16("inbuilt").str16("");
    }
    // One directive of every type, in type order.
    void Directives(ByteBuilder& b) const {
        b.u8(2).i32(14);
        Head(b, 0);  // BGPIC
        if (From(4, 7)) b.u8(2).i32(1).i32(2).i16(45).i32(3).i32(4).i32(5);
        if (From(5, 0)) Gradient(b);
        if (From(5, 3)) b.i32(8).i32(9).i32(1);
        Head(b, 1);  // BRUSH
        b.i16(1).i16(2).i16(3).i16(4).i16(-1);
        if (From(5, 0)) b.u8(1);
        if (From(5, 3)) b.i32(1).i32(2).i32(3);
        if (From(6, 0)) b.i32(2);
        Head(b, 2);  // ANIM
        if (From(3, 0)) b.u8(1);
        if (From(4, 1)) b.i16(1).i16(2).i16(3).i16(4).i16(5).i16(6);
        if (From(5, 3)) b.u8(1).u8(0);
        for (int type : {3, 4}) Head(b, type);
        Head(b, 5);  // BUTTON
        b.i16(1).i16(2).i16(3).i16(4);
        Head(b, 6);
        Head(b, 7);  // SPRITE
        b.i16(1).i16(2).i16(3).i16(4).i16(5).i16(6);
        for (int type : {8, 9}) Head(b, type);
        Head(b, 10);  // DISPLAY
        b.i32(0).i32(1).i32(2).i32(300).i32(200).i32(0xFF).i32(1).i32(0).i32(0).i32(0);
        b.i32(1).i32(0).i32(0).i32(0).i32(300).i32(20).i32(0).str16("Display");
        if (From(4, 7)) b.u8(2).i32(0xFF00).i16(90).i32(0).i32(0).i32(0);
        if (From(5, 0)) Gradient(b);
        if (From(5, 2)) b.str16("unused");
        if (From(5, 3)) b.u8(1);
        if (From(6, 0)) {
            b.u8(0).u8(1).i32(7).u8(2).u8(0).i16(800).i16(600).u8(32).u8(1);
            Backfill(b);
            b.str16("").str16("").str16("");
        }
        Head(b, 11);
        Head(b, 12);  // plugin requirement
        if (From(6, 0)) b.i32(2).i32(10).cstr("depth").u8(0).f64(2.5).i32(10).cstr("mode").u8(1).cstr("fast");
        Head(b, 13);  // MENU: File with a sub-menu holding Open, then Quit
        b.str16("File").str16("").str16("").i32(0).u8(2);
        b.str16("Open").str16("open").str16("o").i32(1).u8(0);
        b.u8(1).str16("Quit").str16("quit").str16("q").i32(0).u8(0);
    }
};

ByteBuilder VersionContainer(int major, int minor, const std::vector<uint8_t>& chunk) {
    VersionWriter w{major, minor};
    ByteBuilder b;
    b.raw(std::string("QZA\0", 4));
    if (major || minor) b.u8(10).u8(major).u8(minor);
    b.u8(11)
        .cstr("Title")
        .u8(12)
        .raw(
            "\xFF"
            "1.0")
        .u8(0)
        .u8(13)
        .cstr("(c)")
        .u8(14)
        .cstr("me")
        .u8(15)
        .cstr("demo");
    b.u8(29).u8(0).i32(3);
    size_t abc = b.size();
    b.raw("abc").u8(4).str16("Win").u8(3).i16(320).i16(200).u8(5).i32(0x123456);
    b.u8(6).i32(10).i32(20).u8(7);
    for (int tag : {16, 18, 19, 20, 21, 23, 24, 25, 30}) b.u8(tag).u8(1);
    b.u8(17);
    w.Backfill(b);
    b.u8(22).i16(1024).i16(768).u8(28).u8(1).i32(640).i32(480).u8(1);
    b.u8(8).i32(1).i32(1).i32(10).i32(100).cstr("inc.qzs");
    b.u8(27).i32(1).i32(11).i32(20).i32(200).cstr("lib.qzs").cstr("/other.qza");
    b.u8(33).i32(1).i32(21).i32(30).i32(300).xstr("secret.qzs").xstr("/hidden.qza");
    b.u8(31).cstr("PI2").u8(0).f64(6.25).cstr("NAME").u8(1).cstr("Quarnelix").u8(0);
    b.u8(32).i32(3);
    if (w.From(6, 0)) b.i32(7).i32(8).u8(9);
    b.u8(26)
        .i32(3)
        .i32(0)
        .cstr("one.txt")
        .i32(5)
        .raw("HELLO")
        .cstr("two.bin")
        .i32(-1)
        .i32(2)
        .i32((int64_t)abc + 1)
        .cstr("gone")
        .i32(-2);
    w.Directives(b);
    b.u8(11).cstr("after the directives");
    b.u8(9).i32(1).i32(1).cstr("go");
    b.u8(1).i32((int64_t)chunk.size()).raw(chunk);
    return b;
}

}  // namespace

TEST(AppletDisassembler, RecordLayoutsAtEveryFormatVersion) {
    // The player's reader takes each container; the disassembler must split it into the same
    // records, so that the record behind the directives is read as one.
    std::vector<uint8_t> chunk = Assemble(".function main\n  LOADNIL r0 r0\n  RETURN r0 1\n.end\n");
    const int versions[][2] = {{0, 0}, {3, 0}, {3, 1}, {4, 1}, {4, 7}, {5, 0}, {5, 2}, {5, 3}, {6, 0}};
    for (const auto& v : versions) {
        ByteBuilder b = VersionContainer(v[0], v[1], chunk);
        qzPlayerContext context;
        qzAppletDescriptor applet;
        ASSERT_EQ(ReadAppletContainerData(b.bytes.data(), b.size(), "/t.qza", &context, &applet), 0)
            << v[0] << "." << v[1];
        ASSERT_EQ(applet.directives.size(), 15u);  // with display 1, made by the display tags
        std::string text = ExpectStableRoundTrip(b.bytes);
        EXPECT_TRUE(Has(text,
                        "; 14 directives: BGPIC BRUSH ANIM MUSIC SAMPLE BUTTON KEYDOWN SPRITE FILE FONT DISPLAY "
                        "VIDEO PLUGIN MENU\n.record 11 cstr \"after the directives\""))
            << v[0] << "." << v[1] << "\n"
            << text;
        EXPECT_TRUE(Has(text, ".record 17 u8 4 i32 5")) << text;
        EXPECT_TRUE(Has(text, ".record 0 i32 3 bytes \"a\" mark m1 bytes \"bc\"")) << text;
        EXPECT_TRUE(Has(text, "cstr \"two.bin\" i32 -1 i32 2 offset m1")) << text;
        EXPECT_TRUE(Has(text, ".label go\n  RETURN")) << text;
    }
}

TEST(AppletDisassembler, DamagedContainersKeepTheirBytes) {
    // What decodes is printed as records, the rest raw; the reason names the place.
    std::vector<uint8_t> chunk = Assemble(".function main\n  RETURN r0 1\n.end\n");
    auto plain = [](const std::function<void(ByteBuilder&)>& body) {
        ByteBuilder b;
        b.raw(std::string("QZA\0", 4));
        body(b);
        return b.bytes;
    };
    const ByteCase cases[] = {
        {"unknown tag", plain([](ByteBuilder& b) { b.u8(11).cstr("t").u8(34).u8(1); }), "unknown record tag 34",
         ".record 11 cstr \"t\"   ; title\n.record 34 hex 01   ; does not decode\n.truncate 9\n"},
        {"no bytecode", plain([](ByteBuilder& b) { b.u8(11).cstr("t"); }), "ends where a record tag is expected",
         ".record 11 cstr \"t\""},
        {"magic only", plain([](ByteBuilder&) {}), "ends where a record tag is expected", ".truncate 4"},
        {"bytecode longer than the file", plain([](ByteBuilder& b) { b.u8(1).i32(0x7FFFFFFF).raw("abc"); }),
         "bytecode record beyond the end", ".record 1 hex 7FFFFFFF616263"},
        {"negative skip", plain([](ByteBuilder& b) { b.u8(0).i32(-5); }), "negative length", ".record 0 hex FFFFFFFB"},
        {"negative str16", plain([](ByteBuilder& b) { b.u8(4).i16(-3).u8(1); }), "negative string length", ".record 4"},
        {"unterminated text", plain([](ByteBuilder& b) { b.u8(12).raw("abc"); }), "unterminated cstr",
         ".record 12 hex"},
        {"directive type 14",
         plain([](ByteBuilder& b) { b.u8(2).i32(1).u8(14).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0); }),
         "unknown directive type 14", ".record 2 hex"},
        {"menu nested too deep", plain([](ByteBuilder& b) {
             b.u8(2).i32(1).u8(13).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0);
             for (int i = 0; i < 300; i++) b.i16(0).i16(0).i16(0).i32(0).u8(2);
         }),
         "menu nested too deeply", ".record 2 hex"},
        {"huge label count", plain([](ByteBuilder& b) { b.u8(9).i32(0x7FFFFFF0).i32(1).cstr("x"); }), "unexpected end",
         ".record 9 hex"},
        {"odd name and data offsets", plain([&](ByteBuilder& b) {
             // Offsets into the middle of a number, outside the container, and at its first tag.
             b.u8(2).i32(2).u8(3).i32(1).i32(2).i32(5).i32(1000).i32(4).i32(-1).i32(0).i32(0);
             b.u8(8).i32(1).i32(4).i32(1).i32(1).i32(1).i32(-1).i32(0).i32(0);
             b.u8(1).i32((int64_t)chunk.size()).raw(chunk);
         }),
         "", "u8 3 i32 1 i32 2 i32 5 i32 1000 i32 4"},
        {"cut-off icon block", plain([&](ByteBuilder& b) {
             b.u8(1).i32((int64_t)chunk.size()).raw(chunk);
             b.u8('I').u8(0).u8(0).i16(16).i16(16).u8(0).i32(100).raw("short");
         }),
         "", ".after bytes \"I\" u16 0   ; icon block\n.after hex 00100010000000006473686F7274\n"},
        {"bytes behind the icon block", plain([&](ByteBuilder& b) {
             b.u8(1).i32((int64_t)chunk.size()).raw(chunk);
             b.u8('I').u8(0).u8(0).i16(0).raw("more");
         }),
         "", ".after i16 0   ; end of the icon block\n.after hex 6D6F7265\n"},
        {"bytecode that is no chunk",
         plain([](ByteBuilder& b) { b.u8(9).i32(1).i32(0).cstr("a").u8(1).i32(4).raw("CODE"); }),
         "bytecode: chunk shorter than its header",
         "; the bytecode does not decode as a chunk: chunk shorter than its header at byte 0\n.rawchunk\n.applet\n"
         ".record 9 i32 1 i32 0 cstr \"a\"   ; labels\n.hex 43 4F 44 45\n"},
    };
    ExpectCases(cases);
}

TEST(AppletDisassembler, EveryCutAndChangedByteComesBack) {
    // Cut anywhere, or with bytes changed: the text gives the same bytes back, and wherever the
    // player's reader takes the container, the disassembler decodes all of its records too.
    std::vector<uint8_t> chunk = Assemble(".function main\n  RETURN r0 1\n.end\n");
    std::vector<uint8_t> full = VersionContainer(6, 0, chunk).bytes;
    for (size_t n = 4; n <= full.size(); n++) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + n);
        ExpectRoundTrip(cut, n == full.size());
        if (HasFailure()) FAIL() << "cut at " << n;
    }
    std::mt19937 rng(2024);
    int accepted = 0;
    for (int i = 0; i < 400; i++) {
        std::vector<uint8_t> bytes = full;
        for (int k = (int)(rng() % 3); k >= 0; k--) bytes[4 + rng() % (bytes.size() - 4)] = (uint8_t)rng();
        std::string error;
        std::string text = QzDisassemble(bytes.data(), bytes.size(), &error);
        EXPECT_EQ(Assemble(text), bytes) << text;
        qzPlayerContext context;
        qzAppletDescriptor applet;
        if (ReadAppletContainerData(bytes.data(), bytes.size(), "/t.qza", &context, &applet) == 0) {
            accepted++;
            EXPECT_FALSE(Has(text, "not a complete applet container")) << error << "\n" << text;
        }
        if (HasFailure()) FAIL() << "change " << i;
    }
    EXPECT_GT(accepted, 50);
}

TEST(AppletDisassembler, PackedContainers) {
    std::vector<uint8_t> plain = Assemble(std::string(".applet\n.record 11 cstr \"P\"\n") + kCode);
    std::vector<uint8_t> withTail = plain;
    withTail.push_back(0);
    std::vector<uint8_t> notContainer = {'Q', 'Z', 'P', 'K', 0, 1};
    std::vector<uint8_t> damaged = Pack(plain);
    damaged[12] ^= 0x55;
    std::vector<uint8_t> cut = Pack(plain);
    cut.resize(cut.size() - 6);
    std::vector<uint8_t> behind = Pack(plain);
    behind.insert(behind.end(), {0, 'I', 0, 0, 0, 0});
    std::vector<uint8_t> incomplete(plain.begin(), plain.end() - 3);
    const ByteCase cases[] = {
        {"default level", Pack(plain), "", ".applet packed\n"},
        {"level 1 and a word", Pack(plain, 1, 15, 0xFEEDF00D), "", ".applet packed level 1 word 0xFEEDF00D\n"},
        {"stored", Pack(plain, 0), "", ".applet packed level 0\n"},
        {"bytes inside behind the bytecode", Pack(withTail), "", ".inside hex 00\n"},
        {"bytes behind the packed data", behind, "", ".after hex 00\n.after bytes \"I\" u16 0"},
        {"another window size", Pack(plain, Z_DEFAULT_COMPRESSION, 10), "at any level", ".rawchunk\n.hex 51 5A 5A 00"},
        {"damaged stream", damaged, "does not unpack", ".rawchunk"},
        {"stream cut short", cut, "does not unpack (zlib: the stream is cut short)", ".rawchunk"},
        {"no plain container inside", Pack(notContainer), "not a plain container", ".rawchunk"},
        {"damaged container inside", Pack(incomplete), "the packed container: bytecode record beyond", ".rawchunk"},
        {"header only", {'Q', 'Z', 'Z', 0, 0, 0}, "shorter than its header", ".rawchunk"},
    };
    ExpectCases(cases);
    std::string error;
    EXPECT_TRUE(QzAssemble(std::string(".applet\n.inside hex 00\n") + kCode, AsmOptions(), &error).empty());
    EXPECT_TRUE(Has(error, "line 2: .inside needs a packed container")) << error;
    EXPECT_TRUE(QzAssemble(std::string(".applet packed level 10\n") + kCode, AsmOptions(), &error).empty());
    EXPECT_TRUE(Has(error, "line 1: level 10 out of range 0..9")) << error;
}

TEST(AppletDisassembler, FuzzSeedContainers) {
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QZ_SOURCE_DIR) + "/fuzz/corpus/container_fuzz")) {
        std::string bytes = ReadFile(entry.path());
        std::string text = QzDisassemble((const uint8_t*)bytes.data(), bytes.size(), nullptr);
        EXPECT_EQ(Assemble(text), std::vector<uint8_t>(bytes.begin(), bytes.end())) << entry.path() << "\n" << text;
        files++;
    }
    EXPECT_GT(files, 0);
}

TEST(AppletDisassembler, ToolReadsTheAppletLinkedIntoAPlayer) {
    const std::string bin = std::string(QZ_BINARY_DIR) + "/bin/";
    char dir[] = "/tmp/qzdis_linkedXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    std::string out;
    std::ofstream(d + "/a.qzs") << ".applet packed\n.record 11 cstr \"Linked\"\n" << kCode;
    ASSERT_EQ(Shell(bin + "qzasm " + d + "/a.qzs -o " + d + "/a.qza", &out), 0);
    ASSERT_EQ(Shell(bin + "qzlink " + bin + "qzplayer " + d + "/a.qza -o " + d + "/linked", &out), 0);

    ASSERT_EQ(Shell(bin + "qzdis " + d + "/linked > " + d + "/b.qzs", &out), 0);
    EXPECT_TRUE(Has(ReadFile(d + "/b.qzs"), "; the applet linked into " + d + "/linked at byte "));
    ASSERT_EQ(Shell(bin + "qzasm " + d + "/b.qzs -o " + d + "/b.qza", &out), 0);
    EXPECT_EQ(ReadFile(d + "/b.qza"), ReadFile(d + "/a.qza"));
    // The plain applet file prints the same, without the note.
    ASSERT_EQ(Shell(bin + "qzdis " + d + "/a.qza", &out), 0);
    EXPECT_EQ("; the applet linked into " + d + "/linked at byte " + std::to_string(ReadFile(bin + "qzplayer").size()) +
                  "\n" + out,
              ReadFile(d + "/b.qzs"));

    EXPECT_EQ(Shell(bin + "qzdis " + bin + "qzplayer 2>&1", &out), 1);
    EXPECT_TRUE(Has(out, "neither a chunk nor an applet, and no applet is linked into it")) << out;
    EXPECT_EQ(Shell(bin + "qzdis " + d + "/missing 2>&1", &out), 1);
    EXPECT_TRUE(Has(out, "qzdis: cannot read " + d + "/missing")) << out;
    EXPECT_EQ(system(("rm -rf " + d).c_str()), 0);
}

}  // namespace applet_dis_test
