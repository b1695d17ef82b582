// Instruction encoding and the opcode table of the register machine.
//
// A 32-bit word: OP bits 0-5, C bits 6-14, B bits 15-23, A bits 24-31; Bx (18 bits) and sBx use
// bits 6-23; JMP uses a 24-bit offset J in bits 6-29 and two flag bits JF in bits 30-31.
#pragma once

#include <cstdint>

typedef uint32_t VmInstruction;

enum VmOpcode {
    OP_MOVE = 0,
    OP_LOADK,
    OP_LOADBOOL,
    OP_LOADNIL,
    OP_GETUPVAL,
    OP_GETGLOBAL,
    OP_GETTABLE,
    OP_SETGLOBAL,
    OP_SETUPVAL,
    OP_SETTABLE,
    OP_NEWTABLE,
    OP_ADD,
    OP_SUB,
    OP_MUL,
    OP_DIV,
    OP_IDIV,
    OP_MOD,
    OP_SHL,
    OP_SHR,
    OP_BOR,
    OP_BAND,
    OP_BXOR,
    OP_POW,
    OP_UNM,
    OP_NOT,
    OP_BNOT,
    OP_CONCAT,
    OP_JMP,
    OP_EQ,
    OP_LT,
    OP_LE,
    OP_TEST,
    OP_CALL,
    OP_TAILCALL,
    OP_RETURN,
    OP_FORLOOP,
    OP_TFORLOOP,
    OP_TFORPREP,
    OP_SETLIST,
    OP_SETLISTO,
    OP_CLOSE,
    OP_CLOSURE,
    OP_SELF,
};
constexpr int VM_NUM_OPCODES = 43;

constexpr int VM_SIZE_OP = 6, VM_SIZE_A = 8, VM_SIZE_B = 9, VM_SIZE_C = 9, VM_SIZE_BX = 18, VM_SIZE_J = 24;
constexpr int VM_POS_OP = 0, VM_POS_C = 6, VM_POS_B = 15, VM_POS_A = 24, VM_POS_BX = 6, VM_POS_J = 6, VM_POS_JF = 30;
constexpr uint32_t VM_MAXARG_A = (1u << VM_SIZE_A) - 1;
constexpr uint32_t VM_MAXARG_B = (1u << VM_SIZE_B) - 1;
constexpr uint32_t VM_MAXARG_C = (1u << VM_SIZE_C) - 1;
constexpr uint32_t VM_MAXARG_BX = (1u << VM_SIZE_BX) - 1;
constexpr int VM_MAXARG_SBX = 0x1FFFF;  // sBx = Bx - 131071
constexpr uint32_t VM_MAXARG_J = (1u << VM_SIZE_J) - 1;
constexpr int VM_J_BIAS = 0x7FFFFF;       // J offset = field - 8388607
constexpr uint32_t VM_JF_PUSHRETURN = 2;  // JF bit pair 10: push a label return address

// RK operands: values of 250 and above name constant (x - 250).
constexpr int VM_RK_CONST = 250;
// Largest register count a function may use.
constexpr int VM_MAXSTACK = 250;
// Items a SETLIST instruction stores at most.
constexpr int VM_FIELDS_PER_FLUSH = 32;

inline int VmGetOp(VmInstruction i) { return (int)(i & 0x3F); }
inline int VmGetA(VmInstruction i) { return (int)(i >> VM_POS_A); }
inline int VmGetB(VmInstruction i) { return (int)((i >> VM_POS_B) & VM_MAXARG_B); }
inline int VmGetC(VmInstruction i) { return (int)((i >> VM_POS_C) & VM_MAXARG_C); }
inline int VmGetBx(VmInstruction i) { return (int)((i >> VM_POS_BX) & VM_MAXARG_BX); }
inline int VmGetSBx(VmInstruction i) { return VmGetBx(i) - VM_MAXARG_SBX; }
inline int VmGetJ(VmInstruction i) { return (int)((i >> VM_POS_J) & VM_MAXARG_J) - VM_J_BIAS; }
inline int VmGetJF(VmInstruction i) { return (int)(i >> VM_POS_JF); }

inline VmInstruction VmCreateABC(int op, int a, int b, int c) {
    return (VmInstruction)op | ((VmInstruction)a << VM_POS_A) | ((VmInstruction)b << VM_POS_B) |
           ((VmInstruction)c << VM_POS_C);
}
inline VmInstruction VmCreateABx(int op, int a, int bx) {
    return (VmInstruction)op | ((VmInstruction)a << VM_POS_A) | ((VmInstruction)bx << VM_POS_BX);
}
inline VmInstruction VmCreateAsBx(int op, int a, int sbx) { return VmCreateABx(op, a, sbx + VM_MAXARG_SBX); }
inline VmInstruction VmCreateJ(int offset, int flags) {
    return (VmInstruction)OP_JMP | ((VmInstruction)(offset + VM_J_BIAS) << VM_POS_J) |
           ((VmInstruction)flags << VM_POS_JF);
}

inline bool VmIsConstant(int rk) { return rk >= VM_RK_CONST; }

// Operand modes.
enum VmOpMode { VM_iABC, VM_iABx, VM_iAsBx, VM_iJ24 };
// Operand kinds of B and C in ABC mode.
enum VmOpArg { VM_ARG_N, VM_ARG_R, VM_ARG_RK };

struct VmOpInfo {
    const char* name;  // upper-case mnemonic
    VmOpMode mode;
    VmOpArg b;
    VmOpArg c;
    bool setsA;       // the instruction writes register A
    bool test;        // a conditional instruction, always followed by a JMP
    bool bxConstant;  // ABx: Bx names a constant
};

extern const VmOpInfo vmOpInfo[VM_NUM_OPCODES];

// Opcode number of an upper- or lower-case mnemonic, -1 when unknown.
int VmOpcodeByName(const char* name);
