// The string library through the VM: substrings, searching, case tables, splitting, number text,
// conversions, Eval variables and digests; python3 as the oracle where one exists.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/math/math_lib.h"
#include "libs/oracle.h"
#include "libs/string/string_lib.h"
#include "runtime/error_messages.h"
#include "runtime/object_registry.h"
#include "support/commands.h"
#include "vm/vm_aux.h"

namespace string_lib_test {

using qztest::Arg;
using qztest::Nil;

namespace {

std::string E(int code) { return "ERR " + std::to_string(code); }

struct Row {
    const char* command;
    std::vector<Arg> args;
    std::string expected;
};

void RunRows(qztest::Commands& vm, const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        std::string args;
        for (const Arg& a : r.args) args += a.Describe() + " ";
        EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command << " " << args;
    }
}

const std::string wrong = E(ERR_WRONGUSAGE);

TEST(StringLib, Substrings) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"addstr", {"ab", 12}, "\"ab12\""},
                    {"strlen", {std::string("a\0b", 3)}, "3"},
                    {"leftstr", {"abcdef", 2}, "\"ab\""},
                    {"leftstr", {"abcdef", 0}, "\"\""},
                    {"leftstr", {"abcdef", -3}, "\"\""},
                    {"leftstr", {"abc", 10}, "\"abc\""},
                    {"rightstr", {"abcdef", 2}, "\"ef\""},
                    {"rightstr", {"abc", 10}, "\"abc\""},
                    {"rightstr", {"abc", -1}, "\"\""},
                    {"midstr", {"abcdef", 1, 3}, "\"bcd\""},
                    {"midstr", {"abcdef", 4, 10}, "\"ef\""},
                    {"midstr", {"abcdef", 6, 1}, "\"\""},
                    {"midstr", {"abcdef", 100, 1}, "\"\""},
                    {"midstr", {"abcdef", 1, 0}, "\"\""},
                    {"midstr", {"abcdef", -1, 3}, wrong},  // never reads before the string
                    {"midstr", {"abcdef", -2147483647.0, 2147483647.0}, wrong},
                    {"unleftstr", {"abcdef", 2}, "\"abcd\""},
                    {"unleftstr", {"abcdef", 9}, "\"\""},
                    {"unleftstr", {"abcdef", -1}, wrong},
                    {"unrightstr", {"abcdef", 2}, "\"cdef\""},
                    {"unrightstr", {"abcdef", 6}, "\"\""},
                    {"unrightstr", {"abcdef", -1}, wrong},
                    {"unmidstr", {"abcdef", 1, 2}, "\"adef\""},
                    {"unmidstr", {"abcdef", 4, 100}, "\"abcd\""},
                    {"unmidstr", {"abcdef", 1, 0}, "\"abcdef\""},
                    {"unmidstr", {"abcdef", 6, 2}, "\"abcdef\""},  // nothing lies past the end
                    {"unmidstr", {"abcdef", 1000, 5}, "\"abcdef\""},
                    {"unmidstr", {"abcdef", -1, 2}, wrong},
                    {"unmidstr", {"abcdef", 1, -2}, wrong},
                    {"insertstr", {"abcdef", "XY", 2}, "\"abXYcdef\""},
                    {"insertstr", {"abcdef", "XY", 2, 1}, "\"abXYef\""},
                    {"insertstr", {"abcdef", "XYZ", 4, 1}, "\"abcdXYZ\""},
                    {"insertstr", {"abcdef", "XY", 4, 1}, "\"abcdXY\""},
                    {"insertstr", {"abc", "XY", 99}, "\"abcXY\""},
                    {"insertstr", {"", "XY", 3}, "\"XY\""},
                    {"insertstr", {"abc", "", 1}, "\"abc\""},
                    {"insertstr", {"abc", "XY", -1}, wrong},
                    {"repeatstr", {"ab", 3}, "\"ababab\""},
                    {"repeatstr", {"ab", 0}, "\"\""},
                    {"repeatstr", {"ab", -1}, wrong},
                    {"repeatstr", {"", 2147483647.0}, "\"\""},        // answered at once
                    {"repeatstr", {"abcd", 2000000000}, E(ERR_MEM)},  // refused before allocating
                    {"leftstr", {"abc"}, E(ERR_MISSINGPARAMTR)},
                    {"leftstr", {"abc", 1, 2}, E(ERR_TOOMANYARGS)},
                    {"leftstr", {Nil{}, 1}, E(ERR_STREXPECTED)},
                    {"leftstr", {"abc", "x"}, E(ERR_NUMEXPECTED)},
                });
}

TEST(StringLib, SearchAndReplace) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"findstr", {"Hello", "L", 0}, "2"},
                    {"findstr", {"Hello", "L", 1}, "-1"},
                    {"findstr", {"Hello", "l"}, "2"},
                    {"findstr", {"Hello", "l", 1, 3}, "3"},
                    {"findstr", {"Hello", "l", 1, 5}, "-1"},
                    {"findstr", {"Hello", "", 1}, "-1"},
                    {"findstr", {"", "a"}, "-1"},
                    {"findstr", {"Hello", "l", 1, -1}, wrong},
                    {"findstr", {"caf\xC9 caf\xE9", "\xE9", 0}, "3"},  // Latin-1 letters fold too
                    {"findstr", {std::string("a\0b\0c", 5), std::string("\0c", 2)}, "3"},
                    {"countstr", {"aaaa", "aa"}, "2"},
                    {"countstr", {"abcABCabc", "abc", 0}, "3"},
                    {"countstr", {"abcABCabc", "abc", 1, 1}, "1"},
                    {"countstr", {"abc", ""}, "0"},
                    {"countstr", {"abc", "a", 1, -1}, wrong},
                    {"replacestr", {"hello world", "o", "0"}, "\"hell0 w0rld\""},
                    {"replacestr", {"aaaa", "aa", "b"}, "\"bb\""},
                    {"replacestr", {"aaa", "a", "aa"}, "\"aaaaaa\""},  // searching goes on after each replacement
                    {"replacestr", {"Hello HELLO", "hello", "x", 0}, "\"x x\""},
                    {"replacestr", {"abcabc", "abc", "-", 1, 1}, "\"abc-\""},  // bytes before start are kept
                    {"replacestr", {"abc", "b", "-", 1, 99}, "\"abc\""},
                    {"replacestr", {"abc", "", "-"}, "\"abc\""},
                    {"replacestr", {"abc", "b", "-", 1, -1}, wrong},
                });
}

TEST(StringLib, CaseFoldingMatchesLatin1) {
    // python3's Unicode case mapping, kept only where it stays a single Latin-1 character, is the
    // independent oracle for both tables.
    const char* program = R"(
import sys
def fold(f):
    out = []
    for b in range(256):
        c = f(chr(b))
        out.append(ord(c) if len(c) == 1 and ord(c) < 256 else b)
    return out
print(' '.join(map(str, fold(str.upper))))
print(' '.join(map(str, fold(str.lower))))
)";
    std::istringstream lines(libtest::Python(program));
    std::string all;
    for (int b = 0; b < 256; b++) all.push_back(static_cast<char>(b));
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    for (const char* command : {"upperstr", "lowerstr"}) {
        ASSERT_EQ(vm.CallFresh(command, {all}), 0);
        std::string got(VmToString(vm.state(), 1), VmStrLen(vm.state(), 1));
        ASSERT_EQ(got.size(), 256u);
        for (int b = 0; b < 256; b++) {
            int want = -1;
            ASSERT_TRUE(lines >> want);
            EXPECT_EQ(static_cast<unsigned char>(got[static_cast<size_t>(b)]), want) << command << " of " << b;
        }
    }
    EXPECT_EQ(vm.Run("upperstr", {"\xE9\xFF\xDF"}), "\"\xC9\xFF\xDF\"");
}

TEST(StringLib, TrimSplitAndByteArrays) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"trimstr", {"xxabcxx", "x", 0}, "\"abcxx\""},
                    {"trimstr", {"xxabcxx", "x", 1}, "\"xxabc\""},
                    {"trimstr", {"xxx", "x", 0}, "\"\""},
                    {"trimstr", {"abc", "xy", 0}, wrong},
                    {"trimstr", {"abc", "", 0}, wrong},
                    {"splitstr", {"a,b", ",,"}, wrong},
                    {"chr", {65}, "\"A\""},
                    {"chr", {0}, "\"\""},
                    {"chr", {256}, wrong},
                    {"chr", {-1}, wrong},
                    {"asc", {"\xFF"}, "255"},
                    {"asc", {""}, "0"},
                });
    // SplitStr: pieces from index 0, empty pieces kept.
    struct {
        std::string text;
        std::vector<std::string> pieces;
    } splits[] = {
        {"a,,b,", {"a", "", "b", ""}},
        {"", {""}},
        {",", {"", ""}},
        {"abc", {"abc"}},
    };
    for (const auto& s : splits) {
        ASSERT_EQ(vm.CallFresh("splitstr", {s.text, ","}), 0);
        ASSERT_EQ(VmType(vm.state(), 1), VM_TTABLE);
        EXPECT_EQ(VmToNumber(vm.state(), 2), static_cast<double>(s.pieces.size())) << s.text;
        for (size_t i = 0; i <= s.pieces.size(); i++) {
            VmRawGetI(vm.state(), 1, static_cast<int>(i));
            if (i == s.pieces.size())
                EXPECT_EQ(VmType(vm.state(), -1), VM_TNIL);
            else
                EXPECT_EQ(std::string(VmToString(vm.state(), -1)), s.pieces[i]) << s.text << " piece " << i;
            VmPop(vm.state(), 1);
        }
    }
    // StrToArray ends with a 0 at index length; ArrayToStr stops at it and at non-numbers.
    std::string bytes("\x01\x80\xFFz", 4);
    ASSERT_EQ(vm.CallFresh("strtoarray", {bytes}), 0);
    VmRawGetI(vm.state(), 1, 1);
    EXPECT_EQ(VmToNumber(vm.state(), -1), 128);
    VmRawGetI(vm.state(), 1, 4);
    EXPECT_EQ(VmType(vm.state(), -1), VM_TNUMBER);
    EXPECT_EQ(VmToNumber(vm.state(), -1), 0);
    VmSetTop(vm.state(), 1);
    VmPushString(vm.state(), "arraytostr");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmPushValue(vm.state(), 1);
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_EQ(std::string(VmToString(vm.state(), -1), VmStrLen(vm.state(), -1)), bytes);
    VmSetTop(vm.state(), 1);
    VmPushString(vm.state(), "x");
    VmRawSetI(vm.state(), 1, 2);  // a string element ends the text
    VmPushString(vm.state(), "arraytostr");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmPushValue(vm.state(), 1);
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_EQ(std::string(VmToString(vm.state(), -1)), "\x01\x80");
    EXPECT_EQ(vm.Run("arraytostr", {"abc"}), E(ERR_TABEXPECTED));
}

TEST(StringLib, NumberText) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"hexstr", {255}, "\"$FF\""},
                    {"hexstr", {-1}, "\"$FFFFFFFF\""},
                    {"hexstr", {0}, "\"$0\""},
                    {"hexstr", {3000000000.0}, "\"$B2D05E00\""},
                    {"hexstr", {4294967295.0}, "\"$FFFFFFFF\""},
                    {"hexstr", {4294967296.0}, "\"$0\""},  // fmod(x, 4294967295) - 1
                    {"hexstr", {-2147483648.0}, "\"$80000000\""},
                    {"hexstr", {-1e12}, "\"$80000000\""},
                    {"hexstr", {171.9}, "\"$AB\""},
                    {"binstr", {5, 7}, "\"00000101\""},
                    {"binstr", {-1, 6}, "\"1111111111111111\""},
                    {"binstr", {2147483649.0, 1}, "\"10000000000000000000000000000001\""},
                    {"binstr", {-2}, "\"11111111111111111111111111111110\""},
                    {"binstr", {0x1FF, 7}, "\"11111111\""},
                    {"binstr", {5, 3}, "\"\""},
                    {"padnum", {42, 5}, "\"00042\""},
                    {"padnum", {12345, 3}, "\"12345\""},
                    {"padnum", {0, 1}, "\"0\""},
                    {"padnum", {-1, 3}, wrong},
                    {"padnum", {5, 0}, wrong},
                    {"strstr", {3.14159}, "\"3.14\""},
                    {"strstr", {2, 3}, "\"2\""},
                    {"strstr", {3.7, 0}, "\"3\""},
                    {"strstr", {3.75, -1}, "\"3.\""},
                    {"strstr", {0.5, 5}, "\"0.5\""},
                    {"strstr", {-2.999}, "\"-2.99\""},
                    // An exponent form keeps its exponent: only the digits after the point are cut.
                    {"strstr", {1.5e-7}, "\"1.5e-07\""},
                    {"strstr", {1.23456e20}, "\"1.23e+20\""},
                    {"strstr", {1.5e-7, 0}, "\"1e-07\""},
                    {"strstr", {-9.87654e-30, 1}, "\"-9.8e-30\""},
                    {"strstr", {1e300 * 1e300}, "\"inf\""},
                    {"val", {"$FF"}, "255, 3"},
                    {"val", {"12abc"}, "12, 2"},
                    {"val", {"-0x10"}, "-16, 5"},
                    {"val", {"%101"}, "5, 4"},
                    {"val", {"1e3"}, "1000, 3"},
                    {"val", {"abc"}, "0, 0"},
                    {"val", {"$"}, "0, 0"},
                    {"val", {""}, "0, 0"},
                });
}

TEST(StringLib, ToNumberBasesMatchPython) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"tonumber", {"ff", 16}, "255"},
                    {"tonumber", {"12z", 10}, "0"},
                    {"tonumber", {"12z"}, "0"},
                    {"tonumber", {"0x1F"}, "31"},
                    {"tonumber", {" 12 "}, "12"},
                    {"tonumber", {12.5}, "12.5"},
                    {"tonumber", {Nil{}}, "0"},
                    {"tonumber", {"1", 1}, wrong},
                    {"tonumber", {"1", 37}, wrong},
                    {"tonumber", {"0x1f", 16}, "31"},
                    {"tonumber", {"  -1", 16}, "4294967295"},
                    {"tonumber", {"-2", 10}, "-2"},
                    {"tonumber", {"100000000", 16}, "4294967295"},  // beyond 32 bits
                    {"tonumber", {"101 ", 2}, "5"},
                    {"tonumber", {"102", 2}, "0"},
                    {"tonumber", {"", 2}, "0"},
                    {"tonumber", {"zz", 36}, "1295"},
                    {"tonumber", {"0x", 16}, "0"},
                });
    // python3's int() agrees with the C conversion for plain digit strings in every base.
    const char* program = R"(
import random
random.seed(3)
digits = '0123456789abcdefghijklmnopqrstuvwxyz'
for base in range(2, 37):
    for _ in range(4):
        text = ''.join(random.choice(digits[:base]) for _ in range(random.randint(1, 7)))
        print(base, text, min(int(text, base), 4294967295))
)";
    std::istringstream lines(libtest::Python(program));
    int base;
    std::string text;
    double expected;
    int checked = 0;
    while (lines >> base >> text >> expected) {
        EXPECT_EQ(vm.Run("tonumber", {text, base}), qztest::RenderNumber(expected)) << text << " in " << base;
        checked++;
    }
    EXPECT_EQ(checked, 35 * 4);
}

TEST(StringLib, ToStringAndUserData) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"tostring", {Nil{}}, "\"Nil\""},
                    {"tostring", {12.5}, "\"12.5\""},
                    {"tostring", {1e15}, "\"1e+15\""},
                    {"tostring", {"abc"}, "\"abc\""},
                    {"tostring", {}, E(ERR_MISSINGPARAMTR)},
                    {"tonumber", {}, E(ERR_MISSINGPARAMTR)},
                });
    // Tables, functions and light user data print their kind and address.
    VmSetTop(vm.state(), 0);
    VmPushString(vm.state(), "tostring");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmNewTable(vm.state());
    char want[64];
    snprintf(want, sizeof want, "Table: %p", VmToPointer(vm.state(), -1));
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_STREQ(VmToString(vm.state(), -1), want);
    VmSetTop(vm.state(), 0);
    VmPushString(vm.state(), "tostring");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmPushBoolean(vm.state(), 1);
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_STREQ(VmToString(vm.state(), -1), "true");
    VmSetTop(vm.state(), 0);
    VmPushString(vm.state(), "tostring");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmPushValue(vm.state(), 1);
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_EQ(std::string(VmToString(vm.state(), -1)).rfind("Function: 0x", 0), 0u);

    // A "__tostring" metamethod converts the value.
    VmSetTop(vm.state(), 0);
    VmPushString(vm.state(), "tostring");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmNewTable(vm.state());
    VmNewTable(vm.state());
    VmPushString(vm.state(), "__tostring");
    VmPushCFunction(vm.state(), [](VmState* L) {
        VmPushString(L, "custom");
        return 1;
    });
    VmSetTable(vm.state(), -3);
    VmSetMetatable(vm.state(), -2);
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_STREQ(VmToString(vm.state(), -1), "custom");

    // ToUserData makes a light user data whose address ToNumber and ToString give back.
    ASSERT_EQ(vm.CallFresh("touserdata", {3735928559.0}), 0);
    ASSERT_EQ(VmType(vm.state(), 1), VM_TLIGHTUSERDATA);
    VmPushString(vm.state(), "tonumber");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmPushValue(vm.state(), 1);
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_EQ(VmToNumber(vm.state(), -1), 3735928559.0);
    VmPushString(vm.state(), "tostring");
    VmGetTable(vm.state(), VM_GLOBALSINDEX);
    VmPushValue(vm.state(), 1);
    ASSERT_EQ(VmProtectedCall(vm.state(), 1, 1, 0), 0);
    EXPECT_STREQ(VmToString(vm.state(), -1), "UserData: 0xdeadbeef");
}

TEST(StringLib, EvalWithVariables) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"eval", {"2 + 3 * 4"}, "14"},
                    {"eval", {"0 or 5"}, "5"},
                    {"eval", {"1 / 0"}, E(ERR_ZERODIVISION)},
                    {"eval", {"(1 + 2"}, E(ERR_UNMPARENTHESES)},
                    {"eval", {"1 2"}, E(ERR_SYNTAXERROR)},
                    {"eval", {"1", "x"}, E(ERR_TABEXPECTED)},
                });
    // Builds {variables = {[0] = {name = .., value = ..}, ...}} and evaluates text with it.
    struct Var {
        Arg name;
        Arg value;
    };
    auto evalWith = [&](const char* text, const std::vector<Var>& vars) {
        std::vector<Arg> variables;
        for (const Var& v : vars) variables.push_back(Arg::Table({{"name", v.name}, {"value", v.value}}));
        return vm.Run("eval", {text, Arg::Table({{"variables", Arg::List(variables)}})});
    };
    EXPECT_EQ(evalWith("x * 2", {{"X", 21}}), "42");
    EXPECT_EQ(evalWith("a + b_2 - a", {{"a", 1}, {"B_2", 5}}), "5");
    EXPECT_EQ(evalWith("1", {}), "1");
    EXPECT_EQ(evalWith("1", {{"2x", 1}}), wrong);
    EXPECT_EQ(evalWith("1", {{std::string(65, 'a'), 1}}), wrong);
    EXPECT_EQ(evalWith("1", {{Nil{}, 1}}), wrong);
    EXPECT_EQ(evalWith("1", {{"a", "x"}}), E(ERR_NUMTABLEARG));
    EXPECT_STREQ(GetErrorArgString(), "value");
    EXPECT_EQ(evalWith("1", {{"a", Nil{}}}), E(ERR_NUMTABLEARG));
    EXPECT_EQ(evalWith("y", {{"x", 1}}), E(ERR_VALUEEXPECTED));
}

TEST(StringLib, Digests) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    RunRows(vm, {
                    {"md5str", {"abc"}, "\"900150983cd24fb0d6963f7d28e17f72\""},
                    {"md5str", {""}, wrong},
                    {"crc32str", {"123456789"}, "3421780262"},
                    {"crc32str", {""}, wrong},
                    {"base64str", {"abc", 0}, "\"YWJj\""},
                    {"base64str", {"YWJj", 1}, "\"abc\""},
                    {"base64str", {"YQ==", 1}, "\"a\""},
                    {"base64str", {"YW\nJj", 1}, "\"abc\""},
                    {"base64str", {"YWJjZ", 1}, "\"abc\""},  // the bytes before the fault
                    {"base64str", {"abc"}, E(ERR_MISSINGPARAMTR)},
                });
}

TEST(StringLib, RegistersEveryCommand) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    const char* names[] = {"addstr",
                           "strlen",
                           "leftstr",
                           "rightstr",
                           "midstr",
                           "unleftstr",
                           "unrightstr",
                           "unmidstr",
                           "insertstr",
                           "repeatstr",
                           "findstr",
                           "countstr",
                           "replacestr",
                           "lowerstr",
                           "upperstr",
                           "trimstr",
                           "splitstr",
                           "strtoarray",
                           "arraytostr",
                           "chr",
                           "asc",
                           "hexstr",
                           "binstr",
                           "padnum",
                           "strstr",
                           "val",
                           "tonumber",
                           "tostring",
                           "touserdata",
                           "formatstr",
                           "eval",
                           "md5str",
                           "crc32str",
                           "base64str",
                           "patternfindstr",
                           "patternfindstrshort",
                           "patternfindstrdirect",
                           "patternreplacestr"};
    EXPECT_EQ(sizeof names / sizeof names[0], 38u);
    for (const char* name : names) {
        VmPushString(vm.state(), name);
        VmGetTable(vm.state(), VM_GLOBALSINDEX);
        EXPECT_EQ(VmType(vm.state(), -1), VM_TFUNCTION) << name;
        VmPop(vm.state(), 1);
    }
    bool stringTable = false, mathTable = false;
    for (const qzCommandTableNode* n = GetCommandTables(); n; n = n->next) {
        stringTable |= strcmp(n->libraryName, "string") == 0;
        mathTable |= strcmp(n->libraryName, "math") == 0;
    }
    EXPECT_TRUE(stringTable && mathTable);
}

}  // namespace

}  // namespace string_lib_test
