#include "display/display_links.h"

#include "display/display.h"
#include "display/display_present.h"
#include "gfx/bitmap.h"

namespace {

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
int NoAsyncDraw(const qzDisplay*) { return 0; }
void NoStateWork(VmState*) {}
void NoEventSources(qzDisplay*) {}

const qzDisplayLinks kDefaults = {
    .detachPictureFromLayers = NothingToDo,
    .rescaleAllLayers = NothingToDo,
    .resetLayerDisplayStates = NothingFor,
    .enableDisplayLayers = EnableLayersFlag,
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
    .endSelectOutput = NoDisplayWork,
    .asyncDrawOnDisplay = NoAsyncDraw,
    .freeAllAsyncDraws = NoStateWork,
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
    Take(&links.detachPictureFromLayers, given->detachPictureFromLayers, d.detachPictureFromLayers);
    Take(&links.rescaleAllLayers, given->rescaleAllLayers, d.rescaleAllLayers);
    Take(&links.resetLayerDisplayStates, given->resetLayerDisplayStates, d.resetLayerDisplayStates);
    Take(&links.enableDisplayLayers, given->enableDisplayLayers, d.enableDisplayLayers);
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
    Take(&links.endSelectOutput, given->endSelectOutput, d.endSelectOutput);
    Take(&links.asyncDrawOnDisplay, given->asyncDrawOnDisplay, d.asyncDrawOnDisplay);
    Take(&links.freeAllAsyncDraws, given->freeAllAsyncDraws, d.freeAllAsyncDraws);
    Take(&links.forgetDisplay, given->forgetDisplay, d.forgetDisplay);
}

const qzDisplayLinks& DisplayLinks() { return links; }
