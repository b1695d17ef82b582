#include "fx/effect_types.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "fx/effect_picture.h"
#include "fx/fx_bars.h"
#include "fx/fx_clock.h"
#include "fx/fx_crossfade.h"
#include "fx/fx_crush.h"
#include "fx/fx_curtains.h"
#include "fx/fx_dissolve.h"
#include "fx/fx_fade.h"
#include "fx/fx_flipcoin.h"
#include "fx/fx_flow.h"
#include "fx/fx_gates.h"
#include "fx/fx_pixelzoom.h"
#include "fx/fx_push.h"
#include "fx/fx_puzzle.h"
#include "fx/fx_rects.h"
#include "fx/fx_roll.h"
#include "fx/fx_spiral.h"
#include "fx/fx_star.h"
#include "fx/fx_strangepush.h"
#include "fx/fx_stretch.h"
#include "fx/fx_stripes.h"
#include "fx/fx_strudel.h"
#include "fx/fx_sun.h"
#include "fx/fx_swiss.h"
#include "fx/fx_turndown.h"
#include "fx/fx_water.h"
#include "fx/fx_zoominout.h"
#include "vm/vm_aux.h"

namespace {

// One row per family: the types it draws, its step routine and its state-freeing routine.
struct EffectFamilyRow {
    int first, last;
    qzEffectStepFn step;
    qzEffectFreeFn freeState;
};

// The scroll family moves the picture through the object mover of the command library, which
// installs its routines (SetScrollEffectRoutines); until then the type is refused.
qzEffectStepFn scrollStep = nullptr;
qzEffectFreeFn scrollFree = nullptr;
int ScrollStep(qzEffectContext* c, int32_t* done) { return scrollStep ? scrollStep(c, done) : ERR_WRONGUSAGE; }
void ScrollFree(qzEffectContext* c, int32_t completed) {
    if (scrollFree) scrollFree(c, completed);
}

const EffectFamilyRow kFamilies[] = {
    {0, 6, StepHStripesEffect, nullptr},                            // horizontal stripes
    {7, 13, StepVStripesEffect, nullptr},                           // vertical stripes
    {14, 18, StepHBlindsEffect, nullptr},                           // horizontal blinds
    {19, 23, StepVBlindsEffect, nullptr},                           // vertical blinds
    {24, 24, StepVOpenCurtainEffect, nullptr},                      // vertical opening curtain
    {25, 25, StepVCloseCurtainEffect, nullptr},                     // vertical closing curtain
    {26, 26, StepHOpenCurtainEffect, nullptr},                      // horizontal opening curtain
    {27, 27, StepHCloseCurtainEffect, nullptr},                     // horizontal closing curtain
    {28, 28, StepBarsEffect, nullptr},                              // bars
    {29, 29, StepQuartersEffect, nullptr},                          // quarters
    {30, 30, StepRevealLeftEffect, nullptr},                        // reveal from the left
    {31, 31, StepRevealRightEffect, nullptr},                       // reveal from the right
    {32, 32, StepRevealTopEffect, nullptr},                         // reveal from the top
    {33, 33, StepRevealBottomEffect, nullptr},                      // reveal from the bottom
    {34, 34, StepVLines2Effect, nullptr},                           // vertical double lines
    {35, 35, StepHLines2Effect, nullptr},                           // horizontal double lines
    {36, 36, StepHLinesEffect, nullptr},                            // horizontal lines
    {37, 37, StepVLinesEffect, nullptr},                            // vertical lines
    {38, 46, StepGrowRectEffect, nullptr},                          // growing rectangle
    {47, 54, ScrollStep, ScrollFree},                               // scroll
    {55, 69, StretchEffectStep, nullptr},                           // stretch and zoom
    {70, 70, FlowTopEffectStep, FreeFlowEffect},                    // flow from the top
    {71, 71, FlowBottomEffectStep, FreeFlowEffect},                 // flow from the bottom
    {72, 72, FlowLeftEffectStep, FreeFlowEffect},                   // flow from the left
    {73, 73, FlowRightEffectStep, FreeFlowEffect},                  // flow from the right
    {74, 74, HOpenGateEffectStep, nullptr},                         // horizontal opening gate
    {75, 75, HCloseGateEffectStep, nullptr},                        // horizontal closing gate
    {76, 76, VOpenGateEffectStep, nullptr},                         // vertical opening gate
    {77, 77, VCloseGateEffectStep, nullptr},                        // vertical closing gate
    {78, 81, PushEffectStep, nullptr},                              // push
    {82, 82, StepPuzzleEffect, FreePuzzleEffect},                   // puzzle
    {83, 83, StepDiagonalEffect, nullptr},                          // diagonal
    {84, 87, StepRoll, FreeRollState},                              // roll and wallpaper
    {88, 96, StepShrinkRectEffect, nullptr},                        // shrinking rectangle
    {97, 97, StepClockWipe, FreeClockWipeState},                    // clock wipe
    {98, 98, StepStar, FreeStarState},                              // star
    {99, 100, StepInterlacedPushEffect, FreeInterlacedPushEffect},  // interlaced push
    {101, 104, SlideEffectStep, nullptr},                           // slide
    {105, 105, StepSpiralEffect, nullptr},                          // spiral
    {106, 106, StepSwissEffect, nullptr},                           // swiss
    {107, 107, StepQuadRectEffect, nullptr},                        // quad rectangle
    {108, 109, StepSplitEffect, nullptr},                           // split
    {110, 110, StepUpAndDownEffect, nullptr},                       // up and down
    {111, 112, CardEffectStep, nullptr},                            // card
    {114, 114, StepSun, FreeSunState},                              // sun
    {115, 115, StepCrossfade, FreeCrossfadeState},                  // crossfade
    {116, 117, StepFadeBlend, FreeFadeBlendState},                  // fade and blend
    {118, 119, StepZoomInOutEffect, nullptr},                       // zoom in and out
    {120, 123, StepCrush, nullptr},                                 // crush
    {124, 127, StepFlipCoin, nullptr},                              // flip coin
    {128, 131, StepTurnDownEffect, nullptr},                        // turn down
    {132, 133, StepPixelZoom, FreePixelZoomState},                  // pixel zoom
    {134, 137, StepWater, FreeWaterState},                          // water
    {138, 138, StepStrudel, FreeStrudelState},                      // strudel
    {139, 139, StepDissolve, FreeDissolveState},                    // dissolve
};

qzEffectStepFn overrideSteps[QZ_EFFECT_TYPE_COUNT];
qzEffectFreeFn overrideFrees[QZ_EFFECT_TYPE_COUNT];

}  // namespace

void OverrideEffectRoutines(int type, qzEffectStepFn step, qzEffectFreeFn freeState) {
    if (type < 0 || type >= QZ_EFFECT_TYPE_COUNT) return;
    overrideSteps[type] = step;
    overrideFrees[type] = step ? freeState : nullptr;
}

void GetEffectRoutines(int type, qzEffectStepFn* step, qzEffectFreeFn* freeState) {
    *step = nullptr;
    *freeState = nullptr;
    if (type >= 0 && type < QZ_EFFECT_TYPE_COUNT && overrideSteps[type]) {
        *step = overrideSteps[type];
        *freeState = overrideFrees[type];
        return;
    }
    for (const EffectFamilyRow& row : kFamilies) {
        if (type >= row.first && type <= row.last) {
            *step = row.step;
            *freeState = row.freeState;
            return;
        }
    }
}

void SetScrollEffectRoutines(qzEffectStepFn step, qzEffectFreeFn freeState) {
    scrollStep = step;
    scrollFree = freeState;
}

int PickRandomEffect(int layerSafeOnly) {
    for (;;) {
        const int t = static_cast<int>(drand48() * 141.0);
        if (layerSafeOnly && !IsEffectLayerSafe(t)) continue;
        if (t == 113 || t == 140 || t == 141) continue;
        return t;
    }
}

int HiddenEffectType(int type) {
    switch (type) {
    case 24: return 25;
    case 25: return 24;
    case 26: return 27;
    case 27: return 26;
    case 30: return 31;
    case 31: return 30;
    case 32: return 33;
    case 33: return 32;
    default: break;
    }
    if (type >= 38 && type <= 46) return type + 50;
    if (type >= 88 && type <= 96) return type - 50;
    return type;
}

int IsScrollEffect(int type) { return type >= 47 && type <= 54; }

int IsEffectLayerSafe(int type) {
    const bool unsafe = (type >= 74 && type <= 81) || (type >= 101 && type <= 104) || type == 111 || type == 112 ||
                        (type >= 118 && type <= 131) || type == 133;
    return unsafe ? 0 : 1;
}

int EffectDrivesOpacity(int type) { return type == 115 || type == 116 || type == 117 || (type >= 134 && type <= 138); }

int IsEffectFrameRendered(int type) {
    return (type >= 55 && type <= 81) || (type >= 84 && type <= 87) || (type >= 97 && type <= 104) || type == 111 ||
           type == 112 || (type >= 114 && type <= 139);
}

const qzConstantRow kEffectTypeConstants[] = {
    {"HSTRIPES", nullptr, 0},
    {"HSTRIPES2", nullptr, 1},
    {"HSTRIPES4", nullptr, 2},
    {"HSTRIPES8", nullptr, 3},
    {"HSTRIPES16", nullptr, 4},
    {"HSTRIPES32", nullptr, 5},
    {"HSTRIPES64", nullptr, 6},
    {"VSTRIPES", nullptr, 7},
    {"VSTRIPES2", nullptr, 8},
    {"VSTRIPES4", nullptr, 9},
    {"VSTRIPES8", nullptr, 10},
    {"VSTRIPES16", nullptr, 11},
    {"VSTRIPES32", nullptr, 12},
    {"VSTRIPES64", nullptr, 13},
    {"HBLINDS8", nullptr, 14},
    {"HBLINDS16", nullptr, 15},
    {"HBLINDS32", nullptr, 16},
    {"HBLINDS64", nullptr, 17},
    {"HBLINDS128", nullptr, 18},
    {"VBLINDS8", nullptr, 19},
    {"VBLINDS16", nullptr, 20},
    {"VBLINDS32", nullptr, 21},
    {"VBLINDS64", nullptr, 22},
    {"VBLINDS128", nullptr, 23},
    {"VOPENCURTAIN", nullptr, 24},
    {"VCLOSECURTAIN", nullptr, 25},
    {"HOPENCURTAIN", nullptr, 26},
    {"HCLOSECURTAIN", nullptr, 27},
    {"BARS", nullptr, 28},
    {"QUARTERS", nullptr, 29},
    {"REVEALLEFT", nullptr, 30},
    {"REVEALRIGHT", nullptr, 31},
    {"REVEALTOP", nullptr, 32},
    {"REVEALBOTTOM", nullptr, 33},
    {"VLINES2", nullptr, 34},
    {"HLINES2", nullptr, 35},
    {"HLINES", nullptr, 36},
    {"VLINES", nullptr, 37},
    {"RECTCENTER", nullptr, 38},
    {"RECTNORTH", nullptr, 39},
    {"RECTNORTHEAST", nullptr, 40},
    {"RECTEAST", nullptr, 41},
    {"RECTSOUTHEAST", nullptr, 42},
    {"RECTSOUTH", nullptr, 43},
    {"RECTSOUTHWEST", nullptr, 44},
    {"RECTWEST", nullptr, 45},
    {"RECTNORTHWEST", nullptr, 46},
    {"SCROLLLEFT", nullptr, 47},
    {"SCROLLWEST", nullptr, 47},
    {"SCROLLRIGHT", nullptr, 48},
    {"SCROLLEAST", nullptr, 48},
    {"SCROLLTOP", nullptr, 49},
    {"SCROLLNORTH", nullptr, 49},
    {"SCROLLBOTTOM", nullptr, 50},
    {"SCROLLSOUTH", nullptr, 50},
    {"SCROLLNORTHEAST", nullptr, 51},
    {"SCROLLSOUTHEAST", nullptr, 52},
    {"SCROLLSOUTHWEST", nullptr, 53},
    {"SCROLLNORTHWEST", nullptr, 54},
    {"STRETCHLEFT", nullptr, 55},
    {"STRETCHRIGHT", nullptr, 56},
    {"STRETCHTOP", nullptr, 57},
    {"STRETCHBOTTOM", nullptr, 58},
    {"HSTRETCHCENTER", nullptr, 59},
    {"VSTRETCHCENTER", nullptr, 60},
    {"ZOOMCENTER", nullptr, 61},
    {"ZOOMNORTH", nullptr, 62},
    {"ZOOMNORTHEAST", nullptr, 63},
    {"ZOOMEAST", nullptr, 64},
    {"ZOOMSOUTHEAST", nullptr, 65},
    {"ZOOMSOUTH", nullptr, 66},
    {"ZOOMSOUTHWEST", nullptr, 67},
    {"ZOOMWEST", nullptr, 68},
    {"ZOOMNORTHWEST", nullptr, 69},
    {"HFLOWTOP", nullptr, 70},
    {"HFLOWBOTTOM", nullptr, 71},
    {"VFLOWLEFT", nullptr, 72},
    {"VFLOWRIGHT", nullptr, 73},
    {"HOPENGATE", nullptr, 74},
    {"HCLOSEGATE", nullptr, 75},
    {"VOPENGATE", nullptr, 76},
    {"VCLOSEGATE", nullptr, 77},
    {"PUSHLEFT", nullptr, 78},
    {"PUSHRIGHT", nullptr, 79},
    {"PUSHTOP", nullptr, 80},
    {"PUSHBOTTOM", nullptr, 81},
    {"PUZZLE", nullptr, 82},
    {"DIAGONAL", nullptr, 83},
    {"ROLLTOP", nullptr, 84},
    {"ROLLLEFT", nullptr, 85},
    {"WALLPAPERTOP", nullptr, 86},
    {"WALLPAPERLEFT", nullptr, 87},
    {"RECTBACKCENTER", nullptr, 88},
    {"RECTBACKNORTH", nullptr, 89},
    {"RECTBACKNORTHEAST", nullptr, 90},
    {"RECTBACKEAST", nullptr, 91},
    {"RECTBACKSOUTHEAST", nullptr, 92},
    {"RECTBACKSOUTH", nullptr, 93},
    {"RECTBACKSOUTHWEST", nullptr, 94},
    {"RECTBACKWEST", nullptr, 95},
    {"RECTBACKNORTHWEST", nullptr, 96},
    {"CLOCKWIPE", nullptr, 97},
    {"STAR", nullptr, 98},
    {"HSTRANGEPUSH", nullptr, 99},
    {"VSTRANGEPUSH", nullptr, 100},
    {"SLIDELEFT", nullptr, 101},
    {"SLIDERIGHT", nullptr, 102},
    {"SLIDETOP", nullptr, 103},
    {"SLIDEBOTTOM", nullptr, 104},
    {"SPIRAL", nullptr, 105},
    {"SWISS", nullptr, 106},
    {"QUADRECT", nullptr, 107},
    {"HSPLIT", nullptr, 108},
    {"VSPLIT", nullptr, 109},
    {"UPNDOWN", nullptr, 110},
    {"CARDTOP", nullptr, 111},
    {"CARDBOTTOM", nullptr, 112},
    {"SUN", nullptr, 114},
    {"CROSSFADE", nullptr, 115},
    {"FADE", nullptr, 116},
    {"BLEND", nullptr, 117},
    {"ZOOMIN", nullptr, 118},
    {"ZOOMOUT", nullptr, 119},
    {"CRUSHLEFT", nullptr, 120},
    {"CRUSHRIGHT", nullptr, 121},
    {"CRUSHTOP", nullptr, 122},
    {"CRUSHBOTTOM", nullptr, 123},
    {"VFLIPCOIN", nullptr, 124},
    {"VLOWFLIPCOIN", nullptr, 125},
    {"HFLIPCOIN", nullptr, 126},
    {"HLOWFLIPCOIN", nullptr, 127},
    {"TURNDOWNTOP", nullptr, 128},
    {"TURNDOWNBOTTOM", nullptr, 129},
    {"TURNDOWNLEFT", nullptr, 130},
    {"TURNDOWNRIGHT", nullptr, 131},
    {"PIXELZOOM1", nullptr, 132},
    {"PIXELZOOM2", nullptr, 133},
    {"WATER1", nullptr, 134},
    {"WATER2", nullptr, 135},
    {"WATER3", nullptr, 136},
    {"WATER4", nullptr, 137},
    {"STRUDEL", nullptr, 138},
    {"DISSOLVE", nullptr, 139},
    {"RANDOMEFFECT", nullptr, QZ_EFFECT_RANDOM},
    {"RANDOMPARAMETER", nullptr, QZ_EFFECT_RANDOMPARAMETER},
    {nullptr, nullptr, 0},
};

int EffectNeedsOldImage(int type, int viaLayer) {
    const bool direct = (type >= 55 && type <= 73) || (type >= 84 && type <= 87) || (type >= 97 && type <= 100) ||
                        type == 114 || type == 116 || type == 117 || type == 132 || (type >= 134 && type <= 139);
    const bool always = type == 74 || type == 76 || (type >= 78 && type <= 81) || (type >= 101 && type <= 104) ||
                        type == 111 || type == 112 || type == 115 || (type >= 118 && type <= 131) || type == 133;
    const bool layered = type == 75 || type == 77;
    return always || (direct && !viaLayer) || (layered && viaLayer);
}
