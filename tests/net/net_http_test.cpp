// Downloads over HTTP from real servers on loopback: python3's http.server (HTTP/1.0, bodies
// until close or with a length) and nginx (HTTP/1.1: chunked bodies, 301/302 redirects, Basic
// authentication, 204), into memory and into files, with progress callbacks and silentfail.
#include "base/error_codes.h"
#include "net/net_test_util.h"

namespace net_http_test {

namespace {

using namespace nettest;

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    uint32_t x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

class NetHttpPythonTest : public NetFixture {
protected:
    PythonHttpServer server;
    void SetUp() override {
        NetFixture::SetUp();
        ASSERT_TRUE(server.Start());
    }
};

TEST_F(NetHttpPythonTest, DownloadsIntoMemoryAndFiles) {
    std::string blob = Pattern(300000);
    WriteFile(server.root.File("blob.bin"), blob);
    WriteFile(server.root.File("a b%.txt"), "escaped");
    Results r = Call("DownloadFile", [&] { Str(server.Url("/blob.bin")); });
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_TRUE(r[0] == blob);
    EXPECT_EQ(r[1], "300000");
    // A space and a percent sign in the URL travel escaped.
    EXPECT_EQ(Call("DownloadFile", [&] { Str(server.Url("/a b%.txt")); })[0], "escaped");

    TempDir out;
    r = Transfer("DownloadFile", server.Url("/blob.bin"), {{"file", out.File("copy.bin")}});
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_EQ(r.values, (std::vector<std::string>{"", "300000"}));
    EXPECT_TRUE(ReadFile(out.File("copy.bin")) == blob);
    EXPECT_EQ(FilesIn(out.path), std::vector<std::string>{"copy.bin"});
}

TEST_F(NetHttpPythonTest, MissingFilesAndFailures) {
    // Without fail404 the error page is the data.
    Results page = Call("DownloadFile", [&] { Str(server.Url("/nothere")); });
    ASSERT_EQ(page.error, 0) << page.message;
    EXPECT_NE(page[0].find("404"), std::string::npos);
    Results missing = Transfer("DownloadFile", server.Url("/nothere"), {{"fail404", "=1"}});
    EXPECT_EQ(missing.error, ERR_FILENOTFOUND);
    EXPECT_EQ(missing.message, "File /nothere not found on this server!");

    // A failed download to a file leaves the old file alone and no stray file behind.
    TempDir out;
    WriteFile(out.File("keep.txt"), "old contents");
    Results failed =
        Transfer("DownloadFile", server.Url("/nothere"), {{"fail404", "=1"}, {"file", out.File("keep.txt")}});
    EXPECT_EQ(failed.error, ERR_FILENOTFOUND);
    EXPECT_EQ(ReadFile(out.File("keep.txt")), "old contents");
    EXPECT_EQ(FilesIn(out.path), std::vector<std::string>{"keep.txt"});

    // silentfail turns an error into its text and -1.
    int closed = FreePort();
    Results silent =
        Transfer("DownloadFile", "http://127.0.0.1:" + std::to_string(closed) + "/", {{"silentfail", "=1"}});
    EXPECT_EQ(silent.error, 0);
    EXPECT_EQ(silent.values,
              (std::vector<std::string>{std::string("The following network error occurred:\n") + strerror(ECONNREFUSED),
                                        "-1"}));
    EXPECT_EQ(Transfer("DownloadFile", "gopher://h/", {{"silentfail", "=1"}})[0], "Unknown protocol in URL!");
    EXPECT_EQ(Call("DownloadFile", [&] { Str("gopher://h/"); }).error, ERR_UNKPROTOCOL);
}

TEST_F(NetHttpPythonTest, ProgressReportsEveryPieceAndOneStopsWithoutError) {
    std::string blob = Pattern(100000);
    WriteFile(server.root.File("blob.bin"), blob);
    Results r = Call("DownloadFile", [&] {
        Str(server.Url("/blob.bin"));
        Nil();
        Callback();
        Str("data for the callback");
    });
    ASSERT_EQ(r.error, 0) << r.message;
    ASSERT_GE(CallbackCalls().size(), 2u);
    double last = 0;
    for (const CallbackCall& call : CallbackCalls()) {
        EXPECT_EQ(call.action, 0);
        EXPECT_EQ(call.total, 100000);
        EXPECT_GT(call.count, last);
        EXPECT_EQ(call.userData, "data for the callback");
        last = call.count;
    }
    EXPECT_EQ(last, 100000);

    // A callback that returns 1 ends the transfer as a success with what arrived.
    CallbackCalls().clear();
    CallbackAnswer() = [](int) { return 1; };
    r = Call("DownloadFile", [&] {
        Str(server.Url("/blob.bin"));
        Nil();
        Callback();
    });
    EXPECT_EQ(r.error, 0) << r.message;
    EXPECT_EQ(r[1], std::to_string(r[0].size()));
}

class NetHttpNginxTest : public NetFixture {
protected:
    NginxServer nginx;
    std::string base;

    void SetUp() override {
        NetFixture::SetUp();
        std::string directives =
            "  location /chunked/ { sub_filter 'zzz' 'yyy'; sub_filter_once off; sub_filter_types *; }\n"
            "  location = /r301 { return 301 http://127.0.0.1:{port}/target.txt; }\n"
            "  location = /r302 { return 302 http://127.0.0.1:{port}/target.txt; }\n"
            "  location ~ ^/c(\\d+)$ { return 301 http://127.0.0.1:{port}/c$1x; }\n"
            "  location ~ ^/c(\\d+)x$ { return 301 http://127.0.0.1:{port}/c$1$1; }\n"
            "  location /private/ { auth_basic \"area\"; auth_basic_user_file " +
            nginx.dir.File("htpasswd") +
            "; }\n"
            "  location = /empty { return 204; }\n"
            "  location = /post { return 200 \"posted\"; }\n";
        WriteFile(nginx.dir.File("htpasswd"), "me:{PLAIN}secret\n");
        chmod(nginx.dir.File("htpasswd").c_str(), 0644);
        ASSERT_TRUE(nginx.Start(directives));
        base = "http://127.0.0.1:" + std::to_string(nginx.port);
        nginx.Put("target.txt", "the target");
        mkdir((nginx.Root() + "/chunked").c_str(), 0755);
        mkdir((nginx.Root() + "/private").c_str(), 0755);
        nginx.Put("private/f.txt", "secret data");
    }
};

TEST_F(NetHttpNginxTest, ChunkedBodies) {
    std::string text = Pattern(200000);
    for (char& c : text)
        if (c == 'z') c = 'a';
    text += "zzz";
    nginx.Put("chunked/t.txt", text);
    Results r = Call("DownloadFile", [&] { Str(base + "/chunked/t.txt"); });
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_TRUE(r[0] == text.substr(0, text.size() - 3) + "yyy");
    EXPECT_EQ(r[1], std::to_string(text.size()));

    // Into a file, with progress: the total of a chunked body is not known.
    TempDir out;
    r = Call("DownloadFile", [&] {
        Str(base + "/chunked/t.txt");
        Table({{"file", out.File("t.txt")}});
        Callback();
    });
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_EQ(ReadFile(out.File("t.txt")).size(), text.size());
    ASSERT_FALSE(CallbackCalls().empty());
    EXPECT_EQ(CallbackCalls().back().count, static_cast<double>(text.size()));
    EXPECT_EQ(CallbackCalls().back().total, 0);
}

TEST_F(NetHttpNginxTest, RedirectsStatusesAndAuthentication) {
    EXPECT_EQ(Call("DownloadFile", [&] { Str(base + "/r301"); })[0], "the target");
    EXPECT_EQ(Call("DownloadFile", [&] { Str(base + "/r302"); })[0], "the target");
    Results off = Transfer("DownloadFile", base + "/r302", {{"redirect", "=0"}});
    ASSERT_EQ(off.error, 0) << off.message;
    EXPECT_NE(off[0].find("302 Found"), std::string::npos);
    // /c1 -> /c1x -> /c11 -> /c11x ... : five redirects are followed, the sixth 301 is the result.
    Results chain = Call("DownloadFile", [&] { Str(base + "/c1"); });
    ASSERT_EQ(chain.error, 0) << chain.message;
    EXPECT_NE(chain[0].find("301 Moved Permanently"), std::string::npos);

    Results empty = Call("DownloadFile", [&] { Str(base + "/empty"); });
    EXPECT_EQ(empty.error, ERR_HTTPERROR);
    EXPECT_EQ(empty.message, "HTTP error 204 occurred!");

    EXPECT_EQ(Call("DownloadFile", [&] { Str(base + "/private/f.txt"); }).error, ERR_REQAUTH);
    std::string withCredentials = "http://me:secret@" + base.substr(7) + "/private/f.txt";
    EXPECT_EQ(Call("DownloadFile", [&] { Str(withCredentials); })[0], "secret data");
    // Wrong credentials: the 401 page is the answer.
    std::string wrong = "http://me:nope@" + base.substr(7) + "/private/f.txt";
    Results denied = Call("DownloadFile", [&] { Str(wrong); });
    ASSERT_EQ(denied.error, 0) << denied.message;
    EXPECT_NE(denied[0].find("401"), std::string::npos);

    Results posted = Transfer("DownloadFile", base + "/post", {{"post", "a=1&b=2"}});
    EXPECT_EQ(posted.values, (std::vector<std::string>{"posted", "6"}));
}

TEST_F(NetHttpNginxTest, LargeBodiesIntoMemory) {
    std::string blob = Pattern(24 << 20);
    nginx.Put("big.bin", blob);
    Results r = Call("DownloadFile", [&] { Str(base + "/big.bin"); });
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_EQ(r[1], std::to_string(blob.size()));
    EXPECT_TRUE(r[0] == blob);
}

}  // namespace

}  // namespace net_http_test
