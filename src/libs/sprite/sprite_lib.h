// The `sprite` command library: making sprites from brushes, text objects and lists of sprites,
// showing, moving and removing them on the current background picture, scaling, copying,
// flipping and freeing them. It owns the sprite list (object type 32).
#pragma once

#include "runtime/library.h"

struct VmState;

// The "sprite" library: its commands and the sprite list; at shutdown every sprite
// (stage QZ_STAGE_SPRITES).
extern const qzLibraryDescriptor qzSpriteLibrary;
