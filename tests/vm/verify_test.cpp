// The bytecode verifier on prototypes built by hand: every rule as a table of accepted and rejected
// code, and the "last writer of a register" query used to name variables.
#include <gtest/gtest.h>

#include <vector>

#include "vm/vm_chunk.h"

namespace verify_test {

namespace {

VmInstruction ABC(int op, int a, int b, int c) { return VmCreateABC(op, a, b, c); }
VmInstruction ABx(int op, int a, int bx) { return VmCreateABx(op, a, bx); }
VmInstruction AsBx(int op, int a, int sbx) { return VmCreateAsBx(op, a, sbx); }
VmInstruction Jmp(int offset) { return VmCreateJ(offset, 0); }
const VmInstruction kReturn = VmCreateABC(OP_RETURN, 0, 1, 0);

// A prototype with 10 registers, 2 upvalues, constants {1, "x"} and one nested prototype that
// captures one upvalue.
struct ProtoFixture {
    std::vector<VmInstruction> code;
    std::vector<int> lines;
    VmValue k[2];
    VmString name{};
    VmProto child{};
    VmProto* children[1] = {&child};
    VmProto p{};

    explicit ProtoFixture(std::vector<VmInstruction> c) : code(std::move(c)) {
        VmSetValueNumber(&k[0], 1);
        name.tt = VM_TSTRING;
        VmSetValueString(&k[1], &name);
        child.nups = 1;
        p.maxStackSize = 10;
        p.nups = 2;
        p.k = k;
        p.sizek = 2;
        p.p = children;
        p.sizep = 1;
    }
    VmProto* Proto() {
        p.code = code.data();
        p.sizecode = (int)code.size();
        p.lineinfo = lines.empty() ? nullptr : lines.data();
        p.sizelineinfo = (int)lines.size();
        return &p;
    }
};

struct VerifyCase {
    const char* what;
    std::vector<VmInstruction> code;  // a final RETURN is appended
    bool accepted;
};

TEST(Verifier, InstructionRules) {
    const VerifyCase cases[] = {
        {"plain move", {ABC(OP_MOVE, 0, 9, 0)}, true},
        {"A beyond the registers", {ABC(OP_MOVE, 10, 0, 0)}, false},
        {"register B beyond the registers", {ABC(OP_MOVE, 0, 10, 0)}, false},
        {"RK constants in range", {ABC(OP_ADD, 0, 250, 251)}, true},
        {"RK constant out of range", {ABC(OP_ADD, 0, 250, 252)}, false},
        {"RK register out of range", {ABC(OP_SUB, 0, 10, 0)}, false},
        {"RK register B in SETTABLE", {ABC(OP_SETTABLE, 0, 9, 251)}, true},
        {"LOADK constant in range", {ABx(OP_LOADK, 0, 1)}, true},
        {"LOADK constant out of range", {ABx(OP_LOADK, 0, 2)}, false},
        {"EQ followed by JMP", {ABC(OP_EQ, 1, 0, 250), Jmp(0)}, true},
        {"EQ not followed by JMP", {ABC(OP_EQ, 1, 0, 250), ABC(OP_MOVE, 0, 1, 0)}, false},
        {"test right before the final RETURN", {ABC(OP_TEST, 0, 1, 0)}, false},
        {"LOADBOOL skip inside the code", {ABC(OP_LOADBOOL, 0, 1, 1), ABC(OP_MOVE, 0, 1, 0)}, true},
        {"LOADBOOL skip past the end", {ABC(OP_LOADBOOL, 0, 1, 1)}, false},
        {"GETUPVAL in range", {ABC(OP_GETUPVAL, 0, 1, 0)}, true},
        {"GETUPVAL out of range", {ABC(OP_GETUPVAL, 0, 2, 0)}, false},
        {"SETUPVAL out of range", {ABC(OP_SETUPVAL, 0, 2, 0)}, false},
        {"GETGLOBAL of a string", {ABx(OP_GETGLOBAL, 0, 1)}, true},
        {"GETGLOBAL of a number", {ABx(OP_GETGLOBAL, 0, 0)}, false},
        {"SETGLOBAL of a number", {ABx(OP_SETGLOBAL, 0, 0)}, false},
        {"SELF with room for A+1", {ABC(OP_SELF, 8, 0, 251)}, true},
        {"SELF without room for A+1", {ABC(OP_SELF, 9, 0, 251)}, false},
        {"CONCAT of a range", {ABC(OP_CONCAT, 0, 1, 2)}, true},
        {"CONCAT with B not below C", {ABC(OP_CONCAT, 0, 2, 2)}, false},
        {"CONCAT with a constant C", {ABC(OP_CONCAT, 0, 1, 250)}, false},
        {"JMP to the last instruction", {Jmp(0)}, true},
        {"JMP back to the start", {ABC(OP_MOVE, 0, 1, 0), Jmp(-2)}, true},
        {"JMP before the code", {Jmp(-2)}, false},
        {"JMP past the code", {Jmp(1)}, false},
        {"CALL with arguments in range", {ABC(OP_CALL, 5, 5, 1)}, true},
        {"CALL with arguments out of range", {ABC(OP_CALL, 5, 6, 1)}, false},
        {"CALL with results in range", {ABC(OP_CALL, 5, 1, 6)}, true},
        {"CALL with results out of range", {ABC(OP_CALL, 5, 1, 7)}, false},
        {"open results into MOVE", {ABC(OP_CALL, 0, 1, 0), ABC(OP_MOVE, 0, 1, 0)}, false},
        {"open results into SETLISTO", {ABC(OP_CALL, 1, 1, 0), ABx(OP_SETLISTO, 0, 0)}, true},
        {"open results into CALL B=0", {ABC(OP_CALL, 1, 1, 0), ABC(OP_CALL, 0, 0, 1)}, true},
        {"open results into TAILCALL B=1", {ABC(OP_TAILCALL, 1, 1, 0), ABC(OP_TAILCALL, 0, 1, 1)}, false},
        {"open results into RETURN B=0", {ABC(OP_CALL, 1, 1, 0), ABC(OP_RETURN, 1, 0, 0)}, true},
        {"RETURN of values in range", {ABC(OP_RETURN, 5, 6, 0)}, true},
        {"RETURN of values out of range", {ABC(OP_RETURN, 5, 7, 0)}, false},
        {"label RETURN reads no register", {ABC(OP_RETURN, 5, 7, 1)}, true},
        {"RETURN with C=2 out of range", {ABC(OP_RETURN, 5, 7, 2)}, false},
        {"SETLIST in range", {ABx(OP_SETLIST, 5, 3)}, true},
        {"SETLIST counts only the low 5 bits", {ABx(OP_SETLIST, 5, 35)}, true},
        {"SETLIST out of range", {ABx(OP_SETLIST, 5, 4)}, false},
        {"CLOSURE with its capture", {ABx(OP_CLOSURE, 0, 0), ABC(OP_MOVE, 0, 1, 0)}, true},
        {"CLOSURE capturing an upvalue", {ABx(OP_CLOSURE, 0, 0), ABC(OP_GETUPVAL, 0, 1, 0)}, true},
        {"CLOSURE of a missing prototype", {ABx(OP_CLOSURE, 0, 1), ABC(OP_MOVE, 0, 1, 0)}, false},
        {"CLOSURE capture of the wrong kind", {ABx(OP_CLOSURE, 0, 0), ABx(OP_LOADK, 0, 0)}, false},
        {"CLOSURE without its capture", {ABx(OP_CLOSURE, 0, 0)}, false},
        {"CLOSURE capture of a bad upvalue", {ABx(OP_CLOSURE, 0, 0), ABC(OP_GETUPVAL, 0, 2, 0)}, false},
        {"CLOSURE capture of a bad register", {ABx(OP_CLOSURE, 0, 0), ABC(OP_MOVE, 0, 10, 0)}, false},
        // Faults mended beyond the basic rules: loop jumps, loop registers and unknown opcodes.
        {"FORLOOP back inside the code", {ABC(OP_MOVE, 0, 1, 0), AsBx(OP_FORLOOP, 0, -2)}, true},
        {"FORLOOP jump before the code", {AsBx(OP_FORLOOP, 0, -2)}, false},
        {"FORLOOP jump past the code", {AsBx(OP_FORLOOP, 0, 5)}, false},
        {"FORLOOP step register out of range", {AsBx(OP_FORLOOP, 8, 0)}, false},
        {"TFORPREP inside the code", {AsBx(OP_TFORPREP, 0, 0)}, true},
        {"TFORPREP jump past the code", {AsBx(OP_TFORPREP, 0, 100000)}, false},
        {"TFORPREP table register out of range", {AsBx(OP_TFORPREP, 9, 0)}, false},
        {"TFORLOOP registers in range", {ABC(OP_TFORLOOP, 0, 0, 4), Jmp(0)}, true},
        {"TFORLOOP registers out of range", {ABC(OP_TFORLOOP, 0, 0, 5), Jmp(0)}, false},
        {"opcode 43", {(VmInstruction)43}, false},
        {"opcode 63", {(VmInstruction)63}, false},
    };
    for (const VerifyCase& c : cases) {
        std::vector<VmInstruction> code = c.code;
        code.push_back(kReturn);
        ProtoFixture f(code);
        EXPECT_EQ(VmVerifyProto(f.Proto()) != 0, c.accepted) << c.what;
    }
}

TEST(Verifier, PrototypeRules) {
    {
        ProtoFixture f({kReturn});
        EXPECT_TRUE(VmVerifyProto(f.Proto()));
        f.p.maxStackSize = 250;
        EXPECT_TRUE(VmVerifyProto(f.Proto()));
        f.p.maxStackSize = 251;
        EXPECT_FALSE(VmVerifyProto(f.Proto())) << "more than 250 registers";
    }
    {
        ProtoFixture f({ABC(OP_MOVE, 0, 1, 0)});
        EXPECT_FALSE(VmVerifyProto(f.Proto())) << "last instruction not RETURN";
    }
    {
        ProtoFixture f({});
        EXPECT_FALSE(VmVerifyProto(f.Proto())) << "no code";
    }
    {
        ProtoFixture f({ABC(OP_MOVE, 0, 1, 0), kReturn});
        f.lines = {1, 2};
        EXPECT_TRUE(VmVerifyProto(f.Proto()));
        f.lines = {1};
        EXPECT_FALSE(VmVerifyProto(f.Proto())) << "line info shorter than the code";
    }
    {
        // Parameters and the vararg table must fit the frame.
        ProtoFixture f({kReturn});
        f.p.maxStackSize = 3;
        f.p.numparams = 3;
        EXPECT_TRUE(VmVerifyProto(f.Proto()));
        f.p.isVararg = 1;
        EXPECT_FALSE(VmVerifyProto(f.Proto()));
    }
    {
        // JMP's A bits belong to its offset and are no register.
        ProtoFixture f({ABC(OP_MOVE, 0, 1, 0), ABC(OP_MOVE, 0, 1, 0), Jmp(0), kReturn});
        f.p.maxStackSize = 2;
        ASSERT_GE(VmGetA(f.code[2]), 2);
        EXPECT_TRUE(VmVerifyProto(f.Proto()));
    }
}

TEST(Verifier, LastWriterOfARegister) {
    ProtoFixture f({
        ABx(OP_GETGLOBAL, 3, 1),   // 0: R3 := G["x"]
        ABC(OP_MOVE, 4, 3, 0),     // 1: R4 := R3
        ABC(OP_LOADNIL, 5, 7, 0),  // 2: R5 .. R7 := nil
        ABC(OP_SELF, 1, 3, 251),   // 3: R2 := R3, R1 := R3["x"]
        Jmp(1),                    // 4: over 5
        ABx(OP_LOADK, 6, 0),       // 5: skipped while tracing
        ABx(OP_CLOSURE, 8, 0),     // 6: R8 := closure
        ABC(OP_MOVE, 0, 4, 0),     // 7: capture of R4 (writes nothing)
        ABC(OP_CALL, 4, 1, 2),     // 8: R4 := R4()
        kReturn,                   // 9
    });
    VmProto* p = f.Proto();
    struct Query {
        int lastpc, reg, writer;  // writer -1: none (the final RETURN)
    } queries[] = {
        {1, 3, 0},   {2, 4, 1},  {3, 6, 2}, {3, 8, -1},
        {4, 2, 3},   {4, 1, 3},  {8, 6, 2},  // the LOADK at 5 is jumped over
        {8, 8, 6},   {8, 0, -1},             // the capture MOVE is no write of R0
        {10, 4, 8},  {10, 7, 8},             // CALL writes A and everything above
        {10, 0, -1}, {8, 4, 1},
    };
    for (const Query& q : queries) {
        VmInstruction expected = q.writer < 0 ? kReturn : f.code[(size_t)q.writer];
        EXPECT_EQ(VmVerifyCode(p, q.lastpc, q.reg), expected) << "lastpc " << q.lastpc << " reg " << q.reg;
    }
    EXPECT_EQ(VmVerifyCode(p, 10, 10), 0u) << "register beyond the frame";
    EXPECT_EQ(VmVerifyCode(p, 11, 0), 0u) << "last pc beyond the code";
}

}  // namespace

}  // namespace verify_test
