#include "display/layer_list.h"

#include <cstring>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_records.h"
#include "display/picture.h"
#include "platform/os_alloc.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

bool LayerMatches(const qzLayer* layer, int32_t kind, const qzObjectId& id) {
    const bool kindMatches = layer->type == kind || layer->type == QZ_LAYER_NOOBJECT ||
                             (kind == QZ_LAYER_BRUSH && layer->type == QZ_LAYER_BRUSHPART);
    return kindMatches && SameObjectId(layer->id, id);
}

qzBGPic* NextPicture(const qzBGPic* pic) { return reinterpret_cast<qzBGPic*>(pic->header.next); }

}  // namespace

int32_t CountLayers(const qzBGPic* pic) {
    int32_t count = 0;
    for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) count++;
    return count;
}

qzLayer* GetLayerByPosition(const qzBGPic* pic, int32_t position) {
    if (position < 1) return nullptr;
    qzLayer* layer = FirstLayer(pic);
    for (int32_t i = 1; layer && i < position; i++) layer = NextLayer(layer);
    return layer;
}

int32_t GetLayerPosition(const qzBGPic* pic, const qzLayer* layer) {
    int32_t position = 1;
    for (qzLayer* l = FirstLayer(pic); l; l = NextLayer(l), position++)
        if (l == layer) return position;
    return 0;
}

int32_t FindLayerByName(const qzBGPic* pic, const char* name) {
    int32_t position = 1;
    for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer), position++)
        if (layer->name && CompareNoCase(layer->name, name) == 0) return position;
    return 0;
}

int FindLayerByNameInCurrentBGPic(const char* name) {
    const qzBGPic* pic = CurrentBGPic();
    return pic ? FindLayerByName(pic, name) : 0;
}

int32_t CheckLayerArg(VmState* state, int index, const qzBGPic* pic) {
    const int type = VmType(state, index);
    if (type == VM_TNUMBER) return VmNumberToInteger(VmToNumber(state, index));
    if (type == VM_TSTRING) {
        const char* name = VmToString(state, index);
        int32_t position = pic ? FindLayerByName(pic, name) : 0;
        if (!position) {
            SetErrorArgString(name);
            VmRaiseError(state, ERR_FINDLAYER);
        }
        return position;
    }
    SetErrorArgIndex(index);
    VmRaiseError(state, ERR_STRORNUM);
    return 0;
}

int SetLayerNameChecked(const qzBGPic* pic, qzLayer* layer, const char* name) {
    if (!name || !*name) {
        OsFree(layer->name);
        layer->name = nullptr;
        return 0;
    }
    const size_t length = std::strlen(name);
    if (length > size_t(QZ_LAYER_NAME_MAX)) return ERR_NAMETOOLONG;
    for (qzLayer* other = FirstLayer(pic); other; other = NextLayer(other)) {
        if (other != layer && other->name && CompareNoCase(other->name, name) == 0) return ERR_NAMEUSED;
        if (other->group[0] && CompareNoCase(other->group, name) == 0) return ERR_NAMEUSED;
    }
    if (layer->group[0] && CompareNoCase(layer->group, name) == 0) return ERR_NAMEUSED;
    char* copy = static_cast<char*>(OsAlloc(length + 1, 0));
    if (!copy) return ERR_MEM;
    std::memcpy(copy, name, length + 1);
    OsFree(layer->name);
    layer->name = copy;
    return 0;
}

int CheckLayerOutput(const qzDisplay* display) {
    if (!display) return ERR_NOLAYERS;
    if (display->outputKind == QZ_TYPE_BRUSH) {
        const qzBGPic* target = display->selectRecord;
        return target && target->selectTarget[0] == QZ_TYPE_ANIM ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    }
    if (display->outputKind == QZ_TYPE_MASK) return ERR_SELECTMASK;
    if (display->outputKind == QZ_TYPE_ALPHACHANNEL) return ERR_SELECTALPHACHANNEL;
    if (!display->layersEnabled) return ERR_NOLAYERS;
    return 0;
}

int FindLayerUsingObject(int32_t kind, const qzObjectId& id, const qzLayer* skip, qzBGPic** outPic,
                         qzLayer** outLayer) {
    for (qzBGPic* pic = FirstBGPic(); pic; pic = NextPicture(pic)) {
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
            if (layer == skip || !LayerMatches(layer, kind, id)) continue;
            if (outPic) *outPic = pic;
            if (outLayer) *outLayer = layer;
            return 1;
        }
    }
    return 0;
}

int RetargetLayersToObject(int32_t kind, const qzObjectId& id, void* object) {
    int changed = 0;
    for (qzBGPic* pic = FirstBGPic(); pic; pic = NextPicture(pic)) {
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
            if (!LayerMatches(layer, kind, id)) continue;
            layer->id = {0, object};
            changed = 1;
        }
    }
    return changed;
}

qzBGPic* FindBGPicOfLayer(const qzLayer* layer) {
    for (qzBGPic* pic = FirstBGPic(); pic; pic = NextPicture(pic))
        for (qzLayer* l = FirstLayer(pic); l; l = NextLayer(l))
            if (l == layer) return pic;
    return nullptr;
}

int32_t CountLayersOfAllPictures() {
    int32_t count = 0;
    for (qzBGPic* pic = FirstBGPic(); pic; pic = NextPicture(pic)) count += CountLayers(pic);
    return count;
}

int ClipRegionUsedByLayers(const qzClipRegion* region) {
    if (!region) return 0;
    for (qzBGPic* pic = FirstBGPic(); pic; pic = NextPicture(pic)) {
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
            qzLayerState* states[3];
            const int count = DistinctLayerStates(layer, states);
            for (int i = 0; i < count; i++)
                if (states[i]->clipRegion == region) return 1;
        }
    }
    return 0;
}

void ForgetClipRegionInAllLayers(qzClipRegion* region) {
    if (!region) return;
    for (qzBGPic* pic = FirstBGPic(); pic; pic = NextPicture(pic)) {
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
            // The transformed copies made from the region go with it.
            const bool fromBase = layer->base->clipRegion == region;
            qzLayerState* states[3];
            const int count = DistinctLayerStates(layer, states);
            for (int i = 0; i < count; i++)
                if (fromBase || states[i]->clipRegion == region) SetLayerStateClipRegion(states[i], nullptr, 0);
        }
    }
}
