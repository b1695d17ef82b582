// The virtual machine's C interface for plugins, and the plugin list services.
#include "runtime/host_vm.h"

#include <cstddef>
#include <new>

#include "base/error_codes.h"
#include "base/object_id.h"
#include "base/out_of_memory.h"
#include "platform/host_services.h"
#include "runtime/linked_file.h"
#include "runtime/object_id.h"
#include "runtime/plugin_manager.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

static_assert(sizeof(qzPluginObjectId) == sizeof(qzObjectId) &&
                  offsetof(qzPluginObjectId, pointer) == offsetof(qzObjectId, pointer),
              "a plugin's object identifier is the player's");
static_assert(sizeof(qzPluginStringBuffer) == sizeof(VmStringBuffer) &&
                  offsetof(qzPluginStringBuffer, pieces) == offsetof(VmStringBuffer, pieces) &&
                  offsetof(qzPluginStringBuffer, state) == offsetof(VmStringBuffer, state) &&
                  offsetof(qzPluginStringBuffer, area) == offsetof(VmStringBuffer, area),
              "a plugin's string builder is the player's");

namespace {

VmStringBuffer* Buffer(qzPluginStringBuffer* b) { return reinterpret_cast<VmStringBuffer*>(b); }

void HostRaiseError(VmState* state, int code) { VmRaiseError(state, code); }
void HostBufInit(VmState* state, qzPluginStringBuffer* b) { VmBufInit(state, Buffer(b)); }
char* HostBufPrepare(qzPluginStringBuffer* b) { return VmBufPrepare(Buffer(b)); }
void HostBufAddLString(qzPluginStringBuffer* b, const char* s, size_t n) { VmBufAddLString(Buffer(b), s, n); }
void HostBufAddString(qzPluginStringBuffer* b, const char* s) { VmBufAddString(Buffer(b), s); }
void HostBufAddValue(qzPluginStringBuffer* b) { VmBufAddValue(Buffer(b)); }
void HostBufPushResult(qzPluginStringBuffer* b) { VmBufPushResult(Buffer(b)); }

// The interface's functions that run player code beside the VM's: memory running out there is
// raised as the VM's own error (ERR_MEM), the one way the interface reports errors to a plugin,
// instead of a std::bad_alloc passing through the plugin's frames.
void HostGetObjectIdArg(VmState* state, int index, qzPluginObjectId* id) {
    try {
        GetObjectIdArg(reinterpret_cast<qzObjectId*>(id), state, index);
    } catch (const std::bad_alloc&) {
        VmRaiseError(state, ERR_MEM);
    }
}

int HostGetOptionalIdArg(VmState* state, int index, qzPluginObjectId* id) {
    auto* out = reinterpret_cast<qzObjectId*>(id);
    try {
        GetNumericIdArg(out, state, index);
    } catch (const std::bad_alloc&) {
        VmRaiseError(state, ERR_MEM);
    }
    return IsAutoObjectId(*out) ? 1 : 0;
}

const char* HostResolveLinkedFileArg(VmState* state, int index, int kind, int* isFont) {
    try {
        return ResolveLinkedFileArg(state, index, kind, isFont);
    } catch (const std::bad_alloc&) {
        VmRaiseError(state, ERR_MEM);
    }
}

qzVmBase vmTable = {
    VmGetTop,
    VmSetTop,
    VmPushValue,
    VmRemove,
    VmInsert,
    VmReplace,
    VmIsCFunction,
    VmIsNumber,
    VmIsString,
    VmIsUserdata,
    VmType,
    VmEqual,
    VmRawEqual,
    VmLessThan,
    VmToNumber,
    VmToString,
    VmStrLen,
    VmToCFunction,
    VmToUserdata,
    VmToPointer,
    VmPushNil,
    VmPushNumber,
    VmPushLString,
    VmPushString,
    VmPushLightUserdata,
    VmPushCClosure,
    VmGetTable,
    VmRawGet,
    VmRawGetI,
    VmNewTable,
    VmGetFunctionGlobals,
    VmSetTable,
    VmRawSet,
    VmRawSetI,
    VmSetFunctionGlobals,
    VmProtectedCall,
    VmNext,
    VmConcat,
    VmPushUpvalues,
    VmGetUpvalue,
    VmSetUpvalue,
    VmNewUserdata,
    VmSetMetatable,
    VmGetMetatable,
    HostRaiseError,
    VmCheckString,
    VmOptString,
    VmCheckNumber,
    VmOptNumber,
    VmCheckInteger,
    VmOptInteger,
    VmCheckTable,
    VmCheckFunction,
    VmCheckType,
    VmRef,
    VmUnref,
    HostGetObjectIdArg,
    VmNewNamedMetatable,
    VmGetNamedMetatable,
    VmTestUserdataType,
    HostBufInit,
    HostBufPrepare,
    HostBufAddLString,
    HostBufAddString,
    HostBufAddValue,
    HostBufPushResult,
    VmFindStringInList,
    VmCheckStack,
    HostResolveLinkedFileArg,
    HostGetOptionalIdArg,
    VmPushBoolean,
    VmToBoolean,
    VmCreateTable,
    VmTypeName,
    VmCall,
    VmGetGcThreshold,
    VmGetGcCount,
    VmSetGcThreshold,
};

// Memory running out answers no list, or leaves the plugin's record as it was.
qzPluginBase pluginTable = {CatchingOutOfMemory<GetLoadedPluginList>(), HostFree,
                            CatchingOutOfMemory<SetPluginDisabled>(), CatchingOutOfMemory<SetPluginUserData>(),
                            GetPluginUserData};

}  // namespace

qzVmBase* GetHostVmTable() { return &vmTable; }
qzPluginBase* GetHostPluginTable() { return &pluginTable; }
