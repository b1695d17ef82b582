// Calling a script command or function by its global name from C, with typed arguments.
#pragma once

#include <cstdint>
#include <initializer_list>

struct VmState;
struct qzObjectId;

// Argument type codes.
enum {
    QZ_ARG_INT = 0,            // number: signed 32-bit value
    QZ_ARG_UINT = 1,           // number: unsigned 32-bit value
    QZ_ARG_STRING = 2,         // text; a null text pushes nil
    QZ_ARG_NIL = 3,            // nil, no value
    QZ_ARG_LIGHTUSERDATA = 4,  // pointer
    QZ_ARG_OBJECTID = 5,       // const qzObjectId*: its handle, or its number when it has none
};

struct qzScriptArg {
    int type;
    int64_t number;       // QZ_ARG_INT, QZ_ARG_UINT
    const void* pointer;  // QZ_ARG_STRING, QZ_ARG_LIGHTUSERDATA, QZ_ARG_OBJECTID
};

// Longest name CallScriptFunction looks up.
constexpr int QZ_MAX_SCRIPT_FUNCTION_NAME = 131;

// Looks the lower-cased name up in the globals table and calls it (unprotected: its errors unwind
// as usual) with the arguments; nresults results stay on the stack. Returns 0, or ERR_FUNCDECLA
// with the name as error argument when the name is too long or names no function, or ERR_STACK
// when the stack has no room for the call.
int CallScriptFunction(VmState* state, const char* name, int nresults, std::initializer_list<qzScriptArg> args);
