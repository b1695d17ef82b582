// Replacing a layer's content with a new frame bitmap: how the frames that a display's pending
// repaints deliver for a layer (a video playing in a layer) become that layer's content. Main
// thread only.
#pragma once

struct VmState;
struct qzBitMap;
struct qzDisplay;
struct qzLayer;

// Makes the bitmap the content of *slot's layer: a new layer of the same type and object takes the
// old one's place in its picture, with its state positions, filters, transform, transparency,
// shadow, border, visibility, name, group, data and buttons; its transformed and display states
// are rendered from the bitmap; the old layer goes (its video keeps playing) and *slot receives
// the new one. A layer that shows a part of its frames keeps that part of the bitmap. When the
// display shows the layer's picture the new layer is drawn at once (not while a transition effect
// runs); when its box differs from the old one, the union of both is refreshed instead. Meanwhile the display is the
// current one with its output on itself and layers on, and the layer's picture is the current picture; all of that is
// put back afterwards. The bitmap belongs to the call: on failure it is freed. 0, ERR_WRONGUSAGE for a missing layer or
// bitmap or a layer in no picture, or the error of copying or rendering (the old layer then stays).
int ReplaceLayerContentFromBitmap(VmState* state, qzDisplay* display, qzLayer** slot, qzBitMap* bitmap);

// Set by the transition effects while an effect runs and cleared at its end: frames handed to
// layers meanwhile are not drawn at once (the effect draws the display itself).
void SetTransitionEffectRunning(int running);
int TransitionEffectRunning();
