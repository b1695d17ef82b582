// The drawing modes that the blitters read and the command libraries write: the runtime mask mode
// and alpha intensity (runtime attributes of the graphics library), and the select mode and
// alpha-channel select mode (written by the Select commands). Main thread only.
#pragma once

#include <cstdint>

struct VmState;

// Mask modes: how a mask bit changes when something is drawn into a mask.
enum {
    MASKVISIBLE = 0,      // set
    MASKINVISIBLE = 1,    // clear
    MASKVANILLACOPY = 2,  // copy the source bit (set for fills)
    MASKXOR = 3,          // invert
    MASKAND = 4,          // and with the source bit (fills leave the bit)
    MASKOR = 5,           // or with the source bit (set for fills)
};

struct qzDrawModes {
    int32_t maskMode = MASKVISIBLE;
    int32_t alphaIntensity = 128;  // -1: use the source's own alpha
    int32_t selectMode = 0;        // 1: BlitBitMap asks the adapter to draw straight to the screen
    int32_t alphaSelectMode = 0;   // 0, 1 or 2: how SafeBlt writes an alpha source into a selected alpha channel
};

// The current modes; ResetDrawModes puts the start values back.
qzDrawModes& DrawModes();
void ResetDrawModes();

// The defaults of the standard drawing options (a transform and a tag record) belong to the code
// that parses them; the graphics library resets them at its registration and SetDrawTagsDefault
// replaces them from a table. Both hooks are null until that code installs them: nothing is
// reset then, and a table changes nothing.
struct qzDrawTagDefaultsHooks {
    void (*reset)();
    // Parses the option table at the stack index; stores the defaults only when it succeeds.
    int (*setFromTable)(VmState* state, int tableIndex);
};
void SetDrawTagDefaultsHooks(const qzDrawTagDefaultsHooks* hooks);
const qzDrawTagDefaultsHooks* GetDrawTagDefaultsHooks();
void ResetDrawTagDefaults();
int SetDrawTagDefaultsFromTable(VmState* state, int tableIndex);
