#include "display/display_links.h"

#include "display/display.h"
#include "display/display_present.h"
#include "gfx/bitmap.h"

namespace {

int NoPicture(const qzBGPic*) { return 0; }
int NothingToDo(VmState*, qzBGPic*) { return 0; }
void NothingFor(VmState*, qzBGPic*) {}
void NoButtons(qzBGPic*) {}
int NoDisplayWork(VmState*, qzDisplay*) { return 0; }
void NoDisplayCleanup(VmState*, qzDisplay*) {}
int NoObjects(VmState*) { return 0; }
int NoAsyncDraw(const qzDisplay*) { return 0; }
void NoStateWork(VmState*) {}
void NoEventSources(qzDisplay*) {}
void NoVideos(qzDisplay*) {}
qzBitMap* NoVideoMask(qzDisplay*) { return nullptr; }
int NoVideoActive(const qzDisplay*, int, int) { return 0; }
int NoVideoAt(const qzDisplay*, int32_t, int32_t) { return 0; }
void NoVideosToRescale(VmState*, qzDisplay*, uint32_t) {}

const qzDisplayLinks kDefaults = {
    .detachPictureFromLayers = NothingToDo,
    .rescaleAllLayers = NothingToDo,
    .resetLayerDisplayStates = NothingFor,
    .pictureHasOnScreenSprites = NoPicture,
    .freeOnScreenSprites = NothingFor,
    .recreateSpriteFrames = NoObjects,
    .freePictureButtons = NothingFor,
    .resetButtonStates = NoButtons,
    .saveHardwareBrushes = NoDisplayWork,
    .restoreHardwareBrushes = NoDisplayWork,
    .freeHardwareBrushes = NoDisplayCleanup,
    .recreateBrushBitmaps = NoObjects,
    .endSelectOutput = NoDisplayWork,
    .asyncDrawOnDisplay = NoAsyncDraw,
    .freeAllAsyncDraws = NoStateWork,
    .forgetDisplay = NoEventSources,
    .stopVideosOnDisplay = NoDisplayCleanup,
    .redrawVideosOnDisplay = NoVideos,
    .suspendVideosOfDisplay = NoVideos,
    .resumeVideosOfDisplay = NoVideos,
    .getVideosMaskForDisplay = NoVideoMask,
    .isVideoActiveOnDisplay = NoVideoActive,
    .isPointInPlayingVideo = NoVideoAt,
    .rescaleVideosOnDisplay = NoVideosToRescale,
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
    Take(&links.pictureHasOnScreenSprites, given->pictureHasOnScreenSprites, d.pictureHasOnScreenSprites);
    Take(&links.freeOnScreenSprites, given->freeOnScreenSprites, d.freeOnScreenSprites);
    Take(&links.recreateSpriteFrames, given->recreateSpriteFrames, d.recreateSpriteFrames);
    Take(&links.freePictureButtons, given->freePictureButtons, d.freePictureButtons);
    Take(&links.resetButtonStates, given->resetButtonStates, d.resetButtonStates);
    Take(&links.saveHardwareBrushes, given->saveHardwareBrushes, d.saveHardwareBrushes);
    Take(&links.restoreHardwareBrushes, given->restoreHardwareBrushes, d.restoreHardwareBrushes);
    Take(&links.freeHardwareBrushes, given->freeHardwareBrushes, d.freeHardwareBrushes);
    Take(&links.recreateBrushBitmaps, given->recreateBrushBitmaps, d.recreateBrushBitmaps);
    Take(&links.endSelectOutput, given->endSelectOutput, d.endSelectOutput);
    Take(&links.asyncDrawOnDisplay, given->asyncDrawOnDisplay, d.asyncDrawOnDisplay);
    Take(&links.freeAllAsyncDraws, given->freeAllAsyncDraws, d.freeAllAsyncDraws);
    Take(&links.forgetDisplay, given->forgetDisplay, d.forgetDisplay);
    Take(&links.stopVideosOnDisplay, given->stopVideosOnDisplay, d.stopVideosOnDisplay);
    Take(&links.redrawVideosOnDisplay, given->redrawVideosOnDisplay, d.redrawVideosOnDisplay);
    Take(&links.suspendVideosOfDisplay, given->suspendVideosOfDisplay, d.suspendVideosOfDisplay);
    Take(&links.resumeVideosOfDisplay, given->resumeVideosOfDisplay, d.resumeVideosOfDisplay);
    Take(&links.getVideosMaskForDisplay, given->getVideosMaskForDisplay, d.getVideosMaskForDisplay);
    Take(&links.isVideoActiveOnDisplay, given->isVideoActiveOnDisplay, d.isVideoActiveOnDisplay);
    Take(&links.isPointInPlayingVideo, given->isPointInPlayingVideo, d.isPointInPlayingVideo);
    Take(&links.rescaleVideosOnDisplay, given->rescaleVideosOnDisplay, d.rescaleVideosOnDisplay);
}

const qzDisplayLinks& DisplayLinks() { return links; }
