// Command libraries as start-up, shutdown and tests see them: one descriptor per library with its
// name, commands, constants, the rest of its registration, its clean-up steps at shutdown, the
// reset of its state, and its runtime-attribute setter and getter. Start-up opens the libraries
// of a table in order; shutdown runs every clean-up step in the fixed order of the stages below.
#pragma once

#include "runtime/runtime.h"

struct VmState;
struct qzCommandRow;
struct qzConstantRow;

// The stages of shutdown's library clean-up, run in this order. Sounds and videos stop before the
// displays close and are freed only at the end.
enum qzShutdownStage {
    QZ_STAGE_STOP_SOUNDS,
    QZ_STAGE_STOP_VIDEOS,
    QZ_STAGE_CLOSE_DISPLAYS,
    QZ_STAGE_NETWORK,
    QZ_STAGE_GRAPHICS,
    QZ_STAGE_DRAW_BUFFERS,
    QZ_STAGE_BRUSHES,
    QZ_STAGE_BGPICS,
    QZ_STAGE_VIDEOS,
    QZ_STAGE_VECTOR_PATHS,
    QZ_STAGE_SPRITES,
    QZ_STAGE_SYSTEM,
    QZ_STAGE_TEXT,
    QZ_STAGE_ANIMS,
    QZ_STAGE_LAYERS,
    QZ_STAGE_FILES,
    QZ_STAGE_MEMBLOCKS,
    QZ_STAGE_EVENTS,
    QZ_STAGE_SOUNDS,
    QZ_STAGE_COUNT
};

// One clean-up step: at which stage it runs and what it does. A null function is no step.
struct qzLibraryCleanup {
    qzShutdownStage stage = QZ_STAGE_COUNT;
    void (*run)(VmState* state) = nullptr;
};

// Designated initializers name what a library has; the rest stays null.
struct qzLibraryDescriptor {
    const char* name = nullptr;                // in error reports and command-table dumps
    const qzCommandRow* commands = nullptr;    // null-terminated, or null
    const qzConstantRow* constants = nullptr;  // null-terminated, or null
    // The rest of the registration (object lists, metatables, hooks), called with the globals
    // table pushed after the commands and constants are in. 0 or an error code.
    int (*open)(VmState* state) = nullptr;
    // What shutdown runs: frees the library's objects and ends what it started.
    qzLibraryCleanup cleanups[2] = {};
    // Puts the library's settings back to their start values and removes what open installed
    // outside the library. Runs after the clean-ups, at shutdown and when a test closes the
    // library.
    void (*reset)() = nullptr;
    // Handed to AddAttrSetter / AddAttrGetter after every library is open.
    qzAttrSetter setAttr = nullptr;
    qzAttrGetter getAttr = nullptr;
};

// Opens one library: its commands become global functions and its registered command table, its
// constants go into the constants table, then open runs (globals table pushed; the stack is
// emptied afterwards). 0 or the first error code.
int OpenLibrary(VmState* state, const qzLibraryDescriptor* library);
// Opens the libraries of a null-terminated table in order, stopping at the first error.
int OpenLibraries(VmState* state, const qzLibraryDescriptor* const* table);
// Hands the setters, then the getters, of the table's libraries to the runtime, in table order.
// 0 or ERR_MEM.
int AddLibraryAttrHooks(const qzLibraryDescriptor* const* table);
// Runs every clean-up step of the table's libraries stage by stage (within a stage in table
// order), then every reset in table order.
void CloseLibraries(VmState* state, const qzLibraryDescriptor* const* table);
