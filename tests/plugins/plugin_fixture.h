// Plugin tests: the test plugins built beside the tests (test-plugins/), copies of them under the
// names a test needs in a temporary folder, and a VM with the runtime, the host API and the
// system and dos libraries, ended as shutdown ends them.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/error_arg.h"
#include "libs/dos/dos.h"
#include "libs/system/system.h"
#include "platform/file_test_util.h"
#include "player/host_api.h"
#include "runtime/library.h"
#include "runtime/plugin_manager.h"
#include "runtime/runtime.h"
#include "support/vm_command.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace plugintest {

inline std::string BuildDir() {
    const char* env = std::getenv("QZ_BINARY_DIR");
    return env && *env ? env : QZ_BINARY_DIR;
}

// A built test plugin.
inline std::string Built(const std::string& name) { return BuildDir() + "/test-plugins/" + name + ".qzp"; }

inline bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

struct PluginTest : ::testing::Test {
    VmScope vm;
    filetest::TempDir dir;
    int base = 0;

    void SetUp() override {
        ASSERT_EQ(InitRuntime(), 0);
        SetRuntimeAttrs(vm, {{QZ_RTA_QUIET, 1}});
        InstallHostApi();
        ASSERT_EQ(OpenLibrary(vm, &qzSystemLibrary), 0);
        ASSERT_EQ(OpenLibrary(vm, &qzDosLibrary), 0);
    }
    void TearDown() override {
        FreeLibraryPlugins(vm);
        static const qzLibraryDescriptor* const kLibraries[] = {&qzSystemLibrary, &qzDosLibrary, nullptr};
        CloseLibraries(vm, kLibraries);
        FreeRuntime(vm);
        FreeAllPlugins();
        RemoveHostApi();
    }

    // Copies the built plugin into the test's folder under the given file name.
    std::string Copy(const std::string& plugin, const std::string& as) {
        std::string target = dir / as;
        filetest::WriteFile(target, filetest::ReadFile(Built(plugin)));
        return target;
    }

    // Loads a copy of the plugin and sets it to work; the record, or null with the failure.
    qzPluginRecord* LoadAndInit(const std::string& plugin, const std::string& as) {
        qzPluginRecord* record = nullptr;
        int code = LoadPluginFile(Copy(plugin, as).c_str(), 0, &record);
        EXPECT_EQ(code, 0) << as << ": " << GetErrorArgString();
        if (code) return nullptr;
        EXPECT_EQ(RunAsCommand(vm, nullptr, [&](VmState* s) { return InitPluginFeatures(s, record); }), 0);
        return record;
    }

    // Calls a global command; 0 or the error code. Results stay on the stack above base.
    int Call(const std::string& name, const std::vector<std::string>& args = {}) {
        base = VmGetTop(vm);
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        VmPushString(vm, lower.c_str());
        VmGetTable(vm, VM_GLOBALSINDEX);
        EXPECT_EQ(VmType(vm, -1), VM_TFUNCTION) << name;
        for (const std::string& a : args) {
            // "#n" is the number n; anything else a string.
            if (a.size() > 1 && a[0] == '#') VmPushNumber(vm, std::atof(a.c_str() + 1));
            else VmPushLString(vm, a.data(), a.size());
        }
        return VmProtectedCall(vm, static_cast<int>(args.size()), VM_MULTRET, 0);
    }
    std::string Str(int i = 1) {
        const char* s = VmToString(vm, base + i);
        return s ? std::string(s, VmStrLen(vm, base + i)) : std::string("<none>");
    }
    double Num(int i = 1) { return VmToNumber(vm, base + i); }
};

}  // namespace plugintest
