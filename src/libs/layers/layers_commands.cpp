// The layer commands that work on the list: switching layers on and off, inserting, removing,
// reordering, naming, showing and hiding, moving, selecting a layer for drawing, shadows and
// borders, queries and the dump.
#include <algorithm>
#include <cmath>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_links.h"
#include "display/display_pixels.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_redraw.h"
#include "display/layer_refresh.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "gfx/position.h"
#include "image/output_select.h"
#include "libs/layers/layers_lib.h"
#include "libs/video/video.h"
#include "platform/os_console.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kMaxRemovedLayers = 256;

void RefreshBox(VmState* state, const qzLayerBox& box) {
    AddRectToList(LayersRectList(), box.x, box.y, box.width, box.height);
    FlushLayersRectList(state);
}

// Shows or hides the layers a layer argument addresses; ShowLayer may move them first.
int SetLayerVisibility(VmState* state, bool show) {
    VmCheckArgCount(state, 1, show ? 3 : 1, 0, 0);
    qzBGPic* pic = CheckLayerCommand(state);
    const std::vector<qzLayer*> layers = CheckLayerOrGroup(state, 1, pic);
    const bool move = show && VmGetTop(state) >= 3;
    int32_t x = 0, y = 0;
    if (move) {
        x = VmCheckInteger(state, 2);
        y = VmCheckInteger(state, 3);
    }
    qzRectList* list = LayersRectList();
    if (move && layers.size() > 1) {
        // The group's bounding box moves to x, y; each member keeps its offset in it.
        int64_t left = INT32_MAX, top = INT32_MAX;
        for (const qzLayer* layer : layers) {
            left = std::min<int64_t>(left, layer->base->untransformedLeft);
            top = std::min<int64_t>(top, layer->base->untransformedTop);
        }
        const int32_t dx = int32_t(x - left), dy = int32_t(y - top);
        for (qzLayer* layer : layers)
            RefreshLayerChange(state, layer, 0, 0, dx, dy, 0, QZ_MOVE_RELATIVEX | QZ_MOVE_RELATIVEY, list);
    } else if (move) {
        qzLayer* layer = layers[0];
        const qzLayerState* st = layer->transformed;
        x = ResolveXPosition(x, st->width, pic->width, layer->anchorx);
        y = ResolveYPosition(y, st->height, pic->height, layer->anchory);
        RefreshLayerChange(state, layer, 0, 0, x, y, 0, 0, list);
    }
    for (qzLayer* layer : layers) {
        layer->hidden = show ? 0 : 1;
        AddLayerToDirtyRegion(state, list, layer);
    }
    pic->layersChanged = 1;
    FlushLayersRectList(state);
    return 0;
}

// Exchanges two layers and refreshes the union of their bounds.
void SwapAndRefresh(VmState* state, qzBGPic* pic, qzLayer* a, qzLayer* b) {
    const qzLayerBox box = UniteLayerBoxes(GetLayerBounds(state, a, a->display), GetLayerBounds(state, b, b->display));
    SwapLayersInList(pic, a, b);
    RefreshBox(state, box);
}

enum VideoLayerAction { kPlayLayer, kStopLayer, kPauseLayer, kResumeLayer, kSeekLayer, kLayerVolume };

// The video commands: VIDEO layers only, applets of 6.0 and later; they work while drawing into a
// brush, so only the mask, alpha-channel and layers checks apply. Each acts on the video that the
// layer shows.
int VideoLayerCommand(VmState* state, VideoLayerAction action) {
    const bool withValue = action == kSeekLayer || action == kLayerVolume;
    VmCheckArgCount(state, withValue ? 2 : 1, withValue ? 2 : 1, 6, 0);
    const qzDisplay* display = CurrentDisplay();
    if (!display || !display->layersEnabled) return ERR_NOLAYERS;
    if (display->outputKind == QZ_TYPE_MASK) return ERR_SELECTMASK;
    if (display->outputKind == QZ_TYPE_ALPHACHANNEL) return ERR_SELECTALPHACHANNEL;
    qzBGPic* pic = CurrentBGPic();
    if (!pic) return ERR_NOLAYERS;
    qzLayer* layer = CheckLayer(state, 1, pic);
    const double value = withValue ? VmCheckNumber(state, 2) : 0;
    if (layer->type != QZ_LAYER_VIDEO) return ERR_BADLAYERTYPE;
    switch (action) {
    case kPlayLayer: return PlayVideoObject(state, nullptr, layer, 0, 0, true, 0);
    case kStopLayer: return StopVideoObject(state, nullptr, 0, 0, layer);
    case kPauseLayer: return PauseVideoObject(layer);
    case kResumeLayer: return ResumeVideoObject(layer);
    case kSeekLayer: return SeekVideoObject(state, layer, value);
    case kLayerVolume: return SetVideoObjectVolume(layer, value);
    }
    return 0;
}

}  // namespace

int LayersUndo(VmState* state) {
    CheckLayerCommand(state);
    const int32_t type = VmCheckInteger(state, 1);
    qzObjectId id = {0, nullptr};
    if (VmGetTop(state) >= 2) GetObjectIdArg(&id, state, 2);
    const int32_t level = VmOptInteger(state, 3, 1);
    const int32_t quiet = VmOptInteger(state, 4, 0);
    return RemoveLayerOfObject(state, type, id, level, quiet);
}

int LayersEnable(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_NOLAYERS;
    if (display->layersEnabled) return 0;
    const qzDisplayLinks& links = DisplayLinks();
    if (links.asyncDrawOnDisplay(display)) return ERR_LAYERSWITCH;
    if (display->doubleBuffer) return ERR_ENDDOUBLEBUFFER;
    if (display->outputKind != QZ_TYPE_DISPLAY) return ERR_LAYERSON;
    if (display->bgpic && links.pictureHasOnScreenSprites(display->bgpic)) return ERR_NOSPRITES;
    return EnableDisplayLayers(state, display);
}

int LayersDisable(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_NOLAYERS;
    if (DisplayLinks().asyncDrawOnDisplay(display)) return ERR_LAYERSWITCH;
    if (display->outputKind != QZ_TYPE_DISPLAY) return ERR_LAYERSON;
    if (display->layerScale) return ERR_NODISLAYERS;
    if (qzBGPic* pic = CurrentBGPic()) {
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
            if (layer->type != QZ_LAYER_VIDEO) continue;
            if (const auto stop = LayerKindOps(layer->type).stopVideo) stop(state, layer);
        }
    }
    display->layersEnabled = 0;
    return 0;
}

int LayersSwap(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* a = CheckLayer(state, 1, pic);
    qzLayer* b = CheckLayer(state, 2, pic);
    if (a == b) return ERR_WRONGUSAGE;
    SwapAndRefresh(state, pic, a, b);
    return 0;
}

int LayersToFront(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = CheckLayer(state, 1, pic);
    qzLayer* top = LastLayer(pic);
    if (layer != top) SwapAndRefresh(state, pic, layer, top);
    return 0;
}

int LayersToBack(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = CheckLayer(state, 1, pic);
    qzLayer* bottom = FirstLayer(pic);
    if (layer != bottom) SwapAndRefresh(state, pic, layer, bottom);
    return 0;
}

int LayersInsert(VmState* state) {
    CheckLayerCommand(state);
    const int32_t position = VmCheckInteger(state, 1);
    const int32_t type = VmCheckInteger(state, 2);
    const qzObjectId id = CheckObjectIdArg(state, 3);
    const int32_t x = VmCheckInteger(state, 4);
    const int32_t y = VmCheckInteger(state, 5);
    const int32_t hidden = VmOptInteger(state, 6, 0);
    return InsertLayerForObject(state, position, type, id, x, y, 0, hidden, nullptr);
}

int LayersShow(VmState* state) { return SetLayerVisibility(state, true); }
int LayersHide(VmState* state) { return SetLayerVisibility(state, false); }

int LayersRemove(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    const std::vector<qzLayer*> layers = CheckLayerOrGroup(state, 1, pic);
    if (layers.size() > size_t(kMaxRemovedLayers)) return ERR_INTERNAL;
    for (const qzLayer* layer : layers)
        if (LayerUsedByAsyncDraw(layer)) return ERR_REMADLAYER;
    qzRectList* list = LayersRectList();
    for (qzLayer* layer : layers) DeleteLayerRecord(state, pic, layer, 0, nullptr, list, 1);
    pic->layersChanged = 1;
    FlushLayersRectList(state);
    return 0;
}

int LayersFree(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    const int32_t keep = VmOptInteger(state, 1, 0);
    for (const qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer))
        if (LayerUsedByAsyncDraw(layer)) return ERR_REMADLAYER;
    qzDisplay* display = CurrentDisplay();
    const bool displayed = display->bgpic == pic;
    const bool selected = display->outputKind == QZ_TYPE_BGPIC && displayed;
    if (keep && !(display->outputKind == QZ_TYPE_DISPLAY || selected)) return ERR_WRONGUSAGE;
    if (keep && displayed && display->secondBuffer && display->displayBuffer) {
        // The scene becomes the background: the layers' pixels stay where they are.
        RedrawLayersRect(state, display, pic, display->secondBuffer, 0, 0, pic->width, pic->height, 0);
        CopyBitmapRect(display->secondBuffer, 0, 0, display->displayBuffer, 0, 0, pic->width, pic->height);
    }
    FreeBGPicLayers(state, pic, 1, 1);
    if (!keep) {
        if (selected)
            MarkRectListFull(&display->rectList);
        else if (display->outputKind == QZ_TYPE_DISPLAY)
            RefreshDisplayRect(state, 0, 0, pic->width, pic->height);
    }
    return 0;
}

int LayersSetName(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = nullptr;
    if (VmType(state, 1) == VM_TNUMBER && VmCheckInteger(state, 1) <= 0) {
        layer = LastLayer(pic);
        if (!layer) return ERR_LAYERRANGE;
    } else {
        layer = CheckLayer(state, 1, pic);
    }
    return SetLayerNameChecked(pic, layer, VmCheckString(state, 2));
}

int LayersDump(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    const int32_t which = VmOptInteger(state, 1, 0);
    PrintConsole("LAYER SYSTEM INFO - BGPIC: %d (%p)\nsizeof(qzLayer): %d\nLayers: %d\n", pic->header.id.number,
                 static_cast<void*>(pic), int(sizeof(qzLayer)), CountLayers(pic));
    int32_t position = 1;
    for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer), position++) {
        const qzLayerState* st = which == 1 ? layer->transformed : which == 2 ? layer->display : layer->base;
        PrintConsole(
            "(%d) %s #%d (%p / \"%s\") - X: %d (%d) - Y: %d (%d) - Width: %d (%d) - Height: %d (%d) - "
            "Visible: %d\n",
            position, LayerTypeName(layer->type), layer->id.number, layer->id.pointer, layer->name ? layer->name : "",
            st->x, st->left, st->y, st->top, st->sourceWidth, st->width, st->sourceHeight, st->height,
            layer->hidden ? 0 : 1);
    }
    return 0;
}

int LayersExists(VmState* state) {
    const char* name = VmCheckString(state, 1);
    VmPushNumber(state, FindLayerByNameInCurrentBGPic(name) ? 1 : 0);
    return 1;
}

int LayersSetZPos(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = CheckLayer(state, 1, pic);
    int32_t position = VmCheckInteger(state, 2);
    if (position < 0) return ERR_WRONGUSAGE;
    const int32_t count = CountLayers(pic);
    if (position == 0 || position > count) position = count;
    if (!MoveLayerInList(pic, layer, position)) return ERR_WRONGUSAGE;
    UpdateLayerOnDisplay(state, layer, 0);
    return 0;
}

int LayersTranslate(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = CheckLayer(state, 1, pic);
    const int32_t dx = VmCheckInteger(state, 2), dy = VmCheckInteger(state, 3);
    RefreshLayerChange(state, layer, 0, 0, dx, dy, layer->hidden, QZ_MOVE_RELATIVEX | QZ_MOVE_RELATIVEY, nullptr);
    return 0;
}

int LayersSelect(VmState* state) {
    CheckLayerCommand(state);
    // The selection takes its layer from the picture the display shows.
    qzBGPic* pic = CurrentDisplay()->bgpic;
    if (!pic) return ERR_NOLAYERS;
    qzLayer* layer = CheckLayer(state, 1, pic);
    const int32_t frame = VmOptInteger(state, 2, 0);
    const int32_t mode = VmOptInteger(state, 3, 0);
    const int32_t extra = VmOptInteger(state, 4, 0);
    // The selection gives the layer content of pixels first (RasterizeLayer, installed with the library).
    return SelectOutputObject(state, QZ_SELECT_LAYER, {GetLayerPosition(pic, layer), nullptr}, QZ_OUTPUT_BITMAP, frame,
                              mode, extra);
}

int LayersGetAtPos(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    double x = VmCheckNumber(state, 1), y = VmCheckNumber(state, 2);
    const qzDisplay* display = CurrentDisplay();
    if (display->layerScale && display->scaledWidth && display->scaledHeight) {
        x *= display->scaleX;
        y *= display->scaleY;
    }
    const int64_t px = int64_t(std::floor(x)), py = int64_t(std::floor(y));
    int32_t position = CountLayers(pic);
    for (qzLayer* layer = LastLayer(pic); layer; layer = PreviousLayer(layer), position--) {
        const qzLayerState* st = layer->display;
        if (px >= st->left && px < int64_t(st->left) + st->width && py >= st->top &&
            py < int64_t(st->top) + st->height) {
            VmPushNumber(state, position);
            VmPushString(state, layer->name ? layer->name : "");
            return 2;
        }
    }
    VmPushNumber(state, 0);
    VmPushString(state, "");
    return 2;
}

int LayersSetShadow(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = CheckLayer(state, 1, pic);
    const int32_t on = VmCheckInteger(state, 2) ? 1 : 0;
    const uint32_t color = uint32_t(int64_t(VmOptNumber(state, 3, double(0x80000000u))));
    const double radius = VmOptNumber(state, 4, 5);
    const int32_t size = VmOptInteger(state, 5, 4);
    const int32_t direction = VmOptInteger(state, 6, QZ_SHDWSOUTHEAST);
    const double sigma = VmOptNumber(state, 7, radius / 3);
    if (size < 0 || !(radius >= 1) || !(sigma > 0)) return ERR_WRONGUSAGE;
    if (!on && !layer->shadow.shadow) return 0;
    const qzLayerBox before = GetLayerBounds(state, layer, layer->display);
    layer->shadow = {on, color, size, direction, radius, sigma};
    FreeLayerStateAlpha(layer);
    RefreshBox(state, UniteLayerBoxes(before, GetLayerBounds(state, layer, layer->display)));
    return 0;
}

int LayersSetBorder(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    qzLayer* layer = CheckLayer(state, 1, pic);
    const int32_t on = VmCheckInteger(state, 2) ? 1 : 0;
    const uint32_t color = uint32_t(int64_t(VmOptNumber(state, 3, 0)));
    const int32_t size = VmOptInteger(state, 4, 2);
    if (size < 1) return ERR_WRONGUSAGE;
    if (!on && !layer->border.border) return 0;
    const qzLayerBox before = GetLayerBounds(state, layer, layer->display);
    layer->border = {on, color, size};
    FreeLayerBorders(layer);
    RefreshBox(state, UniteLayerBoxes(before, GetLayerBounds(state, layer, layer->display)));
    return 0;
}

int LayersPlay(VmState* state) { return VideoLayerCommand(state, kPlayLayer); }
int LayersStop(VmState* state) { return VideoLayerCommand(state, kStopLayer); }
int LayersPause(VmState* state) { return VideoLayerCommand(state, kPauseLayer); }
int LayersResume(VmState* state) { return VideoLayerCommand(state, kResumeLayer); }
int LayersSeek(VmState* state) { return VideoLayerCommand(state, kSeekLayer); }
int LayersSetVolume(VmState* state) { return VideoLayerCommand(state, kLayerVolume); }
