// The string library's pattern commands: the VM side of the pattern engine (pattern.h), which
// pushes captures as script values and calls replacement functions.
#pragma once

struct VmState;

// PatternFindStr(s, pattern): an iterator function for a generic for loop.
int StrPatternFindStr(VmState* state);
// PatternFindStrShort(s, pattern, [start 0]): the captures of the first match, or -1.
int StrPatternFindStrShort(VmState* state);
// PatternFindStrDirect(s, pattern, [start 0]): start, inclusive end and captures, or -1.
int StrPatternFindStrDirect(VmState* state);
// PatternReplaceStr(s, pattern, replacement, [max]): the new string and the number of matches.
int StrPatternReplaceStr(VmState* state);
