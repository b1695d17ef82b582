// The auxiliary library: argument checks, registry entries, labels and constants, registration,
// named metatables, the string builder, element counts and references.
#include "vm/vm_aux.h"

#include <cmath>
#include <cstring>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "vm/vm_exec.h"

namespace {

// Pieces of a string builder that may stay on the stack before they are merged.
constexpr int kMaxPieces = 9;

// A name lower-cased into a local buffer. ok is false for a null name or one longer than
// VM_MAX_NAME.
struct FoldedName {
    char text[VM_MAX_NAME + 1];
    bool ok;
    explicit FoldedName(const char* name) {
        ok = false;
        text[0] = 0;
        if (!name) return;
        size_t n = std::strlen(name);
        if (n > VM_MAX_NAME) return;
        std::memcpy(text, name, n + 1);
        LowerCaseString(text);
        ok = true;
    }
};

[[noreturn]] void RaiseArg(VmState* state, int index, int code) {
    SetErrorArgIndex(index);
    VmRaiseError(state, code);
}

[[noreturn]] void RaiseNamed(VmState* state, const char* name, int code) {
    SetErrorArgString(name);
    VmRaiseError(state, code);
}

void NeedStack(VmState* state, int n) {
    if (!VmCheckStack(state, n)) VmRaiseError(state, ERR_STACK);
}

// Pushes registry[name].
void PushRegistryField(VmState* state, const char* name) {
    NeedStack(state, 2);
    VmPushString(state, name);
    VmRawGet(state, VM_REGISTRYINDEX);
}

// Pushes registry[name], creating an empty table there when it holds no table.
void PushRegistryTable(VmState* state, const char* name) {
    PushRegistryField(state, name);
    if (VmType(state, -1) == VM_TTABLE) return;
    VmPop(state, 1);
    VmNewTable(state);
    VmPushString(state, name);
    VmPushValue(state, -2);
    VmRawSet(state, VM_REGISTRYINDEX);
}

}  // namespace

int32_t VmTruncateNumber(double n) {
    if (std::isnan(n) || n <= -2147483648.0) return INT32_MIN;
    if (n >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(n);
}

int VmAbsIndex(VmState* state, int index) {
    if (index > 0 || index <= VM_REGISTRYINDEX) return index;
    return VmGetTop(state) + index + 1;
}

int32_t VmNumberToInteger(double n) {
    if (n >= 2147483648.0) {
        if (n >= 4294967295.0) return -1;  // the pattern 0xFFFFFFFF
        return static_cast<int32_t>(static_cast<uint32_t>(n));
    }
    return VmTruncateNumber(n);
}

// ---------------------------------------------------------------------------------------------
// Argument checks

double VmCheckNumber(VmState* state, int index) {
    // The usual case, an argument slot that holds a number, is read in place.
    if (index > 0) {
        const VmValue* o = state->base + (index - 1);
        if (o < state->top && o->tt == VM_TNUMBER) return o->value.n;
    }
    if (!VmIsNumber(state, index)) RaiseArg(state, index, ERR_NUMEXPECTED);
    return VmToNumber(state, index);
}

int32_t VmCheckInteger(VmState* state, int index) { return VmNumberToInteger(VmCheckNumber(state, index)); }

double VmCheckNumberNamed(VmState* state, int index, const char* name) {
    if (!VmIsNumber(state, index)) RaiseNamed(state, name, ERR_NUMTABLEARG);
    return VmToNumber(state, index);
}

int32_t VmCheckIntegerNamed(VmState* state, int index, const char* name) {
    return VmNumberToInteger(VmCheckNumberNamed(state, index, name));
}

const char* VmCheckString(VmState* state, int index, size_t* length) {
    if (!VmIsString(state, index)) RaiseArg(state, index, ERR_STREXPECTED);
    const char* s = VmToString(state, index);
    if (length) *length = VmStrLen(state, index);
    return s;
}

const char* VmCheckStringNamed(VmState* state, int index, const char* name, size_t* length) {
    if (!VmIsString(state, index)) RaiseNamed(state, name, ERR_STRTABLEARG);
    const char* s = VmToString(state, index);
    if (length) *length = VmStrLen(state, index);
    return s;
}

void VmCheckTable(VmState* state, int index) {
    if (VmType(state, index) != VM_TTABLE) RaiseArg(state, index, ERR_TABEXPECTED);
}

void VmCheckFunction(VmState* state, int index) {
    if (VmType(state, index) != VM_TFUNCTION) RaiseArg(state, index, ERR_FUNCEXPECTED);
}

void* VmCheckUserdata(VmState* state, int index) {
    if (!VmIsUserdata(state, index)) RaiseArg(state, index, ERR_UDEXPECTED);
    return VmToUserdata(state, index);
}

void VmCheckType(VmState* state, int index, int tag) {
    if (VmType(state, index) == tag) return;
    switch (tag) {
    case VM_TNUMBER: RaiseArg(state, index, ERR_NUMEXPECTED);
    case VM_TSTRING: RaiseArg(state, index, ERR_STREXPECTED);
    case VM_TTABLE: RaiseArg(state, index, ERR_TABEXPECTED);
    case VM_TFUNCTION: RaiseArg(state, index, ERR_FUNCEXPECTED);
    default: RaiseArg(state, index, ERR_UDEXPECTED);
    }
}

double VmOptNumber(VmState* state, int index, double def) {
    if (VmType(state, index) == VM_TNONE) return def;
    return VmCheckNumber(state, index);
}

int32_t VmOptInteger(VmState* state, int index, int32_t def) {
    if (VmType(state, index) == VM_TNONE) return def;
    return VmCheckInteger(state, index);
}

const char* VmOptString(VmState* state, int index, const char* def, size_t* length) {
    if (VmType(state, index) == VM_TNONE) {
        if (length) *length = def ? std::strlen(def) : 0;
        return def;
    }
    return VmCheckString(state, index, length);
}

double VmGetNumberOrCode(VmState* state, int index, int* error) {
    if (VmType(state, index) != VM_TNUMBER) {
        *error = ERR_NUMCALLBACK;
        return 0;
    }
    *error = 0;
    return VmToNumber(state, index);
}

const char* VmGetStringOrCode(VmState* state, int index, size_t* length, int* error) {
    if (!VmIsString(state, index)) {
        *error = ERR_STRCALLBACK;
        if (length) *length = 0;
        return nullptr;
    }
    *error = 0;
    const char* s = VmToString(state, index);
    if (length) *length = VmStrLen(state, index);
    return s;
}

// ---------------------------------------------------------------------------------------------
// Registry entries

void* VmGetRegistryPointer(VmState* state, const char* name) {
    PushRegistryField(state, name);
    void* p = VmToUserdata(state, -1);
    VmPop(state, 1);
    return p;
}

const char* VmGetRegistryString(VmState* state, const char* name) {
    PushRegistryField(state, name);
    // The registry keeps the string alive; a number there is not converted.
    const char* s = VmType(state, -1) == VM_TSTRING ? VmToString(state, -1) : nullptr;
    VmPop(state, 1);
    return s;
}

double VmGetRegistryNumber(VmState* state, const char* name) {
    PushRegistryField(state, name);
    double n = VmType(state, -1) == VM_TNUMBER ? VmToNumber(state, -1) : 0;
    VmPop(state, 1);
    return n;
}

void VmSetRegistryPointer(VmState* state, const char* name, void* pointer) {
    NeedStack(state, 2);
    VmPushString(state, name);
    VmPushLightUserdata(state, pointer);
    VmRawSet(state, VM_REGISTRYINDEX);
}

void VmSetRegistryString(VmState* state, const char* name, const char* text) {
    NeedStack(state, 2);
    VmPushString(state, name);
    VmPushString(state, text);
    VmRawSet(state, VM_REGISTRYINDEX);
}

void VmSetRegistryNumber(VmState* state, const char* name, double n) {
    NeedStack(state, 2);
    VmPushString(state, name);
    VmPushNumber(state, n);
    VmRawSet(state, VM_REGISTRYINDEX);
}

// ---------------------------------------------------------------------------------------------
// Labels

int VmFindLabel(VmState* state, const char* name) {
    FoldedName key(name);
    if (!key.ok) return -1;
    PushRegistryField(state, "labels");
    int result = -1;
    if (VmType(state, -1) == VM_TTABLE) {
        NeedStack(state, 1);
        VmPushString(state, key.text);
        VmRawGet(state, -2);
        if (VmType(state, -1) == VM_TNUMBER) result = VmTruncateNumber(VmToNumber(state, -1));
        VmPop(state, 1);
    }
    VmPop(state, 1);
    return result;
}

int VmPrepareLabelJump(VmState* state, const char* name) {
    int label = VmFindLabel(state, name);
    if (label < 0) return 0;
    VmSetLabelJump(state->g, label);
    return 1;
}

int VmDefineLabel(VmState* state, const char* name, int value) {
    FoldedName key(name);
    if (!key.ok) return ERR_NAMETOOLONG;
    PushRegistryTable(state, "labels");
    NeedStack(state, 2);
    VmPushString(state, key.text);
    VmPushNumber(state, value);
    VmRawSet(state, -3);
    VmPop(state, 1);
    return 0;
}

int VmAddLabelRef(VmState* state, const char* name, int pc) {
    FoldedName key(name);
    if (!key.ok) return -1;
    PushRegistryField(state, "labelrefs");
    NeedStack(state, 4);
    if (VmType(state, -1) != VM_TTABLE) {
        VmPop(state, 1);
        VmNewTable(state);
        VmPushString(state, "n");
        VmPushNumber(state, 0);
        VmRawSet(state, -3);
        VmPushString(state, "labelrefs");
        VmPushValue(state, -2);
        VmRawSet(state, VM_REGISTRYINDEX);
    }
    VmPushString(state, "n");
    VmRawGet(state, -2);
    int n = VmType(state, -1) == VM_TNUMBER ? VmTruncateNumber(VmToNumber(state, -1)) : 0;
    VmPop(state, 1);
    if (n < 0 || n == INT32_MAX) n = 0;  // a damaged count starts over rather than overflowing

    VmNewTable(state);
    VmPushString(state, "name");
    VmPushString(state, key.text);
    VmRawSet(state, -3);
    VmPushString(state, "pc");
    VmPushNumber(state, pc);
    VmRawSet(state, -3);
    VmRawSetI(state, -2, n);

    VmPushString(state, "n");
    VmPushNumber(state, n + 1);
    VmRawSet(state, -3);
    VmPop(state, 1);
    return n;
}

// ---------------------------------------------------------------------------------------------
// Constants and registration

int VmFindConstantIn(VmState* state, const char* name, const char** string, double* number, const char* tableName) {
    FoldedName key(name);
    if (!key.ok) return 0;
    PushRegistryField(state, tableName);
    if (VmType(state, -1) != VM_TTABLE) {
        VmPop(state, 1);
        return 0;
    }
    NeedStack(state, 1);
    VmPushString(state, key.text);
    VmRawGet(state, -2);
    int found = 1;
    switch (VmType(state, -1)) {
    case VM_TNIL: found = 0; break;
    case VM_TNUMBER:
        if (number) *number = VmToNumber(state, -1);
        if (string) *string = nullptr;
        break;
    case VM_TSTRING:
        // The constants table keeps the string alive.
        if (string) *string = VmToString(state, -1);
        break;
    default: break;
    }
    VmPop(state, 2);
    return found;
}

int VmFindConstant(VmState* state, const char* name, const char** string, double* number) {
    return VmFindConstantIn(state, name, string, number, "constants") ||
           VmFindConstantIn(state, name, string, number, "userconstants");
}

int VmRegisterConstants(VmState* state, const qzConstantRow* rows, int isUser) {
    PushRegistryTable(state, isUser ? "userconstants" : "constants");
    NeedStack(state, 2);
    int result = 0;
    for (const qzConstantRow* row = rows; row && row->name; row++) {
        FoldedName key(row->name);
        if (!key.ok) {
            result = ERR_NAMETOOLONG;
            continue;
        }
        VmPushString(state, key.text);
        if (row->string)
            VmPushString(state, row->string);
        else
            VmPushNumber(state, row->number);
        VmRawSet(state, -3);
    }
    VmPop(state, 1);
    return result;
}

int VmRegisterFunctions(VmState* state, const char* tableName, const qzCommandRow* rows, int nUpvalues) {
    if (nUpvalues < 0 || VmGetTop(state) < nUpvalues) VmRaiseError(state, ERR_STACK);
    NeedStack(state, nUpvalues + 4);
    int target = VM_GLOBALSINDEX;
    if (tableName) {
        VmPushString(state, tableName);
        VmRawGet(state, VM_GLOBALSINDEX);
        if (VmType(state, -1) != VM_TTABLE) {
            VmPop(state, 1);
            VmNewTable(state);
            VmPushString(state, tableName);
            VmPushValue(state, -2);
            VmRawSet(state, VM_GLOBALSINDEX);
        }
        // The table goes below the upvalues so that they stay on the top.
        VmInsert(state, -(nUpvalues + 1));
        target = VmGetTop(state) - nUpvalues;
    }
    int count = 0;
    for (const qzCommandRow* row = rows; row && row->name; row++) {
        if (!row->handler) continue;
        FoldedName key(row->name);
        if (!key.ok) continue;
        VmPushString(state, key.text);
        for (int i = 0; i < nUpvalues; i++) VmPushValue(state, -(nUpvalues + 1));
        VmPushCommandClosure(state, row->handler, nUpvalues, row->minArgs, row->maxArgs);
        VmRawSet(state, target);
        count++;
    }
    VmPop(state, nUpvalues + (tableName ? 1 : 0));
    return count;
}

int VmFindStringInList(const char* name, const char* const* list) {
    if (!name || !list) return -1;
    for (int i = 0; list[i]; i++)
        if (std::strcmp(list[i], name) == 0) return i;
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Named metatables

int VmNewNamedMetatable(VmState* state, const char* typeName) {
    PushRegistryField(state, typeName);
    bool exists = VmType(state, -1) != VM_TNIL;
    VmPop(state, 1);
    if (exists) return 0;
    NeedStack(state, 3);
    VmNewTable(state);
    VmPushString(state, typeName);
    VmPushValue(state, -2);
    VmRawSet(state, VM_REGISTRYINDEX);
    VmPushValue(state, -1);
    VmPushString(state, typeName);
    VmRawSet(state, VM_REGISTRYINDEX);
    return 1;
}

void VmGetNamedMetatable(VmState* state, const char* typeName) { PushRegistryField(state, typeName); }

void* VmTestUserdataType(VmState* state, int index, const char* typeName) {
    if (VmType(state, index) != VM_TUSERDATA) return nullptr;
    index = VmAbsIndex(state, index);
    NeedStack(state, 2);
    if (!VmGetMetatable(state, index)) return nullptr;
    PushRegistryField(state, typeName);
    bool same = VmType(state, -1) == VM_TTABLE && VmRawEqual(state, -1, -2);
    VmPop(state, 2);
    return same ? VmToUserdata(state, index) : nullptr;
}

int VmGetMetaField(VmState* state, int index, const char* field) {
    NeedStack(state, 2);
    if (!VmGetMetatable(state, index)) return 0;
    VmPushString(state, field);
    VmRawGet(state, -2);
    if (VmType(state, -1) == VM_TNIL) {
        VmPop(state, 2);
        return 0;
    }
    VmRemove(state, -2);
    return 1;
}

int VmCallMeta(VmState* state, int index, const char* field) {
    index = VmAbsIndex(state, index);
    if (!VmGetMetaField(state, index, field)) return 0;
    NeedStack(state, 1);
    VmPushValue(state, index);
    VmCall(state, 1, 1);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// String builder

namespace {

// Pushes the area's content as a new piece; false when the area is empty.
bool FlushArea(VmStringBuffer* buffer) {
    if (buffer->position == 0) return false;
    NeedStack(buffer->state, 1);
    VmPushLString(buffer->state, buffer->area, buffer->position);
    buffer->position = 0;
    buffer->pieces++;
    return true;
}

// Merges pieces from the top while there are too many, or while the top pieces together are
// longer than the piece below them, so that lengths shrink toward the top.
void MergePieces(VmStringBuffer* buffer) {
    VmState* state = buffer->state;
    if (buffer->pieces <= 1) return;
    int take = 1;
    size_t topLength = VmStrLen(state, -1);
    do {
        size_t below = VmStrLen(state, -(take + 1));
        if (buffer->pieces - take + 1 > kMaxPieces || topLength > below) {
            topLength += below;
            take++;
        } else {
            break;
        }
    } while (take < buffer->pieces);
    VmConcat(state, take);
    buffer->pieces -= take - 1;
}

}  // namespace

void VmBufInit(VmState* state, VmStringBuffer* buffer) {
    buffer->state = state;
    buffer->position = 0;
    buffer->pieces = 0;
}

char* VmBufPrepare(VmStringBuffer* buffer) {
    if (FlushArea(buffer)) MergePieces(buffer);
    return buffer->area;
}

void VmBufAddSize(VmStringBuffer* buffer, size_t n) {
    size_t room = VM_BUFFERSIZE - buffer->position;
    buffer->position += n < room ? n : room;
}

void VmBufAddLString(VmStringBuffer* buffer, const char* s, size_t length) {
    while (length > 0) {
        if (buffer->position == VM_BUFFERSIZE) VmBufPrepare(buffer);
        size_t room = VM_BUFFERSIZE - buffer->position;
        size_t n = length < room ? length : room;
        std::memcpy(buffer->area + buffer->position, s, n);
        buffer->position += n;
        s += n;
        length -= n;
    }
}

void VmBufAddString(VmStringBuffer* buffer, const char* s) {
    if (s) VmBufAddLString(buffer, s, std::strlen(s));
}

void VmBufAddValue(VmStringBuffer* buffer) {
    VmState* state = buffer->state;
    if (!VmIsString(state, -1)) VmRaiseError(state, ERR_STREXPECTED);
    const char* s = VmToString(state, -1);
    size_t length = VmStrLen(state, -1);
    if (length <= VM_BUFFERSIZE - buffer->position) {
        std::memcpy(buffer->area + buffer->position, s, length);
        buffer->position += length;
        VmPop(state, 1);
        return;
    }
    // Too long for the area: the value itself becomes a piece, above the area's content.
    if (FlushArea(buffer)) VmInsert(state, -2);
    buffer->pieces++;
    MergePieces(buffer);
}

void VmBufPushResult(VmStringBuffer* buffer) {
    FlushArea(buffer);
    VmConcat(buffer->state, buffer->pieces);
    buffer->pieces = 1;
}

// ---------------------------------------------------------------------------------------------
// Element counts and references

int VmGetSize(VmState* state, int index) {
    index = VmAbsIndex(state, index);
    NeedStack(state, 3);
    VmPushString(state, "n");
    VmRawGet(state, index);
    if (VmType(state, -1) == VM_TNUMBER) {
        int n = VmTruncateNumber(VmToNumber(state, -1));
        VmPop(state, 1);
        return n;
    }
    VmPop(state, 1);

    VmRawGetI(state, VM_REGISTRYINDEX, VM_REF_SIZES);
    if (VmType(state, -1) == VM_TTABLE) {
        VmPushValue(state, index);
        VmRawGet(state, -2);
        if (VmType(state, -1) == VM_TNUMBER) {
            int n = VmTruncateNumber(VmToNumber(state, -1));
            VmPop(state, 2);
            return n;
        }
        VmPop(state, 1);
    }
    VmPop(state, 1);

    int n = 0;
    while (n < INT32_MAX) {
        VmRawGetI(state, index, n + 1);
        bool present = VmType(state, -1) != VM_TNIL;
        VmPop(state, 1);
        if (!present) break;
        n++;
    }
    return n;
}

void VmSetSize(VmState* state, int index, int n) {
    index = VmAbsIndex(state, index);
    NeedStack(state, 4);
    VmPushString(state, "n");
    VmRawGet(state, index);
    if (VmType(state, -1) == VM_TNUMBER) {
        VmPop(state, 1);
        VmPushString(state, "n");
        VmPushNumber(state, n);
        VmRawSet(state, index);
        return;
    }
    VmPop(state, 1);

    VmRawGetI(state, VM_REGISTRYINDEX, VM_REF_SIZES);
    if (VmType(state, -1) != VM_TTABLE) {
        VmPop(state, 1);
        // The counts must not keep their tables alive: weak keys.
        VmNewTable(state);
        VmNewTable(state);
        VmPushString(state, "__mode");
        VmPushString(state, "k");
        VmRawSet(state, -3);
        VmSetMetatable(state, -2);
        VmPushValue(state, -1);
        VmRawSetI(state, VM_REGISTRYINDEX, VM_REF_SIZES);
    }
    VmPushValue(state, index);
    VmPushNumber(state, n);
    VmRawSet(state, -3);
    VmPop(state, 1);
}

int VmRef(VmState* state, int tableIndex) {
    tableIndex = VmAbsIndex(state, tableIndex);
    if (VmType(state, -1) == VM_TNIL) {
        VmPop(state, 1);
        return VM_REFNIL;
    }
    NeedStack(state, 2);
    VmRawGetI(state, tableIndex, VM_REF_FREELIST);
    int ref = VmType(state, -1) == VM_TNUMBER ? VmTruncateNumber(VmToNumber(state, -1)) : 0;
    VmPop(state, 1);
    if (ref > VM_REF_SIZES) {
        // Reuse a freed key: the list head moves to the next free one.
        VmRawGetI(state, tableIndex, ref);
        VmRawSetI(state, tableIndex, VM_REF_FREELIST);
    } else {
        int size = VmGetSize(state, tableIndex);
        if (size == INT32_MAX) VmRaiseError(state, ERR_TABLEOVERFLOW);
        ref = (size > VM_REF_SIZES ? size : VM_REF_SIZES) + 1;
        VmSetSize(state, tableIndex, ref);
    }
    VmRawSetI(state, tableIndex, ref);
    return ref;
}

void VmUnref(VmState* state, int tableIndex, int ref) {
    if (ref <= VM_REF_SIZES) return;
    tableIndex = VmAbsIndex(state, tableIndex);
    NeedStack(state, 2);
    VmRawGetI(state, tableIndex, VM_REF_FREELIST);
    VmRawSetI(state, tableIndex, ref);
    VmPushNumber(state, ref);
    VmRawSetI(state, tableIndex, VM_REF_FREELIST);
}
