// Sound sources and decoders: files made by sox and ffmpeg decode to the same samples as ffmpeg
// gives, hand-made IFF and WAVE files cover the headers' corner cases, and hostile lengths never
// reach past the file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "media/sound/sound_decoders.h"
#include "media/sound/sound_plugin_blocks.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "platform/audio_file.h"
#include "platform/os_alloc.h"
#include "platform/plugin_api.h"
#include "runtime/plugin_manager.h"
#include "sound_test_util.h"

namespace sound_decoder_test {

namespace {

using namespace soundtest;

// The sound's samples as 16-bit levels (8-bit values times 256), interleaved.
std::vector<int16_t> Levels(const qzSound* sound) {
    std::vector<int16_t> out(static_cast<size_t>(sound->frames) * sound->channels);
    for (size_t i = 0; i < out.size(); i++) {
        int32_t v = GetSoundSampleValue(sound, i);
        out[i] = static_cast<int16_t>(sound->bits == 8 ? v * 256 : v);
    }
    return out;
}

struct Loaded {
    int error = -1;
    qzSound* sound = nullptr;
    qzSoundLoader loader = nullptr;
    ~Loaded() { FreeSoundRecord(sound); }
};

void Load(const std::string& path, Loaded* out, const char* loaders = nullptr) {
    out->error =
        LoadSoundAsSample(path.c_str(), loaders, nullptr, &out->sound, nullptr, nullptr, nullptr, &out->loader);
}

TEST(SoundDecoders, FilesFromSoxAndFfmpegDecodeAsFfmpegDecodesThem) {
    TempDir dir;
    const struct {
        const char* name;
        const char* make;  // writes "%s"
        int channels;
        uint32_t rate;
        int32_t format;  // engine code
        qzSoundLoader loader;
        const char* formatName;
    } rows[] = {
        {"u8.wav", "sox -n -r 11025 -b 8 -e unsigned-integer -c 1 %s synth 0.2 sine 440", 1, 11025, 0,
         QZ_LOADER_INBUILT, "RIFF WAVE"},
        {"u8s.wav", "sox -n -r 22050 -b 8 -e unsigned-integer -c 2 %s synth 0.2 sine 440 sine 880", 2, 22050, 1,
         QZ_LOADER_INBUILT, "RIFF WAVE"},
        {"s16.wav", "sox -n -r 44100 -b 16 -e signed-integer -c 1 %s synth 0.2 sine 1000 vol 0.9", 1, 44100, 4,
         QZ_LOADER_INBUILT, "RIFF WAVE"},
        {"s16s.wav", "sox -n -r 48000 -b 16 -e signed-integer -c 2 %s synth 0.2 sine 300 sine 500", 2, 48000, 5,
         QZ_LOADER_INBUILT, "RIFF WAVE"},
        {"m.8svx", "sox -n -r 8000 -b 8 -e signed-integer -c 1 %s synth 0.3 sine 300", 1, 8000, 2, QZ_LOADER_INBUILT,
         "IFF 8SVX"},
        {"st.8svx", "sox -n -r 16000 -b 8 -e signed-integer -c 2 %s synth 0.3 sine 300 sine 700", 2, 16000, 3,
         QZ_LOADER_INBUILT, "IFF 8SVX"},
        {"be.aiff", "sox -n -r 22050 -b 16 -e signed-integer -c 2 %s synth 0.2 sine 300 sine 400", 2, 22050, 5,
         QZ_LOADER_NATIVE, "AIFF"},
        {"a.flac", "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=500:sample_rate=32000:duration=0.4 %s", 1,
         32000, 4, QZ_LOADER_NATIVE, "Mac Audio File"},
        {"cbr.mp3",
         "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.5 -b:a 128k %s", 1,
         44100, 4, QZ_LOADER_NATIVE, "MPEG Audio"},
        {"s24.wav", "sox -n -r 8000 -b 24 -e signed-integer -c 1 %s synth 0.1 sine 200", 1, 8000, 4, QZ_LOADER_NATIVE,
         "RIFF WAVE"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string path = dir.File(r.name);
        char command[512];
        std::snprintf(command, sizeof command, r.make, ("'" + path + "'").c_str());
        ASSERT_TRUE(Shell(command)) << command;
        Loaded loaded;
        Load(path, &loaded);
        ASSERT_EQ(loaded.error, 0);
        EXPECT_EQ(loaded.sound->channels, static_cast<uint32_t>(r.channels));
        EXPECT_EQ(loaded.sound->rate, r.rate);
        EXPECT_EQ(loaded.sound->format, r.format);
        EXPECT_EQ(loaded.loader, r.loader);
        EXPECT_EQ(Levels(loaded.sound), FfmpegS16(path, r.channels));

        const char* name = nullptr;
        EXPECT_EQ(GetSoundFileFormatName(path.c_str(), nullptr, nullptr, &name), 1);
        EXPECT_STREQ(name, r.formatName);
    }
}

TEST(SoundDecoders, MpegBitRatesOfConstantAndVariableFiles) {
    TempDir dir;
    std::string cbr = dir.File("cbr.mp3"), vbr = dir.File("vbr.mp3");
    ASSERT_TRUE(
        Shell("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -b:a 160k '" + cbr +
              "'"));
    ASSERT_TRUE(Shell("ffmpeg -nostdin -v error -f lavfi -i 'anoisesrc=d=2:r=44100:a=0.3' -q:a 0 '" + vbr + "'"));
    // A file behind an ID3v2 tag of 2000 bytes starts its audio after the tag.
    std::string tagged = dir.File("tagged.mp3");
    std::string tag = "ID3";
    tag += std::string("\x03\x00\x00", 3);
    uint32_t body = 2000 - 10;
    tag.push_back(static_cast<char>((body >> 21) & 0x7F));
    tag.push_back(static_cast<char>((body >> 14) & 0x7F));
    tag.push_back(static_cast<char>((body >> 7) & 0x7F));
    tag.push_back(static_cast<char>(body & 0x7F));
    tag.resize(2000, '\0');
    std::string raw = dir.File("raw.mp3");
    ASSERT_TRUE(Shell("ffmpeg -nostdin -v error -i '" + cbr + "' -c copy -id3v2_version 0 '" + raw + "'"));
    WriteFile(tagged, tag + ReadFile(raw));

    auto bitRate = [](const std::string& path) {
        qzSoundSource* source = nullptr;
        EXPECT_EQ(OpenSoundSource(path.c_str(), nullptr, nullptr, 0, 1, &source, nullptr), 0);
        int64_t rate = source ? GetMusicSourceInfo(QZ_MUSICINFO_BITRATE, QZ_MUSIC_SOURCE, source, nullptr) : -1;
        CloseSoundSource(source);
        return rate;
    };
    EXPECT_EQ(bitRate(cbr), 160);
    EXPECT_EQ(bitRate(tagged), 160);
    // The average over the file: its size after the header over its duration.
    std::string size = Output("stat -c %s '" + vbr + "'");
    std::string seconds = Output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + vbr + "'");
    int64_t expected = static_cast<int64_t>(std::stod(size) / std::stod(seconds) * 0.0078125);
    EXPECT_NEAR(static_cast<double>(bitRate(vbr)), static_cast<double>(expected), expected * 0.03);
    EXPECT_GT(bitRate(vbr), 0);

    // Loading a VBR file as a sample keeps every frame ffmpeg decodes.
    Loaded loaded;
    Load(vbr, &loaded);
    ASSERT_EQ(loaded.error, 0);
    EXPECT_EQ(Levels(loaded.sound), FfmpegS16(vbr, 1));
}

TEST(SoundDecoders, MpegAnalysisOfHeaders) {
    // MPEG-1 Layer III at 128 kbit/s, MPEG-2 Layer II at 64, and a "Xing" marker.
    std::vector<uint8_t> data(2048, 0);
    const uint8_t mpeg1[4] = {0xFF, 0xFB, 0x90, 0x00};
    std::memcpy(data.data(), mpeg1, 4);
    uint64_t start = 0;
    EXPECT_EQ(MpegAudioBitRate(data.data(), data.size(), 0, 100000, 10.0, &start), 128u);
    EXPECT_EQ(start, 0u);
    const uint8_t mpeg2[4] = {0xFF, 0xF5, 0x80, 0x00};
    std::memcpy(data.data(), mpeg2, 4);
    EXPECT_EQ(MpegAudioBitRate(data.data(), data.size(), 0, 100000, 10.0, &start), 64u);
    std::memcpy(data.data(), mpeg1, 4);
    std::memcpy(data.data() + 36, "Xing", 4);
    EXPECT_EQ(MpegAudioBitRate(data.data(), data.size(), 0, 100000, 10.0, &start), 78u);  // 10000 B/s * 8 / 1024
    // A header beyond the data: the caller reads again at the audio start.
    std::vector<uint8_t> id3 = {'I', 'D', '3', 3, 0, 0x10, 0, 0, 0x20, 0};
    EXPECT_EQ(MpegAudioBitRate(id3.data(), id3.size(), 0, 100000, 10.0, &start), 0u);
    EXPECT_EQ(start, 10u + 0x1000 + 10);
}

// A source opened from bytes in a file of the temporary directory.
struct SourceOf {
    qzSoundSource* source = nullptr;
    int error = -1;
    SourceOf(TempDir& dir, const std::string& bytes, const char* loaders = "inbuilt") {
        std::string path = dir.File("f" + std::to_string(counter++));
        WriteFile(path, bytes);
        error = OpenSoundSource(path.c_str(), loaders, nullptr, 0, 0, &source, nullptr);
    }
    ~SourceOf() { CloseSoundSource(source); }
    static inline int counter = 0;
};

TEST(SoundDecoders, IffHeaders) {
    TempDir dir;
    std::string body8 = {1, 2, 3, 4, 5, 6, 7};
    std::string chan = [](uint32_t v) {
        std::string s;
        PutBE32(&s, v);
        return s;
    }(6);
    const struct {
        const char* what;
        std::string file;
        int32_t kind;  // 0: refused
        uint32_t channels;
        uint32_t frames;
    } rows[] = {
        {"mono", IffForm("8SVX", Vhdr(8000) + IffChunk("BODY", body8)), QZ_SOURCE_8SVX, 1, 7},
        {"CHAN 6 is stereo; an odd body drops its last byte",
         IffForm("8SVX", Vhdr(8000) + IffChunk("CHAN", chan) + IffChunk("BODY", body8)), QZ_SOURCE_8SVX, 2, 3},
        {"CHAN 2 is left only: mono",
         IffForm("8SVX", Vhdr(8000) + IffChunk("CHAN", std::string("\0\0\0\2", 4)) + IffChunk("BODY", body8)),
         QZ_SOURCE_8SVX, 1, 7},
        {"CHAN 4 is right only: mono",
         IffForm("8SVX", Vhdr(8000) + IffChunk("CHAN", std::string("\0\0\0\4", 4)) + IffChunk("BODY", body8)),
         QZ_SOURCE_8SVX, 1, 7},
        {"a CHAN after BODY is never seen",
         IffForm("8SVX", Vhdr(8000) + IffChunk("BODY", body8) + IffChunk("CHAN", chan)), QZ_SOURCE_8SVX, 1, 7},
        {"a CHAN chunk longer than its word is passed by its size",
         IffForm("8SVX", Vhdr(8000) + IffChunk("CHAN", chan + std::string(4, '\0')) + IffChunk("BODY", body8)),
         QZ_SOURCE_8SVX, 2, 3},
        {"an odd chunk before BODY is padded",
         IffForm("8SVX", Vhdr(8000) + IffChunk("NAME", "odd") + IffChunk("BODY", body8)), QZ_SOURCE_8SVX, 1, 7},
        {"Fibonacci-delta compression is refused", IffForm("8SVX", Vhdr(8000, 1) + IffChunk("BODY", body8)), 0, 0, 0},
        {"a voice header of another size is refused",
         IffForm("8SVX", IffChunk("VHDR", std::string(18, '\0')) + IffChunk("BODY", body8)), 0, 0, 0},
        {"no BODY is refused", IffForm("8SVX", Vhdr(8000) + IffChunk("ANNO", "x")), 0, 0, 0},
        {"a BODY longer than the file holds what the file has",
         IffForm("8SVX", Vhdr(8000)) + "BODY" + std::string("\x7F\xFF\xFF\xFF", 4) + std::string(9, 'a'),
         QZ_SOURCE_8SVX, 1, 9},
        {"16SV mono", IffForm("16SV", Vhdr(8000) + IffChunk("BODY", std::string(10, '\1'))), QZ_SOURCE_16SV, 1, 5},
        {"16SV stereo", IffForm("16SV", Vhdr(8000) + IffChunk("CHAN", chan) + IffChunk("BODY", std::string(10, '\1'))),
         QZ_SOURCE_16SV, 2, 2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        SourceOf s(dir, r.file);
        if (!r.kind) {
            EXPECT_EQ(s.error, ERR_OPENSOUND2);
            continue;
        }
        ASSERT_EQ(s.error, 0);
        EXPECT_EQ(s.source->kind, r.kind);
        EXPECT_EQ(s.source->channels, r.channels);
        EXPECT_EQ(s.source->frames, r.frames);
        EXPECT_EQ(s.source->rate, 8000u);
    }
}

TEST(SoundDecoders, IffSamplesAreInterleavedAndInHostOrder) {
    TempDir dir;
    // Stereo 16SV: left half 0x0102, 0x0304; right half -2, 0x7FFF, stored high byte first.
    std::string body = {1, 2, 3, 4, '\xFF', '\xFE', 0x7F, '\xFF'};
    std::string chan;
    PutBE32(&chan, 6);
    SourceOf s(dir, IffForm("16SV", Vhdr(22050) + IffChunk("CHAN", chan) + IffChunk("BODY", body)));
    ASSERT_EQ(s.error, 0);
    int16_t out[4] = {};
    int end = -1;
    EXPECT_EQ(DecodeSoundSource(s.source, out, 2, &end), 2u);
    EXPECT_EQ(end, 0);  // exactly the frames left: no end yet
    EXPECT_EQ(out[0], 0x0102);
    EXPECT_EQ(out[1], -2);
    EXPECT_EQ(out[2], 0x0304);
    EXPECT_EQ(out[3], 0x7FFF);
    EXPECT_EQ(s.source->format, QZ_SOUNDFMT_S16_STEREO);
    EXPECT_EQ(DecodeSoundSource(s.source, out, 1, &end), 0u);
    EXPECT_EQ(end, 1);
    // Seeking to a frame inside plays from there; seeking to the frame count or beyond changes
    // nothing.
    SeekSoundSource(s.source, 1);
    EXPECT_EQ(s.source->position, 1u);
    SeekSoundSource(s.source, 2);
    EXPECT_EQ(s.source->position, 1u);
    EXPECT_EQ(DecodeSoundSource(s.source, out, 4, &end), 1u);
    EXPECT_EQ(out[0], 0x0304);
    EXPECT_EQ(out[1], 0x7FFF);
    EXPECT_EQ(end, 1);
}

TEST(SoundDecoders, WaveHeaders) {
    TempDir dir;
    std::string pcm16(8, '\x10');
    std::string fmt18 = FmtBody(1, 2, 44100, 16) + std::string("\0\0", 2);
    // The extensible form: cbSize 22, valid bits, channel mask, the PCM sub-format.
    std::string ext = FmtBody(0xFFFE, 2, 44100, 16);
    PutLE16(&ext, 22);
    PutLE16(&ext, 16);
    PutLE32(&ext, 3);
    ext += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    std::string extFloat = ext;
    extFloat[24] = 3;
    const struct {
        const char* what;
        std::string file;
        int32_t kind;  // 0: refused by the built-in decoder
        uint32_t channels;
        uint32_t frames;
    } rows[] = {
        {"plain", RiffWave(RiffChunk("fmt ", FmtBody(1, 2, 44100, 16)) + RiffChunk("data", pcm16)), QZ_SOURCE_WAVE, 2,
         2},
        {"18-byte fmt", RiffWave(RiffChunk("fmt ", fmt18) + RiffChunk("data", pcm16)), QZ_SOURCE_WAVE, 2, 2},
        {"extensible PCM", RiffWave(RiffChunk("fmt ", ext) + RiffChunk("data", pcm16)), QZ_SOURCE_WAVE, 2, 2},
        {"an odd chunk before data is padded",
         RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 8)) + RiffChunk("LIST", "abc") + RiffChunk("data", "xyz")),
         QZ_SOURCE_WAVE, 1, 3},
        {"data longer than the file holds what the file has",
         RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 8))) + "data" + std::string("\xF0\xFF\xFF\x7F", 4) + "12345",
         QZ_SOURCE_WAVE, 1, 5},
        {"extensible float", RiffWave(RiffChunk("fmt ", extFloat) + RiffChunk("data", pcm16)), 0, 0, 0},
        {"format tag 3", RiffWave(RiffChunk("fmt ", FmtBody(3, 1, 8000, 32)) + RiffChunk("data", pcm16)), 0, 0, 0},
        {"24 bits", RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 24)) + RiffChunk("data", pcm16)), 0, 0, 0},
        {"four channels", RiffWave(RiffChunk("fmt ", FmtBody(1, 4, 8000, 16)) + RiffChunk("data", pcm16)), 0, 0, 0},
        {"data before fmt", RiffWave(RiffChunk("data", pcm16) + RiffChunk("fmt ", FmtBody(1, 1, 8000, 8))), 0, 0, 0},
        {"fmt of 14 bytes",
         RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 8).substr(0, 14)) + RiffChunk("data", pcm16)), 0, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        SourceOf s(dir, r.file);
        if (!r.kind) {
            EXPECT_EQ(s.error, ERR_OPENSOUND2);
            continue;
        }
        ASSERT_EQ(s.error, 0);
        EXPECT_EQ(s.source->channels, r.channels);
        EXPECT_EQ(s.source->frames, r.frames);
    }
}

TEST(SoundDecoders, DecodingAtTheEnd) {
    TempDir dir;
    std::string data(400, '\x80');
    SourceOf s(dir, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 8)) + RiffChunk("data", data)));
    ASSERT_EQ(s.error, 0);
    std::vector<unsigned char> out(1000, 0xAA);
    int end = 0;
    EXPECT_EQ(DecodeSoundSource(s.source, out.data(), 1000, &end), 400u);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(DecodeSoundSource(s.source, out.data(), 1000, &end), 0u);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(s.source->position, 400u);
}

TEST(SoundDecoders, SniffingAndLoaderLists) {
    TempDir dir;
    std::string module(1084, '\0');
    std::memcpy(&module[1080], "M.K.", 4);
    {
        SourceOf s(dir, module);
        ASSERT_EQ(s.error, 0);
        EXPECT_EQ(s.source->kind, QZ_SOURCE_MODULE);
        EXPECT_EQ(s.source->seekable, 0);
        EXPECT_STREQ(GetSoundSourceFormatName(s.source), "Protracker");
    }
    // A module is no sample.
    std::string path = dir.File("mod");
    WriteFile(path, module);
    Loaded loaded;
    Load(path, &loaded);
    EXPECT_EQ(loaded.error, ERR_STREAMASSAMPLE);

    // One byte short is no module.
    SourceOf shortFile(dir, module.substr(0, 1083));
    EXPECT_EQ(shortFile.error, ERR_OPENSOUND2);
    // "RIFF" without "WAVE" goes to the system decoder, or fails without "native".
    std::string riff = RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 8)) + RiffChunk("data", "ab"));
    std::memcpy(&riff[8], "AVI ", 4);
    SourceOf notWave(dir, riff);
    EXPECT_EQ(notWave.error, ERR_OPENSOUND2);
    EXPECT_STREQ(GetErrorArgString(), dir.File("f" + std::to_string(SourceOf::counter - 1)).c_str());
    SourceOf notWaveNative(dir, riff, "inbuilt|native");
    EXPECT_EQ(notWaveNative.error, ERR_OPENSOUND2);
    // A missing file with the built-in decoders selected.
    qzSoundSource* none = nullptr;
    EXPECT_EQ(OpenSoundSource(dir.File("missing.wav").c_str(), nullptr, nullptr, 0, 0, &none, nullptr), ERR_READFILE);
    // A 4-channel WAVE reaches the system decoder, which mixes it down to stereo.
    std::string quad = dir.File("quad.wav");
    ASSERT_TRUE(Shell("sox -n -r 8000 -b 16 -c 4 '" + quad + "' synth 0.1 sine 300 sine 400 sine 500 sine 600"));
    Load(quad, &loaded);
    ASSERT_EQ(loaded.error, 0);
    EXPECT_EQ(loaded.sound->channels, 2u);
    EXPECT_EQ(loaded.loader, QZ_LOADER_NATIVE);
    EXPECT_EQ(loaded.sound->frames, 800u);
}

TEST(SoundDecoders, SystemDecoderSeeksToTheFrame) {
    TempDir dir;
    std::string path = dir.File("a.flac");
    ASSERT_TRUE(
        Shell("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=500:sample_rate=8000:duration=2 '" + path + "'"));
    std::vector<int16_t> reference = FfmpegS16(path, 1);
    qzSoundSource* source = nullptr;
    ASSERT_EQ(OpenSoundSource(path.c_str(), "native", nullptr, 0, 1, &source, nullptr), 0);
    EXPECT_EQ(source->kind, QZ_SOURCE_SYSTEM);
    EXPECT_EQ(source->frames, 16000u);
    for (uint32_t at : {12345u, 100u, 0u}) {
        SeekSoundSource(source, at);
        int16_t out[64];
        int end = 0;
        ASSERT_EQ(DecodeSoundSource(source, out, 64, &end), 64u);
        EXPECT_EQ(std::vector<int16_t>(out, out + 64),
                  std::vector<int16_t>(reference.begin() + at, reference.begin() + at + 64))
            << "seek to " << at;
    }
    CloseSoundSource(source);
}

TEST(SoundDecoders, SystemDecoderFollowsAFileWhoseChannelsChange) {
    // Two MP3 files joined, stereo then mono: the decoder gives out frames of one channel after
    // frames of two, and the mono part plays on both sides.
    TempDir dir;
    std::string stereo = dir.File("stereo.mp3"), mono = dir.File("mono.mp3"), joined = dir.File("joined.mp3");
    ASSERT_TRUE(
        Shell("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=300:sample_rate=44100:duration=0.3 -ac 2 "
              "-b:a 128k '" +
              stereo + "'"));
    ASSERT_TRUE(
        Shell("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=700:sample_rate=44100:duration=0.3 -ac 1 "
              "-b:a 64k '" +
              mono + "'"));
    WriteFile(joined, ReadFile(stereo) + ReadFile(mono));
    Loaded loaded;
    Load(joined, &loaded, "native");
    ASSERT_EQ(loaded.error, 0);
    ASSERT_EQ(loaded.sound->channels, 2u);
    std::vector<int16_t> reference = FfmpegS16(joined, 2);
    std::vector<int16_t> levels = Levels(loaded.sound);
    ASSERT_GT(levels.size(), 2u * 44100 / 2);  // more than the stereo part
    ASSERT_EQ(levels.size(), reference.size());
    size_t differ = 0;
    for (size_t i = 0; i < levels.size(); i++) differ += std::abs(levels[i] - reference[i]) > 1;
    EXPECT_EQ(differ, 0u);
    // The end of the mono part is alike on both sides.
    size_t last = levels.size() - 2 * 2000;
    EXPECT_EQ(levels[last], levels[last + 1]);
    EXPECT_NE(levels[last], 0);
}

TEST(SoundRecords, FormatCodesAndCopies) {
    const struct {
        uint32_t bits, channels, flags;
        int32_t code;
        uint32_t bytes;
        int32_t script;
    } rows[] = {
        {8, 1, 0, 0, 1, 0},  {8, 2, 0, 1, 2, 2},  {8, 1, 2, 2, 1, 0},    {8, 2, 2, 3, 2, 2},
        {16, 1, 3, 4, 2, 1}, {16, 2, 3, 5, 4, 3}, {24, 1, 3, -1, 0, -1}, {8, 4, 0, -1, 0, -1},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(GetSoundFormatCode(r.bits, r.channels, r.flags), r.code);
        EXPECT_EQ(GetFrameBytesForFormat(r.code), r.bytes);
        EXPECT_EQ(SoundToScriptFormat(r.code), r.script);
    }
    EXPECT_EQ(ScriptToSoundFormat(0), 2);
    EXPECT_EQ(ScriptToSoundFormat(1), 4);
    EXPECT_EQ(ScriptToSoundFormat(2), 3);
    EXPECT_EQ(ScriptToSoundFormat(3), 5);
    EXPECT_EQ(ScriptToSoundFormat(4), -1);

    unsigned char* data = static_cast<unsigned char*>(OsAlloc(8, 0));
    std::memcpy(data, "\1\2\3\4\5\6\7\x08", 8);
    qzSound* sound = nullptr;
    ASSERT_EQ(NewSoundRecord(data, 2, 8000, 5, &sound, nullptr), 0);
    EXPECT_EQ(sound->flags, 3u);
    sound->reserved = 7;
    qzSound* copy = nullptr;
    ASSERT_EQ(CopySoundRecord(sound, &copy), 0);
    EXPECT_EQ(copy->reserved, 0);
    EXPECT_NE(copy->data, sound->data);
    EXPECT_EQ(std::memcmp(copy->data, sound->data, 8), 0);
    FreeSoundRecord(copy);
    FreeSoundRecord(sound);
}

TEST(SoundSources, CustomStreamsReadTheirQueueThenSilence) {
    int32_t kind = 0;
    qzSoundSource* source = nullptr;
    ASSERT_EQ(CreateCustomStream(nullptr, 8000, QZ_SOUNDFMT_U8_MONO, &kind, &source), 0);
    EXPECT_EQ(kind, QZ_MUSIC_SOURCE);
    EXPECT_STREQ(GetSoundSourceFormatName(source), "Custom stream");
    unsigned char out[6];
    int end = -1;
    // An empty queue: silence, 128 for unsigned 8-bit data, all frames reported.
    EXPECT_EQ(DecodeSoundSource(source, out, 6, &end), 6u);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), std::string(6, '\x80'));
    // Two buffers, then the end mark.
    auto queue = [&](const char* bytes, uint32_t frames) {
        qzStreamBuffer* b = static_cast<qzStreamBuffer*>(OsAlloc(sizeof(qzStreamBuffer) + frames, 1));
        b->data = bytes ? reinterpret_cast<unsigned char*>(b + 1) : nullptr;
        if (bytes) std::memcpy(b->data, bytes, frames);
        b->frames = frames;
        b->bytes = frames;
        AddListTail(&source->custom.queue, &b->node);
    };
    queue("abc", 3);
    queue("de", 2);
    queue(nullptr, 0);
    EXPECT_EQ(DecodeSoundSource(source, out, 4, &end), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "abcd");
    EXPECT_EQ(DecodeSoundSource(source, out, 4, &end), 1u);
    EXPECT_EQ(out[0], 'e');
    EXPECT_EQ(end, 1);
    CloseSoundSource(source);
}

}  // namespace

namespace {

// A sound-stream plugin of 10 frames of 16-bit mono counting up from 100; not seekable.
struct FakeStream {
    int opens = 0;
    int seeks = 0;
    int closes = 0;
    uint32_t at = 0;
};
FakeStream gStream;

qzPluginInfo FakeStreamPlugin() {
    qzPluginInfo info = {};
    info.capabilities = QZ_PLUGINCAPS_SOUND;
    info.moduleName = "fakestream";
    info.OpenStream = [](const char* file, void* block) -> void* {
        gStream.opens++;
        if (std::strstr(file, ".fake") == nullptr) return nullptr;
        qzSoundStreamInfo* i = static_cast<qzSoundStreamInfo*>(block);
        EXPECT_EQ(i->subsongs, 1);
        i->frames = 10;
        i->channels = 1;
        i->bits = 16;
        i->rate = 8000;
        i->flags = 3;
        i->subsongs = 4;
        return &gStream;
    };
    info.StreamSamples = [](void*, void* request, intptr_t, int* end) -> int {
        qzSoundStreamRequest* r = static_cast<qzSoundStreamRequest*>(request);
        int16_t* out = static_cast<int16_t*>(r->buffer);
        r->delivered = 0;
        while (r->delivered < r->frames && gStream.at < 10)
            out[r->delivered++] = static_cast<int16_t>(100 + gStream.at++);
        r->end = gStream.at >= 10 && r->delivered < r->frames;
        *end = r->end;
        return 1;
    };
    info.SeekStream = [](void*, int64_t frame) -> int {
        gStream.seeks++;
        gStream.at = static_cast<uint32_t>(frame);
        return 1;
    };
    info.GetFormatName = [](void*) -> const char* { return "Fake stream"; };
    info.CloseStream = [](void*) { gStream.closes++; };
    return info;
}

TEST(SoundSources, PluginStreamsComeFirstUnlessTheLoaderListExcludesThem) {
    gStream = FakeStream();
    qzPluginInfo info = FakeStreamPlugin();
    ASSERT_EQ(RegisterAdapterPlugin(&info, QZ_PLUGINCAPS_SOUND), 0);
    TempDir dir;
    std::string path = dir.File("a.fake");
    WriteFile(path, "anything");

    // "inbuilt" never asks the plugin.
    qzSoundSource* source = nullptr;
    EXPECT_EQ(OpenSoundSource(path.c_str(), "inbuilt", nullptr, 0, 0, &source, nullptr), ERR_OPENSOUND2);
    EXPECT_EQ(gStream.opens, 0);

    qzSoundLoader loader = nullptr;
    ASSERT_EQ(OpenSoundSource(path.c_str(), nullptr, nullptr, 0, 1, &source, &loader), 0);
    EXPECT_EQ(loader, &info);
    EXPECT_STREQ(GetSoundLoaderName(loader), "fakestream");
    EXPECT_EQ(source->kind, QZ_SOURCE_PLUGIN);
    EXPECT_EQ(source->bytesPerFrame, 2u);
    EXPECT_EQ(source->totalBytes, 20u);
    EXPECT_EQ(source->seekable, 0);
    EXPECT_EQ(source->subsongCount, 4);
    EXPECT_EQ(source->format, QZ_SOUNDFMT_S16_MONO);
    EXPECT_STREQ(GetSoundSourceFormatName(source), "Fake stream");
    int16_t out[16];
    int end = 0;
    EXPECT_EQ(DecodeSoundSource(source, out, 4, &end), 4u);
    EXPECT_EQ(out[3], 103);
    EXPECT_EQ(source->position, 4u);
    // Not seekable: a seek other than to 0 leaves plugin and position, but sets the time position.
    SeekSoundSource(source, 8);
    EXPECT_EQ(gStream.seeks, 0);
    EXPECT_EQ(source->position, 4u);
    EXPECT_EQ(source->timePosition.microseconds, 1000u);
    SeekSoundSource(source, 0);
    EXPECT_EQ(gStream.seeks, 1);
    EXPECT_EQ(DecodeSoundSource(source, out, 16, &end), 10u);
    EXPECT_EQ(end, 1);
    CloseSoundSource(source);
    EXPECT_EQ(gStream.closes, 1);

    // Loaded whole as a sample.
    gStream.at = 0;
    qzSound* sound = nullptr;
    ASSERT_EQ(LoadSoundAsSample(path.c_str(), nullptr, nullptr, &sound, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(sound->frames, 10u);
    EXPECT_EQ(GetSoundSampleValue(sound, 9), 109);
    FreeSoundRecord(sound);
    // Other files pass the plugin by.
    std::string wave = dir.File("b.wav");
    WriteFile(wave, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 8)) + RiffChunk("data", "ab")));
    ASSERT_EQ(OpenSoundSource(wave.c_str(), nullptr, nullptr, 0, 0, &source, nullptr), 0);
    EXPECT_EQ(source->kind, QZ_SOURCE_WAVE);
    CloseSoundSource(source);
    UnregisterAdapterPlugin(&info, QZ_PLUGINCAPS_SOUND);
}

}  // namespace

}  // namespace sound_decoder_test
