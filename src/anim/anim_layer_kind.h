// The anim layer type for the layer system and the image code: the frame a layer of an anim draws,
// showing an existing anim as a layer, freeing the anims that the script freed once no layer shows
// them, and the frames the image code draws and draws into.
#pragma once

// Installs (on) or removes the ANIM layer row and the image code's anim links.
void InstallAnimLinks(bool on);
