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

// The object named by the type and identifier arguments at typeIndex and typeIndex + 1.
int FindObjectArg(VmState* state, int typeIndex, qzObjectHeader** object) {
    int32_t type = VmCheckInteger(state, typeIndex);
    qzObjectId id;
    GetObjectIdArg(&id, state, typeIndex + 1);
    if (type == kTypeLayer) {
        // No background picture has layers enabled in this player.
        return ERR_NOLAYERS;
    }
    *object = FindObjectById(type, id);
    return *object ? 0 : ERR_FINDARRAY;
}

// A key argument; an empty key is refused.
int KeyArg(VmState* state, int index, const char** key) {
    size_t length;
    *key = VmCheckString(state, index, &length);
    return length == 0 ? ERR_WRONGUSAGE : 0;
}

// The object named by arguments 1 and 2 and the key at argument 3.
int ObjectAndKeyArgs(VmState* state, qzObjectHeader** object, const char** key) {
    int error = FindObjectArg(state, 1, object);
    if (!error) error = KeyArg(state, 3, key);
    return error;
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
    qzObjectHeader* object;
    const char* key;
    int error = ObjectAndKeyArgs(state, &object, &key);
    if (error) return error;
    qzObjectDataNode* node = FindObjectData(object->data, key);
    if (!node) {
        SetErrorArgString(key);
        return ERR_FINDOBJECTDATA;
    }
    PushDataValue(state, node);
    return 1;
}

int SysSetObjectData(VmState* state) {
    qzObjectHeader* object;
    const char* key;
    int error = ObjectAndKeyArgs(state, &object, &key);
    if (error) return error;
    return StoreObjectData(state, key, 4, &object->data);
}

int SysClearObjectData(VmState* state) {
    qzObjectHeader* object;
    int error = FindObjectArg(state, 1, &object);
    if (error) return error;
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
    qzObjectHeader* source;
    qzObjectHeader* target;
    int error = FindObjectArg(state, 1, &source);
    if (!error) error = FindObjectArg(state, 3, &target);
    if (error) return error;
    bool overwrite = VmOptInteger(state, 5, 1) != 0;
    if (source == target) return 0;
    // Storing into the target never changes the source list, so the walk stays valid.
    for (qzObjectDataNode* node = source->data; node; node = node->next) {
        if (!overwrite && FindObjectData(target->data, node->key)) continue;
        PushDataValue(state, node);
        error = StoreObjectData(state, node->key, VmGetTop(state), &target->data);
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
    qzObjectId id;
    GetObjectIdArg(&id, state, 2);
    VmPushNumber(state, FindObjectById(type, id) ? 1 : 0);
    return 1;
}
