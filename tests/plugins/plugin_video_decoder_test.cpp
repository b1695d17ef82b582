// Video-decoder plugins: loader lists choose which plugin decodes a file, the plugin receives the
// file-adapter list, and its packets, frames, seeks and names pass through the video stream; every
// packet goes back to it and the video is closed.
#include <string>

#include "platform/plugin_video.h"
#include "plugins/plugin_fixture.h"
#include "video/video_stream.h"

namespace plugin_video_decoder_test {

using plugintest::PluginTest;

namespace {

// The colour of each frame the stream decodes, in order, as "ff0000 00ff00 ...".
std::string Frames(const qzVideoStream* stream, const qzVideoFormatInfo& format) {
    std::vector<uint32_t> pixels(size_t(format.width) * format.height);
    std::string out;
    for (int guard = 0; guard < 100; ++guard) {
        qzVideoPacketBlock packet{};
        const int result = VideoStreamNextPacket(stream, &packet);
        if (result == -1) break;
        if (result < 0) continue;
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(pixels.data()), nullptr, nullptr, nullptr};
        uint32_t rowBytes[4] = {};
        qzVideoFrameBlock frame{planes, rowBytes, 0, 0, 0.0, 0.0};
        char text[16];
        if (VideoStreamDecodeVideo(stream, packet.packet, &frame) == 0) {
            std::snprintf(text, sizeof text, "%s%06x", out.empty() ? "" : " ", pixels.back());
            out += text;
        }
        VideoStreamFreePacket(stream, packet.packet);
    }
    return out;
}

}  // namespace

TEST_F(PluginTest, VideoDecoderPluginsServeTheLoaderListsThatSelectThem) {
    qzPluginRecord* record = LoadAndInit("videodecoder", "colours.qzp");
    qzPluginRecord* noauto = LoadAndInit("videodecoder", "noautocolours.qzp");
    ASSERT_TRUE(record && noauto);
    const qzPluginInfo* info = record->handle->info;
    const qzPluginInfo* named = noauto->handle->info;
    const struct {
        const char* loader;
        const qzPluginInfo* decoder;  // null: no decoder takes the file
    } rows[] = {
        {nullptr, info},      {"default", info},   {"plugin", info},   {"colo", info},   {"noautocolours", named},
        {"inbuilt", nullptr}, {"native", nullptr}, {"other", nullptr}, {"plugin", info},  // once named, the plugin that
                                                                                          // asked not to be activated
                                                                                          // serves only when named
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.loader ? row.loader : "no list");
        qzVideoFormatInfo format;
        qzVideoStream stream;
        const bool opened = OpenVideoStream("video:6x4x3", row.loader, "memfs", &format, &stream);
        ASSERT_EQ(opened, row.decoder != nullptr);
        if (!opened) continue;
        EXPECT_EQ(stream.plugin, row.decoder);
        EXPECT_EQ(stream.kind, (uint32_t)QZ_VIDEOSTREAM_PLUGIN);
        EXPECT_EQ(format.width * 100 + format.height, 604u);
        EXPECT_EQ(format.duration, 300u);
        EXPECT_EQ(VideoStreamFrameCount(&stream), 3);
        EXPECT_STREQ(VideoStreamFormatName(&stream), "Coloured frames");
        EXPECT_EQ(Frames(&stream, format), "ff0000 00ff00 0000ff");
        EXPECT_EQ(VideoStreamSeek(&stream, 150, QZ_VIDEO_SEEK_TIME), 0);
        EXPECT_EQ(Frames(&stream, format), "00ff00 0000ff");
        EXPECT_NE(VideoStreamSeek(&stream, 300, QZ_VIDEO_SEEK_TIME), 0);
        VideoStreamRewind(&stream, QZ_VIDEO_SEEK_TIME);
        EXPECT_EQ(Frames(&stream, format), "ff0000 00ff00 0000ff");
        // Every packet went back, and the close releases the video.
        EXPECT_EQ(row.decoder->userData, 1000);
        CloseVideoStream(&stream);
        EXPECT_EQ(row.decoder->userData, 0);
    }
    EXPECT_EQ(named->activatedByList, 1u);
    EXPECT_EQ(filetest::ReadFile(dir / "colours.qzp.log"), "open adapter=memfs\n");
}

}  // namespace plugin_video_decoder_test
