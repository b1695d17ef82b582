// A background picture's layer list: counting, lookup by position and by name, naming, the
// output checks of layer commands, and the bookkeeping over every picture's list that object
// kinds use (which layers show an object, retargeting them when it is freed).
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBGPic;
struct qzClipRegion;
struct qzDisplay;
struct qzLayer;

int32_t CountLayers(const qzBGPic* pic);
// The layer at the 1-based position; null below 1 or above the number of layers.
qzLayer* GetLayerByPosition(const qzBGPic* pic, int32_t position);
// The 1-based position of a layer of the picture; 0 when it is not in the list.
int32_t GetLayerPosition(const qzBGPic* pic, const qzLayer* layer);
// The position of the first layer whose name equals name ignoring case (unnamed layers are
// skipped), else 0.
int32_t FindLayerByName(const qzBGPic* pic, const char* name);
// The same in the current background picture (0 when there is none).
int FindLayerByNameInCurrentBGPic(const char* name);
// The layer argument at index: a number is the position (not range-checked); a string is looked
// up by name, raising ERR_FINDLAYER with the name when none matches; other types raise
// ERR_STRORNUM with the index.
int32_t CheckLayerArg(VmState* state, int index, const qzBGPic* pic);
// Sets a layer's name: an empty name removes it; longer than 255 bytes is ERR_NAMETOOLONG; the
// name of another layer of the picture, or the group of any of its layers (its own included),
// ignoring case, is ERR_NAMEUSED; ERR_MEM. Nothing changes on an error.
int SetLayerNameChecked(const qzBGPic* pic, qzLayer* layer, const char* name);
// The checks every layer command makes on the display, in order: drawing into an anim or brush
// (ERR_SELECTANIM / ERR_SELECTBRUSH), into a mask (ERR_SELECTMASK) or an alpha channel
// (ERR_SELECTALPHACHANNEL), layers off (ERR_NOLAYERS). 0 when none applies.
int CheckLayerOutput(const qzDisplay* display);

// Over the layers of every background picture. A layer matches an object when its type equals
// kind (for BRUSH also BRUSHPART; for any kind also NOOBJECT, a layer being replaced) and its
// identifier equals id in both words.
// 1 when a layer other than skip matches, with its picture and layer when asked; else 0.
int FindLayerUsingObject(int32_t kind, const qzObjectId& id, const qzLayer* skip, qzBGPic** outPic, qzLayer** outLayer);
// Gives every matching layer the identifier {0, object} (the handle the freed object keeps while
// layers show it). 1 when any changed.
int RetargetLayersToObject(int32_t kind, const qzObjectId& id, void* object);
// The picture whose list holds the layer, or null.
qzBGPic* FindBGPicOfLayer(const qzLayer* layer);
// Layers over all pictures.
int32_t CountLayersOfAllPictures();
// 1 when a state of some layer uses the clip region.
int ClipRegionUsedByLayers(const qzClipRegion* region);
// Clears every reference to the clip region in the states of every layer (before it is freed).
void ForgetClipRegionInAllLayers(qzClipRegion* region);
