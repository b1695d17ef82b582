// The plugin manager: the folder scan and its registered-only plugins, requirements, library
// plugins (commands, constants, saver formats), command hooks and the plugin description dump.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/error_codes.h"
#include "plugins/plugin_fixture.h"
#include "runtime/tool_dumps.h"

namespace plugin_manager_test {

using namespace plugintest;

namespace {

qzPluginRecord* FindRecord(const char* fileName) {
    for (qzPluginRecord* r = GetPluginRecords(); r; r = r->next)
        if (std::string(r->fileName) == fileName) return r;
    return nullptr;
}

int steps = 0;
int CountStep() {
    ++steps;
    return 0;
}

}  // namespace

TEST_F(PluginTest, FolderScanLoadsRegistersAndSkips) {
    Copy("basic", "a.qzp");
    Copy("basic", "_extra.qzp");
    Copy("basic", "skipme.qzp");
    filetest::WriteFile(dir / "bad.qzp", "junk");
    filetest::WriteFile(dir / "notes.txt", "text");
    mkdir((dir / "sub.qzp").c_str(), 0755);

    int count = -1;
    EXPECT_EQ(LoadPluginsFromDir((dir / "player").c_str(), nullptr, &count, nullptr), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(GetPluginRecords(), nullptr);  // counting loads nothing

    std::vector<std::string> skip = {"skipme"};
    steps = 0;
    EXPECT_EQ(LoadPluginsFromDir((dir / "player").c_str(), &skip, nullptr, CountStep), 0);
    EXPECT_EQ(steps, 4);
    ASSERT_NE(FindRecord("a.qzp"), nullptr);
    EXPECT_NE(FindRecord("a.qzp")->handle, nullptr);
    ASSERT_NE(FindRecord("extra.qzp"), nullptr);
    EXPECT_EQ(FindRecord("extra.qzp")->handle, nullptr);
    EXPECT_EQ(FindRecord("skipme.qzp")->handle, nullptr);
    EXPECT_EQ(FindRecord("bad.qzp"), nullptr);

    // Known, not loaded; then loaded on demand by a requirement.
    ASSERT_EQ(vm.Call("HavePlugin", {"extra"}), 0);
    EXPECT_EQ(vm.Num(1), 1);
    EXPECT_EQ(vm.Num(2), 0);
    EXPECT_EQ(RequirePluginVersion(vm, "extra.qzp", 1, 0, 0, 0, nullptr, nullptr), 0);
    EXPECT_NE(FindRecord("extra.qzp")->handle, nullptr);

    // A skip list "*" registers every file.
    FreeAllPlugins();
    skip = {"*"};
    EXPECT_EQ(LoadPluginsFromDir((dir / "player").c_str(), &skip, nullptr, nullptr), 0);
    for (qzPluginRecord* r = GetPluginRecords(); r; r = r->next) EXPECT_EQ(r->handle, nullptr) << r->fileName;
    EXPECT_NE(FindRecord("a.qzp"), nullptr);
}

TEST_F(PluginTest, RequirementsLoadCheckVersionsAndCallRequireOnce) {
    qzPluginRecord* a = LoadAndInit("basic", "a.qzp");  // version 1.2
    ASSERT_NE(a, nullptr);
    struct {
        const char* name;
        int version, revision;
        int code;
        const char* argument;
    } cases[] = {
        {"nothere", 0, 0, ERR_REQUIREPLUGIN, "nothere.qzp"},
        {"nothere.qzp", 1, 2, ERR_REQUIREPLUGIN, "nothere.qzp 1.2"},
        {"a", 1, 3, ERR_REQUIREPLUGIN, "a.qzp 1.3"},
        {"a", 2, 0, ERR_REQUIREPLUGIN, "a.qzp 2.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RequirePluginVersion(vm, c.name, c.version, c.revision, 0, 0, nullptr, nullptr), c.code) << c.name;
        EXPECT_STREQ(GetErrorArgString(), c.argument);
    }
    // The plugin's RequirePlugin gets the tags and the flags word, and its result is returned.
    qzRequireTagItem fail[] = {{"fail", 0, 1234, nullptr}, {nullptr, 0, 0, nullptr}};
    EXPECT_EQ(RequirePluginVersion(vm, "a", 1, 2, 1, 0, fail, nullptr), 0);  // load only: not called
    EXPECT_EQ(RequirePluginVersion(vm, "a", 1, 2, 0, 1, fail, nullptr), 0);  // adapters only
    EXPECT_EQ(RequirePluginVersion(vm, "A", 0, 0, 0, 0, fail, nullptr), 1234);
    EXPECT_TRUE(a->requireCalled);
    EXPECT_EQ(RequirePluginVersion(vm, "a", 1, 0, 0, 0, fail, nullptr), 0);  // only once

    qzPluginRecord* b = LoadAndInit("basic", "b.qzp");
    ASSERT_NE(b, nullptr);
    qzRequireTagItem hidden[] = {{"hidden", 0, 1, nullptr}, {nullptr, 0, 0, nullptr}};
    uint32_t flags = 0;
    EXPECT_EQ(RequirePluginVersion(vm, "b", 0, 0, 0, 0, hidden, &flags), 0);
    EXPECT_EQ(flags, static_cast<uint32_t>(QZ_REQUIREF_HIDDENDISPLAYS));

    // Loading a known file again is "already known".
    qzPluginRecord* again = nullptr;
    EXPECT_EQ(LoadPluginFile((dir / "b.qzp").c_str(), 1, &again), ERR_USERABORT);
    EXPECT_EQ(again, b);
}

TEST_F(PluginTest, LibraryPluginCommandsConstantsAndSaverFormats) {
    qzPluginRecord* record = LoadAndInit("library", "lib.qzp");
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(vm.Call("PluginAdd", {2, 40}), 0);
    EXPECT_EQ(vm.Num(), 42);
    ASSERT_EQ(vm.Call("PluginEcho", {"hi"}), 0);
    EXPECT_EQ(vm.Str(), "hi");
    EXPECT_EQ(vm.Call("PluginFail", {1055}), ERR_WRONGUSAGE);

    // The second library lives in the table "plib".
    VmPushString(vm, "plib");
    VmGetTable(vm, VM_GLOBALSINDEX);
    ASSERT_EQ(VmType(vm, -1), VM_TTABLE);
    VmPushString(vm, "twice");
    VmGetTable(vm, -2);
    VmPushNumber(vm, 21);
    ASSERT_EQ(VmProtectedCall(vm, 1, 1, 0), 0);
    EXPECT_EQ(VmToNumber(vm, -1), 42);
    VmSetTop(vm, 0);

    // Constants of both libraries and of the saver formats; InitLibrary ran.
    struct {
        const char* name;
        double number;
    } constants[] = {{"plugin_answer", 42}, {"plib_one", 1}, {"imgfmt_ppmtest", 7}, {"imgfmt_rawtest", 8}};
    for (const auto& c : constants) {
        double number = -1;
        EXPECT_TRUE(VmFindConstant(vm, c.name, nullptr, &number)) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
    }
    const char* text = nullptr;
    EXPECT_TRUE(VmFindConstant(vm, "plugin_text", &text, nullptr));
    EXPECT_STREQ(text, "hello");
    VmPushString(vm, "pluginready");
    VmRawGet(vm, VM_GLOBALSINDEX);
    EXPECT_EQ(VmToNumber(vm, -1), 1);
    VmSetTop(vm, 0);

    const qzSaverFormat* formats = record->handle->info->imageSaverFormats;
    ASSERT_NE(formats, nullptr);
    EXPECT_EQ(formats[0].formatId, 7);
    EXPECT_STREQ(formats[0].name, "PPMTEST");
    EXPECT_EQ(formats[1].formatId, 8);
    EXPECT_EQ(formats[2].name, nullptr);

    // GetPlugins reports it; FreeLibrary runs at shutdown while the VM exists.
    ASSERT_EQ(vm.Call("GetPlugins"), 0);
    VmRawGetI(vm, vm.Base() + 1, 0);
    VmPushString(vm, "modulename");
    VmGetTable(vm, -2);
    EXPECT_STREQ(VmToString(vm, -1), "lib");
    VmSetTop(vm, 0);
    FreeLibraryPlugins(vm);
    EXPECT_TRUE(Exists(dir / "lib.qzp.freed"));
}

TEST_F(PluginTest, CommandHooksRunInsteadAndTakeErrors) {
    ASSERT_NE(LoadAndInit("library", "lib.qzp"), nullptr);
    // GetType is hooked without an error handler: the hook answers, and its errors unwind.
    ASSERT_EQ(vm.Call("HookByName", {"gettype"}), 0);
    ASSERT_EQ(vm.Call("GetType", {1}), 0);
    EXPECT_EQ(vm.Str(), "hooked");
    EXPECT_EQ(vm.Call("GetType", {"raise"}), ERR_WRONGUSAGE);
    ASSERT_EQ(vm.Call("Unhook"), 0);
    ASSERT_EQ(vm.Call("GetType", {1}), 0);
    EXPECT_EQ(vm.Num(), 2);  // NUMBER

    // With an error handler the error goes there and the command yields nothing.
    ASSERT_EQ(vm.Call("HookByName", {"isnil", 1}), 0);
    int top = VmGetTop(vm);
    ASSERT_EQ(vm.Call("IsNil", {"raise"}), 0);
    EXPECT_EQ(VmGetTop(vm), top);
    ASSERT_EQ(vm.Call("LastHookError"), 0);
    EXPECT_EQ(vm.Num(), ERR_WRONGUSAGE);
    ASSERT_EQ(vm.Call("IsNil", {"x"}), 0);
    EXPECT_EQ(vm.Str(), "hooked");
}

TEST_F(PluginTest, PluginCommandsOfTheSystemLibrary) {
    ASSERT_NE(LoadAndInit("basic", "a.qzp"), nullptr);
    struct {
        std::vector<qztest::Arg> args;
        double known, loaded;
    } have[] = {{{"a"}, 1, 1}, {{"a.qzp", 1, 2}, 1, 1}, {{"a", 1, 3}, 0, 0}, {{"zzz"}, 0, 0}};
    for (const auto& h : have) {
        ASSERT_EQ(vm.Call("HavePlugin", h.args), 0);
        EXPECT_EQ(vm.Num(1), h.known) << h.args[0].Describe();
        EXPECT_EQ(vm.Num(2), h.loaded) << h.args[0].Describe();
    }
    // The file types the plugin registered.
    ASSERT_EQ(vm.Call("GetPlugins"), 0);
    VmRawGetI(vm, vm.Base() + 1, 0);
    VmPushString(vm, "filetypes");
    VmGetTable(vm, -2);
    VmRawGetI(vm, -1, 0);
    int type = VmGetTop(vm);
    for (auto [key, value] : {std::pair{"name", "Pattern"}, {"extensions", "pattern"}, {"mimetype", ""}}) {
        VmPushString(vm, key);
        VmGetTable(vm, type);
        EXPECT_STREQ(VmToString(vm, -1), value) << key;
        VmPop(vm, 1);
    }
    VmSetTop(vm, 0);

    EXPECT_EQ(vm.Call("DisablePlugin", {"nothere"}), ERR_FINDPLUGIN);
    ASSERT_EQ(vm.Call("DisablePlugin", {"a.qzp"}), 0);
    EXPECT_EQ(FindRecord("a.qzp")->handle->info->disabled, 1u);
    ASSERT_EQ(vm.Call("EnablePlugin", {"a"}), 0);
    EXPECT_EQ(FindRecord("a.qzp")->handle->info->disabled, 0u);

    // LoadPlugin loads and runs the requirement; loading it again after that is a doublet, and
    // so is a load with "skiprequire" of a plugin that is loaded.
    std::string path = Copy("basic", "b.qzp");
    ASSERT_EQ(vm.Call("LoadPlugin", {path}), 0);
    EXPECT_EQ(FindRecord("b.qzp")->requireCalled, 1);
    EXPECT_EQ(vm.Call("LoadPlugin", {path}), ERR_PLUGINDOUBLET);
    EXPECT_EQ(vm.Call("LoadPlugin", {"a", qztest::Arg::Table({{"skiprequire", 1}})}), ERR_PLUGINDOUBLET);
    EXPECT_EQ(vm.Call("LoadPlugin", {"a", qztest::Arg::Table({{1, 1}})}), ERR_WRONGUSAGE);  // a key that is no text
    // Loaded, but older than the version the options ask for.
    std::string c = Copy("basic", "c.qzp");
    EXPECT_EQ(vm.Call("LoadPlugin", {c, qztest::Arg::Table({{"version", 9}})}), ERR_REQUIREPLUGIN);
    EXPECT_NE(FindRecord("c.qzp")->handle, nullptr);
}

TEST_F(PluginTest, PluginDescriptionDump) {
    std::string out = dir / "plugins.txt";
    ASSERT_EQ(WritePluginInfo(out.c_str()), 0);
    EXPECT_EQ(filetest::ReadFile(out), "::end\n");

    ASSERT_NE(LoadAndInit("library", "lib.qzp"), nullptr);
    ASSERT_NE(LoadAndInit("basic", "pics.qzp"), nullptr);
    ASSERT_EQ(WritePluginInfo(out.c_str()), 0);
    EXPECT_EQ(filetest::ReadFile(out),
              "::plugin\n2.5\n0x00000482\nlib\nQuarnelix tests\nCommands, constants and an image saver\n\n\n\n\n\n"
              "::commands\nPluginAdd\nPluginEcho\nPluginFail\nHookByName\nUnhook\nLastHookError\n"
              "::constants\nPLUGIN_ANSWER\nPLUGIN_TEXT\n"
              "::commands\nplib.Twice\n::constants\nPLIB_ONE\n"
              "::plugin\n1.2\n0x00020404\npics\nQuarnelix tests\nPattern images\nnone\n\n01.01.24\n\n\n"
              "::end\n");
}

}  // namespace plugin_manager_test
