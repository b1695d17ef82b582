// Objects seen from scripts: their types, lists, existence and the named data attached to them.
#include "base/error_codes.h"
#include "libs/system/system.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Layers are addressed within the current background picture, not through the registry.
constexpr int32_t kTypeLayer = 22;

// The object named by the type and identifier arguments at typeIndex and typeIndex + 1, or the
// command fails (VmFailCommand) with ERR_NOLAYERS for a layer or ERR_FINDARRAY.
qzObjectHeader* CheckObjectArg(VmState* state, int typeIndex) {
    const int32_t type = VmCheckInteger(state, typeIndex);
    const qzObjectId id = CheckObjectIdArg(state, typeIndex + 1);
    // No background picture has layers enabled in this player.
    if (type == kTypeLayer) VmFailCommand(state, ERR_NOLAYERS);
    qzObjectHeader* object = FindObjectById(type, id);
    if (!object) VmFailCommand(state, ERR_FINDARRAY);
    return object;
}

// A key argument; an empty key fails the command with ERR_WRONGUSAGE.
const char* CheckKeyArg(VmState* state, int index) {
    size_t length;
    const char* key = VmCheckString(state, index, &length);
    if (length == 0) VmFailCommand(state, ERR_WRONGUSAGE);
    return key;
}

void PushDataValue(VmState* state, const qzObjectDataNode* node) {
    if (node->ref == VM_REFNIL)
        VmPushNil(state);
    else
        VmRawGetI(state, VM_REGISTRYINDEX, node->ref);
}

}  // namespace

int SysGetObjectType(VmState* state) {
    void* handle = VmCheckUserdata(state, 1);
    int32_t type = GetTypeOfObjectPointer(handle);
    if (type < 0) return ERR_FINDARRAY;
    VmPushNumber(state, type);
    return 1;
}

int SysGetObjectData(VmState* state) {
    qzObjectHeader* object = CheckObjectArg(state, 1);
    const char* key = CheckKeyArg(state, 3);
    qzObjectDataNode* node = FindObjectData(object->data, key);
    if (!node) {
        SetErrorArgString(key);
        return ERR_FINDOBJECTDATA;
    }
    PushDataValue(state, node);
    return 1;
}

int SysSetObjectData(VmState* state) {
    qzObjectHeader* object = CheckObjectArg(state, 1);
    const char* key = CheckKeyArg(state, 3);
    return StoreObjectData(state, key, 4, &object->data);
}

int SysClearObjectData(VmState* state) {
    qzObjectHeader* object = CheckObjectArg(state, 1);
    if (VmGetTop(state) < 3 || VmType(state, 3) == VM_TNIL) {
        FreeObjectDataList(state, object->data);
        object->data = nullptr;
        return 0;
    }
    const char* key = VmCheckString(state, 3);
    if (!RemoveObjectData(state, &object->data, key)) {
        SetErrorArgString(key);
        return ERR_FINDOBJECTDATA;
    }
    return 0;
}

int SysCopyObjectData(VmState* state) {
    qzObjectHeader* source = CheckObjectArg(state, 1);
    qzObjectHeader* target = CheckObjectArg(state, 3);
    bool overwrite = VmOptInteger(state, 5, 1) != 0;
    if (source == target) return 0;
    // Storing into the target never changes the source list, so the walk stays valid.
    for (qzObjectDataNode* node = source->data; node; node = node->next) {
        if (!overwrite && FindObjectData(target->data, node->key)) continue;
        PushDataValue(state, node);
        const int error = StoreObjectData(state, node->key, VmGetTop(state), &target->data);
        VmPop(state, 1);
        if (error) return error;
    }
    return 0;
}

int SysGetObjects(VmState* state) {
    int32_t type = VmCheckInteger(state, 1);
    VmNewTable(state);
    int count = PushObjectIdsOfType(state, type);
    VmPushNumber(state, count);
    return 2;
}

int SysHaveObject(VmState* state) {
    int32_t type = VmCheckInteger(state, 1);
    const qzObjectId id = CheckObjectIdArg(state, 2);
    VmPushNumber(state, FindObjectById(type, id) ? 1 : 0);
    return 1;
}
