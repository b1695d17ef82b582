// The requester and clipboard commands of the system library, answered by the headless driver:
// the arguments each command checks, what it makes of the answers and cancels, the paths it
// remembers, and clipboard text that comes back as it went.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/requesters.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "libs/system/system.h"
#include "platform/host/event_loop.h"
#include "platform/host/headless/headless.h"
#include "platform/host/headless/headless_answers.h"
#include "support/commands.h"
#include "vm/vm.h"

namespace system_requesters_test {

using qztest::Arg;
using qztest::Nil;

namespace {

class SystemRequesters : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUARNELIX_DRIVER", "headless", 1);
        unsetenv("QUARNELIX_ANSWERS");
        unsetenv("QUARNELIX_INPUT");
        std::string message;
        ASSERT_EQ(MacInitPlatform(&message), 0) << message;
        vm = new qztest::Commands{&qzSystemLibrary};
    }
    void TearDown() override {
        delete vm;
        MacShutdownPlatform();
    }
    void Answers(const std::string& text) {
        std::vector<qzAnswerLine> lines;
        std::string message;
        ASSERT_TRUE(ParseAnswers(text, "answers", &lines, &message)) << message;
        HeadlessSetAnswers(lines, "answers");
        HeadlessTakeDialogs();
    }
    qztest::Commands* vm = nullptr;
};

TEST_F(SystemRequesters, ArgumentsAreCheckedBeforeAnythingIsShown) {
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } rows[] = {
        {"FileRequest", {"t", "", 3}, ERR_WRONGUSAGE},
        {"FileRequest", {"t", "", 65536 + 4}, ERR_WRONGUSAGE},
        {"PathRequest", {"t", 1}, ERR_WRONGUSAGE},
        {"StringRequest", {"t", "b", "", 1}, ERR_WRONGUSAGE},        // only text or numbers
        {"StringRequest", {"t", "b", "", 0, 1025}, ERR_WRONGUSAGE},  // longer than the buffer
        {"StringRequest", {"t", "b", "1x", 3}, ERR_WRONGUSAGE},      // a default that is no number
        {"ListRequest", {"t", "b", Arg::List({})}, ERR_WRONGUSAGE},  // no choices
        {"SetClipboard", {5, "x"}, ERR_WRONGUSAGE},
        {"SystemRequest", {"t", "b", "a||c"}, ERR_WINDOW},  // a button without text
    };
    for (const auto& r : rows) EXPECT_EQ(vm->CallErr(r.command, r.args), r.error) << r.command;
    std::string many = "b";
    for (int i = 0; i < 32; i++) many += "|b";
    EXPECT_EQ(vm->CallErr("SystemRequest", {"t", "b", many}), ERR_WINDOW);  // 33 buttons
    EXPECT_TRUE(HeadlessTakeDialogs().empty());
}

TEST_F(SystemRequesters, AnswersAndCancelsBecomeTheCommandsResults) {
    Answers(
        "1\n0\ncancel\n"
        "/d/x.txt\ncancel\n/d/a.png /d/b.png\n"
        "/home/\n"
        "hello world\ncancel\n12345\n123\n"
        "green\ncancel\n"
        "$102030\ncancel\n");
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string result;
    } rows[] = {
        {"SystemRequest", {"t", "b", "Yes|No|Cancel"}, "1"},
        {"SystemRequest", {"t", "b", "yes|no|cancel"}, "0"},
        {"SystemRequest", {"t", "b", "A|B|C", 2}, "0"},  // closed: 0
        {"FileRequest", {"t"}, "\"/d/x.txt\""},
        {"FileRequest", {"t", "*"}, "\"\""},
        {"FileRequest", {"t", "png", 1}, "table"},
        {"PathRequest", {"t"}, "\"/home/\""},
        {"StringRequest", {"t", "b"}, "\"hello world\", 1"},
        {"StringRequest", {"t", "b", "abc"}, "\"\", 0"},
        {"StringRequest", {"t", "b", "", 0, 3}, "\"123\", 1"},  // 12345 is too long: asked again
        {"ListRequest", {"t", "b", Arg::List({"red", "", "green"}), 7}, "2"},
        {"ListRequest", {"t", "b", Arg::List({"red"})}, "-1"},
        {"ColorRequest", {"t", -1}, "1056816"},
        {"ColorRequest", {"t", 0xFF}, "-1"},
    };
    for (const auto& r : rows) {
        std::string got = vm->Run(r.command, r.args);
        EXPECT_EQ(got.substr(0, r.result.size()), r.result) << r.command;
        if (std::string(r.command) == "ListRequest" && r.result == "2") {
            std::vector<qzHostDialog> shown = HeadlessTakeDialogs();
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown.back().items, std::vector<std::string>({"red", " ", "green"}));
            EXPECT_EQ(shown.back().preselect, -1);  // 7 is outside the list
        }
    }

    ASSERT_EQ(vm->CallFresh("FileRequest", {"t", "png", 1}), 0);  // no answers left: cancelled
    VmRawGetI(*vm, 1, 0);
    EXPECT_STREQ(VmToString(*vm, -1), "");

    // The file chosen last is where the next file requester starts; the title is the applet's.
    Answers("/d/a.png /d/b.png\ncancel\n");
    ASSERT_EQ(vm->CallFresh("FileRequest", {"t", "png", 1}), 0);
    std::vector<std::string> paths;
    for (int i = 0; i < 3; i++) {
        VmRawGetI(*vm, 1, i);
        paths.push_back(VmToString(*vm, -1));
        VmPop(*vm, 1);
    }
    EXPECT_EQ(paths, std::vector<std::string>({"/d/a.png", "/d/b.png", ""}));
    vm->Run("FileRequest", {"t"});
    std::vector<qzHostDialog> shown = HeadlessTakeDialogs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].suffixes, std::vector<std::string>({".png"}));
    EXPECT_EQ(shown[1].folder, "/d/");
    EXPECT_EQ(shown[1].file, "a.png");

    Answers("\"DejaVu Sans\" 14 bold italic\n");
    ASSERT_EQ(vm->CallFresh("FontRequest", {"t", "Vera"}), 0);
    const struct {
        const char* key;
        std::string value;
    } fields[] = {{"name", "DejaVu Sans Bold Italic"},
                  {"family", "DejaVu Sans"},
                  {"size", "14"},
                  {"weight", "200"},
                  {"slant", "100"},
                  {"bold", "1"},
                  {"italic", "1"},
                  {"underline", "0"}};
    for (const auto& f : fields) {
        VmPushString(*vm, f.key);
        VmGetTable(*vm, 1);
        EXPECT_EQ(std::string(VmToString(*vm, -1)), f.value) << f.key;
        VmPop(*vm, 1);
    }
}

TEST_F(SystemRequesters, ClipboardKeepsTextAsItWentAndReportsItsType) {
    EXPECT_EQ(vm->Run("PeekClipboard"), "0");
    EXPECT_EQ(vm->Run("GetClipboard"), "0");
    vm->Ok("SetClipboard", {1, "one\r\ntwo\nthree\xE9"});
    EXPECT_EQ(vm->Run("PeekClipboard"), "1");
    EXPECT_EQ(vm->Run("GetClipboard"), "1, \"one\r\ntwo\nthree\xE9\"");  // no CR LF doubled
    vm->Ok("ClearClipboard");
    EXPECT_EQ(vm->Run("PeekClipboard"), "0");
    EXPECT_NE(vm->CallErr("SetClipboard", {2, 42}), 0);  // no such brush
}

// A brush goes to the clipboard as a PNG picture and comes back as a new brush of its size and
// colours, with its alpha channel.
TEST_F(SystemRequesters, ClipboardPicturesComeBackAsNewBrushes) {
    delete vm;
    vm = new qztest::Commands{&qzSystemLibrary, &qzBrushLibrary};
    vm->Ok("CreateBrush", {1, 4, 3, 0xFF8000});
    vm->Ok("CreateBrush", {2, 2, 2, 0x123456, Arg::Table({{"alphachannel", 1}, {"clear", 1}})});
    for (int source : {1, 2}) {
        vm->Ok("SetClipboard", {2, source});
        EXPECT_EQ(vm->Run("PeekClipboard"), "2");
        ASSERT_EQ(vm->CallFresh("GetClipboard"), 0);
        EXPECT_EQ(VmToNumber(*vm, 1), 2);
        qzObjectId handle = {0, VmToUserdata(*vm, 2)};
        qzBrush* copy = nullptr;
        ASSERT_EQ(FindBrush(*vm, handle, &copy, 0), 0);
        qzBrush* original = nullptr;
        ASSERT_EQ(FindBrush(*vm, {source, nullptr}, &original, 0), 0);
        EXPECT_EQ(copy->width, original->width);
        EXPECT_EQ(copy->height, original->height);
        EXPECT_EQ(ReadBitMapPixel(copy->bitmap, 1, 1, 0), ReadBitMapPixel(original->bitmap, 1, 1, 0));
        EXPECT_EQ(copy->alpha != nullptr, original->alpha != nullptr) << source;
    }
}

// The requesters of the plugins' host table write into a 1024-byte buffer: a path that does not
// fit is not written at all (and not cut to a different path).
TEST_F(SystemRequesters, HostTableRequestersNeverOverrunTheCallersBuffer) {
    const std::string longName(1100, 'n');
    Answers("/d/x.txt\n/d/" + longName + "\n/home/\n" + "/" + longName + "\nNo\n");
    char buffer[1024 + 8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(HostFileRequest("t", buffer), 1);
    EXPECT_STREQ(buffer, "/d/x.txt");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(HostFileRequest("t", buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(buffer[1024], '#');
    EXPECT_EQ(HostPathRequest("t", buffer), 1);
    EXPECT_STREQ(buffer, "/home/");
    EXPECT_EQ(HostPathRequest("t", buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(HostSystemRequest("t", "b", "Yes|No"), 0);  // No, the rightmost
    std::vector<qzHostDialog> shown = HeadlessTakeDialogs();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[0].suffixes, std::vector<std::string>());  // every file
    EXPECT_EQ(shown[4].icon, QZ_HICON_INFORMATION);
}

}  // namespace

}  // namespace system_requesters_test
