// Commands of the dos, sound and system libraries at each failing allocation: whatever a command
// holds while it works (an open file, a directory lock, a sound record, a pixel block, a
// registered string) is freed or handed over on every way out, the VM's out-of-memory error and a
// std::bad_alloc unwinding through it included (LeakSanitizer checks what is left at exit).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/brush/brush_lib.h"
#include "libs/dos/dos.h"
#include "libs/sound/sound.h"
#include "libs/system/system.h"
#include "oom/alloc_faults.h"
#include "platform/chunk_memory.h"
#include "platform/file_test_util.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "runtime/runtime.h"
#include "support/commands.h"
#include "support/headless_start.h"
#include "vm/vm.h"

namespace failing_library_command_test {

namespace {

using filetest::TempDir;
using filetest::WriteFile;
using qztest::Arg;

class FailingLibraryCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(qztest::StartHeadlessDriver(true)); }
    void TearDown() override {
        SetRuntimeAttrs(nullptr, {{QZ_RTA_QUIET, 0}});
        HeadlessSetManualAudio(0);
        HostStopDriver();
    }
};

// A command that may answer ERR_MEM; a std::bad_alloc thrown in the harness before or after the
// command counts as -1.
int CallCatching(qztest::Commands& vm, const std::string& command, const std::vector<Arg>& args) {
    try {
        return vm.CallErr(command, args);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

TEST_F(FailingLibraryCommand, WhatACommandHoldsIsFreedWhenMemoryRunsOut) {
    TempDir dir;
    const std::string file = dir / "lines.txt";
    WriteFile(file, "one\ntwo\nthree\n");
    // Larger than the block FileToString reads, so that the string grows while the file is open.
    const std::string big = dir / "big.txt";
    WriteFile(big, std::string(40000, 'x'));
    const std::string tree = dir / "tree";
    std::filesystem::create_directories(tree + "/inner");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "inner/d.txt"}) WriteFile(tree + "/" + name, name);
    const std::string copy = dir / "copy";

    qztest::Commands vm{&qzDosLibrary, &qzSystemLibrary, &qzBrushLibrary};
    SetRuntimeAttrs(vm, {{QZ_RTA_QUIET, 1}});
    vm.Ok("CreateBrush", {1, 4, 3, 0xFF8000});

    const struct {
        std::string command;
        std::vector<Arg> args;
    } rows[] = {
        {"FileLines", {file}},                                    // the file, until its iterator owns it
        {"FileToString", {big}},                                  // the file, while the string is built
        {"ReadDirectory", {tree, Arg::List({}), Arg::List({})}},  // the lock, while names are listed
        {"CopyFile", {tree, copy}},                               // the locks of the tree walk
        {"SetClipboard", {2, 1}},                                 // the pixels of brush 1, as a picture
    };
    for (const auto& row : rows) {
        // The arguments are made once: pushing them again could run out of memory outside any
        // protected call.
        std::vector<Arg> args;
        for (const Arg& arg : row.args) {
            arg.PushOnto(vm);
            args.push_back(qztest::V(VmGetTop(vm)));
        }
        ASSERT_EQ(vm.CallErr(row.command, args), 0) << row.command;
        int result = 0;
        uint64_t count = ForEachFailingAllocation([&] { result = CallCatching(vm, row.command, args); },
                                                  [&](uint64_t n) {
                                                      EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1)
                                                          << row.command << ", allocation " << n << ": " << result;
                                                  });
        EXPECT_GT(count, 0u) << row.command;
        VmSetTop(vm, 0);
    }
}

// CopySample copies the sound and then the sample's object data, one registry reference per entry.
// Every run starts from a new VM in the same state, so that the same allocation grows the
// registry in each; the copied sound and the entries copied so far go when it fails.
TEST_F(FailingLibraryCommand, ACopiedSampleIsFreedWhenCopyingItsObjectDataFails) {
    std::unique_ptr<qztest::Commands> vm;
    auto prepare = [&] {
        vm.reset();
        vm = std::make_unique<qztest::Commands>(
            std::initializer_list<const qzLibraryDescriptor*>{&qzDosLibrary, &qzSoundLibrary, &qzSystemLibrary});
        SetRuntimeAttrs(*vm, {{QZ_RTA_QUIET, 1}});
        vm->Ok("CreateSample", {1, Arg::List({1, 2, 3, 4, 5, 6}), 8000});
        for (int i = 0; i < 40; i++) vm->Ok("SetObjectData", {QZ_TYPE_SAMPLE, 1, "key" + std::to_string(i), i});
    };
    prepare();
    const std::string command = "CopySample";
    const std::vector<Arg> args = {1, 2};
    int result = 0;
    uint64_t count = ForEachFailingAllocation([&] { result = CallCatching(*vm, command, args); },
                                              [&](uint64_t n) {
                                                  EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1)
                                                      << "allocation " << n << ": " << result;
                                                  prepare();
                                              });
    EXPECT_GT(count, 40u);
    vm.reset();
}

// Whether a registry entry holds the string at address.
bool RegistryHolds(VmState* state, const void* address) {
    bool found = false;
    VmPushNil(state);
    while (VmNext(state, VM_REGISTRYINDEX)) {
        if (VmType(state, -1) == VM_TSTRING && VmToString(state, -1) == address) found = true;
        VmPop(state, 1);
    }
    return found;
}

// A string named as a virtual file is registered and referenced while its name is defined, at
// the latest until the dos library closes: a failing definition leaves neither the registration
// nor the reference that keeps the string alive. Every run starts from a new VM.
TEST_F(FailingLibraryCommand, AFailedStringFileDefinitionKeepsNothing) {
    std::unique_ptr<qztest::Commands> vm;
    const void* address = nullptr;
    size_t length = 0;
    auto prepare = [&] {
        vm.reset();
        vm = std::make_unique<qztest::Commands>(std::initializer_list<const qzLibraryDescriptor*>{&qzDosLibrary});
        VmPushString(*vm, "the contents of a virtual file");
        address = VmToString(*vm, 1);
        length = VmStrLen(*vm, 1);
        VmPushString(*vm, "f.txt");
    };
    prepare();
    const std::string command = "DefineVirtualFileFromString";
    const std::vector<Arg> args = {qztest::V(1), qztest::V(2)};
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] { result = CallCatching(*vm, command, args); },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1) << "allocation " << n << ": " << result;
            vm->CloseLibraries();
            EXPECT_EQ(FindChunkMemory(reinterpret_cast<uintptr_t>(address), length), nullptr) << "allocation " << n;
            EXPECT_FALSE(RegistryHolds(*vm, address)) << "allocation " << n;
            prepare();
        });
    EXPECT_GT(count, 1u);
    vm.reset();
}

}  // namespace

}  // namespace failing_library_command_test
