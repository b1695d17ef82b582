// The `layers` command library: its registration switches the layer system on (display links,
// graphics hooks, the seams to asynchronous draw objects and clip regions), and its commands.
#pragma once

#include "runtime/library.h"

struct VmState;

extern const qzLibraryDescriptor qzLayersLibrary;

// Command handlers.
int LayersCollision(VmState* state);
