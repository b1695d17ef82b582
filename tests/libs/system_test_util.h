// Test helpers for the system and memblock libraries: a VM with both libraries registered, calls
// of their global commands from C, and tables built from and read into vectors.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/object_registry.h"
#include "libs/memblock/memblock.h"
#include "libs/system/system.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"
#include "vm/vm_script_util.h"

namespace systest {

class LibFixture : public ::testing::Test {
protected:
    VmState* L = nullptr;

    void SetUp() override {
        L = VmOpen();
        ASSERT_EQ(OpenLibrary(L, &qzSystemLibrary), 0);
        ASSERT_EQ(OpenLibrary(L, &qzMemblockLibrary), 0);
    }
    void TearDown() override {
        FreeMemblockLibrary(L);
        FreeSystemLibrary(L);
        FreeObjectRegistry();
        VmClose(L);
        VmResetRuntimeLink();
    }

    // Calls the global command with the arguments that push() leaves; all results stay on the
    // stack above the previous top. Returns the protected call's status (0 or the error code).
    int Call(const char* name, const std::function<void()>& push = nullptr) {
        // Globals hold commands under their lower-cased names.
        std::string key(name);
        for (char& c : key)
            c = (char)tolower((unsigned char)c);
        VmPushString(L, key.c_str());
        VmGetTable(L, VM_GLOBALSINDEX);
        EXPECT_EQ(VmType(L, -1), VM_TFUNCTION) << name;
        int base = VmGetTop(L);
        if (push)
            push();
        return VmProtectedCall(L, VmGetTop(L) - base, VM_MULTRET, 0);
    }

    // Calls and returns the number result on top (popped), failing the test on an error.
    double CallNumber(const char* name, const std::function<void()>& push = nullptr) {
        int top = VmGetTop(L);
        EXPECT_EQ(Call(name, push), 0) << name;
        double n = VmGetTop(L) > top ? VmToNumber(L, top + 1) : -12345;
        VmSetTop(L, top);
        return n;
    }

    std::string CallString(const char* name, const std::function<void()>& push = nullptr) {
        int top = VmGetTop(L);
        EXPECT_EQ(Call(name, push), 0) << name;
        std::string s;
        if (VmGetTop(L) > top && VmIsString(L, top + 1))
            s.assign(VmToString(L, top + 1), VmStrLen(L, top + 1));
        VmSetTop(L, top);
        return s;
    }

    void PushNumbers(const std::vector<double>& items) {
        VmNewTable(L);
        for (size_t i = 0; i < items.size(); i++) {
            VmPushNumber(L, items[i]);
            VmRawSetI(L, -2, (int)i);
        }
    }
    void PushStrings(const std::vector<std::string>& items) {
        VmNewTable(L);
        for (size_t i = 0; i < items.size(); i++) {
            VmPushLString(L, items[i].data(), items[i].size());
            VmRawSetI(L, -2, (int)i);
        }
    }
    // Items t[0], t[1], ... up to the first nil, rendered (numbers %.14g, strings quoted).
    std::vector<std::string> Items(int index) {
        index = VmAbsIndex(L, index);
        std::vector<std::string> out;
        for (int i = 0;; i++) {
            VmRawGetI(L, index, i);
            if (VmType(L, -1) == VM_TNIL) {
                VmPop(L, 1);
                return out;
            }
            out.push_back(RenderValue(L, -1));
            VmPop(L, 1);
        }
    }
    // Pushes the function that the assembled main function returns.
    void PushScriptFunction(const std::string& text) {
        ASSERT_EQ(LoadAsm(L, text), 0);
        ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    }
};

}  // namespace systest
