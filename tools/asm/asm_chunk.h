// In-memory model of a bytecode chunk as the assembler builds it and the disassembler reads it,
// with the byte writer and reader. The model keeps every byte-level detail (string lengths, flag
// bytes, counts) so that reading a chunk and writing it again reproduces its bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A counted string as stored in a chunk: the length field, then exactly the bytes given.
// A normal string has len = bytes.size() with a trailing NUL in bytes; len 0 is "no string".
struct AsmStr {
    int32_t len = 0;
    std::string bytes;
};

AsmStr AsmTextString(const std::string& text);  // text plus its terminating NUL

enum { ASM_CONST_NIL = 0, ASM_CONST_NUMBER = 3, ASM_CONST_STRING = 4 };

struct AsmConst {
    int tag = ASM_CONST_NIL;  // type byte; only 0, 3 and 4 carry the payloads below
    uint64_t numBits = 0;     // the double's bit pattern for a number
    AsmStr str;               // the string for a string
};

bool AsmSameConst(const AsmConst& a, const AsmConst& b);

struct AsmLocal {
    AsmStr name;
    int32_t startPc = 0;
    int32_t endPc = 0;
};

struct AsmFunction {
    std::string name;  // assembler-side name (CLOSURE operands); not stored in the chunk
    AsmStr source;
    int32_t lineDefined = 0;
    uint8_t numUpvalues = 0, numParams = 0, isVararg = 0, maxStack = 0;
    std::vector<int32_t> lineInfo;
    std::vector<AsmLocal> locals;
    std::vector<AsmStr> upvalueNames;
    std::vector<AsmConst> constants;
    std::vector<AsmFunction> functions;
    std::vector<uint32_t> code;
    // Counts written instead of the real ones (deliberately broken chunks).
    std::optional<int32_t> countLines, countLocals, countUpvalueNames, countConstants, countFunctions, countCode;
};

constexpr uint64_t ASM_TEST_NUMBER_BITS = 0x417DF5E7689309B6ull;  // 31415926.535897933
extern const uint8_t asmDefaultSizes[8];                          // 4 4 4 6 8 9 9 8
extern const char asmDefaultSignature[5];                         // "\x1BQZB"

struct AsmChunk {
    std::string signature = std::string(asmDefaultSignature, 4);
    bool bigEndian = false;  // order of every int, double and instruction word
    int byteOrderByte = 1;   // the header byte (1 little, 0 big unless overridden)
    uint8_t sizes[8] = {4, 4, 4, 6, 8, 9, 9, 8};
    uint64_t testBits = ASM_TEST_NUMBER_BITS;
    AsmFunction main;
    std::string trailer;  // bytes written after the main function
};

std::vector<uint8_t> AsmWriteChunk(const AsmChunk& chunk);

// Reads chunk bytes into the model; false with a message when the bytes do not follow the layout.
// Byte-order byte 1 reads little-endian, any other value big-endian. Bytes behind the main
// function go to the trailer.
bool AsmReadChunk(const uint8_t* data, size_t size, AsmChunk* chunk, std::string* error);

// Nesting limit for function records, in text and in chunks.
constexpr int ASM_MAX_DEPTH = 200;
