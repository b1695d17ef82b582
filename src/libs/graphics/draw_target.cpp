#include "libs/graphics/draw_target.h"


qzAxisExtent DrawTargetExtent(bool) { return {0, 0}; }

bool GetDrawTargetSize(int32_t* width, int32_t* height) {
    *width = *height = 0;
    return false;
}

void ForgetDrawTargetClipRegion(const qzClipRegion*) {}

void GetDisplayScaleFactors(double* scaleX, double* scaleY) { *scaleX = *scaleY = 1; }

int CheckOutputIsDisplay(bool) { return 0; }

bool OutputIsPicture() { return false; }

void* CurrentDisplayObject() { return nullptr; }

bool CurrentLayersOn() { return false; }

void MarkLayerDirty(void*) {}
