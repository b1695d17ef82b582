// The built-in requesters over the headless driver and its answers, the answers file itself, and
// the clipboard.
#include <cstring>

#include "base/event_types.h"
#include "platform/host/backend_clipboard.h"
#include "platform/host/backend_requesters.h"
#include "platform/host/headless/headless.h"
#include "platform/host_test_util.h"

namespace requesters_test {

namespace {

class Requesters : public HostTest {
protected:
    void SetUp() override { StartPlatform("headless"); }

    void Answers(const std::string& text) {
        std::vector<qzAnswerLine> lines;
        std::string message;
        ASSERT_TRUE(ParseAnswers(text, "answers", &lines, &message)) << message;
        HeadlessSetAnswers(lines, "answers");
    }

    qzHostDialog LastDialog() {
        std::vector<qzHostDialog> shown = HeadlessTakeDialogs();
        return shown.empty() ? qzHostDialog{} : shown.back();
    }
};

TEST(RequesterAnswers, FileIsCheckedForQuotesAndSkipsCommentsAndBlankLines) {
    std::vector<qzAnswerLine> lines;
    std::string message;
    EXPECT_TRUE(ParseAnswers("# first\n\n1\n\"two words\" x\n", "a.txt", &lines, &message));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].line, 4);
    EXPECT_EQ(lines[1].words, std::vector<std::string>({"two words", "x"}));
    lines.clear();
    EXPECT_FALSE(ParseAnswers("1\n\"open\n", "a.txt", &lines, &message));
    EXPECT_EQ(message, "a.txt:2: unterminated quote");
    EXPECT_TRUE(lines.empty());
}

TEST(RequesterAnswers, EachDialogReadsItsKindOfAnswer) {
    qzHostDialog message;
    message.kind = QZ_HDLG_MESSAGE;
    message.buttons = {"Yes", "No", "Cancel"};
    qzHostDialog list;
    list.kind = QZ_HDLG_LIST;
    list.items = {"red", "green"};
    qzHostDialog font;
    font.kind = QZ_HDLG_FONT;
    font.size = 12;
    qzHostDialog color;
    color.kind = QZ_HDLG_COLOR;
    qzHostDialog files;
    files.kind = QZ_HDLG_FILE;
    files.fileMode = QZ_HFILE_OPENSEVERAL;
    qzHostDialog text;
    text.kind = QZ_HDLG_TEXT;

    const struct {
        const qzHostDialog* dialog;
        std::string line;
        int32_t accepted;
        int32_t value;  // button, index, size or colour
        bool complaint;
    } rows[] = {
        {&message, "1", 1, 0, false},   // buttons count 1, 2, ... from the left
        {&message, "0", 1, 2, false},   // and 0 is the rightmost
        {&message, "no", 1, 1, false},  // or by their text
        {&message, "3", 0, -1, true},
        {&message, "cancel", 0, -1, false},
        {&list, "1", 1, 1, false},
        {&list, "RED", 1, 0, false},
        {&list, "2", 0, -1, true},
        {&list, "\"cancel\"", 0, -1, true},  // a quoted word is an entry's text
        {&font, "\"DejaVu Sans\" 20 bold", 1, 20, false},
        {&font, "Vera heavy", 0, 0, true},
        {&color, "$FF8000", 1, 0xFF8000, false},
        {&color, "0x0000ff", 1, 0xFF, false},
        {&color, "$1234567", 0, -1, true},
    };
    for (const auto& r : rows) {
        std::vector<qzAnswerLine> lines;
        std::string error;
        ASSERT_TRUE(ParseAnswers(r.line, "a", &lines, &error));
        qzHostDialogAnswer answer;
        std::string complaint;
        AnswerDialog(*r.dialog, lines[0], &answer, &complaint);
        EXPECT_EQ(answer.accepted, r.accepted) << r.line;
        EXPECT_EQ(!complaint.empty(), r.complaint) << r.line << ": " << complaint;
        int32_t value = r.dialog == &message ? answer.button
                        : r.dialog == &list  ? answer.index
                        : r.dialog == &font  ? answer.size
                                             : answer.color;
        if (r.accepted) {
            EXPECT_EQ(value, r.value) << r.line;
        }
    }

    std::vector<qzAnswerLine> lines;
    std::string error;
    ASSERT_TRUE(ParseAnswers("/a/x.txt \"/b/y z.txt\"\n\"cancel\" and more", "a", &lines, &error));
    qzHostDialogAnswer answer;
    std::string complaint;
    AnswerDialog(files, lines[0], &answer, &complaint);
    EXPECT_EQ(answer.paths, std::vector<std::string>({"/a/x.txt", "/b/y z.txt"}));
    AnswerDialog(text, lines[1], &answer, &complaint);
    EXPECT_EQ(answer.accepted, 1);
    EXPECT_EQ(answer.text, "cancel and more");
}

TEST_F(Requesters, MessageBoxButtonsCountFromTheLeftAndTheRightmostIsZero) {
    const struct {
        const char* buttons;
        const char* answer;
        int error;
        int result;
        std::vector<std::string> shown;
    } rows[] = {
        {"ok|CANCEL", "1", 0, 1, {"OK", "Cancel"}},  // standard sets take the catalog's captions
        {"OK|Cancel", "0", 0, 0, {"OK", "Cancel"}},
        {"Yes|No|Cancel", "2", 0, 2, {"Yes", "No", "Cancel"}},
        {"Yes|No|Cancel", "cancel", 0, 0, {"Yes", "No", "Cancel"}},  // closing gives 0
        {"", "0", 0, 0, {"OK"}},
        {"A|B|C", "1", 0, 1, {"A", "B", "C"}},
        {"A|B|C", "B", 0, 2, {"A", "B", "C"}},
        {"A|B|C", "0", 0, 0, {"A", "B", "C"}},
        {"A||C", "1", ERR_WINDOW, 0, {}},  // a button without text
    };
    for (const auto& r : rows) {
        Answers(r.answer);
        int result = -1;
        EXPECT_EQ(MacSystemRequest(nullptr, "T", "Body", r.buttons, QZ_REQICON_QUESTION, &result), r.error)
            << r.buttons;
        EXPECT_EQ(result, r.result) << r.buttons << " " << r.answer;
        EXPECT_EQ(LastDialog().buttons, r.shown) << r.buttons;
    }

    // 32 buttons are shown, 33 fail.
    std::string many = "b";
    for (int i = 1; i < 32; i++) many += "|b";
    Answers("5");
    int result = -1;
    EXPECT_EQ(MacSystemRequest(nullptr, "T", "", many.c_str(), 0, &result), 0);
    EXPECT_EQ(result, 5);
    EXPECT_EQ(MacSystemRequest(nullptr, "T", "", (many + "|b").c_str(), 0, &result), ERR_WINDOW);

    // Return presses the first button of one or two, Escape the second of two.
    Answers("1");
    MacSystemRequest(nullptr, "T", "", "Go|Stop", 0, &result);
    qzHostDialog d = LastDialog();
    EXPECT_EQ(d.defaultButton, 0);
    EXPECT_EQ(d.cancelButton, 1);
    EXPECT_EQ(d.title, "T");
}

TEST_F(Requesters, FileRequesterPatternsModesAndResults) {
    EXPECT_TRUE(PatternSuffixes("*").empty());
    EXPECT_TRUE(PatternSuffixes("#?").empty());
    EXPECT_TRUE(PatternSuffixes("*.txt").empty());
    EXPECT_EQ(PatternSuffixes("txt|.doc"), std::vector<std::string>({".txt", ".doc"}));

    Answers("/data/a.png /data/b.png /data/c.png\ncancel\n/x.txt\n\"/new folder/caf\xC3\xA9.txt\"");
    qzBackendFileResult result;
    ASSERT_EQ(MacFileRequest(nullptr, &result, "Open", "png", QZ_REQ_MULTISELECT, "/data", "b.png"), 0);
    qzHostDialog d = LastDialog();
    EXPECT_EQ(d.fileMode, QZ_HFILE_OPENSEVERAL);
    EXPECT_EQ(d.suffixes, std::vector<std::string>({".png"}));
    EXPECT_EQ(d.folder, "/data");
    EXPECT_EQ(d.file, "b.png");
    EXPECT_EQ(result.accepted, 1);
    EXPECT_EQ(result.folder, "/data/");
    EXPECT_EQ(result.count, 3);
    EXPECT_EQ(result.names, std::string("a.png\0b.png\0c.png\0", 18));

    ASSERT_EQ(MacFileRequest(nullptr, &result, "Open", "", QZ_REQ_NORMAL, "", ""), 0);
    EXPECT_EQ(result.accepted, 0);
    EXPECT_EQ(result.count, 0);

    // A file at the root; a save request shows no filter and proposes the name.
    ASSERT_EQ(MacFileRequest(nullptr, &result, "Open", "", QZ_REQ_NORMAL, "", ""), 0);
    EXPECT_EQ(result.folder, "/");
    EXPECT_EQ(result.names, std::string("x.txt\0", 6));
    ASSERT_EQ(MacFileRequest(nullptr, &result, "Save", "txt", QZ_REQ_SAVEMODE, "/tmp", "caf\xE9.txt"), 0);
    d = LastDialog();
    EXPECT_EQ(d.fileMode, QZ_HFILE_SAVE);
    EXPECT_TRUE(d.suffixes.empty());
    EXPECT_EQ(d.file, "caf\xC3\xA9.txt");  // names go to the file system as UTF-8
    EXPECT_EQ(result.folder, "/new folder/");
    EXPECT_EQ(result.names, std::string("caf\xE9.txt\0", 9));

    std::string path;
    int chosen = 0;
    Answers("/home/x\ncancel");
    EXPECT_EQ(MacPathRequest(nullptr, "Folder", "/start", &path, &chosen), 0);
    EXPECT_EQ(LastDialog().folder, "/start");
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(path, "/home/x");
    EXPECT_EQ(MacPathRequest(nullptr, "Folder", "", &path, &chosen), 0);
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(path, "");
}

TEST_F(Requesters, StringRequesterChecksWhatIsAcceptedAndAsksAgain) {
    char buffer[QZ_STRING_REQUESTER_BUFFER];
    EXPECT_TRUE(MacIsNumberText("-", 1));
    EXPECT_TRUE(MacIsNumberText("-.", 2));
    EXPECT_TRUE(MacIsNumberText("12.5", 4));
    EXPECT_FALSE(MacIsNumberText("", 0));
    EXPECT_FALSE(MacIsNumberText("1.2.3", 5));
    EXPECT_FALSE(MacIsNumberText("1-2", 3));

    // Too long, then fitting.
    Answers("abcdefg\nxy");
    ASSERT_EQ(MacStringRequest(nullptr, buffer, "Name?", "abcdefgh", "T", QZ_INPUT_ALL, 5, 0), 0);
    std::vector<qzHostDialog> shown = HeadlessTakeDialogs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].initial, "abcde");
    EXPECT_EQ(shown[1].initial, "abcde");
    EXPECT_STREQ(buffer, "xy");

    // Numbers only: "abc" starts as "0"; a second '.' is refused.
    Answers("1.2.3\n-4.5");
    ASSERT_EQ(MacStringRequest(nullptr, buffer, "", "abc", "T", QZ_INPUT_NUMERICAL, 0, 1), 0);
    shown = HeadlessTakeDialogs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].initial, "0");
    EXPECT_EQ(shown[0].password, 1);
    EXPECT_STREQ(buffer, "-4.5");

    // Characters beyond Latin-1 become '?'; a cancel empties the buffer.
    Answers("\"\xC3\xA9\xE2\x82\xAC\"\ncancel");
    ASSERT_EQ(MacStringRequest(nullptr, buffer, "", "", "T", QZ_INPUT_ALL, 0, 0), 0);
    EXPECT_STREQ(buffer, "\xE9?");
    EXPECT_EQ(MacStringRequest(nullptr, buffer, "", "x", "T", QZ_INPUT_ALL, 0, 0), ERR_USERABORT);
    EXPECT_STREQ(buffer, "");

    // The buffer holds at most 1024 bytes of text.
    Answers(std::string(2000, 'q'));
    ASSERT_EQ(MacStringRequest(nullptr, buffer, "", "", "T", QZ_INPUT_ALL, 0, 0), 0);
    EXPECT_EQ(std::strlen(buffer), QZ_STRING_REQUESTER_BUFFER - 1);
}

TEST_F(Requesters, ListFontAndColourRequesters) {
    int index = 7;
    Answers("1\ncancel");
    std::vector<std::string> items = {"red", "green", ""};
    ASSERT_EQ(MacListRequest(nullptr, "T", "Pick", items, 2, &index), 0);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(LastDialog().preselect, 2);
    ASSERT_EQ(MacListRequest(nullptr, "T", "Pick", items, 9, &index), 0);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(LastDialog().preselect, -1);

    qzBackendFontResult font;
    Answers("\"DejaVu Sans\" 14 bold underline\ncancel");
    ASSERT_EQ(MacFontRequest(nullptr, "T", "", 30, &font), 0);
    qzHostDialog d = LastDialog();
    EXPECT_EQ(d.family, "Helvetica");
    EXPECT_EQ(d.size, 12);
    EXPECT_STREQ(font.name, "DejaVu Sans");
    EXPECT_EQ(font.size, 14);
    EXPECT_EQ(font.weight, 200);
    EXPECT_EQ(font.bold, 1);
    EXPECT_EQ(font.slant, 0);
    EXPECT_EQ(font.underline, 1);
    // Without a choice the font it started with.
    ASSERT_EQ(MacFontRequest(nullptr, "T", "Vera", 18, &font), 0);
    EXPECT_STREQ(font.name, "Vera");
    EXPECT_EQ(font.size, 18);
    EXPECT_EQ(font.weight, 80);
    EXPECT_EQ(font.underline, 0);

    int32_t color = 0;
    Answers("$102030\ncancel");
    ASSERT_EQ(MacColorRequest(nullptr, "T", -1, &color), 0);
    EXPECT_EQ(LastDialog().color, 0);
    EXPECT_EQ(color, 0x102030);
    ASSERT_EQ(MacColorRequest(nullptr, "T", 0xABCDEF, &color), 0);
    EXPECT_EQ(LastDialog().color, 0xABCDEF);
    EXPECT_EQ(color, -1);
}

TEST_F(Requesters, ClipboardTextPicturesTypesAndTheChangeEvent) {
    EXPECT_EQ(ClipboardTextFromEngine("caf\xE9\r\n"), "caf\xC3\xA9\r\n");
    // A lone CR becomes LF; a CR LF pair stays one line end.
    EXPECT_EQ(ClipboardTextToEngine("a\rb\r\nc\r"), "a\nb\r\nc\n");
    EXPECT_EQ(ClipboardTextToEngine("\xC3\xA9\xE2\x82\xAC"), "\xE9?");

    qzHostWindow* handler = Open(1);
    Open(2);
    qzHostWindowSettings settings = handler->settings;
    settings.clipboardHandlerInstalled = 1;
    HostSetWindowSettings(handler, settings);

    int type = -1;
    ASSERT_EQ(MacPeekClipboard(&type), 0);
    EXPECT_EQ(type, QZ_CLIPBOARD_EMPTY);
    qzBackendClipboardData data;
    data.text = "one\rtwo \xE9";
    ASSERT_EQ(MacSetClipboard(QZ_CLIPBOARD_TEXT, data), 0);
    EXPECT_EQ(Hooks().posted, std::vector<PostedEvent>({{FakeDisplay(1), QZ_EVENT_CLIPBOARD, 0, 0, 0, {}}}));
    qzBackendClipboardData got;
    ASSERT_EQ(MacGetClipboard(&got, &type), 0);
    EXPECT_EQ(type, QZ_CLIPBOARD_TEXT);
    EXPECT_EQ(got.text, "one\ntwo \xE9");

    data = {};
    data.width = 3;
    data.height = 2;
    data.hasAlpha = 1;
    data.pixels = {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF123456, 0xFF654321, 0x40ABCDEF};
    ASSERT_EQ(MacSetClipboard(QZ_CLIPBOARD_IMAGE, data), 0);
    ASSERT_EQ(MacPeekClipboard(&type), 0);
    EXPECT_EQ(type, QZ_CLIPBOARD_IMAGE);
    ASSERT_EQ(MacGetClipboard(&got, &type), 0);
    EXPECT_EQ(got.width, 3);
    EXPECT_EQ(got.height, 2);
    EXPECT_EQ(got.hasAlpha, 1);
    // Fully transparent pixels keep no colour in PNG; the others come back as they went.
    EXPECT_EQ(got.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(got.pixels[1], 0x8000FF00u);
    EXPECT_EQ(got.pixels[2] >> 24, 0u);
    EXPECT_EQ(got.pixels[5], 0x40ABCDEFu);

    ASSERT_EQ(MacClearClipboard(), 0);
    ASSERT_EQ(MacPeekClipboard(&type), 0);
    EXPECT_EQ(type, QZ_CLIPBOARD_EMPTY);
    qzHostClipboard other;
    other.kind = QZ_HCLIP_UNKNOWN;
    HostDriver()->clipboardWrite(other);
    ASSERT_EQ(MacGetClipboard(&got, &type), 0);
    EXPECT_EQ(type, QZ_CLIPBOARD_UNKNOWN);

    // An empty picture is refused and changes nothing.
    data = {};
    EXPECT_EQ(MacSetClipboard(QZ_CLIPBOARD_IMAGE, data), ERR_SAVEPNG);
    EXPECT_EQ(MacSetClipboard(QZ_CLIPBOARD_SOUND, data), ERR_CLIPWRITE);
}

}  // namespace

}  // namespace requesters_test
