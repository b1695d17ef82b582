// Opening and closing command libraries through their descriptors.
#include "runtime/library.h"

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

void CloseLibraries(VmState* state, const qzLibraryDescriptor* const* table) {
    for (int stage = 0; stage < QZ_STAGE_COUNT; stage++)
        for (const qzLibraryDescriptor* const* library = table; *library; library++)
            for (const qzLibraryCleanup& step : (*library)->cleanups)
                if (step.run && step.stage == stage) step.run(state);
    for (const qzLibraryDescriptor* const* library = table; *library; library++)
        if ((*library)->reset) (*library)->reset();
}
