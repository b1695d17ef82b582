#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "runtime/error_messages.h"
#include "support/commands.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace vm_aux_test {

using namespace qztest;

namespace {

std::string StringAt(VmState* state, int index) {
    size_t n = VmStrLen(state, index);
    const char* s = VmToString(state, index);
    return s ? std::string(s, n) : std::string("<not a string>");
}

// ---------------------------------------------------------------------------------------------
// Argument checks

struct CheckCase {
    const char* what;
    std::vector<Arg> args;
    std::function<double(VmState*)> check;  // result of the reader, as a number
    int code;                               // 0 or the error raised
    int argIndex;                           // error-argument index expected with the error
    double result;
};

TEST(VmAux, ArgumentChecksTable) {
    const std::vector<Arg> none;
    auto num = [](double n) { return std::vector<Arg>{n}; };
    auto str = [](const char* t) { return std::vector<Arg>{t}; };
    const std::vector<Arg> twoThenNil = {1, 2, Nil{}};
    const std::vector<Arg> twoArgs = {1, 2};
    const std::vector<Arg> table = {Arg::Table({})};
    int marker = 0;
    const std::vector<Arg> light = {Arg::Pointer(&marker)};

    const std::vector<CheckCase> cases = {
        {"number", num(2.5), [](VmState* s) { return VmCheckNumber(s, 1); }, 0, 0, 2.5},
        {"numeric string", str("12.5"), [](VmState* s) { return VmCheckNumber(s, 1); }, 0, 0, 12.5},
        {"number from table", table, [](VmState* s) { return VmCheckNumber(s, 1); }, ERR_NUMEXPECTED, 1, 0},
        {"number missing", none, [](VmState* s) { return VmCheckNumber(s, 2); }, ERR_NUMEXPECTED, 2, 0},
        {"integer 2^32-1", num(4294967295.0), [](VmState* s) { return (double)VmCheckInteger(s, 1); }, 0, 0, -1},
        {"integer 2^31", num(2147483648.0), [](VmState* s) { return (double)VmCheckInteger(s, 1); }, 0, 0,
         -2147483648.0},
        {"integer -1.9", num(-1.9), [](VmState* s) { return (double)VmCheckInteger(s, 1); }, 0, 0, -1},
        {"integer 1e20 saturates", num(1e20), [](VmState* s) { return (double)VmCheckInteger(s, 1); }, 0, 0, -1},
        {"integer -1e20 saturates", num(-1e20), [](VmState* s) { return (double)VmCheckInteger(s, 1); }, 0, 0,
         -2147483648.0},
        {"integer NaN", num(NAN), [](VmState* s) { return (double)VmCheckInteger(s, 1); }, 0, 0, -2147483648.0},
        {"opt absent", twoArgs, [](VmState* s) { return VmOptNumber(s, 3, 7); }, 0, 0, 7},
        {"opt explicit nil", twoThenNil, [](VmState* s) { return VmOptNumber(s, 3, 7); }, ERR_NUMEXPECTED, 3, 0},
        {"opt integer present", num(-3.7), [](VmState* s) { return (double)VmOptInteger(s, 1, 9); }, 0, 0, -3},
        {"string from table", table, [](VmState* s) { return (double)(VmCheckString(s, 1) != nullptr); },
         ERR_STREXPECTED, 1, 0},
        {"table", num(1), [](VmState* s) { return VmCheckTable(s, 1), 0.0; }, ERR_TABEXPECTED, 1, 0},
        {"function", table, [](VmState* s) { return VmCheckFunction(s, 1), 0.0; }, ERR_FUNCEXPECTED, 1, 0},
        {"userdata from number", num(1), [](VmState* s) { return (double)(VmCheckUserdata(s, 1) != nullptr); },
         ERR_UDEXPECTED, 1, 0},
        {"userdata light", light, [&marker](VmState* s) { return (double)(VmCheckUserdata(s, 1) == &marker); }, 0, 0,
         1},
        {"type number", str("5"), [](VmState* s) { return VmCheckType(s, 1, VM_TNUMBER), 0.0; }, ERR_NUMEXPECTED, 1, 0},
        {"type string", num(5), [](VmState* s) { return VmCheckType(s, 1, VM_TSTRING), 0.0; }, ERR_STREXPECTED, 1, 0},
        {"type table", num(5), [](VmState* s) { return VmCheckType(s, 1, VM_TTABLE), 0.0; }, ERR_TABEXPECTED, 1, 0},
        {"type function", num(5), [](VmState* s) { return VmCheckType(s, 1, VM_TFUNCTION), 0.0; }, ERR_FUNCEXPECTED, 1,
         0},
        {"type other", num(5), [](VmState* s) { return VmCheckType(s, 1, VM_TLIGHTUSERDATA), 0.0; }, ERR_UDEXPECTED, 1,
         0},
        {"type matches", table, [](VmState* s) { return VmCheckType(s, 1, VM_TTABLE), 1.0; }, 0, 0, 1},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        VmScope vm;
        SetErrorArgIndex(-99);
        double got = -12345;
        int status = RunAsCommand(vm, c.args, [&](VmState* s) {
            got = c.check(s);
            return 0;
        });
        EXPECT_EQ(status, c.code);
        if (c.code) {
            EXPECT_EQ(GetErrorArgIndex(), c.argIndex);
        } else {
            EXPECT_EQ(got, c.result);
        }
    }
}

TEST(VmAux, NamedChecksNameTheArgument) {
    VmScope vm;
    int status = RunAsCommand(vm, {Arg::Table({})}, [](VmState* s) { return (int)VmCheckNumberNamed(s, 1, "width"); });
    EXPECT_EQ(status, ERR_NUMTABLEARG);
    EXPECT_STREQ(GetErrorArgString(), "width");
    EXPECT_EQ(FormatErrorText(ERR_NUMTABLEARG), "Number expected in table argument \"width\"!");

    status = RunAsCommand(vm, {Arg::Table({})}, [](VmState* s) { return VmCheckIntegerNamed(s, 1, "flags"); });
    EXPECT_EQ(status, ERR_NUMTABLEARG);
    EXPECT_STREQ(GetErrorArgString(), "flags");

    status = RunAsCommand(vm, {Arg::Table({})}, [](VmState* s) { return VmCheckStringNamed(s, 1, "title") ? 0 : 0; });
    EXPECT_EQ(status, ERR_STRTABLEARG);
    EXPECT_STREQ(GetErrorArgString(), "title");

    int32_t word = 0;
    status = RunAsCommand(vm, {4278190080.0}, [&](VmState* s) { return word = VmCheckIntegerNamed(s, 1, "color"), 0; });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(static_cast<uint32_t>(word), 0xFF000000u);
}

TEST(VmAux, CheckStringConvertsNumbersInPlace) {
    VmScope vm;
    std::string text;
    size_t length = 0;
    int typeAfter = -1;
    int status = RunAsCommand(vm, {12}, [&](VmState* s) {
        text = VmCheckString(s, 1, &length);
        typeAfter = VmType(s, 1);
        return 0;
    });
    ASSERT_EQ(status, 0);
    EXPECT_EQ(text, "12");
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(typeAfter, VM_TSTRING);

    // Zero bytes inside a string are counted.
    status = RunAsCommand(vm, {std::string("a\0b", 3)}, [&](VmState* s) {
        VmCheckString(s, 1, &length);
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(length, 3u);

    // Absent optional string: the default and its length; an explicit nil fails.
    const char* got = nullptr;
    status = RunAsCommand(vm, {}, [&](VmState* s) {
        got = VmOptString(s, 1, "dflt", &length);
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(got, "dflt");
    EXPECT_EQ(length, 4u);
    status = RunAsCommand(vm, {Nil{}}, [&](VmState* s) { return VmOptString(s, 1, "dflt", &length) ? 0 : 0; });
    EXPECT_EQ(status, ERR_STREXPECTED);
}

TEST(VmAux, CallbackReadersReturnCodes) {
    VmScope vm;
    VmState* s = vm;
    int error = -1;
    VmPushNumber(s, 4.5);
    VmPushString(s, "4.5");
    VmNewTable(s);
    EXPECT_EQ(VmGetNumberOrCode(s, 1, &error), 4.5);
    EXPECT_EQ(error, 0);
    VmGetNumberOrCode(s, 2, &error);  // a string is not a number result
    EXPECT_EQ(error, ERR_NUMCALLBACK);

    size_t length = 0;
    EXPECT_STREQ(VmGetStringOrCode(s, 1, &length, &error), "4.5");
    EXPECT_EQ(error, 0);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(VmGetStringOrCode(s, 3, &length, &error), nullptr);
    EXPECT_EQ(error, ERR_STRCALLBACK);
    EXPECT_EQ(VmGetTop(s), 3);
}

// ---------------------------------------------------------------------------------------------
// Registry entries, labels, constants

TEST(VmAux, RegistryEntriesLeaveTheStackAlone) {
    VmScope vm;
    VmState* s = vm;
    int marker = 0;
    VmPushNumber(s, 1);
    EXPECT_EQ(VmGetRegistryPointer(s, "applet"), nullptr);
    EXPECT_EQ(VmGetRegistryString(s, "script"), nullptr);
    EXPECT_EQ(VmGetRegistryNumber(s, "beginline"), 0);
    VmSetRegistryPointer(s, "applet", &marker);
    VmSetRegistryString(s, "script", ":none:");
    VmSetRegistryNumber(s, "beginline", 12);
    EXPECT_EQ(VmGetRegistryPointer(s, "applet"), &marker);
    EXPECT_STREQ(VmGetRegistryString(s, "script"), ":none:");
    EXPECT_EQ(VmGetRegistryNumber(s, "beginline"), 12);
    // A number is not a string entry, and a string is not a pointer.
    EXPECT_EQ(VmGetRegistryString(s, "beginline"), nullptr);
    EXPECT_EQ(VmGetRegistryPointer(s, "script"), nullptr);
    EXPECT_EQ(VmGetTop(s), 1);
}

TEST(VmAux, LabelsFoldCase) {
    VmScope vm;
    VmState* s = vm;
    EXPECT_EQ(VmFindLabel(s, "start"), -1);  // no "labels" table yet
    EXPECT_EQ(VmDefineLabel(s, "MainLoop", 42), 0);
    EXPECT_EQ(VmDefineLabel(s, "\xC4rger", 7), 0);  // Latin-1 capital A with diaeresis
    EXPECT_EQ(VmFindLabel(s, "MAINLOOP"), 42);
    EXPECT_EQ(VmFindLabel(s, "mainloop"), 42);
    EXPECT_EQ(VmFindLabel(s, "\xE4RGER"), 7);
    EXPECT_EQ(VmFindLabel(s, "other"), -1);

    // Stored under the lower-cased name.
    VmPushString(s, "labels");
    VmRawGet(s, VM_REGISTRYINDEX);
    VmPushString(s, "mainloop");
    VmRawGet(s, -2);
    EXPECT_EQ(VmToNumber(s, -1), 42);
    VmSetTop(s, 0);

    // Names of up to 151 characters work; longer ones are rejected and never found.
    std::string longest(VM_MAX_NAME, 'L');
    std::string tooLong(VM_MAX_NAME + 1, 'L');
    EXPECT_EQ(VmDefineLabel(s, longest.c_str(), 1), 0);
    EXPECT_EQ(VmFindLabel(s, std::string(VM_MAX_NAME, 'l').c_str()), 1);
    EXPECT_EQ(VmDefineLabel(s, tooLong.c_str(), 2), ERR_NAMETOOLONG);
    EXPECT_EQ(VmFindLabel(s, tooLong.c_str()), -1);
    EXPECT_EQ(VmGetTop(s), 0);
}

TEST(VmAux, LabelRefsAppendRecords) {
    VmScope vm;
    VmState* s = vm;
    EXPECT_EQ(VmAddLabelRef(s, "Loop", 10), 0);
    EXPECT_EQ(VmAddLabelRef(s, "End", 20), 1);
    EXPECT_EQ(VmAddLabelRef(s, std::string(VM_MAX_NAME + 1, 'x').c_str(), 30), -1);
    EXPECT_EQ(VmGetTop(s), 0);

    VmPushString(s, "labelrefs");
    VmRawGet(s, VM_REGISTRYINDEX);
    ASSERT_EQ(VmType(s, -1), VM_TTABLE);
    VmPushString(s, "n");
    VmRawGet(s, 1);
    EXPECT_EQ(VmToNumber(s, -1), 2);
    VmRawGetI(s, 1, 1);
    VmPushString(s, "name");
    VmRawGet(s, -2);
    EXPECT_EQ(StringAt(s, -1), "end");
    VmPushString(s, "pc");
    VmRawGet(s, -3);
    EXPECT_EQ(VmToNumber(s, -1), 20);
}

int Add(VmState* s) {
    VmPushNumber(s, VmCheckNumber(s, 1) + VmCheckNumber(s, 2));
    return 1;
}

// Returns its two upvalues.
int Upvalues(VmState* s) {
    VmPushValue(s, VmUpvalueIndex(1));
    VmPushValue(s, VmUpvalueIndex(2));
    return 2;
}

TEST(VmAux, ConstantsAndFunctionsRegisterLowerCased) {
    VmScope vm;
    VmState* s = vm;
    const qzConstantRow constants[] = {
        {"MaxSize", nullptr, 10}, {"Title", "Hello", 0}, {"\xC9T\xC9", nullptr, 3}, {nullptr, nullptr, 0}};
    const qzConstantRow user[] = {{"Speed", nullptr, 5}, {"MaxSize", nullptr, 99}, {nullptr, nullptr, 0}};
    EXPECT_EQ(VmRegisterConstants(s, constants, 0), 0);
    EXPECT_EQ(VmRegisterConstants(s, user, 1), 0);

    const char* text = "unset";
    double number = -1;
    EXPECT_EQ(VmFindConstant(s, "MAXSIZE", &text, &number), 1);
    EXPECT_EQ(number, 10);  // library constants come first
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(VmFindConstant(s, "title", &text, &number), 1);
    EXPECT_STREQ(text, "Hello");
    EXPECT_EQ(VmFindConstant(s, "\xE9t\xE9", nullptr, &number), 1);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(VmFindConstant(s, "speed", nullptr, &number), 1);
    EXPECT_EQ(number, 5);
    EXPECT_EQ(VmFindConstantIn(s, "speed", nullptr, &number, "constants"), 0);
    EXPECT_EQ(VmFindConstant(s, "nothing", nullptr, &number), 0);
    EXPECT_EQ(VmFindConstantIn(s, "speed", nullptr, &number, "nosuchtable"), 0);

    std::string tooLong(VM_MAX_NAME + 1, 'C');
    const qzConstantRow bad[] = {{tooLong.c_str(), nullptr, 1}, {"Fine", nullptr, 2}, {nullptr, nullptr, 0}};
    EXPECT_EQ(VmRegisterConstants(s, bad, 0), ERR_NAMETOOLONG);
    EXPECT_EQ(VmFindConstant(s, "fine", nullptr, &number), 1);
    EXPECT_EQ(VmGetTop(s), 0);

    const qzCommandRow commands[] = {{"LoadBrush", Add}, {"Skipped", nullptr}, {nullptr, nullptr}};
    EXPECT_EQ(VmRegisterFunctions(s, nullptr, commands, 0), 1);
    VmPushString(s, "loadbrush");
    VmRawGet(s, VM_GLOBALSINDEX);
    EXPECT_EQ(VmType(s, -1), VM_TFUNCTION);
    VmPushNumber(s, 2);
    VmPushNumber(s, 3);
    ASSERT_EQ(VmProtectedCall(s, 2, 1, 0), 0);
    EXPECT_EQ(VmToNumber(s, -1), 5);
    VmSetTop(s, 0);
    VmPushString(s, "LoadBrush");
    VmRawGet(s, VM_GLOBALSINDEX);
    EXPECT_EQ(VmType(s, -1), VM_TNIL);
    VmPushString(s, "skipped");
    VmRawGet(s, VM_GLOBALSINDEX);
    EXPECT_EQ(VmType(s, -1), VM_TNIL);
    VmSetTop(s, 0);

    const qzCommandRow empty[] = {{"A", nullptr}, {nullptr, nullptr}};
    EXPECT_EQ(VmRegisterFunctions(s, nullptr, empty, 0), 0);

    // Into a named table, each closure with copies of the upvalues; the upvalues are popped.
    VmPushNumber(s, 7);
    VmPushString(s, "up");
    const qzCommandRow lib[] = {{"Get", Upvalues}, {"Again", Upvalues}, {nullptr, nullptr}};
    EXPECT_EQ(VmRegisterFunctions(s, "mylib", lib, 2), 2);
    EXPECT_EQ(VmGetTop(s), 0);
    VmPushString(s, "mylib");
    VmRawGet(s, VM_GLOBALSINDEX);
    ASSERT_EQ(VmType(s, -1), VM_TTABLE);
    VmPushString(s, "again");
    VmRawGet(s, -2);
    ASSERT_EQ(VmProtectedCall(s, 0, 2, 0), 0);
    EXPECT_EQ(VmToNumber(s, -2), 7);
    EXPECT_EQ(StringAt(s, -1), "up");
    VmSetTop(s, 0);

    // The existing table is reused.
    const qzCommandRow more[] = {{"More", Add}, {nullptr, nullptr}};
    EXPECT_EQ(VmRegisterFunctions(s, "mylib", more, 0), 1);
    VmPushString(s, "mylib");
    VmRawGet(s, VM_GLOBALSINDEX);
    VmPushString(s, "get");
    VmRawGet(s, -2);
    EXPECT_EQ(VmType(s, -1), VM_TFUNCTION);
}

int handlerRuns = 0;
int CountRuns(VmState*) {
    ++handlerRuns;
    return 0;
}

// The dispatcher checks a row's argument-count range before the handler runs; a row without one
// leaves every count to the handler.
TEST(VmAux, CommandRowsCheckTheirArgumentCount) {
    VmScope vm;
    VmState* s = vm.state;
    const qzCommandRow rows[] = {{"None", CountRuns, 0, 0},      {"TwoToThree", CountRuns, 2, 3},
                                 {"OneOrMore", CountRuns, 1, 0}, {"Unchecked", CountRuns},
                                 {"UpToTwo", CountRuns, 0, 2},   {nullptr, nullptr}};
    ASSERT_EQ(VmRegisterFunctions(s, nullptr, rows, 0), 5);
    struct Case {
        const char* name;
        int given, code;
    };
    const Case cases[] = {
        {"none", 0, 0},
        {"none", 1, ERR_TOOMANYARGS},
        {"twotothree", 1, ERR_MISSINGPARAMTR},
        {"twotothree", 2, 0},
        {"twotothree", 3, 0},
        {"twotothree", 4, ERR_TOOMANYARGS},
        {"oneormore", 0, ERR_MISSINGPARAMTR},
        {"oneormore", 9, 0},
        {"unchecked", 0, 0},
        {"unchecked", 9, 0},
        {"uptotwo", 0, 0},
        {"uptotwo", 3, ERR_TOOMANYARGS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " given " + std::to_string(c.given));
        handlerRuns = 0;
        VmSetTop(s, 0);
        VmPushString(s, c.name);
        VmRawGet(s, VM_GLOBALSINDEX);
        for (int i = 0; i < c.given; i++) VmPushNumber(s, i);
        EXPECT_EQ(VmProtectedCall(s, c.given, 0, 0), c.code);
        EXPECT_EQ(handlerRuns, c.code ? 0 : 1);
    }
    VmSetTop(s, 0);
}

TEST(VmAux, FindStringInList) {
    const char* const list[] = {"alpha", "beta", "gamma", nullptr};
    EXPECT_EQ(VmFindStringInList("alpha", list), 0);
    EXPECT_EQ(VmFindStringInList("gamma", list), 2);
    EXPECT_EQ(VmFindStringInList("Beta", list), -1);  // exact compare
    EXPECT_EQ(VmFindStringInList("delta", list), -1);
}

// ---------------------------------------------------------------------------------------------
// Named metatables

int Describe(VmState* s) {
    VmPushString(s, "described");
    return 1;
}

TEST(VmAux, NamedMetatables) {
    VmScope vm;
    VmState* s = vm;
    ASSERT_EQ(VmNewNamedMetatable(s, "qzFile"), 1);
    EXPECT_EQ(VmGetTop(s), 1);
    VmPushString(s, "__describe");
    VmPushCFunction(s, Describe);
    VmRawSet(s, 1);
    EXPECT_EQ(VmNewNamedMetatable(s, "qzFile"), 0);
    EXPECT_EQ(VmGetTop(s), 1);

    // registry[metatable] = name
    VmPushValue(s, 1);
    VmRawGet(s, VM_REGISTRYINDEX);
    EXPECT_EQ(StringAt(s, -1), "qzFile");
    VmSetTop(s, 0);

    auto* block = static_cast<int*>(VmNewUserdata(s, sizeof(int)));
    VmGetNamedMetatable(s, "qzFile");
    VmSetMetatable(s, 1);
    void* other = VmNewUserdata(s, 4);  // no metatable
    (void)other;
    EXPECT_EQ(VmTestUserdataType(s, 1, "qzFile"), block);
    EXPECT_EQ(VmTestUserdataType(s, 1, "qzOther"), nullptr);
    EXPECT_EQ(VmTestUserdataType(s, 2, "qzFile"), nullptr);
    EXPECT_EQ(VmGetTop(s), 2);

    EXPECT_EQ(VmGetMetaField(s, 1, "__missing"), 0);
    EXPECT_EQ(VmGetMetaField(s, 2, "__describe"), 0);
    EXPECT_EQ(VmGetTop(s), 2);
    EXPECT_EQ(VmGetMetaField(s, 1, "__describe"), 1);
    EXPECT_EQ(VmType(s, -1), VM_TFUNCTION);
    VmPop(s, 1);

    EXPECT_EQ(VmCallMeta(s, 1, "__missing"), 0);
    EXPECT_EQ(VmGetTop(s), 2);
    EXPECT_EQ(VmCallMeta(s, -2, "__describe"), 1);
    EXPECT_EQ(VmGetTop(s), 3);
    EXPECT_EQ(StringAt(s, -1), "described");
}

// ---------------------------------------------------------------------------------------------
// String builder

TEST(VmAux, StringBufferBuildsAnyLength) {
    // Lengths around the area size; pieces of varying sizes.
    const size_t pieceSizes[] = {1, 7, 1000, 1024, 1025, 3000};
    for (size_t piece : pieceSizes) {
        for (size_t total : {size_t(0), size_t(1023), size_t(1024), size_t(1025), size_t(70000)}) {
            SCOPED_TRACE(std::to_string(piece) + " / " + std::to_string(total));
            VmScope vm;
            std::string expected;
            for (size_t i = 0; expected.size() < total; i++) expected += static_cast<char>('a' + i % 26);
            std::string got;
            int status = RunAsCommand(vm, {}, [&](VmState* s) {
                VmStringBuffer b;
                VmBufInit(s, &b);
                for (size_t at = 0; at < expected.size(); at += piece)
                    VmBufAddLString(&b, expected.data() + at, std::min(piece, expected.size() - at));
                VmBufPushResult(&b);
                EXPECT_EQ(VmGetTop(s), 1);
                got = StringAt(s, -1);
                return 0;
            });
            ASSERT_EQ(status, 0);
            EXPECT_EQ(got, expected);
        }
    }
}

TEST(VmAux, StringBufferStaysWithinAHandlersStack) {
    // A megabyte in 3-byte steps and values, inside a command handler's few free slots: the
    // pieces are merged so that the stack never grows with the text.
    VmScope vm;
    std::string expected;
    int maxTop = 0;
    std::string got;
    int status = RunAsCommand(vm, {}, [&](VmState* s) {
        VmStringBuffer b;
        VmBufInit(s, &b);
        for (int i = 0; i < 200000; i++) {
            VmBufAddString(&b, "abc");
            expected += "abc";
            if (i % 1000 == 0) {
                std::string big(2000 + i % 7, static_cast<char>('A' + i % 26));
                VmPushLString(s, big.data(), big.size());
                VmBufAddValue(&b);
                expected += big;
                VmPushNumber(s, i);
                VmBufAddValue(&b);  // numbers are added as text
                expected += std::to_string(i);
            }
            if (i % 5000 == 0) {
                char* area = VmBufPrepare(&b);
                std::memcpy(area, "PREP", 4);
                VmBufAddSize(&b, 4);
                expected += "PREP";
            }
            maxTop = std::max(maxTop, VmGetTop(s));
        }
        VmBufPushResult(&b);
        got = StringAt(s, -1);
        return 0;
    });
    ASSERT_EQ(status, 0);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_LE(maxTop, 12);
}

// ---------------------------------------------------------------------------------------------
// Element counts and references

TEST(VmAux, ElementCounts) {
    VmScope vm;
    VmState* s = vm;
    VmNewTable(s);  // 1: {n = 5, [1] = x}
    VmPushString(s, "n");
    VmPushNumber(s, 5);
    VmRawSet(s, 1);
    VmPushString(s, "x");
    VmRawSetI(s, 1, 1);
    VmNewTable(s);  // 2: {[1], [2], [3], [5]}
    for (int i : {1, 2, 3, 5}) {
        VmPushNumber(s, i);
        VmRawSetI(s, 2, i);
    }
    EXPECT_EQ(VmGetSize(s, 1), 5);
    EXPECT_EQ(VmGetSize(s, 2), 3);  // consecutive from key 1

    VmSetSize(s, 1, 9);  // has "n": stored there
    VmPushString(s, "n");
    VmRawGet(s, 1);
    EXPECT_EQ(VmToNumber(s, -1), 9);
    VmPop(s, 1);

    VmSetSize(s, -1, 40);  // no "n": the table-size table
    EXPECT_EQ(VmGetSize(s, 2), 40);
    VmPushString(s, "n");
    VmRawGet(s, 2);
    EXPECT_EQ(VmType(s, -1), VM_TNIL);
    VmPop(s, 1);
    VmRawGetI(s, VM_REGISTRYINDEX, VM_REF_SIZES);
    ASSERT_EQ(VmType(s, -1), VM_TTABLE);
    ASSERT_EQ(VmGetMetatable(s, -1), 1);
    VmPushString(s, "__mode");
    VmRawGet(s, -2);
    EXPECT_EQ(StringAt(s, -1), "k");
    VmSetTop(s, 2);
}

TEST(VmAux, ReferencesReuseFreedKeys) {
    VmScope vm;
    VmState* s = vm;
    VmNewTable(s);
    VmPushString(s, "first");
    EXPECT_EQ(VmRef(s, 1), 3);
    EXPECT_EQ(VmGetTop(s), 1);
    VmUnref(s, 1, 3);
    VmPushString(s, "again");
    EXPECT_EQ(VmRef(s, 1), 3);
    VmPushString(s, "four");
    EXPECT_EQ(VmRef(s, 1), 4);
    VmPushString(s, "five");
    EXPECT_EQ(VmRef(s, 1), 5);
    VmPushNil(s);
    EXPECT_EQ(VmRef(s, 1), VM_REFNIL);
    EXPECT_EQ(VmGetTop(s), 1);

    // Freed keys come back last-freed first, then new keys continue after the highest.
    VmUnref(s, 1, 4);
    VmUnref(s, 1, 3);
    VmUnref(s, 1, -1);  // ignored
    const int expected[] = {3, 4, 6};
    for (int want : expected) {
        VmPushNumber(s, want);
        EXPECT_EQ(VmRef(s, 1), want);
    }
    for (int key : {3, 4, 5, 6}) {
        VmRawGetI(s, 1, key);
        if (key == 5)
            EXPECT_EQ(StringAt(s, -1), "five");
        else
            EXPECT_EQ(VmToNumber(s, -1), key);
        VmPop(s, 1);
    }
}

TEST(VmAux, UnrefOfReservedKeysIsIgnored) {
    // Keys 1 and 2 hold the free list and the size table; releasing them must neither lose the
    // element counts nor let two live references share a key.
    VmScope vm;
    VmState* s = vm;
    VmNewTable(s);
    VmSetSize(s, 1, 40);
    VmPushString(s, "a");
    int a = VmRef(s, VM_REGISTRYINDEX);
    for (int reserved : {1, 2, 0}) VmUnref(s, VM_REGISTRYINDEX, reserved);
    EXPECT_EQ(VmGetSize(s, 1), 40);
    VmPushString(s, "b");
    int b = VmRef(s, VM_REGISTRYINDEX);
    VmPushString(s, "c");
    int c = VmRef(s, VM_REGISTRYINDEX);
    EXPECT_GE(b, 3);
    EXPECT_NE(b, a);
    EXPECT_NE(c, b);
    VmRawGetI(s, VM_REGISTRYINDEX, a);
    EXPECT_EQ(StringAt(s, -1), "a");
    VmRawGetI(s, VM_REGISTRYINDEX, b);
    EXPECT_EQ(StringAt(s, -1), "b");
    EXPECT_EQ(VmGetSize(s, 1), 40);
}

}  // namespace

}  // namespace vm_aux_test
