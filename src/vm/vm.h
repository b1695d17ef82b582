// The virtual machine's C interface: the stack of values seen by command handlers, calls,
// protected calls, loading and dumping chunks, and debug support. Everything outside src/vm/
// talks to the VM only through this header (and vm_aux.h for the auxiliary library).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

struct VmState;

// Value tags as reported by VmType.
enum {
    VM_TNONE = -1,
    VM_TNIL = 0,
    VM_TBOOLEAN = 1,
    VM_TLIGHTUSERDATA = 2,
    VM_TNUMBER = 3,
    VM_TSTRING = 4,
    VM_TTABLE = 5,
    VM_TFUNCTION = 6,
    VM_TUSERDATA = 7,
    VM_TTHREAD = 8,
};

// Pseudo-indices.
constexpr int VM_REGISTRYINDEX = -10000;
constexpr int VM_GLOBALSINDEX = -10001;
constexpr int VmUpvalueIndex(int i) { return VM_GLOBALSINDEX - i; }

// Free stack slots a C function gets on entry.
constexpr int VM_MINSTACK = 20;
// Results wanted: all of them.
constexpr int VM_MULTRET = -1;

// Hook event numbers and mask bits.
enum { VM_HOOKCALL = 0, VM_HOOKRET = 1, VM_HOOKLINE = 2, VM_HOOKCOUNT = 3, VM_HOOKTAILRET = 4 };
enum {
    VM_MASKCALL = 1 << VM_HOOKCALL,
    VM_MASKRET = 1 << VM_HOOKRET,
    VM_MASKLINE = 1 << VM_HOOKLINE,
    VM_MASKCOUNT = 1 << VM_HOOKCOUNT
};

// A command handler / C function: returns a handler result.
typedef int (*VmCFunction)(VmState* state);

// Handler results. 0 .. VM_MAX_RESULT_COUNT: the number of results pushed (on the stack top).
// VM_RESULT_LABEL_JUMP: continue at the script label the command chose; the label's code returns
// to the instruction after the call. VM_RESULT_LABEL_JUMP_BACK: the same, returning to the
// instruction before the call. Anything else (error codes start at VM_FIRST_ERROR_RESULT) is an
// error code: the call yields no results and the code goes to the error protocol (the script's
// error handler, then raised, or only recorded while error trapping is off).
constexpr int VM_MAX_RESULT_COUNT = 999;
constexpr int VM_FIRST_ERROR_RESULT = 1000;
constexpr int VM_RESULT_LABEL_JUMP = -1;
constexpr int VM_RESULT_LABEL_JUMP_BACK = -2;
inline bool VmIsResultCount(int result) { return result >= 0 && result <= VM_MAX_RESULT_COUNT; }
inline bool VmIsLabelJump(int result) { return result == VM_RESULT_LABEL_JUMP || result == VM_RESULT_LABEL_JUMP_BACK; }

// Chunk reader: returns the next block and its size, or null / size 0 at the end of input.
typedef const char* (*VmReader)(void* readerData, size_t* size);
// Chunk writer: receives each piece of the chunk; returns 0 on success.
typedef int (*VmWriter)(VmState* state, const void* bytes, size_t size, void* writerData);

constexpr int VM_IDSIZE = 60;

// Debug record filled by VmGetStack / VmGetInfo.
struct VmDebug {
    int event;
    const char* name;      // function name, or null
    const char* namewhat;  // "global", "local", "method", "field" or ""
    const char* what;      // "C", "main", "Quarnelix" or "tail"
    const char* source;
    int currentline;
    int nups;
    int linedefined;
    char short_src[VM_IDSIZE];
    int i_ci;  // the frame it describes (private)
};

typedef void (*VmHook)(VmState* state, VmDebug* ar);
typedef void (*VmPanicFunction)(VmState* state);

// State creation and teardown.
VmState* VmOpen();
void VmClose(VmState* state);
VmState* VmNewThread(VmState* state);
VmPanicFunction VmAtPanic(VmState* state, VmPanicFunction panic);

// Stack manipulation.
int VmGetTop(VmState* state);
void VmSetTop(VmState* state, int index);
void VmPushValue(VmState* state, int index);
void VmRemove(VmState* state, int index);
void VmInsert(VmState* state, int index);
void VmReplace(VmState* state, int index);
int VmCheckStack(VmState* state, int n);
void VmMoveValues(VmState* from, VmState* to, int n);
inline void VmPop(VmState* state, int n) { VmSetTop(state, -(n)-1); }

// Reading values.
int VmType(VmState* state, int index);
const char* VmTypeName(VmState* state, int tag);
int VmIsNumber(VmState* state, int index);
int VmIsString(VmState* state, int index);
int VmIsCFunction(VmState* state, int index);
int VmIsUserdata(VmState* state, int index);
double VmToNumber(VmState* state, int index);
int VmToBoolean(VmState* state, int index);
const char* VmToString(VmState* state, int index);
size_t VmStrLen(VmState* state, int index);
VmCFunction VmToCFunction(VmState* state, int index);
void* VmToUserdata(VmState* state, int index);
VmState* VmToThread(VmState* state, int index);
const void* VmToPointer(VmState* state, int index);
int VmRawEqual(VmState* state, int index1, int index2);
int VmEqual(VmState* state, int index1, int index2);
int VmLessThan(VmState* state, int index1, int index2, int caseSensitive);

// Pushing values.
void VmPushNil(VmState* state);
void VmPushNumber(VmState* state, double n);
void VmPushBoolean(VmState* state, int b);
void VmPushLightUserdata(VmState* state, void* p);
void VmPushLString(VmState* state, const char* s, size_t len);
void VmPushString(VmState* state, const char* s);
void VmPushStringNoGc(VmState* state, const char* s);
const char* VmPushFString(VmState* state, const char* format, ...);
const char* VmPushVFString(VmState* state, const char* format, va_list args);
void VmPushCClosure(VmState* state, VmCFunction fn, int n);
inline void VmPushCFunction(VmState* state, VmCFunction fn) { VmPushCClosure(state, fn, 0); }
// A C closure run as a command whose number of arguments the dispatcher checks against
// minArgs .. maxArgs (VmCheckCommandArgs) before fn runs; minArgs below 0 checks nothing.
void VmPushCommandClosure(VmState* state, VmCFunction fn, int n, int minArgs, int maxArgs);
void VmNewTable(VmState* state);
void VmNewTableNoGc(VmState* state);
void VmCreateTable(VmState* state, int narray, int log2Nodes);
void* VmNewUserdata(VmState* state, size_t size);

// Tables and metatables.
void VmGetTable(VmState* state, int index);
void VmRawGet(VmState* state, int index);
void VmRawGetI(VmState* state, int index, int n);
void VmSetTable(VmState* state, int index);
void VmRawSet(VmState* state, int index);
void VmRawSetI(VmState* state, int index, int n);
int VmNext(VmState* state, int index);
int VmGetMetatable(VmState* state, int index);
int VmSetMetatable(VmState* state, int index);
void VmGetFunctionGlobals(VmState* state, int index);
int VmSetFunctionGlobals(VmState* state, int index);
void VmConcat(VmState* state, int n);
// Pushes the items start..end of the table at index (raw reads) joined into one string with sep
// between them, numbers written as the VM prints them, "" when end < start; returns 1. Returns 0
// with nothing pushed and *badKey set to the first item that is neither a string nor a number.
int VmJoinItems(VmState* state, int index, int32_t start, int32_t end, const char* sep, size_t sepLength,
                int32_t* badKey);
int VmPushUpvalues(VmState* state);
const char* VmGetUpvalue(VmState* state, int funcIndex, int n);
const char* VmSetUpvalue(VmState* state, int funcIndex, int n);

// Calls and loading.
void VmCall(VmState* state, int nargs, int nresults);
int VmProtectedCall(VmState* state, int nargs, int nresults, int errfuncIndex);
int VmCProtectedCall(VmState* state, VmCFunction fn, void* userdata);
// Runs fn inside the running C function's own frame (its arguments stay where they are) in
// protected mode: 0 with fn's result in *result, or the error code that ended it, after the frame
// (stack top, call depth, open upvalues, hook permission) is put back as it was on entry.
int VmCallInFrameProtected(VmState* state, int (*fn)(VmState* state, void* data), void* data, int* result);
int VmLoad(VmState* state, VmReader reader, void* readerData, const char* chunkName);
int VmDumpFunction(VmState* state, int index, VmWriter writer, void* writerData);

// Collector controls (kilobytes).
int VmGetGcThreshold(VmState* state);
int VmGetGcCount(VmState* state);
void VmSetGcThreshold(VmState* state, int kb);

// Debug support.
int VmGetStack(VmState* state, int level, VmDebug* ar);
int VmGetInfo(VmState* state, const char* options, VmDebug* ar);
const char* VmGetLocal(VmState* state, const VmDebug* ar, int n);
const char* VmSetLocal(VmState* state, const VmDebug* ar, int n);
int VmSetHook(VmState* state, VmHook fn, int mask, int count);
VmHook VmGetHook(VmState* state);
int VmGetHookMask(VmState* state);
int VmGetHookCount(VmState* state);
int VmCurrentLine(VmState* state);
int VmCurrentPc(VmState* state);

// Raising errors. Errors are numeric codes; they unwind to the innermost protected call.
[[noreturn]] void VmRaiseError(VmState* state, int code);
// Ends the running command handler as if it had returned code: the handler's frame unwinds and its
// caller applies the error protocol of a returned code (the script's error handler, error
// trapping). For argument lookups that handlers call before they change anything.
[[noreturn]] void VmFailCommand(VmState* state, int code);
// Checks the number of arguments of the running command:
//  - minArgs and maxArgs both 0: any argument raises ERR_TOOMANYARGS;
//  - fewer than minArgs: ERR_MISSINGPARAMTR;
//  - maxArgs > 0 and more than maxArgs: ERR_TOOMANYARGS (maxArgs 0 with minArgs > 0: no limit).
void VmCheckCommandArgs(VmState* state, int minArgs, int maxArgs);
[[noreturn]] void VmRaiseTypeError(VmState* state, int index, int code, const char* operatorText);
[[noreturn]] void VmThrow(VmState* state, int code);
