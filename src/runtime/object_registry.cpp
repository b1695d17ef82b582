// The object registry: registered object lists and types, lookups over them, command tables.
#include "runtime/object_registry.h"

#include <cstring>

#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "runtime/error_messages.h"
#include "vm/vm.h"

namespace {

qzObjectTypeNode* typeNodes;
qzObjectTypeNode** typeNodesTail = &typeNodes;
int32_t nextPluginType = QZ_FIRST_PLUGIN_TYPE;

qzCommandTableNode* commandTables;
qzCommandTableNode** commandTablesTail = &commandTables;

// Calls fn(object) for every object of the type, in lookup order, until it returns false.
template <typename Fn>
void ForEachObject(int32_t type, Fn fn) {
    for (qzObjectTypeNode* node = typeNodes; node; node = node->next) {
        if (!node->listHead) continue;
        for (qzObjectHeader* object = *node->listHead; object; object = object->next)
            if (object->type == type && !fn(object)) return;
    }
}

}  // namespace

int RegisterObjectList(qzObjectHeader** listHead) { return RegisterObjectType(listHead, nullptr, nullptr, nullptr, 0); }

int RegisterObjectType(qzObjectHeader** listHead, const char* typeName, qzObjectTypeHandler handler,
                       int32_t* typeNumber, int foreign) {
    auto* node = static_cast<qzObjectTypeNode*>(OsAlloc(sizeof(qzObjectTypeNode), 1));
    if (!node) return ERR_MEM;
    node->listHead = listHead;
    if (typeName) {
        size_t n = std::strlen(typeName);
        node->typeName = static_cast<char*>(OsAlloc(n + 1, 0));
        if (!node->typeName) {
            OsFree(node);
            return ERR_MEM;
        }
        std::memcpy(node->typeName, typeName, n + 1);
        node->typeNumber = nextPluginType++;
        node->handler = handler;
        node->foreign = foreign;
        if (typeNumber) *typeNumber = node->typeNumber;
    }
    *typeNodesTail = node;
    typeNodesTail = &node->next;
    return 0;
}

int GetPluginTypeCount() { return nextPluginType - QZ_FIRST_PLUGIN_TYPE; }

const char* GetObjectTypeName(int32_t type) {
    for (qzObjectTypeNode* node = typeNodes; node; node = node->next)
        if (node->typeName && node->typeNumber == type) return node->typeName;
    return nullptr;
}

int CallObjectTypeHandler(VmState* state, int32_t type, void* argument, void* out) {
    for (qzObjectTypeNode* node = typeNodes; node; node = node->next) {
        if (!node->typeName || node->typeNumber != type || !node->handler) continue;
        if (node->foreign) return 0;
        return node->handler(state, argument, out);
    }
    return ERR_WRONGUSAGE;
}

qzObjectHeader* FindObjectById(int32_t type, const qzObjectId& id) {
    qzObjectHeader* found = nullptr;
    ForEachObject(type, [&](qzObjectHeader* object) {
        if (!SameObjectId(object->id, id)) return true;
        found = object;
        return false;
    });
    return found;
}

int CountObjectsOfType(int32_t type) {
    int count = 0;
    ForEachObject(type, [&](qzObjectHeader*) {
        count++;
        return true;
    });
    return count;
}

void AddObjectToList(qzObjectHeader** listHead, qzObjectHeader* object, int32_t type, const qzObjectId& id) {
    object->type = type;
    object->id = IsAutoObjectId(id) ? qzObjectId{0, object} : id;
    qzObjectHeader** tail = listHead;
    while (*tail) tail = &(*tail)->next;
    *tail = object;
}

void RemoveObjectFromList(qzObjectHeader** listHead, qzObjectHeader* object) {
    for (qzObjectHeader** link = listHead; *link; link = &(*link)->next) {
        if (*link == object) {
            *link = object->next;
            return;
        }
    }
}

qzObjectHeader* FindObjectInList(qzObjectHeader* list, const qzObjectId& id) {
    for (qzObjectHeader* node = list; node; node = node->next)
        if (SameObjectId(node->id, id)) return node;
    return nullptr;
}

int GetListObjectArg(VmState* state, int index, qzObjectHeader* list, int notFound, qzObjectHeader** out) {
    qzObjectId id;
    GetObjectIdArg(&id, state, index);
    *out = FindObjectInList(list, id);
    if (*out) return 0;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return notFound;
}

qzObjectHeader* CheckListObject(VmState* state, int index, qzObjectHeader* list, int notFound) {
    qzObjectHeader* object;
    int code = GetListObjectArg(state, index, list, notFound, &object);
    if (code) VmFailCommand(state, code);
    return object;
}

int PushNewObjectHandle(VmState* state, const qzObjectId& requested, const qzObjectHeader* object) {
    if (!IsAutoObjectId(requested)) return 0;
    VmPushLightUserdata(state, object->id.pointer);
    return 1;
}

int PushObjectIdsOfType(VmState* state, int32_t type) {
    if (!VmCheckStack(state, 1)) VmRaiseError(state, ERR_STACK);
    int count = 0;
    ForEachObject(type, [&](qzObjectHeader* object) {
        if (object->id.pointer)
            VmPushLightUserdata(state, object->id.pointer);
        else
            VmPushNumber(state, object->id.number);
        VmRawSetI(state, -2, count);
        count++;
        return true;
    });
    return count;
}

int32_t GetTypeOfObjectPointer(const void* pointer) {
    if (!pointer) return -1;
    for (qzObjectTypeNode* node = typeNodes; node; node = node->next) {
        if (!node->listHead) continue;
        for (qzObjectHeader* object = *node->listHead; object; object = object->next)
            if (object->id.pointer == pointer) return object->type;
    }
    return -1;
}

int RegisterCommandTable(const qzCommandRow* table, const char* libraryName) {
    auto* node = static_cast<qzCommandTableNode*>(OsAlloc(sizeof(qzCommandTableNode), 1));
    if (!node) return ERR_MEM;
    node->table = table;
    if (libraryName) {
        size_t n = std::strlen(libraryName);
        if (n > QZ_MAX_LIBRARY_NAME) n = QZ_MAX_LIBRARY_NAME;
        std::memcpy(node->libraryName, libraryName, n);
        node->libraryName[n] = 0;
    }
    *commandTablesTail = node;
    commandTablesTail = &node->next;
    return 0;
}

const qzCommandTableNode* GetCommandTables() { return commandTables; }

void FreeObjectRegistry() {
    while (typeNodes) {
        qzObjectTypeNode* next = typeNodes->next;
        OsFree(typeNodes->typeName);
        OsFree(typeNodes);
        typeNodes = next;
    }
    typeNodesTail = &typeNodes;
    nextPluginType = QZ_FIRST_PLUGIN_TYPE;
    while (commandTables) {
        qzCommandTableNode* next = commandTables->next;
        OsFree(commandTables);
        commandTables = next;
    }
    commandTablesTail = &commandTables;
}
