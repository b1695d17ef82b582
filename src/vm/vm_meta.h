// Operations on values with their events: indexing, assignment, arithmetic, comparison and
// concatenation. Shared by the interpreter and the C interface. Operands are copied on entry, so
// they may point into the stack even when a handler call moves it.
#pragma once

#include "vm/vm_object.h"

// How VmGetTableValue treats a field missing at the end of the lookup chain.
enum {
    VM_GET_PLAIN = 0,       // the result is nil
    VM_GET_FIELDCHECK = 1,  // raise ERR_FIELDINIT (GETTABLE)
};

// *result = t[key] with "__index". result must not point into the stack.
void VmGetTableValue(VmState* state, const VmValue* t, const VmValue* key, VmValue* result, int mode);
// t[key] = value with "__newindex".
void VmSetTableValue(VmState* state, const VmValue* t, const VmValue* key, const VmValue* value);

// Arithmetic opcode op (OP_ADD .. OP_POW, OP_UNM, OP_BNOT) on two operands; *result must not
// point into the stack.
void VmArith(VmState* state, VmValue* result, const VmValue* a, const VmValue* b, int op);
// The arithmetic of op on two numbers (raises ERR_ZERODIVISION).
double VmArithNumbers(VmState* state, int op, double x, double y);

// EQ with the "__eq" event.
int VmEqualValues(VmState* state, const VmValue* a, const VmValue* b);
// LT and LE with their events; strings compared case-insensitively unless caseSensitive.
int VmLessThanValues(VmState* state, const VmValue* a, const VmValue* b, bool caseSensitive);
int VmLessEqualValues(VmState* state, const VmValue* a, const VmValue* b);
// Compares two strings piece by piece across embedded NULs: <0, 0, >0.
int VmCompareStrings(const VmString* a, const VmString* b, bool caseSensitive);

// Concatenates the total values ending at stack slot last (inclusive) into that range's first
// slot. The stack top must be above last. keyTable, when not null, is a table the result is
// looked up in next (a hint only); keyRead tells that it is read there, not stored.
void VmConcatValues(VmState* state, int total, ptrdiff_t lastOffset, const VmTable* keyTable = nullptr,
                    bool keyRead = false);

// The items start..end of t (raw reads: strings, numbers as "%.14g" text) joined with sep between
// them, as one interned string; "" when end < start. Null with *badKey set to the first item that
// is neither string nor number. A result of 0xFFFFFFFD bytes or more raises ERR_INTERNAL.
VmString* VmJoinTableItems(VmState* state, VmTable* t, int32_t start, int32_t end, const char* sep, size_t sepLength,
                           int32_t* badKey);

// Calls handler with (a, b) and stores its first result in *result.
void VmCallEventResult(VmState* state, const VmValue* handler, const VmValue* a, const VmValue* b, VmValue* result);
