#include "display/display_links.h"

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/display_present.h"
#include "gfx/bitmap.h"

namespace {

// Without layers the picture is what its display's back buffer holds (what was drawn into it
// included), else its own pixels.
int RedrawPictureOnly(VmState*, qzDisplay* display, qzBGPic* pic, qzBitMap* target, int32_t x, int32_t y, int32_t width,
                      int32_t height, int) {
    if (!pic) return 0;
    const qzBitMap* from =
        display && display->bgpic == pic && display->displayBuffer ? display->displayBuffer : pic->bitmap;
    if (from && from != target) CopyBitmapRect(from, x, y, target, x, y, width, height);
    return 0;
}
int NoPicture(const qzBGPic*) { return 0; }
int NothingToDo(VmState*, qzBGPic*) { return 0; }
void NothingFor(VmState*, qzBGPic*) {}
int EnableLayersFlag(VmState*, qzDisplay* display) {
    display->layersEnabled = 1;
    return 0;
}
void NoButtons(qzBGPic*) {}
int NoVideo(const qzDisplay*, int) { return 0; }
void NoVideoWork(VmState*, qzDisplay*) {}
void NoVideoRescale(VmState*, qzDisplay*, int) {}
qzBitMap* NoVideoMask(qzBitMap*, qzDisplay*) { return nullptr; }
// The frame belongs to the link: without video layers it is freed.
int DropVideoFrame(VmState*, qzDisplay*, qzPendingRepaint* frame) {
    DeleteBitMap(frame->frame);
    frame->frame = nullptr;
    return 0;
}
int NoDisplayWork(VmState*, qzDisplay*) { return 0; }
void NoDisplayCleanup(VmState*, qzDisplay*) {}
int NoObjects(VmState*) { return 0; }
int NoFlip(VmState*, qzDisplay*, uint32_t) { return 0; }
int NoDoubleBufferBitmap(VmState*, qzDisplay*, int32_t, int32_t) { return 0; }
int NoAsyncDraw(const qzDisplay*) { return 0; }
void NoStateWork(VmState*) {}
int NoMenu(VmState*, const qzObjectId& id, void** menu) {
    *menu = nullptr;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDMENU;
}
int NoSystemRequester(VmState*, qzDisplay*, const char*, const char*, const char*, int*) { return ERR_USERABORT; }
int NoListRequester(VmState*, qzDisplay*, const char*, const char*, const std::vector<std::string>&, int, int*) {
    return ERR_USERABORT;
}
void NoEventSources(qzDisplay*) {}

const qzDisplayLinks kDefaults = {
    .redrawLayers = RedrawPictureOnly,
    .pictureHasLayers = NoPicture,
    .layersShowPicture = NoPicture,
    .detachPictureFromLayers = NothingToDo,
    .rescaleAllLayers = NothingToDo,
    .resetLayerDisplayStates = NothingFor,
    .enableDisplayLayers = EnableLayersFlag,
    .freePictureLayers = NothingFor,
    .pictureHasOnScreenSprites = NoPicture,
    .freeOnScreenSprites = NothingFor,
    .freePictureButtons = NothingFor,
    .resetButtonStates = NoButtons,
    .videoOnDisplay = NoVideo,
    .stopVideosOnDisplay = NoVideoWork,
    .rescaleVideosOnDisplay = NoVideoRescale,
    .videoMaskForDisplay = NoVideoMask,
    .redrawVideosOnDisplay = NoVideoWork,
    .showVideoLayerFrame = DropVideoFrame,
    .saveHardwareBrushes = NoDisplayWork,
    .restoreHardwareBrushes = NoDisplayWork,
    .freeHardwareBrushes = NoDisplayCleanup,
    .prepareObjects = NoObjects,
    .recreateBrushBitmaps = NoObjects,
    .endDoubleBuffer = NoDisplayWork,
    .endSelectOutput = NoDisplayWork,
    .flipDoubleBuffer = NoFlip,
    .allocDoubleBufferBitmap = NoDoubleBufferBitmap,
    .asyncDrawOnDisplay = NoAsyncDraw,
    .freeAllAsyncDraws = NoStateWork,
    .findMenu = NoMenu,
    .freeAllMenus = NoStateWork,
    .systemRequester = NoSystemRequester,
    .listRequester = NoListRequester,
    .forgetDisplay = NoEventSources,
};

qzDisplayLinks links = kDefaults;

template <typename T>
void Take(T* member, T given, T fallback) {
    *member = given ? given : fallback;
}

}  // namespace

void SetDisplayLinks(const qzDisplayLinks* given) {
    if (!given) {
        links = kDefaults;
        return;
    }
    const qzDisplayLinks& d = kDefaults;
    Take(&links.redrawLayers, given->redrawLayers, d.redrawLayers);
    Take(&links.pictureHasLayers, given->pictureHasLayers, d.pictureHasLayers);
    Take(&links.layersShowPicture, given->layersShowPicture, d.layersShowPicture);
    Take(&links.detachPictureFromLayers, given->detachPictureFromLayers, d.detachPictureFromLayers);
    Take(&links.rescaleAllLayers, given->rescaleAllLayers, d.rescaleAllLayers);
    Take(&links.resetLayerDisplayStates, given->resetLayerDisplayStates, d.resetLayerDisplayStates);
    Take(&links.enableDisplayLayers, given->enableDisplayLayers, d.enableDisplayLayers);
    Take(&links.freePictureLayers, given->freePictureLayers, d.freePictureLayers);
    Take(&links.pictureHasOnScreenSprites, given->pictureHasOnScreenSprites, d.pictureHasOnScreenSprites);
    Take(&links.freeOnScreenSprites, given->freeOnScreenSprites, d.freeOnScreenSprites);
    Take(&links.freePictureButtons, given->freePictureButtons, d.freePictureButtons);
    Take(&links.resetButtonStates, given->resetButtonStates, d.resetButtonStates);
    Take(&links.videoOnDisplay, given->videoOnDisplay, d.videoOnDisplay);
    Take(&links.stopVideosOnDisplay, given->stopVideosOnDisplay, d.stopVideosOnDisplay);
    Take(&links.rescaleVideosOnDisplay, given->rescaleVideosOnDisplay, d.rescaleVideosOnDisplay);
    Take(&links.videoMaskForDisplay, given->videoMaskForDisplay, d.videoMaskForDisplay);
    Take(&links.redrawVideosOnDisplay, given->redrawVideosOnDisplay, d.redrawVideosOnDisplay);
    Take(&links.showVideoLayerFrame, given->showVideoLayerFrame, d.showVideoLayerFrame);
    Take(&links.saveHardwareBrushes, given->saveHardwareBrushes, d.saveHardwareBrushes);
    Take(&links.restoreHardwareBrushes, given->restoreHardwareBrushes, d.restoreHardwareBrushes);
    Take(&links.freeHardwareBrushes, given->freeHardwareBrushes, d.freeHardwareBrushes);
    Take(&links.prepareObjects, given->prepareObjects, d.prepareObjects);
    Take(&links.recreateBrushBitmaps, given->recreateBrushBitmaps, d.recreateBrushBitmaps);
    Take(&links.endDoubleBuffer, given->endDoubleBuffer, d.endDoubleBuffer);
    Take(&links.endSelectOutput, given->endSelectOutput, d.endSelectOutput);
    Take(&links.flipDoubleBuffer, given->flipDoubleBuffer, d.flipDoubleBuffer);
    Take(&links.allocDoubleBufferBitmap, given->allocDoubleBufferBitmap, d.allocDoubleBufferBitmap);
    Take(&links.asyncDrawOnDisplay, given->asyncDrawOnDisplay, d.asyncDrawOnDisplay);
    Take(&links.freeAllAsyncDraws, given->freeAllAsyncDraws, d.freeAllAsyncDraws);
    Take(&links.findMenu, given->findMenu, d.findMenu);
    Take(&links.freeAllMenus, given->freeAllMenus, d.freeAllMenus);
    Take(&links.systemRequester, given->systemRequester, d.systemRequester);
    Take(&links.listRequester, given->listRequester, d.listRequester);
    Take(&links.forgetDisplay, given->forgetDisplay, d.forgetDisplay);
}

const qzDisplayLinks& DisplayLinks() { return links; }
