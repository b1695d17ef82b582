// Conversions and primitive comparisons of VM values.
#pragma once

#include <cmath>

#include "vm/vm_object.h"

// Reads a number from text: "0x" (with more after it) or "$" prefixes read unsigned hexadecimal,
// anything else is read as a decimal number. Only white space may follow. Returns 1 on success.
int VmStringToNumber(const char* text, double* out);

// Writes a number as the VM prints it ("%.14g"); buf needs 32 bytes. Returns the length.
int VmFormatNumber(double n, char* buf);

// Converts a number value in place to its string; returns 0 (value unchanged) for other tags.
int VmNumberToString(VmState* state, VmValue* v);

// The number conversion of arithmetic: a number, or a string that reads as one. Returns 1 and
// stores the number in *out, 0 when the value does not convert. VmOtherToNumberValue is the part
// for values that are not numbers.
int VmOtherToNumberValue(const VmValue* v, double* out);
inline int VmToNumberValue(const VmValue* v, double* out) {
    if (v->tt == VM_TNUMBER) {
        *out = v->value.n;
        return 1;
    }
    return VmOtherToNumberValue(v, out);
}

// Signed truncation toward zero, saturating at the 32-bit limits; NaN gives -2147483648.
inline int32_t VmDoubleToInt32(double d) {
    if (std::isnan(d)) return INT32_MIN;
    if (d <= -2147483648.0) return INT32_MIN;
    if (d >= 2147483647.0) return INT32_MAX;
    return (int32_t)d;
}
// The 32-bit pattern of a value: negatives as signed, 2^31 and up keep their unsigned pattern.
uint32_t VmDoubleToBits32(double d);

// Integer base-2 logarithm; 0 gives -1.
inline int VmLog2(uint32_t x) { return x == 0 ? -1 : 31 - __builtin_clz(x); }

// Same tag; numbers and booleans by value, everything else by identity.
int VmRawEqualValues(const VmValue* a, const VmValue* b);

// The truth rule of the interpreter: nil, false, 0 (and -0) and the empty string are false.
inline bool VmTestFalse(const VmValue* v) {
    switch (v->tt) {
    case VM_TNIL: return true;
    case VM_TBOOLEAN: return v->value.b == 0;
    case VM_TNUMBER: return v->value.n == 0;
    case VM_TSTRING: return VmStringValue(v)->len == 0;
    default: return false;
    }
}
