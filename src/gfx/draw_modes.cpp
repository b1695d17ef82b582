#include "gfx/draw_modes.h"

namespace {
qzDrawModes modes;
}

qzDrawModes& DrawModes() { return modes; }

void ResetDrawModes() { modes = qzDrawModes(); }

namespace {
const qzDrawTagDefaultsHooks* tagHooks = nullptr;
}

void SetDrawTagDefaultsHooks(const qzDrawTagDefaultsHooks* hooks) { tagHooks = hooks; }
const qzDrawTagDefaultsHooks* GetDrawTagDefaultsHooks() { return tagHooks; }

void ResetDrawTagDefaults() {
    if (tagHooks && tagHooks->reset) tagHooks->reset();
}

int SetDrawTagDefaultsFromTable(VmState* state, int tableIndex) {
    return tagHooks && tagHooks->setFromTable ? tagHooks->setFromTable(state, tableIndex) : 0;
}
