// The effect types: which step routine draws each type, the type classes the driver consults, the
// swap of a type for its opposite when an object is hidden, the random choice of a type, and the
// script constants that name the types.
#pragma once

#include "fx/effect_context.h"

struct qzConstantRow;

// The step routine and the state-freeing routine of a type (both null where no routine draws it).
void GetEffectRoutines(int type, qzEffectStepFn* step, qzEffectFreeFn* freeState);
// Installs the routines of the scroll types, which live above this layer (null: refused).
void SetScrollEffectRoutines(qzEffectStepFn step, qzEffectFreeFn freeState);
// Test programs: the routines of one type replaced until a call with a null step puts the
// table's back.
void OverrideEffectRoutines(int type, qzEffectStepFn step, qzEffectFreeFn freeState);
// A random type: uniform over the named types 0..139 without 113, or over the layer-safe ones
// among them when layerSafeOnly is non-zero.
int PickRandomEffect(int layerSafeOnly);
// The type that runs instead when the object is hidden (the type itself when it has no opposite).
int HiddenEffectType(int type);
// 1 for the scroll types, which move the layer itself.
int IsScrollEffect(int type);

// The library's constants: a name for every type, RANDOMEFFECT and RANDOMPARAMETER; null-ended.
extern const qzConstantRow kEffectTypeConstants[];

// 1 when the type composites the old content under the area with the new picture each frame, so
// that the effect needs a copy of it (oldImage); some types need it only on one drawing path.
int EffectNeedsOldImage(int type, int viaLayer);
