// The string command library: substrings, searching and replacing, case conversion, number
// formatting and parsing, splitting and joining, conversion of values to text, pattern matching,
// expression evaluation and digests. Strings are byte strings; positions count bytes from 0.
#pragma once

#include <cstddef>
#include <string_view>

#include "runtime/library.h"

struct VmState;

// Longest string a command builds; a longer result fails with ERR_MEM before it is allocated.
constexpr size_t QZ_MAX_STRING_LENGTH = 0x7FFFFFFF;

// The "string" library: its commands.
extern const qzLibraryDescriptor qzStringLibrary;

// The string argument at index, zero bytes included (VmCheckString's rules: a number is converted,
// anything else raises ERR_STREXPECTED). The view lives as long as the argument.
std::string_view StringArg(VmState* state, int index);
