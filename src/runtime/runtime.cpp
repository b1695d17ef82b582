// Runtime attributes, attribute chains, plugin hooks and capability lists.
#include "runtime/runtime.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "runtime/applet_version.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_report.h"
#include "runtime/event_queue.h"
#include "runtime/object_registry.h"
#include "runtime/plugin_services.h"
#include "vm/vm_runtime_link.h"

namespace {

struct qzRuntimeWords {
    int quiet = 0;
    int preloading = 0;
    int exitOnError = 1;
    int scriptRunning = 0;
};
qzRuntimeWords words;

template <typename Fn>
struct qzChainNode {
    qzChainNode* next;
    Fn fn;
};
qzChainNode<qzAttrSetter>* setters;
qzChainNode<qzAttrGetter>* getters;

qzHookNode* hooks;

struct qzCapabilitySlot {
    uint32_t bit;
    qzCapabilityNode* head;
};
qzCapabilitySlot capabilities[] = {{0x4, nullptr},  {0x8, nullptr},    {0x10, nullptr},
                                   {0x40, nullptr}, {0x4000, nullptr}, {0x8000, nullptr}};

qzCapabilitySlot* FindCapability(uint32_t bit) {
    for (qzCapabilitySlot& slot : capabilities)
        if (slot.bit == bit) return &slot;
    return nullptr;
}

template <typename Fn>
int AppendChain(qzChainNode<Fn>** head, Fn fn) {
    auto* node = static_cast<qzChainNode<Fn>*>(std::malloc(sizeof(qzChainNode<Fn>)));
    if (!node) return ERR_MEM;
    node->next = nullptr;
    node->fn = fn;
    while (*head) head = &(*head)->next;
    *head = node;
    return 0;
}

template <typename Fn>
void FreeChain(qzChainNode<Fn>** head) {
    while (*head) {
        qzChainNode<Fn>* next = (*head)->next;
        std::free(*head);
        *head = next;
    }
}

bool SetOne(VmState* state, uint32_t tag, intptr_t value) {
    switch (tag) {
    case QZ_RTA_QUIET: words.quiet = static_cast<int>(value); return true;
    case QZ_RTA_PRELOADING: words.preloading = static_cast<int>(value); return true;
    case QZ_RTA_CALLBACKDEPTH:
        // The interpreter reads the counter to tell callbacks from the main chunk.
        if (value != 0)
            vmRuntime.callbackDepth++;
        else if (vmRuntime.callbackDepth > 0)
            vmRuntime.callbackDepth--;
        return true;
    case QZ_RTA_EXITONERROR: words.exitOnError = static_cast<int>(value); return true;
    case QZ_RTA_SCRIPTRUNNING: words.scriptRunning = static_cast<int>(value); return true;
    default:
        for (auto* n = setters; n; n = n->next)
            if (n->fn(state, tag, value)) return true;
        return false;
    }
}

bool GetOne(VmState* state, uint32_t tag, void* out) {
    int* answer = static_cast<int*>(out);
    switch (tag) {
    case QZ_RTA_QUIET:
        if (answer) *answer = words.quiet;
        return true;
    case QZ_RTA_PRELOADING:
        if (answer) *answer = words.preloading;
        return true;
    case QZ_RTA_CALLBACKDEPTH:
        if (answer) *answer = vmRuntime.callbackDepth;
        return true;
    case QZ_RTA_EXITONERROR:
        if (answer) *answer = words.exitOnError;
        return true;
    default:
        for (auto* n = getters; n; n = n->next)
            if (n->fn(state, tag, out)) return true;
        return false;
    }
}

}  // namespace

int SetRuntimeAttrs(VmState* state, std::initializer_list<qzAttrSet> tags) {
    int handled = 0;
    for (const qzAttrSet& t : tags) {
        if (t.tag == 0) break;
        handled += SetOne(state, t.tag, t.value) ? 1 : 0;
    }
    return handled;
}

int GetRuntimeAttrs(VmState* state, std::initializer_list<qzAttrGet> tags) {
    int handled = 0;
    for (const qzAttrGet& t : tags) {
        if (t.tag == 0) break;
        handled += GetOne(state, t.tag, t.out) ? 1 : 0;
    }
    return handled;
}

int AddAttrSetter(qzAttrSetter setter) { return AppendChain(&setters, setter); }

int AddAttrGetter(qzAttrGetter getter) { return AppendChain(&getters, getter); }

bool IsRuntimeQuiet() { return words.quiet != 0; }

int GetCallbackDepth() { return vmRuntime.callbackDepth; }

void SetQuitFlag(int quit) { vmRuntime.quitFlag.store(quit ? 1 : 0); }

bool IsQuitRequested() { return vmRuntime.quitFlag.load() != 0; }

void SetCallTrace(bool on) { vmRuntime.callTrace = on; }

bool IsExitOnError() { return words.exitOnError != 0; }

bool IsScriptRunning() { return words.scriptRunning != 0; }

qzHookNode* AddPluginHook(int kind, qzHookFunc callback, void* userData, int foreign) {
    if (kind != 0 && kind != 1) return nullptr;
    auto* node = static_cast<qzHookNode*>(std::calloc(1, sizeof(qzHookNode)));
    if (!node) return nullptr;
    node->kind = kind;
    node->foreign = foreign;
    node->userData = userData;
    if (kind == 0)
        node->callback0 = reinterpret_cast<qzHookFunc0>(callback);
    else
        node->callback1 = reinterpret_cast<qzHookFunc1>(callback);
    qzHookNode** tail = &hooks;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    return node;
}

void SetPluginHookEnabled(qzHookNode* node, int enabled) {
    if (node) node->disabled = enabled ? 0 : 1;
}

void RemovePluginHook(qzHookNode* node) {
    for (qzHookNode** p = &hooks; *p; p = &(*p)->next) {
        if (*p == node) {
            *p = node->next;
            std::free(node);
            return;
        }
    }
}

int RunPluginHooks(VmState* state, int kind) {
    if (kind == 1) {
        for (qzHookNode* h = hooks; h; h = h->next) {
            if (h->kind != 1 || h->disabled || h->foreign || !h->callback1) continue;
            int result = h->callback1(state, h->userData);
            if (result != 0) return result;
        }
        return 0;
    }
    if (kind != 0) return 0;
    for (qzHookNode* h = hooks; h; h = h->next) {
        if (h->kind != 0 || h->disabled) continue;
        // A foreign pump is driven by its own side; calling it "until it stops" from here would
        // never end.
        if (h->foreign || !h->callback0) return 0;
        for (;;) {
            int result = h->callback0(h->userData);
            if (result == -1) return 0;
            if (result != 0) return result;
        }
    }
    return 0;
}

int RegisterPluginForCapability(const void* plugin, uint32_t bit) {
    qzCapabilitySlot* slot = FindCapability(bit);
    if (!slot) return ERR_WRONGUSAGE;
    qzCapabilityNode** tail = &slot->head;
    for (; *tail; tail = &(*tail)->next)
        if ((*tail)->plugin == plugin) return 0;
    auto* node = static_cast<qzCapabilityNode*>(std::malloc(sizeof(qzCapabilityNode)));
    if (!node) return ERR_MEM;
    node->next = nullptr;
    node->plugin = plugin;
    *tail = node;
    return 0;
}

void UnregisterPluginForCapability(const void* plugin, uint32_t bit) {
    qzCapabilitySlot* slot = FindCapability(bit);
    if (!slot) return;
    for (qzCapabilityNode** p = &slot->head; *p;) {
        if ((*p)->plugin == plugin) {
            qzCapabilityNode* gone = *p;
            *p = gone->next;
            std::free(gone);
        } else {
            p = &(*p)->next;
        }
    }
}

const qzCapabilityNode* GetCapabilityList(uint32_t bit) {
    qzCapabilitySlot* slot = FindCapability(bit);
    return slot ? slot->head : nullptr;
}

int AppendListValue(qzValueNode** list, intptr_t value) {
    if (!CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    auto* node = static_cast<qzValueNode*>(std::malloc(sizeof(qzValueNode)));
    if (!node) return ERR_MEM;
    node->next = nullptr;
    node->value = value;
    while (*list) list = &(*list)->next;
    *list = node;
    return 0;
}

void FreeValueList(qzValueNode** list) {
    while (*list) {
        qzValueNode* next = (*list)->next;
        std::free(*list);
        *list = next;
    }
}

namespace {

void ConsolePrintText(const char* text) { PrintConsole("%s", text ? text : ""); }

bool HandlerInstalled(VmState* state) { return IsUserErrorHandlerInstalled(state); }

}  // namespace

int InitRuntime() {
    words = qzRuntimeWords{};
    ResetErrorState();
    // The interpreter reports command errors, raised errors and call traces through these.
    VmResetRuntimeLink();
    vmRuntime.signalError = SignalError;
    vmRuntime.recordErrorContext = RecordErrorContext;
    vmRuntime.userErrorHandlerInstalled = HandlerInstalled;
    vmRuntime.callUserErrorHandler = CallUserErrorHandler;
    vmRuntime.consolePrint = ConsolePrintText;
    RecordStartDate();
    return InitEventQueue();
}

void FreeRuntime(VmState* state) {
    FreeChain(&setters);
    FreeChain(&getters);
    FreeUserErrorTexts();
    FreeObjectRegistry();
    while (hooks) {
        qzHookNode* next = hooks->next;
        std::free(hooks);
        hooks = next;
    }
    for (qzCapabilitySlot& slot : capabilities) {
        while (slot.head) {
            qzCapabilityNode* next = slot.head->next;
            std::free(slot.head);
            slot.head = next;
        }
    }
    FreeEventQueue(state);
    FreeObjectRegistry();
    ResetErrorState();
    words = qzRuntimeWords{};
    VmResetRuntimeLink();
}
