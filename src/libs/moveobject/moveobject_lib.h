// The `moveobject` command library: MoveBrush, MoveTextObject, MoveLayer, MoveAnim and MoveSprite
// slide an object across the current background picture (libs/moveobject/object_move.h).
#pragma once

#include "runtime/library.h"

// The "moveobject" library: its commands and the move effect constants.
extern const qzLibraryDescriptor qzMoveObjectLibrary;
