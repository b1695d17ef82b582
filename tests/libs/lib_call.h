// Calls library commands through the VM the way a script does: the command is looked up in the
// globals table, called protected with the given arguments, and its results are rendered as text
// ("ERR n" for an error code; strings in double quotes; numbers with %.14g; tables as "table").
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "libs/math/math_lib.h"
#include "libs/string/string_lib.h"
#include "vm/vm.h"

namespace libtest {

struct Nil {};

// One argument: a number, a string (bytes as given) or Nil.
struct Arg {
    std::variant<double, std::string, Nil> value;
    Arg(double n) : value(n) {}
    Arg(int n) : value(static_cast<double>(n)) {}
    Arg(const char* s) : value(std::string(s)) {}
    Arg(std::string s) : value(std::move(s)) {}
    Arg(Nil) : value(Nil{}) {}
};

inline void PushArg(VmState* L, const Arg& a) {
    if (const double* n = std::get_if<double>(&a.value))
        VmPushNumber(L, *n);
    else if (const std::string* s = std::get_if<std::string>(&a.value))
        VmPushLString(L, s->data(), s->size());
    else
        VmPushNil(L);
}

inline std::string Render(VmState* L, int index) {
    char buf[64];
    switch (VmType(L, index)) {
    case VM_TNIL: return "nil";
    case VM_TNUMBER: snprintf(buf, sizeof buf, "%.14g", VmToNumber(L, index)); return buf;
    case VM_TSTRING: return "\"" + std::string(VmToString(L, index), VmStrLen(L, index)) + "\"";
    case VM_TBOOLEAN: return VmToBoolean(L, index) ? "true" : "false";
    default: return VmTypeName(L, VmType(L, index));
    }
}

// A number as Call renders it.
inline std::string Number(double n) {
    char buf[64];
    snprintf(buf, sizeof buf, "%.14g", n);
    return buf;
}

// A VM with the string and math libraries registered.
struct LibVm {
    VmState* L = VmOpen();
    LibVm() {
        EXPECT_EQ(OpenLibrary(L, &qzStringLibrary), 0);
        EXPECT_EQ(OpenLibrary(L, &qzMathLibrary), 0);
    }
    ~LibVm() { VmClose(L); }
    LibVm(const LibVm&) = delete;
    LibVm& operator=(const LibVm&) = delete;

    // Pushes the global command (lower-cased name) and the arguments, calls it protected and
    // leaves its results on the stack from index 1. Returns the status.
    int CallRaw(const char* name, const std::vector<Arg>& args) {
        VmSetTop(L, 0);
        VmPushString(L, name);
        VmGetTable(L, VM_GLOBALSINDEX);
        EXPECT_EQ(VmType(L, -1), VM_TFUNCTION) << name;
        for (const Arg& a : args) PushArg(L, a);
        return VmProtectedCall(L, static_cast<int>(args.size()), VM_MULTRET, 0);
    }

    // The results joined by ", ", or "ERR n".
    std::string Call(const char* name, const std::vector<Arg>& args) {
        int status = CallRaw(name, args);
        if (status) {
            VmSetTop(L, 0);
            return "ERR " + std::to_string(status);
        }
        std::string out;
        for (int i = 1; i <= VmGetTop(L); i++) out += (i > 1 ? ", " : "") + Render(L, i);
        VmSetTop(L, 0);
        return out;
    }
};

}  // namespace libtest
