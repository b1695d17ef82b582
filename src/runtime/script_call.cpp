// Calling globals by name from C.
#include "runtime/script_call.h"

#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "runtime/error_messages.h"
#include "runtime/object_id.h"
#include "vm/vm.h"

namespace {

void PushArg(VmState* state, const qzScriptArg& arg) {
    switch (arg.type) {
    case QZ_ARG_INT: VmPushNumber(state, static_cast<int32_t>(arg.number)); break;
    case QZ_ARG_UINT: VmPushNumber(state, static_cast<uint32_t>(arg.number)); break;
    case QZ_ARG_STRING:
        if (arg.pointer)
            VmPushString(state, static_cast<const char*>(arg.pointer));
        else
            VmPushNil(state);
        break;
    case QZ_ARG_LIGHTUSERDATA: VmPushLightUserdata(state, const_cast<void*>(arg.pointer)); break;
    case QZ_ARG_OBJECTID: {
        const auto* id = static_cast<const qzObjectId*>(arg.pointer);
        if (id && id->pointer)
            VmPushLightUserdata(state, id->pointer);
        else
            VmPushNumber(state, id ? id->number : 0);
        break;
    }
    default: VmPushNil(state); break;
    }
}

}  // namespace

int CallScriptFunction(VmState* state, const char* name, int nresults, std::initializer_list<qzScriptArg> args) {
    size_t len = name ? std::strlen(name) : 0;
    if (len == 0 || len > static_cast<size_t>(QZ_MAX_SCRIPT_FUNCTION_NAME)) {
        SetErrorArgString(name);
        return ERR_FUNCDECLA;
    }
    // Room for the function and every argument before anything is pushed.
    if (!VmCheckStack(state, static_cast<int>(args.size()) + 1)) return ERR_STACK;
    char lower[QZ_MAX_SCRIPT_FUNCTION_NAME + 1];
    std::memcpy(lower, name, len + 1);
    LowerCaseString(lower);
    VmPushString(state, lower);
    VmGetTable(state, VM_GLOBALSINDEX);
    if (VmType(state, -1) != VM_TFUNCTION) {
        VmPop(state, 1);
        SetErrorArgString(name);
        return ERR_FUNCDECLA;
    }
    for (const qzScriptArg& arg : args) PushArg(state, arg);
    VmCall(state, static_cast<int>(args.size()), nresults);
    return 0;
}
