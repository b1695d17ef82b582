#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/catalog.h"
#include "platform/chunk_name.h"
#include "platform/file_test_util.h"
#include "platform/os_dir.h"
#include "platform/os_process.h"
#include "support/lang_scope.h"

namespace catalog_test {

using namespace filetest;

namespace {

// Writes an IFF catalog with python3's struct module: entries are (id, text); each entry's
// length counts the text and its NUL, padded with zeros to a multiple of 4.
void WriteIffCatalog(const std::string& path, const std::string& entries, const std::string& extra = "") {
    std::string script =
        "import struct,sys\n"
        "entries=" +
        entries +
        "\n"
        "body=b''\n"
        "for i,t in entries:\n"
        "    b=t.encode('latin-1')+b'\\0'\n"
        "    body+=struct.pack('>II',i,len(b))+b+b'\\0'*((4-len(b)%4)%4)\n"
        "fver=b'FVER'+struct.pack('>I',12)+b'$VER: x 1.0\\0'\n"
        "strs=b'STRS'+struct.pack('>I',len(body))+body\n"
        "data=b'CTLG'+fver+b'LANG'+struct.pack('>I',8)+b'deutsch\\0'+strs\n" +
        extra +
        "form=b'FORM'+struct.pack('>I',len(data))+data\n"
        "open(sys.argv[1],'wb').write(form)\n";
    std::string scriptPath = path + ".py";
    WriteFile(scriptPath, script);
    ASSERT_EQ(std::system(("python3 '" + scriptPath + "' '" + path + "'").c_str()), 0);
    std::remove(scriptPath.c_str());
}

qzCatalog* Parse(const std::string& data) {
    return ParseCatalogData(reinterpret_cast<const unsigned char*>(data.data()), data.size());
}

// Runs the test body with the temporary directory as current directory.
class CwdScope {
public:
    explicit CwdScope(const std::string& dir) { OsChangeDir(dir.c_str(), &mOld); }
    ~CwdScope() { OsChangeDir(mOld.c_str(), nullptr); }

private:
    std::string mOld;
};

}  // namespace

TEST(Catalog, IffCatalogBuiltWithStruct) {
    TempDir dir;
    std::string path = dir / "t.catalog";
    WriteIffCatalog(path, "[(0,'Null'),(1,'Eins'),(7,'Sieben ist l\\xe4nger'),(94,'OK!'),(2,'')]");
    std::string data = ReadFile(path);
    qzCatalog* c = Parse(data);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->iffStrings, 0u);
    EXPECT_STREQ(GetCatalogFileString(c, 0, "d"), "Null");
    EXPECT_STREQ(GetCatalogFileString(c, 1, "d"), "Eins");
    EXPECT_STREQ(GetCatalogFileString(c, 7, "d"), "Sieben ist l\xE4nger");
    EXPECT_STREQ(GetCatalogFileString(c, 94, "d"), "OK!");
    EXPECT_STREQ(GetCatalogFileString(c, 2, "d"), "");
    EXPECT_STREQ(GetCatalogFileString(c, 3, "default"), "default");
    EXPECT_STREQ(GetCatalogFileString(c, -1, "default"), "default");
    FreeCatalogFile(c);
    EXPECT_STREQ(GetCatalogFileString(nullptr, 1, "none"), "none");
}

TEST(Catalog, MalformedIffNeverReadsPastItsData) {
    TempDir dir;
    std::string path = dir / "t.catalog";
    WriteIffCatalog(path, "[(1,'first entry'),(2,'second entry text'),(3,'third')]");
    std::string good = ReadFile(path);
    size_t strs = good.find("STRS");
    ASSERT_NE(strs, std::string::npos);
    const size_t entry2 = strs + 8 + 8 + 12;  // "first entry\0" is 12 bytes

    // Every truncation: a lookup ends at the data's end, returning the default or a whole text.
    for (size_t cut = 101; cut < good.size(); ++cut) {
        qzCatalog* c = Parse(good.substr(0, cut));
        ASSERT_NE(c, nullptr) << cut;
        for (int id = 1; id <= 4; ++id) {
            const char* s = GetCatalogFileString(c, id, "dflt");
            EXPECT_TRUE(std::string(s) == "dflt" || std::string(s).size() < 20) << cut;
        }
        FreeCatalogFile(c);
    }

    // A length that runs past the data, and a text without its NUL.
    std::string bad = good;
    bad[entry2 + 4] = '\x7F';
    qzCatalog* c = Parse(bad);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(GetCatalogFileString(c, 1, "d"), "first entry");
    EXPECT_STREQ(GetCatalogFileString(c, 2, "d"), "d");
    EXPECT_STREQ(GetCatalogFileString(c, 3, "d"), "d");
    FreeCatalogFile(c);
    std::string noNul = good.substr(0, entry2 + 8 + 4);  // "seco" and nothing after it
    c = Parse(noNul + std::string(101 > noNul.size() ? 101 - noNul.size() : 0, 'x'));
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(GetCatalogFileString(c, 2, "d"), "d");
    FreeCatalogFile(c);

    std::string shortLength = good;
    shortLength[strs + 8 + 7] = 4;  // "firs" with no NUL inside its entry
    c = Parse(shortLength);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(GetCatalogFileString(c, 1, "d"), "d");
    FreeCatalogFile(c);

    // No "CTLG"/"FVER" or no "STRS": no catalog.
    std::string wrongType = good;
    wrongType.replace(8, 4, "XXXX");
    EXPECT_EQ(Parse(wrongType), nullptr);
    std::string noStrs = good;
    noStrs.replace(strs, 4, "ZZZZ");
    EXPECT_EQ(Parse(noStrs), nullptr);
}

TEST(Catalog, TextCatalogs) {
    const struct {
        std::string data;
        int index;
        const char* expected;
    } cases[] = {
        {"a\\tb\n", 0, "a\tb"},
        {"a\\\\b\n", 0, "a\\b"},
        {"a\\qb\n", 0, "a\\b"},
        {"x\\ny\\rz\n", 0, "x\ny\rz"},
        {"one\ntwo\nthree\n", 3, "default"},
        {"one\ntwo\nthree\n", 2, "three"},
        {"one\ntwo\nthree", 2, "three"},
        {"one\ntwo\nthree\n", -5, "one"},
        {"one\r\ntwo\r\n", 1, "two"},
        {"ab\rXcd\nef\n", 1, "cd"},  // a lone CR ends the string and swallows 'X'
        {"one\n\nthree\n", 1, ""},
        {std::string("one\ntwo\0three\n", 14), 2, "default"},  // a NUL ends the text
        {"", 0, "default"},
        {"trailing\\", 0, "trailing\\"},
    };
    for (const auto& c : cases) {
        qzCatalog* cat = Parse(c.data);
        ASSERT_NE(cat, nullptr);
        EXPECT_EQ(cat->iffStrings, 0u);
        EXPECT_STREQ(GetCatalogFileString(cat, c.index, "default"), c.expected) << c.data;
        FreeCatalogFile(cat);
    }
    // A "FORM" file of exactly 100 bytes is read as text.
    std::string form100 = "FORM" + std::string(4, '\0') + "CTLGFVER" + std::string(84, 'y');
    ASSERT_EQ(form100.size(), 100u);
    qzCatalog* cat = Parse(form100);
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(cat->iffStrings, 0u);
    EXPECT_STREQ(GetCatalogFileString(cat, 0, "d"), "FORM");
    FreeCatalogFile(cat);
}

TEST(Catalog, FoundByLanguage) {
    TempDir dir;
    CwdScope cwd(dir.path());
    ASSERT_EQ(std::system("mkdir -p Catalogs/german Catalogs/fran\xC3\xA7"
                          "ais Catalogs/\xC4\x8D"
                          "e\xC5\xA1tina"),
              0);
    WriteFile("Catalogs/german/App.catalog", "Hallo\nWelt\n");
    WriteFile(
        "Catalogs/fran\xC3\xA7"
        "ais/App.catalog",
        "Bonjour\n");
    WriteFile(
        "Catalogs/\xC4\x8D"
        "e\xC5\xA1tina/App.catalog",
        "Ahoj\n");

    const struct {
        const char* lang;
        const char* expected;
    } cases[] = {
        {"de_DE.UTF-8", "Hallo"},                                // English folder name
        {"fr_FR.UTF-8", "Bonjour"},                              // native folder name with a Latin-1 letter
        {"cs_CZ.UTF-8", "Ahoj"},    {"en_GB.UTF-8", "builtin"},  // English: no catalog
        {nullptr, "builtin"},                                    // no LANG: no catalog
        {"it_IT", "builtin"},                                    // no file
    };
    for (const auto& c : cases) {
        LangScope lang(c.lang);
        qzCatalog* cat = OpenCatalogFile("App.catalog");
        EXPECT_STREQ(GetCatalogFileString(cat, 0, "builtin"), c.expected) << (c.lang ? c.lang : "unset");
        FreeCatalogFile(cat);
    }

    // The player's own catalog.
    WriteFile("Catalogs/german/Quarnelix.catalog", "Speicher voll!\n");
    LangScope lang("de_AT");
    OpenPlayerCatalog();
    EXPECT_STREQ(GetPlayerCatalogString(0, "Out of memory!"), "Speicher voll!");
    EXPECT_STREQ(GetPlayerCatalogString(5, "Fallback"), "Fallback");
    ClosePlayerCatalog();
    EXPECT_STREQ(GetPlayerCatalogString(0, "Out of memory!"), "Out of memory!");
}

TEST(Catalog, FoundBesideTheProgram) {
    char folder[1024];
    ASSERT_TRUE(MacGetBundlePath(folder, sizeof(folder)));
    std::string base = std::string(folder) + "/Catalogs/dutch";
    std::string leaf = "qzcat" + std::to_string(getpid()) + ".catalog";
    ASSERT_EQ(std::system(("mkdir -p '" + base + "'").c_str()), 0);
    WriteFile(base + "/" + leaf, "Hallo daar\n");
    TempDir elsewhere;
    CwdScope cwd(elsewhere.path());
    LangScope lang("nl_NL");
    qzCatalog* cat = OpenCatalogFile(leaf.c_str());
    EXPECT_STREQ(GetCatalogFileString(cat, 0, "none"), "Hallo daar");
    FreeCatalogFile(cat);
    std::remove((base + "/" + leaf).c_str());
    std::system(("rmdir '" + base + "' '" + std::string(folder) + "/Catalogs' 2>/dev/null").c_str());
}

}  // namespace catalog_test
