// Number-to-text and text-to-number conversions of the string library: hexadecimal and binary
// text of 32-bit values, decimal text cut to a number of decimals, and unsigned integers read in
// any base from 2 to 36. Number text never depends on the C locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// "$" and upper-case hexadecimal digits of x reduced to 32 bits: values above 4294967295 become
// fmod(x, 4294967295) - 1, negative values give the bit pattern of their signed 32-bit
// truncation (saturating; NaN gives $80000000), the rest is truncated as unsigned.
std::string HexText(double x);

// Binary digits, most significant first, of x taken as a 32-bit integer: 32 digits for bits 32,
// the low 16 or 8 bits for 16 or 8; any other bit count gives "".
std::string BinText(double x, int bits);

// x printed with "%.14g" and cut after its decimal point: decimals 0 drops the point and the
// digits after it, a positive count keeps at most that many digits (no rounding), a negative
// count keeps the point alone. An exponent ("1.5e-07") is kept whole: only the digits between
// the point and the exponent are cut. Text without a point is returned as it is.
std::string DecimalText(double x, int32_t decimals);

// Reads text as an unsigned 32-bit integer in base 2..36 the way the C library's unsigned
// conversion does on a 32-bit system: leading white space, an optional sign (a minus negates
// modulo 2^32), "0x" before base-16 digits; values beyond 32 bits give 4294967295. The result is
// 0 when no digit was read or when anything but white space follows the digits.
uint32_t ParseUnsignedInBase(std::string_view text, int base);

// Decimal digits of n (not negative) with leading zeros up to length digits, never cut.
std::string PaddedNumber(int32_t n, int32_t length);
