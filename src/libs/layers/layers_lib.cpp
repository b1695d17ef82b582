// Registration and constants of the `layers` command library, its rectangle list, and the layer
// argument helpers its commands share.
#include "libs/layers/layers_lib.h"

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_links.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_list.h"
#include "display/layer_refresh.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "image/output_select.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layer_render.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }

const qzCommandRow kLayersCommands[] = {
    {"Undo", LayersUndo, 1, 4},
    {"EnableLayers", LayersEnable, 0, 0},
    {"DisableLayers", LayersDisable, 0, 0},
    {"SwapLayers", LayersSwap, 2, 2},
    {"InsertLayer", LayersInsert, 5, 6},
    {"ShowLayer", LayersShow},
    {"HideLayer", LayersHide},
    {"RemoveLayer", LayersRemove, 1, 1},
    {"SetLayerTransparency", LayersSetTransparency, 2, 2},
    {"SetLayerLight", LayersSetTint, 3, 3},
    {"SetLayerTint", LayersSetTint, 3, 3},
    {"AddMove", LayersAddMove, 3, 6},
    {"ClearMove", LayersClearMove, 1, 1},
    {"DoMove", LayersDoMove, 1, 1},
    {"FreeLayers", LayersFree, 0, 1},
    {"NextFrame", LayersNextFrame, 1, 4},
    {"SetLayerName", LayersSetName, 2, 2},
    {"Collision", LayersCollision},
    {"DumpLayers", LayersDump, 0, 1},
    {"ScaleLayer", LayersScale, 3, 4},
    {"RotateLayer", LayersRotate, 2, 3},
    {"SetLayerStyle", LayersSetStyle, 2, 256},
    {"GetLayerStyle", LayersGetStyle, 1, 1},
    {"TransformLayer", LayersTransform, 5, 6},
    {"SetLayerAnchor", LayersSetAnchor, 3, 3},
    {"LayerExists", LayersExists, 1, 1},
    {"SetLayerZPos", LayersSetZPos, 2, 2},
    {"TranslateLayer", LayersTranslate, 3, 3},
    {"SelectLayer", LayersSelect, 1, 4},
    {"CreateLayer", LayersCreate, 4, 5},
    {"ModifyLayerFrames", LayersModifyFrames, 2, 3},
    {"GetLayerAtPos", LayersGetAtPos, 2, 2},
    {"SetLayerShadow", LayersSetShadow, 2, 7},
    {"SetLayerFilter", LayersSetFilter, 2, 2},
    {"SetLayerBorder", LayersSetBorder, 2, 4},
    {"LayerToFront", LayersToFront, 1, 1},
    {"LayerToBack", LayersToBack, 1, 1},
    {"PlayLayer", LayersPlay},
    {"StopLayer", LayersStop},
    {"PauseLayer", LayersPause},
    {"ResumeLayer", LayersResume},
    {"SeekLayer", LayersSeek},
    {"SetLayerVolume", LayersSetVolume},
    {nullptr, nullptr},
};

const qzConstantRow kLayersConstants[] = {
    QZ_NUM("SHDWNORTH", QZ_SHDWNORTH),
    QZ_NUM("SHDWNORTHEAST", QZ_SHDWNORTHEAST),
    QZ_NUM("SHDWEAST", QZ_SHDWEAST),
    QZ_NUM("SHDWSOUTHEAST", QZ_SHDWSOUTHEAST),
    QZ_NUM("SHDWSOUTH", QZ_SHDWSOUTH),
    QZ_NUM("SHDWSOUTHWEST", QZ_SHDWSOUTHWEST),
    QZ_NUM("SHDWWEST", QZ_SHDWWEST),
    QZ_NUM("SHDWNORTHWEST", QZ_SHDWNORTHWEST),
    {nullptr, nullptr, 0},
};

// Collects one command's rectangles; room for 1024, growing when needed.
qzRectList rectList;

int AsyncDrawUsesLayer(const qzLayer* layer) { return IsAsyncDrawBitMap(layer); }

int TellAsyncDraws(int operation, qzLayer* layer) {
    BroadcastAsyncDrawEvent(operation, reinterpret_cast<intptr_t>(layer));
    return 0;
}

void SetGraphicsSeams(bool on) {
    qzLayerSystemHooks hooks = LayerSystemHooks();
    hooks.asyncDrawUsesLayer = on ? AsyncDrawUsesLayer : nullptr;
    hooks.broadcastAsyncDraw = on ? TellAsyncDraws : nullptr;
    hooks.freeUnusedClipRegions = on ? FreeTemporaryClipRegions : nullptr;
    hooks.renderObject = on ? RenderLayerObject : nullptr;
    SetLayerSystemHooks(&hooks);
    SetSelectLayerRasterizer(on ? RasterizeLayer : nullptr);
}

void SetDisplaySeams(bool on) {
    qzDisplayLinks links = DisplayLinks();
    links.rescaleAllLayers = on ? RescaleAllLayersOfPicture : nullptr;
    links.resetLayerDisplayStates = on ? ResetLayerDisplayStatesOfPicture : nullptr;
    SetDisplayLinks(&links);
}

int OpenLayersLibrary(VmState*) {
    if (InitRectList(&rectList, 1024) != 0) return ERR_MEM;
    InstallLayerSystem();
    SetGraphicsSeams(true);
    SetDisplaySeams(true);
    return RegisterMoveLists();
}

void FreeLayersAtExit(VmState*) {
    FreeAllMoveLists();
    FreeRectList(&rectList);
}

void ResetLayersLibrary() {
    SetDisplaySeams(false);
    SetGraphicsSeams(false);
    RemoveLayerSystem();
    FreeAllMoveLists();
    FreeRectList(&rectList);
}

}  // namespace

qzRectList* LayersRectList() { return &rectList; }

void FlushLayersRectList(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (display && display->outputKind == QZ_TYPE_BGPIC) {
        if (rectList.full) {
            MarkRectListFull(&display->rectList);
        } else {
            for (int32_t i = 0; i < rectList.count; i++) {
                const qzCornerRect& r = rectList.rects[i];
                if (!r.deleted)
                    AddRectToList(&display->rectList, r.x1, r.y1, int32_t(int64_t(r.x2) - r.x1 + 1),
                                  int32_t(int64_t(r.y2) - r.y1 + 1));
            }
        }
    } else if (display && display->outputKind == QZ_TYPE_DISPLAY) {
        MergeRectList(&rectList);
        RefreshRectList(state, &rectList);
    }
    ClearRectList(&rectList);
}

qzBGPic* CheckLayerCommand(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    const int error = display ? CheckLayerOutput(display) : ERR_NOLAYERS;
    if (error) VmFailCommand(state, error);
    qzBGPic* pic = CurrentBGPic();
    if (!pic) VmFailCommand(state, ERR_NOLAYERS);
    return pic;
}

qzLayer* CheckLayer(VmState* state, int index, qzBGPic* pic) {
    qzLayer* layer = GetLayerByPosition(pic, CheckLayerArg(state, index, pic));
    if (!layer) VmFailCommand(state, ERR_LAYERRANGE);
    return layer;
}

std::vector<qzLayer*> CheckLayerOrGroup(VmState* state, int index, qzBGPic* pic) {
    std::vector<qzLayer*> layers;
    if (VmType(state, index) == VM_TSTRING) {
        const char* name = VmToString(state, index);
        if (const int32_t position = FindLayerByName(pic, name)) {
            layers.push_back(GetLayerByPosition(pic, position));
            return layers;
        }
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer))
            if (layer->group[0] && CompareNoCase(layer->group, name) == 0) layers.push_back(layer);
        if (layers.empty()) {
            SetErrorArgString(name);
            VmFailCommand(state, ERR_FINDLAYER);
        }
        return layers;
    }
    layers.push_back(CheckLayer(state, index, pic));
    return layers;
}

int MoveLayerInList(qzBGPic* pic, qzLayer* layer, int32_t position) {
    const int32_t count = CountLayers(pic);
    if (position < 1 || position > count) position = count;
    if (GetLayerPosition(pic, layer) == position) return 0;
    RemoveListNode(&layer->node);
    if (position == 1) {
        AddListHead(&pic->layers, &layer->node);
    } else {
        // Without the layer, the one now at position - 1 is to be its predecessor.
        qzLayer* before = GetLayerByPosition(pic, position - 1);
        if (before)
            InsertListNode(&pic->layers, &layer->node, &before->node);
        else
            AddListTail(&pic->layers, &layer->node);
    }
    pic->layersChanged = 1;
    return 1;
}

void SwapLayersInList(qzBGPic* pic, qzLayer* a, qzLayer* b) {
    qzDoubleNode* beforeA = a->node.prev;
    qzDoubleNode* beforeB = b->node.prev;
    if (beforeA == &b->node) {
        RemoveListNode(&a->node);
        InsertListNode(&pic->layers, &a->node, beforeB);
    } else if (beforeB == &a->node) {
        RemoveListNode(&b->node);
        InsertListNode(&pic->layers, &b->node, beforeA);
    } else {
        RemoveListNode(&a->node);
        RemoveListNode(&b->node);
        InsertListNode(&pic->layers, &a->node, beforeB);
        InsertListNode(&pic->layers, &b->node, beforeA);
    }
    pic->layersChanged = 1;
}

const qzLibraryDescriptor qzLayersLibrary = {
    .name = "layers",
    .commands = kLayersCommands,
    .constants = kLayersConstants,
    .open = OpenLayersLibrary,
    .cleanups = {{QZ_STAGE_LAYERS, FreeLayersAtExit}},
    .reset = ResetLayersLibrary,
};
