#include "display/layer_system.h"

#include "display/display.h"
#include "display/display_pixels.h"
#include "display/layer.h"
#include "display/layer_buttons.h"
#include "display/layer_hooks.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_redraw.h"
#include "display/layer_refresh.h"
#include "display/picture.h"

namespace {

bool installed = false;

}  // namespace

void InstallLayerSystem() {
    EnableLayerButtons(true);
    installed = true;
}

void RemoveLayerSystem() {
    installed = false;
    EnableLayerButtons(false);
}

int RedrawPictureLayers(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap* target, int32_t x, int32_t y,
                        int32_t width, int32_t height, int flags) {
    if (installed) {
        RedrawLayersRect(state, display, pic, target, x, y, width, height, flags);
        return 0;
    }
    if (!pic) return 0;
    // Without layers the picture is what its display's back buffer holds (what was drawn into it
    // included), else its own pixels.
    const qzBitMap* from =
        display && display->bgpic == pic && display->displayBuffer ? display->displayBuffer : pic->bitmap;
    if (from && from != target) CopyBitmapRect(from, x, y, target, x, y, width, height);
    return 0;
}

int PictureHasLayers(const qzBGPic* pic) { return installed && pic && FirstLayer(pic) ? 1 : 0; }

int LayersShowPicture(const qzBGPic* pic) {
    return installed && pic && FindLayerUsingObject(QZ_LAYER_BGPICPART, pic->header.id, nullptr, nullptr, nullptr);
}

// The picture goes: its layers go without refresh. Pictures that its layers showed are purged by
// the picture code itself, which is walking its list now.
void FreePictureLayers(VmState* state, qzBGPic* pic) {
    if (!installed) return;
    FreeBGPicLayers(state, pic, 0, 0);
    PurgePendingObjects(state, QZ_PURGE_ALL & ~uint32_t(QZ_PURGE_BGPICS));
}

int ClipRegionInUseByLayers(const qzClipRegion* region) { return installed ? ClipRegionUsedByLayers(region) : 0; }

void ForgetClipRegionInLayers(qzClipRegion* region) {
    if (installed) ForgetClipRegionInAllLayers(region);
}

int32_t CountLayersOnScreen() {
    const qzBGPic* pic = installed ? CurrentBGPic() : nullptr;
    return pic ? CountLayers(pic) : 0;
}

// Every list's end node counts as one.
int32_t CountAllLayers() {
    if (!installed) return 0;
    int32_t count = CountLayersOfAllPictures();
    for (qzBGPic* pic = FirstBGPic(); pic; pic = reinterpret_cast<qzBGPic*>(pic->header.next)) count++;
    return count;
}

// No sprite is drawn on a display.
int32_t CountOnScreenSprites() {
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    return hooks.countSprites ? hooks.countSprites(CurrentBGPic()) : 0;
}

// The layer's bounds are refreshed by the rule of the output: at once on the display, after
// EndSelect while the picture is selected.
void MarkLayerForRefresh(VmState* state, void* drawn) {
    qzLayer* layer = static_cast<qzLayer*>(drawn);
    if (!installed || !layer || !layer->display) return;
    const qzLayerBox box = GetLayerBounds(state, layer, layer->display);
    RefreshArea(state, box.x, box.y, box.width, box.height);
}

int EnableDisplayLayers(VmState*, qzDisplay* display) {
    display->layersEnabled = 1;
    return 0;
}
