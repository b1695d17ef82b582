// Reading and writing the optional fields of options tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/object_id.h"

struct VmState;

// Writers: set key = value in the table on the stack top.
void SetTableFieldInt(VmState* state, const char* key, int32_t value);
void SetTableFieldUInt(VmState* state, const char* key, uint32_t value);
void SetTableFieldNumber(VmState* state, const char* key, double value);
// A null text stores nil.
void SetTableFieldString(VmState* state, const char* key, const char* value);
// Light userdata when the identifier has a pointer, else its number.
void SetTableFieldObjectId(VmState* state, const char* key, const qzObjectId& id);

// Readers, for the table at tableIndex. Each returns 1 and sets *found (optional) when the field
// is present (non-nil); otherwise returns 0 and leaves the outputs alone. A present field of the
// wrong type raises the reader's error with the key as the error-argument text.

// A number truncated like VmCheckInteger (a boolean counts as 0 or 1). ERR_NUMTABLEARG.
int GetTableFieldInt(VmState* state, int tableIndex, const char* key, int32_t* value, int* found);
// A number. ERR_NUMTABLEARG.
int GetTableFieldNumber(VmState* state, int tableIndex, const char* key, double* value, int* found);
// Booleans are numbers: the field as a 32-bit word, non-zero = true (a boolean counts as 0 or 1).
// ERR_NUMTABLEARG.
int GetTableFieldBool(VmState* state, int tableIndex, const char* key, int32_t* value, int* found);
// An on/off option, the way handlers read them: GetTableFieldBool's values stored as 1 (non-zero)
// or 0. ERR_NUMTABLEARG.
int GetTableFieldFlag(VmState* state, int tableIndex, const char* key, int* value, int* found);
int GetTableFieldFlag(VmState* state, int tableIndex, const char* key, bool* value, int* found);
// A number, or a string "N%" stored as -N (N in 0 .. 100, no upper bound with allowOver100).
// ERR_NUMTABLEARG for other types, ERR_PERCENTFORMATSTR for a bad percent string.
int GetTableFieldIntOrPercent(VmState* state, int tableIndex, const char* key, int allowOver100, int32_t* value,
                              int* found);
// A number or a percent string by the rules of CheckPercentArg. ERR_STRORNUM, ERR_PERCENTFORMAT.
int GetTableFieldPercent(VmState* state, int tableIndex, const char* key, double base, int allowOver100, double* value,
                         int* found);

// Maps a file name to its linked copy (a chunk file name) or returns it unchanged.
typedef const char* (*qzLinkedFileResolver)(VmState* state, const char* name, int kind, int* isFont);
// A string or number, copied (zero bytes included); passed through resolve with kind when one is
// given. ERR_STRTABLEARG.
int GetTableFieldString(VmState* state, int tableIndex, const char* key, qzLinkedFileResolver resolve, int kind,
                        std::string* value, int* found);
// A string or number into buffer (bufferSize bytes, NUL-terminated). ERR_STRTABLEARG; a text that
// does not fit raises ERR_NAMETOOLONG instead of being cut.
int GetTableFieldStringBuf(VmState* state, int tableIndex, const char* key, char* buffer, size_t bufferSize,
                           int* found);
// Light userdata or a number. ERR_NUMTABLEARG.
int GetTableFieldObjectId(VmState* state, int tableIndex, const char* key, qzObjectId* value, int* found);

// The 1-based position of the named layer in the current background picture, 0 when none.
typedef int (*qzLayerNameLookup)(const char* name);
// A number (a layer position), or a layer name looked up with lookup (null: no background
// picture, every name fails). ERR_FINDLAYER with the name; ERR_WRONGUSAGE for other types.
int GetTableFieldLayerId(VmState* state, int tableIndex, const char* key, qzLayerNameLookup lookup, int32_t* value,
                         int* found);
// A 2 x 2 matrix: a table of four numbers at keys 0 .. 3. ERR_TABEXPECTED when the field is not a
// table, ERR_MISSINGPARAMTR for a missing element, ERR_NUMTABLEARG for a non-number.
int GetTableFieldMatrix(VmState* state, int tableIndex, const char* key, double matrix[4], int* found);

// The identifier list field of options tables.
constexpr const char* QZ_IDLIST_KEY = "images";
// Reads field "images": a table of identifiers (light userdata or numbers) at keys 0, 1, ... up to
// the first nil. *count gets their number; the first `capacity` of them go into ids when ids is
// given. An absent field gives 0 identifiers. Does not raise: returns 0, ERR_TABEXPECTED2 (with
// the field name as the error-argument text) when the field is not a table, or ERR_NUMCALLBACK
// for an element that is neither.
int GetTableFieldIdList(VmState* state, int tableIndex, qzObjectId* ids, size_t capacity, int* count);
