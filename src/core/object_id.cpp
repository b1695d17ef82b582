// Reading object identifier arguments.
#include "core/object_id.h"

#include <cmath>

#include "core/error_codes.h"
#include "core/error_messages.h"
#include "vm/vm.h"

namespace {

// Truncation toward zero, saturating at the 32-bit limits; NaN gives -2147483648.
int32_t TruncateId(double n) {
    if (std::isnan(n) || n <= -2147483648.0)
        return INT32_MIN;
    if (n >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(n);
}

[[noreturn]] void RaiseNumberExpected(VmState* state, int index) {
    SetErrorArgIndex(index);
    VmRaiseError(state, ERR_NUMEXPECTED);
}

}  // namespace

void GetObjectIdArg(qzObjectId* id, VmState* state, int index) {
    if (VmType(state, index) == VM_TLIGHTUSERDATA) {
        *id = {0, VmToUserdata(state, index)};
        return;
    }
    if (!VmIsNumber(state, index))
        RaiseNumberExpected(state, index);
    *id = {TruncateId(VmToNumber(state, index)), nullptr};
}

void GetNumericIdArg(qzObjectId* id, VmState* state, int index) {
    int type = VmType(state, index);
    if (type == VM_TNIL || type == VM_TNONE) {
        *id = {0, QZ_AUTO_ID};
        return;
    }
    if (!VmIsNumber(state, index))
        RaiseNumberExpected(state, index);
    *id = {TruncateId(VmToNumber(state, index)), nullptr};
}
