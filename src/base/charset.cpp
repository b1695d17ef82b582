// Latin-1 tables, case-insensitive compares and Latin-1 <-> UTF-8 conversion.
#include "base/charset.h"

namespace {

using ByteTable = std::array<unsigned char, 256>;

constexpr ByteTable MakeUpper() {
    ByteTable t{};
    for (int c = 0; c < 256; c++) {
        bool lower = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
        t[c] = static_cast<unsigned char>(lower ? c - 32 : c);
    }
    return t;
}

constexpr ByteTable MakeLower() {
    ByteTable t{};
    for (int c = 0; c < 256; c++) {
        bool upper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
        t[c] = static_cast<unsigned char>(upper ? c + 32 : c);
    }
    return t;
}

constexpr ByteTable MakeLetters() {
    ByteTable t{};
    for (int c = 0; c < 256; c++)
        t[c] = ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7)) ? 1 : 0;
    return t;
}

constexpr ByteTable MakeGraph() {
    ByteTable t{};
    for (int c = 0; c < 256; c++) t[c] = ((c >= 0x21 && c <= 0x7E) || c >= 0xA1) ? 1 : 0;
    return t;
}

constexpr std::array<std::array<unsigned char, 2>, 128> MakeUtf8() {
    std::array<std::array<unsigned char, 2>, 128> t{};
    for (int c = 0x80; c < 0x100; c++) {
        t[c - 0x80][0] = static_cast<unsigned char>(c < 0xC0 ? 0xC2 : 0xC3);
        t[c - 0x80][1] = static_cast<unsigned char>(c < 0xC0 ? c : c - 0x40);
    }
    return t;
}

}  // namespace

const ByteTable qzUpperCaseTable = MakeUpper();
const ByteTable qzLowerCaseTable = MakeLower();
const ByteTable qzLetterTable = MakeLetters();
const ByteTable qzGraphTable = MakeGraph();
const std::array<std::array<unsigned char, 2>, 128> qzLatin1ToUtf8Table = MakeUtf8();

char* LowerCaseString(char* text) {
    if (!text) return text;
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; p++) *p = qzLowerCaseTable[*p];
    return text;
}

int CompareNoCase(const char* a, const char* b) {
    if (a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (;; p++, q++) {
        int d = qzUpperCaseTable[*p] - qzUpperCaseTable[*q];
        if (d != 0 || *p == 0) return d;
    }
}

int CompareNoCaseN(const char* a, const char* b, size_t n) {
    if (a == b || n == 0) return 0;
    if (!a || !b) return a ? 1 : -1;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (; n > 0; n--, p++, q++) {
        int d = qzUpperCaseTable[*p] - qzUpperCaseTable[*q];
        if (d != 0 || *p == 0) return d;
    }
    return 0;
}

int IsAlphaChar(int c) { return (c >= 0 && c <= 255) ? qzLetterTable[c] : 0; }

int IsGraphChar(int c) { return (c >= 0 && c <= 255) ? qzGraphTable[c] : 0; }

int IsAlnumChar(int c) { return (c >= '0' && c <= '9') || IsAlphaChar(c); }

int LowestSetBit(uint32_t mask) {
    if (mask == 0) return -1;
    int bit = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        bit++;
    }
    return bit;
}

std::string ConvertLatin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(qzLatin1ToUtf8Table[c - 0x80][0]));
            out.push_back(static_cast<char>(qzLatin1ToUtf8Table[c - 0x80][1]));
        }
    }
    return out;
}

namespace {

// Decodes the sequence at text[i]; advances i past the bytes used.
unsigned char DecodeUtf8Unit(std::string_view text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80 || i >= text.size()) return lead;  // ASCII, or a lead byte with no trail left: kept as it is
    unsigned char trail = static_cast<unsigned char>(text[i++]);
    return static_cast<unsigned char>(((lead & 0x03) << 6) | (trail & 0x3F));
}

}  // namespace

size_t DecodeUtf8Char(std::string_view text, size_t i, uint32_t* codePoint) {
    if (i >= text.size()) return 0;
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t len;
    uint32_t value, min;
    if (c < 0x80) {
        *codePoint = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        value = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        value = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        value = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < len) return 0;
    for (size_t k = 1; k < len; ++k) {
        unsigned char t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        value = (value << 6) | (t & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return len;
}

std::string ConvertUtf8ToLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) out.push_back(static_cast<char>(DecodeUtf8Unit(text, i)));
    return out;
}

size_t ConvertUtf8ToLatin1(std::string_view text, char* buffer, size_t bufferSize) {
    if (!buffer || bufferSize == 0) return 0;
    size_t n = 0;
    for (size_t i = 0; i < text.size() && n + 1 < bufferSize;) buffer[n++] = static_cast<char>(DecodeUtf8Unit(text, i));
    buffer[n] = 0;
    return n;
}

std::string ConvertTextToLatin1(std::string_view text, char replacement) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        size_t n = DecodeUtf8Char(text, i, &cp);
        if (n == 0) {
            out.push_back(text[i++]);
            continue;
        }
        out.push_back(cp <= 0xFF ? static_cast<char>(cp) : replacement);
        i += n;
    }
    return out;
}

bool ConvertCharset(std::string_view text, int from, int to, std::string* out) {
    if (!out) return false;
    if (from == QZ_CHARSET_LATIN1 && to == QZ_CHARSET_UTF8) {
        *out = ConvertLatin1ToUtf8(text);
        return true;
    }
    if (from == QZ_CHARSET_UTF8 && to == QZ_CHARSET_LATIN1) {
        *out = ConvertUtf8ToLatin1(text);
        return true;
    }
    return false;
}
