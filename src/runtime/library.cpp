// Opening and closing command libraries through their descriptors.
#include "runtime/library.h"

#include "base/out_of_memory.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int OpenLibrary(VmState* state, const qzLibraryDescriptor* library) {
    int error = 0;
    if (library->commands) {
        VmRegisterFunctions(state, nullptr, library->commands, 0);
        error = RegisterCommandTable(library->commands, library->name);
    }
    if (!error && library->constants) error = VmRegisterConstants(state, library->constants, 0);
    if (!error && library->open) {
        VmPushValue(state, VM_GLOBALSINDEX);
        error = library->open(state);
        VmSetTop(state, 0);
    }
    return error;
}

int OpenLibraries(VmState* state, const qzLibraryDescriptor* const* table) {
    for (const qzLibraryDescriptor* const* library = table; *library; library++) {
        int error = OpenLibrary(state, *library);
        if (error) return error;
    }
    return 0;
}

int AddLibraryAttrHooks(const qzLibraryDescriptor* const* table) {
    for (const qzLibraryDescriptor* const* library = table; *library; library++) {
        if (!(*library)->setAttr) continue;
        int error = AddAttrSetter((*library)->setAttr);
        if (error) return error;
    }
    for (const qzLibraryDescriptor* const* library = table; *library; library++) {
        if (!(*library)->getAttr) continue;
        int error = AddAttrGetter((*library)->getAttr);
        if (error) return error;
    }
    return 0;
}

namespace {

int RunCleanupStep(VmState* state, void* step) {
    static_cast<const qzLibraryCleanup*>(step)->run(state);
    return 0;
}

}  // namespace

void CloseLibraries(VmState* state, const qzLibraryDescriptor* const* table) {
    // Each step runs protected: one that runs out of memory (or meets any VM error) ends there,
    // and the steps after it still run.
    for (int stage = 0; stage < QZ_STAGE_COUNT; stage++)
        for (const qzLibraryDescriptor* const* library = table; *library; library++)
            for (const qzLibraryCleanup& step : (*library)->cleanups) {
                if (!step.run || step.stage != stage) continue;
                int result = 0;
                if (state)
                    VmCallInFrameProtected(state, RunCleanupStep, const_cast<qzLibraryCleanup*>(&step), &result);
                else
                    CatchOutOfMemory([&] { return RunCleanupStep(state, const_cast<qzLibraryCleanup*>(&step)); });
            }
    for (const qzLibraryDescriptor* const* library = table; *library; library++)
        if ((*library)->reset) (*library)->reset();
}
