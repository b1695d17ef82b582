// The `layers` command library: its registration switches the layer system on (display links,
// graphics hooks, the seams to asynchronous draw objects and clip regions, the transform
// renderer), and its commands.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/library.h"

struct VmState;
struct qzBGPic;
struct qzLayer;
struct qzRectList;

extern const qzLibraryDescriptor qzLayersLibrary;

// Command handlers.
int LayersCollision(VmState* state);
int LayersUndo(VmState* state);
int LayersEnable(VmState* state);
int LayersDisable(VmState* state);
int LayersSwap(VmState* state);
int LayersInsert(VmState* state);
int LayersShow(VmState* state);
int LayersHide(VmState* state);
int LayersRemove(VmState* state);
int LayersFree(VmState* state);
int LayersSetName(VmState* state);
int LayersDump(VmState* state);
int LayersExists(VmState* state);
int LayersSetZPos(VmState* state);
int LayersTranslate(VmState* state);
int LayersSelect(VmState* state);
int LayersGetAtPos(VmState* state);
int LayersSetShadow(VmState* state);
int LayersSetBorder(VmState* state);
int LayersToFront(VmState* state);
int LayersToBack(VmState* state);
int LayersCreate(VmState* state);
int LayersModifyFrames(VmState* state);
int LayersPlay(VmState* state);
int LayersStop(VmState* state);
int LayersPause(VmState* state);
int LayersResume(VmState* state);
int LayersSeek(VmState* state);
int LayersSetVolume(VmState* state);
int LayersSetStyle(VmState* state);
int LayersGetStyle(VmState* state);
int LayersSetTransparency(VmState* state);
int LayersSetTint(VmState* state);
int LayersNextFrame(VmState* state);
int LayersScale(VmState* state);
int LayersRotate(VmState* state);
int LayersTransform(VmState* state);
int LayersSetAnchor(VmState* state);
int LayersSetFilter(VmState* state);
int LayersAddMove(VmState* state);
int LayersClearMove(VmState* state);
int LayersDoMove(VmState* state);

// Shared inside the library.

// The rectangles one command collects before they are refreshed together.
qzRectList* LayersRectList();
// Refreshes and empties the collected rectangles: merged and refreshed on a display, handed to
// the display's deferred list while the displayed picture is selected for drawing.
void FlushLayersRectList(VmState* state);
// The output checks of layer commands (CheckLayerOutput) for the current display; the command
// fails with their error. The current background picture.
qzBGPic* CheckLayerCommand(VmState* state);
// The layer at the argument (position or name); fails the command with ERR_LAYERRANGE.
qzLayer* CheckLayer(VmState* state, int index, qzBGPic* pic);
// The layers a layer argument addresses: a position, a layer name, or a group name (every layer
// of the group from the bottom). Fails the command with ERR_LAYERRANGE or ERR_FINDLAYER.
std::vector<qzLayer*> CheckLayerOrGroup(VmState* state, int index, qzBGPic* pic);
// Moves the layer so that it ends at the 1-based position (0 or beyond the top: on top).
// Returns 1 when it moved.
int MoveLayerInList(qzBGPic* pic, qzLayer* layer, int32_t position);
// Exchanges two distinct layers' places in the list.
void SwapLayersInList(qzBGPic* pic, qzLayer* a, qzLayer* b);
// The list of move lists: registered with the object registry when the library opens (0 or
// ERR_MEM); every move list freed at shutdown.
int RegisterMoveLists();
void FreeAllMoveLists();
