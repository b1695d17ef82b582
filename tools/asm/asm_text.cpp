#include "asm/asm_text.h"

#include <charconv>
#include <cstring>

bool AsmParseInt(const std::string& text, int64_t* out) {
    const char* p = text.data();
    const char* end = p + text.size();
    bool neg = false;
    if (p < end && (*p == '-' || *p == '+')) neg = *p++ == '-';
    int base = 10;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (p == end || *p == '-' || *p == '+') return false;
    uint64_t v = 0;
    auto r = std::from_chars(p, end, v, base);
    if (r.ec != std::errc() || r.ptr != end || v > (uint64_t)INT64_MAX) return false;
    *out = neg ? -(int64_t)v : (int64_t)v;
    return true;
}

bool AsmIsName(const std::string& s) {
    if (s.empty()) return false;
    for (size_t i = 0; i < s.size(); i++) {
        char c = s[i];
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.' || c == '$' ||
                  (i > 0 && c >= '0' && c <= '9');
        if (!ok) return false;
    }
    return true;
}

static uint64_t DoubleBits(double d) {
    uint64_t b;
    memcpy(&b, &d, 8);
    return b;
}

bool AsmParseNumber(const std::string& text, uint64_t* bits) {
    if (text == "nan") {
        *bits = 0x7FF8000000000000ull;
        return true;
    }
    if (text == "inf" || text == "+inf" || text == "-inf") {
        *bits = text[0] == '-' ? 0xFFF0000000000000ull : 0x7FF0000000000000ull;
        return true;
    }
    if (text.compare(0, 5, "bits:") == 0) {
        const char* p = text.data() + 5;
        const char* end = text.data() + text.size();
        if (end - p != 16) return false;
        auto r = std::from_chars(p, end, *bits, 16);
        return r.ec == std::errc() && r.ptr == end;
    }
    int64_t i;
    if (text.find_first_of("xX") != std::string::npos) {
        if (!AsmParseInt(text, &i)) return false;
        *bits = DoubleBits((double)i);
        return true;
    }
    // from_chars takes no leading '+' and would read "inf"/"nan" spellings; allow digits only.
    const char* p = text.data();
    const char* end = p + text.size();
    if (p == end) return false;
    if (*p == '+') p++;
    const char* q = (*p == '-') ? p + 1 : p;
    if (q == end || !((*q >= '0' && *q <= '9') || *q == '.')) return false;
    double d;
    auto r = std::from_chars(p, end, d, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end) return false;
    *bits = DoubleBits(d);
    return true;
}

std::string AsmFormatNumber(uint64_t bits) {
    double d;
    memcpy(&d, &bits, 8);
    if (d != d) {
        if (bits == 0x7FF8000000000000ull) return "nan";
        char buf[40];
        snprintf(buf, sizeof buf, "bits:%016llX", (unsigned long long)bits);
        return buf;
    }
    if (bits == 0x7FF0000000000000ull) return "inf";
    if (bits == 0xFFF0000000000000ull) return "-inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string AsmQuote(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case 0: out += "\\0"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += (char)c;
            } else {
                char buf[8];
                snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            }
        }
    }
    out += '"';
    return out;
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool AsmUnquote(const std::string& text, size_t* pos, std::string* out, std::string* error) {
    size_t i = *pos + 1;
    out->clear();
    while (i < text.size() && text[i] != '"') {
        char c = text[i++];
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (i >= text.size()) break;
        char e = text[i++];
        switch (e) {
        case 'n': out->push_back('\n'); break;
        case 't': out->push_back('\t'); break;
        case 'r': out->push_back('\r'); break;
        case 'a': out->push_back('\a'); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'v': out->push_back('\v'); break;
        case '0': out->push_back('\0'); break;
        case '"':
        case '\\':
        case '\'': out->push_back(e); break;
        case 'x': {
            int h = i < text.size() ? HexDigit(text[i]) : -1;
            int l = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            if (h < 0 || l < 0) {
                *error = "\\x needs two hexadecimal digits";
                return false;
            }
            out->push_back((char)(h * 16 + l));
            i += 2;
            break;
        }
        default: *error = std::string("unknown escape \\") + e; return false;
        }
    }
    if (i >= text.size()) {
        *error = "missing closing quote";
        return false;
    }
    *pos = i + 1;
    return true;
}
