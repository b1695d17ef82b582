// The command libraries of the player.
#pragma once

#include "runtime/library.h"

// The libraries in registration order, ended by a null entry. The order matters where a later
// library replaces a global of an earlier one.
extern const qzLibraryDescriptor* const qzLibraryTable[];
