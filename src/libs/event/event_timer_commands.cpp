// SetInterval, SetTimeout, ChangeInterval, ClearInterval and ClearTimeout.
#include "base/error_codes.h"
#include "display/event_timers.h"
#include "libs/event/event_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

int SetTimer(VmState* state, bool interval) {
    VmCheckArgCount(state, 3, 4, 0, 0);
    const qzObjectId id = CheckNumericIdArg(state, 1);
    const int32_t ms = VmCheckInteger(state, 3);
    if (ms < 1) return ERR_WRONGUSAGE;
    VmCheckFunction(state, 2);
    const int userData = VmGetTop(state) >= 4 ? 4 : 0;
    if (!IsAutoObjectId(id)) {
        // An existing timer of the id is replaced; none is no error.
        if (interval) {
            qzIntervalTimer* old;
            if (FindIntervalById(id, &old) == 0) ClearIntervalById(state, id);
        } else {
            qzIntervalTimer* old;
            if (FindTimeoutById(id, &old) == 0) ClearTimeoutById(state, id);
        }
    }
    qzIntervalTimer* record = nullptr;
    int error = interval ? CreateIntervalTimer(state, id, ms, 0, 2, userData, &record)
                         : CreateTimeoutTimer(state, id, ms, 2, userData, &record);
    if (error) return error;
    return PushNewObjectHandle(state, id, &record->header);
}

}  // namespace

int EvSetInterval(VmState* state) { return SetTimer(state, true); }
int EvSetTimeout(VmState* state) { return SetTimer(state, false); }

int EvChangeInterval(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t ms = VmCheckInteger(state, 2);
    if (ms < 1) return ERR_WRONGUSAGE;
    return ChangeIntervalPeriod(state, id, ms);
}

int EvClearInterval(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return ClearIntervalById(state, id);
}

int EvClearTimeout(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return ClearTimeoutById(state, id);
}
