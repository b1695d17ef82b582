// The effect driver with stand-in step routines: the end picture after synchronous and
// asynchronous effects in every mode it finds objects for, asynchronous effects stepped to the
// end, sought and cancelled, the refusals before an effect starts, and frames dropped on the real
// clock when drawing is slow.
#include <vector>

#include "display/layer_hooks.h"
#include "display/layer_list.h"
#include "fx/fx_fixture.h"
#include "gfx/frame_limit.h"
#include "gfx/safe_blt.h"
#include "image/output_select.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/text/text_lib.h"
#include "libs/transitionfx/effect_driver.h"
#include "platform/os_time.h"

namespace effect_driver_test {

// A frame-rendered stand-in: the picture of frame n shows n step sizes of columns from the left;
// each drawing costs `drawMillis` of real time.
int drawMillis = 0;
int draws = 0;

void DrawColumns(qzEffectContext* c, int32_t frames) {
    int64_t columns = int64_t(frames) * c->speed;
    if (columns > c->width) columns = c->width;
    if (c->viaLayer && c->layer) {
        // From scratch: what is not yet shown is erased from the layer.
        qzLayerState* st = c->layer->display;
        EffectBlit(c->image, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, c->width, c->height, c->width,
                   c->height, c->width, c->height, nullptr, nullptr, c, EFFECTBLIT_ERASE | EFFECTBLIT_NOPRESENT);
    } else if (c->oldImage) {
        SafeBlt(c->vm, c->oldImage, 0, 0, c->target, c->x, c->y, c->width, c->height, c->width, c->height,
                c->screenWidth, c->screenHeight, c->bltFlags, nullptr, nullptr, nullptr);
    }
    CopyEffectBand(c, 0, 0, int32_t(columns), c->height);
    draws++;
    if (drawMillis) OsDelay(drawMillis);
}

int RenderedStep(qzEffectContext* c, int32_t* done) {
    if (c->phase == QZ_EFFECT_PHASE_SETUP) {
        c->speed = GetEffectStepSize(c->speed, c->width, 70, 30, 200);
        c->total = GetEffectStepCount(c->width, c->speed, 1);
        return AllocEffectState(c, 1);
    }
    if (c->phase == QZ_EFFECT_PHASE_RENDER) {
        DrawColumns(c, c->current);
        return 0;
    }
    ShowEffectLayer(c);
    DrawColumns(c, c->current + 1);
    if (c->current + 1 >= c->total) *done = 1;
    EndEffectFrame(c);
    return 0;
}

// A routine whose set-up fails, and one whose third frame fails.
int FailingSetup(qzEffectContext* c, int32_t*) { return c->phase == QZ_EFFECT_PHASE_SETUP ? ERR_BITMAP : 0; }
int FailingFrame(qzEffectContext* c, int32_t* done) {
    if (c->phase == QZ_EFFECT_PHASE_NEXT && c->current == 2) return ERR_ALLOCMASK;
    return FxTest::WipeStep(c, done);
}

// A wipe that, on its second frame, makes the display (and its picture) larger.
qztest::Commands* resizer = nullptr;
int ResizingStep(qzEffectContext* c, int32_t* done) {
    if (c->phase == QZ_EFFECT_PHASE_NEXT && c->current == 1 && resizer) {
        resizer->Ok("ChangeDisplaySize", {80, 60});
        resizer = nullptr;
    }
    return FxTest::WipeStep(c, done);
}

class EffectDriverTest : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary, &qzLayersLibrary,
                                  &qzTextLibrary,     &qzDisplayLibrary, &qzBrushLibrary,  &qzBGPicLibrary};
        SetFrameRateLimit(1000);
        OverrideEffectRoutines(0, WipeStep, nullptr);
        OverrideEffectRoutines(55, RenderedStep, nullptr);
        drawMillis = 0;
        draws = 0;
    }
    void TearDown() override {
        OverrideEffectRoutines(0, nullptr, nullptr);
        OverrideEffectRoutines(55, nullptr, nullptr);
        SetFrameRateLimit(60);
        FxTest::TearDown();
    }

    qzEffectContext Template(int32_t mode, int32_t type, qzObjectId object, int32_t speed = 9) {
        qzEffectContext t = {};
        t.vm = *vm;
        t.mode = mode;
        t.type = type;
        t.object = object;
        t.speed = speed;
        t.parameter = -1;
        t.undoLevel = 1;
        t.bgpicX = t.bgpicY = 99999;
        t.hide = mode == QZ_EFFECT_HIDELAYER || mode == QZ_EFFECT_REMOVELAYER;
        return t;
    }
    // A layer of a pattern at x, y, on top of the current picture; hidden when asked.
    qzLayer* PatternLayer(int32_t x, int32_t y, int32_t width, int32_t height, bool hidden, uint32_t seed = 1) {
        qzLayer* layer = nullptr;
        EXPECT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {int32_t(seed), nullptr}, x, y, width, height, nullptr,
                                    nullptr, Pattern(width, height, seed), nullptr, nullptr, nullptr, -1,
                                    hidden ? uint32_t(QZ_ADDLAYER_HIDDEN) : 0u, &layer),
                  0);
        if (!hidden) RefreshArea(*vm, x, y, width, height);
        return layer;
    }
    struct BitMapHolder {
        qzBitMap* bitmap;
        ~BitMapHolder() { DeleteBitMap(bitmap); }
    };
    // Every layer of the current picture gone, the display showing the background again.
    void ClearLayers() {
        FreeBGPicLayers(*vm, CurrentBGPic(), 1, 1);
        RefreshArea(*vm, 0, 0, CurrentBGPic()->width, CurrentBGPic()->height);
    }
};

TEST_F(EffectDriverTest, LayerModesEndOnTheTargetPicture) {
    // Show through the display (a plain, uncovered layer), show through the layer (a layer above
    // it, or asked for), hide and remove; an incremental and a frame-rendered type each.
    const struct {
        int32_t mode;
        int32_t type;
        bool coverAbove;  // a hidden layer above overlaps it: the effect draws into the layer
        int forceLayer;
        int expectLayers;  // layers left
    } kCases[] = {
        {QZ_EFFECT_SHOWLAYER, 0, false, 0, 1},  {QZ_EFFECT_SHOWLAYER, 0, true, 0, 2},
        {QZ_EFFECT_SHOWLAYER, 55, false, 0, 1}, {QZ_EFFECT_SHOWLAYER, 55, false, 1, 1},
        {QZ_EFFECT_HIDELAYER, 0, false, 0, 1},  {QZ_EFFECT_HIDELAYER, 0, false, 1, 1},
        {QZ_EFFECT_HIDELAYER, 55, false, 0, 1}, {QZ_EFFECT_REMOVELAYER, 0, false, 0, 0},
        {QZ_EFFECT_REMOVELAYER, 0, true, 1, 1},
    };
    OpenScreen(64, 48, true);
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " type " << c.type << " cover " << c.coverAbove
                                        << " force " << c.forceLayer);
        ClearLayers();
        const bool hide = c.mode != QZ_EFFECT_SHOWLAYER;
        qzLayer* layer = PatternLayer(10, 6, 30, 20, !hide);
        if (c.coverAbove) PatternLayer(35, 20, 8, 8, true, 2);
        qzEffectContext t = Template(c.mode, c.type, {1, nullptr});
        t.forceRealtimeLayers = c.forceLayer;
        ASSERT_EQ(RunEffect(&t), 0);
        EXPECT_EQ(t.repeat, 0);
        EXPECT_EQ(CountLayers(CurrentBGPic()), c.expectLayers);
        BitMapHolder picture{Pattern(30, 20)};
        EXPECT_EQ(hide ? ScreenShowsBackground() : ScreenShows(picture.bitmap, 10, 6), "");
        if (c.expectLayers > 0) {
            layer = GetLayerByPosition(CurrentBGPic(), 1);
            EXPECT_EQ(layer->hidden, hide ? 1 : 0);
            // The layer has its own bitmaps back, and a redraw shows what the effect showed.
            ASSERT_NE(layer->display->own.bitmap, nullptr);
            EXPECT_EQ(layer->display->own.mask, nullptr);
            RefreshArea(*vm, 0, 0, 64, 48);
            EXPECT_EQ(hide ? ScreenShowsBackground() : ScreenShows(picture.bitmap, 10, 6), "");
        }
    }
}

TEST_F(EffectDriverTest, PictureBrushAndTypeResolution) {
    OpenScreen(64, 48, false);
    // A new picture through the effect: the display shows it and draws on it afterwards.
    qzBGPic* pic = nullptr;
    ASSERT_EQ(CreateBlankBGPic({7, nullptr}, 64, 48, 0x00FF00, &pic), 0);
    {
        qzEffectContext t = Template(QZ_EFFECT_BGPIC, 55, {7, nullptr});
        ASSERT_EQ(RunEffect(&t), 0);
        EXPECT_EQ(CurrentDisplay()->bgpic, pic);
        EXPECT_EQ(pic->locked, 0);
        EXPECT_EQ(Pixel(1, 0, 0), 0x00FF00u);
        EXPECT_EQ(Pixel(1, 63, 47), 0x00FF00u);
        RefreshArea(*vm, 0, 0, 64, 48);
        EXPECT_EQ(Pixel(1, 63, 47), 0x00FF00u);
    }
    // A brush with layers off: its own bitmaps at the position; a layer-unsafe type runs as type 0
    // (whose routine is the wipe here), and 113 as a random layer-safe type.
    vm->Ok("CreateBrush", {3, 12, 10, 0xFF0000});
    OverrideEffectRoutines(74, FailingSetup, nullptr);
    for (int32_t type : {0, 74}) {
        qzEffectContext t = Template(QZ_EFFECT_BRUSH, type, {3, nullptr});
        t.x = 5;
        t.y = 7;
        ASSERT_EQ(RunEffect(&t), 0) << type;
        EXPECT_EQ(Pixel(1, 5, 7), 0xFF0000u);
        EXPECT_EQ(Pixel(1, 16, 16), 0xFF0000u);
        EXPECT_EQ(Pixel(1, 17, 16), 0x00FF00u);
        EXPECT_EQ(Pixel(1, 16, 17), 0x00FF00u);
    }
    for (int t = 0; t < QZ_EFFECT_TYPE_COUNT; t++) OverrideEffectRoutines(t, WipeStep, nullptr);
    for (int32_t type : {113, int(QZ_EFFECT_RANDOM)}) {
        qzEffectContext t = Template(QZ_EFFECT_BRUSH, type, {3, nullptr});
        t.x = 30;
        EXPECT_EQ(RunEffect(&t), 0) << type;
        EXPECT_EQ(Pixel(1, 30, 0), 0xFF0000u);
    }
    for (int t = 1; t < QZ_EFFECT_TYPE_COUNT; t++)
        if (t != 55) OverrideEffectRoutines(t, nullptr, nullptr);
    // A type without a routine (while one is left), or beyond the last, is refused.
    std::vector<int32_t> refused = {141, -3};
    for (int t = 0; t < QZ_EFFECT_TYPE_COUNT; t++) {
        qzEffectStepFn step = nullptr;
        qzEffectFreeFn freeState = nullptr;
        GetEffectRoutines(t, &step, &freeState);
        if (!step && t != 113) {  // 113 has no routine but is taken as a random type
            refused.push_back(t);
            break;
        }
    }
    for (int32_t type : refused) {
        qzEffectContext t = Template(QZ_EFFECT_BRUSH, type, {3, nullptr});
        EXPECT_EQ(RunEffect(&t), ERR_WRONGUSAGE) << type;
    }
}

TEST_F(EffectDriverTest, BrushWithLayersOnBecomesALayer) {
    OpenScreen(64, 48, true);
    vm->Ok("CreateBrush", {3, 12, 10, 0xFF0000});
    for (int32_t type : {0, 55}) {
        qzEffectContext t = Template(QZ_EFFECT_BRUSH, type, {3, nullptr});
        t.x = 20;
        t.y = 4;
        ASSERT_EQ(RunEffect(&t), 0);
    }
    ASSERT_EQ(CountLayers(CurrentBGPic()), 2);
    EXPECT_EQ(Pixel(1, 20, 4), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 31, 13), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 32, 13), kBackground);
    RefreshArea(*vm, 0, 0, 64, 48);
    EXPECT_EQ(Pixel(1, 31, 13), 0xFF0000u);
}

TEST_F(EffectDriverTest, PicturePartWithLayersOffAndOn) {
    qzBGPic* pic = nullptr;
    ASSERT_EQ(CreateBlankBGPic({7, nullptr}, 40, 30, 0x00FF00, &pic), 0);
    BitMapHolder pattern{Pattern(40, 30)};
    CopyBitmapRect(pattern.bitmap, 0, 0, pic->bitmap, 0, 0, 40, 30);
    BitMapHolder part{Pattern(10, 8)};
    CopyBitmapRect(pattern.bitmap, 4, 6, part.bitmap, 0, 0, 10, 8);
    for (bool layers : {false, true}) {
        SCOPED_TRACE(layers);
        OpenScreen(64, 48, layers);
        for (int32_t type : {0, 55}) {
            qzEffectContext t = Template(QZ_EFFECT_BGPICPART, type, {7, nullptr}, 3);
            t.sourceX = 4;
            t.sourceY = 6;
            t.x = 20;
            t.y = 15;
            t.width = 10;
            t.height = 8;
            ASSERT_EQ(RunEffect(&t), 0) << type;
            EXPECT_EQ(ScreenShows(part.bitmap, 20, 15), "") << type;
            EXPECT_EQ(pic->locked, 0);
        }
        EXPECT_EQ(CountLayers(CurrentBGPic()), layers ? 2 : 0);
    }
}

TEST_F(EffectDriverTest, ResizedPictureAbandonsAndRepeats) {
    OpenScreen(64, 48, true);
    PatternLayer(10, 6, 30, 20, true);
    OverrideEffectRoutines(5, ResizingStep, nullptr);
    resizer = vm;
    qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, 5, {1, nullptr}, 3);
    ASSERT_EQ(RunEffect(&t), 0);
    EXPECT_EQ(t.repeat, 1);
    EXPECT_EQ(CurrentBGPic()->width, 80);
    // The handler runs it again, at the new size, to the end.
    ASSERT_EQ(RunEffect(&t), 0);
    EXPECT_EQ(t.repeat, 0);
    BitMapHolder picture{Pattern(30, 20)};
    EXPECT_EQ(ScreenShows(picture.bitmap, 10, 6), "");
    OverrideEffectRoutines(5, nullptr, nullptr);
}

TEST_F(EffectDriverTest, ScaledDisplay) {
    // The picture of 64 x 48 shown at twice its size: every drawing reaches the window scaled.
    for (bool layers : {false, true}) {
        SCOPED_TRACE(layers);
        screen++;
        OpenCurrent(screen, qztest::Arg::Table({{"width", 64},
                                                {"height", 48},
                                                {"layers", layers},
                                                {"color", double(kBackground)},
                                                {"scalemode", 1},
                                                {"scalewidth", 128},
                                                {"scaleheight", 96}}));
        ASSERT_NE(CurrentDisplay()->autoScale, 0);
        ASSERT_EQ(Window(screen)->frame.width, 128);
        vm->Ok("CreateBrush", {3 + int(layers), 12, 10, 0xFF0000});
        if (layers) PatternLayer(30, 20, 20, 16, true);
        for (int32_t type : {0, 55}) {
            qzEffectContext t = Template(QZ_EFFECT_BRUSH, type, {3 + int(layers), nullptr});
            t.x = 4;
            t.y = 6;
            ASSERT_EQ(RunEffect(&t), 0);
        }
        if (layers) {
            qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, 0, {1, nullptr});
            ASSERT_EQ(RunEffect(&t), 0);
        }
        auto shown = [&](int32_t x, int32_t y) { return Pixel(screen, 2 * x + 1, 2 * y + 1); };
        EXPECT_EQ(shown(4, 6), 0xFF0000u);
        EXPECT_EQ(shown(15, 15), 0xFF0000u);
        EXPECT_EQ(shown(16, 15), kBackground);
        EXPECT_EQ(shown(3, 6), kBackground);
        if (layers) {
            EXPECT_EQ(shown(30, 20), PatternColour(0, 0, 1));
            EXPECT_EQ(shown(49, 35), PatternColour(19, 15, 1));
            EXPECT_EQ(shown(50, 35), kBackground);
        }
    }
}

TEST_F(EffectDriverTest, DoubleBufferingEndsFirst) {
    OpenScreen(64, 48, false);
    vm->Ok("CreateBrush", {3, 12, 10, 0xFF0000});
    vm->Ok("BeginDoubleBuffer");
    ASSERT_NE(CurrentDisplay()->doubleBuffer, 0);
    qzEffectContext t = Template(QZ_EFFECT_BRUSH, 0, {3, nullptr});
    ASSERT_EQ(RunEffect(&t), 0);
    EXPECT_EQ(CurrentDisplay()->doubleBuffer, 0);
    EXPECT_EQ(Pixel(screen, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(screen, 12, 0), kBackground);
}

TEST_F(EffectDriverTest, TextObjectLikeItsOwnDisplay) {
    // The text object through an effect ends as DisplayTextObject draws it, with layers off and on.
    for (bool layers : {false, true}) {
        SCOPED_TRACE(layers);
        OpenScreen(96, 40, layers);
        const int32_t reference = screen;
        vm->Ok("CreateTextObject", {1 + 2 * int(layers), "Effect Ag"});
        vm->Ok("DisplayTextObject", {1 + 2 * int(layers), 6, 8});
        OpenScreen(96, 40, layers);
        vm->Ok("CreateTextObject", {2 + 2 * int(layers), "Effect Ag"});
        qzEffectContext t = Template(QZ_EFFECT_TEXTOBJECT, 0, {2 + 2 * int(layers), nullptr}, 2);
        t.x = 6;
        t.y = 8;
        ASSERT_EQ(RunEffect(&t), 0);
        int differences = 0, inked = 0;
        for (int32_t y = 0; y < 40; y++) {
            for (int32_t x = 0; x < 96; x++) {
                differences += Pixel(screen, x, y) != Pixel(reference, x, y);
                inked += Pixel(screen, x, y) != kBackground;
            }
        }
        EXPECT_EQ(differences, 0);
        EXPECT_GT(inked, 20);
        EXPECT_EQ(CountLayers(CurrentBGPic()), layers ? 1 : 0);
    }
}

TEST_F(EffectDriverTest, RefusalsLeaveTheLayerAsItWas) {
    OpenScreen(64, 48, false);
    {
        qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, 0, {1, nullptr});
        EXPECT_EQ(RunEffect(&t), ERR_NOLAYERS);
    }
    vm->Ok("CloseDisplay", {1});
    OpenCurrent(2, qztest::Arg::Table({{"width", 64}, {"height", 48}, {"layers", true}}));
    qzLayer* layer = PatternLayer(10, 6, 30, 20, true);
    qzBitMap* own = layer->display->own.bitmap;
    OverrideEffectRoutines(3, FailingSetup, nullptr);
    OverrideEffectRoutines(4, FailingFrame, nullptr);
    const struct {
        int32_t position, type, forceLayer;
        int error;
    } kCases[] = {
        {2, 0, 0, ERR_LAYERRANGE}, {0, 0, 0, ERR_LAYERRANGE}, {1, 3, 0, ERR_BITMAP},
        {1, 3, 1, ERR_BITMAP},     {1, 4, 0, ERR_ALLOCMASK},  {1, 4, 1, ERR_ALLOCMASK},
    };
    for (const auto& c : kCases) {
        qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, c.type, {c.position, nullptr}, 5);
        t.forceRealtimeLayers = c.forceLayer;
        EXPECT_EQ(RunEffect(&t), c.error) << c.type << " " << c.forceLayer;
        EXPECT_EQ(layer->hidden, 1);
        EXPECT_EQ(layer->display->own.bitmap, own);
        EXPECT_EQ(layer->display->own.mask, nullptr);
    }
    // The screen does not keep the frames of the failed effects.
    const uint32_t background = Pixel(2, 0, 0);
    for (int32_t y = 6; y < 26; y += 5)
        for (int32_t x = 10; x < 40; x += 5) EXPECT_EQ(Pixel(2, x, y), background) << x << "," << y;
    OverrideEffectRoutines(3, nullptr, nullptr);
    OverrideEffectRoutines(4, nullptr, nullptr);
}

TEST_F(EffectDriverTest, AsyncEffectFollowsNewContentAtTheSameFraction) {
    OpenScreen(80, 48, true);
    qzLayer* layer = PatternLayer(10, 6, 30, 20, true);
    qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, 0, {1, nullptr});
    t.async = 1;
    ASSERT_EQ(RunEffect(&t), 1);
    void* handle = VmToUserdata(*vm, -1);
    EXPECT_EQ(vm->CallNum("AsyncDrawFrame", {qztest::Arg::Pointer(handle)}), 0);
    EXPECT_EQ(vm->CallNum("AsyncDrawFrame", {qztest::Arg::Pointer(handle)}), 0);
    // Half of the 4 frames are drawn; the layer gets content twice as wide: 7 frames of 9
    // columns, and the effect goes on from frame 4 (36 columns).
    BitMapHolder wide{Pattern(60, 20, 3)};
    qzBitMap* content = CreateBitMap(60, 20, 0, nullptr);
    CopyBitmapRect(wide.bitmap, 0, 0, content, 0, 0, 60, 20);
    ASSERT_EQ(SetLayerContentSize(*vm, layer, nullptr, 10, 6, 60, 20, content, nullptr, nullptr, 0, 0), 0);
    qzAsyncDraw* object = nullptr;
    ASSERT_EQ(FindAsyncDraw({0, handle}, &object), 0);
    int32_t frames = 0, current = 0;
    object->event(ADEVENT_FRAMECOUNT, reinterpret_cast<intptr_t>(&frames), object->userData);
    object->event(ADEVENT_CURFRAME, reinterpret_cast<intptr_t>(&current), object->userData);
    EXPECT_EQ(frames, 7);
    EXPECT_EQ(current, 4);
    RefreshArea(*vm, 0, 0, 80, 48);
    EXPECT_EQ(Pixel(screen, 10 + 35, 10), PatternColour(35, 4, 3));
    EXPECT_EQ(Pixel(screen, 10 + 36, 10), kBackground);
    std::vector<double> answers;
    for (int i = 0; i < 10; i++) {
        answers.push_back(vm->CallNum("AsyncDrawFrame", {qztest::Arg::Pointer(handle)}));
        if (answers.back() == 1) break;
    }
    EXPECT_EQ(answers, (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(ScreenShows(wide.bitmap, 10, 6), "");
    EXPECT_EQ(layer->display->own.bitmap, content);
}

TEST_F(EffectDriverTest, OutputSelections) {
    OpenScreen(64, 48, true);
    PatternLayer(10, 6, 30, 20, true);
    vm->Ok("CreateBrush", {3, 12, 10, 0xFF0000});
    vm->Ok("CreateBrush", {4, 12, 10, 0x0000FF});
    qzBGPic* pic = nullptr;
    ASSERT_EQ(CreateBlankBGPic({7, nullptr}, 64, 48, 0x00FF00, &pic), 0);
    vm->Ok("SelectBrush", {3});
    {
        qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, 0, {1, nullptr});
        EXPECT_EQ(RunEffect(&t), ERR_SELECTBRUSH);
        qzEffectContext u = Template(QZ_EFFECT_BRUSH, 0, {4, nullptr});
        EXPECT_EQ(RunEffect(&u), ERR_SELECTBRUSH);
        EXPECT_EQ(CurrentDisplay()->outputKind, QZ_OUTPUT_BITMAP);
        // Showing the selected brush itself ends the selection first.
        qzEffectContext v = Template(QZ_EFFECT_BRUSH, 0, {3, nullptr});
        EXPECT_EQ(RunEffect(&v), 0);
        EXPECT_EQ(CurrentDisplay()->outputKind, QZ_OUTPUT_DISPLAY);
        EXPECT_EQ(Pixel(1, 0, 0), 0xFF0000u);
    }
    vm->Ok("SelectBGPic", {7});
    {
        qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, 0, {1, nullptr});
        EXPECT_EQ(RunEffect(&t), ERR_SELECTBG);
        EXPECT_EQ(GetLayerByPosition(CurrentDisplay()->bgpic, 1)->hidden, 1);
    }
    vm->Ok("EndSelect");
}

TEST_F(EffectDriverTest, AsyncEffectSteppedSoughtAndCancelled) {
    OpenScreen(64, 48, true);
    BitMapHolder picture{Pattern(30, 20)};
    for (int32_t type : {0, 55}) {
        SCOPED_TRACE(type);
        FreeBGPicLayers(*vm, CurrentBGPic(), 1, 1);
        RefreshArea(*vm, 0, 0, 64, 48);
        qzLayer* layer = PatternLayer(10, 6, 30, 20, true);
        // Stepped to the end: 30 / 9 -> 4 frames, then the call that ends the object.
        qzEffectContext t = Template(QZ_EFFECT_SHOWLAYER, type, {1, nullptr});
        t.async = 1;
        ASSERT_EQ(RunEffect(&t), 1);
        void* handle = nullptr;
        VmState* state = *vm;
        handle = VmToUserdata(state, -1);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(LayerUsedByAsyncDraw(layer), 1);
        {
            qzEffectContext again = Template(QZ_EFFECT_SHOWLAYER, type, {1, nullptr});
            EXPECT_EQ(RunEffect(&again), ERR_ALREADYASYNC);
        }
        std::vector<double> answers;
        for (int i = 0; i < 10; i++) {
            answers.push_back(vm->CallNum("AsyncDrawFrame", {qztest::Arg::Pointer(handle)}));
            if (answers.back() == 1) break;
        }
        EXPECT_EQ(answers, (std::vector<double>{0, 0, 0, 0, 1}));
        EXPECT_EQ(ScreenShows(picture.bitmap, 10, 6), "");
        EXPECT_EQ(layer->hidden, 0);
        EXPECT_EQ(LayerUsedByAsyncDraw(layer), 0);
        RefreshArea(*vm, 0, 0, 64, 48);
        EXPECT_EQ(ScreenShows(picture.bitmap, 10, 6), "");

        // Sought to frame 2 of 4, then cancelled: the layer is hidden again.
        layer->hidden = 1;
        RefreshArea(*vm, 0, 0, 64, 48);
        qzEffectContext u = Template(QZ_EFFECT_SHOWLAYER, type, {1, nullptr});
        u.async = 1;
        ASSERT_EQ(RunEffect(&u), 1);
        handle = VmToUserdata(state, -1);
        EXPECT_EQ(vm->CallNum("AsyncDrawFrame", {qztest::Arg::Pointer(handle), 2}), 0);
        RefreshArea(*vm, 0, 0, 64, 48);
        EXPECT_EQ(Pixel(1, 10 + 17, 10), PatternColour(17, 4, 1));
        EXPECT_EQ(Pixel(1, 10 + 18, 10), kBackground);
        vm->Ok("CancelAsyncDraw", {qztest::Arg::Pointer(handle)});
        EXPECT_EQ(layer->hidden, 1);
        EXPECT_EQ(layer->display->own.mask, nullptr);
        EXPECT_EQ(ScreenShowsBackground(), "");
    }
}

TEST_F(EffectDriverTest, SlowFramesAreDroppedNotStretched) {
    // 20 frames at 60 frames a second take a third of a second; each drawing here takes 100 ms,
    // so drawing every frame would take two seconds.
    SetFrameRateLimit(60);
    OpenScreen(64, 48, false);
    vm->Ok("CreateBrush", {3, 40, 10, 0xFF0000});
    drawMillis = 100;
    qzEffectContext t = Template(QZ_EFFECT_BRUSH, 55, {3, nullptr}, 2);
    const uint64_t start = OsMonotonicMicros();
    ASSERT_EQ(RunEffect(&t), 0);
    const uint64_t elapsed = OsMonotonicMicros() - start;
    EXPECT_LT(draws, 10);
    EXPECT_LT(elapsed, 1200000u);
    EXPECT_EQ(Pixel(1, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 39, 9), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 40, 9), kBackground);
}

}  // namespace effect_driver_test
