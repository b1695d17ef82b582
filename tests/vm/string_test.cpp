#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vm/vm_gc.h"
#include "vm/vm_string.h"
#include "vm/vm_table.h"
#include "vm/vm_value.h"
#include "vm_test_util.h"

namespace string_test {

TEST(String, InterningGivesOneObjectPerText) {
    VmHolder L;
    VmString* a = VmInternString(L, "abc", 3);
    VmString* b = VmInternString(L, std::string("abc").c_str(), 3);
    EXPECT_EQ(a, b);
    VmString* z1 = VmInternString(L, "a\0b", 3);
    VmString* z2 = VmInternString(L, "a\0c", 3);
    EXPECT_NE(z1, z2);
    EXPECT_EQ(z1->len, 3u);
    EXPECT_EQ(VmStringData(z1)[3], '\0');
}

// Texts of every length up to past the word-hashed ones intern to one object each, from copies
// that end exactly where their memory ends, and a text that differs in one byte is another.
TEST(String, InterningOfEveryLength) {
    VmHolder L;
    std::string text;
    std::vector<VmString*> seen;
    for (size_t n = 0; n <= 300; n++) {
        std::unique_ptr<char[]> copy(new char[n]);
        if (n) memcpy(copy.get(), text.data(), n);
        VmString* s = VmInternString(L, copy.get(), n);
        EXPECT_EQ(VmInternString(L, text.data(), n), s) << n;
        EXPECT_EQ(s->len, n);
        for (size_t at : {size_t{0}, n / 2, n ? n - 1 : 0}) {
            if (n == 0) break;
            std::string other = text;
            other[at] ^= 1;
            EXPECT_NE(VmInternString(L, other.data(), n), s) << n << " " << at;
        }
        seen.push_back(s);
        text.push_back(static_cast<char>('a' + n % 26));
    }
    // Each text is kept by the VM until collected: the first ones are still found.
    for (size_t n = 0; n < 10; n++) EXPECT_EQ(VmInternString(L, text.data(), n), seen[n]);
}

// The lookup hash worked out from the pieces of a text is the one of the joined text, however
// it is cut (empty pieces included), on both sides of the length where sampling starts.
TEST(String, LookupHashOfPiecesMatchesTheJoinedText) {
    std::mt19937 random(7);
    for (size_t length : {0, 1, 16, 127, 128, 129, 130, 255, 256, 257, 1000, 4097}) {
        std::string text;
        for (size_t i = 0; i < length; i++) text.push_back(static_cast<char>(random()));
        uint32_t whole = VmStringLookupHash(text.data(), text.size());
        for (int round = 0; round < 20; round++) {
            std::vector<VmTextPiece> pieces;
            size_t at = 0;
            while (at < length || pieces.empty()) {
                size_t piece = round == 0 ? length : random() % (length / 3 + 2);
                if (piece > length - at) piece = length - at;
                pieces.push_back({text.data() + at, piece});
                at += piece;
                if (random() % 4 == 0) pieces.push_back({text.data() + at, 0});
            }
            EXPECT_EQ(VmStringLookupHashOfPieces(pieces.data(), (int)pieces.size(), length), whole)
                << length << " in " << pieces.size() << " pieces";
        }
    }
}

// Long results of a concatenation (strings and numbers, few or many values) are the very strings
// that interning their text gives, and their table hash is the byte hash of the text.
TEST(String, LongConcatenationsAreTheInternedText) {
    VmHolder L;
    for (int count : {3, 9, 31, 32, 33, 40}) {
        for (bool numbers : {false, true}) {
            std::string expected;
            ASSERT_TRUE(VmCheckStack(L, count + 2));
            for (int j = 0; j < count; j++) {
                if (numbers && j % 2) {
                    VmPushNumber(L, j * 0.25);
                    char text[32];
                    expected.append(text, (size_t)VmFormatNumber(j * 0.25, text));
                } else {
                    std::string text(100 + (size_t)j, static_cast<char>('a' + j % 26));
                    VmPushLString(L, text.data(), text.size());
                    expected += text;
                }
            }
            VmConcat(L, count);
            VmString* joined = VmStringValue(L.state->top - 1);
            EXPECT_EQ(joined, VmInternString(L, expected.data(), expected.size())) << count << " " << numbers;
            EXPECT_EQ(VmStringKeyHash(joined), VmStringHash(expected.data(), expected.size()));
            // Another text of the same length, differing in one byte, is another string.
            expected[expected.size() / 3] ^= 1;
            EXPECT_NE(VmInternString(L, expected.data(), expected.size()), joined);
            VmSetTop(L, 0);
        }
    }
}

TEST(String, TableDoublesAndCollectorHalvesIt) {
    VmHolder L;
    VmGlobalState* g = L.state->g;
    int before = g->strt.size;
    for (int i = 0; i < 5000; i++) {
        std::string s = "str" + std::to_string(i);
        VmInternString(L, s.data(), s.size());
    }
    EXPECT_GE(g->strt.size, 4096);
    EXPECT_LE(g->strt.nuse, (uint32_t)g->strt.size);
    VmCollectGarbage(L);
    VmCollectGarbage(L);
    VmCollectGarbage(L);
    VmCollectGarbage(L);
    EXPECT_LT(g->strt.size, 4096);
    EXPECT_GE(g->strt.size, before);
    // The fixed event names survive every collection.
    EXPECT_EQ(VmInternCString(L, "__index"), g->eventNames[VM_EV_INDEX]);
}

// A collection frees the strings nothing holds and keeps the rest findable, in a table crowded
// enough that freed strings sit between kept ones in the runs of the string table.
TEST(String, CollectionKeepsHeldStringsFindable) {
    VmHolder L;
    VmGlobalState* g = L.state->g;
    VmTable* keep = VmNewTableObject(L, 0, 0);
    VmSetValueTable(L.state->top++, keep);
    uint32_t fixed = g->strt.nuse;
    std::vector<VmString*> kept;
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < 3000; i++) {
            std::string text = "s" + std::to_string(round) + "_" + std::to_string(i);
            VmString* s = VmInternString(L, text.data(), text.size());
            if ((i + round) % 3 == 0) {
                VmSetValueString(VmTableSetInt(L, keep, (int)kept.size() + 1), s);
                kept.push_back(s);
            }
        }
        VmCollectGarbage(L);
        EXPECT_EQ(g->strt.nuse, fixed + kept.size()) << round;
        for (VmString* s : kept) ASSERT_EQ(VmInternString(L, VmStringData(s), s->len), s) << VmStringData(s);
    }
    // Dropped texts come back as new strings; kept ones are still the same objects.
    std::string dropped = "s0_1";
    VmString* again = VmInternString(L, dropped.data(), dropped.size());
    EXPECT_EQ(std::string(VmStringData(again), again->len), dropped);
    EXPECT_EQ(g->strt.nuse, fixed + kept.size() + 1);
}

TEST(String, NumberConversion) {
    struct Case {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"0x1F", true, 31},
        {"$1F", true, 31},
        {"12 ", true, 12},
        {"12\t\n", true, 12},
        {"-2.5e1", true, -25},
        {"12a", false, 0},
        {"", false, 0},
        {"0x", false, 0},
        {"$", false, 0},
        {"0xG", false, 0},
        {"$-1", false, 0},
        {" ", false, 0},
        {"$FFFFFFFFFF", true, 4294967295.0},
    };
    for (const Case& c : cases) {
        double v = -1;
        EXPECT_EQ(VmStringToNumber(c.text, &v) != 0, c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    char buf[32];
    VmFormatNumber(0.1, buf);
    EXPECT_STREQ(buf, "0.1");
    VmFormatNumber(1e15, buf);
    EXPECT_STREQ(buf, "1e+15");
}

TEST(String, IntegerConversionsSaturate) {
    struct Case {
        double in;
        int32_t asInt;
        uint32_t bits;
    } cases[] = {
        {NAN, INT32_MIN, 0x80000000u},
        {-1.9, -1, 0xFFFFFFFFu},
        {1e20, INT32_MAX, 0xFFFFFFFFu},
        {-1e20, INT32_MIN, 0x80000000u},
        {2147483648.0, INT32_MAX, 0x80000000u},
        {4294967295.0, INT32_MAX, 0xFFFFFFFFu},
        {3.7, 3, 3u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VmDoubleToInt32(c.in), c.asInt) << c.in;
        EXPECT_EQ(VmDoubleToBits32(c.in), c.bits) << c.in;
    }
    EXPECT_EQ(VmLog2(0), -1);
    EXPECT_EQ(VmLog2(1), 0);
    EXPECT_EQ(VmLog2(255), 7);
    EXPECT_EQ(VmLog2(256), 8);
    EXPECT_EQ(VmLog2(0xFFFFFFFFu), 31);
}

TEST(String, NonFiniteNumbersFormatTheSameEverywhere) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {std::nan(""), "nan"}, {-std::nan(""), "nan"}, {INFINITY, "inf"}, {-INFINITY, "-inf"}, {-0.0, "-0"},
    };
    for (const Case& c : cases) {
        char buf[32];
        VmFormatNumber(c.value, buf);
        EXPECT_STREQ(buf, c.text) << c.value;
    }
}

// Number text is byte for byte the C library's "%.14g" (NaN aside, tested above): on a table of
// edge values, on a million random doubles of every magnitude and on short decimals.
TEST(String, NumberTextIsPrintfFourteenDigits) {
    std::vector<double> values = {
        0.0,
        -0.0,
        1,
        -1,
        0.1,
        0.5,
        1.5,
        2.5,
        0.3,
        1.0 / 3,
        2.0 / 3,
        123456789012345.0,
        99999999999999.0,
        99999999999999.5,
        1e14 - 1,
        1e14,
        1e14 + 1,
        -1e14,
        -(1e14 - 1),
        1e15,
        1e16,
        9007199254740992.0,
        9007199254740993.0,
        -9007199254740992.0,
        4294967295.0,
        4294967296.0,
        2147483648.0,
        -2147483649.0,
        1e-4,
        1e-5,
        0.0001234,
        0.00001234,
        123456.78901234567,
        99999999999999.99,
        9.99999999999995e14,
        9.999999999999949e14,
        0.99999999999999,
        0.999999999999995,
        0.9999999999999949,
        DBL_MAX,
        -DBL_MAX,
        DBL_MIN,
        DBL_TRUE_MIN,
        -DBL_TRUE_MIN,
        2.2250738585072009e-308,
        4.9406564584124654e-324 * 3,
        INFINITY,
        -INFINITY,
        1e300,
        1e-300,
        5e-324,
        1.7976931348623157e308,
        123.456,
        -0.000001,
        9999999999.9999,
        -9999999999.9999,
        9999999999.99995,
        1e10 - 0.5,
        1e10 + 0.5,
        0.0001,
        0.00015,
        0.00009999,
        1234.00005,
        0.1 + 0.2,
        1.0005,
        2.675,
        1e-4 * 3,
    };
    for (int e = -330; e <= 310; e++) {
        double p = std::pow(10.0, e);
        values.insert(values.end(), {p, -p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY), p * 5, p * 9.5});
    }
    for (int e = -1075; e <= 1024; e++) values.push_back(std::ldexp(1.0, e));
    std::mt19937_64 random(20260101);
    for (int i = 0; i < 1000000; i++) {
        uint64_t bits = random();
        double d;
        switch (i % 4) {
        case 0: memcpy(&d, &bits, sizeof d); break;                 // any bit pattern
        case 1: d = (double)(int64_t)(bits >> (bits % 64)); break;  // integers of any size
        case 2: d = (double)(bits % 2000001) / 1000 - 1000; break;  // short decimals
        default: d = std::ldexp((double)(bits >> 11), (int)(bits % 120) - 100); break;
        }
        if (!std::isnan(d)) values.push_back(d);
    }
    // Decimals of four places and fewer up to 1e10 and a little beyond, and their neighbours.
    for (int i = 0; i < 200000; i++) {
        uint64_t bits = random();
        double d = (double)(int64_t)(bits % 200000000000000ull - 100000000000000ull) / 1e4;
        if (i % 8 == 0) d *= 1.0001;
        values.insert(values.end(), {d, std::nextafter(d, INFINITY)});
    }
    // Fifteen-digit decimals ending in 5, halfway between two fourteen-digit texts when exact
    // (1e14 + 5), and their neighbours, at every decimal scale of normal numbers.
    values.insert(values.end(), {100000000000005.0, 100000000000015.0, -100000000000025.0, 1.00000000000005,
                                 0.123456789012345, 1.23456789012345e-7, 9.99999999999995e-100});
    for (int i = 0; i < 200000; i++) {
        uint64_t bits = random();
        double d = (double)((bits % 90000000000000ull + 10000000000000ull) * 10 + 5) *
                   std::pow(10.0, (int)(bits >> 40) % 630 - 321);
        values.insert(values.end(), {d, std::nextafter(d, 0.0), std::nextafter(d, INFINITY)});
    }
    int mismatches = 0;
    for (double v : values) {
        char ours[32], theirs[64];
        int n = VmFormatNumber(v, ours);
        snprintf(theirs, sizeof theirs, "%.14g", v);
        if (strcmp(ours, theirs) != 0 || n != (int)strlen(theirs)) {
            if (++mismatches <= 10) ADD_FAILURE() << theirs << " written as " << ours;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace string_test
