// Passive FTP against a real server (pyftpdlib) on loopback: binary and ASCII downloads into
// memory and files, uploads from data and from files, and the server's refusals.
#include "base/error_codes.h"
#include "net/net_test_util.h"

namespace net_ftp_test {

namespace {

using namespace nettest;

class NetFtpTest : public NetFixture {
protected:
    FtpServer ftp;
    void SetUp() override {
        NetFixture::SetUp();
        ASSERT_TRUE(ftp.Start());
    }
};

TEST_F(NetFtpTest, Downloads) {
    std::string binary;
    for (int i = 0; i < 50000; i++) binary += static_cast<char>(i * 7 + (i >> 8));
    WriteFile(ftp.root.File("data.bin"), binary);
    WriteFile(ftp.root.File("lines.txt"), "one\ntwo\n");

    Results r = Call("DownloadFile", [&] {
        Str(ftp.Url("", "/data.bin"));
        Nil();
        Callback();
    });
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_TRUE(r[0] == binary);
    EXPECT_EQ(r[1], "50000");
    ASSERT_FALSE(CallbackCalls().empty());
    EXPECT_EQ(CallbackCalls().back().count, 50000);
    EXPECT_EQ(CallbackCalls().back().action, 0);

    // ";type=a" asks for ASCII mode, in which the server sends CR LF line ends.
    EXPECT_EQ(Call("DownloadFile", [&] { Str(ftp.Url("user:secret@", "/lines.txt;type=a")); })[0], "one\r\ntwo\r\n");
    EXPECT_EQ(Transfer("DownloadFile", ftp.Url("", "/lines.txt"), {{"transfermode", "=97"}})[0], "one\r\ntwo\r\n");

    TempDir out;
    r = Transfer("DownloadFile", ftp.Url("", "/data.bin"), {{"file", out.File("copy.bin")}});
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_EQ(r.values, (std::vector<std::string>{"", "50000"}));
    EXPECT_TRUE(ReadFile(out.File("copy.bin")) == binary);

    Results missing = Call("DownloadFile", [&] { Str(ftp.Url("", "/nothere.txt")); });
    EXPECT_EQ(missing.error, ERR_FILENOTFOUND);
    EXPECT_EQ(missing.message, "File /nothere.txt not found on this server!");
    EXPECT_EQ(Call("DownloadFile", [&] { Str(ftp.Url("user:wrong@", "/data.bin")); }).error, ERR_FTPAUTH);
}

TEST_F(NetFtpTest, Uploads) {
    std::string payload = std::string("up\0loaded\r\n", 11);
    Results r = Transfer("UploadFile", ftp.Url("user:secret@", "/from-data.bin"), {{"data", payload}});
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_TRUE(r.values.empty());
    EXPECT_EQ(ReadFile(ftp.root.File("from-data.bin")), payload);

    TempDir source;
    std::string big(300000, 'b');
    big[7] = '\0';
    WriteFile(source.File("big.bin"), big);
    r = Call("UploadFile", [&] {
        Str(ftp.Url("user:secret@", "/from-file.bin"));
        Table({{"file", source.File("big.bin")}});
        Callback();
    });
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_TRUE(ReadFile(ftp.root.File("from-file.bin")) == big);
    ASSERT_FALSE(CallbackCalls().empty());
    EXPECT_EQ(CallbackCalls().back().count, 300000);
    EXPECT_EQ(CallbackCalls().back().total, 300000);

    Results denied = Transfer("UploadFile", ftp.Url("reader:secret@", "/no.bin"), {{"data", "x"}});
    EXPECT_EQ(denied.error, ERR_UPLOADFORBIDDEN);
    EXPECT_EQ(denied.message, "No permission to upload file to /no.bin!");
    EXPECT_EQ(Transfer("UploadFile", ftp.Url("user:secret@", "/x"), {{"file", source.File("none")}}).error,
              ERR_READFILE);
}

}  // namespace

}  // namespace net_ftp_test
