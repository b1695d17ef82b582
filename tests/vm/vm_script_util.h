// Test helpers that assemble script text, load it and run it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "vm/vm.h"
#include "vm/vm_object.h"

struct AsmReaderData {
    const std::vector<uint8_t>* bytes;
    bool done;
};

inline const char* AsmReader(void* data, size_t* size) {
    AsmReaderData* r = static_cast<AsmReaderData*>(data);
    if (r->done) {
        *size = 0;
        return nullptr;
    }
    r->done = true;
    *size = r->bytes->size();
    return reinterpret_cast<const char*>(r->bytes->data());
}

// Assembles text and pushes its main function. Returns the load status (-1 when the text does
// not assemble).
inline int LoadAsm(VmState* L, const std::string& text) {
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(text, &error);
    if (bytes.empty()) {
        ADD_FAILURE() << "assembler: " << error << "\n" << text;
        return -1;
    }
    AsmReaderData r{&bytes, false};
    return VmLoad(L, AsmReader, &r, "=test");
}

// Renders a value for comparisons: numbers with %.14g, strings quoted, other types by name.
inline std::string RenderValue(VmState* L, int index) {
    char buf[64];
    switch (VmType(L, index)) {
    case VM_TNIL: return "nil";
    case VM_TNONE: return "none";
    case VM_TBOOLEAN: return VmToBoolean(L, index) ? "true" : "false";
    case VM_TNUMBER: snprintf(buf, sizeof(buf), "%.14g", VmToNumber(L, index)); return buf;
    case VM_TSTRING: return '"' + std::string(VmToString(L, index), VmStrLen(L, index)) + '"';
    default: return VmTypeName(L, VmType(L, index));
    }
}

// Loads and runs text protected with all results; results (comma-separated) go to *out and are
// popped. Returns the status.
inline int RunAsm(VmState* L, const std::string& text, std::string* out) {
    int top = VmGetTop(L);
    int status = LoadAsm(L, text);
    if (status != 0) return status;
    status = VmProtectedCall(L, 0, VM_MULTRET, 0);
    std::string res;
    if (status == 0) {
        for (int i = top + 1; i <= VmGetTop(L); i++) {
            if (!res.empty()) res += ",";
            res += RenderValue(L, i);
        }
    }
    VmSetTop(L, top);
    if (out) *out = res;
    return status;
}

// Wraps instruction lines into a main function.
inline std::string MainFunction(const std::string& body) { return ".function main\n" + body + "\n.end\n"; }
