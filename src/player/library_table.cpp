// The table of command libraries that start-up opens and shutdown closes.
#include "player/library_table.h"

#include "libs/anim/anim_lib.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/display/display_lib.h"
#include "libs/dos/dos.h"
#include "libs/draw/draw.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layers_lib.h"
#include "libs/math/math_lib.h"
#include "libs/memblock/memblock.h"
#include "libs/moveobject/moveobject_lib.h"
#include "libs/network/network.h"
#include "libs/sound/sound.h"
#include "libs/sprite/sprite_lib.h"
#include "libs/string/string_lib.h"
#include "libs/system/system.h"
#include "libs/text/text_lib.h"
#include "libs/transitionfx/transitionfx_lib.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "libs/video/video.h"

// A library adds its descriptor at its place in this order: string, math, graphics, draw,
// moveobject, dos, event, system, layers, text, anim, display, sound, brush, bgpic, transitionfx,
// sprite, memblock, vectorgraphics, network, video.
const qzLibraryDescriptor* const qzLibraryTable[] = {
    &qzStringLibrary,       &qzMathLibrary,    &qzGraphicsLibrary, &qzDrawLibrary,           &qzMoveObjectLibrary,
    &qzDosLibrary,          &qzEventLibrary,   &qzSystemLibrary,   &qzLayersLibrary,         &qzTextLibrary,
    &qzAnimLibrary,         &qzDisplayLibrary, &qzSoundLibrary,    &qzBrushLibrary,          &qzBGPicLibrary,
    &qzTransitionFXLibrary, &qzSpriteLibrary,  &qzMemblockLibrary, &qzVectorGraphicsLibrary, &qzNetworkLibrary,
    &qzVideoLibrary,        nullptr,
};
