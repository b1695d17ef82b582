#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "platform/catalog.h"
#include "platform/file_test_util.h"
#include "platform/os_dir.h"
#include "runtime/error_messages.h"
#include "support/lang_scope.h"

namespace error_messages_test {

namespace {

class ErrorMessages : public ::testing::Test {
protected:
    void SetUp() override {
        FreeUserErrorTexts();
        ResetErrorState();
    }
    void TearDown() override {
        FreeUserErrorTexts();
        ResetErrorState();
    }
};

// Codes and constants as declared in error_codes.h.
std::map<int, std::string> ReadDeclaredCodes() {
    std::map<int, std::string> codes;
    std::ifstream in(std::string(QZ_SOURCE_DIR) + "/src/base/error_codes.h");
    std::string line;
    while (std::getline(in, line)) {
        size_t name = line.find("ERR_"), eq = line.find(" = ");
        if (name != std::string::npos && eq != std::string::npos && line.back() == ',')
            codes[std::stoi(line.substr(eq + 3))] = line.substr(name, eq - name);
    }
    return codes;
}

}  // namespace

TEST_F(ErrorMessages, FormatsTableOfCodes) {
    struct Case {
        int code;
        const char* argText;
        int32_t argIndex;
        const char* expected;
    };
    const Case cases[] = {
        {ERR_MEM, "", 0, "Out of memory!"},
        {ERR_NUMEXPECTED, "", 3, "Number expected in argument 3!"},
        {ERR_STREXPECTED, "", -2, "String expected in argument -2!"},
        {ERR_FINDBRUSH, "", 7, "Could not find brush 7!"},
        // File-name codes show the file part only; others keep the whole text.
        {ERR_READFILE, "data/sub/file.txt", 0, "Cannot read file file.txt !"},
        {ERR_READFILE, "C:\\dir\\x.jpg", 0, "Cannot read file x.jpg !"},
        {ERR_READFILE, "vol:x.jpg", 0, "Cannot read file x.jpg !"},
        {ERR_LOADPICTURE2, "/a/b/c.iff", 0, "Image file \"c.iff\" is in an unknown/unsupported format!"},
        {ERR_FILEEXIST, "data/sub/file.txt", 0, "File data/sub/file.txt does not exist!"},
        {ERR_WRITEFILE, "data/sub/file.txt", 0, "Cannot write to file data/sub/file.txt !"},
        // A chunk file name shows its embedded name's file part, whatever the code.
        {ERR_READFILE, ":::chunk1024:500*gfx/pic.png?/a/b.qza", 0, "Cannot read file pic.png !"},
        {ERR_TABLEDECLA, ":::chunkS3:16*dir\\snd.wav?1a2b", 0, "Table snd.wav not found!"},
        {ERR_INTERNAL1, "#1", 0, "Internal limit reached! Error code #1."},
        {ERR_SOCKET, "timeout", 0, "The following network error occurred:\ntimeout"},
        // The argument text is inserted once, never read as a format.
        {ERR_TABLEDECLA, "%s%d%ld%%", 5, "Table %s%d%ld%% not found!"},
        // 1064 and 1239 show the argument text itself.
        {ERR_OPENFONT, "Cannot open font x.font with size 12!", 0, "Cannot open font x.font with size 12!"},
        {ERR_ERRORCALLED, "my own failure", 0, "my own failure"},
        {ERR_WRONGUSAGE, "", 0, "Wrong usage/parameters for this command!\nRead the documentation!"},
        {ERR_OLDAPPLET, "6.0", 0,
         "This functionality is only available to applets compiled by Quarnelix 6.0 or higher!"},
        // Unknown codes: outside the built-in range with no user text, and gaps inside it.
        {ERR_UNKNOWN, "", 0, "Unknown error code!"},
        {1249, "", 0, "Unknown error code!"},
        {1406, "", 0, "Unknown error code!"},
        {999, "", 0, "Unknown error code!"},
        {1, "", 0, "Unknown error code!"},
        {0, "", 0, "Unknown error code!"},
        {-5, "", 0, "Unknown error code!"},
        {1575, "", 0, "Unknown error code!"},
        {ERR_CONFIG2, "", 0, "Error in configuration!"},
    };
    for (const Case& c : cases) {
        SetErrorArgString(c.argText);
        SetErrorArgIndex(c.argIndex);
        EXPECT_EQ(FormatErrorText(c.code), c.expected) << c.code;
        char buffer[QZ_ERROR_TEXT_SIZE];
        EXPECT_EQ(FormatErrorText(c.code, buffer, sizeof buffer), std::strlen(c.expected));
        EXPECT_STREQ(buffer, c.expected) << c.code;
    }
}

TEST_F(ErrorMessages, CutsToBufferAndArgumentLimit) {
    char small[8];
    EXPECT_EQ(FormatErrorText(ERR_MEM, small, sizeof small), 7u);
    EXPECT_STREQ(small, "Out of ");
    char one[1] = {'x'};
    EXPECT_EQ(FormatErrorText(ERR_MEM, one, 1), 0u);
    EXPECT_EQ(one[0], 0);

    std::string longArg(5000, 'a');
    SetErrorArgString(longArg.c_str());
    EXPECT_EQ(std::strlen(GetErrorArgString()), 1023u);
    EXPECT_EQ(FormatErrorText(ERR_ERRORCALLED).size(), 1023u);
    std::string message = FormatErrorText(ERR_TABLEDECLA);  // "Table " + 1023 + " not found!"
    EXPECT_EQ(message.size(), 1023u);
    EXPECT_EQ(message.substr(0, 7), "Table a");
    SetErrorArgString(nullptr);
    EXPECT_STREQ(GetErrorArgString(), "");

    // A handler may pass back a piece of the current text.
    SetErrorArgString("dir/file.txt");
    SetErrorArgString(GetErrorArgString() + 4);
    EXPECT_STREQ(GetErrorArgString(), "file.txt");
    SetErrorArgString(GetErrorArgString());
    EXPECT_STREQ(GetErrorArgString(), "file.txt");
}

TEST_F(ErrorMessages, UserTexts) {
    EXPECT_EQ(AddUserErrorText("Plugin failed on %s!"), 1575);
    EXPECT_EQ(AddUserErrorText("Second"), 1576);
    SetErrorArgString("input.dat");
    EXPECT_EQ(FormatErrorText(1575), "Plugin failed on input.dat!");
    EXPECT_EQ(FormatErrorText(1576), "Second");
    EXPECT_EQ(FormatErrorText(1577), "Unknown error code!");
    // The text is copied.
    char text[] = "changing";
    EXPECT_EQ(AddUserErrorText(text), 1577);
    text[0] = 'X';
    EXPECT_EQ(FormatErrorText(1577), "changing");
    FreeUserErrorTexts();
    EXPECT_EQ(FormatErrorText(1575), "Unknown error code!");
    EXPECT_EQ(AddUserErrorText("again"), 1575);
}

TEST_F(ErrorMessages, RequesterText) {
    EXPECT_EQ(FormatErrorRequesterText("Out of memory!", false, true, "/home/u/test.qzs", 12, "----"),
              "Out of memory!\nFile: test.qzs (current line: 12)");
    EXPECT_EQ(FormatErrorRequesterText("Out of memory!", false, true, "/home/u/test.qzs", 12, "LoadBrush"),
              "Out of memory!\nFile: test.qzs (current line: 12 - In function: LoadBrush)");
    EXPECT_EQ(FormatErrorRequesterText("Out of memory!", true, true, "test.qzs", 12, "LoadBrush"), "Out of memory!");
    EXPECT_EQ(FormatErrorRequesterText("Out of memory!", false, false, "test.qzs", 12, "LoadBrush"), "Out of memory!");
    EXPECT_EQ(FormatErrorRequesterText("%s %d", false, true, "%s", -1, "%d"),
              "%s %d\nFile: %s (current line: -1 - In function: %d)");
}

TEST_F(ErrorMessages, CatalogCoversEveryCode) {
    std::map<int, std::string> codes = ReadDeclaredCodes();
    ASSERT_EQ(codes.size(), 572u);  // ERR_NONE and 571 built-in codes
    std::map<uint32_t, int> owner;
    for (const auto& [code, name] : codes) {
        if (code == 0) continue;
        uint32_t id = GetErrorMessageId(code);
        if (code == ERR_OPENFONT || code == ERR_ERRORCALLED || code == ERR_CONFIG2) {
            EXPECT_EQ(id, QZ_NO_MESSAGE_ID) << name;
            continue;
        }
        ASSERT_LT(id, static_cast<uint32_t>(QZ_NUM_MESSAGE_IDS)) << name;
        const char* text = GetCatalogText(static_cast<int>(id));
        ASSERT_NE(text, nullptr) << name;
        EXPECT_GT(std::strlen(text), 3u) << name;
        EXPECT_TRUE(owner.emplace(id, code).second) << name << " shares id " << id;
        // Only the placeholders that FormatErrorText fills.
        std::string t = text;
        for (size_t p = t.find('%'); p != std::string::npos; p = t.find('%', p + 1)) {
            std::string rest = t.substr(p + 1, 2);
            EXPECT_TRUE(rest[0] == 's' || rest[0] == 'd' || rest == "ld") << name << ": " << t;
        }
    }
    for (int gap : {1249, 1406, 1407, 1408, 999, 1575}) EXPECT_EQ(GetErrorMessageId(gap), QZ_NO_MESSAGE_ID);

    EXPECT_EQ(GetCatalogText(QZ_NUM_MESSAGE_IDS), nullptr);
    EXPECT_EQ(GetCatalogText(-1), nullptr);
}

// Every catalog text that the player names by id, with its text. No error code may take one of
// these ids, except ERR_UNKNOWN, whose message is text 91 itself.
TEST_F(ErrorMessages, NamedCatalogIds) {
    const std::pair<int, const char*> named[] = {
        {91, "Unknown error code!"},
        {92, "current line"},
        {94, "OK"},
        {95, "done"},
        {97, "Opening script %s"},
        {98, "Loading animation %s"},
        {99, "Preparing display"},
        {100, "Loading background picture %s"},
        {101, "Loading brush %s"},
        {108, "failed"},
        {109, "Loading sample %s"},
        {116, "Cannot open font %s with size %ld!"},
        {194, "File"},
        {195, "skipped"},
        {217, "OK|Cancel"},
        {262, "Loading sprite %s"},
        {278, "Loading music %s"},
        {280, "In function"},
        {287, "Loading applet %s"},
        {288, "Please select desired display mode!"},
        {289, "Full screen (best fit)|Windowed|Full screen (manual select)"},
        {307, "Cancel"},
        {309, "Select applet"},
        {338, "Yes"},
        {339, "No"},
        {372, "And Action!"},
        {402, "Error"},
        {410, "Opening font %s"},
        {698, "Loading icon %s"},
    };
    std::map<int, int> codeOfId;
    for (const auto& [code, name] : ReadDeclaredCodes())
        if (GetErrorMessageId(code) != QZ_NO_MESSAGE_ID) codeOfId[static_cast<int>(GetErrorMessageId(code))] = code;
    for (const auto& [id, text] : named) {
        ASSERT_NE(GetCatalogText(id), nullptr) << id;
        EXPECT_STREQ(GetCatalogText(id), text) << id;
        auto owner = codeOfId.find(id);
        if (owner != codeOfId.end()) {
            EXPECT_EQ(owner->second, ERR_UNKNOWN) << "error code " << owner->second << " takes named id " << id;
        }
    }
    // The start-up texts reach the code through their named constants.
    EXPECT_STREQ(GetCatalogText(QZ_MSG_LOADINGSCRIPT), "Loading script");
    EXPECT_STREQ(GetCatalogText(QZ_MSG_LOADINGAPPLET), "Loading applet %s");
    EXPECT_STREQ(GetCatalogText(QZ_MSG_OPENINGSCRIPT), "Opening script %s");

    // Each id has one default text, within the id range, in ascending order.
    for (size_t i = 0; i < qzNumDefaultTexts; i++) {
        EXPECT_GE(qzDefaultTexts[i].id, 0);
        EXPECT_LT(qzDefaultTexts[i].id, QZ_NUM_MESSAGE_IDS);
        if (i > 0) {
            EXPECT_LT(qzDefaultTexts[i - 1].id, qzDefaultTexts[i].id) << "id " << qzDefaultTexts[i].id;
        }
    }
}

TEST_F(ErrorMessages, ContextBuffers) {
    EXPECT_STREQ(GetErrorCommandName(), "----");
    EXPECT_STREQ(GetErrorSourceFile(), "?");
    SetErrorCommandName("LoadBrush");
    SetErrorSourceFile(std::string(3000, 'f').c_str());
    EXPECT_STREQ(GetErrorCommandName(), "LoadBrush");
    EXPECT_EQ(std::strlen(GetErrorSourceFile()), 1023u);
    ResetErrorState();
    EXPECT_STREQ(GetErrorCommandName(), "----");
    EXPECT_STREQ(GetErrorSourceFile(), "?");
}

TEST_F(ErrorMessages, CatalogTranslationIsNeverAFormat) {
    // A text catalog for the system language: line n + 1 holds id n.
    filetest::TempDir dir;
    std::string old;
    ASSERT_TRUE(OsChangeDir(dir.path().c_str(), &old));
    ASSERT_EQ(std::system("mkdir -p Catalogs/german"), 0);
    std::string lines;
    for (int id = 0; id < 140; id++) {
        if (id == static_cast<int>(GetErrorMessageId(ERR_NUMEXPECTED)))
            lines += "Zahl erwartet in Argument %ld!\n";
        else if (id == static_cast<int>(GetErrorMessageId(ERR_TABLEDECLA)))
            lines += "Tabelle %s %s %n %x fehlt!\n";
        else if (id == QZ_MSG_UNKNOWNERROR)
            lines += "Unbekannter Fehler!\n";
        else
            lines += "\n";
    }
    filetest::WriteFile("Catalogs/german/Quarnelix.catalog", lines);
    {
        LangScope lang("de_DE.UTF-8");
        OpenPlayerCatalog();

        SetErrorArgIndex(2);
        SetErrorArgString("t");
        EXPECT_EQ(FormatErrorText(ERR_NUMEXPECTED), "Zahl erwartet in Argument 2!");
        EXPECT_EQ(FormatErrorText(ERR_TABLEDECLA), "Tabelle t t %n %x fehlt!");
        EXPECT_EQ(FormatErrorText(1600), "Unbekannter Fehler!");

        ClosePlayerCatalog();
    }
    OsChangeDir(old.c_str(), nullptr);
    EXPECT_EQ(FormatErrorText(ERR_NUMEXPECTED), "Number expected in argument 2!");
}

}  // namespace error_messages_test
