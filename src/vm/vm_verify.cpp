// Bytecode verifier: checks that every register, constant, upvalue, nested prototype and jump
// target an instruction names lies inside the prototype, so that the interpreter can run loaded
// code without bounds checks. The same walk, given a register, finds the instruction that last
// wrote it (used to name variables in error messages).
#include <cstdint>

#include "vm/vm_chunk.h"

namespace {

bool CheckRK(const VmProto* p, int x) {
    if (VmIsConstant(x)) return x - VM_RK_CONST < p->sizek;
    return x < p->maxStackSize;
}

bool CheckOperand(const VmProto* p, VmOpArg kind, int x) {
    switch (kind) {
    case VM_ARG_R: return x < p->maxStackSize;
    case VM_ARG_RK: return CheckRK(p, x);
    case VM_ARG_N: return true;
    }
    return false;
}

// Destination of a relative jump taken from the instruction at pc, when it lies inside the code.
bool JumpTarget(const VmProto* p, int pc, int offset, int* dest) {
    int64_t d = (int64_t)pc + 1 + offset;
    if (d < 0 || d >= p->sizecode) return false;
    *dest = (int)d;
    return true;
}

}  // namespace

VmInstruction VmVerifyCode(const VmProto* p, int lastpc, int reg) {
    if (p == nullptr || p->code == nullptr || p->sizecode <= 0) return 0;
    const int maxStack = p->maxStackSize;
    const int sizecode = p->sizecode;
    const VmInstruction* code = p->code;
    if (maxStack > VM_MAXSTACK) return 0;
    // The fixed parameters and the vararg table are stored into the frame's first registers.
    if (p->numparams + (p->isVararg ? 1 : 0) > maxStack) return 0;
    if (p->sizelineinfo != 0 && p->sizelineinfo != sizecode) return 0;
    if (VmGetOp(code[sizecode - 1]) != OP_RETURN) return 0;
    if (lastpc < 0 || lastpc > sizecode) return 0;
    const bool tracing = reg != VM_NO_REG;
    if (tracing && (reg < 0 || reg >= maxStack)) return 0;

    int last = sizecode - 1;
    for (int pc = 0; pc < lastpc; pc++) {
        const VmInstruction i = code[pc];
        const int op = VmGetOp(i);
        // Opcodes beyond the table are not instructions of this machine.
        if (op >= VM_NUM_OPCODES) return 0;
        const VmOpInfo& info = vmOpInfo[op];
        const int a = VmGetA(i);
        int b = 0, c = 0;
        if (op != OP_JMP && a >= maxStack) return 0;
        switch (info.mode) {
        case VM_iABC:
            b = VmGetB(i);
            c = VmGetC(i);
            if (!CheckOperand(p, info.b, b) || !CheckOperand(p, info.c, c)) return 0;
            break;
        case VM_iABx:
            b = VmGetBx(i);
            if (info.bxConstant && b >= p->sizek) return 0;
            break;
        case VM_iAsBx: b = VmGetSBx(i); break;
        case VM_iJ24: b = VmGetJ(i); break;
        }
        if (tracing && info.setsA && a == reg) last = pc;
        if (info.test) {
            if (pc + 2 >= sizecode) return 0;
            if (VmGetOp(code[pc + 1]) != OP_JMP) return 0;
        }
        switch (op) {
        case OP_LOADBOOL:
            if (c != 0 && pc + 2 >= sizecode) return 0;
            break;
        case OP_LOADNIL:
            if (tracing && a <= reg && reg <= b) last = pc;
            break;
        case OP_GETUPVAL:
        case OP_SETUPVAL:
            if (b >= p->nups) return 0;
            break;
        case OP_GETGLOBAL:
        case OP_SETGLOBAL:
            if (p->k[b].tt != VM_TSTRING) return 0;
            break;
        case OP_SELF:
            if (a + 1 >= maxStack) return 0;
            if (tracing && reg == a + 1) last = pc;
            break;
        case OP_CONCAT:
            if (c > VM_RK_CONST - 1 || b >= c) return 0;
            break;
        case OP_JMP: {
            int dest = 0;
            if (!JumpTarget(p, pc, b, &dest)) return 0;
            // While tracing, a forward jump skips the code it jumps over.
            if (tracing && pc < dest && dest <= lastpc) pc = dest - 1;
            break;
        }
        case OP_CALL:
        case OP_TAILCALL: {
            if (b != 0 && a + b - 1 >= maxStack) return 0;
            if (c == 0) {
                // An open result list must be consumed by the next instruction.
                if (pc + 1 >= sizecode) return 0;
                const VmInstruction next = code[pc + 1];
                const int nop = VmGetOp(next);
                const bool takesOpenList =
                    ((nop == OP_CALL || nop == OP_TAILCALL || nop == OP_RETURN) && VmGetB(next) == 0) ||
                    nop == OP_SETLISTO;
                if (!takesOpenList) return 0;
            } else if (c > 1 && a + c - 2 >= maxStack) {
                return 0;
            }
            if (tracing && a <= reg) last = pc;
            break;
        }
        case OP_RETURN:
            // C = 1 is a label return and reads no register; every other RETURN returns
            // R(A) .. R(A+B-2).
            if (c != 1 && b > 1 && a + b - 2 >= maxStack) return 0;
            break;
        case OP_FORLOOP: {
            int dest = 0;
            if (!JumpTarget(p, pc, b, &dest)) return 0;
            if (a + 2 >= maxStack) return 0;  // index, limit and step
            break;
        }
        case OP_TFORPREP: {
            int dest = 0;
            if (!JumpTarget(p, pc, b, &dest)) return 0;
            if (a + 1 >= maxStack) return 0;  // the table moves to R(A+1)
            break;
        }
        case OP_TFORLOOP:
            // The call copies R(A) .. R(A+2) to R(A+C+3) .. R(A+C+5).
            if (a + c + 5 >= maxStack) return 0;
            break;
        case OP_SETLIST:
            if (a + (b & (VM_FIELDS_PER_FLUSH - 1)) + 1 >= maxStack) return 0;
            break;
        case OP_CLOSURE: {
            if (b >= p->sizep || p->p[b] == nullptr) return 0;
            const int nup = p->p[b]->nups;
            if (pc + nup >= sizecode) return 0;
            for (int j = 1; j <= nup; j++) {
                const int pop = VmGetOp(code[pc + j]);
                if (pop != OP_GETUPVAL && pop != OP_MOVE) return 0;
            }
            // The capture pseudo-instructions are checked as ordinary instructions when the
            // whole prototype is verified; they write no register, so tracing skips them.
            if (tracing) pc += nup;
            break;
        }
        default: break;
        }
    }
    return code[last];
}

int VmVerifyProto(const VmProto* p) {
    if (p == nullptr) return 0;
    return VmVerifyCode(p, p->sizecode, VM_NO_REG) != 0;
}
