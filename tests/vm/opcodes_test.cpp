#include <gtest/gtest.h>

#include "vm/vm_opcodes.h"

namespace opcodes_test {

TEST(Opcodes, FieldsRoundTrip) {
    VmInstruction i = VmCreateABC(OP_ADD, 200, 511, 250);
    EXPECT_EQ(VmGetOp(i), OP_ADD);
    EXPECT_EQ(VmGetA(i), 200);
    EXPECT_EQ(VmGetB(i), 511);
    EXPECT_EQ(VmGetC(i), 250);
    VmInstruction f = VmCreateAsBx(OP_FORLOOP, 3, -5);
    EXPECT_EQ(VmGetSBx(f), -5);
    EXPECT_EQ(VmGetA(f), 3);
    VmInstruction j = VmCreateJ(-8388607, VM_JF_PUSHRETURN);
    EXPECT_EQ(VmGetOp(j), OP_JMP);
    EXPECT_EQ(VmGetJ(j), -8388607);
    EXPECT_EQ(VmGetJF(j), 2);
}

TEST(Opcodes, NamesAndModes) {
    EXPECT_EQ(VmOpcodeByName("self"), OP_SELF);
    EXPECT_EQ(VmOpcodeByName("SELF"), 42);
    EXPECT_EQ(VmOpcodeByName("nope"), -1);
    EXPECT_EQ(vmOpInfo[OP_JMP].mode, VM_iJ24);
    EXPECT_TRUE(vmOpInfo[OP_TEST].test && vmOpInfo[OP_TEST].setsA);
    EXPECT_TRUE(vmOpInfo[OP_GETGLOBAL].bxConstant);
    EXPECT_FALSE(vmOpInfo[OP_CLOSURE].bxConstant);
}

}  // namespace opcodes_test
