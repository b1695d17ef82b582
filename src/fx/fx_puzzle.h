// Puzzle (type 82) and diagonal (type 83): the new picture appears in square tiles, one tile per
// frame in a random order, or row by row with each row one frame behind the row above it, so that
// the front is a staircase running from the top-left to the bottom-right corner.
#pragma once

#include "fx/effect_context.h"

int StepPuzzleEffect(qzEffectContext* context, int32_t* done);
// Frees the tile order.
void FreePuzzleEffect(qzEffectContext* context, int32_t completed);
int StepDiagonalEffect(qzEffectContext* context, int32_t* done);

// The tile order of a puzzle of `count` tiles (a permutation of 0..count-1) from the C library's
// drand48: a drawn tile that is taken already gives way to the next free one below it, or, when
// every one below is taken, to the next free one above the drawn one. 0 or ERR_MEM.
int FillPuzzleOrder(int32_t* order, int32_t count);
