// A VM with the dos library registered, and calls of its commands by name with typed arguments.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "runtime/runtime.h"
#include "libs/dos/dos.h"
#include "libs/oracle.h"
#include "support/vm_command.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace dostest {

// One argument: a number, a string, nil, a boolean, or the value at a stack index.
struct Arg {
    enum Kind { NUM, STR, NIL, BOOL, STACK } kind;
    double n = 0;
    std::string s;
};
inline Arg N(double n) { return {Arg::NUM, n, {}}; }
inline Arg S(const std::string& s) { return {Arg::STR, 0, s}; }
inline Arg Nil() { return {Arg::NIL, 0, {}}; }
inline Arg B(bool b) { return {Arg::BOOL, b ? 1.0 : 0.0, {}}; }
inline Arg V(int index) { return {Arg::STACK, static_cast<double>(index), {}}; }

struct DosTest : ::testing::Test {
    VmScope vm;
    libtest::TempDir dir;
    int base = 0;   // stack top before the last call: its results start at base + 1

    void SetUp() override {
        SetRuntimeAttrs(vm, {{QZ_RTA_QUIET, 1}});
        ASSERT_EQ(OpenLibrary(vm, &qzDosLibrary), 0);
    }
    void TearDown() override {
        FreeDosLibrary(vm);
        SetRuntimeAttrs(vm, {{QZ_RTA_QUIET, 0}});
        SetQuitFlag(0);
    }

    // Calls the global command; returns 0 or the error code. Results stay on the stack.
    int Call(const char* name, const std::vector<Arg>& args) {
        base = VmGetTop(vm);
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        VmPushString(vm, lower.c_str());
        VmGetTable(vm, VM_GLOBALSINDEX);
        EXPECT_EQ(VmType(vm, -1), VM_TFUNCTION) << name;
        for (const Arg& a : args) {
            switch (a.kind) {
                case Arg::NUM: VmPushNumber(vm, a.n); break;
                case Arg::STR: VmPushLString(vm, a.s.data(), a.s.size()); break;
                case Arg::NIL: VmPushNil(vm); break;
                case Arg::BOOL: VmPushBoolean(vm, a.n != 0); break;
                case Arg::STACK: VmPushValue(vm, static_cast<int>(a.n)); break;
            }
        }
        return VmProtectedCall(vm, static_cast<int>(args.size()), VM_MULTRET, 0);
    }
    // Calls and expects success; the stack is reset to where it was.
    void Ok(const char* name, const std::vector<Arg>& args) {
        int top = VmGetTop(vm);
        EXPECT_EQ(Call(name, args), 0) << name;
        VmSetTop(vm, top);
    }
    int Results() const { return VmGetTop(vm) - base; }
    double Num(int i = 1) { return VmToNumber(vm, base + i); }
    std::string Str(int i = 1) {
        const char* s = VmToString(vm, base + i);
        return s ? std::string(s, VmStrLen(vm, base + i)) : std::string("<none>");
    }
    // Calls, expects success and one number / string result; the stack is reset.
    double CallNum(const char* name, const std::vector<Arg>& args) {
        int top = VmGetTop(vm);
        EXPECT_EQ(Call(name, args), 0) << name;
        double r = Num();
        VmSetTop(vm, top);
        return r;
    }
    std::string CallStr(const char* name, const std::vector<Arg>& args) {
        int top = VmGetTop(vm);
        EXPECT_EQ(Call(name, args), 0) << name;
        std::string r = Str();
        VmSetTop(vm, top);
        return r;
    }
    int CallErr(const char* name, const std::vector<Arg>& args) {
        int top = VmGetTop(vm);
        int code = Call(name, args);
        VmSetTop(vm, top);
        return code;
    }
    std::string F(const std::string& name) const { return dir.File(name); }
};

}  // namespace dostest
