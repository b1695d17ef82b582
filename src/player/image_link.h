// Connects the image code to the graphics core's seams: the built-in image loader behind image
// sources, IsPicture and the loaders of brushes and background pictures.
#pragma once

void InstallImageLoaders();
void RemoveImageLoaders();
