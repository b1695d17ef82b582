// The requesters through a requester-adapter plugin: the flags and tags each kind sends, the
// results it reads back (and hands back to the plugin), and the kinds the plugin does not serve.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/display_host_services.h"
#include "display/requesters.h"
#include "display_test_util.h"
#include "platform/host/backend_requesters.h"
#include "platform/host/headless/headless.h"
#include "platform/host/headless/headless_answers.h"
#include "platform/plugin_api.h"
#include "runtime/plugin_manager.h"

namespace requester_adapter_test {

namespace {

// What the fake plugin was sent last, and what it answers.
struct Calls {
    uint32_t flags = 0;
    std::map<uint32_t, intptr_t> tags;
    std::string text;              // buttons tag, pattern, choices run ...
    const char* result = nullptr;  // handed out as the result (a copy)
    size_t resultSize = 0;
    uint32_t style = 0;
    std::vector<int> freed;  // kinds handed back
} calls;

void Record(const qzTagItem* tags) {
    calls.tags.clear();
    for (; tags && tags->tag; tags++) calls.tags[tags->tag] = tags->value;
}
char* Result() {
    if (!calls.result) return nullptr;
    char* copy = static_cast<char*>(std::malloc(calls.resultSize));
    std::memcpy(copy, calls.result, calls.resultSize);
    return copy;
}

int FakeSystem(void*, const char*, const char*, uint32_t flags, int* button, const qzTagItem* tags) {
    calls.flags = flags;
    Record(tags);
    *button = 2;
    return 0;
}
int FakeFile(void*, const char*, uint32_t mode, const qzTagItem* tags, char** result) {
    calls.flags = mode;
    Record(tags);
    *result = Result();
    return 0;
}
int FakeString(void*, const char*, const char*, uint32_t flags, const qzTagItem* tags, char** text) {
    calls.flags = flags;
    Record(tags);
    *text = Result();
    return 0;
}
int FakeList(void*, const char*, const char*, const char* choices, int, int* index, const qzTagItem* tags) {
    Record(tags);
    calls.text.clear();
    for (const char* p = choices; *p; p += std::strlen(p) + 1) calls.text += std::string(p) + ";";
    *index = 1;
    return 0;
}
int FakeFont(void*, const char*, int, char** result, const qzTagItem* tags, uint32_t* style) {
    Record(tags);
    *result = Result();
    *style = calls.style;
    return 0;
}
void FakeFree(int kind, void* result) {
    calls.freed.push_back(kind);
    std::free(result);
}

class RequesterAdapterTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        calls = Calls{};
        info.capabilities = QZ_PLUGINCAPS_REQUESTERADAPTER;
        info.SystemRequest = FakeSystem;
        info.FileRequest = FakeFile;
        info.StringRequest = FakeString;
        info.ListRequest = FakeList;
        info.FontRequest = FakeFont;
        info.FreeRequest = FakeFree;
        SetPluginStartupPhase(1);
        // Every kind but the colour requester.
        ASSERT_EQ(HostInstallRequesterAdapter(&info, 0x7E), 0);
        SetPluginStartupPhase(0);
    }
    void Result(const char* bytes, size_t size) {
        calls.result = bytes;
        calls.resultSize = size;
    }
    qzPluginInfo info = {};
};

}  // namespace

TEST_F(RequesterAdapterTest, SystemRequesterButtonSetsAndIcons) {
    const struct {
        const char* buttons;
        int icon;
        uint32_t flags;
    } rows[] = {
        {"", 0, 1 | 32},
        {"ok", 9, 1},
        {"ok|cancel", 1, 2 | 64},
        {"YES|no", 4, 4 | 0x200},
        {"Yes|No|Cancel", 2, 8 | 128},
        {"Save|Discard", 3, 16 | 0x100},
    };
    for (const auto& r : rows) {
        int button = -1;
        EXPECT_EQ(ShowSystemRequester(*vm, nullptr, "t", "b", r.buttons, r.icon, 77, &button), 0);
        EXPECT_EQ(button, 2);
        EXPECT_EQ(calls.flags, r.flags) << r.buttons;
        EXPECT_EQ(calls.tags[1], 77);
        EXPECT_EQ(calls.tags.count(2), (r.flags & 16) ? 1u : 0u) << r.buttons;
    }
}

TEST_F(RequesterAdapterTest, FileRequesterPatternsAndSeveralFiles) {
    for (const char* pattern : {"", "*", "#?"}) {
        qzFileRequesterResult out;
        EXPECT_EQ(ShowFileRequester(*vm, nullptr, "t", pattern, QZ_REQ_NORMAL, nullptr, nullptr, 0, 0, &out), 0);
        EXPECT_EQ(calls.tags.count(2), 0u) << pattern;
        EXPECT_EQ(out.chosen, 0);  // no result: cancelled
    }
    static const char kSeveral[] = "/d/a.txt\0/d/b.txt\0/d/c.txt\0";
    Result(kSeveral, sizeof kSeveral);
    qzFileRequesterResult out;
    ASSERT_EQ(ShowFileRequester(*vm, nullptr, "t", "txt", QZ_REQ_MULTISELECT, "/d/", "x", 0, 0, &out), 0);
    EXPECT_EQ(calls.flags, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(calls.tags[2]), "txt");
    EXPECT_STREQ(reinterpret_cast<const char*>(calls.tags[3]), "/d/");
    EXPECT_STREQ(reinterpret_cast<const char*>(calls.tags[4]), "x");
    EXPECT_EQ(out.chosen, 1);
    EXPECT_EQ(out.count, 3);
    EXPECT_EQ(out.directory, "/d/");
    EXPECT_EQ(out.names, std::string("a.txt\0b.txt\0c.txt\0", 18));
    EXPECT_EQ(calls.freed, std::vector<int>({QZ_REQRESULT_FILE}));
}

TEST_F(RequesterAdapterTest, StringListFontAndAnUnservedKind) {
    char buffer[QZ_STRING_REQUESTER_BUFFER];
    EXPECT_EQ(ShowStringRequester(*vm, nullptr, "t", "b", "d", QZ_INPUT_NUMERICAL, 8, 1, 0, buffer), ERR_USERABORT);
    EXPECT_EQ(calls.flags, 4u | 16u);
    EXPECT_EQ(calls.tags[3], 8);
    static const char kText[] = "typed";
    Result(kText, sizeof kText);
    EXPECT_EQ(ShowStringRequester(*vm, nullptr, "t", "b", "", QZ_INPUT_ALL, 0, 0, 0, buffer), 0);
    EXPECT_STREQ(buffer, "typed");
    EXPECT_EQ(calls.flags, 0u);

    int index = -1;
    EXPECT_EQ(ShowListRequester(*vm, nullptr, "t", "b", {"x", "y"}, -1, 0, &index), 0);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(calls.text, "x;y;");
    EXPECT_EQ(calls.tags.count(2), 0u);

    static const char kFont[] = "Vera Sans|12|5";
    Result(kFont, sizeof kFont);
    calls.style = 0x80 | 0x1000 | (1u << 14) | (1u << 17);
    qzFontRequesterResult font;
    ASSERT_EQ(ShowFontRequester(*vm, nullptr, "t", "", 0, 0, &font), 0);
    EXPECT_EQ(calls.tags.count(2) + calls.tags.count(3), 0u);
    EXPECT_STREQ(font.name, "Vera Sans");
    EXPECT_EQ(font.size, 12);
    EXPECT_EQ(font.further, 5);
    EXPECT_EQ(font.weight, 200);
    EXPECT_EQ(font.slant, 100);
    EXPECT_EQ(font.underline, 1);
    EXPECT_EQ(font.strikeout, 0);
    EXPECT_EQ(font.italic, 1);

    // The colour requester is not the plugin's: the built-in one asks (headless: cancelled).
    int32_t colour = 0;
    EXPECT_EQ(ShowColorRequester(*vm, nullptr, "t", 0x123456, 0, &colour), 0);
    EXPECT_EQ(colour, -1);
    EXPECT_EQ(HeadlessTakeDialogs().size(), 1u);
}

// Without a plugin, the display code's question which mode to open in is the built-in requester.
TEST_F(DisplayTest, AskedDisplayModeIsAnsweredThroughTheBuiltInRequesters) {
    std::vector<qzAnswerLine> lines;
    std::string message;
    ASSERT_TRUE(ParseAnswers("2\n", "answers", &lines, &message)) << message;
    HeadlessSetAnswers(lines, "answers");
    HeadlessTakeDialogs();
    vm->Ok("CreateDisplay", {1, qztest::Arg::Table({{"mode", "ask"}})});
    vm->Ok("OpenDisplay", {1});
    qzDisplay* d = Display(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->fullScreen, 0);  // "Windowed", the second button
    std::vector<qzHostDialog> shown = HeadlessTakeDialogs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].buttons.size(), 3u);
}

// With the display library's requesters switched off the question counts as cancelled and no
// dialog is shown.
TEST_F(DisplayTest, AskedDisplayModeIsCancelledWithoutRequesters) {
    HeadlessTakeDialogs();
    EnableRequesters(false);
    vm->Ok("CreateDisplay", {1, qztest::Arg::Table({{"mode", "ask"}})});
    EXPECT_EQ(vm->CallErr("OpenDisplay", {1}), ERR_USERABORT);
    EnableRequesters(true);
    EXPECT_TRUE(HeadlessTakeDialogs().empty());
}

}  // namespace requester_adapter_test
