// URLs and documents reach the desktop's opener as one argument each, never through a shell:
// a fake opener on PATH records what it got.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "base/error_codes.h"
#include "platform/os_process.h"
#include "platform/os_url.h"

namespace os_url_test {

namespace {

class OpenerTest : public ::testing::Test {
protected:
    std::string dir, oldPath;

    void SetUp() override {
        char pattern[] = "/tmp/qzopenerXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::string opener = dir + "/xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" << dir << "/args.tmp'\n"
                              << "mv '" << dir << "/args.tmp' '" << dir << "/args'\n";
        chmod(opener.c_str(), 0755);
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (dir + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", oldPath.c_str(), 1);
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    // What the opener was called with: "count|arg|", once it has run.
    std::string Recorded() {
        std::string path = dir + "/args";
        for (int i = 0; i < 500 && access(path.c_str(), F_OK) != 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        std::remove(path.c_str());
        return s.str();
    }
};

TEST_F(OpenerTest, UrlIsOneArgumentAndNoShellText) {
    std::string url = "http://example.org/a b?x=$(touch " + dir + "/pwned);`touch " + dir + "/pwned2`'\"";
    ASSERT_EQ(OsOpenURL(url.c_str()), 0);
    EXPECT_EQ(Recorded(), "1|" + url + "|");
    EXPECT_NE(access((dir + "/pwned").c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/pwned2").c_str(), F_OK), 0);
    EXPECT_EQ(OsOpenURL(""), ERR_BADURL);
    EXPECT_EQ(OsOpenURL(nullptr), ERR_BADURL);
}

TEST_F(OpenerTest, DocumentsGoToTheOpener) {
    std::string doc = dir + "/notes; rm -rf x.txt";
    std::ofstream(doc) << "text";
    ASSERT_EQ(OsExecute(doc.c_str(), nullptr, 0), 0);
    EXPECT_EQ(Recorded(), "1|" + doc + "|");
}

TEST_F(OpenerTest, MissingOpenerIsReported) {
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(OsOpenURL("http://example.org/"), ERR_BADURL);
}

}  // namespace

}  // namespace os_url_test
