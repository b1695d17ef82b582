#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/error_codes.h"
#include "platform/file_test_util.h"
#include "platform/os_env.h"
#include "support/lang_scope.h"

namespace os_env_test {

using namespace filetest;

namespace {}  // namespace

TEST(OsEnv, LanguageAndCountryFromLang) {
    const struct {
        const char* lang;
        int language, country;
    } cases[] = {
        {"de_CH.UTF-8", 1, 29}, {"C", 18, 38},         {nullptr, 18, 38},   {"en_GB", 0, 0},
        {"en_UK", 0, 0},        {"en_US.UTF-8", 0, 1}, {"ru_UA", 17, 37},   {"fr", 4, 38},
        {"xx_DE", 18, 9},       {"pt_", 6, 38},        {"C.UTF-8", 18, 38},
    };
    for (const auto& c : cases) {
        LangScope scope(c.lang);
        EXPECT_EQ(OsGetSystemLanguage(), c.language) << (c.lang ? c.lang : "unset");
        EXPECT_EQ(OsGetSystemCountry(), c.country) << (c.lang ? c.lang : "unset");
    }
}

TEST(OsEnv, Environment) {
    std::string value;
    EXPECT_EQ(OsSetEnv("QZ_FILES_TEST_VAR", "one two"), 0);
    ASSERT_TRUE(OsGetEnv("QZ_FILES_TEST_VAR", &value));
    EXPECT_EQ(value, "one two");
    EXPECT_EQ(OsSetEnv("QZ_FILES_TEST_VAR", "three"), 0);  // overwrites
    ASSERT_TRUE(OsGetEnv("QZ_FILES_TEST_VAR", &value));
    EXPECT_EQ(value, "three");
    EXPECT_EQ(OsUnsetEnv("QZ_FILES_TEST_VAR"), 0);
    EXPECT_FALSE(OsGetEnv("QZ_FILES_TEST_VAR", &value));
    EXPECT_EQ(OsSetEnv("BAD=NAME", "x"), ERR_SETENV);
    EXPECT_EQ(OsSetEnv("", "x"), ERR_SETENV);
}

TEST(OsEnv, StandardButtons) {
    const struct {
        const char* text;
        int set;
    } cases[] = {
        {"OK", 3}, {"ok|cancel", 0}, {"YES|NO", 1}, {"Yes|No|Cancel", 2}, {"Yes|No|Maybe", -1}, {"OK|", -1}, {"", -1},
    };
    for (const auto& c : cases) {
        const char* text = c.text;
        int set = -1;
        OsMatchStandardButtons(&text, &set);
        EXPECT_EQ(set, c.set) << c.text;
        EXPECT_EQ(text == nullptr, c.set >= 0) << c.text;
    }
}

TEST(OsEnv, LocalTimeRoundTrip) {
    qzLocalTime t = {5, 4, 3, 29, 1, 2024, 0};  // 29 Feb 2024 03:04:05 local time
    int64_t seconds[3] = {};
    ASSERT_EQ(OsMakeTime(&t, seconds, 2), 1);
    qzLocalTime back;
    OsLocalTime(seconds, &back, 2);
    EXPECT_EQ(back.sec, 5);
    EXPECT_EQ(back.min, 4);
    EXPECT_EQ(back.hour, 3);
    EXPECT_EQ(back.day, 29);
    EXPECT_EQ(back.month, 1);
    EXPECT_EQ(back.year, 2024);
    EXPECT_EQ(Shell("date -d @" + std::to_string(seconds[2]) + " +%Y-%m-%dT%H:%M:%S"), "2024-02-29T03:04:05\n");
    qzLocalTime bad = {0, 0, 0, 1, 0, INT32_MIN, 0};
    EXPECT_EQ(OsMakeTime(&bad, seconds, 0), 0);
}

TEST(OsEnv, TemporaryFiles) {
    TempDir dir;
    std::string old = OsGetTempDir();
    EXPECT_EQ(old, "/tmp");
    OsSetTempDir(dir.path().c_str());
    char a[1024], b[1024];
    ASSERT_TRUE(OsGetTempFileName(a, sizeof(a)));
    ASSERT_TRUE(OsGetTempFileNameWithSuffix(b, sizeof(b), ".png"));
    OsSetTempDir(old.c_str());
    std::string sa = a, sb = b;
    EXPECT_EQ(sa.substr(0, dir.path().size() + 11), dir.path() + "/quarnelix.");
    EXPECT_EQ(sa.size(), dir.path().size() + 17);
    EXPECT_EQ(sb.size(), dir.path().size() + 21);
    EXPECT_EQ(sb.substr(sb.size() - 4), ".png");
    EXPECT_TRUE(Exists(sa));
    EXPECT_TRUE(Exists(sb));
    EXPECT_EQ(ReadFile(sb), "");
    char tiny[8];
    EXPECT_FALSE(OsGetTempFileName(tiny, sizeof(tiny)));
}

}  // namespace os_env_test
