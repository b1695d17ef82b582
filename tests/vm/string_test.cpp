#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "vm/vm_gc.h"
#include "vm/vm_string.h"
#include "vm/vm_value.h"
#include "vm_test_util.h"

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

TEST(String, NumberConversion) {
    struct Case {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"0x1F", true, 31}, {"$1F", true, 31}, {"12 ", true, 12}, {"12\t\n", true, 12}, {"-2.5e1", true, -25},
        {"12a", false, 0},  {"", false, 0},    {"0x", false, 0},  {"$", false, 0},       {"0xG", false, 0},
        {"$-1", false, 0},  {" ", false, 0},   {"$FFFFFFFFFF", true, 4294967295.0},
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
        {NAN, INT32_MIN, 0x80000000u},  {-1.9, -1, 0xFFFFFFFFu},      {1e20, INT32_MAX, 0xFFFFFFFFu},
        {-1e20, INT32_MIN, 0x80000000u}, {2147483648.0, INT32_MAX, 0x80000000u},
        {4294967295.0, INT32_MAX, 0xFFFFFFFFu}, {3.7, 3, 3u},
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
