// Buttons bound to layers: what the button code asks of the layer system (finding the layer an
// argument names, whether it is shown, its position and name, the pixel-exact hit test), and
// moving a layer's buttons to the layer that replaces it.
#pragma once

struct qzBGPic;
struct qzLayer;

// The picture's buttons bound to from are bound to to.
void RebindLayerButtons(qzBGPic* pic, const qzLayer* from, qzLayer* to);
// Installs (on) or removes the layer links of the button code.
void InstallLayerButtonLinks(bool on);
