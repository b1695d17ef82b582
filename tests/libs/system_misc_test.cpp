// The smaller system commands: types and conditions, errors and constants, metatables, object
// data, program information and the debug output.
#include <unistd.h>

#include <cmath>
#include <cstdint>

#include "base/error_codes.h"
#include "libs/oracle.h"
#include "libs/system_test_util.h"
#include "runtime/applet_records.h"
#include "runtime/player_records.h"
#include "runtime/runtime.h"

using namespace systest;

namespace {

class SystemMiscTest : public LibFixture {
protected:
    void TearDown() override {
        SetRuntimeAttrs(L, {{QZ_RTA_EXITONERROR, 1}});
        LibFixture::TearDown();
    }
};

TEST_F(SystemMiscTest, TypesConditionsAndAssert) {
    struct Case {
        Arg value;
        double type;
    };
    const Case types[] = {
        {Nil{}, 0},
        {1, 2},
        {"x", 3},
        {Arg::Table({}), 4},
        {B(true), -1},
        {Arg::Pointer(&L), 9},
        {Arg::Function(SysEnd), 5},
    };
    for (const Case& c : types) EXPECT_EQ(CallNumber("GetType", {c.value}), c.type);

    struct Cond {
        Arg condition;
        const char* result;
    };
    const Cond conds[] = {{"", "2"}, {"a", "1"}, {0, "2"}, {-0.5, "1"}, {Nil{}, "2"}};
    for (const Cond& c : conds) {
        ASSERT_EQ(Call("IIf", {c.condition, 1, 2}), 0);
        EXPECT_EQ(RenderValue(L, -1), c.result);
        VmSetTop(L, 0);
    }
    EXPECT_EQ(Call("IIf", {Arg::Table({}), 1, 2}), ERR_WRONGDTYPE);

    EXPECT_EQ(Call("Assert", {0}), ERR_ASSERTFAILED);
    EXPECT_EQ(Call("Assert", {Nil{}}), ERR_ASSERTFAILED);
    EXPECT_EQ(CallString("Assert", {"ok"}), "ok");
    EXPECT_EQ(CallNumber("IsNil", {Nil{}}), 1);
    EXPECT_EQ(CallNumber("IsNil", {0}), 0);
}

TEST_F(SystemMiscTest, ErrorsAndConstants) {
    EXPECT_EQ(Call("Error", {"custom 100%"}), ERR_ERRORCALLED);
    EXPECT_EQ(CallString("GetErrorName", {ERR_ERRORCALLED}), "custom 100%");
    EXPECT_EQ(CallString("GetErrorName", {ERR_SORTFUNC}), "Invalid order function for sorting!");
    EXPECT_EQ(Call("End"), ERR_USERABORT);

    struct Case {
        const char* name;
        double value;
    };
    const Case constants[] = {{"ERR_MEM", 1000},        {"#err_notransparency", 1574},
                              {"ERR_SORTFUNC", 1362},   {"TICKS", 2},
                              {"DOUBLE", 12},           {"WORD", 6},
                              {"LANGUAGE_RUSSIAN", 17}, {"COUNTRY_UNKNOWN", 38},
                              {"REQ_HIDEICONS", 65536}, {"PLUGINCAPS_DIRADAPTER", 0x8000},
                              {"FILETYPEFLAGS_FPS", 8}};
    for (const Case& c : constants) EXPECT_EQ(CallNumber("GetConstant", {c.name}), c.value) << c.name;
    EXPECT_EQ(Call("GetConstant", {"NO_SUCH_THING"}), ERR_FINDCST);
    EXPECT_EQ(Call("GetConstant", {"TICKS+1"}), ERR_FINDCST);

    // Every named built-in code has its constant (1249 and 1406 to 1408 are unused).
    int found = 0;
    VmPushString(L, "constants");
    VmRawGet(L, VM_REGISTRYINDEX);
    VmPushNil(L);
    while (VmNext(L, -2)) {
        if (VmIsString(L, -2) && std::string(VmToString(L, -2)).rfind("err_", 0) == 0) found++;
        VmPop(L, 1);
    }
    EXPECT_EQ(found, 571);
}

TEST_F(SystemMiscTest, ExitOnErrorAndRaiseOnError) {
    VmPushCFunction(L, SysEnd);
    int handler = VmGetTop(L);
    ASSERT_EQ(Call("RaiseOnError", {V(handler)}), 0);
    EXPECT_EQ(Call("ExitOnError", {0}), ERR_WRONGUSAGE);
    ASSERT_EQ(Call("RaiseOnError", {Nil{}}), 0);
    ASSERT_EQ(Call("ExitOnError", {0}), 0);
    EXPECT_FALSE(IsExitOnError());
    EXPECT_EQ(Call("RaiseOnError", {V(handler)}), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("RaiseOnError", {3}), ERR_WRONGUSAGE);
}

TEST_F(SystemMiscTest, MetatablesAndRawAccess) {
    VmNewTable(L);  // 1: t
    VmNewTable(L);  // 2: mt
    ASSERT_EQ(Call("SetMetaTable", {V(1), V(2)}), 0);
    VmSetTop(L, 2);
    ASSERT_EQ(Call("GetMetaTable", {V(1)}), 0);
    EXPECT_TRUE(VmRawEqual(L, 2, 3));
    VmSetTop(L, 2);
    EXPECT_EQ(Call("SetMetaTable", {V(1), 1}), ERR_TABLEORNIL);
    // A "__metatable" field hides the metatable and protects it.
    VmPushString(L, "__metatable");
    VmPushString(L, "locked");
    VmRawSet(L, 2);
    EXPECT_EQ(CallString("GetMetaTable", {V(1)}), "locked");
    EXPECT_EQ(Call("SetMetaTable", {V(1), Nil{}}), ERR_PROTMETATABLE);

    ASSERT_EQ(Call("RawSet", {V(1), "k", 4}), 0);
    VmSetTop(L, 2);
    EXPECT_EQ(CallNumber("RawGet", {V(1), "k"}), 4);
    EXPECT_EQ(CallNumber("RawEqual", {V(1), V(1)}), 1);
    EXPECT_EQ(CallNumber("RawEqual", {V(1), V(2)}), 0);
}

// Object data on timers, the one object kind of this library.
TEST_F(SystemMiscTest, ObjectData) {
    auto set = [&](double id, const char* key, double value) {
        return Call("SetObjectData", {QZ_TYPE_TIMER, id, key, value});
    };
    auto get = [&](double id, const char* key) { return Call("GetObjectData", {QZ_TYPE_TIMER, id, key}); };
    ASSERT_EQ(Call("StartTimer", {1}), 0);
    ASSERT_EQ(Call("StartTimer", {2}), 0);
    EXPECT_EQ(set(3, "x", 1), ERR_FINDARRAY);
    EXPECT_EQ(set(1, "", 1), ERR_WRONGUSAGE);
    ASSERT_EQ(set(1, "Speed", 5), 0);
    ASSERT_EQ(set(1, "name", 7), 0);
    ASSERT_EQ(set(2, "SPEED", 9), 0);
    ASSERT_EQ(get(1, "SPEED"), 0);
    EXPECT_EQ(RenderValue(L, -1), "5");
    EXPECT_EQ(get(1, "none"), ERR_FINDOBJECTDATA);
    EXPECT_EQ(Call("SetObjectData", {22, 1, "k", 1}), ERR_NOLAYERS);

    // Without overwrite the target keeps its own "speed".
    ASSERT_EQ(Call("CopyObjectData", {QZ_TYPE_TIMER, 1, QZ_TYPE_TIMER, 2, 0}), 0);
    ASSERT_EQ(get(2, "speed"), 0);
    EXPECT_EQ(RenderValue(L, -1), "9");
    ASSERT_EQ(get(2, "name"), 0);
    EXPECT_EQ(RenderValue(L, -1), "7");

    EXPECT_EQ(Call("ClearObjectData", {QZ_TYPE_TIMER, 1, "missing"}), ERR_FINDOBJECTDATA);
    ASSERT_EQ(Call("ClearObjectData", {QZ_TYPE_TIMER, 1}), 0);
    EXPECT_EQ(get(1, "name"), ERR_FINDOBJECTDATA);
    EXPECT_EQ(CallNumber("HaveObject", {QZ_TYPE_TIMER, 2}), 1);
    EXPECT_EQ(CallNumber("HaveObject", {QZ_TYPE_TIMER, 5}), 0);
}

TEST_F(SystemMiscTest, ProgramAndSystemInformation) {
    qzPlayerContext context;
    qzAppletDescriptor applet;
    context.unknownArgs.push_back({"mode", 1, "fast"});
    context.unknownArgs.push_back({"verbose", 0, ""});
    context.firstFileArg = "game.applet";
    context.appletPath = "/tmp/game.applet";
    context.programPath = "/usr/bin/qzplayer";
    context.compiledApplet = 1;
    applet.title = "My Game";
    SetStartupRecords(L, &context, &applet);

    ASSERT_EQ(Call("GetCommandLine"), 0);
    ASSERT_EQ(VmGetTop(L), 3);
    VmRawGetI(L, 1, 0);
    VmPushString(L, "arg");
    VmRawGet(L, -2);
    VmPushString(L, "param");
    VmRawGet(L, -3);
    EXPECT_EQ(RenderValue(L, -2) + RenderValue(L, -1), "\"mode\"\"fast\"");
    VmRawGetI(L, 1, 1);
    VmPushString(L, "param");
    VmRawGet(L, -2);
    EXPECT_EQ(RenderValue(L, -1), "\"\"");
    EXPECT_EQ(RenderValue(L, 2) + RenderValue(L, 3), "21");
    VmSetTop(L, 0);

    ASSERT_EQ(Call("GetProgramInfo"), 0);
    EXPECT_EQ(RenderValue(L, 1) + RenderValue(L, 2) + RenderValue(L, 3), "1\"/tmp/game.applet\"\"/usr/bin/qzplayer\"");
    VmSetTop(L, 0);
    context.appended = 1;
    ASSERT_EQ(Call("GetProgramInfo"), 0);
    EXPECT_EQ(RenderValue(L, 1) + RenderValue(L, 2), "2\"/usr/bin/qzplayer\"");
    VmSetTop(L, 0);
    EXPECT_EQ(CallString("GetFileArgument"), "game.applet");
    ASSERT_EQ(Call("GetApplicationInfo"), 0);
    VmPushString(L, "title");
    VmRawGet(L, 1);
    EXPECT_EQ(RenderValue(L, -1), "\"My Game\"");
    VmSetTop(L, 0);
    SetStartupRecords(L, nullptr, nullptr);

    // Identity as the player's own, machine facts as they are.
    ASSERT_EQ(Call("GetVersion"), 0);
    auto field = [&](const char* key) {
        VmPushString(L, key);
        VmRawGet(L, 1);
        std::string s = RenderValue(L, -1);
        VmPop(L, 1);
        return s;
    };
    EXPECT_EQ(field("application"), "\"QuarnelixPlayer\"");
    EXPECT_EQ(field("version") + field("version_date") + field("platform"), "\"6.0\"\"14.02.15\"\"MacOS\"");
    EXPECT_EQ(field("bigendian"), "0");
    std::string machine = libtest::Python("import platform\nprint(platform.machine())\n");
    EXPECT_EQ(field("cpu"), "\"" + machine.substr(0, machine.size() - 1) + "\"");
    EXPECT_EQ(field("plugins"), "table");
    VmSetTop(L, 0);

    // Physical memory as python3 sees it (above 4 GiB on most machines, never cut to 32 bits).
    std::string memory =
        libtest::Python("import os\nprint(os.sysconf('SC_PHYS_PAGES') * os.sysconf('SC_PAGE_SIZE'))\n");
    EXPECT_EQ(CallNumber("GetMemoryInfo", {1}), std::stod(memory));
    EXPECT_EQ(CallNumber("GetMemoryInfo", {0}), std::stod(memory));
    EXPECT_EQ(Call("GetMemoryInfo", {2}), ERR_WRONGUSAGE);

    EXPECT_EQ(Call("LegacyControl", {"SingleMusic", 1}), 0);
    EXPECT_TRUE(IsLegacySingleMusic());
    EXPECT_EQ(Call("LegacyControl", {"other", 1}), ERR_UNKNOWNTAG);
    ASSERT_EQ(Call("DisableLineHook"), 0);
    EXPECT_TRUE(IsLineHookDisabled());
    ASSERT_EQ(Call("EnableLineHook"), 0);
    EXPECT_FALSE(IsLineHookDisabled());

    char buffer[8];
    ASSERT_EQ(Call("IncreasePointer", {Arg::Pointer(buffer), 5}), 0);
    EXPECT_EQ(VmToUserdata(L, -1), buffer + 5);
    int moved = VmGetTop(L);
    ASSERT_EQ(Call("DecreasePointer", {V(moved), 3}), 0);
    EXPECT_EQ(VmToUserdata(L, -1), buffer + 2);
    // Numbers beyond any byte count saturate instead of converting undefinedly.
    const uintptr_t base = reinterpret_cast<uintptr_t>(buffer);
    const struct {
        double n;
        uintptr_t expected;
    } kSteps[] = {
        {1e300, base + static_cast<uintptr_t>(INT64_MAX)},
        {-1e300, base + static_cast<uintptr_t>(INT64_MIN)},
        {std::nan(""), base + static_cast<uintptr_t>(int64_t{INT32_MIN})},
        {-7.9, base - 7},
    };
    for (const auto& step : kSteps) {
        ASSERT_EQ(Call("IncreasePointer", {Arg::Pointer(buffer), step.n}), 0);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(VmToUserdata(L, -1)), step.expected) << step.n;
    }
}

TEST_F(SystemMiscTest, DebugPrintWritesTextsUnchanged) {
    testing::internal::CaptureStdout();
    ASSERT_EQ(Call("DebugPrint", {"100% %s", 2.5, Nil{}}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "100% %s 2.5 Nil\n");
}

}  // namespace

#include "platform/os_dir.h"

namespace system_misc_test {

namespace {

// The script's catalog follows the user's language; closing it brings back the defaults.
TEST_F(SystemMiscTest, ScriptCatalog) {
    libtest::TempDir dir;
    std::string oldDir;
    ASSERT_TRUE(OsChangeDir(dir.path.c_str(), &oldDir));
    ASSERT_EQ(std::system("mkdir -p Catalogs/german"), 0);
    libtest::WriteFile("Catalogs/german/App.catalog", "Hallo\nWelt\n");
    const char* oldLang = getenv("LANG");
    std::string savedLang = oldLang ? oldLang : "";
    setenv("LANG", "de_DE.UTF-8", 1);

    auto text = [&](double index, const char* fallback) { return CallString("GetCatalogString", {index, fallback}); };
    EXPECT_EQ(text(1, "x"), "x");  // no catalog open yet
    ASSERT_EQ(Call("OpenCatalog", {"App.catalog"}), 0);
    EXPECT_EQ(text(1, "x"), "Welt");
    EXPECT_EQ(text(5, "fallback"), "fallback");
    ASSERT_EQ(Call("CloseCatalog"), 0);
    EXPECT_EQ(text(0, "x"), "x");
    EXPECT_EQ(Call("OpenCatalog", {"Missing.catalog", 2}), 0);
    EXPECT_EQ(text(0, "x"), "x");

    if (oldLang)
        setenv("LANG", savedLang.c_str(), 1);
    else
        unsetenv("LANG");
    OsChangeDir(oldDir.c_str(), nullptr);
}

TEST_F(SystemMiscTest, CollectorControlsAndBadUrl) {
    ASSERT_EQ(Call("CollectGarbage", {0}), 0);
    ASSERT_EQ(Call("GCInfo"), 0);
    ASSERT_EQ(VmGetTop(L), 2);
    EXPECT_GT(VmToNumber(L, 1), 0);
    EXPECT_GE(VmToNumber(L, 2), 0);
    EXPECT_EQ(Call("OpenURL", {""}), ERR_BADURL);
}

}  // namespace

namespace {

// DebugPrompt reads one line from standard input without its line end.
TEST_F(SystemMiscTest, DebugPromptReadsOneLine) {
    libtest::TempDir dir;
    libtest::WriteFile(dir.File("input.txt"), "first answer\r\nsecond\n");
    fflush(stdin);
    int saved = dup(0);
    ASSERT_NE(freopen(dir.File("input.txt").c_str(), "r", stdin), nullptr);
    testing::internal::CaptureStdout();
    std::string first = CallString("DebugPrompt", {"Name? "});
    std::string second = CallString("DebugPrompt", {"> "});
    std::string third = CallString("DebugPrompt", {"> "});
    std::string shown = testing::internal::GetCapturedStdout();
    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
    EXPECT_EQ(first, "first answer");
    EXPECT_EQ(second, "second");
    EXPECT_EQ(third, "");  // end of input
    EXPECT_EQ(shown, "Name? > > ");
}

}  // namespace

}  // namespace system_misc_test
