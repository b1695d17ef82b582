// Reading object identifier arguments.
#include "runtime/object_id.h"

#include "base/error_codes.h"
#include "runtime/error_messages.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

[[noreturn]] void RaiseNumberExpected(VmState* state, int index) {
    SetErrorArgIndex(index);
    VmRaiseError(state, ERR_NUMEXPECTED);
}

}  // namespace

void GetObjectIdArg(qzObjectId* id, VmState* state, int index) {
    int type = VmType(state, index);
    if (type == VM_TLIGHTUSERDATA) {
        *id = {0, VmToUserdata(state, index)};
        return;
    }
    if (type != VM_TNUMBER && !VmIsNumber(state, index)) RaiseNumberExpected(state, index);
    *id = {VmTruncateNumber(VmToNumber(state, index)), nullptr};
}

void GetNumericIdArg(qzObjectId* id, VmState* state, int index) {
    int type = VmType(state, index);
    if (type == VM_TNIL || type == VM_TNONE) {
        *id = {0, QZ_AUTO_ID};
        return;
    }
    if (!VmIsNumber(state, index)) RaiseNumberExpected(state, index);
    *id = {VmTruncateNumber(VmToNumber(state, index)), nullptr};
}

qzObjectId CheckObjectIdArg(VmState* state, int index) {
    qzObjectId id;
    GetObjectIdArg(&id, state, index);
    return id;
}

qzObjectId CheckNumericIdArg(VmState* state, int index) {
    qzObjectId id;
    GetNumericIdArg(&id, state, index);
    return id;
}
