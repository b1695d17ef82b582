// The requesters of the SDL driver through zenity: a fake zenity placed first on PATH records its
// arguments and standard input and answers as a user would. The arguments must carry the
// requester's options (filters, save mode, several files, start path, password, preselection,
// colour) and the answers must come back in the player's terms.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/backend_requesters.h"
#include "platform/host_test_util.h"
#include "platform/system_fonts.h"

namespace zenity_requesters_test {

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ZenityRequesters : public HostTest {
protected:
    void SetUp() override {
        char name[] = "/tmp/qzzenityXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        std::ofstream script(dir + "/zenity");
        script << "#!/bin/sh\n"
                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
               << dir
               << "/args\"\n"
                  "cat > \""
               << dir
               << "/stdin\"\n"
                  "cat \""
               << dir
               << "/answer\"\n"
                  "exit $(cat \""
               << dir << "/status\")\n";
        script.close();
        ASSERT_EQ(chmod((dir + "/zenity").c_str(), 0755), 0);
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (dir + ":" + oldPath).c_str(), 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        StartPlatform("sdl");
    }
    void TearDown() override {
        HostTest::TearDown();
        OsResetSystemFonts();  // the font list the font dialog offered
        setenv("PATH", oldPath.c_str(), 1);
        unsetenv("SDL_VIDEODRIVER");
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    // What the fake zenity answers next: its output and exit status.
    void Answer(const std::string& output, int status = 0) {
        std::ofstream(dir + "/answer") << output;
        std::ofstream(dir + "/status") << status;
    }
    // The arguments of the last run, one a line (an argument holding a line end spans two).
    std::string Args() { return ReadFile(dir + "/args"); }
    bool Has(const std::string& argument) { return ("\n" + Args()).find("\n" + argument + "\n") != std::string::npos; }

    std::string dir;
    std::string oldPath;
};

TEST_F(ZenityRequesters, FileAndFolderRequestersPassTheirOptions) {
    qzBackendFileResult result;
    Answer("/pics/a.png\n");
    ASSERT_EQ(MacFileRequest(nullptr, &result, "Open", "png|.JPG", QZ_REQ_NORMAL, "/pics", nullptr), 0);
    EXPECT_TRUE(Has("--file-selection")) << Args();
    EXPECT_TRUE(Has("--title=Open"));
    EXPECT_TRUE(Has("--filename=/pics/"));
    EXPECT_TRUE(Has("--file-filter=.png .JPG | *.[pP][nN][gG] *.[jJ][pP][gG]")) << Args();
    EXPECT_FALSE(Has("--multiple"));
    EXPECT_FALSE(Has("--save"));
    EXPECT_EQ(result.accepted, 1);
    EXPECT_EQ(result.folder, "/pics/");
    EXPECT_EQ(result.names, std::string("a.png\0", 6));

    for (const char* pattern : {"", "*", "#?"}) {
        Answer("/x\n");
        ASSERT_EQ(MacFileRequest(nullptr, &result, "Open", pattern, QZ_REQ_NORMAL, nullptr, nullptr), 0);
        EXPECT_EQ(Args().find("--file-filter"), std::string::npos) << pattern;
        EXPECT_EQ(Args().find("--filename"), std::string::npos) << pattern;
    }

    Answer("/a/1.txt\n/a/2.txt\n/a/3.txt\n");
    ASSERT_EQ(MacFileRequest(nullptr, &result, "Several", "txt", QZ_REQ_MULTISELECT, nullptr, nullptr), 0);
    EXPECT_TRUE(Has("--multiple"));
    EXPECT_EQ(result.count, 3);
    EXPECT_EQ(result.folder, "/a/");
    EXPECT_EQ(result.names, std::string("1.txt\0"
                                        "2.txt\0"
                                        "3.txt\0",
                                        18));

    Answer("/d/new.txt\n");
    ASSERT_EQ(MacFileRequest(nullptr, &result, "Save", "txt", QZ_REQ_SAVEMODE, "/d", "x.txt"), 0);
    EXPECT_TRUE(Has("--save"));
    EXPECT_TRUE(Has("--confirm-overwrite"));
    EXPECT_TRUE(Has("--filename=/d/x.txt"));
    EXPECT_EQ(result.names, std::string("new.txt\0", 8));

    Answer("", 1);  // cancelled
    ASSERT_EQ(MacFileRequest(nullptr, &result, "Open", "", QZ_REQ_NORMAL, nullptr, nullptr), 0);
    EXPECT_EQ(result.accepted, 0);

    std::string path;
    int chosen = 0;
    Answer("/home/u\n");
    ASSERT_EQ(MacPathRequest(nullptr, "Folder", "/home", &path, &chosen), 0);
    EXPECT_TRUE(Has("--directory"));
    EXPECT_TRUE(Has("--filename=/home/"));
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(path, "/home/u");
}

TEST_F(ZenityRequesters, TextListFontAndColourRequesters) {
    char buffer[QZ_STRING_REQUESTER_BUFFER];
    Answer("typed\n");
    ASSERT_EQ(MacStringRequest(nullptr, buffer, "Word?", "abc", "Enter", QZ_INPUT_ALL, 0, 1), 0);
    EXPECT_TRUE(Has("--entry"));
    EXPECT_TRUE(Has("--entry-text=abc"));
    EXPECT_TRUE(Has("--hide-text"));
    EXPECT_STREQ(buffer, "typed");
    Answer("", 1);
    EXPECT_EQ(MacStringRequest(nullptr, buffer, "Word?", "", "Enter", QZ_INPUT_ALL, 0, 0), ERR_USERABORT);
    EXPECT_FALSE(Has("--hide-text"));

    int index = -1;
    Answer("2\n");
    ASSERT_EQ(MacListRequest(nullptr, "Pick", "Which?", {"a", "", "c"}, 2, &index), 0);
    EXPECT_TRUE(Has("--radiolist"));
    EXPECT_EQ(ReadFile(dir + "/stdin"), "FALSE\na\n0\nFALSE\n \n1\nTRUE\nc\n2\n");
    EXPECT_EQ(index, 2);

    qzBackendFontResult font;
    Answer("Vera\n14\nBold Italic\nYes\n");
    ASSERT_EQ(MacFontRequest(nullptr, "Font", "Vera", 12, &font), 0);
    EXPECT_TRUE(Has("--forms"));
    EXPECT_NE(Args().find("--combo-values=Vera"), std::string::npos);
    EXPECT_STREQ(font.name, "Vera");
    EXPECT_EQ(font.size, 14);
    EXPECT_EQ(font.weight, 200);
    EXPECT_EQ(font.slant, 100);
    EXPECT_EQ(font.underline, 1);

    int32_t colour = 0;
    Answer("rgb(1,2,3)\n");
    ASSERT_EQ(MacColorRequest(nullptr, "Colour", 0xFF8000, &colour), 0);
    EXPECT_TRUE(Has("--color=#FF8000"));
    EXPECT_EQ(colour, 0x010203);
    Answer("", 1);
    ASSERT_EQ(MacColorRequest(nullptr, "Colour", -1, &colour), 0);
    EXPECT_TRUE(Has("--color=#000000"));  // -1 starts at black
    EXPECT_EQ(colour, -1);
}

}  // namespace

}  // namespace zenity_requesters_test
