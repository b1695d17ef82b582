// FormatStr of the string library: printf-style formatting of script values.
#pragma once

struct VmState;

// FormatStr(format, ...): copies the format's bytes and replaces each conversion ("%", flags
// "-+ #0", at most two width digits, "." and at most two precision digits, a letter) by the next
// argument: e E f g G as a double, d i c as a signed integer, o u x X as a 32-bit pattern, s as a
// string, q as a quoted string; "%%" gives "%". An explicit Nil counts as the number 0.
int StrFormatStr(VmState* state);
