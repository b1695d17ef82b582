#include "asm/asm_chunk.h"

#include <cstring>

const uint8_t asmDefaultSizes[8] = {4, 4, 4, 6, 8, 9, 9, 8};
const char asmDefaultSignature[5] = "\x1BQZB";

AsmStr AsmTextString(const std::string& text) {
    AsmStr s;
    s.bytes = text;
    s.bytes.push_back('\0');
    s.len = (int32_t)s.bytes.size();
    return s;
}

bool AsmSameConst(const AsmConst& a, const AsmConst& b) {
    if (a.tag != b.tag) return false;
    if (a.tag == ASM_CONST_NUMBER) return a.numBits == b.numBits;
    if (a.tag == ASM_CONST_STRING) return a.str.len == b.str.len && a.str.bytes == b.str.bytes;
    return true;
}

namespace {

struct Writer {
    std::vector<uint8_t> out;
    bool big = false;

    void Byte(uint8_t b) { out.push_back(b); }
    void Bytes(const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }
    void Wide(uint64_t v, int n) {
        for (int i = 0; i < n; i++) {
            int shift = big ? 8 * (n - 1 - i) : 8 * i;
            out.push_back((uint8_t)(v >> shift));
        }
    }
    void Int(int32_t v) { Wide((uint32_t)v, 4); }
    void Str(const AsmStr& s) {
        Int(s.len);
        Bytes(s.bytes);
    }
    void Count(const std::optional<int32_t>& over, size_t real) { Int(over ? *over : (int32_t)real); }

    void Function(const AsmFunction& f) {
        Str(f.source);
        Int(f.lineDefined);
        Byte(f.numUpvalues);
        Byte(f.numParams);
        Byte(f.isVararg);
        Byte(f.maxStack);
        Count(f.countLines, f.lineInfo.size());
        for (int32_t line : f.lineInfo) Int(line);
        Count(f.countLocals, f.locals.size());
        for (const AsmLocal& l : f.locals) {
            Str(l.name);
            Int(l.startPc);
            Int(l.endPc);
        }
        Count(f.countUpvalueNames, f.upvalueNames.size());
        for (const AsmStr& s : f.upvalueNames) Str(s);
        Count(f.countConstants, f.constants.size());
        for (const AsmConst& k : f.constants) {
            Byte((uint8_t)k.tag);
            if (k.tag == ASM_CONST_NUMBER)
                Wide(k.numBits, 8);
            else if (k.tag == ASM_CONST_STRING)
                Str(k.str);
        }
        Count(f.countFunctions, f.functions.size());
        for (const AsmFunction& sub : f.functions) Function(sub);
        Count(f.countCode, f.code.size());
        for (uint32_t w : f.code) Wide(w, 4);
    }
};

struct Reader {
    const uint8_t* p = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool big = false;
    std::string error;

    bool Fail(const std::string& what) {
        if (error.empty()) error = what + " at byte " + std::to_string(pos);
        return false;
    }
    size_t Left() const { return size - pos; }
    bool Wide(uint64_t* v, int n) {
        if (Left() < (size_t)n) return Fail("unexpected end of chunk");
        uint64_t r = 0;
        for (int i = 0; i < n; i++) {
            int shift = big ? 8 * (n - 1 - i) : 8 * i;
            r |= (uint64_t)p[pos + i] << shift;
        }
        pos += n;
        *v = r;
        return true;
    }
    bool Byte(uint8_t* b) {
        if (Left() < 1) return Fail("unexpected end of chunk");
        *b = p[pos++];
        return true;
    }
    bool Int(int32_t* v) {
        uint64_t w = 0;
        if (!Wide(&w, 4)) return false;
        *v = (int32_t)(uint32_t)w;
        return true;
    }
    // A count of items that take at least minBytes each; checked against the bytes left.
    bool Count(int32_t* n, size_t minBytes, const char* what) {
        if (!Int(n)) return false;
        if (*n < 0) return Fail(std::string("negative ") + what + " count");
        if ((uint64_t)*n * minBytes > Left()) return Fail(std::string(what) + " count beyond the end of the chunk");
        return true;
    }
    bool Str(AsmStr* s) {
        if (!Int(&s->len)) return false;
        if (s->len < 0) return Fail("negative string length");
        if ((size_t)s->len > Left()) return Fail("string beyond the end of the chunk");
        s->bytes.assign((const char*)p + pos, (size_t)s->len);
        pos += (size_t)s->len;
        return true;
    }

    bool Function(AsmFunction* f, int depth) {
        if (depth > ASM_MAX_DEPTH) return Fail("functions nested too deeply");
        int32_t n;
        if (!Str(&f->source) || !Int(&f->lineDefined)) return false;
        if (!Byte(&f->numUpvalues) || !Byte(&f->numParams) || !Byte(&f->isVararg) || !Byte(&f->maxStack)) return false;
        if (!Count(&n, 4, "line info")) return false;
        f->lineInfo.resize((size_t)n);
        for (int32_t& line : f->lineInfo)
            if (!Int(&line)) return false;
        if (!Count(&n, 12, "local variable")) return false;
        f->locals.resize((size_t)n);
        for (AsmLocal& l : f->locals)
            if (!Str(&l.name) || !Int(&l.startPc) || !Int(&l.endPc)) return false;
        if (!Count(&n, 4, "upvalue name")) return false;
        f->upvalueNames.resize((size_t)n);
        for (AsmStr& s : f->upvalueNames)
            if (!Str(&s)) return false;
        if (!Count(&n, 1, "constant")) return false;
        f->constants.resize((size_t)n);
        for (AsmConst& k : f->constants) {
            uint8_t tag = 0;
            if (!Byte(&tag)) return false;
            k.tag = tag;
            if (tag == ASM_CONST_NUMBER) {
                if (!Wide(&k.numBits, 8)) return false;
            } else if (tag == ASM_CONST_STRING) {
                if (!Str(&k.str)) return false;
            } else if (tag != ASM_CONST_NIL) {
                pos--;
                return Fail("bad constant type " + std::to_string(tag));
            }
        }
        if (!Count(&n, 24, "function")) return false;
        f->functions.resize((size_t)n);
        for (AsmFunction& sub : f->functions)
            if (!Function(&sub, depth + 1)) return false;
        if (!Count(&n, 4, "instruction")) return false;
        f->code.resize((size_t)n);
        for (uint32_t& w : f->code) {
            uint64_t v;
            if (!Wide(&v, 4)) return false;
            w = (uint32_t)v;
        }
        return true;
    }
};

}  // namespace

std::vector<uint8_t> AsmWriteChunk(const AsmChunk& chunk) {
    Writer w;
    w.big = chunk.bigEndian;
    w.Bytes(chunk.signature);
    w.Byte((uint8_t)chunk.byteOrderByte);
    for (uint8_t s : chunk.sizes) w.Byte(s);
    w.Wide(chunk.testBits, 8);
    w.Function(chunk.main);
    w.Bytes(chunk.trailer);
    return std::move(w.out);
}

bool AsmReadChunk(const uint8_t* data, size_t size, AsmChunk* chunk, std::string* error) {
    Reader r;
    r.p = data;
    r.size = size;
    *chunk = AsmChunk();
    bool ok = false;
    if (size < 21) {
        r.Fail("chunk shorter than its header");
    } else {
        chunk->signature.assign((const char*)data, 4);
        chunk->byteOrderByte = data[4];
        chunk->bigEndian = data[4] != 1;
        memcpy(chunk->sizes, data + 5, 8);
        r.pos = 13;
        r.big = chunk->bigEndian;
        ok = r.Wide(&chunk->testBits, 8) && r.Function(&chunk->main, 0);
        if (ok) chunk->trailer.assign((const char*)data + r.pos, size - r.pos);
    }
    if (!ok && error) *error = r.error;
    return ok;
}
