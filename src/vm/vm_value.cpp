// Conversions and primitive comparisons of VM values.
#include "vm/vm_value.h"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "vm/vm_string.h"

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

static int ReadHex(const char* s, double* out) {
    if (!isxdigit((unsigned char)*s)) return 0;
    char* end;
    unsigned long long v = strtoull(s, &end, 16);
    // Hexadecimal numbers are 32-bit words: larger texts saturate.
    if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
    while (IsBlank(*end)) end++;
    if (*end != '\0') return 0;
    *out = (double)v;
    return 1;
}

int VmStringToNumber(const char* text, double* out) {
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && text[2] != '\0') return ReadHex(text + 2, out);
    if (text[0] == '$') return ReadHex(text + 1, out);
    char* end;
    double d = strtod(text, &end);
    if (end == text) return 0;
    while (IsBlank(*end)) end++;
    if (*end != '\0') return 0;
    *out = d;
    return 1;
}

// Writes a number that is not an integer as "%.14g" does when a decimal of at most four places
// below 1e10 reads back as it; returns the length, or 0 for any other number. Such a decimal has
// at most fourteen digits and lies within half a unit of the last place of the number, far closer
// than half a step of fourteen significant digits, so it is the number rounded to fourteen digits
// (trailing zeros dropped), in the fixed form that "%g" uses from 1e-4 up.
static int FormatShortDecimal(double n, char* buf) {
    double a = std::fabs(n);
    if (!(a < 1e10)) return 0;
    // a * 1e4 lies within a few millionths of the decimal's integer, which rounding finds.
    uint64_t r = (uint64_t)(a * 1e4 + 0.5);
    if (r % 10000 == 0 || (double)r / 1e4 != a) return 0;
    char* p = buf;
    if (n < 0) *p++ = '-';
    p = std::to_chars(p, buf + 31, r / 10000).ptr;
    // The four places are written by constant divisions, then the trailing zeros dropped (the
    // last place that is not zero exists: the fraction is not zero).
    unsigned fraction = (unsigned)(r % 10000);
    *p++ = '.';
    p[0] = (char)('0' + fraction / 1000);
    p[1] = (char)('0' + fraction / 100 % 10);
    p[2] = (char)('0' + fraction / 10 % 10);
    p[3] = (char)('0' + fraction % 10);
    int places = 4;
    while (p[places - 1] == '0') places--;
    p += places;
    *p = '\0';
    return (int)(p - buf);
}

// Writes a normal finite number as "%.14g" does, from its shortest round-trip digits; returns
// the length, or 0 when those digits cannot decide the rounding. Shortest digits of fourteen or
// fewer are the number rounded to fourteen digits: a normal double's half-unit is far below half
// a fourteen-digit step. Longer ones round as the number does unless a fifteen-digit rounding
// midpoint lies between them and the number; that midpoint would then round-trip too and be the
// shorter or the nearer text, so it is the text itself, recognised as fifteen digits ending in 5,
// and left undecided.
static int FormatFromShortest(double n, char* buf) {
    char text[40];
    char* end = std::to_chars(text, text + sizeof text, n, std::chars_format::scientific).ptr;
    const char* p = text;
    bool negative = *p == '-';
    if (negative) p++;
    char digits[24];
    int count = 0;
    for (; p < end && *p != 'e'; p++)
        if (*p != '.') digits[count++] = *p;
    if (p == end) return 0;
    int exponent = 0;
    bool negativeExponent = p[1] == '-';
    for (p += 2; p < end; p++) exponent = exponent * 10 + (*p - '0');
    if (negativeExponent) exponent = -exponent;
    if (count > 14) {
        if (count == 15 && digits[14] == '5') return 0;
        bool up = digits[14] >= '5';
        count = 14;
        if (up) {
            int j = 13;
            while (j >= 0 && digits[j] == '9') digits[j--] = '0';
            if (j >= 0) {
                digits[j]++;
            } else {
                digits[0] = '1';
                exponent++;
            }
        }
        while (count > 1 && digits[count - 1] == '0') count--;
    }
    char* o = buf;
    if (negative) *o++ = '-';
    if (exponent < -4 || exponent >= 14) {
        *o++ = digits[0];
        if (count > 1) {
            *o++ = '.';
            for (int j = 1; j < count; j++) *o++ = digits[j];
        }
        *o++ = 'e';
        *o++ = exponent < 0 ? '-' : '+';
        unsigned e = (unsigned)(exponent < 0 ? -exponent : exponent);
        if (e < 10) *o++ = '0';
        o = std::to_chars(o, buf + 31, e).ptr;
    } else if (exponent >= 0) {
        for (int j = 0; j <= exponent; j++) *o++ = j < count ? digits[j] : '0';
        if (count > exponent + 1) {
            *o++ = '.';
            for (int j = exponent + 1; j < count; j++) *o++ = digits[j];
        }
    } else {
        *o++ = '0';
        *o++ = '.';
        for (int j = 0; j < -exponent - 1; j++) *o++ = '0';
        for (int j = 0; j < count; j++) *o++ = digits[j];
    }
    *o = '\0';
    return (int)(o - buf);
}

int VmFormatNumber(double n, char* buf) {
    // Every NaN reads "nan", whatever its sign bit: scripts see one text for it on every machine.
    if (std::isnan(n)) {
        memcpy(buf, "nan", 4);
        return 3;
    }
    char* end;
    if (n > -1e14 && n < 1e14 && (double)(int64_t)n == n) {
        // An integer of at most fourteen digits: "%.14g" writes its digits alone.
        if (n == 0 && std::signbit(n)) {
            memcpy(buf, "-0", 3);
            return 2;
        }
        end = std::to_chars(buf, buf + 31, (int64_t)n).ptr;
    } else if (int length = FormatShortDecimal(n, buf)) {
        return length;
    } else if (std::fabs(n) >= DBL_MIN && std::fabs(n) <= DBL_MAX && (length = FormatFromShortest(n, buf)) != 0) {
        return length;
    } else {
        // The C library's "%g" with fourteen significant digits, without its format parsing.
        end = std::to_chars(buf, buf + 31, n, std::chars_format::general, 14).ptr;
    }
    *end = '\0';
    return (int)(end - buf);
}

int VmNumberToString(VmState* state, VmValue* v) {
    if (v->tt != VM_TNUMBER) return 0;
    char buf[32];
    int len = VmFormatNumber(v->value.n, buf);
    VmSetValueString(v, VmInternString(state, buf, (size_t)len));
    return 1;
}

int VmOtherToNumberValue(const VmValue* v, double* out) {
    if (v->tt == VM_TSTRING) {
        const VmString* s = VmStringValue(v);
        // A string with an embedded NUL never reads as a number.
        if (strlen(VmStringData(s)) != s->len) return 0;
        return VmStringToNumber(VmStringData(s), out);
    }
    return 0;
}

uint32_t VmDoubleToBits32(double d) {
    if (d >= 2147483648.0) return (uint32_t)VmDoubleToInt32(d - 2147483648.0) + 0x80000000u;
    return (uint32_t)VmDoubleToInt32(d);
}

int VmRawEqualValues(const VmValue* a, const VmValue* b) {
    if (a->tt != b->tt) return 0;
    switch (a->tt) {
    case VM_TNIL: return 1;
    case VM_TNUMBER: return a->value.n == b->value.n;
    case VM_TBOOLEAN: return a->value.b == b->value.b;
    case VM_TLIGHTUSERDATA: return a->value.p == b->value.p;
    default: return a->value.gc == b->value.gc;
    }
}
