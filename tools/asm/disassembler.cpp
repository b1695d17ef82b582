// Disassembler: chunk bytes -> model -> assembler text that assembles back to the same bytes.
#include <cstring>
#include <set>

#include "asm/asm.h"
#include "asm/asm_chunk.h"
#include "asm/asm_text.h"
#include "asm/disassembler.h"
#include "vm/vm_opcodes.h"

namespace {

// A prefix letter and a number, as in "k3" or "L12".
std::string Numbered(const char* prefix, long long n) { return std::string(prefix).append(std::to_string(n)); }

std::string StrText(const AsmStr& s) {
    bool text = s.len == (int32_t)s.bytes.size() && !s.bytes.empty() && s.bytes.back() == '\0';
    if (text) return AsmQuote(s.bytes.substr(0, s.bytes.size() - 1));
    if (s.len == 0 && s.bytes.empty()) return "none";
    if (s.len == (int32_t)s.bytes.size()) return "raw " + AsmQuote(s.bytes);
    return "raw " + std::to_string(s.len) + " " + AsmQuote(s.bytes);
}

std::string ConstText(const AsmConst& k) {
    if (k.tag == ASM_CONST_NIL) return "nil";
    if (k.tag == ASM_CONST_NUMBER) return AsmFormatNumber(k.numBits);
    if (k.tag == ASM_CONST_STRING) return StrText(k.str);
    return "tag " + std::to_string(k.tag);
}

// Operand text for constant k: the literal when the assembler would pick this very entry for it,
// otherwise kN.
std::string ConstOperand(const AsmFunction& f, int k) {
    if (k < (int)f.constants.size()) {
        const AsmConst& c = f.constants[k];
        bool literal = c.tag == ASM_CONST_NIL || c.tag == ASM_CONST_NUMBER ||
                       (c.tag == ASM_CONST_STRING && c.str.len == (int32_t)c.str.bytes.size() && !c.str.bytes.empty() &&
                        c.str.bytes.back() == '\0');
        if (literal) {
            int first = 0;
            while (!AsmSameConst(f.constants[first], c)) first++;
            if (first == k) return ConstText(c);
        }
    }
    return Numbered("k", k);
}

std::string Hex32(uint32_t w) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%08X", w);
    return buf;
}

// Jump target of a word, or false when it has none.
bool JumpTarget(uint32_t w, size_t pc, long long* target) {
    int op = VmGetOp(w);
    if (op == OP_JMP)
        *target = (long long)pc + 1 + VmGetJ(w);
    else if (op == OP_FORLOOP || op == OP_TFORPREP)
        *target = (long long)pc + 1 + VmGetSBx(w);
    else
        return false;
    return true;
}

std::string Instruction(const AsmFunction& f, size_t pc, const std::set<long long>& labels) {
    uint32_t w = f.code[pc];
    int op = VmGetOp(w);
    if (op >= VM_NUM_OPCODES) return ".word " + Hex32(w);
    const VmOpInfo& info = vmOpInfo[op];
    std::string s = info.name;
    long long target;
    auto targetText = [&](int offset) {
        if (JumpTarget(w, pc, &target) && labels.count(target)) return Numbered("L", target);
        return Numbered(offset >= 0 ? "+" : "", offset);
    };
    if (info.mode == VM_iJ24) {
        s += " " + targetText(VmGetJ(w));
        int jf = VmGetJF(w);
        if (jf == (int)VM_JF_PUSHRETURN)
            s += " push";
        else if (jf != 0)
            s += " jf=" + std::to_string(jf);
        return s;
    }
    int a = VmGetA(w);
    bool flagA = op == OP_EQ || op == OP_LT || op == OP_LE;
    s += flagA ? " " + std::to_string(a) : " r" + std::to_string(a);
    if (info.mode == VM_iAsBx) return s + " " + targetText(VmGetSBx(w));
    if (info.mode == VM_iABx) {
        int bx = VmGetBx(w);
        if (info.bxConstant)
            s += " " + ConstOperand(f, bx);
        else if (op == OP_CLOSURE && bx < (int)f.functions.size())
            s += " f" + std::to_string(bx);
        else
            s += " " + std::to_string(bx);
        return s;
    }
    int fields[2] = {VmGetB(w), VmGetC(w)};
    VmOpArg kinds[2] = {info.b, info.c};
    int used = 3;
    switch (op) {
    case OP_MOVE:
    case OP_LOADNIL:
    case OP_GETUPVAL:
    case OP_SETUPVAL:
    case OP_UNM:
    case OP_NOT:
    case OP_BNOT: used = 2; break;
    case OP_CLOSE: used = 1; break;
    default: break;
    }
    int shown = fields[1] != 0 ? 3 : fields[0] != 0 ? (used > 2 ? used : 2) : used;
    for (int k = 0; k + 2 <= shown; k++) {
        int v = fields[k];
        if (kinds[k] == VM_ARG_R || (kinds[k] == VM_ARG_RK && v < VM_RK_CONST))
            s += " r" + std::to_string(v);
        else if (kinds[k] == VM_ARG_RK)
            s += " " + ConstOperand(f, v - VM_RK_CONST);
        else if (k == 0 && (op == OP_GETUPVAL || op == OP_SETUPVAL))
            s += " u" + std::to_string(v);
        else
            s += " " + std::to_string(v);
    }
    return s;
}

// Prints a function record; labels (main function only) become ".label" lines before the
// instructions they name.
void Function(const AsmFunction& f, const std::string& name, int depth, const AsmLabelList& labels, std::string* out) {
    std::string ind(2 * depth, ' ');
    std::string in = ind + "  ";
    *out += ind + ".function " + name + "\n";
    if (!(f.source.len == 0 && f.source.bytes.empty())) *out += in + ".source " + StrText(f.source) + "\n";
    if (f.lineDefined != 0) *out += in + ".linedefined " + std::to_string(f.lineDefined) + "\n";
    *out += in + ".params " + std::to_string(f.numParams) + "\n";
    if (f.isVararg == 1)
        *out += in + ".vararg\n";
    else if (f.isVararg != 0)
        *out += in + ".vararg " + std::to_string(f.isVararg) + "\n";
    *out += in + ".upvalues " + std::to_string(f.numUpvalues) + "\n";
    *out += in + ".maxstack " + std::to_string(f.maxStack) + "\n";
    for (const AsmStr& u : f.upvalueNames) *out += in + ".upvalname " + StrText(u) + "\n";
    for (const AsmLocal& l : f.locals)
        *out +=
            in + ".local " + StrText(l.name) + " " + std::to_string(l.startPc) + " " + std::to_string(l.endPc) + "\n";
    for (size_t k = 0; k < f.constants.size(); k++)
        *out += in + ".const " + ConstText(f.constants[k]) + "   ; k" + std::to_string(k) + "\n";
    bool perInstructionLines = !f.code.empty() && f.lineInfo.size() == f.code.size();
    if (!f.lineInfo.empty() && !perInstructionLines) {
        *out += in + ".lineinfo";
        for (int32_t l : f.lineInfo) *out += " " + std::to_string(l);
        *out += "\n";
    }
    for (size_t k = 0; k < f.functions.size(); k++)
        Function(f.functions[k], Numbered("f", (long long)k), depth + 1, AsmLabelList(), out);

    std::set<long long> jumpLabels;
    for (size_t pc = 0; pc < f.code.size(); pc++) {
        long long target;
        if (JumpTarget(f.code[pc], pc, &target) && target >= 0 && target <= (long long)f.code.size())
            jumpLabels.insert(target);
    }
    size_t nextLabel = 0;
    auto playerLabels = [&](size_t pc) {
        for (; nextLabel < labels.size() && labels[nextLabel].second == (int)pc; nextLabel++)
            *out += in + ".label " + labels[nextLabel].first + "\n";
    };
    for (size_t pc = 0; pc < f.code.size(); pc++) {
        if (jumpLabels.count((long long)pc)) *out += ind + Numbered("L", (long long)pc) + ":\n";
        playerLabels(pc);
        if (perInstructionLines && (pc == 0 || f.lineInfo[pc] != f.lineInfo[pc - 1]))
            *out += in + ".line " + std::to_string(f.lineInfo[pc]) + "\n";
        std::string text = in + Instruction(f, pc, jumpLabels);
        if (text.size() < 40) text.resize(40, ' ');
        *out += text + " ; " + std::to_string(pc) + "\n";
    }
    if (jumpLabels.count((long long)f.code.size())) *out += ind + Numbered("L", (long long)f.code.size()) + ":\n";
    playerLabels(f.code.size());
    const struct {
        const char* name;
        const std::optional<int32_t>& v;
    } counts[] = {{"lines", f.countLines},         {"locals", f.countLocals},       {"upvalnames", f.countUpvalueNames},
                  {"constants", f.countConstants}, {"functions", f.countFunctions}, {"code", f.countCode}};
    for (const auto& c : counts)
        if (c.v) *out += in + ".count " + c.name + " " + std::to_string(*c.v) + "\n";
    *out += ind + ".end\n";
}

}  // namespace

void AsmHexLines(const std::string& bytes, std::string* out) {
    for (size_t i = 0; i < bytes.size(); i += 16) {
        *out += ".hex";
        for (size_t k = i; k < bytes.size() && k < i + 16; k++) {
            char buf[8];
            snprintf(buf, sizeof buf, " %02X", (unsigned char)bytes[k]);
            *out += buf;
        }
        *out += '\n';
    }
}

bool AsmDecodeChunk(const uint8_t* data, size_t size, AsmChunk* chunk, std::string* why) {
    if (!AsmReadChunk(data, size, chunk, why)) return false;
    if (AsmWriteChunk(*chunk) != std::vector<uint8_t>(data, data + size)) {
        *why = "the chunk does not write back to the same bytes";
        return false;
    }
    return true;
}

std::string AsmChunkText(const AsmChunk& chunk, const AsmLabelList& labels) {
    std::string out;
    if (chunk.bigEndian) out += ".endian big\n";
    if (chunk.byteOrderByte != (chunk.bigEndian ? 0 : 1))
        out += ".byteorder " + std::to_string(chunk.byteOrderByte) + "\n";
    if (chunk.signature != std::string(asmDefaultSignature, 4)) out += ".signature " + AsmQuote(chunk.signature) + "\n";
    if (memcmp(chunk.sizes, asmDefaultSizes, 8) != 0) {
        out += ".sizes";
        for (uint8_t s : chunk.sizes) out += ' ' + std::to_string(s);
        out += "\n";
    }
    if (chunk.testBits != ASM_TEST_NUMBER_BITS) out += ".testnumber " + AsmFormatNumber(chunk.testBits) + "\n";
    Function(chunk.main, "main", 0, labels, &out);
    AsmHexLines(chunk.trailer, &out);
    return out;
}

std::string QzDisassemble(const uint8_t* data, size_t size, std::string* error) {
    if (size >= 4 && (memcmp(data, "QZA\0", 4) == 0 || memcmp(data, "QZZ\0", 4) == 0))
        return AsmAppletText(data, size, error);
    AsmChunk chunk;
    std::string why;
    if (!AsmDecodeChunk(data, size, &chunk, &why)) {
        if (error) *error = why;
        std::string out = "; not decodable as a chunk: " + why + "\n.rawchunk\n";
        AsmHexLines(std::string((const char*)data, size), &out);
        return out;
    }
    if (error) error->clear();
    return AsmChunkText(chunk, AsmLabelList());
}
