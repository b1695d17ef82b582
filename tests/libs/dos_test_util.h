// The dos library's test fixture: the shared command harness with the dos library open, quiet
// progress output and a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "libs/dos/dos.h"
#include "libs/oracle.h"
#include "runtime/runtime.h"
#include "support/commands.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace dostest {

using qztest::Arg;
using qztest::B;
using qztest::N;
using qztest::S;
using qztest::V;
inline Arg Nil() { return Arg(qztest::Nil{}); }

struct DosTest : ::testing::Test {
    qztest::Commands vm{&qzDosLibrary};
    libtest::TempDir dir;

    void SetUp() override { SetRuntimeAttrs(vm, {{QZ_RTA_QUIET, 1}}); }
    void TearDown() override {
        vm.CloseLibraries();
        SetRuntimeAttrs(vm, {{QZ_RTA_QUIET, 0}});
        SetQuitFlag(0);
    }

    int Call(const char* name, const std::vector<Arg>& args) { return vm.Call(name, args); }
    void Ok(const char* name, const std::vector<Arg>& args) { vm.Ok(name, args); }
    int Base() const { return vm.Base(); }
    int Results() const { return vm.Results(); }
    double Num(int i = 1) { return vm.Num(i); }
    std::string Str(int i = 1) { return vm.Str(i); }
    double CallNum(const char* name, const std::vector<Arg>& args) { return vm.CallNum(name, args); }
    std::string CallStr(const char* name, const std::vector<Arg>& args) { return vm.CallStr(name, args); }
    int CallErr(const char* name, const std::vector<Arg>& args) { return vm.CallErr(name, args); }
    std::string F(const std::string& name) const { return dir.File(name); }
};

}  // namespace dostest
