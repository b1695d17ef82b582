// The driver of transition effects: runs one effect from the context a command filled, frame by
// frame until it ends or wrapped in an asynchronous draw object that the script advances.
#pragma once

struct qzEffectContext;

// Runs the effect the template describes. 0, 1 (the asynchronous draw object's handle pushed) or
// an error code. Sets the template's repeat word when the effect must be started again.
int RunEffect(qzEffectContext* templ);
