// The video engine on a stand-in decoder of solid-colour frames (frame i has colour i) with an
// optional mono sound track: pictures shown in order at their times (also from frame durations
// and repeat counts alone), the end reported once, stop, restart, pause, resume and seek, every
// packet freed exactly once, pictures kept in step with the sound heard, and a machine too slow to
// draw every picture drops frames instead of drifting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_events.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "support/headless_start.h"
#include "video/video_engine.h"

namespace video_engine_test {

namespace {

// What the stand-in decoder plays; set before a stream is opened.
struct Script {
    int frames = 25;
    double frameDuration = 0.02;
    int stamps = 1;       // frames carry their time as stamp A
    uint32_t repeat = 0;  // repeat count of every frame
    int sound = 0;        // a mono track at kRate: one packet per frame
    int drawDelayMs = 0;  // each picture takes this long to draw
};
constexpr int32_t kRate = 16000;
constexpr int kWidth = 8, kHeight = 4;

Script script;
std::atomic<int> allocated{0}, freed{0};

struct Packet {
    int index;
    int audio;
};

struct Decoder {
    int next;          // the next frame to read
    int audioPending;  // the frame whose sound comes next, -1: none
};

void* OpenVideo(const char*, void* block) {
    auto* f = static_cast<qzVideoFormatInfo*>(block);
    f->width = kWidth;
    f->height = kHeight;
    f->duration = static_cast<uint32_t>(script.frames * script.frameDuration * 1000.0 + 0.5);
    f->frames32 = 1;
    f->flags = QZ_VIDEOFORMAT_CANSEEK;
    f->frameDuration = script.frameDuration;
    if (script.sound) {
        f->channels = 1;
        f->sampleRate = kRate;
    }
    return new Decoder{0, -1};
}
void CloseVideo(void* handle) { delete static_cast<Decoder*>(handle); }
int NextPacket(void* handle, void* block) {
    auto* d = static_cast<Decoder*>(handle);
    auto* p = static_cast<qzVideoPacketBlock*>(block);
    if (d->audioPending >= 0) {
        p->packet = new Packet{d->audioPending, 1};
        p->type = QZ_VIDEOPACKET_AUDIO;
        p->size = static_cast<uint32_t>(kRate * script.frameDuration) * 2;
        p->timeStamp = d->audioPending * script.frameDuration;
        d->audioPending = -1;
        allocated++;
        return 0;
    }
    if (d->next >= script.frames) return -1;
    p->packet = new Packet{d->next, 0};
    p->type = QZ_VIDEOPACKET_VIDEO;
    p->size = kWidth * kHeight * 4;
    p->timeStamp = d->next * script.frameDuration;
    if (script.sound) d->audioPending = d->next;
    d->next++;
    allocated++;
    return 0;
}
void FreePacket(void* packet) {
    delete static_cast<Packet*>(packet);
    freed++;
}
int DecodeVideo(void*, void* packet, void* block) {
    auto* p = static_cast<Packet*>(packet);
    auto* f = static_cast<qzVideoFrameBlock*>(block);
    auto* pixels = reinterpret_cast<uint32_t*>(f->planes[0]);
    for (int i = 0; i < kWidth * kHeight; i++) pixels[i] = 0xFF000000u | static_cast<uint32_t>(p->index);
    f->rowBytes[0] = kWidth * 4;
    f->repeat = script.repeat;
    f->positionTag = static_cast<uint32_t>(p->index);
    if (script.stamps) f->timeStampA = p->index * script.frameDuration;
    return 0;
}
// The sound of frame i: samples of value 1000 + i.
int DecodeAudio(void*, void* packet, void* block) {
    auto* p = static_cast<Packet*>(packet);
    auto* a = static_cast<qzVideoAudioBlock*>(block);
    uint32_t samples = static_cast<uint32_t>(kRate * script.frameDuration);
    auto* out = static_cast<int16_t*>(a->buffer);
    for (uint32_t s = 0; s < samples; s++) out[s] = static_cast<int16_t>(1000 + p->index);
    a->produced = samples * 2;
    a->done = 1;
    return 0;
}
int SeekVideo(void* handle, int64_t ms, int) {
    auto* d = static_cast<Decoder*>(handle);
    int frame = static_cast<int>(ms / (script.frameDuration * 1000.0) + 0.5);
    if (frame > script.frames) return 1;
    d->next = frame;
    d->audioPending = -1;
    return 0;
}
void Flush(void*) {}
void FlushVideo(void*, intptr_t) {}
int64_t Frames(void*, intptr_t) { return script.frames; }
const char* Format(void*, intptr_t) { return "Stand-in"; }

qzPluginInfo StandIn() {
    qzPluginInfo info{};
    info.OpenVideo = OpenVideo;
    info.CloseVideo = CloseVideo;
    info.NextPacket = NextPacket;
    info.FreePacket = FreePacket;
    info.DecodeVideoFrame = DecodeVideo;
    info.DecodeAudioFrame = DecodeAudio;
    info.SeekVideo = SeekVideo;
    info.FlushAudio = Flush;
    info.FlushVideo = FlushVideo;
    info.GetVideoFrames = Frames;
    info.GetVideoFormat = Format;
    return info;
}

struct Shown {
    uint32_t frame;
    double wall;
    double audioLead;  // the audio clock minus the frame's time when it was drawn
};

struct VideoEngine : ::testing::Test {
    qzPluginInfo info = StandIn();
    qzVideoPlayer* player = nullptr;
    std::mutex mutex;
    std::vector<Shown> shown;
    std::atomic<int> endedCalls{0};
    bool driver = false;

    void SetUp() override {
        script = Script{};
        allocated = 0;
        freed = 0;
    }
    void TearDown() override {
        CloseVideoPlayer(player);
        EXPECT_EQ(allocated.load(), freed.load()) << "every packet is freed once";
        if (driver) {
            FreeSoundEventsAtExit();
            HostStopDriver();
        }
    }

    void StartSound() {
        ASSERT_TRUE(qztest::StartHeadlessDriver(false));
        driver = true;
        ASSERT_EQ(InitSoundEventMutex(), 0);
        ASSERT_EQ(InitSoundChannels(8, 30), 0);
    }

    static void Draw(void* user, qzVideoEngine* e, const uint32_t* pixels, int32_t width, int32_t height,
                     int32_t rowLength) {
        auto* t = static_cast<VideoEngine*>(user);
        ASSERT_EQ(width, kWidth);
        ASSERT_EQ(height, kHeight);
        uint32_t colour = pixels[0];
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++) ASSERT_EQ(pixels[y * rowLength + x], colour);
        double lead = AudioClock(e) - (colour & 0xFFFF) * script.frameDuration;
        {
            std::lock_guard<std::mutex> lock(t->mutex);
            t->shown.push_back({colour & 0xFFFF, VideoWallTime(), lead});
        }
        if (script.drawDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(script.drawDelayMs));
    }
    static void Ended(void* user, qzVideoEngine*) { static_cast<VideoEngine*>(user)->endedCalls++; }

    void Open() {
        qzVideoFormatInfo format;
        qzVideoStream stream;
        ASSERT_TRUE(OpenPluginVideoStream(&info, "stand-in", nullptr, &format, &stream));
        ASSERT_EQ(OpenVideoPlayerOnStream(&stream, &format, &player), 0);
        qzVideoOutput output = {Draw, Ended, this};
        SetVideoPlayerOutput(player, &output);
    }
    int Start() { return StartVideoPlayer(player, qzObjectId{}, nullptr, 0, 0, kWidth, kHeight, 64, 0, nullptr); }

    std::vector<Shown> Frames() {
        std::lock_guard<std::mutex> lock(mutex);
        return shown;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        shown.clear();
    }
    // Waits until the video has ended (at most `seconds`).
    bool WaitEnd(double seconds) {
        for (int i = 0; i < seconds * 100 && !player->engine->ended.load(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return player->engine->ended.load() != 0;
    }
    bool WaitFrame(uint32_t frame, double seconds) {
        for (int i = 0; i < seconds * 100; i++) {
            for (const Shown& s : Frames())
                if (s.frame >= frame) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(VideoEngine, PicturesFollowTheirTimesAndTheEndIsReportedOnce) {
    // Each frame lasts its duration, plus half a duration per repeat when the decoder has no stamps.
    const struct {
        int stamps;
        uint32_t repeat;
        double span;  // seconds from the first picture to the last
    } rows[] = {{1, 0, 24 * 0.02}, {0, 0, 24 * 0.02}, {0, 2, 24 * 0.04}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "stamps " << r.stamps << " repeat " << r.repeat);
        script.stamps = r.stamps;
        script.repeat = r.repeat;
        CloseVideoPlayer(player);
        player = nullptr;
        Clear();
        endedCalls = 0;
        Open();
        ASSERT_EQ(Start(), 0);
        ASSERT_TRUE(WaitEnd(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(endedCalls.load(), 1);
        std::vector<Shown> s = Frames();
        ASSERT_GE(s.size(), 15u);
        for (size_t i = 1; i < s.size(); i++) EXPECT_GT(s[i].frame, s[i - 1].frame);
        EXPECT_EQ(s.back().frame, 24u);
        double span = s.back().wall - s.front().wall;
        EXPECT_NEAR(span, r.span, 0.15);
        StopVideoPlayer(player, 1);
    }
}

TEST_F(VideoEngine, StopRestartPauseResumeAndSeek) {
    script.frames = 100;
    Open();
    ASSERT_EQ(Start(), 0);
    ASSERT_TRUE(WaitFrame(10, 5));
    // Stopped in mid-play: the threads end at once; the next start plays from the beginning.
    StopVideoPlayer(player, 1);
    EXPECT_GE(GetVideoPosition(player), 150u);
    Clear();
    ASSERT_EQ(Start(), 0);
    ASSERT_TRUE(WaitFrame(5, 5));
    // (A loaded machine may drop a late first picture or two.)
    EXPECT_LE(Frames().front().frame, 2u);

    // Paused: nothing more is shown and the position stands still; resumed, it goes on.
    PauseVideoPlayer(player);
    uint32_t position = GetVideoPosition(player);
    size_t count = Frames().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(Frames().size(), count);
    EXPECT_EQ(GetVideoPosition(player), position);
    ResumeVideoPlayer(player);
    ASSERT_TRUE(WaitFrame(Frames().back().frame + 3, 5));

    // A seek while playing: the pictures go on from the frame at that time.
    ASSERT_EQ(SeekVideoPlayer(player, 1600), 0);
    ASSERT_TRUE(WaitFrame(82, 5));
    std::vector<Shown> s = Frames();
    auto jump = std::find_if(s.begin(), s.end(), [](const Shown& x) { return x.frame >= 80; });
    ASSERT_NE(jump, s.end());
    EXPECT_LE(jump->frame, 82u);
    StopVideoPlayer(player, 1);

    // A stopped video's seek is kept for the next start; a position past the end is refused then.
    Clear();
    ASSERT_EQ(SeekVideoPlayer(player, 1000), 0);
    EXPECT_EQ(GetVideoPosition(player), 1000u);
    ASSERT_EQ(Start(), 0);
    ASSERT_TRUE(WaitFrame(51, 5));
    EXPECT_GE(Frames().front().frame, 50u);
    EXPECT_LE(Frames().front().frame, 52u);
    StopVideoPlayer(player, 1);
    ASSERT_EQ(SeekVideoPlayer(player, 900000), 0);
    EXPECT_EQ(Start(), ERR_SEEKRANGE);
    EXPECT_EQ(player->engine->started, 0);
    Clear();
    ASSERT_EQ(Start(), 0);
    ASSERT_TRUE(WaitFrame(3, 5));
    EXPECT_LE(Frames().front().frame, 2u);
}

// A machine too slow to draw its pictures in time drops frames, but the last picture of the file
// is always drawn: it is what stays on screen.
TEST_F(VideoEngine, ASlowMachineStillDrawsTheLastPicture) {
    script.frames = 30;
    script.frameDuration = 0.01;
    script.drawDelayMs = 60;
    Open();
    ASSERT_EQ(Start(), 0);
    ASSERT_TRUE(WaitEnd(10));
    std::vector<Shown> s = Frames();
    ASSERT_FALSE(s.empty());
    EXPECT_LT(s.size(), 30u) << "a slow machine drops frames";
    EXPECT_EQ(s.back().frame, 29u);
}

// Stopped while a seek waits for the server, which holds both pictures and waits for one to be
// drawn: every thread ends and the stop returns.
TEST_F(VideoEngine, StopEndsThreadsThatWaitForEachOther) {
    script.frames = 100;
    script.drawDelayMs = 300;
    Open();
    ASSERT_EQ(Start(), 0);
    ASSERT_TRUE(WaitFrame(0, 5));
    ASSERT_EQ(SeekVideoPlayer(player, 1000), 0);
    std::atomic<bool> done{false};
    std::thread watchdog([&done] {
        for (int i = 0; i < 1000 && !done.load(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done.load()) {
            std::fprintf(stderr, "the stop did not return\n");
            std::_Exit(1);
        }
    });
    StopVideoPlayer(player, 1);
    done = true;
    watchdog.join();
    EXPECT_EQ(player->engine->started, 0);
}

TEST_F(VideoEngine, PicturesKeepInStepWithTheSound) {
    StartSound();
    // A machine fast enough, and one that takes one and a half frame durations to draw a picture.
    const struct {
        int drawDelayMs;
        bool drops;
    } rows[] = {{0, false}, {30, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "draw delay " << r.drawDelayMs);
        script = Script{};
        script.frames = 100;
        script.sound = 1;
        script.drawDelayMs = r.drawDelayMs;
        CloseVideoPlayer(player);
        player = nullptr;
        Clear();
        Open();
        ASSERT_EQ(Start(), 0);
        int32_t channel = player->engine->audio.channelIndex;
        ASSERT_GE(channel, 0);
        EXPECT_EQ(GetSoundChannels()[channel].state.load(), QZ_CHANNEL_VIDEO);
        ASSERT_TRUE(WaitEnd(10));
        std::vector<Shown> s = Frames();
        ASSERT_GE(s.size(), 10u);
        // Once the sound runs, every picture is drawn within a frame's time of the sound heard; a
        // machine too slow for every picture drops some and stays near the sound, never drifting.
        std::vector<double> leads;
        for (const Shown& x : s)
            if (x.frame >= 10) leads.push_back(x.audioLead);
        ASSERT_GE(leads.size(), 9u);
        double firstThird = 0, lastThird = 0;
        size_t third = leads.size() / 3;
        for (size_t i = 0; i < third; i++) {
            firstThird += leads[i] / third;
            lastThird += leads[leads.size() - 1 - i] / third;
        }
        for (double& l : leads) l = std::fabs(l);
        std::sort(leads.begin(), leads.end());
        double median = leads[leads.size() / 2];
        if (!r.drops) {
            EXPECT_LT(median, script.frameDuration);
            EXPECT_LT(leads[leads.size() * 9 / 10], 3 * script.frameDuration);
        } else {
            EXPECT_LT(median, 5 * script.frameDuration);
            EXPECT_LT(std::fabs(lastThird - firstThird), 5 * script.frameDuration) << "drift";
            EXPECT_LT(s.size(), 90u) << "a slow machine drops frames";
        }
        StopVideoPlayer(player, 1);
        EXPECT_EQ(GetSoundChannels()[channel].state.load(), QZ_CHANNEL_FREE);
    }
}

// The refresh thread's choice for one picture by the audio clock, and a simulated slow machine:
// pictures 40 ms apart, each taking 60 ms to draw, the clock moving only as the loop waits and
// draws. Every picture drawn is within a frame of the sound, and whole frames are dropped.
TEST(VideoPictureTiming, ASlowMachineDropsFramesRatherThanDrifting) {
    const struct {
        double presentation, next, clock, sinceDrawn;
        int expected;
    } rows[] = {
        {1.00, 1.04, 1.00, 0.0, QZ_PICTURE_SHOW},   // on time
        {1.00, 1.04, 0.997, 0.0, QZ_PICTURE_SHOW},  // a few milliseconds early
        {1.00, 1.04, 0.98, 0.0, QZ_PICTURE_WAIT},   // the sound has not reached it
        {1.00, 1.04, 1.039, 0.0, QZ_PICTURE_SHOW},  // late, within its frame
        {1.00, 1.04, 1.04, 0.0, QZ_PICTURE_DROP},   // the next picture is due
        {1.00, 1.04, 3.00, 0.0, QZ_PICTURE_DROP},
        {1.00, 1.04, 3.00, 1.0, QZ_PICTURE_SHOW},  // nothing drawn for a second
        {1.00, -1.0, 3.00, 0.0, QZ_PICTURE_SHOW},  // the last picture
        {1.00, 1.04, 20.0, 0.0, QZ_PICTURE_SHOW},  // clocks too far apart to compare
        {20.0, 20.04, 1.00, 0.0, QZ_PICTURE_SHOW},
        {1.00, 1.04, 0.98, 1.5, QZ_PICTURE_SHOW},
    };
    for (const auto& r : rows)
        EXPECT_EQ(VideoPictureTiming(r.presentation, r.next, r.clock, r.sinceDrawn), r.expected)
            << r.presentation << " " << r.next << " " << r.clock << " " << r.sinceDrawn;

    const double frame = 0.04, draw = 0.06;
    double clock = 0, lastDrawn = 0, worst = 0;
    int shown = 0, dropped = 0;
    for (int n = 0; n < 250;) {
        const double p = n * frame;
        switch (VideoPictureTiming(p, (n + 1) * frame, clock, clock - lastDrawn)) {
        case QZ_PICTURE_WAIT: clock = p; break;
        case QZ_PICTURE_DROP:
            ++dropped;
            ++n;
            break;
        default:
            worst = std::max(worst, clock - p);
            ++shown;
            lastDrawn = clock;
            clock += draw;
            ++n;
        }
    }
    EXPECT_LT(worst, frame);
    EXPECT_NEAR(shown, 250 * frame / draw, 3);
    EXPECT_EQ(shown + dropped, 250);
}

}  // namespace

}  // namespace video_engine_test
