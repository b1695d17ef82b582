// The driver of transition effects: runs one effect from the context a command filled, frame by
// frame until it ends or wrapped in an asynchronous draw object that the script advances; seeking
// to a frame; the callbacks of that object; the end and release of an effect.
#pragma once

#include <cstdint>

struct qzEffectContext;

// Runs the effect the template describes. 0, 1 (the asynchronous draw object's handle pushed) or
// an error code. Sets the template's repeat word when the effect must be started again.
int RunEffect(qzEffectContext* templ);

// Brings the effect to frame `step`: frame-rendered types render it at once, the others rebuild
// the layer from what was revealed (step == current and no force) or replay from the first frame.
int SeekEffect(qzEffectContext* context, int32_t step, int force);

// The callbacks of the asynchronous draw object (the context is its user data).
int EffectAsyncDraw(qzEffectContext* context, int32_t* done);
int EffectAsyncOperation(int operation, intptr_t data, void* context);
// The end of an effect (flag 1: it ran to its end): the layer gets its own bitmaps back, a hidden
// or removed layer goes.
void FinishEffect(qzEffectContext* context, int32_t flag);
// Releases the context and everything it owns (flag 0: cancelled, the layer as before).
void FreeEffectContext(qzEffectContext* context, int32_t flag);
