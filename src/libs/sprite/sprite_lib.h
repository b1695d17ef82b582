// The `sprite` command library: making sprites from brushes, text objects and lists of sprites,
// showing, moving and removing them on the current background picture, scaling, copying,
// flipping and freeing them. It owns the sprite list (object type 32).
#pragma once

#include <cstdint>

#include "runtime/library.h"

struct VmState;
struct qzObjectBitmaps;
struct qzObjectId;

// The "sprite" library: its commands and the sprite list; at shutdown every sprite
// (stage QZ_STAGE_SPRITES).
extern const qzLibraryDescriptor qzSpriteLibrary;

// The bitmaps of one frame (1-based) of a sprite, for other libraries that make brushes and
// pointers of it (the sprite's own, not copies). 0, the lookup's error, or ERR_ANIMFRAME.
int GetSpriteFrameObjectBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out);
