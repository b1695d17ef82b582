// Assembler and disassembler: exact bytes for a small chunk, byte orders, header overrides for
// broken chunks, error messages with line numbers, and chunk -> text -> chunk round trips.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "asm/asm.h"
#include "asm/asm_chunk.h"
#include "tools/asm_test_util.h"
#include "vm/vm_opcodes.h"

namespace asm_test {

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back((uint8_t)std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

AsmFunction ReadMain(const std::vector<uint8_t>& bytes) {
    AsmChunk chunk;
    std::string error;
    EXPECT_TRUE(AsmReadChunk(bytes.data(), bytes.size(), &chunk, &error)) << error;
    return chunk.main;
}

const char* kSmall =
    ".function main\n"
    "  .source \"@t\"\n"
    "  .line 5\n"
    "  LOADK r0 \"x\"\n"
    "  ADD r1 r0 2.5\n"
    "  JMP done push\n"
    "done:\n"
    "  RETURN r0 1\n"
    ".end\n";

TEST(Assembler, SmallChunkHasTheExpectedBytesInBothOrders) {
    // Computed independently: header, source "@t", four lines of 5, constants "x" and 2.5,
    // LOADK 0x00000001, ADD r1 r0 K1 0x01003ECB, JMP +0 with the push flag 0x9FFFFFDB, RETURN 0x00008022.
    const std::string little =
        "1b515a42010404040608090908b6099368e7f57d41030000004074000000000000000002040000000500000005000000"
        "050000000500000000000000000000000200000004020000007800030000000000000440000000000400000001000000"
        "cb3e0001dbffff9f22800000";
    const std::string big =
        "1b515a42000404040608090908417df5e7689309b600000003407400000000000000000200000004000000050000000500"
        "000005000000050000000000000000000000020400000002780003400400000000000000000000000000040000000101"
        "003ecb9fffffdb00008022";
    EXPECT_EQ(Assemble(kSmall), FromHex(little));
    AsmOptions opts;
    opts.bigEndian = true;
    EXPECT_EQ(Assemble(kSmall, opts), FromHex(big));
    // The text's own .endian wins over the default.
    EXPECT_EQ(Assemble(std::string(".endian big\n") + kSmall), FromHex(big));
}

TEST(Assembler, ConstantOperands) {
    std::vector<uint8_t> bytes = Assemble(
        ".function main\n"
        "  .const 7\n"                 // k0, declared explicitly
        "  LOADK r0 \"a\\0b\\x41\"\n"  // k1, escapes in the bytes
        "  ADD r1 7 \"a\\0b\\x41\"\n"  // both reuse k0 and k1
        "  EQ 1 nil k9\n"              // nil becomes k2; k9 is taken as written
        "  JMP +1\n"
        "  GETGLOBAL r2 -0\n"    // -0 is not 0: k3
        "  SETTABLE r0 0 nan\n"  // 0 is k4, nan k5
        "  RETURN r0 1\n"
        ".end\n");
    AsmFunction f = ReadMain(bytes);
    ASSERT_EQ(f.constants.size(), 6u);
    EXPECT_EQ(f.constants[1].str.bytes, std::string("a\0bA\0", 5));
    EXPECT_EQ(f.constants[1].str.len, 5);
    EXPECT_EQ(f.constants[2].tag, ASM_CONST_NIL);
    EXPECT_EQ(f.constants[3].numBits, 0x8000000000000000ull);
    EXPECT_EQ(f.constants[4].numBits, 0u);
    EXPECT_EQ(f.constants[5].numBits, 0x7FF8000000000000ull);
    EXPECT_EQ(f.code[0], VmCreateABx(OP_LOADK, 0, 1));
    EXPECT_EQ(f.code[1], VmCreateABC(OP_ADD, 1, 250, 251));
    EXPECT_EQ(f.code[2], VmCreateABC(OP_EQ, 1, 252, 259));
    EXPECT_EQ(f.code[4], VmCreateABx(OP_GETGLOBAL, 2, 3));
    EXPECT_EQ(f.code[5], VmCreateABC(OP_SETTABLE, 0, 254, 255));
}

TEST(Assembler, JumpsLabelsAndClosures) {
    std::vector<uint8_t> bytes = Assemble(
        ".function main\n"
        "top: LOADNIL r0 r1\n"
        "  FORLOOP r0 top\n"  // back to 0 from 2: -2
        "  TFORPREP r0 out\n"
        "  JMP top jf=3\n"
        "  CLOSURE r1 inner\n"  // forward reference by name
        "  CLOSURE r1 0\n"
        "out:\n"
        "  RETURN r0 1\n"
        "  .function other\n"
        "    RETURN r0 1\n"
        "  .end\n"
        "  .function inner\n"
        "    .upvalname \"a\"\n"
        "    .upvalname \"b\"\n"
        "    RETURN r0 1\n"
        "  .end\n"
        ".end\n");
    AsmFunction f = ReadMain(bytes);
    ASSERT_EQ(f.code.size(), 7u);
    EXPECT_EQ(f.code[1], VmCreateAsBx(OP_FORLOOP, 0, -2));
    EXPECT_EQ(f.code[2], VmCreateAsBx(OP_TFORPREP, 0, 3));
    EXPECT_EQ(f.code[3], VmCreateJ(-4, 3));
    EXPECT_EQ(f.code[4], VmCreateABx(OP_CLOSURE, 1, 1));
    EXPECT_EQ(f.code[5], VmCreateABx(OP_CLOSURE, 1, 0));
    ASSERT_EQ(f.functions.size(), 2u);
    EXPECT_EQ(f.functions[1].numUpvalues, 2);  // from the upvalue names when not given
    EXPECT_EQ(f.lineInfo.size(), 0u);          // no .line: no line info
}

TEST(Assembler, MaxStackIsComputedFromTheRegistersUsed) {
    struct Case {
        const char* body;
        int expected;
    } cases[] = {
        {"RETURN r0 1", 1},
        {".params 3\n.vararg\nRETURN r0 1", 4},
        {"MOVE r4 r9\nRETURN r0 1", 10},
        {"ADD r0 r7 k0\nRETURN r0 1", 8},  // a constant operand uses no register
        {"CALL r3 4 3\nRETURN r0 1", 7},   // arguments up to R(A+B-1)
        {"CALL r3 1 6\nRETURN r0 1", 8},   // results up to R(A+C-2)
        {"RETURN r2 5", 6},
        {"SELF r5 r0 \"m\"\nRETURN r0 1", 7},
        {"SETLIST r1 3\nRETURN r0 1", 6},
        {"FORLOOP r2 0\nRETURN r0 1", 5},
        {"TFORLOOP r0 0 2\nJMP 0\nRETURN r0 1", 8},
        {".maxstack 200\nRETURN r0 1", 200},    // explicit wins
        {".word 0x0A000000\nRETURN r0 1", 11},  // raw words count too (MOVE r10 r0)
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = Assemble(std::string(".function main\n") + c.body + "\n.end\n");
        EXPECT_EQ(ReadMain(bytes).maxStack, c.expected) << c.body;
    }
}

TEST(Assembler, PlayerLabelsAreInstructionIndexes) {
    AsmResult res;
    std::string error;
    ASSERT_TRUE(
        QzAssembleFull(".function main\n  .label Start\n  LOADNIL r0 r0\n  .label next\n"
                       "  RETURN r0 1 1\n.end\n",
                       AsmOptions(), &res, &error))
        << error;
    ASSERT_EQ(res.labels.size(), 2u);
    EXPECT_EQ(res.labels[0], std::make_pair(std::string("Start"), 0));
    EXPECT_EQ(res.labels[1], std::make_pair(std::string("next"), 1));
}

TEST(Assembler, AppletContainerWrapsTheChunk) {
    const std::string body = ".function main\n  LOADNIL r0 r0\n  .label go\n  RETURN r0 1\n.end\n";
    std::vector<uint8_t> chunk = Assemble(body);
    std::vector<uint8_t> applet = Assemble(
        ".applet\n"
        ".record 10 u8 6 u8 0\n"
        ".record 11 cstr \"T\"\n"
        ".record 4 str16 \"ab\"\n"
        ".record 33 xstr \"x\" i16 -2 u32 0xC0DECAFE f64 -1.5 bytes \"\\0z\" hex 0102\n" +
        body + ".after hex 00 u8 0x49\n");
    std::vector<uint8_t> expected = FromHex(
        "515a4100"    // "QZA" and a zero byte
        "0a0600"      // version 6.0
        "0b5400"      // title "T"
        "0400026162"  // str16 "ab"
        "2187ff"
        "fffe"
        "c0decafe"
        "bff8000000000000"
        "007a"
        "0102"
        "09"
        "00000001"
        "00000001"
        "676f00"  // labels: one, value 1, "go"
        "01");    // bytecode record
    uint32_t n = (uint32_t)chunk.size();
    for (int shift = 24; shift >= 0; shift -= 8) expected.push_back((uint8_t)(n >> shift));
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    expected.push_back(0);
    expected.push_back(0x49);
    EXPECT_EQ(applet, expected);

    // The option does the same as the directive; bad fields name their line.
    AsmOptions opts;
    opts.applet = true;
    std::vector<uint8_t> wrapped = Assemble(body, opts);
    EXPECT_EQ(wrapped.size(), 4 + (1 + 4 + 4 + 3) + (1 + 4) + chunk.size());  // magic, labels, bytecode
    std::string error;
    EXPECT_TRUE(QzAssemble(".applet\n.record 2 u8 256\n" + body, AsmOptions(), &error).empty());
    EXPECT_NE(error.find("line 2: u8 256 out of range 0..255"), std::string::npos) << error;
    EXPECT_TRUE(QzAssemble(".record 2 xstr \"a\\0\"\n" + body, AsmOptions(), &error).empty());
    EXPECT_NE(error.find("line 1: xstr cannot hold the byte 0"), std::string::npos) << error;
}

TEST(Assembler, HeaderOverridesForBrokenChunks) {
    const std::string body = ".function main\n  RETURN r0 1\n.end\n";
    std::vector<uint8_t> good = Assemble(body);
    ASSERT_EQ(good.size(), 21u + 4 + 4 + 4 + 6 * 4 + 4);

    AsmOptions sig;
    sig.signature = "\x1BQZC";
    std::vector<uint8_t> b = Assemble(body, sig);
    EXPECT_EQ(b[3], 'C');
    EXPECT_EQ(b.size(), good.size());

    AsmOptions order;
    order.byteOrderByte = 7;
    b = Assemble(body, order);
    EXPECT_EQ(b[4], 7);
    EXPECT_TRUE(std::equal(b.begin() + 5, b.end(), good.begin() + 5));  // data stays little-endian

    for (int i = 0; i < 8; i++) {
        AsmOptions sizes;
        sizes.sizeBytes[i] = 99;
        b = Assemble(body, sizes);
        for (int k = 0; k < 8; k++) EXPECT_EQ(b[5 + k], k == i ? 99 : good[5 + k]);
    }

    AsmOptions num;
    num.testNumber = 31415926.9;
    b = Assemble(body, num);
    double d;
    memcpy(&d, &b[13], 8);
    EXPECT_EQ(d, 31415926.9);

    AsmOptions cut;
    cut.truncateAt = 30;
    EXPECT_EQ(Assemble(body, cut), std::vector<uint8_t>(good.begin(), good.begin() + 30));
    cut.truncateAt = 10000;
    EXPECT_EQ(Assemble(body, cut), good);

    // The same through directives.
    b = Assemble(".signature \"\\x1BQZ\"\n.byteorder 2\n.sizes 8 4 4 6 8 9 9 8\n.testnumber 1.5\n.truncate 22\n" +
                 body);
    EXPECT_EQ(b, FromHex("1b515a020804040608090908000000000000f83f0000"));
    EXPECT_EQ(Assemble(".function main\n  .truncate 4\n  RETURN r0 1\n.end\n"), FromHex("1b515a42"));
}

TEST(Assembler, BrokenRecordsThroughRawForms) {
    // Negative counts, a bad constant tag, a wrong upvalue-name count, raw strings: the reader
    // refuses what the loader must refuse, and the writer puts the values where they belong.
    struct Case {
        const char* body;
        const char* readerError;  // empty: the record reads
    } cases[] = {
        {".count constants -1", "negative constant count"},
        {".count code -3", "negative instruction count"},
        {".count lines -1", "negative line info count"},
        {".count locals -1", "negative local variable count"},
        {".count upvalnames -1", "negative upvalue name count"},
        {".count functions -1", "negative function count"},
        {".const tag 7", "bad constant type 7"},
        {".source raw -2 \"\"", "negative string length"},
        {".source raw 40 \"ab\"", "string beyond the end of the chunk"},
        {".count code 9", "instruction count beyond the end of the chunk"},
        {".upvalues 1\n.upvalname \"a\"\n.upvalname \"b\"", ""},
        {".lineinfo 1 2 3", ""},
        {".source raw \"no nul\"\n.local raw 3 \"abc\" 0 -1", ""},
        {".word 0xFFFFFFFF 0x0000003F", ""},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = Assemble(std::string(".function main\n") + c.body + "\nRETURN r0 1\n.end\n");
        AsmChunk chunk;
        std::string error;
        bool ok = AsmReadChunk(bytes.data(), bytes.size(), &chunk, &error);
        if (*c.readerError) {
            EXPECT_FALSE(ok) << c.body;
            EXPECT_NE(error.find(c.readerError), std::string::npos) << c.body << ": " << error;
        } else {
            EXPECT_TRUE(ok) << c.body << ": " << error;
        }
        // Whatever the bytes, the disassembler's text gives them back.
        ExpectRoundTrip(bytes, ok);
    }
    std::vector<uint8_t> bytes =
        Assemble(".function main\n.upvalues 1\n.upvalname \"a\"\n.upvalname \"b\"\nRETURN r0 1\n.end\n");
    AsmFunction f = ReadMain(bytes);
    EXPECT_EQ(f.numUpvalues, 1);
    EXPECT_EQ(f.upvalueNames.size(), 2u);
}

TEST(Assembler, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {".function main\n  MOVE r0 r1\n  FROB r0\n.end\n", "line 3: unknown mnemonic 'FROB'"},
        {".function main\n  JMP nowhere\n  RETURN r0 1\n.end\n", "line 2: undefined label 'nowhere'"},
        {".function main\n  MOVE r256 r0\n.end\n", "line 2: operand A r256 out of range 0..255"},
        {".function main\n  ADD r0 r250 r1\n.end\n", "line 2: operand B r250 out of range 0..249"},
        {".function main\n  LOADK r0 \"a\\q\"\n.end\n", "line 2: unknown escape \\q"},
        {".function main\n  LOADK r0 \"abc\n.end\n", "line 2: missing closing quote"},
        {"\n.function main\n  RETURN r0 1\n", "line 2: .function without .end"},
        {"MOVE r0 r1\n", "line 1: instruction 'MOVE' outside a function"},
        {".function main\nx:\nx:\n.end\n", "line 3: label 'x' defined twice"},
        {".function main\n  .frob 1\n.end\n", "line 2: unknown directive .frob"},
        {"; nothing\n", "no .function"},
        {".function main\n.end\n.function again\n.end\n", "line 3: a second main function"},
        {".function main\n  CLOSURE r0 missing\n.end\n", "line 2: undefined function 'missing'"},
        {".function main\n  MOVE r0 r1 r2 r3\n.end\n", "line 2: too many operands for MOVE"},
        {".function main\n  LOADK r0 k262144\n.end\n", "line 2: operand Bx: bad constant index 'k262144'"},
        {".function main\n  JMP +8388609\n.end\n", "line 2: jump offset out of range"},
        {".function main\n  .params 256\n.end\n", "line 2: params 256 out of range 0..255"},
        {".function main\n  .const tag 3\n.end\n", "line 2: tag 3 is a valid type"},
        {".function main\n  .label a\n  .function f\n    .label b\n  .end\n.end\n",
         "line 4: .label is only allowed in the main function"},
        {".function main\n  RETURN r0 1\n.end\n.endian big\n", "line 4: .endian after the main function"},
    };
    for (const Case& c : cases) {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(c.text, AsmOptions(), &error);
        EXPECT_TRUE(bytes.empty()) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error << "\nwanted: " << c.message;
    }
}

TEST(Disassembler, RoundTripsWrittenSamplesInBothOrders) {
    std::ifstream in(std::string(QZ_SOURCE_DIR) + "/demos/hello.qzs");
    std::stringstream hello;
    hello << in.rdbuf();
    const std::string sample =
        ".signature \"\\x1BQZB\"\n"
        ".function main\n"
        "  .source raw \"odd\\xFF\"\n"
        "  .linedefined -4\n"
        "  .vararg 9\n"
        "  .upvalues 3\n"
        "  .upvalname none\n"
        "  .local \"i\" start finish\n"
        "  .local \"\" -1 70000\n"
        "  .const 1\n"
        "  .const 1\n"  // a duplicate: later uses print as k1
        "  .const bits:7FF0000000000001\n"
        "  .const raw \"x\"\n"
        "  .const none\n"
        "  .const -inf\n"
        "  .const 1e300\n"
        "  .const 5e-324\n"
        "start:\n"
        "  .line 10\n"
        "  ADD r0 k1 1\n"
        "  LT 1 k2 k3\n"
        "  JMP +8388608 jf=1\n"
        "  JMP -8388607\n"
        "  FORLOOP r1 -131071\n"
        "  TFORPREP r1 +131072\n"
        "  .line -3\n"
        "  CLOSURE r0 7\n"
        "  .word 0x7F7F7F7F 0 0xFFFFFFFF\n"
        "  LOADBOOL r0 511 511\n"
        "  MOVE r0 r1 5\n"
        "  CLOSE r0 0 1\n"
        "  GETUPVAL r0 0 3\n"
        "finish:\n"
        "  RETURN r0 0 1\n"
        "  .function a\n"
        "    .source \"\"\n"
        "    .function b\n"
        "      .lineinfo 1 2\n"
        "      .count upvalnames 0\n"
        "    .end\n"
        "  .end\n"
        ".end\n"
        ".hex 00 01 \"tail\"\n";
    for (const std::string& text : {hello.str(), sample, std::string(kSmall)}) {
        for (bool big : {false, true}) {
            AsmOptions opts;
            opts.bigEndian = big;
            std::vector<uint8_t> bytes = Assemble(text, opts);
            std::string dis = ExpectRoundTrip(bytes);
            // The printed text is stable: printing the reassembled chunk gives the same text.
            std::vector<uint8_t> again = Assemble(dis);
            EXPECT_EQ(QzDisassemble(again.data(), again.size(), nullptr), dis);
        }
    }
}

TEST(Disassembler, UndecodableBytesPrintAsRawChunk) {
    std::vector<uint8_t> good = Assemble(kSmall);
    for (size_t cut : {0ul, 5ul, 21ul, 40ul, good.size() - 1}) {
        std::vector<uint8_t> part(good.begin(), good.begin() + cut);
        std::string text = ExpectRoundTrip(part, false);
        EXPECT_NE(text.find(".rawchunk"), std::string::npos);
    }
}

// Random function records through the byte writer: every opcode and operand field, odd counts
// and strings, both byte orders. Each must come back byte for byte through the text form.
AsmStr RandomStr(std::mt19937& rng) {
    AsmStr s;
    int kind = rng() % 4;
    int n = rng() % 6;
    for (int i = 0; i < n; i++) s.bytes.push_back((char)(rng() % 4 == 0 ? rng() % 256 : 'a' + rng() % 26));
    if (kind == 0) return AsmStr();
    if (kind == 1) s.bytes.push_back('\0');
    s.len = (int32_t)s.bytes.size();
    return s;
}

AsmFunction RandomFunction(std::mt19937& rng, int depth) {
    AsmFunction f;
    f.source = RandomStr(rng);
    f.lineDefined = (int32_t)rng();
    f.numUpvalues = rng() % 4;
    f.numParams = rng() % 256;
    f.isVararg = rng() % 3;
    f.maxStack = rng() % 256;
    int ncode = rng() % 20;
    for (int i = 0; i < ncode; i++) {
        uint32_t w = rng();
        if (rng() % 2) w = (w & ~0x3Fu) | (rng() % VM_NUM_OPCODES);
        f.code.push_back(w);
    }
    int lines = rng() % 3 == 0 ? (int)(rng() % 4) : rng() % 2 ? ncode : 0;
    for (int i = 0; i < lines; i++) f.lineInfo.push_back(rng() % 5 == 0 ? (int32_t)rng() : 7);
    for (int i = (int)(rng() % 3); i > 0; i--)
        f.locals.push_back({RandomStr(rng), (int32_t)rng(), (int32_t)(rng() % 9)});
    for (int i = (int)(rng() % 3); i > 0; i--) f.upvalueNames.push_back(RandomStr(rng));
    for (int i = (int)(rng() % 8); i > 0; i--) {
        AsmConst k;
        int t = rng() % 3;
        k.tag = t == 0 ? ASM_CONST_NIL : t == 1 ? ASM_CONST_NUMBER : ASM_CONST_STRING;
        if (k.tag == ASM_CONST_NUMBER)
            k.numBits = rng() % 2 ? ((uint64_t)rng() << 32 | rng()) : 0x4000000000000000ull + (rng() % 4 << 50);
        if (k.tag == ASM_CONST_STRING) k.str = RandomStr(rng);
        f.constants.push_back(k);
        if (rng() % 4 == 0) f.constants.push_back(k);  // duplicates
    }
    if (depth < 3)
        for (int i = (int)(rng() % 3); i > 0; i--) f.functions.push_back(RandomFunction(rng, depth + 1));
    return f;
}

TEST(Disassembler, RoundTripsRandomChunks) {
    std::mt19937 rng(12345);
    for (int n = 0; n < 300; n++) {
        AsmChunk chunk;
        chunk.bigEndian = n % 2;
        chunk.byteOrderByte = chunk.bigEndian ? (n % 7 == 1 ? 9 : 0) : 1;
        chunk.main = RandomFunction(rng, 0);
        if (n % 10 == 0) chunk.trailer = "xyz";
        if (n % 13 == 0) chunk.testBits = (uint64_t)rng() << 20;
        std::vector<uint8_t> bytes = AsmWriteChunk(chunk);
        ExpectRoundTrip(bytes);
        if (HasFailure()) {
            ADD_FAILURE() << "chunk " << n;
            break;
        }
    }
}

TEST(Disassembler, AnyBytesRoundTrip) {
    // Damaged chunks (changed bytes, cut short, grown) decode or fall back to the raw form; either
    // way the text gives the same bytes back.
    std::mt19937 rng(777);
    std::vector<uint8_t> base = Assemble(std::string(".endian big\n") + kSmall);
    std::vector<uint8_t> little = Assemble(kSmall);
    for (int n = 0; n < 400; n++) {
        std::vector<uint8_t> bytes = n % 2 ? base : little;
        for (int k = (int)(rng() % 4); k >= 0; k--) bytes[rng() % bytes.size()] = (uint8_t)rng();
        if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
        if (rng() % 8 == 0) bytes.push_back((uint8_t)rng());
        std::string error;
        std::string text = QzDisassemble(bytes.data(), bytes.size(), &error);
        std::string asmError;
        EXPECT_EQ(QzAssemble(text, AsmOptions(), &asmError), bytes) << asmError << "\n" << text;
        if (HasFailure()) break;
    }
}

TEST(Tools, CommandLineToolsMatchTheLibrary) {
    const std::string bin = std::string(QZ_BINARY_DIR) + "/bin/";
    const std::string src = std::string(QZ_SOURCE_DIR) + "/demos/hello.qzs";
    char dir[] = "/tmp/qzasm_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string chunkPath = std::string(dir) + "/hello.qzb";
    std::string out;

    ASSERT_EQ(Shell(bin + "qzasm " + src + " -o " + chunkPath + " --big-endian", &out), 0);
    std::string bytes = ReadFile(chunkPath);
    AsmOptions big;
    big.bigEndian = true;
    std::vector<uint8_t> expected = Assemble(ReadFile(src), big);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);

    ASSERT_EQ(Shell(bin + "qzdis " + chunkPath, &out), 0);
    EXPECT_EQ(out, QzDisassemble(expected.data(), expected.size(), nullptr));

    // A bad source leaves an existing output alone and names the line.
    const std::string bad = std::string(dir) + "/bad.qzs";
    std::ofstream(bad) << ".function main\n  RETURN r0 1\n  NOPE\n.end\n";
    ASSERT_EQ(Shell(bin + "qzasm " + bad + " -o " + chunkPath + " 2>&1", &out), 1);
    EXPECT_NE(out.find("bad.qzs: line 3: unknown mnemonic 'NOPE'"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(chunkPath), bytes);

    // A truncated chunk prints in the raw form and fails.
    ASSERT_EQ(Shell(bin + "qzasm " + src + " -o " + chunkPath + " --truncate 30", &out), 0);
    EXPECT_EQ(Shell(bin + "qzdis " + chunkPath + " 2>/dev/null", &out), 1);
    EXPECT_NE(out.find(".rawchunk"), std::string::npos);

    std::string cleanup = "rm -rf " + std::string(dir);
    EXPECT_EQ(system(cleanup.c_str()), 0);
}

TEST(Tools, UnreadableInputsFailCleanly) {
    // A folder opens like a file but does not read: each tool names it and fails.
    const std::string bin = std::string(QZ_BINARY_DIR) + "/bin/";
    const std::string folder = std::string(QZ_SOURCE_DIR) + "/demos";
    const std::string applet = std::string(QZ_BINARY_DIR) + "/unreadable_test.qza";
    std::string out;
    ASSERT_EQ(Shell(bin + "qzasm " + folder + "/demo.qzs -o " + applet, &out), 0);
    const struct {
        std::string command, message;
    } cases[] = {
        {"qzasm " + folder + " -o " + applet, "qzasm: cannot read " + folder},
        {"qzdis " + folder, "qzdis: cannot read " + folder},
        {"qzlink " + folder + " " + applet + " -o " + applet + ".linked", "qzlink: cannot read player: " + folder},
        {"qzlink " + bin + "qzplayer " + folder + " -o " + applet + ".linked", "qzlink: cannot read applet: " + folder},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Shell(bin + c.command + " 2>&1", &out), 1) << c.command;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.command << ": " << out;
    }
    std::remove(applet.c_str());
}

}  // namespace

}  // namespace asm_test
