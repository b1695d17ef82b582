// Runtime state beside the VM: the runtime attributes that libraries and plugins read and write
// through tag lists, the chains of library attribute setters and getters, plugin hooks run by the
// event pump, and the lists of plugins per adapter capability. InitRuntime / FreeRuntime start and
// end the runtime services as a whole.
#pragma once

#include <cstdint>
#include <initializer_list>

struct VmState;

// Runtime attribute tags kept by the runtime itself; other tags go to the registered chains.
enum {
    QZ_RTA_QUIET = 1,  // suppresses progress output
    // Non-zero while objects are preloaded before any display exists: display creation copies it
    // into each new display, and the image loaders defer building bitmaps (and may share loaded
    // images through the image cache) while it is set.
    QZ_RTA_PRELOADING = 5,
    QZ_RTA_CALLBACKDEPTH = 10,  // set: non-zero raises, 0 lowers the callback nesting counter
    QZ_RTA_EXITONERROR = 11,    // error trapping: a command error ends the script
    QZ_RTA_SCRIPTRUNNING = 22,  // a script is executing (set only)
};

// One entry of a SetRuntimeAttrs list.
struct qzAttrSet {
    uint32_t tag;
    intptr_t value;
};
// One entry of a GetRuntimeAttrs list: where the answer goes. The runtime's own tags answer an int.
struct qzAttrGet {
    uint32_t tag;
    void* out;
};

// Chain functions: return non-zero when they know the tag.
typedef int (*qzAttrSetter)(VmState* state, uint32_t tag, intptr_t value);
typedef int (*qzAttrGetter)(VmState* state, uint32_t tag, void* out);

// Both return the number of tags handled; a tag that nobody knows is not counted.
int SetRuntimeAttrs(VmState* state, std::initializer_list<qzAttrSet> tags);
int GetRuntimeAttrs(VmState* state, std::initializer_list<qzAttrGet> tags);
// Append to the chains, asked in registration order. 0, or ERR_MEM.
int AddAttrSetter(qzAttrSetter setter);
int AddAttrGetter(qzAttrGetter getter);

// Shortcuts for the runtime's own words.
bool IsRuntimeQuiet();
int GetCallbackDepth();
bool IsExitOnError();
bool IsScriptRunning();
// The quit flag ends the main chunk before its next instruction; the call-trace switch prints
// every command call on the console.
void SetQuitFlag(int quit);
bool IsQuitRequested();
void SetCallTrace(bool on);

// Plugin hooks. Kind 0 is a pump the event loop hands control to: it is called with its user data
// until it returns -1. Kind 1 hooks are called once per pump run with (state, user data).
typedef int (*qzHookFunc0)(void* userData);
typedef int (*qzHookFunc1)(VmState* state, void* userData);
typedef void (*qzHookFunc)();

struct qzHookNode {
    qzHookNode* next;
    int kind;
    int foreign;  // run by the side that registered it, never called from here
    void* userData;
    int disabled;
    qzHookFunc0 callback0;
    qzHookFunc1 callback1;
};

// callback is a qzHookFunc0 for kind 0 and a qzHookFunc1 for kind 1, cast to qzHookFunc. Other
// kinds, or no memory: null.
qzHookNode* AddPluginHook(int kind, qzHookFunc callback, void* userData, int foreign);
void SetPluginHookEnabled(qzHookNode* node, int enabled);
void RemovePluginHook(qzHookNode* node);
// Kind 1: each enabled hook once, in registration order; the first non-zero result stops the run
// and is returned. Kind 0: the first enabled hook, called until it returns -1 (then 0 is returned)
// or another non-zero value (returned). Foreign hooks are not called: a foreign kind-1 hook counts
// as returning 0, and a foreign kind-0 hook ends the run with 0.
int RunPluginHooks(VmState* state, int kind);

// Plugins per adapter capability: image 4, anim 8, sound 16, video 64, file 0x4000 and directory
// 0x8000. The plugin is the caller's opaque information block.
struct qzCapabilityNode {
    qzCapabilityNode* next;
    const void* plugin;
};
// Appends the plugin (once) to the capability's list: 0, ERR_WRONGUSAGE for an unknown bit, ERR_MEM.
int RegisterPluginForCapability(const void* plugin, uint32_t bit);
// Removes every node of the plugin from the capability's list.
void UnregisterPluginForCapability(const void* plugin, uint32_t bit);
// The list of a capability in registration order, or null (also for unknown bits).
const qzCapabilityNode* GetCapabilityList(uint32_t bit);

// A singly linked list of values in append order.
struct qzValueNode {
    qzValueNode* next;
    intptr_t value;
};
// Appends a value: 0; ERR_OLDAPPLET for an applet compiled before 6.0; ERR_MEM.
int AppendListValue(qzValueNode** list, intptr_t value);
// Frees every node and empties the list.
void FreeValueList(qzValueNode** list);

// Starts the runtime services: error state, the interpreter's error reporting (SignalError,
// RecordErrorContext, the script error handler, call-trace output) and the event queue.
// 0, ERR_MEM or ERR_SEMAPHORE.
int InitRuntime();
// Ends them: attribute chains, user error texts, hooks, capability lists, the object registry and
// the event queue (drained). Attributes return to their defaults and the interpreter to its plain error raising.
void FreeRuntime(VmState* state);
