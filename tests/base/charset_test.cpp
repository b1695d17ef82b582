#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/charset.h"

namespace charset_test {

TEST(Charset, CaseFoldingTables) {
    // Every byte: upper and lower folding are inverse on letters and identity elsewhere.
    for (int c = 0; c < 256; c++) {
        int up = qzUpperCaseTable[c], lo = qzLowerCaseTable[c];
        bool isLower = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
        bool isUpper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
        EXPECT_EQ(up, isLower ? c - 32 : c) << c;
        EXPECT_EQ(lo, isUpper ? c + 32 : c) << c;
        if (isLower) {
            EXPECT_EQ(qzLowerCaseTable[up], c) << c;
        }
    }
    for (int c : {0xD7, 0xF7, 0xDF, 0xFF}) {
        EXPECT_EQ(ToUpperChar(c), c);
        EXPECT_EQ(ToLowerChar(c), c);
    }
    char text[] = "Hello \xC9T\xC9 \xD7\xDE";
    EXPECT_EQ(LowerCaseString(text), text);
    EXPECT_STREQ(text, "hello \xE9t\xE9 \xD7\xFE");
}

TEST(Charset, CompareNoCase) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"LoadBrush", "loadbrush", 0},
        {"\xE9t\xE9", "\xC9T\xC9", 0},  // accented letters fold
        {"\xF7", "\xD7", 1},            // division and multiplication signs do not
        {"abc", "abd", -1},
        {"ab", "abc", -1},
        {"abc", "AB", 1},
        {"", "", 0},
        {"_", "a", 1},  // folded to upper case: 0x5F against 0x41
    };
    for (const Case& c : cases) {
        int r = CompareNoCase(c.a, c.b);
        int sign = (r > 0) - (r < 0);
        EXPECT_EQ(sign, c.sign) << c.a << " vs " << c.b;
    }
    const char* s = "same";
    EXPECT_EQ(CompareNoCase(s, s), 0);
    EXPECT_LT(CompareNoCase(nullptr, "a"), 0);
    EXPECT_EQ(CompareNoCaseN("ABCdef", "abcXYZ", 3), 0);
    EXPECT_NE(CompareNoCaseN("ABCdef", "abcXYZ", 4), 0);
    EXPECT_EQ(CompareNoCaseN("ab", "AB", 10), 0);  // stops at the end of both texts
    EXPECT_EQ(CompareNoCaseN("x", "y", 0), 0);
}

TEST(Charset, Classes) {
    EXPECT_TRUE(IsAlphaChar('q'));
    EXPECT_TRUE(IsAlphaChar(0xE9));
    EXPECT_FALSE(IsAlphaChar(0xF7));
    EXPECT_FALSE(IsAlphaChar('5'));
    EXPECT_TRUE(IsAlnumChar('5'));
    EXPECT_TRUE(IsAlnumChar(0xC0));
    EXPECT_FALSE(IsAlnumChar('-'));
    EXPECT_TRUE(IsGraphChar('!'));
    EXPECT_FALSE(IsGraphChar(' '));
    EXPECT_FALSE(IsGraphChar(0xA0));
    EXPECT_TRUE(IsGraphChar(0xA9));
    for (int c : {-1, 256, 0x1E9}) {
        EXPECT_EQ(IsAlphaChar(c), 0);
        EXPECT_EQ(IsGraphChar(c), 0);
        EXPECT_EQ(IsAlnumChar(c), 0);
    }
    EXPECT_EQ(LowestSetBit(0x18), 3);
    EXPECT_EQ(LowestSetBit(1), 0);
    EXPECT_EQ(LowestSetBit(0x80000000u), 31);
    EXPECT_EQ(LowestSetBit(0), -1);
}

TEST(Charset, Latin1Utf8RoundTrip) {
    EXPECT_EQ(ConvertLatin1ToUtf8("\xE9"), "\xC3\xA9");
    EXPECT_EQ(ConvertUtf8ToLatin1("\xC3\xA9"), "\xE9");
    EXPECT_EQ(ConvertUtf8ToLatin1("\xC2\xA9"), "\xA9");
    // All 256 bytes survive a round trip.
    std::string all;
    for (int c = 1; c < 256; c++) all.push_back(static_cast<char>(c));
    std::string utf8 = ConvertLatin1ToUtf8(all);
    EXPECT_EQ(utf8.size(), 127u + 2 * 128u);
    EXPECT_EQ(ConvertUtf8ToLatin1(utf8), all);
    std::string out;
    EXPECT_TRUE(ConvertCharset("a\xFF", QZ_CHARSET_LATIN1, QZ_CHARSET_UTF8, &out));
    EXPECT_EQ(out, "a\xC3\xBF");
    EXPECT_TRUE(ConvertCharset(out, QZ_CHARSET_UTF8, QZ_CHARSET_LATIN1, &out));
    EXPECT_EQ(out, "a\xFF");
    EXPECT_FALSE(ConvertCharset("a", QZ_CHARSET_UTF8, QZ_CHARSET_UTF8, &out));
    EXPECT_FALSE(ConvertCharset("a", 0, 2, &out));
}

TEST(Charset, TruncatedUtf8StaysInsideInput) {
    // A lead byte at the end has no trail: it is kept and the terminating NUL is not consumed.
    // The heap copy makes ASan report any read past the input.
    std::string input = "ab\xC3";
    char* heap = new char[input.size() + 1];
    std::memcpy(heap, input.c_str(), input.size() + 1);
    EXPECT_EQ(ConvertUtf8ToLatin1(heap), "ab\xC3");
    char buffer[16];
    EXPECT_EQ(ConvertUtf8ToLatin1(heap, buffer, sizeof buffer), 3u);
    EXPECT_STREQ(buffer, "ab\xC3");
    delete[] heap;

    // A string_view that ends inside a longer buffer: the byte after the view is never used.
    const char raw[] = "x\xC3\xA9";
    EXPECT_EQ(ConvertUtf8ToLatin1(std::string_view(raw, 2)), "x\xC3");

    // The buffer form cuts to its size and always terminates.
    char small[3];
    EXPECT_EQ(ConvertUtf8ToLatin1("\xC3\xA9\xC3\xA9\xC3\xA9", small, sizeof small), 2u);
    EXPECT_STREQ(small, "\xE9\xE9");
}

}  // namespace charset_test
