// Start-up records in the VM registry.
#include "runtime/player_records.h"

#include "vm/vm.h"

namespace {

VmState* mainState;
qzAppletDescriptor* appletGlobal;

void StoreRecord(VmState* state, const char* key, void* record) {
    VmPushString(state, key);
    if (record)
        VmPushLightUserdata(state, record);
    else
        VmPushNil(state);
    VmRawSet(state, VM_REGISTRYINDEX);
}

void* LoadRecord(VmState* state, const char* key) {
    if (!state) state = mainState;
    if (!state) return nullptr;
    VmPushString(state, key);
    VmRawGet(state, VM_REGISTRYINDEX);
    void* record = VmType(state, -1) == VM_TLIGHTUSERDATA ? VmToUserdata(state, -1) : nullptr;
    VmPop(state, 1);
    return record;
}

}  // namespace

void SetStartupRecords(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet) {
    if (state) {
        StoreRecord(state, "clargs", context);
        StoreRecord(state, "applet", applet);
    }
    mainState = (context || applet) ? state : nullptr;
    appletGlobal = applet;
}

qzPlayerContext* GetPlayerContext(VmState* state) { return static_cast<qzPlayerContext*>(LoadRecord(state, "clargs")); }

qzAppletDescriptor* GetAppletDescriptor(VmState* state) {
    if (!state) return appletGlobal;
    return static_cast<qzAppletDescriptor*>(LoadRecord(state, "applet"));
}

VmState* GetMainVmState() { return mainState; }
