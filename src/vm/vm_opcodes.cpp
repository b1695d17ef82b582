#include "vm/vm_opcodes.h"

#include "base/charset.h"

// name, mode, B kind, C kind, sets A, test, Bx constant
const VmOpInfo vmOpInfo[VM_NUM_OPCODES] = {
    {"MOVE", VM_iABC, VM_ARG_R, VM_ARG_N, true, false, false},
    {"LOADK", VM_iABx, VM_ARG_N, VM_ARG_N, true, false, true},
    {"LOADBOOL", VM_iABC, VM_ARG_N, VM_ARG_N, true, false, false},
    {"LOADNIL", VM_iABC, VM_ARG_R, VM_ARG_N, true, false, false},
    {"GETUPVAL", VM_iABC, VM_ARG_N, VM_ARG_N, true, false, false},
    {"GETGLOBAL", VM_iABx, VM_ARG_N, VM_ARG_N, true, false, true},
    {"GETTABLE", VM_iABC, VM_ARG_R, VM_ARG_RK, true, false, false},
    {"SETGLOBAL", VM_iABx, VM_ARG_N, VM_ARG_N, false, false, true},
    {"SETUPVAL", VM_iABC, VM_ARG_N, VM_ARG_N, false, false, false},
    {"SETTABLE", VM_iABC, VM_ARG_RK, VM_ARG_RK, false, false, false},
    {"NEWTABLE", VM_iABC, VM_ARG_N, VM_ARG_N, true, false, false},
    {"ADD", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"SUB", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"MUL", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"DIV", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"IDIV", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"MOD", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"SHL", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"SHR", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"BOR", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"BAND", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"BXOR", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"POW", VM_iABC, VM_ARG_RK, VM_ARG_RK, true, false, false},
    {"UNM", VM_iABC, VM_ARG_R, VM_ARG_N, true, false, false},
    {"NOT", VM_iABC, VM_ARG_R, VM_ARG_N, true, false, false},
    {"BNOT", VM_iABC, VM_ARG_R, VM_ARG_N, true, false, false},
    {"CONCAT", VM_iABC, VM_ARG_R, VM_ARG_RK, true, false, false},
    {"JMP", VM_iJ24, VM_ARG_N, VM_ARG_N, false, false, false},
    {"EQ", VM_iABC, VM_ARG_RK, VM_ARG_RK, false, true, false},
    {"LT", VM_iABC, VM_ARG_RK, VM_ARG_RK, false, true, false},
    {"LE", VM_iABC, VM_ARG_RK, VM_ARG_RK, false, true, false},
    {"TEST", VM_iABC, VM_ARG_R, VM_ARG_N, true, true, false},
    {"CALL", VM_iABC, VM_ARG_N, VM_ARG_N, false, false, false},
    {"TAILCALL", VM_iABC, VM_ARG_N, VM_ARG_N, false, false, false},
    {"RETURN", VM_iABC, VM_ARG_N, VM_ARG_N, false, false, false},
    {"FORLOOP", VM_iAsBx, VM_ARG_N, VM_ARG_N, false, false, false},
    {"TFORLOOP", VM_iABC, VM_ARG_N, VM_ARG_N, false, true, false},
    {"TFORPREP", VM_iAsBx, VM_ARG_N, VM_ARG_N, false, false, false},
    {"SETLIST", VM_iABx, VM_ARG_N, VM_ARG_N, false, false, false},
    {"SETLISTO", VM_iABx, VM_ARG_N, VM_ARG_N, false, false, false},
    {"CLOSE", VM_iABC, VM_ARG_N, VM_ARG_N, false, false, false},
    {"CLOSURE", VM_iABx, VM_ARG_N, VM_ARG_N, true, false, false},
    {"SELF", VM_iABC, VM_ARG_R, VM_ARG_RK, true, false, false},
};

int VmOpcodeByName(const char* name) {
    for (int i = 0; i < VM_NUM_OPCODES; i++)
        if (CompareNoCase(name, vmOpInfo[i].name) == 0) return i;
    return -1;
}
