// Shared steps of the effect tests: a headless display (layers on or off) showing a plain
// background, patterned pictures, an effect context that draws straight onto the display and one
// that draws into a layer, running a step routine's set-up and then its frames, and comparing
// what the window shows with the expected picture.
#pragma once

#include <cstdlib>
#include <string>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "fx/effect_context.h"
#include "fx/effect_types.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"

class FxTest : public LayerTest {
public:
    // A stand-in step routine: a wipe from the left, one step size of columns per frame
    // (NORMALSPEED: width / 70; total = the exact step count).
    static int WipeStep(qzEffectContext* c, int32_t* done) {
        if (c->phase == QZ_EFFECT_PHASE_SETUP) {
            const int error = AllocEffectState(c, sizeof(int32_t));
            if (error) return error;
            c->speed = GetEffectStepSize(c->speed, c->width, 70, 30, 200);
            c->total = GetEffectStepCount(c->width, c->speed, 1);
            return 0;
        }
        int32_t* reached = static_cast<int32_t*>(c->state);
        if (c->current == 0) *reached = 0;
        ShowEffectLayer(c);
        const int32_t next = *reached + c->speed < c->width ? *reached + c->speed : c->width;
        CopyEffectBand(c, *reached, 0, next - *reached, c->height);
        *reached = next;
        if (next >= c->width) *done = 1;
        EndEffectFrame(c);
        return 0;
    }

protected:
    static constexpr uint32_t kBackground = 0x102030;

    // A display of width x height showing kBackground, current, with layers on or off; the first
    // call opens display 1, later ones the next number, and the readers below look at it.
    void OpenScreen(int32_t width = 64, int32_t height = 48, bool layers = false) {
        screen = screen ? screen + 1 : 1;
        OpenCurrent(screen, qztest::Arg::Table({{"width", width},
                                                {"height", height},
                                                {"layers", layers},
                                                {"color", static_cast<double>(kBackground)}}));
    }
    int32_t screen = 0;  // the display OpenScreen opened last

public:
    // A picture whose every pixel differs from its neighbours and from kBackground.
    static qzBitMap* Pattern(int32_t width, int32_t height, uint32_t seed = 1) {
        qzBitMap* bitmap = CreateBitMap(width, height, 0, nullptr);
        BitMapLock lock(bitmap, 0);
        for (int32_t y = 0; lock.ok && y < height; y++)
            for (int32_t x = 0; x < width; x++)
                static_cast<uint32_t*>(lock.info.pixels)[size_t(y) * lock.info.rowLength + x] =
                    PatternColour(x, y, seed);
        return bitmap;
    }
    static uint32_t PatternColour(int32_t x, int32_t y, uint32_t seed) {
        return ((uint32_t(x) * 7 + seed * 31) & 0xFF) << 16 | ((uint32_t(y) * 5 + seed * 17) & 0xFF) << 8 |
               ((uint32_t(x + y) * 3 + 0x80) & 0xFF);
    }

    // One effect under test: its context and what the test made for it, released at the end.
    struct Effect {
        qzEffectContext context = {};
        qzBitMap* picture = nullptr;  // owned by the effect when not handed to a layer
        int32_t frames = 0;           // phase 1 calls so far
        ~Effect() {
            if (context.freeState) context.freeState(&context, context.finished);
            free(context.state);
            RestoreEffectLayer(&context);
            DeleteBitMap(context.oldImage);
            DeleteMaskBitMap(context.effectMask);
            DeleteAlphaBitMap(context.effectAlpha);
            DeleteBitMap(picture);
        }
    };

protected:
    // The common fields: type, speed and parameter as a script gives them, the area, the picture,
    // the routines of the type's dispatch row (the test may set its own before Setup).
    void Fill(Effect& e, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height, int32_t speed,
              int32_t parameter) {
        qzEffectContext& c = e.context;
        c.vm = *vm;
        c.type = type;
        c.x = x;
        c.y = y;
        c.width = width;
        c.height = height;
        c.speed = speed;
        c.givenSpeed = speed;
        c.parameter = parameter;
        c.undoLevel = 1;
        c.bgpicX = c.bgpicY = 99999;
        qzBGPic* pic = CurrentDisplay()->bgpic;
        c.screenWidth = pic->width;
        c.screenHeight = pic->height;
        GetEffectRoutines(type, &c.step, &c.freeState);
    }
    void GrabOld(Effect& e) {
        qzEffectContext& c = e.context;
        if (!EffectNeedsOldImage(c.type, c.viaLayer)) return;
        c.oldImage = CreateBitMap(c.width, c.height, 0, nullptr);
        GrabScreenRect(&c, c.oldImage, c.x, c.y, c.width, c.height);
    }

    // An effect that brings a width x height pattern at x, y straight onto the display (as a
    // brush with layers off).
    void Direct(Effect& e, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height, int32_t speed = -1,
                int32_t parameter = -1) {
        Fill(e, type, x, y, width, height, speed, parameter);
        e.picture = Pattern(width, height);
        qzEffectContext& c = e.context;
        c.mode = QZ_EFFECT_BRUSH;
        c.object = {1, nullptr};
        c.image = e.picture;
        c.bltFlags = 4;
        GrabOld(e);
    }

    // An effect that shows (hide 0) or hides (hide 1) a layer holding a width x height pattern at
    // x, y (through `mask` when given, which the layer takes) by drawing into the layer's bitmaps
    // (the display must have layers on). The layer is added hidden for showing, shown for hiding.
    void ViaLayer(Effect& e, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height, int32_t speed = -1,
                  int32_t parameter = -1, int hide = 0, int async = 0, qzBitMap* mask = nullptr) {
        Fill(e, type, x, y, width, height, speed, parameter);
        qzEffectContext& c = e.context;
        qzLayer* layer = nullptr;
        ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, x, y, width, height, nullptr, nullptr,
                                    Pattern(width, height), mask, nullptr, nullptr, -1,
                                    hide ? 0u : uint32_t(QZ_ADDLAYER_HIDDEN), &layer),
                  0);
        if (hide) RefreshArea(*vm, x, y, width, height);
        c.mode = hide ? QZ_EFFECT_HIDELAYER : QZ_EFFECT_SHOWLAYER;
        c.hide = hide;
        c.async = async;
        c.object = {CountLayers(CurrentBGPic()), nullptr};
        c.layer = layer;
        c.viaLayer = 1;
        c.bltFlags = 4;
        c.image = layer->display->own.bitmap;
        c.imageMask = layer->display->own.mask;
        {
            // The old content is grabbed without the layer, as the driver does.
            const int32_t hidden = layer->hidden;
            layer->hidden = 1;
            GrabOld(e);
            layer->hidden = hidden;
        }
        ASSERT_EQ(PrepareEffectLayer(&c), 0);
    }

    // Phase 0; 0 or its error.
    int Setup(Effect& e) {
        qzEffectContext& c = e.context;
        if (!c.step) return ERR_WRONGUSAGE;
        c.phase = QZ_EFFECT_PHASE_SETUP;
        const int error = c.step(&c, nullptr);
        c.phase = QZ_EFFECT_PHASE_NEXT;
        return error;
    }
    // Phase 1 until the routine reports done, at most maxFrames calls (0: until done, with a
    // guard of total + 10000). 0 or the first error.
    int Frames(Effect& e, int32_t maxFrames = 0) {
        qzEffectContext& c = e.context;
        const int32_t guard = maxFrames > 0 ? maxFrames : c.total + 10000;
        for (int32_t i = 0; i < guard && !c.finished; i++) {
            int32_t done = 0;
            const int error = c.step(&c, &done);
            e.frames++;
            if (error) return error;
            if (done) c.finished = 1;
        }
        return 0;
    }
    // Set-up and every frame.
    int Run(Effect& e) {
        const int error = Setup(e);
        return error ? error : Frames(e);
    }
    // Phase 2 for frame `step` (frame-rendered types).
    int Render(Effect& e, int32_t step) {
        qzEffectContext& c = e.context;
        c.current = step;
        c.phase = QZ_EFFECT_PHASE_RENDER;
        int32_t scratch = 0;
        const int error = c.step(&c, &scratch);
        c.phase = QZ_EFFECT_PHASE_NEXT;
        return error;
    }

    // Empty when the window shows `picture` (width x height) at x, y and kBackground elsewhere
    // (everywhere when picture is null); else where the first difference lies.
    std::string ScreenShows(const qzBitMap* picture, int32_t x, int32_t y) {
        BitMapLock lock(picture, LOCKF_READONLY);
        if (picture && !lock.ok) return "cannot read the picture";
        qzHostWindow* w = Window(screen);
        if (!w) return "no window";
        for (int32_t sy = 0; sy < w->frame.height; sy++) {
            for (int32_t sx = 0; sx < w->frame.width; sx++) {
                const int32_t px = sx - x, py = sy - y;
                uint32_t expected = kBackground;
                if (picture && px >= 0 && py >= 0 && px < picture->width && py < picture->height)
                    expected = static_cast<const uint32_t*>(lock.info.pixels)[size_t(py) * lock.info.rowLength + px] &
                               0xFFFFFF;
                const uint32_t shown = Pixel(screen, sx, sy);
                if (shown != expected) {
                    char text[96];
                    snprintf(text, sizeof text, "at %d,%d: shown %06X, expected %06X", sx, sy, shown, expected);
                    return text;
                }
            }
        }
        return "";
    }
    std::string ScreenShowsBackground() { return ScreenShows(nullptr, 0, 0); }
    // The same for the effect's picture at the effect's position.
    std::string ScreenShowsPicture(const Effect& e) { return ScreenShows(e.context.image, e.context.x, e.context.y); }
};
