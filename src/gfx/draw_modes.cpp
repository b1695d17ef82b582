#include "gfx/draw_modes.h"

namespace {
qzDrawModes modes;
}

qzDrawModes& DrawModes() { return modes; }

void ResetDrawModes() { modes = qzDrawModes(); }
