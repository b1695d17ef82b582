// The rows of the brush layer types (a whole brush, a part of a brush) for the layer system: the
// bitmaps a layer of a brush draws, showing an existing brush as a layer, freeing the brushes
// that the script freed once no layer shows them, and rendering the content of image layers
// (parts of pictures too) under a layer's transform.
#pragma once

// Installs (on) or removes the rows of BRUSH and BRUSHPART, and the renderer of BGPICPART.
void InstallBrushLayerKinds(bool on);
