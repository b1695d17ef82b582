// The auxiliary library that command handlers use instead of the raw C interface: argument
// readers that raise the player's numbered errors, named registry entries, labels and constants,
// the registration of a library's commands and constants, named metatables, a string builder,
// element counts of tables and integer references to values kept alive in a table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vm/vm.h"

// Longest name that the name-folding operations (commands, constants, labels) accept. Longer
// names are rejected: they are never stored, and lookups of them find nothing.
constexpr size_t VM_MAX_NAME = 151;

// Registry integer keys: the head of the reference free list and the table-size table.
constexpr int VM_REF_FREELIST = 1;
constexpr int VM_REF_SIZES = 2;
// VmRef's answer for a nil value.
constexpr int VM_REFNIL = -1;

// One command of a library: a table ends at a row with a null name. The dispatcher checks the
// number of arguments against minArgs .. maxArgs before the handler runs, with the errors of
// VmCheckCommandArgs; a row without a range (minArgs below 0) leaves the check to the handler.
struct qzCommandRow {
    const char* name;
    VmCFunction handler;
    int16_t minArgs = -1;
    int16_t maxArgs = 0;
};

// One constant of a library: a null string marks a numeric constant; a table ends at a null name.
struct qzConstantRow {
    const char* name;
    const char* string;
    double number;
};

// Signed truncation toward zero, saturating at the 32-bit limits; NaN gives -2147483648.
int32_t VmTruncateNumber(double n);
// Number to 32-bit integer as the argument readers take it: truncated toward zero, 2^31 .. 2^32-1
// keep their bit pattern, values beyond saturate, NaN gives -2147483648.
int32_t VmNumberToInteger(double n);

// A stack index that stays valid while values are pushed (pseudo-indices are kept).
int VmAbsIndex(VmState* state, int index);

// Argument checks; index is the argument number from 1. On failure they store the argument
// number as the error-argument index (the Named ones store the name as the error-argument text)
// and raise.
double VmCheckNumber(VmState* state, int index);
int32_t VmCheckInteger(VmState* state, int index);
double VmCheckNumberNamed(VmState* state, int index, const char* name);
int32_t VmCheckIntegerNamed(VmState* state, int index, const char* name);
// A number argument is converted to a string in place. length (optional) gets the byte length.
const char* VmCheckString(VmState* state, int index, size_t* length = nullptr);
const char* VmCheckStringNamed(VmState* state, int index, const char* name, size_t* length = nullptr);
void VmCheckTable(VmState* state, int index);
void VmCheckFunction(VmState* state, int index);
// Full or light userdata: the pointer.
void* VmCheckUserdata(VmState* state, int index);
// Exactly the given tag (VM_TNUMBER, VM_TSTRING, ...); the error follows the tag.
void VmCheckType(VmState* state, int index, int tag);
// Absent (beyond the top) gives the default; an explicit nil is present and fails the check.
double VmOptNumber(VmState* state, int index, double def);
int32_t VmOptInteger(VmState* state, int index, int32_t def);
const char* VmOptString(VmState* state, int index, const char* def, size_t* length = nullptr);
// Readers for callback results that do not raise: *error is 0, or ERR_NUMCALLBACK /
// ERR_STRCALLBACK when the value has the wrong type (the result is then 0 / null).
double VmGetNumberOrCode(VmState* state, int index, int* error);
const char* VmGetStringOrCode(VmState* state, int index, size_t* length, int* error);

// Registry entries under a name; the stack is left unchanged.
void* VmGetRegistryPointer(VmState* state, const char* name);
const char* VmGetRegistryString(VmState* state, const char* name);
double VmGetRegistryNumber(VmState* state, const char* name);
void VmSetRegistryPointer(VmState* state, const char* name, void* pointer);
void VmSetRegistryString(VmState* state, const char* name, const char* text);
void VmSetRegistryNumber(VmState* state, const char* name, double n);

// Labels of the main chunk, by lower-cased name in registry "labels": the stored instruction
// index, -1 when missing.
int VmFindLabel(VmState* state, const char* name);
// Sets up a label command's jump to the label: 1 when the label exists (the command then
// returns VM_RESULT_LABEL_JUMP), 0 when it does not (nothing changes).
int VmPrepareLabelJump(VmState* state, const char* name);
// Stores a label (creating "labels"). 0, or ERR_NAMETOOLONG for a name longer than VM_MAX_NAME.
int VmDefineLabel(VmState* state, const char* name, int value);
// Appends {name, pc} to registry "labelrefs" under key n and returns n; -1 for a name longer than
// VM_MAX_NAME.
int VmAddLabelRef(VmState* state, const char* name, int pc);

// Looks the lower-cased name up in registry[tableName]: a number goes to *number (and *string
// becomes null), a string to *string; another non-nil value counts as found without outputs.
// 1 when found, 0 when the table or the name is missing. Both outputs are optional.
int VmFindConstantIn(VmState* state, const char* name, const char** string, double* number, const char* tableName);
// "constants" first, then "userconstants".
int VmFindConstant(VmState* state, const char* name, const char** string, double* number);

// Stores every row under its lower-cased name in registry "constants" ("userconstants" when
// isUser), creating the table when missing. 0, or ERR_NAMETOOLONG when some row was skipped for
// its name's length (the other rows are stored).
int VmRegisterConstants(VmState* state, const qzConstantRow* rows, int isUser);
// Registers every row with a handler as a C closure under its lower-cased name, each closure
// getting copies of the nUpvalues values on the stack top (popped at the end). With a table name
// the closures go into globals[tableName] (created when missing), else into the globals table.
// Returns the number of closures registered; rows without a handler or with a name longer than
// VM_MAX_NAME are skipped.
int VmRegisterFunctions(VmState* state, const char* tableName, const qzCommandRow* rows, int nUpvalues);
// Position of name in a null-terminated list (exact compare), -1 when absent.
int VmFindStringInList(const char* name, const char* const* list);

// Named metatables: registry[typeName] = metatable and registry[metatable] = typeName.
// 0 when registry[typeName] exists already; else creates it, leaves it on the stack, returns 1.
int VmNewNamedMetatable(VmState* state, const char* typeName);
void VmGetNamedMetatable(VmState* state, const char* typeName);
// The data block of a full userdata whose metatable is registry[typeName], else null.
void* VmTestUserdataType(VmState* state, int index, const char* typeName);
// Pushes the metatable's field and returns 1; 0 with the stack unchanged when there is none.
int VmGetMetaField(VmState* state, int index, const char* field);
// Calls the metatable's field with the value as its one argument, leaving one result: 1; 0 when
// there is no such field.
int VmCallMeta(VmState* state, int index, const char* field);

// String builder. Pieces that no longer fit the area are pushed on the VM stack, so nothing else
// may be pushed or popped between the calls (except the value for VmBufAddValue).
constexpr size_t VM_BUFFERSIZE = 1024;
struct VmStringBuffer {
    size_t position;  // bytes used in area
    int pieces;       // pieces pushed on the VM stack
    VmState* state;
    char area[VM_BUFFERSIZE];
};
void VmBufInit(VmState* state, VmStringBuffer* buffer);
// Flushes the area and returns it for direct writing of up to VM_BUFFERSIZE bytes; the caller
// then records how many it wrote with VmBufAddSize.
char* VmBufPrepare(VmStringBuffer* buffer);
void VmBufAddSize(VmStringBuffer* buffer, size_t n);
void VmBufAddLString(VmStringBuffer* buffer, const char* s, size_t length);
void VmBufAddString(VmStringBuffer* buffer, const char* s);
// Appends the string (or number) on the stack top and pops it.
void VmBufAddValue(VmStringBuffer* buffer);
// Leaves the whole text as one string on the stack in place of the pieces.
void VmBufPushResult(VmStringBuffer* buffer);

// Element count of the table at index: its field "n" when that is a number, else its entry in the
// table-size table (registry[2]), else the number of consecutive non-nil entries from key 1.
int VmGetSize(VmState* state, int index);
// Stores n in the field "n" when the table has a number there, else in the table-size table
// (created with weak keys when missing).
void VmSetSize(VmState* state, int index, int n);

// Pops the top value and stores it under a fresh integer key of the table, returned. Keys come
// from the free list at key 1 first, else max(element count, 2) + 1. A nil value is not stored
// and gives VM_REFNIL.
int VmRef(VmState* state, int tableIndex);
// Puts the key on the free list. Keys below 3 (never handed out) are ignored.
void VmUnref(VmState* state, int tableIndex, int ref);
