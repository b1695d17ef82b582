// Options tables: optional fields read with the player's errors, and result fields written.
#include "runtime/option_table.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/error_codes.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

void NeedStack(VmState* state, int n) {
    if (!VmCheckStack(state, n)) VmRaiseError(state, ERR_STACK);
}

// Pushes table[key] and returns true; pops it again and returns false when it is nil.
bool PushField(VmState* state, int tableIndex, const char* key) {
    tableIndex = VmAbsIndex(state, tableIndex);
    NeedStack(state, 2);
    VmPushString(state, key);
    VmGetTable(state, tableIndex);
    if (VmType(state, -1) != VM_TNIL) return true;
    VmPop(state, 1);
    return false;
}

int Present(int* found) {
    if (found) *found = 1;
    return 1;
}

[[noreturn]] void RaiseField(VmState* state, const char* key, int code) {
    SetErrorArgString(key);
    VmRaiseError(state, code);
}

// Reads the field on the stack top as an identifier; raises with the key for other types.
qzObjectId IdOnTop(VmState* state, const char* key) {
    if (VmType(state, -1) == VM_TLIGHTUSERDATA) return {0, VmToUserdata(state, -1)};
    return {VmTruncateNumber(VmCheckNumberNamed(state, -1, key)), nullptr};
}

// Sets key = value (on the stack top) in the table below it.
void SetOnTable(VmState* state) { VmRawSet(state, -3); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Writers

void SetTableFieldInt(VmState* state, const char* key, int32_t value) {
    NeedStack(state, 2);
    VmPushString(state, key);
    VmPushNumber(state, value);
    SetOnTable(state);
}

void SetTableFieldUInt(VmState* state, const char* key, uint32_t value) {
    NeedStack(state, 2);
    VmPushString(state, key);
    VmPushNumber(state, value);
    SetOnTable(state);
}

void SetTableFieldNumber(VmState* state, const char* key, double value) {
    NeedStack(state, 2);
    VmPushString(state, key);
    VmPushNumber(state, value);
    SetOnTable(state);
}

void SetTableFieldString(VmState* state, const char* key, const char* value) {
    NeedStack(state, 2);
    VmPushString(state, key);
    if (value)
        VmPushString(state, value);
    else
        VmPushNil(state);
    SetOnTable(state);
}

void SetTableFieldObjectId(VmState* state, const char* key, const qzObjectId& id) {
    NeedStack(state, 2);
    VmPushString(state, key);
    if (id.pointer)
        VmPushLightUserdata(state, id.pointer);
    else
        VmPushNumber(state, id.number);
    SetOnTable(state);
}

// ---------------------------------------------------------------------------------------------
// Readers

int GetTableFieldInt(VmState* state, int tableIndex, const char* key, int32_t* value, int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    if (VmType(state, -1) == VM_TBOOLEAN)
        *value = VmToBoolean(state, -1) ? 1 : 0;
    else
        *value = VmCheckIntegerNamed(state, -1, key);
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldNumber(VmState* state, int tableIndex, const char* key, double* value, int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    *value = VmCheckNumberNamed(state, -1, key);
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldBool(VmState* state, int tableIndex, const char* key, int32_t* value, int* found) {
    return GetTableFieldInt(state, tableIndex, key, value, found);
}

int GetTableFieldFlag(VmState* state, int tableIndex, const char* key, int* value, int* found) {
    int32_t word = 0;
    if (!GetTableFieldBool(state, tableIndex, key, &word, found)) return 0;
    *value = word != 0 ? 1 : 0;
    return 1;
}

int GetTableFieldFlag(VmState* state, int tableIndex, const char* key, bool* value, int* found) {
    int32_t word = 0;
    if (!GetTableFieldBool(state, tableIndex, key, &word, found)) return 0;
    *value = word != 0;
    return 1;
}

int GetTableFieldIntOrPercent(VmState* state, int tableIndex, const char* key, int allowOver100, int32_t* value,
                              int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    int type = VmType(state, -1);
    if (type == VM_TSTRING) {
        const char* text = VmToString(state, -1);
        char* end = nullptr;
        double n = std::strtod(text, &end);
        if (end != text && *end == '%') {
            if (!std::isfinite(n) || n < 0 || (n > 100 && !allowOver100)) RaiseField(state, key, ERR_PERCENTFORMATSTR);
            *value = -VmTruncateNumber(n);
        } else if (VmIsNumber(state, -1)) {
            *value = VmNumberToInteger(VmToNumber(state, -1));
        } else {
            RaiseField(state, key, ERR_PERCENTFORMATSTR);
        }
    } else {
        *value = VmCheckIntegerNamed(state, -1, key);
    }
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldPercent(VmState* state, int tableIndex, const char* key, double base, int allowOver100, double* value,
                         int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    int type = VmType(state, -1);
    if (type == VM_TNUMBER) {
        *value = VmToNumber(state, -1);
    } else if (type == VM_TSTRING) {
        double result = 0;
        if (ReadPercentText(VmToString(state, -1), base, allowOver100, &result, nullptr) != 0)
            RaiseField(state, key, ERR_PERCENTFORMAT);
        *value = result;
    } else {
        RaiseField(state, key, ERR_STRORNUM);
    }
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldString(VmState* state, int tableIndex, const char* key, qzLinkedFileResolver resolve, int kind,
                        std::string* value, int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    size_t length = 0;
    const char* text = VmCheckStringNamed(state, -1, key, &length);
    if (resolve)
        value->assign(resolve(state, text, kind, nullptr));
    else
        value->assign(text, length);
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldStringBuf(VmState* state, int tableIndex, const char* key, char* buffer, size_t bufferSize,
                           int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    size_t length = 0;
    const char* text = VmCheckStringNamed(state, -1, key, &length);
    if (bufferSize == 0 || length >= bufferSize) RaiseField(state, key, ERR_NAMETOOLONG);
    std::memcpy(buffer, text, length);
    buffer[length] = 0;
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldObjectId(VmState* state, int tableIndex, const char* key, qzObjectId* value, int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    *value = IdOnTop(state, key);
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldLayerId(VmState* state, int tableIndex, const char* key, qzLayerNameLookup lookup, int32_t* value,
                         int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    int type = VmType(state, -1);
    if (type == VM_TNUMBER) {
        *value = VmTruncateNumber(VmToNumber(state, -1));
    } else if (type == VM_TSTRING) {
        const char* name = VmToString(state, -1);
        int position = lookup ? lookup(name) : 0;
        if (position <= 0) RaiseField(state, name, ERR_FINDLAYER);
        *value = position;
    } else {
        RaiseField(state, key, ERR_WRONGUSAGE);
    }
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldMatrix(VmState* state, int tableIndex, const char* key, double matrix[4], int* found) {
    if (!PushField(state, tableIndex, key)) return 0;
    if (VmType(state, -1) != VM_TTABLE) RaiseField(state, key, ERR_TABEXPECTED);
    NeedStack(state, 1);
    double m[4];
    for (int i = 0; i < 4; i++) {
        VmRawGetI(state, -1, i);
        int type = VmType(state, -1);
        if (type == VM_TNIL) RaiseField(state, key, ERR_MISSINGPARAMTR);
        if (type != VM_TNUMBER) RaiseField(state, key, ERR_NUMTABLEARG);
        m[i] = VmToNumber(state, -1);
        VmPop(state, 1);
    }
    std::memcpy(matrix, m, sizeof m);
    VmPop(state, 1);
    return Present(found);
}

int GetTableFieldIdList(VmState* state, int tableIndex, qzObjectId* ids, size_t capacity, int* count) {
    *count = 0;
    if (!PushField(state, tableIndex, QZ_IDLIST_KEY)) return 0;
    if (VmType(state, -1) != VM_TTABLE) {
        VmPop(state, 1);
        SetErrorArgString(QZ_IDLIST_KEY);
        return ERR_TABEXPECTED2;
    }
    NeedStack(state, 1);
    int n = 0;
    for (; n < INT32_MAX; n++) {
        VmRawGetI(state, -1, n);
        int type = VmType(state, -1);
        if (type == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        qzObjectId id;
        if (type == VM_TLIGHTUSERDATA) {
            id = {0, VmToUserdata(state, -1)};
        } else if (type == VM_TNUMBER) {
            id = {VmTruncateNumber(VmToNumber(state, -1)), nullptr};
        } else {
            VmPop(state, 2);
            return ERR_NUMCALLBACK;
        }
        VmPop(state, 1);
        if (ids && static_cast<size_t>(n) < capacity) ids[n] = id;
    }
    VmPop(state, 1);
    *count = n;
    return 0;
}
