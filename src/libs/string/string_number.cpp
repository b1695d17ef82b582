// Number conversions of the string library (see string_number.h).
#include "libs/string/string_number.h"

#include <cmath>
#include <cstdio>

#include "base/charset.h"
#include "libs/math/math_lib.h"
#include "vm/vm_aux.h"

std::string HexText(double x) {
    if (x > 4294967295.0) x = std::fmod(x, 4294967295.0) - 1;
    uint32_t v;
    if (std::isnan(x) || x < 0)
        v = static_cast<uint32_t>(MathToInt(x));
    else
        v = static_cast<uint32_t>(x);
    char buffer[16];
    int n = snprintf(buffer, sizeof buffer, "$%x", v);
    std::string text(buffer, static_cast<size_t>(n));
    for (char& c : text) c = static_cast<char>(ToUpperChar(static_cast<unsigned char>(c)));
    return text;
}

std::string BinText(double x, int bits) {
    if (bits != 32 && bits != 16 && bits != 8) return "";
    uint32_t v = static_cast<uint32_t>(VmNumberToInteger(x));
    std::string text(static_cast<size_t>(bits), '0');
    for (int i = 0; i < bits; i++)
        if ((v >> (bits - 1 - i)) & 1u) text[static_cast<size_t>(i)] = '1';
    return text;
}

std::string DecimalText(double x, int32_t decimals) {
    char buffer[64];
    int n = snprintf(buffer, sizeof buffer, "%.14g", x);
    std::string text(buffer, static_cast<size_t>(n));
    size_t point = text.find('.');
    if (point == std::string::npos) return text;
    size_t exponent = text.find_first_of("eE", point);
    if (exponent == std::string::npos) exponent = text.size();
    std::string suffix = text.substr(exponent);
    size_t digits = exponent - point - 1;
    if (decimals == 0) return text.substr(0, point) + suffix;
    if (decimals < 0) return text.substr(0, point + 1) + suffix;
    if (static_cast<size_t>(decimals) < digits) digits = static_cast<size_t>(decimals);
    return text.substr(0, point + 1 + digits) + suffix;
}

namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

}  // namespace

uint32_t ParseUnsignedInBase(std::string_view text, int base) {
    size_t i = 0, n = text.size();
    while (i < n && IsCSpace(text[i])) i++;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // "0x" counts as a prefix only when a hexadecimal digit follows; else the "0" is the number.
    if (base == 16 && i + 2 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2]) < 16)
        i += 2;
    uint64_t value = 0;
    bool overflow = false;
    size_t first = i;
    for (; i < n; i++) {
        int d = DigitValue(text[i]);
        if (d >= base) break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
    }
    if (i == first) return 0;
    while (i < n && IsCSpace(text[i])) i++;
    if (i != n) return 0;
    if (overflow) return 0xFFFFFFFFu;
    uint32_t v = static_cast<uint32_t>(value);
    return negative ? 0u - v : v;
}

std::string PaddedNumber(int32_t n, int32_t length) {
    std::string digits = std::to_string(n);
    if (length > 0 && digits.size() < static_cast<size_t>(length))
        digits.insert(0, static_cast<size_t>(length) - digits.size(), '0');
    return digits;
}
