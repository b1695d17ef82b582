// Video decoder streams: each operation reaches the decoder plugin's entry point with its
// arguments and hands back its result; streams that may not call their plugin answer 0.
#include <gtest/gtest.h>

#include <string>

#include "video/video_stream.h"

namespace video_stream_test {

namespace {

std::string calls;  // what the stand-in plugin was asked, in order
int handleWord;     // its decoder handle points here
char packetWord;
qzVideoFormatInfo seenFormat;

void Note(const std::string& text) { calls += calls.empty() ? text : " " + text; }

void* OpenVideo(const char* file, void* format) {
    seenFormat = *static_cast<qzVideoFormatInfo*>(format);
    Note(std::string("open:") + file);
    if (std::string(file) == "refused") return nullptr;
    auto* f = static_cast<qzVideoFormatInfo*>(format);
    f->width = 320;
    f->height = 200;
    return &handleWord;
}
void CloseVideo(void* handle) { Note(handle == &handleWord ? "close" : "close:wrong"); }
int NextPacket(void* handle, void* block) {
    Note(handle == &handleWord ? "next" : "next:wrong");
    auto* p = static_cast<qzVideoPacketBlock*>(block);
    p->packet = &packetWord;
    p->type = QZ_VIDEOPACKET_AUDIO;
    p->size = 99;
    p->timeStamp = 1.5;
    return 7;
}
void FreePacket(void* packet) { Note(packet == &packetWord ? "free" : "free:wrong"); }
int DecodeVideo(void* handle, void* packet, void* frame) {
    Note(handle == &handleWord && packet == &packetWord ? "video" : "video:wrong");
    static_cast<qzVideoFrameBlock*>(frame)->repeat = 2;
    return 3;
}
int DecodeAudio(void* handle, void* packet, void* audio) {
    Note(handle == &handleWord && packet == &packetWord ? "audio" : "audio:wrong");
    static_cast<qzVideoAudioBlock*>(audio)->done = 1;
    return 4;
}
int SeekVideo(void* handle, int64_t position, int seekMode) {
    Note((handle == &handleWord ? "seek:" : "seek:wrong:") + std::to_string(position) + "/" + std::to_string(seekMode));
    return position > 5000000000LL ? 1 : 0;
}
void FlushAudio(void* handle) { Note(handle == &handleWord ? "flushaudio" : "flushaudio:wrong"); }
void FlushVideo(void* handle, intptr_t) { Note(handle == &handleWord ? "flushvideo" : "flushvideo:wrong"); }
int64_t GetVideoFrames(void* handle, intptr_t) {
    Note(handle == &handleWord ? "frames" : "frames:wrong");
    return 6000000000LL;
}
const char* GetVideoFormat(void* handle, intptr_t) {
    Note(handle == &handleWord ? "format" : "format:wrong");
    return "Stand-in";
}

qzPluginInfo StandIn() {
    qzPluginInfo info{};
    info.OpenVideo = OpenVideo;
    info.CloseVideo = CloseVideo;
    info.NextPacket = NextPacket;
    info.FreePacket = FreePacket;
    info.DecodeVideoFrame = DecodeVideo;
    info.DecodeAudioFrame = DecodeAudio;
    info.SeekVideo = SeekVideo;
    info.FlushAudio = FlushAudio;
    info.FlushVideo = FlushVideo;
    info.GetVideoFrames = GetVideoFrames;
    info.GetVideoFormat = GetVideoFormat;
    return info;
}

// Runs every operation once and notes the results beside the plugin's calls.
std::string RunEveryOperation(qzVideoStream* stream) {
    std::string results;
    qzVideoPacketBlock packet{};
    const int next = VideoStreamNextPacket(stream, &packet);
    results += std::to_string(next) + " " + std::to_string(packet.type) + "/" + std::to_string(packet.size);
    qzVideoFrameBlock frame{};
    const int video = VideoStreamDecodeVideo(stream, &packetWord, &frame);
    results += " " + std::to_string(video) + "/" + std::to_string(frame.repeat);
    qzVideoAudioBlock audio{};
    const int sound = VideoStreamDecodeAudio(stream, &packetWord, &audio);
    results += " " + std::to_string(sound) + "/" + std::to_string(audio.done);
    VideoStreamFreePacket(stream, &packetWord);
    results += " " + std::to_string(VideoStreamSeek(stream, 6000000000LL, QZ_VIDEO_SEEK_BYTES));
    VideoStreamRewind(stream, QZ_VIDEO_SEEK_TIME);
    VideoStreamFlushVideo(stream);
    results += " " + std::to_string(VideoStreamFrameCount(stream));
    const char* name = VideoStreamFormatName(stream);
    results += std::string(" ") + (name ? name : "null");
    CloseVideoStream(stream);
    return results;
}

}  // namespace

TEST(VideoStream, PluginStreamCallsEachEntryPointWithItsArguments) {
    calls.clear();
    qzPluginInfo info = StandIn();
    qzVideoFormatInfo format;
    qzVideoStream stream;
    EXPECT_FALSE(OpenPluginVideoStream(&info, "refused", nullptr, &format, &stream));
    EXPECT_EQ(stream.kind, (uint32_t)QZ_VIDEOSTREAM_NONE);
    ASSERT_TRUE(OpenPluginVideoStream(&info, "movie.vid", "memfs", &format, &stream));
    // The decoder sees a zeroed block with the file-size marker pair and the adapter list.
    EXPECT_EQ(seenFormat.fileSizeHigh, 0xFFFFFFFFu);
    EXPECT_EQ(seenFormat.fileSizeLow, 0xFFFFFFFEu);
    EXPECT_STREQ(seenFormat.adapter, "memfs");
    EXPECT_EQ(seenFormat.width, 0u);
    EXPECT_EQ(format.width, 320u);
    EXPECT_EQ(stream.kind, (uint32_t)QZ_VIDEOSTREAM_PLUGIN);

    calls.clear();
    EXPECT_EQ(RunEveryOperation(&stream), "7 1/99 3/2 4/1 1 6000000000 Stand-in");
    EXPECT_EQ(calls, "next video audio free seek:6000000000/1 seek:0/0 flushaudio flushvideo frames format close");
    EXPECT_EQ(stream.kind, (uint32_t)QZ_VIDEOSTREAM_NONE);
    EXPECT_EQ(stream.handle, nullptr);
}

TEST(VideoStream, StreamsThatMayNotCallTheirPluginAnswerZero) {
    qzPluginInfo stub = StandIn();
    stub.callMode = QZ_PLUGIN_CALLMODE_STUB;
    qzPluginInfo disabled = StandIn();
    disabled.disabled = 1;
    qzPluginInfo standIn = StandIn();
    const struct {
        const char* name;
        qzVideoStream stream;
    } rows[] = {
        {"stub plugin", {&stub, &handleWord, QZ_VIDEOSTREAM_PLUGIN}},
        {"unknown kind", {&standIn, &handleWord, 7}},
        {"zeroed record", {nullptr, nullptr, QZ_VIDEOSTREAM_NONE}},
    };
    for (const auto& row : rows) {
        calls.clear();
        qzVideoStream stream = row.stream;
        EXPECT_EQ(RunEveryOperation(&stream), "0 0/0 0/0 0/0 0 0 null") << row.name;
        EXPECT_EQ(calls, "") << row.name;
    }
    // Neither a stub nor a disabled plugin is offered a file.
    calls.clear();
    qzVideoFormatInfo format;
    qzVideoStream stream;
    EXPECT_FALSE(OpenPluginVideoStream(&stub, "movie.vid", nullptr, &format, &stream));
    EXPECT_FALSE(OpenPluginVideoStream(&disabled, "movie.vid", nullptr, &format, &stream));
    EXPECT_EQ(calls, "");
}

}  // namespace video_stream_test
