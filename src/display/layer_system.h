// Switching the layer system on for the player: the display code's layer links (redraw, which
// SafeBlt's layer passes reach too; which pictures have or are shown by layers; freeing a
// picture's layers), the button code's layer links and the graphics core's layer hooks (clip
// regions in use, layer counts). Installed when the layers library opens, removed when it closes;
// without it pictures are drawn as their own pixels and no layers exist.
#pragma once

void InstallLayerSystem();
void RemoveLayerSystem();
