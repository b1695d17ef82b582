#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/error_arg.h"
#include "vm/vm_exec.h"
#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm/vm_value.h"
#include "vm_script_util.h"
#include "vm_test_util.h"

namespace interp_test {

// ---------------------------------------------------------------------------------------------
// Globals the test scripts use

static int Echo(VmState* L) { return VmGetTop(L); }

static int SetMt(VmState* L) {
    VmSetTop(L, 2);
    VmSetMetatable(L, 1);
    VmSetTop(L, 1);
    return 1;
}

static int Next(VmState* L) {
    VmSetTop(L, 2);
    if (VmNext(L, 1)) return 2;
    VmPushNil(L);
    return 1;
}

// Returns its first argument as the handler result.
static int Fail(VmState* L) { return (int)VmToNumber(L, 1); }

// Pushes one value and claims five results.
static int ClaimFive(VmState* L) {
    VmPushNumber(L, 9);
    return 5;
}

// Returns the string upvalue it was made with: the event handler used for every event.
static int EventName(VmState* L) {
    VmPushValue(L, VmUpvalueIndex(1));
    return 1;
}

static int Quit(VmState*) {
    vmRuntime.quitFlag.store(1);
    return 0;
}

// Label commands: "gosub" and "goto" jump to the label index given as argument (-1 pushes the
// return address after the call, -2 the one before it).
static int Gosub(VmState* L) {
    VmSetLabelJump(L->g, VmDoubleToInt32(VmToNumber(L, 1)));
    return -1;
}
static int GosubRetry(VmState* L) {
    VmSetLabelJump(L->g, VmDoubleToInt32(VmToNumber(L, 1)));
    return -2;
}

// Calls its first argument (a function) with the rest from C.
static int CallFromC(VmState* L) {
    VmCall(L, VmGetTop(L) - 1, VM_MULTRET);
    return VmGetTop(L);
}

static void SetGlobalFunction(VmState* L, const char* name, VmCFunction f) {
    VmPushString(L, name);
    VmPushCFunction(L, f);
    VmSetTable(L, VM_GLOBALSINDEX);
}

struct OpCase {
    const char* name;
    std::string body;
    std::string expected;  // rendered results, or "" when error is set
    int error = 0;
};

class Interp : public ::testing::Test {
protected:
    void SetUp() override {
        VmResetRuntimeLink();
        L = VmOpen();
        SetGlobalFunction(L, "echo", Echo);
        SetGlobalFunction(L, "setmt", SetMt);
        SetGlobalFunction(L, "next", Next);
        SetGlobalFunction(L, "fail", Fail);
        SetGlobalFunction(L, "claimfive", ClaimFive);
        SetGlobalFunction(L, "quit", Quit);
        SetGlobalFunction(L, "gosub", Gosub);
        SetGlobalFunction(L, "gosubretry", GosubRetry);
        SetGlobalFunction(L, "callfromc", CallFromC);
        VmPushString(L, "falsev");
        VmPushBoolean(L, 0);
        VmSetTable(L, VM_GLOBALSINDEX);
        VmPushString(L, "truev");
        VmPushBoolean(L, 1);
        VmSetTable(L, VM_GLOBALSINDEX);
        // "mt": a metatable with a handler for every event but "__gc" and "__mode"; each
        // handler returns its event name.
        VmPushString(L, "mt");
        VmNewTable(L);
        for (const char* ev : {"__index",  "__newindex", "__eq",  "__add", "__sub", "__mul",    "__div",
                               "__divint", "__mod",      "__lsh", "__rsh", "__or",  "__and",    "__xor",
                               "__pow",    "__unm",      "__not", "__lt",  "__le",  "__concat", "__call"}) {
            VmPushString(L, ev);
            VmPushString(L, ev);
            VmPushCClosure(L, EventName, 1);
            VmSetTable(L, -3);
        }
        VmSetTable(L, VM_GLOBALSINDEX);
    }
    void TearDown() override {
        VmClose(L);
        VmResetRuntimeLink();
    }
    std::string Run(const std::string& body, int* status = nullptr) {
        std::string out;
        int s = RunAsm(L, MainFunction(body), &out);
        if (status)
            *status = s;
        else
            EXPECT_EQ(s, 0) << body;
        return out;
    }
    // Runs each case's body and checks its status and, when it succeeds, its rendered results.
    void ExpectCases(const std::vector<OpCase>& cases) {
        for (const OpCase& c : cases) {
            int status = -1;
            std::string out = Run(c.body, &status);
            EXPECT_EQ(status, c.error) << c.name;
            if (c.error == 0) {
                EXPECT_EQ(out, c.expected) << c.name;
            }
        }
    }
    VmState* L = nullptr;
};

// A comparison program: returns 1 when "OP A B C" takes its jump, 0 when it skips it.
static std::string Compare(const std::string& setup, const std::string& op) {
    return setup + "\n" + op + "\nJMP yes\nLOADK r0 0\nRETURN r0 2\nyes: LOADK r0 1\nRETURN r0 2";
}

TEST_F(Interp, OpcodeTable) {
    const std::string nilv = "LOADNIL r1 r1";
    std::vector<OpCase> cases = {
        {"move/loadk", "LOADK r0 5\nMOVE r1 r0\nRETURN r1 2", "5"},
        {"loadbool is a number", "LOADBOOL r0 1 0\nRETURN r0 2", "1"},
        {"loadbool skips", "LOADBOOL r0 0 1\nLOADK r0 9\nRETURN r0 2", "0"},
        {"loadnil range", "LOADK r0 1\nLOADK r1 2\nLOADK r2 3\nLOADNIL r0 r1\nRETURN r0 4", "nil,nil,3"},
        {"absent global is nil", "GETGLOBAL r0 \"nothere\"\nRETURN r0 2", "nil"},
        {"setglobal/getglobal", "LOADK r0 7\nSETGLOBAL r0 \"g\"\nGETGLOBAL r1 \"g\"\nRETURN r1 2", "7"},
        {"settable/gettable",
         "NEWTABLE r0 0 0\nSETTABLE r0 \"x\" 5\nSETTABLE r0 1 6\nGETTABLE r1 r0 \"x\"\n"
         "GETTABLE r2 r0 1\nRETURN r1 3",
         "5,6"},
        {"nil key is key 0", "NEWTABLE r0 0 0\nSETTABLE r0 r1 5\nGETTABLE r1 r0 0\nRETURN r1 2", "5"},
        {"absent string field", "NEWTABLE r0 0 0\nGETTABLE r1 r0 \"missing\"\nRETURN r1 2", "", ERR_FIELDINIT},
        {"nan key store", "NEWTABLE r0 0 0\nLOADK r1 nan\nSETTABLE r0 r1 1\nRETURN r0 1", "", ERR_TABLEINDEX},
        {"index a number", "LOADK r0 1\nGETTABLE r1 r0 \"x\"\nRETURN r1 2", "", ERR_TABLEDECLA},
        {"assign into a number", "LOADK r0 1\nSETTABLE r0 \"x\" 1\nRETURN r0 1", "", ERR_TABLEDECLA},
        {"newtable sizes", "NEWTABLE r0 0x13 2\nSETLIST r0 0\nRETURN r0 2", "table"},
        {"newtable overflow", "NEWTABLE r0 0x1FF 0\nRETURN r0 2", "", ERR_TABLEOVERFLOW},
        {"newtable hash overflow", "NEWTABLE r0 0 25\nRETURN r0 2", "", ERR_TABLEOVERFLOW},
        {"add sub mul", "LOADK r0 7\nADD r1 r0 2\nSUB r2 r0 10\nMUL r3 r0 0.5\nRETURN r1 4", "9,-3,3.5"},
        {"div pow", "DIV r0 7 2\nPOW r1 2 10\nRETURN r0 3", "3.5,1024"},
        {"string operands convert", "LOADK r0 \"10\"\nADD r1 r0 \"0x10\"\nUNM r2 r0\nRETURN r1 3", "26,-10"},
        {"div by zero", "DIV r0 1 0\nRETURN r0 2", "", ERR_ZERODIVISION},
        {"idiv/mod truncate", "IDIV r0 -7 2\nMOD r1 -7 2\nMOD r2 7 -2\nRETURN r0 4", "-3,-1,1"},
        {"idiv by zero", "IDIV r0 1 0\nRETURN r0 2", "", ERR_ZERODIVISION},
        {"mod by zero", "MOD r0 1 0.5\nRETURN r0 2", "", ERR_ZERODIVISION},
        {"divisor -1", "IDIV r0 -2147483648 -1\nMOD r1 -2147483648 -1\nIDIV r2 5 -1\nRETURN r0 4", "-2147483648,0,-5"},
        {"nan and huge to integers", "IDIV r0 nan 1\nIDIV r1 1e300 1\nBOR r2 -1 0\nBOR r3 1e300 0\nRETURN r0 5",
         "-2147483648,2147483647,4294967295,4294967295"},
        {"shifts",
         "SHL r0 1 32\nSHR r1 -1 28\nSHL r2 1 31\nSHL r3 1 63\nSHL r4 1 64\nSHR r5 0x80000000 31\n"
         "RETURN r0 7",
         "0,15,2147483648,0,1,1"},
        {"bit ops", "BOR r0 12 3\nBAND r1 12 6\nBXOR r2 12 6\nLOADK r4 0\nBNOT r3 r4\nRETURN r0 5",
         "15,4,10,4294967295"},
        {"wrong operand", "NEWTABLE r0 0 0\nADD r1 r0 1\nRETURN r1 2", "", ERR_WRONGOP},
        {"non-numeric string", "ADD r1 \"abc\" 1\nRETURN r1 2", "", ERR_WRONGOP},
        {"not",
         "LOADK r0 0\nNOT r1 r0\nLOADK r0 \"\"\nNOT r2 r0\nLOADK r0 \"a\"\nNOT r3 r0\nNOT r4 r5\n"
         "RETURN r1 5",
         "1,1,0,1"},
        {"concat", "LOADK r0 \"a\"\nLOADK r1 1.5\nLOADK r2 \"b\"\nCONCAT r3 r0 r2\nRETURN r3 2", "\"a1.5b\""},
        {"concat empty right", "LOADK r0 12\nLOADK r1 \"\"\nCONCAT r2 r0 r1\nRETURN r2 2", "\"12\""},
        {"concat table", "NEWTABLE r0 0 0\nLOADK r1 \"x\"\nCONCAT r2 r0 r1\nRETURN r2 2", "", ERR_CONCAT},
        {"concat many numbers",
         "LOADK r0 1\nLOADK r1 -2\nLOADK r2 0.5\nLOADK r3 4\nLOADK r4 1e20\nLOADK r5 6\n"
         "LOADK r6 7\nLOADK r7 8\nLOADK r8 \"|\"\nLOADK r9 10\nLOADK r10 11\nCONCAT r11 r0 r10\n"
         "RETURN r11 2",
         "\"1-20.541e+20678|1011\""},
        {"concat long result is the interned string",
         Compare("LOADK r0 \"" + std::string(300, 'x') + "\"\nLOADK r1 7\nCONCAT r2 r0 r1",
                 "EQ 1 r2 \"" + std::string(300, 'x') + "7\""),
         "1"},
        {"jmp", "LOADK r0 1\nJMP +1\nLOADK r0 2\nRETURN r0 2", "1"},
        {"eq nil 0", Compare("LOADK r0 0", "EQ 1 r1 r0"), "1"},
        {"eq nil empty", Compare("LOADK r0 \"\"", "EQ 1 r1 r0"), "1"},
        {"eq 0 nil", Compare("LOADK r0 0", "EQ 1 r0 r1"), "1"},
        {"eq nil false", Compare("GETGLOBAL r0 \"falsev\"", "EQ 1 r1 r0"), "0"},
        {"eq 1 '1'", Compare("LOADK r0 1", "EQ 1 r0 \"1\""), "", ERR_NUMSTRCMP},
        {"eq table 1", Compare("NEWTABLE r0 0 0", "EQ 1 r0 1"), "", ERR_WRONGOP},
        {"eq loadbool 1", Compare("LOADBOOL r0 1 0", "EQ 1 r0 1"), "1"},
        {"eq strings", Compare("LOADK r0 \"ab\"", "EQ 1 r0 \"ab\""), "1"},
        {"eq expect false", Compare("LOADK r0 2", "EQ 0 r0 3"), "1"},
        {"lt nil 1", Compare("", "LT 1 r1 1"), "1"},
        {"lt nil -1", Compare("", "LT 1 r1 -1"), "0"},
        {"lt string nil", Compare("LOADK r0 \"s\"", "LT 1 r0 r1"), "0"},
        {"lt nil table", Compare("NEWTABLE r0 0 0", "LT 1 r1 r0"), "", ERR_WRONGOP},
        {"lt case-sensitive", Compare("LOADK r0 \"B\"", "LT 1 r0 \"a\""), "1"},
        {"lt across nul", Compare("LOADK r0 \"a\\0b\"", "LT 1 r0 \"a\\0c\""), "1"},
        {"lt prefix", Compare("LOADK r0 \"ab\"", "LT 1 r0 \"abc\""), "1"},
        {"lt mixed", Compare("LOADK r0 1", "LT 1 r0 \"2\""), "", ERR_NUMSTRCMP},
        {"le nil string", Compare("LOADK r0 \"x\"", "LE 1 r1 r0"), "0"},
        {"le nil nil", Compare("", "LE 1 r1 r2"), "1"},
        {"le nil 0", Compare("", "LE 1 r1 0"), "1"},
        {"le numbers", Compare("LOADK r0 3", "LE 1 r0 3"), "1"},
        {"test copies on jump", "LOADK r1 5\nTEST r0 r1 1\nJMP +1\nRETURN r1 1\nRETURN r0 2", "5"},
        {"test false skips", "LOADK r1 0\nLOADK r0 9\nTEST r0 r1 1\nJMP +1\nRETURN r0 2\nRETURN r1 1", "9"},
        {"forloop sums",
         "LOADK r0 0\nLOADK r1 1\nLOADK r2 \"10\"\nLOADK r3 1\nSUB r1 r1 r3\nJMP test\n"
         "body: ADD r0 r0 r1\ntest: FORLOOP r1 body\nRETURN r0 3",
         "55,10"},
        {"forloop down",
         "LOADK r0 0\nLOADK r1 11\nLOADK r2 1\nLOADK r3 -2\nJMP test\n"
         "body: ADD r0 r0 r1\ntest: FORLOOP r1 body\nRETURN r0 2",
         "25"},
        {"forloop bad index", "LOADK r1 \"1\"\nLOADK r2 2\nLOADK r3 1\nFORLOOP r1 +0\nRETURN r0 1", "",
         ERR_VALUEEXPECTED},
        {"forloop bad limit", "LOADK r1 1\nNEWTABLE r2 0 0\nLOADK r3 1\nFORLOOP r1 +0\nRETURN r0 1", "",
         ERR_VALUEEXPECTED},
        {"list constructor keys from 0",
         "NEWTABLE r0 0 0\nLOADK r1 \"a\"\nLOADK r2 \"b\"\nSETLIST r0 1\n"
         "GETTABLE r3 r0 0\nGETTABLE r4 r0 1\nRETURN r3 3",
         "\"a\",\"b\""},
        {"setlist second flush", "NEWTABLE r0 0 0\nLOADK r1 \"z\"\nSETLIST r0 32\nGETTABLE r2 r0 32\nRETURN r2 2",
         "\"z\""},
        {"setlisto open list",
         "NEWTABLE r0 0 0\nGETGLOBAL r1 \"echo\"\nLOADK r2 4\nLOADK r3 5\nCALL r1 3 0\n"
         "SETLISTO r0 0\nGETTABLE r1 r0 1\nRETURN r1 2",
         "5"},
        {"setlist on non-table", "LOADK r0 1\nSETLIST r0 0\nRETURN r0 1", "", ERR_BADBYTECODE},
        {"self",
         "NEWTABLE r0 0 0\nGETGLOBAL r1 \"echo\"\nSETTABLE r0 \"m\" r1\nLOADK r3 3\nSELF r1 r0 \"m\"\n"
         "MOVE r3 r3\nLOADK r3 3\nCALL r1 3 0\nRETURN r1 0",
         "table,3"},
        {"self absent method is nil then call fails",
         "NEWTABLE r0 0 0\nSELF r1 r0 \"nomethod\"\nCALL r1 2 1\n"
         "RETURN r0 1",
         "", ERR_FUNCDECLA},
        {"call non-function", "LOADK r0 1\nCALL r0 1 1\nRETURN r0 1", "", ERR_FUNCDECLA},
        {"call wanted results padded", "GETGLOBAL r0 \"echo\"\nLOADK r1 1\nCALL r0 2 4\nRETURN r0 4", "1,nil,nil"},
        {"return all from open call", "GETGLOBAL r0 \"echo\"\nLOADK r1 1\nLOADK r2 2\nCALL r0 3 0\nRETURN r0 0", "1,2"},
        {"handler error code", "GETGLOBAL r0 \"fail\"\nLOADK r1 1089\nCALL r0 2 1\nRETURN r0 1", "", ERR_ZERODIVISION},
        {"handler claims more than it pushed", "GETGLOBAL r0 \"claimfive\"\nCALL r0 1 0\nRETURN r0 0", "9"},
        {"handler claims more, fixed count", "GETGLOBAL r0 \"claimfive\"\nCALL r0 1 3\nRETURN r0 3", "9,nil"},
        {"handler result beyond 999", "GETGLOBAL r0 \"fail\"\nLOADK r1 1000\nCALL r0 2 1\nRETURN r0 1", "", ERR_MEM},
    };
    ExpectCases(cases);
}

// Script-to-script calls and returns, and table keys at the edges of the array part: the paths
// the interpreter takes without the general call and lookup functions.
TEST_F(Interp, ScriptResultsAndTableKeys) {
    std::vector<OpCase> cases = {
        {"results padded with nil",
         "CLOSURE r0 one\nCALL r0 1 4\nRETURN r0 4\n"
         ".function one\nLOADK r0 1\nRETURN r0 2\n.end",
         "1,nil,nil"},
        {"extra results dropped",
         "CLOSURE r0 three\nCALL r0 1 2\nRETURN r0 2\n"
         ".function three\nLOADK r0 1\nLOADK r1 2\nLOADK r2 3\nRETURN r0 4\n.end",
         "1"},
        {"no result wanted",
         "LOADK r0 7\nCLOSURE r1 one\nCALL r1 1 1\nRETURN r0 3\n"
         ".function one\nLOADK r0 1\nRETURN r0 2\n.end",
         "7,function"},
        {"as many results as wanted",
         "CLOSURE r0 two\nCALL r0 1 3\nRETURN r0 3\n"
         ".function two\nLOADK r0 1\nLOADK r1 2\nRETURN r0 3\n.end",
         "1,2"},
        {"none returned, none wanted",
         "LOADK r0 7\nCLOSURE r1 none\nCALL r1 1 1\nRETURN r0 2\n"
         ".function none\nLOADK r0 9\nRETURN r0 1\n.end",
         "7"},
        {"cells captured below, at and above the newest open cell",
         "LOADK r0 1\nLOADK r1 2\nCLOSURE r2 one\nMOVE r0 r1\nCLOSURE r3 both\nMOVE r0 r0\nMOVE r0 r1\n"
         "LOADK r0 10\nLOADK r1 20\nCALL r3 1 2\nLOADK r1 30\nMOVE r4 r2\nCALL r4 1 2\nRETURN r3 3\n"
         ".function one\n.upvalues 1\nGETUPVAL r0 u0\nRETURN r0 2\n.end\n"
         ".function both\n.upvalues 2\nGETUPVAL r0 u0\nGETUPVAL r1 u1\nADD r0 r0 r1\nRETURN r0 2\n.end",
         "30,30"},
        {"open results through two frames",
         "CLOSURE r0 f\nLOADK r1 5\nCALL r0 2 0\nRETURN r0 0\n"
         ".function f\n.params 1\nGETGLOBAL r1 \"echo\"\nMOVE r2 r0\n"
         "LOADK r3 6\nCALL r1 3 0\nRETURN r1 0\n.end",
         "5,6"},
        {"array edges",
         "NEWTABLE r0 4 0\nSETTABLE r0 1 \"a\"\nSETTABLE r0 4 \"d\"\nSETTABLE r0 5 \"e\"\n"
         "SETTABLE r0 1.5 \"h\"\nSETTABLE r0 -1 \"m\"\nSETTABLE r0 0 \"z\"\nSETTABLE r0 1 \"A\"\n"
         "LOADK r6 -0\nGETTABLE r1 r0 1\nGETTABLE r2 r0 4\nGETTABLE r3 r0 5\n"
         "GETTABLE r4 r0 1.5\nGETTABLE r5 r0 -1\nGETTABLE r6 r0 r6\nRETURN r1 7",
         "\"A\",\"d\",\"e\",\"h\",\"m\",\"z\""},
        {"absent array slot", "NEWTABLE r0 4 0\nGETTABLE r1 r0 2\nRETURN r1 2", "", ERR_FIELDINIT},
        {"existing field stored past the newindex handler",
         "NEWTABLE r0 0 0\nSETTABLE r0 \"x\" 1\nGETGLOBAL r1 \"setmt\"\nMOVE r2 r0\nGETGLOBAL r3 \"mt\"\n"
         "CALL r1 3 1\nSETTABLE r0 \"x\" 2\nSETTABLE r0 \"y\" 3\nGETTABLE r1 r0 \"x\"\nGETTABLE r2 r0 \"y\"\n"
         "RETURN r1 3",
         "2,\"__index\""},
    };
    ExpectCases(cases);
}

// Calls, returns and numeric loops next to the conditions under which the interpreter takes
// its short paths for them: argument and result counts, frame and stack growth, and loop
// registers that the body changes.
TEST_F(Interp, CallsReturnsAndLoopsAtTheirEdges) {
    std::vector<OpCase> cases = {
        {"missing arguments are nil",
         "CLOSURE r0 f\nLOADK r1 1\nCALL r0 2 4\nRETURN r0 4\n"
         ".function f\n.params 3\nRETURN r0 4\n.end",
         "1,nil,nil"},
        {"one result wanted, none returned",
         "LOADK r0 7\nCLOSURE r1 none\nCALL r1 1 2\nRETURN r0 3\n"
         ".function none\nRETURN r0 1\n.end",
         "7,nil"},
        {"recursion past the first frames and stack",
         "CLOSURE r0 sum\nSETGLOBAL r0 \"sum\"\nLOADK r1 300\nCALL r0 2 2\nRETURN r0 2\n"
         ".function sum\n.params 1\nEQ 1 r0 0\nJMP zero\nGETGLOBAL r1 \"sum\"\nSUB r2 r0 1\n"
         "CALL r1 2 2\nADD r1 r0 r1\nRETURN r1 2\nzero: LOADK r1 0\nRETURN r1 2\n.end",
         "45150"},
        {"method updating a field of its object",
         "NEWTABLE r0 0 1\nSETTABLE r0 \"n\" 0\nCLOSURE r4 add\nSETTABLE r0 \"add\" r4\n"
         "LOADK r1 1\nLOADK r2 10\nLOADK r3 1\nSUB r1 r1 r3\nJMP test\n"
         "body: SELF r4 r0 \"add\"\nMOVE r6 r1\nCALL r4 3 1\ntest: FORLOOP r1 body\n"
         "GETTABLE r4 r0 \"n\"\nRETURN r4 2\n"
         ".function add\n.params 2\nGETTABLE r2 r0 \"n\"\nADD r2 r2 r1\nSETTABLE r0 \"n\" r2\n"
         "RETURN r0 1\n.end",
         "55"},
        {"forloop with a fractional step from a string",
         "LOADK r0 0\nLOADK r1 2\nLOADK r2 0\nLOADK r3 \"-0.5\"\nSUB r1 r1 r3\nJMP test\n"
         "body: ADD r0 r0 r1\ntest: FORLOOP r1 body\nRETURN r0 5",
         "5,0,0,-0.5"},
        {"forloop index replaced in the body",
         "LOADK r1 1\nLOADK r2 5\nLOADK r3 1\nJMP test\nbody: LOADK r1 \"x\"\ntest: FORLOOP r1 body\n"
         "RETURN r0 1",
         "", ERR_VALUEEXPECTED},
        {"forloop limit replaced in the body",
         "LOADK r0 0\nLOADK r1 1\nLOADK r2 9\nLOADK r3 1\nJMP test\n"
         "body: ADD r0 r0 1\nLOADK r2 \"3\"\ntest: FORLOOP r1 body\nRETURN r0 4",
         "2,3,3"},
    };
    ExpectCases(cases);
}

TEST_F(Interp, OpcodesAbove42DoNothing) {
    ASSERT_EQ(LoadAsm(L, MainFunction("LOADK r0 1\nLOADK r0 2\nRETURN r0 2")), 0);
    VmScriptClosure* cl = static_cast<VmScriptClosure*>(VmClosureValue(L->top - 1));
    cl->p->code[1] = 0x3F;  // the verifier never lets such a word through; patch it in
    ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    EXPECT_EQ(VmToNumber(L, -1), 1);
}

TEST_F(Interp, ErrorArgumentsNameKeysAndVariables) {
    struct Case {
        const char* name;
        std::string text;
        int error;
        const char* arg;
    } cases[] = {
        {"string key", MainFunction("NEWTABLE r0 0 0\nGETTABLE r1 r0 \"missing\"\nRETURN r1 2"), ERR_FIELDINIT,
         "\"missing\""},
        {"number key", MainFunction("NEWTABLE r0 0 0\nGETTABLE r1 r0 3\nRETURN r1 2"), ERR_FIELDINIT, "3"},
        {"global indexed", MainFunction("GETGLOBAL r0 \"nothing\"\nGETTABLE r1 r0 \"x\"\nRETURN r1 2"), ERR_TABLEDECLA,
         "nothing{}"},
        {"local called", ".function main\n.local \"f\" 0 3\nLOADK r0 1\nCALL r0 1 1\nRETURN r0 1\n.end\n",
         ERR_FUNCDECLA, "f()"},
        {"field called",
         MainFunction("NEWTABLE r0 0 1\nSETTABLE r0 \"k\" 1\nGETTABLE r1 r0 \"k\"\nCALL r1 1 1\n"
                      "RETURN r0 1"),
         ERR_FUNCDECLA, "k()"},
        {"method called", MainFunction("NEWTABLE r0 0 0\nSELF r1 r0 \"nomethod\"\nCALL r1 2 1\nRETURN r0 1"),
         ERR_FUNCDECLA, "nomethod()"},
        {"moved global", MainFunction("GETGLOBAL r0 \"nofunc\"\nMOVE r1 r0\nCALL r1 1 1\nRETURN r0 1"), ERR_FUNCDECLA,
         "nofunc()"},
        {"unknown", MainFunction("LOADK r0 1\nCALL r0 1 1\nRETURN r0 1"), ERR_FUNCDECLA, "?\?()"},
    };
    for (const Case& c : cases) {
        ClearErrorArg();
        EXPECT_EQ(RunAsm(L, c.text, nullptr), c.error) << c.name;
        EXPECT_STREQ(GetErrorArgString(), c.arg) << c.name;
    }
}

// Every event through its opcode: the handler's result (its event name) becomes the value.
TEST_F(Interp, EveryEventReachesItsHandler) {
    const std::string setup = "GETGLOBAL r0 \"setmt\"\nNEWTABLE r1 0 0\nGETGLOBAL r2 \"mt\"\nCALL r0 3 2\n";
    struct Case {
        std::string ops;
        std::string expected;
    } cases[] = {
        {"GETTABLE r1 r0 \"absent\"", "\"__index\""},
        {"GETGLOBAL r3 \"x\"\nADD r1 r0 1", "\"__add\""},
        {"SUB r1 1 r0", "\"__sub\""},
        {"MUL r1 r0 r0", "\"__mul\""},
        {"DIV r1 r0 1", "\"__div\""},
        {"IDIV r1 r0 1", "\"__divint\""},
        {"MOD r1 r0 1", "\"__mod\""},
        {"SHL r1 r0 1", "\"__lsh\""},
        {"SHR r1 r0 1", "\"__rsh\""},
        {"BOR r1 r0 1", "\"__or\""},
        {"BAND r1 r0 1", "\"__and\""},
        {"BXOR r1 r0 1", "\"__xor\""},
        {"POW r1 r0 1", "\"__pow\""},
        {"UNM r1 r0", "\"__unm\""},
        {"BNOT r1 r0", "\"__not\""},
        {"LOADK r2 \"s\"\nCONCAT r1 r0 r2", "\"__concat\""},
        {"LOADK r1 \"s\"\nMOVE r2 r0\nCONCAT r1 r1 r2", "\"__concat\""},
        {"MOVE r1 r0\nCALL r1 1 2", "\"__call\""},
        {"SELF r1 r0 \"meth\"", "\"__index\""},
    };
    for (const Case& c : cases) {
        std::string out = Run(setup + c.ops + "\nRETURN r1 2");
        EXPECT_EQ(out, c.expected) << c.ops;
    }
    // Comparisons: the handlers' results are true (non-empty strings), so the jumps are taken.
    EXPECT_EQ(Run(Compare(setup + "GETGLOBAL r3 \"setmt\"\nNEWTABLE r4 0 0\nGETGLOBAL r5 \"mt\"\nCALL r3 3 2\n"
                                  "MOVE r1 r3",
                          "EQ 1 r0 r1")),
              "1");
    EXPECT_EQ(Run(Compare(setup + "MOVE r1 r0", "LT 1 r0 r0")), "1");
    EXPECT_EQ(Run(Compare(setup + "MOVE r1 r0", "LE 1 r0 r0")), "1");
    // "__newindex" runs instead of storing.
    EXPECT_EQ(Run(setup + "SETTABLE r0 \"k\" 5\nGETGLOBAL r2 \"next\"\nMOVE r3 r0\nCALL r2 2 2\nRETURN r2 2"), "nil");
}

TEST_F(Interp, EventChainsAndFallbacks) {
    // "__index" as a table is followed; "__le" falls back to "not (b < a)" through "__lt".
    std::string body =
        "NEWTABLE r0 0 0\nSETTABLE r0 \"x\" 42\n"
        "NEWTABLE r1 0 0\nSETTABLE r1 \"__index\" r0\n"
        "GETGLOBAL r2 \"setmt\"\nNEWTABLE r3 0 0\nMOVE r4 r1\nCALL r2 3 2\n"
        "GETTABLE r5 r2 \"x\"\nRETURN r5 2";
    EXPECT_EQ(Run(body), "42");
    // A table whose "__index" refers to itself loops until the chain limit.
    int status = 0;
    Run("NEWTABLE r0 0 0\nSETTABLE r0 \"__index\" r0\nGETGLOBAL r2 \"setmt\"\nMOVE r3 r0\nMOVE r4 r0\n"
        "CALL r2 3 2\nGETTABLE r5 r2 \"x\"\nRETURN r5 2",
        &status);
    EXPECT_EQ(status, ERR_INTERNAL1);
    EXPECT_STREQ(GetErrorArgString(), "#1");
}

TEST_F(Interp, EndToEndPrograms) {
    // fib(20) by plain recursion through a global.
    const std::string fib = R"(
.function main
  CLOSURE r0 fib
  SETGLOBAL r0 "fib"
  GETGLOBAL r0 "fib"
  LOADK r1 20
  CALL r0 2 2
  RETURN r0 2
  .function fib
    .params 1
    LT 1 r0 2
    JMP small
    GETGLOBAL r1 "fib"
    SUB r2 r0 1
    CALL r1 2 2
    GETGLOBAL r2 "fib"
    SUB r3 r0 2
    CALL r2 2 2
    ADD r1 r1 r2
    RETURN r1 2
  small:
    RETURN r0 2
  .end
.end
)";
    std::string out;
    ASSERT_EQ(RunAsm(L, fib, &out), 0);
    EXPECT_EQ(out, "6765");

    // Two closures share one upvalue: inc adds to it, get reads it, after the frame closed it.
    const std::string counter = R"(
.function main
  CLOSURE r0 make
  CALL r0 1 3
  MOVE r2 r0
  CALL r2 1 1
  MOVE r2 r0
  CALL r2 1 1
  MOVE r2 r1
  CALL r2 1 2
  RETURN r2 2
  .function make
    LOADK r0 10
    CLOSURE r1 inc
    MOVE r0 r0
    CLOSURE r2 get
    MOVE r0 r0
    RETURN r1 3
    .function inc
      .upvalues 1
      GETUPVAL r0 u0
      ADD r0 r0 1
      SETUPVAL r0 u0
      RETURN r0 1
    .end
    .function get
      .upvalues 1
      GETUPVAL r0 u0
      RETURN r0 2
    .end
  .end
.end
)";
    ASSERT_EQ(RunAsm(L, counter, &out), 0);
    EXPECT_EQ(out, "12");

    // Varargs: the extras arrive in a table at keys 0, 1, ... with "n".
    const std::string varargs = R"(
.function main
  CLOSURE r0 f
  LOADK r1 "fixed"
  LOADK r2 "a"
  LOADK r3 "b"
  CALL r0 4 0
  RETURN r0 0
  .function f
    .params 1
    .vararg
    GETTABLE r2 r1 "n"
    GETTABLE r3 r1 0
    GETTABLE r4 r1 1
    RETURN r0 6
  .end
.end
)";
    ASSERT_EQ(RunAsm(L, varargs, &out), 0);
    EXPECT_EQ(out, "\"fixed\",table,2,\"a\",\"b\"");

    // Generic for over a table with the global "next": sums the values.
    const std::string genericFor = R"(
.function main
  NEWTABLE r1 0 0
  LOADK r2 5
  LOADK r3 6
  LOADK r4 7
  SETLIST r1 2
  LOADK r0 0
  LOADNIL r3 r4
  TFORPREP r1 test
loop:
  ADD r0 r0 r4
test:
  TFORLOOP r1 0 1
  JMP loop
  RETURN r0 2
.end
)";
    ASSERT_EQ(RunAsm(L, genericFor, &out), 0);
    EXPECT_EQ(out, "18");

    // A tail-recursive countdown of 100000 calls runs in constant frames.
    const std::string tail = R"(
.function main
  CLOSURE r0 down
  SETGLOBAL r0 "down"
  GETGLOBAL r0 "down"
  LOADK r1 100000
  CALL r0 2 2
  RETURN r0 2
  .function down
    .params 1
    EQ 1 r0 0
    JMP done
    GETGLOBAL r1 "down"
    SUB r2 r0 1
    TAILCALL r1 2 0
    RETURN r1 0
  done:
    LOADK r1 "done"
    RETURN r1 2
  .end
.end
)";
    int frames = L->sizeCi;
    ASSERT_EQ(RunAsm(L, tail, &out), 0);
    EXPECT_EQ(out, "\"done\"");
    EXPECT_LE(L->sizeCi, frames);

    // String building: 1000 appends, collecting along the way.
    VmSetGcThreshold(L, 1);
    const std::string build = R"(
.function main
  LOADK r0 ""
  LOADK r1 1
  LOADK r2 1000
  LOADK r3 1
  SUB r1 r1 r3
  JMP test
body:
  LOADK r5 "x"
  MOVE r6 r1
  CONCAT r4 r5 r6
  MOVE r5 r0
  MOVE r6 r4
  CONCAT r0 r5 r6
test:
  FORLOOP r1 body
  RETURN r0 2
.end
)";
    ASSERT_EQ(RunAsm(L, build, &out), 0);
    EXPECT_EQ(out.size(), 2 + 1000 + 9 * 1 + 90 * 2 + 900 * 3 + 4);
    EXPECT_EQ(out.substr(0, 8), "\"x1x2x3x");
}

TEST_F(Interp, TailCallsToCFunctionsAndErrors) {
    std::string out;
    ASSERT_EQ(
        RunAsm(L, MainFunction("GETGLOBAL r0 \"echo\"\nLOADK r1 1\nLOADK r2 2\nTAILCALL r0 3 0\nRETURN r0 0"), &out),
        0);
    EXPECT_EQ(out, "1,2");
    // Deep non-tail recursion stops at the frame limit with a stack overflow.
    const std::string deep = R"(
.function main
  CLOSURE r0 f
  SETGLOBAL r0 "f"
  GETGLOBAL r0 "f"
  CALL r0 1 2
  RETURN r0 2
  .function f
    GETGLOBAL r0 "f"
    CALL r0 1 2
    RETURN r0 2
  .end
.end
)";
    EXPECT_EQ(RunAsm(L, deep, &out), ERR_STACK);
    EXPECT_EQ(L->ci, L->baseCi);
    EXPECT_EQ(VmGetTop(L), 0);
}

// C -> script -> C nesting: each level calls back into a script function through VmCall.
TEST_F(Interp, CCallDepthLimit) {
    const std::string text = R"(
.function main
  CLOSURE r0 f
  SETGLOBAL r0 "f"
  GETGLOBAL r0 "f"
  CALL r0 1 2
  RETURN r0 2
  .function f
    GETGLOBAL r0 "callfromc"
    GETGLOBAL r1 "f"
    CALL r0 2 2
    RETURN r0 2
  .end
.end
)";
    EXPECT_EQ(RunAsm(L, text, nullptr), ERR_STACK);
    EXPECT_EQ(L->nCcalls, 0);
    EXPECT_EQ(L->ci, L->baseCi);
}

TEST_F(Interp, HandlerErrorsWithTrappingOff) {
    vmRuntime.signalError = [](VmState*, int code) {
        vmRuntime.lastError = code;
        return 0;
    };
    std::string out;
    ASSERT_EQ(RunAsm(L,
                     MainFunction("GETGLOBAL r0 \"fail\"\nLOADK r1 1000\nCALL r0 2 2\nLOADK r1 \"after\"\n"
                                  "RETURN r0 3"),
                     &out),
              0);
    EXPECT_EQ(out, "nil,\"after\"");
    EXPECT_EQ(vmRuntime.lastError, 1000);
    // The next command call clears the last error.
    ASSERT_EQ(RunAsm(L, MainFunction("GETGLOBAL r0 \"echo\"\nCALL r0 1 1\nRETURN r0 1"), &out), 0);
    EXPECT_EQ(vmRuntime.lastError, 0);
}

static int userHandlerCalls = 0;
TEST_F(Interp, UserErrorHandlerReplacesTheCode) {
    userHandlerCalls = 0;
    vmRuntime.userErrorHandlerInstalled = [](VmState*) { return true; };
    vmRuntime.callUserErrorHandler = [](VmState* L, int code) {
        userHandlerCalls++;
        VmPushNumber(L, code);
        return 1;
    };
    std::string out;
    ASSERT_EQ(RunAsm(L, MainFunction("GETGLOBAL r0 \"fail\"\nLOADK r1 1234\nCALL r0 2 2\nRETURN r0 2"), &out), 0);
    EXPECT_EQ(out, "1234");
    EXPECT_EQ(userHandlerCalls, 1);
    // Not inside a script callback.
    vmRuntime.callbackDepth = 1;
    EXPECT_EQ(RunAsm(L, MainFunction("GETGLOBAL r0 \"fail\"\nLOADK r1 1234\nCALL r0 2 2\nRETURN r0 2"), &out), 1234);
    EXPECT_EQ(userHandlerCalls, 1);
}

TEST_F(Interp, LabelJumpsAndReturns) {
    // gosub to "sub" (index 8) and back: the label code stores 5 in a global and returns.
    std::string out;
    const std::string text = R"(
.function main
  GETGLOBAL r0 "gosub"
  LOADK r1 8
  CALL r0 2 1
  GETGLOBAL r0 "g"
  ADD r0 r0 1
  RETURN r0 2
  LOADK r0 0
  LOADK r0 0
  LOADK r2 5
  SETGLOBAL r2 "g"
  RETURN r0 1 1
.end
)";
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "6");
    EXPECT_EQ(L->g->labelCount, 0);

    // -2 returns to the instruction before the call: the counter runs the call again until the
    // label code has been visited three times.
    const std::string retry = R"(
.function main
  LOADK r3 0
  SETGLOBAL r3 "n"
  GETGLOBAL r0 "gosubretry"
  LOADK r1 10
check:
  GETGLOBAL r3 "n"
  LT 1 r3 3
  JMP +2
  RETURN r3 2
  JMP check
  CALL r0 2 1
  GETGLOBAL r3 "n"
  ADD r3 r3 1
  SETGLOBAL r3 "n"
  RETURN r0 1 1
.end
)";
    ASSERT_EQ(RunAsm(L, retry, &out), 0);
    EXPECT_EQ(out, "3");

    // 4096 label calls nest; the 4097th raises the internal limit.
    L->g->labelCount = 0;
    EXPECT_EQ(RunAsm(L, MainFunction("loop: JMP loop push\nRETURN r0 1"), nullptr), ERR_INTERNAL);
    EXPECT_EQ(L->g->labelCount, VM_LABELSTACK);
    L->g->labelCount = 0;
    EXPECT_EQ(RunAsm(L, MainFunction("RETURN r0 1 1\nRETURN r0 1"), nullptr), ERR_RETWOGOSUB);
}

// A label jump or return that would run main-chunk code in another frame raises ERR_FUNCJMP.
TEST_F(Interp, LabelJumpsStayInTheMainChunk) {
    const std::string fromNested = R"(
.function main
  CLOSURE r0 f
  CALL r0 1 1
  RETURN r0 1
  .function f
    GETGLOBAL r0 "gosub"
    LOADK r1 0
    CALL r0 2 1
    RETURN r0 1
  .end
.end
)";
    EXPECT_EQ(RunAsm(L, fromNested, nullptr), ERR_FUNCJMP);
    const std::string fromCallback = R"(
.function main
  GETGLOBAL r0 "callfromc"
  GETGLOBAL r1 "gosub"
  LOADK r2 0
  CALL r0 3 1
  RETURN r0 1
.end
)";
    EXPECT_EQ(RunAsm(L, fromCallback, nullptr), ERR_FUNCJMP);
    // A return address pushed in the main chunk cannot be taken by a nested function.
    const std::string returnInNested = R"(
.function main
  JMP +0 push
  CLOSURE r0 f
  CALL r0 1 1
  RETURN r0 1
  .function f
    RETURN r0 1 1
    RETURN r0 1
  .end
.end
)";
    L->g->labelCount = 0;
    EXPECT_EQ(RunAsm(L, returnInNested, nullptr), ERR_FUNCJMP);
    // Labels outside the code, including values at and beyond the integer limits.
    for (const char* label : {"99", "-1", "2147483647", "-2147483648", "1e300", "-1e300"}) {
        L->g->labelCount = 0;
        std::string body = std::string("GETGLOBAL r0 \"gosub\"\nLOADK r1 ") + label + "\nCALL r0 2 1\nRETURN r0 1";
        EXPECT_EQ(RunAsm(L, MainFunction(body), nullptr), ERR_FUNCJMP) << label;
        EXPECT_EQ(L->g->labelCount, 0) << label;
    }
}

TEST_F(Interp, QuitFlagLeavesFramesConsistent) {
    const std::string text = R"(
.function main
  CLOSURE r0 f
  CALL r0 1 2
  LOADK r0 "not reached"
  RETURN r0 2
  .function f
    GETGLOBAL r0 "quit"
    CALL r0 1 1
    LOADK r0 "not reached"
    RETURN r0 2
  .end
.end
)";
    VmPushNumber(L, 1);
    ASSERT_EQ(LoadAsm(L, text), 0);
    EXPECT_EQ(VmProtectedCall(L, 0, 2, 0), 0);
    EXPECT_EQ(VmGetTop(L), 3);  // 1, then the two wanted results padded with nil
    EXPECT_EQ(VmType(L, 2), VM_TNIL);
    EXPECT_EQ(L->ci, L->baseCi);
    EXPECT_EQ(L->openUpval, nullptr);
    vmRuntime.quitFlag.store(0);
}

TEST_F(Interp, CallTracePrintsCommandsAndArguments) {
    static std::string trace;
    trace.clear();
    vmRuntime.consolePrint = [](const char* text) { trace += text; };
    vmRuntime.callTrace = true;
    ASSERT_EQ(RunAsm(L,
                     MainFunction("GETGLOBAL r0 \"echo\"\nLOADK r1 1.5\nLOADK r2 \"s\"\nLOADNIL r3 r3\n"
                                  "CALL r0 4 1\nRETURN r0 1"),
                     nullptr),
              0);
    EXPECT_EQ(trace, "Now calling echo() with arguments #1=(NUMBER)1.5 #2=(STRING)\"s\" #3=(NIL) \n");
}

// Thousands of collections while scripts build tables, closures and strings.
TEST_F(Interp, CollectionsWhileRunning) {
    VmSetGcThreshold(L, 1);
    const std::string text = R"(
.function main
  NEWTABLE r0 0 0
  LOADK r1 1
  LOADK r2 3000
  LOADK r3 1
  SUB r1 r1 r3
  JMP test
body:
  NEWTABLE r5 0 0
  LOADK r6 "k"
  MOVE r7 r1
  CONCAT r6 r6 r7
  SETTABLE r5 "name" r6
  CLOSURE r6 g
  MOVE r0 r5
  SETTABLE r5 "f" r6
  MOD r7 r1 50
  SETTABLE r0 r7 r5
test:
  FORLOOP r1 body
  GETTABLE r5 r0 0
  GETTABLE r6 r5 "f"
  CALL r6 1 2
  RETURN r6 2
  .function g
    .upvalues 1
    GETUPVAL r0 u0
    GETTABLE r0 r0 "name"
    RETURN r0 2
  .end
.end
)";
    std::string out;
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "\"k3000\"");
}

// A joined string used straight away as a key: the join is told the table the next instruction
// reads or stores, and the results are those of any other key. The last case's "__concat" handler
// puts a new table into the register through an upvalue and collects the old one before the key's
// last join, which must then not look at the old table.
static int CollectNow(VmState* L) {
    VmCollectGarbage(L);
    return 0;
}

TEST_F(Interp, JoinedKeysReadAndStoreTheirTable) {
    SetGlobalFunction(L, "collect", CollectNow);
    const std::string longText(300, 'x');
    std::vector<OpCase> cases = {
        {"read",
         "NEWTABLE r0 0 0\nSETTABLE r0 \"k7\" 5\nLOADK r1 \"k\"\nLOADK r2 7\nCONCAT r1 r1 r2\n"
         "GETTABLE r3 r0 r1\nRETURN r3 2",
         "5"},
        {"store then read back",
         "NEWTABLE r0 0 0\nLOADK r1 \"k\"\nLOADK r2 7\nCONCAT r1 r1 r2\nSETTABLE r0 r1 9\n"
         "GETTABLE r3 r0 \"k7\"\nRETURN r3 2",
         "9"},
        {"absent key",
         "NEWTABLE r0 0 0\nLOADK r1 \"k\"\nLOADK r2 7\nCONCAT r1 r1 r2\nGETTABLE r3 r0 r1\n"
         "RETURN r3 2",
         "", ERR_FIELDINIT},
        {"long key",
         "NEWTABLE r0 0 0\nLOADK r1 \"" + longText +
             "\"\nLOADK r2 7\nCONCAT r1 r1 r2\n"
             "SETTABLE r0 r1 4\nGETTABLE r3 r0 \"" +
             longText + "7\"\nRETURN r3 2",
         "4"},
        {"register holds no table",
         "LOADK r0 1\nLOADK r1 \"k\"\nLOADK r2 7\nCONCAT r1 r1 r2\nGETTABLE r3 r0 r1\n"
         "RETURN r3 2",
         "", ERR_TABLEDECLA},
        {"removed key",
         "NEWTABLE r0 0 0\nSETTABLE r0 \"k7\" 5\nSETTABLE r0 \"k7\" nil\nLOADK r1 \"k\"\nLOADK r2 7\n"
         "CONCAT r1 r1 r2\nGETTABLE r3 r0 r1\nRETURN r3 2",
         "", ERR_FIELDINIT},
        {"removed key collected, then read",
         "NEWTABLE r0 0 0\nLOADK r1 \"k\"\nLOADK r2 7\nCONCAT r1 r1 r2\nSETTABLE r0 r1 5\nLOADK r1 \"k\"\n"
         "CONCAT r1 r1 r2\nSETTABLE r0 r1 nil\nLOADNIL r1 0\nGETGLOBAL r4 \"collect\"\nCALL r4 1 1\n"
         "LOADK r1 \"k\"\nCONCAT r1 r1 r2\nGETTABLE r3 r0 r1\nRETURN r3 2",
         "", ERR_FIELDINIT},
        {"removed key collected, stored again and read",
         "NEWTABLE r0 0 0\nLOADK r1 \"k\"\nLOADK r2 7\nCONCAT r1 r1 r2\nSETTABLE r0 r1 5\nLOADK r1 \"k\"\n"
         "CONCAT r1 r1 r2\nSETTABLE r0 r1 nil\nLOADNIL r1 0\nGETGLOBAL r4 \"collect\"\nCALL r4 1 1\n"
         "LOADK r1 \"k\"\nCONCAT r1 r1 r2\nSETTABLE r0 r1 6\nLOADK r1 \"k\"\nCONCAT r1 r1 r2\n"
         "GETTABLE r3 r0 r1\nRETURN r3 2",
         "6"},
        {"handler replaces the table",
         "NEWTABLE r0 0 0\nSETTABLE r0 \"k7\" 1\nCLOSURE r4 swap\nMOVE r0 r0\nNEWTABLE r5 0 0\n"
         "NEWTABLE r6 0 0\nSETTABLE r6 \"__concat\" r4\nGETGLOBAL r7 \"setmt\"\nMOVE r8 r5\nMOVE r9 r6\n"
         "CALL r7 3 1\nLOADK r1 \"k\"\nMOVE r2 r5\nLOADK r3 7\nCONCAT r1 r1 r3\nGETTABLE r3 r0 r1\nRETURN r3 2\n"
         ".function swap\n.upvalues 1\nNEWTABLE r2 0 0\nSETTABLE r2 \"k7\" 2\nSETUPVAL r2 u0\n"
         "GETGLOBAL r3 \"collect\"\nCALL r3 1 1\nLOADK r0 7\nRETURN r0 2\n.end",
         "2"},
    };
    ExpectCases(cases);
}

TEST_F(Interp, FunctionGlobalsCanBeReplaced) {
    ASSERT_EQ(LoadAsm(L, MainFunction("GETGLOBAL r0 \"v\"\nRETURN r0 2")), 0);
    VmNewTable(L);
    VmPushString(L, "v");
    VmPushString(L, "own");
    VmSetTable(L, -3);
    EXPECT_EQ(VmSetFunctionGlobals(L, 1), 1);
    VmGetFunctionGlobals(L, 1);
    EXPECT_EQ(VmType(L, -1), VM_TTABLE);
    VmPop(L, 1);
    ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    EXPECT_STREQ(VmToString(L, -1), "own");
    VmPushCFunction(L, Echo);
    VmNewTable(L);
    EXPECT_EQ(VmSetFunctionGlobals(L, -2), 0);  // C functions use the thread's table
}

// A string constant remembers the node where its key was last found. The same instructions meet
// tables of other sizes and layouts, a table whose nodes move when it grows, removed entries and
// a key that only a handler answers: every lookup still gives that table's own value.
TEST_F(Interp, ConstantKeyLookupsFollowTheTableAtHand) {
    // f(t): t.x through SELF, t.y through GETTABLE, the global x.
    ASSERT_EQ(LoadAsm(L, MainFunction(".params 1\nSELF r1 r0 \"x\"\nGETTABLE r2 r0 \"y\"\n"
                                      "GETGLOBAL r3 \"x\"\nRETURN r1 4")),
              0);
    int f = VmGetTop(L);
    // Sets t[key] = value (nil when null); t is an absolute or a pseudo-index.
    auto setField = [&](int t, const char* key, const char* value) {
        VmPushString(L, key);
        if (value)
            VmPushString(L, value);
        else
            VmPushNil(L);
        VmSetTable(L, t);
    };
    auto newTable = [&](int fillers, const char* x) {
        VmNewTable(L);
        int t = VmGetTop(L);
        for (int j = 0; j < fillers; j++) setField(t, ("f" + std::to_string(j)).c_str(), "-");
        setField(t, "y", "y");
        if (x) setField(t, "x", x);
        return t;
    };
    auto call = [&](int t) {
        int top = VmGetTop(L);
        VmPushValue(L, f);
        VmPushValue(L, t);
        std::string out = "error";
        if (VmProtectedCall(L, 1, 3, 0) == 0)
            out = RenderValue(L, -3) + "," + RenderValue(L, -2) + "," + RenderValue(L, -1);
        VmSetTop(L, top);
        return out;
    };
    setField(VM_GLOBALSINDEX, "x", "g1");
    int small = newTable(0, "a");
    int large = newTable(40, "b");
    int without = newTable(40, nullptr);
    EXPECT_EQ(call(small), "\"a\",\"y\",\"g1\"");
    EXPECT_EQ(call(large), "\"b\",\"y\",\"g1\"");
    EXPECT_EQ(call(small), "\"a\",\"y\",\"g1\"");
    EXPECT_EQ(call(without), "nil,\"y\",\"g1\"");
    // The small table grows: its entries move to other nodes.
    for (int j = 0; j < 100; j++) setField(small, ("k" + std::to_string(j)).c_str(), "-");
    EXPECT_EQ(call(small), "\"a\",\"y\",\"g1\"");
    setField(small, "x", nullptr);
    EXPECT_EQ(call(small), "nil,\"y\",\"g1\"");
    setField(small, "x", "c");
    setField(VM_GLOBALSINDEX, "x", "g2");
    EXPECT_EQ(call(small), "\"c\",\"y\",\"g2\"");
    // With x removed, the "__index" handler of the metatable answers.
    setField(large, "x", nullptr);
    VmNewTable(L);
    int meta = VmGetTop(L);
    VmPushString(L, "__index");
    newTable(0, "h");
    VmSetTable(L, meta);
    VmSetMetatable(L, large);
    EXPECT_EQ(call(large), "\"h\",\"y\",\"g2\"");
}

// A return closes the cells open on its own frame and no others: main's local stays shared
// with get after get returns, and the cell make returns keeps its value when later frames reuse
// make's stack slots.
TEST_F(Interp, ReturnsCloseOnlyTheirOwnCells) {
    const std::string text = R"(
.function main
  LOADK r0 1
  CLOSURE r1 get
  MOVE r0 r0
  CLOSURE r7 make
  CALL r7 1 2
  MOVE r6 r7
  MOVE r3 r1
  CALL r3 1 2
  LOADK r0 5
  MOVE r4 r1
  CALL r4 1 2
  CLOSURE r7 clobber
  CALL r7 1 1
  MOVE r5 r6
  CALL r5 1 2
  RETURN r3 4
  .function get
    .upvalues 1
    GETUPVAL r0 u0
    RETURN r0 2
  .end
  .function make
    LOADK r0 10
    CLOSURE r1 inner
    MOVE r0 r0
    RETURN r1 2
    .function inner
      .upvalues 1
      GETUPVAL r0 u0
      RETURN r0 2
    .end
  .end
  .function clobber
    LOADK r0 99
    LOADK r1 99
    RETURN r0 1
  .end
.end
)";
    std::string out;
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "1,5,10");
}

// An open upvalue follows its variable when deep recursion moves the stack.
TEST_F(Interp, OpenUpvaluesSurviveStackGrowth) {
    const std::string text = R"(
.function main
  LOADK r0 1
  CLOSURE r1 inc
  MOVE r0 r0
  CLOSURE r2 deep
  SETGLOBAL r2 "deep"
  GETGLOBAL r2 "deep"
  LOADK r3 300
  CALL r2 2 1
  MOVE r2 r1
  CALL r2 1 1
  RETURN r0 2
  .function inc
    .upvalues 1
    GETUPVAL r0 u0
    ADD r0 r0 1
    SETUPVAL r0 u0
    RETURN r0 1
  .end
  .function deep
    .params 1
    .maxstack 40
    EQ 1 r0 0
    JMP done
    GETGLOBAL r1 "deep"
    SUB r2 r0 1
    CALL r1 2 1
  done:
    RETURN r0 1
  .end
.end
)";
    std::string out;
    int before = L->stackSize;
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "2");
    EXPECT_GT(L->stackSize, before);
}

// A command whose callback recursed deep enough to move the stack and the frame records hands
// its one result back to the frame that called it, wherever that frame now lives.
TEST_F(Interp, CommandResultAfterTheStackMoved) {
    const std::string text = R"(
.function main
  LOADK r0 7
  CLOSURE r1 deep
  SETGLOBAL r1 "deep"
  GETGLOBAL r1 "callfromc"
  GETGLOBAL r2 "deep"
  LOADK r3 300
  CALL r1 3 2
  RETURN r0 3
  .function deep
    .params 1
    .maxstack 40
    EQ 1 r0 0
    JMP done
    GETGLOBAL r1 "deep"
    SUB r2 r0 1
    CALL r1 2 2
    RETURN r1 2
  done:
    LOADK r0 "bottom"
    RETURN r0 2
  .end
.end
)";
    std::string out;
    int stackBefore = L->stackSize, framesBefore = L->sizeCi;
    ASSERT_EQ(RunAsm(L, text, &out), 0);
    EXPECT_EQ(out, "7,\"bottom\"");
    EXPECT_GT(L->stackSize, stackBefore);
    EXPECT_GT(L->sizeCi, framesBefore);
}

// The main function tail-calls a script function: its results go straight back to the C caller.
TEST_F(Interp, TailCallFromTheEntryFrameReturnsToC) {
    const std::string text = R"(
.function main
  CLOSURE r0 f
  LOADK r1 20
  TAILCALL r0 2 0
  RETURN r0 0
  .function f
    .params 1
    ADD r1 r0 1
    RETURN r0 3
  .end
.end
)";
    VmPushString(L, "below");
    ASSERT_EQ(LoadAsm(L, text), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, VM_MULTRET, 0), 0);
    ASSERT_EQ(VmGetTop(L), 3);
    EXPECT_STREQ(VmToString(L, 1), "below");
    EXPECT_EQ(VmToNumber(L, 2), 20);
    EXPECT_EQ(VmToNumber(L, 3), 21);
    EXPECT_EQ(L->ci, L->baseCi);
}

// The 1159 argument for number keys of every kind.
TEST_F(Interp, AbsentNumberFieldArguments) {
    struct Case {
        const char* key;
        const char* arg;
    } cases[] = {{"nan", "nan"}, {"nan\nUNM r1 r1", "nan"}, {"0\nUNM r1 r1", "-0"},
                 {"1.5", "1.5"}, {"1e20", "1e+20"},         {"-0", "-0"}};
    for (const Case& c : cases) {
        ClearErrorArg();
        int status = 0;
        Run(std::string("NEWTABLE r0 0 0\nLOADK r1 ") + c.key + "\nGETTABLE r2 r0 r1\nRETURN r2 2", &status);
        EXPECT_EQ(status, ERR_FIELDINIT) << c.key;
        EXPECT_STREQ(GetErrorArgString(), c.arg) << c.key;
    }
}

}  // namespace interp_test
