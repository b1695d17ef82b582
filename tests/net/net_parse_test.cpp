// The pure parts of the transfers: URL escaping and splitting, HTTP status, header and chunk
// lines, multipart lengths, and FTP reply lines, passive addresses and sizes.
#include <gtest/gtest.h>

#include <string>

#include "base/error_codes.h"
#include "net/net_bytes.h"
#include "net/net_ftp.h"
#include "net/net_http.h"
#include "net/net_transfer.h"
#include "net/net_url.h"
#include "platform/os_alloc.h"

namespace net_parse_test {

namespace {

TEST(NetUrl, EscapesWhatTheRequestCannotCarry) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"http://h/a b", "http://h/a%20b"},
        {"http://h/100%", "http://h/100%25"},
        {"http://h/{x}|~", "http://h/%7bx%7d%7c%7e"},
        {"http://h/\"<>\\^[]`+$,", "http://h/%22%3c%3e%5c%5e%5b%5d%60%2b%24%2c"},
        {"http://h/\xe4\x7f\t", "http://h/%e4%7f%09"},
        {"http://u:p@h:8/a?b=c&d#e", "http://u:p@h:8/a?b=c&d#e"},
    };
    for (const Case& c : cases) EXPECT_EQ(NetEscapeUrl(c.in, false), c.out) << c.in;
    // Targets that come from servers keep their escapes.
    EXPECT_EQ(NetEscapeUrl("http://h/a%20b%2", true), "http://h/a%20b%252");
}

TEST(NetUrl, SplitsHostPortPathAndCredentials) {
    struct Case {
        const char* url;
        const char* proxy;
        int error;
        const char* host = "";
        int port = 0;
        const char* path = "";
        const char* user = nullptr;  // null: no credentials
        const char* password = nullptr;
        const char* hostHeader = "";
        char type = 0;
    } cases[] = {
        {"http://example.org", "", 0, "example.org", 80, "/", nullptr, nullptr, "example.org", 0},
        {"HTTP://Example.org:8080/a/b?c", "", 0, "Example.org", 8080, "/a/b?c", nullptr, nullptr, "Example.org", 0},
        {"http://me:pw@h/x", "", 0, "h", 80, "/x", "me", "pw", "h", 0},
        {"http://me:p:w@x@h:81/", "", 0, "h", 81, "/", "me", "p:w@x", "h", 0},
        {"ftp://h/file.txt", "", 0, "h", 21, "/file.txt", nullptr, nullptr, "h", 0},
        {"ftp://h/file.txt;type=A", "", 0, "h", 21, "/file.txt", nullptr, nullptr, "h", 'a'},
        {"ftp://h/f;type=i", "", 0, "h", 21, "/f", nullptr, nullptr, "h", 'i'},
        {"ftp://h/f;type=x", "", ERR_BADURL},
        {"http://me@h/", "", ERR_BADURL},
        {"http://me:@h/", "", ERR_BADURL},
        {"http://:pw@h/", "", ERR_BADURL},
        {"http://h:x/", "", ERR_BADURL},
        {"http://h:/", "", ERR_BADURL},
        {"http://h:70000/", "", ERR_BADURL},
        {"http://h:0/", "", ERR_BADURL},
        {"http://h\r\nX: y/", "", ERR_BADURL},
        {"http://a b/", "", ERR_BADURL},
        {"gopher://h/", "", ERR_UNKPROTOCOL},
        {"h/index.html", "", ERR_UNKPROTOCOL},
        {"ftp://h/", "http://proxy/", ERR_WRONGUSAGE},
        {"http://h/", "ftp://proxy/", ERR_WRONGUSAGE},
        // Through a proxy: connect to the proxy; the Host header names the target without user
        // information.
        {"http://me:pw@target:81/x", "http://proxy:3128", 0, "proxy", 3128, "/x", nullptr, nullptr, "target:81", 0},
        {"http://target/x", "http://pu:pp@proxy/", 0, "proxy", 80, "/x", "pu", "pp", "target", 0},
    };
    for (const Case& c : cases) {
        qzUrlParts parts;
        int rc = NetSplitUrl(c.url, c.proxy, &parts);
        EXPECT_EQ(rc, c.error) << c.url;
        if (rc || c.error) continue;
        EXPECT_EQ(parts.host, c.host) << c.url;
        EXPECT_EQ(parts.port, c.port) << c.url;
        EXPECT_EQ(parts.path, c.path) << c.url;
        EXPECT_EQ(parts.credentials, c.user != nullptr) << c.url;
        if (c.user) {
            EXPECT_EQ(parts.user, c.user) << c.url;
            EXPECT_EQ(parts.password, c.password) << c.url;
        }
        EXPECT_EQ(parts.hostHeader, c.hostHeader) << c.url;
        EXPECT_EQ(parts.transferType, c.type) << c.url;
    }
}

TEST(NetUrl, RequestTargets) {
    EXPECT_EQ(NetRequestTarget("http://h", false), "/");
    EXPECT_EQ(NetRequestTarget("http://h:8/a%20b?x", false), "/a%20b?x");
    EXPECT_EQ(NetRequestTarget("http://u:p@h:8/a", true), "http://h:8/a");
    EXPECT_EQ(NetRequestTarget("http://h", true), "http://h/");
}

TEST(NetHttp, StatusLines) {
    struct Case {
        const char* line;
        int rc;
        int32_t status = 0;
    } cases[] = {
        {"HTTP/1.1 200 OK", 0, 200},           {"HTTP/1.0 404", 0, 404},
        {"HTTP/2 301 Moved", 0, 301},          {"HTTP/1.1 99999999999999999999 x", 0, INT32_MAX},
        {"http/1.1 200 OK", QZ_HTTP_BADSTART}, {"ICY 200 OK", QZ_HTTP_BADSTART},
        {"HTTP/ 200 OK", QZ_HTTP_NOVERSION},   {"HTTP/x.1 200", QZ_HTTP_NOVERSION},
        {"HTTP/1.1\t200", QZ_HTTP_NOSPACE},    {"HTTP/1.1", QZ_HTTP_NOSPACE},
    };
    for (const Case& c : cases) {
        int32_t status = -7;
        EXPECT_EQ(HttpParseStatusLine(c.line, &status), c.rc) << c.line;
        if (!c.rc) {
            EXPECT_EQ(status, c.status) << c.line;
        }
    }
}

TEST(NetHttp, HeaderLines) {
    struct Case {
        const char* line;
        int rc;
        int64_t length = 0;
        bool chunked = false;
        const char* location = "";
    } cases[] = {
        {"Content-Length: 5", 0, 5, false, ""},
        {"content-length:    42", 0, 42, false, ""},
        {"Content-Length:5", 0, 0, false, ""},  // one space is part of the name
        {"Content-Length: -5", 0, -5, false, ""},
        {"Content-Length: 99999999999999999999999", 0, int64_t(1) << 60, false, ""},
        {"Transfer-Encoding: chunked", 0, 0, true, ""},
        {"TRANSFER-ENCODING:  Chunked", 0, 0, true, ""},
        {"Transfer-Encoding: identity", 0, 0, false, ""},
        {"Transfer-Encoding: gzip, chunked", ERR_HTTPTE},
        {"Location: http://x/y", 0, 0, false, "http://x/y"},
        {"X-Other: 1", 0, 0, false, ""},
    };
    for (const Case& c : cases) {
        qzHttpHeaders h;
        EXPECT_EQ(HttpParseHeaderLine(c.line, &h), c.rc) << c.line;
        if (c.rc) continue;
        EXPECT_EQ(h.contentLength, c.length) << c.line;
        EXPECT_EQ(h.chunked, c.chunked) << c.line;
        EXPECT_EQ(h.location, c.location) << c.line;
    }
}

TEST(NetHttp, ChunkLines) {
    struct Case {
        const char* line;
        int rc;
        int64_t size = 0;
    } cases[] = {
        {"4", 0, 4},
        {"1A;name=value", 0, 26},
        {" ff ", 0, 255},
        {"0", 0, 0},
        {"zz", QZ_HTTP_BADCHUNK},
        {"", QZ_HTTP_BADCHUNK},
        {"-1", QZ_HTTP_BADCHUNK},
        {"FFFFFFFFFFFFFFFFFFFF", QZ_HTTP_BADCHUNK},
    };
    for (const Case& c : cases) {
        int64_t size = -7;
        EXPECT_EQ(HttpParseChunkLine(c.line, &size), c.rc) << c.line;
        if (!c.rc) {
            EXPECT_EQ(size, c.size) << c.line;
        }
    }
}

// The announced length must be exactly what the parts put on the wire.
TEST(NetHttp, MultipartLengthIsExact) {
    std::string boundary = MultipartBoundary();
    EXPECT_EQ(boundary.size(), 36u);
    EXPECT_EQ(boundary.rfind("-----------Quarnelix", 0), 0u);
    std::vector<qzFormItem> items(3);
    items[0].name = "plain";
    items[0].data = std::string("a\0b\r\nc", 6);
    items[1].name = "upload";
    items[1].hasMimeType = true;
    items[1].mimeType = "image/png";
    items[1].alias = "picture.png";
    items[1].data = "PNG";
    items[2].name = "x";
    items[2].hasMimeType = true;
    items[2].mimeType = "text/plain";
    items[2].alias = "t.txt";
    items[2].data = std::string(1000, 'z');
    std::string wire;
    for (qzFormItem& item : items) {
        item.length = static_cast<int64_t>(item.data.size());
        wire += MultipartPartHeader(item, boundary) + item.data + "\r\n";
    }
    wire += boundary + "--\r\n";
    EXPECT_EQ(MultipartLength(items, boundary), static_cast<int64_t>(wire.size()));
}

// Memory that collects a body byte by byte grows by doubling: a few dozen allocations for
// megabytes, not one per piece.
TEST(NetBytes, GrowsGeometrically) {
    static int allocations = 0;
    allocations = 0;
    OsSetAllocFailHook([](size_t) {
        allocations++;
        return 0;
    });
    qzNetBytes bytes;
    std::string expected;
    for (int i = 0; i < 3000000; i++) {
        char c = static_cast<char>(i * 13);
        ASSERT_EQ(NetBytesAppend(&bytes, &c, 1), 0);
        expected += c;
    }
    OsSetAllocFailHook(nullptr);
    EXPECT_LE(allocations, 10);
    EXPECT_EQ(std::string(NetBytesText(bytes), bytes.size), expected);
    NetBytesFree(&bytes);
    EXPECT_EQ(bytes.size, 0u);
    EXPECT_STREQ(NetBytesText(bytes), "");
}

TEST(NetFtp, ReplyLines) {
    EXPECT_EQ(FtpReplyCode("220 ready"), 220);
    EXPECT_EQ(FtpReplyCode("230-welcome"), 230);
    EXPECT_EQ(FtpReplyCode("hello"), 0);
    EXPECT_TRUE(FtpReplyContinues("220-more"));
    EXPECT_FALSE(FtpReplyContinues("220 last"));
    EXPECT_FALSE(FtpReplyContinues("22-"));
}

TEST(NetFtp, PassiveAddresses) {
    struct Case {
        const char* text;
        int rc;
        std::array<uint8_t, 6> numbers{};
    } cases[] = {
        {"227 Entering Passive Mode (10,0,0,1,4,1).", 0, {10, 0, 0, 1, 4, 1}},
        {"227 =127,0,0,1,195,80", 0, {127, 0, 0, 1, 195, 80}},
        {"227 (300,0,0,1,4,1)", 0, {44, 0, 0, 1, 4, 1}},
        {"227 (1,2,3,4,5)", QZ_FTP_BADPASV},
        {"227 (1,2,3,4,5,6,7)", QZ_FTP_BADPASV},
        {"227 no numbers", QZ_FTP_BADPASV},
        {"227", QZ_FTP_BADPASV},
    };
    for (const Case& c : cases) {
        std::array<uint8_t, 6> numbers{};
        EXPECT_EQ(FtpParsePassive(c.text, &numbers), c.rc) << c.text;
        if (!c.rc) {
            EXPECT_EQ(numbers, c.numbers) << c.text;
        }
    }
    // The first four numbers of the Part's example give the port 4 * 256 + 1.
    std::array<uint8_t, 6> n{};
    ASSERT_EQ(FtpParsePassive("227 (10,0,0,1,4,1)", &n), 0);
    EXPECT_EQ(n[4] * 256 + n[5], 1025);
}

TEST(NetFtp, SizesOfRetrieveReplies) {
    EXPECT_EQ(FtpParseSize("150 Opening BINARY mode data connection for f (1234 bytes)"), 1234);
    EXPECT_EQ(FtpParseSize("150 Opening data connection for f (1234 BYTES)."), 1234);
    EXPECT_EQ(FtpParseSize("150 File status okay. About to open data connection (1234)"), 0);
    EXPECT_EQ(FtpParseSize("150 12 files, 99999999999 bytes"), 99999999999);
    EXPECT_EQ(FtpParseSize("150 bytes"), 0);
    EXPECT_EQ(FtpParseSize("150"), 0);
}

}  // namespace

}  // namespace net_parse_test
