// Test helper: writes chunk bytes for a function description in either byte order, with header
// fields that tests can break on purpose.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace chunktest {

struct Constant {
    uint8_t type = 0;  // 0 nil, 3 number, 4 string, anything else for broken chunks
    double number = 0;
    std::string text;
    static Constant Nil() { return Constant{}; }
    static Constant Number(double n) { return Constant{3, n, {}}; }
    static Constant String(const std::string& s) { return Constant{4, 0, s}; }
};

struct Local {
    std::string name;
    int32_t startpc;
    int32_t endpc;
};

struct Function {
    std::optional<std::string> source;  // absent: written with length 0
    int32_t lineDefined = 0;
    uint8_t nups = 0, numparams = 0, isVararg = 0, maxStack = 2;
    std::vector<int32_t> lines;
    std::vector<Local> locals;
    std::vector<std::string> upvalueNames;
    std::vector<Constant> constants;
    std::vector<Function> nested;
    std::vector<uint32_t> code;
    // Counts written instead of the real ones (for lying chunks).
    std::optional<int64_t> codeCount, constantCount, upvalueNameCount;
};

struct Header {
    std::string signature = std::string("\x1bQZB", 4);
    int orderByte = -1;  // -1: matches the byte order written
    uint8_t sizes[8] = {4, 4, 4, 6, 8, 9, 9, 8};
    double testNumber = 31415926.535897933;
};

class Writer {
public:
    explicit Writer(bool bigEndian) : big_(bigEndian) {}

    void Byte(uint8_t b) { out_.push_back(b); }
    void Bytes(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    void Ordered(const void* p, size_t n) {
        uint8_t tmp[8] = {};
        memcpy(tmp, p, n);
        // Values are held little-endian on this machine.
        if (big_) std::reverse(tmp, tmp + n);
        Bytes(tmp, n);
    }
    void Int(int64_t v) {
        int32_t x = (int32_t)v;
        Ordered(&x, 4);
    }
    void Word(uint32_t w) { Ordered(&w, 4); }
    void Number(double d) { Ordered(&d, 8); }
    void String(const std::optional<std::string>& s) {
        if (!s) {
            Int(0);
            return;
        }
        Int((int64_t)s->size() + 1);
        Bytes(s->data(), s->size());
        Byte(0);
    }

    void Function(const chunktest::Function& f) {
        String(f.source);
        Int(f.lineDefined);
        Byte(f.nups);
        Byte(f.numparams);
        Byte(f.isVararg);
        Byte(f.maxStack);
        Int((int64_t)f.lines.size());
        for (int32_t l : f.lines) Int(l);
        Int((int64_t)f.locals.size());
        for (const Local& l : f.locals) {
            String(l.name);
            Int(l.startpc);
            Int(l.endpc);
        }
        Int(f.upvalueNameCount.value_or((int64_t)f.upvalueNames.size()));
        for (const std::string& s : f.upvalueNames) String(s);
        Int(f.constantCount.value_or((int64_t)f.constants.size()));
        for (const Constant& k : f.constants) {
            Byte(k.type);
            if (k.type == 3) Number(k.number);
            if (k.type == 4) String(k.text);
        }
        Int((int64_t)f.nested.size());
        for (const chunktest::Function& n : f.nested) Function(n);
        Int(f.codeCount.value_or((int64_t)f.code.size()));
        for (uint32_t w : f.code) Word(w);
    }

    void Header(const chunktest::Header& h) {
        Bytes(h.signature.data(), h.signature.size());
        Byte(h.orderByte >= 0 ? (uint8_t)h.orderByte : (big_ ? 0 : 1));
        Bytes(h.sizes, 8);
        Number(h.testNumber);
    }

    std::vector<uint8_t>& Out() { return out_; }

private:
    bool big_;
    std::vector<uint8_t> out_;
};

inline std::vector<uint8_t> BuildChunk(const Function& f, bool bigEndian = false, const Header& h = Header()) {
    Writer w(bigEndian);
    w.Header(h);
    w.Function(f);
    return w.Out();
}

}  // namespace chunktest
