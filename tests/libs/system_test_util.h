// The system and memblock libraries' test fixture: the shared command harness with both libraries
// open, and tables built from and read into vectors.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "libs/memblock/memblock.h"
#include "libs/system/system.h"
#include "support/commands.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_script_util.h"

namespace systest {

using qztest::Arg;
using qztest::B;
using qztest::Nil;
using qztest::V;

class LibFixture : public ::testing::Test {
protected:
    qztest::Commands vm{&qzSystemLibrary, &qzMemblockLibrary};
    VmState* L = vm.state();

    // Calls the global command; all results stay on the stack above the previous top. Returns the
    // protected call's status (0 or the error code).
    int Call(const char* name, const std::vector<Arg>& args = {}) { return vm.Call(name, args); }
    // Calls and returns the first result (the stack is left as it was), failing the test on an
    // error: a number, or -12345 without a result; a string, or "" for anything else.
    double CallNumber(const char* name, const std::vector<Arg>& args = {}) { return vm.CallNum(name, args); }
    std::string CallString(const char* name, const std::vector<Arg>& args = {}) {
        int top = VmGetTop(L);
        EXPECT_EQ(Call(name, args), 0) << name;
        std::string s;
        if (VmGetTop(L) > top && VmIsString(L, top + 1)) s.assign(VmToString(L, top + 1), VmStrLen(L, top + 1));
        VmSetTop(L, top);
        return s;
    }

    // Pushes a table of the items at keys 0, 1, ...
    void PushNumbers(const std::vector<double>& items) {
        Arg::List(std::vector<Arg>(items.begin(), items.end())).PushOnto(L);
    }
    void PushStrings(const std::vector<std::string>& items) {
        Arg::List(std::vector<Arg>(items.begin(), items.end())).PushOnto(L);
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
    void PushScriptFunction(const std::string& text) { Arg::Script(text).PushOnto(L); }
};

}  // namespace systest
