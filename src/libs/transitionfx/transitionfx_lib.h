// The `transitionfx` command library: background pictures, brushes, text objects, parts of
// pictures and layers shown or hidden with a transition effect, a shown object taken away with
// one, the screen cleared with one, and a random effect type drawn.
#pragma once

#include "runtime/library.h"

// The "transitionfx" library: its commands and the effect type constants.
extern const qzLibraryDescriptor qzTransitionFXLibrary;
