// Assembler: source text -> chunk model -> bytes. See FORMAT.md for the text form.
#include <cstring>
#include <map>

#include <zlib.h>

#include "asm/asm.h"
#include "asm/asm_chunk.h"
#include "asm/asm_text.h"
#include "vm/vm_opcodes.h"

namespace {

struct Token {
    bool quoted = false;  // a "..." string; text holds its bytes
    std::string text;
};

struct JumpFix {
    size_t pc;
    std::string label;
    int line;
};

struct NameFix {
    size_t index;  // instruction index (CLOSURE) or local record index
    std::string name;
    int line;
    bool isEnd;  // local records: the end pc rather than the start pc
};

struct FuncState {
    AsmFunction f;
    int openLine = 0;
    bool explicitUpvalues = false, explicitMaxStack = false;
    bool hasLines = false, explicitLineInfo = false;
    int32_t curLine = 0;
    std::vector<int32_t> instrLines;  // the current line of each instruction
    std::map<std::string, int> labels;
    std::vector<JumpFix> jumps;
    std::vector<NameFix> closures, localPcs;
};

void PutBE(std::string* out, uint64_t v, int n) {
    for (int i = n - 1; i >= 0; i--) out->push_back((char)(v >> (8 * i)));
}

class Assembler {
public:
    Assembler(const AsmOptions& o, AsmResult* r) : opts(o), result(r) {}

    bool Run(const std::string& text);
    std::string error;

private:
    const AsmOptions& opts;
    AsmResult* result;
    AsmChunk chunk;
    bool endianSet = false;
    int byteOrderSet = -1;
    bool mainDone = false;
    bool raw = false;
    bool headerTouched = false;
    std::string rawBytes;
    bool applet = false;
    bool packed = false;  // the container is written in its zlib-packed form
    int packLevel = Z_DEFAULT_COMPRESSION;
    uint32_t packWord = 0;  // the word behind the packed magic
    // Record fields that hold container offsets: "mark NAME" notes where it stands (from the
    // container start), "offset NAME" writes an i32 filled in with that mark's offset.
    std::map<std::string, uint32_t> marks;
    struct OffsetField {
        size_t at;  // position in appletRecords
        std::string mark;
        int line;
    };
    std::vector<OffsetField> offsetFields;
    std::string appletRecords, appletAfter;  // container records before and bytes after the bytecode
    std::string appletInside;                // bytes behind the bytecode record within the packed data
    int insideLine = 0;
    long long truncateAt = -1;
    std::vector<FuncState> stack;
    int lineNo = 0;

    bool Fail(const std::string& msg) {
        if (error.empty()) error = "line " + std::to_string(lineNo) + ": " + msg;
        return false;
    }
    bool FailAt(int line, const std::string& msg) {
        lineNo = line;
        return Fail(msg);
    }

    bool Tokenize(const std::string& line, std::vector<Token>* out);
    bool Line(std::vector<Token>& toks);
    bool Directive(const std::vector<Token>& t);
    bool FunctionDirective(const std::vector<Token>& t);
    bool Instruction(const std::vector<Token>& t);
    bool OpenFunction(const std::vector<Token>& t);
    bool CloseFunction();

    // Operand readers; each reports its own error.
    bool Int(const std::vector<Token>& t, size_t i, int64_t lo, int64_t hi, const char* what, int64_t* out);
    bool Str(const std::vector<Token>& t, size_t* i, AsmStr* out);
    bool Const(const std::vector<Token>& t, size_t* i, AsmConst* out);
    bool Reg(const Token& tok, int64_t hi, const char* what, int64_t* out);
    bool ConstRef(const Token& tok, int64_t maxIndex, const char* what, int64_t* out);
    bool Hex(const std::vector<Token>& t, std::string* out);
    bool Fields(const std::vector<Token>& t, size_t i, std::string* out);
    void Emit(uint32_t word) {
        FuncState& fs = stack.back();
        fs.f.code.push_back(word);
        fs.instrLines.push_back(fs.curLine);
    }
};

bool Assembler::Tokenize(const std::string& line, std::vector<Token>* out) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ';') break;
        if (c == ' ' || c == '\t' || c == ',' || c == '\r') {
            i++;
            continue;
        }
        Token tok;
        if (c == '"') {
            std::string msg;
            if (!AsmUnquote(line, &i, &tok.text, &msg)) return Fail(msg);
            tok.quoted = true;
        } else {
            size_t start = i;
            while (i < line.size() && !strchr(" \t,;\"\r", line[i])) i++;
            tok.text = line.substr(start, i - start);
        }
        out->push_back(std::move(tok));
    }
    return true;
}

bool Assembler::Run(const std::string& text) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        lineNo++;
        std::vector<Token> toks;
        if (!Tokenize(text.substr(pos, nl - pos), &toks) || !Line(toks)) return false;
        pos = nl + 1;
    }
    lineNo++;
    if (!stack.empty()) return FailAt(stack.back().openLine, ".function without .end");
    if (!raw && !mainDone) return Fail("no .function: the text defines no main function");

    if (!endianSet) chunk.bigEndian = opts.bigEndian;
    chunk.byteOrderByte = byteOrderSet >= 0 ? byteOrderSet : chunk.bigEndian ? 0 : 1;
    // Options win over the text.
    if (opts.signature) chunk.signature = *opts.signature;
    if (opts.byteOrderByte >= 0) chunk.byteOrderByte = opts.byteOrderByte & 0xFF;
    for (int i = 0; i < 8; i++)
        if (opts.sizeBytes[i] >= 0) chunk.sizes[i] = (uint8_t)opts.sizeBytes[i];
    if (opts.testNumber) memcpy(&chunk.testBits, &*opts.testNumber, 8);
    if (opts.truncateAt >= 0) truncateAt = opts.truncateAt;

    std::vector<uint8_t> bytes;
    if (raw)
        bytes.assign(rawBytes.begin(), rawBytes.end());
    else
        bytes = AsmWriteChunk(chunk);
    if (applet || opts.applet) {
        // Container: magic, the records in text order, the player labels, then the bytecode record
        // (the reader stops after it) and whatever follows it (an icon block).
        std::string c("QZA\0", 4);
        for (const OffsetField& f : offsetFields) {
            auto m = marks.find(f.mark);
            if (m == marks.end()) return FailAt(f.line, "offset of an unknown mark '" + f.mark + "'");
            for (int k = 0; k < 4; k++) appletRecords[f.at + k] = (char)(m->second >> (24 - 8 * k));
        }
        c += appletRecords;
        if (!result->labels.empty()) {
            c.push_back(9);
            PutBE(&c, (uint32_t)result->labels.size(), 4);
            for (const auto& l : result->labels) {
                PutBE(&c, (uint32_t)l.second, 4);
                c += l.first;
                c.push_back('\0');
            }
        }
        if (bytes.size() > INT32_MAX) return Fail("bytecode too large for a container");
        c.push_back(1);
        PutBE(&c, (uint32_t)bytes.size(), 4);
        c.append(bytes.begin(), bytes.end());
        if (packed) {
            // "QZZ\0", a word (zero unless given), then the whole plain container and the
            // .inside bytes as one zlib stream; the bytes of .after follow the packed data.
            c += appletInside;
            uLongf size = compressBound((uLong)c.size());
            std::string z(8 + size, '\0');
            z.replace(0, 4, std::string("QZZ\0", 4));
            for (int k = 0; k < 4; k++) z[4 + k] = (char)(packWord >> (24 - 8 * k));
            if (compress2(reinterpret_cast<Bytef*>(&z[8]), &size, reinterpret_cast<const Bytef*>(c.data()),
                          (uLong)c.size(), packLevel) != Z_OK)
                return Fail("the container cannot be packed");
            z.resize(8 + size);
            c.swap(z);
        } else if (!appletInside.empty()) {
            return FailAt(insideLine, ".inside needs a packed container (.applet packed)");
        }
        c += appletAfter;
        bytes.assign(c.begin(), c.end());
    }
    if (truncateAt >= 0 && (unsigned long long)truncateAt < bytes.size()) bytes.resize((size_t)truncateAt);
    result->chunk = std::move(bytes);
    return true;
}

bool Assembler::Line(std::vector<Token>& toks) {
    if (toks.empty()) return true;
    const Token& first = toks[0];
    if (!first.quoted && first.text.size() > 1 && first.text.back() == ':') {
        std::string name = first.text.substr(0, first.text.size() - 1);
        if (!AsmIsName(name)) return Fail("bad label name '" + name + "'");
        if (stack.empty()) return Fail("label '" + name + "' outside a function");
        FuncState& fs = stack.back();
        if (fs.labels.count(name)) return Fail("label '" + name + "' defined twice");
        fs.labels[name] = (int)fs.f.code.size();
        toks.erase(toks.begin());
        if (toks.empty()) return true;
    }
    if (toks[0].quoted) return Fail("a line must start with a directive, a label or a mnemonic");
    if (toks[0].text[0] == '.') return Directive(toks);
    if (stack.empty()) return Fail("instruction '" + toks[0].text + "' outside a function");
    return Instruction(toks);
}

bool Assembler::Int(const std::vector<Token>& t, size_t i, int64_t lo, int64_t hi, const char* what, int64_t* out) {
    if (i >= t.size()) return Fail(std::string("missing ") + what);
    if (t[i].quoted || !AsmParseInt(t[i].text, out))
        return Fail(std::string(what) + ": '" + t[i].text + "' is not an integer");
    if (*out < lo || *out > hi)
        return Fail(std::string(what) + " " + t[i].text + " out of range " + std::to_string(lo) + ".." +
                    std::to_string(hi));
    return true;
}

bool Assembler::Str(const std::vector<Token>& t, size_t* i, AsmStr* out) {
    if (*i >= t.size()) return Fail("missing string");
    const Token& tok = t[*i];
    if (tok.quoted) {
        *out = AsmTextString(tok.text);
        ++*i;
        return true;
    }
    if (tok.text == "none") {
        *out = AsmStr();
        ++*i;
        return true;
    }
    if (tok.text == "raw") {
        ++*i;
        bool hasLen = false;
        int64_t len = 0;
        if (*i < t.size() && !t[*i].quoted) {
            if (!Int(t, *i, INT32_MIN, INT32_MAX, "raw string length", &len)) return false;
            hasLen = true;
            ++*i;
        }
        if (*i >= t.size() || !t[*i].quoted) return Fail("raw needs a quoted string");
        out->bytes = t[*i].text;
        out->len = hasLen ? (int32_t)len : (int32_t)out->bytes.size();
        ++*i;
        return true;
    }
    return Fail("expected a string: \"text\", none, or raw [LENGTH] \"bytes\"");
}

bool Assembler::Const(const std::vector<Token>& t, size_t* i, AsmConst* out) {
    if (*i >= t.size()) return Fail("missing constant");
    const Token& tok = t[*i];
    *out = AsmConst();
    if (tok.quoted || tok.text == "raw" || tok.text == "none") {
        out->tag = ASM_CONST_STRING;
        return Str(t, i, &out->str);
    }
    if (tok.text == "nil") {
        ++*i;
        return true;
    }
    if (tok.text == "tag") {
        int64_t v;
        if (!Int(t, *i + 1, 0, 255, "constant tag", &v)) return false;
        if (v == ASM_CONST_NIL || v == ASM_CONST_NUMBER || v == ASM_CONST_STRING)
            return Fail("tag " + std::to_string(v) + " is a valid type: write the constant itself");
        out->tag = (int)v;
        *i += 2;
        return true;
    }
    if (!AsmParseNumber(tok.text, &out->numBits)) return Fail("bad constant '" + tok.text + "'");
    out->tag = ASM_CONST_NUMBER;
    ++*i;
    return true;
}

bool Assembler::Hex(const std::vector<Token>& t, std::string* out) {
    for (size_t i = 1; i < t.size(); i++) {
        const std::string& s = t[i].text;
        if (t[i].quoted) {
            *out += s;
            continue;
        }
        if (s.size() % 2 != 0) return Fail("hex bytes need an even number of digits: '" + s + "'");
        for (size_t k = 0; k < s.size(); k += 2) {
            int64_t v;
            if (!AsmParseInt("0x" + s.substr(k, 2), &v) || s[k] == '-' || s[k] == '+')
                return Fail("bad hex byte '" + s.substr(k, 2) + "'");
            out->push_back((char)v);
        }
    }
    return true;
}

// Big-endian container fields: pairs of a kind and a value.
bool Assembler::Fields(const std::vector<Token>& t, size_t i, std::string* out) {
    for (; i < t.size(); i += 2) {
        const std::string& kind = t[i].text;
        if (t[i].quoted) return Fail("expected a field kind (u8 i16 u16 i32 u32 f64 cstr str16 xstr bytes hex)");
        if (i + 1 >= t.size()) return Fail("field " + kind + " needs a value");
        const Token& val = t[i + 1];
        int64_t v;
        if (kind == "mark" || kind == "offset") {
            if (out != &appletRecords) return Fail(kind + " is only allowed in .record");
            if (val.quoted || !AsmIsName(val.text)) return Fail(kind + " needs a mark name");
            if (kind == "mark") {
                uint64_t at = 4 + (uint64_t)out->size();
                if (at > INT32_MAX) return Fail("mark beyond the reach of a 32-bit offset");
                if (!marks.emplace(val.text, (uint32_t)at).second) return Fail("mark '" + val.text + "' defined twice");
            } else {
                offsetFields.push_back({out->size(), val.text, lineNo});
                PutBE(out, 0, 4);
            }
        } else if (kind == "u8" || kind == "i16" || kind == "u16" || kind == "i32" || kind == "u32") {
            int n = kind == "u8" ? 1 : kind[1] == '1' ? 2 : 4;
            int64_t lo = kind[0] == 'i' ? -(1ll << (8 * n - 1)) : 0;
            int64_t hi = kind[0] == 'i' ? (1ll << (8 * n - 1)) - 1 : (1ll << (8 * n)) - 1;
            if (!Int(t, i + 1, lo, hi, kind.c_str(), &v)) return false;
            PutBE(out, (uint64_t)v, n);
        } else if (kind == "f64") {
            uint64_t bits;
            if (val.quoted || !AsmParseNumber(val.text, &bits)) return Fail("f64: '" + val.text + "' is not a number");
            PutBE(out, bits, 8);
        } else if (kind == "hex") {
            std::vector<Token> one = {Token(), val};
            if (!Hex(one, out)) return false;
        } else if (!val.quoted) {
            return Fail("field " + kind + " needs a quoted string");
        } else if (kind == "cstr") {
            *out += val.text;
            out->push_back('\0');
        } else if (kind == "str16") {
            if (val.text.size() > 32767) return Fail("str16 longer than 32767 bytes");
            PutBE(out, val.text.size(), 2);
            *out += val.text;
        } else if (kind == "xstr") {
            for (char c : val.text) {
                if ((unsigned char)c == 0) return Fail("xstr cannot hold the byte 0 (it ends the string)");
                out->push_back((char)~c);
            }
            out->push_back((char)0xFF);
        } else if (kind == "bytes") {
            *out += val.text;
        } else {
            return Fail("unknown field kind '" + kind + "'");
        }
    }
    return true;
}

bool Assembler::Directive(const std::vector<Token>& t) {
    const std::string& d = t[0].text;
    int64_t v;
    if (!stack.empty() && d != ".hex" && d != ".rawchunk" && d != ".truncate" && d != ".applet" && d != ".record" &&
        d != ".after" && d != ".inside")
        return FunctionDirective(t);
    if (d == ".function") {
        if (raw) return Fail(".function in a raw chunk");
        if (mainDone) return Fail("a second main function");
        return OpenFunction(t);
    }
    if (d == ".hex") {
        if (raw) return Hex(t, &rawBytes);
        if (mainDone) return Hex(t, &chunk.trailer);
        return Fail(".hex is only allowed after the main function or in a raw chunk");
    }
    if (d == ".rawchunk") {
        if (!stack.empty() || mainDone || headerTouched) return Fail(".rawchunk must come before anything else");
        raw = true;
        return true;
    }
    if (d == ".applet") {
        applet = true;
        if (t.size() == 1) return true;
        if (t[1].quoted || t[1].text != "packed") return Fail(".applet takes only packed [level N] [word N]");
        packed = true;
        for (size_t i = 2; i < t.size(); i += 2) {
            if (t[i].text == "level" && !t[i].quoted) {
                if (!Int(t, i + 1, 0, 9, "level", &v)) return false;
                packLevel = (int)v;
            } else if (t[i].text == "word" && !t[i].quoted) {
                if (!Int(t, i + 1, 0, UINT32_MAX, "word", &v)) return false;
                packWord = (uint32_t)v;
            } else {
                return Fail(".applet packed takes level N and word N");
            }
        }
        return true;
    }
    if (d == ".record") {
        int64_t tag;
        if (!Int(t, 1, 0, 255, "record tag", &tag)) return false;
        appletRecords.push_back((char)tag);
        return Fields(t, 2, &appletRecords);
    }
    if (d == ".after") return Fields(t, 1, &appletAfter);
    if (d == ".inside") {
        if (!insideLine) insideLine = lineNo;
        return Fields(t, 1, &appletInside);
    }
    if (d == ".truncate") {
        if (!Int(t, 1, 0, INT64_MAX, "truncate length", &v)) return false;
        truncateAt = v;
        return t.size() == 2 || Fail("too many operands");
    }
    if (raw) return Fail(d + " in a raw chunk (only .hex, .truncate and container directives are allowed)");
    if (mainDone) return Fail(d + " after the main function");
    headerTouched = true;
    if (d == ".endian") {
        if (t.size() != 2 || (t[1].text != "big" && t[1].text != "little")) return Fail(".endian needs big or little");
        endianSet = true;
        chunk.bigEndian = t[1].text == "big";
        return true;
    }
    if (d == ".byteorder") {
        if (!Int(t, 1, 0, 255, "byte-order byte", &v)) return false;
        byteOrderSet = (int)v;
        return t.size() == 2 || Fail("too many operands");
    }
    if (d == ".signature") {
        if (t.size() != 2 || !t[1].quoted) return Fail(".signature needs one quoted string");
        chunk.signature = t[1].text;
        return true;
    }
    if (d == ".sizes") {
        if (t.size() != 9) return Fail(".sizes needs eight values");
        for (int i = 0; i < 8; i++) {
            if (!Int(t, i + 1, 0, 255, "size byte", &v)) return false;
            chunk.sizes[i] = (uint8_t)v;
        }
        return true;
    }
    if (d == ".testnumber") {
        if (t.size() != 2 || t[1].quoted || !AsmParseNumber(t[1].text, &chunk.testBits))
            return Fail(".testnumber needs one number");
        return true;
    }
    return Fail("unknown directive " + d + (d == ".end" ? " (no open function)" : ""));
}

bool Assembler::OpenFunction(const std::vector<Token>& t) {
    if (t.size() > 2) return Fail("too many operands");
    if ((int)stack.size() >= ASM_MAX_DEPTH) return Fail("functions nested too deeply");
    std::string name;
    if (t.size() == 2) {
        if (t[1].quoted || !AsmIsName(t[1].text)) return Fail("bad function name");
        name = t[1].text;
        if (!stack.empty())
            for (const AsmFunction& sib : stack.back().f.functions)
                if (sib.name == name) return Fail("function '" + name + "' defined twice");
    }
    FuncState fs;
    fs.f.name = name;
    fs.openLine = lineNo;
    stack.push_back(std::move(fs));
    return true;
}

// Highest register count the code needs, from the operand fields of every word.
int NeededStack(const AsmFunction& f) {
    int need = f.numParams + (f.isVararg ? 1 : 0);
    auto use = [&](int n) { need = n > need ? n : need; };
    for (uint32_t w : f.code) {
        int op = VmGetOp(w);
        if (op >= VM_NUM_OPCODES) continue;
        const VmOpInfo& info = vmOpInfo[op];
        int a = VmGetA(w), b = VmGetB(w), c = VmGetC(w);
        if (info.mode == VM_iJ24) continue;
        use(a + 1);
        if (info.mode == VM_iABC) {
            if (info.b == VM_ARG_R || (info.b == VM_ARG_RK && b < VM_RK_CONST)) use(b + 1);
            if (info.c == VM_ARG_R || (info.c == VM_ARG_RK && c < VM_RK_CONST)) use(c + 1);
        }
        switch (op) {
        case OP_CALL:
        case OP_TAILCALL:
            if (b > 0) use(a + b);
            if (c > 1) use(a + c - 1);
            break;
        case OP_RETURN:
            if (c == 0 && b > 1) use(a + b - 1);
            break;
        case OP_SELF: use(a + 2); break;
        case OP_SETLIST: use(a + (VmGetBx(w) & 31) + 2); break;
        case OP_FORLOOP: use(a + 3); break;
        case OP_TFORPREP: use(a + 2); break;
        case OP_TFORLOOP: use(a + c + 6); break;
        default: break;
        }
    }
    return need;
}

bool Assembler::CloseFunction() {
    FuncState& fs = stack.back();
    AsmFunction& f = fs.f;
    for (const JumpFix& j : fs.jumps) {
        auto it = fs.labels.find(j.label);
        if (it == fs.labels.end()) return FailAt(j.line, "undefined label '" + j.label + "'");
        int offset = it->second - (int)(j.pc + 1);
        uint32_t& w = f.code[j.pc];
        if (VmGetOp(w) == OP_JMP)
            w = VmCreateJ(offset, VmGetJF(w));
        else
            w = VmCreateAsBx(VmGetOp(w), VmGetA(w), offset);
    }
    for (const NameFix& c : fs.closures) {
        size_t k = 0;
        while (k < f.functions.size() && f.functions[k].name != c.name) k++;
        if (k == f.functions.size()) return FailAt(c.line, "undefined function '" + c.name + "'");
        uint32_t& w = f.code[c.index];
        w = VmCreateABx(OP_CLOSURE, VmGetA(w), (int)k);
    }
    for (const NameFix& l : fs.localPcs) {
        auto it = fs.labels.find(l.name);
        if (it == fs.labels.end()) return FailAt(l.line, "undefined label '" + l.name + "'");
        (l.isEnd ? f.locals[l.index].endPc : f.locals[l.index].startPc) = it->second;
    }
    if (!fs.explicitLineInfo) f.lineInfo = fs.hasLines ? fs.instrLines : std::vector<int32_t>();
    if (!fs.explicitUpvalues) {
        if (f.upvalueNames.size() > 255) return Fail("more than 255 upvalue names: set .upvalues");
        f.numUpvalues = (uint8_t)f.upvalueNames.size();
    }
    if (!fs.explicitMaxStack) {
        int need = NeededStack(f);
        if (need > 255) return Fail("the code needs " + std::to_string(need) + " registers: set .maxstack");
        f.maxStack = (uint8_t)need;
    }
    AsmFunction done = std::move(f);
    stack.pop_back();
    if (stack.empty()) {
        chunk.main = std::move(done);
        mainDone = true;
    } else {
        stack.back().f.functions.push_back(std::move(done));
    }
    return true;
}

bool Assembler::FunctionDirective(const std::vector<Token>& t) {
    FuncState& fs = stack.back();
    AsmFunction& f = fs.f;
    const std::string& d = t[0].text;
    int64_t v;
    size_t i = 1;
    auto done = [&]() { return i == t.size() || Fail("too many operands for " + d); };
    if (d == ".function") return OpenFunction(t);
    if (d == ".end") return t.size() == 1 ? CloseFunction() : Fail("too many operands for .end");
    if (d == ".source") return Str(t, &i, &f.source) && done();
    if (d == ".linedefined") {
        if (!Int(t, 1, INT32_MIN, INT32_MAX, "line", &v)) return false;
        f.lineDefined = (int32_t)v;
        i = 2;
        return done();
    }
    if (d == ".params" || d == ".upvalues" || d == ".maxstack" || d == ".vararg") {
        if (d == ".vararg" && t.size() == 1)
            v = 1;
        else if (!Int(t, 1, 0, 255, d.c_str() + 1, &v))
            return false;
        i = t.size() == 1 ? 1 : 2;
        if (d == ".params") f.numParams = (uint8_t)v;
        if (d == ".vararg") f.isVararg = (uint8_t)v;
        if (d == ".upvalues") f.numUpvalues = (uint8_t)v, fs.explicitUpvalues = true;
        if (d == ".maxstack") f.maxStack = (uint8_t)v, fs.explicitMaxStack = true;
        return done();
    }
    if (d == ".upvalname") {
        AsmStr s;
        if (!Str(t, &i, &s)) return false;
        f.upvalueNames.push_back(std::move(s));
        return done();
    }
    if (d == ".local") {
        AsmLocal l;
        if (!Str(t, &i, &l.name)) return false;
        for (int k = 0; k < 2; k++, i++) {
            if (i >= t.size()) return Fail(".local needs a name, a start pc and an end pc");
            int32_t& pc = k == 0 ? l.startPc : l.endPc;
            if (!t[i].quoted && AsmIsName(t[i].text)) {
                fs.localPcs.push_back({f.locals.size(), t[i].text, lineNo, k == 1});
            } else {
                if (!Int(t, i, INT32_MIN, INT32_MAX, "pc", &v)) return false;
                pc = (int32_t)v;
            }
        }
        f.locals.push_back(std::move(l));
        return done();
    }
    if (d == ".const") {
        AsmConst k;
        if (!Const(t, &i, &k)) return false;
        f.constants.push_back(std::move(k));
        return done();
    }
    if (d == ".line") {
        if (fs.explicitLineInfo) return Fail(".line and .lineinfo in one function");
        if (!Int(t, 1, INT32_MIN, INT32_MAX, "line", &v)) return false;
        fs.curLine = (int32_t)v;
        fs.hasLines = true;
        i = 2;
        return done();
    }
    if (d == ".lineinfo") {
        if (fs.hasLines) return Fail(".line and .lineinfo in one function");
        fs.explicitLineInfo = true;
        for (; i < t.size(); i++) {
            if (!Int(t, i, INT32_MIN, INT32_MAX, "line", &v)) return false;
            f.lineInfo.push_back((int32_t)v);
        }
        return true;
    }
    if (d == ".count") {
        static const char* const names[] = {"lines", "locals", "upvalnames", "constants", "functions", "code"};
        std::optional<int32_t>* slots[] = {&f.countLines,     &f.countLocals,    &f.countUpvalueNames,
                                           &f.countConstants, &f.countFunctions, &f.countCode};
        if (t.size() != 3) return Fail(".count needs a field and a value");
        for (int k = 0; k < 6; k++)
            if (t[1].text == names[k]) {
                if (!Int(t, 2, INT32_MIN, INT32_MAX, "count", &v)) return false;
                *slots[k] = (int32_t)v;
                return true;
            }
        return Fail("unknown count '" + t[1].text + "' (lines, locals, upvalnames, constants, functions, code)");
    }
    if (d == ".word") {
        if (t.size() < 2) return Fail(".word needs a value");
        for (; i < t.size(); i++) {
            if (!Int(t, i, INT32_MIN, UINT32_MAX, "instruction word", &v)) return false;
            Emit((uint32_t)v);
        }
        return true;
    }
    if (d == ".label") {
        if (stack.size() != 1) return Fail(".label is only allowed in the main function");
        if (t.size() != 2 || t[1].quoted || !AsmIsName(t[1].text)) return Fail(".label needs a name");
        result->labels.emplace_back(t[1].text, (int)f.code.size());
        return true;
    }
    return Fail("unknown directive " + d);
}

bool Assembler::Reg(const Token& tok, int64_t hi, const char* what, int64_t* out) {
    std::string s = tok.text;
    if (!tok.quoted && s.size() > 1 && (s[0] == 'r' || s[0] == 'R')) s = s.substr(1);
    if (tok.quoted || !AsmParseInt(s, out) || s[0] == '-' || s[0] == '+')
        return Fail(std::string(what) + ": '" + tok.text + "' is not a register");
    if (*out > hi) return Fail(std::string(what) + " " + tok.text + " out of range 0.." + std::to_string(hi));
    return true;
}

// An operand naming a constant: kN, or a literal that is looked up in (or added to) the pool.
bool Assembler::ConstRef(const Token& tok, int64_t maxIndex, const char* what, int64_t* out) {
    std::vector<AsmConst>& pool = stack.back().f.constants;
    const std::string& s = tok.text;
    if (!tok.quoted && s.size() > 1 && (s[0] == 'k' || s[0] == 'K') && s[1] >= '0' && s[1] <= '9') {
        if (!AsmParseInt(s.substr(1), out) || *out > maxIndex)
            return Fail(std::string(what) + ": bad constant index '" + s + "'");
        return true;
    }
    AsmConst k;
    if (tok.quoted) {
        k.tag = ASM_CONST_STRING;
        k.str = AsmTextString(s);
    } else if (s == "nil") {
        k.tag = ASM_CONST_NIL;
    } else if (AsmParseNumber(s, &k.numBits)) {
        k.tag = ASM_CONST_NUMBER;
    } else {
        return Fail(std::string(what) + ": '" + s + "' is not a constant (a literal or kN)");
    }
    size_t n = 0;
    while (n < pool.size() && !AsmSameConst(pool[n], k)) n++;
    if (n == pool.size()) pool.push_back(k);
    if ((int64_t)n > maxIndex)
        return Fail(std::string(what) + ": constant index " + std::to_string(n) + " does not fit the operand");
    *out = (int64_t)n;
    return true;
}

bool Assembler::Instruction(const std::vector<Token>& t) {
    const std::string& mn = t[0].text;
    int op = VmOpcodeByName(mn.c_str());
    if (op < 0) return Fail("unknown mnemonic '" + mn + "'");
    const VmOpInfo& info = vmOpInfo[op];
    FuncState& fs = stack.back();
    size_t nops = t.size() - 1;
    auto tooMany = [&](size_t max) { return nops > max ? Fail("too many operands for " + mn) : true; };
    int64_t a = 0, b = 0, c = 0;

    if (info.mode == VM_iJ24) {
        if (!tooMany(2)) return false;
        if (nops < 1) return Fail("JMP needs a target");
        int64_t flags = 0;
        if (nops == 2) {
            const std::string& f = t[2].text;
            if (f == "push")
                flags = VM_JF_PUSHRETURN;
            else if (f.compare(0, 3, "jf=") != 0 || !AsmParseInt(f.substr(3), &flags) || flags < 0 || flags > 3)
                return Fail("JMP flag must be push or jf=0..3");
        }
        int64_t off = 0;
        if (!t[1].quoted && AsmParseInt(t[1].text, &off)) {
            if (off < -VM_J_BIAS || off > (int64_t)VM_MAXARG_J - VM_J_BIAS) return Fail("jump offset out of range");
        } else if (t[1].quoted || !AsmIsName(t[1].text)) {
            return Fail("bad jump target");
        } else {
            fs.jumps.push_back({fs.f.code.size(), t[1].text, lineNo});
        }
        Emit(VmCreateJ((int)off, (int)flags));
        return true;
    }

    if (nops >= 1 && !Reg(t[1], VM_MAXARG_A, "operand A", &a)) return false;

    if (info.mode == VM_iABC) {
        if (!tooMany(3)) return false;
        VmOpArg kinds[2] = {info.b, info.c};
        int64_t* vals[2] = {&b, &c};
        const char* names[2] = {"operand B", "operand C"};
        for (int k = 0; k < 2; k++) {
            if (nops < (size_t)k + 2) break;
            const Token& tok = t[k + 2];
            if (kinds[k] == VM_ARG_RK) {
                if (!tok.quoted && tok.text.size() > 1 && (tok.text[0] == 'r' || tok.text[0] == 'R')) {
                    if (!Reg(tok, VM_RK_CONST - 1, names[k], vals[k])) return false;
                } else {
                    if (!ConstRef(tok, VM_MAXARG_B - VM_RK_CONST, names[k], vals[k])) return false;
                    *vals[k] += VM_RK_CONST;
                }
            } else if (kinds[k] == VM_ARG_R) {
                if (!Reg(tok, VM_MAXARG_B, names[k], vals[k])) return false;
            } else {
                std::string s = tok.text;
                // Upvalue indexes may be written uN.
                if ((op == OP_GETUPVAL || op == OP_SETUPVAL) && k == 0 && s.size() > 1 && (s[0] == 'u' || s[0] == 'U'))
                    s = s.substr(1);
                if (tok.quoted || !AsmParseInt(s, vals[k]) || *vals[k] < 0 || *vals[k] > VM_MAXARG_B)
                    return Fail(std::string(names[k]) + ": '" + tok.text + "' is not an integer 0..511");
            }
        }
        Emit(VmCreateABC(op, (int)a, (int)b, (int)c));
        return true;
    }

    if (!tooMany(2)) return false;
    if (nops < 2) return Fail(mn + " needs two operands");
    const Token& tok = t[2];
    if (info.mode == VM_iAsBx) {
        int64_t off = 0;
        if (!tok.quoted && AsmParseInt(tok.text, &off)) {
            if (off < -VM_MAXARG_SBX || off > (int64_t)VM_MAXARG_BX - VM_MAXARG_SBX)
                return Fail("jump offset out of range");
        } else if (tok.quoted || !AsmIsName(tok.text)) {
            return Fail("bad jump target");
        } else {
            fs.jumps.push_back({fs.f.code.size(), tok.text, lineNo});
        }
        Emit(VmCreateAsBx(op, (int)a, (int)off));
        return true;
    }
    // ABx
    if (info.bxConstant) {
        if (!ConstRef(tok, VM_MAXARG_BX, "operand Bx", &b)) return false;
    } else if (op == OP_CLOSURE && !tok.quoted && AsmIsName(tok.text)) {
        fs.closures.push_back({fs.f.code.size(), tok.text, lineNo, false});
    } else if (tok.quoted || !AsmParseInt(tok.text, &b) || b < 0 || b > VM_MAXARG_BX) {
        return Fail("operand Bx: '" + tok.text + "' is not an integer 0.." + std::to_string(VM_MAXARG_BX));
    }
    Emit(VmCreateABx(op, (int)a, (int)b));
    return true;
}

}  // namespace

bool QzAssembleFull(const std::string& text, const AsmOptions& options, AsmResult* out, std::string* error) {
    AsmResult res;
    Assembler as(options, &res);
    bool ok = as.Run(text);
    if (error) *error = ok ? std::string() : as.error;
    if (ok) *out = std::move(res);
    return ok;
}

std::vector<uint8_t> QzAssemble(const std::string& text, const AsmOptions& options, std::string* error) {
    AsmResult res;
    if (!QzAssembleFull(text, options, &res, error)) return {};
    return std::move(res.chunk);
}

std::vector<uint8_t> QzAssemble(const std::string& text, std::string* error) {
    return QzAssemble(text, AsmOptions(), error);
}
