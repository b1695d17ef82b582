// The math command library: floating-point functions, random numbers, and integer and bit
// operations on 32-bit values.
#pragma once

#include <cstdint>

#include "runtime/library.h"

struct VmState;

// The "math" library: its commands and the constant PI; opening it seeds the random generators
// with the current time.
extern const qzLibraryDescriptor qzMathLibrary;

// Script integer conversion: truncation toward zero to a signed 32-bit integer, saturating at the
// limits; NaN gives -2147483648.
int32_t MathToInt(double x);

// Shifts of a 32-bit pattern; the count is taken modulo 64 and counts from 32 to 63 give 0 (Sar:
// act as 31).
uint32_t MathShiftLeft(uint32_t x, int32_t n);
uint32_t MathShiftRight(uint32_t x, int32_t n);
int32_t MathShiftArith(int32_t x, int32_t n);
// Width codes of the rotations and of BinStr (the script's type constants INTEGER, SHORT and BYTE).
constexpr int32_t QZ_WIDTH_INTEGER = 1;
constexpr int32_t QZ_WIDTH_SHORT = 6;
constexpr int32_t QZ_WIDTH_BYTE = 7;
// A width code as a bit count (32, 16 or 8); 0 for an unknown code.
int MathWidthBits(int32_t width);

// Rotations within a width of 32, 16 or 8 bits. The 32-bit count is taken modulo 32; for 16 and 8
// bits a count beyond the width leaves only the plain shift.
uint32_t MathRotateRight(uint32_t x, int32_t n, int bits);
uint32_t MathRotateLeft(uint32_t x, int32_t n, int bits);
