#include "base/number_literal.h"

#include <cstdint>
#include <cstdlib>
#include <locale.h>

#include "base/error_codes.h"

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Reads digits of the given base from s as an unsigned 32-bit number that saturates at
// 4294967295. Returns the count of digits read.
int ReadUnsignedDigits(const char* s, int base, double* value) {
    uint64_t v = 0;
    int n = 0;
    for (;; n++) {
        int d = HexDigitValue(s[n]);
        if (d < 0 || d >= base) break;
        v = v * (uint64_t)base + (uint64_t)d;
        if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
    }
    *value = (double)v;
    return n;
}

// Decimal text in the C library's floating-point syntax, always with "." as the decimal point
// whatever locale the process runs under.
double ReadDecimal(const char* s, int* length) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    char* end = nullptr;
    double v = cLocale ? strtod_l(s, &end, cLocale) : strtod(s, &end);
    *length = (int)(end - s);
    return v;
}

}  // namespace

double ParseNumberLiteral(const char* text, int* consumed, int* error) {
    *consumed = 0;
    *error = 0;
    const char* s = text;
    bool negative = false;
    if (*s == '-') {
        negative = true;
        s++;
    }
    double value = 0;
    if (*s == '$') {
        s++;
        if (*s == '-') {
            negative = true;
            s++;
        }
        int n = ReadUnsignedDigits(s, 16, &value);
        if (n == 0) {
            *error = ERR_SYNTAXERROR;
            return 0;
        }
        s += n;
    } else if (*s == '%') {
        s++;
        s += ReadUnsignedDigits(s, 2, &value);
    } else if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s += 2;
        int n = ReadUnsignedDigits(s, 16, &value);
        if (n == 0) {
            *error = ERR_SYNTAXERROR;
            return 0;
        }
        s += n;
    } else if (IsDecimalDigit(s[0]) || (s[0] == '.' && IsDecimalDigit(s[1]))) {
        int n = 0;
        value = ReadDecimal(s, &n);
        s += n;
    } else {
        *error = ERR_VALUEEXPECTED;
        return 0;
    }
    *consumed = (int)(s - text);
    return negative ? -value : value;
}
