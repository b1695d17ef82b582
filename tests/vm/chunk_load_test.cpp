// Loading and dumping chunks through the VM: round trips, both byte orders, every load error, and
// chunks that lie about their sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "asm/asm.h"
#include "vm/chunk_bytes.h"
#include "vm/vm_chunk.h"

namespace chunk_load_test {

namespace {

using chunktest::BuildChunk;
using chunktest::Constant;
using chunktest::Function;

// Feeds a byte vector in blocks of a fixed size; records the VM's peak memory at every call.
struct MemoryReader {
    const std::vector<uint8_t>* bytes;
    size_t block;
    size_t pos = 0;
    VmState* state = nullptr;
    size_t peakBytes = 0;
};

const char* ReadMemory(void* data, size_t* size) {
    MemoryReader* r = static_cast<MemoryReader*>(data);
    if (r->state) r->peakBytes = std::max(r->peakBytes, r->state->g->nblocks);
    size_t left = r->bytes->size() - r->pos;
    *size = std::min(left, r->block);
    const char* p = reinterpret_cast<const char*>(r->bytes->data() + r->pos);
    r->pos += *size;
    return *size ? p : nullptr;
}

int WriteVector(VmState*, const void* bytes, size_t size, void* data) {
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    static_cast<std::vector<uint8_t>*>(data)->insert(static_cast<std::vector<uint8_t>*>(data)->end(), b, b + size);
    return 0;
}

class ChunkLoad : public ::testing::Test {
protected:
    void SetUp() override {
        state = VmOpen();
        ASSERT_NE(state, nullptr);
    }
    void TearDown() override { VmClose(state); }

    int Load(const std::vector<uint8_t>& bytes, size_t block = SIZE_MAX) {
        MemoryReader r{&bytes, block};
        return VmLoad(state, ReadMemory, &r, "=test");
    }
    // Dumps the function on top of the stack.
    std::vector<uint8_t> Dump() {
        std::vector<uint8_t> out;
        EXPECT_EQ(VmDumpFunction(state, -1, WriteVector, &out), 0);
        return out;
    }
    const VmProto* TopProto() {
        const VmValue* v = VmIndexToAddress(state, -1);
        return static_cast<const VmScriptClosure*>(VmClosureValue(v))->p;
    }

    VmState* state = nullptr;
};

const VmInstruction kReturn = VmCreateABC(OP_RETURN, 0, 1, 0);

// A main function with every kind of record, and two nested functions (one with a source of its
// own, one inheriting the main function's).
Function RichFunction() {
    Function inner;
    inner.nups = 1;
    inner.numparams = 1;
    inner.maxStack = 3;
    inner.lineDefined = 7;
    inner.upvalueNames = {"counter"};
    inner.locals = {{"x", 0, 2}};
    inner.constants = {Constant::Number(-2.5)};
    inner.code = {VmCreateABC(OP_GETUPVAL, 1, 0, 0), VmCreateABC(OP_ADD, 1, 1, 250), VmCreateABC(OP_RETURN, 1, 2, 0)};
    inner.lines = {8, 8, 9};

    Function other;
    other.source = std::string("@other.qzs");
    other.isVararg = 1;
    other.maxStack = 2;
    other.code = {kReturn};

    Function f;
    f.source = std::string("@main.qzs");
    f.maxStack = 5;
    f.constants = {Constant::String("print"), Constant::Number(31415926.535897933), Constant::Nil(),
                   Constant::String(std::string("a\0b", 3)), Constant::String("")};
    f.locals = {{"counter", 1, 5}, {"fn", 3, 5}};
    f.nested = {inner, other};
    f.code = {
        VmCreateABx(OP_LOADK, 0, 1),
        VmCreateABx(OP_CLOSURE, 1, 0),
        VmCreateABC(OP_MOVE, 0, 0, 0),
        VmCreateABx(OP_GETGLOBAL, 2, 0),
        VmCreateABC(OP_MOVE, 3, 1, 0),
        VmCreateABC(OP_CALL, 2, 2, 1),
        kReturn,
    };
    f.lines = {1, 2, 2, 3, 3, 3, 4};
    return f;
}

TEST_F(ChunkLoad, RoundTripIsByteIdenticalInBothByteOrders) {
    const Function f = RichFunction();
    const std::vector<uint8_t> little = BuildChunk(f, false);
    const std::vector<uint8_t> big = BuildChunk(f, true);
    ASSERT_NE(little, big);

    ASSERT_EQ(Load(little), 0);
    EXPECT_EQ(Dump(), little);
    ASSERT_EQ(Load(big), 0);
    EXPECT_EQ(Dump(), little) << "a big-endian chunk loads to the same prototypes";
    // Blocks of one byte exercise every read that spans blocks.
    ASSERT_EQ(Load(big, 1), 0);
    EXPECT_EQ(Dump(), little);
    EXPECT_EQ(VmGetTop(state), 3);
}

TEST_F(ChunkLoad, LoadedPrototypeFields) {
    ASSERT_EQ(Load(BuildChunk(RichFunction(), true)), 0);
    const VmProto* p = TopProto();
    ASSERT_NE(p->source, nullptr);
    EXPECT_STREQ(VmStringData(p->source), "@main.qzs");
    EXPECT_EQ(p->sizecode, 7);
    EXPECT_EQ(p->maxStackSize, 5);
    ASSERT_EQ(p->sizek, 5);
    EXPECT_EQ(p->k[1].tt, VM_TNUMBER);
    EXPECT_EQ(p->k[1].value.n, 31415926.535897933);
    EXPECT_EQ(p->k[2].tt, VM_TNIL);
    EXPECT_EQ(VmStringValue(&p->k[3])->len, 3u);
    EXPECT_EQ(VmStringValue(&p->k[4])->len, 0u);
    EXPECT_EQ(p->lineinfo[6], 4);
    ASSERT_EQ(p->sizep, 2);
    const VmProto* inner = p->p[0];
    EXPECT_EQ(inner->source, p->source) << "an absent source is the parent's";
    EXPECT_STREQ(VmStringData(p->p[1]->source), "@other.qzs");
    EXPECT_EQ(inner->lineDefined, 7);
    EXPECT_EQ(inner->nups, 1);
    EXPECT_EQ(inner->numparams, 1);
    EXPECT_EQ(p->p[1]->isVararg, 1);
    EXPECT_EQ(inner->k[0].value.n, -2.5);
    EXPECT_EQ(inner->code[1], VmCreateABC(OP_ADD, 1, 1, 250));
    EXPECT_STREQ(VmStringData(inner->upvalues[0]), "counter");
    EXPECT_STREQ(VmStringData(p->locvars[1].varname), "fn");
    EXPECT_EQ(p->locvars[1].startpc, 3);
    // Interned: the global name and the upvalue name are the strings scripts use.
    EXPECT_EQ(VmStringValue(&p->k[0]), VmInternCString(state, "print"));
}

TEST_F(ChunkLoad, MainFunctionWithoutSourceStaysWithout) {
    Function f;
    f.nested.push_back(Function{});
    f.nested[0].code = {kReturn};
    f.code = {kReturn};
    const std::vector<uint8_t> bytes = BuildChunk(f);
    ASSERT_EQ(Load(bytes), 0);
    EXPECT_EQ(TopProto()->source, nullptr);
    EXPECT_EQ(TopProto()->p[0]->source, nullptr);
    EXPECT_EQ(Dump(), bytes);
}

TEST_F(ChunkLoad, DeclaredUpvaluesGetClosedNilCells) {
    // A dumped inner function loaded on its own has no enclosing function to capture from.
    Function f = RichFunction().nested[0];
    ASSERT_EQ(Load(BuildChunk(f)), 0);
    const VmValue* v = VmIndexToAddress(state, -1);
    VmScriptClosure* cl = static_cast<VmScriptClosure*>(VmClosureValue(v));
    ASSERT_EQ(cl->nupvalues, 1);
    VmUpvalue* cell = VmScriptClosureUpvalues(cl)[0];
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->v, &cell->value);
    EXPECT_EQ(cell->v->tt, VM_TNIL);
    VmCollectGarbage(state);  // the cells are proper collectable objects
    EXPECT_EQ(VmScriptClosureUpvalues(cl)[0]->v->tt, VM_TNIL);
}

TEST_F(ChunkLoad, StringConstantWithoutTextIsTheEmptyString) {
    // A string constant whose length is 0 ("no string") would otherwise be a string value without
    // a string object behind it.
    Function f;
    f.constants = {Constant::String("")};
    f.code = {VmCreateABx(OP_GETGLOBAL, 0, 0), kReturn};
    std::vector<uint8_t> bytes = BuildChunk(f);
    // Constant count at 45, then the type byte and the string length (1: just the NUL).
    ASSERT_EQ(bytes[49], 4);
    ASSERT_EQ(bytes[50], 1);
    bytes[50] = 0;
    bytes.erase(bytes.begin() + 54);  // the NUL
    ASSERT_EQ(Load(bytes), 0);
    const VmProto* p = TopProto();
    ASSERT_EQ(p->k[0].tt, VM_TSTRING);
    EXPECT_EQ(VmStringValue(&p->k[0]), VmInternString(state, "", 0));
    ASSERT_EQ(VmProtectedCall(state, 0, 0, 0), 0);
}

struct ErrorCase {
    const char* what;
    std::vector<uint8_t> bytes;
    int code;
};

std::vector<uint8_t> WithHeader(void (*edit)(chunktest::Header&)) {
    Function f;
    f.code = {kReturn};
    chunktest::Header h;
    edit(h);
    return BuildChunk(f, false, h);
}

std::vector<uint8_t> WithFunction(void (*edit)(Function&)) {
    Function f;
    f.code = {kReturn};
    edit(f);
    return BuildChunk(f);
}

TEST_F(ChunkLoad, EveryLoadErrorHasItsCode) {
    std::vector<ErrorCase> cases = {
        {"text script", {'p', 'r', 'i', 'n', 't', '(', ')'}, ERR_BADSIGNATURE},
        {"empty input", {}, ERR_BADSIGNATURE},
        {"signature", WithHeader([](chunktest::Header& h) { h.signature = std::string("\x1bQZC", 4); }),
         ERR_BADSIGNATURE},
        {"test number 31415926.9 loads", WithHeader([](chunktest::Header& h) { h.testNumber = 31415926.9; }), 0},
        {"test number 31415927", WithHeader([](chunktest::Header& h) { h.testNumber = 31415927.0; }), ERR_UNKNUMFMT},
        {"test number negative", WithHeader([](chunktest::Header& h) { h.testNumber = -31415926.5; }), ERR_UNKNUMFMT},
        {"test number NaN",
         WithHeader([](chunktest::Header& h) { h.testNumber = std::numeric_limits<double>::quiet_NaN(); }),
         ERR_UNKNUMFMT},
        {"negative code count", WithFunction([](Function& f) { f.codeCount = -1; }), ERR_BADINTEGER},
        {"negative upvalue-name count", WithFunction([](Function& f) { f.upvalueNameCount = -5; }), ERR_BADINTEGER},
        {"upvalue names for no upvalues", WithFunction([](Function& f) { f.upvalueNames = {"a"}; }), ERR_BADUPVALUES},
        {"fewer upvalue names than upvalues", WithFunction([](Function& f) {
             f.nups = 2;
             f.upvalueNames = {"a"};
         }),
         ERR_BADUPVALUES},
        {"boolean constant", WithFunction([](Function& f) {
             f.constants = {Constant{1, 0, {}}};
         }),
         ERR_BADCONSTANT},
        {"no final RETURN", WithFunction([](Function& f) { f.code = {VmCreateABC(OP_MOVE, 0, 1, 0)}; }),
         ERR_BADBYTECODE},
        {"251 registers", WithFunction([](Function& f) { f.maxStack = 251; }), ERR_BADBYTECODE},
        {"CALL C=0 into MOVE", WithFunction([](Function& f) {
             f.code = {VmCreateABC(OP_CALL, 0, 1, 0), VmCreateABC(OP_MOVE, 0, 1, 0), kReturn};
         }),
         ERR_BADBYTECODE},
        {"CALL C=0 into SETLISTO loads", WithFunction([](Function& f) {
             f.code = {VmCreateABC(OP_CALL, 1, 1, 0), VmCreateABx(OP_SETLISTO, 0, 0), kReturn};
         }),
         0},
        {"bad nested function", WithFunction([](Function& f) {
             f.nested.push_back(Function{});
             f.nested[0].code = {VmCreateABC(OP_MOVE, 0, 1, 0)};
         }),
         ERR_BADBYTECODE},
        {"line info shorter than the code", WithFunction([](Function& f) {
             f.lines = {1, 2};
         }),
         ERR_BADBYTECODE},
    };
    {
        std::vector<uint8_t> bytes = WithFunction([](Function&) {});
        bytes[21] = bytes[22] = bytes[23] = bytes[24] = 0xFF;
        cases.push_back({"negative string length", bytes, ERR_BADINTEGER});
    }
    for (int i = 0; i < 8; i++) {
        std::vector<uint8_t> bytes = WithHeader([](chunktest::Header&) {});
        bytes[5 + (size_t)i] ^= 0x10;
        cases.push_back({"size byte", bytes, ERR_VMMISMATCH});
    }
    for (const ErrorCase& c : cases) {
        int top = VmGetTop(state);
        EXPECT_EQ(Load(c.bytes), c.code) << c.what;
        EXPECT_EQ(VmGetTop(state), top + (c.code == 0 ? 1 : 0)) << c.what;
        VmSetTop(state, top);
    }
}

TEST_F(ChunkLoad, EveryTruncationIsUnexpectedEnd) {
    const std::vector<uint8_t> full = BuildChunk(RichFunction(), true);
    for (size_t n = 1; n < full.size(); n++) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + (ptrdiff_t)n);
        ASSERT_EQ(Load(cut, 7), ERR_UNEXPECTEDEOF) << "cut at " << n;
    }
    EXPECT_EQ(VmGetTop(state), 0);
    VmCollectGarbage(state);
}

// Offsets in the chunk of a one-instruction function without source: header 21, source length
// 21, line defined 25, four bytes 29, then the counts.
constexpr size_t kLineCountAt = 33, kLocalCountAt = 37, kConstantCountAt = 45, kNestedCountAt = 49,
                 kCodeCountAt = 57 - 4;

TEST_F(ChunkLoad, LyingSizesAllocateNothingTheyClaim) {
    struct Lie {
        const char* what;
        size_t at;      // where the count or length lies
        bool cutAfter;  // end the input right after it
    } lies[] = {
        {"source length", 21, false},  // the rest of the chunk is read as its text
        {"line count", kLineCountAt, false},
        {"local count", kLocalCountAt, true},
        {"constant count", kConstantCountAt, true},
        {"nested count", kNestedCountAt, true},
        {"code count", kCodeCountAt, false},
    };
    Function f;
    f.code = {kReturn};
    for (const Lie& lie : lies) {
        std::vector<uint8_t> b = BuildChunk(f);
        ASSERT_EQ(b[lie.at], lie.at == kCodeCountAt ? 1 : 0) << lie.what;
        b[lie.at] = 0xFF, b[lie.at + 1] = 0xFF, b[lie.at + 2] = 0xFF, b[lie.at + 3] = 0x7F;
        if (lie.cutAfter) b.resize(lie.at + 4);
        VmCollectGarbage(state);
        size_t before = state->g->nblocks;
        MemoryReader r{&b, SIZE_MAX};
        r.state = state;
        EXPECT_EQ(VmLoad(state, ReadMemory, &r, "lie"), ERR_UNEXPECTEDEOF) << lie.what;
        EXPECT_LT(r.peakBytes, before + (1u << 20)) << lie.what;
        EXPECT_LT(state->g->nblocks, before + (1u << 20)) << lie.what;
    }
}

// A chain of functions each nesting the next, written without recursion.
std::vector<uint8_t> NestedChain(int depth) {
    chunktest::Writer w(false);
    w.Header(chunktest::Header());
    for (int i = 0; i < depth; i++) {
        w.Int(0);  // source
        w.Int(0);  // line defined
        w.Byte(0), w.Byte(0), w.Byte(0), w.Byte(2);
        w.Int(0), w.Int(0), w.Int(0), w.Int(0);  // lines, locals, upvalue names, constants
        w.Int(i + 1 < depth ? 1 : 0);            // nested
    }
    for (int i = 0; i < depth; i++) {
        w.Int(1);
        w.Word(kReturn);
    }
    return w.Out();
}

TEST_F(ChunkLoad, NestingIsBounded) {
    EXPECT_EQ(Load(NestedChain(1)), 0);
    EXPECT_EQ(Load(NestedChain(VM_CHUNK_MAXNESTING)), 0);
    EXPECT_EQ(Load(NestedChain(VM_CHUNK_MAXNESTING + 1)), ERR_BADBYTECODE);
    EXPECT_EQ(Load(NestedChain(100000)), ERR_BADBYTECODE);
}

TEST_F(ChunkLoad, DumpRefusesWhatIsNoScriptFunction) {
    int calls = 0;
    auto count = [](VmState*, const void*, size_t, void* data) {
        ++*static_cast<int*>(data);
        return 0;
    };
    VmPushCFunction(state, [](VmState*) { return 0; });
    EXPECT_EQ(VmDumpFunction(state, -1, count, &calls), ERR_NOQZFUNC);
    VmPushNumber(state, 1);
    EXPECT_EQ(VmDumpFunction(state, -1, count, &calls), ERR_NOQZFUNC);
    EXPECT_EQ(VmDumpFunction(state, 5, count, &calls), ERR_NOQZFUNC);
    EXPECT_EQ(calls, 0);
}

TEST_F(ChunkLoad, DumpStopsAtTheFirstWriterFailure) {
    ASSERT_EQ(Load(BuildChunk(RichFunction())), 0);
    struct Failing {
        int calls = 0;
    } w;
    auto failSecond = [](VmState*, const void*, size_t, void* data) {
        return ++static_cast<Failing*>(data)->calls == 2 ? (int)ERR_MEM : 0;
    };
    EXPECT_EQ(VmDumpFunction(state, -1, failSecond, &w), ERR_MEM);
    EXPECT_EQ(w.calls, 2);
}

// Chunks from the assembler, a writer independent of ours.
const char* const kAssembled = R"(
.function main
  .source "@asm.qzs"
  .local "n" 1 9
  .line 1
    GETGLOBAL r0 "DebugPrint"
    LOADK     r1 -0.25
    LOADK     r2 1
    LOADK     r3 3
    LOADK     r4 1
    JMP       test
body:
    MOVE      r5 r2
test:
    FORLOOP   r2 body
    CLOSURE   r0 inner
    MOVE      r0 r1
    CALL      r0 1 1
    RETURN    r0 1
  .function inner
    .source "@asm.qzs"
    .upvalname "x"
    .line 7
      GETUPVAL  r1 u0
      EQ        1 r1 nil
      JMP       +1
      LOADK     r1 "a\0b"
      RETURN    r1 2
  .end
.end
)";

TEST_F(ChunkLoad, AssembledChunksLoadInBothByteOrders) {
    std::string error;
    AsmOptions little, big;
    big.bigEndian = true;
    std::vector<uint8_t> l = QzAssemble(kAssembled, little, &error);
    ASSERT_FALSE(l.empty()) << error;
    std::vector<uint8_t> b = QzAssemble(kAssembled, big, &error);
    ASSERT_FALSE(b.empty()) << error;
    ASSERT_EQ(Load(l), 0);
    std::vector<uint8_t> fromLittle = Dump();
    ASSERT_EQ(Load(b, 3), 0);
    EXPECT_EQ(Dump(), fromLittle);
    // The nested source equal to its parent's is written as absent, and loads back the same.
    EXPECT_LT(fromLittle.size(), l.size());
    EXPECT_EQ(TopProto()->p[0]->source, TopProto()->source);
    ASSERT_EQ(Load(fromLittle), 0);
    EXPECT_EQ(Dump(), fromLittle);

    big.truncateAt = 40;
    EXPECT_EQ(Load(QzAssemble(kAssembled, big, &error)), ERR_UNEXPECTEDEOF);
}

TEST_F(ChunkLoad, SeedCorpusOfTheFuzzerLoads) {
    // The fuzz seeds must stay valid chunks (and one text script), or they seed nothing useful.
    const std::string dir = std::string(QZ_SOURCE_DIR) + "/fuzz/corpus/chunk_fuzz/";
    for (const char* name : {"minimal_le.qzb", "minimal_be.qzb", "rich_le.qzb", "rich_be.qzb", "text.txt"}) {
        FILE* f = fopen((dir + name).c_str(), "rb");
        ASSERT_NE(f, nullptr) << name;
        std::vector<uint8_t> bytes;
        int c;
        while ((c = fgetc(f)) != EOF) bytes.push_back((uint8_t)c);
        fclose(f);
        EXPECT_EQ(Load(bytes), strstr(name, ".txt") ? ERR_BADSIGNATURE : 0) << name;
    }
}

// Functions made while a script runs, dumped and loaded again, run like the originals; an upvalue
// has no value to come back with and reads nil.
TEST_F(ChunkLoad, DumpedRunningFunctionsRunAfterLoading) {
    const char* text = R"(
.function main
    LOADK    r2 41
    CLOSURE  r0 get
    MOVE     r0 r2
    CLOSURE  r1 add
    RETURN   r0 3
  .function get
    .upvalname "x"
      GETUPVAL r0 u0
      RETURN   r0 2
  .end
  .function add
    .params 2
      ADD      r0 r0 r1
      CONCAT   r0 r0 r1
      RETURN   r0 2
  .end
.end
)";
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(text, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    ASSERT_EQ(Load(bytes), 0);
    ASSERT_EQ(VmProtectedCall(state, 0, 2, 0), 0);  // get, add

    auto reload = [&](int index) {
        std::vector<uint8_t> dumped;
        ASSERT_EQ(VmDumpFunction(state, index, WriteVector, &dumped), 0);
        ASSERT_EQ(Load(dumped), 0);
    };
    VmPushValue(state, 1);
    ASSERT_EQ(VmProtectedCall(state, 0, 1, 0), 0);
    EXPECT_EQ(VmToNumber(state, -1), 41);
    VmPop(state, 1);
    reload(1);
    ASSERT_EQ(VmProtectedCall(state, 0, 1, 0), 0);
    EXPECT_EQ(VmType(state, -1), VM_TNIL);
    VmPop(state, 1);

    reload(2);
    VmPushNumber(state, 2);
    VmPushNumber(state, 3);
    ASSERT_EQ(VmProtectedCall(state, 2, 1, 0), 0);
    EXPECT_STREQ(VmToString(state, -1), "53");
}

}  // namespace

}  // namespace chunk_load_test
