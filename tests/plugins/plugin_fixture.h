// Plugin tests: the test plugins built beside the tests (test-plugins/), copies of them under the
// names a test needs in a temporary folder, and a VM with the runtime, the host API and the
// system and dos libraries, ended as shutdown ends them.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <initializer_list>
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
#include "support/commands.h"
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

// The runtime starts before the libraries open (starting it resets the interpreter's links).
struct RuntimeStart {
    RuntimeStart() { EXPECT_EQ(InitRuntime(), 0); }
};

struct PluginTest : ::testing::Test {
    RuntimeStart runtime;
    qztest::Commands vm;
    filetest::TempDir dir;

    PluginTest() : PluginTest({&qzSystemLibrary, &qzDosLibrary}) {}
    // A VM with other libraries (system and dos among them, for the plugins' own needs).
    explicit PluginTest(std::initializer_list<const qzLibraryDescriptor*> libraries) : vm(libraries) {}

    void SetUp() override {
        SetRuntimeAttrs(vm, {{QZ_RTA_QUIET, 1}});
        InstallHostApi();
    }
    void TearDown() override {
        FreeLibraryPlugins(vm);
        vm.CloseLibraries();
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
        EXPECT_EQ(qztest::RunAsCommand(vm, {}, [&](VmState* s) { return InitPluginFeatures(s, record); }), 0);
        return record;
    }
};

}  // namespace plugintest
