// Values and metatables: SetMetaTable, GetMetaTable, the raw accessors, the collector controls,
// GetType, IIf, IsNil and Assert.
#include "base/error_codes.h"
#include "libs/system/system.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int SysSetMetaTable(VmState* state) {
    VmCheckTable(state, 1);
    int type = VmType(state, 2);
    if (type != VM_TNIL && type != VM_TTABLE) return ERR_TABLEORNIL;
    // A metatable with a "__metatable" field protects itself from being replaced.
    if (VmGetMetaField(state, 1, "__metatable")) return ERR_PROTMETATABLE;
    VmSetTop(state, 2);
    VmSetMetatable(state, 1);
    return 1;
}

int SysGetMetaTable(VmState* state) {
    if (!VmGetMetatable(state, 1)) {
        VmPushNil(state);
        return 1;
    }
    VmPushString(state, "__metatable");
    VmRawGet(state, -2);
    if (VmType(state, -1) == VM_TNIL) VmPop(state, 1);
    return 1;
}

int SysRawEqual(VmState* state) {
    VmPushNumber(state, VmRawEqual(state, 1, 2));
    return 1;
}

int SysRawGet(VmState* state) {
    VmCheckTable(state, 1);
    VmRawGet(state, 1);
    return 1;
}

int SysRawSet(VmState* state) {
    VmCheckTable(state, 1);
    VmRawSet(state, 1);
    return 1;
}

int SysGCInfo(VmState* state) {
    VmPushNumber(state, VmGetGcCount(state));
    VmPushNumber(state, VmGetGcThreshold(state));
    return 2;
}

int SysCollectGarbage(VmState* state) {
    int32_t threshold = VmOptInteger(state, 1, 0);
    VmSetGcThreshold(state, threshold);
    return 0;
}

int SysGetType(VmState* state) {
    int result;
    switch (VmType(state, 1)) {
    case VM_TNIL: result = QZ_VT_NIL; break;
    case VM_TNUMBER: result = QZ_VT_NUMBER; break;
    case VM_TSTRING: result = QZ_VT_STRING; break;
    case VM_TTABLE: result = QZ_VT_TABLE; break;
    case VM_TFUNCTION: result = QZ_VT_FUNCTION; break;
    case VM_TUSERDATA: result = QZ_VT_USERDATA; break;
    case VM_TLIGHTUSERDATA: result = QZ_VT_LIGHTUSERDATA; break;
    case VM_TTHREAD: result = QZ_VT_THREAD; break;
    default: result = -1; break;
    }
    VmPushNumber(state, result);
    return 1;
}

int SysIIf(VmState* state) {
    bool condition;
    switch (VmType(state, 1)) {
    case VM_TNUMBER: condition = VmToNumber(state, 1) != 0; break;
    case VM_TSTRING: condition = VmStrLen(state, 1) != 0; break;
    case VM_TNIL: condition = false; break;
    case VM_TBOOLEAN: condition = VmToBoolean(state, 1) != 0; break;
    default: return ERR_WRONGDTYPE;
    }
    VmPushValue(state, condition ? 2 : 3);
    return 1;
}

int SysIsNil(VmState* state) {
    VmPushNumber(state, VmType(state, 1) == VM_TNIL);
    return 1;
}

int SysAssert(VmState* state) {
    int type = VmType(state, 1);
    if (type == VM_TNIL || (type == VM_TNUMBER && VmToNumber(state, 1) == 0)) return ERR_ASSERTFAILED;
    VmPushValue(state, 1);
    return 1;
}
