#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "runtime/error_messages.h"
#include "runtime/option_table.h"
#include "support/commands.h"

namespace option_table_test {

using namespace qztest;

namespace {

int handleMarker;

// The options table used by every reader test, argument 1 of the command.
Arg Options() {
    return Arg::Table({
        {"width", 640.9},
        {"color", 4294901760.0},
        {"negative", -7.8},
        {"flag", true},
        {"off", false},
        {"fraction", 0.75},
        {"numstr", "42"},
        {"name", "Title"},
        {"bytes", std::string("a\0b", 3)},
        {"half", "50%"},
        {"quarter", "25%"},
        {"over", "150%"},
        {"bad", "x%"},
        {"handle", Arg::Pointer(&handleMarker)},
        {"sub", Arg::Table({})},
        {"layer", "Clouds"},
        {"matrix", Arg::List({0.5, 1.5, 2.5, 3.5})},
        {"shortmatrix", Arg::List({0, 1, 2})},
        {"badmatrix", Arg::List({"x", "x", "x", "x"})},
    });
}

// Runs body with the options table as argument 1; returns the status.
int WithOptions(VmState* state, const std::function<void(VmState*)>& body) {
    SetErrorArgString("");
    return RunAsCommand(state, {Options()}, [&](VmState* s) {
        body(s);
        EXPECT_EQ(VmGetTop(s), 1);  // every reader leaves the stack as it found it
        return 0;
    });
}

TEST(OptionTable, NumericReaders) {
    VmScope vm;
    int32_t i = 99;
    double d = 99;
    int found = 0;
    ASSERT_EQ(WithOptions(vm,
                          [&](VmState* s) {
                              EXPECT_EQ(GetTableFieldInt(s, 1, "missing", &i, &found), 0);
                              EXPECT_EQ(i, 99);
                              EXPECT_EQ(found, 0);
                              EXPECT_EQ(GetTableFieldInt(s, 1, "width", &i, &found), 1);
                              EXPECT_EQ(i, 640);
                              EXPECT_EQ(found, 1);
                              EXPECT_EQ(GetTableFieldInt(s, 1, "missing", &i, &found), 0);
                              EXPECT_EQ(found, 1);  // never cleared
                              GetTableFieldInt(s, 1, "negative", &i, nullptr);
                              EXPECT_EQ(i, -7);
                              GetTableFieldInt(s, 1, "numstr", &i, nullptr);
                              EXPECT_EQ(i, 42);
                              GetTableFieldBool(s, 1, "color", &i, nullptr);
                              EXPECT_EQ(static_cast<uint32_t>(i), 0xFFFF0000u);  // colours keep their pattern
                              GetTableFieldBool(s, 1, "flag", &i, nullptr);
                              EXPECT_EQ(i, 1);
                              EXPECT_EQ(GetTableFieldNumber(s, -1, "width", &d, nullptr), 1);
                              EXPECT_EQ(d, 640.9);
                          }),
              0);

    struct Bad {
        std::function<void(VmState*)> read;
        int code;
    };
    const Bad bad[] = {
        {[&](VmState* s) { GetTableFieldInt(s, 1, "name", &i, nullptr); }, ERR_NUMTABLEARG},
        {[&](VmState* s) { GetTableFieldBool(s, 1, "sub", &i, nullptr); }, ERR_NUMTABLEARG},
        {[&](VmState* s) { GetTableFieldFlag(s, 1, "name", &i, nullptr); }, ERR_NUMTABLEARG},
        {[&](VmState* s) { GetTableFieldNumber(s, 1, "half", &d, nullptr); }, ERR_NUMTABLEARG},
    };
    for (const Bad& b : bad) {
        EXPECT_EQ(WithOptions(vm, b.read), b.code);
        EXPECT_FALSE(std::string(GetErrorArgString()).empty());  // names the key
    }
    WithOptions(vm, [&](VmState* s) { GetTableFieldInt(s, 1, "name", &i, nullptr); });
    EXPECT_EQ(FormatErrorText(ERR_NUMTABLEARG), "Number expected in table argument \"name\"!");
}

// On/off options: a boolean or a number (truncated like an integer), stored as 0 or 1; a missing
// field leaves the value alone.
TEST(OptionTable, FlagReader) {
    VmScope vm;
    const struct {
        const char* key;
        int expected;
    } cases[] = {{"flag", 1},     {"off", 0},    {"color", 1},  {"negative", 1},
                 {"fraction", 0}, {"numstr", 1}, {"missing", 7}};
    for (const auto& c : cases) {
        int flag = 7;
        bool on = c.expected == 7;
        int found = 0;
        ASSERT_EQ(WithOptions(vm,
                              [&](VmState* s) {
                                  EXPECT_EQ(GetTableFieldFlag(s, 1, c.key, &flag, &found), c.expected == 7 ? 0 : 1);
                                  GetTableFieldFlag(s, 1, c.key, &on, nullptr);
                              }),
                  0)
            << c.key;
        EXPECT_EQ(flag, c.expected) << c.key;
        EXPECT_EQ(found, c.expected == 7 ? 0 : 1) << c.key;
        EXPECT_EQ(on, c.expected != 0) << c.key;
    }
}

TEST(OptionTable, PercentReaders) {
    VmScope vm;
    int32_t i = 0;
    double d = 0;
    ASSERT_EQ(WithOptions(vm,
                          [&](VmState* s) {
                              GetTableFieldIntOrPercent(s, 1, "quarter", 0, &i, nullptr);
                              EXPECT_EQ(i, -25);
                              GetTableFieldIntOrPercent(s, 1, "width", 0, &i, nullptr);
                              EXPECT_EQ(i, 640);
                              GetTableFieldIntOrPercent(s, 1, "numstr", 0, &i, nullptr);
                              EXPECT_EQ(i, 42);
                              GetTableFieldIntOrPercent(s, 1, "over", 1, &i, nullptr);
                              EXPECT_EQ(i, -150);
                              GetTableFieldPercent(s, 1, "half", 640, 0, &d, nullptr);
                              EXPECT_EQ(d, 320);
                              GetTableFieldPercent(s, 1, "half", 0, 0, &d, nullptr);
                              EXPECT_EQ(d, 0.5);
                              GetTableFieldPercent(s, 1, "width", 100, 0, &d, nullptr);
                              EXPECT_EQ(d, 640.9);
                          }),
              0);

    struct Bad {
        std::function<void(VmState*)> read;
        int code;
        const char* key;
    };
    const Bad bad[] = {
        {[&](VmState* s) { GetTableFieldIntOrPercent(s, 1, "over", 0, &i, nullptr); }, ERR_PERCENTFORMATSTR, "over"},
        {[&](VmState* s) { GetTableFieldIntOrPercent(s, 1, "bad", 1, &i, nullptr); }, ERR_PERCENTFORMATSTR, "bad"},
        {[&](VmState* s) { GetTableFieldIntOrPercent(s, 1, "name", 1, &i, nullptr); }, ERR_PERCENTFORMATSTR, "name"},
        {[&](VmState* s) { GetTableFieldIntOrPercent(s, 1, "sub", 1, &i, nullptr); }, ERR_NUMTABLEARG, "sub"},
        {[&](VmState* s) { GetTableFieldPercent(s, 1, "over", 10, 0, &d, nullptr); }, ERR_PERCENTFORMAT, "over"},
        {[&](VmState* s) { GetTableFieldPercent(s, 1, "sub", 10, 0, &d, nullptr); }, ERR_STRORNUM, "sub"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.key);
        EXPECT_EQ(WithOptions(vm, b.read), b.code);
        EXPECT_STREQ(GetErrorArgString(), b.key);
    }
}

const char* FakeResolve(VmState*, const char* name, int kind, int* isFont) {
    static std::string chunk;
    chunk = ":::chunk0:1*" + std::string(name) + "?kind" + std::to_string(kind);
    return chunk.c_str();
}

TEST(OptionTable, StringReaders) {
    VmScope vm;
    std::string text = "keep";
    char buffer[6];
    ASSERT_EQ(WithOptions(vm,
                          [&](VmState* s) {
                              EXPECT_EQ(GetTableFieldString(s, 1, "missing", nullptr, 0, &text, nullptr), 0);
                              EXPECT_EQ(text, "keep");
                              GetTableFieldString(s, 1, "bytes", nullptr, 0, &text, nullptr);
                              EXPECT_EQ(text, std::string("a\0b", 3));
                              GetTableFieldString(s, 1, "width", nullptr, 0, &text, nullptr);
                              EXPECT_EQ(text, "640.9");
                              GetTableFieldString(s, 1, "name", FakeResolve, 1, &text, nullptr);
                              EXPECT_EQ(text, ":::chunk0:1*Title?kind1");
                              EXPECT_EQ(GetTableFieldStringBuf(s, 1, "name", buffer, sizeof buffer, nullptr), 1);
                              EXPECT_STREQ(buffer, "Title");
                          }),
              0);
    EXPECT_EQ(WithOptions(vm, [&](VmState* s) { GetTableFieldString(s, 1, "sub", nullptr, 0, &text, nullptr); }),
              ERR_STRTABLEARG);
    EXPECT_STREQ(GetErrorArgString(), "sub");

    // A text longer than the caller's buffer is refused, not written past its end.
    std::memset(buffer, 'Z', sizeof buffer);
    char small[5];
    EXPECT_EQ(WithOptions(vm, [&](VmState* s) { GetTableFieldStringBuf(s, 1, "name", small, sizeof small, nullptr); }),
              ERR_NAMETOOLONG);
    EXPECT_STREQ(GetErrorArgString(), "name");
}

int LookupLayer(const char* name) { return std::strcmp(name, "Clouds") == 0 ? 3 : 0; }

TEST(OptionTable, IdentifierLayerAndMatrixReaders) {
    VmScope vm;
    qzObjectId id{};
    int32_t layer = 0;
    double m[4] = {9, 9, 9, 9};
    ASSERT_EQ(WithOptions(vm,
                          [&](VmState* s) {
                              GetTableFieldObjectId(s, 1, "handle", &id, nullptr);
                              EXPECT_EQ(id.number, 0);
                              EXPECT_EQ(id.pointer, &handleMarker);
                              GetTableFieldObjectId(s, 1, "negative", &id, nullptr);
                              EXPECT_EQ(id.number, -7);
                              EXPECT_EQ(id.pointer, nullptr);
                              GetTableFieldLayerId(s, 1, "layer", LookupLayer, &layer, nullptr);
                              EXPECT_EQ(layer, 3);
                              GetTableFieldLayerId(s, 1, "width", LookupLayer, &layer, nullptr);
                              EXPECT_EQ(layer, 640);
                              EXPECT_EQ(GetTableFieldMatrix(s, 1, "matrix", m, nullptr), 1);
                              EXPECT_EQ(m[0], 0.5);
                              EXPECT_EQ(m[3], 3.5);
                          }),
              0);

    struct Bad {
        std::function<void(VmState*)> read;
        int code;
        const char* text;
    };
    const Bad bad[] = {
        {[&](VmState* s) { GetTableFieldObjectId(s, 1, "name", &id, nullptr); }, ERR_NUMTABLEARG, "name"},
        {[&](VmState* s) { GetTableFieldLayerId(s, 1, "name", LookupLayer, &layer, nullptr); }, ERR_FINDLAYER, "Title"},
        {[&](VmState* s) { GetTableFieldLayerId(s, 1, "layer", nullptr, &layer, nullptr); }, ERR_FINDLAYER, "Clouds"},
        {[&](VmState* s) { GetTableFieldLayerId(s, 1, "sub", LookupLayer, &layer, nullptr); }, ERR_WRONGUSAGE, "sub"},
        {[&](VmState* s) { GetTableFieldMatrix(s, 1, "width", m, nullptr); }, ERR_TABEXPECTED, "width"},
        {[&](VmState* s) { GetTableFieldMatrix(s, 1, "shortmatrix", m, nullptr); }, ERR_MISSINGPARAMTR, "shortmatrix"},
        {[&](VmState* s) { GetTableFieldMatrix(s, 1, "badmatrix", m, nullptr); }, ERR_NUMTABLEARG, "badmatrix"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.text);
        EXPECT_EQ(WithOptions(vm, b.read), b.code);
        EXPECT_STREQ(GetErrorArgString(), b.text);
    }
    EXPECT_EQ(m[0], 0.5);  // a failed matrix read leaves the output alone
}

TEST(OptionTable, IdentifierLists) {
    VmScope vm;
    VmState* s = vm;
    int count = -1;
    qzObjectId ids[2] = {};

    VmNewTable(s);  // no "images" field
    EXPECT_EQ(GetTableFieldIdList(s, 1, ids, 2, &count), 0);
    EXPECT_EQ(count, 0);

    VmPushString(s, "images");
    VmNewTable(s);
    VmPushNumber(s, 4);
    VmRawSetI(s, -2, 0);
    VmPushLightUserdata(s, &handleMarker);
    VmRawSetI(s, -2, 1);
    VmPushNumber(s, 6.7);
    VmRawSetI(s, -2, 2);
    VmPushNumber(s, 99);
    VmRawSetI(s, -2, 4);  // after the gap at 3: not counted
    VmRawSet(s, 1);

    EXPECT_EQ(GetTableFieldIdList(s, 1, nullptr, 0, &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(GetTableFieldIdList(s, 1, ids, 2, &count), 0);  // only what fits is written
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ids[0].number, 4);
    EXPECT_EQ(ids[0].pointer, nullptr);
    EXPECT_EQ(ids[1].pointer, &handleMarker);

    VmPushString(s, "images");
    VmRawGet(s, 1);
    VmPushString(s, "x");
    VmRawSetI(s, -2, 1);
    VmPop(s, 1);
    EXPECT_EQ(GetTableFieldIdList(s, 1, ids, 2, &count), ERR_NUMCALLBACK);

    VmPushString(s, "images");
    VmPushNumber(s, 1);
    VmRawSet(s, 1);
    EXPECT_EQ(GetTableFieldIdList(s, 1, ids, 2, &count), ERR_TABEXPECTED2);
    EXPECT_STREQ(GetErrorArgString(), "images");
    EXPECT_EQ(VmGetTop(s), 1);
}

TEST(OptionTable, Writers) {
    VmScope vm;
    VmState* s = vm;
    VmNewTable(s);
    SetTableFieldInt(s, "i", -5);
    SetTableFieldUInt(s, "u", 0xFFFFFFFFu);
    SetTableFieldNumber(s, "n", 2.25);
    SetTableFieldString(s, "s", "text");
    SetTableFieldString(s, "none", nullptr);
    SetTableFieldObjectId(s, "num", qzObjectId{12, nullptr});
    SetTableFieldObjectId(s, "ptr", qzObjectId{0, &handleMarker});
    EXPECT_EQ(VmGetTop(s), 1);

    auto field = [s](const char* key) {
        VmPushString(s, key);
        VmRawGet(s, 1);
    };
    field("i");
    EXPECT_EQ(VmToNumber(s, -1), -5);
    field("u");
    EXPECT_EQ(VmToNumber(s, -1), 4294967295.0);
    field("n");
    EXPECT_EQ(VmToNumber(s, -1), 2.25);
    field("s");
    EXPECT_STREQ(VmToString(s, -1), "text");
    field("none");
    EXPECT_EQ(VmType(s, -1), VM_TNIL);
    field("num");
    EXPECT_EQ(VmType(s, -1), VM_TNUMBER);
    EXPECT_EQ(VmToNumber(s, -1), 12);
    field("ptr");
    EXPECT_EQ(VmType(s, -1), VM_TLIGHTUSERDATA);
    EXPECT_EQ(VmToUserdata(s, -1), &handleMarker);
}

}  // namespace

}  // namespace option_table_test
