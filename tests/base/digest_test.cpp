#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "base/base64.h"
#include "base/crc32.h"
#include "base/error_codes.h"
#include "base/md5.h"
#include "libs/dos/dos.h"
#include "libs/oracle.h"

namespace digest_test {

using namespace libtest;

TEST(Md5, Rfc1321Vectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [in, hex] : vectors) EXPECT_EQ(Md5Hex(in.data(), in.size()), hex) << in;
}

TEST(Md5, PiecewiseUpdatesAndFilesMatchHashlib) {
    TempDir dir;
    // Sizes around the 64-byte block, the 56-byte padding edge and the 65536-byte file block.
    const size_t sizes[] = {55, 56, 63, 64, 65, 119, 120, 65535, 65536, 65537, 200000};
    std::string program =
        "import hashlib,sys\nfor p in sys.argv[1:]:\n"
        "    print(hashlib.md5(open(p,'rb').read()).hexdigest())\n";
    std::string args;
    std::vector<std::string> data;
    for (size_t n : sizes) {
        data.push_back(RandomBytes(n, (uint32_t)n));
        std::string path = dir.File("f" + std::to_string(n));
        WriteFile(path, data.back());
        args += " " + path;
    }
    std::istringstream expected(Python(program, args));
    for (size_t i = 0; i < data.size(); i++) {
        std::string want;
        expected >> want;
        ASSERT_EQ(want.size(), 32u);
        // Fed in uneven pieces, so the block buffer is split at every offset.
        qzMd5Context ctx;
        Md5Init(&ctx);
        for (size_t at = 0, step = 1; at < data[i].size(); at += step, step = step % 97 + 1)
            Md5Update(&ctx, data[i].data() + at, std::min(step, data[i].size() - at));
        uint8_t digest[16];
        Md5Final(&ctx, digest);
        EXPECT_EQ(Md5HexDigest(digest), want) << sizes[i];
        std::string fromFile;
        ASSERT_EQ(Md5File(dir.File("f" + std::to_string(sizes[i])).c_str(), &fromFile), 0);
        EXPECT_EQ(fromFile, want) << sizes[i];
    }
}

TEST(Digest, FileErrors) {
    TempDir dir;
    std::string hex;
    uint32_t crc = 0;
    WriteFile(dir.File("empty"), "");
    ASSERT_EQ(Md5File(dir.File("empty").c_str(), &hex), 0);
    EXPECT_EQ(hex, "d41d8cd98f00b204e9800998ecf8427e");
    ASSERT_EQ(Crc32File(dir.File("empty").c_str(), &crc), 0);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(Md5File("", &hex), ERR_WRONGUSAGE);
    EXPECT_EQ(Crc32File("", &crc), ERR_WRONGUSAGE);
    EXPECT_EQ(Md5File(dir.File("missing").c_str(), &hex), ERR_READFILE);
    EXPECT_EQ(Crc32File(dir.File("missing").c_str(), &crc), ERR_READFILE);
    // A directory is no file: an error, not the checksum of nothing.
    EXPECT_EQ(Md5File(dir.path.c_str(), &hex), ERR_READFILE);
    EXPECT_EQ(Crc32File(dir.path.c_str(), &crc), ERR_READFILE);
}

TEST(Crc32, MatchesZlib) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(GetCrc32Table()[1], 0x77073096u);
    TempDir dir;
    const size_t sizes[] = {1, 3, 1000, 65536, 65537, 300000};
    std::string args;
    std::vector<std::string> data;
    for (size_t n : sizes) {
        data.push_back(RandomBytes(n, (uint32_t)n * 7));
        WriteFile(dir.File("c" + std::to_string(n)), data.back());
        args += " " + dir.File("c" + std::to_string(n));
    }
    std::istringstream expected(
        Python("import zlib,sys\nfor p in sys.argv[1:]:\n    print(zlib.crc32(open(p,'rb').read()))\n", args));
    for (size_t i = 0; i < data.size(); i++) {
        uint64_t want = 0;
        expected >> want;
        EXPECT_EQ(Crc32(data[i].data(), data[i].size()), want) << sizes[i];
        uint32_t crc = 0;
        ASSERT_EQ(Crc32File(dir.File("c" + std::to_string(sizes[i])).c_str(), &crc), 0);
        EXPECT_EQ(crc, want) << sizes[i];
    }
}

TEST(Base64, StringFormMatchesPython) {
    EXPECT_EQ(Base64Encode("abc", 3), "YWJj");
    EXPECT_EQ(Base64DecodeLenient("YWJj", 4), "abc");
    EXPECT_EQ(Base64DecodeLenient("YQ==", 4), "a");
    std::string args;
    std::vector<std::string> data;
    TempDir dir;
    for (size_t n = 0; n < 12; n++) data.push_back(RandomBytes(n, (uint32_t)n + 99));
    data.push_back(RandomBytes(1000, 5));
    for (size_t i = 0; i < data.size(); i++) {
        WriteFile(dir.File("b" + std::to_string(i)), data[i]);
        args += " " + dir.File("b" + std::to_string(i));
    }
    std::istringstream expected(
        Python("import base64,sys\nfor p in sys.argv[1:]:\n"
               "    print('>' + base64.b64encode(open(p,'rb').read()).decode())\n",
               args));
    for (const std::string& bytes : data) {
        std::string want;
        std::getline(expected, want);
        want.erase(0, 1);
        EXPECT_EQ(Base64Encode(bytes.data(), bytes.size()), want);
        EXPECT_EQ(Base64DecodeLenient(want.data(), want.size()), bytes);
    }
}

static size_t WriteToString(void* context, const void* bytes, size_t length) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(bytes), length);
    return length;
}

TEST(Base64, FileFormHas72ColumnLinesAndDecodesWithPython) {
    TempDir dir;
    // 108 bytes: 144 characters, two lines, 145 bytes counted.
    std::string small = RandomBytes(108, 1);
    std::string out;
    qzBase64Target t;
    t.kind = BASE64_TO_FILE;
    t.write = WriteToString;
    t.writeContext = &out;
    ASSERT_EQ(EncodeBase64(&t, small.data(), small.size()), 0);
    EXPECT_EQ(t.count, 145u);
    EXPECT_EQ(out.size(), 145u);
    EXPECT_EQ(out.find('\n'), 72u);

    // A large input written in several calls keeps the column across calls.
    std::string big = RandomBytes(10000, 2);
    std::string text;
    qzBase64Target f;
    f.kind = BASE64_TO_FILE;
    f.write = WriteToString;
    f.writeContext = &text;
    ASSERT_EQ(EncodeBase64(&f, big.data(), 3000), 0);
    ASSERT_EQ(EncodeBase64(&f, big.data() + 3000, 7000), 0);
    EXPECT_EQ(f.count, text.size());
    EXPECT_NE(text.back(), '\n');
    WriteFile(dir.File("big"), big);
    WriteFile(dir.File("big.b64"), text);
    std::string want = Python(
        "import base64,sys\n"
        "d=base64.encodebytes(open(sys.argv[1],'rb').read()).decode()\n"
        "sys.stdout.write(d.replace('\\n',''))\n",
        dir.File("big"));
    std::string flat = text;
    flat.erase(std::remove(flat.begin(), flat.end(), '\n'), flat.end());
    EXPECT_EQ(flat, want);
    for (size_t at = 0, line = 0; at < text.size(); line++) {
        size_t lf = text.find('\n', at);
        size_t len = (lf == std::string::npos ? text.size() : lf) - at;
        if (lf != std::string::npos) {
            EXPECT_EQ(len, 72u) << "line " << line;
        }
        at += len + 1;
    }
    EXPECT_EQ(Python("import base64,sys\nsys.stdout.write(str(base64.b64decode("
                     "open(sys.argv[1],'rb').read().replace(b'\\n',b''))==open(sys.argv[2],'rb').read()))",
                     dir.File("big.b64") + " " + dir.File("big")),
              "True");
    EXPECT_EQ(Base64DecodeLenient(text.data(), text.size()), big);
}

TEST(Base64, DecoderEdges) {
    struct Case {
        std::string text;
        int rc;
        std::string bytes;
    } cases[] = {
        {" Y W\nJ j\t", 0, "abc"},        // blanks and line feeds anywhere
        {"YWJjZ", ERR_BADBASE64, "abc"},  // ends inside a group: first group kept
        {"YW*j", ERR_BADBASE64, ""},      // character outside the alphabet
        {"YQ==YWJj", 0, "a"},             // stops after a short group
        {"YWI=", 0, "ab"},
        {"", 0, ""},
        {std::string("YW\0Jj", 5), 0, "abc"},  // a NUL is a control character
        {"YW\xc3\xa9", ERR_BADBASE64, ""},
    };
    for (const Case& c : cases) {
        std::string out;
        qzBase64Target t;
        t.string = &out;
        EXPECT_EQ(DecodeBase64(c.text.data(), c.text.size(), &t), c.rc) << c.text;
        EXPECT_EQ(out, c.bytes) << c.text;
    }
    // A memory target never writes past its room.
    uint8_t mem[2];
    qzBase64Target m;
    m.kind = BASE64_TO_MEMORY;
    m.memory = mem;
    m.capacity = sizeof mem;
    EXPECT_EQ(DecodeBase64("YWJj", 4, &m), ERR_MEM);
    EXPECT_EQ(m.count, 0u);
    EXPECT_EQ(EncodeBase64(&m, "abc", 3), ERR_MEM);
}

}  // namespace digest_test
