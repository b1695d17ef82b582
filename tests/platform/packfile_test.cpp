#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/oracle.h"
#include "platform/packfile.h"

namespace packfile_test {

using namespace libtest;

namespace {

// Text-like data that compresses, with a few random bytes mixed in.
std::string Sample(size_t n, uint32_t seed) {
    std::string r = RandomBytes(n, seed);
    for (size_t i = 0; i < n; i++)
        if (i % 7) r[i] = "the quick brown fox "[(i / 3) % 20];
    return r;
}

int Unpack(const std::string& src, const std::string& dst, uint64_t* size = nullptr, uint64_t* consumed = nullptr) {
    return DecompressFileContainer(qzPackMagic, src.c_str(), dst.c_str(), 0, size, consumed, nullptr, 0);
}

}  // namespace

TEST(PackFile, PackedFilesUnpackWithPythonZlib) {
    TempDir dir;
    const size_t sizes[] = {0, 1, 16383, 16384, 16385, 100000};
    std::string args;
    for (size_t n : sizes) {
        std::string name = dir.File("s" + std::to_string(n));
        WriteFile(name, n == 100000 ? RandomBytes(n, 3) : Sample(n, (uint32_t)n));
        uint64_t size = 0;
        ASSERT_EQ(CompressFileContainer(qzPackMagic, name.c_str(), (name + ".pak").c_str(), &size), 0) << n;
        EXPECT_EQ(size, ReadFile(name + ".pak").size()) << n;
        args += " " + name;
    }
    std::string out = Python(R"PY(
import sys, zlib
for p in sys.argv[1:]:
    d = open(p + '.pak', 'rb').read()
    ok = d[:8] == b'QZPK\0\0\0\0' and zlib.decompress(d[8:]) == open(p, 'rb').read()
    # default level, 32K window: the header is 0x78 0x9c
    print(ok and d[8:10] == b'\x78\x9c')
)PY",
                             args);
    EXPECT_EQ(out, "True\nTrue\nTrue\nTrue\nTrue\nTrue\n");
    // And back.
    for (size_t n : sizes) {
        std::string name = dir.File("s" + std::to_string(n));
        uint64_t size = 99;
        ASSERT_EQ(Unpack(name + ".pak", name + ".out", &size), 0) << n;
        EXPECT_EQ(size, n);
        EXPECT_EQ(ReadFile(name + ".out"), ReadFile(name)) << n;
    }
}

TEST(PackFile, UnpacksPythonStreams) {
    TempDir dir;
    std::string data = Sample(50000, 9);
    WriteFile(dir.File("data"), data);
    // Level 9 stream, then trailing bytes that are not part of it.
    Python(
        "import sys, zlib\nd = open(sys.argv[1], 'rb').read()\n"
        "open(sys.argv[2], 'wb').write(b'QZPK\\1\\2\\3\\4' + zlib.compress(d, 9) + b'TRAILER')\n"
        "open(sys.argv[3], 'w').write(str(len(zlib.compress(d, 9))))\n",
        dir.File("data") + " " + dir.File("py.pak") + " " + dir.File("len"));
    uint64_t size = 0, consumed = 0;
    ASSERT_EQ(Unpack(dir.File("py.pak"), dir.File("out"), &size, &consumed), 0);
    EXPECT_EQ(ReadFile(dir.File("out")), data);
    EXPECT_EQ(size, data.size());
    EXPECT_EQ(consumed, std::stoull(ReadFile(dir.File("len"))) + 8);

    // Into a buffer: a small one fills and stops with success; a large one takes everything.
    std::vector<uint8_t> small(1000), large(60000);
    ASSERT_EQ(DecompressFileContainer(qzPackMagic, dir.File("py.pak").c_str(), nullptr, 0, &size, nullptr, small.data(),
                                      small.size()),
              0);
    EXPECT_EQ(size, 1000u);
    EXPECT_EQ(std::string(small.begin(), small.end()), data.substr(0, 1000));
    ASSERT_EQ(DecompressFileContainer(qzPackMagic, dir.File("py.pak").c_str(), nullptr, 0, &size, nullptr, large.data(),
                                      large.size()),
              0);
    EXPECT_EQ(size, data.size());
    EXPECT_EQ(std::string(large.begin(), large.begin() + (long)size), data);

    // A packed applet inside a bigger file, read from its offset.
    std::string applet = ReadFile(dir.File("py.pak"));
    applet.replace(0, 4, std::string("QZZ\0", 4));
    WriteFile(dir.File("exe"), std::string(777, 'x') + applet);
    std::vector<uint8_t> head(2048);
    ASSERT_EQ(DecompressFileContainer(qzPackedAppletMagic, dir.File("exe").c_str(), nullptr, 777, &size, nullptr,
                                      head.data(), head.size()),
              0);
    EXPECT_EQ(std::string(head.begin(), head.end()), data.substr(0, 2048));
    EXPECT_EQ(DecompressFileContainer(qzPackedAppletMagic, dir.File("exe").c_str(), nullptr, 776, &size, nullptr,
                                      head.data(), head.size()),
              ERR_PAKFORMAT);
}

TEST(PackFile, DamagedInputFailsAndKeepsTheDestination) {
    TempDir dir;
    std::string data = RandomBytes(40000, 4);
    WriteFile(dir.File("data"), data);
    ASSERT_EQ(CompressFileContainer(qzPackMagic, dir.File("data").c_str(), dir.File("good.pak").c_str(), nullptr), 0);
    std::string good = ReadFile(dir.File("good.pak"));
    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x55;
    std::string badCheck = good;
    badCheck[good.size() - 1] ^= 1;  // the checksum trailer
    std::string dict = Python(
        "import zlib,sys\nc=zlib.compressobj(zdict=b'abc')\n"
        "sys.stdout.buffer.write(b'QZPK\\0\\0\\0\\0'+c.compress(b'abcabc')+c.flush())");
    struct Case {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"wrong magic", "QZPX" + good.substr(4), ERR_PAKFORMAT},
        {"short header", "QZP", ERR_READ},
        {"empty", "", ERR_READ},
        {"no stream", "QZPK", ERR_ZLIBDATA},
        {"truncated", good.substr(0, good.size() / 2), ERR_ZLIBDATA},
        {"truncated trailer", good.substr(0, good.size() - 2), ERR_ZLIBDATA},
        {"corrupted", flipped, ERR_ZLIBDATA},
        {"bad checksum", badCheck, ERR_ZLIBDATA},
        {"preset dictionary", dict, ERR_ZLIBDATA},
    };
    for (const Case& c : cases) {
        WriteFile(dir.File("bad.pak"), c.bytes);
        WriteFile(dir.File("dest"), "previous contents");
        EXPECT_EQ(Unpack(dir.File("bad.pak"), dir.File("dest")), c.code) << c.what;
        // A failed unpack never replaces the file that was there.
        EXPECT_EQ(ReadFile(dir.File("dest")), "previous contents") << c.what;
    }
    EXPECT_EQ(std::system(("ls " + dir.path + " | grep -v -x -e data -e good.pak -e bad.pak -e dest").c_str()), 256)
        << "temporary files left behind";
    EXPECT_EQ(Unpack(dir.File("missing"), dir.File("dest")), ERR_READFILE);
    EXPECT_EQ(Unpack(dir.File("good.pak"), dir.File("nodir/dest")), ERR_WRITEFILE);
    EXPECT_EQ(CompressFileContainer(qzPackMagic, dir.File("missing").c_str(), dir.File("x").c_str(), nullptr),
              ERR_READFILE);
    EXPECT_EQ(CompressFileContainer(qzPackMagic, dir.File("data").c_str(), dir.File("nodir/x").c_str(), nullptr),
              ERR_WRITEFILE);
}

TEST(PackFile, PacksAFileOntoItself) {
    TempDir dir;
    std::string data = Sample(70000, 5);
    WriteFile(dir.File("f"), data);
    uint64_t size = 0;
    ASSERT_EQ(CompressFileContainer(qzPackMagic, dir.File("f").c_str(), dir.File("f").c_str(), &size), 0);
    EXPECT_EQ(ReadFile(dir.File("f")).size(), size);
    ASSERT_EQ(Unpack(dir.File("f"), dir.File("f")), 0);
    EXPECT_EQ(ReadFile(dir.File("f")), data);
}

}  // namespace packfile_test
