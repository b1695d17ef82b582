#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "runtime/applet_version.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/object_id.h"
#include "support/commands.h"
#include "vm/vm_aux.h"

namespace arg_check_test {

using namespace qztest;

namespace {

std::vector<Arg> Numbers(int n) {
    std::vector<Arg> args;
    for (int i = 0; i < n; i++) args.push_back(i);
    return args;
}

TEST(ArgCheck, ArgumentCount) {
    struct Case {
        int min, max, given, code;
    };
    const Case cases[] = {
        {0, 0, 0, 0},
        {0, 0, 1, ERR_TOOMANYARGS},
        {1, 0, 0, ERR_MISSINGPARAMTR},
        {1, 0, 1, 0},
        {1, 0, 15, 0},  // max 0 with min > 0: no upper limit
        {2, 3, 1, ERR_MISSINGPARAMTR},
        {2, 3, 3, 0},
        {2, 3, 4, ERR_TOOMANYARGS},
        {0, 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.min) + "," + std::to_string(c.max) + " given " + std::to_string(c.given));
        VmScope vm;
        VmState* returned = nullptr;
        int status = RunAsCommand(vm, Numbers(c.given), [&](VmState* s) {
            returned = VmCheckArgCount(s, c.min, c.max, 0, 0);
            return 0;
        });
        EXPECT_EQ(status, c.code);
        if (!c.code) {
            EXPECT_EQ(returned, vm.state);
        }
    }
}

TEST(ArgCheck, ArgumentCountChecksTheAppletVersion) {
    VmScope vm;
    auto run = [&](int major, int minor) {
        return RunAsCommand(vm, {}, [&](VmState* s) { return VmCheckArgCount(s, 0, 0, major, minor), 0; });
    };
    ResetAppletVersion();
    EXPECT_EQ(run(9, 9), 0);  // no applet read yet: everything passes

    SetAppletVersion(5, 2);
    EXPECT_EQ(run(5, 2), 0);
    EXPECT_EQ(run(5, 1), 0);
    EXPECT_EQ(run(4, 9), 0);
    EXPECT_EQ(run(0, 0), 0);
    EXPECT_EQ(run(5, 3), ERR_OLDAPPLET);
    EXPECT_EQ(FormatErrorText(ERR_OLDAPPLET),
              "This functionality is only available to applets compiled by Quarnelix 5.3 or higher!");
    EXPECT_EQ(run(6, 0), ERR_OLDAPPLET);
    EXPECT_STREQ(GetErrorArgString(), "6.0");
    ResetAppletVersion();
}

TEST(ArgCheck, PercentArguments) {
    struct Case {
        const char* what;
        bool isString;
        const char* text;
        double number;
        double base;
        int allowOver;
        double result;
        int isPercent;
        int code;
    };
    const Case cases[] = {
        {"number unchanged", false, nullptr, 320.5, 640, 0, 320.5, 0, 0},
        {"50% of 640", true, "50%", 0, 640, 0, 320, 0, 0},
        {"25% as fraction", true, "25%", 0, 0, 0, 0.25, 1, 0},
        {"12.5 without percent", true, "12.5", 0, 640, 0, 12.5, 0, 0},
        {"100% allowed", true, "100%", 0, 200, 0, 200, 0, 0},
        {"150% refused", true, "150%", 0, 640, 0, 0, 0, ERR_PERCENTFORMAT},
        {"150% allowed", true, "150%", 0, 640, 1, 960, 0, 0},
        {"negative percent", true, "-5%", 0, 640, 1, 0, 0, ERR_PERCENTFORMAT},
        {"no number", true, "abc%", 0, 640, 0, 0, 0, ERR_PERCENTFORMAT},
        {"empty", true, "", 0, 640, 0, 0, 0, ERR_PERCENTFORMAT},
        {"nan percent", true, "nan%", 0, 640, 1, 0, 0, ERR_PERCENTFORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VmScope vm;
        double got = -1;
        int isPercent = -1;
        SetErrorArgIndex(0);
        int status = RunAsCommand(vm, {0, c.isString ? Arg(c.text) : Arg(c.number)}, [&](VmState* s) {
            return got = CheckPercentArg(s, 2, c.base, c.allowOver, &isPercent), 0;
        });
        EXPECT_EQ(status, c.code);
        if (c.code) {
            EXPECT_EQ(GetErrorArgIndex(), 2);
        } else {
            EXPECT_DOUBLE_EQ(got, c.result);
            EXPECT_EQ(isPercent, c.isPercent);
        }
    }

    VmScope vm;
    int status =
        RunAsCommand(vm, {Arg::Table({})}, [](VmState* s) { return CheckPercentArg(s, 1, 10, 0, nullptr), 0; });
    EXPECT_EQ(status, ERR_STRORNUM);
    EXPECT_EQ(GetErrorArgIndex(), 1);
}

TEST(ArgCheck, ConstantNames) {
    VmScope vm;
    VmState* s = vm;
    std::string longName(QZ_MAX_CONSTANT_NAME, 'K');
    const qzConstantRow stable[] = {
        {"ERR_MEM", nullptr, 1000}, {"Title$", "text", 0}, {longName.c_str(), nullptr, 64}, {nullptr, nullptr, 0}};
    ASSERT_EQ(VmRegisterConstants(s, stable, 0), 0);

    size_t length = 0;
    const char* text = "unset";
    double number = 0;
    EXPECT_EQ(ParseConstantName(s, "#ERR_MEM+1", &length, &text, &number), 0);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(number, 1000);
    EXPECT_EQ(text, nullptr);

    EXPECT_EQ(ParseConstantName(s, "#title$ rest", &length, &text, &number), 0);
    EXPECT_EQ(length, 7u);
    EXPECT_STREQ(text, "text");

    // The name stops after 64 characters; what follows is left to the caller.
    std::string longer = "#" + longName + "KK";
    EXPECT_EQ(ParseConstantName(s, longer.c_str(), &length, &text, &number), 0);
    EXPECT_EQ(length, QZ_MAX_CONSTANT_NAME + 1);
    EXPECT_EQ(number, 64);

    length = 99;
    EXPECT_EQ(ParseConstantName(s, "ERR_MEM", &length, &text, &number), ERR_WRONGUSAGE);
    EXPECT_EQ(ParseConstantName(s, "#1ABC", &length, &text, &number), ERR_SYNTAXERROR);
    EXPECT_EQ(ParseConstantName(s, "#", &length, &text, &number), ERR_SYNTAXERROR);
    EXPECT_EQ(ParseConstantName(s, "#NOSUCH", &length, &text, &number), ERR_FINDCST);
    EXPECT_EQ(length, 99u);  // untouched on failure
    EXPECT_EQ(VmGetTop(s), 0);
}

TEST(ObjectId, IdentifierArguments) {
    VmScope vm;
    int handle = 0;
    qzObjectId id{-5, &handle};
    auto read = [&](Arg arg, bool numeric) {
        id = {-5, &handle};
        return RunAsCommand(vm, {arg}, [&](VmState* s) {
            if (numeric)
                GetNumericIdArg(&id, s, 1);
            else
                GetObjectIdArg(&id, s, 1);
            return 0;
        });
    };

    EXPECT_EQ(read(3.9, false), 0);
    EXPECT_EQ(id.number, 3);
    EXPECT_EQ(id.pointer, nullptr);
    EXPECT_EQ(read(-3.9, false), 0);
    EXPECT_EQ(id.number, -3);
    EXPECT_EQ(read(Arg::Pointer(&handle), false), 0);
    EXPECT_EQ(id.number, 0);
    EXPECT_EQ(id.pointer, &handle);
    EXPECT_EQ(read(Nil{}, false), ERR_NUMEXPECTED);
    EXPECT_EQ(GetErrorArgIndex(), 1);
    EXPECT_EQ(read(Arg::Table({}), false), ERR_NUMEXPECTED);

    // Creating commands: Nil asks for an automatic identifier; a handle is not a number.
    EXPECT_EQ(read(Nil{}, true), 0);
    EXPECT_TRUE(IsAutoObjectId(id));
    EXPECT_EQ(read(7.5, true), 0);
    EXPECT_EQ(id.number, 7);
    EXPECT_EQ(id.pointer, nullptr);
    EXPECT_FALSE(IsAutoObjectId(id));
    EXPECT_EQ(read(Arg::Pointer(&handle), true), ERR_NUMEXPECTED);
    EXPECT_EQ(read("x", true), ERR_NUMEXPECTED);
}

}  // namespace

}  // namespace arg_check_test
