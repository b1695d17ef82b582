// The object registry: every library's singly linked object list, plugin object types with their
// handlers, and the command tables that name commands in error reports. Main thread only.
#pragma once

#include <cstdint>

#include "runtime/object_id.h"

struct VmState;
struct qzCommandRow;
struct qzObjectDataNode;

// The first fields of every script object record.
struct qzObjectHeader {
    int32_t type;
    qzObjectId id;
    qzObjectDataNode* data;  // named values attached by the script
    qzObjectHeader* next;    // the library's list
};

// Type numbers that plugins receive start here; the built-in kinds use their libraries' constants.
constexpr int32_t QZ_FIRST_PLUGIN_TYPE = 58;

// A handler that a type's owner supplies: (state, argument, out) -> result.
typedef int (*qzObjectTypeHandler)(VmState* state, void* argument, void* out);

// One registered list, in registration order.
struct qzObjectTypeNode {
    qzObjectTypeNode* next;
    char* typeName;  // null for a built-in list
    int32_t typeNumber;
    int foreign;  // the handler belongs to the other side and is never called from here
    qzObjectTypeHandler handler;
    qzObjectHeader** listHead;
};

// One registered command table.
constexpr int QZ_MAX_LIBRARY_NAME = 63;
struct qzCommandTableNode {
    qzCommandTableNode* next;
    const qzCommandRow* table;
    char libraryName[QZ_MAX_LIBRARY_NAME + 1];
};

// Registers a built-in list (no name, no type number). 0 or ERR_MEM.
int RegisterObjectList(qzObjectHeader** listHead);
// Registers a list; with a name the node takes the next plugin type number, the handler and the
// flag, and the number goes to *typeNumber when given. 0 or ERR_MEM.
int RegisterObjectType(qzObjectHeader** listHead, const char* typeName, qzObjectTypeHandler handler,
                       int32_t* typeNumber, int foreign);
// Plugin types registered so far.
int GetPluginTypeCount();
// The name a plugin registered the type under; null for built-in or unknown types.
const char* GetObjectTypeName(int32_t type);
// Calls the handler of the named type with (state, argument, out) and returns its result; a
// foreign type yields 0 without a call; ERR_WRONGUSAGE when no registered type has that number and
// a handler.
int CallObjectTypeHandler(VmState* state, int32_t type, void* argument, void* out);

// Gives a new object its type and identifier (an automatic one becomes the object's own address,
// its handle) and appends it to the end of its library's list.
void AddObjectToList(qzObjectHeader** listHead, qzObjectHeader* object, int32_t type, const qzObjectId& id);
// Takes the object out of its library's list; nothing happens when it is not there.
void RemoveObjectFromList(qzObjectHeader** listHead, qzObjectHeader* object);
// The object of one library's list whose identifier matches in both words; null when none.
qzObjectHeader* FindObjectInList(qzObjectHeader* list, const qzObjectId& id);
// Reads the identifier argument at index and finds its object in the list. Returns 0 with *out
// set; else *out is null and the result is ERR_FINDARRAY for a handle, or notFound with the
// number as the error argument.
int GetListObjectArg(VmState* state, int index, qzObjectHeader* list, int notFound, qzObjectHeader** out);
// The same for an argument lookup at the start of a handler: the object, or the command fails
// (VmFailCommand) with those codes.
qzObjectHeader* CheckListObject(VmState* state, int index, qzObjectHeader* list, int notFound);
// Ends a command that made an object: for an automatic identifier the new handle is pushed and 1
// returned; for one the script chose nothing is pushed and 0 returned.
int PushNewObjectHandle(VmState* state, const qzObjectId& requested, const qzObjectHeader* object);

// The first object of that type whose identifier matches in both words, over all registered
// lists in registration order; null when none.
qzObjectHeader* FindObjectById(int32_t type, const qzObjectId& id);
int CountObjectsOfType(int32_t type);
// Stores key 0, 1, ... -> identifier (light userdata for a handle, else the number) of each
// object of the type into the table on the stack top, in list order; returns the count.
int PushObjectIdsOfType(VmState* state, int32_t type);
// The type of the object whose handle is pointer; -1 for null or when none.
int32_t GetTypeOfObjectPointer(const void* pointer);

// Remembers a library's command table (the name is cut to QZ_MAX_LIBRARY_NAME). 0 or ERR_MEM.
int RegisterCommandTable(const qzCommandRow* table, const char* libraryName);
// The registered command tables in registration order.
const qzCommandTableNode* GetCommandTables();

// Frees every node and name and starts the type numbers over; the objects themselves stay with
// their libraries.
void FreeObjectRegistry();
