// The effect commands: both argument forms filled into the template the driver receives, the
// argument counts and errors of every command, UndoFX's layer search and GetRandomFX.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error_codes.h"
#include "fx/fx_fixture.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/transitionfx/effect_commands.h"
#include "libs/transitionfx/transitionfx_lib.h"

namespace effect_commands_test {

using qztest::Arg;

namespace {

Arg Async() { return Arg::Table({{"async", true}}); }

class EffectCommands : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,      &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBGPicLibrary, &qzTransitionFXLibrary};
    }
    void TearDown() override {
        OverrideEffectRoutines(0, nullptr, nullptr);
        FxTest::TearDown();
    }
    // Display 1 of 64 x 48, layers on or off, filled with the colour.
    void Open(bool layers, uint32_t colour = 0x000000) {
        OpenCurrent(
            1, Arg::Table({{"width", 64}, {"height", 48}, {"layers", layers}, {"color", static_cast<double>(colour)}}));
        screen = 1;  // what the screen readers look at
    }
    // The template that the command's arguments give, or the error code in *error.
    qzEffectContext Read(qzEffectCommand command, const std::vector<Arg>& args, int* error,
                         uint32_t* colour = nullptr) {
        qzEffectContext t{};
        *error = qztest::RunAsCommand(*vm, args,
                                      [&](VmState* state) { return ReadEffectCommand(state, command, &t, colour); });
        return t;
    }
};

// What a row expects of the template; fields not named keep the defaults below.
struct Expect {
    int32_t mode = 0, type = 140, speed = -1, parameter = -1;
    int32_t objectNumber = 0, x = 0, y = 0;
    int32_t hide = 0, async = 0, layersOption = 0;
    int32_t bgpicX = 0, bgpicY = 0;
    int32_t sourceX = 0, sourceY = 0, width = 0, height = 0;
};

TEST_F(EffectCommands, BothArgumentFormsFillTheTemplate) {
    Open(true);
    const struct {
        const char* what;
        qzEffectCommand command;
        std::vector<Arg> args;
        Expect expect;
    } rows[] = {
        {"transition, defaults",
         QZ_FXCMD_TRANSITION,
         {5},
         {.mode = 1, .objectNumber = 5, .bgpicX = 99999, .bgpicY = 99999}},
        {"transition, positional",
         QZ_FXCMD_TRANSITION,
         {5, 61, 4, 2},
         {.mode = 1, .type = 61, .speed = 4, .parameter = 2, .objectNumber = 5, .bgpicX = 99999, .bgpicY = 99999}},
        {"transition, table",
         QZ_FXCMD_TRANSITION,
         {5, Arg::Table({{"type", 61.7}, {"speed", -2}, {"x", 10}})},
         {.mode = 1, .type = 61, .speed = -2, .objectNumber = 5, .bgpicX = 10, .bgpicY = 99999}},
        {"brush, positional",
         QZ_FXCMD_BRUSH,
         {2, 10, 20, 7},
         {.mode = 3, .type = 7, .objectNumber = 2, .x = 10, .y = 20}},
        {"brush, table moves the position",
         QZ_FXCMD_BRUSH,
         {2, 10, 20, Arg::Table({{"dx", 30}, {"parameter", 3}})},
         {.mode = 3, .parameter = 3, .objectNumber = 2, .x = 30, .y = 20}},
        {"brush, async",
         QZ_FXCMD_BRUSH,
         {2, 1, 2, Async()},
         {.mode = 3, .objectNumber = 2, .x = 1, .y = 2, .async = 1}},
        {"text object",
         QZ_FXCMD_TEXTOBJECT,
         {4, -100000, 3, 0, -3, 9},
         {.mode = 8, .type = 0, .speed = -3, .parameter = 9, .objectNumber = 4, .x = -100000, .y = 3}},
        {"picture part, positional: the position starts as the source",
         QZ_FXCMD_BGPICPART,
         {1, 4, 5, 16, 8},
         {.mode = 13, .objectNumber = 1, .x = 4, .y = 5, .sourceX = 4, .sourceY = 5, .width = 16, .height = 8}},
        {"picture part, positional with position and layers",
         QZ_FXCMD_BGPICPART,
         {1, 4, 5, 16, 8, 2, -1, -1, 30, 40, 1},
         {.mode = 13,
          .type = 2,
          .objectNumber = 1,
          .x = 30,
          .y = 40,
          .layersOption = 1,
          .sourceX = 4,
          .sourceY = 5,
          .width = 16,
          .height = 8}},
        {"picture part, table",
         QZ_FXCMD_BGPICPART,
         {1, 4, 5, 16, 8, Arg::Table({{"dy", 33}, {"layers", 1}})},
         {.mode = 13,
          .objectNumber = 1,
          .x = 4,
          .y = 33,
          .layersOption = 1,
          .sourceX = 4,
          .sourceY = 5,
          .width = 16,
          .height = 8}},
        {"show layer", QZ_FXCMD_SHOWLAYER, {2}, {.mode = 22, .objectNumber = 2}},
        {"show layer, async", QZ_FXCMD_SHOWLAYER, {2, Async()}, {.mode = 22, .objectNumber = 2, .async = 1}},
        {"hide layer",
         QZ_FXCMD_HIDELAYER,
         {1, 24, 5},
         {.mode = 25, .type = 24, .speed = 5, .objectNumber = 1, .hide = 1}},
        {"remove layer, table",
         QZ_FXCMD_REMOVELAYER,
         {3, Arg::Table({{"type", 28}})},
         {.mode = 26, .type = 28, .objectNumber = 3, .hide = 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        int error = -1;
        const qzEffectContext t = Read(row.command, row.args, &error);
        ASSERT_EQ(error, 0);
        const Expect& e = row.expect;
        EXPECT_EQ(t.vm, vm->state());
        EXPECT_EQ(t.mode, e.mode);
        EXPECT_EQ(t.type, e.type);
        EXPECT_EQ(t.speed, e.speed);
        EXPECT_EQ(t.parameter, e.parameter);
        EXPECT_EQ(t.object.number, e.objectNumber);
        EXPECT_EQ(t.object.pointer, nullptr);
        EXPECT_EQ(t.x, e.x);
        EXPECT_EQ(t.y, e.y);
        EXPECT_EQ(t.hide, e.hide);
        EXPECT_EQ(t.async, e.async);
        EXPECT_EQ(t.layersOption, e.layersOption);
        EXPECT_EQ(t.bgpicX, e.bgpicX);
        EXPECT_EQ(t.bgpicY, e.bgpicY);
        EXPECT_EQ(t.sourceX, e.sourceX);
        EXPECT_EQ(t.sourceY, e.sourceY);
        EXPECT_EQ(t.width, e.width);
        EXPECT_EQ(t.height, e.height);
        EXPECT_EQ(t.undoLevel, 1);
        EXPECT_EQ(t.repeat, 0);
        EXPECT_EQ(t.bgpicEmu, 0);
    }
}

TEST_F(EffectCommands, ClearScreenTakesItsTypeFromTheFirstArgument) {
    Open(false);
    int error = -1;
    uint32_t colour = 1;
    qzEffectContext t = Read(QZ_FXCMD_CLEARSCREEN, {61}, &error, &colour);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(t.mode, 1);
    EXPECT_EQ(t.type, 61);
    EXPECT_EQ(colour, 0u);  // black
    EXPECT_EQ(t.bgpicX, 99999);
    t = Read(QZ_FXCMD_CLEARSCREEN, {61, 0xFF, Arg::Table({{"type", 5}, {"speed", 3}, {"y", 7}})}, &error, &colour);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(t.type, 61);
    EXPECT_EQ(t.speed, 3);
    EXPECT_EQ(t.bgpicY, 7);
    EXPECT_EQ(colour, 0xFFu);
    t = Read(QZ_FXCMD_CLEARSCREEN, {2, 0x00FF00, 8, 1}, &error, &colour);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(t.type, 2);
    EXPECT_EQ(t.speed, 8);
    EXPECT_EQ(t.parameter, 1);
    EXPECT_EQ(colour, 0x00FF00u);
    Read(QZ_FXCMD_CLEARSCREEN, {2, 0, Async()}, &error);
    EXPECT_EQ(error, ERR_WRONGUSAGE);
}

TEST_F(EffectCommands, ArgumentErrors) {
    Open(false);
    vm->Ok("CreateBGPic", {7, 8, 8});
    const struct {
        const char* what;
        qzEffectCommand command;
        std::vector<Arg> args;
        int error;
    } rows[] = {
        // Only a synchronous transition shows a new picture.
        {"transition async", QZ_FXCMD_TRANSITION, {5, Async()}, ERR_WRONGUSAGE},
        // A table that is not the last argument is not the options: it stands where the type goes.
        {"table not last", QZ_FXCMD_TRANSITION, {5, Arg::Table({{"type", 3}}), 3}, ERR_NUMEXPECTED},
        {"table after the type", QZ_FXCMD_TRANSITION, {5, 61, Arg::Table({})}, ERR_NUMEXPECTED},
        {"table at the wrong index", QZ_FXCMD_BRUSH, {2, 10, 20, 1, Arg::Table({})}, ERR_NUMEXPECTED},
        {"type not a number", QZ_FXCMD_SHOWLAYER, {1, "fast"}, ERR_NUMEXPECTED},
        {"layers option with layers off",
         QZ_FXCMD_BGPICPART,
         {1, 0, 0, 4, 4, Arg::Table({{"layers", 1}})},
         ERR_WRONGUSAGE},
        {"layers argument with layers off", QZ_FXCMD_BGPICPART, {1, 0, 0, 4, 4, 0, -1, -1, 0, 0, 1}, ERR_WRONGUSAGE},
        {"undo with layers off", QZ_FXCMD_UNDO, {3, 1}, ERR_NOLAYERS},
        {"emulated picture not named", QZ_FXCMD_SHOWLAYER, {1, Arg::Table({{"bgpicemu", 1}})}, ERR_MISSINGPARAMTR},
        {"emulated picture missing",
         QZ_FXCMD_SHOWLAYER,
         {1, Arg::Table({{"bgpicemu", 1}, {"bgpic", 77}})},
         ERR_FINDBGPIC},
        {"emulated picture of a hiding command ignored", QZ_FXCMD_HIDELAYER, {1, Arg::Table({{"bgpicemu", 1}})}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        int error = -1;
        Read(row.command, row.args, &error);
        EXPECT_EQ(error, row.error);
    }

    // A named emulated picture is looked up and its changed mark cleared.
    qzBGPic* pic = nullptr;
    ASSERT_EQ(FindBGPic(*vm, {7, nullptr}, &pic, 0), 0);
    pic->modified = 1;
    int error = -1;
    const qzEffectContext t = Read(QZ_FXCMD_SHOWLAYER, {1, Arg::Table({{"bgpicemu", 1}, {"bgpic", 7}})}, &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(t.bgpicEmu, 1);
    EXPECT_EQ(t.emuBGPic, pic);
    EXPECT_EQ(pic->modified, 0);
}

TEST_F(EffectCommands, CommandRowsCheckTheArgumentCounts) {
    Open(false);
    const struct {
        const char* command;
        int min, max;
    } rows[] = {
        {"DisplayBrushFX", 3, 6},
        {"DisplayTextObjectFX", 3, 6},
        {"DisplayTransitionFX", 1, 4},
        {"DisplayBGPicPartFX", 5, 11},
        {"UndoFX", 2, 6},
        {"ShowLayerFX", 1, 4},
        {"HideLayerFX", 1, 4},
        {"RemoveLayerFX", 1, 4},
        {"GetRandomFX", 1, 1},
        {"ClearScreen", 1, 4},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(vm->CallErr(row.command, std::vector<Arg>(row.min - 1, Arg::Table({}))), ERR_MISSINGPARAMTR)
            << row.command;
        EXPECT_EQ(vm->CallErr(row.command, std::vector<Arg>(row.max + 1, Arg::Table({}))), ERR_TOOMANYARGS)
            << row.command;
    }
}

TEST_F(EffectCommands, UndoFXCountsLevelsDownFromTheTopmostLayer) {
    Open(true);
    Add(5, 0, 0, 4, 4, 0xFF0000);  // position 1
    Add(6, 4, 0, 4, 4, 0x00FF00);  // 2
    Add(5, 8, 0, 4, 4, 0x0000FF);  // 3
    Add(5, 0, 8, 4, 4, 0xFFFFFF);  // 4
    const struct {
        std::vector<Arg> args;
        int error, position;
    } rows[] = {
        {{3, 5}, 0, 4},
        {{3, 5, 140, -1, -1, 2}, 0, 3},
        {{3, 5, Arg::Table({{"undolevel", 3}})}, 0, 1},
        {{3, 5, Arg::Table({{"undolevel", 4}})}, ERR_FINDARRAY, 0},
        {{3, 5, 140, -1, -1, 0}, ERR_FINDARRAY, 0},
        {{3, 6}, 0, 2},
        {{8, 6}, ERR_FINDARRAY, 0},  // a text object 6 is not the brush 6
        {{3, 9}, ERR_FINDARRAY, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0].Describe() + " " + row.args[1].Describe() + " args " +
                     std::to_string(row.args.size()));
        int error = -1;
        const qzEffectContext t = Read(QZ_FXCMD_UNDO, row.args, &error);
        ASSERT_EQ(error, row.error);
        if (error) continue;
        EXPECT_EQ(t.mode, QZ_EFFECT_REMOVELAYER);
        EXPECT_EQ(t.hide, 1);
        EXPECT_EQ(t.undoType, 3);
        EXPECT_EQ(t.object.number, row.position);
    }
}

TEST_F(EffectCommands, GetRandomFXNeverGivesALayerUnsafeType) {
    Open(false);
    for (int i = 0; i < 2000; i++) {
        const double type = vm->CallNum("GetRandomFX", {1});
        ASSERT_EQ(type, int(type));
        ASSERT_GE(type, 0);
        ASSERT_LE(type, 139);
        ASSERT_NE(type, 113);
        ASSERT_EQ(IsEffectLayerSafe(int(type)), 1) << type;
    }
}

TEST_F(EffectCommands, AsyncTransitionFailsBeforeDrawing) {
    Open(false, 0x102030);
    vm->Ok("CreateBGPic", {2, 64, 48, 0xFF0000});
    EXPECT_EQ(vm->CallErr("DisplayTransitionFX", {2, Arg::Table({{"async", 1}, {"type", 0}})}), ERR_WRONGUSAGE);
    EXPECT_EQ(Pixel(1, 10, 10), 0x102030u);
    EXPECT_EQ(Pixel(1, 63, 47), 0x102030u);
}

}  // namespace

}  // namespace effect_commands_test

namespace effect_commands_test {

namespace {

// Whole effects through the commands: the stand-in wipe of type 0 and the scroll from the left.
constexpr int32_t kTypes[] = {0, 47};

// A picture deleted at the end of the test.
struct Picture {
    qzBitMap* bitmap;
    ~Picture() { DeleteBitMap(bitmap); }
};

class EffectCommandsRun : public EffectCommands {
protected:
    void SetUp() override {
        EffectCommands::SetUp();
        OverrideEffectRoutines(0, WipeStep, nullptr);
    }
    // "" when every pixel of the window is the colour, else where the first one is not.
    std::string Filled(uint32_t colour) {
        for (int32_t y = 0; y < 48; y++)
            for (int32_t x = 0; x < 64; x++)
                if (Pixel(1, x, y) != colour) {
                    char text[64];
                    snprintf(text, sizeof text, "at %d,%d: %06X", x, y, Pixel(1, x, y));
                    return text;
                }
        return "";
    }
    // A hidden (or shown) layer of a 30 x 20 pattern at 10, 6; its position.
    int32_t PatternLayer(bool hidden) {
        qzLayer* layer = nullptr;
        EXPECT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 10, 6, 30, 20, nullptr, nullptr, Pattern(30, 20),
                                    nullptr, nullptr, nullptr, -1, hidden ? uint32_t(QZ_ADDLAYER_HIDDEN) : 0u, &layer),
                  0);
        RefreshArea(*vm, 0, 0, 64, 48);
        return CountLayers(CurrentBGPic());
    }
};

TEST_F(EffectCommandsRun, PicturesAndClearedScreensEndExact) {
    Open(false, kBackground);
    vm->Ok("CreateBGPic", {2, 64, 48, 0xFF0000});
    for (int32_t type : kTypes) {
        SCOPED_TRACE(type);
        qzBGPic* first = CurrentBGPic();
        EXPECT_EQ(vm->Run("ClearScreen", {type}), "");
        EXPECT_EQ(Filled(0x000000), "");
        // The blank picture stays on display without a handle the script could free.
        qzBGPic* blank = CurrentBGPic();
        EXPECT_NE(blank, first);
        EXPECT_EQ(blank->layerOnly, 1);
        const int pictures = CountPictures();
        EXPECT_EQ(vm->Run("ClearScreen", {type, 0x00FF00, Arg::Table({{"speed", 7}})}), "");
        EXPECT_EQ(Filled(0x00FF00), "");
        // Each blank picture goes once the display shows another.
        EXPECT_EQ(CountPictures(), pictures);
        EXPECT_EQ(vm->Run("DisplayTransitionFX", {2, type, 5}), "");
        EXPECT_EQ(Filled(0xFF0000), "");
        EXPECT_EQ(CountPictures(), pictures - 1);
    }
}

TEST_F(EffectCommandsRun, LayersShownHiddenAndRemoved) {
    Open(true, kBackground);
    Picture picture{Pattern(30, 20)};
    for (int32_t type : kTypes) {
        SCOPED_TRACE(type);
        const int32_t position = PatternLayer(true);
        EXPECT_EQ(ScreenShowsBackground(), "");
        EXPECT_EQ(vm->Run("ShowLayerFX", {position, type, 4}), "");
        EXPECT_EQ(ScreenShows(picture.bitmap, 10, 6), "");
        EXPECT_EQ(vm->Run("HideLayerFX", {position, Arg::Table({{"type", type}, {"speed", 4}})}), "");
        EXPECT_EQ(ScreenShowsBackground(), "");
        EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), position)->hidden, 1);
        // Shown again in place: a scroll put it back where it stood.
        EXPECT_EQ(vm->Run("ShowLayerFX", {position, type, 4}), "");
        EXPECT_EQ(ScreenShows(picture.bitmap, 10, 6), "");
        EXPECT_EQ(vm->Run("RemoveLayerFX", {position, type, 4}), "");
        EXPECT_EQ(ScreenShowsBackground(), "");
        EXPECT_EQ(CountLayers(CurrentBGPic()), 0);
    }
}

TEST_F(EffectCommandsRun, UndoFXRemovesTheLayerOfItsLevel) {
    Open(true, kBackground);
    Add(5, 0, 0, 8, 8, 0xFF0000);
    Add(6, 20, 0, 8, 8, 0x00FF00);
    Add(5, 40, 0, 8, 8, 0x0000FF);
    RefreshArea(*vm, 0, 0, 64, 48);
    EXPECT_EQ(vm->Run("UndoFX", {3, 5, Arg::Table({{"type", 0}, {"undolevel", 2}})}), "");
    EXPECT_EQ(Ids(), (std::vector<int32_t>{6, 5}));
    EXPECT_EQ(Pixel(1, 2, 2), kBackground);
    EXPECT_EQ(Pixel(1, 42, 2), 0x0000FFu);
    EXPECT_EQ(vm->Run("UndoFX", {3, 5, 47, 4}), "");
    EXPECT_EQ(Ids(), (std::vector<int32_t>{6}));
    EXPECT_EQ(Pixel(1, 42, 2), kBackground);
    EXPECT_EQ(Pixel(1, 22, 2), 0x00FF00u);
    EXPECT_EQ(vm->Run("UndoFX", {3, 5, 0}), "ERR 1041");
}

TEST_F(EffectCommandsRun, AsyncScrollIsSteppedToItsEnd) {
    Open(true, kBackground);
    Picture picture{Pattern(30, 20)};
    const int32_t position = PatternLayer(true);
    ASSERT_EQ(vm->CallFresh("ShowLayerFX", {position, Arg::Table({{"type", 47}, {"speed", 8}, {"async", 1}})}), 0);
    ASSERT_EQ(vm->Results(), 1);
    void* handle = VmToUserdata(*vm, 1);
    ASSERT_NE(handle, nullptr);
    // From x = -30 to 10 at 8 pixels a frame: five frames, then the call that ends the object.
    std::vector<double> answers;
    for (int i = 0; i < 10; i++) {
        answers.push_back(vm->CallNum("AsyncDrawFrame", {Arg::Pointer(handle)}));
        if (answers.back() == 1) break;
        if (i == 0) {
            EXPECT_EQ(ScreenShows(picture.bitmap, -22, 6), "");
        }
    }
    EXPECT_EQ(answers, (std::vector<double>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(ScreenShows(picture.bitmap, 10, 6), "");
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), position)->hidden, 0);
}

TEST_F(EffectCommandsRun, BrushesAndPicturePartsLandWhereTheArgumentsSay) {
    delete vm;
    vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                              &qzDisplayLibrary,  &qzBrushLibrary, &qzBGPicLibrary,  &qzTransitionFXLibrary};
    Open(false, kBackground);
    vm->Ok("CreateBrush", {1, 16, 8, 0xFF0000});
    vm->Ok("CreateBGPic", {2, 64, 48, 0x00FF00});
    int32_t background = 10;
    for (bool layers : {false, true}) {
        if (layers) vm->Ok("EnableLayers");
        for (int32_t type : kTypes) {
            SCOPED_TRACE(std::to_string(layers) + " " + std::to_string(type));
            vm->Ok("CreateBGPic", {background, 64, 48, static_cast<double>(kBackground)});
            vm->Ok("DisplayBGPic", {background++});
            // A centred brush: x = (64 - 16) / 2.
            EXPECT_EQ(vm->Run("DisplayBrushFX", {1, -100000, 10, type, 6}), "");
            // A part of picture 2 at the position after the effect arguments.
            EXPECT_EQ(vm->Run("DisplayBGPicPartFX", {2, 0, 0, 8, 4, type, 6, -1, 40, 30}), "");
            const struct {
                int32_t x, y;
                uint32_t colour;
            } probes[] = {
                {24, 10, 0xFF0000},    {39, 17, 0xFF0000},  {23, 10, kBackground}, {40, 17, kBackground},
                {24, 18, kBackground}, {40, 30, 0x00FF00},  {47, 33, 0x00FF00},    {48, 33, kBackground},
                {47, 34, kBackground}, {0, 0, kBackground},
            };
            for (const auto& p : probes) EXPECT_EQ(Pixel(1, p.x, p.y), p.colour) << p.x << "," << p.y;
            EXPECT_EQ(CountLayers(CurrentBGPic()), layers ? 2 : 0);
        }
    }
}

}  // namespace

}  // namespace effect_commands_test
