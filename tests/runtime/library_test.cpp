// Command libraries through their descriptors: what opening registers, the order of the
// shutdown clean-ups and resets, and the order in which attribute hooks reach the runtime.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/library.h"
#include "runtime/object_registry.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace library_test {

namespace {

std::vector<std::string> events;

template <char C>
void Record(VmState*) {
    events.push_back(std::string("clean ") + C);
}
template <char C>
void Reset() {
    events.push_back(std::string("reset ") + C);
}
template <char C>
int Setter(VmState*, uint32_t tag, intptr_t) {
    events.push_back(std::string("set ") + C);
    return 0;
}
template <char C>
int Getter(VmState*, uint32_t tag, void*) {
    events.push_back(std::string("get ") + C);
    return 0;
}

int Twice(VmState* state) {
    VmPushNumber(state, 2 * VmCheckNumber(state, 1));
    return 1;
}

const qzCommandRow kCommands[] = {{"Twice", Twice}, {nullptr, nullptr}};
const qzConstantRow kConstants[] = {{"ANSWER", nullptr, 42}, {nullptr, nullptr, 0}};

}  // namespace

TEST(Library, OpeningRegistersCommandsConstantsAndTheCommandTable) {
    VmState* L = VmOpen();
    int openTop = -1;
    static int* seenTop;
    seenTop = &openTop;
    const qzLibraryDescriptor lib = {
        .name = "twice",
        .commands = kCommands,
        .constants = kConstants,
        .open =
            [](VmState* state) {
                // The commands are in before the rest of the registration runs.
                VmPushString(state, "twice");
                VmRawGet(state, VM_GLOBALSINDEX);
                *seenTop = VmType(state, -1) == VM_TFUNCTION ? VmGetTop(state) : -1;
                return 0;
            },
    };
    ASSERT_EQ(OpenLibrary(L, &lib), 0);
    EXPECT_EQ(openTop, 2);  // the globals table and the function
    EXPECT_EQ(VmGetTop(L), 0);
    double number = 0;
    const char* text = nullptr;
    EXPECT_EQ(VmFindConstantIn(L, "answer", &text, &number, "constants"), 1);
    EXPECT_EQ(number, 42);
    bool tableFound = false;
    for (const qzCommandTableNode* node = GetCommandTables(); node; node = node->next)
        tableFound |= std::strcmp(node->libraryName, "twice") == 0 && node->table == kCommands;
    EXPECT_TRUE(tableFound);
    FreeObjectRegistry();
    VmClose(L);
}

TEST(Library, CleanupsRunByStageThenEveryReset) {
    const qzLibraryDescriptor sound = {
        .name = "sound",
        .cleanups = {{QZ_STAGE_STOP_SOUNDS, Record<'s'>}, {QZ_STAGE_SOUNDS, Record<'S'>}},
        .reset = Reset<'s'>,
    };
    const qzLibraryDescriptor dos = {.name = "dos", .cleanups = {{QZ_STAGE_FILES, Record<'d'>}}, .reset = Reset<'d'>};
    const qzLibraryDescriptor plain = {.name = "plain"};
    const qzLibraryDescriptor display = {.name = "display", .cleanups = {{QZ_STAGE_CLOSE_DISPLAYS, Record<'w'>}}};
    const qzLibraryDescriptor* const table[] = {&dos, &plain, &display, &sound, nullptr};
    events.clear();
    CloseLibraries(nullptr, table);
    EXPECT_EQ(events, (std::vector<std::string>{"clean s", "clean w", "clean d", "clean S", "reset d", "reset s"}));
}

TEST(Library, AttributeSettersThenGettersReachTheRuntimeInTableOrder) {
    ASSERT_EQ(InitRuntime(), 0);
    const qzLibraryDescriptor graphics = {.name = "graphics", .setAttr = Setter<'g'>, .getAttr = Getter<'g'>};
    const qzLibraryDescriptor sound = {.name = "sound", .setAttr = Setter<'s'>, .getAttr = Getter<'s'>};
    const qzLibraryDescriptor plain = {.name = "plain"};
    const qzLibraryDescriptor* const table[] = {&graphics, &plain, &sound, nullptr};
    ASSERT_EQ(AddLibraryAttrHooks(table), 0);
    events.clear();
    int value = 0;
    SetRuntimeAttrs(nullptr, {{99, 1}});
    GetRuntimeAttrs(nullptr, {{99, &value}});
    EXPECT_EQ(events, (std::vector<std::string>{"set g", "set s", "get g", "get s"}));
    FreeRuntime(nullptr);
}

}  // namespace library_test
