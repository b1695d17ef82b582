// The rows of the brush layer types (a whole brush, a part of a brush) for the layer system: the
// bitmaps a layer of a brush draws, showing an existing brush as a layer, and freeing the brushes
// that the script freed once no layer shows them.
#pragma once

// Installs (on) or removes the rows of BRUSH and BRUSHPART.
void InstallBrushLayerKinds(bool on);
