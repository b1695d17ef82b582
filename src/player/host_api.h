// The host API block that every plugin receives: the player's version and its fourteen service
// tables, filled here from every layer.
#pragma once

#include "platform/plugin_api.h"

// The block (static, filled on first use).
qzHostApi* GetHostApi();
// Hands the block to the plugin loader and installs the player's seams that plugins fill (video
// bitmaps of a display-adapter plugin, image-source references of the image cache); the reverse
// at shutdown.
void InstallHostApi();
void RemoveHostApi();
