#include "gfx/blit_display.h"

namespace {

const qzBlitDisplayHooks* displayHooks = nullptr;
qzSpriteTouchFn spriteHook = nullptr;
qzLayerRedrawFn redrawHook = nullptr;

// The fallback record: everything zero but the output kind.
struct FallbackDisplay {
    qzBlitDisplayInfo info;
};
FallbackDisplay* fallback = nullptr;
FallbackDisplay fallbackRecord;
bool fallbackCurrent = false;

}  // namespace

void SetBlitDisplayHooks(const qzBlitDisplayHooks* hooks) { displayHooks = hooks; }
void SetBlitSpriteHook(qzSpriteTouchFn hook) { spriteHook = hook; }
void SetBlitLayerRedrawHook(qzLayerRedrawFn hook) { redrawHook = hook; }
const qzBlitDisplayHooks* GetBlitDisplayHooks() { return displayHooks; }
qzSpriteTouchFn GetBlitSpriteHook() { return spriteHook; }
qzLayerRedrawFn GetBlitLayerRedrawHook() { return redrawHook; }

void* BlitCurrentDisplay() {
    if (fallbackCurrent && fallback) return fallback;
    return displayHooks && displayHooks->currentDisplay ? displayHooks->currentDisplay() : nullptr;
}

bool DescribeBlitDisplay(void* display, qzBlitDisplayInfo* out) {
    *out = qzBlitDisplayInfo();
    if (!display) display = BlitCurrentDisplay();
    if (!display) return false;
    if (fallback && display == fallback) {
        *out = fallback->info;
        return true;
    }
    if (displayHooks && displayHooks->describe) displayHooks->describe(display, out);
    return true;
}

void BlitPresentRect(const qzBitMap* source, int sx, int sy, void* display, int dx, int dy, int width, int height,
                     int scaledWidth, int scaledHeight, uint32_t flags, const qzBitMap* mask, const qzBitMap* alpha) {
    // The fallback record has no window.
    if (!display || (fallback && display == fallback)) return;
    if (displayHooks && displayHooks->presentRect)
        displayHooks->presentRect(source, sx, sy, display, dx, dy, width, height, scaledWidth, scaledHeight, flags,
                                  mask, alpha);
}

int BlitTouchesSprites(int x1, int y1, int x2, int y2) { return spriteHook ? spriteHook(x1, y1, x2, y2) : 0; }

void BlitRedrawLayers(VmState* state, void* display, qzBitMap* dst, int x, int y, int width, int height, int pass) {
    if (redrawHook && display && !(fallback && display == fallback))
        redrawHook(state, display, dst, x, y, width, height, pass);
}

void SetBlitFallbackDisplay(bool exists) {
    if (exists) {
        fallbackRecord = FallbackDisplay();
        fallbackRecord.info.outputKind = OUTPUT_BRUSH;
        fallback = &fallbackRecord;
    } else {
        fallback = nullptr;
        fallbackCurrent = false;
    }
}

bool BlitFallbackDisplayExists() { return fallback != nullptr; }

void* BlitFallbackDisplay() { return fallback; }

void SetBlitFallbackCurrent(bool current) { fallbackCurrent = current && fallback; }
