// Loading plugin files: the name rule and the reserved names, the version check, missing entry
// points, files that are no plugin for this machine, unwinding of a failed load, automatic
// activation and the exports of the test plugins.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/error_codes.h"
#include "gfx/image_source.h"
#include "platform/display_adapter.h"
#include "platform/os_dir.h"
#include "platform/vfs.h"
#include "plugins/plugin_fixture.h"
#include "runtime/applet_version.h"

namespace plugin_loader_test {

using namespace plugintest;

namespace {

// The path of a shared library the test binary has mapped, by a part of its name.
std::string MappedLibrary(const std::string& part) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        size_t slash = line.find('/');
        if (slash != std::string::npos && line.find(part) != std::string::npos) return line.substr(slash);
    }
    return "";
}

bool InImageList(const qzPluginInfo* info) {
    for (const qzCapabilityNode* n = GetAdapterList(QZ_PLUGINCAPS_IMAGE); n; n = n->next)
        if (n->plugin == info) return true;
    return false;
}

}  // namespace

TEST_F(PluginTest, NameRuleVersionAndEntryPoints) {
    struct Case {
        const char* plugin;
        const char* file;
        int code;
        const char* argument;  // expected error argument (a part of it for ERR_DLOPEN)
        bool closed;           // ClosePlugin ran
    } cases[] = {
        {"basic", "_abc.qzp", 0, "", true},
        {"basic", "Foo.qzp", 0, "", true},
        {"basic", "Default.qzp", ERR_LOADPLUGIN, "Default.qzp", true},
        {"basic", "_default.qzp", 0, "", true},  // "_" names skip the reserved-name test
        {"basic", "NATIVE.qzp", ERR_LOADPLUGIN, "NATIVE.qzp", true},
        {"basic", "mismatch.qzp", ERR_LOADPLUGIN, "mismatch.qzp", true},
        {"basic", "refuse.qzp", ERR_LOADPLUGIN, "refuse.qzp", false},
        {"basic", "needs61.qzp", ERR_NEWQZPLUGIN, "6.1", true},
        {"basic", "typeless.qzp", ERR_PLUGINTYPE, "40000", true},
        {"adapter_nocls", "nocls.qzp", ERR_PLUGINSYMBOL, "Cls", true},
    };
    for (const Case& c : cases) {
        std::string path = Copy(c.plugin, c.file);
        qzPluginRecord* record = nullptr;
        SetErrorArgString("");
        int code = LoadPluginFile(path.c_str(), 0, &record);
        EXPECT_EQ(code, c.code) << c.file;
        if (code) {
            EXPECT_STREQ(GetErrorArgString(), c.argument) << c.file;
            EXPECT_EQ(Exists(path + ".closed"), c.closed) << c.file;
        } else {
            EXPECT_TRUE(record && record->handle) << c.file;
        }
    }
    // An accepted "_abc" is recorded without its "_".
    qzPluginRecord* abc = nullptr;
    EXPECT_EQ(LoadPluginFile((dir / "_abc.qzp").c_str(), 0, &abc), ERR_USERABORT);
    ASSERT_NE(abc, nullptr);
    EXPECT_STREQ(abc->fileName, "abc.qzp");
    // Unloading the accepted ones runs their ClosePlugin.
    FreeAllPlugins();
    EXPECT_TRUE(Exists(dir / "Foo.qzp.closed"));
}

TEST_F(PluginTest, FilesThatAreNoPluginForThisMachine) {
    std::string junk = dir / "junk.qzp";
    filetest::WriteFile(junk, "not a shared object\n");
    EXPECT_EQ(LoadPluginFile(junk.c_str(), 0, nullptr), ERR_DLOPEN);
    EXPECT_NE(std::string(GetErrorArgString()).find("junk.qzp"), std::string::npos) << GetErrorArgString();

    // The same plugin built for another machine (its ELF machine word says AArch64).
    std::string bytes = filetest::ReadFile(Built("basic"));
    ASSERT_GT(bytes.size(), 20u);
    bytes[18] = static_cast<char>(183);
    bytes[19] = 0;
    std::string foreign = dir / "foreign.qzp";
    filetest::WriteFile(foreign, bytes);
    EXPECT_EQ(LoadPluginFile(foreign.c_str(), 0, nullptr), ERR_DLOPEN);

    // A real shared library without InitPlugin.
    std::string zlib = MappedLibrary("libz.so");
    ASSERT_FALSE(zlib.empty());
    std::string z = dir / "z.qzp";
    filetest::WriteFile(z, filetest::ReadFile(zlib));
    EXPECT_EQ(LoadPluginFile(z.c_str(), 0, nullptr), ERR_LOADPLUGIN);
    EXPECT_STREQ(GetErrorArgString(), "z.qzp");

    EXPECT_EQ(LoadPluginFile((dir / "missing.qzp").c_str(), 0, nullptr), ERR_DLOPEN);
    EXPECT_EQ(GetPluginRecords(), nullptr);

    // A bare name is a file of the current directory, not a library the system searches for.
    EXPECT_EQ(LoadPluginFile("libz.so.1", 0, nullptr), ERR_DLOPEN);
    std::string cwd = OsGetCurrentDir();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    Copy("basic", "here.qzp");
    EXPECT_EQ(LoadPluginFile("here", 1, nullptr), 0);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
}

TEST_F(PluginTest, AFailedLoadLeavesNothingRegistered) {
    // "needs61" puts itself into the image list from InitPlugin and registers a file type, then
    // fails the version check.
    EXPECT_EQ(LoadPluginFile(Copy("basic", "needs61.qzp").c_str(), 0, nullptr), ERR_NEWQZPLUGIN);
    EXPECT_EQ(GetAdapterList(QZ_PLUGINCAPS_IMAGE), nullptr);
    EXPECT_EQ(GetPluginRecords(), nullptr);

    // A plugin that refuses after it became a file adapter serves no file afterwards.
    EXPECT_EQ(LoadPluginFile(Copy("memfs", "refusefs.qzp").c_str(), 0, nullptr), ERR_LOADPLUGIN);
    EXPECT_EQ(GetAdapterList(QZ_PLUGINCAPS_FILEADAPTER), nullptr);
    EXPECT_EQ(VfsOpen("mem:/hello.txt", QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr), nullptr);
    EXPECT_EQ(GetPluginRecords(), nullptr);

    // Automatic activation needs an applet of format 6.0 or later.
    SetAppletVersion(5, 9);
    EXPECT_EQ(LoadPluginFile(Copy("basic", "old.qzp").c_str(), 0, nullptr), ERR_OLDAPPLET);
    ResetAppletVersion();
    EXPECT_EQ(GetPluginRecords(), nullptr);
    EXPECT_TRUE(Exists(dir / "old.qzp.closed"));

    // A display adapter that installed itself and then fails to load is no longer the adapter.
    SetPluginStartupPhase(1);
    EXPECT_EQ(LoadPluginFile(Copy("adapter_nocls", "nocls.qzp").c_str(), 0, nullptr), ERR_PLUGINSYMBOL);
    SetPluginStartupPhase(0);
    EXPECT_EQ(GetDisplayAdapter(), nullptr);
}

TEST_F(PluginTest, ExtensionBitZeroSuppressesActivationUntilAListNamesIt) {
    qzPluginRecord* pics = LoadAndInit("basic", "pics.qzp");
    qzPluginRecord* noauto = LoadAndInit("basic", "noauto.qzp");
    ASSERT_TRUE(pics && noauto);
    const qzPluginInfo* noautoInfo = noauto->handle->info;
    EXPECT_TRUE(InImageList(pics->handle->info));
    EXPECT_FALSE(InImageList(noautoInfo));
    EXPECT_EQ(noautoInfo->extensions[2], 1u);

    // The list "noauto" activates it; a plugin activated by a list then serves only lists that
    // name it.
    qzImageSourceRequest request;
    request.file = "pattern:4x3";
    request.loaderList = "noauto";
    qzImageSourceResult result;
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    EXPECT_EQ(result.loader, noautoInfo);
    EXPECT_TRUE(InImageList(noautoInfo));
    EXPECT_EQ(noautoInfo->activatedByList, 1u);
    FreeImageSource(result.source);

    request.loaderList = "plugin";
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    EXPECT_EQ(result.loader, pics->handle->info);
    FreeImageSource(result.source);
}

TEST_F(PluginTest, StubPluginsAnswerWithoutBeingCalled) {
    qzPluginRecord* stub = nullptr;
    std::string path = Copy("basic", "stub.qzp");
    ASSERT_EQ(LoadPluginFile(path.c_str(), 0, &stub), 0);
    const qzPluginInfo* info = stub->handle->info;
    EXPECT_EQ(info->IsImage, nullptr);
    EXPECT_EQ(info->RequirePlugin, nullptr);
    EXPECT_EQ(info->extensions[2], 0u);
    EXPECT_FALSE(ProbeImageFile("pattern:2x2", nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(RequirePluginVersion(vm, "stub", 0, 0, 0, 0, nullptr, nullptr), 0);
    FreeAllPlugins();
    EXPECT_FALSE(Exists(path + ".closed"));
}

TEST(PluginExports, EachTestPluginExportsOnlyEntryPoints) {
    // Every name a plugin may export: the entry points of the information block.
    static const std::set<std::string> kEntryPoints = {"InitPlugin",
                                                       "ClosePlugin",
                                                       "GetExtensions",
                                                       "IsImage",
                                                       "LoadImage",
                                                       "GetImage",
                                                       "FreeImage",
                                                       "TransformImage",
                                                       "OpenAnim",
                                                       "LoadFrame",
                                                       "FreeFrame",
                                                       "GetFrameDelay",
                                                       "CloseAnim",
                                                       "RequirePlugin",
                                                       "GetBaseTable",
                                                       "GetCommands",
                                                       "GetConstants",
                                                       "InitLibrary",
                                                       "FreeLibrary",
                                                       "GetLibraryCount",
                                                       "SetCurrentLibrary",
                                                       "RegisterImageSaver",
                                                       "SaveImage",
                                                       "FOpen",
                                                       "FClose",
                                                       "FRead",
                                                       "FGetC",
                                                       "FWrite",
                                                       "FPutC",
                                                       "FSeek",
                                                       "FFlush",
                                                       "FEof",
                                                       "FStat",
                                                       "Stat",
                                                       "OpenDir",
                                                       "CloseDir",
                                                       "NextDirEntry",
                                                       "HandleEvents",
                                                       "WaitEvents",
                                                       "ForceEventLoopIteration",
                                                       "Sleep",
                                                       "VWait",
                                                       "DetermineBorderSizes",
                                                       "OpenDisplay",
                                                       "CloseDisplay",
                                                       "ChangeBufferSize",
                                                       "ShowHideDisplay",
                                                       "SizeMoveDisplay",
                                                       "SetDisplayTitle",
                                                       "ActivateDisplay",
                                                       "SetDisplayAttributes",
                                                       "CreatePointer",
                                                       "FreePointer",
                                                       "SetPointer",
                                                       "ShowHidePointer",
                                                       "MovePointer",
                                                       "GetMousePos",
                                                       "GetQualifiers",
                                                       "BltBitMap",
                                                       "RectFill",
                                                       "WritePixel",
                                                       "Line",
                                                       "GetMonitorInfo",
                                                       "FreeMonitorInfo",
                                                       "GrabScreenPixels",
                                                       "FreeGrabScreenPixels",
                                                       "BeginDoubleBuffer",
                                                       "EndDoubleBuffer",
                                                       "Flip",
                                                       "Cls",
                                                       "AllocVideoBitMap",
                                                       "FreeVideoBitMap",
                                                       "ReadVideoPixels",
                                                       "FreeVideoPixels",
                                                       "DoVideoBitMapMethod",
                                                       "AllocBitMap",
                                                       "FreeBitMap",
                                                       "LockBitMap",
                                                       "UnLockBitMap",
                                                       "GetBitMapAttr"};
    const std::map<std::string, size_t> kCounts = {{"basic", 9},     {"library", 12}, {"memfs", 16},
                                                   {"conform", 9},   {"adapter", 45}, {"adapter_nocls", 44},
                                                   {"animloader", 8}};
    for (const auto& [plugin, count] : kCounts) {
        int status = -1;
        std::string command = "readelf --dyn-syms -W '" + Built(plugin) + "'";
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string output;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
        status = pclose(p);
        ASSERT_EQ(status, 0) << command;
        std::istringstream lines(output);
        std::string line;
        size_t exported = 0;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string num, value, size, type, bind, vis, ndx, name;
            if (!(fields >> num >> value >> size >> type >> bind >> vis >> ndx >> name)) continue;
            if (bind != "GLOBAL" || ndx == "UND") continue;
            EXPECT_TRUE(kEntryPoints.count(name)) << plugin << " exports " << name;
            ++exported;
        }
        EXPECT_EQ(exported, count) << plugin;
    }
}

}  // namespace plugin_loader_test
