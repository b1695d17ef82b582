// The string command library: substrings, searching and replacing, case conversion, number
// formatting and parsing, splitting and joining, conversion of values to text, pattern matching,
// expression evaluation and digests. Strings are byte strings; positions count bytes from 0.
#pragma once

#include <cstddef>

struct VmState;

// Longest string a command builds; a longer result fails with ERR_MEM before it is allocated.
constexpr size_t QZ_MAX_STRING_LENGTH = 0x7FFFFFFF;

// Registration of the "string" library (start-up's library walk): the commands as global
// functions and the command table for error reports. Returns 0 or an error code.
int RegisterStringLibrary(VmState* state);
