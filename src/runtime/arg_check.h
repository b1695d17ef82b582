// Shared readers at the start of command handlers: the argument-count check, percent values
// ("N%" strings) and constant references ("#NAME").
#pragma once

#include <cstddef>
#include <cstdint>

struct VmState;

// Checks the number of arguments and the applet version; returns the state so that handlers can
// chain it into their first argument read.
//  - min and max both 0: any argument raises ERR_TOOMANYARGS;
//  - fewer than min: ERR_MISSINGPARAMTR;
//  - max > 0 and more than max: ERR_TOOMANYARGS (max 0 with min > 0: no upper limit);
//  - needMajor != 0 and an applet older than needMajor.needMinor: ERR_OLDAPPLET.
VmState* VmCheckArgCount(VmState* state, int min, int max, int needMajor, int needMinor);

// Reads a percent text: a number at its start, optionally followed directly by '%'. With '%' the
// value must lie in 0 .. 100 (no upper bound with allowOver100) and gives value * base / 100, or
// value / 100 with *isPercent set when base is 0; without '%' the number itself. 0, or
// ERR_PERCENTFORMAT for no number at the start or a percentage out of range.
int ReadPercentText(const char* text, double base, int allowOver100, double* result, int* isPercent);

// A number argument unchanged, or a string read with ReadPercentText. *isPercent (optional) is
// 1 only for a percentage taken as a fraction (base 0). Raises ERR_PERCENTFORMAT for a bad string
// and ERR_STRORNUM for other types, with the argument index.
double CheckPercentArg(VmState* state, int index, double base, int allowOver100, int* isPercent);

// A size argument: a whole number as it stands (KEEPASPRAT among them), or a percentage string of
// `base` (over 100 allowed); a percentage beyond the 32-bit range gives 0.
int32_t CheckSizeArg(VmState* state, int index, int32_t base);

// Longest constant name after the '#'.
constexpr size_t QZ_MAX_CONSTANT_NAME = 64;

// Reads "#NAME" at the start of text and looks the constant up (VmFindConstant): the first
// character after '#' must be a letter A-Z / a-z or '_', then up to QZ_MAX_CONSTANT_NAME
// characters in all of letters, digits, '_', '$' and '!' form the name. On success *length gets
// the characters used including the '#'; *string gets a string constant's text (null for a number)
// and *number a numeric constant's value. Returns 0, ERR_WRONGUSAGE when text does not start with '#', ERR_SYNTAXERROR
// for a bad first character, ERR_FINDCST when no such constant exists.
int ParseConstantName(VmState* state, const char* text, size_t* length, const char** string, double* number);
