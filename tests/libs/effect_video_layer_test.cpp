// Effects on a layer that shows a video: while the video plays, the effect runs asynchronously
// (its layer keeps changing) and the driver steps it to its end itself; otherwise it runs as asked.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "display/display.h"
#include "fx/fx_fixture.h"
#include "libs/graphics/graphics.h"
#include "libs/transitionfx/transitionfx_lib.h"
#include "libs/video/video_commands.h"
#include "runtime/object_registry.h"
#include "video/video_engine.h"
#include "vm/vm.h"

namespace effect_video_layer_test {

using qztest::Arg;

namespace {

// What the step routine saw of the context at its set-up.
int32_t seenAsync = -1, seenForced = -1;

int RecordingStep(qzEffectContext* c, int32_t* done) {
    if (c->phase == QZ_EFFECT_PHASE_SETUP) {
        seenAsync = c->async;
        seenForced = c->forcedAsync;
    }
    return FxTest::WipeStep(c, done);
}

class EffectVideoLayer : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,       &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBGPicLibrary, &qzTransitionFXLibrary, &qzVideoLibrary};
        OverrideEffectRoutines(0, RecordingStep, nullptr);
    }
    void TearDown() override {
        OverrideEffectRoutines(0, nullptr, nullptr);
        // The stand-in video has no player: it is taken out before the library frees its list.
        if (video.header.type) RemoveObjectFromList(&qzVideoList, &video.header);
        FxTest::TearDown();
    }
    // Video 5 in the library's list, in the state, with a player that has no engine (nothing plays
    // it).
    void StandInVideo(int32_t state) {
        if (!video.header.type) AddObjectToList(&qzVideoList, &video.header, QZ_TYPE_VIDEO, {5, nullptr});
        video.player = &player;
        video.state.store(state);
    }
    qzVideoPlayer player{};
    qzVideo video{};
};

TEST_F(EffectVideoLayer, PlayingVideoForcesTheEffectToRunAsynchronouslyToItsEnd) {
    const struct {
        int32_t state;
        bool async;  // asked by the script
        int32_t seenAsync, seenForced;
        bool handle;  // the script gets the object
    } rows[] = {
        {QZ_VIDEO_PLAYING, false, 1, 1, false},
        {QZ_VIDEO_PLAYING, true, 1, 1, false},
        {QZ_VIDEO_PAUSED, false, 0, 0, false},
        {QZ_VIDEO_STOPPED, true, 1, 0, true},
    };
    OpenCurrent(
        1, Arg::Table({{"width", 64}, {"height", 48}, {"layers", true}, {"color", static_cast<double>(kBackground)}}));
    screen = 1;
    qzBitMap* picture = Pattern(30, 20);
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "state " << r.state << (r.async ? ", async" : ""));
        StandInVideo(r.state);
        qzLayer* layer = nullptr;
        ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_VIDEO, {5, nullptr}, 10, 6, 30, 20, nullptr, nullptr, Pattern(30, 20),
                                    nullptr, nullptr, nullptr, -1, QZ_ADDLAYER_HIDDEN, &layer),
                  0);
        const int32_t position = CountLayers(CurrentBGPic());
        seenAsync = seenForced = -1;
        ASSERT_EQ(vm->CallFresh("ShowLayerFX", {position, Arg::Table({{"type", 0}, {"speed", 8}, {"async", r.async}})}),
                  0);
        EXPECT_EQ(seenAsync, r.seenAsync);
        EXPECT_EQ(seenForced, r.seenForced);
        if (!r.handle) {
            EXPECT_EQ(vm->Results(), 0);
            // Ended: the layer shows the picture and no asynchronous draw object is left.
            EXPECT_EQ(IsAsyncDrawDisplay(CurrentDisplay()), 0);
            EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), position)->hidden, 0);
            EXPECT_EQ(ScreenShows(picture, 10, 6), "");
        } else {
            ASSERT_EQ(vm->Results(), 1);
            vm->Ok("CancelAsyncDraw", {Arg::Pointer(VmToUserdata(*vm, 1))});
        }
        // Stopped, so that removing the layer has no video to stop.
        video.state.store(QZ_VIDEO_STOPPED);
        vm->Ok("RemoveLayer", {position});
    }
    DeleteBitMap(picture);
}

}  // namespace

}  // namespace effect_video_layer_test
